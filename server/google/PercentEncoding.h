#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillfern::server::google {

using FormFields = std::vector<std::pair<std::string, std::string>>;

// Escapes every byte outside RFC 3986's unreserved set, so the result is safe in a query or a form body.
std::string percentEncode(std::string_view text);

// name=value pairs joined with '&', both sides escaped; the same text serves as a URL query and as an
// application/x-www-form-urlencoded body.
std::string encodeFields(const FormFields &fields);

} // namespace quillfern::server::google
