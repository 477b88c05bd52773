#include "agent/SafeInput.h"

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

namespace agent::safeinput {

namespace {

// What the desktop runs as root: copying, removing and making its staging files and
// folders, stopping an app before its data changes, and installing a database file under
// a temporary name: giving it the owner, mode and security context of the file it
// replaces, checking it and renaming it into place.
constexpr std::array<std::string_view, 14> RootPrograms = {"dd",    "rm",    "mkdir", "am",       "chmod",
                                                           "ls",    "cp",    "stat",  "chown",    "chcon",
                                                           "sync",  "mv",    "ln",    "sha256sum"};

bool isControl(char c)
{
    return std::uint8_t(c) < 0x20 || c == 0x7f;
}

bool hasParentSegment(std::string_view word)
{
    // "if=../x" names a parent folder just like "../x"
    if (const auto eq = word.find('=');
        eq != std::string_view::npos && word.substr(0, eq).find('/') == std::string_view::npos)
        word.remove_prefix(eq + 1);
    std::size_t start = 0;
    for (;;) {
        const std::size_t slash = word.find('/', start);
        const std::string_view segment =
            word.substr(start, slash == std::string_view::npos ? word.npos : slash - start);
        if (segment == "..")
            return true;
        if (slash == std::string_view::npos)
            return false;
        start = slash + 1;
    }
}

} // namespace

std::string checkPhonePath(const std::string& path)
{
    if (path.empty() || path.front() != '/')
        return "not an absolute path";
    if (path.size() > MaxPath)
        return "path too long";
    for (const char c : path) {
        if (isControl(c))
            return "control character in path";
    }
    if (hasParentSegment(path))
        return "\"..\" in path";
    return {};
}

std::string checkRootCommand(const std::string& command)
{
    if (command.empty() || command.size() > MaxCommand)
        return "empty or overlong command";
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    char quote = 0;
    for (std::size_t i = 0; i < command.size(); ++i) {
        const char c = command[i];
        if (isControl(c))
            return "control character or line break in command";
        if (std::string_view("$`;|&<>(){}").find(c) != std::string_view::npos)
            return std::string("shell character ") + c + " in command";
        if (quote) {
            if (c == quote) {
                quote = 0;
            } else if (c == '"' || c == '\'' || c == '\\') {
                return "quote or backslash inside a quoted path";
            } else {
                word += c;
            }
            continue;
        }
        if (c == ' ') {
            if (inWord)
                words.push_back(word);
            word.clear();
            inWord = false;
            continue;
        }
        inWord = true;
        if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '\\') {
            // an escaped pattern character stays literal, as in "rm -f /a/\*"
            if (i + 1 >= command.size() || (command[i + 1] != '*' && command[i + 1] != '?'))
                return "backslash in command";
            word += command[++i];
        } else {
            word += c;
        }
    }
    if (quote)
        return "unbalanced quote in command";
    if (inWord)
        words.push_back(word);
    if (words.empty())
        return "empty command";
    bool known = false;
    for (const std::string_view program : RootPrograms)
        known = known || words.front() == program;
    if (!known)
        return "program not allowed: " + words.front().substr(0, 64);
    for (const std::string& w : words) {
        if (hasParentSegment(w))
            return "\"..\" in command";
    }
    return {};
}

bool isWellFormedSecret(const std::string& secret)
{
    if (secret.size() < 8 || secret.size() > 128)
        return false;
    for (const char c : secret) {
        const bool alnum = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (!alnum)
            return false;
    }
    return true;
}

} // namespace agent::safeinput
