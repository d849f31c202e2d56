#pragma once

#include "server/http/FormText.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillfern::server::http {

using HeaderFields = std::vector<std::pair<std::string, std::string>>;

// A request as it arrived: header values are the bytes sent (only the surrounding blanks removed), never
// unescaped; the path alone is percent-decoded, for routing.
struct Request {
    std::string method;
    std::string target; // as sent, query included
    std::string path;
    HeaderFields headers;
    std::string body;
    FormFields params; // the query's fields, then a form body's
    std::string remoteAddress;
    std::string pathParameter; // the last segment of a path routed as ".../{}"

    std::size_t headerCount(std::string_view name) const;
    // The value of a header sent exactly once; none when it is absent or repeated.
    std::optional<std::string_view> singleHeader(std::string_view name) const;
    // The values of every line of a header, in order.
    std::vector<std::string_view> headerValues(std::string_view name) const;
    // A header's first value, or empty.
    std::string_view header(std::string_view name) const;

    bool hasParam(std::string_view name) const;
    // A field's first value, or empty.
    std::string param(std::string_view name) const;
};

struct Response {
    int status = 200;
    HeaderFields headers;
    std::string body;

    // Replaces any earlier value of the header.
    void setHeader(std::string_view name, std::string value);
    void setContent(std::string content, std::string_view contentType);
    void redirect(std::string location, int status = 302);
};

bool sameHeaderName(std::string_view a, std::string_view b);

} // namespace quillfern::server::http
