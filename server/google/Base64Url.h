#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quillfern::server::google {

// Decodes unpadded base64url (RFC 4648 §5) as JWS uses it. Anything else is refused rather than repaired:
// the standard alphabet's '+' and '/', padding, whitespace, an impossible length, and leftover bits that
// are not zero, so one token has exactly one spelling.
std::optional<std::string> decodeBase64Url(std::string_view text);

} // namespace quillfern::server::google
