// The import wizard against the real service: the File menu's entry waits for a loaded ledger; a walk through
// every page with the keyboard alone books a file; Escape closes the wizard and stops a running read; and
// every page renders in English and Japanese (PNGs in the build folder).

#include "app/MainWindow.h"
#include "app/exchange/ImportPreviewModel.h"
#include "app/exchange/ImportWizard.h"
#include "app/workspace/Workspace.h"
#include "tests/importing/ImportFiles.h"
#include "tests/support/DevelopmentSignInSheet.h"
#include "tests/support/ServiceProcess.h"
#include "tests/workspace/WorkspaceHarness.h"
#include "text/Localization.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>

using namespace quillfern;
using namespace quillfern::testing;

namespace {

QWidget *focused()
{
    return QApplication::focusWidget();
}

// Presses Tab until target has the focus, at most a page's worth of times.
bool tabTo(QWidget *target)
{
    for (int i = 0; i < 60 && focused() != target; ++i)
        QTest::keyClick(focused(), Qt::Key_Tab);
    return focused() == target;
}

void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QTest::keyClick(focused(), key, modifiers);
}

} // namespace

class ImportWizardTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void theMenuEntryWaitsForTheLedger();
    void aWalkWithTheKeyboardBooksTheFile();
    void escapeStopsARunningRead();
    void everyPageRenders_data();
    void everyPageRenders();

private:
    // A workspace signed in as a new person, with its session loaded.
    std::unique_ptr<WorkspaceHarness> signedIn(const QString &name);

    QTemporaryDir m_folder;
    std::unique_ptr<ServiceProcess> m_service;
};

void ImportWizardTest::initTestCase()
{
    m_service = std::make_unique<ServiceProcess>(QStringLiteral("sqlite:") +
                                                     m_folder.filePath(QStringLiteral("service.sqlite3")),
                                                 QStringList{QStringLiteral("--quiet")});
    QVERIFY2(m_service->start(), qPrintable(m_service->output()));
}

void ImportWizardTest::cleanupTestCase()
{
    m_service.reset();
}

std::unique_ptr<WorkspaceHarness> ImportWizardTest::signedIn(const QString &name)
{
    auto harness = std::make_unique<WorkspaceHarness>();
    harness->open(m_service->baseURL(), {}, developmentSignIn(name, name + QStringLiteral("@example.com")));
    if (!harness->startAndLoad())
        return nullptr;
    QSignalSpy loaded(harness->workspace.get(), &Workspace::sessionLoaded);
    harness->auth->signInWithGoogle();
    if (!loaded.wait(20000) || !QTest::qWaitFor([&] { return !harness->workspace->performance().isLoading(); }))
        return nullptr;
    return harness;
}

void ImportWizardTest::theMenuEntryWaitsForTheLedger()
{
    WorkspaceHarness harness;
    harness.open(m_service->baseURL(), {}, developmentSignIn(QStringLiteral("mia"), QStringLiteral("mia@example.com")));
    MainWindow window(*harness.workspace);
    QAction *entry = window.importTransactionsAction();
    QCOMPARE(entry->text(), QStringLiteral("&Import Transactions…"));
    QVERIFY(!entry->isEnabled());
    QVERIFY(harness.startAndLoad());
    QVERIFY(!entry->isEnabled());
    QSignalSpy loaded(harness.workspace.get(), &Workspace::sessionLoaded);
    harness.auth->signInWithGoogle();
    QVERIFY(loaded.wait(20000));
    QTRY_VERIFY_WITH_TIMEOUT(entry->isEnabled(), 10000);

    window.show();
    entry->trigger();
    auto *wizard = window.findChild<ImportWizard *>();
    QVERIFY(wizard);
    QCOMPARE(wizard->windowModality(), Qt::WindowModal);
    QCOMPARE(wizard->currentId(), int(FilePageId));
    wizard->reject();
    QTRY_VERIFY(!window.findChild<ImportWizard *>());

    harness.workspace->signOut();
    QTRY_VERIFY(!entry->isEnabled());
}

