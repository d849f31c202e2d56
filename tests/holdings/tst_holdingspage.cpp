#include "app/charts/HoldingStatsView.h"
#include "app/holdings/HoldingsEditor.h"
#include "app/holdings/HoldingsPage.h"
#include "app/holdings/HoldingsTable.h"
#include "app/holdings/HoldingsTableModel.h"
#include "app/table/AddTableButton.h"
#include "app/table/CellEditors.h"
#include "app/table/ResizableHeader.h"
#include "app/table/TotalRowView.h"
#include "tests/workspace/WorkspaceHarness.h"
#include "tests/support/QuietConsole.h"

#include "text/Localization.h"

#include <QAbstractButton>
#include <QAbstractItemModelTester>
#include <QApplication>
#include <QLabel>
#include <QScrollBar>
#include <QTableView>

using namespace quillfern;
using namespace quillfern::testing;

namespace {

const QString token = QStringLiteral("token-a");

const char *const gics = R"json([
 {"sector_code":"45","sector_name":"Information Technology","industry_group_code":"4530","industry_group_name":"Semis",
  "industry_code":"453010","industry_name":"Semis","sub_industry_code":"45301020","sub_industry_name":"Semiconductors",
  "source_version":"2023"},
 {"sector_code":"45","sector_name":"Information Technology","industry_group_code":"4520","industry_group_name":"Hardware",
  "industry_code":"452020","industry_name":"Hardware","sub_industry_code":"45202030",
  "sub_industry_name":"Technology Hardware, Storage & Peripherals","source_version":"2023"},
 {"sector_code":"40","sector_name":"Financials","industry_group_code":"4010","industry_group_name":"Banks",
  "industry_code":"401010","industry_name":"Banks","sub_industry_code":"40101010","sub_industry_name":"Diversified Banks",
  "source_version":"2023"},
 {"sector_code":"60","sector_name":"Real Estate","industry_group_code":"6010","industry_group_name":"REITs",
  "industry_code":"601010","industry_name":"REITs","sub_industry_code":"60101010","sub_industry_name":"Diversified REITs",
  "source_version":"2023"}])json";

QList<AssetRow> seededRows()
{
    const auto row = [](const char *id, const char *market, const char *sector, const char *sub, const char *code,
                        const char *broker, double average, double quantity, double price) {
        return AssetRow{QString::fromLatin1(id),
                        QString::fromLatin1(market),
                        QString::fromUtf8(sector),
                        QString::fromUtf8(sub),
                        QString::fromLatin1(code),
                        QString::fromUtf8(broker),
                        average,
                        quantity,
                        price};
    };
    return {row("A", "US", "Information Technology", "Semiconductors", "NVDA", "Futu", 95.5, 40, 121.4),
            row("B", "US", "Information Technology", "Technology Hardware, Storage & Peripherals", "AAPL", "Tiger", 150,
                25, 189.84),
            row("C", "HK", "Financials", "Diversified Banks", "0005", "Futu", 70.2, 800, 64.5),
            row("D", "JP", "Information Technology", "Semiconductors", "8035", "Snowball", 22150.5, 10, 24890),
            row("E", "CN", "Financials", "Diversified Banks", "600036", "Snowball", 36.2, 1000, 33.1),
            row("F", "EU", "Real Estate", "Diversified REITs", "VNA", "Interactive Brokers", 28, 120, 25.3)};
}

} // namespace

class HoldingsPageTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void modelHoldsTogether();
    void titlesFollowTheReportingCurrency();
    void doubleClickEditsTypingUpdatesFiguresReturnSaves();
    void escapeRestoresTheRow();
    void escapeTakesANewRowAway_data();
    void escapeTakesANewRowAway();
    void lettersLeaveANumberUnchanged();
    void aRejectedSaveShowsTheAlertAndKeepsEditing();
    void sectorChangeReplacesAnUnlistedSubIndustry();
    void screenshots_data();
    void screenshots();

private:
    HoldingsTable &table() { return *m_page->table(); }
    QWidget *editorAt(int row, int column)
    {
        return table().view()->indexWidget(table().view()->model()->index(row, column));
    }
    QRect cellRect(int row, int column)
    {
        return table().view()->visualRect(table().view()->model()->index(row, column));
    }

    std::unique_ptr<ScriptedServer> m_server;
    std::unique_ptr<WorkspaceHarness> m_h;
    std::unique_ptr<HoldingsPage> m_page;
};

