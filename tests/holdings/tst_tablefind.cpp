// Sorting and filtering the holdings and cash tables through their headers and filter fields, and the
// currency symbol of the editing row. Any Qt warning on the way fails the test.

#include "app/balances/BalanceEditor.h"
#include "app/balances/BalanceTable.h"
#include "app/balances/BalanceTableModel.h"
#include "app/charts/AllocationPanel.h"
#include "app/charts/HoldingStatsView.h"
#include "app/holdings/HoldingsEditor.h"
#include "app/holdings/HoldingsTable.h"
#include "app/holdings/HoldingsTableModel.h"
#include "app/table/AddTableButton.h"
#include "app/table/CellEditors.h"
#include "app/table/FilterField.h"
#include "app/table/ResizableHeader.h"
#include "app/table/RowsProxy.h"
#include "app/table/TableStyle.h"
#include "app/table/TotalRowView.h"
#include "tests/holdings/TablePages.h"
#include "tests/support/QuietConsole.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QTableView>

using namespace quillfern;
using namespace quillfern::testing;

namespace {

// Values in US dollars: market value 4,800 / 5,000 / 15,000 / 250 / 110,000, so the texts ("$110,000.00"
// before "$15,000.00" before "$250.00") sort differently from the figures.
QList<AssetRow> holdings()
{
    const auto row = [](const char *id, const char *sector, const char *sub, const char *code, const char *broker,
                        double average, double quantity, double price) {
        const auto text = [](const char *utf8) { return QString::fromUtf8(utf8); };
        return AssetRow{text(id),     text("US"), text(sector), text(sub), text(code),
                        text(broker), average,    quantity,     price};
    };
    return {row("A", "Information Technology", "Semiconductors", "nvda", "Futu", 95, 40, 120),
            row("B", "Information Technology", "Application Software", "AAPL", "Tiger", 150, 25, 200),
            row("C", "Financials", "Diversified Banks", "JPM", "Interactive Brokers", 200, 100, 150),
            row("D", "Real Estate", "REITs", "O", "楽天証券", 60, 5, 50),
            row("E", "Energy", "Coal & Consumable Fuels", "XOM", "Firstrade", 100, 1000, 110)};
}

// Types text key by key, as a keyboard or an input method delivers it (QTest's key clicks are ASCII only).
void type(QWidget *field, const QString &text)
{
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(field, &press);
    }
}

// Row ids from a list like "A B C".
QStringList ids(const char *spaced)
{
    return QString::fromLatin1(spaced).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

void clickHeader(table::ResizableHeader *header, int column)
{
    const QPoint middle(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                        header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, middle);
}

// The ids of the rows a table shows, in their order.
template <typename Table> QStringList shownIn(const Table *table)
{
    QStringList shown;
    for (int row = 0; row < table->proxy()->rowCount(); ++row)
        shown.append(table->model()->idAt(table->proxy()->sourceRow(row)));
    return shown;
}

QStringList texts(const table::TotalRowView *total)
{
    QStringList texts;
    for (const table::TotalCell &cell : total->cells())
        texts.append(cell.text);
    return texts;
}

} // namespace

class TableFindTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        failOnConsoleMessages();
        m_p = std::make_unique<TablePages>();
        QVERIFY(m_p->load(holdings()));
        m_p->holdings = std::make_unique<HoldingsPage>(m_p->workspace());
        m_p->balances = std::make_unique<BalancePage>(m_p->workspace());
        QVERIFY(showPage(*m_p->holdings) && showPage(*m_p->balances));
    }
    void cleanup() { m_p.reset(); }
    void sortsByColumnValue_data();
    void sortsByColumnValue();
    void rowGesturesFollowTheOrderKeptAcrossRestarts();
    void filterKeepsMatchingRows_data();
    void filterKeepsMatchingRows();
    void editingSymbolFollowsMarketAndCurrency_data();
    void editingSymbolFollowsMarketAndCurrency();

