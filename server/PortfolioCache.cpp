#include "server/PortfolioCache.h"

namespace quillfern::server {

std::shared_ptr<const EncodedBody> PortfolioCache::find(const QString &userID, qint64 version) const
{
    std::lock_guard lock(m_mutex);
    const auto entry = m_entries.constFind(userID);
    if (entry == m_entries.cend() || entry->version != version)
        return nullptr;
    return entry->body;
}

void PortfolioCache::store(const QString &userID, qint64 version, std::shared_ptr<const EncodedBody> body)
{
    std::lock_guard lock(m_mutex);
    if (m_entries.size() >= 5000 && !m_entries.contains(userID))
        m_entries.clear(); // bounded: starting over costs one read per user
    const auto entry = m_entries.constFind(userID);
    if (entry != m_entries.cend() && entry->version > version)
        return; // a newer answer is already here
    m_entries.insert(userID, Entry{version, std::move(body)});
}

} // namespace quillfern::server
