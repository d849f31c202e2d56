// The transactions page on a workspace loaded from a scripted service: the count line, the cards and the
// ledger, the closed positions, the sheet's fields for every type, its validation text, the disabled add
// button while a save is out, the service's refusal shown in the sheet with every entry kept, editing and
// deleting a row from the keyboard, and screenshots in two languages.

#include "app/charts/MetricCard.h"
#include "app/transactions/LedgerFormats.h"
#include "app/transactions/TransactionEditorSheet.h"
#include "app/transactions/TransactionLedgerModel.h"
#include "app/transactions/TransactionView.h"
#include "app/workspace/TransactionChanges.h"
#include "tests/balances/SeededWorkspace.h"
#include "tests/support/QuietConsole.h"
#include "text/Formats.h"
#include "text/Localization.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableView>
#include <QToolButton>
#include <QUndoStack>

using namespace quillfern;
using namespace quillfern::testing;

namespace {

std::string ledgerJSON()
{
    return R"json([{"id":"t2","broker":"Futu","market":"HK","code":"0700","transaction_type":"SELL","quantity":100,
                    "price":385.2,"commission":12,"currency":"HKD","sector":"Communication Services",
                    "sub_sector":"Interactive Media & Services","traded_at":"2024-06-03T02:15:00Z",
                    "reason":"Trim after earnings","realized_gain":780,"realized_gain_usd":99.84,"fx_to_usd":0.128},
                   {"id":"t1","broker":"IBKR","market":"US","code":"NVDA","transaction_type":"BUY","quantity":12.5,
                    "price":1084.75,"commission":1.5,"currency":"USD","sector":"Information Technology",
                    "sub_sector":"Semiconductors","traded_at":"imported 2023","reason":"Long-term position"},
                   {"id":"t3","broker":"IBKR","market":"US","code":"NVDA","transaction_type":"DIVIDEND","quantity":0,
                    "price":0,"commission":0,"currency":"USD","sector":"","sub_sector":"","amount":4.5,
                    "fx_to_usd":1,"traded_at":"2024-07-01T00:00:00Z","reason":""}])json";
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
    void eachTypeShowsItsFields_data();
    void eachTypeShowsItsFields();
    void cardsAndClosedPositionsAddUpTheLedger();
    void rowsAreEditedAndDeletedFromTheKeyboard();
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
    failOnConsoleMessages();
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
    QCOMPARE(m_page->countLabel()->text(), QStringLiteral("3 transactions"));
    const QAbstractItemModel *shown = m_page->ledger()->model();
    QCOMPARE(shown->rowCount(), 3);
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
    QCOMPARE(m_page->countLabel()->text(), QStringLiteral("거래 3건"));
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
    QVERIFY(sheet->settlesInCashBox()->isChecked());
    // A code held nowhere has no sector until one is picked.
    QCOMPARE(sheet->sectorPicker()->count(), 2);
    QCOMPARE(sheet->sectorPicker()->currentIndex(), -1);
    QVERIFY(sheet->sectorPicker()->isEnabled());
    QVERIFY(!sheet->errorLabel()->isVisible());
    // The market picks the currency.
    const int hk = sheet->marketPicker()->findData(QStringLiteral("HK"));
    sheet->marketPicker()->setCurrentIndex(hk);
    Q_EMIT sheet->marketPicker()->activated(hk);
    QCOMPARE(sheet->currencyPicker()->currentData().toString(), QStringLiteral("HKD"));

    // A sector picked in the sheet lists its own sub-industries.
    const int energy = sheet->sectorPicker()->findData(QStringLiteral("Energy"));
    sheet->sectorPicker()->setCurrentIndex(energy);
    Q_EMIT sheet->sectorPicker()->activated(energy);
    QCOMPARE(sheet->industryPicker()->count(), 1);
    QCOMPARE(sheet->industryPicker()->currentIndex(), -1);

    // Typed entries do not survive a cancel.
    QTest::keyClicks(sheet->codeField(), QStringLiteral("abc"));
    sheet->cancelButton()->click();
    QTRY_VERIFY(!m_page->editorSheet());
    TransactionEditorSheet *again = openSheet();
    QVERIFY(again->codeField()->text().isEmpty());
    QCOMPARE(again->sectorPicker()->currentIndex(), -1);
}

