// Reading another program's file into transactions: encodings found and decoded, the CSV grammar and its
// quirks, the mapping guessed from headers in every language, date and number formats told apart, and what
// the plan makes of each row, with the line it names when a row cannot be booked.

#include "core/TransactionIdentity.h"
#include "core/exchange/CsvReader.h"
#include "core/exchange/ExportColumns.h"
#include "core/exchange/ImportMapping.h"
#include "core/exchange/ImportPlan.h"
#include "core/exchange/TextDecoding.h"

#include <QTest>

#include <unicode/ucnv.h>

using namespace quillfern;
using namespace quillfern::exchange;
using namespace Qt::StringLiterals;

namespace {

QByteArray encode(const QString &text, const char *encoding)
{
    UErrorCode status = U_ZERO_ERROR;
    UConverter *converter = ucnv_open(encoding, &status);
    QByteArray bytes(int(text.size() * 4 + 8), '\0');
    const int32_t length =
        ucnv_fromUChars(converter, bytes.data(), int32_t(bytes.size()), reinterpret_cast<const UChar *>(text.utf16()),
                        int32_t(text.size()), &status);
    ucnv_close(converter);
    if (U_FAILURE(status))
        qFatal("cannot encode the sample as %s", encoding);
    bytes.truncate(length);
    return bytes;
}

QString describe(const CsvTable &table)
{
    QStringList records;
    for (const CsvRecord &record : table.records)
        records.append(QString::number(record.line) + u':' + record.fields.join(u'|'));
    if (table.problem)
        records.append(table.problem->key + u'@' + QString::number(table.problem->line));
    return records.join(u" / ");
}

QString describe(const ImportProblem &problem)
{
    return problem.key + u'@' + QString::number(problem.line) + u' ' + problem.args.join(u'|');
}

QString describe(const ImportRow &row)
{
    if (row.outcome == ImportRow::Outcome::Error)
        return describe(*row.problem);
    const TransactionCreateInput &in = row.input;
    QString text = in.transactionType + u' ' + in.market + u':' + in.code + u' ' + in.currency + u' ' + in.broker;
    if (in.quantity != 0)
        text += QStringLiteral(" q") + QString::number(in.quantity);
    if (in.price != 0)
        text += QStringLiteral(" p") + QString::number(in.price);
    if (in.commission != 0)
        text += QStringLiteral(" c") + QString::number(in.commission);
    if (in.amount)
        text += QStringLiteral(" a") + QString::number(*in.amount);
    if (in.settlesInCash == false)
        text += QStringLiteral(" nocash");
    if (in.splitRatio)
        text += QStringLiteral(" r") + QString::number(*in.splitRatio);
    if (row.outcome == ImportRow::Outcome::Duplicate)
        text += QStringLiteral(" (booked)");
    return text;
}

QString describe(const QMap<ImportField, int> &columns)
{
    QStringList parts;
    for (auto it = columns.cbegin(); it != columns.cend(); ++it)
        parts.append(importFieldName(it.key()) + u'=' + QString::number(it.value()));
    return parts.join(u' ');
}

CsvTable read(const QString &text)
{
    return readCsv(text, sniffDialect(text));
}

QString styleName(NumberStyle style)
{
    const QString grouping = style.grouping.isNull()  ? u"none"_s
                             : style.grouping == u' ' ? u"space"_s
                                                      : QString(style.grouping);
    return QString(style.decimal) + u'/' + grouping;
}

const QString planHeader =
    QStringLiteral("Date,Type,Code,Market,Quantity,Price,Commission,Currency,Amount,Broker,Ratio");

} // namespace

class ImportTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void encodings_data();
    void encodings();
    void decodeProblems_data();
    void decodeProblems();
    void csv_data();
    void csv();
    void dialect_data();
    void dialect();
    void guess_data();
    void guess();
    void formatsFitting_data();
    void formatsFitting();
    void plan_data();
    void plan();
    void unclassified();
    void tradesKeptApartFromCash_data();
    void tradesKeptApartFromCash();
    void mappingSurvivesJson();
    void progressCancels();
};

