#include "server/RateLimiter.h"

#include <algorithm>
#include <cmath>

namespace quillfern::server {

bool RateLimiter::allow(const std::string &key, int &retryAfterSeconds, Clock::time_point now)
{
    retryAfterSeconds = 0;
    if (m_perMinute <= 0)
        return true;
    const double capacity = m_perMinute;
    const double perSecond = m_perMinute / 60.0;

    std::lock_guard lock(m_mutex);
    if (m_buckets.size() > 100000) // forget idle keys rather than grow without bound
        m_buckets.clear();
    auto [bucket, created] = m_buckets.try_emplace(key, Bucket{capacity, now});
    Bucket &b = bucket->second;
    const double elapsed = std::chrono::duration<double>(now - b.updated).count();
    b.tokens = std::min(capacity, b.tokens + std::max(0.0, elapsed) * perSecond);
    b.updated = now;
    if (b.tokens >= 1.0) {
        b.tokens -= 1.0;
        return true;
    }
    retryAfterSeconds = std::max(1, int(std::ceil((1.0 - b.tokens) / perSecond)));
    return false;
}

} // namespace quillfern::server
