#include "agent/Base64.h"

#include <cstdint>

namespace agent::base64 {

namespace {

constexpr char Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int valueOf(char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

} // namespace

std::string encode(const std::string& bytes)
{
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const std::uint32_t v = std::uint32_t(std::uint8_t(bytes[i])) << 16 |
                                std::uint32_t(std::uint8_t(bytes[i + 1])) << 8 | std::uint8_t(bytes[i + 2]);
        out += Alphabet[v >> 18 & 63];
        out += Alphabet[v >> 12 & 63];
        out += Alphabet[v >> 6 & 63];
        out += Alphabet[v & 63];
    }
    const std::size_t rest = bytes.size() - i;
    if (rest > 0) {
        std::uint32_t v = std::uint32_t(std::uint8_t(bytes[i])) << 16;
        if (rest == 2)
            v |= std::uint32_t(std::uint8_t(bytes[i + 1])) << 8;
        out += Alphabet[v >> 18 & 63];
        out += Alphabet[v >> 12 & 63];
        out += rest == 2 ? Alphabet[v >> 6 & 63] : '=';
        out += '=';
    }
    return out;
}

std::string decode(const std::string& text)
{
    std::string out;
    std::uint32_t acc = 0;
    int bits = 0;
    for (const char c : text) {
        const int v = valueOf(c);
        if (v < 0)
            continue;
        acc = acc << 6 | std::uint32_t(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += char(acc >> bits & 0xff);
        }
    }
    return out;
}

} // namespace agent::base64
