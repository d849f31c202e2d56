// Writing the holdings, cash and ledger out: CSV quoting and numbers, the figures in a reporting currency,
// the ledger's columns, a workbook read back from its zip, and failures of the disk.

#include "core/TransactionIdentity.h"
#include "core/exchange/CsvReader.h"
#include "core/exchange/CsvWriter.h"
#include "core/exchange/ExportJob.h"
#include "core/exchange/ImportPlan.h"
#include "core/exchange/TextDecoding.h"
#include "core/exchange/XlsxWorkbook.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

using namespace quillfern;
using namespace quillfern::exchange;
using namespace Qt::StringLiterals;

namespace {

CurrencyOption currency(const char *code, double fxToUsd)
{
    return CurrencyOption{QString::fromLatin1(code), {}, {}, {}, fxToUsd};
}

TransactionRecord transaction(const char *type, const char *tradedAt, const char *currencyCode)
{
    TransactionRecord r;
    r.id = QString::fromLatin1(tradedAt);
    r.broker = QStringLiteral("Futu");
    r.market = QStringLiteral("US");
    r.code = QStringLiteral("AAPL");
    r.transactionType = QString::fromLatin1(type);
    r.currency = QString::fromLatin1(currencyCode);
    r.tradedAt = QString::fromLatin1(tradedAt);
    return r;
}

// A small account valued in yen: one US holding, one Hong Kong dollar balance, a buy, a sale with its
// gain, a dividend and a split, listed newest first as the service lists them.
ExportSource account(const QString &language = QStringLiteral("en-US"))
{
    ExportSource source;
    source.holdings = {AssetRow{QStringLiteral("1"), QStringLiteral("US"), QStringLiteral("Information Technology"),
                                QStringLiteral("Semiconductors"), QStringLiteral("NVDA"), QStringLiteral("IBKR"), 10,
                                100, 150}};
    source.cashRows = {CashRow{QStringLiteral("c1"), QStringLiteral("Futu"), 1000, QStringLiteral("HKD"), 0.128},
                       CashRow{QStringLiteral("c2"), QStringLiteral("IBKR"), 372, QStringLiteral("USD"), 1.0}};
    source.rates = {currency("USD", 1), currency("JPY", 0.0067), currency("HKD", 0.128)};
    source.reporting = currency("JPY", 0.0067);
    source.languageCode = language;

    TransactionRecord buy = transaction("BUY", "2026-03-05T23:30:00-05:00", "USD"); // a UTC day later
    buy.quantity = 10;
    buy.price = 100.25;
    buy.commission = 1.5;
    buy.reason = QStringLiteral("Bought, on \"dip\"\nsecond line");
    TransactionRecord sell = transaction("SELL", "2026-04-01T10:00:00Z", "USD");
    sell.quantity = 4;
    sell.price = 120;
    sell.realizedGain = 50;
    sell.realizedGainUsd = 50;
    TransactionRecord dividend = transaction("DIVIDEND", "2026-05-02T12:00:00Z", "HKD");
    dividend.amount = 20;
    TransactionRecord split = transaction("SPLIT", "2026-06-01T12:00:00Z", "");
    split.splitRatio = 4;
    source.transactions = {split, dividend, sell, buy};
    return source;
}

QString cellText(const ExportTable &table, int row, int column)
{
    return csvText(table.rows.at(row).at(column));
}

QByteArray unzipped(const QString &archive, const QString &member)
{
    QProcess unzip;
    unzip.start(QStringLiteral("unzip"), {QStringLiteral("-p"), archive, member});
    if (!unzip.waitForFinished(20000) || unzip.exitCode() != 0)
        return {};
    return unzip.readAllStandardOutput();
}

} // namespace

class ExportTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void csvField_data();
    void csvField();
    void plainNumber_data();
    void plainNumber();
    void figuresInReportingCurrency_data();
    void figuresInReportingCurrency();
    void ledgerFileReadsBackColumnByColumn();
    void headersSpeakTheLanguage_data();
    void headersSpeakTheLanguage();
    void exportedLedgerImportsAsTheSameBookings_data();
    void exportedLedgerImportsAsTheSameBookings();
    void workbookHoldsSheetsTextNumbersAndDates();
    void failuresNameTheirKind_data();
    void failuresNameTheirKind();
    void csvExportNeverReplacesAFile();
};

void ExportTest::csvField_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("field");
    QTest::newRow("plain") << u"AAPL"_s << u"AAPL"_s;
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("delimiter") << u"Futu, HK"_s << u"\"Futu, HK\""_s;
    QTest::newRow("quote") << u"6\" board"_s << u"\"6\"\" board\""_s;
    QTest::newRow("only a quote") << u"\""_s << u"\"\"\"\""_s;
    QTest::newRow("line feed") << u"one\ntwo"_s << u"\"one\ntwo\""_s;
    QTest::newRow("carriage return") << u"one\r\ntwo"_s << u"\"one\r\ntwo\""_s;
    QTest::newRow("leading blank") << u" kept"_s << u"\" kept\""_s;
    QTest::newRow("semicolon is no delimiter") << u"a;b"_s << u"a;b"_s;
    QTest::newRow("CJK") << u"買付、東証"_s << u"買付、東証"_s;
    QTest::newRow("formula") << u"=HYPERLINK(\"x\")"_s << u"\"'=HYPERLINK(\"\"x\"\")\""_s;
    QTest::newRow("plus, minus, at") << u"-1 lot +@"_s << u"'-1 lot +@"_s;
    QTest::newRow("at sign") << u"@SUM(1)"_s << u"'@SUM(1)"_s;
    QTest::newRow("a formula sign within") << u"a=b"_s << u"a=b"_s;
}

void ExportTest::csvField()
{
    QFETCH(QString, text);
    QFETCH(QString, field);
    QCOMPARE(exchange::csvField(exchange::csvText(exchange::ExportCell{text, {}})), field);
}

void ExportTest::plainNumber_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("integer") << 1234567.0 << u"1234567"_s;
    QTest::newRow("fraction") << 1234.5 << u"1234.5"_s;
    QTest::newRow("negative") << -12.75 << u"-12.75"_s;
    QTest::newRow("negative zero") << -0.0 << u"0"_s;
    QTest::newRow("tiny, no exponent") << 1e-7 << u"0.0000001"_s;
    QTest::newRow("huge, no exponent") << 1e21 << u"1000000000000000000000"_s;
    QTest::newRow("shortest round trip") << 0.1 + 0.2 << u"0.30000000000000004"_s;
    QTest::newRow("not a number") << std::nan("") << QString();
}

void ExportTest::plainNumber()
{
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(exchange::plainNumber(value), text);
}

