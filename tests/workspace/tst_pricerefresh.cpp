#include "tests/workspace/EditingHarness.h"
#include "tests/support/QuietConsole.h"

#include <QSignalSpy>

using namespace quillfern;
using namespace quillfern::testing;
using namespace std::chrono_literals;

namespace {

const QString token = QStringLiteral("token-a");

// A price as an older service answers it, after the delay.
ScriptedServer::Reply price(double value, std::chrono::milliseconds delay = 0ms)
{
    return {200, QStringLiteral(R"({"symbol":"X","market":"US","price":%1,"currency":"USD"})").arg(value).toStdString(),
            "application/json", false, delay};
}

std::string stockTarget(const char *symbol, const char *market = "US")
{
    return std::string("/v1/market/stock?symbol=") + symbol + "&market=" + market;
}

// A price as a newer service answers it, with its time and source.
ScriptedServer::Reply pricedAt(double value, const char *asOf, const char *source)
{
    return {200, QStringLiteral(R"({"price":%1,"currency":"USD","as_of":"%2","source":"%3"})")
                     .arg(value)
                     .arg(QLatin1String(asOf), QLatin1String(source))
                     .toStdString()};
}

QDateTime utc(const char *text)
{
    return QDateTime::fromString(QString::fromLatin1(text), Qt::ISODate);
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
    void factsOfOnePrice_data();
    void factsOfOnePrice();
    void pricesSummary_data();
    void pricesSummary();
    void fetchedPricesKeepTheirFactsBesideTheRows();
    void aReconnectRefreshesOnceAfterTheLoad();

private:
    // A window on the scripted session, its load chain done; signed out without a token.
    bool signIn(const QString &as = token)
    {
        m_h = std::make_unique<EditingHarness>();
        m_h->open(m_server->baseURL(), as);
        return m_h->startAndLoad();
    }

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
        << QList<AssetRow>{zero} << QStringLiteral("Refreshing 1 symbol...") << 1 << QStringLiteral("Updated 1 row")
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
    m_server->on("GET", stockTarget("MSFT"), price(420, 50ms));
    QVERIFY(signIn());
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
    QVERIFY(signIn());
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
    QVERIFY(signIn());
    Workspace &w = *m_h->workspace;
    m_h->editor->beginEditing(w.rows().first());
    m_h->editor->saveEditingRow();
    QCOMPARE(w.rowEditStatus(), QStringLiteral("Saved AAPL \u00B7 fetching price\u2026"));
    QTRY_COMPARE_WITH_TIMEOUT(w.rowEditStatus(), QStringLiteral("Saved AAPL \u00B7 current 1,234.5"), 5000);
    QCOMPARE(w.priceRefresher().status(), QStringLiteral("Updated 1 row"));

    // Both lines are said again in the language the user picks; the price stays a figure of the system's.
    QSignalSpy rowLine(&w, &Workspace::rowEditStatusChanged);
    QSignalSpy priceLine(&w.priceRefresher(), &PriceRefresher::changed);
    w.setLanguageCode(QStringLiteral("ja-JP"));
    QCOMPARE(w.rowEditStatus(), QStringLiteral("AAPL を保存しました \u00B7 現在値 1,234.5"));
    QCOMPARE(w.priceRefresher().status(), QStringLiteral("1 行を更新しました"));
    QCOMPARE(rowLine.count(), 1);
    QCOMPARE(priceLine.count(), 1);
}

void PriceRefreshTest::pricesForDeletedRowsOrAnotherSessionAreDropped()
{
    scriptSession(*m_server, {holding(QStringLiteral("A"), QStringLiteral("AAPL"), 150),
                              holding(QStringLiteral("B"), QStringLiteral("MSFT"), 400)});
    m_server->on("GET", stockTarget("AAPL"), price(190, 300ms));
    m_server->on("GET", stockTarget("MSFT"), price(420));
    QVERIFY(signIn());
    Workspace &w = *m_h->workspace;

    w.priceRefresher().refreshAll();
    m_h->editor->deleteRow(QStringLiteral("A"));
    QTRY_VERIFY_WITH_TIMEOUT(!w.priceRefresher().isRefreshing(), 5000);
    QCOMPARE(w.priceRefresher().status(), QStringLiteral("Updated 1 row"));
    QCOMPARE(w.rows().size(), 1);
    QCOMPARE(w.rows().first().currentPrice, 420.0);

    // Signed out while the first price is on its way: nothing is written, nothing is saved.
    w.priceRefresher().refreshAll();
    w.signOut();
    QTRY_VERIFY_WITH_TIMEOUT(!w.priceRefresher().isRefreshing(), 5000);
    QVERIFY(w.rows().isEmpty());
    QVERIFY(!w.hasPendingSave());

    // Signed out, a code typed in is not looked up, and the status line says why.
    m_h->editor->addRow();
    AssetRow row = w.rows().first();
    row.code = QStringLiteral("NVDA");
    w.updateRow(row.id, row);
    w.priceRefresher().refreshAll();
    QCOMPARE(w.priceRefresher().status(), QStringLiteral("Sign in to refresh prices"));
    QVERIFY(!w.priceRefresher().isRefreshing());
    for (const auto &request : m_server->received())
        QVERIFY(request.target != stockTarget("NVDA"));
}

void PriceRefreshTest::factsOfOnePrice_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("asOf");
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("zone");
    QTest::addColumn<bool>("stale");
    QTest::addColumn<QString>("tooltip");
    const auto row = [](const char *name, const char *source, const char *asOf, bool stale, const QString &tooltip,
                        const char *language = "en-US", const char *locale = "en_US", const char *zone = "UTC") {
        QTest::newRow(name) << QString::fromLatin1(source) << QString::fromLatin1(asOf) << QString::fromLatin1(language)
                            << QString::fromLatin1(locale) << QString::fromLatin1(zone) << stale << tooltip;
    };
    // Seen at 2026-12-08 12:00 UTC.
    row("exactly three days old is not yet stale", "file", "2026-12-05T12:00:00Z", false,
        QStringLiteral("As of Dec 5, 2026, 12:00\u202FPM\nSource: offline table"));
    row("older than three days, in Japanese and Tokyo time", "csv", "2026-12-05T11:59:00+00:00", true,
        QStringLiteral("2026/12/05 20:59 時点\n取得元：リアルタイム\n3日以上前の価格です"), "ja-JP", "ja_JP",
        "Asia/Tokyo");
    row("a demo price is stale however new", "demo", "2026-12-08T11:00:00Z", true,
        QStringLiteral("As of Dec 8, 2026, 11:00\u202FAM\nSource: demo prices, not live"));
    row("an older service says nothing", "", "", false, QString());
    row("a source and a time it cannot read", "feed", "yesterday", false, QString());
}

