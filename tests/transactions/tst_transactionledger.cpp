// The ledger's texts: trade times from the service written in the locale's date and time styles when
// they are internet date-times and left alone otherwise, the editable field's format that reads the same,
// money in each record's own currency, the table model over the records with a label and a colour for
// every type, and the page's sorting and filters over it.

#include "app/transactions/LedgerFilter.h"
#include "app/transactions/LedgerFormats.h"
#include "app/transactions/TransactionLedgerModel.h"
#include "text/Localization.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>
#include <QTimeZone>

using namespace quillfern;

namespace {

TransactionRecord record(const char *type, double quantity, double price, const char *currency, const char *tradedAt)
{
    TransactionRecord r;
    r.id = QString::fromLatin1(type) + QString::number(quantity);
    r.broker = QStringLiteral("Futu");
    r.market = QStringLiteral("US");
    r.code = QStringLiteral("AAPL");
    r.transactionType = QString::fromLatin1(type);
    r.quantity = quantity;
    r.price = price;
    r.commission = 1.5;
    r.currency = QString::fromLatin1(currency);
    r.tradedAt = QString::fromLatin1(tradedAt);
    r.reason = QStringLiteral("Rebalance");
    return r;
}

QStringList words(std::initializer_list<const char *> list)
{
    QStringList texts;
    for (const char *text : list)
        texts << QString::fromUtf8(text);
    return texts;
}

} // namespace

Q_DECLARE_METATYPE(quillfern::TransactionRecord)
Q_DECLARE_METATYPE(quillfern::LedgerFilterChoice)

class TransactionLedgerTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void internetDateTimesAreWrittenInTheLocale_data();
    void internetDateTimesAreWrittenInTheLocale();
    void otherTextsAreShownUnchanged_data();
    void otherTextsAreShownUnchanged();
    void theEditableFieldReadsLikeTheLedger_data();
    void theEditableFieldReadsLikeTheLedger();
    void moneyIsInTheRecordsCurrency_data();
    void moneyIsInTheRecordsCurrency();
    void modelShowsTheRecordsInTheirOrder();
    void everyTypeHasItsLabelAndTone_data();
    void everyTypeHasItsLabelAndTone();
    void figuresFollowTheType_data();
    void figuresFollowTheType();
    void sortingGoesByTheCellsValues_data();
    void sortingGoesByTheCellsValues();
    void filtersKeepTheChosenRows_data();
    void filtersKeepTheChosenRows();
    void textsFollowTheLanguage();
};

void TransactionLedgerTest::internetDateTimesAreWrittenInTheLocale_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("zone");
    QTest::addColumn<QString>("expected");

    // ICU 72 puts a narrow no-break space before the English day period.
    const QString us = QStringLiteral("May 1, 2024, 9:30\u202FAM");
    const auto add = [](const char *name, const char *text, const char *locale, const char *zone,
                        const QString &expected) {
        QTest::newRow(name) << QString::fromLatin1(text) << QString::fromLatin1(locale) << QString::fromLatin1(zone)
                            << expected;
    };
    add("Z", "2024-05-01T09:30:00Z", "en_US", "UTC", us);
    add("offset", "2024-05-01T18:30:00+09:00", "en_US", "UTC", us);
    add("fraction of a second", "2024-05-01T09:30:00.75Z", "en_US", "UTC", us);
    add("lower-case t and z", "2024-05-01t09:30:00z", "en_US", "UTC", us);
    add("shown in the zone, next day", "2024-05-01T15:30:00Z", "en_US", "Asia/Seoul",
        QStringLiteral("May 2, 2024, 12:30\u202FAM"));
    add("Korean", "2024-05-01T00:30:00Z", "ko_KR", "Asia/Seoul", QStringLiteral("2024. 5. 1. \uC624\uC804 9:30"));
    add("German", "2024-05-01T09:30:00Z", "de_DE", "UTC", QStringLiteral("01.05.2024, 09:30"));
}

void TransactionLedgerTest::internetDateTimesAreWrittenInTheLocale()
{
    QFETCH(QString, text);
    QFETCH(QString, locale);
    QFETCH(QString, zone);
    QTEST(displayDate(text, locale, zone), "expected");
}

