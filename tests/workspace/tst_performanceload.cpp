#include "tests/support/QuietConsole.h"
#include "tests/workspace/WorkspaceHarness.h"

using namespace quillfern;
using namespace quillfern::testing;

namespace {

const QDate today(2026, 12, 8);

QDate day(const char *iso)
{
    return QDate::fromString(QString::fromLatin1(iso), Qt::ISODate);
}

const std::string twoDays =
    R"({"series":[{"date":"2026-12-07","value":1000,"invested":900,"cash":50,"flow":0},)"
    R"({"date":"2026-12-08","value":1100,"invested":900,"cash":50,"flow":0}],)"
    R"("twr":0.1,"gain":200,"income_by_month":[],"max_drawdown":0,"missing":["US:GONE"],"contributions":[]})";

std::string trade(const char *tradedAt)
{
    return std::string(R"([{"id":"t1","broker":"Futu","market":"US","code":"AAPL","transaction_type":"BUY",)") +
           R"("quantity":1,"price":1,"commission":0,"currency":"USD","sector":"","sub_sector":"","traded_at":")" +
           tradedAt + R"(","reason":""}])";
}

// A price with the day's previous close when given.
ScriptedServer::Reply price(double value, std::optional<double> previousClose)
{
    QString body = QStringLiteral(R"({"price":%1,"currency":"USD")").arg(value);
    if (previousClose)
        body += QStringLiteral(R"(,"previous_close":%1)").arg(*previousClose);
    return {200, (body + QLatin1Char('}')).toStdString()};
}

} // namespace

class PerformanceLoadTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { failOnConsoleMessages(); }
    void periodDates_data();
    void periodDates();
    void requestsFollowThePeriod_data();
    void requestsFollowThePeriod();
    void aFailureKeepsTheLastFigures();
    void dayChanges_data();
    void dayChanges();

private:
    // A session on server with today pinned, its load chain (and so its first performance load) done.
    std::unique_ptr<WorkspaceHarness> signIn(ScriptedServer &server)
    {
        auto harness = std::make_unique<WorkspaceHarness>();
        harness->open(server.baseURL(), QStringLiteral("token-a"));
        harness->workspace->performance().setToday([] { return today; });
        if (!harness->startAndLoad())
            return nullptr;
        return harness;
    }
};

void PerformanceLoadTest::periodDates_data()
{
    QTest::addColumn<PerformancePeriod>("period");
    QTest::addColumn<QDate>("today");
    QTest::addColumn<std::optional<QDate>>("earliest");
    QTest::addColumn<QDate>("from");
    using P = PerformancePeriod;
    const std::optional<QDate> none;
    QTest::newRow("a month back from March 31 of a leap year") << P::OneMonth << day("2024-03-31") << none
                                                                << day("2024-02-29");
    QTest::newRow("a month back from March 31 otherwise") << P::OneMonth << day("2023-03-31") << none
                                                           << day("2023-02-28");
    QTest::newRow("three months") << P::ThreeMonths << today << none << day("2026-09-08");
    QTest::newRow("year to date") << P::YearToDate << today << none << day("2026-01-01");
    QTest::newRow("year to date on January 1") << P::YearToDate << day("2026-01-01") << none << day("2026-01-01");
    QTest::newRow("a year back from a leap day") << P::OneYear << day("2024-02-29") << none << day("2023-02-28");
    QTest::newRow("five years") << P::FiveYears << today << none << day("2021-12-08");
    QTest::newRow("all from the earliest trade") << P::All << today << std::optional(day("2019-05-06"))
                                                 << day("2019-05-06");
    QTest::newRow("all without a ledger: a year") << P::All << today << none << day("2025-12-08");
    QTest::newRow("all with a trade dated after today") << P::All << today << std::optional(day("2026-12-09"))
                                                        << today;
}

void PerformanceLoadTest::periodDates()
{
    QFETCH(PerformancePeriod, period);
    QFETCH(QDate, today);
    QFETCH(std::optional<QDate>, earliest);
    QFETCH(QDate, from);
    QCOMPARE(quillfern::periodDates(period, today, earliest), (DateRange{from, today}));
}

void PerformanceLoadTest::requestsFollowThePeriod_data()
{
    QTest::addColumn<PerformancePeriod>("period");
    QTest::addColumn<QString>("tradedAt");
    QTest::addColumn<QString>("target");
    QTest::newRow("three months") << PerformancePeriod::ThreeMonths << QString()
                                  << QStringLiteral("/v1/performance?from=2026-09-08&to=2026-12-08");
    QTest::newRow("all starts on the ledger's first day, as recorded")
        << PerformancePeriod::All << QStringLiteral("2020-02-29T23:30:00-05:00")
        << QStringLiteral("/v1/performance?from=2020-02-29&to=2026-12-08");
}

