#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace agent {

// Where a build of the agent may change what the core does. The phone build uses these
// defaults; the phone simulator derives from it to play phones and their faults, so no
// fault switch ever ships to a phone.
class AgentHooks
{
public:
    static constexpr std::size_t DefaultBlockSize = 256 * 1024;

    virtual ~AgentHooks() = default;

    // The description sent with "$hello:"; nothing means the phone's own (PhoneProperties).
    virtual std::optional<std::string> description() { return std::nullopt; }
    // Whether a device-info session sends its "$hello:" line at all.
    virtual bool sendsHello() { return true; }
    struct RootResult
    {
        int exitCode = 127;
        std::string output; // standard output, bounded by the caller's limit
        // The connection ends without an answer, as when a cable is pulled while the
        // command runs (the simulator's faults).
        bool dropConnection = false;
    };
    // Runs a checked root command; nothing means "su -c".
    virtual std::optional<RootResult> runRootCommand(const std::string& /*command*/,
                                                     std::size_t /*outputLimit*/)
    {
        return std::nullopt;
    }
    // Whether the agent, an ordinary app user, may touch this phone path at all.
    virtual bool mayAccess(const std::string& /*phonePath*/) { return true; }
    // The address sessions and the control port listen on in WiFi mode.
    virtual std::string wifiListenAddress() { return "0.0.0.0"; }
    // Whether a session may run without a secret (the simulator's package route).
    virtual bool allowsNoSecret() { return false; }

    // Called before every answer and every block.
    virtual void beforeAnswer() {}
    // A text every request is answered with as an "$error:" line.
    virtual std::optional<std::string> errorForEveryRequest() { return std::nullopt; }
    // False for a request this build answers as unknown, as agents from before it did.
    virtual bool knowsRequest(const std::string& /*command*/) { return true; }
    virtual std::size_t blockSize() { return DefaultBlockSize; }
    // A line sent in place of the first block header of a download.
    virtual std::optional<std::string> replaceFirstBlockHeader() { return std::nullopt; }
    // Sends half of the first block of a download, then drops the connection.
    virtual bool dropsMidBlock() { return false; }
    // Breaks an upload to this path in its first block, leaving half of it written.
    virtual bool dropsMidUpload(const std::string& /*phonePath*/) { return false; }
    // A refusal text for every WiFi session request.
    virtual std::optional<std::string> refuseWifi() { return std::nullopt; }

    // A phone path has been written ("upload") by the agent.
    virtual void noteWrite(const std::string& /*phonePath*/, const std::string& /*action*/) {}
    virtual void log(const std::string& /*text*/) {}
};

} // namespace agent
