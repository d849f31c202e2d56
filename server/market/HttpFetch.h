#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <variant>

namespace quillfern::server::market {

// Where a request goes: "scheme://host:port" for the client, and the request target sent verbatim.
struct HttpLocation {
    std::string origin;
    std::string target;
};

// Splits an http or https URL; nullopt for anything else (other schemes, no host, unparsable text).
std::optional<HttpLocation> locate(const std::string &url);

struct HttpAnswer {
    int status = 0;
    std::string body;
};

// One GET that gives up after `timeout` in total (connecting, waiting or trickling) and once the body passes
// maxBytes. The failure is a short reason for logs; any status, including errors, is an answer.
std::variant<HttpAnswer, std::string> httpGet(const HttpLocation &location, std::chrono::seconds timeout,
                                              std::size_t maxBytes);

} // namespace quillfern::server::market
