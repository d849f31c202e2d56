#include "api/PortfolioAPI.h"
#include "tests/support/RawHttpStandIn.h"
#include "tests/support/ScriptedServer.h"
#include "text/Localization.h"

#include <QCoroTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTest>
#include <QTimer>

#include <functional>
#include <limits>

using namespace quillfern;
using quillfern::testing::RawHttpStandIn;
using quillfern::testing::ScriptedServer;
using namespace std::chrono_literals;

namespace {

const QString token = QStringLiteral("tok-123.abc_DEF");

// What one call ended with: its failure, if any, and the version a portfolio call reported or the time a price
// is as of.
struct Outcome {
    std::optional<APIFailure> failure;
    QByteArray detail;
};
using Call = std::function<Outcome(APIEndpoint)>;
// Optional request headers a call must send, by name; a name missing here must not be sent at all.
using SentHeaders = QMap<QByteArray, QByteArray>;

template <class T> Outcome outcome(QCoro::Task<APIResult<T>> task)
{
    const APIResult<T> result = QCoro::waitFor(std::move(task));
    if (!result)
        return {result.error(), {}};
    if constexpr (std::is_same_v<T, PortfolioData>)
        return {std::nullopt, result->version};
    if constexpr (std::is_same_v<T, StockPriceResponse>)
        return {std::nullopt, result->asOf.value_or(QString()).toUtf8()};
    return {};
}

QList<AssetRow> oneHolding()
{
    return {AssetRow{QStringLiteral("H-1"), QStringLiteral("HK"), QStringLiteral("Financials"), QStringLiteral("Banks"),
                     QStringLiteral("0005"), QStringLiteral("HSBC"), 60.5, 400, 65.25}};
}

TransactionCreateInput oneTrade()
{
    return TransactionCreateInput{QStringLiteral("Futu"),
                                  QStringLiteral("HK"),
                                  QStringLiteral("0700"),
                                  QStringLiteral("buy"),
                                  1,
                                  2,
                                  0,
                                  QStringLiteral("HKD"),
                                  {},
                                  {},
                                  QStringLiteral("2026-12-01T00:00:00Z"),
                                  {},
                                  {},
                                  {},
                                  {}};
}

const std::string portfolioReply =
    R"({"holdings":[{"id":"H-1","market":"HK","sector":"Financials","sub_sector":"Banks","code":"0005",)"
    R"("currency":"HKD","broker":"HSBC","average_price":60.5,"quantity":400,"current_price":66,"fx_to_usd":0.1276,)"
    R"("note":""}],"cash_balances":[{"id":"C-1","broker":"Futu","original_cash":1000,"currency":"HKD",)"
    R"("fx_to_usd":0.128,"note":""}]})";

const QByteArray transactionReply =
    R"({"id":"t1","broker":"Futu","market":"HK","code":"0700","transaction_type":"buy","quantity":1,"price":2,)"
    R"("commission":0,"currency":"HKD","sector":"","sub_sector":"","traded_at":"2026-12-01T00:00:00Z","reason":""})";

} // namespace

class PortfolioAPITest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void acceptableOrigins_data();
    void acceptableOrigins();
    void requestsCarryExactlyTheirHeaders_data();
    void requestsCarryExactlyTheirHeaders();
    void theSavesAnswerBecomesTheRows();
    void refusalsAndBadAnswers_data();
    void refusalsAndBadAnswers();
    void transportFailures_data();
    void transportFailures();
    void cancelledCallerLeavesNothingRunning();

private:
    APIEndpoint endpoint() const { return APIEndpoint{m_server->baseURL(), m_network.get()}; }

    std::unique_ptr<ScriptedServer> m_server;
    std::unique_ptr<QNetworkAccessManager> m_network;
};

void PortfolioAPITest::init()
{
    m_server = std::make_unique<ScriptedServer>();
    m_network = std::make_unique<QNetworkAccessManager>();
}

void PortfolioAPITest::cleanup()
{
    m_network.reset();
    m_server.reset();
    AppText::setCurrentLanguage(QStringLiteral("en-US"));
}

