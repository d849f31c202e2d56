#include "app/charts/AllocationPanel.h"
#include "app/charts/HoldingStatistics.h"
#include "app/charts/MetricCard.h"
#include "app/charts/Palette.h"
#include "app/charts/PieChart.h"
#include "app/charts/StatsCollapseButton.h"

#include <QApplication>
#include <QImage>
#include <QSignalSpy>
#include <QTest>
#include <QToolTip>
#include <QHelpEvent>
#include <QVariantAnimation>

#include <cmath>
#include <numbers>
#include <set>

using namespace quillfern;

namespace {

const DisplayLocales unitedStates{QStringLiteral("en_US"), QStringLiteral("en_US")};
const CurrencyOption usd{QStringLiteral("USD"), QStringLiteral("US Dollar"), QStringLiteral("$"), {}, 1.0};
const CurrencyOption hkd{QStringLiteral("HKD"), QStringLiteral("Hong Kong Dollar"), QStringLiteral("HK$"), {}, 0.125};

constexpr double degree = std::numbers::pi / 180;

// Buckets whose values are 1000, 900, ... and whose shares add up to shareTotal percent.
std::vector<AllocationItem> buckets(int count, double shareTotal = 100)
{
    double weights = 0;
    for (int i = 0; i < count; ++i)
        weights += count - i;
    std::vector<AllocationItem> items;
    for (int i = 0; i < count; ++i)
        items.push_back({"Bucket " + std::to_string(i), 100.0 * (count - i), shareTotal * (count - i) / weights});
    return items;
}

// The point on the circle of the given rectangle at a screen angle in degrees, a little inside the rim.
QPointF onCircle(const QRectF &rect, double degrees)
{
    const double radius = std::min(rect.width(), rect.height()) / 2 * 0.8;
    return rect.center() + QPointF(radius * std::cos(degrees * degree), radius * std::sin(degrees * degree));
}

PortfolioSummary summaryWith(double marketValue, double cost)
{
    PortfolioSummary summary;
    summary.totalMarketValueUsd = marketValue;
    summary.totalBoughtCostUsd = cost;
    summary.totalNetUsd = marketValue - cost;
    summary.totalReturnPercent = cost > 0 ? (marketValue - cost) / cost * 100 : 0;
    return summary;
}

} // namespace

class ChartsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void paletteCyclesThroughEightColours();
    void paletteFollowsTheAppearance_data();
    void paletteFollowsTheAppearance();

    void slicesStartAtTheTopAndRunClockwise_data();
    void slicesStartAtTheTopAndRunClockwise();
    void sliceCoversItsOwnSectorOnly_data();
    void sliceCoversItsOwnSectorOnly();
    void pieDrawsEverySliceInItsColour();

    void legendFoldsTheRestIntoOther_data();
    void legendFoldsTheRestIntoOther();
    void cutLegendNamesShowInFullOnHover_data();
    void cutLegendNamesShowInFullOnHover();

    void summaryCardsColourGainsAndLosses_data();
    void summaryCardsColourGainsAndLosses();

    void collapseButtonTogglesTheFlag_data();
    void collapseButtonTogglesTheFlag();
};

void ChartsTest::paletteCyclesThroughEightColours()
{
    std::set<SystemColour> distinct;
    for (int i = 0; i < 8; ++i) {
        distinct.insert(Palette::colourAt(i));
        QCOMPARE(Palette::colourAt(i + 8), Palette::colourAt(i));
        QCOMPARE(Palette::colourAt(i - 8), Palette::colourAt(i));
        QCOMPARE(Palette::color(i, QPalette()), Palette::system(Palette::colourAt(i), QPalette()));
    }
    QCOMPARE(distinct.size(), std::size_t(8));
    QCOMPARE(Palette::colourAt(0), SystemColour::Blue);
}

void ChartsTest::paletteFollowsTheAppearance_data()
{
    QTest::addColumn<QColor>("window");
    QTest::addColumn<QColor>("base");
    QTest::newRow("light") << QColor(0xEF, 0xEF, 0xEF) << QColor(Qt::white);
    QTest::newRow("dark") << QColor(0x2B, 0x2B, 0x2B) << QColor(0x1E, 0x1E, 0x1E);
}

