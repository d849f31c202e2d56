// The transaction sheet's rules: which fields each type takes and what passes the checks, starting values
// for a new and a stored transaction, the currency and sector that follow the market and the code, the
// normalisation of save, and what a failure leaves behind.

#include "app/transactions/TransactionEditor.h"
#include "app/workspace/TransactionRules.h"
#include "text/Localization.h"

#include <QCoroSignal>
#include <QSignalSpy>
#include <QTest>
#include <QTimeZone>

#include <limits>

using namespace quillfern;

namespace {

GICSClassification gics(const char *sector, const char *sub)
{
    GICSClassification entry;
    entry.sectorName = QString::fromLatin1(sector);
    entry.subIndustryName = QString::fromLatin1(sub);
    return entry;
}

TransactionReferenceData reference()
{
    return TransactionReferenceData{
        {QStringLiteral("Futu"), QStringLiteral("IBKR")},
        {CurrencyOption{QStringLiteral("HKD"), {}, {}, {}, 0.128},
         CurrencyOption{QStringLiteral("USD"), {}, {}, {}, 1}},
        {gics("Energy", "Oil & Gas Drilling"), gics("Information Technology", "Semiconductors"),
         gics("Energy", "Coal & Consumable Fuels"), gics("Information Technology", "Application Software"),
         gics("Utilities", "Gas Utilities")},
        QStringLiteral("ko-KR"),
        QStringLiteral("ko_KR"),
        {AssetRow{QStringLiteral("H1"), QStringLiteral("US"), QStringLiteral("Utilities"),
                  QStringLiteral("Gas Utilities"), QStringLiteral("AAPL"), QStringLiteral("IBKR"), 150, 10, 180}}};
}

// Holds a save open until release() is emitted, then answers with its failure, if any.
class Gate : public QObject {
    Q_OBJECT
Q_SIGNALS:
    void release();
};

QCoro::Task<std::optional<APIFailure>> answerWhenReleased(Gate *gate, std::optional<APIFailure> answer)
{
    co_await qCoro(gate, &Gate::release);
    co_return answer;
}

// A sheet whose saves are recorded and answered by the gate.
struct Sheet {
    explicit Sheet(TransactionReferenceData data = reference(), std::optional<TransactionRecord> editing = {})
        : editor(
              std::move(data),
              [this](TransactionCreateInput input) {
                  sent.append(input);
                  return answerWhenReleased(&gate, answer);
              },
              QDateTime(QDate(2024, 5, 1), QTime(18, 30, 45, 250), QTimeZone(9 * 3600)), std::move(editing))
    {
    }

    Gate gate;
    std::optional<APIFailure> answer;
    QList<TransactionCreateInput> sent;
    TransactionEditor editor;
};

TransactionEntries filled(const TransactionEditor &editor)
{
    TransactionEntries entries = editor.entries();
    entries.code = QStringLiteral("msft");
    entries.quantity = 3;
    entries.price = 150;
    entries.sector = QStringLiteral("Energy");
    entries.subSector = QStringLiteral("Oil & Gas Drilling");
    return entries;
}

// An input of the type with every field it takes filled in and valid.
TransactionCreateInput valid(const char *type)
{
    return keptForType(TransactionCreateInput{QStringLiteral("Futu"), QStringLiteral("US"), QStringLiteral("AAPL"),
                                              QString::fromLatin1(type), 2, 150, 1, QStringLiteral("USD"),
                                              QStringLiteral("Energy"), QStringLiteral("Coal & Consumable Fuels"),
                                              QStringLiteral("2024-05-01T09:30:00Z"), QString(), 12.5, 4.0, true});
}

TransactionCreateInput with(TransactionCreateInput input, const std::function<void(TransactionCreateInput &)> &change)
{
    change(input);
    return input;
}

} // namespace

Q_DECLARE_METATYPE(quillfern::TransactionCreateInput)
Q_DECLARE_METATYPE(quillfern::TransactionEntries)

class TransactionEditorTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void faultsNameTheFirstFieldAtFault_data();
    void faultsNameTheFirstFieldAtFault();
    void entriesThatFailTheChecksSendNothing_data();
    void entriesThatFailTheChecksSendNothing();
    void theRequestCarriesOnlyTheTypesFields_data();
    void theRequestCarriesOnlyTheTypesFields();
    void startsFromTheFirstEntries();
    void editingStartsFromTheStoredFields();
    void theCurrencyFollowsTheMarketUntilPicked();
    void theSectorIsTheHoldingsOrPicked_data();
    void theSectorIsTheHoldingsOrPicked();
    void aFailedSaveKeepsTheSheetOpenAndTheRetryFinishesIt();
};

void TransactionEditorTest::faultsNameTheFirstFieldAtFault_data()
{
    QTest::addColumn<TransactionCreateInput>("input");
    QTest::addColumn<bool>("needsSector");
    QTest::addColumn<QString>("field"); // empty: passes

    const double nan = std::numeric_limits<double>::quiet_NaN();
    const auto add = [](const char *name, const TransactionCreateInput &input, bool needsSector, const char *field) {
        QTest::newRow(name) << input << needsSector << QString::fromLatin1(field);
    };
    for (const QString &type : transactionTypes())
        add(qPrintable(type + QStringLiteral(" filled in")), valid(qPrintable(type)), true, "");
    add("buy without broker", with(valid("BUY"), [](auto &i) { i.broker = QStringLiteral(" "); }), false, "broker");
    add("buy with a blank code", with(valid("BUY"), [](auto &i) { i.code = QStringLiteral(" \t"); }), false, "code");
    add("buy of nothing", with(valid("BUY"), [](auto &i) { i.quantity = 0; }), false, "quantity");
    add("buy of not a number", with(valid("BUY"), [nan](auto &i) { i.quantity = nan; }), false, "quantity");
    add("sell at no price", with(valid("SELL"), [](auto &i) { i.price = -1; }), false, "price");
    add("commission below zero", with(valid("SELL"), [](auto &i) { i.commission = -0.01; }), false, "commission");
    add("commission not a number", with(valid("BUY"), [nan](auto &i) { i.commission = nan; }), false, "commission");
    add("buy of a code held nowhere", with(valid("BUY"), [](auto &i) { i.sector.clear(); }), true, "sector");
    add("without sub-industry", with(valid("TRANSFER_IN"), [](auto &i) { i.subSector.clear(); }), true, "sub_sector");
    add("buy of a held code", with(valid("BUY"), [](auto &i) { i.sector.clear(); }), false, "");
    add("transfer in at no cost", with(valid("TRANSFER_IN"), [](auto &i) { i.price = 0; }), true, "price");
    add("transfer out of nothing", with(valid("TRANSFER_OUT"), [](auto &i) { i.quantity = 0; }), false, "quantity");
    add("dividend without code", with(valid("DIVIDEND"), [](auto &i) { i.code.clear(); }), true, "");
    add("dividend of nothing", with(valid("DIVIDEND"), [](auto &i) { i.amount = 0; }), false, "amount");
    add("fee without amount", with(valid("FEE"), [](auto &i) { i.amount.reset(); }), false, "amount");
    add("deposit without currency", with(valid("DEPOSIT"), [](auto &i) { i.currency.clear(); }), false, "currency");
    add("withdrawal without broker", with(valid("WITHDRAWAL"), [](auto &i) { i.broker.clear(); }), false, "broker");
    add("split without code", with(valid("SPLIT"), [](auto &i) { i.code.clear(); }), false, "code");
    add("split by zero", with(valid("SPLIT"), [](auto &i) { i.splitRatio = 0; }), false, "split_ratio");
    add("a word of a newer service", with(valid("BUY"), [](auto &i) { i.transactionType = QStringLiteral("GIFT"); }),
        false, "transaction_type");
    add("lower-case buy", with(valid("BUY"), [](auto &i) { i.transactionType = QStringLiteral("buy"); }), false,
        "transaction_type");
    add("tomorrow", with(valid("BUY"), [](auto &i) { i.tradedAt = QStringLiteral("2024-05-02T23:59:59Z"); }), false,
        "");
    add("the day after", with(valid("BUY"), [](auto &i) { i.tradedAt = QStringLiteral("2024-05-03T00:00:00Z"); }),
        false, "traded_at");
    add("no time", with(valid("TAX"), [](auto &i) { i.tradedAt = QStringLiteral("soon"); }), false, "traded_at");
}