void PriceRefreshTest::factsOfOnePrice()
{
    QFETCH(QString, source);
    QFETCH(QString, asOf);
    QFETCH(QString, language);
    QFETCH(QString, locale);
    QFETCH(QString, zone);
    const auto given = [](const QString &text) { return text.isEmpty() ? std::nullopt : std::optional(text); };
    const PriceFacts facts = priceFacts(StockPriceResponse{1, QStringLiteral("USD"), given(asOf), given(source), {}});
    const QDateTime now = utc("2026-12-08T12:00:00Z");
    QTEST(isStale(facts, now), "stale");
    QTEST(priceFactsText(facts, now, language, locale, zone), "tooltip");
}

void PriceRefreshTest::pricesSummary_data()
{
    QTest::addColumn<QList<AssetRow>>("rows");
    QTest::addColumn<QString>("summary");
    const AssetRow aapl = holding(QStringLiteral("A"), QStringLiteral("AAPL"), 190);
    const AssetRow msft = holding(QStringLiteral("B"), QStringLiteral("msft "), 420);
    AssetRow typed = aapl;
    typed.currentPrice = 191;
    AssetRow elsewhere = msft;
    elsewhere.market = QStringLiteral("HK");
    QTest::newRow("oldest time of the prices shown")
        << QList<AssetRow>{aapl, msft} << QStringLiteral("Prices as of Dec 4, 9:00\u202FPM");
    QTest::newRow("a price that is not the fetched one, or in another market, has none")
        << QList<AssetRow>{typed, elsewhere} << QString();
}

void PriceRefreshTest::pricesSummary()
{
    QFETCH(QList<AssetRow>, rows);
    PriceFactsBook book;
    const QString us = QStringLiteral("US");
    book.record(us, QStringLiteral("AAPL"), {190, utc("2026-12-07T10:00:00Z"), PriceSource::Live});
    book.record(us, QStringLiteral("MSFT"), {420, utc("2026-12-04T21:00:09Z"), PriceSource::OfflineTable});
    QTEST(pricesSummaryText(book, rows, QStringLiteral("en-US"), QStringLiteral("en_US"), QStringLiteral("UTC")),
          "summary");
}

