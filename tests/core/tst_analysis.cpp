#include "core/analysis/Analysis.h"

#include <QTest>

#include <cmath>
#include <cstring>
#include <limits>

using namespace quillfern;

Q_DECLARE_METATYPE(std::vector<AssetInput>)

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

AssetInput asset(std::string id, double avg, double q, double cur, double fx = 1.0, std::string market = "US",
                 std::string sector = "Tech", std::string broker = "IBKR")
{
    return AssetInput{std::move(id),
                      std::move(market),
                      std::move(sector),
                      "Software",
                      "CODE",
                      "USD",
                      std::move(broker),
                      avg,
                      q,
                      cur,
                      fx};
}

std::vector<std::string> labels(const std::vector<AllocationItem> &items)
{
    std::vector<std::string> out;
    for (const AllocationItem &item : items)
        out.push_back(item.label);
    return out;
}

bool sameBits(double a, double b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

} // namespace

class AnalysisTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void valuesOnePosition_data();
    void valuesOnePosition();
    void emptyInputGivesSignedZeroTotals();
    void totalsAddInListOrder();
    void weightsAndReturn();
    void allocationBuckets_data();
    void allocationBuckets();
    void skippedPositionsStillCountInTheDenominator();
    void everyValueZeroGivesNoBuckets();
    void unorderableBucketStaysInPlace();
    void malformedTextIsKept();
};

void AnalysisTest::valuesOnePosition_data()
{
    QTest::addColumn<double>("avg");
    QTest::addColumn<double>("quantity");
    QTest::addColumn<double>("current");
    QTest::addColumn<double>("fx");
    QTest::addColumn<double>("quantityUsed");
    QTest::addColumn<double>("fxUsed");
    QTest::addColumn<double>("boughtCostUsd");
    QTest::addColumn<double>("marketValueUsd");
    QTest::addColumn<double>("netUsd");
    QTest::addColumn<double>("changePercent");

    QTest::newRow("yen holding") << 1000.0 << 100.0 << 1100.0 << 0.0064 << 100.0 << 0.0064 << 640.0 << 704.0 << 64.0
                                 << 10.0;
    // (avg x q) x fx rounds differently from avg x (q x fx): the order is part of the result.
    QTest::newRow("price times quantity first") << 110.97 << 550.0 << 0.0 << 0.0064 << 550.0 << 0.0064
                                                << 390.61440000000005 << 0.0 << -390.61440000000005 << -100.0;
    // (net / cost) x 100 differs from (net x 100) / cost in the last bit.
    QTest::newRow("division before scaling")
        << 0.1 << 3.0 << 0.7 << 0.127618574 << 3.0 << 0.127618574 << 0.038285572200000006 << 0.2679990054
        << 0.22971343319999998 << 599.9999999999998;
    QTest::newRow("zero quantity") << 10.0 << 0.0 << 12.0 << 1.0 << 0.0 << 1.0 << 0.0 << 0.0 << 0.0 << 0.0;
    QTest::newRow("negative quantity clamps") << 10.0 << -5.0 << 12.0 << 1.0 << 0.0 << 1.0 << 0.0 << 0.0 << 0.0 << 0.0;
    QTest::newRow("no cost, positive value") << 0.0 << 10.0 << 5.0 << 1.0 << 10.0 << 1.0 << 0.0 << 50.0 << 50.0 << 0.0;
    QTest::newRow("negative average counts as 0")
        << -3.0 << 10.0 << 5.0 << 1.0 << 10.0 << 1.0 << 0.0 << 50.0 << 50.0 << 0.0;
    QTest::newRow("current price 0 loses everything")
        << 4.0 << 10.0 << 0.0 << 1.0 << 10.0 << 1.0 << 40.0 << 0.0 << -40.0 << -100.0;
    QTest::newRow("rate 0 counts as dollars")
        << 2.0 << 10.0 << 3.0 << 0.0 << 10.0 << 1.0 << 20.0 << 30.0 << 10.0 << 50.0;
    QTest::newRow("negative rate counts as dollars")
        << 2.0 << 10.0 << 3.0 << -7.0 << 10.0 << 1.0 << 20.0 << 30.0 << 10.0 << 50.0;
    QTest::newRow("NaN rate counts as dollars")
        << 2.0 << 10.0 << 3.0 << kNaN << 10.0 << 1.0 << 20.0 << 30.0 << 10.0 << 50.0;
    QTest::newRow("NaN quantity counts as 0") << 2.0 << kNaN << 3.0 << 1.0 << 0.0 << 1.0 << 0.0 << 0.0 << 0.0 << 0.0;
}