void ImportWizardTest::aWalkWithTheKeyboardBooksTheFile()
{
    const auto harness = signedIn(QStringLiteral("kai"));
    QVERIFY(harness);
    Workspace &workspace = *harness->workspace;
    const QString path = writeFile(m_folder, QStringLiteral("walk.csv"), englishExport().toUtf8());
    ImportWizard wizard(workspace);
    wizard.show();
    QApplication::setActiveWindow(&wizard);
    QVERIFY(QTest::qWaitForWindowActive(&wizard));
    QAbstractItemModelTester tester(wizard.previewPage()->rowsView()->model(),
                                    QAbstractItemModelTester::FailureReportingMode::QtTest);

    // The file: typed, read on Return, and Return again goes on once it is read.
    QCOMPARE(focused(), wizard.filePage()->pathField());
    QTest::keyClicks(focused(), path);
    press(Qt::Key_Return);
    QTRY_VERIFY_WITH_TIMEOUT(wizard.button(QWizard::NextButton)->isEnabled(), 20000);
    QCOMPARE(wizard.currentId(), int(FilePageId));
    QVERIFY(tabTo(wizard.filePage()->encodingPicker()));
    QVERIFY(wizard.filePage()->encodingPicker()->currentText().startsWith(QStringLiteral("UTF-8")));
    press(Qt::Key_Return);
    QCOMPARE(wizard.currentId(), int(LayoutPageId));

    // The layout as guessed; its fields are reached by their mnemonics.
    press(Qt::Key_M, Qt::AltModifier);
    QCOMPARE(focused(), wizard.layoutPage()->numbersPicker());
    press(Qt::Key_Return);
    QCOMPARE(wizard.currentId(), int(ColumnsPageId));

    // The odd word is matched to a type by the keyboard; the plan follows.
    QComboBox *word = wizard.columnsPage()->typeWordPickers().value(2);
    QVERIFY(word);
    QVERIFY(tabTo(word));
    QCOMPARE(word->currentIndex(), -1);
    press(Qt::Key_Down);
    QTRY_VERIFY_WITH_TIMEOUT(wizard.session().hasPlan() && wizard.session().plan().errors == 0, 10000);
    press(Qt::Key_Return);
    QCOMPARE(wizard.currentId(), int(PreviewPageId));
    QCOMPARE(wizard.previewPage()->countsLabel()->text(),
             QStringLiteral("The file holds 4 rows. 4 ready, 0 already booked, 0 with errors."));
    QCOMPARE(wizard.previewPage()->rowsView()->model()->rowCount(), 4);
    QVERIFY(!wizard.previewPage()->onlyGoodRowsBox()->isVisible());
    press(Qt::Key_Return);

    // The code held nowhere takes a sector and a sub-industry.
    QCOMPARE(wizard.currentId(), int(ClassifyPageId));
    QVERIFY(!wizard.button(QWizard::CommitButton)->isEnabled());
    const auto pickers = wizard.classifyPage()->pickers();
    QCOMPARE(pickers.size(), 1);
    QVERIFY(tabTo(pickers[0].first));
    press(Qt::Key_Down);
    QVERIFY(tabTo(pickers[0].second));
    press(Qt::Key_Down);
    QVERIFY(wizard.button(QWizard::CommitButton)->isEnabled());
    press(Qt::Key_Return);

    QCOMPARE(wizard.currentId(), int(ResultPageId));
    QTRY_VERIFY_WITH_TIMEOUT(wizard.button(QWizard::FinishButton)->isEnabled(), 20000);
    QCOMPARE(wizard.resultPage()->statusLabel()->text(), QStringLiteral("Imported 4 transactions."));
    QCOMPARE(workspace.transactions().size(), 4);
    press(Qt::Key_Return);
    QCOMPARE(wizard.result(), int(QDialog::Accepted));
}

void ImportWizardTest::escapeStopsARunningRead()
{
    const auto harness = signedIn(QStringLiteral("lea"));
    QVERIFY(harness);
    QByteArray large = englishExport().toUtf8();
    const QByteArray rows = large.mid(large.indexOf('\n') + 1);
    while (large.size() < 30 * 1024 * 1024)
        large += rows;
    ImportWizard wizard(*harness->workspace);
    wizard.show();
    QApplication::setActiveWindow(&wizard);
    QVERIFY(QTest::qWaitForWindowActive(&wizard));
    QTest::keyClicks(focused(), writeFile(m_folder, QStringLiteral("large.csv"), large));
    press(Qt::Key_Return);
    const bool wasReading = wizard.session().isBusy();
    press(Qt::Key_Escape);
    QVERIFY(!wizard.isVisible());
    QCOMPARE(wizard.result(), int(QDialog::Rejected));
    QVERIFY(!wizard.session().isBusy());
    QCOMPARE(wizard.session().wasStopped(), wasReading);
}

