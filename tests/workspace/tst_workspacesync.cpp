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
    void init() { quillfern::testing::failOnConsoleMessages(); }
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
    void createTransactionWithoutASessionSendsNothing();
    void aTradePostedAgainAfterNoAnswerCarriesTheSameKey();
};

void WorkspaceSyncTest::loadsInOrderAndInstallsThePortfolio()
{
    ScriptedServer server;
    const QList<AssetRow> rows{holding(QStringLiteral("B"), QStringLiteral("MSFT"), 400),
                               holding(QStringLiteral("A"), QStringLiteral("AAPL"), 190),
                               holding(QStringLiteral("C"), QStringLiteral("7203"), 3000, QStringLiteral("JP"))};
    scriptSession(server, rows);
    server.on("GET", "/v1/currencies",
              {200, R"([{"code":"USD","name":"US Dollar","symbol":"$","flag":"","fx_to_usd":1},)"
                    R"({"code":"JPY","name":"Yen","symbol":"¥","flag":"","fx_to_usd":0.007}])"});
    WorkspaceHarness h;
    h.open(server.baseURL(), token);
    QSignalSpy resets(h.workspace.get(), &Workspace::rowsReset);
    QSignalSpy loaded(h.workspace.get(), &Workspace::sessionLoaded);
    h.workspace->start();
    // Loading from the first request on, so nothing can be typed in that the portfolio would replace.
    QVERIFY(h.workspace->isLoadingPortfolio());
    QVERIFY(loaded.wait(10000));

    std::vector<std::string> paths;
    for (const auto &request : server.received()) {
        paths.push_back(request.path);
        QCOMPARE(request.header("Authorization"), "Bearer " + token.toStdString());
    }
    const std::vector<std::string> expected{"/v1/currencies",           "/v1/languages",    "/v1/brokerages",
                                            "/v1/gics-classifications", "/v1/transactions", "/v1/portfolio"};
    QCOMPARE(paths, expected);
    QCOMPARE(h.workspace->rows(), rows);
    QCOMPARE(h.workspace->syncedRows(), rows);
    QVERIFY(h.workspace->portfolioMatchesSyncedData());
    QVERIFY(!h.workspace->portfolioError());
    QVERIFY(resets.count() >= 2); // cleared, then installed
    // Every holding had a price, so nothing was refreshed and nothing is waiting to be saved.
    QTest::qWait(700);
    QCOMPARE(server.received().size(), expected.size());
    QCOMPARE(h.workspace->summary().positions.size(), std::size_t(3));
    // Valued at the service's yen rate, the one the reporting currency is shown at, not the built-in one.
    QCOMPARE(h.workspace->position(QStringLiteral("C"))->marketValueUsd, 5 * 3000 * 0.007);
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
    QTest::newRow("currency kept when listed")
        << false << ok(currenciesJSON(currencies)) << QStringLiteral("EUR") << currencies << QStringLiteral("EUR");
    QTest::newRow("currency not listed becomes the first")
        << false << ok(currenciesJSON(currencies)) << QStringLiteral("JPY") << currencies << QStringLiteral("HKD");
    QTest::newRow("currency compared exactly")
        << false << ok(currenciesJSON(currencies)) << QStringLiteral("eur") << currencies << QStringLiteral("HKD");
    QTest::newRow("empty currency list changes nothing")
        << false << ok("[]") << QStringLiteral("JPY") << QStringList{QStringLiteral("USD")} << QStringLiteral("JPY");
    QTest::newRow("failed currency load resets to USD")
        << false << failing << QStringLiteral("EUR") << QStringList{QStringLiteral("USD")} << QStringLiteral("USD");
    QTest::newRow("undecodable currency list resets to USD")
        << false << ok(R"([{"code":"EUR"}])") << QStringLiteral("EUR") << QStringList{QStringLiteral("USD")}
        << QStringLiteral("USD");

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

    ScriptedServer server;
    scriptSession(server, {});
    server.on("GET", languages ? "/v1/languages" : "/v1/currencies", reply);
    WorkspaceHarness h;
    h.preferences()->setValue(languages ? Workspace::languageKey : Workspace::reportingCurrencyKey, stored);
    h.open(server.baseURL(), token);
    QVERIFY(h.startAndLoad());

    QStringList codes;
    if (languages) {
        for (const auto &language : h.workspace->languages())
            codes.append(language.code);
        QCOMPARE(h.workspace->languageCode(), expectedPreference);
    } else {
        for (const auto &currency : h.workspace->currencies())
            codes.append(currency.code);
        QCOMPARE(h.workspace->reportingCurrencyCode(), expectedPreference);
    }
    QCOMPARE(codes, expectedCodes);
    // Neither list shows an error.
    QVERIFY(!h.workspace->portfolioError());
    // The preference lives in the store, so the next window finds it.
    QCOMPARE(h.preferences()->value(languages ? Workspace::languageKey : Workspace::reportingCurrencyKey).toString(),
             expectedPreference);
}

