#include "app/balances/BalancePage.h"
#include "app/balances/BalanceTable.h"
#include "app/balances/BalanceTableModel.h"
#include "app/charts/AllocationPanel.h"
#include "app/charts/HoldingStatsView.h"
#include "app/holdings/HoldingsEditor.h"
#include "app/holdings/HoldingsPage.h"
#include "app/holdings/HoldingsTable.h"
#include "app/holdings/HoldingsTableModel.h"
#include "app/table/AddTableButton.h"
#include "app/table/CellEditors.h"
#include "app/table/FilterField.h"
#include "app/table/ResizableHeader.h"
#include "app/table/RowsProxy.h"
#include "app/table/TableStyle.h"
#include "app/table/TotalRowView.h"
#include "tests/balances/SeededWorkspace.h"
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
        return AssetRow{QString::fromLatin1(id),
                        QStringLiteral("US"),
                        QString::fromUtf8(sector),
                        QString::fromUtf8(sub),
                        QString::fromUtf8(code),
                        QString::fromUtf8(broker),
                        average,
                        quantity,
                        price};
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

} // namespace

class TableFindTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void holdingsSortByColumnValue_data();
    void holdingsSortByColumnValue();
    void cashSortsByColumnValue_data();
    void cashSortsByColumnValue();
    void theOrderIsKept();
    void rowGesturesFollowTheOrder();
    void filterKeepsMatchingRows_data();
    void filterKeepsMatchingRows();
    void findShortcutAndEscape();
    void aNewRowShowsThroughTheFilter();
    void cashFilter();
    void editingSymbolFollowsMarketAndCurrency();

private:
    QStringList shownHoldings() const;
    QStringList shownCash() const;
    void clickHeader(table::ResizableHeader *header, int column);
    HoldingsTable &table() const { return *m_holdings->table(); }

    std::unique_ptr<ScriptedServer> m_server;
    std::unique_ptr<WorkspaceHarness> m_h;
    std::unique_ptr<HoldingsPage> m_holdings;
    std::unique_ptr<BalancePage> m_balances;
};

void TableFindTest::init()
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
    m_holdings->resize(1280, 900);
    m_holdings->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_holdings.get()));
    m_balances = std::make_unique<BalancePage>(*m_h->workspace);
    m_balances->resize(1280, 900);
    m_balances->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_balances.get()));
}

void TableFindTest::cleanup()
{
    m_balances.reset();
    m_holdings.reset();
    m_h.reset();
    m_server.reset();
}

QStringList TableFindTest::shownHoldings() const
{
    QStringList shown;
    const table::RowsProxy *proxy = table().proxy();
    for (int row = 0; row < proxy->rowCount(); ++row)
        shown.append(table().model()->idAt(proxy->sourceRow(row)));
    return shown;
}

QStringList TableFindTest::shownCash() const
{
    QStringList shown;
    const BalanceTable *cash = m_balances->table();
    for (int row = 0; row < cash->proxy()->rowCount(); ++row)
        shown.append(cash->model()->idAt(cash->proxy()->sourceRow(row)));
    return shown;
}

void TableFindTest::clickHeader(table::ResizableHeader *header, int column)
{
    const QPoint middle(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                        header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, middle);
}

void TableFindTest::holdingsSortByColumnValue_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QStringList>("ascending");
    QTest::newRow("code: text, ignoring case") << int(CodeColumn) << ids("B C A D E");
    QTest::newRow("broker: text, any script") << int(BrokerColumn) << ids("E A C B D");
    QTest::newRow("position: number") << int(QuantityColumn) << ids("D B A C E");
    QTest::newRow("market value: money") << int(ValueUSDColumn) << ids("D A B C E");
    QTest::newRow("unrealized P/L: signed money") << int(NetUSDColumn) << ids("C D A B E");
    QTest::newRow("weight: percent") << int(HoldPercentColumn) << ids("D A B C E");
}

void TableFindTest::holdingsSortByColumnValue()
{
    QFETCH(int, column);
    QFETCH(QStringList, ascending);
    table::ResizableHeader *header = table().header();
    clickHeader(header, column);
    QCOMPARE(shownHoldings(), ascending);
    QCOMPARE(header->sortIndicatorSection(), column);
    QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);

    clickHeader(header, column);
    std::reverse(ascending.begin(), ascending.end());
    QCOMPARE(shownHoldings(), ascending);
    QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);

    // The row buttons' column does not sort.
    clickHeader(header, ActionsColumn);
    QCOMPARE(header->sortIndicatorSection(), column);
    QCOMPARE(shownHoldings(), ascending);
    // The total row stays outside the rows, whatever their order.
    QCOMPARE(table().totalRow()->cells().size(), 5);
}

