#include "api/PortfolioAPI.h"
#include "tests/support/ScriptedServer.h"

#include <QCoroTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTest>
#include <QTimer>

#include <functional>
#include <limits>

using namespace quillfern;
using quillfern::testing::ScriptedServer;
using namespace std::chrono_literals;

namespace {

const QString token = QStringLiteral("tok-123.abc_DEF");

// Runs one call against the endpoint and tells whether it succeeded, or the failure's description.
using Call = std::function<std::optional<APIFailure>(APIEndpoint)>;

template <class T> std::optional<APIFailure> outcome(QCoro::Task<APIResult<T>> task)
{
    const APIResult<T> result = QCoro::waitFor(std::move(task));
    return result ? std::nullopt : std::optional(result.error());
}

QStringList sortedKeys(const QJsonObject &object)
{
    QStringList keys = object.keys();
    keys.sort();
    return keys;
}

QList<AssetRow> oneHolding()
{
    return {AssetRow{QStringLiteral("H-1"), QStringLiteral("HK"), QStringLiteral("Financials"), QStringLiteral("Banks"),
                     QStringLiteral("0005"), QStringLiteral("HSBC"), 60.5, 400, 65.25}};
}

const std::string portfolioReply =
    R"({"holdings":[{"id":"H-1","market":"HK","sector":"Financials","sub_sector":"Banks","code":"0005",)"
    R"("currency":"HKD","broker":"HSBC","average_price":60.5,"quantity":400,"current_price":66,"fx_to_usd":0.1276,)"
    R"("note":""}],"cash_balances":[{"id":"C-1","broker":"Futu","original_cash":1000,"currency":"HKD",)"
    R"("fx_to_usd":0.128,"note":""}]})";

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
    void saveSendsTheWholePortfolio();
    void priceQueryKeepsOrderAndEscapes();
    void refusalsAndBadAnswers_data();
    void refusalsAndBadAnswers();
    void connectionRefused();
    void serverThatNeverAnswersTimesOut();
    void cancelledCallerLeavesNothingRunning();
    void nothingIsSentWhenTheBodyCannotBeEncoded();
    void damagedTokenIsNeverSent();

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
}

void PortfolioAPITest::requestsCarryExactlyTheirHeaders_data()
{
    QTest::addColumn<QString>("method");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<Call>("call");
    QTest::addColumn<bool>("hasBody");

    QTest::newRow("portfolio") << "GET"
                               << "/v1/portfolio" << QByteArray::fromStdString(portfolioReply)
                               << Call([](APIEndpoint e) { return outcome(PortfolioAPI::fetchPortfolio(e, token)); })
                               << false;
    QTest::newRow("save") << "PUT"
                          << "/v1/portfolio" << QByteArray::fromStdString(portfolioReply) << Call([](APIEndpoint e) {
                                 return outcome(PortfolioAPI::savePortfolio(e, token, oneHolding(), {}));
                             })
                          << true;
    QTest::newRow("currencies") << "GET"
                                << "/v1/currencies" << QByteArray("[]")
                                << Call([](APIEndpoint e) { return outcome(PortfolioAPI::fetchCurrencies(e, token)); })
                                << false;
    QTest::newRow("languages") << "GET"
                               << "/v1/languages" << QByteArray("[]")
                               << Call([](APIEndpoint e) { return outcome(PortfolioAPI::fetchLanguages(e, token)); })
                               << false;
    QTest::newRow("brokerages") << "GET"
                                << "/v1/brokerages" << QByteArray("[]")
                                << Call([](APIEndpoint e) { return outcome(PortfolioAPI::fetchBrokerages(e, token)); })
                                << false;
    QTest::newRow("new brokerage")
        << "POST"
        << "/v1/brokerages" << QByteArray(R"({"id":"b9","name":"Mine","region":"","is_custom":true})")
        << Call([](APIEndpoint e) { return outcome(PortfolioAPI::createBrokerage(e, token, QStringLiteral("Mine"))); })
        << true;
    QTest::newRow("classifications") << "GET"
                                     << "/v1/gics-classifications" << QByteArray("[]") << Call([](APIEndpoint e) {
                                            return outcome(PortfolioAPI::fetchGICSClassifications(e, token));
                                        })
                                     << false;
    QTest::newRow("transactions") << "GET"
                                  << "/v1/transactions" << QByteArray("[]") << Call([](APIEndpoint e) {
                                         return outcome(PortfolioAPI::fetchTransactions(e, token));
                                     })
                                  << false;
    QTest::newRow("new transaction")
        << "POST"
        << "/v1/transactions"
        << QByteArray(R"({"id":"t1","broker":"Futu","market":"HK","code":"0700","transaction_type":"buy",)"
                      R"("quantity":1,"price":2,"commission":0,"currency":"HKD","sector":"","sub_sector":"",)"
                      R"("traded_at":"2026-12-01T00:00:00Z","reason":""})")
        << Call([](APIEndpoint e) {
               return outcome(
                   PortfolioAPI::createTransaction(e, token,
                                                   TransactionCreateInput{QStringLiteral("Futu"),
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
                                                                          {}}));
           })
        << true;
    QTest::newRow("logout") << "POST"
                            << "/v1/auth/logout" << QByteArray()
                            << Call([](APIEndpoint e) { return outcome(PortfolioAPI::logout(e, token)); }) << false;
    QTest::newRow("price") << "GET"
                           << "/v1/market/stock" << QByteArray(R"({"price":388.2})") << Call([](APIEndpoint e) {
                                  return outcome(PortfolioAPI::fetchStockPrice(e, token, QStringLiteral("0700"),
                                                                               QStringLiteral("HK")));
                              })
                           << false;
}

