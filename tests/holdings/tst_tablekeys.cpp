// The holdings and cash tables driven from the keyboard alone, as in a spreadsheet. Any Qt warning on the
// way fails the test.

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
#include <QTableView>

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
    void init();
    void cleanup();
    void keys_data();
    void keys();

private:
    // Each row by id, as "code average quantity" or as its cash balance.
    QMap<QString, QString> rows(bool cash) const;

    std::unique_ptr<ScriptedServer> m_server;
    std::unique_ptr<WorkspaceHarness> m_h;
    std::unique_ptr<HoldingsPage> m_holdings;
    std::unique_ptr<BalancePage> m_balances;
};

void TableKeysTest::init()
{
    failOnConsoleMessages();
    const auto holding = [](const char *id, const char *code, const char *sub, double average, double quantity) {
        return AssetRow{QString::fromLatin1(id),
                        QStringLiteral("US"),
                        QStringLiteral("Information Technology"),
                        QString::fromLatin1(sub),
                        QString::fromLatin1(code),
                        QStringLiteral("Futu"),
                        average,
                        quantity,
                        120};
    };
    m_server = std::make_unique<ScriptedServer>();
    scriptSeededSession(*m_server);
    m_server->on("GET", "/v1/portfolio",
                 {200, seededPortfolio({holding("A", "NVDA", "Semiconductors", 95, 40),
                                        holding("B", "AAPL", "Application Software", 150, 25)},
                                       seededCash())});
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

QMap<QString, QString> TableKeysTest::rows(bool cash) const
{
    QMap<QString, QString> found;
    for (const CashRow &row : m_h->workspace->cashRows()) {
        if (cash)
            found[row.id] = QString::number(row.originalCash);
    }
    for (const AssetRow &row : m_h->workspace->rows()) {
        if (!cash)
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
    add("Tab round the row, Return from a picker", false, "edit", code, "15⇥⇥⇥⏎", "15 95 40");
    add("Tab moves on from the code and the cost", false, "edit", code, "AMD⇥150⇥10⏎", "AMD 150 10");
    add("Shift+Tab goes back", false, "edit", code, "⇥⇥7⇤8⏎", "NVDA 8 7");
    add("Escape after Tab cancels", false, "edit", code, "XYZ⇥5⇥⎋", "NVDA 95 40");
    add("Escape from the table itself", false, "row", value, "⎋", "NVDA 95 40");
    add("Shift+Tab from the table to the last field", false, "row", value, "⇤7⏎", "NVDA 95 7");
    add("a new holding by keyboard", false, "add", {}, "␣msft⇥300⇥2⏎", "MSFT 300 2");
    add("arrows move the current cell", false, "cell", code, "↓→", "NVDA 95 40", false, {H::AveragePriceColumn, 1});
    add("typing replaces the cell", false, "cell", quantity, "7⏎", "NVDA 95 7");
    add("F2 edits at the end of the text", false, "cell", quantity, "✎5⏎", "NVDA 95 405");
    add("typing over a figure starts nothing", false, "cell", value, "7", "NVDA 95 40");
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
    QFETCH(QString, row);
    QFETCH(bool, editing);
    QFETCH(QPoint, current);

    QWidget &page = cash ? static_cast<QWidget &>(*m_balances) : static_cast<QWidget &>(*m_holdings);
    page.resize(1280, 900);
    page.show();
    page.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&page));
    QTableView *table = cash ? m_balances->table()->view() : m_holdings->table()->view();
    const QMap<QString, QString> before = rows(cash);
    QString id;
    if (start == QLatin1String("add")) {
        (cash ? static_cast<QWidget *>(m_balances->addButton()) : m_holdings->addRowButton())
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
    QCOMPARE(after.value(id, QStringLiteral("-")), row);
    QCOMPARE(cash ? bool(m_balances->editor().editingCashRowID()) : bool(m_holdings->editor().editingRowID()), editing);
    if (!current.isNull()) {
        QCOMPARE(table->currentIndex(), table->model()->index(current.y(), current.x()));
        if (!cash) // the holdings table marks the row of the current cell
            QCOMPARE(m_holdings->editor().selectedRowID(), std::optional(before.keys().at(current.y())));
    }
    if (keys == QStringLiteral("⌦")) { // a deleted row comes back with undo
        m_h->workspace->undoStack().undo();
        QCOMPARE(rows(cash), before);
    }
}

QTEST_MAIN(TableKeysTest)
#include "tst_tablekeys.moc"
