// The strict reader and the writer: which texts are JSON, what their strings and numbers read as, why a
// refused body is refused, and that what is read is written back unchanged.

#include "api/WireCoding.h"

#include <QDir>
#include <QRandomGenerator>
#include <QTest>

#include <cmath>

using namespace quillfern;

namespace {

// A portfolio body with one holding whose "quantity" is written as number and "note" as note.
QByteArray holdingBody(const QByteArray &number, const QByteArray &note)
{
    return R"({"holdings":[{"id":"A-1","market":"HK","sector":"Financials","sub_sector":"Banks","code":"0005",)"
           R"("currency":"HKD","broker":"Futu","average_price":50.5,"quantity":)" +
           number + R"(,"current_price":52,"fx_to_usd":0.128,"note":")" + note + R"("}],"cash_balances":[]})";
}

// A trade as POST /v1/transactions takes it, with "reason" written as reason.
QByteArray tradeBody(const QByteArray &reason)
{
    return R"({"broker":"IBKR","market":"US","code":"AAPL","transaction_type":"BUY","quantity":1,"price":10,)"
           R"("commission":0,"currency":"USD","sector":"s","sub_sector":"t","traded_at":"2026-11-02T09:30:00Z",)"
           R"("reason":")" +
           reason + R"("})";
}

QString refusal(const QByteArray &body, bool trade)
{
    if (trade) {
        const auto decoded = decodeJSON<TransactionCreateInput>(body);
        return decoded ? QString() : decoded.error().description();
    }
    const auto decoded = decodeJSON<PortfolioResponse>(body);
    return decoded ? QString() : decoded.error().description();
}

// The text the writer makes of whatever the reader read.
std::optional<QByteArray> rewritten(const QByteArray &text)
{
    const auto tree = wire::JsonTree::read(text);
    if (!tree)
        return std::nullopt;
    JsonWriter writer;
    writer.value(tree->root());
    return writer.take();
}

} // namespace

class JsonReaderTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void seedVerdicts_data();
    void seedVerdicts();
    void stringsAreKeptExactly_data();
    void stringsAreKeptExactly();
    void refusalsSayWhy_data();
    void refusalsSayWhy();
    void zeroHasNoSign_data();
    void zeroHasNoSign();
    void randomRecordsRoundTrip();
};

void JsonReaderTest::seedVerdicts_data()
{
    // Each seed's name starts with the verdict: y_ read, n_ refused.
    QTest::addColumn<QString>("path");
    const QDir seeds(QStringLiteral(QUILLFERN_JSON_SEEDS));
    const QStringList names = seeds.entryList({QStringLiteral("y_*"), QStringLiteral("n_*")}, QDir::Files);
    QVERIFY(names.size() > 300);
    for (const QString &name : names)
        QTest::newRow(qPrintable(name)) << seeds.filePath(name);
}

void JsonReaderTest::seedVerdicts()
{
    QFETCH(QString, path);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    const bool accepted = QFileInfo(path).fileName().startsWith(u'y');
    const auto first = rewritten(text);
    QCOMPARE(first.has_value(), accepted);
    QCOMPARE(decodeJSON<EmptyResponse>(text).ok(), accepted);
    if (accepted) {
        const auto second = rewritten(*first);
        QVERIFY2(second, first->constData());
        QCOMPARE(*second, *first);
    }
}

