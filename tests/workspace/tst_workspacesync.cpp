#include "tests/workspace/WorkspaceHarness.h"
#include "tests/support/QuietConsole.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTimer>

using namespace quillfern;
using namespace quillfern::testing;
using namespace std::chrono_literals;

namespace {

const QString token = QStringLiteral("token-a");

QJsonArray bodyHoldings(const ScriptedServer::Received &request)
{
    return QJsonDocument::fromJson(QByteArray::fromStdString(request.body))
        .object()
        .value(QStringLiteral("holdings"))
        .toArray();
}

QList<double> bodyPrices(const ScriptedServer::Received &request)
{
    QList<double> prices;
    for (const auto &holding : bodyHoldings(request))
        prices.append(holding.toObject().value(QStringLiteral("current_price")).toDouble());
    return prices;
}

// The prices of every portfolio save the server received, one list per save.
std::vector<QList<double>> sentPrices(const ScriptedServer &server)
{
    std::vector<QList<double>> sent;
    for (const auto &request : server.received())
        if (request.method == "PUT")
            sent.push_back(bodyPrices(request));
    return sent;
}

std::string currenciesJSON(const QStringList &codes)
{
    QJsonArray list;
    for (const auto &code : codes)
        list.append(QJsonObject{{QStringLiteral("code"), code},
                                {QStringLiteral("name"), code},
                                {QStringLiteral("symbol"), code},
                                {QStringLiteral("flag"), QString()},
                                {QStringLiteral("fx_to_usd"), 1.0}});
    return QJsonDocument(list).toJson(QJsonDocument::Compact).toStdString();
}

std::string languagesJSON(const QStringList &codes)
{
    QJsonArray list;
    for (const auto &code : codes)
        list.append(QJsonObject{{QStringLiteral("code"), code},
                                {QStringLiteral("name"), code},
                                {QStringLiteral("native_name"), code},
                                {QStringLiteral("locale"), code},
                                {QStringLiteral("flag"), QString()}});
    return QJsonDocument(list).toJson(QJsonDocument::Compact).toStdString();
}

const ScriptedServer::Reply failing{500, R"({"error":"Reference data is unavailable."})"};

} // namespace

Q_DECLARE_METATYPE(quillfern::testing::ScriptedServer::Reply)

class WorkspaceSyncTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void loadsInOrderAndInstallsThePortfolio();
    void referenceListsAndTheirPreferences_data();
    void referenceListsAndTheirPreferences();
    void listFailuresEmptyTheListAndTheBannerShowsThePortfolioOutcome();
    void answersOfAnOldSessionChangeNothing();
    void aFailedCurrencyLoadAfterSignOutStillInstallsTheFallback();
    void twoQuickEditsGiveOneSaveWithTheSecond();
    void anEditDuringASaveLeadsToExactlyOneMoreSave();
    void aReorderedAnswerCountsAsInSync();
    void restoringTheSyncedValuesStillSavesThemAfterTheFirstSave();
    void signOutWithAPendingSaveSendsNothing();
    void aFailedSaveKeepsTheWorkingCopyAndTheNextEditSavesEverything();
    void aTradePostedAgainAfterNoAnswerCarriesTheSameKey();

private:
    // Loads the session the server is scripted with.
    bool signIn()
    {
        m_h->open(m_server->baseURL(), token);
        return m_h->startAndLoad();
    }
    // Scripts a session holding rows, its saves answered by save, and loads it.
    bool signIn(const QList<AssetRow> &rows,
                const ScriptedServer::Reply &save = {200, {}, "application/json", false, {}, true})
    {
        scriptSession(*m_server, rows);
        m_server->on("PUT", "/v1/portfolio", save);
        return signIn();
    }
    // Types a new current price into the row and completes the change, as the row editor does.
    void setPrice(AssetRow row, double price)
    {
        row.currentPrice = price;
        m_h->workspace->updateRow(row.id, row);
        m_h->workspace->schedulePortfolioSave();
    }

    std::unique_ptr<ScriptedServer> m_server;
    std::unique_ptr<WorkspaceHarness> m_h;
};