void AnalysisTest::valuesOnePosition()
{
    QFETCH(double, avg);
    QFETCH(double, quantity);
    QFETCH(double, current);
    QFETCH(double, fx);

    const PortfolioSummary summary = analyzePortfolio({asset("A", avg, quantity, current, fx)});
    QCOMPARE(summary.positions.size(), size_t(1));
    const AssetValuation &v = summary.positions.front();

    // Prices are reported as given; only the quantity and the rate are replaced.
    QVERIFY(sameBits(v.averagePrice, avg));
    QVERIFY(sameBits(v.currentPrice, current));
    QTEST(v.quantity, "quantityUsed");
    QTEST(v.fxToUsd, "fxUsed");
    QFETCH(double, boughtCostUsd);
    QFETCH(double, marketValueUsd);
    QFETCH(double, netUsd);
    QFETCH(double, changePercent);
    QVERIFY2(sameBits(v.boughtCostUsd, boughtCostUsd), qPrintable(QString::number(v.boughtCostUsd, 'g', 17)));
    QVERIFY2(sameBits(v.marketValueUsd, marketValueUsd), qPrintable(QString::number(v.marketValueUsd, 'g', 17)));
    QVERIFY2(v.netUsd == netUsd, qPrintable(QString::number(v.netUsd, 'g', 17)));
    QVERIFY2(v.changePercent == changePercent, qPrintable(QString::number(v.changePercent, 'g', 17)));
    QCOMPARE(summary.totalReturnPercent, boughtCostUsd > 0 ? changePercent : 0.0);
    QCOMPARE(v.holdPercent, marketValueUsd > 0 ? 100.0 : 0.0);
}

void AnalysisTest::emptyInputGivesSignedZeroTotals()
{
    const PortfolioSummary summary = analyzePortfolio({});
    QVERIFY(summary.positions.empty());
    QVERIFY(summary.byMarket.empty() && summary.bySector.empty() && summary.byBroker.empty());
    QVERIFY(std::signbit(summary.totalMarketValueUsd));
    QVERIFY(std::signbit(summary.totalBoughtCostUsd));
    QCOMPARE(summary.totalMarketValueUsd, 0.0);
    QVERIFY(!std::signbit(summary.totalNetUsd));
    QCOMPARE(summary.totalReturnPercent, 0.0);
}

void AnalysisTest::totalsAddInListOrder()
{
    // 0.1 + 0.2 + 0.3 from the left is 0.6000000000000001; any other grouping gives 0.6.
    const PortfolioSummary summary =
        analyzePortfolio({asset("a", 0.1, 1, 0.1), asset("b", 0.2, 1, 0.2), asset("c", 0.3, 1, 0.3)});
    QVERIFY(sameBits(summary.totalMarketValueUsd, 0.6000000000000001));
    QVERIFY(sameBits(summary.totalBoughtCostUsd, 0.6000000000000001));
    QCOMPARE(summary.totalNetUsd, 0.0);
}

void AnalysisTest::weightsAndReturn()
{
    const PortfolioSummary summary =
        analyzePortfolio({asset("a", 10, 10, 15), asset("b", 20, 5, 10), asset("c", 1, 0, 1)});
    QCOMPARE(summary.totalMarketValueUsd, 200.0);
    QCOMPARE(summary.totalBoughtCostUsd, 200.0);
    QCOMPARE(summary.totalReturnPercent, 0.0);
    QCOMPARE(summary.positions[0].holdPercent, 75.0);
    QCOMPARE(summary.positions[1].holdPercent, 25.0);
    QCOMPARE(summary.positions[2].holdPercent, 0.0);
    QCOMPARE(summary.positions[1].changePercent, -50.0);
    QCOMPARE(summary.positions[0].id, std::string("a"));
    QCOMPARE(summary.positions[2].id, std::string("c"));
}

