#include "server/market/QuoteSources.h"

#include <QTest>

#include <atomic>
#include <thread>

using namespace quillfern::server;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(std::string)

namespace {

// A source that knows a fixed set of listings, counts how often it is asked and can be made slow. A negative
// price stands for a listing the source throws on.
class TableSource : public QuoteSource {
public:
    TableSource(std::string name, std::map<std::string, double> prices, std::chrono::milliseconds delay = 0ms)
        : m_name(std::move(name)), m_prices(std::move(prices)), m_delay(delay)
    {
    }

    std::optional<Quote> quote(const std::string &symbol, const std::string &market) override
    {
        ++calls;
        const int now = ++m_inFlight;
        for (int seen = maxInFlight.load(); now > seen && !maxInFlight.compare_exchange_weak(seen, now);) {
        }
        std::this_thread::sleep_for(m_delay);
        --m_inFlight;
        const auto found = m_prices.find(market + ":" + symbol);
        if (found == m_prices.end())
            return std::nullopt;
        if (found->second < 0)
            throw std::runtime_error("boom");
        return Quote{found->second, "USD", std::string(), std::string()};
    }
    std::string name() const override { return m_name; }
    bool serves(const std::string &) const override { return true; }

    std::atomic<int> calls{0};
    std::atomic<int> maxInFlight{0};

private:
    std::string m_name;
    std::map<std::string, double> m_prices;
    std::chrono::milliseconds m_delay;
    std::atomic<int> m_inFlight{0};
};

// A source whose answers the test changes, and which it can hold until it lets it answer.
class HeldSource : public QuoteSource {
public:
    std::optional<Quote> quote(const std::string &, const std::string &) override
    {
        ++calls;
        std::unique_lock lock(m_mutex);
        m_released.wait(lock, [this] { return !held; });
        return answer;
    }
    std::string name() const override { return "held"; }
    bool serves(const std::string &) const override { return true; }
    void hold(std::optional<Quote> next)
    {
        const std::lock_guard lock(m_mutex);
        held = true;
        answer = std::move(next);
    }
    void release()
    {
        {
            const std::lock_guard lock(m_mutex);
            held = false;
        }
        m_released.notify_all();
    }
    std::atomic<int> calls{0};

private:
    std::mutex m_mutex;
    std::condition_variable m_released;
    bool held = false;
    std::optional<Quote> answer;
};

// A store in memory, as the database table would be.
class MemoryStore : public QuoteStore {
public:
    std::optional<std::pair<Quote, std::int64_t>> load(const std::string &market, const std::string &symbol) override
    {
        const std::lock_guard lock(m_mutex);
        const auto found = kept.find(market + ":" + symbol);
        return found == kept.end() ? std::nullopt : std::optional(found->second);
    }
    void save(const std::string &market, const std::string &symbol, const Quote &quote, std::int64_t at) override
    {
        const std::lock_guard lock(m_mutex);
        kept[market + ":" + symbol] = {quote, at};
    }
    std::map<std::string, std::pair<Quote, std::int64_t>> kept;

private:
    std::mutex m_mutex;
};

// A steady clock that moves only when the test says so.
struct FakeClock {
    std::shared_ptr<std::atomic<std::int64_t>> seconds = std::make_shared<std::atomic<std::int64_t>>(1000);
    QuoteChain::Clock clock() const
    {
        return [s = seconds] { return std::chrono::steady_clock::time_point(std::chrono::seconds(s->load())); };
    }
    void advance(std::chrono::seconds by) const { *seconds += by.count(); }
};

struct Chain {
    TableSource *first;
    TableSource *second;
    std::unique_ptr<QuoteChain> chain;
};

Chain makeChain(std::map<std::string, double> first, std::map<std::string, double> second, std::chrono::seconds ttl,
                QuoteChain::Clock clock, std::chrono::milliseconds delay = 0ms)
{
    auto a = std::make_unique<TableSource>("first", std::move(first), delay);
    auto b = std::make_unique<TableSource>("second", std::move(second), delay);
    Chain made{a.get(), b.get(), nullptr};
    std::vector<std::unique_ptr<QuoteSource>> sources;
    sources.push_back(std::move(a));
    sources.push_back(std::move(b));
    made.chain = std::make_unique<QuoteChain>(std::move(sources), ttl, std::move(clock));
    return made;
}

// Runs body(0) .. body(count - 1) on threads of their own and waits for them all.
template <class Body> void inThreads(int count, Body body)
{
    std::vector<std::thread> threads;
    for (int i = 0; i < count; ++i)
        threads.emplace_back(body, i);
    for (std::thread &thread : threads)
        thread.join();
}

} // namespace

class QuoteChainTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void sourcesAreAskedInOrder_data();
    void sourcesAreAskedInOrder();
    void answersAreKeptForTheTtl_data();
    void answersAreKeptForTheTtl();
    void concurrentCallers_data();
    void concurrentCallers();
    void manyThreadsAgreeWithTheSources();
    void aFoundPriceIsNotHeldUpBySlowOrFailingSources_data();
    void aFoundPriceIsNotHeldUpBySlowOrFailingSources();
    void theStoreAnswersFirstAndKeepsLivePrices_data();
    void theStoreAnswersFirstAndKeepsLivePrices();
};

void QuoteChainTest::sourcesAreAskedInOrder_data()
{
    QTest::addColumn<std::string>("symbol");
    QTest::addColumn<std::string>("market");
    QTest::addColumn<std::string>("answeredBy"); // empty: nobody knows it
    QTest::addColumn<double>("price");
    QTest::addColumn<int>("secondCalls");

    const auto add = [](const char *name, const char *symbol, const char *market, const char *by, double price,
                        int secondCalls) {
        QTest::newRow(name) << std::string(symbol) << std::string(market) << std::string(by) << price << secondCalls;
    };
    add("both know, first wins", "0700", "HK", "first", 368.2, 0);
    add("only second knows", "7203", "JP", "second", 3195.0, 1);
    add("nobody knows", "ZZZ", "US", "", 0, 1);
    add("first throws, second knows", "V", "US", "second", 272.4, 1);
    add("first throws, nobody knows", "W", "US", "", 0, 1);
}

void QuoteChainTest::sourcesAreAskedInOrder()
{
    QFETCH(std::string, symbol);
    QFETCH(std::string, market);
    QFETCH(std::string, answeredBy);
    QFETCH(double, price);
    QFETCH(int, secondCalls);

    auto made = makeChain({{"HK:0700", 368.2}, {"US:V", -1}, {"US:W", -1}},
                          {{"HK:0700", 1.0}, {"JP:7203", 3195.0}, {"US:V", 272.4}}, 60s, FakeClock().clock());
    const auto quote = made.chain->quote(symbol, market);
    QCOMPARE(quote.has_value(), !answeredBy.empty());
    if (quote) {
        QCOMPARE(quote->source, answeredBy); // the chain labels each answer with its source
        QCOMPARE(quote->price, price);
    }
    QCOMPARE(made.first->calls.load(), 1);
    QCOMPARE(made.second->calls.load(), secondCalls);
}

void QuoteChainTest::answersAreKeptForTheTtl_data()
{
    QTest::addColumn<std::string>("firstSymbol");
    QTest::addColumn<std::string>("firstMarket");
    QTest::addColumn<std::string>("againSymbol");
    QTest::addColumn<std::string>("againMarket");
    QTest::addColumn<int>("laterSeconds");
    QTest::addColumn<int>("firstCalls"); // how often the first source was asked over both calls

    const auto add = [](const char *name, const char *symbol, const char *market, const char *againSymbol,
                        const char *againMarket, int later, int calls) {
        QTest::newRow(name) << std::string(symbol) << std::string(market) << std::string(againSymbol)
                            << std::string(againMarket) << later << calls;
    };
    add("found, same spelling, within ttl", "AAPL", "US", "AAPL", "US", 59, 1);
    add("found, other case and blanks share the entry", "aapl", "us", " AAPL ", "US ", 30, 1);
    add("found, expired at the ttl", "AAPL", "US", "AAPL", "US", 60, 2);
    add("miss remembered too", "ZZZ", "US", "zzz", "us", 59, 1);
    add("miss expires", "ZZZ", "US", "ZZZ", "US", 61, 2);
    add("market is part of the key", "0700", "HK", "0700", "US", 1, 2);
    add("symbol is part of the key", "AAPL", "US", "AAP", "US", 1, 2);
}

