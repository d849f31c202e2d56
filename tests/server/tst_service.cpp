#include "tests/server/ServiceFixture.h"
#include "tests/support/ScriptedServer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

#include <latch>
#include <thread>

using namespace quillfern;
using namespace quillfern::servicetest;

class ServiceTest : public ServiceFixture {
    Q_OBJECT

private Q_SLOTS:
    void everyAnswerIsJSONWithSafeHeaders();
    void portfolioRoundTrip();
    void malformedRequestsAreRefused_data();
    void malformedRequestsAreRefused();
    void usersCannotSeeEachOther();
    void referenceLists();
    void customBrokerages();
    void tradesMoveTheHolding();
    void aKeyedTradeIsBookedOnce_data();
    void aKeyedTradeIsBookedOnce();
    void concurrentRetriesOfATradeBookOnce();
    void killedSaveLeavesOldOrNewPortfolio();
    void largeAnswersAreGzippedForClientsThatTakeIt_data();
    void largeAnswersAreGzippedForClientsThatTakeIt();

private:
    APIResult<PortfolioData> portfolio(const QString &token)
    {
        return QCoro::waitFor(PortfolioAPI::fetchPortfolio(endpoint(), token));
    }
    APIResult<QList<TransactionRecord>> ledger(const QString &token)
    {
        return QCoro::waitFor(PortfolioAPI::fetchTransactions(endpoint(), token));
    }
    // The service's own answer for the portfolio: a save when given one, else a read.
    APIResult<PortfolioResponse> answered(const QString &token, std::optional<PortfolioPutRequest> put = {})
    {
        return QCoro::waitFor(PortfolioAPI::send<PortfolioResponse>(endpoint(), QStringLiteral("/v1/portfolio"),
                                                                    put ? "PUT" : "GET", token, std::move(put)));
    }
};

void ServiceTest::everyAnswerIsJSONWithSafeHeaders()
{
    const QString token = signIn(QStringLiteral("ann@example.com"));
    QVERIFY(!token.isEmpty());
    for (const auto &[path, authorised, status] :
         std::vector<std::tuple<std::string, bool, int>>{{"/v1/portfolio", true, 200},
                                                         {"/v1/portfolio", false, 401},
                                                         {"/v1/no-such-thing", true, 404},
                                                         {"/v1/market/stock?symbol=&market=US", true, 400}}) {
        const Raw answer = raw(m_service->baseURL(), "GET", path, authorised ? token : QString());
        QCOMPARE(answer.status, status);
        QCOMPARE(answer.headers.find("Cache-Control")->second, std::string("no-store"));
        QCOMPARE(answer.headers.find("X-Content-Type-Options")->second, std::string("nosniff"));
        QVERIFY(QJsonDocument::fromJson(QByteArray::fromStdString(answer.body)).isObject());
        if (status != 200)
            QVERIFY2(!errorText(answer).isEmpty(), answer.body.c_str());
    }
    // The header is the scheme and the token's own characters, nothing around or inside them.
    const std::string bearer = "Bearer " + token.toStdString();
    for (const std::string &header : std::vector<std::string>{
             "Bearer not-a-token", bearer + "%00garbage", bearer + " x", "Bearer  " + token.toStdString(),
             "bearer " + token.toStdString(), bearer + ".", std::string("Bearer ")}) {
        const Raw refused = raw(m_service->baseURL(), "GET", "/v1/portfolio", {}, {}, {{"Authorization", header}});
        QVERIFY2(refused.status == 401, header.c_str());
    }
}

