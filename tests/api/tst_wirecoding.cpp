#include "api/WireCoding.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTest>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>

using namespace quillfern;

namespace {

ServerHolding sampleHolding()
{
    return ServerHolding{QStringLiteral("7B1C9A52-3C51-4F1A-9E3E-5D1E0D7E2A10"),
                         QStringLiteral("HK"),
                         QStringLiteral("Information Technology"),
                         QStringLiteral("Internet Services"),
                         QStringLiteral("0700"),
                         QStringLiteral("HKD"),
                         QStringLiteral("Futu"),
                         312.4,
                         200,
                         388.2,
                         0.127618574,
                         QStringLiteral("long \"quoted\" note\nwith 名前")};
}

// Decodes a body as T and tells what came of it: the refusal's description, or what the row looks at as text.
using Reading = std::function<QString(const QByteArray &)>;

template <class T>
Reading reading(std::function<QString(const T &)> look = {}, KeyDecoding keys = KeyDecoding::ConvertFromSnakeCase)
{
    return [look, keys](const QByteArray &body) {
        const auto decoded = decodeJSON<T>(body, keys);
        if (!decoded)
            return decoded.error().description();
        return look ? look(*decoded) : QStringLiteral("decoded");
    };
}

const QString refusal = QStringLiteral("The data couldn't be read");

} // namespace

class WireCodingTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void keyConversion_data();
    void keyConversion();
    void decodingKeepsItsRules_data();
    void decodingKeepsItsRules();
    void hostileBodiesFailCleanly_data();
    void hostileBodiesFailCleanly();
    void encoderLeavesAbsentOptionalsOut();
    void encoderRefusesNonFiniteNumbers_data();
    void encoderRefusesNonFiniteNumbers();
    void numbersRoundTripInShortestForm();
    void stringsAreWrittenExactly_data();
    void stringsAreWrittenExactly();
    void everyRecordRoundTrips();
};

void WireCodingTest::keyConversion_data()
{
    QTest::addColumn<QString>("name"); // null: a key that is only ever received
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("back"); // what the key converts back to
    const auto add = [](const char *row, const char *name, const char *key, const char *back) {
        QTest::newRow(row) << (name ? QString::fromLatin1(name) : QString()) << QString::fromLatin1(key)
                           << QString::fromLatin1(back);
    };
    add("one word", "code", "code", "code");
    add("two words", "averagePrice", "average_price", "averagePrice");
    add("fx", "fxToUsd", "fx_to_usd", "fxToUsd");
    add("many words", "subIndustryCode", "sub_industry_code", "subIndustryCode");
    // Receiving is looser than sending: later words are re-cased, edges and plain keys are kept.
    add("later word in capitals", nullptr, "fx_to_USD", "fxToUsd");
    add("first word in capitals", nullptr, "FX_to_usd", "FXToUsd");
    add("underscores at the edges", nullptr, "_private_key_", "_privateKey_");
    add("underscores only", nullptr, "__", "__");
    add("doubled underscore", nullptr, "a__b", "aB");
    add("camel case already", nullptr, "fxToUsd", "fxToUsd");
}

void WireCodingTest::keyConversion()
{
    QFETCH(QString, name);
    QFETCH(QString, key);
    if (!name.isNull())
        QCOMPARE(toSnakeCase(name), key);
    QTEST(fromSnakeCase(key), "back");
}

