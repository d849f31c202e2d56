// The ledger's texts: trade times from the service written in the locale's date and time styles when
// they are internet date-times and left alone otherwise, the editable field's format that reads the same,
// money in each record's own currency, and the table model over the records.

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

} // namespace

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
    void onlyTheExactWordBuyIsABuy_data();
    void onlyTheExactWordBuyIsABuy();
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
    QTest::newRow("Z") << "2024-05-01T09:30:00Z"
                       << "en_US"
                       << "UTC" << us;
    QTest::newRow("offset") << "2024-05-01T18:30:00+09:00"
                            << "en_US"
                            << "UTC" << us;
    QTest::newRow("fraction of a second") << "2024-05-01T09:30:00.75Z"
                                          << "en_US"
                                          << "UTC" << us;
    QTest::newRow("lower-case t and z") << "2024-05-01t09:30:00z"
                                        << "en_US"
                                        << "UTC" << us;
    QTest::newRow("shown in the zone, next day") << "2024-05-01T15:30:00Z"
                                                 << "en_US"
                                                 << "Asia/Seoul" << QStringLiteral("May 2, 2024, 12:30\u202FAM");
    QTest::newRow("Korean") << "2024-05-01T00:30:00Z"
                            << "ko_KR"
                            << "Asia/Seoul" << QString::fromUtf8("2024. 5. 1. \uC624\uC804 9:30");
    QTest::newRow("German") << "2024-05-01T09:30:00Z"
                            << "de_DE"
                            << "UTC" << QStringLiteral("01.05.2024, 09:30");
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
    QTest::newRow("US dollars") << 1234.5 << "USD"
                                << "en_US"
                                << "$1,234.50";
    QTest::newRow("yen has no fraction") << 1234.0 << "JPY"
                                         << "en_US" << QString::fromUtf8("¥1,234");
    QTest::newRow("German grouping") << 1234.5 << "EUR"
                                     << "de_DE" << QString::fromUtf8("1.234,50\u00A0€");
    QTest::newRow("zero as shown has no minus") << -0.001 << "USD"
                                                << "en_US"
                                                << "$0.00";
    QTest::newRow("a loss keeps its minus") << -0.5 << "USD"
                                            << "en_US"
                                            << "-$0.50";
    QTest::newRow("not a code ICU takes") << 2.5 << "usd"
                                          << "en_US"
                                          << "usd 2.5";
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

void TransactionLedgerTest::onlyTheExactWordBuyIsABuy_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("tone");
    QTest::newRow("BUY") << "BUY"
                         << "buy" << int(LedgerTone::Buy);
    QTest::newRow("SELL") << "SELL"
                          << "sell" << int(LedgerTone::Sell);
    QTest::newRow("lower-case buy") << "buy"
                                    << "sell" << int(LedgerTone::Sell);
    QTest::newRow("anything else") << "DIVIDEND"
                                   << "sell" << int(LedgerTone::Sell);
}

void TransactionLedgerTest::onlyTheExactWordBuyIsABuy()
{
    QFETCH(QString, type);
    QFETCH(QString, key);
    TransactionLedgerModel model;
    TransactionRecord r = record("BUY", 1, 1, "USD", "");
    r.transactionType = type;
    model.setTransactions({r});
    const QModelIndex cell = model.index(0, TransactionLedgerModel::Type);
    QCOMPARE(cell.data().toString(), AppText::value(key, u"en-US"));
    QTEST(cell.data(TransactionLedgerModel::ToneRole).toInt(), "tone");
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
