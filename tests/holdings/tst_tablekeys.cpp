// The holdings and cash tables driven from the keyboard alone, as in a spreadsheet: Tab between the
// fields of the editing row, Return and Escape from any of them, and arrows, F2, typing and Delete on the
// table itself. Any Qt warning on the way fails the test.

#include "app/balances/BalanceEditor.h"
#include "app/balances/BalancePage.h"
#include "app/balances/BalanceTable.h"
#include "app/balances/BalanceTableModel.h"
#include "app/holdings/HoldingsEditor.h"
#include "app/holdings/HoldingsPage.h"
#include "app/holdings/HoldingsTable.h"
#include "app/table/AddTableButton.h"
#include "tests/balances/SeededWorkspace.h"
#include "tests/support/QuietConsole.h"

#include <QApplication>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTableView>

using namespace quillfern;
using namespace quillfern::testing;

namespace {

QList<AssetRow> holdings()
{
    return {AssetRow{QStringLiteral("A"), QStringLiteral("US"), QStringLiteral("Information Technology"),
                     QStringLiteral("Semiconductors"), QStringLiteral("NVDA"), QStringLiteral("Futu"), 95, 40, 120},
            AssetRow{QStringLiteral("B"), QStringLiteral("US"), QStringLiteral("Information Technology"),
                     QStringLiteral("Application Software"), QStringLiteral("AAPL"), QStringLiteral("IBKR"), 150, 25,
                     200}};
}

// Sends a script of keys to whatever has the focus, as a keyboard would: plain characters are typed, and
// <tab>, <backtab>, <ret>, <esc>, <space>, <f2>, <del> and the arrows <up> <down> <left> <right> are keys.
void press(const QString &script)
{
    static const QHash<QString, std::pair<Qt::Key, Qt::KeyboardModifiers>> named{
        {QStringLiteral("tab"), {Qt::Key_Tab, Qt::NoModifier}},
        {QStringLiteral("backtab"), {Qt::Key_Tab, Qt::ShiftModifier}},
        {QStringLiteral("ret"), {Qt::Key_Return, Qt::NoModifier}},
        {QStringLiteral("esc"), {Qt::Key_Escape, Qt::NoModifier}},
        {QStringLiteral("space"), {Qt::Key_Space, Qt::NoModifier}},
        {QStringLiteral("f2"), {Qt::Key_F2, Qt::NoModifier}},
        {QStringLiteral("del"), {Qt::Key_Delete, Qt::NoModifier}},
        {QStringLiteral("up"), {Qt::Key_Up, Qt::NoModifier}},
        {QStringLiteral("down"), {Qt::Key_Down, Qt::NoModifier}},
        {QStringLiteral("left"), {Qt::Key_Left, Qt::NoModifier}},
        {QStringLiteral("right"), {Qt::Key_Right, Qt::NoModifier}}};
    static const QRegularExpression token(QStringLiteral("<(\\w+)>|(.)"));
    for (const QRegularExpressionMatch &match : token.globalMatch(script)) {
        QWidget *target = QApplication::focusWidget();
        QVERIFY2(target, qPrintable(QStringLiteral("no focus before ") + match.captured(0)));
        if (match.capturedLength(1)) {
            QVERIFY2(named.contains(match.captured(1)), qPrintable(match.captured(0)));
            const auto [key, modifiers] = named.value(match.captured(1));
            QTest::keyClick(target, key, modifiers);
        } else {
            QTest::keyClicks(target, match.captured(2));
        }
    }
}

} // namespace

class TableKeysTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void keys_data();
    void keys();
    void deleteIsUndoable_data();
    void deleteIsUndoable();

private:
    QTableView *view(bool cash) const { return cash ? m_balances->table()->view() : m_holdings->table()->view(); }
    // The row with this id as "code average quantity" or as its cash balance; "-" once it is gone.
    QString rowText(bool cash, const QString &id) const;
    QStringList ids(bool cash) const;

    std::unique_ptr<ScriptedServer> m_server;
    std::unique_ptr<WorkspaceHarness> m_h;
    std::unique_ptr<HoldingsPage> m_holdings;
    std::unique_ptr<BalancePage> m_balances;
};