void ExportTest::figuresInReportingCurrency_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("text");
    const auto holding = int(ExportTableKind::Holdings);
    const auto cash = int(ExportTableKind::Cash);
    const auto ledger = int(ExportTableKind::Ledger);
    // 100 shares bought at 10 now at 150, in yen at 0.0067 dollars: 149,253.7 cost, 2,238,805.97 worth.
    QTest::newRow("holding cost, native") << holding << 0 << int(HoldingColumn::Cost) << u"1000"_s;
    QTest::newRow("holding value, native") << holding << 0 << int(HoldingColumn::MarketValue) << u"15000"_s;
    QTest::newRow("holding gain, native") << holding << 0 << int(HoldingColumn::Gain) << u"14000"_s;
    QTest::newRow("holding return") << holding << 0 << int(HoldingColumn::ReturnPercent) << u"1400"_s;
    QTest::newRow("holding cost, yen") << holding << 0 << int(HoldingColumn::CostInReporting) << u"149254"_s;
    QTest::newRow("holding value, yen") << holding << 0 << int(HoldingColumn::MarketValueInReporting)
                                        << u"2238806"_s;
    QTest::newRow("holding gain, yen") << holding << 0 << int(HoldingColumn::GainInReporting) << u"2089552"_s;
    QTest::newRow("holding weight") << holding << 0 << int(HoldingColumn::WeightPercent) << u"100"_s;
    // 1,000 HKD at its own rate 0.128 is 128 dollars of 500 in all.
    QTest::newRow("cash balance, native") << cash << 0 << int(CashColumn::Balance) << u"1000"_s;
    QTest::newRow("cash value, yen") << cash << 0 << int(CashColumn::ValueInReporting) << u"19104"_s;
    QTest::newRow("cash weight") << cash << 0 << int(CashColumn::WeightPercent) << u"25.6"_s;
    // Oldest first: the buy, the sale, the dividend, the split.
    QTest::newRow("buy's worth, yen") << ledger << 0 << int(LedgerColumn::ValueInReporting) << u"149627"_s;
    QTest::newRow("sale's gain, native") << ledger << 1 << int(LedgerColumn::RealizedGain) << u"50"_s;
    QTest::newRow("sale's gain, yen") << ledger << 1 << int(LedgerColumn::RealizedGainInReporting) << u"7463"_s;
    QTest::newRow("dividend, native") << ledger << 2 << int(LedgerColumn::Amount) << u"20"_s;
    QTest::newRow("dividend, yen") << ledger << 2 << int(LedgerColumn::ValueInReporting) << u"382"_s;
    QTest::newRow("split has no worth") << ledger << 3 << int(LedgerColumn::ValueInReporting) << QString();
}

void ExportTest::figuresInReportingCurrency()
{
    QFETCH(int, kind);
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(QString, text);
    const ExportTable table = exportTable(ExportTableKind(kind), account());
    QCOMPARE(cellText(table, row, column), text);
}

void ExportTest::ledgerFileReadsBackColumnByColumn()
{
    const ExportTable table = ledgerTable(account());
    const QByteArray bytes = csvBytes(table, CsvOptions{true, u','});
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
    QVERIFY(bytes.endsWith("\r\n"));
    const QString text = QString::fromUtf8(bytes.mid(3));
    QVERIFY(text.startsWith(ledgerExportHeaders(ExportLanguage::English, u"JPY"_s).join(u',') + u"\r\n"_s));

    // Every import field where the import expects it: the wire type, the UTC day, plain numbers, the note
    // quoted with its quotes doubled and its line break kept.
    const QStringList expected{u"2026-03-06"_s, u"BUY"_s,   u"AAPL"_s, u"US"_s, u"10"_s, u"100.25"_s,
                               u"1.5"_s,        u"USD"_s,   QString(),  u"Futu"_s,
                               u"Bought, on \"dip\"\nsecond line"_s, QString(), QString(), QString()};
    for (int column = 0; column < ledgerImportColumnCount; ++column)
        QCOMPARE(cellText(table, 0, column), expected.at(column));
    QVERIFY(text.contains(u"\"Bought, on \"\"dip\"\"\nsecond line\""_s));
    // A dividend carries an amount and no trade figures; a split carries its ratio.
    QCOMPARE(cellText(table, 2, int(LedgerColumn::Quantity)), QString());
    QCOMPARE(cellText(table, 3, int(LedgerColumn::SplitRatio)), u"4"_s);
    QCOMPARE(text.count(u"\r\n"_s), 1 + table.rows.size());
}

void ExportTest::headersSpeakTheLanguage_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("sheet");
    QTest::addColumn<QString>("dateTitle");
    QTest::addColumn<QString>("valueTitle");
    QTest::newRow("en-GB") << u"en-GB"_s << u"Transactions"_s << u"Date"_s << u"Value (JPY)"_s;
    QTest::newRow("zh-CN") << u"zh-CN"_s << u"交易记录"_s << u"日期"_s << u"折合金额（JPY）"_s;
    QTest::newRow("zh-TW") << u"zh-TW"_s << u"交易記錄"_s << u"日期"_s << u"折合金額（JPY）"_s;
    QTest::newRow("ja-JP") << u"ja-JP"_s << u"取引履歴"_s << u"日付"_s << u"換算額（JPY）"_s;
    QTest::newRow("ko-KR") << u"ko-KR"_s << u"거래 내역"_s << u"날짜"_s << u"환산 금액(JPY)"_s;
}