void ChartsTest::paletteFollowsTheAppearance()
{
    QFETCH(QColor, window);
    QFETCH(QColor, base);
    QPalette palette;
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::Base, base);
    palette.setColor(QPalette::WindowText, window.lightness() < 128 ? QColor(Qt::white) : QColor(Qt::black));

    // Figures drawn on a card must stand out from the card: at least a 3:1 luminance ratio.
    const auto luminance = [](const QColor &c) {
        const auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
    };
    const auto contrast = [&](const QColor &a, const QColor &b) {
        const double la = luminance(a), lb = luminance(b);
        return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
    };
    const QColor card = Palette::controlBackground(palette);
    for (FigureTone tone :
         {FigureTone::Primary, FigureTone::Secondary, FigureTone::Green, FigureTone::Red, FigureTone::Blue}) {
        QVERIFY2(contrast(Palette::tone(tone, palette), card) >= 3.0, qPrintable(QString::number(int(tone))));
    }
    QVERIFY(contrast(Palette::separator(palette), card) > 1.1);
    // Every slice colour is told apart from the panel it sits on.
    for (int i = 0; i < Palette::size; ++i)
        QVERIFY2(contrast(Palette::color(i, palette), card) >= 1.5, qPrintable(QString::number(i)));
}

void ChartsTest::slicesStartAtTheTopAndRunClockwise_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<double>("shareTotal");
    QTest::addColumn<int>("expectedSlices");
    QTest::newRow("10 buckets draw 8") << 10 << 100.0 << 8;
    QTest::newRow("shares short of 100") << 4 << 80.0 << 4;
    QTest::newRow("shares past 100") << 2 << 250.0 << 2;
    QTest::newRow("no buckets") << 0 << 100.0 << 0;
}

void ChartsTest::slicesStartAtTheTopAndRunClockwise()
{
    QFETCH(int, count);
    QFETCH(double, shareTotal);
    QFETCH(int, expectedSlices);
    const auto items = buckets(count, shareTotal);
    const QList<PieSlice> slices = pieSlices(items);
    QCOMPARE(slices.size(), expectedSlices);

    double running = -90 * degree;
    for (qsizetype i = 0; i < slices.size(); ++i) {
        QCOMPARE(slices[i].startAngle, running);
        const double sweep =
            std::min(items[std::size_t(i)].percentage * 3.6 * degree, -90 * degree + 2 * std::numbers::pi - running);
        QVERIFY(std::abs(slices[i].endAngle - slices[i].startAngle - sweep) < 1e-12);
        running = slices[i].endAngle;
    }
    // Nothing stretches to close the circle, and nothing wraps past a full turn.
    double drawn = 0;
    for (std::size_t i = 0; i < std::size_t(expectedSlices); ++i)
        drawn += items[i].percentage;
    const double expectedEnd = -90 * degree + std::min(drawn, 100.0) * 3.6 * degree;
    if (!slices.isEmpty())
        QVERIFY(std::abs(slices.last().endAngle - expectedEnd) < 1e-9);
}

void ChartsTest::sliceCoversItsOwnSectorOnly_data()
{
    QTest::addColumn<double>("startDegrees");
    QTest::addColumn<double>("endDegrees");
    QTest::addColumn<double>("insideDegrees");
    QTest::addColumn<double>("outsideDegrees");
    // Angles grow clockwise on screen: from 12 o'clock a quarter turn reaches 3 o'clock.
    QTest::newRow("first quarter is top right") << -90.0 << 0.0 << -45.0 << -135.0;
    QTest::newRow("second quarter is bottom right") << 0.0 << 90.0 << 45.0 << -45.0;
    QTest::newRow("thin slice") << -90.0 << -80.0 << -85.0 << -95.0;
    QTest::newRow("more than half") << -90.0 << 150.0 << 120.0 << 200.0;
    QTest::newRow("whole circle") << -90.0 << 270.0 << 180.0 << 180.0;
}

void ChartsTest::sliceCoversItsOwnSectorOnly()
{
    QFETCH(double, startDegrees);
    QFETCH(double, endDegrees);
    QFETCH(double, insideDegrees);
    QFETCH(double, outsideDegrees);
    const PieSlice slice{startDegrees * degree, endDegrees * degree};
    // A wide rectangle: the circle is as tall as the rectangle and centred in it.
    const QRectF frame(10, 20, 200, 100);
    const QPainterPath path = slice.path(frame);
    QVERIFY(path.contains(onCircle(frame, insideDegrees)));
    if (endDegrees - startDegrees < 360)
        QVERIFY(!path.contains(onCircle(frame, outsideDegrees)));
    QVERIFY(!path.contains(frame.center() + QPointF(0, -52)));
    QVERIFY(path.boundingRect().width() <= 100.5);
}

void ChartsTest::pieDrawsEverySliceInItsColour()
{
    PieChart chart;
    chart.setItems(buckets(10));
    const QImage image = chart.grab().toImage();
    const QList<PieSlice> slices = chart.slices();
    QCOMPARE(slices.size(), 8);
    const QRectF frame = chart.chartRect();
    for (qsizetype i = 0; i < slices.size(); ++i) {
        const double middle = (slices[i].startAngle + slices[i].endAngle) / 2 / degree;
        const QPointF at = onCircle(frame, middle) * image.devicePixelRatio();
        QCOMPARE(image.pixelColor(at.toPoint()), Palette::color(int(i), chart.palette()));
    }
    // The ninth and tenth buckets leave their part of the circle empty.
    const double unused = (slices.last().endAngle / degree + 270) / 2;
    const QPointF empty = onCircle(frame, unused) * image.devicePixelRatio();
    for (int i = 0; i < Palette::size; ++i)
        QVERIFY(image.pixelColor(empty.toPoint()) != Palette::color(i, chart.palette()));
}

