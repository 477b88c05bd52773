#pragma once

// What the agent reports as "version" in its device description. 4 is the first the
// desktop accepts; 5 adds the session secret ("$ready:auth" / "$auth:"); 6 the root
// command with output ("$suout:") and the programs that install a database atomically.
namespace agent {

inline constexpr int ProtocolVersion = 6;
// The line "--version" prints. The desktop replaces the copy on the phone whenever it
// differs from the line of the copy it carries.
inline constexpr const char* VersionLine = "velliport-agent 6 " VELLIPORT_AGENT_BUILD;
// How the start-up line begins when the agent listens, and when it cannot take the port
// (another session holds it): the desktop reads these.
inline constexpr const char* ListeningWords = "listening ";
inline constexpr const char* PortTakenWords = "cannot listen on ";

} // namespace agent