void TableKeysTest::init()
{
    failOnConsoleMessages();
    m_server = std::make_unique<ScriptedServer>();
    scriptSeededSession(*m_server);
    m_server->on("GET", "/v1/portfolio", {200, seededPortfolio(holdings(), seededCash())});
    m_server->on("GET", "/v1/market/stock", {404, R"({"error":"No quote."})"});
    m_h = std::make_unique<WorkspaceHarness>();
    m_h->open(m_server->baseURL(), QStringLiteral("token-a"));
    QVERIFY(m_h->startAndLoad());
    m_holdings = std::make_unique<HoldingsPage>(*m_h->workspace);
    m_balances = std::make_unique<BalancePage>(*m_h->workspace);
}

void TableKeysTest::cleanup()
{
    m_balances.reset();
    m_holdings.reset();
    m_h.reset();
    m_server.reset();
}

QString TableKeysTest::rowText(bool cash, const QString &id) const
{
    const Workspace &w = *m_h->workspace;
    for (const CashRow &row : w.cashRows()) {
        if (cash && row.id == id)
            return QString::number(row.originalCash);
    }
    for (const AssetRow &row : w.rows()) {
        if (!cash && row.id == id)
            return QStringList{row.code, QString::number(row.averagePrice), QString::number(row.quantity)}.join(u' ');
    }
    return QStringLiteral("-");
}

QStringList TableKeysTest::ids(bool cash) const
{
    QStringList found;
    for (const CashRow &row : m_h->workspace->cashRows())
        found.append(cash ? row.id : QString());
    for (const AssetRow &row : m_h->workspace->rows())
        found.append(cash ? QString() : row.id);
    found.removeAll(QString());
    return found;
}

void TableKeysTest::keys_data()
{
    QTest::addColumn<bool>("cash");
    // "edit": a double click on the cell, then its text selected; "row": a double click, then a click that
    // leaves the focus on the table; "cell": a click on it; "add": the add button focused, as Tab leaves it.
    QTest::addColumn<QString>("start");
    QTest::addColumn<QPoint>("cell"); // column, row
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("row"); // the clicked (or added) row afterwards
    QTest::addColumn<bool>("editing");
    QTest::addColumn<QPoint>("current"); // where the current cell ends, when it matters

    using H = AssetColumn;
    using C = BalanceTableModel;
    const QPoint code(H::CodeColumn, 0), quantity(H::QuantityColumn, 0), cashCell(C::OriginalCashColumn, 0);
    QTest::newRow("tabs round the row, Return saves from a picker")
        << false << "edit" << code << "15<tab><tab><tab><ret>"
        << "15 95 40" << false << QPoint();
    QTest::newRow("Tab moves on from the code and the cost") << false << "edit" << code << "AMD<tab>150<tab>10<ret>"
                                                             << "AMD 150 10" << false << QPoint();
    QTest::newRow("Shift+Tab goes back") << false << "edit" << code << "<tab><tab>7<backtab>8<ret>"
                                         << "NVDA 8 7" << false << QPoint();
    QTest::newRow("Escape after Tab cancels") << false << "edit" << code << "XYZ<tab>5<tab><esc>"
                                              << "NVDA 95 40" << false << QPoint();
    QTest::newRow("Escape from the table itself") << false << "row" << QPoint(H::ValueUSDColumn, 0) << "<esc>"
                                                  << "NVDA 95 40" << false << QPoint();
    QTest::newRow("Shift+Tab from the table to the last field")
        << false << "row" << QPoint(H::ValueUSDColumn, 0) << "<backtab>7<ret>"
        << "NVDA 95 7" << false << QPoint();
    QTest::newRow("a new holding by keyboard") << false << "add" << QPoint() << "<space>msft<tab>300<tab>2<ret>"
                                               << "MSFT 300 2" << false << QPoint();
    QTest::newRow("arrows move the current cell") << false << "cell" << code << "<down><right>"
                                                  << "NVDA 95 40" << false << QPoint(H::AveragePriceColumn, 1);
    QTest::newRow("typing replaces the cell") << false << "cell" << quantity << "7<ret>"
                                              << "NVDA 95 7" << false << QPoint();
    QTest::newRow("F2 edits at the end of the text") << false << "cell" << quantity << "<f2>5<ret>"
                                                     << "NVDA 95 405" << false << QPoint();
    QTest::newRow("typing over a figure starts nothing") << false << "cell" << QPoint(H::ValueUSDColumn, 0) << "7"
                                                         << "NVDA 95 40" << false << QPoint();
    QTest::newRow("cash: tabs round the row, Return saves") << true << "edit" << cashCell << "15<tab><tab><tab>7<ret>"
                                                            << "7" << false << QPoint();
    QTest::newRow("cash: Escape after Tab cancels") << true << "edit" << cashCell << "15<tab><esc>"
                                                    << "2500" << false << QPoint();
    QTest::newRow("cash: typing replaces the cell") << true << "cell" << cashCell << "9<ret>"
                                                    << "9" << false << QPoint();
    QTest::newRow("cash: a cancelled new row goes") << true << "add" << QPoint() << "<space><tab><esc>"
                                                    << "-" << false << QPoint();
    QTest::newRow("cash: F2 keeps the row editing") << true << "cell" << cashCell << "<f2>"
                                                    << "2500" << true << QPoint();
}

