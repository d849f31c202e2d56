// Booking a trade against a holding, and the sub-industry a holding keeps when its sector changes.

#include "core/HoldingRules.h"

#include <QTest>

using namespace quillfern;

using Booked = std::optional<Position>;
Q_DECLARE_METATYPE(Booked)
Q_DECLARE_METATYPE(Trade)

class HoldingRulesTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void applyTrade_data()
    {
        QTest::addColumn<Booked>("held");
        QTest::addColumn<Trade>("trade");
        QTest::addColumn<Booked>("after");
        const auto buy = [](double q, double p, double c) { return Trade{Trade::Side::Buy, q, p, c}; };
        const auto sell = [](double q) { return Trade{Trade::Side::Sell, q, 500, 9}; };
        const Booked none, ten = Position{10, 100};
        QTest::newRow("first purchase carries its commission") << none << buy(10, 100, 5) << Booked({10, 100.5});
        QTest::newRow("purchase averages in, commission too") << ten << buy(10, 200, 20) << Booked({20, 151});
        QTest::newRow("purchase onto an emptied holding") << Booked({0, 80}) << buy(4, 10, 2) << Booked({4, 10.5});
        QTest::newRow("sale keeps the average") << ten << sell(4) << Booked({6, 100});
        QTest::newRow("selling all leaves zero") << ten << sell(10) << Booked({0, 100});
        QTest::newRow("rounding never goes negative") << Booked({0.3, 100}) << sell(0.1 + 0.2) << Booked({0, 100});
        QTest::newRow("selling more than held") << ten << sell(10.001) << none;
        QTest::newRow("selling with nothing held") << none << sell(1) << none;
        QTest::newRow("zero quantity") << none << buy(0, 1, 0) << none;
        QTest::newRow("negative quantity") << ten << sell(-5) << none;
        QTest::newRow("negative commission") << ten << buy(1, 1, -1) << none;
        QTest::newRow("not a number") << ten << buy(qQNaN(), 1, 0) << none;
    }

    void applyTrade()
    {
        QFETCH(Booked, held);
        QFETCH(Trade, trade);
        QTEST(quillfern::applyTrade(held, trade), "after");
    }

    void subIndustryForSector_data()
    {
        QTest::addColumn<QString>("sector");
        QTest::addColumn<QString>("current");
        QTest::addColumn<QString>("kept");
        const auto row = [](const char *name, const char *sector, const char *current, const char *kept) {
            QTest::newRow(name) << QString::fromLatin1(sector) << QString::fromLatin1(current)
                                << QString::fromLatin1(kept);
        };
        row("listed under the new sector", "Financials", "Semiconductors", "Semiconductors");
        row("not listed: the first", "Financials", "Application Software", "Diversified Banks");
        row("none yet: the first", "Information Technology", "", "Semiconductors");
        row("unknown sector clears it", "Utilities", "Semiconductors", "");
        row("match is exact", "Financials", "diversified banks", "Diversified Banks");
    }

    void subIndustryForSector()
    {
        QFETCH(QString, sector);
        QFETCH(QString, current);
        QList<GICSClassification> list;
        for (const char *entry :
             {"45/Information Technology/Semiconductors", "45/Information Technology/Application Software",
              "40/Financials/Diversified Banks", "40/Financials/Semiconductors"}) {
            const QStringList parts = QString::fromLatin1(entry).split(QLatin1Char('/'));
            list.append(GICSClassification{parts[0], parts[1], {}, {}, {}, {}, {}, parts[2], {}});
        }
        QTEST(quillfern::subIndustryForSector(list, sector, current), "kept");
        QCOMPARE(gicsSectorNames(list),
                 QStringList({QStringLiteral("Information Technology"), QStringLiteral("Financials")}));
    }
};

QTEST_GUILESS_MAIN(HoldingRulesTest)
#include "tst_holdingrules.moc"