void PortfolioAPITest::requestsCarryExactlyTheirHeaders()
{
    QFETCH(QString, method);
    QFETCH(QString, path);
    QFETCH(QByteArray, reply);
    QFETCH(Call, call);
    QFETCH(bool, hasBody);

    m_server->on(method.toStdString(), path.toStdString(), {reply.isEmpty() ? 204 : 200, reply.toStdString()});
    const std::optional<APIFailure> failure = call(endpoint());
    QVERIFY2(!failure, failure ? qPrintable(failure->description()) : "");

    const auto received = m_server->received();
    QCOMPARE(received.size(), size_t(1));
    const ScriptedServer::Received &request = received.front();
    QCOMPARE(QString::fromStdString(request.method), method);
    QCOMPARE(QString::fromStdString(request.path), path);
    QCOMPARE(request.header("Authorization"), "Bearer " + token.toStdString());
    QCOMPARE(request.hasHeader("Content-Type"), hasBody);
    if (hasBody) {
        QCOMPARE(request.header("Content-Type"), std::string("application/json"));
        QVERIFY(QJsonDocument::fromJson(QByteArray::fromStdString(request.body)).isObject());
    } else {
        QVERIFY(request.body.empty());
    }
    QVERIFY(!request.hasHeader("Accept"));
    QVERIFY(!request.hasHeader("Cookie"));
}

void PortfolioAPITest::saveSendsTheWholePortfolio()
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
    QCOMPARE(saved->cashBalances[0].serverFXToUSD, std::optional(0.128));

    const QJsonObject body =
        QJsonDocument::fromJson(QByteArray::fromStdString(m_server->received().front().body)).object();
    QCOMPARE(sortedKeys(body), (QStringList{QStringLiteral("cash_balances"), QStringLiteral("holdings"),
                                            QStringLiteral("snapshot_source")}));
    QCOMPARE(body.value(QStringLiteral("snapshot_source")).toString(), QStringLiteral("macos-app"));
    const QJsonObject holding = body.value(QStringLiteral("holdings")).toArray().first().toObject();
    QCOMPARE(sortedKeys(holding),
             (QStringList{QStringLiteral("average_price"), QStringLiteral("broker"), QStringLiteral("code"),
                          QStringLiteral("currency"), QStringLiteral("current_price"), QStringLiteral("fx_to_usd"),
                          QStringLiteral("id"), QStringLiteral("market"), QStringLiteral("note"),
                          QStringLiteral("quantity"), QStringLiteral("sector"), QStringLiteral("sub_sector")}));
    QCOMPARE(holding.value(QStringLiteral("currency")).toString(), QStringLiteral("HKD"));
    QCOMPARE(holding.value(QStringLiteral("fx_to_usd")).toDouble(), 0.127618574);
    const QJsonArray balances = body.value(QStringLiteral("cash_balances")).toArray();
    QCOMPARE(sortedKeys(balances[1].toObject()),
             (QStringList{QStringLiteral("broker"), QStringLiteral("currency"), QStringLiteral("fx_to_usd"),
                          QStringLiteral("id"), QStringLiteral("note"), QStringLiteral("original_cash")}));
    QCOMPARE(balances[0].toObject().value(QStringLiteral("fx_to_usd")).toDouble(), 0.128);
    QCOMPARE(balances[1].toObject().value(QStringLiteral("fx_to_usd")).toDouble(), 1.08);
}