void ServiceTest::portfolioRoundTrip()
{
    const QString token = signIn(QStringLiteral("ann@example.com"));
    const auto empty = portfolio(token);
    QVERIFY(empty);
    QVERIFY(empty->holdings.isEmpty() && empty->cashBalances.isEmpty());

    const PortfolioPutRequest put{{holding(QStringLiteral("B-2"), QStringLiteral("0005")),
                                   holding(std::nullopt, QStringLiteral("0700")),
                                   holding(QStringLiteral("A-1"), QStringLiteral("1299"))},
                                  {ServerCashBalance{std::nullopt, QStringLiteral("IBKR"), 1500.25,
                                                     QStringLiteral("USD"), 1.0, QStringLiteral("cash note")}},
                                  QStringLiteral("macos-app")};
    const auto saved = answered(token, put);
    QVERIFY2(saved, saved ? "" : qPrintable(saved.error().description()));
    QCOMPARE(saved->holdings.size(), 3);
    QCOMPARE(saved->holdings[0].id, std::optional(QStringLiteral("B-2")));
    QVERIFY(upperUUID.match(saved->holdings[1].id.value_or(QString())).hasMatch());
    QCOMPARE(saved->holdings[2].code, QStringLiteral("1299"));
    QVERIFY(upperUUID.match(saved->cashBalances[0].id.value_or(QString())).hasMatch());

    const auto loaded = answered(token);
    QVERIFY(loaded);
    QCOMPARE(*loaded, *saved);
}

void ServiceTest::malformedRequestsAreRefused_data()
{
    QTest::addColumn<std::string>("method");
    QTest::addColumn<std::string>("path");
    QTest::addColumn<std::string>("body");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("mentions");
    QTest::addColumn<std::string>("key"); // an Idempotency-Key, when not empty

    const auto add = [](const char *name, const char *method, const char *path, const std::string &body,
                        const char *mentions, int status = 400, const std::string &key = {}) {
        QTest::newRow(name) << std::string(method) << std::string(path) << body << status << QString::fromUtf8(mentions)
                            << key;
    };
    const auto replaced = [](std::string text, const std::string &from, const std::string &to) {
        return text.replace(text.find(from), from.size(), to);
    };
    const std::string trade = encodeJSON(::trade(QStringLiteral("BUY"), 1, 1))->toStdString();
    const std::string put =
        encodeJSON(PortfolioPutRequest{{holding(std::nullopt, QStringLiteral("0005"))}, {}, QStringLiteral("x")})
            ->toStdString();
    // One well-formed body of each kind with its text changed.
    const auto inTrade = [&](const std::string &from, const std::string &to) { return replaced(trade, from, to); };
    const auto inNote = [&](const std::string &note) { return replaced(put, "kept as sent", note); };
    const auto badTrade = [&](const char *name, const TransactionCreateInput &input, const char *mentions) {
        add(name, "POST", "/v1/transactions", encodeJSON(input)->toStdString(), mentions);
    };
    TransactionCreateInput noBroker = ::trade(QStringLiteral("BUY"), 1, 1);
    noBroker.broker = QStringLiteral("  ");

    add("not JSON", "PUT", "/v1/portfolio", "{holdings", "isn't valid JSON");
    add("missing list", "PUT", "/v1/portfolio", R"({"holdings":[],"snapshot_source":"x"})", "cash_balances");
    add("number as text", "PUT", "/v1/portfolio", replaced(put, R"("average_price":50.5)", R"("average_price":"1")"),
        "holdings[0].average_price");
    add("brokerage name missing", "POST", "/v1/brokerages", "{}", "\"name\" is missing");
    add("body over the limit", "PUT", "/v1/portfolio", std::string(3 * 1024 * 1024, ' '), "larger", 413);
    add("key too long", "POST", "/v1/transactions", trade, "Idempotency-Key", 400, std::string(256, 'k'));
    add("key with a space", "POST", "/v1/transactions", trade, "Idempotency-Key", 400, "two words");
    add("key beyond ASCII", "POST", "/v1/transactions", trade, "Idempotency-Key", 400, "caf\xc3\xa9");
    badTrade("lower-case type", ::trade(QStringLiteral("buy"), 1, 1), "one of BUY, SELL");
    badTrade("zero quantity", ::trade(QStringLiteral("BUY"), 0, 1), "quantity");
    badTrade("zero price", ::trade(QStringLiteral("BUY"), 1, 0), "price");
    badTrade("negative commission", ::trade(QStringLiteral("BUY"), 1, 1, -0.01), "commission");
    badTrade("date without time", ::trade(QStringLiteral("BUY"), 1, 1, 0, QStringLiteral("2026-11-02")), "ISO 8601");
    badTrade("impossible date", ::trade(QStringLiteral("BUY"), 1, 1, 0, QStringLiteral("2026-02-30T10:00:00Z")),
             "ISO 8601");
    badTrade("no broker", noBroker, "broker");
    badTrade("selling what is not held", ::trade(QStringLiteral("SELL"), 1, 1), "AAPL is not held at IBKR");
    // Every route that reads a body reads it with the strict reader, whose own refusals its tests cover; the
    // noncharacters are the service's to refuse.
    add("key twice in a holding", "PUT", "/v1/portfolio",
        replaced(put, R"("quantity":10)", R"("quantity":10,"quantity":2)"), "\"holdings[0].quantity\" is given twice");
    add("key twice in a trade", "POST", "/v1/transactions", inTrade(R"("quantity":1)", R"("quantity":1,"quantity":2)"),
        "\"quantity\" is given twice");
    add("key twice in a brokerage", "POST", "/v1/brokerages", R"({"name":"One","name":"Two"})",
        "\"name\" is given twice");
    add("key twice in a sign-in exchange", "POST", "/v1/auth/native/exchange",
        R"({"code":"a","code_verifier":"b","code":"c"})", "\"code\" is given twice");
    add("U+FFFE written out", "POST", "/v1/transactions",
        inTrade(R"("reason":"test")", "\"reason\":\"\xef\xbf\xbe"
                                      "ab\""),
        "U+FFFE");
    add("U+FFFF escaped", "PUT", "/v1/portfolio", inNote(R"(a\uffFFb)"), "U+FFFF");
}

