#include "tests/workspace/EditingHarness.h"
#include "tests/support/QuietConsole.h"

#include <QSignalSpy>

using namespace quillfern;
using namespace quillfern::testing;
using namespace std::chrono_literals;

namespace {

const QString token = QStringLiteral("token-a");

ScriptedServer::Reply price(double value)
{
    return {200,
            QStringLiteral(R"({"symbol":"X","market":"US","price":%1,"currency":"USD"})").arg(value).toStdString()};
}

std::string stockTarget(const char *symbol, const char *market = "US")
{
    return std::string("/v1/market/stock?symbol=") + symbol + "&market=" + market;
}

} // namespace

class PriceRefreshTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { quillfern::testing::failOnConsoleMessages(); }
    void cleanup();
    void statusTexts_data();
    void statusTexts();
    void loadingRefreshesOnlyMissingPrices();
    void aSingleSavedRowGetsItsPriceInTheStatusLine();
    void pricesForDeletedRowsOrAnotherSessionAreDropped();
    void signedOutSaysSo();

private:
    std::unique_ptr<ScriptedServer> m_server = std::make_unique<ScriptedServer>();
    std::unique_ptr<EditingHarness> m_h;
};

void PriceRefreshTest::cleanup()
{
    m_h.reset();
    m_server = std::make_unique<ScriptedServer>();
}

void PriceRefreshTest::statusTexts_data()
{
    QTest::addColumn<QList<AssetRow>>("rows");
    QTest::addColumn<QString>("refreshing");
    QTest::addColumn<int>("requests");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QList<double>>("prices");
    QTest::addColumn<bool>("saves");

    const AssetRow aapl = holding(QStringLiteral("A"), QStringLiteral("AAPL"), 1);
    const AssetRow aaplAgain = holding(QStringLiteral("B"), QStringLiteral(" aapl "), 2);
    const AssetRow msft = holding(QStringLiteral("C"), QStringLiteral("MSFT"), 3);
    const AssetRow gone = holding(QStringLiteral("D"), QStringLiteral("GONE"), 4);
    const AssetRow blank = holding(QStringLiteral("E"), QStringLiteral("  "), 5);
    const AssetRow zero = holding(QStringLiteral("F"), QStringLiteral("ZERO"), 6);
    const AssetRow down = holding(QStringLiteral("G"), QStringLiteral("DOWN"), 7, QStringLiteral("HK"));

    QTest::newRow("no rows") << QList<AssetRow>{} << QString() << 0 << QStringLiteral("No stock codes to refresh")
                             << QList<double>{} << false;
    QTest::newRow("only blank codes") << QList<AssetRow>{blank} << QString() << 0
                                      << QStringLiteral("No stock codes to refresh") << QList<double>{5} << false;
    QTest::newRow("all ok, duplicate symbol counted once, asked twice")
        << QList<AssetRow>{aapl, aaplAgain, msft, blank} << QStringLiteral("Refreshing 2 symbols...") << 3
        << QStringLiteral("Updated 3 rows") << QList<double>{190, 190, 420, 5} << true;
    QTest::newRow("partial failure") << QList<AssetRow>{aapl, gone, msft} << QStringLiteral("Refreshing 3 symbols...")
                                     << 3 << QStringLiteral("Updated 2 rows \u00B7 1 failed")
                                     << QList<double>{190, 4, 420} << true;
    QTest::newRow("all failed shows the first failure")
        << QList<AssetRow>{gone, down} << QStringLiteral("Refreshing 2 symbols...") << 2
        << QStringLiteral("GONE: No quote for GONE in US.") << QList<double>{4, 7} << false;
    QTest::newRow("a price of zero is written as is")
        << QList<AssetRow>{zero} << QStringLiteral("Refreshing 1 symbols...") << 1 << QStringLiteral("Updated 1 rows")
        << QList<double>{0} << true;
}

void PriceRefreshTest::statusTexts()
{
    QFETCH(QList<AssetRow>, rows);
    QFETCH(QString, refreshing);
    QFETCH(int, requests);
    QFETCH(QString, status);
    QFETCH(QList<double>, prices);
    QFETCH(bool, saves);

    scriptSession(*m_server, rows);
    m_server->on("GET", stockTarget("AAPL"), price(190));
    m_server->on("GET", stockTarget("aapl"), price(190));
    m_server->on("GET", stockTarget("ZERO"), price(0));
    m_server->on("GET", stockTarget("DOWN", "HK"), {503, R"({"error":"Quotes are unavailable."})"});
    m_server->on("GET", stockTarget("GONE"), {404, R"({"error":"No quote for GONE in US."})"});
    m_server->on(
        "GET", stockTarget("MSFT"),
        {200, R"({"symbol":"MSFT","market":"US","price":420,"currency":"USD"})", "application/json", false, 50ms});
    m_h = std::make_unique<EditingHarness>();
    m_h->open(m_server->baseURL(), token);
    QVERIFY(m_h->startAndLoad());
    Workspace &w = *m_h->workspace;

    w.priceRefresher().refreshAll();
    if (!refreshing.isEmpty()) {
        QVERIFY(w.priceRefresher().isRefreshing());
        QCOMPARE(w.priceRefresher().status(), refreshing);
        w.priceRefresher().refreshAll(); // the button cannot start a second run
    } else {
        QVERIFY(!w.priceRefresher().isRefreshing());
    }
    QTRY_VERIFY_WITH_TIMEOUT(!w.priceRefresher().isRefreshing(), 5000);
    QCOMPARE(w.priceRefresher().status(), status);
    QCOMPARE(int(requestsTo(*m_server, "/v1/market/stock").size()), requests);
    QList<double> current;
    for (const auto &row : w.rows())
        current.append(row.currentPrice);
    QCOMPARE(current, prices);
    QCOMPARE(w.hasPendingSave(), saves);
}

