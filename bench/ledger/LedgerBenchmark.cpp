// Times replayLedger over 10,000 transactions on 50 codes at 6 brokers, with and without building the
// report, and appending one transaction to a replayed state, then prints the replay against its target
// (at most 50 ms).

#include "core/ledger/Ledger.h"

#include "bench/TargetReporter.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <string>

namespace {

using quillfern::LedgerOpening;
using quillfern::LedgerState;
using quillfern::LedgerTransaction;

constexpr std::int64_t kStart = 1577836800; // 2020-01-01T00:00:00Z
constexpr std::int64_t kNow = 1735689600;   // 2025-01-01T00:00:00Z

const LedgerOpening &opening()
{
    static const LedgerOpening rows{{}, {{"IBKR", "USD", 1e6}, {"Futu", "HKD", 1e6}}};
    return rows;
}

// A ledger a user could have kept: rows the engine refuses are dropped as they are drawn, so every one of
// the 10,000 is applied.
const std::vector<LedgerTransaction> &ledger()
{
    static const std::vector<LedgerTransaction> rows = [] {
        static const char *brokers[] = {"IBKR", "Futu", "Tiger", "Snowball", "Schwab", "Sea"};
        static const char *types[] = {
            "BUY", "BUY", "BUY",     "BUY",        "SELL",  "SELL",         "SELL",        "DIVIDEND",       "INTEREST",
            "FEE", "TAX", "DEPOSIT", "WITHDRAWAL", "SPLIT", "TRANSFER_OUT", "TRANSFER_IN", "OPTION_EXERCISE"};
        const size_t typeCount = sizeof types / sizeof *types;
        std::mt19937_64 random(42);
        const auto uniform = [&](double low, double high) {
            return std::uniform_real_distribution<double>(low, high)(random);
        };
        LedgerState state = quillfern::replayLedger(opening(), {}, kNow).state;
        std::vector<LedgerTransaction> out;
        std::int64_t time = kStart;
        while (out.size() < 10000) {
            const int code = int(random() % 50);
            const bool hk = code % 3 == 0;
            LedgerTransaction t;
            t.id = "T" + std::to_string(out.size());
            t.type = types[random() % typeCount];
            t.broker = brokers[random() % 6];
            t.market = hk ? "HK" : "US";
            t.code = (hk ? "0" : "C") + std::to_string(1000 + code);
            t.currency = hk ? "HKD" : "USD";
            t.fxToUsd = hk ? 0.128 : 1.0;
            t.quantity = double(1 + random() % 400);
            t.price = uniform(1, 900);
            t.commission = uniform(0, 5);
            t.amount = uniform(1, 500);
            t.splitRatio = random() % 2 ? 2 : 0.5;
            time += std::int64_t(random() % 14400);
            t.tradedAt = time;
            if (!state.apply(t, kNow))
                out.push_back(std::move(t));
        }
        return out;
    }();
    return rows;
}

void replay(benchmark::State &state)
{
    const auto &rows = ledger();
    for (auto _ : state) {
        auto replayed = quillfern::replayLedger(opening(), rows, kNow);
        benchmark::DoNotOptimize(replayed);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(rows.size()));
}

void replayAndReport(benchmark::State &state)
{
    const auto &rows = ledger();
    for (auto _ : state) {
        auto report = quillfern::replayLedger(opening(), rows, kNow).state.report();
        benchmark::DoNotOptimize(report);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(rows.size()));
}

// One BUY appended to the replayed ledger, as a service records a new transaction.
void appendOne(benchmark::State &state)
{
    const LedgerState base = quillfern::replayLedger(opening(), ledger(), kNow).state;
    LedgerTransaction buy{"next", "BUY", "IBKR", "US", "C1001", "USD", 10, 50, 1, 0, 0, true, kNow, 1.0};
    LedgerState working;
    for (auto _ : state) {
        state.PauseTiming();
        working = base; // the copy and the release of the previous one stay out of the time
        state.ResumeTiming();
        auto refusal = working.apply(buy, kNow);
        benchmark::DoNotOptimize(refusal);
    }
}

BENCHMARK(replay)->Unit(benchmark::kMillisecond);
BENCHMARK(replayAndReport)->Unit(benchmark::kMillisecond);
BENCHMARK(appendOne)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    quillfern::benchmarks::TargetReporter reporter("replay");
    benchmark::RunSpecifiedBenchmarks(&reporter);
    if (reporter.time() > 0)
        std::printf("\nreplay of %zu transactions: %.2f ms  (target <= 50 ms) %s\n", ledger().size(),
                    reporter.time(), reporter.time() <= 50 ? "ok" : "MISSED");
    benchmark::Shutdown();
    return 0;
}
