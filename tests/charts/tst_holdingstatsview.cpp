#include "app/charts/AllocationPanel.h"
#include "app/charts/HoldingStatistics.h"
#include "app/charts/HoldingStatsView.h"
#include "app/charts/MetricCard.h"
#include "app/charts/PieChart.h"
#include "app/charts/StatsCollapseButton.h"
#include "tests/workspace/WorkspaceHarness.h"

#include <QApplication>
#include <QBoxLayout>
#include <QDir>

using namespace quillfern;
using namespace quillfern::testing;

namespace {

std::string languagesJSON()
{
    QJsonArray list;
    for (const auto *code : {"en-US", "ja-JP", "zh-CN", "ko-KR"})
        list.append(QJsonObject{{QStringLiteral("code"), QString::fromLatin1(code)},
                                {QStringLiteral("name"), QString::fromLatin1(code)},
                                {QStringLiteral("native_name"), QString::fromLatin1(code)},
                                {QStringLiteral("locale"), QString::fromLatin1(code)},
                                {QStringLiteral("flag"), QString()}});
    return QJsonDocument(list).toJson(QJsonDocument::Compact).toStdString();
}

AssetRow position(const char *id, const char *market, const QString &sector, const char *code, const char *broker,
                  double cost, double quantity, double price)
{
    return AssetRow{QString::fromLatin1(id),
                    QString::fromLatin1(market),
                    sector,
                    QString(),
                    QString::fromLatin1(code),
                    QString::fromLatin1(broker),
                    cost,
                    quantity,
                    price};
}

// Ten sectors, so the pie has more buckets than it draws and the legend more than it lists; one position
// has no sector, and one stands at a loss.
QList<AssetRow> seededRows()
{
    return {
        position("1", "US", QStringLiteral("Information Technology"), "NVDA", "Futu", 40, 120, 118),
        position("2", "US", QStringLiteral("Communication Services"), "GOOGL", "IBKR", 120, 40, 165),
        position("3", "HK", QStringLiteral("Consumer Discretionary"), "9988", "Futu", 90, 300, 80),
        position("4", "US", QStringLiteral("Health Care"), "LLY", "IBKR", 600, 6, 780),
        position("5", "JP", QStringLiteral("Industrials"), "7203", "Snowball", 2500, 100, 2900),
        position("6", "US", QStringLiteral("Financials"), "JPM", "Tiger", 150, 20, 195),
        position("7", "US", QStringLiteral("Energy"), "XOM", "Tiger", 100, 25, 112),
        position("8", "CN", QStringLiteral("Consumer Staples"), "600519", "Futu", 1600, 2, 1500),
        position("9", "US", QStringLiteral("Utilities"), "NEE", "Sea", 70, 30, 72),
        position("10", "US", QStringLiteral("Materials"), "LIN", "Sea", 400, 4, 450),
        position("11", "US", QString(), "SPY", "IBKR", 400, 5, 520),
    };
}

QString screenshotPath(const QString &name)
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(name + QStringLiteral(".png"));
}

} // namespace

class HoldingStatsViewTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void showsTheWorkspaceFigures_data();
    void showsTheWorkspaceFigures();
    void followsTheSummary();
    void hidesWithTheStatisticsFlag();
    void rendersEveryLanguage_data();
    void rendersEveryLanguage();

private:
    std::unique_ptr<ScriptedServer> m_server;
    std::unique_ptr<WorkspaceHarness> m_harness;
};

void HoldingStatsViewTest::init()
{
    m_server = std::make_unique<ScriptedServer>();
    scriptSession(*m_server, seededRows());
    m_server->on("GET", "/v1/languages", {200, languagesJSON()});
    m_harness = std::make_unique<WorkspaceHarness>();
    m_harness->open(m_server->baseURL(), QStringLiteral("token"));
    QVERIFY(m_harness->startAndLoad());
    QCOMPARE(m_harness->workspace->rows().size(), seededRows().size());
}

void HoldingStatsViewTest::cleanup()
{
    m_harness.reset();
    m_server.reset();
}