void ServiceTest::malformedRequestsAreRefused()
{
    QFETCH(std::string, method);
    QFETCH(std::string, path);
    QFETCH(std::string, body);
    QFETCH(int, status);
    QFETCH(QString, mentions);
    QFETCH(std::string, key);
    const QString token = signIn(QStringLiteral("ann@example.com"));
    httplib::Headers headers;
    if (!key.empty())
        headers.emplace("Idempotency-Key", key);
    const Raw answer = raw(m_service->baseURL(), method, path, token, body, headers);
    QCOMPARE(answer.status, status);
    QVERIFY2(errorText(answer).contains(mentions), answer.body.c_str());
    QVERIFY(ledger(token)->isEmpty());
    QVERIFY(portfolio(token)->holdings.isEmpty());
}

void ServiceTest::usersCannotSeeEachOther()
{
    const QString ann = signIn(QStringLiteral("ann@example.com"));
    const QString bob = signIn(QStringLiteral("bob@example.com"));
    QVERIFY(!ann.isEmpty() && !bob.isEmpty() && ann != bob);

    const PortfolioPutRequest annPortfolio{
        {holding(QStringLiteral("SHARED-ID"), QStringLiteral("0005"))}, {}, QStringLiteral("macos-app")};
    QVERIFY(answered(ann, annPortfolio));
    QVERIFY(QCoro::waitFor(PortfolioAPI::createTransaction(endpoint(), ann, trade(QStringLiteral("BUY"), 5, 100))));
    QVERIFY(QCoro::waitFor(PortfolioAPI::createBrokerage(endpoint(), ann, QStringLiteral("Ann's Broker"))));

    // Bob sees none of it, and saving a holding with the same id changes nothing of Ann's.
    const auto bobView = portfolio(bob);
    QVERIFY(bobView && bobView->holdings.isEmpty());
    QVERIFY(ledger(bob)->isEmpty());
    for (const BrokerageOption &option : *QCoro::waitFor(PortfolioAPI::fetchBrokerages(endpoint(), bob)))
        QVERIFY(!option.isCustom);
    const PortfolioPutRequest bobPortfolio{
        {holding(QStringLiteral("SHARED-ID"), QStringLiteral("9988"))}, {}, QStringLiteral("macos-app")};
    QVERIFY(answered(bob, bobPortfolio));
    const auto annView = portfolio(ann);
    QCOMPARE(annView->holdings.size(), 2); // her holding and the one her buy created
    QCOMPARE(annView->holdings[0].code, QStringLiteral("0005"));
    QCOMPARE(ledger(ann)->size(), 1);
}