void PortfolioAPITest::priceQueryKeepsOrderAndEscapes()
{
    m_server->on("GET", "/v1/market/stock", {200, R"({"price":1.5,"currency":"USD"})"});
    const auto price = QCoro::waitFor(
        PortfolioAPI::fetchStockPrice(endpoint(), token, QStringLiteral("BRK.B & 1+1=2 #名"), QStringLiteral("US")));
    QVERIFY(price);
    QCOMPARE(*price, 1.5);
    QCOMPARE(m_server->received().front().target,
             std::string("/v1/market/stock?symbol=BRK.B%20%26%201%2B1%3D2%20%23%E5%90%8D&market=US"));
}

void PortfolioAPITest::refusalsAndBadAnswers_data()
{
    QTest::addColumn<std::string>("route");
    QTest::addColumn<int>("status");
    QTest::addColumn<std::string>("body");
    QTest::addColumn<std::string>("contentType");
    QTest::addColumn<int>("expectedStatus"); // 0: not a refusal
    QTest::addColumn<QString>("description");

    const std::string html = "text/html", json = "application/json";
    QTest::newRow("401 with an error text")
        << std::string("/v1/currencies") << 401 << std::string(R"({"error":"Your session has expired."})") << json
        << 401 << QStringLiteral("Your session has expired.");
    QTest::newRow("401 with an empty error")
        << std::string("/v1/currencies") << 401 << std::string(R"({"error":""})") << json << 401 << QString();
    QTest::newRow("500 with HTML") << std::string("/v1/currencies") << 500
                                   << std::string("<html><body>Bad gateway</body></html>") << html << 500
                                   << QStringLiteral("Portfolio request failed (HTTP 500).");
    QTest::newRow("500 empty") << std::string("/v1/currencies") << 500 << std::string() << json << 500
                               << QStringLiteral("Portfolio request failed (HTTP 500).");
    QTest::newRow("error that is not text")
        << std::string("/v1/currencies") << 422 << std::string(R"({"error":{"code":7}})") << json << 422
        << QStringLiteral("Portfolio request failed (HTTP 422).");
    QTest::newRow("price refused with text")
        << std::string("/v1/market/stock") << 404 << std::string(R"({"error":"Unknown symbol"})") << json << 404
        << QStringLiteral("Unknown symbol");
    QTest::newRow("price refused without text")
        << std::string("/v1/market/stock") << 503 << std::string("Service Unavailable") << html << 503
        << QStringLiteral("Market price request failed (HTTP 503).");
    QTest::newRow("object where a list belongs")
        << std::string("/v1/currencies") << 200 << std::string(R"({"currencies":[]})") << json << 0
        << QStringLiteral("The data couldn't be read because the response is not an array.");
    QTest::newRow("204 where a list belongs")
        << std::string("/v1/currencies") << 204 << std::string() << json << 0 << QStringLiteral("isn't valid JSON");
    QTest::newRow("price without a price")
        << std::string("/v1/market/stock") << 200 << std::string(R"({"error":"none"})") << json << 0
        << QStringLiteral("The data couldn't be read because \"price\" is missing.");
    QTest::newRow("deeply nested body") << std::string("/v1/currencies") << 200
                                        << std::string(10000, '[') + std::string(10000, ']') << json << 0
                                        << QStringLiteral("too deeply nested");
    QTest::newRow("huge number") << std::string("/v1/market/stock") << 200 << std::string(R"({"price":1e400})") << json
                                 << 0 << QStringLiteral("isn't valid JSON");
    QTest::newRow("truncated body") << std::string("/v1/currencies") << 200 << std::string(R"([{"code":"US)") << json
                                    << 0 << QStringLiteral("isn't valid JSON");
}

