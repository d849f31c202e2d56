// Prices and currency rates through the service: where a price comes from and what its answer says, the
// prices it keeps and refreshes by itself, and the reference rates it reads. Every outside source is a local
// stand-in speaking its real format.

#include "tests/server/ServiceFixture.h"
#include "tests/support/ScriptedServer.h"

#include <QFile>
#include <QJsonDocument>
#include <QTest>

#include <memory>
#include <vector>

using namespace quillfern;
using namespace quillfern::servicetest;

// What the stand-in was asked for prices; the service also asks it for daily histories.
static std::vector<testing::ScriptedServer::Received> quoteAsks(const testing::ScriptedServer &source)
{
    std::vector<testing::ScriptedServer::Received> asks;
    for (const auto &received : source.received()) {
        if (received.path == "/q/l/")
            asks.push_back(received);
    }
    return asks;
}

class ServicePricesTest : public ServiceFixture {
    Q_OBJECT

private Q_SLOTS:
    void prices();
    void pricesComeFromTheOnlineSourceFirst_data();
    void pricesComeFromTheOnlineSourceFirst();
    void heldListingsAreRefreshedOnce_data();
    void heldListingsAreRefreshedOnce();
    void ratesRefreshFromTheReferenceFeed();
};

void ServicePricesTest::prices()
{
    const QString token = signIn(QStringLiteral("ann@example.com"));
    const auto known =
        QCoro::waitFor(PortfolioAPI::fetchStockPrice(endpoint(), token, QStringLiteral("aapl"), QStringLiteral("US")));
    QVERIFY2(known, known ? "" : qPrintable(known.error().description()));
    QVERIFY(known->price > 0);
    const auto unknown = QCoro::waitFor(
        PortfolioAPI::fetchStockPrice(endpoint(), token, QStringLiteral("NOPE.Q"), QStringLiteral("JP")));
    QVERIFY(!unknown);
    QCOMPARE(unknown.error().apiError()->status, 404);
    QVERIFY(unknown.error().description().contains(QStringLiteral("NOPE.Q")));
    QVERIFY(unknown.error().description().contains(QStringLiteral("JP")));
}

void ServicePricesTest::pricesComeFromTheOnlineSourceFirst_data()
{
    QTest::addColumn<bool>("demo"); // --demo-quotes
    QTest::addColumn<QString>("symbol");
    QTest::addColumn<QString>("market");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("answer"); // the JSON answered, or a part of the error
    QTest::addColumn<int>("asked");      // requests the online source received

    // The stand-in knows SHOP only; its answer for anything else names another listing, which it refuses.
    QTest::newRow("live price with its time and source")
        << true << "SHOP"
        << "US" << 200 << R"({"price":103.25,"currency":"USD","as_of":"2026-12-04T21:00:09Z","source":"csv"})" << 1;
    QTest::newRow("demo price only after the online source")
        << true << "AAPL"
        << "US" << 200 << R"({"price":189.84,"currency":"USD","source":"demo"})" << 1;
    QTest::newRow("no demo prices unless asked") << false << "AAPL"
                                                 << "US" << 404 << "AAPL" << 1;
    QTest::newRow("a market no source serves") << false << "600519"
                                               << "CN" << 404 << "No price source serves market CN." << 0;
}

void ServicePricesTest::pricesComeFromTheOnlineSourceFirst()
{
    QFETCH(bool, demo);
    QFETCH(QString, symbol);
    QFETCH(QString, market);
    QFETCH(int, status);
    QFETCH(QString, answer);
    QFETCH(int, asked);
    testing::ScriptedServer quotes;
    quotes.on("GET", "/q/l/",
              {200,
               "Symbol,Date,Time,Open,High,Low,Close,Volume\r\nSHOP.US,2026-12-04,22:00:09,100.1,104.0,99.5,"
               "103.25,1234567\r\n",
               "text/csv"});
    m_service.reset();
    QStringList arguments{QStringLiteral("--quote-source-url"), quotes.baseURL().toString()};
    if (demo)
        arguments << QStringLiteral("--demo-quotes");
    QVERIFY(startService(arguments));
    const QString token = signIn(QStringLiteral("ann@example.com"));
    httplib::Client client("127.0.0.1", m_service->baseURL().port());
    const auto got = client.Get("/v1/market/stock?symbol=" + symbol.toStdString() + "&market=" + market.toStdString(),
                                {{"Authorization", "Bearer " + token.toStdString()}});
    QVERIFY(got);
    QCOMPARE(got->status, status);
    const QByteArray body = QByteArray::fromStdString(got->body);
    if (status == 200)
        QCOMPARE(QJsonDocument::fromJson(body), QJsonDocument::fromJson(answer.toUtf8()));
    else
        QVERIFY2(body.contains(answer.toUtf8()), body.constData());
    QCOMPARE(int(quoteAsks(quotes).size()), asked);
    if (qstrcmp(QTest::currentDataTag(), "live price with its time and source") != 0)
        return;
    // Kept in the database: a restarted service whose source is gone still answers it, as it was priced.
    m_service.reset();
    QVERIFY(startService({QStringLiteral("--quote-source-url"), QStringLiteral("http://127.0.0.1:9")}));
    const QString again = signIn(QStringLiteral("ann@example.com"));
    httplib::Client restarted("127.0.0.1", m_service->baseURL().port());
    const auto kept =
        restarted.Get("/v1/market/stock?symbol=SHOP&market=US", {{"Authorization", "Bearer " + again.toStdString()}});
    QVERIFY(kept && kept->status == 200);
    QCOMPARE(QJsonDocument::fromJson(QByteArray::fromStdString(kept->body)), QJsonDocument::fromJson(answer.toUtf8()));
}