void ServiceTest::referenceLists()
{
    const QString token = signIn(QStringLiteral("ann@example.com"));
    const auto currencies = QCoro::waitFor(PortfolioAPI::fetchCurrencies(endpoint(), token));
    QVERIFY(currencies);
    QStringList codes;
    for (const CurrencyOption &currency : *currencies) {
        codes.append(currency.code);
        QVERIFY(currency.fxToUsd > 0);
        QVERIFY(!currency.flag.isEmpty() && !currency.name.isEmpty() && !currency.symbol.isEmpty());
    }
    for (const char *code : {"USD", "HKD", "CNY", "JPY", "EUR", "GBP"})
        QVERIFY2(codes.contains(QLatin1String(code)), code);
    QCOMPARE(codes.first(), QStringLiteral("USD"));

    const auto languages = QCoro::waitFor(PortfolioAPI::fetchLanguages(endpoint(), token));
    QStringList languageCodes;
    for (const LanguageOption &language : *languages)
        languageCodes.append(language.code);
    QCOMPARE(languageCodes, (QStringList{QStringLiteral("en-US"), QStringLiteral("en-GB"), QStringLiteral("en-EU"),
                                         QStringLiteral("zh-CN"), QStringLiteral("zh-TW"), QStringLiteral("ja-JP"),
                                         QStringLiteral("ko-KR")}));

    const auto gics = QCoro::waitFor(PortfolioAPI::fetchGICSClassifications(endpoint(), token));
    QVERIFY(gics);
    QSet<QString> sectors, groups, industries, subIndustries;
    for (const GICSClassification &row : *gics) {
        sectors.insert(row.sectorCode);
        groups.insert(row.industryGroupCode);
        industries.insert(row.industryCode);
        subIndustries.insert(row.subIndustryCode);
        QVERIFY(row.subIndustryCode.startsWith(row.industryCode) && row.industryCode.startsWith(row.industryGroupCode));
        QVERIFY(!row.sourceVersion.isEmpty());
    }
    QCOMPARE(sectors.size(), 11);
    QCOMPARE(groups.size(), 25);
    QCOMPARE(industries.size(), 74);
    QCOMPARE(subIndustries.size(), 163);

    QStringList brokerages;
    for (const BrokerageOption &option : *QCoro::waitFor(PortfolioAPI::fetchBrokerages(endpoint(), token)))
        brokerages.append(option.name);
    for (const char *name : {"Snowball", "Futu", "Hafoo", "IBKR", "Tiger", "Sea"})
        QVERIFY2(brokerages.contains(QLatin1String(name)), name);
}

void ServiceTest::customBrokerages()
{
    const QString token = signIn(QStringLiteral("ann@example.com"));
    for (const QString &bad : {QStringLiteral(" x "), QString(65, QLatin1Char('n')), QStringLiteral("   ")}) {
        const auto refused = QCoro::waitFor(PortfolioAPI::createBrokerage(endpoint(), token, bad));
        QVERIFY(!refused);
        QCOMPARE(refused.error().apiError()->status, 400);
    }
    const auto created =
        QCoro::waitFor(PortfolioAPI::createBrokerage(endpoint(), token, QStringLiteral("  Mein Broker ")));
    QVERIFY(created);
    QCOMPARE(created->name, QStringLiteral("Mein Broker"));
    QVERIFY(created->isCustom);
    const auto again = QCoro::waitFor(PortfolioAPI::createBrokerage(endpoint(), token, QStringLiteral("MEIN BROKER")));
    QCOMPARE(again->id, created->id);
    const auto standard = QCoro::waitFor(PortfolioAPI::createBrokerage(endpoint(), token, QStringLiteral("futu")));
    QCOMPARE(standard->name, QStringLiteral("Futu"));
    QVERIFY(!standard->isCustom);
    const auto listed = QCoro::waitFor(PortfolioAPI::fetchBrokerages(endpoint(), token));
    QCOMPARE(std::count_if(listed->cbegin(), listed->cend(), [](const BrokerageOption &o) { return o.isCustom; }), 1);
}

