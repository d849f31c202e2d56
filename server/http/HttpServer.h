#pragma once

#include "server/http/HttpMessage.h"

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <system_error>

namespace quillfern::server::http {

class Connection;

// How long a connection may take over each part of its work, and how many may be open. A client that is
// idle or slow costs a socket and a small buffer, never a thread.
struct ServerLimits {
    // Event loops, one thread each; a request's handler runs on its connection's loop.
    int threads = 16;
    // Waiting for the first byte of a request, on a new connection or between keep-alive requests.
    std::chrono::milliseconds idle{5000};
    // From the first byte of a request to the end of its header section, however the bytes trickle in.
    std::chrono::milliseconds headerDeadline{10000};
    // For a body: the floor, plus one second for every bodyBytesPerSecond of it.
    std::chrono::milliseconds bodyDeadlineFloor{10000};
    std::size_t bodyBytesPerSecond = 64 * 1024;
    std::size_t maxHeaderBytes = 64 * 1024;
    std::size_t maxBodyBytes = 2 * 1024 * 1024;
    std::size_t maxConnections = 4096;
    std::size_t maxConnectionsPerAddress = 256;
    int retryAfterSeconds = 5;
};

class Server {
public:
    using Handler = std::function<void(const Request &, Response &)>;
    // Runs before routing; true when it has answered the request itself.
    using Filter = std::function<bool(const Request &, Response &)>;
    // Fills in the body of an answer the server makes itself (404, 413, 431, 503, ...).
    using ErrorBody = std::function<void(Response &)>;
    using Logger = std::function<void(const Request &, const Response &, std::chrono::duration<double, std::milli>)>;

    explicit Server(ServerLimits limits);
    ~Server();
    Server(const Server &) = delete;
    Server &operator=(const Server &) = delete;

    void route(const std::string &method, const std::string &path, Handler handler);
    // Lets requests to this exact path carry a body of up to maxBytes instead of the usual limit.
    void allowBody(const std::string &path, std::size_t maxBytes) { m_bodyLimits[path] = maxBytes; }
    void setFilter(Filter filter) { m_filter = std::move(filter); }
    void setErrorBody(ErrorBody errorBody) { m_errorBody = std::move(errorBody); }
    void setLogger(Logger logger) { m_logger = std::move(logger); }
    // Headers every answer carries unless its handler set them.
    void setDefaultHeaders(HeaderFields headers) { m_defaultHeaders = std::move(headers); }

    // Binds and listens on host:port (port 0 picks a free one). No address is shared with another process.
    std::error_code bind(const std::string &host, int port);
    int port() const;
    // Serves until stop().
    void run();
    // Takes no new connections, lets requests already under way finish and closes idle connections at once.
    // Safe from any thread.
    void stop();

    // Used by the connections.
    struct Impl;

private:
    friend struct Impl;
    friend class Connection;
    void handle(const Request &request, Response &response) const;
    std::size_t bodyLimit(std::string_view target) const;
    std::size_t largestBody() const;
    void fillError(Response &response) const;

    ServerLimits m_limits;
    std::map<std::string, std::map<std::string, Handler>> m_routes; // path -> method -> handler
    std::map<std::string, std::size_t, std::less<>> m_bodyLimits;
    Filter m_filter;
    ErrorBody m_errorBody;
    Logger m_logger;
    HeaderFields m_defaultHeaders;
    std::unique_ptr<Impl> m_impl;
};

} // namespace quillfern::server::http