void TransactionPageTest::invalidEntriesShowTheValidationText()
{
    TransactionEditorSheet *sheet = openSheet();
    QTest::keyClicks(sheet->codeField(), QStringLiteral("msft"));
    QTest::keyClicks(sheet->quantityField(), QStringLiteral("10"));
    sheet->addButton()->click();
    QVERIFY(sheet->errorLabel()->isVisible());
    QCOMPARE(sheet->errorLabel()->text(), QStringLiteral("Buy/Sell Price must be greater than zero."));
    QCOMPARE(sheet->focusWidget(), sheet->priceField());
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
    QCOMPARE(m_harness->workspace->transactions().size(), 3);
}

void TransactionPageTest::eachTypeShowsItsFields_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("shown"); // b broker, c code, q quantity, p price, f commission, a amount,
                                        // r ratio, $ currency, s settles in cash, g sector and industry
    QTest::addColumn<QString>("priceLabel");
    QTest::newRow("buy") << "BUY"
                         << "bcqpf$sg" << QStringLiteral("Buy/Sell Price");
    QTest::newRow("sell") << "SELL"
                          << "bcqpf$s" << QString();
    QTest::newRow("dividend") << "DIVIDEND"
                              << "bca$" << QString();
    QTest::newRow("withdrawal") << "WITHDRAWAL"
                                << "ba$" << QString();
    QTest::newRow("split") << "SPLIT"
                           << "cr" << QString();
    QTest::newRow("transfer in") << "TRANSFER_IN"
                                 << "bcqp$g" << QStringLiteral("Cost per Share");
    QTest::newRow("transfer out") << "TRANSFER_OUT"
                                  << "bcq" << QString();
}

void TransactionPageTest::eachTypeShowsItsFields()
{
    QFETCH(QString, type);
    QFETCH(QString, shown);
    QFETCH(QString, priceLabel);
    TransactionEditorSheet *sheet = openSheet();
    const int index = sheet->typePicker()->findData(type);
    QVERIFY(index >= 0);
    sheet->typePicker()->setCurrentIndex(index);
    Q_EMIT sheet->typePicker()->activated(index);
    const QList<std::pair<QChar, QWidget *>> fields{{u'b', sheet->brokerPicker()},     {u'c', sheet->codeField()},
                                                    {u'q', sheet->quantityField()},    {u'p', sheet->priceField()},
                                                    {u'f', sheet->commissionField()},  {u'a', sheet->amountField()},
                                                    {u'r', sheet->splitNewField()},    {u'$', sheet->currencyPicker()},
                                                    {u's', sheet->settlesInCashBox()}, {u'g', sheet->sectorPicker()}};
    QString seen;
    for (const auto &[letter, field] : fields) {
        if (sheet->showsField(field))
            seen += letter;
    }
    QCOMPARE(seen, shown);
    if (!priceLabel.isEmpty()) {
        auto *form = sheet->findChild<QFormLayout *>();
        QCOMPARE(qobject_cast<QLabel *>(form->labelForField(sheet->priceField()))->text(), priceLabel);
    }
}

