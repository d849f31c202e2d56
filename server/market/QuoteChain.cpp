#include "server/market/MarketText.h"
#include "server/market/QuoteSources.h"

#include <thread>

namespace quillfern::server {
namespace {

// Past this many remembered listings, expired ones are dropped so that arbitrary symbols cannot grow the
// cache without bound.
constexpr std::size_t pruneThreshold = 4096;

} // namespace

QuoteChain::QuoteChain(std::vector<std::unique_ptr<QuoteSource>> sources, std::chrono::seconds ttl, Clock clock,
                       std::chrono::milliseconds patience)
    : m_sources(std::move(sources)), m_ttl(ttl),
      m_clock(clock ? std::move(clock) : Clock(std::chrono::steady_clock::now)), m_patience(patience)
{
}

QuoteChain::~QuoteChain()
{
    std::unique_lock lock(m_mutex);
    m_roundEnded.wait(lock, [this] { return m_rounds == 0; });
}

void QuoteChain::setStore(std::shared_ptr<QuoteStore> store, std::chrono::seconds freshFor, WallClock now)
{
    m_store = std::move(store);
    m_freshFor = freshFor;
    m_wallClock = now ? std::move(now) : WallClock([] {
        return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
            .count();
    });
}

namespace {

std::pair<std::string, std::string> marketAndSymbol(const std::string &key)
{
    const auto newline = key.find('\n');
    return {key.substr(0, newline), key.substr(newline + 1)};
}

} // namespace

std::optional<Quote> QuoteChain::quote(const std::string &symbol, const std::string &market)
{
    const std::string key =
        market::upperAscii(market::trimBlanks(market)) + '\n' + market::upperAscii(market::trimBlanks(symbol));

    std::unique_lock lock(m_mutex);
    auto found = m_entries.find(key);
    if (found != m_entries.end() && !found->second.pending && m_clock() < found->second.expires)
        return answered(lock, key, found->second, found->second.quote ? found->second.quote : found->second.lastFound);

    if (m_store && (found == m_entries.end() || !found->second.pending)) {
        // Read outside the lock, so that other listings are not held up by the store.
        lock.unlock();
        const auto [storedMarket, storedSymbol] = marketAndSymbol(key);
        const auto kept = m_store->load(storedMarket, storedSymbol);
        lock.lock();
        Entry &entry = m_entries[key];
        if (kept && !entry.pending) {
            if (!entry.lastFound)
                entry.lastFound = kept->first;
            if (m_wallClock() - kept->second < m_freshFor.count()) {
                entry.quote = kept->first;
                entry.expires = m_clock() + m_ttl;
                return entry.quote;
            }
        }
        found = m_entries.find(key);
    }
    if (found == m_entries.end() || !found->second.pending)
        startRound(key, symbol, market);

    // Whoever waits for the round: a caller that has a price to fall back on waits a moment at most.
    Entry &entry = m_entries[key];
    ++entry.waiting; // keeps the entry from being pruned under the caller
    const auto roundEnded = [&entry] { return !entry.pending; };
    if (entry.lastFound)
        m_answered.wait_for(lock, m_patience, roundEnded);
    else
        m_answered.wait(lock, roundEnded);
    --entry.waiting;
    return answered(lock, key, entry, !entry.pending && entry.quote ? entry.quote : entry.lastFound);
}

std::optional<Quote> QuoteChain::refresh(const std::string &symbol, const std::string &market)
{
    const std::string key =
        market::upperAscii(market::trimBlanks(market)) + '\n' + market::upperAscii(market::trimBlanks(symbol));
    std::unique_lock lock(m_mutex);
    if (const auto found = m_entries.find(key); found == m_entries.end() || !found->second.pending)
        startRound(key, symbol, market);
    Entry &entry = m_entries[key];
    ++entry.waiting;
    m_answered.wait(lock, [&entry] { return !entry.pending; });
    --entry.waiting;
    return answered(lock, key, entry, entry.quote);
}

std::optional<Quote> QuoteChain::answered(std::unique_lock<std::mutex> &lock, const std::string &key, Entry &entry,
                                          std::optional<Quote> answer)
{
    if (!m_store || !entry.unsaved || entry.pending || !entry.quote)
        return answer;
    entry.unsaved = false;
    const Quote found = *entry.quote;
    lock.unlock();
    const auto [market, symbol] = marketAndSymbol(key);
    m_store->save(market, symbol, found, m_wallClock());
    return answer;
}

void QuoteChain::startRound(const std::string &key, const std::string &symbol, const std::string &market)
{
    m_entries[key].pending = true;
    ++m_rounds;
    std::thread([this, key, symbol, market] {
        const std::optional<Quote> answer = askSources(symbol, market);
        std::unique_lock lock(m_mutex);
        const auto now = m_clock();
        Entry &entry = m_entries[key];
        entry.quote = answer;
        if (answer)
            entry.lastFound = answer;
        entry.unsaved = answer && answer->source != "demo";
        entry.expires = now + m_ttl;
        entry.pending = false;
        if (m_entries.size() > pruneThreshold)
            forgetExpired(now);
        --m_rounds;
        // Told under the lock: once it is let go, the chain may be gone.
        m_answered.notify_all();
        m_roundEnded.notify_all();
    }).detach();
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
        if (!it->second.pending && it->second.waiting == 0 && it->second.expires <= now)
            it = m_entries.erase(it);
        else
            ++it;
    }
}

} // namespace quillfern::server
