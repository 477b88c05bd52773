#pragma once

#include <string>

// The standard alphabet with padding, as the "$error:" lines carry their text.
namespace agent::base64 {

std::string encode(const std::string& bytes);
// Characters outside the alphabet are skipped.
std::string decode(const std::string& text);

} // namespace agent::base64