void WireCodingTest::decodingKeepsItsRules_data()
{
    QTest::addColumn<Reading>("decode");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("outcome"); // a value, whole, or the start of a refusal

    const auto refused = [](const char *why) { return refusal + QStringLiteral(" because ") + QString::fromUtf8(why); };
    const auto add = [](const char *name, const Reading &decode, const QByteArray &body, const QString &outcome) {
        QTest::newRow(name) << decode << body << outcome;
    };
    const Reading cash = reading<PortfolioResponse>([](const PortfolioResponse &p) {
        const ServerCashBalance &c = p.cashBalances.value(0);
        return QStringLiteral("%1 holdings, cash %2: %3 at %4")
            .arg(p.holdings.size())
            .arg(c.id.value_or(QStringLiteral("<no id>")))
            .arg(c.originalCash)
            .arg(c.fxToUsd);
    });
    const Reading rates = reading<QList<CurrencyOption>>([](const QList<CurrencyOption> &list) {
        QStringList shown;
        for (const CurrencyOption &option : list)
            shown.append(option.symbol + QString::number(option.fxToUsd));
        return shown.join(u' ');
    });
    const Reading rate = reading<CurrencyOption>([](const CurrencyOption &o) { return QString::number(o.fxToUsd); });
    const Reading any = reading<EmptyResponse>();
    const auto cashWith = [](const char *id) {
        return R"({"holdings":[],"cash_balances":[{)" + QByteArray(id) +
               R"("broker":"Futu","original_cash":12.5,"currency":"HKD","fx_to_usd":0.128,"note":""}]})";
    };
    const QString invalid = refused("it isn't valid JSON");

    add("cash id absent", cash, cashWith(""), QStringLiteral("0 holdings, cash <no id>: 12.5 at 0.128"));
    add("cash id null", cash, cashWith(R"("id":null,)"), QStringLiteral("0 holdings, cash <no id>: 12.5 at 0.128"));
    add("cash id given", cash, cashWith(R"("id":"C1",)"), QStringLiteral("0 holdings, cash C1: 12.5 at 0.128"));
    add("unknown keys are ignored", cash,
        R"({"version":7,"holdings":[],"cash_balances":[{"id":"c","broker":"IBKR","original_cash":-0.5,)"
        R"("currency":"USD","fx_to_usd":1,"note":"n","extra":{"deep":[1,2]}}],"owner":null})",
        QStringLiteral("0 holdings, cash c: -0.5 at 1"));
    add("camel and re-cased keys", rates,
        R"([{"code":"EUR","name":"Euro","symbol":"€","flag":"🇪🇺","fxToUsd":1.08},)"
        R"({"code":"JPY","name":"Yen","symbol":"¥","flag":"🇯🇵","fx_to_USD":0.0064}])",
        QStringLiteral("€1.08 ¥0.0064"));
    add("both spellings: the wire key decides", rate,
        R"({"code":"X","name":"n","symbol":"s","flag":"f","fxToUsd":2,"fx_to_usd":3})", QStringLiteral("3"));
    add("error body, keys as given",
        reading<ServerError>([](const ServerError &e) { return e.error; }, KeyDecoding::UseKeysAsGiven),
        R"({"error":"Session expired"})", QStringLiteral("Session expired"));
    add("price body, keys as given",
        reading<StockPriceResponse>([](const StockPriceResponse &p) { return QString::number(p.price); },
                                    KeyDecoding::UseKeysAsGiven),
        R"({"price":12.25,"currency":"HKD"})", QStringLiteral("12.25"));
    // Without conversion a snake_case key does not reach a camelCase field.
    add("keys as given miss a converted key", reading<CurrencyOption>({}, KeyDecoding::UseKeysAsGiven),
        R"({"code":"X","name":"n","symbol":"s","flag":"f","fx_to_usd":2})", refused(R"("fx_to_usd" is missing.)"));

    // One wrong field fails the whole body, and the refusal names it.
    add("rate as text fails the whole list", rates,
        R"([{"code":"USD","name":"US Dollar","symbol":"$","flag":"x","fx_to_usd":1},)"
        R"({"code":"HKD","name":"HK","symbol":"HK$","flag":"x","fx_to_usd":"1.0"}])",
        refused(R"("[1].fx_to_usd" is not a number.)"));
    add("number where text belongs", rates, R"([{"code":1}])", refused(R"("[0].code" is not a string.)"));
    add("missing field", rates, R"([{"code":"USD","name":"US","symbol":"$","flag":"x"}])",
        refused(R"("[0].fx_to_usd" is missing.)"));
    add("null field", rates, R"([{"code":null,"name":"US","symbol":"$","flag":"x","fx_to_usd":1}])",
        refused(R"("[0].code" is null.)"));
    add("object where a list belongs", rates, R"({"currencies":[]})", refused("the response is not an array."));
    add("boolean sent as 1", reading<QList<BrokerageOption>>(),
        R"([{"id":"b1","name":"Futu","region":"HK","is_custom":1}])", refused(R"("[0].is_custom" is not a boolean.)"));
    add("portfolio without cash balances", cash, R"({"holdings":[]})", refused(R"("cash_balances" is missing.)"));
    add("holding nested deep", cash,
        R"({"cash_balances":[],"holdings":[{"market":"US","sector":"s","sub_sector":"t","code":"AAPL",)"
        R"("currency":"USD","broker":"IBKR","average_price":1,"quantity":2,"current_price":true,"fx_to_usd":1,)"
        R"("note":""}]})",
        refused(R"("holdings[0].current_price" is not a number.)"));
    add("price as text", reading<StockPriceResponse>(), R"({"price":"12"})", refused(R"("price" is not a number.)"));
    add("not JSON", cash, "<html>oops</html>", invalid);
    add("empty body", reading<QList<TransactionRecord>>(), {}, invalid);

    // An empty answer takes any one JSON value, and nothing that is not one.
    for (const char *body : {"{\"ok\":true}", "[]", " 42 ", "\"done\"", "null"})
        add(body, any, body, QStringLiteral("decoded"));
    for (const char *body : {"1,2", "1],[2", "", "{\"ok\":"})
        add(body, any, body, invalid);
}

