// The holdings page through its widgets: a double click opens a row, typing updates its figures at once,
// Return saves it; a refused save keeps the row open under an alert; a sector picked from the keyboard
// replaces a sub-industry it does not list. Any Qt warning on the way fails the test.

#include "app/holdings/HoldingsEditor.h"
#include "app/holdings/HoldingsTable.h"
#include "app/holdings/HoldingsTableModel.h"
#include "app/table/CellEditors.h"
#include "app/table/TableStyle.h"
#include "app/table/TotalRowView.h"
#include "tests/holdings/TablePages.h"
#include "tests/support/QuietConsole.h"

#include <QAbstractButton>
#include <QAbstractItemModelTester>
#include <QLabel>
#include <QTableView>

using namespace quillfern;
using namespace quillfern::testing;

class HoldingsPageTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        failOnConsoleMessages();
        m_p = std::make_unique<TablePages>();
        QVERIFY(m_p->load());
        m_p->holdings = std::make_unique<HoldingsPage>(m_p->workspace());
        QVERIFY(showPage(*m_p->holdings));
    }
    void cleanup() { m_p.reset(); }
    void doubleClickEditsTypingUpdatesFiguresReturnSaves();
    void aRejectedSaveShowsTheAlertAndKeepsEditing();
    void sectorChangeReplacesAnUnlistedSubIndustry();
    void automaticPricesWaitForTheEditedRowAndShowTheirAge();

private:
    HoldingsTable &table() { return *m_p->holdings->table(); }
    template <typename Cell> Cell *cell(int row, int column)
    {
        return qobject_cast<Cell *>(table().view()->indexWidget(table().view()->model()->index(row, column)));
    }

    std::unique_ptr<TablePages> m_p;
};

void HoldingsPageTest::doubleClickEditsTypingUpdatesFiguresReturnSaves()
{
    QAbstractItemModelTester tester(table().model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    Workspace &w = m_p->workspace();
    HoldingsEditor &e = m_p->holdings->editor();
    QTableView *view = table().view();
    const QPoint code = view->visualRect(view->model()->index(1, CodeColumn)).center();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, code);
    QCOMPARE(e.selectedRowID(), std::optional(QStringLiteral("H2")));
    QVERIFY(!e.editingRowID());
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, code);
    QCOMPARE(e.editingRowID(), std::optional(QStringLiteral("H2")));

    // The row's figures and the total follow each key, before any save.
    auto *quantity = cell<table::EditingNumberCell>(1, QuantityColumn);
    QVERIFY(quantity);
    const QString totalBefore = table().totalRow()->cells()[1].text;
    quantity->field()->selectAll();
    QTest::keyClicks(quantity->field(), QStringLiteral("50"));
    QCOMPARE(w.rows()[1].quantity, 50.0);
    QCOMPARE(table().model()->index(1, ValueUSDColumn).data().toString(), QStringLiteral("$6,000.00"));
    QVERIFY(table().totalRow()->cells()[1].text != totalBefore);

    auto *codeField = cell<table::EditingTextCell>(1, CodeColumn);
    QVERIFY(codeField);
    codeField->selectAll();
    QTest::keyClicks(codeField, QStringLiteral(" msft "));
    QTest::keyClick(codeField, Qt::Key_Return);
    QVERIFY(!e.editingRowID());
    QCOMPARE(w.rows()[1].code, QStringLiteral("MSFT"));
    QVERIFY(w.hasPendingSave());
    QVERIFY(!cell<QWidget>(1, CodeColumn)); // the editors go with edit mode
    QVERIFY(m_p->holdings->rowStatus()->text().startsWith(QStringLiteral("Saved MSFT")));

    // Each field traces what it bound, what it holds, its focus and what it committed.
    QFile trace(EditDebugLog::path());
    QVERIFY(trace.open(QIODevice::ReadOnly));
    const QString log = QString::fromUtf8(trace.readAll());
    for (const char *line : {"[Edit][Binding] quantity <- 50.0", "[Edit][State] quantity = 50.0",
                             "[Edit][Focus] code editing=true", "[Edit][Commit] code value= msft "})
        QVERIFY2(log.contains(QStringLiteral("[Quillfern]") + QString::fromLatin1(line)), line);
}

