#pragma once

#include <cstddef>
#include <string>

// Checks of what a client sends before it reaches the file system or a root shell. Each
// returns an empty text when the input passes, else the reason it was refused.
namespace agent::safeinput {

inline constexpr std::size_t MaxPath = 4096;
inline constexpr std::size_t MaxCommand = 8192;

// An absolute phone path without control characters or ".." segments.
std::string checkPhonePath(const std::string& path);
// A root command the desktop sends: one of the programs it uses, words of plain
// characters, double or single quotes around whole paths, and nothing a shell would
// expand or chain ($, `, ;, |, &, <, >, parentheses, line breaks); no ".." segment in
// any word and no quote inside a quoted path.
std::string checkRootCommand(const std::string& command);
// A session secret: 8 to 128 letters and digits.
bool isWellFormedSecret(const std::string& secret);

} // namespace agent::safeinput