void WorkspaceSyncTest::init()
{
    quillfern::testing::failOnConsoleMessages();
    m_server = std::make_unique<ScriptedServer>();
    m_h = std::make_unique<WorkspaceHarness>();
}

void WorkspaceSyncTest::cleanup()
{
    m_h.reset();
    m_server.reset();
}

void WorkspaceSyncTest::loadsInOrderAndInstallsThePortfolio()
{
    const QList<AssetRow> rows{holding(QStringLiteral("B"), QStringLiteral("MSFT"), 400),
                               holding(QStringLiteral("A"), QStringLiteral("AAPL"), 190),
                               holding(QStringLiteral("C"), QStringLiteral("7203"), 3000, QStringLiteral("JP"))};
    scriptSession(*m_server, rows);
    m_server->on("GET", "/v1/currencies",
                 {200, R"([{"code":"USD","name":"US Dollar","symbol":"$","flag":"","fx_to_usd":1},)"
                       R"({"code":"JPY","name":"Yen","symbol":"¥","flag":"","fx_to_usd":0.007}])"});
    m_h->open(m_server->baseURL(), token);
    Workspace &w = *m_h->workspace;
    QSignalSpy resets(&w, &Workspace::rowsReset);
    QSignalSpy loaded(&w, &Workspace::sessionLoaded);
    w.start();
    // Loading from the first request on, so nothing can be typed in that the portfolio would replace.
    QVERIFY(w.isLoadingPortfolio());
    QVERIFY(loaded.wait(10000));
    // Every holding had a price, so nothing was refreshed and nothing is waiting to be saved; the history of
    // the account is asked for once the chain has ended.
    QTest::qWait(700);

    std::vector<std::string> paths;
    for (const auto &request : m_server->received()) {
        paths.push_back(request.path);
        QCOMPARE(request.header("Authorization"), "Bearer " + token.toStdString());
    }
    const std::vector<std::string> expected{"/v1/currencies",   "/v1/languages", "/v1/brokerages",
                                            "/v1/gics-classifications", "/v1/transactions", "/v1/portfolio",
                                            "/v1/performance"};
    QCOMPARE(paths, expected);
    QCOMPARE(w.rows(), rows);
    QCOMPARE(w.syncedRows(), rows);
    QVERIFY(w.portfolioMatchesSyncedData());
    QVERIFY(!w.portfolioError());
    QVERIFY(resets.count() >= 2); // cleared, then installed
    QCOMPARE(w.summary().positions.size(), std::size_t(3));
    // Valued at the service's yen rate, the one the reporting currency is shown at, not the built-in one.
    QCOMPARE(w.position(QStringLiteral("C"))->marketValueUsd, 5 * 3000 * 0.007);
}