void HoldingsPageTest::aRejectedSaveShowsTheAlertAndKeepsEditing()
{
    HoldingsEditor &e = m_p->holdings->editor();
    e.beginEditing(m_p->workspace().rows()[0]);
    auto *quantity = cell<table::EditingNumberCell>(0, QuantityColumn);
    QVERIFY(quantity);
    quantity->field()->selectAll();
    QTest::keyClicks(quantity->field(), QStringLiteral("0"));
    QTest::keyClick(quantity->field(), Qt::Key_Return);
    QTRY_VERIFY(table().rowErrorAlert());
    QMessageBox *alert = table().rowErrorAlert();
    QCOMPARE(alert->windowTitle(), QStringLiteral("Unable to Save Row"));
    QCOMPARE(alert->text(), QStringLiteral("Prices cannot be negative and quantity must be greater than zero."));
    QCOMPARE(alert->buttons().size(), 1);
    alert->buttons().first()->click();
    QTRY_VERIFY(!table().rowErrorAlert());
    QVERIFY(!e.rowEditError());
    QCOMPARE(e.editingRowID(), std::optional(QStringLiteral("H1")));
    QCOMPARE(m_p->workspace().rows()[0].quantity, 0.0); // as typed, not saved
    QVERIFY(!m_p->workspace().hasPendingSave());
}

void HoldingsPageTest::sectorChangeReplacesAnUnlistedSubIndustry()
{
    Workspace &w = m_p->workspace();
    m_p->holdings->editor().beginEditing(w.rows()[0]);
    auto *sector = cell<table::PickerCell>(0, SectorColumn);
    auto *sub = cell<table::PickerCell>(0, SubSectorColumn);
    QVERIFY(sector && sub);
    QCOMPARE(sector->count(), 2);
    sector->setFocus();
    QTest::keyClicks(sector, QStringLiteral("En"));
    QCOMPARE(w.rows()[0].sector, QStringLiteral("Energy"));
    QCOMPARE(w.rows()[0].subSector, QStringLiteral("Coal & Consumable Fuels"));
    QCOMPARE(sub->currentText(), QStringLiteral("Coal & Consumable Fuels"));
}

void HoldingsPageTest::automaticPricesWaitForTheEditedRowAndShowTheirAge()
{
    Workspace &w = m_p->workspace();
    m_p->server.on("GET", "/v1/market/stock?symbol=AAPL&market=US",
                   {200, R"({"price":200,"as_of":"2026-12-04T21:00:09Z","source":"demo"})"});
    m_p->server.on("GET", "/v1/market/stock?symbol=NVDA&market=US",
                   {200, R"({"price":120,"as_of":"2020-01-02T21:00:00Z","source":"csv"})"});
    const auto asked = [this] { return requestsTo(m_p->server, "/v1/market/stock").size(); };
    const std::size_t before = asked();
    QTableView *view = table().view();
    const QPoint code = view->visualRect(view->model()->index(0, CodeColumn)).center();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, code);
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, code);
    QVERIFY(m_p->holdings->editor().editingRowID());

    // Due while a row is edited: it waits, and goes once the row is left.
    w.priceRefresher().setAutomatic(true);
    w.priceRefresher().runAutomatically();
    QCoreApplication::processEvents();
    QVERIFY(!w.priceRefresher().isRefreshing());
    QCOMPARE(asked(), before);
    m_p->holdings->editor().cancelEditing();
    QTRY_COMPARE(asked(), before + 2);
    QTRY_VERIFY(!w.priceRefresher().isRefreshing());
    QCOMPARE(m_p->holdings->priceStatus()->text(), QStringLiteral("Demo prices"));

    // Both prices are drawn as not to be relied on, and say why: one from the demo table, one years old.
    const QColor secondary = table::secondaryText(view->palette());
    const QStringList why{QStringLiteral("Source: demo prices, not live"),
                          QStringLiteral("Source: live\nMore than 3 days old")};
    for (int row : {0, 1}) {
        const QModelIndex price = view->model()->index(row, CurrentPriceColumn);
        QCOMPARE(price.data(Qt::ForegroundRole).value<QColor>(), secondary);
        QVERIFY(price.data(Qt::ToolTipRole).toString().endsWith(why[row]));
        QCOMPARE(view->model()->index(row, CodeColumn).data(Qt::ForegroundRole), QVariant());
    }
}

QTEST_MAIN(HoldingsPageTest)
#include "tst_holdingspage.moc"
