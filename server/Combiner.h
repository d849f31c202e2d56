#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <vector>

namespace quillfern::server {

// Concurrent callers queue their items and one of them, the leader, handles everything queued in one go
// while the rest wait: one query answers many session checks, one commit makes many saves durable. Items
// are handled in arrival order, and only after they were queued, so a combined answer is as fresh as one
// of its own. While a leader works, new items queue for the next one, so batches grow with the load.
template <class Item> class Combiner {
public:
    explicit Combiner(std::size_t maxBatch) : m_maxBatch(maxBatch) {}
    Combiner(const Combiner &) = delete;
    Combiner &operator=(const Combiner &) = delete;

    // Returns once run() has handled item, on this thread or on another. run receives a
    // std::vector<Item *> and must not throw.
    template <class Run> void submit(Item &item, Run &&run)
    {
        Slot slot(&item);
        std::unique_lock lock(m_mutex);
        m_queue.push_back(&slot);
        while (!slot.done) {
            if (m_leading) {
                slot.wake.wait(lock);
                continue;
            }
            m_leading = true;
            std::vector<Slot *> batch;
            while (!m_queue.empty() && batch.size() < m_maxBatch) {
                batch.push_back(m_queue.front());
                m_queue.pop_front();
            }
            lock.unlock();
            std::vector<Item *> items;
            items.reserve(batch.size());
            for (Slot *queued : batch)
                items.push_back(queued->item);
            run(items);
            lock.lock();
            // Woken under the lock: a waiter that sees done returns and takes its slot with it.
            for (Slot *queued : batch) {
                queued->done = true;
                if (queued != &slot)
                    queued->wake.notify_one();
            }
            m_leading = false;
            if (!m_queue.empty())
                m_queue.front()->wake.notify_one(); // the next in line leads the next batch
        }
    }

private:
    struct Slot {
        explicit Slot(Item *queued) : item(queued) {}
        Item *item;
        bool done = false;
        std::condition_variable wake;
    };

    const std::size_t m_maxBatch;
    std::mutex m_mutex;
    std::deque<Slot *> m_queue;
    bool m_leading = false;
};

} // namespace quillfern::server