void TransactionLedgerTest::otherTextsAreShownUnchanged_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("date alone") << "2024-05-01";
    QTest::newRow("no zone") << "2024-05-01T09:30:00";
    QTest::newRow("no seconds") << "2024-05-01T09:30Z";
    QTest::newRow("blank instead of T") << "2024-05-01 09:30:00Z";
    QTest::newRow("impossible day") << "2024-02-30T09:30:00Z";
    QTest::newRow("hour 25") << "2024-05-01T25:30:00Z";
    QTest::newRow("words") << "yesterday";
    QTest::newRow("empty") << "";
}

void TransactionLedgerTest::otherTextsAreShownUnchanged()
{
    QFETCH(QString, text);
    QCOMPARE(displayDate(text, QStringLiteral("en_US"), QStringLiteral("UTC")), text);
}

void TransactionLedgerTest::theEditableFieldReadsLikeTheLedger_data()
{
    QTest::addColumn<QString>("locale");
    QTest::newRow("en_US, day period") << "en_US";
    QTest::newRow("en_GB") << "en_GB";
    QTest::newRow("zh_CN") << "zh_CN";
    QTest::newRow("zh_TW, flexible day period") << "zh_TW";
    QTest::newRow("ja_JP") << "ja_JP";
    QTest::newRow("ko_KR") << "ko_KR";
}

// What the field shows is what the ledger writes for the same moment, and it reads back as that moment.
void TransactionLedgerTest::theEditableFieldReadsLikeTheLedger()
{
    QFETCH(QString, locale);
    const QString format = editableDateTimeFormat(locale);
    const QDateTime moment(QDate(2026, 12, 7), QTime(16, 51), QTimeZone::utc());
    const QString shown = QLocale(locale).toString(moment, format);
    QCOMPARE(shown, displayDate(QStringLiteral("2026-12-07T16:51:00Z"), locale, QStringLiteral("UTC")));
    QDateTime typed = QLocale(locale).toDateTime(shown, format);
    typed.setTimeZone(QTimeZone::utc());
    QCOMPARE(typed, moment);
}

void TransactionLedgerTest::moneyIsInTheRecordsCurrency_data()
{
    QTest::addColumn<double>("amount");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("expected");
    const auto add = [](const char *name, double amount, const char *code, const char *locale, const char *expected) {
        QTest::newRow(name) << amount << QString::fromLatin1(code) << QString::fromLatin1(locale)
                            << QString::fromUtf8(expected);
    };
    add("US dollars", 1234.5, "USD", "en_US", "$1,234.50");
    add("yen has no fraction", 1234, "JPY", "en_US", "¥1,234");
    add("German grouping", 1234.5, "EUR", "de_DE", "1.234,50\u00A0€");
    add("zero as shown has no minus", -0.001, "USD", "en_US", "$0.00");
    add("a loss keeps its minus", -0.5, "USD", "en_US", "-$0.50");
    add("not a code ICU takes", 2.5, "usd", "en_US", "usd 2.5");
}

void TransactionLedgerTest::moneyIsInTheRecordsCurrency()
{
    QFETCH(double, amount);
    QFETCH(QString, code);
    QFETCH(QString, locale);
    QTEST(currencyAmount(amount, code, locale), "expected");
}