void WorkspaceSyncTest::listFailuresEmptyTheListAndTheBannerShowsThePortfolioOutcome()
{
    ScriptedServer server;
    scriptSession(server, {holding(QStringLiteral("A"), QStringLiteral("AAPL"), 190)});
    server.on("GET", "/v1/brokerages", failing);
    server.on("GET", "/v1/transactions", failing);
    WorkspaceHarness h;
    h.open(server.baseURL(), token);
    QVERIFY(h.startAndLoad());
    // The chain went on, and the portfolio load that followed cleared the lists' error.
    QVERIFY(h.workspace->brokerages().isEmpty());
    QVERIFY(h.workspace->transactions().isEmpty());
    QCOMPARE(h.workspace->rows().size(), 1);
    QVERIFY(!h.workspace->portfolioError());

    // Loaded on their own, a failing list does show its error.
    auto load = h.workspace->loadBrokerages();
    QCoro::waitFor(std::move(load));
    QCOMPARE(h.workspace->portfolioError(), std::optional(QStringLiteral("Reference data is unavailable.")));

    server.on("GET", "/v1/portfolio", {500, R"({"error":"Portfolio storage is down."})"});
    auto reload = h.workspace->loadPortfolio();
    QCoro::waitFor(std::move(reload));
    QCOMPARE(h.workspace->portfolioError(), std::optional(QStringLiteral("Portfolio storage is down.")));
    QVERIFY(!h.workspace->isLoadingPortfolio());
    // The rows already shown stay; only the banner reports the failure.
    QCOMPARE(h.workspace->rows().size(), 1);
}