void TransactionEditorTest::faultsNameTheFirstFieldAtFault()
{
    QFETCH(TransactionCreateInput, input);
    QFETCH(bool, needsSector);
    QFETCH(QString, field);
    const QDateTime now(QDate(2024, 5, 1), QTime(12, 0), QTimeZone::utc());
    const auto fault = transactionFault(input, needsSector, now);
    QCOMPARE(fault ? fault->field : QString(), field);
    // Every fault names its field by a label the catalogue has.
    if (fault)
        QVERIFY(AppText::keys().contains(fault->labelKey) && AppText::keys().contains(fault->messageKey));
}

void TransactionEditorTest::entriesThatFailTheChecksSendNothing_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("code");
    QTest::addColumn<double>("quantity");
    QTest::addColumn<double>("amount");
    QTest::addColumn<QString>("message"); // empty: sent
    const auto message = [](const char16_t *key, const char16_t *label) {
        return AppText::format(key, u"ko-KR", {AppText::value(label, u"ko-KR")});
    };
    const auto add = [](const char *name, const char *type, const char *code, double quantity, double amount,
                        const QString &message = {}) {
        QTest::newRow(name) << QString::fromLatin1(type) << QString::fromLatin1(code) << quantity << amount << message;
    };
    add("buy filled in", "BUY", "msft", 3, 0);
    add("buy of nothing", "BUY", "msft", 0, 0, message(u"fieldPositive", u"quantity"));
    add("buy without code", "BUY", " ", 3, 0, message(u"fieldRequired", u"ticker"));
    add("interest without amount", "INTEREST", "", 0, 0, message(u"fieldPositive", u"amount"));
    add("interest filled in", "INTEREST", "", 0, 4);
}

void TransactionEditorTest::entriesThatFailTheChecksSendNothing()
{
    QFETCH(QString, type);
    QFETCH(QString, code);
    QFETCH(double, quantity);
    QFETCH(double, amount);
    QFETCH(QString, message);
    Sheet sheet;
    TransactionEntries entries = filled(sheet.editor);
    entries.transactionType = type;
    entries.code = code;
    entries.quantity = quantity;
    entries.amount = amount;
    sheet.editor.setEntries(entries);

    sheet.editor.save();

    QCOMPARE(sheet.sent.size(), message.isEmpty() ? 1 : 0);
    QCOMPARE(sheet.editor.isSaving(), message.isEmpty());
    QCOMPARE(sheet.editor.errorMessage().value_or(QString()), message);
    Q_EMIT sheet.gate.release();
}