void TransactionLedgerTest::modelShowsTheRecordsInTheirOrder()
{
    TransactionLedgerModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setLocale(QStringLiteral("en_US"), QStringLiteral("UTC"));
    const QList<TransactionRecord> records{record("SELL", 12345.678912, 10, "HKD", "not a date"),
                                           record("BUY", 2, 150.25, "USD", "2024-05-01T09:30:00Z")};
    model.setTransactions(records);

    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(model.columnCount(), int(TransactionLedgerModel::ColumnCount));
    const auto shown = [&model](int row, int column) { return model.index(row, column).data().toString(); };
    QCOMPARE(shown(0, TransactionLedgerModel::Quantity), QStringLiteral("12,345.6789"));
    QCOMPARE(shown(0, TransactionLedgerModel::TradePrice),
             currencyAmount(10, QStringLiteral("HKD"), QStringLiteral("en_US")));
    QCOMPARE(shown(0, TransactionLedgerModel::TradeTime), QStringLiteral("not a date"));
    QCOMPARE(shown(1, TransactionLedgerModel::Quantity), QStringLiteral("2"));
    QCOMPARE(shown(1, TransactionLedgerModel::Commission), QStringLiteral("$1.50"));
    QCOMPARE(shown(1, TransactionLedgerModel::TradeTime),
             displayDate(records[1].tradedAt, QStringLiteral("en_US"), QStringLiteral("UTC")));
    QCOMPARE(shown(1, TransactionLedgerModel::TradeReason), QStringLiteral("Rebalance"));
    QCOMPARE(model.index(0, TransactionLedgerModel::Quantity).data(TransactionLedgerModel::RawValueRole).toDouble(),
             12345.678912);
}

void TransactionLedgerTest::everyTypeHasItsLabelAndTone_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("label");
    QTest::addColumn<int>("tone");
    const auto add = [](const char *type, const char16_t *key, LedgerTone tone) {
        QTest::newRow(type) << QString::fromLatin1(type) << AppText::value(key, u"ja-JP") << int(tone);
    };
    add("BUY", u"buy", LedgerTone::Buy);
    add("SELL", u"sell", LedgerTone::Sell);
    add("DIVIDEND", u"dividend", LedgerTone::Income);
    add("INTEREST", u"interest", LedgerTone::Income);
    add("FEE", u"fee", LedgerTone::Cost);
    add("TAX", u"tax", LedgerTone::Cost);
    add("DEPOSIT", u"deposit", LedgerTone::Primary);
    add("WITHDRAWAL", u"withdrawal", LedgerTone::Primary);
    add("SPLIT", u"split", LedgerTone::Primary);
    add("TRANSFER_IN", u"transferIn", LedgerTone::Primary);
    add("TRANSFER_OUT", u"transferOut", LedgerTone::Primary);
    // A word a newer service sends, or one in the wrong case, is shown as it came, never as a sell.
    for (const char *word : {"GIFT", "buy"})
        QTest::newRow(word) << QString::fromLatin1(word) << QString::fromLatin1(word) << int(LedgerTone::Neutral);
}

void TransactionLedgerTest::everyTypeHasItsLabelAndTone()
{
    QFETCH(QString, type);
    TransactionLedgerModel model;
    model.setLanguage(QStringLiteral("ja-JP"), QStringLiteral("ja_JP"));
    TransactionRecord r = record("BUY", 1, 1, "USD", "");
    r.transactionType = type;
    model.setTransactions({r});
    const QModelIndex cell = model.index(0, TransactionLedgerModel::Type);
    QTEST(cell.data().toString(), "label");
    QTEST(cell.data(TransactionLedgerModel::ToneRole).toInt(), "tone");
    QCOMPARE(cell.data(TransactionLedgerModel::RawValueRole).toString(), type);
}

