#include "server/google/SigningKeyCache.h"

#include "server/outbound/OutboundHttp.h"

#include <algorithm>
#include <cctype>

namespace quillfern::server::google {
namespace {

const std::string serviceName = "Google's signing-key service";

// Without a max-age the keys are trusted for an hour; a day at most, so that a key Google withdraws
// stops being accepted even if a misconfigured answer asked to keep it longer.
constexpr std::int64_t defaultLifetimeSeconds = 3600;
constexpr std::int64_t longestLifetimeSeconds = 24 * 3600;

std::int64_t lifetimeFrom(const std::string &cacheControl)
{
    std::string lowered = cacheControl;
    std::transform(lowered.begin(), lowered.end(), lowered.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    if (lowered.find("no-store") != std::string::npos || lowered.find("no-cache") != std::string::npos)
        return 0;
    const std::string directive = "max-age=";
    const std::size_t at = lowered.find(directive);
    if (at == std::string::npos)
        return defaultLifetimeSeconds;
    std::int64_t seconds = 0;
    std::size_t digits = 0;
    for (std::size_t i = at + directive.size(); i < lowered.size() && std::isdigit((unsigned char)lowered[i]); ++i) {
        seconds = std::min(seconds * 10 + (lowered[i] - '0'), longestLifetimeSeconds);
        ++digits;
    }
    return digits == 0 ? defaultLifetimeSeconds : seconds;
}

} // namespace

std::variant<std::shared_ptr<const RsaPublicKey>, std::string> SigningKeyCache::keyFor(const std::string &kid,
                                                                                       std::int64_t nowSeconds)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_loaded && nowSeconds < m_expiresAt) {
            if (const auto found = m_keys.find(kid); found != m_keys.end())
                return found->second;
        }
    }

    // Fetched without holding the lock, so sign-ins with known keys are never held up by a slow fetch.
    std::int64_t expiresAt = 0;
    auto fetched = fetch(nowSeconds, expiresAt);
    if (auto *failure = std::get_if<std::string>(&fetched))
        return std::move(*failure);

    std::lock_guard lock(m_mutex);
    m_keys = std::move(std::get<JsonWebKeySet>(fetched));
    m_loaded = true;
    m_expiresAt = expiresAt;
    if (const auto found = m_keys.find(kid); found != m_keys.end())
        return found->second;
    return std::string("The sign-in token was signed with a key Google does not publish.");
}

std::variant<JsonWebKeySet, std::string> SigningKeyCache::fetch(std::int64_t nowSeconds, std::int64_t &expiresAt) const
{
    const auto outcome = outbound::get(m_url, {.accept = "application/json"});
    if (const auto *failure = std::get_if<outbound::Failure>(&outcome))
        return failure->sentence(serviceName);
    const auto &answer = std::get<outbound::Answer>(outcome);
    if (answer.status != 200)
        return serviceName + " answered with HTTP " + std::to_string(answer.status) + '.';
    auto keys = parseJsonWebKeySet(answer.body);
    if (!keys)
        return serviceName + " sent keys that could not be read.";
    expiresAt = nowSeconds + lifetimeFrom(answer.cacheControl);
    return std::move(*keys);
}

} // namespace quillfern::server::google
