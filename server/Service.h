#pragma once

#include "server/AccountStore.h"
#include "server/PortfolioCache.h"
#include "server/PortfolioStore.h"
#include "server/RateLimiter.h"
#include "server/Security.h"
#include "server/ServerOptions.h"

#include <httplib.h>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

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
    // Takes no new connections, lets requests already under way finish, and ends idle keep-alive
    // connections at once, so run() returns without waiting out their timeout.
    void stop();

    PortfolioStore &portfolioStore() { return m_portfolios; }

private:
    using UserHandler = std::function<void(const SignedInUser &, const httplib::Request &, httplib::Response &)>;

    void installMiddleware();
    void endIdleConnections();
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
    // The peer ("address:port") of the request each worker thread is handling, from routing to logging.
    std::mutex m_requestsMutex;
    std::map<std::thread::id, std::string> m_requestPeers;
};

} // namespace quillfern::server