void ServiceTest::tradesMoveTheHolding()
{
    const QString token = signIn(QStringLiteral("ann@example.com"));
    QVERIFY(QCoro::waitFor(PortfolioAPI::createTransaction(
        endpoint(), token, trade(QStringLiteral("BUY"), 10, 100, 5, QStringLiteral("2026-11-01T10:00:00Z")))));
    TransactionCreateInput second =
        trade(QStringLiteral("BUY"), 10, 120, 5, QStringLiteral("2026-11-03T10:00:00+01:00"));
    second.broker = QStringLiteral("ibkr"); // the same holding, whatever the letter case
    second.code = QStringLiteral("aapl");
    // Text the database must keep exactly: U+FEFF first, a character beyond the BMP.
    second.reason = QStringLiteral("\ufeffb \U0001F600 \u00e9");
    const auto booked = QCoro::waitFor(PortfolioAPI::createTransaction(endpoint(), token, second));
    QVERIFY(booked);

    auto held = portfolio(token);
    QCOMPARE(held->holdings.size(), 1);
    QCOMPARE(held->holdings[0].quantity, 20.0);
    QCOMPARE(held->holdings[0].averagePrice, (100.0 * 10 + 5 + 120.0 * 10 + 5) / 20);

    const auto oversell =
        QCoro::waitFor(PortfolioAPI::createTransaction(endpoint(), token, trade(QStringLiteral("SELL"), 25, 130)));
    QVERIFY(!oversell);
    QCOMPARE(oversell.error().apiError()->status, 400);
    QVERIFY(QCoro::waitFor(PortfolioAPI::createTransaction(
        endpoint(), token, trade(QStringLiteral("SELL"), 5, 130, 1, QStringLiteral("2026-11-02T12:00:00Z")))));
    // The sale is dated between the purchases, so it sold from the first one only.
    held = portfolio(token);
    QCOMPARE(held->holdings[0].quantity, 15.0);
    QCOMPARE(held->holdings[0].averagePrice, (5 * 100.5 + 120.0 * 10 + 5) / 15);

    const auto trades = ledger(token);
    QCOMPARE(trades->size(), 3);
    QCOMPARE(trades->at(0), *booked); // newest first, and as it was answered
    QCOMPARE(trades->at(0).tradedAt, second.tradedAt);
    QCOMPARE(trades->at(0).reason, second.reason);
    QCOMPARE(trades->at(1).transactionType, QStringLiteral("SELL"));
    QCOMPARE(trades->at(2).tradedAt, QStringLiteral("2026-11-01T10:00:00Z"));
    QVERIFY(upperUUID.match(trades->at(0).id).hasMatch());
}

void ServiceTest::aKeyedTradeIsBookedOnce_data()
{
    QTest::addColumn<std::string>("firstKey"); // empty: no Idempotency-Key
    QTest::addColumn<std::string>("secondKey");
    QTest::addColumn<bool>("byAnotherUser");
    QTest::addColumn<bool>("anotherTrade");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("booked"); // trades in the first user's ledger

    const std::string key("9f1c2e7a-retry");
    QTest::newRow("retry") << key << key << false << false << 201 << 1;
    QTest::newRow("retry with the longest key")
        << std::string(255, '~') << std::string(255, '~') << false << false << 201 << 1;
    QTest::newRow("another trade under the key") << key << key << false << true << 422 << 1;
    QTest::newRow("another user with the key") << key << key << true << false << 201 << 1;
    QTest::newRow("another key") << key << std::string("9f1c2e7a-next") << false << false << 201 << 2;
    QTest::newRow("no key") << std::string() << std::string() << false << false << 201 << 2;
}

