#include "server/Service.h"

#include "server/HistoryKeeper.h"
#include "server/HttpSupport.h"
#include "server/google/GoogleProvider.h"
#include "server/market/QuoteSources.h"

#include <chrono>
#include <cstdio>

namespace quillfern::server {
namespace {

// The rate limit and the session lookup both key on the token's hash, and a keep-alive connection sends
// the same token request after request: the last hash is kept per thread.
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

http::ServerLimits limitsFrom(const ServerOptions &options)
{
    http::ServerLimits limits;
    limits.threads = options.threads;
    limits.maxBodyBytes = std::size_t(options.maxBodyBytes);
    limits.maxConnections = std::size_t(options.maxConnections);
    limits.maxConnectionsPerAddress = std::size_t(options.maxConnectionsPerAddress);
    return limits;
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
    case 408:
        return QStringLiteral("The request took too long to arrive.");
    case 415:
        return QStringLiteral("The service does not take compressed or encoded request bodies.");
    case 431:
        return QStringLiteral("The request's headers are larger than the service accepts.");
    case 503:
        return QStringLiteral("The service is busy. Wait a moment and try again.");
    default:
        return status >= 500 ? QStringLiteral("Something went wrong on the server.")
                             : QStringLiteral("The request was refused.");
    }
}

} // namespace

Service::Service(ServerOptions options, Database &database, std::unique_ptr<QuoteChain> quotes,
                 std::unique_ptr<GoogleProvider> google)
    : m_options(std::move(options)), m_database(database), m_portfolios(database),
      m_accounts(database, std::chrono::seconds(m_options.sessionCacheSeconds)),
      m_clock(m_options.clockOffsetFile), m_limiter(m_options.rateLimitPerMinute), m_quotes(std::move(quotes)),
      m_google(std::move(google)), m_server(limitsFrom(m_options))
{
    if (!m_options.quoteSourceURL.isEmpty())
        m_history = std::make_unique<HistoryKeeper>(
            database, std::make_unique<CsvHistorySource>(m_options.quoteSourceURL.toStdString()));
    installMiddleware();
    installDataRoutes();
    installPerformanceRoutes();
    installExchangeRoutes();
    installSignInRoutes();
}

Service::~Service() = default;

void Service::keepHistory(const QString &market, const QString &symbol, const QString &since, const QString &today)
{
    if (m_history)
        m_history->want(market, symbol, since, today);
}

void Service::installMiddleware()
{
    m_server.setDefaultHeaders({{"Cache-Control", "no-store"}, {"X-Content-Type-Options", "nosniff"}});
    m_server.setFilter([this](const http::Request &request, http::Response &response) {
        const QString token = bearerToken(request);
        int retryAfter = 0;
        if (!token.isEmpty() && !m_limiter.allow(tokenHash(token).toStdString(), retryAfter)) {
            response.setHeader("Retry-After", std::to_string(retryAfter));
            sendError(response, 429, QStringLiteral("Too many requests. Wait a moment and try again."));
            return true;
        }
        return false;
    });
    // Statuses the server produces itself (404, 413, 431, ...) get the same JSON body as ours.
    m_server.setErrorBody([](http::Response &response) {
        sendError(response, response.status, defaultErrorText(response.status));
    });
    if (!m_options.quiet) {
        m_server.setLogger([](const http::Request &request, const http::Response &response,
                              std::chrono::duration<double, std::milli> took) {
            // Only method, path and status: queries carry codes and states, bodies carry portfolios.
            std::fprintf(stdout, "%s %s %d %.1fms\n", request.method.c_str(), request.path.c_str(), response.status,
                         took.count());
            std::fflush(stdout);
        });
    }
    m_server.route("GET", "/healthz", [](const http::Request &, http::Response &response) {
        response.setContent("{\"status\":\"ok\"}", jsonContentType);
    });
}

http::Server::Handler Service::signedIn(UserHandler handler)
{
    return [this, handler = std::move(handler)](const http::Request &request, http::Response &response) {
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

http::Server::Handler Service::signedInReader(ReaderHandler handler)
{
    return [this, handler = std::move(handler)](const http::Request &request, http::Response &response) {
        const QString token = bearerToken(request);
        if (token.isEmpty()) {
            sendError(response, 401, QStringLiteral("Sign in to continue."));
            return;
        }
        const auto userID = m_accounts.identityForToken(tokenHash(token), m_clock.nowSeconds());
        if (!userID) {
            sendStoreError(response, userID.error());
            return;
        }
        handler(*userID, request, response);
    };
}

std::error_code Service::bind()
{
    return m_server.bind(m_options.listenHost.toStdString(), m_options.listenPort);
}

void Service::run() { m_server.run(); }

void Service::stop() { m_server.stop(); }

} // namespace quillfern::server
