#pragma once

#include <string>
#include <vector>

namespace agent {

// Runs a program of the phone without a shell between (the arguments reach it as they
// are), its standard input from /dev/null.
class ProcessRunner
{
public:
    struct Result
    {
        int exitCode = 127; // 128 + signal when it was killed
        std::string output; // standard output, up to the limit
    };

    // Waits up to timeoutMs (-1: no limit), then kills the program.
    static Result run(const std::vector<std::string>& argv, int timeoutMs, std::size_t outputLimit = 4096);
};

} // namespace agent
