#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace quillfern::server {

struct Quote {
    double price = 0;
    std::string currency; // empty when the source doesn't say
    std::string asOf;     // when the source priced it, ISO 8601 UTC ("2026-12-04T21:00:09Z"); empty: not said
    std::string source;   // the name of the source that answered
};

// Somewhere to ask for the latest price of a listing. Implementations are called from several threads at once.
class QuoteSource {
public:
    virtual ~QuoteSource() = default;
    // nullopt: this source does not know the listing (or could not be asked just now).
    virtual std::optional<Quote> quote(const std::string &symbol, const std::string &market) = 0;
    virtual std::string name() const = 0;
    // Whether the source prices listings of this market at all.
    virtual bool serves(const std::string &market) const = 0;
};

// A fixed table read from text lines "market,symbol,price,currency": a header line of those four words, '#'
// comments and blank lines are ignored. Lookup ignores ASCII case and surrounding blanks in symbol and market.
// A bad line makes loading fail with a reason naming its line number.
class OfflineQuotes : public QuoteSource {
public:
    static std::variant<std::unique_ptr<OfflineQuotes>, std::string> fromText(const std::string &csv);
    static std::variant<std::unique_ptr<OfflineQuotes>, std::string> fromFile(const std::string &path);

    std::optional<Quote> quote(const std::string &symbol, const std::string &market) override;
    std::string name() const override { return m_name; }
    bool serves(const std::string &market) const override;
    std::size_t size() const { return m_quotes.size(); }
    // What its answers are labelled: "demo" for the built-in table, "file" for one the operator gave.
    void setName(std::string name) { m_name = std::move(name); }

private:
    explicit OfflineQuotes(std::map<std::string, Quote> quotes) : m_quotes(std::move(quotes)) {}

    const std::map<std::string, Quote> m_quotes; // by upper-cased "MARKET\nSYMBOL"
    std::string m_name = "offline";
};

// The free CSV format of stooq.com's light quote endpoint:
//   GET <base>/q/l/?s=<symbol>.<suffix>&f=sd2t2ohlcv&h&e=csv
// answering a header line and one row whose Close is the price; an unknown symbol answers "N/D" fields.
// Its Date and Time are the source's Central European time of that price, and come back as the as-of time.
// Markets US, HK, JP and EU (traded in Germany) are asked; CN and anything else are nullopt without a request.
// The currency is the one the exchange trades in. A transport failure, a status other than 200 or a malformed
// answer is nullopt and counted in failures(); each request gives up after 5 seconds. The service log hears
// of it once when the source starts failing and once when it answers again, not on every request.
class CsvQuoteSource : public QuoteSource {
public:
    using Log = std::function<void(const std::string &line)>;
    // Without a log, the lines go to standard output.
    explicit CsvQuoteSource(std::string baseURL, Log log = {});
    // How the source names a listing ("aapl.us", "5.hk"), with the currency it trades in; none for a market
    // it does not serve.
    static std::optional<std::pair<std::string, std::string>> ticker(const std::string &symbol,
                                                                     const std::string &market);

    std::optional<Quote> quote(const std::string &symbol, const std::string &market) override;
    std::string name() const override { return "csv"; }
    bool serves(const std::string &market) const override;
    std::size_t failures() const { return m_failures.load(); }
    // Why the latest failure happened, for the service log; empty before the first.
    std::string lastFailure() const;

private:
    std::nullopt_t fail(std::string reason);
    // An answer in the expected form arrived.
    void answering();

    std::string m_baseURL;
    std::optional<std::string> m_base; // without a trailing '/'; unset when the base URL cannot take a query
    std::atomic<std::size_t> m_failures{0};
    mutable std::mutex m_mutex;
    std::string m_lastFailure;
    bool m_failing = false;
    Log m_log;
};

// One day's close of a listing: day as yyyy-MM-dd.
struct DailyClose {
    std::string day;
    double close = 0;

    bool operator==(const DailyClose &) const = default;
};

// The daily-history download of the same source: a header "Date,Open,High,Low,Close[,Volume]" and one row
// per trading day, oldest first; "No data" for a listing it does not know (an empty list). None when the
// text is not this format; rows whose close is not a positive number are skipped.
std::optional<std::vector<DailyClose>> parseDailyHistory(std::string_view csv);

