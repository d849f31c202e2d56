// GICS names as the tables, pickers and charts show them, against the classification the service seeds its
// database with.

#include "app/table/CellDelegate.h"
#include "app/table/CellEditors.h"
#include "app/table/CellRoles.h"
#include "text/GicsNames.h"

#include <QApplication>
#include <QFile>
#include <QSet>
#include <QStandardItemModel>
#include <QTest>

using namespace quillfern;

namespace {

struct ServiceNames {
    QStringList sectors;
    QStringList subIndustries;
};

// The sector and sub-industry names of the service's seed file, each once, in its order.
const ServiceNames &serviceNames()
{
    static const ServiceNames names = [] {
        ServiceNames read;
        QFile file(QStringLiteral(QUILLFERN_GICS_TSV));
        if (!file.open(QIODevice::ReadOnly))
            return read;
        file.readLine(); // the header
        while (!file.atEnd()) {
            const QStringList cells = QString::fromUtf8(file.readLine()).trimmed().split(QLatin1Char('\t'));
            if (cells.size() != 8)
                continue;
            if (!read.sectors.contains(cells[1]))
                read.sectors.append(cells[1]);
            read.subIndustries.append(cells[7]);
        }
        return read;
    }();
    return names;
}

} // namespace

class GicsNamesTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void everyServiceNameHasItsOwnTranslation_data();
    void everyServiceNameHasItsOwnTranslation();
    void lookup_data();
    void lookup();
    void japanesePickerListsInJapaneseOrderAndStoresEnglish();
};

void GicsNamesTest::everyServiceNameHasItsOwnTranslation_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<bool>("sectors");
    for (const char *language : {"zh-CN", "zh-TW", "ja-JP", "ko-KR"}) {
        QTest::addRow("%s sectors", language) << QString::fromLatin1(language) << true;
        QTest::addRow("%s sub-industries", language) << QString::fromLatin1(language) << false;
    }
}

void GicsNamesTest::everyServiceNameHasItsOwnTranslation()
{
    QFETCH(QString, language);
    QFETCH(bool, sectors);
    const QStringList &names = sectors ? serviceNames().sectors : serviceNames().subIndustries;
    QCOMPARE(names.size(), sectors ? 11 : 163);
    QHash<QString, QString> seen; // shown name to English name
    for (const QString &name : names) {
        const QString shown = gicsDisplayName(name, language);
        QVERIFY2(!shown.isEmpty() && shown != name, qPrintable(name));
        QVERIFY2(!seen.contains(shown), qPrintable(name + QStringLiteral(" and ") + seen.value(shown)));
        seen.insert(shown, name);
    }
}

void GicsNamesTest::lookup_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("shown");
    const QString it = QStringLiteral("Information Technology");
    QTest::newRow("simplified Chinese") << it << QStringLiteral("zh-CN") << QStringLiteral("信息技术");
    QTest::newRow("traditional Chinese") << it << QStringLiteral("zh-TW") << QStringLiteral("資訊科技");
    QTest::newRow("Japanese") << it << QStringLiteral("ja-JP") << QStringLiteral("情報技術");
    QTest::newRow("Korean") << it << QStringLiteral("ko-KR") << QStringLiteral("정보기술");
    QTest::newRow("sub-industry") << QStringLiteral("Semiconductors") << QStringLiteral("zh-TW")
                                  << QStringLiteral("半導體");
    QTest::newRow("English") << it << QStringLiteral("en-GB") << it;
    QTest::newRow("unknown language") << it << QStringLiteral("fr-FR") << it;
    QTest::newRow("typed by the user") << QStringLiteral("Robotics") << QStringLiteral("ja-JP")
                                       << QStringLiteral("Robotics");
    QTest::newRow("other case") << QStringLiteral("energy") << QStringLiteral("ko-KR") << QStringLiteral("energy");
    QTest::newRow("empty") << QString() << QStringLiteral("zh-CN") << QString();
}

void GicsNamesTest::lookup()
{
    QFETCH(QString, name);
    QFETCH(QString, language);
    QTEST(gicsDisplayName(name, language), "shown");
}

void GicsNamesTest::japanesePickerListsInJapaneseOrderAndStoresEnglish()
{
    const QStringList options = sortedByGicsDisplayName(serviceNames().sectors, u"ja-JP");
    const QStringList labels = gicsDisplayNames(options, u"ja-JP");
    // Kana first, then kanji by their readings (いち, きん, こう, し, じょう, せい, そ, ふ), not by code point.
    const QStringList japaneseOrder =
        QStringLiteral("エネルギー コミュニケーション・サービス ヘルスケア 一般消費財・サービス 金融 公益事業 "
                       "資本財・サービス 情報技術 生活必需品 素材 不動産")
            .split(u' ');
    QCOMPARE(labels, japaneseOrder);

    QStandardItemModel model(1, 1);
    const QModelIndex cell = model.index(0, 0);
    model.setData(cell, int(table::CellKind::Picker), table::CellKindRole);
    model.setData(cell, QStringLiteral("Energy"), table::ValueRole);
    model.setData(cell, options, table::OptionsRole);
    model.setData(cell, labels, table::OptionLabelsRole);
    table::CellDelegate delegate;
    QWidget parent;
    auto *picker = qobject_cast<table::PickerCell *>(delegate.createEditor(&parent, {}, cell));
    QVERIFY(picker);
    delegate.setEditorData(picker, cell);
    QCOMPARE(picker->currentText(), QStringLiteral("エネルギー"));
    picker->setCurrentIndex(picker->findText(QStringLiteral("金融")));
    delegate.setModelData(picker, &model, cell);
    QCOMPARE(model.data(cell, Qt::EditRole).toString(), QStringLiteral("Financials"));
}

QTEST_MAIN(GicsNamesTest)
#include "tst_gicsnames.moc"