void TableFindTest::cashSortsByColumnValue_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QStringList>("ascending");
    // USD 2,500, HKD 10,000 ($1,280) and JPY 150,000 ($960).
    QTest::newRow("currency: text") << int(BalanceTableModel::CurrencyColumn) << ids("C2 C3 C1");
    QTest::newRow("cash: native number") << int(BalanceTableModel::OriginalCashColumn) << ids("C1 C2 C3");
    QTest::newRow("cash value: money") << int(BalanceTableModel::CashValueColumn) << ids("C3 C2 C1");
}

void TableFindTest::cashSortsByColumnValue()
{
    QFETCH(int, column);
    QFETCH(QStringList, ascending);
    table::ResizableHeader *header = m_balances->table()->header();
    clickHeader(header, column);
    QCOMPARE(shownCash(), ascending);
    clickHeader(header, column);
    std::reverse(ascending.begin(), ascending.end());
    QCOMPARE(shownCash(), ascending);
    QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
}

void TableFindTest::theOrderIsKept()
{
    clickHeader(table().header(), QuantityColumn);
    clickHeader(table().header(), QuantityColumn);
    clickHeader(m_balances->table()->header(), BalanceTableModel::CashValueColumn);
    m_h->workspace->preferences().sync();

    // Another start with the same preferences file.
    WorkspaceHarness &previous = *m_h;
    auto again =
        std::make_unique<Workspace>(*previous.auth, APIEndpoint{m_server->baseURL(), &previous.network},
                                    std::make_unique<QSettings>(previous.settingsPath(), QSettings::IniFormat));
    HoldingsPage page(*again);
    BalancePage balances(*again);
    QCOMPARE(page.table()->header()->sortIndicatorSection(), int(QuantityColumn));
    QCOMPARE(page.table()->header()->sortIndicatorOrder(), Qt::DescendingOrder);
    QCOMPARE(page.table()->proxy()->sortColumn(), int(QuantityColumn));
    QCOMPARE(balances.table()->header()->sortIndicatorSection(), int(BalanceTableModel::CashValueColumn));
    QCOMPARE(balances.table()->header()->sortIndicatorOrder(), Qt::AscendingOrder);
}

void TableFindTest::rowGesturesFollowTheOrder()
{
    clickHeader(table().header(), QuantityColumn);
    clickHeader(table().header(), QuantityColumn);
    QCOMPARE(shownHoldings(), ids("E C A B D"));
    QTableView *view = table().view();
    const auto cell = [view](int row, int column) { return view->visualRect(view->model()->index(row, column)); };

    // A double click: QTest's double click is the second click of the pair.
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell(0, CodeColumn).center());
    QCOMPARE(m_holdings->editor().selectedRowID(), std::optional<QString>(QStringLiteral("E")));
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, cell(0, CodeColumn).center());
    QCOMPARE(m_holdings->editor().editingRowID(), std::optional<QString>(QStringLiteral("E")));
    auto *code = qobject_cast<table::EditingTextCell *>(view->indexWidget(view->model()->index(0, CodeColumn)));
    QVERIFY(code);
    QCOMPARE(code->text(), QStringLiteral("XOM"));
    m_holdings->editor().cancelEditing();

    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell(1, CodeColumn).center());
    QCOMPARE(m_holdings->editor().selectedRowID(), std::optional<QString>(QStringLiteral("C")));

    const QRect trash = cell(1, ActionsColumn);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                      QPoint(trash.left() + table::cellInset + 8, trash.center().y()));
    QCOMPARE(shownHoldings(), ids("E A B D"));
}

void TableFindTest::filterKeepsMatchingRows_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("kept");
    QTest::newRow("broker, other case") << QStringLiteral("futu") << ids("A");
    QTest::newRow("sector") << QStringLiteral("FINANCIALS") << ids("C");
    QTest::newRow("code, full width") << QStringLiteral("ａａｐｌ") << ids("B");
    QTest::newRow("Japanese broker") << QStringLiteral("楽天") << ids("D");
    QTest::newRow("part of several fields") << QStringLiteral("in") << ids("A B C");
    QTest::newRow("sub-industry") << QStringLiteral("coal") << ids("E");
    QTest::newRow("nothing") << QStringLiteral("zzz") << QStringList();
    QTest::newRow("spaces only") << QStringLiteral("  ") << ids("A B C D E");
}

