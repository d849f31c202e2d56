#include "server/market/MarketText.h"
#include "server/market/QuoteSources.h"

namespace quillfern::server {
namespace {

// Past this many remembered listings, expired ones are dropped so that arbitrary symbols cannot grow the
// cache without bound.
constexpr std::size_t pruneThreshold = 4096;

} // namespace

QuoteChain::QuoteChain(std::vector<std::unique_ptr<QuoteSource>> sources, std::chrono::seconds ttl, Clock clock)
    : m_sources(std::move(sources)), m_ttl(ttl),
      m_clock(clock ? std::move(clock) : Clock(std::chrono::steady_clock::now))
{
}

std::optional<Quote> QuoteChain::quote(const std::string &symbol, const std::string &market)
{
    const std::string key =
        market::upperAscii(market::trimBlanks(market)) + '\n' + market::upperAscii(market::trimBlanks(symbol));

    std::unique_lock lock(m_mutex);
    bool waited = false;
    while (true) {
        const auto found = m_entries.find(key);
        if (found == m_entries.end())
            break;
        if (found->second.pending) {
            m_answered.wait(lock);
            waited = true;
            continue; // the entry may have been answered meanwhile, or not yet
        }
        // A caller that waited takes the answer it waited for, even when a zero ttl has already expired it.
        if (waited || m_clock() < found->second.expires)
            return found->second.quote;
        break;
    }

    // Mark the listing as being asked so that concurrent callers wait for this answer instead of repeating it;
    // the sources are asked without the lock so other listings are not held up.
    m_entries[key].pending = true;
    lock.unlock();
    const std::optional<Quote> answer = askSources(symbol, market);
    lock.lock();

    const auto now = m_clock();
    Entry &entry = m_entries[key];
    entry.quote = answer;
    entry.expires = now + m_ttl;
    entry.pending = false;
    if (m_entries.size() > pruneThreshold)
        forgetExpired(now);
    lock.unlock();
    m_answered.notify_all();
    return answer;
}

std::optional<Quote> QuoteChain::askSources(const std::string &symbol, const std::string &market)
{
    for (const auto &source : m_sources) {
        try {
            if (auto answer = source->quote(symbol, market)) {
                if (answer->source.empty())
                    answer->source = source->name();
                return answer;
            }
        } catch (...) {
            // A source that throws counts as not knowing the listing; waiting callers must still be released.
        }
    }
    return std::nullopt;
}

bool QuoteChain::serves(const std::string &market) const
{
    for (const auto &source : m_sources)
        if (source->serves(market))
            return true;
    return false;
}

void QuoteChain::forgetExpired(std::chrono::steady_clock::time_point now)
{
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        if (!it->second.pending && it->second.expires <= now)
            it = m_entries.erase(it);
        else
            ++it;
    }
}

} // namespace quillfern::server
