// The transactions page against the real service on a temporary SQLite file: a trade recorded through
// the sheet is stored, the ledger and the holdings come back reloaded with the service's bookkeeping,
// and a sell the service refuses leaves the sheet open with its message.

#include "app/transactions/TransactionEditorSheet.h"
#include "app/transactions/TransactionView.h"
#include "tests/support/DevelopmentSignInSheet.h"
#include "tests/support/ServiceProcess.h"
#include "tests/workspace/WorkspaceHarness.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

using namespace quillfern;
using namespace quillfern::testing;

class TransactionServiceTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void aTradeFromTheSheetReloadsLedgerAndHoldings();

private:
    QTemporaryDir m_folder;
    std::unique_ptr<ServiceProcess> m_service;
};

void TransactionServiceTest::init()
{
    m_service = std::make_unique<ServiceProcess>(QStringLiteral("sqlite:") +
                                                     m_folder.filePath(QStringLiteral("service.sqlite3")),
                                                 QStringList{QStringLiteral("--quiet")});
    QVERIFY2(m_service->start(), qPrintable(m_service->output()));
}

void TransactionServiceTest::cleanup()
{
    m_service.reset();
}

void TransactionServiceTest::aTradeFromTheSheetReloadsLedgerAndHoldings()
{
    WorkspaceHarness h;
    h.open(m_service->baseURL(), {}, developmentSignIn(QStringLiteral("Ann Lee"), QStringLiteral("ann@example.com")));
    QVERIFY(h.startAndLoad());
    QSignalSpy loaded(h.workspace.get(), &Workspace::sessionLoaded);
    h.auth->signInWithGoogle();
    QVERIFY(loaded.wait(20000));
    Workspace &w = *h.workspace;
    QVERIFY(w.rows().isEmpty());

    TransactionPage page(w);
    page.show();
    page.addButton()->click();
    TransactionEditorSheet *sheet = page.editorSheet();
    QVERIFY(sheet);
    const QString broker = sheet->brokerPicker()->currentText();
    QVERIFY(!broker.isEmpty());
    QTest::keyClicks(sheet->codeField(), QStringLiteral(" msft "));
    QTest::keyClicks(sheet->quantityField(), QStringLiteral("10"));
    QTest::keyClicks(sheet->priceField(), QStringLiteral("100"));
    QTest::keyClicks(sheet->commissionField(), QStringLiteral("5"));
    // A code held nowhere needs its sector and sub-industry picked.
    for (QComboBox *picker : {sheet->sectorPicker(), sheet->industryPicker()}) {
        picker->setCurrentIndex(0);
        Q_EMIT picker->activated(0);
    }
    sheet->addButton()->click();
    QTRY_VERIFY_WITH_TIMEOUT(!page.editorSheet(), 10000);

    QCOMPARE(w.transactions().size(), 1);
    QCOMPARE(w.transactions().first().code, QStringLiteral("MSFT"));
    QCOMPARE(page.ledger()->model()->rowCount(), 1);
    QCOMPARE(page.countLabel()->text(), TransactionPage::countText(1, w.selectedLanguage().code));
    // The service opened the position: the commission is in its average price.
    QCOMPARE(w.rows().size(), 1);
    QCOMPARE(w.rows().first().code, QStringLiteral("MSFT"));
    QCOMPARE(w.rows().first().broker, broker);
    QCOMPARE(w.rows().first().quantity, 10.0);
    QCOMPARE(w.rows().first().averagePrice, 100.5);
    QVERIFY(w.portfolioMatchesSyncedData());

    // A sell beyond the position is refused: the sheet stays open with the service's sentence.
    page.addButton()->click();
    sheet = page.editorSheet();
    QVERIFY(sheet);
    sheet->typePicker()->setCurrentIndex(1);
    Q_EMIT sheet->typePicker()->activated(1);
    QTest::keyClicks(sheet->codeField(), QStringLiteral("MSFT"));
    QTest::keyClicks(sheet->quantityField(), QStringLiteral("50"));
    QTest::keyClicks(sheet->priceField(), QStringLiteral("120"));
    sheet->addButton()->click();
    QTRY_VERIFY_WITH_TIMEOUT(sheet->errorLabel()->isVisible(), 10000);
    QVERIFY(!sheet->errorLabel()->text().isEmpty());
    QCOMPARE(page.editorSheet(), sheet);
    QVERIFY(sheet->addButton()->isEnabled());
    QCOMPARE(sheet->quantityField()->text(), QStringLiteral("50"));
    QCOMPARE(w.transactions().size(), 1);
    QCOMPARE(w.rows().first().quantity, 10.0);
}

QTEST_MAIN(TransactionServiceTest)
#include "tst_transactionservice.moc"
