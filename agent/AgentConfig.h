#pragma once

#include <string>

namespace agent {

// How one agent process runs, as its command line sets it.
struct AgentConfig
{
    enum class Mode { Session, Wifi };

    Mode mode = Mode::Session;
    // Session mode: the URL the desktop named ("backup://127.0.0.1:P/download").
    std::string url;
    // WiFi mode: the control port.
    int controlPort = 49001;
    // The secret a client presents before anything else; empty only where the hooks
    // allow a session without one.
    std::string secret;
    // Every phone path is taken below this folder; empty on a phone.
    std::string rootPrefix;
    // How long the agent waits for a client, a request or a byte before it ends.
    int idleMs = 120000;
    // Stay attached to the starting shell (tests that read the agent's output).
    bool foreground = false;
};

} // namespace agent