void PortfolioAPITest::requestsCarryExactlyTheirHeaders_data()
{
    QTest::addColumn<QString>("method");
    QTest::addColumn<QString>("target"); // path and query, as sent
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArray>("etag"); // the answer's ETag header; none when empty
    QTest::addColumn<Call>("call");
    QTest::addColumn<bool>("hasBody");
    QTest::addColumn<SentHeaders>("sent");
    QTest::addColumn<QByteArray>("detail");

    const QByteArray portfolio = QByteArray::fromStdString(portfolioReply);
    const QByteArray tag = R"("v7-3f9a")";
    const auto fetch = [](APIEndpoint e) { return outcome(PortfolioAPI::fetchPortfolio(e, token)); };
    const auto save = [](QByteArray ifMatch) {
        return Call([ifMatch](APIEndpoint e) {
            return outcome(PortfolioAPI::savePortfolio(e, token, oneHolding(), {}, ifMatch));
        });
    };
    const auto trade = [](QString key) {
        return Call(
            [key](APIEndpoint e) { return outcome(PortfolioAPI::createTransaction(e, token, oneTrade(), key)); });
    };

    const auto add = [](const char *name, const char *method, const char *target, const QByteArray &reply,
                        const QByteArray &etag, const Call &call, bool hasBody, const SentHeaders &sent = {},
                        const QByteArray &detail = {}) {
        QTest::newRow(name) << QString::fromLatin1(method) << QString::fromLatin1(target) << reply << etag << call
                            << hasBody << sent << detail;
    };
    const QByteArray later = R"("v8-0c1d")";
    const QString key = QStringLiteral("5b0e7c1a-9d2f-4e11-8a3b-7f6c2d9e4a10");
    add("portfolio", "GET", "/v1/portfolio", portfolio, tag, fetch, false, {}, tag);
    add("portfolio without a tag", "GET", "/v1/portfolio", portfolio, {}, fetch, false);
    add("save without a version", "PUT", "/v1/portfolio", portfolio, tag, save({}), true, {}, tag);
    add("save on top of a version", "PUT", "/v1/portfolio", portfolio, later, save(tag), true, {{"If-Match", tag}},
        later);
    add("new transaction", "POST", "/v1/transactions", transactionReply, {}, trade({}), true);
    add("new transaction, keyed", "POST", "/v1/transactions", transactionReply, {}, trade(key), true,
        {{"Idempotency-Key", key.toLatin1()}});
    add(
        "edited transaction", "PUT", "/v1/transactions/tx-17", transactionReply, {},
        [](APIEndpoint e) {
            return outcome(PortfolioAPI::updateTransaction(e, token, QStringLiteral("tx-17"), oneTrade()));
        },
        true);
    // The service answers a delete with 204 and no body.
    add(
        "deleted transaction", "DELETE", "/v1/transactions/tx-17", {}, {},
        [](APIEndpoint e) { return outcome(PortfolioAPI::deleteTransaction(e, token, QStringLiteral("tx-17"))); },
        false);
    add(
        "logout", "POST", "/v1/auth/logout", {}, {},
        [](APIEndpoint e) { return outcome(PortfolioAPI::logout(e, token)); }, false);
    // The query keeps its order and escapes every byte that could end the symbol; "as_of" reaches the answer.
    add(
        "price", "GET", "/v1/market/stock?symbol=BRK.B%20%26%201%2B1%3D2%20%23%E5%90%8D&market=US",
        R"({"price":1.5,"currency":"USD","as_of":"2026-12-04T21:00:09Z","source":"demo"})", {},
        [](APIEndpoint e) {
            return outcome(
                PortfolioAPI::fetchStockPrice(e, token, QStringLiteral("BRK.B & 1+1=2 #名"), QStringLiteral("US")));
        },
        false, {}, "2026-12-04T21:00:09Z");
}

