#include "server/QuoteRefresher.h"

#include "server/Database.h"
#include "server/market/MarketHours.h"
#include "server/market/QuoteSources.h"

#include <QDateTime>

#include <utility>
#include <vector>

namespace quillfern::server {
namespace {

// The advisory lock of the quote refresh, beside the migrations' 727001.
constexpr int refreshLock = 727002;

} // namespace

QuoteRefresher::QuoteRefresher(Database &database, QuoteChain &quotes, std::chrono::seconds interval,
                               std::chrono::milliseconds pause, HeldListing held)
    : m_database(database), m_quotes(quotes), m_interval(interval), m_pause(pause), m_held(std::move(held))
{
    m_thread = std::thread([this] { loop(); });
}

QuoteRefresher::~QuoteRefresher()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

bool QuoteRefresher::sleep(std::chrono::milliseconds time)
{
    std::unique_lock lock(m_mutex);
    return !m_wake.wait_for(lock, time, [this] { return m_stopping; });
}

void QuoteRefresher::loop()
{
    // A first round soon after the start, so that a restarted service catches up at once.
    if (!sleep(std::chrono::seconds(1)))
        return;
    do {
        refreshRound();
    } while (sleep(m_interval));
}

void QuoteRefresher::refreshRound()
{
    QSqlDatabase connection = m_database.connection();
    const bool postgres = m_database.dialect() == Dialect::PostgreSQL;
    if (postgres) {
        Statement lock(connection, QStringLiteral("SELECT pg_try_advisory_lock(?)"), {refreshLock});
        if (!lock.next() || !lock.value(0).toBool())
            return; // another replica is refreshing
    }
    // Held listings whose kept price is missing or due, oldest first.
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    std::vector<std::pair<std::string, std::string>> due;
    {
        Statement held(connection,
                       QStringLiteral("SELECT DISTINCT UPPER(TRIM(h.market)), UPPER(TRIM(h.code)), "
                                      "COALESCE(q.fetched_at, 0) FROM holdings h LEFT JOIN quote_cache q "
                                      "ON q.market = UPPER(TRIM(h.market)) AND q.symbol = UPPER(TRIM(h.code)) "
                                      "ORDER BY 3"));
        while (held.next()) {
            const std::string market = held.text(0).toStdString();
            if (m_held)
                m_held(market, held.text(1).toStdString());
            if (market::refreshDue(market, held.integer(2), now, m_interval))
                due.emplace_back(market, held.text(1).toStdString());
        }
    }
    for (const auto &[market, symbol] : due) {
        if (symbol.empty() || !m_quotes.serves(market))
            continue;
        m_quotes.refresh(symbol, market);
        if (!sleep(m_pause))
            break;
    }
    if (postgres)
        Statement(connection, QStringLiteral("SELECT pg_advisory_unlock(?)"), {refreshLock});
}

} // namespace quillfern::server
