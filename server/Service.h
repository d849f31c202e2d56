#pragma once

#include "server/AccountStore.h"
#include "server/PortfolioCache.h"
#include "server/PortfolioStore.h"
#include "server/RateLimiter.h"
#include "server/Security.h"
#include "server/ServerOptions.h"

#include "server/http/HttpServer.h"

#include <functional>
#include <memory>

namespace quillfern::server {

class GoogleProvider;
class HistoryKeeper;
class QuoteChain;

// The HTTP face of the service: routes, the checks every request passes and the request log.
class Service {
public:
    Service(ServerOptions options, Database &database, std::unique_ptr<QuoteChain> quotes,
            std::unique_ptr<GoogleProvider> google);
    ~Service();

    // Binds the listening address; the reason when it is taken or invalid.
    std::error_code bind();
    int port() const { return m_server.port(); }
    // Serves until stop().
    void run();
    // Takes no new connections, lets requests already under way finish, and ends idle keep-alive
    // connections at once, so run() returns without waiting out their timeout.
    void stop();

    PortfolioStore &portfolioStore() { return m_portfolios; }
    // Asks the history keeper for a listing's daily closes (see HistoryKeeper::want); nothing without one.
    void keepHistory(const QString &market, const QString &symbol, const QString &since, const QString &today);

private:
    using UserHandler = std::function<void(const SignedInUser &, const http::Request &, http::Response &)>;

    void installMiddleware();
    void installDataRoutes();
    void installPerformanceRoutes();
    void installExchangeRoutes();
    void installSignInRoutes();
    // Wraps a handler that needs a signed-in user: no or bad token answers 401.
    http::Server::Handler signedIn(UserHandler handler);
    // The same for reads that need only the caller's identity (not the portfolio's version), which a
    // replica may answer from tokens it confirmed a moment ago.
    using ReaderHandler = std::function<void(const QString &userID, const http::Request &, http::Response &)>;
    http::Server::Handler signedInReader(ReaderHandler handler);

    // Answers a portfolio and keeps the encoded answer for later reads of the same version.
    void sendPortfolio(const http::Request &request, const QString &userID, qint64 version,
                       const PortfolioResponse &portfolio, http::Response &response);
    void startSignIn(const http::Request &request, http::Response &response);
    void finishSignIn(const QString &provider, const QString &subject, const QString &name, const QString &email,
                      const QString &picture, const PendingSignIn &pending, const http::Request &request,
                      http::Response &response);
    // Sends the browser back to the app with an OAuth error and its description.
    void redirectWithError(const http::Request &request, http::Response &response, const QString &redirectURI,
                           const QString &error, const QString &description);

    ServerOptions m_options;
    Database &m_database;
    PortfolioStore m_portfolios;
    AccountStore m_accounts;
    Clock m_clock;
    RateLimiter m_limiter;
    PortfolioCache m_portfolioCache;
    std::unique_ptr<QuoteChain> m_quotes;
    std::unique_ptr<GoogleProvider> m_google;
    std::unique_ptr<HistoryKeeper> m_history; // none without a quote source
    http::Server m_server;
};

} // namespace quillfern::server