void TableKeysTest::keys()
{
    QFETCH(bool, cash);
    QFETCH(QString, start);
    QFETCH(QPoint, cell);
    QFETCH(QString, script);
    QFETCH(QString, row);
    QFETCH(bool, editing);
    QFETCH(QPoint, current);

    QWidget &page = cash ? static_cast<QWidget &>(*m_balances) : static_cast<QWidget &>(*m_holdings);
    page.resize(1280, 900);
    page.show();
    page.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&page));
    QTableView *table = view(cash);
    const QStringList before = ids(cash);
    QString id;
    if (start == QLatin1String("add")) {
        QWidget *add = cash ? static_cast<QWidget *>(m_balances->addButton()) : m_holdings->addRowButton();
        add->setFocus(Qt::TabFocusReason);
    } else {
        const QModelIndex index = table->model()->index(cell.y(), cell.x());
        id = before.at(cell.y()); // the tables show the seeded order
        const QPoint at = table->visualRect(index).center();
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, at);
        if (start != QLatin1String("cell"))
            QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, at);
        if (start == QLatin1String("edit")) {
            auto *field = qobject_cast<QLineEdit *>(QApplication::focusWidget());
            QVERIFY(field);
            field->selectAll();
        } else if (start == QLatin1String("row")) {
            QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, at);
            QCOMPARE(QApplication::focusWidget(), table);
        }
    }
    press(script);
    if (QTest::currentTestFailed())
        return;
    if (id.isEmpty()) {
        const QStringList after = ids(cash);
        for (const QString &each : after)
            id = before.contains(each) ? id : each;
    }
    QCOMPARE(rowText(cash, id), row);
    QCOMPARE(cash ? bool(m_balances->editor().editingCashRowID()) : bool(m_holdings->editor().editingRowID()), editing);
    if (!current.isNull()) {
        QCOMPARE(table->currentIndex(), table->model()->index(current.y(), current.x()));
        if (!cash) // the holdings table marks the row of the current cell
            QCOMPARE(m_holdings->editor().selectedRowID(), std::optional(before.at(current.y())));
    }
}

void TableKeysTest::deleteIsUndoable_data()
{
    QTest::addColumn<bool>("cash");
    QTest::newRow("holdings") << false;
    QTest::newRow("cash") << true;
}

void TableKeysTest::deleteIsUndoable()
{
    QFETCH(bool, cash);
    QWidget &page = cash ? static_cast<QWidget &>(*m_balances) : static_cast<QWidget &>(*m_holdings);
    page.show();
    page.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&page));
    QTableView *table = view(cash);
    const QStringList before = ids(cash);
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, table->visualRect(table->model()->index(0, 0)).center());
    press(QStringLiteral("<del>"));
    QCOMPARE(ids(cash), before.mid(1));
    m_h->workspace->undoStack().undo();
    QCOMPARE(ids(cash), before);
}

QTEST_MAIN(TableKeysTest)
#include "tst_tablekeys.moc"
