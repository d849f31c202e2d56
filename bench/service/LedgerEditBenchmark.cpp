// Times the service's correction of the oldest transaction of a 10,000-row ledger (50 codes at 6 brokers,
// every type), on SQLite in a temporary folder: read the ledger, replay it, write back what changed and
// commit. Prints the median against its target (at most 50 ms).

#include "core/CurrencyCatalog.h"
#include "core/PortfolioRows.h"
#include "core/ledger/Ledger.h"
#include "server/AccountStore.h"
#include "server/Database.h"
#include "server/PortfolioStore.h"
#include "server/Schema.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QTemporaryDir>

#include "bench/TargetReporter.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>

using namespace quillfern;
using namespace quillfern::server;

namespace {

constexpr qint64 kStart = 1577836800; // 2020-01-01T00:00:00Z

struct Bench {
    QTemporaryDir folder;
    std::unique_ptr<Database> database;
    QString user, oldest;
    TransactionCreateInput oldestInput;
    int rows = 0;
};

TransactionCreateInput inputOf(const LedgerTransaction &t)
{
    const QString market = QString::fromStdString(t.market);
    const QDateTime at = QDateTime::fromSecsSinceEpoch(t.tradedAt, Qt::UTC);
    TransactionCreateInput input{QString::fromStdString(t.broker), market, QString::fromStdString(t.code),
                                 QString::fromStdString(t.type), t.quantity, t.price, t.commission,
                                 QString::fromStdString(t.currency), QStringLiteral("Information Technology"),
                                 QStringLiteral("Application Software"), at.toString(Qt::ISODate), QString(),
                                 t.amount, t.splitRatio, true};
    return input;
}

// A ledger a user could have kept, drawn as the ledger engine's own benchmark draws it, then written to the
// table as the service would have booked it.
Bench &bench()
{
    static Bench b = [] {
        Bench made;
        DatabaseConfig config;
        config.path = made.folder.filePath(QStringLiteral("bench.sqlite"));
        made.database = std::make_unique<Database>(config);
        if (const auto failed = applyMigrations(*made.database))
            qFatal("%s", qPrintable(*failed));
        AccountStore accounts(*made.database);
        made.user = accounts.upsertUser(QStringLiteral("dev"), QStringLiteral("bench"), QStringLiteral("Bench"),
                                        QStringLiteral("bench@example.com"), QString(), kStart)
                        ->id;

        static const char *brokers[] = {"IBKR", "Futu", "Tiger", "Snowball", "Schwab", "Sea"};
        static const char *types[] = {"BUY", "BUY",     "BUY",        "BUY",   "SELL",         "SELL",       "SELL",
                                      "DIVIDEND", "INTEREST", "FEE", "TAX", "DEPOSIT", "WITHDRAWAL", "SPLIT",
                                      "TRANSFER_OUT", "TRANSFER_IN"};
        std::mt19937_64 random(42);
        const auto uniform = [&](double low, double high) {
            return std::uniform_real_distribution<double>(low, high)(random);
        };
        LedgerState state;
        std::vector<LedgerTransaction> ledger;
        std::int64_t time = kStart;
        while (ledger.size() < 10000) {
            const int code = int(random() % 50);
            const bool hk = code % 3 == 0;
            LedgerTransaction t;
            t.type = ledger.empty() ? "BUY" : types[random() % (sizeof types / sizeof *types)];
            t.broker = brokers[random() % 6];
            t.market = hk ? "HK" : "US";
            t.code = (hk ? "0" : "C") + std::to_string(1000 + code);
            t.currency = hk ? "HKD" : "USD";
            t.fxToUsd = CurrencyCatalog::fxToUSD(QString::fromStdString(t.currency));
            t.quantity = double(1 + random() % 400);
            t.price = std::round(uniform(1, 900) * 100) / 100;
            t.commission = std::round(uniform(0, 5) * 100) / 100;
            t.amount = std::round(uniform(1, 500) * 100) / 100;
            t.splitRatio = random() % 2 ? 2 : 0.5;
            time += std::int64_t(random() % 14400);
            t.tradedAt = time;
            t.sequence = std::int64_t(ledger.size()) + 1;
            if (!state.apply(t, kStart + 10 * 365 * 86400))
                ledger.push_back(std::move(t));
        }

        {
        WriteTransaction write(*made.database);
        for (const LedgerTransaction &t : ledger) {
            const TransactionCreateInput input = inputOf(t);
            const QString id = newRowID();
            if (made.oldest.isEmpty()) {
                made.oldest = id;
                made.oldestInput = input;
            }
            const Statement insert(
                write.connection(),
                QStringLiteral("INSERT INTO transactions (user_id, id, broker, market, code, transaction_type, "
                               "quantity, price, commission, currency, sector, sub_sector, traded_at, traded_at_ms, "
                               "reason, sequence, amount, split_ratio, settles_in_cash, fx_to_usd, to_market) "
                               "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, 1, ?, 1)"),
                {made.user, id, input.broker, input.market, input.code, input.transactionType, input.quantity,
                 input.price, input.commission, input.currency, input.sector, input.subSector, input.tradedAt,
                 qint64(t.tradedAt * 1000), input.reason, qint64(t.sequence), t.amount, t.splitRatio, t.fxToUsd});
            if (!insert.ok())
                qFatal("%s", qPrintable(insert.error()));
        }
        if (!write.commit())
            qFatal("the ledger did not commit");
        }
        made.rows = int(ledger.size());
        // The first correction builds the holdings and cash from the ledger; the timed ones start from there.
        PortfolioStore store(*made.database);
        if (!store.updateTransaction(made.user, made.oldest, made.oldestInput,
                                     QDateTime::fromString(made.oldestInput.tradedAt, Qt::ISODate).toMSecsSinceEpoch(),
                                     QDateTime::currentSecsSinceEpoch()))
            qFatal("the first replay was refused");
        return made;
    }();
    return b;
}

// Alternates the oldest purchase's price, so each correction moves that position's cost and every gain
// realised from it afterwards.
void correctOldest(benchmark::State &state)
{
    Bench &b = bench();
    PortfolioStore store(*b.database);
    const qint64 at = QDateTime::fromString(b.oldestInput.tradedAt, Qt::ISODate).toMSecsSinceEpoch();
    TransactionCreateInput input = b.oldestInput;
    bool flip = false;
    for (auto _ : state) {
        input.price = b.oldestInput.price + (flip ? 0.25 : 0);
        flip = !flip;
        const auto corrected = store.updateTransaction(b.user, b.oldest, input, at, QDateTime::currentSecsSinceEpoch());
        if (!corrected)
            state.SkipWithError("the correction was refused");
    }
    state.SetLabel(std::to_string(b.rows) + " transactions");
}

BENCHMARK(correctOldest)->Unit(benchmark::kMillisecond)->MinTime(3);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    quillfern::benchmarks::TargetReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    if (reporter.time() > 0)
        std::printf("\ncorrecting the oldest of %d transactions: %.2f ms of service time (target <= 50 ms) %s\n",
                    bench().rows, reporter.time(), reporter.time() <= 50 ? "ok" : "MISSED");
    benchmark::Shutdown();
    return 0;
}