void HoldingStatsViewTest::showsTheWorkspaceFigures_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QStringList>("cardTitles");
    QTest::addColumn<QStringList>("panelTitles");
    QTest::addColumn<QString>("other");
    QTest::addColumn<QString>("largestSector");
    QTest::newRow("English") << QStringLiteral("en-US")
                             << QStringList{QStringLiteral("Market Value"), QStringLiteral("Cost Basis"),
                                            QStringLiteral("Unrealized P/L"), QStringLiteral("Return"),
                                            QStringLiteral("Day Change")}
                             << QStringList{QStringLiteral("Sector Allocation"), QStringLiteral("Market Allocation"),
                                            QStringLiteral("Holdings by Brokerage")}
                             << QStringLiteral("Other") << QStringLiteral("Information Technology");
    QTest::newRow("Japanese") << QStringLiteral("ja-JP")
                              << QStringList{QStringLiteral("時価総額"), QStringLiteral("取得原価"),
                                             QStringLiteral("含み損益"), QStringLiteral("リターン"),
                                             QStringLiteral("前日比")}
                              << QStringList{QStringLiteral("セクター別配分"), QStringLiteral("市場別配分"),
                                             QStringLiteral("証券会社別保有額")}
                              << QStringLiteral("その他") << QStringLiteral("情報技術");
}

void HoldingStatsViewTest::showsTheWorkspaceFigures()
{
    QFETCH(QString, language);
    QFETCH(QStringList, cardTitles);
    QFETCH(QStringList, panelTitles);
    QFETCH(QString, other);
    Workspace &workspace = *m_harness->workspace;
    HoldingStatsView view(workspace);
    // The language is switched after the view exists: it must follow the preference.
    workspace.setLanguageCode(language);

    QCOMPARE(view.cards().size(), cardTitles.size());
    for (int i = 0; i < cardTitles.size(); ++i)
        QCOMPARE(view.cards()[i]->figure().title, cardTitles[i]);
    // No price of this session came with a previous close.
    QCOMPARE(view.cards().last()->figure().value, QStringLiteral("\u2014"));
    QCOMPARE(view.panels().size(), 3);
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(view.panels()[i]->title(), panelTitles[i]);
        QCOMPARE(view.panels()[i]->currency(), workspace.reportingCurrency());
    }
    const PortfolioSummary &summary = workspace.summary();
    // The eight sectors, named in the language, fold into five and the rest; the pie and the legend show the
    // same six buckets.
    QCOMPARE(view.panels()[0]->items(), foldedAllocation(holdingAllocations(summary, language)[0].items, other));
    QTEST(view.panels()[0]->legend()->rows().first().label, "largestSector");
    QCOMPARE(view.panels()[1]->items(), summary.byMarket);
    QCOMPARE(view.panels()[2]->items(), summary.byBroker);
    QCOMPARE(view.panels()[0]->pieChart()->slices().size(), 6);
    QCOMPARE(view.panels()[0]->legend()->rows().size(), 6);
    QCOMPARE(view.panels()[0]->legend()->rows().last().label, other);
    QVERIFY(summary.totalNetUsd > 0);
    QCOMPARE(view.cards()[2]->figure().tone, FigureTone::Green);
    QVERIFY(view.cards()[2]->figure().value.startsWith(u'+'));
}

void HoldingStatsViewTest::followsTheSummary()
{
    Workspace &workspace = *m_harness->workspace;
    HoldingStatsView view(workspace);
    const QString before = view.cards()[0]->figure().value;

    // A crash in every price turns the portfolio into a loss.
    for (AssetRow row : workspace.rows()) {
        row.currentPrice = row.averagePrice / 2;
        workspace.updateRow(row.id, row);
    }
    QVERIFY(view.cards()[0]->figure().value != before);
    QCOMPARE(view.cards()[2]->figure().tone, FigureTone::Red);
    QCOMPARE(view.cards()[3]->figure().tone, FigureTone::Red);
    QCOMPARE(view.cards()[3]->valueColour(), Palette::red(view.palette()));
    QCOMPARE(view.panels()[1]->items(), workspace.summary().byMarket);
}

