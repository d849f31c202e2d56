#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillfern::server::http {

using FormFields = std::vector<std::pair<std::string, std::string>>;

// The fields of a query string or an application/x-www-form-urlencoded body, in order: '&'-separated
// "name=value" pairs with '+' for a space and percent escapes decoded. A name without '=' has an empty value;
// empty pairs are skipped. Bytes are kept as sent: invalid escapes stay literal, and nothing is checked
// to be UTF-8 here.
FormFields parseFormText(std::string_view text);

// Percent escapes decoded, as in a request's path; invalid escapes stay literal.
std::string percentDecoded(std::string_view text);

} // namespace quillfern::server::http
