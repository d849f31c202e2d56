// The holdings model and editor over rows kept in the test itself: no session, no service.

#include "app/holdings/AssetColumns.h"
#include "app/holdings/HoldingsEditor.h"
#include "app/holdings/HoldingsTableModel.h"
#include "tests/support/QuietConsole.h"

#include <QAbstractItemModelTester>
#include <QTest>
#include <QUndoStack>

using namespace quillfern;

namespace {

class TestRows : public HoldingRows {
public:
    QList<AssetRow> list;
    QString status;
    int saves = 0;

    const QList<AssetRow> &rows() const override { return list; }
    const AssetValuation *position(const QString &) const override { return nullptr; }
    CurrencyOption reportingCurrency() const override { return defaultReportingCurrency(); }
    QString displayLanguageCode() const override { return QStringLiteral("en-US"); }
    QStringList brokerageNames() const override { return {QStringLiteral("Futu")}; }
    QStringList gicsSectorNames() const override { return {QStringLiteral("Energy"), QStringLiteral("Financials")}; }
    QStringList gicsSubIndustryNames(const QString &sector) const override
    {
        return sector == QStringLiteral("Energy") ? QStringList{QStringLiteral("Oil")}
                                                  : QStringList{QStringLiteral("Banks"), QStringLiteral("Insurance")};
    }
    void updateRow(const QString &id, const AssetRow &row) override
    {
        const int i = indexOf(id);
        if (i >= 0 && !(list[i] == row)) {
            list[i] = row;
            Q_EMIT rowChanged(i);
        }
    }
    void insertRow(int index, const AssetRow &row) override
    {
        list.insert(index, row);
        Q_EMIT rowInserted(index);
    }
    void removeRow(const QString &id) override
    {
        const int i = indexOf(id);
        if (i < 0)
            return;
        Q_EMIT rowAboutToBeRemoved(i);
        list.removeAt(i);
        Q_EMIT rowRemoved(i);
    }
    void schedulePortfolioSave() override { ++saves; }
    void refreshPriceOf(const QString &) override {}
    const QString &rowEditStatus() const override { return status; }
    void setRowEditStatus(const QString &text) override { status = text; }

private:
    int indexOf(const QString &id) const
    {
        for (qsizetype i = 0; i < list.size(); ++i)
            if (list[i].id == id)
                return int(i);
        return -1;
    }
};

AssetRow row(const char *id, const char *code)
{
    return AssetRow{QString::fromLatin1(id),
                    QStringLiteral("US"),
                    QStringLiteral("Financials"),
                    QStringLiteral("Insurance"),
                    QString::fromLatin1(code),
                    QStringLiteral("Futu"),
                    10,
                    5,
                    12};
}

} // namespace

class HoldingsModelTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { quillfern::testing::failOnConsoleMessages(); }
    void typingReachesOnlyTheEditingRow_data();
    void typingReachesOnlyTheEditingRow();
    void undoAndRedoKeepTheModelWhole();
};

void HoldingsModelTest::typingReachesOnlyTheEditingRow_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QVariant>("typed");
    QTest::addColumn<QString>("subSector");
    QTest::addColumn<double>("quantity");
    QTest::newRow("quantity") << int(QuantityColumn) << QVariant(8.5) << QStringLiteral("Insurance") << 8.5;
    QTest::newRow("sector listing the sub-industry keeps it")
        << int(SectorColumn) << QVariant(QStringLiteral("Financials")) << QStringLiteral("Insurance") << 5.0;
    QTest::newRow("sector without it takes its first")
        << int(SectorColumn) << QVariant(QStringLiteral("Energy")) << QStringLiteral("Oil") << 5.0;
}

void HoldingsModelTest::typingReachesOnlyTheEditingRow()
{
    QFETCH(int, column);
    QFETCH(QVariant, typed);
    QFETCH(QString, subSector);
    QFETCH(double, quantity);
    TestRows rows;
    rows.list = {row("A", "AAPL"), row("B", "MSFT")};
    QUndoStack stack;
    HoldingsEditor editor(rows, stack);
    HoldingsTableModel model(editor);

    QVERIFY(!model.setData(model.index(1, column), typed, Qt::EditRole)); // not in edit mode
    editor.beginEditing(rows.list[1]);
    QVERIFY(!(model.flags(model.index(0, column)) & Qt::ItemIsEditable));
    QVERIFY(model.setData(model.index(1, column), typed, Qt::EditRole));
    QCOMPARE(rows.list[1].subSector, subSector);
    QCOMPARE(rows.list[1].quantity, quantity);
    QCOMPARE(rows.list[0], row("A", "AAPL"));
    QCOMPARE(rows.saves, 0); // typing is not a change until the row is saved
}

void HoldingsModelTest::undoAndRedoKeepTheModelWhole()
{
    TestRows rows;
    rows.list = {row("A", "AAPL"), row("B", "MSFT"), row("C", "NVDA")};
    QUndoStack stack;
    HoldingsEditor editor(rows, stack);
    HoldingsTableModel model(editor);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);

    editor.deleteRow(QStringLiteral("B"));
    const QString added = editor.addRow();
    AssetRow typed = rows.list.last();
    typed.code = QStringLiteral("tsla");
    typed.quantity = 2;
    model.setData(model.index(model.rowCount() - 1, CodeColumn), typed.code, Qt::EditRole);
    model.setData(model.index(model.rowCount() - 1, QuantityColumn), typed.quantity, Qt::EditRole);
    editor.saveEditingRow();
    QCOMPARE(stack.count(), 2);
    QCOMPARE(model.index(2, CodeColumn).data().toString(), QStringLiteral("TSLA"));

    while (stack.canUndo())
        stack.undo();
    QCOMPARE(rows.list, (QList<AssetRow>{row("A", "AAPL"), row("B", "MSFT"), row("C", "NVDA")}));
    QCOMPARE(model.rowCount(), 3);
    QCOMPARE(model.rowOf(QStringLiteral("B")), 1);
    QCOMPARE(model.rowOf(added), -1);
    while (stack.canRedo())
        stack.redo();
    QCOMPARE(model.rowCount(), 3);
    QCOMPARE(model.rowOf(QStringLiteral("B")), -1);
    QCOMPARE(model.index(model.rowOf(added), CodeColumn).data().toString(), QStringLiteral("TSLA"));
}

QTEST_MAIN(HoldingsModelTest)
#include "tst_holdingsmodel.moc"
