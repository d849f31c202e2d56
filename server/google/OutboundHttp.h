#pragma once

#include "server/google/PercentEncoding.h"

#include <string>
#include <variant>

namespace quillfern::server::google {

// An HTTP answer of any status; what the status means is the caller's business.
struct HttpAnswer {
    int status = 0;
    std::string body;
    std::string cacheControl;
};

// The answer, or a sentence saying why none came, naming the service as `serviceName` ("Google's token
// service"). Only https URLs are contacted, and plain http on this machine's loopback, so a client secret
// never crosses a network in clear text. Each call gives up after 10 seconds and refuses answers over 1 MiB.
using HttpOutcome = std::variant<HttpAnswer, std::string>;

HttpOutcome httpGet(const std::string &url, const std::string &serviceName);
HttpOutcome httpPostForm(const std::string &url, const FormFields &fields, const std::string &serviceName);

} // namespace quillfern::server::google
