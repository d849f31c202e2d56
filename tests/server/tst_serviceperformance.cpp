// The account's value over a period as the service answers it, with daily closes from a stand-in for the
// history source's download.

#include "ServiceFixture.h"

#include "api/WireCoding.h"
#include "tests/support/ScriptedServer.h"

#include <QCoro/QCoroTask>
#include <QTest>
#include <QThread>

using namespace quillfern;
using namespace quillfern::servicetest;

namespace {

const char *const kHistory = "Date,Open,High,Low,Close,Volume\r\n"
                             "2026-11-02,99,101,98,100,1000\r\n"
                             "2026-11-03,100,111,99,110,1000\r\n"
                             "2026-11-10,110,121,109,120,1000\r\n";

TransactionCreateInput entry(const char *type, double quantity, double price, double amount, const char *day)
{
    TransactionCreateInput input{};
    input.broker = QStringLiteral("IBKR");
    input.transactionType = QString::fromLatin1(type);
    input.currency = QStringLiteral("USD");
    input.tradedAt = QString::fromLatin1(day) + QStringLiteral("T15:00:00Z");
    input.quantity = quantity;
    input.price = price;
    if (amount > 0)
        input.amount = amount;
    if (qstrcmp(type, "DEPOSIT") != 0) {
        input.market = QStringLiteral("US");
        input.code = QStringLiteral("AAPL");
        input.sector = QStringLiteral("Information Technology");
        input.subSector = QStringLiteral("Technology Hardware, Storage & Peripherals");
    }
    return input;
}

} // namespace

class ServicePerformanceTest : public ServiceFixture {
    Q_OBJECT

private:
    Raw performance(const QString &token, const std::string &query)
    {
        return raw(m_service->baseURL(), "GET", "/v1/performance?" + query, token);
    }

private Q_SLOTS:
    void badPeriodsAreRefused_data();
    void badPeriodsAreRefused();
    void aMonthOfTradesHasItsCurve();
    void pastDaysAreValuedAtTheirOwnRates();
};

void ServicePerformanceTest::badPeriodsAreRefused_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<QString>("field");
    QTest::newRow("from after to") << "from=2026-11-02&to=2026-11-01"
                                   << "from";
    QTest::newRow("date without leading zeros") << "from=2026-1-5&to=2026-11-01"
                                                << "from";
    QTest::newRow("impossible date") << "from=2026-01-01&to=2026-02-30"
                                     << "to";
    QTest::newRow("longer than fifty years") << "from=1960-01-01&to=2026-01-01"
                                             << "from";
    QTest::newRow("benchmark without its market") << "from=2026-01-01&to=2026-02-01&benchmark=SPY"
                                                  << "benchmark";
    QTest::newRow("benchmark with no closes") << "from=2026-01-01&to=2026-02-01&benchmark=NOPE&benchmark_market=US"
                                              << "benchmark";
}

void ServicePerformanceTest::badPeriodsAreRefused()
{
    QFETCH(QString, query);
    QFETCH(QString, field);
    const QString token = signIn(QStringLiteral("ann@example.com"));
    const Raw answer = performance(token, query.toStdString());
    QCOMPARE(answer.status, 400);
    const auto error = decodeJSON<ServerError>(QByteArray::fromStdString(answer.body));
    QVERIFY2(error && !error->error.isEmpty(), answer.body.c_str());
    QCOMPARE(error->field.value_or(QString()), field);
}

