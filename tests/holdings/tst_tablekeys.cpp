// The holdings and cash tables driven from the keyboard alone, as in a spreadsheet. Any Qt warning on the
// way fails the test.

#include "app/balances/BalanceEditor.h"
#include "app/balances/BalanceTable.h"
#include "app/balances/BalanceTableModel.h"
#include "app/holdings/HoldingsEditor.h"
#include "app/holdings/HoldingsTable.h"
#include "app/table/AddTableButton.h"
#include "tests/holdings/TablePages.h"
#include "tests/support/QuietConsole.h"

#include <QApplication>
#include <QLineEdit>
#include <QTableView>
#include <QUndoStack>

using namespace quillfern;
using namespace quillfern::testing;

namespace {

// Sends keys to whatever has the focus, as a keyboard does: ⇥ Tab, ⇤ Shift+Tab, ⏎ Return, ⎋ Escape,
// ␣ space, ✎ F2, ⌦ Delete, arrows; any other character is typed.
void press(const QString &keys)
{
    static const QHash<QChar, std::pair<Qt::Key, Qt::KeyboardModifier>> named{
        {u'⇥', {Qt::Key_Tab, Qt::NoModifier}},    {u'⇤', {Qt::Key_Tab, Qt::ShiftModifier}},
        {u'⏎', {Qt::Key_Return, Qt::NoModifier}}, {u'⎋', {Qt::Key_Escape, Qt::NoModifier}},
        {u'␣', {Qt::Key_Space, Qt::NoModifier}},  {u'✎', {Qt::Key_F2, Qt::NoModifier}},
        {u'⌦', {Qt::Key_Delete, Qt::NoModifier}}, {u'↑', {Qt::Key_Up, Qt::NoModifier}},
        {u'↓', {Qt::Key_Down, Qt::NoModifier}},   {u'→', {Qt::Key_Right, Qt::NoModifier}}};
    for (const QChar key : keys) {
        QWidget *target = QApplication::focusWidget();
        QVERIFY2(target, "nothing has the focus");
        if (named.contains(key))
            QTest::keyClick(target, named[key].first, named[key].second);
        else
            QTest::keyClicks(target, QString(key));
    }
}

} // namespace

class TableKeysTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        failOnConsoleMessages();
        m_p = std::make_unique<TablePages>(); // AAPL and NVDA at 10 a share, 5 shares each; cash of 2,500 first
        QVERIFY(m_p->load());
        m_p->holdings = std::make_unique<HoldingsPage>(m_p->workspace());
        m_p->balances = std::make_unique<BalancePage>(m_p->workspace());
    }
    void cleanup() { m_p.reset(); }
    void keys_data();
    void keys();

private:
    // Each row by id, as "code average quantity" or as its cash balance.
    QMap<QString, QString> rows(bool cash) const;

    std::unique_ptr<TablePages> m_p;
};

QMap<QString, QString> TableKeysTest::rows(bool cash) const
{
    QMap<QString, QString> found;
    if (cash) {
        for (const CashRow &row : m_p->workspace().cashRows())
            found[row.id] = QString::number(row.originalCash);
    } else {
        for (const AssetRow &row : m_p->workspace().rows())
            found[row.id] = QStringLiteral("%1 %2 %3").arg(row.code).arg(row.averagePrice).arg(row.quantity);
    }
    return found;
}

