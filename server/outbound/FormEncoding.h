#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillfern::server::outbound {

using FormFields = std::vector<std::pair<std::string, std::string>>;

// Escapes every byte outside RFC 3986's unreserved set (letters, digits, "-._~"), so the result stands for
// itself in a path, a query or a form body.
std::string percentEncode(std::string_view text);

// name=value pairs joined with '&', both sides escaped as percentEncode does; the same text serves as a URL
// query and as an application/x-www-form-urlencoded body.
std::string encodeFields(const FormFields &fields);

} // namespace quillfern::server::outbound