void ImportWizardTest::everyPageRenders_data()
{
    QTest::addColumn<QString>("language");
    QTest::newRow("English") << QStringLiteral("en-US");
    QTest::newRow("Japanese") << QStringLiteral("ja-JP");
}

void ImportWizardTest::everyPageRenders()
{
    QFETCH(QString, language);
    const auto harness = signedIn(QStringLiteral("shot-") + language);
    QVERIFY(harness);
    Workspace &workspace = *harness->workspace;
    workspace.setLanguageCode(language);
    const QString path = writeFile(m_folder, QStringLiteral("history.csv"), encoded(japaneseHistory(), "Shift_JIS"));
    ImportWizard wizard(workspace);
    wizard.resize(960, 700);
    wizard.show();
    QVERIFY(QTest::qWaitForWindowExposed(&wizard));
    TransactionImport &session = wizard.session();

    // A large file while it is read, and once stopped.
    QByteArray large = englishExport().toUtf8();
    const QByteArray rows = large.mid(large.indexOf('\n') + 1);
    while (large.size() < 30 * 1024 * 1024)
        large += rows;
    session.open(writeFile(m_folder, QStringLiteral("large.csv"), large));
    QTRY_VERIFY_WITH_TIMEOUT(session.progress() > 0 || !session.isBusy(), 20000);
    QCoreApplication::processEvents();
    QVERIFY(wizard.grab().save(QStringLiteral(QUILLFERN_SCREENSHOTS "/import-%1-reading.png").arg(language)));
    session.cancel();
    QCoreApplication::processEvents();
    QVERIFY(wizard.grab().save(QStringLiteral(QUILLFERN_SCREENSHOTS "/import-%1-stopped.png").arg(language)));

    wizard.filePage()->pathField()->setText(path);
    session.open(path);
    QTRY_VERIFY_WITH_TIMEOUT(!session.isBusy(), 20000);
    QVERIFY(wizard.filePage()->sampleView()->toPlainText().contains(QStringLiteral("トヨタ自動車")));

    const QStringList names{QStringLiteral("file"),    QStringLiteral("layout"),   QStringLiteral("columns"),
                            QStringLiteral("preview"), QStringLiteral("classify"), QStringLiteral("result")};
    const QStringList titles{QStringLiteral("wizardFilePage"),     QStringLiteral("wizardLayoutPage"),
                             QStringLiteral("wizardColumnsPage"),  QStringLiteral("wizardPreviewPage"),
                             QStringLiteral("wizardClassifyPage"), QStringLiteral("wizardResultPage")};
    for (int page = FilePageId; page <= ResultPageId; ++page) {
        QCOMPARE(wizard.currentId(), page);
        QCOMPARE(wizard.currentPage()->title(), AppText::value(titles[page], language));
        if (page == PreviewPageId)
            wizard.previewPage()->onlyGoodRowsBox()->setChecked(true);
        if (page == ClassifyPageId) {
            for (const QString &code : session.unclassifiedCodes()) {
                const QString sector = workspace.gicsSectorNames().first();
                session.classify(code, {sector, workspace.gicsSubIndustryNames(sector).first()});
            }
        }
        if (page == ResultPageId)
            QTRY_VERIFY_WITH_TIMEOUT(wizard.currentPage()->isComplete(), 20000);
        // Layouts settle on posted events; the picture is of the page as the user sees it.
        QCoreApplication::processEvents();
        QVERIFY(wizard.grab().save(
            QStringLiteral(QUILLFERN_SCREENSHOTS "/import-%1-%2-%3.png").arg(language).arg(page).arg(names[page])));
        if (page != ResultPageId) {
            QVERIFY2(wizard.currentPage()->isComplete(), qPrintable(names[page]));
            wizard.next();
        }
    }
    QCOMPARE(workspace.transactions().size(), 3);
}

QTEST_MAIN(ImportWizardTest)
#include "tst_importwizard.moc"
