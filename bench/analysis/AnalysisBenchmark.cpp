// Times analyzePortfolio at 1,000 and 100,000 positions beside a floor that only copies the inputs into
// the output records, then prints the two ratios that matter: analysis over floor at 100,000 (target
// at most 3) and cost per position at 100,000 over cost per position at 1,000 (target at most 1.5).

#include "core/analysis/Analysis.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <random>
#include <string>

namespace {

using quillfern::AssetInput;
using quillfern::AssetValuation;
using quillfern::PortfolioSummary;

std::vector<AssetInput> portfolio(size_t count)
{
    static const char *markets[] = {"US", "HK", "CN", "JP", "EU"};
    static const char *currencies[] = {"USD", "HKD", "CNY", "JPY", "EUR"};
    static const double rates[] = {1.0, 0.127618574, 0.138, 0.0064, 1.08};
    static const char *sectors[] = {"Information Technology",
                                    "Financials",
                                    " Health Care",
                                    "Energy",
                                    "Consumer Discretionary",
                                    "Industrials",
                                    "Materials",
                                    "Utilities",
                                    "Real Estate",
                                    "Communication Services",
                                    "Consumer Staples"};
    static const char *brokers[] = {"Snowball", "Futu", "Hafoo", "IBKR", "Tiger", "Sea"};
    std::mt19937_64 random(42);
    std::uniform_real_distribution<double> price(0.5, 900.0);
    std::uniform_int_distribution<int> quantity(0, 5000);
    std::vector<AssetInput> assets;
    assets.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        char id[64];
        std::snprintf(id, sizeof id, "%08zX-1C2D-4E5F-8A9B-%012zX", i, i * 7919);
        const size_t m = random() % 5;
        assets.push_back(AssetInput{id, markets[m], sectors[random() % 11], "Application Software",
                                    "C" + std::to_string(i), currencies[m], brokers[random() % 6], price(random),
                                    double(quantity(random)), price(random), rates[m]});
    }
    return assets;
}

const std::vector<AssetInput> &inputs(size_t count)
{
    static std::map<size_t, std::vector<AssetInput>> cache;
    auto found = cache.find(count);
    if (found == cache.end())
        found = cache.emplace(count, portfolio(count)).first;
    return found->second;
}

void analysis(benchmark::State &state)
{
    const auto &assets = inputs(size_t(state.range(0)));
    for (auto _ : state) {
        PortfolioSummary summary = quillfern::analyzePortfolio(assets);
        benchmark::DoNotOptimize(summary);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * state.range(0));
}

// The same records built and returned, with none of the arithmetic or allocation work.
void copyFloor(benchmark::State &state)
{
    const auto &assets = inputs(size_t(state.range(0)));
    for (auto _ : state) {
        PortfolioSummary summary;
        summary.positions.reserve(assets.size());
        for (const AssetInput &a : assets)
            summary.positions.push_back(AssetValuation{a.id, a.market, a.sector, a.subSector, a.code, a.currency,
                                                       a.broker, a.averagePrice, a.quantity, a.currentPrice,
                                                       a.fxToUsd});
        benchmark::DoNotOptimize(summary);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * state.range(0));
}

BENCHMARK(analysis)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(copyFloor)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs) {
            if (run.run_type == Run::RT_Iteration || run.aggregate_name == "median")
                nanosPerIteration[run.run_name.str()] = run.GetAdjustedRealTime() * 1e3; // reported in µs
        }
    }

    std::map<std::string, double> nanosPerIteration;
};

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    const auto time = [&](const char *name) {
        const auto found = reporter.nanosPerIteration.find(name);
        return found == reporter.nanosPerIteration.end() ? 0.0 : found->second;
    };
    const double small = time("analysis/1000"), large = time("analysis/100000");
    const double floorLarge = time("copyFloor/100000");
    if (small > 0 && large > 0 && floorLarge > 0) {
        const double overFloor = large / floorLarge;
        const double linearity = (large / 100000) / (small / 1000);
        std::printf("\nper position: %.1f ns at 1,000, %.1f ns at 100,000 (floor %.1f ns)\n", small / 1000,
                    large / 100000, floorLarge / 100000);
        std::printf("analysis / floor at 100,000:        %.2f  (target <= 3.00) %s\n", overFloor,
                    overFloor <= 3.0 ? "ok" : "MISSED");
        std::printf("per-position cost 100,000 / 1,000:  %.2f  (target <= 1.50) %s\n", linearity,
                    linearity <= 1.5 ? "ok" : "MISSED");
    }
    benchmark::Shutdown();
    return 0;
}
