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

QByteArray json(const char *text)
{
    return QByteArray(text);
}

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

// Decodes body as T and says whether it worked, for the table of bodies every decoder must survive.
template <class T> std::function<QString(const QByteArray &)> decoder()
{
    return [](const QByteArray &body) {
        const auto decoded = decodeJSON<T>(body);
        return decoded ? QString() : decoded.error().description();
    };
}

QJsonObject objectOf(const QByteArray &body)
{
    return QJsonDocument::fromJson(body).object();
}

} // namespace

class WireCodingTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void keyConversion_data();
    void keyConversion();
    void optionalIDAbsentNullOrPresent_data();
    void optionalIDAbsentNullOrPresent();
    void presenceRulesFailTheWholeBody_data();
    void presenceRulesFailTheWholeBody();
    void acceptsConvertedAndCamelKeys();
    void unknownKeysAreIgnored();
    void keysAsGivenForErrorAndPriceBodies();
    void emptyResponseAcceptsAnyJSON_data();
    void emptyResponseAcceptsAnyJSON();
    void encoderLeavesAbsentOptionalsOut();
    void encoderRefusesNonFiniteNumbers_data();
    void encoderRefusesNonFiniteNumbers();
    void numbersRoundTripInShortestForm();
    void stringsAreWrittenExactly_data();
    void stringsAreWrittenExactly();
    void everyRecordRoundTrips();
    void hostileBodiesFailCleanly_data();
    void hostileBodiesFailCleanly();
    void errorDescriptions();
};

void WireCodingTest::keyConversion_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("back"); // what the key converts back to

    QTest::newRow("one word") << QStringLiteral("code") << QStringLiteral("code") << QStringLiteral("code");
    QTest::newRow("two words") << QStringLiteral("averagePrice") << QStringLiteral("average_price")
                               << QStringLiteral("averagePrice");
    QTest::newRow("fx") << QStringLiteral("fxToUsd") << QStringLiteral("fx_to_usd") << QStringLiteral("fxToUsd");
    QTest::newRow("many words") << QStringLiteral("subIndustryCode") << QStringLiteral("sub_industry_code")
                                << QStringLiteral("subIndustryCode");
}

void WireCodingTest::keyConversion()
{
    QFETCH(QString, name);
    QFETCH(QString, key);
    QCOMPARE(toSnakeCase(name), key);
    QTEST(fromSnakeCase(key), "back");

    // Receiving is looser than sending: later words are re-cased, edges and plain keys are kept.
    QCOMPARE(fromSnakeCase(u"fx_to_USD"), QStringLiteral("fxToUsd"));
    QCOMPARE(fromSnakeCase(u"FX_to_usd"), QStringLiteral("FXToUsd"));
    QCOMPARE(fromSnakeCase(u"_private_key_"), QStringLiteral("_privateKey_"));
    QCOMPARE(fromSnakeCase(u"__"), QStringLiteral("__"));
    QCOMPARE(fromSnakeCase(u"a__b"), QStringLiteral("aB"));
    QCOMPARE(fromSnakeCase(u"fxToUsd"), QStringLiteral("fxToUsd"));
}

void WireCodingTest::optionalIDAbsentNullOrPresent_data()
{
    QTest::addColumn<QByteArray>("idPart");
    QTest::addColumn<bool>("present");

    QTest::newRow("absent") << json("") << false;
    QTest::newRow("null") << json("\"id\":null,") << false;
    QTest::newRow("present") << json("\"id\":\"C1\",") << true;
}

void WireCodingTest::optionalIDAbsentNullOrPresent()
{
    QFETCH(QByteArray, idPart);
    QFETCH(bool, present);
    const QByteArray body = "{\"holdings\":[],\"cash_balances\":[{" + idPart +
                            "\"broker\":\"Futu\",\"original_cash\":12.5,\"currency\":\"HKD\",\"fx_to_usd\":0.128,"
                            "\"note\":\"\"}]}";
    const auto decoded = decodeJSON<PortfolioResponse>(body);
    QVERIFY2(decoded, qPrintable(decoded ? QString() : decoded.error().description()));
    QCOMPARE(decoded->cashBalances.size(), 1);
    const ServerCashBalance &balance = decoded->cashBalances.first();
    QCOMPARE(balance.id.has_value(), present);
    if (present)
        QCOMPARE(*balance.id, QStringLiteral("C1"));
    QCOMPARE(balance.originalCash, 12.5);
    QCOMPARE(balance.fxToUsd, 0.128);
}