void PerformanceLoadTest::requestsFollowThePeriod()
{
    QFETCH(PerformancePeriod, period);
    QFETCH(QString, tradedAt);
    QFETCH(QString, target);
    ScriptedServer server;
    scriptSession(server, {});
    if (!tradedAt.isEmpty())
        server.on("GET", "/v1/transactions", {200, trade(tradedAt.toLatin1().constData())});
    server.on("GET", "/v1/performance", {200, twoDays});
    auto h = signIn(server);
    QVERIFY(h);
    PerformanceLoader &loader = h->workspace->performance();
    // The first load goes with the end of the load chain, for the default year.
    QTRY_VERIFY(loader.figures().has_value());
    QCOMPARE(requestsTo(server, "/v1/performance").front().target,
             std::string("/v1/performance?from=2025-12-08&to=2026-12-08"));
    QCOMPARE(loader.figures()->series.size(), 2);
    QCOMPARE(loader.figures()->twr, std::optional(0.1));
    QCOMPARE(loader.figures()->missing, QStringList{QStringLiteral("US:GONE")});

    loader.setPeriod(period);
    QVERIFY(loader.isLoading());
    QTRY_VERIFY(!loader.isLoading());
    const auto asked = requestsTo(server, "/v1/performance");
    QCOMPARE(asked.size(), std::size_t(2));
    QCOMPARE(QString::fromStdString(asked.back().target), target);
    QCOMPARE(QString::fromStdString(asked.back().header("Authorization")), QStringLiteral("Bearer token-a"));
}

void PerformanceLoadTest::aFailureKeepsTheLastFigures()
{
    ScriptedServer server;
    scriptSession(server, {});
    server.on("GET", "/v1/performance", {200, twoDays});
    auto h = signIn(server);
    QVERIFY(h);
    Workspace &w = *h->workspace;
    PerformanceLoader &loader = w.performance();
    QTRY_VERIFY(loader.figures().has_value());
    const PerformanceResponse kept = *loader.figures();

    server.on("GET", "/v1/performance", {400, R"({"error":"Bad period."})"});
    loader.setPeriod(PerformancePeriod::FiveYears);
    QTRY_VERIFY(!loader.isLoading());
    QCOMPARE(*loader.figures(), kept);
    QCOMPARE(loader.figuresRange().from, day("2025-12-08"));
    QCOMPARE(loader.error(),
             QStringLiteral("Could not load the performance: Bad period. The figures shown are the last ones loaded."));
    w.setLanguageCode(QStringLiteral("ja-JP"));
    QVERIFY(loader.error().startsWith(QStringLiteral("パフォーマンスを読み込めませんでした")));

    // A change of the ledger loads again after the delay, and a success clears the failure.
    server.on("GET", "/v1/performance", {200, twoDays});
    const std::string ledger = trade("2024-01-02");
    server.on("POST", "/v1/transactions", {201, ledger.substr(1, ledger.size() - 2)});
    server.on("GET", "/v1/transactions", {200, ledger});
    QCOMPARE(QCoro::waitFor(w.createTransaction(TransactionCreateInput{})), std::nullopt);
    QVERIFY(!loader.isLoading()); // debounced, not at once
    QTRY_VERIFY_WITH_TIMEOUT(loader.error().isEmpty(), 5000);
    QCOMPARE(requestsTo(server, "/v1/performance").size(), std::size_t(3));

    // Signing out forgets them.
    w.signOut();
    QTRY_VERIFY(!loader.figures().has_value());
}

void PerformanceLoadTest::dayChanges_data()
{
    QTest::addColumn<QList<std::optional<double>>>("previousCloses");
    QTest::addColumn<QList<std::optional<double>>>("changes");
    QTest::addColumn<std::optional<double>>("total");
    using Closes = QList<std::optional<double>>;
    // Rows: 5 AAPL in US priced 190 now; 5 of 0700 in HK priced 400 HKD at 0.125 USD.
    QTest::newRow("both known") << Closes{180, 410} << Closes{50, -6.25} << std::optional(43.75);
    QTest::newRow("one unknown counts for nothing")
        << Closes{std::nullopt, 390} << Closes{std::nullopt, 6.25} << std::optional(6.25);
    QTest::newRow("none known, or not a close") << Closes{std::nullopt, 0} << Closes{std::nullopt, std::nullopt}
                                                << std::optional<double>();
}

void PerformanceLoadTest::dayChanges()
{
    QFETCH(QList<std::optional<double>>, previousCloses);
    QFETCH(QList<std::optional<double>>, changes);
    ScriptedServer server;
    const QList<AssetRow> rows{holding(QStringLiteral("A"), QStringLiteral("AAPL"), 1),
                               holding(QStringLiteral("B"), QStringLiteral("0700"), 1, QStringLiteral("HK"))};
    scriptSession(server, rows);
    server.on("GET", "/v1/currencies",
              {200, R"([{"code":"USD","name":"US Dollar","symbol":"$","flag":"","fx_to_usd":1},)"
                    R"({"code":"HKD","name":"Hong Kong Dollar","symbol":"HK$","flag":"","fx_to_usd":0.125}])"});
    server.on("GET", "/v1/performance", {200, twoDays});
    server.on("GET", "/v1/market/stock?symbol=AAPL&market=US", price(190, previousCloses[0]));
    server.on("GET", "/v1/market/stock?symbol=0700&market=HK", price(400, previousCloses[1]));
    auto h = signIn(server);
    QVERIFY(h);
    Workspace &w = *h->workspace;
    w.priceRefresher().refreshAll();
    QTRY_VERIFY(!w.priceRefresher().isRefreshing());
    QCOMPARE(w.rows()[0].currentPrice, 190.0);
    for (qsizetype i = 0; i < rows.size(); ++i)
        QCOMPARE(w.dayChangeUsd(w.rows()[i]), changes[i]);
    QTEST(w.totalDayChangeUsd(), "total");

    // A price typed over the fetched one has no previous close of its own.
    AssetRow typed = w.rows()[0];
    typed.currentPrice = 191;
    w.updateRow(typed.id, typed);
    QCOMPARE(w.dayChangeUsd(w.rows()[0]), std::optional<double>());
}

QTEST_MAIN(PerformanceLoadTest)
#include "tst_performanceload.moc"