void JsonReaderTest::stringsAreKeptExactly_data()
{
    QTest::addColumn<QByteArray>("note"); // as written in the body
    QTest::addColumn<QString>("text");
    QTest::newRow("plain") << QByteArray("kept as sent") << QStringLiteral("kept as sent");
    QTest::newRow("empty") << QByteArray() << QString();
    QTest::newRow("simple escapes") << QByteArray(R"(a\"b\\c\/d\b\f\n\r\t)") << QStringLiteral("a\"b\\c/d\b\f\n\r\t");
    QTest::newRow("unicode escapes") << QByteArray(R"(caf\u00e9 \u20AC)") << QStringLiteral("caf\u00e9 \u20ac");
    QTest::newRow("nul escape") << QByteArray(R"(a\u0000b)") << QString(QStringLiteral("a_b")).replace(u'_', QChar(0));
    QTest::newRow("surrogate pair") << QByteArray(R"(\ud83d\ude00)") << QStringLiteral("\U0001F600");
    QTest::newRow("raw utf-8") << QByteArray("\xe5\x90\x8d \xf0\x9f\x87\xad\xf0\x9f\x87\xb0")
                               << QStringLiteral("\u540d \U0001F1ED\U0001F1F0");
    QTest::newRow("leading U+FEFF") << QByteArray("\xef\xbb\xbf" "b") << QStringLiteral("\ufeffb");
    QTest::newRow("U+FEFF after an escape") << QByteArray("a\\n\xef\xbb\xbf" "b") << QStringLiteral("a\n\ufeffb");
    QTest::newRow("escaped U+FEFF") << QByteArray(R"(\uFEFFx\ufeff)") << QStringLiteral("\ufeffx\ufeff");
    QTest::newRow("noncharacters") << QByteArray("\xef\xbf\xbf \xef\xb7\x90") << QStringLiteral("\uffff \ufdd0");
    QTest::newRow("delete") << QByteArray("a\x7f" "b") << QStringLiteral("a\x7f" "b");
}

void JsonReaderTest::stringsAreKeptExactly()
{
    QFETCH(QByteArray, note);
    QFETCH(QString, text);
    const auto decoded = decodeJSON<PortfolioResponse>(holdingBody("10", note));
    QVERIFY2(decoded, qPrintable(decoded ? QString() : decoded.error().description()));
    QCOMPARE(decoded->holdings.first().note, text);
    // Written and read again, the text is the same, whatever the writer chose to escape.
    const auto again = decodeJSON<PortfolioResponse>(*encodeJSON(*decoded));
    QVERIFY(again);
    QCOMPARE(again->holdings.first().note, text);
}

void JsonReaderTest::refusalsSayWhy_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("trade");
    QTest::addColumn<QString>("mentions");
    const auto note = [](const char *text) { return holdingBody("10", text); };
    const auto quantity = [](const char *text) { return holdingBody(text, "n"); };
    QTest::newRow("lone high surrogate") << note(R"(a\ud800b)") << false << QStringLiteral("lone surrogate \\ud800");
    QTest::newRow("lone high surrogate in a reason") << tradeBody(R"(a\ud800b)") << true
                                                     << QStringLiteral("lone surrogate \\ud800");
    QTest::newRow("lone low surrogate") << note(R"(\udc00)") << false << QStringLiteral("lone surrogate \\udc00");
    QTest::newRow("high then not low") << note(R"(\ud800\u0041)") << false << QStringLiteral("lone surrogate");
    QTest::newRow("high at the end") << note(R"(\ud800)") << false << QStringLiteral("lone surrogate");
    QTest::newRow("escaped x") << note(R"(q\x41)") << false << QStringLiteral("invalid escape \\x");
    QTest::newRow("capital U") << note(R"(\U0041)") << false << QStringLiteral("invalid escape \\U");
    QTest::newRow("short escape") << note(R"(\u12)") << false << QStringLiteral("four hex digits");
    QTest::newRow("raw tab") << note("a\tb") << false << QStringLiteral("control character (byte 0x09)");
    QTest::newRow("raw NUL") << QByteArray(note("a_b")).replace('_', '\0') << false
                             << QStringLiteral("control character (byte 0x00)");
    QTest::newRow("invalid UTF-8") << note("a\xff" "b") << false << QStringLiteral("invalid UTF-8");
    QTest::newRow("encoded surrogate") << note("\xed\xa0\x80") << false << QStringLiteral("invalid UTF-8");
    QTest::newRow(".5") << quantity(".5") << false << QStringLiteral("unexpected '.'");
    QTest::newRow("2.") << quantity("2.") << false << QStringLiteral("malformed number");
    QTest::newRow("01") << quantity("01") << false << QStringLiteral("unexpected '1'");
    QTest::newRow("+1") << quantity("+1") << false << QStringLiteral("unexpected '+'");
    QTest::newRow("1e400") << quantity("1e400") << false << QStringLiteral("beyond the range");
    QTest::newRow("-1e400") << quantity("-1e400") << false << QStringLiteral("beyond the range");
    QTest::newRow("1e-400") << quantity("1e-400") << false << QStringLiteral("beyond the range");
    QTest::newRow("garbage after") << holdingBody("1", "n") + "x" << false << QStringLiteral("text after the value");
    QTest::newRow("byte order mark before") << "\xef\xbb\xbf" + holdingBody("1", "n") << false
                                            << QStringLiteral("unexpected byte 0xef");
    QTest::newRow("duplicate in a holding")
        << quantity("1,\"quantity\":2") << false << QStringLiteral("\"holdings[0].quantity\" is given twice");
    QTest::newRow("duplicate in a trade") << QByteArray(tradeBody("r")).replace(R"("quantity":1)", R"("quantity":1,"quantity":2)")
                                          << true << QStringLiteral("\"quantity\" is given twice");
    QTest::newRow("duplicate spelled with an escape")
        << quantity("1,\"quantit\\u0079\":2") << false << QStringLiteral("\"holdings[0].quantity\" is given twice");
    QTest::newRow("duplicate unknown key") << QByteArray(tradeBody("r")).replace(R"("code")", R"("x":1,"x":2,"code")")
                                           << true << QStringLiteral("\"x\" is given twice");
    QTest::newRow("two spellings of one field")
        << QByteArray(holdingBody("1", "n")).replace("sub_sector", "subSector").replace(R"("code":)", R"("sub_Sector":"B","code":)")
        << false << QStringLiteral("\"holdings[0].sub_sector\" is given twice");
    QTest::newRow("nested too deep") << QByteArray(600, '[') + QByteArray(600, ']') << false
                                     << QStringLiteral("deeper than 512");
}