void ServicePricesTest::heldListingsAreRefreshedOnce_data()
{
    QTest::addColumn<int>("replicas");
    QTest::newRow("one service") << 1;
    QTest::newRow("two replicas on one database") << 2;
}

void ServicePricesTest::heldListingsAreRefreshedOnce()
{
    QFETCH(int, replicas);
    if (replicas > 1 && !onPostgreSQL())
        QSKIP("replicas share a PostgreSQL database");
    testing::ScriptedServer quotes;
    // A slow answer, so that two replicas' first rounds overlap.
    quotes.on("GET", "/q/l/",
              {200, "Symbol,Date,Time,Open,High,Low,Close,Volume\r\n5.HK,2026-12-04,09:10:00,60,61,59,60.5,1000\r\n",
               "text/csv", false, std::chrono::milliseconds(500)});
    const QString token = signIn(QStringLiteral("ann@example.com"));
    const std::string portfolio =
        encodeJSON(PortfolioPutRequest{{holding(std::nullopt, QStringLiteral("0005"))}, {}, QStringLiteral("x")})
            ->toStdString();
    QCOMPARE(raw(m_service->baseURL(), "PUT", "/v1/portfolio", token, portfolio).status, 200);

    // Started again with refreshers, whose first rounds come a second after each start. On PostgreSQL an
    // advisory lock lets one replica ask; without it the stand-in would be asked twice.
    m_service.reset();
    const QStringList refreshing{QStringLiteral("--quiet"), QStringLiteral("--quote-source-url"),
                                 quotes.baseURL().toString(), QStringLiteral("--quote-refresh-seconds"),
                                 QStringLiteral("600")};
    std::vector<std::unique_ptr<testing::ServiceProcess>> services;
    for (int i = 0; i < replicas; ++i) {
        services.push_back(std::make_unique<testing::ServiceProcess>(m_databaseURL, refreshing));
        QVERIFY(services.back()->start());
    }
    for (int attempt = 0; attempt < 100 && quoteAsks(quotes).empty(); ++attempt)
        QTest::qWait(100);
    QTest::qWait(2000); // every first round is over
    QCOMPARE(quoteAsks(quotes).size(), std::size_t(1));
    QVERIFY(quoteAsks(quotes).front().target.find("s=5.hk") != std::string::npos);

    // What the refresher found is answered without asking the source again.
    const QUrl service = services.front()->baseURL();
    const QString again = testing::signInToken(service, QStringLiteral("ann"), QStringLiteral("ann@example.com"));
    const Raw price = raw(service, "GET", "/v1/market/stock?symbol=0005&market=HK", again);
    QCOMPARE(price.status, 200);
    QCOMPARE(
        QJsonDocument::fromJson(QByteArray::fromStdString(price.body)),
        QJsonDocument::fromJson(R"({"price":60.5,"currency":"HKD","as_of":"2026-12-04T08:10:00Z","source":"csv"})"));
    QCOMPARE(quoteAsks(quotes).size(), std::size_t(1));
}

void ServicePricesTest::ratesRefreshFromTheReferenceFeed()
{
    QFile sample(QStringLiteral(QUILLFERN_ECB_SAMPLE));
    QVERIFY(sample.open(QIODevice::ReadOnly));
    testing::ScriptedServer feed;
    feed.on("GET", "/eurofxref-daily.xml", {200, sample.readAll().toStdString(), "text/xml"});
    m_service.reset();
    QVERIFY(startService(
        {QStringLiteral("--ecb-rates-url"), feed.baseURL().toString() + QStringLiteral("/eurofxref-daily.xml")}));
    const QString token = signIn(QStringLiteral("ann@example.com"));
    // The refresh runs beside the service; give it a bounded moment.
    double euro = 0, yen = 0;
    std::optional<QString> yenDate;
    for (int attempt = 0; attempt < 50 && euro != 1.0702; ++attempt) {
        for (const CurrencyOption &currency : *QCoro::waitFor(PortfolioAPI::fetchCurrencies(endpoint(), token))) {
            if (currency.code == QLatin1String("EUR"))
                euro = currency.fxToUsd;
            if (currency.code == QLatin1String("JPY")) {
                yen = currency.fxToUsd;
                yenDate = currency.asOf;
            }
        }
        if (euro != 1.0702)
            QTest::qWait(100);
    }
    QCOMPARE(euro, 1.0702);
    QCOMPARE(yen, 1.0702 / 164.62);
    QCOMPARE(yenDate, std::optional(QStringLiteral("2024-05-02"))); // the day of the reference rates
}

QTEST_GUILESS_MAIN(ServicePricesTest)
#include "tst_serviceprices.moc"