// A deposit, a purchase and a dividend in November, valued at closes that skip days: the curve carries the
// last close, the deposit is the only flow, and the figures follow from it.
void ServicePerformanceTest::aMonthOfTradesHasItsCurve()
{
    testing::ScriptedServer history;
    history.on("GET", "/q/d/l/", {200, kHistory, "text/csv"});
    history.on("GET", "/q/l/",
               {200, "Symbol,Date,Time,Open,High,Low,Close,Volume\r\nAAPL.US,2026-11-10,22:00:09,1,1,1,121,1\r\n",
                "text/csv"});
    m_service.reset();
    QVERIFY(startService({QStringLiteral("--quote-source-url"), history.baseURL().toString()}));
    const QString token = signIn(QStringLiteral("ann@example.com"));

    const Raw empty = performance(token, "from=2026-11-01&to=2026-11-30");
    QCOMPARE(empty.status, 200);
    QVERIFY(decodeJSON<PerformanceResponse>(QByteArray::fromStdString(empty.body))->series.isEmpty());

    for (const auto &input : {entry("DEPOSIT", 0, 0, 1000, "2026-11-02"), entry("BUY", 5, 100, 0, "2026-11-02"),
                              entry("DIVIDEND", 0, 0, 10, "2026-11-09")})
        QVERIFY(QCoro::waitFor(PortfolioAPI::createTransaction(endpoint(), token, input)));

    // The first answer may name AAPL while its closes are fetched in the background.
    std::optional<PerformanceResponse> answer;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const Raw got = performance(token, "from=2026-11-01&to=2026-11-30");
        QCOMPARE(got.status, 200);
        answer = *decodeJSON<PerformanceResponse>(QByteArray::fromStdString(got.body));
        if (answer->missing.isEmpty())
            break;
        QThread::msleep(50);
    }
    QVERIFY(answer->missing.isEmpty());
    QCOMPARE(answer->series.size(), 29); // from the first transaction on
    const auto on = [&](const char *day) {
        for (const PerformancePoint &point : answer->series) {
            if (point.date == QLatin1String(day))
                return point;
        }
        return PerformancePoint{};
    };
    QCOMPARE(on("2026-11-02").value, 1000.0);
    QCOMPARE(on("2026-11-02").flow, 1000.0);
    QCOMPARE(on("2026-11-05").value, 1050.0); // the close of the 3rd carried
    QCOMPARE(on("2026-11-09").value, 1060.0);
    QCOMPARE(on("2026-11-30").value, 1110.0);
    QCOMPARE(on("2026-11-30").invested, 1000.0);
    QCOMPARE(on("2026-11-30").cash, 510.0);
    QVERIFY(qAbs(*answer->twr - 0.11) < 1e-12);
    QVERIFY(answer->mwr && *answer->mwr > 0.11); // a month's gain, over a year
    QCOMPARE(answer->gain, 110.0);
    QCOMPARE(answer->incomeByMonth, (QList<MonthIncome>{{QStringLiteral("2026-11"), 10}}));
    QCOMPARE(answer->contributions.size(), 1);
    QCOMPARE(answer->contributions[0].gain, 110.0);
    QCOMPARE(answer->dayChange.value_or(-1), 0.0);

    // A price carries the last close kept before its own day, for the day's change.
    const auto price =
        QCoro::waitFor(PortfolioAPI::fetchStockPrice(endpoint(), token, QStringLiteral("AAPL"), QStringLiteral("US")));
    QVERIFY(price);
    QCOMPARE(price->previousClose.value_or(0), 110.0);

    // The same listing as a benchmark: from the 1st (no close yet: its first close) to the 30th.
    const Raw benchmarked = performance(token, "from=2026-11-01&to=2026-11-30&benchmark=aapl&benchmark_market=US");
    QCOMPARE(benchmarked.status, 200);
    QCOMPARE(*decodeJSON<PerformanceResponse>(QByteArray::fromStdString(benchmarked.body))->benchmarkTwr, 0.2);
}

// A service with less than a year of rates fills in the past from the history document beside the daily one.
void ServicePerformanceTest::pastDaysAreValuedAtTheirOwnRates()
{
    const auto document = [](const std::string &days) {
        return R"(<?xml version="1.0" encoding="UTF-8"?><gesmes:Envelope xmlns:gesmes="http://www.gesmes.org/xml/2002-08-01" )"
               R"(xmlns="http://www.ecb.int/vocabulary/2002-08-01/eurofxref"><Cube>)" +
               days + "</Cube></gesmes:Envelope>";
    };
    const std::string today = R"(<Cube time="2026-11-20"><Cube currency="USD" rate="1.1"/><Cube currency="HKD" rate="8.8"/></Cube>)";
    const std::string past = R"(<Cube time="2026-11-02"><Cube currency="USD" rate="1.2"/><Cube currency="HKD" rate="8"/></Cube>)";
    testing::ScriptedServer feed;
    feed.on("GET", "/eurofxref-daily.xml", {200, document(today), "text/xml"});
    feed.on("GET", "/eurofxref-hist.xml", {200, document(today + past), "text/xml"});
    m_service.reset();
    QVERIFY(startService({QStringLiteral("--ecb-rates-url"), feed.baseURL().toString() + QStringLiteral("/eurofxref-daily.xml")}));
    const QString token = signIn(QStringLiteral("ann@example.com"));
    TransactionCreateInput deposit = entry("DEPOSIT", 0, 0, 1000, "2026-11-02");
    deposit.broker = QStringLiteral("Futu");
    deposit.currency = QStringLiteral("HKD");
    QVERIFY(QCoro::waitFor(PortfolioAPI::createTransaction(endpoint(), token, deposit)));

    QList<PerformancePoint> series;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const Raw got = performance(token, "from=2026-11-02&to=2026-11-20");
        QCOMPARE(got.status, 200);
        series = decodeJSON<PerformanceResponse>(QByteArray::fromStdString(got.body))->series;
        if (!series.isEmpty() && qAbs(series.first().value - 150) < 1e-9)
            break;
        QThread::msleep(50);
    }
    QCOMPARE(series.size(), 19);
    QVERIFY(qAbs(series.first().value - 150) < 1e-9); // 1000 HK$ at 1.2 / 8
    QVERIFY(qAbs(series.last().value - 125) < 1e-9);  // and at 1.1 / 8.8
}

QTEST_GUILESS_MAIN(ServicePerformanceTest)
#include "tst_serviceperformance.moc"
