#pragma once

#include <chrono>
#include <mutex>
#include <string>
#include <unordered_map>

namespace quillfern::server {

// A token bucket per key (an access token's hash): a burst of a minute's allowance, refilled evenly.
// Kept in memory: each replica limits what it serves, which is all a limit needs.
class RateLimiter {
public:
    using Clock = std::chrono::steady_clock;

    explicit RateLimiter(int perMinute) : m_perMinute(perMinute) {}

    // Whether the key may make one more request now; when not, the seconds until it may.
    bool allow(const std::string &key, int &retryAfterSeconds, Clock::time_point now = Clock::now());

private:
    struct Bucket {
        double tokens;
        Clock::time_point updated;
    };

    int m_perMinute;
    std::mutex m_mutex;
    std::unordered_map<std::string, Bucket> m_buckets;
};

} // namespace quillfern::server