void TableKeysTest::keys_data()
{
    QTest::addColumn<bool>("cash");
    // "edit": a double click on the cell, its text then selected; "row": a double click, then a click that
    // leaves the focus on the table; "cell": a click; "add": the add button focused, as Tab leaves it.
    QTest::addColumn<QString>("start");
    QTest::addColumn<QPoint>("cell"); // column, row
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("row"); // the clicked or added row afterwards; "-" when it is gone
    QTest::addColumn<bool>("editing");
    QTest::addColumn<QPoint>("current"); // where the current cell ends, when it matters

    using H = AssetColumn;
    const QPoint code(H::CodeColumn, 0), quantity(H::QuantityColumn, 0), value(H::ValueUSDColumn, 0);
    const QPoint cash(BalanceTableModel::OriginalCashColumn, 0);
    const auto add = [](const char *name, bool cash, const char *start, QPoint cell, const char *keys, const char *row,
                        bool editing = false, QPoint current = {}) {
        QTest::newRow(name) << cash << QString::fromLatin1(start) << cell << QString::fromUtf8(keys)
                            << QString::fromUtf8(row) << editing << current;
    };
    add("Tab round the row, Return from a picker", false, "edit", code, "15⇥⇥⇥⏎", "15 10 5");
    add("Tab moves on from the code and the cost", false, "edit", code, "AMD⇥150⇥10⏎", "AMD 150 10");
    add("Shift+Tab goes back", false, "edit", code, "⇥⇥7⇤8⏎", "AAPL 8 7");
    add("Escape after Tab cancels", false, "edit", code, "XYZ⇥6⇥⎋", "AAPL 10 5");
    add("Return with nothing changed saves nothing", false, "edit", quantity, "⏎", "AAPL 10 5");
    add("Escape from the table itself", false, "row", value, "⎋", "AAPL 10 5");
    add("Shift+Tab from the table to the last field", false, "row", value, "⇤7⏎", "AAPL 10 7");
    add("a new holding by keyboard", false, "add", {}, "␣msft⇥300⇥2⏎", "MSFT 300 2");
    add("a cancelled new holding goes, from the code", false, "add", {}, "␣msft⎋", "-");
    add("a cancelled new holding goes, from the quantity", false, "add", {}, "␣msft⇥⇥2⎋", "-");
    add("arrows move the current cell", false, "cell", code, "↓→", "AAPL 10 5", false, {H::AveragePriceColumn, 1});
    add("typing replaces the cell", false, "cell", quantity, "7⏎", "AAPL 10 7");
    add("F2 edits at the end of the text", false, "cell", quantity, "✎5⏎", "AAPL 10 55");
    add("typing over a figure starts nothing", false, "cell", value, "7", "AAPL 10 5");
    add("Return with no row editing does nothing", false, "cell", quantity, "⏎", "AAPL 10 5");
    add("Delete deletes at once", false, "cell", code, "⌦", "-");
    add("cash: Tab round the row", true, "edit", cash, "15⇥⇥⇥7⏎", "7");
    add("cash: Escape after Tab cancels", true, "edit", cash, "15⇥⎋", "2500");
    add("cash: typing replaces the cell", true, "cell", cash, "9⏎", "9");
    add("cash: F2 starts editing", true, "cell", cash, "✎", "2500", true);
    add("cash: a cancelled new row goes", true, "add", {}, "␣⇥⎋", "-");
    add("cash: Delete deletes at once", true, "cell", cash, "⌦", "-");
}

void TableKeysTest::keys()
{
    QFETCH(bool, cash);
    QFETCH(QString, start);
    QFETCH(QPoint, cell);
    QFETCH(QPoint, current);

    QWidget &page = cash ? static_cast<QWidget &>(*m_p->balances) : static_cast<QWidget &>(*m_p->holdings);
    page.resize(1280, 900);
    page.show();
    page.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&page));
    QTableView *table = cash ? m_p->balances->table()->view() : m_p->holdings->table()->view();
    const QMap<QString, QString> before = rows(cash);
    QString id;
    if (start == QLatin1String("add")) {
        (cash ? static_cast<QWidget *>(m_p->balances->addButton()) : m_p->holdings->addRowButton())
            ->setFocus(Qt::TabFocusReason);
    } else {
        id = before.keys().at(cell.y()); // the tables show the seeded order, which sorts by id
        const QPoint at = table->visualRect(table->model()->index(cell.y(), cell.x())).center();
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, at);
        if (start != QLatin1String("cell"))
            QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, at);
        if (start == QLatin1String("row"))
            QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, at);
        if (start == QLatin1String("edit")) {
            auto *field = qobject_cast<QLineEdit *>(QApplication::focusWidget());
            QVERIFY(field);
            field->selectAll();
        }
    }
    QFETCH(QString, keys);
    press(keys);
    if (QTest::currentTestFailed())
        return;
    const QMap<QString, QString> after = rows(cash);
    for (const QString &each : after.keys())
        id = before.contains(each) ? id : each; // an added row
    QTEST(after.value(id, QStringLiteral("-")), "row");
    QTEST(cash ? bool(m_p->balances->editor().editingCashRowID()) : bool(m_p->holdings->editor().editingRowID()),
          "editing");
    if (!current.isNull()) {
        QCOMPARE(table->currentIndex(), table->model()->index(current.y(), current.x()));
        if (!cash) // the holdings table marks the row of the current cell
            QCOMPARE(m_p->holdings->editor().selectedRowID(), std::optional(before.keys().at(current.y())));
    }
    // A completed change is one step to undo; anything given up or left unchanged is none.
    QUndoStack &undo = m_p->workspace().undoStack();
    QCOMPARE(undo.count(), after == before ? 0 : 1);
    undo.undo();
    QCOMPARE(rows(cash), before);
}

QTEST_MAIN(TableKeysTest)
#include "tst_tablekeys.moc"
