#pragma once

#include "server/AccountStore.h"
#include "server/PortfolioCache.h"
#include "server/PortfolioStore.h"
#include "server/RateLimiter.h"
#include "server/Security.h"
#include "server/ServerOptions.h"

#include <httplib.h>

#include <functional>
#include <memory>

namespace quillfern::server {

class GoogleProvider;
class QuoteChain;

// The HTTP face of the service: routes, the checks every request passes and the request log.
class Service {
public:
    Service(ServerOptions options, Database &database, std::unique_ptr<QuoteChain> quotes,
            std::unique_ptr<GoogleProvider> google);
    ~Service();

    // Binds the listening address; false when it is taken or invalid.
    bool bind();
    int port() const { return m_port; }
    // Serves until stop().
    bool run();
    void stop();

    PortfolioStore &portfolioStore() { return m_portfolios; }

private:
    using UserHandler = std::function<void(const SignedInUser &, const httplib::Request &, httplib::Response &)>;

    void installMiddleware();
    void installDataRoutes();
    void installSignInRoutes();
    // Wraps a handler that needs a signed-in user: no or bad token answers 401.
    httplib::Server::Handler signedIn(UserHandler handler);

    // Answers a portfolio and keeps the encoded answer for later reads of the same version.
    void sendPortfolio(const httplib::Request &request, const QString &userID, qint64 version,
                       const PortfolioResponse &portfolio, httplib::Response &response);
    void startSignIn(const httplib::Request &request, httplib::Response &response);
    void finishSignIn(const QString &provider, const QString &subject, const QString &name, const QString &email,
                      const QString &picture, const PendingSignIn &pending, httplib::Response &response);
    void redirectWithError(httplib::Response &response, const QString &redirectURI, const QString &error,
                           const QString &description);

    ServerOptions m_options;
    Database &m_database;
    PortfolioStore m_portfolios;
    AccountStore m_accounts;
    Clock m_clock;
    RateLimiter m_limiter;
    PortfolioCache m_portfolioCache;
    std::unique_ptr<QuoteChain> m_quotes;
    std::unique_ptr<GoogleProvider> m_google;
    httplib::Server m_server;
    int m_port = 0;
};

} // namespace quillfern::server