void ChartsTest::legendFoldsTheRestIntoOther_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QStringList>("labels");
    QTest::addColumn<QString>("lastShare");
    QTest::addColumn<QString>("lastValue");
    const auto first = [](int n) {
        QStringList labels;
        for (int i = 0; i < n; ++i)
            labels.append(QStringLiteral("Bucket %1").arg(i));
        return labels;
    };
    // Values 1000, 900, ... of 5500 (ten buckets) or 2800 (seven): the last five add up to 1500 and 300.
    QTest::newRow("10 buckets") << 10 << first(5) + QStringList{QStringLiteral("Other")} << QStringLiteral("27.27%")
                                << QStringLiteral("$1,500.00");
    QTest::newRow("7 buckets") << 7 << first(5) + QStringList{QStringLiteral("Other")} << QStringLiteral("10.71%")
                               << QStringLiteral("$300.00");
    QTest::newRow("6 buckets") << 6 << first(6) << QStringLiteral("4.76%") << QStringLiteral("$100.00");
    QTest::newRow("none") << 0 << QStringList() << QString() << QString();
}

void ChartsTest::legendFoldsTheRestIntoOther()
{
    QFETCH(int, count);
    QFETCH(QStringList, labels);
    QFETCH(QString, lastShare);
    QFETCH(QString, lastValue);
    AllocationPanel panel;
    panel.setContent(QStringLiteral("Sector Allocation"), buckets(count), usd, QStringLiteral("Other"));
    const QList<LegendRow> rows = legendRows(panel.items(), usd, unitedStates);
    QStringList shown;
    for (const LegendRow &row : rows)
        shown.append(row.label);
    QCOMPARE(shown, labels);
    QCOMPARE(panel.pieChart()->slices().size(), labels.size());
    if (rows.isEmpty())
        return;
    QCOMPARE(rows.last().share, lastShare);
    QCOMPARE(rows.last().value, lastValue);
    QCOMPARE(rows.last().colourIndex, int(rows.size() - 1));
    // The slices still close the circle.
    QVERIFY(std::abs(panel.pieChart()->slices().last().endAngle - 270 * degree) < 1e-9);

    // Each row's dot is drawn in its slice's colour; the legend sits beside the pie, inside the card's padding,
    // and its rows fit its height.
    panel.resize(560, AllocationPanel::minimumHeight);
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    const QImage image = panel.grab().toImage();
    AllocationLegend *legend = panel.legend();
    QCOMPARE(legend->rows().size(), rows.size());
    for (int i = 0; i < int(rows.size()); ++i) {
        const QPointF dot =
            legend->mapTo(&panel, QPointF(AllocationLegend::dotSize / 2.0, legend->rowRect(i).center().y()));
        QCOMPARE(image.pixelColor((dot * image.devicePixelRatio()).toPoint()), Palette::color(i, panel.palette()));
    }
    QVERIFY(legend->geometry().left() >= panel.pieChart()->geometry().right());
    QVERIFY(legend->rowRect(int(rows.size()) - 1).bottom() <= legend->height() + 0.5);
    QVERIFY(legend->geometry().right() <= panel.width() - AllocationPanel::padding);
}

void ChartsTest::cutLegendNamesShowInFullOnHover_data()
{
    QTest::addColumn<QString>("label");
    QTest::addColumn<bool>("cut");
    QTest::newRow("short") << QStringLiteral("Energy") << false;
    QTest::newRow("long") << QStringLiteral("Information Technology and Communication Services") << true;
    QTest::newRow("long CJK") << QStringLiteral("情報技術・コミュニケーション・サービス・一般消費財") << true;
}

void ChartsTest::cutLegendNamesShowInFullOnHover()
{
    QFETCH(QString, label);
    QFETCH(bool, cut);
    AllocationPanel panel;
    panel.resize(420, AllocationPanel::minimumHeight);
    panel.setContent(QStringLiteral("Sector Allocation"), {{label.toStdString(), 10, 100}}, usd, QStringLiteral("Other"));
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    AllocationLegend *legend = panel.legend();
    const QPoint onLabel = legend->labelRect(0).center().toPoint();
    QHelpEvent hover(QEvent::ToolTip, onLabel, legend->mapToGlobal(onLabel));
    QApplication::sendEvent(legend, &hover);
    QCOMPARE(QToolTip::isVisible(), cut);
    QCOMPARE(QToolTip::text(), cut ? label : QString());
    QToolTip::hideText();
}