void AnalysisTest::allocationBuckets_data()
{
    QTest::addColumn<std::vector<AssetInput>>("assets");
    QTest::addColumn<QStringList>("sectorLabels");
    QTest::addColumn<QList<double>>("sectorValues");

    QTest::newRow("white space around a key joins one bucket")
        << std::vector{asset("a", 1, 1, 10, 1, "US", " Tech"), asset("b", 1, 1, 5, 1, "US", "Tech\u3000"),
                       asset("c", 1, 1, 1, 1, "US", "\u00A0Tech\n"), asset("d", 1, 1, 2, 1, "US", "Energy")}
        << QStringList{QStringLiteral("Tech"), QStringLiteral("Energy")} << QList<double>{16, 2};
    QTest::newRow("letter case makes two buckets")
        << std::vector{asset("a", 1, 1, 10, 1, "US", "Tech"), asset("b", 1, 1, 20, 1, "US", "tech")}
        << QStringList{QStringLiteral("tech"), QStringLiteral("Tech")} << QList<double>{20, 10};
    QTest::newRow("blank keys are in no bucket")
        << std::vector{asset("a", 1, 1, 10, 1, "US", "  "), asset("b", 1, 1, 20, 1, "US", ""),
                       asset("c", 1, 1, 3, 1, "US", "Utilities")}
        << QStringList{QStringLiteral("Utilities")} << QList<double>{3};
    QTest::newRow("ties keep their first appearance")
        << std::vector{asset("a", 1, 1, 5, 1, "US", "B"), asset("b", 1, 1, 9, 1, "US", "C"),
                       asset("c", 1, 1, 5, 1, "US", "A"), asset("d", 1, 1, 5, 1, "US", "D")}
        << QStringList{QStringLiteral("C"), QStringLiteral("B"), QStringLiteral("A"), QStringLiteral("D")}
        << QList<double>{9, 5, 5, 5};
    QTest::newRow("zero value and lost positions are skipped")
        << std::vector{asset("a", 1, 0, 5, 1, "US", "Zero"), asset("b", 1, 1, 0, 1, "US", "Lost"),
                       asset("c", 1, 2, 4, 1, "US", "Kept")}
        << QStringList{QStringLiteral("Kept")} << QList<double>{8};
    QTest::newRow("CJK keys") << std::vector{asset("a", 1, 1, 3, 1, "HK", "信息技术"),
                                             asset("b", 1, 1, 4, 1, "HK", " 信息技术 "),
                                             asset("c", 1, 1, 8, 1, "HK", "金融")}
                              << QStringList{QStringLiteral("金融"), QStringLiteral("信息技术")} << QList<double>{8, 7};
}

void AnalysisTest::allocationBuckets()
{
    QFETCH(std::vector<AssetInput>, assets);
    QFETCH(QStringList, sectorLabels);
    QFETCH(QList<double>, sectorValues);

    const PortfolioSummary summary = analyzePortfolio(assets);
    QStringList gotLabels;
    QList<double> gotValues;
    for (const AllocationItem &item : summary.bySector) {
        gotLabels.append(QString::fromStdString(item.label));
        gotValues.append(item.valueUsd);
        QCOMPARE(item.percentage, item.valueUsd / summary.totalMarketValueUsd * 100.0);
    }
    QCOMPARE(gotLabels, sectorLabels);
    QCOMPARE(gotValues, sectorValues);
}

void AnalysisTest::skippedPositionsStillCountInTheDenominator()
{
    const PortfolioSummary summary =
        analyzePortfolio({asset("a", 1, 1, 30, 1, "US", " ", "Futu"), asset("b", 1, 1, 10, 1, "HK", "Energy", "  ")});
    QCOMPARE(summary.totalMarketValueUsd, 40.0);
    QCOMPARE(labels(summary.bySector), std::vector<std::string>{"Energy"});
    QCOMPARE(summary.bySector.front().percentage, 25.0);
    QCOMPARE(labels(summary.byBroker), std::vector<std::string>{"Futu"});
    QCOMPARE(summary.byBroker.front().percentage, 75.0);
    QCOMPARE(labels(summary.byMarket), (std::vector<std::string>{"US", "HK"}));
}

void AnalysisTest::everyValueZeroGivesNoBuckets()
{
    const PortfolioSummary summary = analyzePortfolio({asset("a", 5, 10, 0), asset("b", 5, 0, 7)});
    QVERIFY(summary.byMarket.empty() && summary.bySector.empty() && summary.byBroker.empty());
    for (const AssetValuation &v : summary.positions)
        QCOMPARE(v.holdPercent, 0.0);
    QCOMPARE(summary.totalReturnPercent, -100.0);
}

void AnalysisTest::unorderableBucketStaysInPlace()
{
    // An infinite price against a zero quantity values at NaN, which is not <= 0 and so gets a bucket.
    const PortfolioSummary summary =
        analyzePortfolio({asset("a", 1, 1, 1, 1, "US", "Small"), asset("b", 1, 0, kInf, 1, "US", "Odd"),
                          asset("c", 1, 1, 3, 1, "US", "Mid"), asset("d", 1, 1, 9, 1, "US", "Big")});
    QCOMPARE(labels(summary.bySector), (std::vector<std::string>{"Small", "Odd", "Big", "Mid"}));
    QVERIFY(std::isnan(summary.bySector[1].valueUsd));
}

void AnalysisTest::malformedTextIsKept()
{
    // Broken UTF-8 is not white space: it neither trims away nor crashes.
    const std::string broken = std::string(" \xE3\x80") + "\xC0\xA0";
    const PortfolioSummary summary = analyzePortfolio({asset("a", 1, 1, 1, 1, "US", broken)});
    QCOMPARE(summary.bySector.size(), size_t(1));
    QCOMPARE(summary.bySector.front().label, broken.substr(1));
}

QTEST_APPLESS_MAIN(AnalysisTest)
#include "tst_analysis.moc"
