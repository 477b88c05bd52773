// The agent of the phone simulator: the phone agent's own code, confined to one
// simulated phone's folder, with the phone's settings and fault switches as its hooks.
// The simulated "adb shell" starts it as the phone would start the real one; tests start
// it with --wifi to play a phone on the network. Options beyond the agent's own:
// --state DIR (default $PHONESIM_DIR) and --serial S; the idle time defaults to the
// phone's idleMs setting and the WiFi control port to its wifiPort setting.

#include "agent/AgentLauncher.h"
#include "tools/phonesim/SimAgentHooks.h"
#include "tools/phonesim/SimDevice.h"

#include <QString>

#include <algorithm>
#include <cstdio>

int main(int argc, char* argv[])
{
    std::vector<std::string> args;
    QString stateDir = SimDevice::stateDirFromEnvironment();
    QString serial;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--state" && i + 1 < argc)
            stateDir = QString::fromLocal8Bit(argv[++i]);
        else if (a == "--serial" && i + 1 < argc)
            serial = QString::fromLocal8Bit(argv[++i]);
        else
            args.push_back(a);
    }
    const SimDevice device(stateDir, serial);
    if (stateDir.isEmpty() || !device.exists()) {
        fprintf(stderr, "phonesim-agent: no such device in the state folder\n");
        return 2;
    }
    const auto given = [&](const char* option) {
        return std::find(args.begin(), args.end(), option) != args.end();
    };
    if (!given("--idle-ms"))
        args.insert(args.end(), {"--idle-ms", std::to_string(device.idleMs())});
    if (given("--wifi") && !given("--control-port"))
        args.insert(args.end(), {"--control-port", std::to_string(device.wifiPort())});
    args.insert(args.end(), {"--root", device.fsRoot().toStdString()});
    SimAgentHooks hooks(device);
    return agent::AgentLauncher::run(args, hooks);
}