void HoldingStatsViewTest::hidesWithTheStatisticsFlag()
{
    Workspace &workspace = *m_harness->workspace;
    QWidget page;
    auto *layout = new QVBoxLayout(&page);
    auto *view = new HoldingStatsView(workspace, &page);
    StatsCollapseButton *button = holdingStatsButton(workspace, &page);
    layout->addWidget(view);
    layout->addWidget(button);
    layout->addStretch(1);
    page.resize(1440, 600);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    QVERIFY(view->isVisible());

    QTest::mouseClick(button, Qt::LeftButton, {}, button->labelRect().center());
    QCOMPARE(workspace.isHoldingStatsExpanded(), false);
    QCOMPARE(button->text(), QStringLiteral("Show Statistics"));
    // The statistics close over the animation instead of vanishing at once.
    QVERIFY(view->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(view->isHidden(), 1000);

    workspace.setHoldingStatsExpanded(true);
    QVERIFY(view->isVisible());
    QCOMPARE(button->text(), QStringLiteral("Hide Statistics"));
    QTRY_COMPARE_WITH_TIMEOUT(view->maximumHeight(), QWIDGETSIZE_MAX, 1000);
    QVERIFY(view->height() >= view->minimumSizeHint().height());

    // The button speaks the language the user picks, at once.
    workspace.setLanguageCode(QStringLiteral("ja-JP"));
    QCOMPARE(button->text(), QStringLiteral("統計を隠す"));
    QCOMPARE(button->toolTip(), QStringLiteral("統計を折りたたむ"));
}

void HoldingStatsViewTest::rendersEveryLanguage_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<bool>("dark");
    QTest::addColumn<bool>("expanded");
    QTest::newRow("en-US light") << QStringLiteral("en-US") << false << true;
    QTest::newRow("ja-JP light") << QStringLiteral("ja-JP") << false << true;
    QTest::newRow("zh-CN dark") << QStringLiteral("zh-CN") << true << true;
    QTest::newRow("ko-KR collapsed") << QStringLiteral("ko-KR") << false << false;
}

void HoldingStatsViewTest::rendersEveryLanguage()
{
    QFETCH(QString, language);
    QFETCH(bool, dark);
    QFETCH(bool, expanded);
    Workspace &workspace = *m_harness->workspace;
    workspace.setLanguageCode(language);
    workspace.setHoldingStatsExpanded(expanded);

    QWidget page;
    if (dark) {
        QPalette palette;
        palette.setColor(QPalette::Window, QColor(0x26, 0x26, 0x28));
        palette.setColor(QPalette::Base, QColor(0x1C, 0x1C, 0x1E));
        palette.setColor(QPalette::WindowText, QColor(0xEE, 0xEE, 0xEE));
        page.setPalette(palette);
    }
    page.setAutoFillBackground(true);
    auto *layout = new QVBoxLayout(&page);
    layout->setContentsMargins(18, 18, 18, 18);
    layout->setSpacing(18);
    auto *view = new HoldingStatsView(workspace, &page);
    layout->addWidget(view);
    layout->addWidget(holdingStatsButton(workspace, &page));
    page.resize(1440, page.sizeHint().height());
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    QCOMPARE(view->isVisible(), expanded);

    // Nothing is squeezed below what it needs at a common window width.
    for (const MetricCard *card : expanded ? view->cards() : QList<MetricCard *>())
        QVERIFY(card->height() >= card->sizeHint().height());
    for (const AllocationPanel *panel : expanded ? view->panels() : QList<AllocationPanel *>()) {
        QVERIFY(panel->height() >= AllocationPanel::minimumHeight);
        QVERIFY(panel->legend()->width() >= panel->legend()->minimumSizeHint().width());
        QCOMPARE(panel->pieChart()->size(), QSize(PieChart::side, PieChart::side));
    }
    const QString name = QStringLiteral("holding-stats-") + language + (dark ? QStringLiteral("-dark") : QString()) +
                         (expanded ? QString() : QStringLiteral("-collapsed"));
    QVERIFY(page.grab().save(screenshotPath(name)));
}

QTEST_MAIN(HoldingStatsViewTest)
#include "tst_holdingstatsview.moc"