void HoldingsPageTest::init()
{
    quillfern::testing::failOnConsoleMessages();
    m_server = std::make_unique<ScriptedServer>();
    scriptSession(*m_server, seededRows());
    m_server->on("GET", "/v1/gics-classifications", {200, gics});
    m_server->on("GET", "/v1/market/stock", {404, R"({"error":"No quote."})"});
    m_server->on("GET", "/v1/languages", {200, R"([
      {"code":"en-US","name":"English","native_name":"English","locale":"en_US","flag":""},
      {"code":"ja-JP","name":"Japanese","native_name":"日本語","locale":"ja_JP","flag":""},
      {"code":"ko-KR","name":"Korean","native_name":"한국어","locale":"ko_KR","flag":""}])"});
    m_server->on("GET", "/v1/currencies", {200, R"([
      {"code":"USD","name":"US Dollar","symbol":"$","flag":"","fx_to_usd":1},
      {"code":"EUR","name":"Euro","symbol":"€","flag":"","fx_to_usd":1.08},
      {"code":"JPY","name":"Yen","symbol":"¥","flag":"","fx_to_usd":0.0067}])"});
    m_h = std::make_unique<WorkspaceHarness>();
    m_h->open(m_server->baseURL(), token);
    QVERIFY(m_h->startAndLoad());
    m_page = std::make_unique<HoldingsPage>(*m_h->workspace);
    m_page->resize(1280, 900);
    m_page->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_page.get()));
}

void HoldingsPageTest::cleanup()
{
    m_page.reset();
    m_h.reset();
    m_server.reset();
}

void HoldingsPageTest::modelHoldsTogether()
{
    QAbstractItemModelTester tester(table().model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    Workspace &w = *m_h->workspace;
    HoldingsEditor &e = m_page->editor();
    e.addRow();
    e.cancelEditing();
    e.deleteRow(w.rows().first().id);
    e.selectRow(w.rows().first().id);
    e.beginEditing(w.rows()[1]);
    w.setReportingCurrencyCode(QStringLiteral("HKD"));
    QCOMPARE(table().model()->rowCount(), int(w.rows().size()));
}

void HoldingsPageTest::titlesFollowTheReportingCurrency()
{
    Workspace &w = *m_h->workspace;
    auto *model = table().model();
    QCOMPARE(model->headerData(ValueUSDColumn, Qt::Horizontal, Qt::DisplayRole).toString(),
             QStringLiteral("Market Value (USD)"));
    w.setReportingCurrencyCode(QStringLiteral("EUR"));
    QCOMPARE(model->headerData(ValueUSDColumn, Qt::Horizontal, Qt::DisplayRole).toString(),
             QStringLiteral("Market Value (EUR)"));
    w.setLanguageCode(QStringLiteral("ja-JP"));
    QCOMPARE(model->headerData(ActionsColumn, Qt::Horizontal, Qt::DisplayRole).toString(), QString());
    QVERIFY(model->headerData(ActionsColumn, Qt::Horizontal, Qt::ToolTipRole)
                .toString()
                .endsWith(QStringLiteral("this column")));
    QCOMPARE(model->headerData(BrokerColumn, Qt::Horizontal, Qt::DisplayRole).toString(),
             AppText::value(u"brokerage", u"ja-JP"));
    // A yen row: symbol before the number, four and two fraction digits at most, the quantity bare.
    QCOMPARE(model->index(3, AveragePriceColumn).data().toString(), QStringLiteral("\u00A522,150.5"));
    QCOMPARE(model->index(3, CurrentPriceColumn).data().toString(), QStringLiteral("\u00A524,890"));
    QCOMPARE(model->index(3, QuantityColumn).data().toString(), QStringLiteral("10"));
}

void HoldingsPageTest::doubleClickEditsTypingUpdatesFiguresReturnSaves()
{
    Workspace &w = *m_h->workspace;
    HoldingsEditor &e = m_page->editor();
    QTableView *view = table().view();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cellRect(1, CodeColumn).center());
    QCOMPARE(e.selectedRowID(), std::optional(QStringLiteral("B")));
    QVERIFY(!e.editingRowID());
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, cellRect(1, CodeColumn).center());
    QCOMPARE(e.editingRowID(), std::optional(QStringLiteral("B")));

    auto *quantity =
        qobject_cast<table::EditingNumberCell *>(view->indexWidget(view->model()->index(1, QuantityColumn)));
    QVERIFY(quantity);
    const QString valueBefore = table().model()->index(1, ValueUSDColumn).data().toString();
    const QString totalBefore = table().totalRow()->cells()[1].text;
    quantity->field()->selectAll();
    QTest::keyClicks(quantity->field(), QStringLiteral("50"));
    QCOMPARE(w.rows()[1].quantity, 50.0);
    QCOMPARE(table().model()->index(1, ValueUSDColumn).data().toString(), QStringLiteral("$9,492.00"));
    QVERIFY(table().model()->index(1, ValueUSDColumn).data().toString() != valueBefore);
    QVERIFY(table().totalRow()->cells()[1].text != totalBefore);

    auto *code = qobject_cast<table::EditingTextCell *>(view->indexWidget(view->model()->index(1, CodeColumn)));
    QVERIFY(code);
    code->selectAll();
    QTest::keyClicks(code, QStringLiteral(" aapl "));
    QTest::keyClick(code, Qt::Key_Return);
    QVERIFY(!e.editingRowID());
    QCOMPARE(w.rows()[1].code, QStringLiteral("AAPL"));
    QVERIFY(w.hasPendingSave());
    QVERIFY(!view->indexWidget(view->model()->index(1, CodeColumn))); // editors are gone with edit mode
    QVERIFY(m_page->rowStatus()->text().startsWith(QStringLiteral("Saved AAPL")));

    QFile trace(EditDebugLog::path());
    QVERIFY(trace.open(QIODevice::ReadOnly));
    const QString log = QString::fromUtf8(trace.readAll());
    QVERIFY(log.contains(QStringLiteral("[Quillfern][Edit][Binding] quantity <- 50.0")));
    QVERIFY(log.contains(QStringLiteral("[Quillfern][Edit][State] quantity = 50.0")));
    QVERIFY(log.contains(QStringLiteral("[Quillfern][Edit][Focus] code editing=true")));
    QVERIFY(log.contains(QStringLiteral("[Quillfern][Edit][Commit] code value= aapl ")));
}