void WireCodingTest::presenceRulesFailTheWholeBody_data()
{
    QTest::addColumn<std::function<QString(const QByteArray &)>>("decode");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("mentions");

    const auto currencies = decoder<QList<CurrencyOption>>();
    QTest::newRow("rate as a string fails the whole list")
        << currencies
        << json("[{\"code\":\"USD\",\"name\":\"US Dollar\",\"symbol\":\"$\",\"flag\":\"x\",\"fx_to_usd\":1},"
                "{\"code\":\"HKD\",\"name\":\"HK\",\"symbol\":\"HK$\",\"flag\":\"x\",\"fx_to_usd\":\"1.0\"}]")
        << QStringLiteral("\"[1].fx_to_usd\" is not a number");
    QTest::newRow("missing field") << currencies
                                   << json("[{\"code\":\"USD\",\"name\":\"US\",\"symbol\":\"$\",\"flag\":\"x\"}]")
                                   << QStringLiteral("\"[0].fx_to_usd\" is missing");
    QTest::newRow("null field")
        << currencies << json("[{\"code\":null,\"name\":\"US\",\"symbol\":\"$\",\"flag\":\"x\",\"fx_to_usd\":1}]")
        << QStringLiteral("\"[0].code\" is null");
    QTest::newRow("object where a list belongs")
        << currencies << json("{\"currencies\":[]}") << QStringLiteral("not an array");
    QTest::newRow("boolean sent as 1") << decoder<QList<BrokerageOption>>()
                                       << json("[{\"id\":\"b1\",\"name\":\"Futu\",\"region\":\"HK\",\"is_custom\":1}]")
                                       << QStringLiteral("\"[0].is_custom\" is not a boolean");
    QTest::newRow("portfolio without cash balances")
        << decoder<PortfolioResponse>() << json("{\"holdings\":[]}") << QStringLiteral("\"cash_balances\" is missing");
    QTest::newRow("holding nested deep")
        << decoder<PortfolioResponse>()
        << json("{\"cash_balances\":[],\"holdings\":[{\"market\":\"US\",\"sector\":\"s\",\"sub_sector\":\"t\","
                "\"code\":\"AAPL\",\"currency\":\"USD\",\"broker\":\"IBKR\",\"average_price\":1,\"quantity\":2,"
                "\"current_price\":true,\"fx_to_usd\":1,\"note\":\"\"}]}")
        << QStringLiteral("\"holdings[0].current_price\" is not a number");
    QTest::newRow("price as text") << decoder<StockPriceResponse>() << json("{\"price\":\"12\"}")
                                   << QStringLiteral("\"price\" is not a number");
    QTest::newRow("not JSON") << decoder<PortfolioResponse>() << json("<html>oops</html>")
                              << QStringLiteral("isn't valid JSON");
    QTest::newRow("empty body") << decoder<QList<TransactionRecord>>() << QByteArray()
                                << QStringLiteral("isn't valid JSON");
}

void WireCodingTest::presenceRulesFailTheWholeBody()
{
    QFETCH(std::function<QString(const QByteArray &)>, decode);
    QFETCH(QByteArray, body);
    QFETCH(QString, mentions);
    const QString description = decode(body);
    QVERIFY2(description.contains(mentions), qPrintable(description));
}

