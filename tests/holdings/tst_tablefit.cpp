#include "app/ContentView.h"
#include "app/MainWindow.h"
#include "app/balances/BalancePage.h"
#include "app/balances/BalanceTable.h"
#include "app/holdings/HoldingsEditor.h"
#include "app/holdings/HoldingsPage.h"
#include "app/holdings/HoldingsTable.h"
#include "app/table/ResizableHeader.h"
#include "app/table/RowsProxy.h"
#include "app/table/TableStyle.h"
#include "app/table/TotalRowView.h"
#include "tests/holdings/TablePages.h"
#include "tests/support/QuietConsole.h"

#include <QFontMetricsF>
#include <QLabel>
#include <QScrollBar>
#include <QTabWidget>
#include <QTableView>

using namespace quillfern;
using namespace quillfern::testing;

namespace {

std::string fiveLanguages()
{
    return R"json([
      {"code":"en-US","name":"English","native_name":"English","locale":"en_US","flag":""},
      {"code":"zh-CN","name":"Simplified Chinese","native_name":"简体中文","locale":"zh_CN","flag":""},
      {"code":"zh-TW","name":"Traditional Chinese","native_name":"繁體中文","locale":"zh_TW","flag":""},
      {"code":"ja-JP","name":"Japanese","native_name":"日本語","locale":"ja_JP","flag":""},
      {"code":"ko-KR","name":"Korean","native_name":"한국어","locale":"ko_KR","flag":""}])json";
}

// Every header title that does not fit its section, a scroll bar shown while the columns fit, and a
// table that runs past the window's edge.
QStringList fitProblems(table::ResizableHeader *header, QTableView *view)
{
    QStringList problems;
    const QWidget *table = view->parentWidget();
    const int right = table->mapTo(table->window(), QPoint(table->width(), 0)).x();
    if (right > table->window()->width())
        problems.append(QStringLiteral("table ends at %1 of %2 px").arg(right).arg(table->window()->width()));
    const QFontMetricsF metrics(table::headerFont());
    for (int column = 0; column < header->count(); ++column) {
        const QString title = header->model()->headerData(column, Qt::Horizontal).toString();
        int room = header->sectionSize(column) - 2 * table::ResizableHeader::titleInset;
        if (column == header->sortIndicatorSection())
            room -= table::ResizableHeader::indicatorSize + table::ResizableHeader::titleInset;
        if (metrics.horizontalAdvance(title) > room)
            problems.append(QStringLiteral("\"%1\" in %2 px").arg(title).arg(header->sectionSize(column)));
    }
    if (view->horizontalScrollBar()->isVisible())
        problems.append(QStringLiteral("horizontal scroll bar shown"));
    // The columns share the spare room: they end at the right edge, not short of it.
    if (header->length() != header->viewport()->width())
        problems.append(
            QStringLiteral("columns span %1 of %2 px").arg(header->length()).arg(header->viewport()->width()));
    return problems;
}

} // namespace

class TableFitTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { failOnConsoleMessages(); }
    void fittedWidths_data();
    void fittedWidths();
    void headersFitTheDefaultWindow_data();
    void headersFitTheDefaultWindow();
    void aDraggedColumnKeepsItsWidth();
};

void TableFitTest::fittedWidths_data()
{
    QTest::addColumn<QList<int>>("minimum");
    QTest::addColumn<QList<int>>("preferred");
    QTest::addColumn<QList<bool>>("fixed");
    QTest::addColumn<int>("available");
    QTest::addColumn<QList<int>>("expected");
    using W = QList<int>;
    const auto row = [](const char *name, W minimum, W preferred, int available, W expected,
                        QList<bool> fixed = {false, false, false}) {
        QTest::newRow(name) << minimum << preferred << fixed << available << expected;
    };
    row("room to spare, shared by preference", {50, 50, 50}, {100, 100, 200}, 800, {200, 200, 400});
    row("exactly preferred", {50, 50, 50}, {100, 100, 200}, 400, {100, 100, 200});
    row("between minimum and preferred", {50, 50, 50}, {100, 100, 200}, 300, {80, 80, 140});
    row("titles wider than preferred", {150, 50, 50}, {100, 100, 100}, 350, {150, 100, 100});
    row("too narrow: minimums, scroll", {120, 120, 120}, {150, 150, 150}, 300, {120, 120, 120});
    row("odd pixels go somewhere", {10, 10, 10}, {10, 10, 10}, 32, {11, 11, 10});
    row("a dragged column takes no share", {50, 300, 50}, {100, 300, 100}, 700, {200, 300, 200}, {false, true, false});
}

void TableFitTest::fittedWidths()
{
    QFETCH(QList<int>, minimum);
    QFETCH(QList<int>, preferred);
    QFETCH(QList<bool>, fixed);
    QFETCH(int, available);
    QFETCH(QList<int>, expected);
    QCOMPARE(table::fittedWidths(minimum, preferred, fixed, available), expected);
}