void PriceRefreshTest::fetchedPricesKeepTheirFactsBesideTheRows()
{
    scriptSession(*m_server, {holding(QStringLiteral("A"), QStringLiteral("AAPL"), 150),
                              holding(QStringLiteral("B"), QStringLiteral("MSFT"), 400)});
    m_server->on("GET", stockTarget("AAPL"), pricedAt(190, "2026-12-04T21:00:09Z", "csv"));
    m_server->on("GET", stockTarget("MSFT"), price(420)); // an older service
    QVERIFY(signIn());
    Workspace &w = *m_h->workspace;
    w.priceRefresher().refreshAll();
    QTRY_VERIFY_WITH_TIMEOUT(!w.priceRefresher().isRefreshing(), 5000);
    QVERIFY(m_h->waitForSync());
    const PriceFacts *facts = w.priceFacts(w.rows()[0]);
    QVERIFY(facts);
    QCOMPARE(*facts, (PriceFacts{190, utc("2026-12-04T21:00:09Z"), PriceSource::Live}));
    QCOMPARE(w.priceFacts(w.rows()[1])->source, PriceSource::Unknown);

    // The same prices again: newer facts, yet the portfolio is not edited and nothing can be undone.
    m_server->on("GET", stockTarget("AAPL"), pricedAt(190, "2026-12-05T21:00:00Z", "csv"));
    w.priceRefresher().refreshAll();
    QTRY_VERIFY_WITH_TIMEOUT(!w.priceRefresher().isRefreshing(), 5000);
    QCOMPARE(w.priceFacts(w.rows()[0])->asOf, utc("2026-12-05T21:00:00Z"));
    QVERIFY(!w.hasPendingSave());
    QCOMPARE(w.undoStack().count(), 0);

    // The facts follow the row's symbol: another code shows none until its own price comes.
    AssetRow renamed = w.rows()[0];
    renamed.code = QStringLiteral("NVDA");
    w.updateRow(renamed.id, renamed);
    QVERIFY(!w.priceFacts(w.rows()[0]));
}

void PriceRefreshTest::aReconnectRefreshesOnceAfterTheLoad()
{
    scriptSession(*m_server, {});
    m_server->on("GET", "/v1/portfolio", {503, R"({"error":"Down for now."})"});
    QVERIFY(signIn());
    Workspace &w = *m_h->workspace;
    QVERIFY(w.isOffline());
    w.priceRefresher().setAutomatic(true);

    m_server->on("GET", "/v1/portfolio",
                 {200, portfolioJSON({holding(QStringLiteral("A"), QStringLiteral("AAPL"), 150),
                                      holding(QStringLiteral("B"), QStringLiteral("MSFT"), 0)})});
    m_server->on("GET", stockTarget("AAPL"), price(190));
    m_server->on("GET", stockTarget("MSFT"), price(420));
    w.retryLoadPortfolio();
    // The load's own refresh of the missing price first, then the whole one the reconnect asked for.
    QTRY_COMPARE_WITH_TIMEOUT(requestsTo(*m_server, "/v1/market/stock").size(), std::size_t(3), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(!w.priceRefresher().isRefreshing(), 5000);
    std::vector<std::string> asked;
    for (const auto &request : requestsTo(*m_server, "/v1/market/stock"))
        asked.push_back(request.target);
    QCOMPARE(asked, (std::vector<std::string>{stockTarget("MSFT"), stockTarget("AAPL"), stockTarget("MSFT")}));
    QCOMPARE(w.priceRefresher().status(), QStringLiteral("Updated 2 rows"));
    QCOMPARE(w.undoStack().count(), 0);

    // A reload that was not a reconnect asks for nothing.
    const std::size_t loads = requestsTo(*m_server, "/v1/portfolio").size();
    w.retryLoadPortfolio();
    QTRY_VERIFY_WITH_TIMEOUT(requestsTo(*m_server, "/v1/portfolio").size() > loads && !w.isLoadingPortfolio(), 5000);
    QCoreApplication::processEvents();
    QVERIFY(!w.priceRefresher().isRefreshing());
    QCOMPARE(requestsTo(*m_server, "/v1/market/stock").size(), std::size_t(3));
}

QTEST_GUILESS_MAIN(PriceRefreshTest)
#include "tst_pricerefresh.moc"