void WorkspaceSyncTest::referenceListsAndTheirPreferences_data()
{
    QTest::addColumn<bool>("languages");
    QTest::addColumn<ScriptedServer::Reply>("reply");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QStringList>("expectedCodes");
    QTest::addColumn<QString>("expectedPreference");

    const auto ok = [](std::string body) { return ScriptedServer::Reply{200, std::move(body)}; };
    const QStringList currencies{QStringLiteral("HKD"), QStringLiteral("EUR")};
    const QStringList usd{QStringLiteral("USD")};
    QTest::newRow("currency kept when listed")
        << false << ok(currenciesJSON(currencies)) << QStringLiteral("EUR") << currencies << QStringLiteral("EUR");
    QTest::newRow("currency not listed becomes the first")
        << false << ok(currenciesJSON(currencies)) << QStringLiteral("JPY") << currencies << QStringLiteral("HKD");
    QTest::newRow("currency compared exactly")
        << false << ok(currenciesJSON(currencies)) << QStringLiteral("eur") << currencies << QStringLiteral("HKD");
    QTest::newRow("empty currency list changes nothing")
        << false << ok("[]") << QStringLiteral("JPY") << usd << QStringLiteral("JPY");
    QTest::newRow("failed currency load resets to USD")
        << false << failing << QStringLiteral("EUR") << usd << QStringLiteral("USD");

    const QStringList languages{QStringLiteral("ja-JP"), QStringLiteral("ko-KR")};
    QTest::newRow("language kept when listed")
        << true << ok(languagesJSON(languages)) << QStringLiteral("ko-KR") << languages << QStringLiteral("ko-KR");
    QTest::newRow("language not listed becomes the first")
        << true << ok(languagesJSON(languages)) << QStringLiteral("zh-CN") << languages << QStringLiteral("ja-JP");
    // Unanswered, the window keeps the languages it speaks itself and the user's choice: an offline start
    // in Korean stays Korean.
    const QStringList own{QStringLiteral("en-US"), QStringLiteral("en-GB"), QStringLiteral("en-EU"),
                          QStringLiteral("zh-CN"), QStringLiteral("zh-TW"), QStringLiteral("ja-JP"),
                          QStringLiteral("ko-KR")};
    QTest::newRow("empty language list changes nothing")
        << true << ok("[]") << QStringLiteral("zh-CN") << own << QStringLiteral("zh-CN");
    QTest::newRow("failed language load keeps the choice")
        << true << failing << QStringLiteral("ko-KR") << own << QStringLiteral("ko-KR");
}

void WorkspaceSyncTest::referenceListsAndTheirPreferences()
{
    QFETCH(bool, languages);
    QFETCH(ScriptedServer::Reply, reply);
    QFETCH(QString, stored);
    QFETCH(QStringList, expectedCodes);
    QFETCH(QString, expectedPreference);

    const QString key = languages ? Workspace::languageKey : Workspace::reportingCurrencyKey;
    m_h->preferences()->setValue(key, stored);
    scriptSession(*m_server, {});
    m_server->on("GET", languages ? "/v1/languages" : "/v1/currencies", reply);
    QVERIFY(signIn());
    Workspace &w = *m_h->workspace;

    QStringList codes;
    if (languages) {
        for (const auto &language : w.languages())
            codes.append(language.code);
        QCOMPARE(w.languageCode(), expectedPreference);
    } else {
        for (const auto &currency : w.currencies())
            codes.append(currency.code);
        QCOMPARE(w.reportingCurrencyCode(), expectedPreference);
    }
    QCOMPARE(codes, expectedCodes);
    // Neither list shows an error.
    QVERIFY(!w.portfolioError());
    // The preference lives in the store, so the next window finds it.
    QCOMPARE(m_h->preferences()->value(key).toString(), expectedPreference);
}

void WorkspaceSyncTest::listFailuresEmptyTheListAndTheBannerShowsThePortfolioOutcome()
{
    scriptSession(*m_server, {holding(QStringLiteral("A"), QStringLiteral("AAPL"), 190)});
    m_server->on("GET", "/v1/brokerages", failing);
    m_server->on("GET", "/v1/transactions", failing);
    QVERIFY(signIn());
    Workspace &w = *m_h->workspace;
    // The chain went on, and the portfolio load that followed cleared the lists' error.
    QVERIFY(w.brokerages().isEmpty());
    QVERIFY(w.transactions().isEmpty());
    QCOMPARE(w.rows().size(), 1);
    QVERIFY(!w.portfolioError());

    // Loaded on their own, a failing list does show its error.
    QCoro::waitFor(w.loadBrokerages());
    QCOMPARE(w.portfolioError(), std::optional(QStringLiteral("Reference data is unavailable.")));

    m_server->on("GET", "/v1/portfolio", {500, R"({"error":"Portfolio storage is down."})"});
    QCoro::waitFor(w.loadPortfolio());
    QCOMPARE(w.portfolioError(), std::optional(QStringLiteral("Portfolio storage is down.")));
    QVERIFY(!w.isLoadingPortfolio());
    // The rows already shown stay; only the banner reports the failure.
    QCOMPARE(w.rows().size(), 1);
}

