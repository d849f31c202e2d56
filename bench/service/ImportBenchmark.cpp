// Times the import of a broker's file of 100,000 transactions through the real service on SQLite: the app's
// request encoded, sent over loopback, checked, booked in one database transaction with one replay of the
// ledger, and answered. Each round imports into a fresh account. Prints the median against its target
// (at most 5 s).

#include "api/PortfolioAPI.h"
#include "core/CurrencyCatalog.h"
#include "core/ledger/Ledger.h"
#include "tests/support/ServiceProcess.h"

#include <QCoreApplication>
#include <QCoro/QCoroTask>
#include <QCryptographicHash>
#include <QDateTime>
#include <QNetworkAccessManager>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "bench/TargetReporter.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>

using namespace quillfern;

namespace {

constexpr int kRows = 100000;
constexpr std::int64_t kStart = 1420070400; // 2015-01-01T00:00:00Z

// Ten years of trading at six brokers in 300 codes, every type, drawn so that the ledger replays.
TransactionImportRequest drawImport()
{
    static const char *brokers[] = {"IBKR", "Futu", "Tiger", "Snowball", "Schwab", "Sea"};
    static const char *types[] = {"BUY", "BUY", "BUY", "SELL", "SELL", "DIVIDEND", "INTEREST", "FEE", "TAX",
                                  "DEPOSIT", "WITHDRAWAL", "SPLIT", "TRANSFER_OUT", "TRANSFER_IN"};
    std::mt19937_64 random(7);
    const auto cents = [&](double low, double high) {
        return std::round(std::uniform_real_distribution<double>(low, high)(random) * 100) / 100;
    };
    TransactionImportRequest request;
    request.fileName = QStringLiteral("history.csv");
    LedgerState state;
    std::int64_t time = kStart;
    const std::int64_t end = kStart + std::int64_t(3000) * 86400;
    while (request.transactions.size() < kRows) {
        const int code = int(random() % 300);
        const bool hk = code % 3 == 0;
        LedgerTransaction t;
        t.type = request.transactions.isEmpty() ? "DEPOSIT" : types[random() % (sizeof types / sizeof *types)];
        t.broker = brokers[random() % 6];
        t.market = hk ? "HK" : "US";
        t.code = (hk ? "0" : "C") + std::to_string(1000 + code);
        t.currency = hk ? "HKD" : "USD";
        t.fxToUsd = CurrencyCatalog::fxToUSD(QString::fromStdString(t.currency));
        t.quantity = double(1 + random() % 400);
        t.price = cents(1, 900);
        t.commission = cents(0, 5);
        t.amount = cents(1, 500);
        t.splitRatio = random() % 2 ? 2 : 0.5;
        time += std::int64_t(random() % 2600);
        t.tradedAt = time;
        t.sequence = std::int64_t(request.transactions.size()) + 1;
        t.settlesInCash = false;
        if (state.apply(t, end))
            continue;
        const bool shares = t.type == "BUY" || t.type == "SELL" || t.type == "TRANSFER_IN" || t.type == "TRANSFER_OUT";
        const bool split = t.type == "SPLIT";
        TransactionCreateInput input{split ? QString() : QString::fromStdString(t.broker),
                                     shares || split ? QString::fromStdString(t.market) : QString(),
                                     shares || split ? QString::fromStdString(t.code) : QString(),
                                     QString::fromStdString(t.type),
                                     shares ? t.quantity : 0,
                                     shares ? t.price : 0,
                                     shares ? t.commission : 0,
                                     split ? QString() : QString::fromStdString(t.currency),
                                     QStringLiteral("Information Technology"),
                                     QStringLiteral("Application Software"),
                                     QDateTime::fromSecsSinceEpoch(t.tradedAt, Qt::UTC).toString(Qt::ISODate),
                                     QString(),
                                     shares || split ? std::nullopt : std::optional(t.amount),
                                     split ? std::optional(t.splitRatio) : std::nullopt,
                                     t.type == "BUY" || t.type == "SELL" ? std::optional(false) : std::nullopt};
        request.transactions.append(std::move(input));
    }
    request.contentHash = QString::fromLatin1(
        QCryptographicHash::hash(QByteArray::number(kRows) + "history", QCryptographicHash::Sha256).toHex());
    return request;
}

struct Bench {
    QTemporaryDir folder;
    std::unique_ptr<testing::ServiceProcess> service;
    QNetworkAccessManager network;
    TransactionImportRequest request = drawImport();
    int accounts = 0;
};

Bench &bench()
{
    static Bench b;
    if (!b.service) {
        // QUILLFERN_BENCH_DATABASE names another database, such as a PostgreSQL URL, for comparison.
        const QString database = qEnvironmentVariable("QUILLFERN_BENCH_DATABASE");
        b.service = std::make_unique<testing::ServiceProcess>(
            database.isEmpty() ? QStringLiteral("sqlite:") + b.folder.filePath(QStringLiteral("bench.sqlite"))
                               : database);
        if (!b.service->start())
            qFatal("the service did not start: %s", qPrintable(b.service->output()));
    }
    return b;
}

void importFile(benchmark::State &state)
{
    Bench &b = bench();
    for (auto _ : state) {
        state.PauseTiming();
        const QString email = QStringLiteral("bench%1@example.com").arg(++b.accounts);
        const QString token = testing::signInToken(b.service->baseURL(), email.section(u'@', 0, 0), email);
        state.ResumeTiming();
        const auto booked = QCoro::waitFor(PortfolioAPI::importTransactions(
            APIEndpoint{b.service->baseURL(), &b.network}, token, b.request));
        if (!booked || booked->imported != kRows)
            state.SkipWithError(booked ? "not every row was booked" : "the import was refused");
    }
    state.SetLabel(std::to_string(kRows) + " transactions");
}

BENCHMARK(importFile)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3)->ReportAggregatesOnly(true);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    quillfern::benchmarks::TargetReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    if (reporter.time() > 0)
        std::printf("\nimporting %d transactions through the service on %s: %.0f ms (target on SQLite <= 5000 ms) %s\n",
                    kRows, qEnvironmentVariableIsEmpty("QUILLFERN_BENCH_DATABASE") ? "SQLite" : "the given database",
                    reporter.time(), reporter.time() <= 5000 ? "ok" : "MISSED");
    // The service's own log says how much of each round it spent on the request, encoding and transfer aside.
    bench().service->stop();
    static const QRegularExpression handled(QStringLiteral("POST /v1/transactions/import 200 ([0-9.]+)ms"));
    QStringList times;
    for (auto match = handled.globalMatch(bench().service->output()); match.hasNext();)
        times << match.next().captured(1);
    if (!times.isEmpty())
        std::printf("of which the service's handling, each round: %s ms\n", qPrintable(times.join(QStringLiteral(", "))));
    bench().service.reset();
    benchmark::Shutdown();
    return 0;
}
