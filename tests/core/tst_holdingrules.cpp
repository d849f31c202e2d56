// The sub-industry a holding keeps when its sector changes.

#include "core/HoldingRules.h"

#include <QTest>

using namespace quillfern;


class HoldingRulesTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
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
