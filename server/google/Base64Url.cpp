#include "server/google/Base64Url.h"

#include <cstdint>

namespace quillfern::server::google {
namespace {

int sextet(char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '-')
        return 62;
    if (c == '_')
        return 63;
    return -1;
}

} // namespace

std::optional<std::string> decodeBase64Url(std::string_view text)
{
    // One character left over carries only six bits, which cannot make a byte.
    if (text.size() % 4 == 1)
        return std::nullopt;

    std::string bytes;
    bytes.reserve(text.size() * 3 / 4);
    std::uint32_t buffer = 0;
    int bits = 0;
    for (const char c : text) {
        const int value = sextet(c);
        if (value < 0)
            return std::nullopt;
        buffer = (buffer << 6) | std::uint32_t(value);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            bytes.push_back(char((buffer >> bits) & 0xFF));
        }
    }
    if ((buffer & ((1u << bits) - 1)) != 0)
        return std::nullopt;
    return bytes;
}

} // namespace quillfern::server::google
