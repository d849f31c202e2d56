#include "server/SessionCache.h"

#include "server/Database.h"

#include <libpq-fe.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace quillfern::server {

std::optional<SessionCache::Identity> SessionCache::find(const QString &tokenHash, qint64 now)
{
    const std::lock_guard lock(m_mutex);
    if (!m_enabled)
        return std::nullopt;
    const auto found = m_entries.constFind(tokenHash);
    if (found == m_entries.cend())
        return std::nullopt;
    if (std::chrono::steady_clock::now() - found->storedAt > m_keepFor || found->identity.expiresAt < now) {
        m_entries.erase(found);
        return std::nullopt;
    }
    return found->identity;
}

std::uint64_t SessionCache::stamp() const
{
    const std::lock_guard lock(m_mutex);
    return m_forgotten;
}

void SessionCache::store(const QString &tokenHash, Identity identity, std::uint64_t stamp)
{
    const std::lock_guard lock(m_mutex);
    if (!m_enabled || stamp != m_forgotten)
        return;
    // Old entries go when the cache has grown, rather than on a timer of their own.
    if (m_entries.size() >= 100000)
        m_entries.clear();
    m_entries.insert(tokenHash, Entry{std::move(identity), std::chrono::steady_clock::now()});
}

void SessionCache::forget(const QString &tokenHash)
{
    const std::lock_guard lock(m_mutex);
    ++m_forgotten;
    m_entries.remove(tokenHash);
}

void SessionCache::forgetAll()
{
    const std::lock_guard lock(m_mutex);
    ++m_forgotten;
    m_entries.clear();
}

void SessionCache::setEnabled(bool enabled)
{
    const std::lock_guard lock(m_mutex);
    ++m_forgotten;
    m_entries.clear();
    m_enabled = enabled;
}

bool SessionCache::enabled() const
{
    const std::lock_guard lock(m_mutex);
    return m_enabled;
}

SessionWatch::SessionWatch(Database &database, SessionCache &cache)
    : m_database(database), m_cache(cache), m_stopSignal(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      m_thread([this] { loop(); })
{
}

SessionWatch::~SessionWatch()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    const std::uint64_t one = 1;
    if (m_stopSignal >= 0)
        (void)!::write(m_stopSignal, &one, sizeof one);
    m_thread.join();
    if (m_stopSignal >= 0)
        ::close(m_stopSignal);
    m_cache.setEnabled(false);
}

bool SessionWatch::sleep(std::chrono::milliseconds time)
{
    std::unique_lock lock(m_mutex);
    return !m_wake.wait_for(lock, time, [this] { return m_stopping; });
}

void SessionWatch::loop()
{
    do {
        listen();
        m_cache.setEnabled(false);
    } while (sleep(std::chrono::seconds(1)));
}

void SessionWatch::listen()
{
    QSqlDatabase connection = m_database.connection();
    if (!connection.isOpen() && !reopenLost(connection))
        return;
    pg_conn *client = postgresHandle(connection);
    if (!client)
        return;
    // LISTEN cannot be prepared, which is how the driver runs every statement: sent as it is.
    PGresult *listening = PQexec(client, (QByteArray("LISTEN ") + SessionCache::channel).constData());
    const bool heard = PQresultStatus(listening) == PGRES_COMMAND_OK;
    PQclear(listening);
    if (!heard)
        return;
    // From here on no revocation can pass unheard, so what is kept from now on is safe to keep.
    m_cache.setEnabled(true);
    while (true) {
        {
            const std::lock_guard lock(m_mutex);
            if (m_stopping)
                return;
        }
        pollfd waits[2]{{PQsocket(client), POLLIN, 0}, {m_stopSignal, POLLIN, 0}};
        if (waits[0].fd < 0 || ::poll(waits, m_stopSignal >= 0 ? 2 : 1, 250) < 0)
            return;
        if (waits[0].revents != 0 && PQconsumeInput(client) == 0)
            return;
        if (PQstatus(client) != CONNECTION_OK)
            return;
        while (PGnotify *message = PQnotifies(client)) {
            const QString payload = QString::fromLatin1(message->extra);
            PQfreemem(message);
            if (payload == QLatin1String(SessionCache::everyToken))
                m_cache.forgetAll();
            else
                m_cache.forget(payload);
        }
    }
}

} // namespace quillfern::server
