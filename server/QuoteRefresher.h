#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace quillfern::server {

class Database;
class QuoteChain;

// Keeps the price of every listing any account holds fresh, without any client asking: every interval it
// asks the quote chain for each held listing whose kept price is due (market::refreshDue: every interval
// while its market trades, once after the close), one at a time with a pause between them. Across replicas on PostgreSQL one refresher runs at a time (an advisory lock
// taken for the round; a replica that cannot take it skips the round). Stops with the object.
class QuoteRefresher {
public:
    // Told of every held listing each round (market and symbol upper-cased), for keeping more than its price.
    using HeldListing = std::function<void(const std::string &market, const std::string &symbol)>;

    QuoteRefresher(Database &database, QuoteChain &quotes, std::chrono::seconds interval,
                   std::chrono::milliseconds pause = std::chrono::milliseconds(250), HeldListing held = {});
    ~QuoteRefresher();
    QuoteRefresher(const QuoteRefresher &) = delete;
    QuoteRefresher &operator=(const QuoteRefresher &) = delete;

private:
    void loop();
    void refreshRound();
    // Waits for the given time or the stop; false once stopping.
    bool sleep(std::chrono::milliseconds time);

    Database &m_database;
    QuoteChain &m_quotes;
    const std::chrono::seconds m_interval;
    const std::chrono::milliseconds m_pause;
    const HeldListing m_held;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    std::thread m_thread;
};

} // namespace quillfern::server
