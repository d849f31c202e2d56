#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace quillfern::server {

// How the service is run. Every option can also come from the environment variable named beside it; the
// command line wins.
struct ServerOptions {
    QString listenHost = QStringLiteral("127.0.0.1"); // QUILLFERN_LISTEN host:port
    int listenPort = 8787;
    QString database;                                   // QUILLFERN_DATABASE sqlite:PATH | postgresql://...
    QString publicURL;                                  // QUILLFERN_PUBLIC_URL, the origin browsers reach us at
    QString authProvider = QStringLiteral("dev");       // QUILLFERN_AUTH_PROVIDER dev | google
    QString googleClientID;                             // QUILLFERN_GOOGLE_CLIENT_ID
    QString googleClientSecret;                         // QUILLFERN_GOOGLE_CLIENT_SECRET
    QStringList redirectURIs{QStringLiteral("quillfern://oauth/callback")}; // QUILLFERN_REDIRECT_URIS
    // QUILLFERN_ECB_RATES_URL, empty = none
    QString ecbRatesURL = QStringLiteral("https://www.ecb.europa.eu/stats/eurofxref/eurofxref-daily.xml");
    QString quotesFile;                                 // QUILLFERN_QUOTES_FILE
    QString quoteSourceURL = QStringLiteral("https://stooq.com"); // QUILLFERN_QUOTE_SOURCE_URL, empty = none
    bool demoQuotes = false;                            // QUILLFERN_DEMO_QUOTES: the built-in demo prices
    int quoteRefreshSeconds = 900;                      // QUILLFERN_QUOTE_REFRESH_SECONDS, 0 = off
    int sessionCacheSeconds = 5;                        // QUILLFERN_SESSION_CACHE_SECONDS, 0 = off
    qint64 maxBodyBytes = 2 * 1024 * 1024;              // QUILLFERN_MAX_BODY_BYTES
    int rateLimitPerMinute = 600;                       // QUILLFERN_RATE_LIMIT, 0 = off
    int threads = 16;                                   // QUILLFERN_THREADS
    int maxConnections = 4096;                          // QUILLFERN_MAX_CONNECTIONS
    int maxConnectionsPerAddress = 256;                 // QUILLFERN_MAX_CONNECTIONS_PER_ADDRESS
    QString clockOffsetFile;                            // QUILLFERN_CLOCK_OFFSET_FILE (tests)
    bool quiet = false;                                 // QUILLFERN_QUIET: no request log
    // --seed-demo EMAIL: a one-shot command rather than a setting, so no environment variable starts it.
    QString seedDemoEmail;
};

// Reads the command line and environment. On --help or a bad option the text to print and the exit code
// come back instead.
struct OptionsOutcome {
    std::optional<ServerOptions> options;
    QString message;
    int exitCode = 0;
};
OptionsOutcome parseServerOptions(const QStringList &arguments);

// The default database: a SQLite file under the user's data folder.
QString defaultDatabaseURL();

} // namespace quillfern::server