void WireCodingTest::acceptsConvertedAndCamelKeys()
{
    const auto decoded = decodeJSON<QList<CurrencyOption>>(
        json("[{\"code\":\"EUR\",\"name\":\"Euro\",\"symbol\":\"€\",\"flag\":\"🇪🇺\",\"fxToUsd\":1.08},"
             "{\"code\":\"JPY\",\"name\":\"Yen\",\"symbol\":\"¥\",\"flag\":\"🇯🇵\",\"fx_to_USD\":0.0064}]"));
    QVERIFY(decoded);
    QCOMPARE(decoded->size(), 2);
    QCOMPARE(decoded->at(0).fxToUsd, 1.08);
    QCOMPARE(decoded->at(0).symbol, QStringLiteral("€"));
    QCOMPARE(decoded->at(1).fxToUsd, 0.0064);

    // With both spellings present the wire key decides.
    const auto rate = decodeJSON<CurrencyOption>(
        json("{\"code\":\"X\",\"name\":\"n\",\"symbol\":\"s\",\"flag\":\"f\",\"fxToUsd\":2,\"fx_to_usd\":3}"));
    QVERIFY(rate);
    QCOMPARE(rate->fxToUsd, 3.0);
}

void WireCodingTest::unknownKeysAreIgnored()
{
    const auto decoded = decodeJSON<PortfolioResponse>(
        json("{\"version\":7,\"holdings\":[],\"cash_balances\":[{\"id\":\"c\",\"broker\":\"IBKR\","
             "\"original_cash\":-0.5,\"currency\":\"USD\",\"fx_to_usd\":1,\"note\":\"n\",\"extra\":{\"deep\":[1,2]}}],"
             "\"owner\":null}"));
    QVERIFY(decoded);
    QCOMPARE(decoded->cashBalances.first().originalCash, -0.5);
    QVERIFY(decoded->holdings.isEmpty());
}

void WireCodingTest::keysAsGivenForErrorAndPriceBodies()
{
    const auto error = decodeJSON<ServerError>(json("{\"error\":\"Session expired\"}"), KeyDecoding::UseKeysAsGiven);
    QVERIFY(error);
    QCOMPARE(error->error, QStringLiteral("Session expired"));
    const auto price =
        decodeJSON<StockPriceResponse>(json("{\"price\":12.25,\"currency\":\"HKD\"}"), KeyDecoding::UseKeysAsGiven);
    QVERIFY(price);
    QCOMPARE(price->price, 12.25);
    // Without conversion a snake_case key does not reach a camelCase field.
    QVERIFY(!decodeJSON<CurrencyOption>(
        json("{\"code\":\"X\",\"name\":\"n\",\"symbol\":\"s\",\"flag\":\"f\",\"fx_to_usd\":2}"),
        KeyDecoding::UseKeysAsGiven));
}

void WireCodingTest::emptyResponseAcceptsAnyJSON_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("object") << json("{\"ok\":true}") << true;
    QTest::newRow("array") << json("[]") << true;
    QTest::newRow("number") << json(" 42 ") << true;
    QTest::newRow("string") << json("\"done\"") << true;
    QTest::newRow("null") << json("null") << true;
    QTest::newRow("two values") << json("1,2") << false;
    QTest::newRow("sneaky brackets") << json("1],[2") << false;
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("truncated") << json("{\"ok\":") << false;
}

void WireCodingTest::emptyResponseAcceptsAnyJSON()
{
    QFETCH(QByteArray, body);
    QTEST(bool(decodeJSON<EmptyResponse>(body)), "accepted");
}

void WireCodingTest::encoderLeavesAbsentOptionalsOut()
{
    ServerHolding holding = sampleHolding();
    holding.id.reset();
    const auto body = encodeJSON(PortfolioPutRequest{{holding}, {}, QStringLiteral("macos-app")});
    QVERIFY(body);
    const QJsonObject object = objectOf(*body);
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
        const auto body = encodeJSON(StockPriceResponse{value, {}, {}, {}});
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
    QCOMPARE(*encodeJSON(StockPriceResponse{100, {}, {}, {}}), json("{\"price\":100}"));
    QCOMPARE(*encodeJSON(StockPriceResponse{0.1, {}, {}, {}}), json("{\"price\":0.1}"));
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
                                  QStringLiteral("Dip\tbuy \\ \u0001")};
    QVERIFY(roundTrip(trade));
    QVERIFY(roundTrip(TransactionCreateInput{trade.broker, trade.market, trade.code, trade.transactionType,
                                             trade.quantity, trade.price, trade.commission, trade.currency,
                                             trade.sector, trade.subSector, trade.tradedAt, trade.reason}));
    QVERIFY(roundTrip(BrokerageCreateRequest{QStringLiteral("Snowball")}));
    QVERIFY(roundTrip(ServerError{QString()}));
    QCOMPARE(*encodeJSON(BrokerageCreateRequest{QStringLiteral("a\"b")}), json("{\"name\":\"a\\\"b\"}"));
    QCOMPARE(*encodeJSON(EmptyResponse{}), json("{}"));
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
    QTest::newRow("cjk after ascii") << QStringLiteral("Bank \u9280\u884c") << QByteArray("\"Bank \xe9\x8a\x80\xe8\xa1\x8c\"");
    QTest::newRow("flag") << QStringLiteral("\U0001F1ED\U0001F1F0") << QByteArray("\"\xf0\x9f\x87\xad\xf0\x9f\x87\xb0\"");
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