void ImportTest::encodings_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("icuName");
    QTest::addColumn<QByteArray>("bom");
    QTest::addColumn<QString>("expected");

    const QString ja =
        QStringLiteral("日付,種類,銘柄コード,数量,単価,メモ\n"
                       "2024/01/05,買付,7203,100,2500,トヨタ自動車の株式を長期保有のために購入しました\n"
                       "2024/02/13,売付,6758,50,13000,ソニーグループの株式を一部売却して利益を確定しました\n"
                       "2024/03/28,配当,8306,,,三菱ＵＦＪフィナンシャル・グループから配当金を受け取りました\n");
    const QString hans = QStringLiteral("日期,类型,代码,数量,价格,备注\n"
                                        "2024-01-05,买入,600519,100,1700.5,贵州茅台长期持有，看好白酒行业的发展前景\n"
                                        "2024-02-13,卖出,000858,200,150.2,五粮液部分卖出，锁定收益并调整仓位结构\n"
                                        "2024-03-28,股息,601318,,,中国平安发放现金红利，已经到账\n");
    const QString hant = QStringLiteral("日期,類型,代碼,數量,價格,備註\n"
                                        "2024/01/05,買進,2330,1000,580,台積電長期持有，看好半導體產業的發展前景\n"
                                        "2024/02/13,賣出,2317,2000,105,鴻海部分賣出，鎖定獲利並調整持股結構\n"
                                        "2024/03/28,股利,2412,,,中華電信發放現金股利，已經入帳\n");
    const QString ko =
        QStringLiteral("날짜,유형,종목코드,수량,가격,메모\n"
                       "2024-01-05,매수,005930,10,71000,삼성전자 주식을 장기 보유하기 위해 매수했습니다\n"
                       "2024-02-13,매도,000660,5,135000,에스케이하이닉스 주식 일부를 매도하여 수익을 확정했습니다\n"
                       "2024-03-28,배당,035420,,,네이버에서 배당금을 받았습니다\n");
    // A broker's file: mostly figures, a few words again and again.
    QString terse = QStringLiteral("約定日,取引,銘柄コード,市場,約定数量,約定単価,メモ\n");
    for (int i = 0; i < 300; ++i) {
        terse += QStringLiteral("2015/01/%1,%2,%3,%4,%5,\"%6.5\",%7\n")
                     .arg(i % 28 + 1)
                     .arg(i % 3 ? u"現物買付"_s : u"現物売付"_s)
                     .arg(7203 + i % 9)
                     .arg(i % 4 ? u"東証"_s : u"US"_s)
                     .arg(100 * (i % 7 + 1))
                     .arg(1000 + i * 37)
                     .arg(i % 5 ? QString() : u"NISA口座で購入"_s);
    }
    const QByteArray none;
    QTest::newRow("UTF-8") << ja << QByteArray("UTF-8") << none << "UTF-8";
    QTest::newRow("UTF-8 with BOM") << hans << QByteArray("UTF-8") << QByteArray("\xEF\xBB\xBF") << "UTF-8";
    QTest::newRow("UTF-16LE with BOM") << ko << QByteArray("UTF-16LE") << QByteArray("\xFF\xFE") << "UTF-16LE";
    QTest::newRow("UTF-16BE with BOM") << hant << QByteArray("UTF-16BE") << QByteArray("\xFE\xFF") << "UTF-16BE";
    QTest::newRow("Shift_JIS") << ja << QByteArray("windows-31j") << none << "Shift_JIS";
    QTest::newRow("Shift_JIS, few distinct words") << terse << QByteArray("windows-31j") << none << "Shift_JIS";
    QTest::newRow("GB18030") << hans << QByteArray("GB18030") << none << "GB18030";
    QTest::newRow("Big5") << hant << QByteArray("windows-950") << none << "Big5";
    QTest::newRow("EUC-KR") << ko << QByteArray("windows-949") << none << "EUC-KR";
    QTest::newRow("Western page") << QStringLiteral("Date,Code,Note\n2024-01-05,GLE,Société Générale à 35 €\n")
                                  << QByteArray("windows-1252") << none << "windows-1252";
    QTest::newRow("ASCII is UTF-8") << QStringLiteral("Date,Code\n2024-01-05,AAPL\n") << QByteArray("UTF-8") << none
                                    << "UTF-8";
}

void ImportTest::encodings()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, icuName);
    QFETCH(QByteArray, bom);
    QFETCH(QString, expected);

    const QByteArray bytes = bom + encode(text, icuName.constData());
    const DetectedEncoding detected = detectEncoding(bytes);
    QCOMPARE(detected.name, expected);
    QCOMPARE(detected.bom, !bom.isEmpty());
    QVERIFY(offeredEncodings().contains(detected.name));
    const DecodedText decoded = decodeText(bytes, detected.name);
    QVERIFY2(!decoded.problem, qPrintable(decoded.problem ? describe(*decoded.problem) : QString()));
    QCOMPARE(decoded.text, text);
}