void TransactionLedgerTest::figuresFollowTheType_data()
{
    QTest::addColumn<TransactionRecord>("record");
    QTest::addColumn<QStringList>("shown"); // quantity, price, amount, commission, realised gain
    QTest::addColumn<QVariant>("rawAmount");
    QTest::addColumn<int>("gainTone");

    TransactionRecord sell = record("SELL", 10, 12.5, "USD", "");
    sell.realizedGain = -3.25;
    QTest::newRow("sell with its gain") << sell << words({"10", "$12.50", "$125.00", "$1.50", "-$3.25"})
                                        << QVariant(125.0) << int(LedgerTone::Loss);
    TransactionRecord buy = record("BUY", 2, 3, "USD", "");
    QTest::newRow("buy, no gain") << buy << words({"2", "$3.00", "$6.00", "$1.50", ""}) << QVariant(6.0)
                                  << int(LedgerTone::Primary);
    TransactionRecord dividend = record("DIVIDEND", 0, 0, "HKD", "");
    dividend.amount = 80;
    QTest::newRow("dividend")
        << dividend << QStringList{{}, {}, currencyAmount(80, QStringLiteral("HKD"), QStringLiteral("en_US")), {}, {}}
        << QVariant(80.0) << int(LedgerTone::Primary);
    TransactionRecord split = record("SPLIT", 0, 0, "", "");
    split.splitRatio = 4;
    QTest::newRow("split") << split << words({"", "", "4 : 1", "", ""}) << QVariant(4.0) << int(LedgerTone::Primary);
    TransactionRecord transferOut = record("TRANSFER_OUT", 5, 0, "USD", "");
    QTest::newRow("transfer out") << transferOut << words({"5", "", "", "", ""}) << QVariant()
                                  << int(LedgerTone::Primary);
    TransactionRecord gift = record("GIFT", 0, 7, "USD", "");
    gift.commission = 0;
    QTest::newRow("a later type shows what it carries")
        << gift << words({"", "$7.00", "", "", ""}) << QVariant() << int(LedgerTone::Primary);
}

void TransactionLedgerTest::figuresFollowTheType()
{
    QFETCH(TransactionRecord, record);
    QFETCH(QStringList, shown);
    TransactionLedgerModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setLocale(QStringLiteral("en_US"), QStringLiteral("UTC"));
    model.setTransactions({record});
    const int columns[] = {TransactionLedgerModel::Quantity, TransactionLedgerModel::TradePrice,
                           TransactionLedgerModel::Amount, TransactionLedgerModel::Commission,
                           TransactionLedgerModel::RealizedGain};
    for (int i = 0; i < 5; ++i)
        QCOMPARE(model.index(0, columns[i]).data().toString(), shown[i]);
    QTEST(model.index(0, TransactionLedgerModel::Amount).data(TransactionLedgerModel::RawValueRole), "rawAmount");
    QTEST(model.index(0, TransactionLedgerModel::RealizedGain).data(TransactionLedgerModel::ToneRole).toInt(),
          "gainTone");
}

void TransactionLedgerTest::sortingGoesByTheCellsValues_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QStringList>("order"); // ids, ascending
    // As texts "$100.00" < "$20.00" < "$9.00", and the Tokyo time reads later than the UTC ones.
    QTest::newRow("amount") << int(TransactionLedgerModel::Amount) << words({"a", "b", "c"});
    QTest::newRow("trade time, offsets taken in") << int(TransactionLedgerModel::TradeTime) << words({"c", "b", "a"});
    QTest::newRow("type word") << int(TransactionLedgerModel::Type) << words({"a", "c", "b"});
}

void TransactionLedgerTest::sortingGoesByTheCellsValues()
{
    QFETCH(int, column);
    QFETCH(QStringList, order);
    TransactionRecord a = record("BUY", 3, 3, "USD", "2024-05-02T00:00:00Z");
    TransactionRecord b = record("SELL", 2, 10, "USD", "2024-05-01T12:00:00Z");
    TransactionRecord c = record("DIVIDEND", 0, 0, "USD", "2024-05-01T20:00:00+09:00");
    c.amount = 100;
    a.id = QStringLiteral("a"), b.id = QStringLiteral("b"), c.id = QStringLiteral("c");
    TransactionLedgerModel model;
    model.setTransactions({c, a, b});
    LedgerFilter filter;
    QAbstractItemModelTester tester(&filter, QAbstractItemModelTester::FailureReportingMode::QtTest);
    filter.setSourceModel(&model);
    filter.sort(column, Qt::AscendingOrder);
    QStringList ids;
    for (int row = 0; row < filter.rowCount(); ++row)
        ids << filter.record(filter.index(row, 0))->id;
    QCOMPARE(ids, order);
}