void ChartsTest::summaryCardsColourGainsAndLosses_data()
{
    QTest::addColumn<double>("marketValue");
    QTest::addColumn<double>("cost");
    QTest::addColumn<QString>("net");
    QTest::addColumn<QString>("returnText");
    QTest::addColumn<FigureTone>("tone");
    QTest::newRow("gain") << 1250.0 << 1000.0 << QStringLiteral("+$250.00") << QStringLiteral("25.00%")
                          << FigureTone::Green;
    QTest::newRow("zero") << 1000.0 << 1000.0 << QStringLiteral("$0.00") << QStringLiteral("0.00%")
                          << FigureTone::Green;
    QTest::newRow("loss") << 800.0 << 1000.0 << QStringLiteral("-$200.00") << QStringLiteral("-20.00%")
                          << FigureTone::Red;
}

void ChartsTest::summaryCardsColourGainsAndLosses()
{
    QFETCH(double, marketValue);
    QFETCH(double, cost);
    QFETCH(QString, net);
    QFETCH(QString, returnText);
    QFETCH(FigureTone, tone);
    const auto figures = holdingSummaryFigures(summaryWith(marketValue, cost), usd, u"en-US", unitedStates);
    QCOMPARE(figures[0].tone, FigureTone::Green);
    QCOMPARE(figures[1].tone, FigureTone::Primary);
    QCOMPARE(figures[2].value, net);
    QCOMPARE(figures[2].tone, tone);
    QCOMPARE(figures[3].value, returnText);
    QCOMPARE(figures[3].tone, tone);

    MetricCard card;
    card.setFigure(figures[2]);
    QCOMPARE(card.valueColour(),
             tone == FigureTone::Green ? Palette::green(card.palette()) : Palette::red(card.palette()));
}

void ChartsTest::collapseButtonTogglesTheFlag_data()
{
    QTest::addColumn<bool>("startExpanded");
    QTest::newRow("collapse") << true;
    QTest::newRow("expand") << false;
}

void ChartsTest::collapseButtonTogglesTheFlag()
{
    QFETCH(bool, startExpanded);
    bool flag = startExpanded;
    int writes = 0;
    StatsCollapseButton button;
    button.bind([&flag] { return flag; }, [&](bool value) { flag = value, ++writes; });
    button.resize(400, button.sizeHint().height());
    button.show();
    QVERIFY(QTest::qWaitForWindowExposed(&button));
    QCOMPARE(button.text(), collapseButtonLabel(startExpanded, u"en-US").text);
    QCOMPARE(button.toolTip(), collapseButtonLabel(startExpanded, u"en-US").toolTip);
    QCOMPARE(button.chevronTurn(), startExpanded ? 0.0 : 1.0);

    // The separator lines are not part of the button.
    QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(4, button.height() / 2));
    QCOMPARE(writes, 0);

    QTest::mouseClick(&button, Qt::LeftButton, {}, button.labelRect().center());
    QCOMPARE(writes, 1);
    QCOMPARE(flag, !startExpanded);
    QCOMPARE(button.text(), collapseButtonLabel(!startExpanded, u"en-US").text);
    QCOMPARE(button.toolTip(), collapseButtonLabel(!startExpanded, u"en-US").toolTip);

    QVariantAnimation *animation = button.animation();
    QCOMPARE(animation->state(), QAbstractAnimation::Running);
    // The owner reports the change back while the chevron turns; the turn goes on.
    button.refresh();
    QCOMPARE(animation->state(), QAbstractAnimation::Running);
    QTRY_COMPARE_WITH_TIMEOUT(animation->state(), QAbstractAnimation::Stopped, 1000);
    QCOMPARE(button.chevronTurn(), startExpanded ? 1.0 : 0.0);

    // A change the owner makes itself shows at once, without a turn, in the language set last.
    flag = startExpanded;
    button.setLanguageCode(QStringLiteral("ko-KR"));
    button.refresh();
    button.setLanguageCode(QStringLiteral("ja-JP"));
    QCOMPARE(button.text(), collapseButtonLabel(startExpanded, u"ja-JP").text);
    QCOMPARE(button.toolTip(), collapseButtonLabel(startExpanded, u"ja-JP").toolTip);
    QCOMPARE(button.accessibleName(), button.text());
    QCOMPARE(button.chevronTurn(), startExpanded ? 0.0 : 1.0);
    QCOMPARE(animation->state(), QAbstractAnimation::Stopped);
    QCOMPARE(writes, 1);
}

QTEST_MAIN(ChartsTest)
#include "tst_charts.moc"