void WireCodingTest::decodingKeepsItsRules()
{
    QFETCH(Reading, decode);
    QFETCH(QByteArray, body);
    QFETCH(QString, outcome);
    const QString result = decode(body);
    // A refusal is told by its start; the strict reader's own detail is its tests' business.
    if (outcome.startsWith(refusal))
        QVERIFY2(result.startsWith(outcome), qPrintable(result));
    else
        QCOMPARE(result, outcome);
}

void WireCodingTest::hostileBodiesFailCleanly_data()
{
    QTest::addColumn<Reading>("decode");
    QTest::addColumn<QByteArray>("body");

    const QList<std::pair<const char *, Reading>> decoders{
        {"portfolio", reading<PortfolioResponse>()},
        {"currencies", reading<QList<CurrencyOption>>()},
        {"languages", reading<QList<LanguageOption>>()},
        {"brokerages", reading<QList<BrokerageOption>>()},
        {"brokerage", reading<BrokerageOption>()},
        {"classifications", reading<QList<GICSClassification>>()},
        {"transactions", reading<QList<TransactionRecord>>()},
        {"transaction", reading<TransactionRecord>()},
        {"price", reading<StockPriceResponse>()},
        {"error", reading<ServerError>()},
        {"put request", reading<PortfolioPutRequest>()},
    };
    const QList<std::pair<const char *, QByteArray>> bodies{
        {"truncated", "{\"holdings\":[{\"id\":\"a\",\"mar"},
        {"nested 10000 arrays", QByteArray(10000, '[') + QByteArray(10000, ']')},
        {"nested 10000 objects", QByteArray("{\"a\":").repeated(10000) + "1" + QByteArray(10000, '}')},
        {"huge number", "{\"price\":1e400,\"error\":1e400,\"holdings\":1e400}"},
        {"string top level", "\"just text\""},
        {"number top level", "12"},
        {"wrong types everywhere",
         R"({"holdings":{},"cash_balances":"","price":[],"error":false,"id":1,"name":2,"code":3})"},
        {"list of nulls", "[null,null]"},
        {"invalid UTF-8", "[{\"code\":\"\xC3\x28\"}]"},
        {"NUL bytes", QByteArray("{\"price\":\0 1}", 13)},
    };
    for (const auto &[decoderName, decode] : decoders) {
        for (const auto &[bodyName, body] : bodies)
            QTest::addRow("%s: %s", decoderName, bodyName) << decode << body;
    }
}

void WireCodingTest::hostileBodiesFailCleanly()
{
    QFETCH(Reading, decode);
    QFETCH(QByteArray, body);
    const QString description = decode(body);
    QVERIFY2(description.startsWith(refusal), qPrintable(description));
}

