#pragma once

#include "agent/ProcessRunner.h"

#include <string>

namespace agent {

// What the phone tells of itself, read from its own tools (getprop, settings, su).
class PhoneProperties
{
public:
    // The nine description keys joined as "key=value;..."; paths below rootPrefix.
    static std::string description(const std::string& rootPrefix);
    // "getprop NAME", trimmed; empty when the phone has no such property.
    static std::string property(const std::string& name);
    // Whether "su" grants root; su may ask the phone's user, so it waits a while.
    static bool rootGranted();
    // "su -c COMMAND", the command handed over as one argument; the exit code.
    // The exit code and up to outputLimit bytes of standard output.
    static ProcessRunner::Result runRootCommand(const std::string& command, std::size_t outputLimit);
    // A description value keeps only what the "key=value;" format can carry.
    static std::string sanitizedValue(const std::string& value);
};

} // namespace agent
