#include "agent/ProcessRunner.h"

#include "agent/UniqueFd.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>

namespace agent {

ProcessRunner::Result ProcessRunner::run(const std::vector<std::string>& argv, int timeoutMs,
                                         std::size_t outputLimit)
{
    Result result;
    int fds[2];
    if (argv.empty() || pipe2(fds, O_CLOEXEC) != 0)
        return result;
    UniqueFd readEnd(fds[0]);
    UniqueFd writeEnd(fds[1]);
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    const pid_t pid = fork();
    if (pid < 0)
        return result;
    if (pid == 0) {
        const int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(writeEnd.get(), 1);
        dup2(null, 2);
        execvp(args[0], args.data());
        _exit(127);
    }
    writeEnd.reset();

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    bool timedOut = false;
    for (;;) {
        int wait = -1;
        if (timeoutMs >= 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                timedOut = true;
                break;
            }
            wait = int(left.count());
        }
        pollfd p{readEnd.get(), POLLIN, 0};
        const int r = poll(&p, 1, wait);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            continue;
        char buffer[4096];
        const ssize_t n = read(readEnd.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        if (result.output.size() < outputLimit)
            result.output.append(buffer, std::min(std::size_t(n), outputLimit - result.output.size()));
    }
    if (timedOut)
        kill(pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        result.exitCode = 128 + WTERMSIG(status);
    return result;
}

} // namespace agent
