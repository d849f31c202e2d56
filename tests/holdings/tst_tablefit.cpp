#include "app/ContentView.h"
#include "app/MainWindow.h"
#include "app/balances/BalancePage.h"
#include "app/balances/BalanceTable.h"
#include "app/charts/HoldingStatsView.h"
#include "app/holdings/HoldingsPage.h"
#include "app/holdings/HoldingsTable.h"
#include "app/table/ResizableHeader.h"
#include "app/table/RowsProxy.h"
#include "app/table/TableStyle.h"
#include "app/table/TotalRowView.h"
#include "tests/balances/SeededWorkspace.h"
#include "tests/support/QuietConsole.h"

#include <QFontMetricsF>
#include <QScrollBar>
#include <QTabWidget>
#include <QTableView>

using namespace quillfern;
using namespace quillfern::testing;

namespace {

const QString token = QStringLiteral("token-a");

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
    const QList<bool> free{false, false, false};
    QTest::newRow("room to spare, shared by preference")
        << QList<int>{50, 50, 50} << QList<int>{100, 100, 200} << free << 800 << QList<int>{200, 200, 400};
    QTest::newRow("exactly preferred") << QList<int>{50, 50, 50} << QList<int>{100, 100, 200} << free << 400
                                       << QList<int>{100, 100, 200};
    QTest::newRow("between minimum and preferred")
        << QList<int>{50, 50, 50} << QList<int>{100, 100, 200} << free << 300 << QList<int>{80, 80, 140};
    QTest::newRow("titles wider than preferred")
        << QList<int>{150, 50, 50} << QList<int>{100, 100, 100} << free << 350 << QList<int>{150, 100, 100};
    QTest::newRow("too narrow: minimums, scroll")
        << QList<int>{120, 120, 120} << QList<int>{150, 150, 150} << free << 300 << QList<int>{120, 120, 120};
    QTest::newRow("odd pixels go somewhere")
        << QList<int>{10, 10, 10} << QList<int>{10, 10, 10} << free << 32 << QList<int>{11, 11, 10};
    QTest::newRow("a dragged column takes no share")
        << QList<int>{50, 300, 50} << QList<int>{100, 300, 100} << QList<bool>{false, true, false} << 700
        << QList<int>{200, 300, 200};
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
    WorkspaceHarness harness;
    harness.open(server.baseURL(), token);
    harness.workspace->setLanguageCode(language);
    MainWindow window(*harness.workspace);
    window.resize(1280, 780);
    window.show();
    QVERIFY(harness.startAndLoad());
    QTRY_VERIFY(window.content()->tabs() && window.content()->tabs()->isVisible());
    QCOMPARE(window.width(), 1280); // and as low as the window goes

    HoldingsTable *holdings = window.content()->holdingsPage()->table();
    QTRY_VERIFY(holdings->view()->viewport()->width() > 0);
    QCoreApplication::processEvents();
    QStringList problems = fitProblems(holdings->header(), holdings->view());
    QVERIFY2(problems.isEmpty(), qPrintable(QStringLiteral("holdings: ") + problems.join(QStringLiteral("; "))));
    // Sorting adds an arrow to one header; the titles still fit.
    QTest::mouseClick(holdings->header()->viewport(), Qt::LeftButton, {},
                      QPoint(holdings->header()->sectionViewportPosition(NetUSDColumn) + 20, table::rowHeight / 2));
    QCOMPARE(holdings->header()->sortIndicatorSection(), int(NetUSDColumn));
    problems = fitProblems(holdings->header(), holdings->view());
    QVERIFY2(problems.isEmpty(), qPrintable(QStringLiteral("sorted: ") + problems.join(QStringLiteral("; "))));
    if (language == QStringLiteral("en-US") || language == QStringLiteral("ja-JP"))
        window.grab().save(QCoreApplication::applicationDirPath() + QStringLiteral("/fit-holdings-") + language +
                           QStringLiteral(".png"));

    window.content()->tabs()->setCurrentIndex(1);
    BalancePage *balances = nullptr;
    QTRY_VERIFY((balances = window.findChild<BalancePage *>()) && balances->isVisible());
    QCoreApplication::processEvents();
    problems = fitProblems(balances->table()->header(), balances->table()->view());
    QVERIFY2(problems.isEmpty(), qPrintable(QStringLiteral("balances: ") + problems.join(QStringLiteral("; "))));
    if (language == QStringLiteral("en-US") || language == QStringLiteral("ja-JP"))
        window.grab().save(QCoreApplication::applicationDirPath() + QStringLiteral("/fit-balances-") + language +
                           QStringLiteral(".png"));
}

void TableFitTest::aDraggedColumnKeepsItsWidth()
{
    ScriptedServer server;
    scriptSeededSession(server);
    WorkspaceHarness harness;
    harness.open(server.baseURL(), token);
    QVERIFY(harness.startAndLoad());
    HoldingsPage page(*harness.workspace);
    page.resize(1280, 900);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
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