void ExportTest::headersSpeakTheLanguage()
{
    QFETCH(QString, language);
    QFETCH(QString, sheet);
    QFETCH(QString, dateTitle);
    QFETCH(QString, valueTitle);
    const ExportTable table = ledgerTable(account(language));
    QCOMPARE(table.name, sheet);
    QCOMPARE(table.columns.at(int(LedgerColumn::Date)).title, dateTitle);
    QCOMPARE(table.columns.at(int(LedgerColumn::ValueInReporting)).title, valueTitle);
    // What the importer is given to recognise is what the file says, and no two columns share a title.
    const QStringList imported = ledgerImportHeaderSets().at(int(exportLanguage(language)));
    QStringList written;
    for (const ExportColumn &column : table.columns)
        written.append(column.title);
    QCOMPARE(written.mid(0, ledgerImportColumnCount), imported);
    QCOMPARE(QSet<QString>(written.cbegin(), written.cend()).size(), written.size());
}

void ExportTest::exportedLedgerImportsAsTheSameBookings_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<bool>("byteOrderMark");
    QTest::newRow("en-US") << u"en-US"_s << false;
    QTest::newRow("zh-CN") << u"zh-CN"_s << true;
    QTest::newRow("zh-TW") << u"zh-TW"_s << true;
    QTest::newRow("ja-JP") << u"ja-JP"_s << true;
    QTest::newRow("ko-KR") << u"ko-KR"_s << false;
}

void ExportTest::exportedLedgerImportsAsTheSameBookings()
{
    QFETCH(QString, language);
    QFETCH(bool, byteOrderMark);
    const ExportSource source = account(language);
    const QByteArray bytes = csvBytes(ledgerTable(source), CsvOptions{byteOrderMark, u','});

    // The importer's own path: detect, decode, split, guess the columns, plan.
    const DetectedEncoding encoding = detectEncoding(bytes);
    const DecodedText decoded = decodeText(bytes, encoding.name);
    QVERIFY(!decoded.problem);
    const CsvDialect dialect = sniffDialect(decoded.text);
    const CsvTable table = readCsv(decoded.text, dialect);
    QVERIFY(!table.problem);
    const ImportMapping mapping = guessMapping(table, encoding.name, dialect);
    QVERIFY2(mapping.columns.size() == ledgerImportColumnCount, qPrintable(mapping.headers.join(u'|')));
    QSet<QString> booked;
    for (const TransactionRecord &record : source.transactions)
        booked.insert(duplicateKey(record));
    const ImportPlan plan = planImport(table, mapping, booked);

    // Every row is recognised as the booking it came from, so importing the file again adds nothing.
    QCOMPARE(plan.rows.size(), source.transactions.size());
    QCOMPARE(plan.duplicates, int(source.transactions.size()));
    const ImportRow &buy = plan.rows.first();
    QCOMPARE(buy.input.transactionType, u"BUY"_s);
    QCOMPARE(buy.input.commission, 1.5);
    QCOMPARE(buy.input.reason, u"Bought, on \"dip\"\nsecond line"_s);
    QCOMPARE(plan.rows.at(2).input.amount, std::optional<double>(20));
}

