#include "app/charts/MetricCard.h"
#include "app/performance/ChartGeometry.h"
#include "app/performance/IncomeBars.h"
#include "app/performance/PerformanceFigures.h"
#include "app/performance/PerformancePage.h"
#include "app/performance/ValueChart.h"
#include "tests/support/QuietConsole.h"
#include "tests/workspace/WorkspaceHarness.h"

#include <QAbstractButton>
#include <QAbstractItemModelTester>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QTableView>

#include <cmath>

using namespace quillfern;
using namespace quillfern::testing;

namespace {

PerformancePoint point(const char *date, double value, double invested = 0)
{
    return {QString::fromLatin1(date), value, invested, 0, 0};
}

// Eight holdings, a month of income and a listing without history; no money-weighted return.
const std::string fullAnswer =
    R"({"series":[{"date":"2026-11-01","value":1000,"invested":1000,"cash":0,"flow":1000},)"
    R"({"date":"2026-11-02","value":1200,"invested":1000,"cash":0,"flow":0},)"
    R"({"date":"2026-11-04","value":900,"invested":1000,"cash":0,"flow":0}],)"
    R"("twr":-0.1,"gain":-100,"income_by_month":[{"month":"2026-11","amount":12.5}],"max_drawdown":0.25,)"
    R"("missing":["US:GONE"],"contributions":[)"
    R"({"market":"US","code":"A","gain":5},{"market":"US","code":"B","gain":-40},{"market":"HK","code":"C","gain":30},)"
    R"({"market":"US","code":"D","gain":1},{"market":"US","code":"E","gain":-2},{"market":"US","code":"F","gain":8},)"
    R"({"market":"JP","code":"G","gain":-9},{"market":"US","code":"H","gain":0}]})";

QStringList column(const QTableView *view, int column)
{
    QStringList texts;
    for (int row = 0; row < view->model()->rowCount(); ++row)
        texts.append(view->model()->index(row, column).data(Qt::UserRole).toString());
    return texts;
}

} // namespace

class PerformancePageTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { failOnConsoleMessages(); }
    void chartGeometry_data();
    void chartGeometry();
    void nearestDay_data();
    void nearestDay();
    void missingNote_data();
    void missingNote();
    void rendersTheAnswer_data();
    void rendersTheAnswer();
};

void PerformancePageTest::chartGeometry_data()
{
    QTest::addColumn<QList<PerformancePoint>>("series");
    QTest::addColumn<QList<double>>("ticks");
    QTest::addColumn<QPolygonF>("line");
    // Plotted into (0, 0, 100, 100); y grows downwards.
    QTest::newRow("a skipped day keeps its gap")
        << QList<PerformancePoint>{point("2026-01-01", 0), point("2026-01-02", 50), point("2026-01-05", 100)}
        << QList<double>{0, 20, 40, 60, 80, 100} << QPolygonF({{0, 100}, {25, 50}, {100, 0}});
    QTest::newRow("steps of 250, invested amounts counted")
        << QList<PerformancePoint>{point("2026-01-01", 100, 1234), point("2026-01-03", 500, 0)}
        << QList<double>{0, 250, 500, 750, 1000, 1250} << QPolygonF({{0, 100 - 8}, {100, 60}});
    QTest::newRow("one flat day sits in the middle")
        << QList<PerformancePoint>{point("2026-01-01", 1000, 1000)} << QList<double>{940, 960, 980, 1000, 1020, 1040, 1060}
        << QPolygonF({{50, 50}});
    QTest::newRow("losses below zero") << QList<PerformancePoint>{point("2026-01-01", -50), point("2026-01-02", 50)}
                                       << QList<double>{-60, -40, -20, 0, 20, 40, 60}
                                       << QPolygonF({{0, 100 - 100.0 / 12}, {100, 100.0 / 12}});
    QTest::newRow("nothing") << QList<PerformancePoint>{} << QList<double>{-0.6, -0.4, -0.2, 0, 0.2, 0.4, 0.6}
                             << QPolygonF();
}

void PerformancePageTest::chartGeometry()
{
    QFETCH(QList<PerformancePoint>, series);
    QFETCH(QList<double>, ticks);
    QFETCH(QPolygonF, line);
    const QRectF plot(0, 0, 100, 100);
    const ValueAxis axis = valueAxis(series);
    QList<double> rounded;
    for (const double tick : axis.ticks)
        rounded.append(std::round(tick * 1e6) / 1e6);
    QCOMPARE(rounded, ticks);
    QCOMPARE(seriesLine(series, &PerformancePoint::value, dayPositions(series, plot), axis, plot), line);
}

void PerformancePageTest::nearestDay_data()
{
    QTest::addColumn<double>("x");
    QTest::addColumn<std::optional<int>>("day");
    QTest::newRow("left of the plot") << -5.0 << std::optional(0);
    QTest::newRow("nearer the first") << 4.0 << std::optional(0);
    QTest::newRow("halfway takes the earlier") << 5.0 << std::optional(0);
    QTest::newRow("past halfway") << 6.0 << std::optional(1);
    QTest::newRow("across a gap") << 21.0 << std::optional(2);
    QTest::newRow("right of the plot") << 500.0 << std::optional(2);
}

void PerformancePageTest::nearestDay()
{
    QFETCH(double, x);
    QTEST(quillfern::nearestDay({0, 10, 30}, x), "day");
    QCOMPARE(quillfern::nearestDay({}, x), std::optional<int>());
}

