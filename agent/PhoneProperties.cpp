#include "agent/PhoneProperties.h"

#include "agent/AgentVersion.h"
#include "agent/ProcessRunner.h"

#include <cstdint>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace agent {

namespace {

constexpr int PropertyWaitMs = 5000;
// su managers show a prompt on the phone's screen; the owner needs a moment to answer.
constexpr int RootPromptWaitMs = 20000;

std::string trimmed(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

bool isAlnum(const std::string& text)
{
    for (const char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')))
            return false;
    }
    return !text.empty();
}

std::string uniqueId()
{
    const std::string androidId =
        trimmed(ProcessRunner::run({"settings", "get", "secure", "android_id"}, PropertyWaitMs).output);
    if (isAlnum(androidId) && androidId != "null")
        return androidId;
    for (const char* name : {"ro.serialno", "ro.boot.serialno"}) {
        const std::string serial = PhoneProperties::property(name);
        if (isAlnum(serial))
            return serial;
    }
    return {};
}

std::string sharedStorage(const std::string& rootPrefix)
{
    std::vector<std::string> candidates = {"/storage/emulated/0"};
    if (const char* external = std::getenv("EXTERNAL_STORAGE"); external && *external == '/')
        candidates.emplace_back(external);
    candidates.emplace_back("/sdcard");
    for (const std::string& path : candidates) {
        const std::string local = rootPrefix + path;
        struct stat info
        {};
        if (stat(local.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
            access(local.c_str(), R_OK | X_OK) == 0)
            return path;
    }
    return {};
}

} // namespace

std::string PhoneProperties::sanitizedValue(const std::string& value)
{
    std::string out;
    for (const char c : value) {
        if (c != ';' && c != '=' && std::uint8_t(c) >= 0x20)
            out += c;
    }
    return out.substr(0, 256);
}

std::string PhoneProperties::property(const std::string& name)
{
    return trimmed(ProcessRunner::run({"getprop", name}, PropertyWaitMs).output);
}

bool PhoneProperties::rootGranted()
{
    const auto result = ProcessRunner::run({"su", "-c", "id"}, RootPromptWaitMs);
    return result.exitCode == 0 && result.output.find("uid=0") != std::string::npos;
}

ProcessRunner::Result PhoneProperties::runRootCommand(const std::string& command, std::size_t outputLimit)
{
    return ProcessRunner::run({"su", "-c", command}, -1, outputLimit);
}

std::string PhoneProperties::description(const std::string& rootPrefix)
{
    const std::pair<const char*, std::string> keys[] = {
        {"version", std::to_string(ProtocolVersion)},
        {"model", property("ro.product.model")},
        {"manufacturer", property("ro.product.manufacturer")},
        {"imei", std::string()},
        {"uid", uniqueId()},
        {"sdk", property("ro.build.version.release")},
        {"sdk_id", property("ro.build.version.sdk")},
        {"root", rootGranted() ? "1" : "0"},
        {"storage1", sharedStorage(rootPrefix)},
    };
    std::string text;
    for (const auto& [key, value] : keys)
        text += std::string(key) + '=' + sanitizedValue(value) + ';';
    return text;
}

} // namespace agent