private:
    HoldingsTable &table() const { return *m_p->holdings->table(); }
    BalanceTable &cashTable() const { return *m_p->balances->table(); }
    QStringList shown(bool cash) const { return cash ? shownIn(&cashTable()) : shownIn(&table()); }
    QTableView *view(bool cash) const { return cash ? cashTable().view() : table().view(); }
    table::ResizableHeader *header(bool cash) const { return cash ? cashTable().header() : table().header(); }

    std::unique_ptr<TablePages> m_p;
};

void TableFindTest::sortsByColumnValue_data()
{
    QTest::addColumn<bool>("cash");
    QTest::addColumn<int>("column");
    QTest::addColumn<QStringList>("ascending");
    QTest::newRow("code: text, ignoring case") << false << int(CodeColumn) << ids("B C A D E");
    QTest::newRow("broker: text, any script") << false << int(BrokerColumn) << ids("E A C B D");
    QTest::newRow("position: number") << false << int(QuantityColumn) << ids("D B A C E");
    QTest::newRow("market value: money") << false << int(ValueUSDColumn) << ids("D A B C E");
    QTest::newRow("unrealized P/L: signed money") << false << int(NetUSDColumn) << ids("C D A B E");
    QTest::newRow("weight: percent") << false << int(HoldPercentColumn) << ids("D A B C E");
    // USD 2,500, HKD 10,000 ($1,280) and JPY 150,000 ($960).
    QTest::newRow("cash currency: text") << true << int(BalanceTableModel::CurrencyColumn) << ids("C2 C3 C1");
    QTest::newRow("cash: native number") << true << int(BalanceTableModel::OriginalCashColumn) << ids("C1 C2 C3");
    QTest::newRow("cash value: money") << true << int(BalanceTableModel::CashValueColumn) << ids("C3 C2 C1");
}

void TableFindTest::sortsByColumnValue()
{
    QFETCH(bool, cash);
    QFETCH(int, column);
    QFETCH(QStringList, ascending);
    table::ResizableHeader *h = header(cash);
    clickHeader(h, column);
    QCOMPARE(shown(cash), ascending);
    QCOMPARE(h->sortIndicatorSection(), column);
    QCOMPARE(h->sortIndicatorOrder(), Qt::AscendingOrder);

    clickHeader(h, column);
    std::reverse(ascending.begin(), ascending.end());
    QCOMPARE(shown(cash), ascending);
    QCOMPARE(h->sortIndicatorOrder(), Qt::DescendingOrder);

    // The row buttons' column does not sort.
    clickHeader(h, cash ? int(BalanceTableModel::ActionsColumn) : int(ActionsColumn));
    QCOMPARE(h->sortIndicatorSection(), column);
    QCOMPARE(shown(cash), ascending);
}

