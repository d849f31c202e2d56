// The transactions page on a workspace loaded from a scripted service: the count line and the ledger,
// the sheet's fields, its validation text, the disabled add button while a save is out, the service's
// refusal shown in the sheet with every entry kept, and screenshots in two languages.

#include "app/transactions/TransactionEditorSheet.h"
#include "app/transactions/TransactionLedgerModel.h"
#include "app/transactions/TransactionView.h"
#include "tests/balances/SeededWorkspace.h"
#include "text/Localization.h"

#include <QComboBox>
#include <QDateTimeEdit>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableView>

using namespace quillfern;
using namespace quillfern::testing;

namespace {

std::string ledgerJSON()
{
    return R"json([{"id":"t2","broker":"Futu","market":"HK","code":"0700","transaction_type":"SELL","quantity":100,
                    "price":385.2,"commission":12,"currency":"HKD","sector":"Communication Services",
                    "sub_sector":"Interactive Media & Services","traded_at":"2024-06-03T02:15:00Z",
                    "reason":"Trim after earnings"},
                   {"id":"t1","broker":"IBKR","market":"US","code":"NVDA","transaction_type":"BUY","quantity":12.5,
                    "price":1084.75,"commission":1.5,"currency":"USD","sector":"Information Technology",
                    "sub_sector":"Semiconductors","traded_at":"imported 2023","reason":"Long-term position"}])json";
}

} // namespace

class TransactionPageTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void theLedgerListsTheRecords();
    void theSheetStartsFresh();
    void invalidEntriesShowTheValidationText();
    void aRefusalIsShownAndTheEntriesStay();
    void screenshots_data();
    void screenshots();

private:
    TransactionEditorSheet *openSheet();
    void fillIn(TransactionEditorSheet &sheet);

    ScriptedServer m_server;
    std::unique_ptr<WorkspaceHarness> m_harness;
    std::unique_ptr<TransactionPage> m_page;
};

void TransactionPageTest::init()
{
    scriptSeededSession(m_server, ledgerJSON());
    m_harness = std::make_unique<WorkspaceHarness>();
    m_harness->open(m_server.baseURL(), QStringLiteral("token-1"));
    QVERIFY(m_harness->startAndLoad());
    m_page = std::make_unique<TransactionPage>(*m_harness->workspace);
    m_page->model()->setLocale(QStringLiteral("en_US"), QStringLiteral("UTC"));
}

void TransactionPageTest::cleanup()
{
    m_page.reset();
    m_harness.reset();
}

TransactionEditorSheet *TransactionPageTest::openSheet()
{
    m_page->show();
    m_page->addButton()->click();
    return m_page->editorSheet();
}

void TransactionPageTest::fillIn(TransactionEditorSheet &sheet)
{
    QTest::keyClicks(sheet.codeField(), QStringLiteral(" msft "));
    QTest::keyClicks(sheet.quantityField(), QStringLiteral("10"));
    QTest::keyClicks(sheet.priceField(), QStringLiteral("100.5"));
}

void TransactionPageTest::theLedgerListsTheRecords()
{
    QCOMPARE(m_page->countLabel()->text(), QStringLiteral("2 transactions"));
    const QAbstractItemModel *shown = m_page->ledger()->model();
    QCOMPARE(shown->rowCount(), 2);
    QCOMPARE(shown->index(0, TransactionLedgerModel::Ticker).data().toString(), QStringLiteral("0700"));
    QCOMPARE(shown->index(0, TransactionLedgerModel::TradeTime).data().toString(),
             QStringLiteral("Jun 3, 2024, 2:15\u202FAM"));
    QCOMPARE(shown->index(1, TransactionLedgerModel::TradeTime).data().toString(), QStringLiteral("imported 2023"));
    QCOMPARE(shown->index(1, TransactionLedgerModel::Quantity).data().toString(), QStringLiteral("12.5"));
    // Sells red, buys green.
    const QColor sell = shown->index(0, TransactionLedgerModel::Type).data(Qt::ForegroundRole).value<QColor>();
    const QColor buy = shown->index(1, TransactionLedgerModel::Type).data(Qt::ForegroundRole).value<QColor>();
    QVERIFY(sell.red() > sell.green());
    QVERIFY(buy.green() > buy.red());
    // The count and the trade times follow the language; the figures stay the system's.
    m_harness->workspace->setLanguageCode(QStringLiteral("ko-KR"));
    QCOMPARE(m_page->countLabel()->text(), QStringLiteral("거래 2건"));
    QCOMPARE(shown->index(0, TransactionLedgerModel::TradeTime).data().toString(),
             QStringLiteral("2024. 6. 3. 오전 2:15"));
    QCOMPARE(shown->index(1, TransactionLedgerModel::Quantity).data().toString(), QStringLiteral("12.5"));
}

