// The quick JSON reader against Qt's parser: every body it reads must decode to what Qt's parser gives
// (compared through the encoder, so that -0 and 0 differ), and what Qt refuses must stay refused.

#include "api/WireCoding.h"

#include <QRandomGenerator>
#include <QTest>

using namespace quillfern;

namespace {

// A portfolio body with one holding whose "quantity" is written as number and "note" as note.
QByteArray holdingBody(const QByteArray &number, const QByteArray &note)
{
    return R"({"holdings":[{"id":"A-1","market":"HK","sector":"Financials","sub_sector":"Banks","code":"0005",)"
           R"("currency":"HKD","broker":"Futu","average_price":50.5,"quantity":)" +
           number + R"(,"current_price":52,"fx_to_usd":0.128,"note":")" + note + R"("}],"cash_balances":[]})";
}

template <class T> QString agreement(const QByteArray &body, KeyDecoding keys = KeyDecoding::ConvertFromSnakeCase)
{
    const auto quick = decodeJSON<T>(body, keys);
    const auto qt = decodeJSONWithQt<T>(body, keys);
    if (bool(quick) != bool(qt))
        return quick ? QStringLiteral("only the quick reader read it") : QStringLiteral("only Qt read it");
    if (!quick)
        return quick.error().description() == qt.error().description() ? QString() : quick.error().description();
    const QByteArray quickJSON = *encodeJSON(*quick);
    const QByteArray qtJSON = *encodeJSON(*qt);
    return quickJSON == qtJSON ? QString() : QString::fromUtf8(quickJSON + " | " + qtJSON);
}

} // namespace

class JsonReaderTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void readsWhatTheAppAndServiceSend();
    void numbersAsQtReadsThem_data();
    void numbersAsQtReadsThem();
    void stringsAsQtReadsThem_data();
    void stringsAsQtReadsThem();
    void documentsAsQtReadsThem_data();
    void documentsAsQtReadsThem();
    void mutatedBodiesAsQtReadsThem();
};

void JsonReaderTest::readsWhatTheAppAndServiceSend()
{
    PortfolioPutRequest put{{}, {}, QStringLiteral("macos-app")};
    for (int i = 0; i < 50; ++i) {
        put.holdings.append(ServerHolding{i % 3 ? std::optional(QStringLiteral("ID-%1").arg(i)) : std::nullopt,
                                          QStringLiteral("JP"), QStringLiteral("Industrials"),
                                          QStringLiteral("機械 \"quoted\"\n"), QString::number(7000 + i),
                                          QStringLiteral("JPY"), QStringLiteral("SBI 証券"), 1234.5 + i, 100.0 * i,
                                          0.1 + 0.2, 0.0067, QStringLiteral("note \u20ac %1").arg(i)});
    }
    put.cashBalances.append(ServerCashBalance{std::nullopt, QStringLiteral("IBKR"), -12.5, QStringLiteral("USD"), 1, {}});
    const QByteArray body = *encodeJSON(put);
    // The point of the reader: it takes the bodies the app sends without handing them to Qt.
    QVERIFY(wire::JsonTree::read(body));
    const auto decoded = decodeJSON<PortfolioPutRequest>(body);
    QVERIFY(decoded);
    QCOMPARE(*encodeJSON(*decoded), body);
    QCOMPARE(agreement<PortfolioPutRequest>(body), QString());
}

void JsonReaderTest::numbersAsQtReadsThem_data()
{
    QTest::addColumn<QByteArray>("number");
    for (const char *number :
         {"0", "-0", "-0.0", "-0.000", "0.0", "1.0", "-5.00", "1.0e0", "-0e0", "-0.0E+0", "2.50", "1e2", "1E+2", "1.5e-3", "-12.75", "0.30000000000000004",
          "9007199254740993", "9223372036854775807", "9223372036854775808", "-9223372036854775808",
          "-9223372036854775809", "123456789012345678901234567890", "1e308", "1e400", "-1e400", "1e-400", "4.9e-324",
          "2.2250738585072014e-308", "01", "-01", "1.", ".5", "+1", "-", "1e", "1e+", "0x10", "1.5.2", "--1", "NaN",
          "Infinity", "1_000", "\"12\"", "true", "null"})
        QTest::newRow(number) << QByteArray(number);
}

void JsonReaderTest::numbersAsQtReadsThem()
{
    QFETCH(QByteArray, number);
    QCOMPARE(agreement<PortfolioResponse>(holdingBody(number, "n")), QString());
    QCOMPARE(agreement<StockPriceResponse>("{\"price\":" + number + "}", KeyDecoding::UseKeysAsGiven), QString());
}