void WorkspaceSyncTest::answersOfAnOldSessionChangeNothing()
{
    const QList<AssetRow> rows{holding(QStringLiteral("A"), QStringLiteral("AAPL"), 190)};
    scriptSession(*m_server, rows);
    m_server->on("GET", "/v1/portfolio", {200, portfolioJSON(rows), "application/json", false, 400ms});
    m_server->on("POST", "/v1/auth/native/exchange",
                 {200, R"({"access_token":"token-b","name":"Bo","email":"bo@example.com","picture":""})"});
    m_server->on("GET", "/v1/transactions", {200, "[]", "application/json", false, 300ms});

    // Signed out while the portfolio is on its way: the answer is dropped.
    m_h->open(m_server->baseURL(), token);
    m_h->workspace->start();
    QTRY_VERIFY_WITH_TIMEOUT(m_h->workspace->isLoadingPortfolio(), 5000);
    m_h->workspace->signOut();
    QTest::qWait(600);
    QVERIFY(m_h->workspace->rows().isEmpty());
    QVERIFY(!m_h->workspace->isLoadingPortfolio());
    QVERIFY(!m_h->workspace->portfolioError());

    // Replaced by another session while the first one's ledger loads: the first run stops, the second
    // loads everything again with its own token.
    WorkspaceHarness h;
    h.open(m_server->baseURL(), token, [](const QUrl &, const QString &) -> std::unique_ptr<WebAuthenticationSession> {
        class Returning : public WebAuthenticationSession {
        public:
            bool start() override
            {
                QTimer::singleShot(0, this, [this] {
                    Q_EMIT finished(WebAuthenticationResult{QUrl(QStringLiteral("quillfern://oauth/callback?code=c")),
                                                            std::nullopt, false});
                });
                return true;
            }
            void cancel() override {}
        };
        return std::make_unique<Returning>();
    });
    const std::size_t before = m_server->received().size();
    const std::size_t ledgersBefore = requestsTo(*m_server, "/v1/transactions").size();
    h.workspace->start();
    QTRY_VERIFY_WITH_TIMEOUT(requestsTo(*m_server, "/v1/transactions").size() == ledgersBefore + 1, 5000);
    QSignalSpy loaded(h.workspace.get(), &Workspace::sessionLoaded);
    h.auth->signInWithGoogle();
    QTRY_COMPARE_WITH_TIMEOUT(h.auth->accessToken(), std::optional(QStringLiteral("token-b")), 5000);
    QVERIFY(loaded.wait(5000));
    QTest::qWait(500);
    QCOMPARE(loaded.count(), 1);
    QCOMPARE(h.workspace->rows().size(), 1);
    std::vector<std::string> firstRun, secondRun;
    const auto all = m_server->received();
    for (std::size_t i = before; i < all.size(); ++i) {
        if (all[i].path == "/v1/auth/native/exchange" || all[i].path == "/v1/auth/logout")
            continue;
        (all[i].header("Authorization") == "Bearer token-a" ? firstRun : secondRun).push_back(all[i].path);
    }
    // The first run never got past its ledger.
    QCOMPARE(firstRun.back(), std::string("/v1/transactions"));
    QCOMPARE(secondRun.size(), std::size_t(7));
    QCOMPARE(secondRun[5], std::string("/v1/portfolio"));
    QCOMPARE(secondRun.back(), std::string("/v1/performance"));
}

