// The balance page's rules on a plain list of cash rows: which pairs count as taken, where a new row
// goes, what a save, a cancel, a delete and the pickers do, and the figures the page shows.

#include "app/balances/BalanceEditor.h"
#include "core/CurrencyCatalog.h"
#include "text/Localization.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

Q_DECLARE_METATYPE(quillfern::CashRow)
Q_DECLARE_METATYPE(quillfern::CurrencyOption)

#include <cmath>
#include <limits>

using namespace quillfern;

namespace {

CurrencyOption currency(const char *code, double rate)
{
    return CurrencyOption{QString::fromLatin1(code), {}, {}, {}, rate};
}

CashRow cash(const char *id, const char *broker, double amount, const char *code,
             std::optional<double> rate = std::nullopt)
{
    return CashRow{QString::fromLatin1(id), QString::fromUtf8(broker), amount, QString::fromLatin1(code), rate};
}

// A page on a list of its own, counting the saves it asks for.
struct Page {
    QList<CashRow> rows;
    BalanceInputs given;
    int saves = 0;
    BalanceEditor editor{BalanceEditor::Binding{[this] { return rows; },
                                                [this](QList<CashRow> next) { rows = std::move(next); },
                                                [this] { return given; }, [this] { ++saves; }}};
};

} // namespace

class BalanceRulesTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void takenPairsIgnoreCase_data();
    void takenPairsIgnoreCase();
    void addTakesTheFirstFreePair_data();
    void addTakesTheFirstFreePair();
    void saveChecksCashAndPair_data();
    void saveChecksCashAndPair();
    void cancelRestoresTheCopy();
    void deleteSavesAndLeavesEditMode();
    void pickersRefuseADuplicateAndSpringBack();
    void aCurrencyChangeReplacesTheStoredRate_data();
    void aCurrencyChangeReplacesTheStoredRate();
    void editModeEndsWhenItsRowIsGone();
    void leavingARowForAnother_data();
    void leavingARowForAnother();
    void allocationSharesAreOfTheWholeSum();
    void compositionWithoutCashHasNoCashSlice();
    void onlyTheFirstRowOfABrokerCarriesItsFigures();
};

void BalanceRulesTest::takenPairsIgnoreCase_data()
{
    QTest::addColumn<QString>("broker");
    QTest::addColumn<QString>("currency");
    QTest::addColumn<bool>("taken");
    const auto add = [](const char *name, const char *broker, const char *code, bool taken) {
        QTest::newRow(name) << QString::fromUtf8(broker) << QString::fromLatin1(code) << taken;
    };
    add("same spelling", "Futu", "USD", true);
    add("broker in other case", "FUTU", "USD", true);
    add("currency in other case", "futu", "usd", true);
    add("other currency", "futu", "HKD", false);
    add("other broker", "IBKR", "USD", false);
    add("a blank is not trimmed", "Futu ", "USD", false);
    add("non-ASCII letters fold too", "ÉTOILE", "EUR", true);
}

void BalanceRulesTest::takenPairsIgnoreCase()
{
    QFETCH(QString, broker);
    QFETCH(QString, currency);
    QFETCH(bool, taken);
    const QList<CashRow> rows{cash("A", "Futu", 1, "USD"), cash("B", "étoile", 1, "EUR")};
    QCOMPARE(isTakenPair(rows, QStringLiteral("X"), broker, currency), taken);
    // A row never collides with itself.
    QVERIFY(!isTakenPair(rows.mid(0, 1), QStringLiteral("A"), broker, currency));
}