void TableFitTest::headersFitTheDefaultWindow_data()
{
    QTest::addColumn<QString>("language");
    QTest::newRow("English") << QStringLiteral("en-US");
    QTest::newRow("Simplified Chinese") << QStringLiteral("zh-CN");
    QTest::newRow("Traditional Chinese") << QStringLiteral("zh-TW");
    QTest::newRow("Japanese") << QStringLiteral("ja-JP");
    QTest::newRow("Korean") << QStringLiteral("ko-KR");
}

void TableFitTest::headersFitTheDefaultWindow()
{
    QFETCH(QString, language);
    ScriptedServer server;
    scriptSeededSession(server);
    server.on("GET", "/v1/languages", {200, fiveLanguages()});
    server.on("GET", "/v1/market/stock", {200, R"({"price":200,"as_of":"2026-12-04T21:00:09Z","source":"csv"})"});
    WorkspaceHarness harness;
    harness.open(server.baseURL(), QStringLiteral("token-a"));
    harness.workspace->setLanguageCode(language);
    MainWindow window(*harness.workspace);
    window.resize(1280, 780);
    window.show();
    QVERIFY(harness.startAndLoad());
    QTRY_VERIFY(window.content()->tabs() && window.content()->tabs()->isVisible());
    QCOMPARE(window.width(), 1280); // and as low as the window goes
    // Checks the table shown, and keeps a picture of the window for a look in two languages.
    const auto check = [&](const char *name, table::ResizableHeader *header, QTableView *view) {
        QCoreApplication::processEvents();
        const QStringList problems = fitProblems(header, view);
        QVERIFY2(problems.isEmpty(),
                 qPrintable(QString::fromLatin1(name) + QStringLiteral(": ") + problems.join(QStringLiteral("; "))));
        if (language == QStringLiteral("en-US") || language == QStringLiteral("ja-JP"))
            window.grab().save(QCoreApplication::applicationDirPath() +
                               QStringLiteral("/fit-%1-%2.png").arg(QString::fromLatin1(name), language));
    };

    HoldingsPage *page = window.content()->holdingsPage();
    HoldingsTable *holdings = page->table();
    QTRY_VERIFY(holdings->view()->viewport()->width() > 0);
    // The toolbar's line on the prices, at its longest: the time of the oldest.
    harness.workspace->priceRefresher().refreshAll();
    QTRY_VERIFY(!harness.workspace->priceRefresher().isRefreshing());
    QVERIFY(page->priceStatus()->text() != harness.workspace->priceRefresher().status());
    check("holdings", holdings->header(), holdings->view());
    QVERIFY(page->priceStatus()->width() >= page->priceStatus()->sizeHint().width());
    // Sorting adds an arrow to one header, and a row in edit mode holds its fields; the titles still fit.
    QTest::mouseClick(holdings->header()->viewport(), Qt::LeftButton, {},
                      QPoint(holdings->header()->sectionViewportPosition(NetUSDColumn) + 20, table::rowHeight / 2));
    QCOMPARE(holdings->header()->sortIndicatorSection(), int(NetUSDColumn));
    page->editor().beginEditing(harness.workspace->rows()[0]);
    check("holdings", holdings->header(), holdings->view());

    window.content()->tabs()->setCurrentIndex(1);
    BalancePage *balances = nullptr;
    QTRY_VERIFY((balances = window.findChild<BalancePage *>()) && balances->isVisible());
    check("balances", balances->table()->header(), balances->table()->view());
}

void TableFitTest::aDraggedColumnKeepsItsWidth()
{
    TablePages pages;
    QVERIFY(pages.load());
    HoldingsPage page(pages.workspace());
    QVERIFY(showPage(page));
    table::ResizableHeader *header = page.table()->header();
    QScrollBar *bar = page.table()->view()->horizontalScrollBar();
    const int y = header->height() / 2;
    const auto drag = [header, y](int column, int by) {
        const int edge = header->sectionViewportPosition(column) + header->sectionSize(column) - 1;
        QTest::mousePress(header->viewport(), Qt::LeftButton, {}, QPoint(edge, y));
        QTest::mouseMove(header->viewport(), QPoint(edge + by, y));
        QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, QPoint(edge + by, y));
    };

    // Narrowed below its title: the user's width wins, and the others take up the room.
    drag(AveragePriceColumn, -200);
    QCOMPARE(header->sectionSize(AveragePriceColumn), table::minimumColumnWidth);
    QCOMPARE(page.table()->widths().averagePrice, double(table::minimumColumnWidth));
    QCOMPARE(header->length(), header->viewport()->width());
    QVERIFY(!bar->isVisible());

    // Widened past the window: the table scrolls sideways, and the total row with it.
    drag(CodeColumn, 1200);
    QVERIFY(header->sectionSize(CodeColumn) > 1200);
    QTRY_VERIFY(bar->isVisible() && bar->maximum() > 0);
    bar->setValue(bar->maximum());
    table::TotalRowView *total = page.table()->totalRow();
    const QRect valueTotal = total->cellRect(total->cells()[1]);
    QCOMPARE(valueTotal.left(),
             page.table()->view()->visualRect(page.table()->proxy()->index(0, ValueUSDColumn)).left());
}

QTEST_MAIN(TableFitTest)
#include "tst_tablefit.moc"