void PriceRefreshTest::loadingRefreshesOnlyMissingPrices()
{
    const QList<AssetRow> rows{holding(QStringLiteral("A"), QStringLiteral("AAPL"), 150),
                               holding(QStringLiteral("B"), QStringLiteral("MSFT"), 0),
                               holding(QStringLiteral("C"), QStringLiteral("NVDA"), -1)};
    scriptSession(*m_server, rows);
    m_server->on("GET", stockTarget("MSFT"), price(420));
    m_server->on("GET", stockTarget("NVDA"), price(120));
    m_h = std::make_unique<EditingHarness>();
    m_h->open(m_server->baseURL(), token);
    QVERIFY(m_h->startAndLoad());
    Workspace &w = *m_h->workspace;

    std::vector<std::string> asked;
    for (const auto &request : requestsTo(*m_server, "/v1/market/stock"))
        asked.push_back(request.target);
    QCOMPARE(asked, (std::vector<std::string>{stockTarget("MSFT"), stockTarget("NVDA")}));
    QCOMPARE(w.rows()[0].currentPrice, 150.0);
    QCOMPARE(w.rows()[1].currentPrice, 420.0);
    QCOMPARE(w.priceRefresher().status(), QStringLiteral("Updated 2 rows"));
    QVERIFY(!w.isLoadingPortfolio());
    // The fetched prices go to the service with the debounced save.
    QVERIFY(m_h->waitForSync());
    QCOMPARE(int(requestsTo(*m_server, "/v1/portfolio").size()), 2);

    // An only-missing refresh with every price present says so and asks nothing.
    auto again = w.priceRefresher().refresh(true, std::nullopt);
    QCoro::waitFor(std::move(again));
    QCOMPARE(w.priceRefresher().status(), QStringLiteral("All prices are up to date"));
    QCOMPARE(requestsTo(*m_server, "/v1/market/stock").size(), std::size_t(2));
}

void PriceRefreshTest::aSingleSavedRowGetsItsPriceInTheStatusLine()
{
    scriptSession(*m_server, {holding(QStringLiteral("A"), QStringLiteral("AAPL"), 150)});
    m_server->on("GET", stockTarget("AAPL"), price(1234.5));
    m_h = std::make_unique<EditingHarness>();
    m_h->open(m_server->baseURL(), token);
    QVERIFY(m_h->startAndLoad());
    Workspace &w = *m_h->workspace;
    m_h->editor->beginEditing(w.rows().first());
    m_h->editor->saveEditingRow();
    QCOMPARE(w.rowEditStatus(), QStringLiteral("Saved AAPL \u00B7 fetching price\u2026"));
    QTRY_COMPARE_WITH_TIMEOUT(w.rowEditStatus(), QStringLiteral("Saved AAPL \u00B7 current 1,234.5"), 5000);
    QCOMPARE(w.priceRefresher().status(), QStringLiteral("Updated 1 rows"));
}

void PriceRefreshTest::pricesForDeletedRowsOrAnotherSessionAreDropped()
{
    scriptSession(*m_server, {holding(QStringLiteral("A"), QStringLiteral("AAPL"), 150),
                              holding(QStringLiteral("B"), QStringLiteral("MSFT"), 400)});
    m_server->on(
        "GET", stockTarget("AAPL"),
        {200, R"({"symbol":"AAPL","market":"US","price":190,"currency":"USD"})", "application/json", false, 300ms});
    m_server->on("GET", stockTarget("MSFT"), price(420));
    m_h = std::make_unique<EditingHarness>();
    m_h->open(m_server->baseURL(), token);
    QVERIFY(m_h->startAndLoad());
    Workspace &w = *m_h->workspace;

    w.priceRefresher().refreshAll();
    m_h->editor->deleteRow(QStringLiteral("A"));
    QTRY_VERIFY_WITH_TIMEOUT(!w.priceRefresher().isRefreshing(), 5000);
    QCOMPARE(w.priceRefresher().status(), QStringLiteral("Updated 1 rows"));
    QCOMPARE(w.rows().size(), 1);
    QCOMPARE(w.rows().first().currentPrice, 420.0);

    // Signed out while the first price is on its way: nothing is written, nothing is saved.
    w.priceRefresher().refreshAll();
    w.signOut();
    QTRY_VERIFY_WITH_TIMEOUT(!w.priceRefresher().isRefreshing(), 5000);
    QVERIFY(w.rows().isEmpty());
    QVERIFY(!w.hasPendingSave());
}

void PriceRefreshTest::signedOutSaysSo()
{
    m_h = std::make_unique<EditingHarness>();
    m_h->open(m_server->baseURL());
    QVERIFY(m_h->startAndLoad());
    Workspace &w = *m_h->workspace;
    m_h->editor->addRow();
    AssetRow row = w.rows().first();
    row.code = QStringLiteral("AAPL");
    w.updateRow(row.id, row);
    w.priceRefresher().refreshAll();
    QCOMPARE(w.priceRefresher().status(), QStringLiteral("Sign in to refresh prices"));
    QVERIFY(!w.priceRefresher().isRefreshing());
    QVERIFY(m_server->received().empty());
}

QTEST_GUILESS_MAIN(PriceRefreshTest)
#include "tst_pricerefresh.moc"