void ImportTest::decodeProblems_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("encoding");
    QTest::addColumn<QString>("expected");

    QTest::newRow("empty") << QByteArray() << "UTF-8"
                           << "importEmptyFile@0 ";
    QTest::newRow("only a byte order mark") << QByteArray("\xEF\xBB\xBF") << "UTF-8"
                                            << "importEmptyFile@0 ";
    QTest::newRow("only blank lines") << QByteArray(" \r\n\n") << "UTF-8"
                                      << "importEmptyFile@0 ";
    QTest::newRow("NUL on line 3") << QByteArray("a,b\r\nc,d\r\n\x89PNG\0\0", 16) << "windows-1252"
                                   << "importBinaryFile@3 3";
    QTest::newRow("NUL in UTF-16 text") << QByteArray("a\0\n\0\0\0", 6) << "UTF-16LE"
                                        << "importBinaryFile@2 2";
    QTest::newRow("control characters") << QByteArray("x\n") + QByteArray(40, '\x01') << "UTF-8"
                                        << "importBinaryFile@2 2";
    QTest::newRow("not UTF-8 on line 2") << QByteArray("Date\n2024\xFF-01\n") << "UTF-8"
                                         << "importUndecodable@2 2|UTF-8";
    QTest::newRow("cut-off Shift_JIS") << QByteArray("a\n\x82") << "Shift_JIS"
                                       << "importUndecodable@2 2|Shift_JIS";
    QTest::newRow("unknown encoding") << QByteArray("a") << "no-such-code"
                                      << "importUnknownEncoding@0 no-such-code";
}

void ImportTest::decodeProblems()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, encoding);
    QFETCH(QString, expected);

    const DecodedText decoded = decodeText(bytes, encoding);
    QVERIFY(decoded.problem);
    QCOMPARE(describe(*decoded.problem), expected);
}

void ImportTest::csv_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    QTest::newRow("plain, no final break") << "a,b\nc,d"
                                           << "1:a|b / 2:c|d";
    QTest::newRow("CRLF and CR") << "a,b\r\nc,d\re,f\r\n"
                                 << "1:a|b / 2:c|d / 3:e|f";
    QTest::newRow("blank lines skipped") << "a\n\n\r\nb\n"
                                         << "1:a / 4:b";
    QTest::newRow("empty fields kept") << "a,,\n,\n"
                                       << "1:a|| / 2:|";
    QTest::newRow("quoted delimiter and doubled quote") << "\"a,b\",\"say \"\"hi\"\"\"\n"
                                                        << "1:a,b|say \"hi\"";
    QTest::newRow("line breaks inside quotes") << "\"x\r\ny\",z\n\"p\nq\nr\"\nend"
                                               << "1:x\r\ny|z / 3:p\nq\nr / 6:end";
    QTest::newRow("empty quoted field") << "\"\",a\n"
                                        << "1:|a";
    QTest::newRow("blanks before an opening quote") << "a, \"b,c\"\n"
                                                    << "1:a|b,c";
    QTest::newRow("text after the closing quote") << "\"ab\"c,d\n"
                                                  << "1:abc|d";
    QTest::newRow("quote inside a bare field") << "5\" pipe,x\n"
                                               << "1:5\" pipe|x";
    QTest::newRow("unterminated quote") << "a,b\nc,\"d\ne\nf\n"
                                        << "1:a|b / importUnterminatedQuote@2";
}

void ImportTest::csv()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(describe(readCsv(text, CsvDialect{})), expected);
}

void ImportTest::dialect_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QChar>("delimiter");
    QTest::addColumn<QChar>("quote");

    QTest::newRow("comma") << "Date,Code,Qty\n2024-01-05,AAPL,3\n" << QChar(u',') << QChar(u'"');
    QTest::newRow("semicolon with decimal commas") << "Datum;Code;Kurs\n05.01.2024;SAP;1,5\n06.01.2024;SAP;2,25\n"
                                                   << QChar(u';') << QChar(u'"');
    QTest::newRow("tab") << "Date\tNote\n2024-01-05\tbought, finally\n" << QChar(u'\t') << QChar(u'"');
    QTest::newRow("bar") << "a|b|c\n1|2|3\n" << QChar(u'|') << QChar(u'"');
    QTest::newRow("junk line before") << "Report for: Tanaka; all accounts\nA,B,C\n1,2,3\n4,5,6\n" << QChar(u',') << QChar(u'"');
    QTest::newRow("delimiters in quotes do not count") << "\"a;b;c\",d\n\"e;f;g\",h\n" << QChar(u',') << QChar(u'"');
    QTest::newRow("apostrophes quote") << "'Date','Note'\n'2024-01-05','Tanaka''s'\n" << QChar(u',') << QChar(u'\'');
    QTest::newRow("an apostrophe in a word") << "Date,Note\n2024-01-05,'til then\n" << QChar(u',') << QChar(u'"');
}