void TransactionPageTest::cardsAndClosedPositionsAddUpTheLedger()
{
    m_harness->workspace->setReportingCurrencyCode(QStringLiteral("USD"));
    const QList<MetricCard *> &cards = m_page->cards();
    QCOMPARE(cards.size(), 4);
    QCOMPARE(cards[1]->figure().value, QStringLiteral("+$99.84"));
    QCOMPARE(cards[3]->figure().value, QStringLiteral("+$4.50"));
    QCOMPARE(cards[0]->figure().value, QStringLiteral("$0.00"));
    // In the reporting currency the holdings cards use.
    m_harness->workspace->setReportingCurrencyCode(QStringLiteral("HKD"));
    QCOMPARE(cards[1]->figure().value, format(m_harness->workspace->reportingCurrency(), 99.84, true));

    // Sold out of 0700 at Futu: a closed position; NVDA is still held.
    m_page->closedPositionsToggle()->click();
    QVERIFY(m_page->closedPositionsView()->isVisibleTo(m_page.get()));
    QVERIFY(!m_page->ledger()->isVisibleTo(m_page.get()));
    const QAbstractItemModel *closed = m_page->closedPositionsView()->model();
    QCOMPARE(closed->rowCount(), 1);
    QCOMPARE(closed->index(0, 2).data().toString(), QStringLiteral("0700"));
    QCOMPARE(closed->index(0, 3).data().toString(),
             currencyAmount(780, QStringLiteral("HKD"), systemLocaleName(LocaleCategory::Monetary)));

    // A filter picked above the ledger narrows it.
    m_page->closedPositionsToggle()->click();
    QComboBox *year = m_page->filterPickers()[3];
    year->setCurrentIndex(year->findData(2024));
    QCOMPARE(m_page->ledger()->model()->rowCount(), 2);
}

void TransactionPageTest::rowsAreEditedAndDeletedFromTheKeyboard()
{
    m_server.on("PUT", "/v1/transactions/t2", {400, R"({"error":"The position holds 0.","field":"quantity"})"});
    m_server.on("DELETE", "/v1/transactions/t2", {204, {}});
    m_page->show();
    QTableView *ledger = m_page->ledger();
    ledger->setFocus();
    ledger->setCurrentIndex(ledger->model()->index(0, 0));

    // Enter opens the sheet on the row; the service's refusal keeps it open with the sentence.
    QTest::keyClick(ledger, Qt::Key_Return);
    TransactionEditorSheet *sheet = m_page->editorSheet();
    QVERIFY(sheet);
    QCOMPARE(sheet->windowTitle(), AppText::value(u"editTransaction", u"en-US"));
    QCOMPARE(sheet->codeField()->text(), QStringLiteral("0700"));
    QCOMPARE(sheet->typePicker()->currentData().toString(), QStringLiteral("SELL"));
    sheet->addButton()->click();
    QTRY_VERIFY(sheet->errorLabel()->isVisible());
    QVERIFY(sheet->errorLabel()->text().contains(QStringLiteral("The position holds 0.")));
    QCOMPARE(m_harness->workspace->undoStack().count(), 0);
    sheet->cancelButton()->click();
    QTRY_VERIFY(!m_page->editorSheet());

    // The context menu offers both; Delete deletes at once and offers the undo.
    ledger->setCurrentIndex(ledger->model()->index(0, 0));
    // The test platform cannot raise a popup or hand it the keyboard.
    QTest::ignoreMessage(QtWarningMsg, "This plugin does not support raise()");
    QTest::ignoreMessage(QtWarningMsg, "This plugin does not support grabbing the keyboard");
    QTest::keyClick(ledger, Qt::Key_Menu);
    QVERIFY(m_page->rowMenu());
    QCOMPARE(m_page->rowMenu()->actions().size(), 2);
    m_page->rowMenu()->close();
    m_server.on("GET", "/v1/transactions", {200, "[]"});
    QTest::keyClick(ledger, Qt::Key_Delete);
    QTRY_VERIFY(m_page->undoOffer()->isVisible());
    QCOMPARE(requestsTo(m_server, "/v1/transactions/t2").back().method, std::string("DELETE"));
    QCOMPARE(m_page->statusLabel()->text(), QStringLiteral("Deleted Sell 0700 \u00B7"));
    QCOMPARE(m_page->countLabel()->text(), QStringLiteral("0 transactions"));
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
