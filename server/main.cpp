#include "server/Database.h"
#include "server/DemoPortfolio.h"
#include "server/QuoteCache.h"
#include "server/QuoteRefresher.h"
#include "server/ReferenceData.h"
#include "server/Service.h"
#include "server/google/GoogleProvider.h"
#include "server/market/EcbRates.h"
#include "server/market/QuoteSources.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>

#include <atomic>
#include <condition_variable>
#include <cerrno>
#include <csignal>
#include <optional>
#include <cstring>
#include <cstdio>
#include <malloc.h>
#include <sys/resource.h>
#include <mutex>
#include <thread>

using namespace quillfern::server;

namespace {

// The online source first, so that live prices win; an offline table only when one is asked for, its answers
// labelled as what they are.
std::unique_ptr<QuoteChain> makeQuotes(const ServerOptions &options, QString &problem)
{
    std::vector<std::unique_ptr<QuoteSource>> sources;
    if (!options.quoteSourceURL.isEmpty())
        sources.push_back(std::make_unique<CsvQuoteSource>(options.quoteSourceURL.toStdString()));
    std::variant<std::unique_ptr<OfflineQuotes>, std::string> offline = std::string();
    std::string label;
    if (!options.quotesFile.isEmpty()) {
        offline = OfflineQuotes::fromFile(options.quotesFile.toStdString());
        label = "file";
    } else if (options.demoQuotes) {
        QFile demo(QStringLiteral(":/quillfern/demo-quotes.csv"));
        demo.open(QIODevice::ReadOnly);
        offline = OfflineQuotes::fromText(demo.readAll().toStdString());
        label = "demo";
    }
    if (!label.empty()) {
        if (auto *reason = std::get_if<std::string>(&offline)) {
            problem = QStringLiteral("Cannot load the offline quotes: ") + QString::fromStdString(*reason);
            return nullptr;
        }
        auto &table = std::get<std::unique_ptr<OfflineQuotes>>(offline);
        table->setName(label);
        sources.push_back(std::move(table));
    }
    return std::make_unique<QuoteChain>(std::move(sources));
}

std::unique_ptr<GoogleProvider> makeGoogle(const ServerOptions &options)
{
    if (options.authProvider != QLatin1String("google"))
        return nullptr;
    GoogleConfig config;
    config.clientId = options.googleClientID.toStdString();
    config.clientSecret = options.googleClientSecret.toStdString();
    config.callbackURL = (options.publicURL + QStringLiteral("/v1/auth/google/callback")).toStdString();
    return std::make_unique<GoogleProvider>(config);
}

// Refreshes the currency rates at start and every 12 hours until asked to stop.
class RateRefresher {
public:
    RateRefresher(QString url, PortfolioStore &store) : m_url(std::move(url)), m_store(store)
    {
        if (!m_url.isEmpty())
            m_thread = std::thread([this] { loop(); });
    }
    ~RateRefresher()
    {
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_wake.notify_all();
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    // A service that has kept less than a year of daily rates fills in the past from the ECB's history
    // document beside the daily one, so that past days are valued at their own rates.
    void keepHistory()
    {
        const auto kept = m_store.keptRateDays();
        const QString daily = QStringLiteral("eurofxref-daily.xml");
        if (!kept || *kept >= 250 || !m_url.endsWith(daily))
            return;
        const QString url = m_url.left(m_url.size() - daily.size()) + QStringLiteral("eurofxref-hist.xml");
        const auto fetched = fetchEcbHistory(url.toStdString());
        if (const auto *failure = std::get_if<std::string>(&fetched)) {
            std::fprintf(stdout, "rate history not kept: %s\n", failure->c_str());
            return;
        }
        QList<std::pair<QString, QHash<QString, double>>> days;
        for (const EcbRates &rates : std::get<std::vector<EcbRates>>(fetched)) {
            QHash<QString, double> usdPerUnit;
            for (const auto &[code, rate] : rates.usdPerUnit)
                usdPerUnit.insert(QString::fromStdString(code), rate);
            days.append({QString::fromStdString(rates.date), usdPerUnit});
        }
        if (!m_store.keepRateHistory(days))
            std::fprintf(stdout, "rate history kept for %lld days\n", static_cast<long long>(days.size()));
    }

    void loop()
    {
        bool first = true;
        std::unique_lock lock(m_mutex);
        while (!m_stopping) {
            lock.unlock();
            const auto fetched = fetchEcbDaily(m_url.toStdString());
            if (const auto *rates = std::get_if<EcbRates>(&fetched)) {
                QHash<QString, double> usdPerUnit;
                for (const auto &[code, rate] : rates->usdPerUnit)
                    usdPerUnit.insert(QString::fromStdString(code), rate);
                if (!m_store.updateRates(usdPerUnit, QString::fromStdString(rates->date)))
                    std::fprintf(stdout, "rates refreshed for %s\n", rates->date.c_str());
            } else {
                std::fprintf(stdout, "rates not refreshed: %s\n", std::get<std::string>(fetched).c_str());
            }
            if (std::exchange(first, false))
                keepHistory(); // after today's rates, which matter more
            std::fflush(stdout);
            lock.lock();
            m_wake.wait_for(lock, std::chrono::hours(12), [this] { return m_stopping; });
        }
    }

    QString m_url;
    PortfolioStore &m_store;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    std::thread m_thread;
};

int seedDemo(Database &database, const QString &email)
{
    const auto seeded = seedDemoPortfolio(database, email, QDateTime::currentSecsSinceEpoch());
    if (!seeded) {
        std::fprintf(stderr, "quillfern-server: cannot seed the demo portfolio: %s\n", qPrintable(seeded.error()));
        return 1;
    }
    std::fprintf(stdout, "%s %s: %d holdings, %d cash balances, %d transactions\n",
                 seeded->seeded ? "demo portfolio seeded for" : "left as it was, the portfolio of", qPrintable(email),
                 seeded->holdings, seeded->cashBalances, seeded->transactions);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    // Freed request and answer buffers stay with the allocator: handing them back to the kernel after every
    // request cost a TLB flush on every core, more than decoding the request did.
    mallopt(M_MMAP_THRESHOLD, 4 << 20);
    mallopt(M_TRIM_THRESHOLD, 32 << 20);
    // Signals are taken by a thread of their own, so stopping the server never runs inside a handler. They
    // are blocked before any thread starts, since threads inherit the mask: a stop signal delivered to a
    // thread that left it unblocked ended the process on the spot, requests under way and all.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    // Every open connection is a descriptor; the soft limit many systems start with (1,024) is far below the
    // connection cap.
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
    }
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quillfern-server"));

