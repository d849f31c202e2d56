// The holdings model and editor over rows kept in the test itself: no session, no service. The model runs
// under QAbstractItemModelTester throughout.

#include "app/holdings/AssetColumns.h"
#include "app/holdings/HoldingsEditor.h"
#include "app/holdings/HoldingsTableModel.h"
#include "app/table/CellRoles.h"
#include "tests/support/QuietConsole.h"
#include "text/Localization.h"

#include <QAbstractItemModelTester>
#include <QTest>
#include <QUndoStack>

using namespace quillfern;

namespace {

class TestRows : public HoldingRows {
public:
    explicit TestRows(QList<AssetRow> rows) : list(std::move(rows)) {}

    QList<AssetRow> list;
    CurrencyOption currency = defaultReportingCurrency();
    QString language = QStringLiteral("en-US");
    QString status;
    int saves = 0;

    const QList<AssetRow> &rows() const override { return list; }
    const AssetValuation *position(const QString &) const override { return nullptr; }
    CurrencyOption reportingCurrency() const override { return currency; }
    QString displayLanguageCode() const override { return language; }
    QString displayLocale() const override { return QStringLiteral("en_US"); }
    const PriceFacts *priceFacts(const AssetRow &) const override { return nullptr; }
    QStringList brokerageNames() const override { return {QStringLiteral("Futu")}; }
    QStringList gicsSectorNames() const override
    {
        return {QStringLiteral("Energy"), QStringLiteral("Financials"), QStringLiteral("Health Care")};
    }
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
        Q_EMIT rowAboutToBeInserted(index);
        list.insert(index, row);
        Q_EMIT rowInserted(index);
    }
    void removeRow(const QString &id) override
    {
        if (const int i = indexOf(id); i >= 0) {
            Q_EMIT rowAboutToBeRemoved(i);
            list.removeAt(i);
            Q_EMIT rowRemoved(i);
        }
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

AssetRow row(const char *id, const char *code, const char *market = "US", double average = 10, double quantity = 5,
             double price = 12)
{
    const auto text = [](const char *latin) { return QString::fromLatin1(latin); };
    // Each row at a broker of its own, so that the tester sees a row shown at the wrong place.
    return {text(id), text(market), text("Financials"), text("Insurance"), text(code), text("Futu ") + text(id),
            average, quantity, price};
}

// The rows, an editor and the model over them, checked by the tester.
struct Fixture {
    explicit Fixture(QList<AssetRow> list) : rows(std::move(list)) {}
    TestRows rows;
    QUndoStack stack;
    HoldingsEditor editor{rows, stack};
    HoldingsTableModel model{editor};
    QAbstractItemModelTester tester{&model, QAbstractItemModelTester::FailureReportingMode::QtTest};
};

} // namespace

class HoldingsModelTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { quillfern::testing::failOnConsoleMessages(); }
    void typingReachesOnlyTheEditingRow_data();
    void typingReachesOnlyTheEditingRow();
    void undoAndRedoKeepTheModelWhole();
    void textsFollowCurrencyAndLanguage();
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
    Fixture f({row("A", "AAPL"), row("B", "MSFT")});
    QVERIFY(!f.model.setData(f.model.index(1, column), typed, Qt::EditRole)); // not in edit mode
    f.editor.beginEditing(f.rows.list[1]);
    QVERIFY(!(f.model.flags(f.model.index(0, column)) & Qt::ItemIsEditable));
    QVERIFY(f.model.setData(f.model.index(1, column), typed, Qt::EditRole));
    QTEST(f.rows.list[1].subSector, "subSector");
    QTEST(f.rows.list[1].quantity, "quantity");
    QCOMPARE(f.rows.list[0], row("A", "AAPL"));
    QCOMPARE(f.rows.saves, 0); // typing is not a change until the row is saved
}

