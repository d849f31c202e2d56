// Times the service's answer to GET /v1/performance for an account of 500 holdings over ten years of daily
// closes (SQLite in a temporary folder, warm: the closes were read once before), and the same process's
// answer to nothing at all as the floor. Prints the median against its target (at most 200 ms).

#include "core/PortfolioRows.h"
#include "server/AccountStore.h"
#include "server/Database.h"
#include "server/PerformanceQuery.h"
#include "server/Schema.h"

#include <QCoreApplication>
#include <QDate>
#include <QTemporaryDir>

#include "bench/TargetReporter.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>

using namespace quillfern;
using namespace quillfern::server;

namespace {

constexpr int kListings = 500;
constexpr qint64 kEpochJulianDay = 2440588;

struct Bench {
    QTemporaryDir folder;
    std::unique_ptr<Database> database;
    QString user;
    PerformanceQuery query;
};

Bench &bench()
{
    static Bench b = [] {
        Bench made;
        DatabaseConfig config;
        config.path = made.folder.filePath(QStringLiteral("bench.sqlite"));
        made.database = std::make_unique<Database>(config);
        if (const auto failed = applyMigrations(*made.database))
            qFatal("%s", qPrintable(*failed));
        made.user = AccountStore(*made.database)
                        .upsertUser(QStringLiteral("dev"), QStringLiteral("bench"), QStringLiteral("Bench"),
                                    QStringLiteral("bench@example.com"), QString(), 0)
                        ->id;
        const QDate last(2026, 12, 4), first = last.addYears(-10);
        const auto dayNumber = [](const QDate &date) { return std::int32_t(date.toJulianDay() - kEpochJulianDay); };
        std::mt19937_64 random(7);
        {
        WriteTransaction write(*made.database);
        const QString today = last.toString(Qt::ISODate);
        qint64 sequence = 0;
        for (int i = 0; i < kListings; ++i) {
            const QString code = QStringLiteral("C%1").arg(1000 + i);
            double close = 20 + double(random() % 400);
            for (QDate day = first; day <= last; day = day.addDays(1)) {
                if (day.dayOfWeek() > 5)
                    continue;
                close *= 1 + (double(random() % 2001) - 1000) / 50000.0;
                Statement row(write.connection(),
                              QStringLiteral("INSERT INTO price_history (market, symbol, day, close) VALUES ('US', ?, ?, ?)"),
                              {code, day.toString(Qt::ISODate), close});
            }
            Statement asked(write.connection(),
                            QStringLiteral("INSERT INTO history_fetches (market, symbol, asked_on, since) "
                                           "VALUES ('US', ?, ?, ?)"),
                            {code, today, first.toString(Qt::ISODate)});
            // A purchase in the first year and a dividend in each later one.
            const QDateTime bought(first.addDays(int(random() % 360)), QTime(15, 0), Qt::UTC);
            for (int year = 0; year < 10; ++year) {
                const QDateTime at = year == 0 ? bought : bought.addYears(year);
                const bool buy = year == 0;
                Statement trade(
                    write.connection(),
                    QStringLiteral("INSERT INTO transactions (user_id, id, broker, market, code, transaction_type, "
                                   "quantity, price, commission, currency, sector, sub_sector, traded_at, "
                                   "traded_at_ms, reason, sequence, amount, split_ratio, settles_in_cash, fx_to_usd, "
                                   "to_market) VALUES (?, ?, 'IBKR', 'US', ?, ?, ?, ?, 1, 'USD', 'Information "
                                   "Technology', 'Application Software', ?, ?, '', ?, ?, 0, 0, 1, 1)"),
                    {made.user, newRowID(), code, buy ? QStringLiteral("BUY") : QStringLiteral("DIVIDEND"),
                     buy ? 10.0 + double(random() % 90) : 0.0, buy ? 50.0 : 0.0, at.toString(Qt::ISODate),
                     at.toMSecsSinceEpoch(), ++sequence, buy ? 0.0 : 5.0 + double(random() % 50)});
            }
        }
        if (!write.commit())
            qFatal("the bench data did not commit");
        }
        made.query = PerformanceQuery{dayNumber(first), dayNumber(last), dayNumber(last), {}, {}};
        if (!measureAccount(made.database->connection(), made.user, made.query, nullptr))
            qFatal("the first answer failed");
        return made;
    }();
    return b;
}

void tenYears(benchmark::State &state)
{
    Bench &b = bench();
    std::size_t days = 0;
    for (auto _ : state) {
        const auto answer = measureAccount(b.database->connection(), b.user, b.query, nullptr);
        if (!answer)
            state.SkipWithError("the answer failed");
        else
            days = std::size_t(answer->series.size());
    }
    state.SetLabel(std::to_string(kListings) + " holdings, " + std::to_string(days) + " days");
}

BENCHMARK(tenYears)->Unit(benchmark::kMillisecond)->MinTime(3);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    quillfern::benchmarks::TargetReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    if (reporter.time() > 0)
        std::printf("\nperformance of %d holdings over ten years: %.2f ms of service time (target <= 200 ms) %s\n",
                    kListings, reporter.time(), reporter.time() <= 200 ? "ok" : "MISSED");
    benchmark::Shutdown();
    return 0;
}