void QuoteChainTest::answersAreKeptForTheTtl()
{
    QFETCH(std::string, firstSymbol);
    QFETCH(std::string, firstMarket);
    QFETCH(std::string, againSymbol);
    QFETCH(std::string, againMarket);
    QFETCH(int, laterSeconds);
    QFETCH(int, firstCalls);

    FakeClock clock;
    auto made = makeChain({{"US:AAPL", 189.5}, {"HK:0700", 368.2}}, {}, 60s, clock.clock());
    const auto before = made.chain->quote(firstSymbol, firstMarket);
    clock.advance(std::chrono::seconds(laterSeconds));
    const auto again = made.chain->quote(againSymbol, againMarket);
    QCOMPARE(made.first->calls.load(), firstCalls);
    if (firstCalls == 1) {
        QCOMPARE(again.has_value(), before.has_value());
        if (before)
            QCOMPARE(again->price, before->price);
    }
}

void QuoteChainTest::concurrentCallers_data()
{
    QTest::addColumn<bool>("sameListing");
    QTest::newRow("one listing shares one request") << true;
    QTest::newRow("different listings are asked in parallel") << false;
}

void QuoteChainTest::concurrentCallers()
{
    QFETCH(bool, sameListing);
    std::map<std::string, double> prices;
    for (int i = 0; i < 8; ++i)
        prices["US:S" + std::to_string(i)] = 10.0 + i;
    // A zero ttl keeps nothing, yet callers that arrived during a request still take its answer.
    auto made = makeChain(prices, {}, 0s, FakeClock().clock(), 300ms);
    std::atomic<int> right{0};
    inThreads(8, [&](int i) {
        const int listing = sameListing ? 0 : i;
        const auto quote = made.chain->quote("S" + std::to_string(listing), "US");
        if (quote && quote->price == 10.0 + listing)
            ++right;
    });
    QCOMPARE(right.load(), 8);
    if (sameListing) {
        QVERIFY2(made.first->calls.load() < 8, qPrintable(QString::number(made.first->calls.load())));
        QCOMPARE(made.first->maxInFlight.load(), 1);
    } else {
        QCOMPARE(made.first->calls.load(), 8);
        QVERIFY(made.first->maxInFlight.load() > 1);
    }
}

void QuoteChainTest::aFoundPriceIsNotHeldUpBySlowOrFailingSources_data()
{
    QTest::addColumn<bool>("fails"); // the later round finds nothing, rather than being slow
    QTest::newRow("slow source") << false;
    QTest::newRow("failing source") << true;
}

void QuoteChainTest::aFoundPriceIsNotHeldUpBySlowOrFailingSources()
{
    QFETCH(bool, fails);
    const Quote first{100, "USD", "2026-12-04T21:00:00Z", std::string()};
    const Quote later{101, "USD", "2026-12-07T21:00:00Z", std::string()};
    auto owned = std::make_unique<HeldSource>();
    HeldSource &source = *owned;
    source.hold(first);
    source.release();
    std::vector<std::unique_ptr<QuoteSource>> sources;
    sources.push_back(std::move(owned));
    FakeClock clock;
    QuoteChain chain(std::move(sources), 60s, clock.clock(), 20ms);
    QCOMPARE(chain.quote("AAPL", "US")->asOf, first.asOf);

    clock.advance(61s);
    source.hold(fails ? std::nullopt : std::optional(later));
    if (fails)
        source.release();
    // Held or failing, the source does not hold the caller up: the last price comes back with its own time.
    const auto stale = chain.quote("AAPL", "US");
    QVERIFY(stale);
    QCOMPARE(stale->price, 100.0);
    QCOMPARE(stale->asOf, first.asOf);
    QCOMPARE(stale->source, std::string("held"));
    QCOMPARE(source.calls.load(), 2);
    if (fails)
        return;
    // The round goes on; once it ends, its price serves the callers after it, without another round.
    source.release();
    std::optional<Quote> fresh;
    for (int attempt = 0; attempt < 500 && (!fresh || fresh->price != 101); ++attempt) {
        fresh = chain.quote("AAPL", "US");
        if (fresh->price != 101)
            std::this_thread::sleep_for(10ms);
    }
    QCOMPARE(fresh->asOf, later.asOf);
    QCOMPARE(source.calls.load(), 2);
}