void HoldingsModelTest::undoAndRedoKeepTheModelWhole()
{
    const QList<AssetRow> before{row("A", "AAPL"), row("B", "MSFT"), row("C", "NVDA")};
    Fixture f(before);
    QUndoStack &stack = f.stack;
    HoldingsTableModel &model = f.model;
    f.editor.addRow();
    f.editor.cancelEditing(); // a new row given up goes again
    f.editor.selectRow(QStringLiteral("A"));
    f.editor.deleteRow(QStringLiteral("B"));
    const QString added = f.editor.addRow();
    const int last = model.rowCount() - 1;
    model.setData(model.index(last, CodeColumn), QStringLiteral("tsla"), Qt::EditRole);
    model.setData(model.index(last, QuantityColumn), 2.0, Qt::EditRole);
    f.editor.saveEditingRow();
    QCOMPARE(stack.count(), 2);
    QCOMPARE(model.index(2, CodeColumn).data().toString(), QStringLiteral("TSLA"));

    while (stack.canUndo())
        stack.undo();
    QCOMPARE(f.rows.list, before);
    QCOMPARE(model.rowCount(), 3);
    QCOMPARE(model.rowOf(QStringLiteral("B")), 1);
    QCOMPARE(model.rowOf(added), -1);
    QVERIFY(!f.editor.selectedRowID()); // the added row was selected; it went with the undo
    while (stack.canRedo())
        stack.redo();
    QCOMPARE(model.rowCount(), 3);
    QCOMPARE(model.rowOf(QStringLiteral("B")), -1);
    QCOMPARE(model.index(model.rowOf(added), CodeColumn).data().toString(), QStringLiteral("TSLA"));
}

void HoldingsModelTest::textsFollowCurrencyAndLanguage()
{
    Fixture f({row("A", "8035", "JP", 22150.5, 10, 24890)});
    const auto title = [&f](int column, int role = Qt::DisplayRole) {
        return f.model.headerData(column, Qt::Horizontal, role).toString();
    };
    QCOMPARE(title(ValueUSDColumn), QStringLiteral("Market Value (USD)"));
    f.rows.currency = CurrencyOption{QStringLiteral("EUR"), QStringLiteral("Euro"), QStringLiteral("\u20AC"), {}, 1.08};
    Q_EMIT f.rows.preferencesChanged();
    QCOMPARE(title(ValueUSDColumn), QStringLiteral("Market Value (EUR)"));
    f.rows.language = QStringLiteral("ja-JP");
    Q_EMIT f.rows.preferencesChanged();
    QCOMPARE(title(BrokerColumn), AppText::value(u"brokerage", u"ja-JP"));
    QCOMPARE(title(ActionsColumn), QString());
    QCOMPARE(title(ActionsColumn, Qt::ToolTipRole), QStringLiteral("右端をドラッグしてこの列の幅を変更"));
    QCOMPARE(title(BrokerColumn, Qt::ToolTipRole), QStringLiteral("右端をドラッグして「証券会社」の幅を変更"));
    QCOMPARE(f.model.index(0, BrokerColumn).data(Qt::ToolTipRole).toString(),
             QStringLiteral("ダブルクリックでこの行を編集"));
    // Prices in the market's currency, symbol first, four and two fraction digits at most; the quantity bare.
    QCOMPARE(f.model.index(0, AveragePriceColumn).data().toString(), QStringLiteral("\u00A522,150.5"));
    QCOMPARE(f.model.index(0, CurrentPriceColumn).data().toString(), QStringLiteral("\u00A524,890"));
    QCOMPARE(f.model.index(0, QuantityColumn).data().toString(), QStringLiteral("10"));
    // A sector shows in the language and its picker lists in the language's order, values still English.
    const QModelIndex sector = f.model.index(0, SectorColumn);
    QCOMPARE(sector.data().toString(), QStringLiteral("金融"));
    QCOMPARE(sector.data(table::OptionsRole).toStringList(),
             QStringList({QStringLiteral("Energy"), QStringLiteral("Health Care"), QStringLiteral("Financials")}));
    QCOMPARE(sector.data(table::OptionLabelsRole).toStringList(),
             QStringList({QStringLiteral("エネルギー"), QStringLiteral("ヘルスケア"), QStringLiteral("金融")}));
}

QTEST_MAIN(HoldingsModelTest)
#include "tst_holdingsmodel.moc"
