#pragma once

#include "server/market/QuoteSources.h"

#include <QSqlDatabase>
#include <QString>

#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

namespace quillfern::server {

class Database;

// Keeps the daily closes of the listings accounts ask about, in price_history. Asked on a thread of its own,
// so a request never waits for the source: it reads what is kept and names the rest as missing, and a later
// request finds them. A listing is asked at most once a day, from the earliest day any request wanted.
class HistoryKeeper {
public:
    HistoryKeeper(Database &database, std::unique_ptr<CsvHistorySource> source);
    ~HistoryKeeper();
    HistoryKeeper(const HistoryKeeper &) = delete;
    HistoryKeeper &operator=(const HistoryKeeper &) = delete;

    // When a listing's history was last asked for, and from which day it is kept.
    struct Kept {
        QString askedOn;
        QString since;
    };
    // Every listing's, by market and symbol, in one read.
    static std::map<std::pair<QString, QString>, Kept> kept(QSqlDatabase connection);

    // Asks for the listing's closes from `since` (yyyy-MM-dd) to `today` unless it was asked today for as far
    // back. Returns at once.
    void want(const QString &market, const QString &symbol, const QString &since, const QString &today);
    // The same when the caller has read what is kept already (none: nothing is).
    void want(const QString &market, const QString &symbol, const QString &since, const QString &today,
              const std::optional<Kept> &kept);
    bool serves(const QString &market) const;

private:
    struct Wanted {
        QString market, symbol, since, today;
    };
    void run();
    void fetch(const Wanted &wanted);

    Database &m_database;
    std::unique_ptr<CsvHistorySource> m_source;
    std::mutex m_mutex;
    std::condition_variable m_woken;
    std::deque<Wanted> m_queue;
    std::set<std::pair<QString, QString>> m_queued;
    bool m_stopping = false;
    std::thread m_thread;
};

} // namespace quillfern::server