void HoldingsPageTest::escapeRestoresTheRow()
{
    Workspace &w = *m_h->workspace;
    HoldingsEditor &e = m_page->editor();
    const AssetRow before = w.rows()[0];
    // A real double click starts with a press, as the window system sends it.
    QTest::mouseClick(table().view()->viewport(), Qt::LeftButton, {}, cellRect(0, MarketColumn).center());
    QTest::mouseDClick(table().view()->viewport(), Qt::LeftButton, {}, cellRect(0, MarketColumn).center());
    auto *code =
        qobject_cast<table::EditingTextCell *>(editorAt(0, CodeColumn));
    QVERIFY(code);
    QTest::keyClicks(code, QStringLiteral("XYZ"));
    QVERIFY(w.rows()[0].code != before.code);
    QTest::keyClick(code, Qt::Key_Escape);
    QCOMPARE(w.rows()[0], before);
    QVERIFY(!e.editingRowID());
    QCOMPARE(m_page->rowStatus()->text(), QStringLiteral("Changes discarded"));
    // Return on a row that is not being edited does nothing.
    QTest::keyClick(table().view(), Qt::Key_Return);
    QVERIFY(!e.editingRowID());
    QCOMPARE(w.rows()[0], before);
}

void HoldingsPageTest::escapeTakesANewRowAway_data()
{
    QTest::addColumn<int>("column");
    QTest::newRow("from the code") << int(CodeColumn);
    QTest::newRow("from the quantity") << int(QuantityColumn);
}

void HoldingsPageTest::escapeTakesANewRowAway()
{
    QFETCH(int, column);
    Workspace &w = *m_h->workspace;
    const QList<AssetRow> before = w.rows();
    QTest::mouseClick(m_page->addRowButton(), Qt::LeftButton);
    QCOMPARE(table().view()->model()->rowCount(), before.size() + 1);
    QWidget *cell = editorAt(int(before.size()), column);
    QVERIFY(cell);
    auto *number = qobject_cast<table::EditingNumberCell *>(cell);
    QWidget *field = number ? static_cast<QWidget *>(number->field()) : cell;
    field->setFocus();
    QTest::keyClicks(field, QStringLiteral("7"));
    QTest::keyClick(field, Qt::Key_Escape);
    QCOMPARE(w.rows(), before);
    QCOMPARE(table().view()->model()->rowCount(), before.size());
    QVERIFY(!m_page->editor().editingRowID());
    QCOMPARE(w.undoStack().count(), 0);
}