void ImportTest::dialect()
{
    QFETCH(QString, text);
    QFETCH(QChar, delimiter);
    QFETCH(QChar, quote);
    QCOMPARE(sniffDialect(text), (CsvDialect{delimiter, quote}));
}

void ImportTest::guess_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("columns");
    QTest::addColumn<int>("skipLines");
    QTest::addColumn<QString>("dateFormat");
    QTest::addColumn<QString>("numbers");
    QTest::addColumn<QString>("types");

    QTest::newRow("English broker") << "Trade Date,Settlement Date,Action,Symbol,Quantity,Price,Fees,Currency\n"
                                       "03/15/2024,03/18/2024,Bought,AAPL,10,\"1,234.50\",1,USD\n"
                                       "04/02/2024,04/04/2024,Sold,AAPL,5,200,1,USD\n"
                                    << "date=0 type=2 code=3 quantity=4 price=5 commission=6 currency=7" << 0
                                    << "MM/dd/yyyy"
                                    << "./,"
                                    << "bought=BUY sold=SELL";
    QTest::newRow("Simplified Chinese") << "成交日期,证券代码,买卖方向,成交数量,成交价格,手续费,备注\n"
                                           "20240105,600519,证券买入,100,1700.5,5,\n"
                                           "20240213,600519,证券卖出,100,1800,5,\n"
                                        << "date=0 type=2 code=1 quantity=3 price=4 commission=5 note=6" << 0
                                        << "yyyyMMdd"
                                        << "./,"
                                        << "证券买入=BUY 证券卖出=SELL";
    QTest::newRow("Traditional Chinese") << "日期,股票代號,買賣別,成交數量,成交價格,幣別\n"
                                            "2024/01/05,2330,買進,1000,580,TWD\n"
                                            "2024/03/28,2412,股利,,,TWD\n"
                                         << "date=0 type=2 code=1 quantity=3 price=4 currency=5" << 0 << "yyyy/MM/dd"
                                         << "./,"
                                         << "股利=DIVIDEND 買進=BUY";
    QTest::newRow("Japanese, junk lines first")
        << "口座番号,1234567\n出力日,2024年4月1日\n\n"
           "約定日,銘柄コード,取引,約定数量,約定単価,手数料,受渡金額\n"
           "2024年1月5日,7203,現物買付,100,\"2,500\",0,\"250,000\"\n"
           "2024年2月13日,7203,現物売付,100,\"2,800\",0,\"280,000\"\n"
        << "date=0 type=2 code=1 quantity=3 price=4 commission=5 amount=6" << 2 << "yyyy年M月d日"
        << "./,"
        << "現物売付=SELL 現物買付=BUY";
    QTest::newRow("Korean") << "거래일자,종목코드,매매구분,수량,단가,수수료,통화\n"
                               "2024.01.05,005930,매수,10,71000,150,KRW\n"
                               "2024.02.13,005930,매도,5,\"73,500\",150,KRW\n"
                            << "date=0 type=2 code=1 quantity=3 price=4 commission=5 currency=6" << 0 << "yyyy.MM.dd"
                            << "./,"
                            << "매도=SELL 매수=BUY";
    const QString ownColumns = u"date=0 type=1 code=2 market=3 quantity=4 price=5 commission=6 currency=7 amount=8 "
                               "broker=9 note=10 sector=11 subSector=12 splitRatio=13"_s;
    for (const auto &[name, language] : {std::pair{"exported ledger, en", ExportLanguage::English},
                                         std::pair{"exported ledger, zh-Hans", ExportLanguage::SimplifiedChinese},
                                         std::pair{"exported ledger, zh-Hant", ExportLanguage::TraditionalChinese},
                                         std::pair{"exported ledger, ja", ExportLanguage::Japanese},
                                         std::pair{"exported ledger, ko", ExportLanguage::Korean}}) {
        QTest::newRow(name) << ledgerExportHeaders(language, u"JPY"_s).join(u',') +
                                   u"\n2024-01-05,BUY,AAPL,US,10,150.5,1,USD,,IBKR,,45,45202030,,,1500,\n"_s
                            << ownColumns << 0 << "yyyy-MM-dd"
                            << "./,"
                            << "buy=BUY";
    }
    QTest::newRow("decimal commas") << "Date;Type;Code;Quantity;Price\n"
                                       "05.01.2024;Buy;SAP;10;\"1.234,50\"\n"
                                       "31.01.2024;Sell;SAP;4;125,5\n"
                                    << "date=0 type=1 code=2 quantity=3 price=4" << 0 << "dd.MM.yyyy"
                                    << ",/."
                                    << "buy=BUY sell=SELL";
    QTest::newRow("no header: columns by their values") << "2024-01-05,AAPL,Buy,10,150\n"
                                                           "2024-02-05,MSFT,Sell,5,300\n"
                                                        << "date=0 type=2" << 0 << "yyyy-MM-dd"
                                                        << "./,"
                                                        << "buy=BUY sell=SELL";
}

