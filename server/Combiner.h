#pragma once

#include <atomic>
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
        slot.item = &item;
        slot.state.store(Waiting, std::memory_order_relaxed);
        {
            const std::lock_guard lock(m_mutex);
            m_queue.push_back(&slot);
            if (!m_leading) {
                m_leading = true;
                slot.state.store(Leading, std::memory_order_relaxed);
            }
        }
        // A waiter sleeps on its own slot, not on the queue's lock, so that being woken costs it nothing more.
        State state = slot.state.load(std::memory_order_acquire);
        while (state == Waiting) {
            slot.state.wait(Waiting, std::memory_order_acquire);
            state = slot.state.load(std::memory_order_acquire);
        }
        if (state == Done)
            return;
        lead(run);
    }

private:
    enum State : int { Waiting, Leading, Done };

    struct Slot {
        Item *item = nullptr;
        std::atomic<State> state{Waiting};
    };

    // Leadership passes from one leader straight to the first caller queued behind its batch, so the queue
    // is empty whenever no one leads, and a leader's own item is always at the front of its batch.
    template <class Run> void lead(Run &run)
    {
        std::vector<Slot *> batch;
        {
            const std::lock_guard lock(m_mutex);
            while (!m_queue.empty() && batch.size() < m_maxBatch) {
                batch.push_back(m_queue.front());
                m_queue.pop_front();
            }
        }
        std::vector<Item *> items;
        items.reserve(batch.size());
        for (Slot *queued : batch)
            items.push_back(queued->item);
        run(items);
        Slot *next = nullptr;
        {
            const std::lock_guard lock(m_mutex);
            if (m_queue.empty())
                m_leading = false;
            else
                next = m_queue.front();
        }
        // Slots are never freed, so a wake-up that arrives after its waiter has moved on is harmless.
        if (next) {
            next->state.store(Leading, std::memory_order_release);
            next->state.notify_one();
        }
        for (Slot *queued : batch) {
            queued->state.store(Done, std::memory_order_release);
            queued->state.notify_one();
        }
    }

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