void JsonReaderTest::stringsAsQtReadsThem_data()
{
    QTest::addColumn<QByteArray>("note");
    QTest::newRow("plain") << QByteArray("kept as sent");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("simple escapes") << QByteArray(R"(a\"b\\c\/d\b\f\n\r\t)");
    QTest::newRow("unicode escape") << QByteArray(R"(caf\u00e9 \u20AC)");
    QTest::newRow("nul escape") << QByteArray(R"(a\u0000b)");
    QTest::newRow("surrogate pair") << QByteArray(R"(\ud83d\ude00)");
    QTest::newRow("lone high surrogate") << QByteArray(R"(\ud800x)");
    QTest::newRow("lone low surrogate") << QByteArray(R"(\udc00)");
    QTest::newRow("high then not low") << QByteArray(R"(\ud800\u0041)");
    QTest::newRow("short escape") << QByteArray(R"(\u12)");
    QTest::newRow("bad hex") << QByteArray(R"(\u12G4)");
    QTest::newRow("unknown escape") << QByteArray(R"(\x41)");
    QTest::newRow("raw utf-8") << QByteArray("\xe5\x90\x8d\xe5\x89\x8d \xf0\x9f\x87\xad\xf0\x9f\x87\xb0");
    QTest::newRow("invalid byte") << QByteArray("a\xff" "b");
    QTest::newRow("cut sequence") << QByteArray("a\xe5\x90");
    QTest::newRow("overlong slash") << QByteArray("\xc0\xaf");
    QTest::newRow("encoded surrogate") << QByteArray("\xed\xa0\x80");
    QTest::newRow("above U+10FFFF") << QByteArray("\xf4\x90\x80\x80");
    QTest::newRow("noncharacter") << QByteArray("\xef\xbf\xbf");
    QTest::newRow("raw tab") << QByteArray("a\tb");
    QTest::newRow("raw newline") << QByteArray("a\nb");
    QTest::newRow("delete") << QByteArray("a\x7f" "b");
}

void JsonReaderTest::stringsAsQtReadsThem()
{
    QFETCH(QByteArray, note);
    QCOMPARE(agreement<PortfolioResponse>(holdingBody("10", note)), QString());
}

void JsonReaderTest::documentsAsQtReadsThem_data()
{
    QTest::addColumn<QByteArray>("body");
    const QByteArray good = holdingBody("10", "n");
    QTest::newRow("as sent") << good;
    QTest::newRow("spaced out") << QByteArray(good).replace(",", " ,\n\t").replace(":", "\r\n: ");
    QTest::newRow("form feed is not space") << QByteArray(good).replace(",", "\f,");
    QTest::newRow("trailing comma") << QByteArray(good).replace("}],", ",}],");
    QTest::newRow("garbage after") << good + "x";
    QTest::newRow("second document") << good + good;
    QTest::newRow("byte order mark") << "\xef\xbb\xbf" + good;
    QTest::newRow("cut short") << good.left(good.size() - 3);
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("top-level null") << QByteArray("null");
    QTest::newRow("top-level string") << QByteArray("\"x\"");
    QTest::newRow("duplicate key") << QByteArray(good).replace(R"("code":"0005",)", R"("code":"0005","code":"0700",)");
    QTest::newRow("duplicate unknown key") << QByteArray(good).replace(R"("code":)", R"("x":1,"x":2,"code":)");
    QTest::newRow("escaped key") << QByteArray(good).replace(R"("code":)", R"("co\u0064e":)");
    QTest::newRow("camel key") << QByteArray(good).replace("sub_sector", "subSector");
    QTest::newRow("camel and snake key") << QByteArray(good).replace(R"("code":)", R"("subSector":"Other","code":)");
    QTest::newRow("two keys converting alike")
        << QByteArray(good).replace("sub_sector", "subSector").replace(R"("code":)", R"("sub_Sector":"B","code":)");
    QTest::newRow("id null") << QByteArray(good).replace(R"("A-1")", "null");
    QTest::newRow("id absent") << QByteArray(good).replace(R"("id":"A-1",)", "");
    QTest::newRow("missing field") << QByteArray(good).replace(R"("market":"HK",)", "");
    QTest::newRow("wrong type") << QByteArray(good).replace(R"("Futu")", "7");
    QTest::newRow("deep unknown value") << QByteArray(good).replace(R"("code":)", QByteArray(R"("deep":)") +
                                                                                      QByteArray(200, '[') +
                                                                                      QByteArray(200, ']') + ",\"code\":");
    QTest::newRow("nested unknown object") << QByteArray(good).replace(R"("code":)", R"("x":{"y":[1,{"z":null}]},"code":)");
}

void JsonReaderTest::documentsAsQtReadsThem()
{
    QFETCH(QByteArray, body);
    QCOMPARE(agreement<PortfolioResponse>(body), QString());
    QCOMPARE(agreement<EmptyResponse>(body), QString());
    QCOMPARE(agreement<QList<ServerHolding>>(body), QString());
}

void JsonReaderTest::mutatedBodiesAsQtReadsThem()
{
    // One to three bytes changed, dropped or added, thousands of times over, from a fixed seed so that a
    // failure repeats.
    const QByteArray good = holdingBody("-12.5e1", R"(caf\u00e9 \ud83d\ude00 名)");
    static const char alphabet[] = "0123456789-+.eE\"\\u{}[],: \n\tntfax\xe5\x90\xff";
    QRandomGenerator random(20261207);
    int read = 0;
    for (int round = 0; round < 4000; ++round) {
        QByteArray body = good;
        const int changes = 1 + int(random.bounded(3));
        for (int c = 0; c < changes; ++c) {
            const qsizetype at = random.bounded(body.size());
            const char with = alphabet[random.bounded(int(sizeof alphabet - 1))];
            switch (random.bounded(3)) {
            case 0:
                body[at] = with;
                break;
            case 1:
                body.remove(at, 1);
                break;
            default:
                body.insert(at, with);
            }
        }
        const QString disagreement = agreement<PortfolioResponse>(body);
        QVERIFY2(disagreement.isEmpty(), qPrintable(QString::fromUtf8(body) + QStringLiteral(" -> ") + disagreement));
        read += wire::JsonTree::read(body).has_value();
    }
    QVERIFY2(read > 100, "the mutations should leave many bodies readable");
}

QTEST_GUILESS_MAIN(JsonReaderTest)
#include "tst_jsonreader.moc"