void PortfolioAPITest::requestsCarryExactlyTheirHeaders()
{
    QFETCH(QString, method);
    QFETCH(QString, target);
    QFETCH(QByteArray, reply);
    QFETCH(QByteArray, etag);
    QFETCH(Call, call);
    QFETCH(bool, hasBody);
    QFETCH(SentHeaders, sent);
    QFETCH(QByteArray, detail);

    ScriptedServer::Reply scripted{reply.isEmpty() ? 204 : 200, reply.toStdString()};
    if (!etag.isEmpty())
        scripted.headers.emplace("ETag", etag.toStdString());
    m_server->on(method.toStdString(), target.section(u'?', 0, 0).toStdString(), scripted);
    const Outcome result = call(endpoint());
    QVERIFY2(!result.failure, result.failure ? qPrintable(result.failure->description()) : "");
    QCOMPARE(result.detail, detail);

    const auto received = m_server->received();
    QCOMPARE(received.size(), size_t(1));
    const ScriptedServer::Received &request = received.front();
    QCOMPARE(QString::fromStdString(request.method), method);
    QCOMPARE(QString::fromStdString(request.target), target);
    QCOMPARE(request.header("Authorization"), "Bearer " + token.toStdString());
    QCOMPARE(request.hasHeader("Content-Type"), hasBody);
    if (hasBody) {
        QCOMPARE(request.header("Content-Type"), std::string("application/json"));
        QVERIFY(QJsonDocument::fromJson(QByteArray::fromStdString(request.body)).isObject());
    } else {
        QVERIFY(request.body.empty());
    }
    for (const char *name : {"If-Match", "Idempotency-Key"}) {
        QCOMPARE(request.hasHeader(name), sent.contains(name));
        QCOMPARE(QByteArray::fromStdString(request.header(name)), sent.value(name));
    }
    QVERIFY(!request.hasHeader("Accept"));
    QVERIFY(!request.hasHeader("Cookie"));
}

void PortfolioAPITest::theSavesAnswerBecomesTheRows()
{
    m_server->on("PUT", "/v1/portfolio", {200, portfolioReply});
    const QList<CashRow> cash{
        CashRow{QStringLiteral("C-1"), QStringLiteral("Futu"), 1000, QStringLiteral("HKD"), 0.128},
        CashRow{QStringLiteral("C-2"), QStringLiteral("IBKR"), 50, QStringLiteral("EUR"), {}}};
    const auto saved = QCoro::waitFor(PortfolioAPI::savePortfolio(endpoint(), token, oneHolding(), cash));
    QVERIFY(saved);
    // The answer, not what was sent, becomes the rows: the service's price of 66 comes back.
    QCOMPARE(saved->holdings.size(), 1);
    QCOMPARE(saved->holdings[0].currentPrice, 66.0);
    QCOMPARE(saved->cashBalances.size(), 1);
}

void PortfolioAPITest::refusalsAndBadAnswers_data()
{
    QTest::addColumn<std::string>("route"); // answered by the scripted server; empty: nothing may be sent
    QTest::addColumn<int>("status");
    QTest::addColumn<std::string>("body");
    QTest::addColumn<std::string>("contentType");
    QTest::addColumn<Call>("call");
    QTest::addColumn<int>("expectedStatus"); // 0: the answer cannot be read; -1: refused before sending
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("language"); // the window's, which the description speaks

    const Call currencies = [](APIEndpoint e) { return outcome(PortfolioAPI::fetchCurrencies(e, token)); };
    const Call price = [](APIEndpoint e) {
        return outcome(PortfolioAPI::fetchStockPrice(e, token, QStringLiteral("X"), QStringLiteral("US")));
    };
    const auto save = [](QList<AssetRow> rows, QByteArray version) {
        return Call([rows, version](APIEndpoint e) {
            return outcome(PortfolioAPI::savePortfolio(e, token, rows, {}, version));
        });
    };
    const auto add = [&](const char *name, const char *route, int status, const std::string &body, int expectedStatus,
                         const char *description, const char *contentType = "application/json",
                         const char *language = "en-US") {
        const std::string path(route);
        QTest::newRow(name) << path << status << body << std::string(contentType)
                            << (path == "/v1/portfolio"      ? save(oneHolding(), R"("v1")")
                                : path == "/v1/market/stock" ? price
                                                             : currencies)
                            << expectedStatus << QString::fromUtf8(description) << QString::fromLatin1(language);
    };
    const auto unsent = [](const char *name, const Call &call, const char *description, const char *language) {
        QTest::newRow(name) << std::string() << 0 << std::string() << std::string() << call << -1
                            << QString::fromUtf8(description) << QString::fromLatin1(language);
    };
    add("401 with an error text", "/v1/currencies", 401, R"({"error":"Your session has expired."})", 401,
        "Your session has expired.");
    add("401 with an empty error", "/v1/currencies", 401, R"({"error":""})", 401, "");
    add("500 with HTML", "/v1/currencies", 500, "<html><body>Bad gateway</body></html>", 500,
        "Portfolio request failed (HTTP 500).", "text/html");
    add("save on top of a stale version", "/v1/portfolio", 412,
        R"({"error":"The portfolio was changed on another device."})", 412,
        "The portfolio was changed on another device.");
    add("204 where a list belongs", "/v1/currencies", 204, {}, 0, "isn't valid JSON");
    // The service's words pass through; the client's own sentences are the window's language.
    add("service's words in Chinese", "/v1/currencies", 422, R"({"error":"Not enough shares."})", 422,
        "服务拒绝了请求：Not enough shares.", "application/json", "zh-CN");
    add("expired session in Japanese", "/v1/currencies", 401, R"({"error":"Your session has expired."})", 401,
        "サインインが無効になりました。もう一度サインインしてください：Your session has expired.", "application/json",
        "ja-JP");
    add("no explanation in Korean", "/v1/market/stock", 503, "Service Unavailable", 503,
        "시장 가격 요청에 실패했습니다(상태 코드 503).", "text/html", "ko-KR");
    add("field of the wrong type in Traditional Chinese", "/v1/market/stock", 200, R"({"price":"12"})", 0,
        "無法讀取資料：\"price\" 不是數字。", "application/json", "zh-TW");

    QList<AssetRow> infinite = oneHolding();
    infinite[0].currentPrice = std::numeric_limits<double>::infinity();
    unsent("price that is not a number", save(infinite, {}),
           "The data couldn't be written because \"holdings[0].current_price\" is not a finite number.", "en-US");
    unsent("version that would split the request", save(oneHolding(), "\"v1\"\r\nX-Injected: 1"),
           "The request could not be sent.", "en-US");
    unsent(
        "damaged token, in Korean",
        [](APIEndpoint e) { return outcome(PortfolioAPI::fetchPortfolio(e, QStringLiteral("abc\r\nX-Injected: 1"))); },
        "저장된 로그인 정보가 손상되었습니다. 다시 로그인하세요.", "ko-KR");
}

