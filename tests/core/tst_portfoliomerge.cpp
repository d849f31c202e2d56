// The three-way merge of one table's rows: what each side changed since the shared base.

#include "core/PortfolioMerge.h"
#include "core/PortfolioRows.h"

#include <QTest>

using namespace quillfern;

namespace {

// Rows written as "id:quantity", so a table reads like the case it describes.
QList<AssetRow> rows(const QString &text)
{
    QList<AssetRow> list;
    for (const QString &entry : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QStringList parts = entry.split(QLatin1Char(':'));
        list.append(AssetRow{parts[0], QStringLiteral("US"), {}, {}, parts[0], QStringLiteral("B"), 1,
                             parts[1].toDouble(), 1});
    }
    return list;
}

QString text(const QList<AssetRow> &list)
{
    QStringList entries;
    for (const AssetRow &row : list)
        entries.append(row.id + QLatin1Char(':') + QString::number(row.quantity));
    return entries.join(QLatin1Char(' '));
}

} // namespace

class PortfolioMergeTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void merge_data()
    {
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("local");
        QTest::addColumn<QString>("remote");
        QTest::addColumn<QString>("merged");
        QTest::addColumn<QString>("conflicts");

        QTest::newRow("nothing changed") << "a:1 b:2" << "a:1 b:2" << "a:1 b:2" << "a:1 b:2" << "";
        QTest::newRow("only remote changed") << "a:1 b:2" << "a:1 b:2" << "a:5 b:2 c:3" << "a:5 b:2 c:3" << "";
        QTest::newRow("different rows changed") << "a:1 b:2" << "a:9 b:2" << "a:1 b:7" << "a:9 b:7" << "";
        QTest::newRow("same change on both sides") << "a:1" << "a:4" << "a:4" << "a:4" << "";
        QTest::newRow("same row changed differently") << "a:1 b:2" << "a:9 b:2" << "a:7 b:2" << "a:9 b:2" << "a:9";
        QTest::newRow("added on both sides") << "a:1" << "a:1 n:5" << "a:1 r:6" << "a:1 n:5 r:6" << "";
        QTest::newRow("deleted here, untouched there") << "a:1 b:2" << "b:2" << "a:1 b:2" << "b:2" << "";
        QTest::newRow("deleted there, untouched here") << "a:1 b:2" << "a:1 b:2" << "b:2" << "b:2" << "";
        QTest::newRow("deleted here, edited there") << "a:1 b:2" << "b:2" << "a:3 b:2" << "b:2 a:3" << "";
        QTest::newRow("edited here, deleted there") << "a:1 b:2" << "a:8 b:2" << "b:2" << "a:8 b:2" << "";
        QTest::newRow("deleted on both sides") << "a:1 b:2" << "b:2" << "b:2" << "b:2" << "";
        // A window that never loaded anything: the service's rows all stay, the typed row joins them.
        QTest::newRow("nothing loaded before") << "" << "n:1" << "a:1 b:2" << "n:1 a:1 b:2" << "";
        QTest::newRow("local order kept") << "a:1 b:2 c:3" << "c:3 a:1 b:5" << "a:1 b:2 c:3" << "c:3 a:1 b:5" << "";
    }

    void merge()
    {
        QFETCH(QString, base);
        QFETCH(QString, local);
        QFETCH(QString, remote);
        const auto merged = mergeRows(rows(base), rows(local), rows(remote));
        QTEST(text(merged.rows), "merged");
        QTEST(text(merged.conflicts), "conflicts");
    }
};

QTEST_APPLESS_MAIN(PortfolioMergeTest)
#include "tst_portfoliomerge.moc"