void TableFindTest::rowGesturesFollowTheOrderKeptAcrossRestarts()
{
    clickHeader(header(false), QuantityColumn);
    clickHeader(header(false), QuantityColumn);
    clickHeader(header(true), BalanceTableModel::CashValueColumn);
    QCOMPARE(shown(false), ids("E C A B D"));
    QTableView *v = view(false);
    const auto cell = [v](int row, int column) { return v->visualRect(v->model()->index(row, column)); };
    HoldingsEditor &e = m_p->holdings->editor();

    // A double click: QTest's double click is the second click of the pair.
    QTest::mouseClick(v->viewport(), Qt::LeftButton, {}, cell(0, CodeColumn).center());
    QCOMPARE(e.selectedRowID(), std::optional<QString>(QStringLiteral("E")));
    QTest::mouseDClick(v->viewport(), Qt::LeftButton, {}, cell(0, CodeColumn).center());
    QCOMPARE(e.editingRowID(), std::optional<QString>(QStringLiteral("E")));
    auto *code = qobject_cast<table::EditingTextCell *>(v->indexWidget(v->model()->index(0, CodeColumn)));
    QVERIFY(code);
    QCOMPARE(code->text(), QStringLiteral("XOM"));
    e.cancelEditing();

    QTest::mouseClick(v->viewport(), Qt::LeftButton, {}, cell(1, CodeColumn).center());
    QCOMPARE(e.selectedRowID(), std::optional<QString>(QStringLiteral("C")));
    const QRect trash = cell(1, ActionsColumn);
    QTest::mouseClick(v->viewport(), Qt::LeftButton, {},
                      QPoint(trash.left() + table::cellInset + 8, trash.center().y()));
    QCOMPARE(shown(false), ids("E A B D"));

    // Another start with the same preferences file shows the same orders.
    m_p->workspace().preferences().sync();
    Workspace again(*m_p->harness.auth, APIEndpoint{m_p->server.baseURL(), &m_p->harness.network},
                    m_p->harness.preferences());
    HoldingsPage holdings(again);
    BalancePage balances(again);
    QCOMPARE(holdings.table()->header()->sortIndicatorSection(), int(QuantityColumn));
    QCOMPARE(holdings.table()->header()->sortIndicatorOrder(), Qt::DescendingOrder);
    QCOMPARE(holdings.table()->proxy()->sortColumn(), int(QuantityColumn));
    QCOMPARE(balances.table()->header()->sortIndicatorSection(), int(BalanceTableModel::CashValueColumn));
    QCOMPARE(balances.table()->header()->sortIndicatorOrder(), Qt::AscendingOrder);

    // A file from before the day's change column counts the later columns one lower.
    QSettings &stored = m_p->workspace().preferences();
    stored.setValue(QStringLiteral("holdingsTable/sortColumn"), int(NetUSDColumn) - 1);
    stored.remove(QStringLiteral("holdingsTable/sortColumnCount"));
    stored.sync();
    Workspace older(*m_p->harness.auth, APIEndpoint{m_p->server.baseURL(), &m_p->harness.network},
                    m_p->harness.preferences());
    HoldingsPage upgraded(older);
    QCOMPARE(upgraded.table()->proxy()->sortColumn(), int(NetUSDColumn));
}

void TableFindTest::filterKeepsMatchingRows_data()
{
    QTest::addColumn<bool>("cash");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("kept");
    QTest::newRow("broker, other case") << false << QStringLiteral("futu") << ids("A");
    QTest::newRow("sector") << false << QStringLiteral("FINANCIALS") << ids("C");
    QTest::newRow("code, full width") << false << QStringLiteral("ａａｐｌ") << ids("B");
    QTest::newRow("Japanese broker") << false << QStringLiteral("楽天") << ids("D");
    QTest::newRow("part of several fields") << false << QStringLiteral("in") << ids("A B C");
    QTest::newRow("sub-industry") << false << QStringLiteral("coal") << ids("E");
    QTest::newRow("nothing") << false << QStringLiteral("zzz") << QStringList();
    QTest::newRow("spaces only") << false << QStringLiteral("  ") << ids("A B C D E");
    QTest::newRow("cash currency") << true << QStringLiteral("jpy") << ids("C3");
    QTest::newRow("cash broker") << true << QStringLiteral("FUTU") << ids("C1 C2");
}