void BalanceRulesTest::addTakesTheFirstFreePair_data()
{
    QTest::addColumn<QList<CashRow>>("rows");
    QTest::addColumn<QStringList>("brokers");
    QTest::addColumn<QList<CurrencyOption>>("currencies");
    QTest::addColumn<QString>("broker"); // empty: every pair is taken and nothing is added
    QTest::addColumn<QString>("code");
    QTest::addColumn<double>("rate");

    const auto add = [](const char *name, const QList<CashRow> &rows, const QStringList &brokers,
                        const QList<CurrencyOption> &currencies, const char *broker, const char *code, double rate) {
        QTest::newRow(name) << rows << brokers << currencies << QString::fromLatin1(broker) << QString::fromLatin1(code)
                            << rate;
    };
    const QList<CurrencyOption> listed{currency("USD", 1), currency("HKD", 0.128)};
    const QStringList futu{QStringLiteral("Futu")}, futuIbkr{QStringLiteral("Futu"), QStringLiteral("IBKR")};
    add("currencies vary fastest", {cash("A", "Futu", 5, "USD")}, futuIbkr, listed, "Futu", "HKD", 0.128);
    add("next broker when one is full", {cash("A", "Futu", 5, "USD"), cash("B", "futu", 5, "hkd")}, futuIbkr, listed,
        "IBKR", "USD", 1);
    add("no brokers: defaults in stored order", {}, {}, listed, "Snowball", "USD", 1);
    add("no currencies: built-in codes and rates",
        {cash("A", "Futu", 5, "USD"), cash("B", "Futu", 5, "HKD"), cash("C", "Futu", 5, "CNY"),
         cash("D", "Futu", 5, "JPY"), cash("E", "Futu", 5, "EUR")},
        futu, {}, "Futu", "GBP", CurrencyCatalog::fxToUSD(u"GBP"));
    add("every pair taken, whatever the case", {cash("A", "FUTU", 1, "Usd")}, futu, {currency("USD", 1)}, "", "", 0);
}

void BalanceRulesTest::addTakesTheFirstFreePair()
{
    QFETCH(QList<CashRow>, rows);
    QFETCH(QStringList, brokers);
    QFETCH(QList<CurrencyOption>, currencies);
    Page page;
    page.rows = rows;
    page.given.brokerageOptions = brokers;
    page.given.supportedCurrencies = currencies;
    QSignalSpy alert(&page.editor, &BalanceEditor::balanceEditErrorChanged);

    page.editor.addCashRow();

    QCOMPARE(page.saves, 0);
    QFETCH(QString, broker);
    if (broker.isEmpty()) {
        QCOMPARE(page.rows, rows);
        QCOMPARE(page.editor.balanceEditError(), std::optional<QString>(BalanceEditor::noFreePairMessage));
        QCOMPARE(alert.count(), 1);
        QVERIFY(!page.editor.editingCashRowID());
        page.editor.dismissBalanceEditError();
        QVERIFY(!page.editor.balanceEditError());
        return;
    }
    QCOMPARE(page.rows.size(), rows.size() + 1);
    QCOMPARE(page.rows.mid(0, rows.size()), rows);
    const CashRow added = page.rows.last();
    QCOMPARE(added.broker, broker);
    QTEST(added.currency, "code");
    QTEST(added.serverFXToUSD.value_or(-1), "rate");
    QCOMPARE(added.originalCash, 0.0);
    QVERIFY(
        QRegularExpression(QStringLiteral("^[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}$")).match(added.id).hasMatch());
    QCOMPARE(page.editor.editingCashRowID(), std::optional<QString>(added.id));
    QCOMPARE(page.editor.originalCashRow(), std::optional<CashRow>(added));
    QVERIFY(!page.editor.balanceEditError());
}

void BalanceRulesTest::saveChecksCashAndPair_data()
{
    QTest::addColumn<double>("amount");
    QTest::addColumn<QString>("broker");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QString>("language");
    const QString en = QStringLiteral("en-US");
    const QString negative = BalanceEditor::negativeCashMessage;
    QTest::newRow("zero is fine") << 0.0 << "IBKR" << QString() << en;
    QTest::newRow("negative") << -1.0 << "IBKR" << negative << en;
    QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << "IBKR" << negative << en;
    QTest::newRow("pair taken ignoring case") << 3.0 << "futu" << QString(BalanceEditor::duplicatePairMessage) << en;
    QTest::newRow("negative, in Korean") << -1.0 << "IBKR" << QStringLiteral("현금 잔고는 음수일 수 없습니다.")
                                         << "ko-KR";
}