void ImportTest::guess()
{
    QFETCH(QString, text);
    QFETCH(QString, columns);
    QFETCH(int, skipLines);
    QFETCH(QString, dateFormat);
    QFETCH(QString, numbers);
    QFETCH(QString, types);

    const CsvTable table = read(text);
    const ImportMapping mapping = guessMapping(table, QStringLiteral("UTF-8"), sniffDialect(text));
    QCOMPARE(describe(mapping.columns), columns);
    QCOMPARE(mapping.skipLines, skipLines);
    QCOMPARE(mapping.dateFormat, dateFormat);
    QCOMPARE(styleName(mapping.numbers), numbers);
    QStringList typeValues;
    for (auto it = mapping.typeValues.cbegin(); it != mapping.typeValues.cend(); ++it)
        typeValues.append(it.key() + u'=' + it.value());
    QCOMPARE(typeValues.join(u' '), types);
}

void ImportTest::formatsFitting_data()
{
    QTest::addColumn<QStringList>("values");
    QTest::addColumn<QStringList>("dates");
    QTest::addColumn<QString>("numbers");

    QTest::newRow("a day past 12 decides day first")
        << QStringList{u"03/04/2024"_s, u"25/04/2024"_s} << QStringList{u"dd/MM/yyyy"_s} << "";
    QTest::newRow("days up to 12 leave both")
        << QStringList{u"03/04/2024"_s, u"1/12/2024"_s} << QStringList{u"MM/dd/yyyy"_s, u"dd/MM/yyyy"_s} << "";
    QTest::newRow("times after the date are ignored")
        << QStringList{u"2024-01-05 09:30:00"_s, u"2024-01-06T10:00"_s} << QStringList{u"yyyy-MM-dd"_s} << "";
    QTest::newRow("no such day") << QStringList{u"2024-02-30"_s} << QStringList{} << "";
    QTest::newRow("month names") << QStringList{u"05 Jan 2024"_s, u"17 Sept 2024"_s} << QStringList{u"dd MMM yyyy"_s}
                                 << "";
    QTest::newRow("dot decimals, comma groups")
        << QStringList{u"1,234.5"_s, u"-12"_s, u"(3.25)"_s} << QStringList{} << "./,";
    QTest::newRow("comma decimals") << QStringList{u"1.234,56"_s, u"0,5"_s} << QStringList{} << ",/.";
    QTest::newRow("space groups") << QStringList{u"1 234,5"_s, u"12\u00A0345"_s} << QStringList{} << ",/space";
    QTest::newRow("money marks") << QStringList{u"$1,200.00"_s, u"HK$ 35.5"_s, u"¥1,000"_s, u"-$3"_s} << QStringList{}
                                 << "./,";
    QTest::newRow("bad grouping fits nothing") << QStringList{u"1,2345"_s, u"1.2.3"_s} << QStringList{} << "";
}

void ImportTest::formatsFitting()
{
    QFETCH(QStringList, values);
    QFETCH(QStringList, dates);
    QFETCH(QString, numbers);

    QCOMPARE(dateFormatsFitting(values), dates);
    QStringList styles;
    for (const NumberStyle &style : numberStylesFitting(values))
        styles.append(styleName(style));
    QCOMPARE(styles.join(u' '), numbers);
}