    const OptionsOutcome parsed = parseServerOptions(QCoreApplication::arguments());
    if (!parsed.options) {
        std::fprintf(parsed.exitCode ? stderr : stdout, "%s\n", qPrintable(parsed.message));
        return parsed.exitCode;
    }
    const ServerOptions &options = *parsed.options;

    const auto config = parseDatabaseURL(options.database);
    if (const auto *problem = std::get_if<QString>(&config)) {
        std::fprintf(stderr, "quillfern-server: %s\n", qPrintable(*problem));
        return 2;
    }
    Database database(std::get<DatabaseConfig>(config));
    if (const auto problem = database.migrate()) {
        std::fprintf(stderr, "quillfern-server: %s\n", qPrintable(*problem));
        return 1;
    }
    if (!options.seedDemoEmail.isEmpty()) {
        pthread_sigmask(SIG_UNBLOCK, &stopSignals, nullptr); // a one-shot command stops as commands do
        return seedDemo(database, options.seedDemoEmail);
    }
    database.startCheckpointer();
    if (gicsClassifications().isEmpty()) {
        std::fprintf(stderr, "quillfern-server: the built-in GICS data cannot be read\n");
        return 1;
    }
    QString problem;
    auto quotes = makeQuotes(options, problem);
    if (quotes)
        quotes->setStore(std::make_shared<QuoteCache>(database));
    if (!quotes) {
        std::fprintf(stderr, "quillfern-server: %s\n", qPrintable(problem));
        return 2;
    }

    QuoteChain &chain = *quotes;
    Service service(options, database, std::move(quotes), makeGoogle(options));
    if (const std::error_code failed = service.bind()) {
        std::fprintf(stderr, "quillfern-server: cannot listen on %s:%d: %s\n", qPrintable(options.listenHost),
                     options.listenPort,
                     failed == std::errc::address_in_use
                         ? "the address is already in use (is another service running there?)"
                         : failed.message().c_str());
        return 1;
    }
    RateRefresher refresher(options.ecbRatesURL, service.portfolioStore());
    // Live prices only: there is nothing to refresh in a fixed table.
    std::optional<QuoteRefresher> quoteRefresher;
    if (!options.quoteSourceURL.isEmpty() && options.quoteRefreshSeconds > 0)
        quoteRefresher.emplace(database, chain, std::chrono::seconds(options.quoteRefreshSeconds),
                               std::chrono::milliseconds(250),
                               [&service](const std::string &market, const std::string &symbol) {
                                   // The last fortnight keeps every held listing's daily closes current.
                                   const QDate today = QDateTime::currentDateTimeUtc().date();
                                   service.keepHistory(QString::fromStdString(market), QString::fromStdString(symbol),
                                                       today.addDays(-14).toString(Qt::ISODate),
                                                       today.toString(Qt::ISODate));
                               });
    std::fprintf(stdout, "quillfern-server listening on %s:%d (%s)\n", qPrintable(options.listenHost), service.port(),
                 database.dialect() == Dialect::SQLite ? "sqlite" : "postgresql");
    std::fflush(stdout);

    std::thread signalWatcher([&service, stopSignals] {
        int received = 0;
        sigwait(&stopSignals, &received);
        service.stop();
    });
    service.run();
    pthread_kill(signalWatcher.native_handle(), SIGTERM); // release the watcher if the server stopped by itself
    signalWatcher.join();
    std::fprintf(stdout, "quillfern-server stopped\n");
    return 0;
}