void WorkspaceSyncTest::aFailedCurrencyLoadAfterSignOutStillInstallsTheFallback()
{
    scriptSession(*m_server, {});
    const auto loadThenSignOut = [this](WorkspaceHarness &h, const ScriptedServer::Reply &currencies) {
        m_server->on("GET", "/v1/currencies", currencies);
        h.preferences()->setValue(Workspace::reportingCurrencyKey, QStringLiteral("GBP"));
        h.open(m_server->baseURL(), token);
        auto load = h.workspace->loadCurrencies();
        h.auth->signOut();
        QCoro::waitFor(std::move(load));
    };
    // A good answer for a session that has gone is dropped...
    loadThenSignOut(*m_h, {200, currenciesJSON({QStringLiteral("EUR")}), "application/json", false, 300ms});
    QCOMPARE(m_h->workspace->currencies().size(), 1);
    QCOMPARE(m_h->workspace->currencies().first().code, QStringLiteral("USD"));
    QCOMPARE(m_h->workspace->reportingCurrencyCode(), QStringLiteral("GBP"));

    // ...while a failure still installs the fallback and its default.
    WorkspaceHarness again;
    loadThenSignOut(again, {500, R"({"error":"down"})", "application/json", false, 300ms});
    QCOMPARE(again.workspace->reportingCurrencyCode(), QStringLiteral("USD"));
}

void WorkspaceSyncTest::twoQuickEditsGiveOneSaveWithTheSecond()
{
    const AssetRow row = holding(QStringLiteral("A"), QStringLiteral("AAPL"), 190);
    QVERIFY(signIn({row}));
    setPrice(row, 191);
    QVERIFY(m_h->workspace->hasPendingSave());
    QTest::qWait(300);
    setPrice(row, 192);
    QElapsedTimer sinceSecond;
    sinceSecond.start();
    QTRY_VERIFY_WITH_TIMEOUT(requestsTo(*m_server, "/v1/portfolio").size() == 2, 3000);
    QVERIFY2(sinceSecond.elapsed() >= 550, qPrintable(QString::number(sinceSecond.elapsed())));
    QVERIFY(m_h->waitForSync());
    QTest::qWait(700);
    QCOMPARE(sentPrices(*m_server), (std::vector<QList<double>>{{192}}));
}

void WorkspaceSyncTest::anEditDuringASaveLeadsToExactlyOneMoreSave()
{
    const AssetRow row = holding(QStringLiteral("A"), QStringLiteral("AAPL"), 190);
    QVERIFY(signIn({row}, {200, {}, "application/json", false, 500ms, true}));
    setPrice(row, 191);
    QTRY_VERIFY_WITH_TIMEOUT(m_h->workspace->isSavingPortfolio(), 3000);
    setPrice(row, 192);
    QVERIFY(!m_h->workspace->hasPendingSave()); // nothing is scheduled while the save runs
    QTRY_VERIFY_WITH_TIMEOUT(!m_h->workspace->isSavingPortfolio(), 3000);
    QVERIFY(m_h->workspace->hasPendingSave()); // ...but at once when it ends
    QVERIFY(m_h->waitForSync());
    QTest::qWait(800);
    QCOMPARE(sentPrices(*m_server), (std::vector<QList<double>>{{191}, {192}}));
}

void WorkspaceSyncTest::aReorderedAnswerCountsAsInSync()
{
    const AssetRow a = holding(QStringLiteral("A"), QStringLiteral("AAPL"), 190);
    const AssetRow b = holding(QStringLiteral("B"), QStringLiteral("MSFT"), 400);
    AssetRow editedB = b;
    editedB.currentPrice = 410;
    QVERIFY(signIn({a, b}, {200, portfolioJSON({editedB, a})}));
    setPrice(b, 410);
    QVERIFY(m_h->waitForSync());
    QTest::qWait(800);
    QCOMPARE(sentPrices(*m_server).size(), std::size_t(1));
    QCOMPARE(m_h->workspace->rows(), (QList<AssetRow>{a, editedB})); // the working copy keeps its order
}