void ExportTest::workbookHoldsSheetsTextNumbersAndDates()
{
    QTemporaryDir folder;
    const ExportSource source = account(u"ja-JP"_s);
    ExportRequest request{{ExportTableKind::Holdings, ExportTableKind::Cash, ExportTableKind::Ledger},
                          ExportFileFormat::Xlsx,
                          folder.filePath(u"口座.xlsx"_s),
                          false,
                          QDate(2026, 12, 8)};
    const ExportOutcome outcome = runExport(request, source);
    QVERIFY(!outcome.error);
    QCOMPARE(outcome.written, QStringList{request.destination});

    const QString workbook = QString::fromUtf8(unzipped(request.destination, u"xl/workbook.xml"_s));
    QVERIFY2(workbook.contains(u"name=\"保有銘柄\""_s) && workbook.contains(u"name=\"現金残高\""_s) &&
                 workbook.contains(u"name=\"取引履歴\""_s),
             qPrintable(workbook));
    // Holdings: a bold, frozen Japanese header; the quantity 100 a numeric cell.
    const QString holdings = QString::fromUtf8(unzipped(request.destination, u"xl/worksheets/sheet1.xml"_s));
    QVERIFY(holdings.contains(u"ySplit=\"1\""_s) && holdings.contains(u"state=\"frozen\""_s));
    QVERIFY(holdings.contains(u"<t>評価額（JPY）</t>"_s));
    QVERIFY2(holdings.contains(QRegularExpression(u"<c r=\"F2\"( s=\"\\d+\")?><v>100</v></c>"_s)),
             qPrintable(holdings.mid(holdings.indexOf(u"<sheetData"_s))));
    // The ledger's first day is a date serial (2026-03-06 is day 46087), its type the wire word.
    const QString ledger = QString::fromUtf8(unzipped(request.destination, u"xl/worksheets/sheet3.xml"_s));
    QVERIFY2(ledger.contains(QRegularExpression(u"<c r=\"A2\" s=\"\\d+\"><v>46087</v></c>"_s)), qPrintable(ledger));
    QVERIFY(ledger.contains(u"<t>BUY</t>"_s));
    const QString styles = QString::fromUtf8(unzipped(request.destination, u"xl/styles.xml"_s));
    QVERIFY(styles.contains(u"formatCode=\"yyyy-mm-dd\""_s) && styles.contains(u"formatCode=\"0.00%\""_s));
    QVERIFY(styles.contains(u"<b/>"_s));
}

void ExportTest::failuresNameTheirKind_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("kind");
    QTest::newRow("disk full") << u"/dev/full"_s << int(ExportFileError::Kind::DiskFull);
    QTest::newRow("read-only folder") << u"/sys/quillfern-export.csv"_s
                                      << int(ExportFileError::Kind::PermissionDenied);
    QTest::newRow("a file where the folder should be") << u"/proc/version/x.csv"_s << int(ExportFileError::Kind::Other);
}

void ExportTest::failuresNameTheirKind()
{
    QFETCH(QString, path);
    QFETCH(int, kind);
    const QByteArray bytes(1 << 20, 'x');
    std::optional<ExportFileError> error;
    // A device cannot be replaced through a temporary file: it is written in place.
    if (path.startsWith(u"/dev/"_s)) {
        QFile device(path);
        QVERIFY(device.open(QIODevice::WriteOnly));
        error = writeAll(device, bytes);
    } else {
        error = saveFile(path, bytes);
    }
    QVERIFY(error);
    QCOMPARE(int(error->kind), kind);
    QCOMPARE(error->path, path);
}

// Also into a folder that does not exist yet, such as the Documents folder of a new account.
void ExportTest::csvExportNeverReplacesAFile()
{
    QTemporaryDir folder;
    ExportRequest request{{ExportTableKind::Cash}, ExportFileFormat::Csv, folder.filePath(u"Documents/Quillfern"_s),
                          false, QDate(2026, 12, 8)};
    const ExportOutcome first = runExport(request, account());
    const ExportOutcome second = runExport(request, account());
    QVERIFY(!first.error && !second.error);
    QCOMPARE(QFileInfo(first.written.value(0)).fileName(), u"Quillfern Cash 2026-12-08.csv"_s);
    QCOMPARE(QFileInfo(second.written.value(0)).fileName(), u"Quillfern Cash 2026-12-08 (2).csv"_s);
}

QTEST_GUILESS_MAIN(ExportTest)
#include "tst_export.moc"