void TableFindTest::filterKeepsMatchingRows()
{
    QFETCH(bool, cash);
    QFETCH(QString, typed);
    QFETCH(QStringList, kept);
    QWidget *page = cash ? static_cast<QWidget *>(m_p->balances.get()) : m_p->holdings.get();
    table::FilterField *filter = cash ? m_p->balances->filterField() : m_p->holdings->filterField();
    QLabel *note = cash ? m_p->balances->filterNote() : m_p->holdings->filterNote();
    table::TotalRowView *total = cash ? cashTable().totalRow() : table().totalRow();
    const AllocationPanel *chart = cash ? m_p->balances->panels()[0] : m_p->holdings->stats()->panels()[0];
    const QStringList totals = texts(total);
    const auto items = chart->items();
    const int height = cashTable().height();

    // The find shortcut takes the keyboard to the page's filter.
    page->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(page));
    QVERIFY(!filter->hasFocus());
    QTest::keySequence(page, QKeySequence::Find);
    QVERIFY(filter->hasFocus());
    type(filter, typed);
    QCOMPARE(shown(cash), kept);
    // Totals and charts still cover every row, and the note says so while the filter is on.
    QCOMPARE(texts(total), totals);
    QCOMPARE(chart->items(), items);
    QCOMPARE(note->isVisible(), !typed.trimmed().isEmpty());
    // The cash table is as tall as the rows it shows.
    QCOMPARE(cashTable().height(), height - (cash ? int(3 - shown(true).size()) * table::rowHeight : 0));

    if (!cash) {
        // A new row shows whatever the filter, while it is edited.
        QTest::mouseClick(m_p->holdings->addRowButton(), Qt::LeftButton);
        const auto added = m_p->holdings->editor().editingRowID();
        QVERIFY(added);
        QCOMPARE(shown(false), kept + QStringList{*added});
        QVERIFY(qobject_cast<table::EditingTextCell *>(
            view(false)->indexWidget(view(false)->model()->index(int(kept.size()), CodeColumn))));
        m_p->holdings->editor().cancelEditing();
        QCOMPARE(shown(false), kept);
    }
    // Escape empties the filter.
    QTest::keyClick(filter, Qt::Key_Escape);
    QVERIFY(filter->text().isEmpty());
    QCOMPARE(shown(cash).size(), cash ? 3 : 5);
    QVERIFY(!note->isVisible());
}

void TableFindTest::editingSymbolFollowsMarketAndCurrency_data()
{
    QTest::addColumn<bool>("cash");    // the first holding, in the US; the yen balance, the last cash row
    QTest::addColumn<QString>("keys"); // in the market (US HK CN JP EU) or currency (USD HKD EUR JPY) picker
    QTest::addColumn<QString>("symbol");
    QTest::newRow("holding in Hong Kong") << false << QStringLiteral("↓") << QStringLiteral("HK$");
    QTest::newRow("holding in Japan") << false << QStringLiteral("↓↓↓") << QStringLiteral("\u00A5");
    QTest::newRow("holding back in the US") << false << QStringLiteral("↓↑") << QStringLiteral("$");
    QTest::newRow("cash in euros") << true << QStringLiteral("↑") << QStringLiteral("\u20AC");
}

void TableFindTest::editingSymbolFollowsMarketAndCurrency()
{
    QFETCH(bool, cash);
    QFETCH(QString, keys);
    const int row = cash ? 2 : 0;
    if (cash)
        m_p->balances->editor().beginCashEditing(m_p->workspace().cashRows()[row]);
    else
        m_p->holdings->editor().beginEditing(m_p->workspace().rows()[row]);
    QTableView *v = view(cash);
    const auto editor = [v, row](int column) { return v->indexWidget(v->model()->index(row, column)); };
    auto *picker =
        qobject_cast<table::PickerCell *>(editor(cash ? int(BalanceTableModel::CurrencyColumn) : int(MarketColumn)));
    auto *number = qobject_cast<table::EditingNumberCell *>(
        editor(cash ? int(BalanceTableModel::OriginalCashColumn) : int(AveragePriceColumn)));
    QVERIFY(picker && number && number->prefixLabel());
    QCOMPARE(number->prefixLabel()->text(), cash ? QStringLiteral("\u00A5") : QStringLiteral("$"));
    for (const QChar key : keys)
        QTest::keyClick(picker, key == u'↓' ? Qt::Key_Down : Qt::Key_Up);
    QTEST(number->prefixLabel()->text(), "symbol");
    if (!cash) { // a quantity is no money
        auto *quantity = qobject_cast<table::EditingNumberCell *>(editor(QuantityColumn));
        QVERIFY(quantity && !quantity->prefixLabel());
    }
}

QTEST_MAIN(TableFindTest)
#include "tst_tablefind.moc"