void PortfolioAPITest::refusalsAndBadAnswers()
{
    QFETCH(std::string, route);
    QFETCH(int, status);
    QFETCH(std::string, body);
    QFETCH(std::string, contentType);
    QFETCH(int, expectedStatus);
    QFETCH(QString, description);

    m_server->on("GET", route, {status, body, contentType});
    const std::optional<APIFailure> failure =
        route == "/v1/market/stock"
            ? outcome(PortfolioAPI::fetchStockPrice(endpoint(), token, QStringLiteral("X"), QStringLiteral("US")))
            : outcome(PortfolioAPI::fetchCurrencies(endpoint(), token));
    QVERIFY(failure);
    if (expectedStatus) {
        const PortfolioAPIError *refused = failure->apiError();
        QVERIFY(refused);
        QCOMPARE(refused->kind, PortfolioAPIError::Case::Server);
        QCOMPARE(refused->status, expectedStatus);
        QCOMPARE(failure->description(), description);
    } else {
        QVERIFY(std::holds_alternative<DecodingError>(failure->reason));
        QVERIFY2(failure->description().contains(description), qPrintable(failure->description()));
    }
}

void PortfolioAPITest::connectionRefused()
{
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    const quint16 port = closed.serverPort();
    closed.close();
    APIEndpoint nowhere{QUrl(QStringLiteral("http://127.0.0.1:%1").arg(port)), m_network.get()};
    const auto failure = outcome(PortfolioAPI::fetchPortfolio(nowhere, token));
    QVERIFY(failure);
    const auto *transport = std::get_if<TransportError>(&failure->reason);
    QVERIFY(transport);
    QCOMPARE(transport->code, QNetworkReply::ConnectionRefusedError);
    QCOMPARE(failure->description(), QStringLiteral("Could not connect to the server."));
}

void PortfolioAPITest::serverThatNeverAnswersTimesOut()
{
    m_server->on("GET", "/v1/portfolio", {200, {}, {}, true});
    APIEndpoint impatient = endpoint();
    impatient.timeout = 300ms;
    const auto failure = outcome(PortfolioAPI::fetchPortfolio(impatient, token));
    QVERIFY(failure);
    QCOMPARE(failure->description(), QStringLiteral("The request timed out."));
    QVERIFY(!failure->isCancelled());
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

void PortfolioAPITest::nothingIsSentWhenTheBodyCannotBeEncoded()
{
    QList<AssetRow> rows = oneHolding();
    rows[0].currentPrice = std::numeric_limits<double>::infinity();
    const auto failure = outcome(PortfolioAPI::savePortfolio(endpoint(), token, rows, {}));
    QVERIFY(failure);
    QVERIFY(std::holds_alternative<EncodingError>(failure->reason));
    QVERIFY(failure->description().contains(QStringLiteral("holdings[0].current_price")));
    QVERIFY(m_server->received().empty());
}

void PortfolioAPITest::damagedTokenIsNeverSent()
{
    m_server->on("GET", "/v1/portfolio", {200, portfolioReply});
    const auto failure = outcome(PortfolioAPI::fetchPortfolio(endpoint(), QStringLiteral("abc\r\nX-Injected: 1")));
    QVERIFY(failure);
    QCOMPARE(failure->description(), QStringLiteral("The stored sign-in is damaged. Sign in again."));
    QVERIFY(m_server->received().empty());
}

void PortfolioAPITest::acceptableOrigins_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("acceptable");
    QTest::newRow("https") << QStringLiteral("https://api.quillfern.io") << true;
    QTest::newRow("https with port") << QStringLiteral("https://api.quillfern.io:8443") << true;
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