void BalanceRulesTest::saveChecksCashAndPair()
{
    QFETCH(double, amount);
    QFETCH(QString, broker);
    QFETCH(QString, error);
    QFETCH(QString, language);
    Page page;
    page.given.language.code = language;
    page.rows = {cash("A", "Futu", 1, "USD"), cash("B", "IBKR", 1, "USD")};
    // Rows typed into in another way (an older session) can already hold a duplicate: save catches it.
    page.rows[1].broker = broker;
    page.editor.beginCashEditing(page.rows[1]);
    page.editor.setOriginalCash(QStringLiteral("B"), amount);

    page.editor.saveCashRow();

    if (error.isEmpty()) {
        QCOMPARE(page.saves, 1);
        QVERIFY(!page.editor.editingCashRowID());
        QVERIFY(!page.editor.originalCashRow());
        QVERIFY(!page.editor.balanceEditError());
    } else {
        QCOMPARE(page.saves, 0);
        QCOMPARE(page.editor.balanceEditError(), std::optional<QString>(error));
        QCOMPARE(page.editor.editingCashRowID(), std::optional<QString>(QStringLiteral("B")));
    }
    // The amount stays as typed either way; it is the working copy.
    QVERIFY(page.rows[1].originalCash == amount || (std::isnan(amount) && std::isnan(page.rows[1].originalCash)));

    // A corrected row saves on the next try.
    if (error == BalanceEditor::negativeCashMessage.in(language)) {
        page.editor.setOriginalCash(QStringLiteral("B"), 0);
        page.editor.saveCashRow();
        QCOMPARE(page.saves, 1);
        QVERIFY(!page.editor.editingCashRowID());
    }
}

void BalanceRulesTest::cancelRestoresTheCopy()
{
    Page page;
    page.given.brokerageOptions = {QStringLiteral("Futu"), QStringLiteral("IBKR")};
    page.given.supportedCurrencies = {currency("USD", 1), currency("EUR", 1.1)};
    page.rows = {cash("A", "Futu", 10, "USD", 1.0)};
    const CashRow before = page.rows[0];

    page.editor.beginCashEditing(page.rows[0]);
    page.editor.setOriginalCash(QStringLiteral("A"), 99);
    page.editor.uniqueCurrencyBinding(QStringLiteral("A")).set(QStringLiteral("EUR"));
    QCOMPARE(page.rows[0].currency, QStringLiteral("EUR"));
    page.editor.cancelCashEditing();
    QCOMPARE(page.rows, QList<CashRow>{before});
    QVERIFY(!page.editor.editingCashRowID());

    // A row just added and never saved goes away with the cancel.
    page.editor.addCashRow();
    page.editor.setOriginalCash(page.rows.last().id, 5);
    page.editor.cancelCashEditing();
    QCOMPARE(page.rows, QList<CashRow>{before});
    QCOMPARE(page.saves, 0);

    // Saving after the cancel finds nothing in edit mode and asks for nothing.
    page.editor.saveCashRow();
    QCOMPARE(page.saves, 0);
}

void BalanceRulesTest::deleteSavesAndLeavesEditMode()
{
    Page page;
    page.rows = {cash("A", "Futu", 10, "USD"), cash("B", "Futu", 3, "HKD"), cash("C", "IBKR", 3, "HKD")};
    page.editor.beginCashEditing(page.rows[1]);

    page.editor.deleteCashRow(QStringLiteral("C"));
    QCOMPARE(page.saves, 1);
    QCOMPARE(page.editor.editingCashRowID(), std::optional<QString>(QStringLiteral("B")));

    page.editor.deleteCashRow(QStringLiteral("B"));
    QCOMPARE(page.saves, 2);
    QCOMPARE(page.rows, QList<CashRow>{cash("A", "Futu", 10, "USD")});
    QVERIFY(!page.editor.editingCashRowID());
    QVERIFY(!page.editor.originalCashRow());
}

void BalanceRulesTest::pickersRefuseADuplicateAndSpringBack()
{
    Page page;
    page.rows = {cash("A", "Futu", 10, "USD"), cash("B", "IBKR", 3, "HKD")};
    page.editor.beginCashEditing(page.rows[1]);
    const auto broker = page.editor.uniqueBrokerBinding(QStringLiteral("B"));
    const auto currencyPicker = page.editor.uniqueCurrencyBinding(QStringLiteral("B"));

    // IBKR/HKD -> futu/HKD is free; then HKD -> usd would make futu/usd, which A holds as Futu/USD.
    broker.set(QStringLiteral("futu"));
    QCOMPARE(broker.get(), QStringLiteral("futu"));
    QVERIFY(!page.editor.balanceEditError());
    currencyPicker.set(QStringLiteral("usd"));
    QCOMPARE(currencyPicker.get(), QStringLiteral("HKD"));
    QCOMPARE(page.editor.balanceEditError(), std::optional<QString>(BalanceEditor::duplicatePairMessage));
    page.editor.dismissBalanceEditError();

    page.editor.uniqueCurrencyBinding(QStringLiteral("A")).set(QStringLiteral("EUR"));
    broker.set(QStringLiteral("Snowball"));
    currencyPicker.set(QStringLiteral("EUR"));
    // Choosing A's broker while B holds A's currency is the same refusal from the other picker.
    broker.set(QStringLiteral("FUTU"));
    QCOMPARE(broker.get(), QStringLiteral("Snowball"));
    QCOMPARE(page.editor.balanceEditError(), std::optional<QString>(BalanceEditor::duplicatePairMessage));
    // Picks write the working copy at once but never ask for a save.
    QCOMPARE(page.saves, 0);
}