void ImportTest::plan_data()
{
    QTest::addColumn<QString>("header");
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("dateFormat");
    QTest::addColumn<QString>("expected");

    const QString ymd = QStringLiteral("yyyy-MM-dd");
    const auto row = [&](const char *name, const QString &body, const QString &expected,
                         const QString &format = QStringLiteral("yyyy-MM-dd")) {
        QTest::newRow(name) << planHeader << body << format << expected;
    };
    row("buy", u"2024-03-01,Buy,AAPL,NASDAQ,10,150.5,1,usd,,IBKR,"_s, u"BUY US:AAPL USD IBKR q10 p150.5 c1"_s);
    row("a negative buy is a sale", u"2024-03-01,Buy,AAPL,US,-10,150.5,,USD,,IBKR,"_s,
        u"SELL US:AAPL USD IBKR q10 p150.5"_s);
    row("a sale written negative", u"2024-03-01,Sell,AAPL,US,-10,150.5,-1,USD,,IBKR,"_s,
        u"SELL US:AAPL USD IBKR q10 p150.5 c1"_s);
    row("dividend", u"2024-03-01,Dividend,AAPL,US,,,,USD,12.5,IBKR,"_s, u"DIVIDEND US:AAPL USD IBKR a12.5"_s);
    row("a negative deposit is a withdrawal", u"2024-03-01,Deposit,,,,,,USD,-500,IBKR,"_s,
        u"WITHDRAWAL : USD IBKR a500"_s);
    row("a fee written negative", u"2024-03-01,Fee,,,,,,USD,-3,IBKR,"_s, u"FEE : USD IBKR a3"_s);
    row("split", u"2024-03-01,Split,NVDA,US,,,,,,,10"_s, u"SPLIT US:NVDA   r10"_s);
    row("currency from the market", u"2024-03-01,Buy,700,HKEX,100,300,,,,Futu,"_s, u"BUY HK:700 HKD Futu q100 p300"_s);
    row("market from the currency", u"2024-03-01,Buy,7203,,100,2500,,JPY,,SBI,"_s, u"BUY JP:7203 JPY SBI q100 p2500"_s);
    row("already booked", u"2024-05-02,Buy,MSFT,US,3,400,,USD,,IBKR,"_s, u"BUY US:MSFT USD IBKR q3 p400 (booked)"_s);
    row("trailing empty cells", u"2024-03-01,Buy,AAPL,US,1,2,,USD,,IBKR,,,"_s, u"BUY US:AAPL USD IBKR q1 p2"_s);
    row("date that does not exist", u"31/02/2024,Buy,AAPL,US,1,2,,USD,,IBKR,"_s,
        u"importBadDate@2 2|31/02/2024|dd/MM/yyyy"_s, u"dd/MM/yyyy"_s);
    row("date in another format", u"2024/03/01,Buy,AAPL,US,1,2,,USD,,IBKR,"_s,
        u"importBadDate@2 2|2024/03/01|yyyy-MM-dd"_s);
    row("no date", u",Buy,AAPL,US,1,2,,USD,,IBKR,"_s, u"importMissingDate@2 2"_s);
    row("number in another locale", u"2024-03-01,Buy,AAPL,US,1,\"1.234,56\",,USD,,IBKR,"_s,
        u"importBadNumber@2 2|1.234,56|Price"_s);
    row("type with no mapping", u"2024-03-01,Reinvest,AAPL,US,1,2,,USD,,IBKR,"_s, u"importUnmappedType@2 2|Reinvest"_s);
    row("no code for a buy", u"2024-03-01,Buy,,US,1,2,,USD,,IBKR,"_s, u"importMissingCode@2 2|Buy"_s);
    row("no code for a transfer", u"2024-03-01,Transfer Out,,US,1,,,USD,,IBKR,"_s,
        u"importMissingCode@2 2|Transfer Out"_s);
    row("no quantity", u"2024-03-01,Sell,AAPL,US,,2,,USD,,IBKR,"_s, u"importMissingQuantity@2 2|Sell"_s);
    row("zero price", u"2024-03-01,Buy,AAPL,US,1,0,,USD,,IBKR,"_s, u"importPriceNotPositive@2 2|0"_s);
    row("no amount", u"2024-03-01,Interest,,,,,,USD,,IBKR,"_s, u"importMissingAmount@2 2|Interest"_s);
    row("negative dividend", u"2024-03-01,Dividend,AAPL,US,,,,USD,-4,IBKR,"_s,
        u"importNegativeAmount@2 2|-4|Dividend"_s);
    row("no broker", u"2024-03-01,Buy,AAPL,US,1,2,,USD,,,"_s, u"importMissingBroker@2 2"_s);
    row("split without ratio", u"2024-03-01,Split,NVDA,US,,,,,,,"_s, u"importMissingSplitRatio@2 2"_s);
    row("fewer values", u"2024-03-01,Buy,AAPL"_s, u"importRowTooShort@2 2|3|11"_s);
    row("more values", u"2024-03-01,Buy,AAPL,US,1,2,,USD,,IBKR,,oops"_s, u"importRowTooLong@2 2|12|11"_s);
    row("lines counted across quoted breaks",
        u"2024-03-01,Buy,AAPL,US,1,2,,USD,,\"Interactive\nBrokers\",\n2024-13-01,Buy,AAPL,US,1,2,,USD,,IBKR,"_s,
        u"BUY US:AAPL USD Interactive\nBrokers q1 p2; importBadDate@4 4|2024-13-01|yyyy-MM-dd"_s);
    QTest::newRow("no type column: the sign decides")
        << u"Date,Code,Market,Quantity,Price,Currency,Broker"_s
        << u"2024-03-01,AAPL,US,-5,10,USD,IBKR\n"
           "2024-03-02,AAPL,US,5,10,USD,IBKR"_s
        << ymd << u"SELL US:AAPL USD IBKR q5 p10; BUY US:AAPL USD IBKR q5 p10"_s;
    QTest::newRow("header only") << planHeader << QString() << ymd << u"importNoRows@0 "_s;
}