void TransactionEditorTest::theRequestCarriesOnlyTheTypesFields_data()
{
    QTest::addColumn<TransactionEntries>("entries");
    QTest::addColumn<TransactionCreateInput>("expected");

    TransactionEntries all;
    all.broker = QStringLiteral("Futu");
    all.market = QStringLiteral("HK");
    all.code = QStringLiteral("0700");
    all.quantity = 100;
    all.price = 300;
    all.commission = 5;
    all.amount = 80;
    all.splitNew = 3;
    all.splitOld = 2;
    all.settlesInCash = false;
    all.currency = QStringLiteral("HKD");
    all.sector = QStringLiteral("Energy");
    all.subSector = QStringLiteral("Oil & Gas Drilling");
    all.tradedAt = QDateTime(QDate(2024, 5, 1), QTime(9, 30), QTimeZone::utc());
    const QString at = QStringLiteral("2024-05-01T09:30:00Z");
    const auto entries = [&all](const char *type, const char *code = "0700") {
        TransactionEntries e = all;
        e.transactionType = QString::fromLatin1(type);
        e.code = QString::fromLatin1(code);
        return e;
    };
    const auto input = [&at](const char *type, const char *broker, const char *market, const char *code) {
        TransactionCreateInput i;
        i.transactionType = QString::fromLatin1(type);
        i.broker = QString::fromLatin1(broker);
        i.market = QString::fromLatin1(market);
        i.code = QString::fromLatin1(code);
        i.tradedAt = at;
        return i;
    };

    TransactionCreateInput buy = input("BUY", "Futu", "HK", "0700");
    buy.quantity = 100, buy.price = 300, buy.commission = 5, buy.currency = QStringLiteral("HKD");
    buy.settlesInCash = false, buy.sector = all.sector, buy.subSector = all.subSector;
    QTest::newRow("buy, not settled in cash") << entries("BUY") << buy;
    TransactionCreateInput transferIn = buy;
    transferIn.transactionType = QStringLiteral("TRANSFER_IN");
    transferIn.commission = 0, transferIn.settlesInCash.reset();
    QTest::newRow("transfer in") << entries("TRANSFER_IN") << transferIn;
    TransactionCreateInput transferOut = input("TRANSFER_OUT", "Futu", "HK", "0700");
    transferOut.quantity = 100;
    QTest::newRow("transfer out") << entries("TRANSFER_OUT") << transferOut;
    TransactionCreateInput dividend = input("DIVIDEND", "Futu", "HK", "0700");
    dividend.amount = 80, dividend.currency = QStringLiteral("HKD");
    QTest::newRow("dividend of a code") << entries("DIVIDEND") << dividend;
    TransactionCreateInput interest = input("INTEREST", "Futu", "", "");
    interest.amount = 80, interest.currency = QStringLiteral("HKD");
    QTest::newRow("interest names no market") << entries("INTEREST", " ") << interest;
    TransactionCreateInput split = input("SPLIT", "", "HK", "0700");
    split.splitRatio = 1.5;
    QTest::newRow("split of 3 new for 2 old") << entries("SPLIT") << split;
    // The code trimmed and upper-cased, the reason trimmed at its ends only, the time in UTC to the second.
    TransactionEntries padded = entries("SELL", "  0700.hk \n");
    padded.reason = QStringLiteral("\n  Trimmed, but  inside kept  \t");
    padded.tradedAt = QDateTime(QDate(2024, 5, 1), QTime(18, 30, 45, 250), QTimeZone(9 * 3600));
    TransactionCreateInput sell = input("SELL", "Futu", "HK", "0700.HK");
    sell.quantity = 100, sell.price = 300, sell.commission = 5, sell.currency = QStringLiteral("HKD");
    sell.settlesInCash = false, sell.tradedAt = QStringLiteral("2024-05-01T09:30:45Z");
    sell.reason = QStringLiteral("Trimmed, but  inside kept");
    QTest::newRow("sell, normalised") << padded << sell;
}

void TransactionEditorTest::theRequestCarriesOnlyTheTypesFields()
{
    QFETCH(TransactionEntries, entries);
    Sheet sheet;
    sheet.editor.setEntries(entries);
    QTEST(sheet.editor.input(), "expected");
}

void TransactionEditorTest::startsFromTheFirstEntries()
{
    Sheet sheet;
    const TransactionEntries &entries = sheet.editor.entries();
    QCOMPARE(entries.broker, QStringLiteral("Futu"));
    QCOMPARE(entries.market, QStringLiteral("US"));
    QCOMPARE(entries.transactionType, QStringLiteral("BUY"));
    // The market's currency, not the first listed; no sector until one is picked.
    QCOMPARE(entries.currency, QStringLiteral("USD"));
    QVERIFY(entries.sector.isEmpty() && entries.subSector.isEmpty());
    QVERIFY(entries.settlesInCash);
    QVERIFY(!sheet.editor.editedRecord());
    QVERIFY(!sheet.editor.errorMessage());
}

void TransactionEditorTest::editingStartsFromTheStoredFields()
{
    TransactionRecord stored;
    stored.id = QStringLiteral("t9");
    stored.broker = QStringLiteral("IBKR");
    stored.market = QStringLiteral("JP");
    stored.code = QStringLiteral("7203");
    stored.transactionType = QStringLiteral("DIVIDEND");
    stored.amount = 1200;
    stored.currency = QStringLiteral("USD");
    stored.tradedAt = QStringLiteral("2024-03-01T01:02:03Z");
    stored.reason = QStringLiteral("Interim");
    Sheet sheet(reference(), stored);
    QCOMPARE(sheet.editor.editedRecord(), std::optional(stored));
    // Sent again unchanged, the stored fields come back as they were, the currency the stored one.
    for (const char *market : {"HK", "JP"}) {
        TransactionEntries entries = sheet.editor.entries();
        entries.market = QString::fromLatin1(market);
        sheet.editor.setEntries(entries);
    }
    QCOMPARE(sheet.editor.input(), inputOf(stored));
}

