#pragma once

#include "agent/AgentHooks.h"

#include <string>
#include <vector>

namespace agent {

// The command line every build of the agent shares:
//   --version                   prints the version line
//   --session URL               serves the session the URL names (127.0.0.1 only)
//   --wifi [--control-port N]   answers session requests on the WiFi control port
//   --idle-ms N                 ends after N ms without a client or a request (over
//                               WiFi: of the paired desktop, its "$ping:" included)
//   --root DIR                  takes every phone path below DIR (the simulator's phones)
//   --no-secret                 serves without a secret, where the build allows it
//   --foreground                stays attached to the starting shell
// The secret comes as the first line of standard input, never on the command line
// where other users of the phone could read it. Once listening the agent prints
// "listening PORT" and, unless in the foreground, leaves the shell that started it.
class AgentLauncher
{
public:
    static int run(const std::vector<std::string>& args, AgentHooks& hooks);
};

} // namespace agent