void ImportTest::plan()
{
    QFETCH(QString, header);
    QFETCH(QString, body);
    QFETCH(QString, dateFormat);
    QFETCH(QString, expected);

    const QString text = header + u'\n' + body;
    const CsvTable table = read(text);
    ImportMapping mapping = guessMapping(table, QStringLiteral("UTF-8"), CsvDialect{});
    mapping.dateFormat = dateFormat;
    mapping.numbers = {u'.', u','};

    TransactionCreateInput bookedBuy;
    bookedBuy.transactionType = QStringLiteral("BUY");
    bookedBuy.code = QStringLiteral("msft");
    bookedBuy.broker = QStringLiteral(" ibkr");
    bookedBuy.quantity = 3;
    bookedBuy.price = 400;
    bookedBuy.tradedAt = QStringLiteral("2024-05-02T15:30:00Z");
    const ImportPlan plan = planImport(table, mapping, {duplicateKey(bookedBuy)});

    QStringList rows;
    for (const ImportRow &row : plan.rows)
        rows.append(describe(row));
    if (plan.problem)
        rows.append(describe(*plan.problem));
    QCOMPARE(rows.join(u"; "), expected);
    const auto count = [&](ImportRow::Outcome outcome) {
        return int(std::count_if(plan.rows.cbegin(), plan.rows.cend(),
                                 [&](const ImportRow &row) { return row.outcome == outcome; }));
    };
    QCOMPARE(plan.ok, count(ImportRow::Outcome::Ok));
    QCOMPARE(plan.duplicates, count(ImportRow::Outcome::Duplicate));
    QCOMPARE(plan.errors, count(ImportRow::Outcome::Error));
    for (const ImportRow &row : plan.rows) {
        if (row.outcome != ImportRow::Outcome::Error)
            QVERIFY(row.input.tradedAt.endsWith(u"T12:00:00Z"));
    }
}

void ImportTest::unclassified()
{
    const QString text = QStringLiteral("Date,Type,Code,Market,Quantity,Price,Currency,Broker,Sector,Sub-industry\n"
                                        "2024-01-01,Buy,aapl,US,1,2,USD,IBKR,,\n"
                                        "2024-01-02,Buy,AAPL,US,1,2,USD,IBKR,,\n"
                                        "2024-01-03,Buy,MSFT,US,1,2,USD,IBKR,,\n"
                                        "2024-01-04,Transfer In,NVDA,US,1,2,USD,IBKR,45,45301020\n"
                                        "2024-01-05,Transfer In,700,HK,1,2,HKD,Futu,,\n"
                                        "2024-01-06,Sell,9988,HK,1,2,HKD,Futu,,\n"
                                        "2024-01-07,Buy,TSLA,US,1,0,USD,IBKR,,\n");
    const CsvTable table = read(text);
    const ImportPlan plan = planImport(table, guessMapping(table, QStringLiteral("UTF-8"), CsvDialect{}), {});
    // MSFT is held already, NVDA is classified by its row, the sale opens nothing and TSLA's row is an error.
    QCOMPARE(unclassifiedCodes(plan, {QStringLiteral("US:MSFT")}), (QStringList{u"US:AAPL"_s, u"HK:700"_s}));
}