void PortfolioAPITest::refusalsAndBadAnswers()
{
    QFETCH(std::string, route);
    QFETCH(int, status);
    QFETCH(std::string, body);
    QFETCH(std::string, contentType);
    QFETCH(Call, call);
    QFETCH(int, expectedStatus);
    QFETCH(QString, description);
    QFETCH(QString, language);

    AppText::setCurrentLanguage(language);
    if (!route.empty())
        m_server->on(route == "/v1/portfolio" ? "PUT" : "GET", route, {status, body, contentType});
    const std::optional<APIFailure> failure = call(endpoint()).failure;
    QVERIFY(failure);
    if (expectedStatus > 0) {
        const PortfolioAPIError *refused = failure->apiError();
        QVERIFY(refused);
        QCOMPARE(refused->kind, PortfolioAPIError::Case::Server);
        QCOMPARE(refused->status, expectedStatus);
        QCOMPARE(failure->description(), description);
    } else if (expectedStatus == 0) {
        QVERIFY(std::holds_alternative<DecodingError>(failure->reason));
        QVERIFY2(failure->description().contains(description), qPrintable(failure->description()));
    } else {
        QCOMPARE(failure->description(), description);
        QVERIFY(m_server->received().empty());
    }
}

void PortfolioAPITest::transportFailures_data()
{
    QTest::addColumn<QByteArray>("answer"); // empty: nothing listens on the port
    QTest::addColumn<bool>("thenClose");
    QTest::addColumn<int>("kind"); // a TransportError::Kind, or -1 for an answer that reads as complete
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("language");

    const QString en = QStringLiteral("en-US");
    const int failed = int(TransportError::Kind::Failed), timedOut = int(TransportError::Kind::TimedOut);
    const QString lost = QStringLiteral("Could not connect to the server.");
    const QString late = QStringLiteral("The request timed out.");
    const QByteArray head = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 40\r\n\r\n";
    QTest::newRow("nothing listens") << QByteArray() << true << failed << int(QNetworkReply::ConnectionRefusedError)
                                     << lost << en;
    QTest::newRow("closed after part of the body")
        << head + R"([{"code":"US)" << true << failed << int(QNetworkReply::RemoteHostClosedError) << lost << en;
    QTest::newRow("refusal closed after part of the body")
        << QByteArray("HTTP/1.1 500 Internal Server Error\r\nContent-Length: 40\r\n\r\n{\"error\":") << true << failed
        << int(QNetworkReply::RemoteHostClosedError) << lost << en;
    QTest::newRow("stalls after part of the body")
        << head + R"([{"code":"US)" << false << timedOut << int(QNetworkReply::OperationCanceledError) << late << en;
    QTest::newRow("nothing listens, in Japanese")
        << QByteArray() << true << failed << int(QNetworkReply::ConnectionRefusedError)
        << QStringLiteral("サーバーに接続できませんでした。") << QStringLiteral("ja-JP");
    QTest::newRow("body that ends with the connection")
        << QByteArray("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n\r\n[]") << true << -1 << 0 << QString()
        << en;
}