void HoldingsPageTest::lettersLeaveANumberUnchanged()
{
    Workspace &w = *m_h->workspace;
    HoldingsEditor &e = m_page->editor();
    e.beginEditing(w.rows()[0]);
    auto *average = qobject_cast<table::EditingNumberCell *>(
        editorAt(0, AveragePriceColumn));
    QVERIFY(average);
    QVERIFY(average->prefixLabel());
    QCOMPARE(average->prefixLabel()->text(), QStringLiteral("$"));
    QCOMPARE(average->field()->text(), QStringLiteral("95.5"));
    average->field()->selectAll();
    QTest::keyClicks(average->field(), QStringLiteral("abc"));
    QCOMPARE(w.rows()[0].averagePrice, 95.5);
    average->field()->selectAll();
    QTest::keyClicks(average->field(), QStringLiteral("1,234.5"));
    QCOMPARE(w.rows()[0].averagePrice, 1234.5);
    auto *quantity = qobject_cast<table::EditingNumberCell *>(
        editorAt(0, QuantityColumn));
    QVERIFY(!quantity->prefixLabel()); // no prefix, the field alone
}

void HoldingsPageTest::aRejectedSaveShowsTheAlertAndKeepsEditing()
{
    Workspace &w = *m_h->workspace;
    HoldingsEditor &e = m_page->editor();
    e.beginEditing(w.rows()[2]);
    auto *quantity = qobject_cast<table::EditingNumberCell *>(
        editorAt(2, QuantityColumn));
    quantity->field()->selectAll();
    QTest::keyClicks(quantity->field(), QStringLiteral("0"));
    QTest::keyClick(quantity->field(), Qt::Key_Return);
    QTRY_VERIFY(table().rowErrorAlert());
    QMessageBox *alert = table().rowErrorAlert();
    QCOMPARE(alert->windowTitle(), QStringLiteral("Unable to Save Row"));
    QCOMPARE(alert->text(), QStringLiteral("Prices cannot be negative and quantity must be greater than zero."));
    QCOMPARE(e.editingRowID(), std::optional(QStringLiteral("C")));
    QCOMPARE(alert->buttons().size(), 1);
    alert->buttons().first()->click();
    QTRY_VERIFY(!table().rowErrorAlert());
    QVERIFY(!e.rowEditError());
    QCOMPARE(e.editingRowID(), std::optional(QStringLiteral("C")));
}

void HoldingsPageTest::sectorChangeReplacesAnUnlistedSubIndustry()
{
    Workspace &w = *m_h->workspace;
    HoldingsEditor &e = m_page->editor();
    e.beginEditing(w.rows()[0]);
    auto *sector =
        qobject_cast<table::PickerCell *>(editorAt(0, SectorColumn));
    auto *sub =
        qobject_cast<table::PickerCell *>(editorAt(0, SubSectorColumn));
    QVERIFY(sector && sub);
    QCOMPARE(sector->count(), 3);
    sector->setCurrentIndex(sector->findText(QStringLiteral("Financials")));
    Q_EMIT sector->activated(sector->currentIndex());
    QCOMPARE(w.rows()[0].sector, QStringLiteral("Financials"));
    QCOMPARE(w.rows()[0].subSector, QStringLiteral("Diversified Banks"));
    QCOMPARE(sub->currentText(), QStringLiteral("Diversified Banks"));
}

void HoldingsPageTest::screenshots_data()
{
    QTest::addColumn<QString>("language");
    QTest::newRow("english") << QStringLiteral("en-US");
    QTest::newRow("japanese") << QStringLiteral("ja-JP");
}

void HoldingsPageTest::screenshots()
{
    QFETCH(QString, language);
    m_h->workspace->setLanguageCode(language);
    m_page->editor().selectRow(QStringLiteral("C"));
    m_page->editor().beginEditing(m_h->workspace->rows()[1]);
    QTest::qWait(50);
    const QImage shot = m_page->grab().toImage();
    const QString path =
        QCoreApplication::applicationDirPath() + QStringLiteral("/holdings-") + language + QStringLiteral(".png");
    QVERIFY(shot.save(path));
    QVERIFY(shot.width() >= 1280);
}

QTEST_MAIN(HoldingsPageTest)
#include "tst_holdingspage.moc"