// A file of trades alone keeps them apart from the brokerage's cash when asked; other types still move it.
void ImportTest::tradesKeptApartFromCash_data()
{
    QTest::addColumn<bool>("settle");
    QTest::addColumn<QString>("expected");
    QTest::newRow("settled") << true << u"BUY US:AAPL USD IBKR q1 p2; DIVIDEND US:AAPL USD IBKR a3"_s;
    QTest::newRow("kept apart") << false << u"BUY US:AAPL USD IBKR q1 p2 nocash; DIVIDEND US:AAPL USD IBKR a3"_s;
}

void ImportTest::tradesKeptApartFromCash()
{
    QFETCH(bool, settle);
    QFETCH(QString, expected);
    const CsvTable table = read(planHeader + u"\n2024-03-01,Buy,AAPL,US,1,2,,USD,,IBKR,\n"
                                             "2024-03-02,Dividend,AAPL,US,,,,USD,3,IBKR,"_s);
    ImportMapping mapping = guessMapping(table, QStringLiteral("UTF-8"), CsvDialect{});
    mapping.tradesSettleInCash = settle;
    QStringList rows;
    for (const ImportRow &row : planImport(table, mapping, {}).rows)
        rows.append(describe(row));
    QCOMPARE(rows.join(u"; "), expected);
}

void ImportTest::mappingSurvivesJson()
{
    const QString text = QStringLiteral("x\nDate;Typ;Code;Qty;Price\n05.01.2024;Kauf;SAP;1;2,5\n");
    ImportMapping mapping = guessMapping(read(text), QStringLiteral("windows-1252"), sniffDialect(text));
    mapping.typeValues.insert(QStringLiteral("kauf"), QStringLiteral("BUY"));
    mapping.defaultBroker = QStringLiteral("Comdirect");
    mapping.defaultType = QStringLiteral("BUY");
    mapping.tradesSettleInCash = false;
    const auto again = ImportMapping::fromJson(mapping.toJson());
    QVERIFY(again);
    QCOMPARE(*again, mapping);

    for (const char *broken : {"", "[]", "{\"version\":2}", "not json"})
        QVERIFY2(!ImportMapping::fromJson(broken), broken);
    QByteArray unknownType = mapping.toJson();
    unknownType.replace("\"BUY\"", "\"BARTER\"");
    QVERIFY(!ImportMapping::fromJson(unknownType));
}

// Large work stops when asked: each stage reports progress and gives up on false.
void ImportTest::progressCancels()
{
    QString text = planHeader + u'\n';
    for (int i = 0; i < 30000; ++i)
        text += QStringLiteral("2024-03-01,Buy,AAPL,US,1,2,,USD,,IBKR,\n");
    const auto stop = [](qint64, qint64) { return false; };
    const auto go = [](qint64 done, qint64 total) { return done <= total; };

    const QByteArray bytes = text.toUtf8();
    QVERIFY(decodeText(bytes, QStringLiteral("UTF-8"), stop).cancelled);
    QCOMPARE(decodeText(bytes, QStringLiteral("UTF-8"), go).text, text);
    QVERIFY(readCsv(text, {}, stop).cancelled);
    const CsvTable table = readCsv(text, {}, go);
    QVERIFY(!table.cancelled);
    QCOMPARE(table.records.size(), 30001);
    const ImportMapping mapping = guessMapping(table, QStringLiteral("UTF-8"), {});
    QVERIFY(planImport(table, mapping, {}, stop).cancelled);
    QCOMPARE(planImport(table, mapping, {}, go).ok, 30000);
    QCOMPARE(checkImportSize(kMaxImportBytes + 1)->key, QStringLiteral("importFileTooLarge"));
    QCOMPARE(checkImportSize(kMaxImportBytes + 1)->args, (QStringList{u"101"_s, u"100"_s}));
    QVERIFY(!checkImportSize(kMaxImportBytes));
}

QTEST_GUILESS_MAIN(ImportTest)
#include "tst_import.moc"