void JsonReaderTest::refusalsSayWhy()
{
    QFETCH(QByteArray, body);
    QFETCH(bool, trade);
    QFETCH(QString, mentions);
    const QString description = refusal(body, trade);
    QVERIFY2(description.contains(mentions), qPrintable(description));
}

void JsonReaderTest::zeroHasNoSign_data()
{
    QTest::addColumn<QByteArray>("number");
    for (const char *number : {"0", "-0", "-0.0", "-0e0", "-0.000E+5", "0e-999"})
        QTest::newRow(number) << QByteArray(number);
}

void JsonReaderTest::zeroHasNoSign()
{
    QFETCH(QByteArray, number);
    const auto decoded = decodeJSON<StockPriceResponse>("{\"price\":" + number + "}");
    QVERIFY(decoded);
    QCOMPARE(decoded->price, 0.0);
    QVERIFY(!std::signbit(decoded->price));
    QCOMPARE(*encodeJSON(StockPriceResponse{-0.0, {}, {}, {}, {}}), QByteArray("{\"price\":0}"));
}

void JsonReaderTest::randomRecordsRoundTrip()
{
    // Texts drawn from the characters that have gone wrong before: U+FEFF anywhere, escapes around it,
    // controls, quotes, supplementary characters and noncharacters. From a fixed seed, so a failure repeats.
    static const char16_t pieces[] = {u'a', u'\n', u'"', u'\\', u'/', 0x01, 0x1F, 0x7F, 0xFEFF, 0xFEFF, 0xE9,
                                      0x540D, 0xFFFF, 0xFFFE, 0x2028};
    QRandomGenerator random(20261207);
    const auto text = [&random] {
        QString out;
        const int length = int(random.bounded(8));
        for (int i = 0; i < length; ++i) {
            if (random.bounded(8) == 0)
                out.append(QStringLiteral("\U0001F600"));
            else
                out.append(QChar(pieces[random.bounded(int(std::size(pieces)))]));
        }
        return out;
    };
    for (int round = 0; round < 2000; ++round) {
        const ServerHolding holding{text(), text(), text(), text(), text(),        text(),
                                    text(), -1.5,   0.0,    1e-7,   round * 0.25, text()};
        const PortfolioResponse sent{{holding}, {}};
        const QByteArray body = *encodeJSON(sent);
        const auto back = decodeJSON<PortfolioResponse>(body);
        QVERIFY2(back, body.constData());
        QVERIFY2(*back == sent, body.constData());
        QVERIFY(rewritten(body) == body);
    }
}

QTEST_GUILESS_MAIN(JsonReaderTest)
#include "tst_jsonreader.moc"
