#include "server/HistoryKeeper.h"

#include "server/Database.h"

namespace quillfern::server {

HistoryKeeper::HistoryKeeper(Database &database, std::unique_ptr<CsvHistorySource> source)
    : m_database(database), m_source(std::move(source)), m_thread([this] { run(); })
{
}

HistoryKeeper::~HistoryKeeper()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_queue.clear();
    }
    m_woken.notify_all();
    m_thread.join();
}

bool HistoryKeeper::serves(const QString &market) const
{
    return m_source && m_source->serves(market.toStdString());
}

std::map<std::pair<QString, QString>, HistoryKeeper::Kept> HistoryKeeper::kept(QSqlDatabase connection)
{
    std::map<std::pair<QString, QString>, Kept> kept;
    Statement rows(connection, QStringLiteral("SELECT market, symbol, asked_on, since FROM history_fetches"));
    while (rows.next())
        kept[{rows.text(0), rows.text(1)}] = Kept{rows.text(2), rows.text(3)};
    return kept;
}

void HistoryKeeper::want(const QString &market, const QString &symbol, const QString &since, const QString &today)
{
    if (!serves(market))
        return;
    std::optional<Kept> kept;
    {
        Statement asked(m_database.connection(),
                        QStringLiteral("SELECT asked_on, since FROM history_fetches WHERE market = ? AND symbol = ?"),
                        {market, symbol});
        if (asked.next())
            kept = Kept{asked.text(0), asked.text(1)};
    }
    want(market, symbol, since, today, kept);
}

void HistoryKeeper::want(const QString &market, const QString &symbol, const QString &since, const QString &today,
                         const std::optional<Kept> &kept)
{
    if (!serves(market) || (kept && kept->askedOn == today && kept->since <= since))
        return;
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping || !m_queued.insert({market, symbol}).second)
            return;
        m_queue.push_back(Wanted{market, symbol, since, today});
    }
    m_woken.notify_one();
}

void HistoryKeeper::run()
{
    std::unique_lock lock(m_mutex);
    while (true) {
        m_woken.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
        if (m_stopping)
            return;
        const Wanted wanted = m_queue.front();
        m_queue.pop_front();
        lock.unlock();
        fetch(wanted);
        lock.lock();
        m_queued.erase({wanted.market, wanted.symbol});
    }
}

void HistoryKeeper::fetch(const Wanted &wanted)
{
    const auto closes =
        m_source->closes(wanted.symbol.toStdString(), wanted.market.toStdString(), wanted.since.toStdString(),
                         wanted.today.toStdString());
    if (!closes)
        return; // asked again by the next request that wants it
    WriteTransaction transaction(m_database);
    if (!transaction.begun())
        return;
    for (const DailyClose &close : *closes) {
        const Statement row(transaction.connection(),
                            QStringLiteral("INSERT INTO price_history (market, symbol, day, close) VALUES (?, ?, ?, ?) "
                                           "ON CONFLICT (market, symbol, day) DO UPDATE SET close = excluded.close"),
                            {wanted.market, wanted.symbol, QString::fromStdString(close.day), close.close});
        if (!row.ok())
            return;
    }
    // The days asked before are still kept, so the history now reaches back to the earlier of the two.
    const Statement asked(transaction.connection(),
                          QStringLiteral("INSERT INTO history_fetches (market, symbol, asked_on, since) "
                                         "VALUES (?, ?, ?, ?) ON CONFLICT (market, symbol) DO UPDATE SET "
                                         "asked_on = excluded.asked_on, "
                                         "since = CASE WHEN history_fetches.since < excluded.since "
                                         "THEN history_fetches.since ELSE excluded.since END"),
                          {wanted.market, wanted.symbol, wanted.today, wanted.since});
    if (asked.ok())
        transaction.commit();
}

} // namespace quillfern::server
