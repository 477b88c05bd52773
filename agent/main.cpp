// The agent that runs on the phone: started by "adb shell" from /data/local/tmp, it
// serves one session of the desktop, or the WiFi control port, and ends by itself.

#include "agent/AgentHooks.h"
#include "agent/AgentLauncher.h"

int main(int argc, char* argv[])
{
    agent::AgentHooks phone;
    return agent::AgentLauncher::run(std::vector<std::string>(argv + 1, argv + argc), phone);
}