void ServiceTest::aKeyedTradeIsBookedOnce()
{
    QFETCH(std::string, firstKey);
    QFETCH(std::string, secondKey);
    QFETCH(bool, byAnotherUser);
    QFETCH(bool, anotherTrade);
    QFETCH(int, status);
    QFETCH(int, booked);
    const QString ann = signIn(QStringLiteral("ann@example.com"));
    const QString bob = signIn(QStringLiteral("bob@example.com"));
    const auto post = [&](const QString &token, double quantity, const std::string &key) {
        httplib::Headers headers;
        if (!key.empty())
            headers.emplace("Idempotency-Key", key);
        return raw(m_service->baseURL(), "POST", "/v1/transactions", token,
                   encodeJSON(trade(QStringLiteral("BUY"), quantity, 100))->toStdString(), headers);
    };
    const Raw first = post(ann, 5, firstKey);
    QCOMPARE(first.status, 201);
    const Raw second = post(byAnotherUser ? bob : ann, anotherTrade ? 6 : 5, secondKey);
    QCOMPARE(second.status, status);
    const auto record = [](const Raw &answer) {
        const auto decoded = decodeJSON<TransactionRecord>(QByteArray::fromStdString(answer.body));
        return decoded ? *decoded : TransactionRecord{};
    };
    if (status == 422)
        QVERIFY2(errorText(second).contains(QStringLiteral("Idempotency-Key")), second.body.c_str());
    else if (booked == 1 && !byAnotherUser)
        QCOMPARE(record(second), record(first));
    else
        QVERIFY(!record(second).id.isEmpty() && record(second).id != record(first).id);

    QCOMPARE(ledger(ann)->size(), booked);
    QCOMPARE(portfolio(ann)->holdings.at(0).quantity, 5.0 * booked);
    QCOMPARE(ledger(bob)->size(), byAnotherUser ? 1 : 0);
}

void ServiceTest::concurrentRetriesOfATradeBookOnce()
{
    constexpr int retries = 6;
    const QString token = signIn(QStringLiteral("ann@example.com"));
    const std::string body = encodeJSON(trade(QStringLiteral("BUY"), 5, 100))->toStdString();
    const QUrl service = m_service->baseURL();
    std::vector<Raw> answers(retries);
    std::latch start(retries);
    std::vector<std::thread> posters;
    for (int p = 0; p < retries; ++p) {
        posters.emplace_back([&, p] {
            start.arrive_and_wait();
            answers[p] = raw(service, "POST", "/v1/transactions", token, body, {{"Idempotency-Key", "once"}});
        });
    }
    for (std::thread &poster : posters)
        poster.join();
    const auto first = decodeJSON<TransactionRecord>(QByteArray::fromStdString(answers[0].body));
    QVERIFY2(first, answers[0].body.c_str());
    for (const Raw &answer : answers) {
        QCOMPARE(answer.status, 201);
        QCOMPARE(decodeJSON<TransactionRecord>(QByteArray::fromStdString(answer.body)).value(), first.value());
    }
    QCOMPARE(ledger(token)->size(), 1);
    QCOMPARE(portfolio(token)->holdings.at(0).quantity, 5.0);
}

void ServiceTest::killedSaveLeavesOldOrNewPortfolio()
{
    m_service.reset();
    QVERIFY(startService({QStringLiteral("--max-body-bytes"), QStringLiteral("67108864")}));
    const QString token = signIn(QStringLiteral("ann@example.com"));
    const auto body = [](int count, const QString &code) {
        PortfolioPutRequest request{{}, {}, QStringLiteral("macos-app")};
        for (int i = 0; i < count; ++i)
            request.holdings.append(holding(QStringLiteral("H-%1").arg(i), code));
        return encodeJSON(request)->toStdString();
    };
    QCOMPARE(raw(m_service->baseURL(), "PUT", "/v1/portfolio", token, body(200, QStringLiteral("OLD"))).status, 200);

    const std::string large = body(60000, QStringLiteral("NEW"));
    const int port = m_service->port();
    std::thread writer([&] {
        httplib::Client client("127.0.0.1", port);
        client.set_read_timeout(30);
        client.Put("/v1/portfolio", {{"Authorization", "Bearer " + token.toStdString()}}, large, "application/json");
    });
    QTest::qWait(150); // the body is being read or written to the database
    m_service->kill();
    writer.join();

    QVERIFY(startService({QStringLiteral("--max-body-bytes"), QStringLiteral("67108864")}));
    const auto after = answered(token);
    QVERIFY(after);
    QSet<QString> codes;
    for (const ServerHolding &h : after->holdings)
        codes.insert(h.code);
    QCOMPARE(codes.size(), 1);
    QCOMPARE(after->holdings.size(), codes.contains(QStringLiteral("OLD")) ? 200 : 60000);
}