void PortfolioAPITest::transportFailures()
{
    QFETCH(QByteArray, answer);
    QFETCH(bool, thenClose);
    QFETCH(int, kind);
    QFETCH(int, code);
    QFETCH(QString, description);
    QFETCH(QString, language);

    AppText::setCurrentLanguage(language);
    RawHttpStandIn standIn(answer, thenClose ? RawHttpStandIn::Then::Close : RawHttpStandIn::Then::Stall);
    QVERIFY(standIn.isListening());
    APIEndpoint endpoint{standIn.baseURL(), m_network.get(), 300ms};
    if (answer.isEmpty()) {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        endpoint.baseURL = QUrl(QStringLiteral("http://127.0.0.1:%1").arg(closed.serverPort()));
    }
    const std::optional<APIFailure> failure = outcome(PortfolioAPI::fetchCurrencies(endpoint, token)).failure;
    if (kind < 0) {
        QVERIFY2(!failure, failure ? qPrintable(failure->description()) : "");
        return;
    }
    QVERIFY(failure);
    const auto *transport = std::get_if<TransportError>(&failure->reason);
    QVERIFY2(transport, qPrintable(failure->description()));
    QCOMPARE(int(transport->kind), kind);
    QCOMPARE(int(transport->code), code);
    QCOMPARE(failure->description(), description);
}

void PortfolioAPITest::cancelledCallerLeavesNothingRunning()
{
    m_server->on("GET", "/v1/transactions", {200, {}, {}, true});
    const CancelToken cancel = makeCancelToken();
    auto task = PortfolioAPI::fetchTransactions(endpoint(), token, cancel);
    QTimer::singleShot(100ms, cancel.get(), &Cancellation::cancel);
    const auto result = QCoro::waitFor(std::move(task));
    QVERIFY(!result);
    QVERIFY(result.error().isCancelled());

    // The reply is gone once deferred deletions have run, and a cancelled token sends nothing more.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(m_network->findChildren<QNetworkReply *>().isEmpty());
    const size_t before = m_server->received().size();
    QVERIFY(QCoro::waitFor(PortfolioAPI::fetchTransactions(endpoint(), token, cancel)).error().isCancelled());
    QCOMPARE(m_server->received().size(), before);
}

void PortfolioAPITest::acceptableOrigins_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("acceptable");
    QTest::newRow("https") << QStringLiteral("https://api.quillfern.io") << true;
    QTest::newRow("loopback http") << QStringLiteral("http://127.0.0.1:8787") << true;
    QTest::newRow("localhost http") << QStringLiteral("http://localhost:8787") << true;
    QTest::newRow("ipv6 loopback") << QStringLiteral("http://[::1]:8787") << true;
    QTest::newRow("http elsewhere") << QStringLiteral("http://192.168.1.4:8787") << false;
    QTest::newRow("loopback-looking name") << QStringLiteral("http://127.0.0.1.evil.example") << false;
    QTest::newRow("with a path") << QStringLiteral("https://api.quillfern.io/v2") << false;
    QTest::newRow("with credentials") << QStringLiteral("https://me:pw@api.quillfern.io") << false;
    QTest::newRow("other scheme") << QStringLiteral("ftp://127.0.0.1") << false;
    QTest::newRow("not a URL") << QStringLiteral("::") << false;
}

void PortfolioAPITest::acceptableOrigins()
{
    QFETCH(QString, url);
    QFETCH(bool, acceptable);
    QCOMPARE(PortfolioAPI::isAcceptableOrigin(QUrl(url, QUrl::StrictMode)), acceptable);
}

QTEST_GUILESS_MAIN(PortfolioAPITest)
#include "tst_portfolioapi.moc"