void WireCodingTest::encoderLeavesAbsentOptionalsOut()
{
    ServerHolding holding = sampleHolding();
    holding.id.reset();
    const auto body = encodeJSON(PortfolioPutRequest{{holding}, {}, QStringLiteral("macos-app")});
    QVERIFY(body);
    const QJsonObject object = QJsonDocument::fromJson(*body).object();
    QCOMPARE(object.keys(), (QStringList{QStringLiteral("cash_balances"), QStringLiteral("holdings"),
                                         QStringLiteral("snapshot_source")}));
    const QJsonObject sent = object.value(QStringLiteral("holdings")).toArray().first().toObject();
    QVERIFY(!sent.contains(QStringLiteral("id")));
    QCOMPARE(sent.size(), 11);
    QCOMPARE(sent.value(QStringLiteral("sub_sector")).toString(), QStringLiteral("Internet Services"));
    QCOMPARE(sent.value(QStringLiteral("fx_to_usd")).toDouble(), 0.127618574);
    QVERIFY(object.value(QStringLiteral("cash_balances")).isArray());

    // Fields go out in declaration order.
    QVERIFY(body->startsWith("{\"holdings\":[{\"market\":\"HK\",\"sector\":"));
}

void WireCodingTest::encoderRefusesNonFiniteNumbers_data()
{
    QTest::addColumn<double>("price");
    QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN();
    QTest::newRow("infinity") << std::numeric_limits<double>::infinity();
    QTest::newRow("minus infinity") << -std::numeric_limits<double>::infinity();
}

void WireCodingTest::encoderRefusesNonFiniteNumbers()
{
    QFETCH(double, price);
    ServerHolding second = sampleHolding();
    second.currentPrice = price;
    const auto body = encodeJSON(PortfolioPutRequest{{sampleHolding(), second}, {}, QStringLiteral("macos-app")});
    QVERIFY(!body);
    QCOMPARE(body.error().path, QStringLiteral("holdings[1].current_price"));
    QVERIFY(body.error().description().contains(QStringLiteral("holdings[1].current_price")));
}

void WireCodingTest::numbersRoundTripInShortestForm()
{
    QRandomGenerator random(20261206);
    QList<double> values{0.1, 1e21, 5e-324, 1.7976931348623157e308, 123456789012345678.0, 0.127618574, -2.5, 100};
    for (int i = 0; i < 20000; ++i) {
        quint64 bits = random.generate64();
        double value;
        std::memcpy(&value, &bits, sizeof value);
        if (std::isfinite(value))
            values.append(value);
    }
    for (const double value : values) {
        const auto body = encodeJSON(StockPriceResponse{value, {}, {}, {}, {}});
        QVERIFY(body);
        const QByteArray number = body->mid(9, body->size() - 10);
        const double back = std::strtod(number.constData(), nullptr);
        QVERIFY2(std::memcmp(&back, &value, sizeof value) == 0, number.constData());
        char longest[40];
        std::snprintf(longest, sizeof longest, "%.17g", value);
        QVERIFY2(number.size() <= qsizetype(std::strlen(longest)), number.constData());
        // And our own decoder reads the number back unchanged.
        const auto decoded = decodeJSON<StockPriceResponse>(*body);
        QVERIFY(decoded);
        QCOMPARE(decoded->price, value);
    }
    QCOMPARE(*encodeJSON(StockPriceResponse{100, {}, {}, {}, {}}), QByteArray("{\"price\":100}"));
    QCOMPARE(*encodeJSON(StockPriceResponse{0.1, {}, {}, {}, {}}), QByteArray("{\"price\":0.1}"));
}

void WireCodingTest::stringsAreWrittenExactly_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("written");
    QTest::newRow("empty") << QString() << QByteArray(R"("")");
    QTest::newRow("ascii") << QStringLiteral("Futu 0700.HK") << QByteArray(R"("Futu 0700.HK")");
    QTest::newRow("delete is plain") << QStringLiteral("a\x7f") << QByteArray("\"a\x7f\"");
    QTest::newRow("quote and backslash") << QStringLiteral("say \"\\\"") << QByteArray(R"("say \"\\\"")");
    QTest::newRow("controls") << QStringLiteral("\t\n\x01") << QByteArray(R"("\t\n\u0001")");
    QTest::newRow("euro") << QStringLiteral("\u20ac 5") << QByteArray("\"\xe2\x82\xac 5\"");
    QTest::newRow("cjk after ascii") << QStringLiteral("Bank \u9280\u884c")
                                     << QByteArray("\"Bank \xe9\x8a\x80\xe8\xa1\x8c\"");
    QTest::newRow("flag") << QStringLiteral("\U0001F1ED\U0001F1F0")
                          << QByteArray("\"\xf0\x9f\x87\xad\xf0\x9f\x87\xb0\"");
    QTest::newRow("escape after non-ascii") << QStringLiteral("\u00e9\"") << QByteArray("\"\xc3\xa9\\\"\"");
}