void BalanceRulesTest::aCurrencyChangeReplacesTheStoredRate_data()
{
    QTest::addColumn<QList<CurrencyOption>>("listed");
    QTest::addColumn<QString>("code");
    QTest::addColumn<double>("rate");
    const QList<CurrencyOption> listed{currency("USD", 1), currency("EUR", 1.17), currency("GBP", 1.3)};
    QTest::newRow("listed rate over the built-in one") << listed << "GBP" << 1.3;
    QTest::newRow("unlisted: built-in rate") << listed << "JPY" << CurrencyCatalog::fxToUSD(u"JPY");
    QTest::newRow("no list: built-in rate") << QList<CurrencyOption>{} << "HKD" << CurrencyCatalog::fxToUSD(u"HKD");
    QTest::newRow("the same code keeps the stored rate") << listed << "USD" << 0.5;
}

void BalanceRulesTest::aCurrencyChangeReplacesTheStoredRate()
{
    QFETCH(QList<CurrencyOption>, listed);
    QFETCH(QString, code);
    Page page;
    page.given.supportedCurrencies = listed;
    page.rows = {cash("A", "Futu", 100, "USD", 0.5)};
    page.editor.beginCashEditing(page.rows[0]);
    page.editor.uniqueCurrencyBinding(QStringLiteral("A")).set(code);
    // Re-picking the broker the row already has changes nothing.
    page.editor.uniqueBrokerBinding(QStringLiteral("A")).set(QStringLiteral("Futu"));
    QFETCH(double, rate);
    QCOMPARE(page.rows, QList<CashRow>{cash("A", "Futu", 100, qPrintable(code), rate)});
    QVERIFY(!page.editor.balanceEditError());
}

void BalanceRulesTest::editModeEndsWhenItsRowIsGone()
{
    Page page;
    page.rows = {cash("A", "Futu", 10, "USD")};
    page.editor.beginCashEditing(page.rows[0]);
    page.editor.setOriginalCash(QStringLiteral("A"), 20);
    page.editor.cashRowsDidChange();
    QVERIFY(page.editor.editingCashRowID());

    // A sign-out empties the list; the next session loads row A again, with the service's amount.
    page.rows.clear();
    page.editor.cashRowsDidChange();
    QVERIFY(!page.editor.editingCashRowID());
    page.rows = {cash("A", "Futu", 30, "USD")};
    page.editor.cancelCashEditing();
    QCOMPARE(page.rows[0].originalCash, 30.0);
}

void BalanceRulesTest::leavingARowForAnother_data()
{
    QTest::addColumn<bool>("fromNewRow");
    QTest::addColumn<double>("typedCash"); // 0: nothing typed
    QTest::addColumn<bool>("left");
    QTest::addColumn<int>("rowsAfter");
    QTest::addColumn<int>("saves");
    QTest::newRow("changed row is saved") << false << 500.0 << true << 2 << 1;
    QTest::newRow("refused row keeps the focus") << false << -5.0 << false << 2 << 0;
    QTest::newRow("untouched new row goes away") << true << 0.0 << true << 2 << 0;
    QTest::newRow("filled new row is added") << true << 500.0 << true << 3 << 1;
}