void ServiceTest::largeAnswersAreGzippedForClientsThatTakeIt_data()
{
    QTest::addColumn<std::string>("path");
    QTest::addColumn<std::string>("acceptEncoding");
    QTest::addColumn<bool>("gzipped");
    const auto add = [](const char *name, const char *encoding, bool gzipped, const char *path = "/v1/portfolio") {
        QTest::newRow(name) << std::string(path) << std::string(encoding) << gzipped;
    };
    add("the app's header", "zstd, br, gzip, deflate", true);
    add("weighted", "br;q=1, gzip; q=0.5", true);
    add("any coding", "*", true);
    add("upper case", "GZIP", true);
    add("brotli only", "br", false);
    add("gzip refused", "gzip;q=0", false);
    add("refused by name over any", "gzip;q=0.000, *", false);
    add("malformed weight", "gzip;q=high", false);
    add("identity", "identity", false);
    add("classifications", "gzip, deflate", true, "/v1/gics-classifications");
    add("small list", "gzip, deflate", false, "/v1/languages");
    add("refusal", "gzip, deflate", false, "/v1/no-such-thing");
}

void ServiceTest::largeAnswersAreGzippedForClientsThatTakeIt()
{
    QFETCH(std::string, path);
    QFETCH(std::string, acceptEncoding);
    QFETCH(bool, gzipped);
    const QString token = signIn(QStringLiteral("ann@example.com"));
    PortfolioPutRequest put{{}, {}, QStringLiteral("macos-app")};
    for (int i = 0; i < 40; ++i)
        put.holdings.append(holding(std::nullopt, QString::number(1000 + i)));
    const auto saved = answered(token, put);
    QVERIFY(saved);

    const auto fetch = [&](const std::string &encoding, bool decompress) {
        httplib::Client client("127.0.0.1", m_service->baseURL().port());
        client.set_decompress(decompress);
        return client.Get(path.c_str(),
                          {{"Authorization", "Bearer " + token.toStdString()}, {"Accept-Encoding", encoding}});
    };
    const auto plain = fetch("identity", false);
    const auto sent = fetch(acceptEncoding, false);
    QVERIFY(plain && sent);
    QCOMPARE(sent->status, plain->status);
    QCOMPARE(sent->get_header_value("Content-Type"), std::string("application/json; charset=utf-8"));
    QCOMPARE(sent->get_header_value("Content-Encoding"), std::string(gzipped ? "gzip" : ""));
    QVERIFY(!plain->has_header("Content-Encoding"));
    if (!gzipped) {
        QCOMPARE(sent->body, plain->body);
        return;
    }
    QCOMPARE(sent->get_header_value("Vary"), std::string("Accept-Encoding"));
    QVERIFY2(sent->body.size() * 4 < plain->body.size(), "a portfolio shrinks to well under a quarter");
    const auto decoded = fetch(acceptEncoding, true);
    QVERIFY(decoded);
    QCOMPARE(decoded->body, plain->body);
    // The app's own client takes the compressed answer as it takes a plain one.
    if (path == "/v1/portfolio") {
        const auto loaded = answered(token);
        QVERIFY(loaded);
        QCOMPARE(*loaded, *saved);
    }
}

QTEST_GUILESS_MAIN(ServiceTest)
#include "tst_service.moc"