void TransactionPageTest::theSheetStartsFresh()
{
    TransactionEditorSheet *sheet = openSheet();
    QVERIFY(sheet);
    QVERIFY(m_page->isAddingTransaction());
    QCOMPARE(sheet->brokerPicker()->currentText(), QStringLiteral("Futu"));
    QCOMPARE(sheet->marketPicker()->currentText(), QStringLiteral("US"));
    QCOMPARE(sheet->typePicker()->currentText(), AppText::value(u"buy", u"en-US"));
    QCOMPARE(sheet->currencyPicker()->currentData().toString(), QStringLiteral("USD"));
    QVERIFY(sheet->currencyPicker()->currentText().endsWith(QStringLiteral("USD")));
    QCOMPARE(sheet->sectorPicker()->count(), 2);
    QCOMPARE(sheet->industryPicker()->currentText(), QStringLiteral("Semiconductors"));
    QVERIFY(!sheet->errorLabel()->isVisible());

    // A sector picked in the sheet lists its own sub-industries.
    const int energy = sheet->sectorPicker()->findData(QStringLiteral("Energy"));
    sheet->sectorPicker()->setCurrentIndex(energy);
    Q_EMIT sheet->sectorPicker()->activated(energy);
    QCOMPARE(sheet->industryPicker()->count(), 1);
    QCOMPARE(sheet->editor().entries().subSector, QStringLiteral("Coal & Consumable Fuels"));

    // Typed entries do not survive a cancel.
    QTest::keyClicks(sheet->codeField(), QStringLiteral("abc"));
    sheet->cancelButton()->click();
    QTRY_VERIFY(!m_page->editorSheet());
    TransactionEditorSheet *again = openSheet();
    QVERIFY(again->codeField()->text().isEmpty());
    QCOMPARE(again->sectorPicker()->currentText(), QStringLiteral("Information Technology"));
}

void TransactionPageTest::invalidEntriesShowTheValidationText()
{
    TransactionEditorSheet *sheet = openSheet();
    QTest::keyClicks(sheet->codeField(), QStringLiteral("msft"));
    QTest::keyClicks(sheet->quantityField(), QStringLiteral("10"));
    sheet->addButton()->click();
    QVERIFY(sheet->errorLabel()->isVisible());
    QCOMPARE(sheet->errorLabel()->text(), AppText::value(u"transactionValidation", u"en-US"));
    for (const auto &request : requestsTo(m_server, "/v1/transactions"))
        QCOMPARE(request.method, std::string("GET"));
    QCOMPARE(m_page->editorSheet(), sheet);
}

void TransactionPageTest::aRefusalIsShownAndTheEntriesStay()
{
    m_server.on("POST", "/v1/transactions",
                {400, R"({"error":"You cannot sell 10 of MSFT at Futu: the position holds 0."})", "application/json",
                 false, std::chrono::milliseconds(200)});
    TransactionEditorSheet *sheet = openSheet();
    fillIn(*sheet);
    sheet->typePicker()->setCurrentIndex(1);
    Q_EMIT sheet->typePicker()->activated(1);
    sheet->reasonField()->setPlainText(QStringLiteral("  Rebalance\n"));

    sheet->addButton()->click();
    QVERIFY(!sheet->addButton()->isEnabled());
    QTRY_VERIFY(sheet->errorLabel()->isVisible());
    QCOMPARE(sheet->errorLabel()->text(), QStringLiteral("You cannot sell 10 of MSFT at Futu: the position holds 0."));
    QVERIFY(sheet->addButton()->isEnabled());
    QCOMPARE(m_page->editorSheet(), sheet);
    QCOMPARE(sheet->codeField()->text(), QStringLiteral(" msft "));
    QCOMPARE(sheet->reasonField()->toPlainText(), QStringLiteral("  Rebalance\n"));

    const auto posts = requestsTo(m_server, "/v1/transactions");
    const QJsonObject sent = QJsonDocument::fromJson(QByteArray::fromStdString(posts.back().body)).object();
    QCOMPARE(sent.value(QStringLiteral("code")).toString(), QStringLiteral("MSFT"));
    QCOMPARE(sent.value(QStringLiteral("transaction_type")).toString(), QStringLiteral("SELL"));
    QCOMPARE(sent.value(QStringLiteral("price")).toDouble(), 100.5);
    QCOMPARE(sent.value(QStringLiteral("reason")).toString(), QStringLiteral("Rebalance"));
    QVERIFY(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ$"))
                .match(sent.value(QStringLiteral("traded_at")).toString())
                .hasMatch());
    QCOMPARE(m_harness->workspace->transactions().size(), 2);
}

void TransactionPageTest::screenshots_data()
{
    QTest::addColumn<QString>("language");
    QTest::newRow("en-US") << "en-US";
    QTest::newRow("ko-KR") << "ko-KR";
}

void TransactionPageTest::screenshots()
{
    QFETCH(QString, language);
    m_harness->workspace->setLanguageCode(language);
    const QImage page = screenshot(*m_page, QSize(1320, 420), QStringLiteral("transaction-page-") + language);
    QVERIFY(!page.isNull());

    TransactionEditorSheet *sheet = openSheet();
    QVERIFY(sheet);
    // Without a price the sheet shows its validation text in red.
    QTest::keyClicks(sheet->codeField(), QStringLiteral("msft"));
    QTest::keyClicks(sheet->quantityField(), QStringLiteral("10"));
    sheet->addButton()->click();
    sheet->adjustSize();
    const QImage image = sheet->grab().toImage();
    image.save(QCoreApplication::applicationDirPath() + QStringLiteral("/transaction-sheet-") + language +
               QStringLiteral(".png"));
    QCOMPARE(image.width(), TransactionEditorSheet::sheetWidth);
    QCOMPARE(sheet->windowTitle(), AppText::value(u"addTransaction", language));
}

QTEST_MAIN(TransactionPageTest)
#include "tst_transactionpage.moc"