void WorkspaceSyncTest::restoringTheSyncedValuesStillSavesThemAfterTheFirstSave()
{
    const AssetRow row = holding(QStringLiteral("A"), QStringLiteral("AAPL"), 190);
    QVERIFY(signIn({row}));
    setPrice(row, 200);
    QTest::qWait(200);
    setPrice(row, 190); // finds the rows in sync and leaves the pending save alone
    QVERIFY(m_h->workspace->hasPendingSave());
    QVERIFY(m_h->waitForSync());
    QTest::qWait(800);
    QCOMPARE(sentPrices(*m_server), (std::vector<QList<double>>{{200}, {190}}));
}

void WorkspaceSyncTest::signOutWithAPendingSaveSendsNothing()
{
    const AssetRow row = holding(QStringLiteral("A"), QStringLiteral("AAPL"), 190);
    QVERIFY(signIn({row}));
    setPrice(row, 9);
    m_h->workspace->signOut();
    QVERIFY(!m_h->workspace->hasPendingSave());
    QTest::qWait(900);
    QVERIFY(sentPrices(*m_server).empty());
    QVERIFY(m_h->workspace->rows().isEmpty());
    QVERIFY(!m_h->auth->accessToken());
}

void WorkspaceSyncTest::aFailedSaveKeepsTheWorkingCopyAndTheNextEditSavesEverything()
{
    const AssetRow a = holding(QStringLiteral("A"), QStringLiteral("AAPL"), 190);
    const AssetRow b = holding(QStringLiteral("B"), QStringLiteral("MSFT"), 400);
    QVERIFY(signIn({a, b}, {500, R"({"error":"The portfolio could not be stored."})"}));
    Workspace &w = *m_h->workspace;
    setPrice(a, 195);
    QTRY_COMPARE_WITH_TIMEOUT(w.portfolioError(), std::optional(QStringLiteral("The portfolio could not be stored.")),
                              3000);
    QVERIFY(!w.isSavingPortfolio());
    QVERIFY(!w.hasPendingSave()); // no retry on its own
    QCOMPARE(w.rows().first().currentPrice, 195.0);
    QVERIFY(!w.portfolioMatchesSyncedData());

    m_server->on("PUT", "/v1/portfolio", {200, {}, "application/json", false, {}, true});
    setPrice(b, 410);
    QVERIFY(m_h->waitForSync());
    QVERIFY(!w.portfolioError());
    QCOMPARE(sentPrices(*m_server), (std::vector<QList<double>>{{195, 400}, {195, 410}}));
}

void WorkspaceSyncTest::aTradePostedAgainAfterNoAnswerCarriesTheSameKey()
{
    // Without a session nothing is sent at all.
    m_h->open(m_server->baseURL());
    const auto failure = QCoro::waitFor(m_h->workspace->createTransaction(TransactionCreateInput{}));
    QVERIFY(failure);
    QCOMPARE(failure->description(), PortfolioAPIError::invalidResponse().description());
    QVERIFY(m_server->received().empty());

    QVERIFY(signIn({}));
    TransactionCreateInput trade{QStringLiteral("IBKR"), QStringLiteral("US"), QStringLiteral("AAPL"),
                                 QStringLiteral("BUY"), 1, 100, 0, QStringLiteral("USD"), {}, {},
                                 QStringLiteral("2026-12-01T10:00:00Z"), {}, {}, {}, {}};
    const auto post = [&](int status) {
        m_server->on("POST", "/v1/transactions", {status, R"({"error":"No."})"});
        QCoro::waitFor(m_h->workspace->createTransaction(trade));
        return requestsTo(*m_server, "/v1/transactions").back().header("Idempotency-Key");
    };
    // The service may have booked a post whose answer it could not give: the same trade goes again under
    // the same key. A refusal books nothing, so the next post is a new one.
    const std::string first = post(503);
    QVERIFY(!first.empty());
    QCOMPARE(post(503), first);
    QCOMPARE(post(400), first);
    QVERIFY(post(400) != first);
    trade.quantity = 2;
    QVERIFY(post(503) != first);
}

QTEST_GUILESS_MAIN(WorkspaceSyncTest)
#include "tst_workspacesync.moc"