void BalanceRulesTest::leavingARowForAnother()
{
    QFETCH(bool, fromNewRow);
    QFETCH(double, typedCash);
    QFETCH(bool, left);
    QFETCH(int, rowsAfter);
    QFETCH(int, saves);
    Page page;
    page.given.brokerageOptions = {QStringLiteral("Futu"), QStringLiteral("IBKR")};
    page.given.supportedCurrencies = {currency("USD", 1)};
    page.rows = {cash("A", "Futu", 1, "USD"), cash("B", "IBKR", 2, "USD")};
    if (fromNewRow) {
        page.given.brokerageOptions.append(QStringLiteral("Tiger"));
        page.editor.addCashRow();
    } else {
        page.editor.beginCashEditing(page.rows[0]);
    }
    const QString from = *page.editor.editingCashRowID();
    if (typedCash != 0)
        page.editor.setOriginalCash(from, typedCash);

    page.editor.beginCashEditing(page.rows[1]);

    QCOMPARE(page.editor.editingCashRowID(), std::optional(left ? QStringLiteral("B") : from));
    QCOMPARE(page.editor.balanceEditError().has_value(), !left);
    QCOMPARE(page.rows.size(), rowsAfter);
    QCOMPARE(page.saves, saves);
}

void BalanceRulesTest::allocationSharesAreOfTheWholeSum()
{
    const auto items = allocation(ValuesByLabel{
        {QStringLiteral("a"), 30}, {QStringLiteral("b"), 90}, {QStringLiteral("c"), 0}, {QStringLiteral("d"), -20}});
    QCOMPARE(items.size(), size_t(2));
    QCOMPARE(items[0].label, std::string("b"));
    QCOMPARE(items[0].percentage, 90.0);
    QCOMPARE(items[1].label, std::string("a"));
    QCOMPARE(items[1].percentage, 30.0);

    // A sum that is not above zero leaves the shares at 0.
    const auto lopsided = allocation(ValuesByLabel{{QStringLiteral("a"), 10}, {QStringLiteral("b"), -30}});
    QCOMPARE(lopsided.size(), size_t(1));
    QCOMPARE(lopsided[0].percentage, 0.0);
}

void BalanceRulesTest::compositionWithoutCashHasNoCashSlice()
{
    BalanceInputs given;
    given.holdingValueUSD = 750;
    given.language.code = QStringLiteral("ko-KR");
    const auto none = balanceFigures({}, given);
    QCOMPARE(none.holdingVsCash.size(), size_t(1));
    QCOMPARE(QString::fromStdString(none.holdingVsCash[0].label), AppText::value(u"investments", u"ko-KR"));
    QCOMPARE(none.holdingVsCash[0].percentage, 100.0);

    const auto some = balanceFigures({cash("A", "Futu", 250, "USD")}, given);
    QCOMPARE(some.holdingVsCash.size(), size_t(2));
    QCOMPARE(QString::fromStdString(some.holdingVsCash[1].label), AppText::value(u"cash", u"ko-KR"));
    QCOMPARE(some.holdingVsCash[1].percentage, 25.0);
}

void BalanceRulesTest::onlyTheFirstRowOfABrokerCarriesItsFigures()
{
    BalanceInputs given;
    given.holdingValueUSD = 1000;
    given.holdingByBroker = {AllocationItem{"Futu", 600, 60}, AllocationItem{"IBKR", 400, 40}};
    const QList<CashRow> rows{cash("A", "IBKR", 100, "USD"), cash("B", "Futu", 1000, "HKD", 0.13),
                              cash("C", "Futu", 50, "USD"), cash("D", "futu", 10, "USD")};
    const BalanceFigures figures = balanceFigures(rows, given);
    QCOMPARE(figures.cashValueUSD, 100 + 130 + 50 + 10.0);

    const auto first = figures.row(rows, rows[1]);
    QVERIFY(first.isFirst);
    QCOMPARE(first.cashValueUsd, 130.0);
    QCOMPARE(first.holdingsUsd, 600.0);
    QCOMPARE(first.accountUsd, 600 + 130 + 50.0);
    QVERIFY(!figures.row(rows, rows[2]).isFirst);
    QCOMPARE(figures.row(rows, rows[2]).cashValueUsd, 50.0);
    // Broker figures go by the exact text: "futu" is a broker of its own, without holdings.
    const auto lower = figures.row(rows, rows[3]);
    QVERIFY(lower.isFirst);
    QCOMPARE(lower.holdingsUsd, 0.0);
    QCOMPARE(lower.accountUsd, 10.0);
}

QTEST_GUILESS_MAIN(BalanceRulesTest)
#include "tst_balancerules.moc"