void WorkspaceSyncTest::answersOfAnOldSessionChangeNothing()
{
    ScriptedServer server;
    scriptSession(server, {holding(QStringLiteral("A"), QStringLiteral("AAPL"), 190)});
    server.on("GET", "/v1/portfolio",
              {200, portfolioJSON({holding(QStringLiteral("A"), QStringLiteral("AAPL"), 190)}), "application/json",
               false, 400ms});
    server.on("POST", "/v1/auth/native/exchange",
              {200, R"({"access_token":"token-b","name":"Bo","email":"bo@example.com","picture":""})"});
    server.on("GET", "/v1/transactions", {200, "[]", "application/json", false, 300ms});

    // Signed out while the portfolio is on its way: the answer is dropped.
    {
        WorkspaceHarness h;
        h.open(server.baseURL(), token);
        h.workspace->start();
        QTRY_VERIFY_WITH_TIMEOUT(h.workspace->isLoadingPortfolio(), 5000);
        h.workspace->signOut();
        QTest::qWait(600);
        QVERIFY(h.workspace->rows().isEmpty());
        QVERIFY(!h.workspace->isLoadingPortfolio());
        QVERIFY(!h.workspace->portfolioError());
    }

    // Replaced by another session while the first one's ledger loads: the first run stops, the second
    // loads everything again with its own token.
    WorkspaceHarness h;
    h.open(server.baseURL(), token, [](const QUrl &, const QString &) -> std::unique_ptr<WebAuthenticationSession> {
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
    const std::size_t before = server.received().size();
    const std::size_t ledgersBefore = requestsTo(server, "/v1/transactions").size();
    h.workspace->start();
    QTRY_VERIFY_WITH_TIMEOUT(requestsTo(server, "/v1/transactions").size() == ledgersBefore + 1, 5000);
    QSignalSpy loaded(h.workspace.get(), &Workspace::sessionLoaded);
    h.auth->signInWithGoogle();
    QTRY_COMPARE_WITH_TIMEOUT(h.auth->accessToken(), std::optional(QStringLiteral("token-b")), 5000);
    QVERIFY(loaded.wait(5000));
    QTest::qWait(500);
    QCOMPARE(loaded.count(), 1);
    QCOMPARE(h.workspace->rows().size(), 1);
    std::vector<std::string> firstRun, secondRun;
    const auto all = server.received();
    for (std::size_t i = before; i < all.size(); ++i) {
        if (all[i].path == "/v1/auth/native/exchange" || all[i].path == "/v1/auth/logout")
            continue;
        (all[i].header("Authorization") == "Bearer token-a" ? firstRun : secondRun).push_back(all[i].path);
    }
    // The first run never got past its ledger.
    QCOMPARE(firstRun.back(), std::string("/v1/transactions"));
    QCOMPARE(secondRun.size(), std::size_t(6));
    QCOMPARE(secondRun.back(), std::string("/v1/portfolio"));
}

void WorkspaceSyncTest::aFailedCurrencyLoadAfterSignOutStillInstallsTheFallback()
{
    ScriptedServer server;
    scriptSession(server, {});
    server.on("GET", "/v1/currencies",
              {200, currenciesJSON({QStringLiteral("EUR")}), "application/json", false, 300ms});
    WorkspaceHarness h;
    h.preferences()->setValue(Workspace::reportingCurrencyKey, QStringLiteral("GBP"));
    h.open(server.baseURL(), token);

    // A good answer for a session that has gone is dropped...
    auto good = h.workspace->loadCurrencies();
    h.auth->signOut();
    QCoro::waitFor(std::move(good));
    QCOMPARE(h.workspace->currencies().size(), 1);
    QCOMPARE(h.workspace->currencies().first().code, QStringLiteral("USD"));
    QCOMPARE(h.workspace->reportingCurrencyCode(), QStringLiteral("GBP"));

    // ...while a failure still installs the fallback and its default.
    WorkspaceHarness again;
    again.preferences()->setValue(Workspace::reportingCurrencyKey, QStringLiteral("GBP"));
    server.on("GET", "/v1/currencies", {500, R"({"error":"down"})", "application/json", false, 300ms});
    again.open(server.baseURL(), token);
    auto failed = again.workspace->loadCurrencies();
    again.auth->signOut();
    QCoro::waitFor(std::move(failed));
    QCOMPARE(again.workspace->reportingCurrencyCode(), QStringLiteral("USD"));
}

void WorkspaceSyncTest::twoQuickEditsGiveOneSaveWithTheSecond()
{
    ScriptedServer server;
    const AssetRow row = holding(QStringLiteral("A"), QStringLiteral("AAPL"), 190);
    scriptSession(server, {row});
    WorkspaceHarness h;
    h.open(server.baseURL(), token);
    QVERIFY(h.startAndLoad());

    AssetRow edited = row;
    edited.currentPrice = 191;
    h.workspace->updateRow(row.id, edited);
    h.workspace->schedulePortfolioSave();
    QVERIFY(h.workspace->hasPendingSave());
    QTest::qWait(300);
    edited.currentPrice = 192;
    h.workspace->updateRow(row.id, edited);
    h.workspace->schedulePortfolioSave();
    QElapsedTimer sinceSecond;
    sinceSecond.start();
    QTRY_VERIFY_WITH_TIMEOUT(h.workspace->isSavingPortfolio() || !requestsTo(server, "/v1/portfolio").empty(), 3000);
    QTRY_VERIFY_WITH_TIMEOUT(requestsTo(server, "/v1/portfolio").size() == 2, 3000);
    QVERIFY2(sinceSecond.elapsed() >= 550, qPrintable(QString::number(sinceSecond.elapsed())));
    QVERIFY(h.waitForSync());
    QTest::qWait(700);

    std::vector<ScriptedServer::Received> puts;
    for (auto &request : requestsTo(server, "/v1/portfolio"))
        if (request.method == "PUT")
            puts.push_back(request);
    QCOMPARE(puts.size(), std::size_t(1));
    QCOMPARE(bodyPrices(puts.front()), QList<double>{192});
}

void WorkspaceSyncTest::anEditDuringASaveLeadsToExactlyOneMoreSave()
{
    ScriptedServer server;
    const AssetRow row = holding(QStringLiteral("A"), QStringLiteral("AAPL"), 190);
    scriptSession(server, {row});
    server.on("PUT", "/v1/portfolio", {200, {}, "application/json", false, 500ms, true});
    WorkspaceHarness h;
    h.open(server.baseURL(), token);
    QVERIFY(h.startAndLoad());

    AssetRow edited = row;
    edited.currentPrice = 191;
    h.workspace->updateRow(row.id, edited);
    h.workspace->schedulePortfolioSave();
    QTRY_VERIFY_WITH_TIMEOUT(h.workspace->isSavingPortfolio(), 3000);
    edited.currentPrice = 192;
    h.workspace->updateRow(row.id, edited);
    h.workspace->schedulePortfolioSave();
    QVERIFY(!h.workspace->hasPendingSave()); // nothing is scheduled while the save runs
    QTRY_VERIFY_WITH_TIMEOUT(!h.workspace->isSavingPortfolio(), 3000);
    QVERIFY(h.workspace->hasPendingSave()); // ...but at once when it ends
    QVERIFY(h.waitForSync());
    QTest::qWait(800);

    const std::vector<QList<double>> sent = sentPrices(server);
    QCOMPARE(sent, (std::vector<QList<double>>{{191}, {192}}));
}

void WorkspaceSyncTest::aReorderedAnswerCountsAsInSync()
{
    ScriptedServer server;
    const AssetRow a = holding(QStringLiteral("A"), QStringLiteral("AAPL"), 190);
    const AssetRow b = holding(QStringLiteral("B"), QStringLiteral("MSFT"), 400);
    scriptSession(server, {a, b});
    AssetRow editedB = b;
    editedB.quantity = 7;
    server.on("PUT", "/v1/portfolio", {200, portfolioJSON({editedB, a})});
    WorkspaceHarness h;
    h.open(server.baseURL(), token);
    QVERIFY(h.startAndLoad());

    h.workspace->updateRow(b.id, editedB);
    h.workspace->schedulePortfolioSave();
    QVERIFY(h.waitForSync());
    QTest::qWait(800);
    std::size_t saves = 0;
    for (auto &request : server.received())
        saves += request.method == "PUT";
    QCOMPARE(saves, std::size_t(1));
    QCOMPARE(h.workspace->rows(), (QList<AssetRow>{a, editedB})); // the working copy keeps its order
}

void WorkspaceSyncTest::restoringTheSyncedValuesStillSavesThemAfterTheFirstSave()
{
    ScriptedServer server;
    const AssetRow row = holding(QStringLiteral("A"), QStringLiteral("AAPL"), 190);
    scriptSession(server, {row});
    WorkspaceHarness h;
    h.open(server.baseURL(), token);
    QVERIFY(h.startAndLoad());

    AssetRow edited = row;
    edited.currentPrice = 200;
    h.workspace->updateRow(row.id, edited);
    h.workspace->schedulePortfolioSave();
    QTest::qWait(200);
    h.workspace->updateRow(row.id, row);
    h.workspace->schedulePortfolioSave(); // finds the rows in sync and leaves the pending save alone
    QVERIFY(h.workspace->hasPendingSave());
    QVERIFY(h.waitForSync());
    QTest::qWait(800);
    const std::vector<QList<double>> sent = sentPrices(server);
    QCOMPARE(sent, (std::vector<QList<double>>{{200}, {190}}));
}

void WorkspaceSyncTest::signOutWithAPendingSaveSendsNothing()
{
    ScriptedServer server;
    const AssetRow row = holding(QStringLiteral("A"), QStringLiteral("AAPL"), 190);
    scriptSession(server, {row});
    WorkspaceHarness h;
    h.open(server.baseURL(), token);
    QVERIFY(h.startAndLoad());
    AssetRow edited = row;
    edited.quantity = 9;
    h.workspace->updateRow(row.id, edited);
    h.workspace->schedulePortfolioSave();
    h.workspace->signOut();
    QVERIFY(!h.workspace->hasPendingSave());
    QTest::qWait(900);
    for (auto &request : server.received())
        QVERIFY(request.method != "PUT");
    QVERIFY(h.workspace->rows().isEmpty());
    QVERIFY(!h.auth->accessToken());
}

void WorkspaceSyncTest::aFailedSaveKeepsTheWorkingCopyAndTheNextEditSavesEverything()
{
    ScriptedServer server;
    const AssetRow a = holding(QStringLiteral("A"), QStringLiteral("AAPL"), 190);
    const AssetRow b = holding(QStringLiteral("B"), QStringLiteral("MSFT"), 400);
    scriptSession(server, {a, b});
    server.on("PUT", "/v1/portfolio", {500, R"({"error":"The portfolio could not be stored."})"});
    WorkspaceHarness h;
    h.open(server.baseURL(), token);
    QVERIFY(h.startAndLoad());

    AssetRow editedA = a;
    editedA.currentPrice = 195;
    h.workspace->updateRow(a.id, editedA);
    h.workspace->schedulePortfolioSave();
    QTRY_COMPARE_WITH_TIMEOUT(h.workspace->portfolioError(),
                              std::optional(QStringLiteral("The portfolio could not be stored.")), 3000);
    QVERIFY(!h.workspace->isSavingPortfolio());
    QVERIFY(!h.workspace->hasPendingSave()); // no retry on its own
    QCOMPARE(h.workspace->rows(), (QList<AssetRow>{editedA, b}));
    QVERIFY(!h.workspace->portfolioMatchesSyncedData());

    server.on("PUT", "/v1/portfolio", {200, {}, "application/json", false, {}, true});
    AssetRow editedB = b;
    editedB.currentPrice = 410;
    h.workspace->updateRow(b.id, editedB);
    h.workspace->schedulePortfolioSave();
    QVERIFY(h.waitForSync());
    QVERIFY(!h.workspace->portfolioError());
    const std::vector<QList<double>> sent = sentPrices(server);
    QCOMPARE(sent, (std::vector<QList<double>>{{195, 400}, {195, 410}}));
}

void WorkspaceSyncTest::createTransactionWithoutASessionSendsNothing()
{
    ScriptedServer server;
    WorkspaceHarness h;
    h.open(server.baseURL());
    auto create = h.workspace->createTransaction(TransactionCreateInput{});
    const auto failure = QCoro::waitFor(std::move(create));
    QVERIFY(failure);
    QCOMPARE(failure->description(), PortfolioAPIError::invalidResponse().description());
    QVERIFY(server.received().empty());
}

void WorkspaceSyncTest::aTradePostedAgainAfterNoAnswerCarriesTheSameKey()
{
    ScriptedServer server;
    scriptSession(server, {});
    WorkspaceHarness h;
    h.open(server.baseURL(), token);
    QVERIFY(h.startAndLoad());
    TransactionCreateInput trade{QStringLiteral("IBKR"), QStringLiteral("US"), QStringLiteral("AAPL"),
                                 QStringLiteral("BUY"), 1, 100, 0, QStringLiteral("USD"), {}, {},
                                 QStringLiteral("2026-12-01T10:00:00Z"), {}};
    const auto post = [&](int status) {
        server.on("POST", "/v1/transactions", {status, R"({"error":"No."})"});
        auto create = h.workspace->createTransaction(trade);
        QCoro::waitFor(std::move(create));
        return requestsTo(server, "/v1/transactions").back().header("Idempotency-Key");
    };
    // The service may have booked a post whose answer it could not give: the same trade goes again under
    // the same key. A refusal books nothing, so the next post is a new one.
    const std::string first = post(503);
    QVERIFY(!first.empty());
    QCOMPARE(post(503), first);
    const std::string afterRefusal = post(400);
    QCOMPARE(afterRefusal, first);
    QVERIFY(post(400) != first);
    trade.quantity = 2;
    QVERIFY(post(503) != first);
}

QTEST_GUILESS_MAIN(WorkspaceSyncTest)
#include "tst_workspacesync.moc"
