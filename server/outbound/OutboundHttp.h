#pragma once

#include "server/outbound/FormEncoding.h"

#include <chrono>
#include <cstddef>
#include <string>
#include <variant>

namespace quillfern::server::outbound {

// An HTTP answer of any status; what the status means is the caller's business.
struct Answer {
    int status = 0;
    std::string body;
    std::string cacheControl;
};

// Why no answer came.
struct Failure {
    enum class Kind {
        NotHttp,   // not an absolute http(s) URL with a host, or with credentials or a fragment in it
        ClearText, // plain http to anywhere but this machine's loopback
        NoAnswer,  // the exchange failed or was abandoned; `reason` says how
    };
    Kind kind = Kind::NoAnswer;
    std::string reason; // "the connection timed out", "the answer passed 1048576 bytes", ...

    // One sentence for a person, naming the other end as serviceName ("Google's token service").
    std::string sentence(const std::string &serviceName) const;
};

using Outcome = std::variant<Answer, Failure>;

struct Options {
    // For the whole exchange: connecting, sending, waiting and a server trickling its answer.
    std::chrono::seconds timeout{10};
    // A longer answer is abandoned.
    std::size_t maxBytes = 1024 * 1024;
    std::string accept = "*/*";
};

// One request, never following a redirect. Only https URLs are contacted, with the server's certificate
// checked against the system's trust store, and plain http only on this machine's loopback, so nothing the
// service sends or trusts crosses a network in clear text.
Outcome get(const std::string &url, const Options &options = {});
Outcome postForm(const std::string &url, const FormFields &fields, const Options &options = {});

} // namespace quillfern::server::outbound
