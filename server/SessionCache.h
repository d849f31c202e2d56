#pragma once

#include <QHash>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>

namespace quillfern::server {

class Database;

// The access tokens this replica confirmed a moment ago, so that a read which needs only the caller's
// identity does not ask the database again. On PostgreSQL every replica listens for the tokens another one
// revokes (SessionCache::channel) and forgets them at once; the time limit only bounds what a missed message
// could cost. Nothing is kept while the replica is not listening.
class SessionCache {
public:
    static constexpr const char *channel = "quillfern_sessions";
    // The payload that tells every replica to forget every token (a replayed sign-in code revokes tokens
    // the revoking replica never saw).
    static constexpr const char *everyToken = "*";

    struct Identity {
        QString userID;
        qint64 expiresAt = 0; // seconds since the epoch
    };

    explicit SessionCache(std::chrono::milliseconds keepFor) : m_keepFor(keepFor) {}

    // What was confirmed for tokenHash within the time limit, while the token has not expired by now.
    std::optional<Identity> find(const QString &tokenHash, qint64 now);
    // A stamp to take before asking the database; store() keeps the answer only when nothing was forgotten
    // since, so an answer read before a revocation never outlives the revocation's message.
    std::uint64_t stamp() const;
    void store(const QString &tokenHash, Identity identity, std::uint64_t stamp);
    void forget(const QString &tokenHash);
    void forgetAll();
    // Off: find() finds nothing and store() keeps nothing.
    void setEnabled(bool enabled);
    bool enabled() const;

private:
    struct Entry {
        Identity identity;
        std::chrono::steady_clock::time_point storedAt;
    };

    const std::chrono::milliseconds m_keepFor;
    mutable std::mutex m_mutex;
    QHash<QString, Entry> m_entries;
    std::uint64_t m_forgotten = 0;
    bool m_enabled = false;
};

// Listens on PostgreSQL for revoked tokens and makes the cache forget them; keeps the cache on only while it
// listens, and listens again after a lost connection. Stops with the object.
class SessionWatch {
public:
    SessionWatch(Database &database, SessionCache &cache);
    ~SessionWatch();
    SessionWatch(const SessionWatch &) = delete;
    SessionWatch &operator=(const SessionWatch &) = delete;

private:
    void loop();
    // Listens until the connection fails or the watch stops.
    void listen();
    bool sleep(std::chrono::milliseconds time);

    Database &m_database;
    SessionCache &m_cache;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    const int m_stopSignal; // an eventfd that wakes the listening poll when the watch stops
    std::thread m_thread;
};

} // namespace quillfern::server
