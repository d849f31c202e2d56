// Booking a trade against a holding, and the sub-industry a holding keeps when its sector changes.

#include "core/HoldingRules.h"

#include <QTest>

using namespace quillfern;

namespace {

GICSClassification filed(const char *sectorCode, const char *sector, const char *subIndustry)
{
    GICSClassification c;
    c.sectorCode = QLatin1String(sectorCode);
    c.sectorName = QLatin1String(sector);
    c.subIndustryName = QLatin1String(subIndustry);
    return c;
}

const QList<GICSClassification> classifications{
    filed("45", "Information Technology", "Semiconductors"),
    filed("45", "Information Technology", "Application Software"),
    filed("40", "Financials", "Diversified Banks"),
    filed("40", "Financials", "Semiconductors"), // a name two sectors share
    filed("99", "Empty", ""),
};

} // namespace

class HoldingRulesTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void applyTrade_data()
    {
        QTest::addColumn<double>("heldQuantity"); // negative: no holding matches
        QTest::addColumn<double>("heldAverage");
        QTest::addColumn<bool>("buying");
        QTest::addColumn<double>("quantity");
        QTest::addColumn<double>("price");
        QTest::addColumn<double>("commission");
        QTest::addColumn<bool>("booked");
        QTest::addColumn<double>("quantityAfter");
        QTest::addColumn<double>("averageAfter");

        QTest::newRow("first purchase carries its commission") << -1.0 << 0.0 << true << 10.0 << 100.0 << 5.0
                                                                << true << 10.0 << 100.5;
        QTest::newRow("purchase averages in") << 10.0 << 100.0 << true << 10.0 << 200.0 << 0.0 << true << 20.0
                                              << 150.0;
        QTest::newRow("purchase with commission") << 10.0 << 100.0 << true << 10.0 << 200.0 << 20.0 << true
                                                  << 20.0 << 151.0;
        QTest::newRow("purchase onto an emptied holding") << 0.0 << 80.0 << true << 4.0 << 10.0 << 2.0 << true
                                                          << 4.0 << 10.5;
        QTest::newRow("fractional shares") << 0.5 << 300.0 << true << 0.25 << 600.0 << 0.0 << true << 0.75
                                           << 400.0;
        QTest::newRow("sale keeps the average, ignores commission")
            << 10.0 << 100.0 << false << 4.0 << 500.0 << 9.0 << true << 6.0 << 100.0;
        QTest::newRow("selling all leaves zero") << 10.0 << 100.0 << false << 10.0 << 1.0 << 0.0 << true << 0.0
                                                 << 100.0;
        QTest::newRow("rounding margin never goes negative")
            << 0.3 << 100.0 << false << 0.1 + 0.2 << 1.0 << 0.0 << true << 0.0 << 100.0;
        QTest::newRow("selling more than held") << 10.0 << 100.0 << false << 10.001 << 1.0 << 0.0 << false << 0.0
                                                << 0.0;
        QTest::newRow("selling with nothing held") << -1.0 << 0.0 << false << 1.0 << 1.0 << 0.0 << false << 0.0
                                                   << 0.0;
        QTest::newRow("zero quantity") << -1.0 << 0.0 << true << 0.0 << 1.0 << 0.0 << false << 0.0 << 0.0;
        QTest::newRow("negative quantity") << 10.0 << 100.0 << false << -5.0 << 1.0 << 0.0 << false << 0.0
                                           << 0.0;
        QTest::newRow("negative commission") << 10.0 << 100.0 << true << 1.0 << 1.0 << -1.0 << false << 0.0
                                             << 0.0;
        QTest::newRow("not a number") << 10.0 << 100.0 << true << qQNaN() << 1.0 << 0.0 << false << 0.0 << 0.0;
    }

    void applyTrade()
    {
        QFETCH(double, heldQuantity);
        QFETCH(double, heldAverage);
        QFETCH(bool, buying);
        QFETCH(double, quantity);
        QFETCH(double, price);
        QFETCH(double, commission);
        QFETCH(bool, booked);
        const std::optional<Position> held =
            heldQuantity < 0 ? std::nullopt : std::optional<Position>(Position{heldQuantity, heldAverage});
        const auto after =
            quillfern::applyTrade(held, Trade{buying ? Trade::Side::Buy : Trade::Side::Sell, quantity, price, commission});
        QCOMPARE(after.has_value(), booked);
        if (!booked)
            return;
        QTEST(after->quantity, "quantityAfter");
        QTEST(after->averagePrice, "averageAfter");
    }

    void subIndustryForSector_data()
    {
        QTest::addColumn<QString>("sector");
        QTest::addColumn<QString>("current");
        QTest::addColumn<QString>("kept");

        QTest::newRow("listed under the new sector") << "Financials" << "Semiconductors" << "Semiconductors";
        QTest::newRow("not listed: the sector's first") << "Financials" << "Application Software"
                                                        << "Diversified Banks";
        QTest::newRow("none yet: the sector's first") << "Information Technology" << "" << "Semiconductors";
        QTest::newRow("unknown sector clears it") << "Utilities" << "Semiconductors" << "";
        QTest::newRow("match is exact") << "Financials" << "diversified banks" << "Diversified Banks";
    }

    void subIndustryForSector()
    {
        QFETCH(QString, sector);
        QFETCH(QString, current);
        QTEST(quillfern::subIndustryForSector(classifications, sector, current), "kept");
    }

    void sectorNamesOncePerCode()
    {
        QCOMPARE(gicsSectorNames(classifications),
                 (QStringList{QStringLiteral("Information Technology"), QStringLiteral("Financials"),
                              QStringLiteral("Empty")}));
        QCOMPARE(gicsSubIndustryNames({}, QStringLiteral("Financials")), QStringList());
    }
};

QTEST_GUILESS_MAIN(HoldingRulesTest)
#include "tst_holdingrules.moc"