void TransactionLedgerTest::filtersKeepTheChosenRows_data()
{
    QTest::addColumn<LedgerFilterChoice>("choice");
    QTest::addColumn<QStringList>("kept");
    QTest::newRow("everything") << LedgerFilterChoice{} << words({"1", "2", "3", "4"});
    QTest::newRow("one broker") << LedgerFilterChoice{QStringLiteral("IBKR"), {}, {}, {}} << words({"3", "4"});
    QTest::newRow("one code") << LedgerFilterChoice{{}, QStringLiteral("0700"), {}, {}} << words({"2", "3"});
    QTest::newRow("one type") << LedgerFilterChoice{{}, {}, QStringLiteral("SELL"), {}} << words({"2"});
    // 23:30 at UTC-5 on New Year's Eve is already the next year in UTC.
    QTest::newRow("one year, in UTC") << LedgerFilterChoice{{}, {}, {}, 2025} << words({"1", "2", "3"});
    QTest::newRow("broker and year") << LedgerFilterChoice{QStringLiteral("IBKR"), {}, {}, 2025} << words({"3"});
    QTest::newRow("nothing matches") << LedgerFilterChoice{QStringLiteral("Futu"), {}, QStringLiteral("TAX"), {}}
                                     << QStringList();
}

void TransactionLedgerTest::filtersKeepTheChosenRows()
{
    QFETCH(LedgerFilterChoice, choice);
    const auto make = [](const char *id, const char *broker, const char *code, const char *type, const char *at) {
        TransactionRecord r = record(type, 1, 1, "USD", at);
        r.id = QString::fromLatin1(id);
        r.broker = QString::fromLatin1(broker);
        r.code = QString::fromLatin1(code);
        return r;
    };
    const QList<TransactionRecord> records{make("1", "Futu", "AAPL", "BUY", "2025-01-01T04:30:00Z"),
                                           make("2", "Futu", "0700", "SELL", "2025-06-01T00:00:00Z"),
                                           make("3", "IBKR", "0700", "GIFT", "2024-12-31T23:30:00-05:00"),
                                           make("4", "IBKR", "", "DEPOSIT", "2024-12-31T23:30:00Z")};
    TransactionLedgerModel model;
    model.setTransactions(records);
    LedgerFilter filter;
    QAbstractItemModelTester tester(&filter, QAbstractItemModelTester::FailureReportingMode::QtTest);
    filter.setSourceModel(&model);
    filter.setChoice(choice);
    QStringList kept;
    for (int row = 0; row < filter.rowCount(); ++row)
        kept << filter.record(filter.index(row, 0))->id;
    QTEST(kept, "kept");

    // The pickers offer what the records hold: codes in order, known types first, years newest first.
    const LedgerFilterOptions options = ledgerFilterOptions(records, QStringLiteral("en_US"));
    QCOMPARE(options.codes, (QStringList{QStringLiteral("0700"), QStringLiteral("AAPL")}));
    QCOMPARE(options.types, (QStringList{QStringLiteral("BUY"), QStringLiteral("SELL"), QStringLiteral("DEPOSIT"),
                                         QStringLiteral("GIFT")}));
    QCOMPARE(options.years, (QList<int>{2025, 2024}));
}

void TransactionLedgerTest::textsFollowTheLanguage()
{
    TransactionLedgerModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setTransactions({record("BUY", 1, 1, "USD", "2024-05-01T09:30:00Z")});
    model.setLocale(QStringLiteral("en_US"), QStringLiteral("UTC"));
    QSignalSpy headers(&model, &QAbstractItemModel::headerDataChanged);
    model.setLanguage(QStringLiteral("ja-JP"), QStringLiteral("ja_JP"));
    QCOMPARE(headers.count(), 1);
    for (int column = 0; column < TransactionLedgerModel::ColumnCount; ++column)
        QCOMPARE(model.headerData(column, Qt::Horizontal).toString(),
                 AppText::value(TransactionLedgerModel::titleKey(column), u"ja-JP"));
    QCOMPARE(model.index(0, TransactionLedgerModel::Type).data().toString(), AppText::value(u"buy", u"ja-JP"));
    QCOMPARE(model.index(0, TransactionLedgerModel::TradeTime).data().toString(), QStringLiteral("2024/05/01 9:30"));
}

QTEST_GUILESS_MAIN(TransactionLedgerTest)
#include "tst_transactionledger.moc"
