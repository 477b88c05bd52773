#pragma once

#include "agent/AgentConfig.h"
#include "agent/AgentHooks.h"
#include "agent/LineChannel.h"
#include "agent/PathCache.h"
#include "agent/UniqueFd.h"

#include <memory>
#include <string>

namespace agent {

// Serves the desktop's sessions from the phone's side: one session on the port its URL
// names (USB, 127.0.0.1 only), or the WiFi control port that starts sessions. A client
// first presents the secret the agent was started with; nobody else gets past "$ready:".
class AgentServer
{
public:
    static constexpr std::size_t MaxBlock = 64 * 1024 * 1024;
    // What the desktop reads of a root command's output: a hash, a file's mode and owner.
    static constexpr std::size_t MaxRootOutput = 16 * 1024;
    // How long a connected client has to present the secret.
    static constexpr int AuthWaitMs = 5000;
    // The desktop's heartbeat on the WiFi control port, in place of a session URL, and
    // the answer; each request of the paired desktop restarts the idle time.
    static constexpr auto PingRequest = "$ping:";
    static constexpr auto PongAnswer = "$pong:";

    AgentServer(const AgentConfig& config, AgentHooks& hooks);

    // Opens the listening socket of the mode; false with the reason in error.
    bool listen(std::string& error);
    int listeningPort() const;
    // Serves until the session ends or nothing comes for the idle time; the exit code.
    int run();

    // "backup://127.0.0.1:P/download" and its two siblings; false for anything else.
    static bool parseSessionUrl(const std::string& url, int& port, std::string& purpose);

private:
    int runSession();
    int runWifi();
    // The first client that presents the secret, after "$ready:"; others are sent away.
    std::unique_ptr<LineChannel> acceptClient(int listenFd);
    bool secretMatches(const std::string& presented) const;
    void serve(LineChannel& channel, const std::string& purpose);
    // Each returns false when the session has to end.
    bool handleDownload(LineChannel& channel, const std::string& phonePath);
    bool handleUpload(LineChannel& channel, const std::string& phonePath);
    bool handleFileInfo(LineChannel& channel, const std::string& phonePath);
    // "$fstat:" + paths separated by NUL bytes: one "$fstat:" line with the fields of
    // each, separated by tabs, in the order asked.
    bool handleFileInfos(LineChannel& channel, const std::string& paths);
    // "$flist:" + a folder: its regular files' names, separated by NUL bytes, in lines
    // "$fent:" of a bounded size, then "$flist:" + their count; a missing folder has none.
    bool handleFolderListing(LineChannel& channel, const std::string& phoneFolder);
    // cache: what the paths of one request share (a media folder holds thousands of files).
    std::string fileFields(const std::string& phonePath, PathCache* cache = nullptr) const;
    // "$sucmd:" answers the exit code; "$suout:" also the command's standard output,
    // as "$suout:" + code + "," + Base64 of up to MaxRootOutput bytes.
    bool handleRootCommand(LineChannel& channel, const std::string& command, bool withOutput);
    // The local path of a phone path (below the root prefix); empty when it would leave it
    // or, with a cache, when its folder holds no such name.
    std::string localPath(const std::string& phonePath, PathCache* cache = nullptr) const;

    AgentConfig m_config;
    AgentHooks& m_hooks;
    UniqueFd m_listener;
    std::string m_purpose;
};

} // namespace agent
