// Number fields of the holdings and cash editing rows, typed into through the real widgets: what reads
// follows the user's number locale; anything else stays as typed, marked in place, and Return saves nothing.

#include "app/balances/BalancePage.h"
#include "app/balances/BalanceTable.h"
#include "app/balances/BalanceTableModel.h"
#include "app/holdings/HoldingsPage.h"
#include "app/holdings/HoldingsTable.h"
#include "app/holdings/HoldingsTableModel.h"
#include "app/table/CellEditors.h"
#include "tests/balances/SeededWorkspace.h"
#include "tests/support/QuietConsole.h"

#include <QTableView>

using namespace quillfern;
using namespace quillfern::testing;

class NumberEntryTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void typing_data();
    void typing();

private:
    ScriptedServer m_server;
    std::unique_ptr<WorkspaceHarness> m_harness;
    std::unique_ptr<QWidget> m_page;
    QByteArray m_locale = qgetenv("LC_ALL");
};

void NumberEntryTest::init()
{
    failOnConsoleMessages();
    scriptSeededSession(m_server);
    m_harness = std::make_unique<WorkspaceHarness>();
    m_harness->open(m_server.baseURL(), QStringLiteral("token-1"));
    QVERIFY(m_harness->startAndLoad());
}

void NumberEntryTest::cleanup()
{
    m_page.reset();
    m_harness.reset();
    qputenv("LC_ALL", m_locale);
}

void NumberEntryTest::typing_data()
{
    QTest::addColumn<bool>("cash");
    QTest::addColumn<QByteArray>("locale");
    QTest::addColumn<QString>("interfaceLocale");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<std::optional<double>>("stored"); // none: refused
    QTest::addColumn<QString>("hint");                 // part of the refusal's message

    const std::optional<double> refused;
    const auto row = [](const char *name, bool cash, const char *locale, const char *typed,
                        std::optional<double> stored, const char *hint = "", const char *interface = "en_US") {
        QTest::newRow(name) << cash << QByteArray(locale) << QString::fromLatin1(interface)
                            << QString::fromUtf8(typed) << stored << QString::fromUtf8(hint);
    };
    row("holding en grouped", false, "en_US.UTF-8", "1,234.5", 1234.5);
    row("holding en letter inside", false, "en_US.UTF-8", "30a0", refused, "1,234.5");
    row("holding en letters around", false, "en_US.UTF-8", "abc3x0,0.5", refused, "1,234.5");
    row("holding en two decimal signs", false, "en_US.UTF-8", "1.2.3", refused, "1,234.5");
    row("holding de grouped", false, "de_DE.UTF-8", "1.234,5", 1234.5);
    row("holding de dot is ambiguous", false, "de_DE.UTF-8", "1.5", refused, "1.234,5");
    row("holding fr dot decimal", false, "fr_FR.UTF-8", "1.5", 1.5);
    row("holding ja message", false, "ja_JP.UTF-8", "30a0", refused, "\u6570\u5024", "ja_JP");
    row("cash en words", true, "en_US.UTF-8", "five hundred", refused, "1,234.5");
    row("cash en emptied", true, "en_US.UTF-8", "", refused, "1,234.5");
    row("cash en plus sign", true, "en_US.UTF-8", "+500", 500.0);
    row("cash de grouped", true, "de_DE.UTF-8", "1.234,5", 1234.5);
    row("cash ko message", true, "ko_KR.UTF-8", "abc", refused, "\uC22B\uC790", "ko_KR");
}

void NumberEntryTest::typing()
{
    QFETCH(bool, cash);
    QFETCH(QByteArray, locale);
    QFETCH(QString, interfaceLocale);
    QFETCH(QString, typed);
    QFETCH(std::optional<double>, stored);
    QFETCH(QString, hint);
    qputenv("LC_ALL", locale);

    Workspace &w = *m_harness->workspace;
    QTableView *view = nullptr;
    QModelIndex startCell, numberCell;
    std::function<double()> value;
    if (cash) {
        auto *page = new BalancePage(w);
        m_page.reset(page);
        view = page->table()->view();
        startCell = view->model()->index(0, BalanceTableModel::CurrencyColumn);
        numberCell = view->model()->index(0, BalanceTableModel::OriginalCashColumn);
        value = [&w] { return w.cashRows()[0].originalCash; };
    } else {
        auto *page = new HoldingsPage(w);
        m_page.reset(page);
        view = page->table()->view();
        startCell = view->model()->index(0, CodeColumn);
        numberCell = view->model()->index(0, AveragePriceColumn);
        value = [&w] { return w.rows()[0].averagePrice; };
    }
    m_page->setLocale(QLocale(interfaceLocale));
    m_page->resize(1280, 780);
    m_page->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_page.get()));
    const double before = value();

    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(startCell).center());
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(startCell).center());
    auto *cell = qobject_cast<table::EditingNumberCell *>(view->indexWidget(numberCell));
    QVERIFY(cell);
    cell->field()->setFocus();
    cell->field()->selectAll();
    QTest::keyClick(cell->field(), Qt::Key_Delete);
    QTest::keyClicks(cell->field(), typed);
    QCOMPARE(cell->isValid(), stored.has_value());
    // Return from another field of the row, once the number field is left.
    QWidget *other = view->indexWidget(startCell);
    QVERIFY(other);
    other->setFocus();
    QTest::keyClick(other, Qt::Key_Return);

    if (stored) {
        QVERIFY(!view->indexWidget(numberCell)); // the row left edit mode
        QCOMPARE(value(), *stored);
        QVERIFY(w.hasPendingSave());
        return;
    }
    // Refused: still editing, the text as typed, the message in place, nothing written or saved.
    QCOMPARE(view->indexWidget(numberCell), cell);
    QCOMPARE(cell->field()->text(), typed);
    QVERIFY2(cell->field()->toolTip().contains(hint), qPrintable(cell->field()->toolTip()));
    QCOMPARE(cell->field()->accessibleDescription(), cell->field()->toolTip());
    QVERIFY(cell->field()->palette().color(QPalette::Text) != view->palette().color(QPalette::Text));
    QCOMPARE(value(), before);
    QVERIFY(!w.hasPendingSave());
    QVERIFY(cell->field()->hasFocus());
}

QTEST_MAIN(NumberEntryTest)
#include "tst_numberentry.moc"