void WireCodingTest::stringsAreWrittenExactly()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, written);
    JsonWriter writer;
    writer.beginArray();
    writer.string(text);
    writer.string(text);
    writer.endArray();
    QCOMPARE(writer.bytes(), '[' + written + ',' + written + ']');
}

void WireCodingTest::everyRecordRoundTrips()
{
    const auto roundTrip = [](const auto &record) {
        using Record = std::decay_t<decltype(record)>;
        const auto body = encodeJSON(record);
        if (!body)
            return false;
        const auto back = decodeJSON<Record>(*body);
        return back && *back == record;
    };
    ServerCashBalance cash{std::nullopt, QStringLiteral("IBKR"), 1500, QStringLiteral("USD"), 1, QString()};
    QVERIFY(roundTrip(PortfolioResponse{{sampleHolding(), sampleHolding()}, {cash}}));
    QVERIFY(roundTrip(PortfolioPutRequest{{sampleHolding()}, {cash}, QStringLiteral("macos-app")}));
    QVERIFY(roundTrip(CurrencyOption{QStringLiteral("HKD"), QStringLiteral("Hong Kong Dollar"), QStringLiteral("HK$"),
                                     QStringLiteral("🇭🇰"), 0.128}));
    QVERIFY(
        roundTrip(QList<LanguageOption>{{QStringLiteral("zh-TW"), QStringLiteral("Chinese (Traditional)"),
                                         QStringLiteral("繁體中文"), QStringLiteral("zh_TW"), QStringLiteral("🇹🇼")}}));
    QVERIFY(roundTrip(BrokerageOption{QStringLiteral("b7"), QStringLiteral("My Broker"), QStringLiteral("US"), true}));
    QVERIFY(roundTrip(GICSClassification{
        QStringLiteral("45"), QStringLiteral("Information Technology"), QStringLiteral("4530"),
        QStringLiteral("Semiconductors & Equipment"), QStringLiteral("453010"), QStringLiteral("Semiconductors"),
        QStringLiteral("45301020"), QStringLiteral("Semiconductors"), QStringLiteral("2023")}));
    const TransactionRecord trade{QStringLiteral("t1"),
                                  QStringLiteral("Futu"),
                                  QStringLiteral("HK"),
                                  QStringLiteral("0700"),
                                  QStringLiteral("buy"),
                                  100,
                                  312.4,
                                  15.5,
                                  QStringLiteral("HKD"),
                                  QStringLiteral("Communication Services"),
                                  QStringLiteral("Interactive Media"),
                                  QStringLiteral("2026-12-01T09:30:00Z"),
                                  QStringLiteral("Dip\tbuy \\ \u0001"),
                                  {},
                                  4.0,
                                  false,
                                  -12.5,
                                  -1.6,
                                  0.128};
    QVERIFY(roundTrip(trade));
    QVERIFY(roundTrip(TransactionCreateInput{trade.broker, trade.market, trade.code, trade.transactionType,
                                             trade.quantity, trade.price, trade.commission, trade.currency,
                                             trade.sector, trade.subSector, trade.tradedAt, trade.reason, 250.0, {},
                                             true}));
    QVERIFY(roundTrip(BrokerageCreateRequest{QStringLiteral("Snowball")}));
    QVERIFY(roundTrip(ServerError{QString(), QStringLiteral("split_ratio"), 3}));
    QVERIFY(roundTrip(PerformanceResponse{{PerformancePoint{QStringLiteral("2026-01-02"), 1.5, 1, 0.25, -2}},
                                          0.05,
                                          {},
                                          -3,
                                          {MonthIncome{QStringLiteral("2026-01"), 4}},
                                          0.2,
                                          {},
                                          1,
                                          {},
                                          {QStringLiteral("US:AAPL")},
                                          {HoldingContribution{QStringLiteral("HK"), QStringLiteral("0005"), -1}}}));
    QCOMPARE(*encodeJSON(EmptyResponse{}), QByteArray("{}"));
}

QTEST_APPLESS_MAIN(WireCodingTest)
#include "tst_wirecoding.moc"
