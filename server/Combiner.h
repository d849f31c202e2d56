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
        Slot &slot = threadSlot();
        std::unique_lock lock(m_mutex);
        slot.item = &item;
        slot.done = false;
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
            for (Slot *queued : batch)
                queued->done = true;
            m_leading = false;
            Slot *next = m_queue.empty() ? nullptr : m_queue.front();
            lock.unlock();
            // Woken after the lock is free, so that a waiter does not wake only to wait for the lock; slots
            // are never freed, so a late wake-up is at worst a spurious one.
            for (Slot *queued : batch) {
                if (queued != &slot)
                    queued->wake.notify_one();
            }
            if (next)
                next->wake.notify_one(); // the next in line leads the next batch
            lock.lock();
        }
    }

private:
    struct Slot {
        Item *item = nullptr;
        bool done = false;
        std::condition_variable wake;
    };

    // One per thread, as a thread waits for one item at a time; never freed, since a leader may still wake
    // it just after its thread has ended.
    static Slot &threadSlot()
    {
        thread_local Slot *slot = new Slot;
        return *slot;
    }

    const std::size_t m_maxBatch;
    std::mutex m_mutex;
    std::deque<Slot *> m_queue;
    bool m_leading = false;
};

} // namespace quillfern::server