void PerformancePageTest::missingNote_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("note");
    QTest::newRow("none") << 0 << QString();
    QTest::newRow("one") << 1 << QStringLiteral("No price history for A0 (US): left out of the value.");
    QTest::newRow("five, all named") << 5
                                     << QStringLiteral("No price history for A0 (US), A1 (US), A2 (US), A3 (US), "
                                                       "A4 (US): left out of the value.");
    QTest::newRow("seven, two counted") << 7
                                        << QStringLiteral("No price history for A0 (US), A1 (US), A2 (US), A3 (US), "
                                                          "A4 (US), 2 more listings: left out of the value.");
}

void PerformancePageTest::missingNote()
{
    QFETCH(int, count);
    QStringList missing;
    for (int i = 0; i < count; ++i)
        missing.append(QStringLiteral("US:A%1").arg(i));
    QTEST(missingHistoryNote(missing, u"en-US"), "note");
}

void PerformancePageTest::rendersTheAnswer_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<std::string>("answer");
    QTest::addColumn<QStringList>("cards");
    QTest::addColumn<QStringList>("top");
    QTest::addColumn<QStringList>("bottom");
    QTest::addColumn<QString>("note");
    const QString none = QStringLiteral("\u2014");
    QTest::newRow("empty, in English")
        << QStringLiteral("en-US")
        << std::string(R"({"series":[],"gain":0,"income_by_month":[],"max_drawdown":0,"missing":[],"contributions":[]})")
        << QStringList{none, none, none, none, none} << QStringList() << QStringList() << QString();
    QTest::newRow("full, in Japanese")
        << QStringLiteral("ja-JP") << fullAnswer
        << QStringList{QStringLiteral("-10.00%"), none, QStringLiteral("-$100.00"), QStringLiteral("$12.50"),
                       QStringLiteral("-25.00%")}
        << QStringList{QStringLiteral("HK:C"), QStringLiteral("US:F"), QStringLiteral("US:A"), QStringLiteral("US:D"),
                       QStringLiteral("US:H")}
        << QStringList{QStringLiteral("US:B"), QStringLiteral("JP:G"), QStringLiteral("US:E")}
        << QStringLiteral("GONE (US)は価格履歴がないため、評価額に含めていません。");
}

void PerformancePageTest::rendersTheAnswer()
{
    QFETCH(QString, language);
    QFETCH(std::string, answer);
    QFETCH(QStringList, cards);
    ScriptedServer server;
    scriptSession(server, {});
    server.on("GET", "/v1/performance", {200, answer});
    WorkspaceHarness h;
    h.open(server.baseURL(), QStringLiteral("token-a"));
    h.workspace->setLanguageCode(language);
    QVERIFY(h.startAndLoad());

    PerformancePage page(*h.workspace);
    page.resize(1200, 900);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    QStringList shown;
    for (const MetricCard *card : page.cards())
        shown.append(card->figure().value);
    QCOMPARE(shown, cards);
    QTEST(column(page.topTable(), 0), "top");
    QTEST(column(page.bottomTable(), 0), "bottom");
    QTEST(page.missingNote()->isVisible() ? page.missingNote()->text() : QString(), "note");
    const bool empty = page.chart()->series().isEmpty();
    QCOMPARE(page.emptyState()->isVisible(), empty);
    QCOMPARE(page.chart()->isVisible(), !empty);
    const auto keepPicture = [&page, &language] {
        QVERIFY(page.grab().save(QCoreApplication::applicationDirPath() +
                                 QStringLiteral("/performance-%1.png").arg(language)));
    };
    if (empty) {
        QCOMPARE(page.emptyState()->findChild<QLabel *>()->text(), QStringLiteral("No history yet"));
        keepPicture();
        return;
    }
    QAbstractItemModelTester tester(page.topTable()->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(page.incomeBars()->months().size(), 1);

    // With focus, Left shows the latest day first, then goes back a day at a time; the mouse takes the nearest.
    ValueChart *chart = page.chart();
    const auto press = [chart](Qt::Key key) {
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
        QCoreApplication::sendEvent(chart, &event);
    };
    press(Qt::Key_Left);
    QCOMPARE(chart->crosshair(), std::optional(2));
    press(Qt::Key_Left);
    QCOMPARE(chart->crosshair(), std::optional(1));
    QCOMPARE(chart->accessibleDescription(), QStringLiteral("2026/11/02\n評価額：$1,200.00\n損益：+$200.00"));
    press(Qt::Key_Right);
    QCOMPARE(chart->crosshair(), std::optional(2));
    const QPointF near(chart->dayXs().front() + 3, chart->plotRect().center().y());
    QMouseEvent move(QEvent::MouseMove, near, chart->mapToGlobal(near), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(chart, &move);
    QCOMPARE(chart->crosshair(), std::optional(0));
    keepPicture();

    // Another period is asked for at once.
    const std::size_t asked = requestsTo(server, "/v1/performance").size();
    page.periodButton(PerformancePeriod::OneMonth)->click();
    QCOMPARE(h.workspace->performance().period(), PerformancePeriod::OneMonth);
    QTRY_COMPARE(requestsTo(server, "/v1/performance").size(), asked + 1);
    QTRY_VERIFY(!h.workspace->performance().isLoading());
}

QTEST_MAIN(PerformancePageTest)
#include "tst_performancepage.moc"
