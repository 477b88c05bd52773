#include "agent/AgentLauncher.h"

#include "agent/AgentServer.h"
#include "agent/AgentVersion.h"
#include "agent/SafeInput.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace agent {

namespace {

int usage(const std::string& problem)
{
    std::fprintf(stderr, "velliport-agent: %s\n", problem.c_str());
    return 2;
}

std::string readSecret()
{
    if (isatty(0)) {
        std::fputs("Pairing code shown by Velliport: ", stderr);
        std::fflush(stderr);
    }
    std::string line;
    char c = 0;
    while (line.size() <= 256 && read(0, &c, 1) == 1 && c != '\n')
        line += c;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
        line.pop_back();
    return line;
}

// Leaves the starting shell: a new session without a controlling terminal, standard
// streams on /dev/null, so "adb shell" returns at once while the agent serves.
bool detach()
{
    const pid_t pid = fork();
    if (pid < 0)
        return false;
    if (pid > 0)
        _exit(0);
    setsid();
    const int null = open("/dev/null", O_RDWR);
    if (null >= 0) {
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
        if (null > 2)
            close(null);
    }
    return true;
}

} // namespace

int AgentLauncher::run(const std::vector<std::string>& args, AgentHooks& hooks)
{
    AgentConfig config;
    bool wifi = false;
    bool noSecret = false;
    bool haveSession = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "--version") {
            std::printf("%s\n", VersionLine);
            return 0;
        } else if (a == "--session" && hasValue) {
            config.url = args[++i];
            haveSession = true;
        } else if (a == "--wifi") {
            wifi = true;
        } else if (a == "--control-port" && hasValue) {
            config.controlPort = std::atoi(args[++i].c_str());
            if (config.controlPort < 0 || config.controlPort > 65535)
                return usage("bad control port");
        } else if (a == "--idle-ms" && hasValue) {
            config.idleMs = std::atoi(args[++i].c_str());
            if (config.idleMs < 100 || config.idleMs > 3600000)
                return usage("idle time out of range (100 to 3600000 ms)");
        } else if (a == "--root" && hasValue) {
            char resolved[4096];
            if (!realpath(args[++i].c_str(), resolved))
                return usage("no such root folder");
            config.rootPrefix = resolved;
        } else if (a == "--no-secret") {
            noSecret = true;
        } else if (a == "--foreground") {
            config.foreground = true;
        } else {
            return usage("unknown option " + a.substr(0, 100));
        }
    }
    if (wifi == haveSession)
        return usage("give --session URL or --wifi");
    config.mode = wifi ? AgentConfig::Mode::Wifi : AgentConfig::Mode::Session;
    if (noSecret && !hooks.allowsNoSecret())
        return usage("this agent serves only with a secret");
    if (!noSecret) {
        config.secret = readSecret();
        if (!safeinput::isWellFormedSecret(config.secret))
            return usage("the secret must be 8 to 128 letters and digits");
    }

    std::signal(SIGPIPE, SIG_IGN);
    // An older adb runs the command on a terminal, whose end hangs up its process group
    // before the detached agent has a session of its own.
    std::signal(SIGHUP, SIG_IGN);
    AgentServer server(config, hooks);
    std::string error;
    if (!server.listen(error))
        return usage(error);
    std::printf("%s%d\n", ListeningWords, server.listeningPort());
    std::fflush(stdout);
    if (!config.foreground && !detach())
        return usage("cannot detach");
    return server.run();
}

} // namespace agent
