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
        bool leading = false;
        {
            const std::lock_guard lock(m_mutex);
            slot.item = &item;
            slot.state = Waiting; // no one else touches the slot before it is queued
            m_queue.push_back(&slot);
            if (!m_leading)
                m_leading = leading = true;
        }
        if (!leading) {
            // A waiter sleeps on its own slot, not on the queue's lock, so that being woken costs it nothing
            // more. A condition variable rather than std::atomic::wait: libstdc++'s spins with sched_yield
            // first, which under load took a fifth of the service's time away from the work.
            std::unique_lock lock(slot.mutex);
            slot.woken.wait(lock, [&slot] { return slot.state != Waiting; });
            if (slot.state == Done)
                return;
        }
        lead(run);
    }

private:
    enum State : int { Waiting, Leading, Done };

    struct Slot {
        Item *item = nullptr;
        std::mutex mutex;
        std::condition_variable woken;
        State state = Waiting; // under mutex once queued
    };

    static void wake(Slot &slot, State state)
    {
        {
            const std::lock_guard lock(slot.mutex);
            slot.state = state;
        }
        slot.woken.notify_one();
    }

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
        if (next)
            wake(*next, Leading);
        for (Slot *queued : batch)
            if (queued != batch.front()) // the leader's own, and the leader is not waiting
                wake(*queued, Done);
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