// Asks that download for a listing's closes between two days (yyyy-MM-dd), at
//   GET <base>/q/d/l/?s=<symbol>.<suffix>&d1=<yyyymmdd>&d2=<yyyymmdd>&i=d
// None when it could not be asked or answered out of form; each request gives up after 20 seconds.
class CsvHistorySource {
public:
    explicit CsvHistorySource(std::string baseURL);
    std::optional<std::vector<DailyClose>> closes(const std::string &symbol, const std::string &market,
                                                  const std::string &fromDay, const std::string &toDay) const;
    bool serves(const std::string &market) const;

private:
    std::optional<std::string> m_base; // without a trailing '/'
};

// Prices kept where every replica and every restart finds them, by upper-cased market and symbol. Called
// only from request threads, never from the chain's own.
class QuoteStore {
public:
    virtual ~QuoteStore() = default;
    // The kept price of a listing and when it was fetched (seconds since the epoch), if any.
    virtual std::optional<std::pair<Quote, std::int64_t>> load(const std::string &market,
                                                               const std::string &symbol) = 0;
    virtual void save(const std::string &market, const std::string &symbol, const Quote &quote,
                      std::int64_t fetchedAt) = 0;
};

// Asks its sources in order until one knows the listing, and remembers every answer, found or not, for ttl,
// keyed by the upper-cased market and symbol. Safe to call from many threads: callers asking for the same
// listing at once share one round of requests, while different listings are looked up in parallel.
// The sources are asked on a thread of the chain's own. A listing that was found before is never held up by
// a slow or failing source: past patience, or when the round finds nothing, the last price found is answered,
// with the time it was priced at; the round still completes and its answer serves the callers after it.
// With a store, a listing is first looked up there: a price fetched less than freshFor ago is answered
// without asking the sources, an older one is the price to fall back on, and every live price a round finds
// is kept there (demo prices are not).
class QuoteChain {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    using WallClock = std::function<std::int64_t()>; // seconds since the epoch

    explicit QuoteChain(std::vector<std::unique_ptr<QuoteSource>> sources,
                        std::chrono::seconds ttl = std::chrono::seconds(60),
                        Clock clock = std::chrono::steady_clock::now,
                        std::chrono::milliseconds patience = std::chrono::seconds(1));
    // Waits for the rounds still asking their sources.
    ~QuoteChain();
    void setStore(std::shared_ptr<QuoteStore> store, std::chrono::seconds freshFor = std::chrono::minutes(15),
                  WallClock now = {});
    QuoteChain(const QuoteChain &) = delete;
    QuoteChain &operator=(const QuoteChain &) = delete;

    std::optional<Quote> quote(const std::string &symbol, const std::string &market);
    // Asks the sources for the listing now, whatever is remembered or kept, and waits for the round; a live
    // price found is kept in the store. For a refresher that runs on a thread of its own.
    std::optional<Quote> refresh(const std::string &symbol, const std::string &market);
    // Whether any source prices listings of this market.
    bool serves(const std::string &market) const;

private:
    struct Entry {
        std::optional<Quote> quote;
        std::optional<Quote> lastFound; // the latest price a round found, kept past the ttl
        std::chrono::steady_clock::time_point expires;
        bool pending = false;
        bool unsaved = false; // quote was found by a round and is not in the store yet
        int waiting = 0;
    };
    // Puts an unsaved found price of the entry in the store; called with the lock held, which it lets go.
    std::optional<Quote> answered(std::unique_lock<std::mutex> &lock, const std::string &key, Entry &entry,
                                  std::optional<Quote> answer);

    std::optional<Quote> askSources(const std::string &symbol, const std::string &market);
    // Runs a round for the listing on a thread of its own; the entry is marked pending until it ends.
    void startRound(const std::string &key, const std::string &symbol, const std::string &market);
    void forgetExpired(std::chrono::steady_clock::time_point now);

    const std::vector<std::unique_ptr<QuoteSource>> m_sources;
    const std::chrono::seconds m_ttl;
    const Clock m_clock;
    const std::chrono::milliseconds m_patience;
    std::mutex m_mutex;
    std::condition_variable m_answered;
    std::map<std::string, Entry> m_entries;
    std::shared_ptr<QuoteStore> m_store;
    std::chrono::seconds m_freshFor{0};
    WallClock m_wallClock;
    std::size_t m_rounds = 0; // running
    std::condition_variable m_roundEnded;
};

} // namespace quillfern::server