void TransactionEditorTest::theCurrencyFollowsTheMarketUntilPicked()
{
    Sheet sheet;
    const auto change = [&sheet](QString TransactionEntries::*entry, const char *value) {
        TransactionEntries entries = sheet.editor.entries();
        entries.*entry = QString::fromLatin1(value);
        sheet.editor.setEntries(entries);
        return sheet.editor.entries().currency;
    };
    QCOMPARE(change(&TransactionEntries::market, "HK"), QStringLiteral("HKD"));
    QCOMPARE(change(&TransactionEntries::market, "JP"), QStringLiteral("JPY"));
    QCOMPARE(change(&TransactionEntries::currency, "USD"), QStringLiteral("USD"));
    QCOMPARE(change(&TransactionEntries::market, "EU"), QStringLiteral("USD"));
}

void TransactionEditorTest::theSectorIsTheHoldingsOrPicked_data()
{
    QTest::addColumn<QString>("market");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("sector");
    QTest::addColumn<bool>("needsSector");
    const auto add = [](const char *name, const char *market, const char *code, const char *type, const char *sector,
                        bool needsSector) {
        QTest::newRow(name) << QString::fromLatin1(market) << QString::fromLatin1(code) << QString::fromLatin1(type)
                            << QString::fromLatin1(sector) << needsSector;
    };
    add("held at another broker", "US", " aapl", "BUY", "Utilities", false);
    add("held nowhere", "US", "MSFT", "BUY", "", true);
    add("the same code in another market", "HK", "AAPL", "TRANSFER_IN", "", true);
    add("a sell opens nothing", "US", "MSFT", "SELL", "", false);
}

void TransactionEditorTest::theSectorIsTheHoldingsOrPicked()
{
    QFETCH(QString, market);
    QFETCH(QString, code);
    QFETCH(QString, type);
    Sheet sheet;
    // First a held code, so that leaving it shows that its sector was not kept.
    TransactionEntries entries = sheet.editor.entries();
    entries.code = QStringLiteral("AAPL");
    sheet.editor.setEntries(entries);
    QCOMPARE(sheet.editor.entries().subSector, QStringLiteral("Gas Utilities"));
    entries = sheet.editor.entries();
    entries.market = market;
    entries.code = code;
    entries.transactionType = type;
    sheet.editor.setEntries(entries);
    QTEST(sheet.editor.entries().sector, "sector");
    QTEST(sheet.editor.needsSector(), "needsSector");
}

void TransactionEditorTest::aFailedSaveKeepsTheSheetOpenAndTheRetryFinishesIt()
{
    Sheet sheet;
    sheet.answer = APIFailure(PortfolioAPIError::server(422, QStringLiteral("Not enough shares to sell.")));
    QSignalSpy finished(&sheet.editor, &TransactionEditor::finished);
    TransactionEntries entries = filled(sheet.editor);
    entries.code = QStringLiteral(" msft ");
    sheet.editor.setEntries(entries);
    sheet.editor.save();
    QVERIFY(sheet.editor.isSaving());
    // A second press while the first save is out sends nothing more; what goes is the sheet's request.
    sheet.editor.save();
    QCOMPARE(sheet.sent, QList<TransactionCreateInput>{sheet.editor.input()});
    Q_EMIT sheet.gate.release();

    QTRY_VERIFY(!sheet.editor.isSaving());
    QCOMPARE(finished.count(), 0);
    QCOMPARE(sheet.editor.errorMessage(), std::optional<QString>(QStringLiteral("Not enough shares to sell.")));
    QCOMPARE(sheet.editor.entries(), entries);

    // The retry sends the same request again and clears the message while it is out; its success ends the sheet.
    sheet.answer.reset();
    sheet.editor.save();
    QCOMPARE(sheet.sent.size(), 2);
    QCOMPARE(sheet.sent[1], sheet.sent[0]);
    QVERIFY(!sheet.editor.errorMessage());
    Q_EMIT sheet.gate.release();
    QTRY_COMPARE(finished.count(), 1);
    QVERIFY(!sheet.editor.errorMessage());
}

QTEST_GUILESS_MAIN(TransactionEditorTest)
#include "tst_transactioneditor.moc"
