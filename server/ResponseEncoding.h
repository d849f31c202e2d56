#pragma once

#include "server/http/HttpMessage.h"

#include <mutex>
#include <string>
#include <string_view>

namespace quillfern::server {

// Every JSON answer goes out with this type; the service compresses what gains from it, once per body.
inline constexpr const char *jsonContentType = "application/json; charset=utf-8";

// Answers smaller than this go out as they are: compressing them saves nothing worth the time.
inline constexpr std::size_t compressionThreshold = 1024;

// Whether an Accept-Encoding value takes gzip: named (or as "*") with a weight above 0, and not refused
// by name.
bool acceptsGzip(std::string_view acceptEncoding);

// The data as a gzip stream (RFC 1952) at zlib's fastest level, which for these JSON bodies comes within
// a tenth of the best size at a third of the time.
std::string gzip(std::string_view data);

// A JSON answer that several requests send, as the cached portfolio and the classification list are; its
// gzip form is made once, the first time a client takes it.
class EncodedBody {
public:
    explicit EncodedBody(std::string json) : m_json(std::move(json)) {}
    EncodedBody(const EncodedBody &) = delete;
    EncodedBody &operator=(const EncodedBody &) = delete;

    const std::string &json() const { return m_json; }
    const std::string &gzipped() const;

private:
    std::string m_json;
    mutable std::once_flag m_compressed;
    mutable std::string m_gzipped;
};

// Sends a JSON body, gzip-compressed when it is large enough and the request takes gzip.
void sendBody(const http::Request &request, http::Response &response, int status, const EncodedBody &body);
void sendBody(const http::Request &request, http::Response &response, int status, std::string json);

} // namespace quillfern::server
