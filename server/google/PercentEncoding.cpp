#include "server/google/PercentEncoding.h"

namespace quillfern::server::google {
namespace {

bool isUnreserved(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~';
}

} // namespace

std::string percentEncode(std::string_view text)
{
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (isUnreserved(byte)) {
            encoded.push_back(c);
        } else {
            encoded.push_back('%');
            encoded.push_back(hex[byte >> 4]);
            encoded.push_back(hex[byte & 0x0F]);
        }
    }
    return encoded;
}

std::string encodeFields(const FormFields &fields)
{
    std::string encoded;
    for (const auto &[name, value] : fields) {
        if (!encoded.empty())
            encoded.push_back('&');
        encoded += percentEncode(name);
        encoded.push_back('=');
        encoded += percentEncode(value);
    }
    return encoded;
}

} // namespace quillfern::server::google
