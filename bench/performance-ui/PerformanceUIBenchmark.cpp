// The performance chart repainted with ten years of daily values (3,650 points) at 1200x500, offscreen into
// an image: what a crosshair move costs. Target: one frame at 60 Hz, 16 ms, for the median repaint.

#include "app/performance/ValueChart.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

using namespace quillfern;

namespace {

constexpr double targetMilliseconds = 16;
double medianMilliseconds = 0;

QList<PerformancePoint> tenYears()
{
    QList<PerformancePoint> series;
    const QDate first(2016, 12, 9);
    double value = 10000;
    double invested = 10000;
    for (int day = 0; day < 3650; ++day) {
        // A wandering value over steady monthly deposits, so both lines have every pixel's worth of detail.
        value *= 1 + 0.01 * std::sin(day * 0.37) + 0.0004;
        if (day % 30 == 0) {
            value += 500;
            invested += 500;
        }
        series.append({first.addDays(day).toString(Qt::ISODate), value, invested, 0, 0});
    }
    return series;
}

void BM_RepaintTenYears(benchmark::State &state)
{
    ValueChart chart;
    chart.resize(1200, 500);
    chart.setSeries(tenYears(), CurrencyOption{QStringLiteral("USD"), QStringLiteral("US Dollar"), QStringLiteral("$"),
                                               QString(), 1},
                    QStringLiteral("en-US"), QStringLiteral("en_US"), QStringLiteral("en_US"));
    QImage image(chart.size(), QImage::Format_ARGB32_Premultiplied);
    std::vector<double> times;
    int day = 0;
    for (auto _ : state) {
        // Each frame moves the crosshair, as a mouse drag across the chart does.
        chart.setCrosshair(day = (day + 7) % 3650);
        const auto start = std::chrono::steady_clock::now();
        chart.render(&image);
        times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        benchmark::DoNotOptimize(image.constBits());
    }
    std::nth_element(times.begin(), times.begin() + std::ptrdiff_t(times.size() / 2), times.end());
    medianMilliseconds = times[times.size() / 2];
    state.counters["points"] = double(chart.series().size());
    state.counters["median_ms"] = medianMilliseconds;
}
BENCHMARK(BM_RepaintTenYears)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("median repaint %.2f ms, target <= %.0f ms: %s\n", medianMilliseconds, targetMilliseconds,
                medianMilliseconds <= targetMilliseconds ? "met" : "missed");
    return 0;
}