void TableFindTest::filterKeepsMatchingRows()
{
    QFETCH(QString, typed);
    QFETCH(QStringList, kept);
    const QList<table::TotalCell> totals = table().totalRow()->cells();
    const auto sectors = m_holdings->stats()->panels()[0]->items();

    type(m_holdings->filterField(), typed);
    QCOMPARE(shownHoldings(), kept);
    // Totals and charts still cover every row, and the note says so while the filter is on.
    QCOMPARE(table().totalRow()->cells().size(), totals.size());
    for (qsizetype i = 0; i < totals.size(); ++i)
        QCOMPARE(table().totalRow()->cells()[i].text, totals[i].text);
    QCOMPARE(m_holdings->stats()->panels()[0]->items(), sectors);
    QCOMPARE(m_holdings->filterNote()->isVisible(), !typed.trimmed().isEmpty());
    QCOMPARE(m_holdings->filterNote()->text(), QStringLiteral("Totals and charts cover all rows"));
}

void TableFindTest::findShortcutAndEscape()
{
    m_holdings->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_holdings.get()));
    table::FilterField *filter = m_holdings->filterField();
    QVERIFY(!filter->hasFocus());
    QTest::keySequence(m_holdings.get(), QKeySequence::Find);
    QVERIFY(filter->hasFocus());
    QTest::keyClicks(filter, QStringLiteral("tiger"));
    QCOMPARE(shownHoldings(), ids("B"));
    QTest::keyClick(filter, Qt::Key_Escape);
    QVERIFY(filter->text().isEmpty());
    QCOMPARE(shownHoldings().size(), 5);
    QVERIFY(!m_holdings->filterNote()->isVisible());
}

void TableFindTest::aNewRowShowsThroughTheFilter()
{
    QTest::keyClicks(m_holdings->filterField(), QStringLiteral("tiger"));
    QTest::mouseClick(m_holdings->addRowButton(), Qt::LeftButton);
    const auto editing = m_holdings->editor().editingRowID();
    QVERIFY(editing);
    QCOMPARE(shownHoldings(), (QStringList{QStringLiteral("B"), *editing}));
    QTableView *view = table().view();
    QVERIFY(qobject_cast<table::EditingTextCell *>(view->indexWidget(view->model()->index(1, CodeColumn))));

    m_holdings->editor().cancelEditing();
    QCOMPARE(shownHoldings(), ids("B"));
}

void TableFindTest::cashFilter()
{
    const int tableHeight = m_balances->table()->height();
    QTest::keyClicks(m_balances->filterField(), QStringLiteral("jpy"));
    QCOMPARE(shownCash(), ids("C3"));
    QVERIFY(m_balances->filterNote()->isVisible());
    QTest::keyClick(m_balances->filterField(), Qt::Key_Escape);
    QTest::keyClicks(m_balances->filterField(), QStringLiteral("FUTU"));
    QCOMPARE(shownCash(), ids("C1 C2"));
    // The table is as tall as the rows it shows.
    QCOMPARE(m_balances->table()->height(), tableHeight - table::rowHeight);
}

void TableFindTest::editingSymbolFollowsMarketAndCurrency()
{
    QTableView *view = table().view();
    m_holdings->editor().addRow();
    const int row = table().proxy()->viewRow(table().model()->rowOf(*m_holdings->editor().editingRowID()));
    auto *market = qobject_cast<table::PickerCell *>(view->indexWidget(view->model()->index(row, MarketColumn)));
    auto *cost =
        qobject_cast<table::EditingNumberCell *>(view->indexWidget(view->model()->index(row, AveragePriceColumn)));
    QVERIFY(market && cost && cost->prefixLabel());
    QCOMPARE(cost->prefixLabel()->text(), QStringLiteral("$"));
    for (const auto &[choice, symbol] : {std::pair{"HK", "HK$"}, std::pair{"JP", "\u00A5"}, std::pair{"US", "$"}}) {
        market->setCurrentIndex(market->findText(QString::fromLatin1(choice)));
        Q_EMIT market->activated(market->currentIndex());
        QCOMPARE(cost->prefixLabel()->text(), QString::fromUtf8(symbol));
    }

    QTableView *cashView = m_balances->table()->view();
    Q_EMIT cashView->doubleClicked(cashView->model()->index(0, BalanceTableModel::BrokerColumn));
    auto *currency = qobject_cast<table::PickerCell *>(
        cashView->indexWidget(cashView->model()->index(0, BalanceTableModel::CurrencyColumn)));
    auto *cash = qobject_cast<table::EditingNumberCell *>(
        cashView->indexWidget(cashView->model()->index(0, BalanceTableModel::OriginalCashColumn)));
    QVERIFY(currency && cash && cash->prefixLabel());
    QCOMPARE(cash->prefixLabel()->text(), QStringLiteral("$"));
    currency->setCurrentIndex(currency->findText(QStringLiteral("EUR")));
    Q_EMIT currency->activated(currency->currentIndex());
    QCOMPARE(cash->prefixLabel()->text(), QStringLiteral("\u20AC"));
}

QTEST_MAIN(TableFindTest)
#include "tst_tablefind.moc"