void QuoteChainTest::theStoreAnswersFirstAndKeepsLivePrices_data()
{
    QTest::addColumn<int>("keptMinutesAgo"); // -1: nothing kept
    QTest::addColumn<QString>("sourceName");
    QTest::addColumn<double>("sourcePrice"); // 0: the source finds nothing
    QTest::addColumn<double>("answer");
    QTest::addColumn<int>("calls");
    QTest::addColumn<double>("keptAfter"); // 0: nothing kept

    QTest::newRow("fresh kept price, no source asked") << 10 << "csv" << 101.0 << 100.0 << 0 << 100.0;
    QTest::newRow("old kept price, source's price kept") << 16 << "csv" << 101.0 << 101.0 << 1 << 101.0;
    QTest::newRow("old kept price, source finds nothing") << 16 << "csv" << 0.0 << 100.0 << 1 << 100.0;
    QTest::newRow("nothing kept, live price kept") << -1 << "csv" << 101.0 << 101.0 << 1 << 101.0;
    QTest::newRow("nothing kept, demo price not kept") << -1 << "demo" << 101.0 << 101.0 << 1 << 0.0;
}

void QuoteChainTest::theStoreAnswersFirstAndKeepsLivePrices()
{
    QFETCH(int, keptMinutesAgo);
    QFETCH(QString, sourceName);
    QFETCH(double, sourcePrice);
    QFETCH(double, answer);
    QFETCH(int, calls);
    QFETCH(double, keptAfter);
    const std::int64_t now = 1'800'000'000;
    auto store = std::make_shared<MemoryStore>();
    if (keptMinutesAgo >= 0)
        store->kept["US:AAPL"] = {Quote{100, "USD", "2026-12-04T21:00:00Z", "csv"}, now - keptMinutesAgo * 60};
    std::map<std::string, double> prices;
    if (sourcePrice > 0)
        prices["US:AAPL"] = sourcePrice;
    auto owned = std::make_unique<TableSource>(sourceName.toStdString(), prices);
    TableSource &source = *owned;
    std::vector<std::unique_ptr<QuoteSource>> sources;
    sources.push_back(std::move(owned));
    QuoteChain chain(std::move(sources), 60s, FakeClock().clock(), 20ms);
    chain.setStore(store, 15min, [now] { return now; });

    const auto quote = chain.quote("AAPL", "US");
    QVERIFY(quote);
    QCOMPARE(quote->price, answer);
    QCOMPARE(source.calls.load(), calls);
    const auto kept = store->load("US", "AAPL");
    QCOMPARE(kept ? kept->first.price : 0.0, keptAfter);
    if (kept && keptAfter != 100)
        QCOMPARE(kept->second, now);
}

void QuoteChainTest::manyThreadsAgreeWithTheSources()
{
    std::map<std::string, double> first;
    std::map<std::string, double> second;
    for (int i = 0; i < 20; ++i)
        (i % 2 ? first : second)["HK:" + std::to_string(i)] = 1.0 + i;
    FakeClock clock;
    auto made = makeChain(first, second, 5s, clock.clock());

    std::atomic<int> wrong{0};
    inThreads(12, [&](int t) {
        for (int n = 0; n < 400; ++n) {
            const int i = (n * 7 + t) % 25; // 20..24 are unknown everywhere
            if (n % 50 == 0)
                clock.advance(1s);
            const auto quote = made.chain->quote(std::to_string(i), "HK");
            if (quote.has_value() != (i < 20) ||
                (quote && (quote->price != 1.0 + i || quote->source != (i % 2 ? "first" : "second"))))
                ++wrong;
        }
    });
    QCOMPARE(wrong.load(), 0);
    // 4800 calls over 25 listings and a few expiries: the cache answered almost all of them.
    QVERIFY(made.first->calls.load() < 1000);
}

QTEST_GUILESS_MAIN(QuoteChainTest)
#include "tst_quotechain.moc"
