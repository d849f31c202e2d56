#include "server/Service.h"

#include "server/HttpSupport.h"
#include "server/google/GoogleProvider.h"
#include "server/market/QuoteSources.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <set>

#include <dirent.h>
#include <netdb.h>
#include <sys/socket.h>

namespace quillfern::server {
namespace {

thread_local std::chrono::steady_clock::time_point requestStarted;

// The rate limit and the session lookup both key on the token's hash, and a keep-alive connection (one
// thread) sends the same token request after request: the last hash is kept per thread.
QString tokenHash(const QString &token)
{
    thread_local QString lastToken;
    thread_local QString lastHash;
    if (token != lastToken) {
        lastHash = sha256Hex(token);
        lastToken = token;
    }
    return lastHash;
}

QString defaultErrorText(int status)
{
    switch (status) {
    case 400:
        return QStringLiteral("The request could not be read.");
    case 404:
        return QStringLiteral("There is nothing at this address.");
    case 405:
        return QStringLiteral("This address does not take that method.");
    case 413:
        return QStringLiteral("The request is larger than the service accepts.");
    case 414:
        return QStringLiteral("The address is too long.");
    default:
        return status >= 500 ? QStringLiteral("Something went wrong on the server.")
                             : QStringLiteral("The request was refused.");
    }
}

} // namespace

Service::Service(ServerOptions options, Database &database, std::unique_ptr<QuoteChain> quotes,
                 std::unique_ptr<GoogleProvider> google)
    : m_options(std::move(options)), m_database(database), m_portfolios(database), m_accounts(database),
      m_clock(m_options.clockOffsetFile), m_limiter(m_options.rateLimitPerMinute), m_quotes(std::move(quotes)),
      m_google(std::move(google))
{
    installMiddleware();
    installDataRoutes();
    installSignInRoutes();
}

Service::~Service() = default;

void Service::installMiddleware()
{
    const int threads = m_options.threads;
    m_server.new_task_queue = [threads] { return new httplib::ThreadPool(size_t(threads)); };
    m_server.set_tcp_nodelay(true);
    // The library's default shares the port (SO_REUSEPORT), so a second service on a taken address started and
    // took half of the connections. Reusing an address in TIME_WAIT is all a restart needs.
    m_server.set_socket_options([](socket_t socket) {
        int yes = 1;
        setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    m_server.set_keep_alive_max_count(10000);
    m_server.set_keep_alive_timeout(30);
    m_server.set_read_timeout(15);
    m_server.set_write_timeout(15);
    m_server.set_payload_max_length(size_t(m_options.maxBodyBytes));
    m_server.set_default_headers({{"Cache-Control", "no-store"}, {"X-Content-Type-Options", "nosniff"}});

    m_server.set_pre_routing_handler([this](const httplib::Request &request, httplib::Response &response) {
        requestStarted = std::chrono::steady_clock::now();
        {
            const std::lock_guard lock(m_requestsMutex);
            m_requestPeers[std::this_thread::get_id()] =
                request.remote_addr + ':' + std::to_string(request.remote_port);
        }
        const QString token = bearerToken(request);
        int retryAfter = 0;
        if (!token.isEmpty() && !m_limiter.allow(tokenHash(token).toStdString(), retryAfter)) {
            response.set_header("Retry-After", std::to_string(retryAfter));
            sendError(response, 429, QStringLiteral("Too many requests. Wait a moment and try again."));
            return httplib::Server::HandlerResponse::Handled;
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });
    // Statuses the library produces itself (404, 413, ...) get the same JSON body as ours.
    m_server.set_error_handler([](const httplib::Request &, httplib::Response &response) {
        if (response.body.empty())
            sendError(response, response.status, defaultErrorText(response.status));
    });
    m_server.set_exception_handler([](const httplib::Request &, httplib::Response &response, std::exception_ptr) {
        sendError(response, 500, defaultErrorText(500));
    });
    m_server.set_logger([this](const httplib::Request &request, const httplib::Response &response) {
        {
            const std::lock_guard lock(m_requestsMutex);
            m_requestPeers.erase(std::this_thread::get_id());
        }
        if (m_options.quiet)
            return;
        // Only method, path and status: queries carry codes and states, bodies carry portfolios.
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - requestStarted).count();
        std::fprintf(stdout, "%s %s %d %.1fms\n", request.method.c_str(), request.path.c_str(), response.status, ms);
        std::fflush(stdout);
    });
    m_server.Get("/healthz", [](const httplib::Request &, httplib::Response &response) {
        response.set_content("{\"status\":\"ok\"}", jsonContentType);
    });
}

httplib::Server::Handler Service::signedIn(UserHandler handler)
{
    return [this, handler = std::move(handler)](const httplib::Request &request, httplib::Response &response) {
        const QString token = bearerToken(request);
        if (token.isEmpty()) {
            sendError(response, 401, QStringLiteral("Sign in to continue."));
            return;
        }
        const auto user = m_accounts.userForToken(tokenHash(token), m_clock.nowSeconds());
        if (!user) {
            sendStoreError(response, user.error());
            return;
        }
        handler(*user, request, response);
    };
}

bool Service::bind()
{
    m_port =
        m_options.listenPort == 0
            ? m_server.bind_to_any_port(m_options.listenHost.toStdString())
            : (m_server.bind_to_port(m_options.listenHost.toStdString(), m_options.listenPort) ? m_options.listenPort
                                                                                               : -1);
    return m_port > 0;
}

bool Service::run()
{
    return m_server.listen_after_bind();
}

void Service::stop()
{
    m_server.stop();
    endIdleConnections();
}

void Service::endIdleConnections()
{
    // The library's keep-alive wait only looks for data, so a worker parked on an idle connection would hold
    // the stop for the whole keep-alive timeout. Shutting the read side hands it an end of stream at once;
    // bytes already received stay readable, and a connection in the middle of a request is left to finish
    // it. The library keeps no list of its connections, so they are found among the process's sockets.
    std::set<std::string> busy;
    {
        const std::lock_guard lock(m_requestsMutex);
        for (const auto &[thread, peer] : m_requestPeers)
            busy.insert(peer);
    }
    DIR *descriptors = opendir("/proc/self/fd");
    if (!descriptors)
        return;
    while (const dirent *entry = readdir(descriptors)) {
        const int descriptor = std::atoi(entry->d_name);
        sockaddr_storage local{}, peer{};
        socklen_t localSize = sizeof local, peerSize = sizeof peer;
        if (descriptor == dirfd(descriptors) ||
            getsockname(descriptor, reinterpret_cast<sockaddr *>(&local), &localSize) != 0 ||
            (local.ss_family != AF_INET && local.ss_family != AF_INET6) ||
            getpeername(descriptor, reinterpret_cast<sockaddr *>(&peer), &peerSize) != 0)
            continue;
        char localPort[NI_MAXSERV], host[NI_MAXHOST], port[NI_MAXSERV];
        if (getnameinfo(reinterpret_cast<sockaddr *>(&local), localSize, nullptr, 0, localPort, sizeof localPort,
                        NI_NUMERICSERV) != 0 ||
            std::atoi(localPort) != m_port ||
            getnameinfo(reinterpret_cast<sockaddr *>(&peer), peerSize, host, sizeof host, port, sizeof port,
                        NI_NUMERICHOST | NI_NUMERICSERV) != 0)
            continue;
        if (!busy.contains(std::string(host) + ':' + port))
            shutdown(descriptor, SHUT_RD);
    }
    closedir(descriptors);
}

} // namespace quillfern::server
