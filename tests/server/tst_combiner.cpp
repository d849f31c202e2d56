#include "server/Combiner.h"

#include <QTest>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

using namespace quillfern::server;

namespace {

struct Job {
    long queuedAfter = 0; // the number of writes this job's caller had made when it submitted
    long seenWrites = -1; // the writes visible when a leader handled it
    int handled = 0;
};

} // namespace

class TestCombiner : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void everyItemIsHandledOnceFreshAndInBatchesNoLargerThanAllowed_data()
    {
        QTest::addColumn<int>("threads");
        QTest::addColumn<int>("maxBatch");
        QTest::addColumn<int>("workMicroseconds");
        QTest::newRow("alone") << 1 << 8 << 0;
        QTest::newRow("no combining allowed") << 8 << 1 << 0;
        QTest::newRow("small batches") << 16 << 3 << 20;
        QTest::newRow("more threads than cores") << 32 << 64 << 0;
        QTest::newRow("slow leader") << 16 << 64 << 200;
    }

    void everyItemIsHandledOnceFreshAndInBatchesNoLargerThanAllowed()
    {
        QFETCH(int, threads);
        QFETCH(int, maxBatch);
        QFETCH(int, workMicroseconds);
        constexpr int rounds = 400;
        Combiner<Job> combiner{std::size_t(maxBatch)};
        std::atomic<long> writes{0};
        std::atomic<int> running{0};
        std::atomic<int> overlaps{0};
        std::atomic<int> oversized{0};
        std::atomic<int> leaderNotFirst{0};
        std::atomic<int> largestBatch{0};
        std::atomic<int> stale{0};
        std::atomic<int> notHandledOnce{0};

        const auto worker = [&] {
            for (int round = 0; round < rounds; ++round) {
                Job job;
                job.queuedAfter = ++writes;
                combiner.submit(job, [&](const std::vector<Job *> &batch) {
                    if (running.fetch_add(1) != 0)
                        ++overlaps;
                    if (batch.empty() || batch.size() > std::size_t(maxBatch))
                        ++oversized;
                    if (batch.empty() || batch.front() != &job)
                        ++leaderNotFirst;
                    for (int seen = largestBatch.load(); int(batch.size()) > seen &&
                                                         !largestBatch.compare_exchange_weak(seen, int(batch.size()));) {
                    }
                    const long visible = writes.load();
                    for (Job *queued : batch) {
                        queued->seenWrites = visible;
                        ++queued->handled;
                    }
                    if (workMicroseconds > 0)
                        std::this_thread::sleep_for(std::chrono::microseconds(workMicroseconds));
                    running.fetch_sub(1);
                });
                // Handled before submit returned, exactly once, and by a leader that ran after it was queued.
                if (job.handled != 1)
                    ++notHandledOnce;
                if (job.seenWrites < job.queuedAfter)
                    ++stale;
            }
        };
        std::vector<std::thread> pool;
        for (int i = 0; i < threads; ++i)
            pool.emplace_back(worker);
        for (std::thread &thread : pool)
            thread.join();

        QCOMPARE(notHandledOnce.load(), 0);
        QCOMPARE(stale.load(), 0);
        QCOMPARE(overlaps.load(), 0);
        QCOMPARE(oversized.load(), 0);
        QCOMPARE(leaderNotFirst.load(), 0);
        // While a slow leader works, the others queue behind it and are answered together.
        if (threads > 1 && maxBatch > 1 && workMicroseconds >= 200)
            QVERIFY2(largestBatch.load() > 1, "no two items were ever handled together");
    }
};

QTEST_GUILESS_MAIN(TestCombiner)
#include "tst_combiner.moc"