void WireCodingTest::hostileBodiesFailCleanly_data()
{
    QTest::addColumn<std::function<QString(const QByteArray &)>>("decode");
    QTest::addColumn<QByteArray>("body");

    const QList<std::pair<const char *, std::function<QString(const QByteArray &)>>> decoders{
        {"portfolio", decoder<PortfolioResponse>()},
        {"currencies", decoder<QList<CurrencyOption>>()},
        {"languages", decoder<QList<LanguageOption>>()},
        {"brokerages", decoder<QList<BrokerageOption>>()},
        {"brokerage", decoder<BrokerageOption>()},
        {"classifications", decoder<QList<GICSClassification>>()},
        {"transactions", decoder<QList<TransactionRecord>>()},
        {"transaction", decoder<TransactionRecord>()},
        {"price", decoder<StockPriceResponse>()},
        {"error", decoder<ServerError>()},
        {"put request", decoder<PortfolioPutRequest>()},
    };
    const QByteArray deep = QByteArray(10000, '[') + QByteArray(10000, ']');
    const QByteArray deepObject = QByteArray("{\"a\":").repeated(10000) + "1" + QByteArray(10000, '}');
    const QList<std::pair<const char *, QByteArray>> bodies{
        {"truncated", json("{\"holdings\":[{\"id\":\"a\",\"mar")},
        {"nested 10000 arrays", deep},
        {"nested 10000 objects", deepObject},
        {"huge number", json("{\"price\":1e400,\"error\":1e400,\"holdings\":1e400}")},
        {"string top level", json("\"just text\"")},
        {"number top level", json("12")},
        {"wrong types everywhere", json("{\"holdings\":{},\"cash_balances\":\"\",\"price\":[],\"error\":false,"
                                        "\"id\":1,\"name\":2,\"code\":3}")},
        {"list of nulls", json("[null,null]")},
        {"invalid UTF-8", QByteArray("[{\"code\":\"\xC3\x28\"}]")},
        {"NUL bytes", QByteArray("{\"price\":\0 1}", 13)},
    };
    for (const auto &[decoderName, decode] : decoders) {
        for (const auto &[bodyName, body] : bodies)
            QTest::addRow("%s: %s", decoderName, bodyName) << decode << body;
    }
}

void WireCodingTest::hostileBodiesFailCleanly()
{
    QFETCH(std::function<QString(const QByteArray &)>, decode);
    QFETCH(QByteArray, body);
    const QString description = decode(body);
    QVERIFY2(!description.isEmpty(), "a hostile body decoded");
    QVERIFY(description.startsWith(QStringLiteral("The data couldn't be read")));
}

void WireCodingTest::errorDescriptions()
{
    QCOMPARE(PortfolioAPIError::server(401, QStringLiteral("Token expired")).description(),
             QStringLiteral("Token expired"));
    QCOMPARE(PortfolioAPIError::server(500, QString()).description(), QString());
    QCOMPARE(PortfolioAPIError::invalidResponse().description(),
             QStringLiteral("The portfolio server returned an unreadable response."));
    const auto failed = decodeJSON<QList<CurrencyOption>>(json("[{\"code\":1}]"));
    QVERIFY(!failed);
    QCOMPARE(failed.error().description(),
             QStringLiteral("The data couldn't be read because \"[0].code\" is not a string."));
}

QTEST_APPLESS_MAIN(WireCodingTest)
#include "tst_wirecoding.moc"
