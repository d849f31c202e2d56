// File › Export… over a loaded workspace: the chosen tables written where the user said, failures in the
// user's words, and the export dialog and the restore confirmation rendered in English and Japanese.

#include "app/MainWindow.h"
#include "app/exchange/AccountBackupDialogs.h"
#include "app/exchange/ExportDialog.h"
#include "tests/balances/SeededWorkspace.h"
#include "tests/support/QuietConsole.h"
#include "text/Localization.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>

using namespace quillfern;
using namespace quillfern::testing;
using namespace Qt::StringLiterals;

namespace {

const std::string ledger = R"json([{"id":"t1","broker":"Futu","market":"US","code":"AAPL","transaction_type":"BUY",
    "quantity":10,"price":150.5,"commission":1,"currency":"USD","sector":"Information Technology",
    "sub_sector":"Semiconductors","traded_at":"2026-03-02T10:00:00Z","reason":"買い増し, 長期"}])json";

} // namespace

class ExportDialogTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void menuEntriesFollowTheSession();
    void writesTheChosenTables_data();
    void writesTheChosenTables();
    void refusalsSpeakTheUsersLanguage_data();
    void refusalsSpeakTheUsersLanguage();
    void screenshots_data();
    void screenshots();

private:
    // Runs the export the dialog's choices ask for and waits for its outcome.
    bool exportWith(ExportDialog &dialog);

    ScriptedServer m_server;
    std::unique_ptr<WorkspaceHarness> m_harness;
    QTemporaryDir m_out;
};

void ExportDialogTest::init()
{
    failOnConsoleMessages();
    scriptSeededSession(m_server, ledger);
    // No list from the service: the window offers every language it speaks.
    m_server.on("GET", "/v1/languages", {200, "[]"});
    m_harness = std::make_unique<WorkspaceHarness>();
    m_harness->open(m_server.baseURL(), u"token-1"_s);
    QVERIFY(m_harness->startAndLoad());
    QCOMPARE(m_harness->workspace->transactions().size(), 1);
}

void ExportDialogTest::cleanup()
{
    m_harness.reset();
}

void ExportDialogTest::menuEntriesFollowTheSession()
{
    // A window opened before its session has loaded.
    m_harness->open(m_server.baseURL(), u"token-1"_s);
    MainWindow window(*m_harness->workspace);
    const QList<QAction *> entries{window.exportAction(), window.backUpAction(), window.restoreAction()};
    QCOMPARE(window.exportAction()->text(), u"&Export…"_s);
    QCOMPARE(window.backUpAction()->text(), u"&Back Up Account…"_s);
    QCOMPARE(window.restoreAction()->text(), u"&Restore Account…"_s);
    for (QAction *entry : entries)
        QVERIFY(!entry->isEnabled());
    QVERIFY(m_harness->startAndLoad());
    for (QAction *entry : entries)
        QVERIFY(entry->isEnabled());

    window.show();
    window.exportAction()->trigger();
    auto *dialog = window.findChild<ExportDialog *>();
    QVERIFY(dialog);
    QCOMPARE(dialog->windowModality(), Qt::WindowModal);
    QTest::keyClick(dialog, Qt::Key_Escape);
    QTRY_VERIFY(!window.findChild<ExportDialog *>());

    m_harness->workspace->signOut();
    for (QAction *entry : entries)
        QTRY_VERIFY(!entry->isEnabled());
}

bool ExportDialogTest::exportWith(ExportDialog &dialog)
{
    QSignalSpy finished(&dialog, &ExportDialog::exportFinished);
    dialog.exportButton()->click();
    return (finished.count() > 0 || finished.wait(10000)) && finished.first().first().toBool();
}

void ExportDialogTest::writesTheChosenTables_data()
{
    QTest::addColumn<bool>("workbook");
    QTest::addColumn<bool>("byteOrderMark");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("status");
    QTest::newRow("CSV with a mark") << false << true
                                     << QStringList{u"Quillfern Holdings 2026.csv"_s,
                                                    u"Quillfern Transactions 2026.csv"_s}
                                     << u"Exported 2 files to "_s;
    QTest::newRow("CSV without") << false << false
                                 << QStringList{u"Quillfern Holdings 2026.csv"_s, u"Quillfern Transactions 2026.csv"_s}
                                 << u"Exported 2 files to "_s;
    QTest::newRow("workbook") << true << false << QStringList{u"Quillfern 2026.xlsx"_s} << u"Exported to "_s;
}

void ExportDialogTest::writesTheChosenTables()
{
    QFETCH(bool, workbook);
    QFETCH(bool, byteOrderMark);
    QFETCH(QStringList, files);
    QFETCH(QString, status);
    QTemporaryDir folder;
    ExportDialog dialog(*m_harness->workspace);
    dialog.tableBox(exchange::ExportTableKind::Cash)->setChecked(false);
    dialog.byteOrderMarkBox()->setChecked(byteOrderMark);
    dialog.destinationField()->setText(folder.path());
    (workbook ? dialog.workbookButton() : dialog.csvButton())->setChecked(true);
    // The workbook takes the folder and a name of its own.
    QCOMPARE(dialog.destinationField()->text().endsWith(u".xlsx"_s), workbook);
    QVERIFY(!dialog.byteOrderMarkBox()->isEnabled() == workbook);

    QVERIFY(exportWith(dialog));
    QVERIFY2(dialog.statusLabel()->text().startsWith(status + folder.path()), qPrintable(dialog.statusLabel()->text()));
    QStringList written = QDir(folder.path()).entryList(QDir::Files, QDir::Name);
    // The day in the names is today's; what matters is which tables were written.
    for (QString &name : written)
        name.replace(QRegularExpression(u"2\\d{3}-\\d\\d-\\d\\d"_s), u"2026"_s);
    QCOMPARE(written, files);
    if (!workbook) {
        QFile first(QDir(folder.path()).filePath(QDir(folder.path()).entryList(QDir::Files, QDir::Name).first()));
        QVERIFY(first.open(QIODevice::ReadOnly));
        QCOMPARE(first.read(3) == "\xEF\xBB\xBF", byteOrderMark);
    }
    // The next export starts from the same folder.
    ExportDialog next(*m_harness->workspace);
    QCOMPARE(QDir::fromNativeSeparators(next.destinationField()->text()).startsWith(folder.path()), true);
}

void ExportDialogTest::refusalsSpeakTheUsersLanguage_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("destination");
    QTest::addColumn<bool>("nothingChosen");
    QTest::addColumn<QString>("status");
    QTest::newRow("nothing chosen") << u"en-US"_s << u"/tmp"_s << true << u"Choose at least one table to export."_s;
    QTest::newRow("no destination, Japanese") << u"ja-JP"_s << QString() << false << u"保存先を選んでください。"_s;
    QTest::newRow("a folder that may not be written")
        << u"en-US"_s << u"/sys"_s << false << u"Quillfern isn't allowed to write /sys/Quillfern Holdings "_s;
    QTest::newRow("a folder that may not be written, Japanese")
        << u"ja-JP"_s << u"/sys"_s << false << u"/sys/Quillfern 保有銘柄 "_s;
}

void ExportDialogTest::refusalsSpeakTheUsersLanguage()
{
    QFETCH(QString, language);
    QFETCH(QString, destination);
    QFETCH(bool, nothingChosen);
    QFETCH(QString, status);
    m_harness->workspace->setLanguageCode(language);
    ExportDialog dialog(*m_harness->workspace);
    dialog.destinationField()->setText(destination);
    for (const auto kind : {exchange::ExportTableKind::Holdings, exchange::ExportTableKind::Cash,
                            exchange::ExportTableKind::Ledger})
        dialog.tableBox(kind)->setChecked(!nothingChosen);
    QSignalSpy finished(&dialog, &ExportDialog::exportFinished);
    dialog.exportButton()->click();
    if (!nothingChosen && !destination.isEmpty())
        QVERIFY(finished.wait(10000) && !finished.first().first().toBool());
    QVERIFY2(dialog.statusLabel()->text().startsWith(status), qPrintable(dialog.statusLabel()->text()));
    QVERIFY(dialog.exportButton()->isEnabled());
}

void ExportDialogTest::screenshots_data()
{
    QTest::addColumn<QString>("language");
    QTest::newRow("en-US") << u"en-US"_s;
    QTest::newRow("ja-JP") << u"ja-JP"_s;
}

void ExportDialogTest::screenshots()
{
    QFETCH(QString, language);
    Workspace &w = *m_harness->workspace;
    w.setLanguageCode(language);
    w.setReportingCurrencyCode(u"JPY"_s);
    ExportDialog dialog(w);
    dialog.destinationField()->setText(u"/home/ann/Documents"_s);
    dialog.adjustSize();
    const QImage exportImage = screenshot(dialog, dialog.sizeHint(), u"export-dialog-"_s + language);
    QVERIFY(!exportImage.isNull());
    QCOMPARE(dialog.windowTitle(), AppText::value(u"exportTitle", language));
    QCOMPARE(dialog.tableBox(exchange::ExportTableKind::Ledger)->text(),
             AppText::format(u"exportLedger", language, {qint64(1)}));

    AccountBackup backup{u"quillfern-backup"_s, 1, u"2026-12-08T09:00:00Z"_s, {}, {}, {}, {}, {}, std::nullopt};
    backup.transactions.resize(40);
    backup.holdings.resize(5);
    const std::unique_ptr<QMessageBox> question(
        restoreConfirmation(backup, countsOf(w), language, w.selectedLanguage().locale, nullptr));
    question->show();
    QCoreApplication::processEvents();
    QVERIFY(question->grab().save(QCoreApplication::applicationDirPath() + u"/restore-confirmation-"_s + language +
                                  u".png"_s));
    // Cancel is what Enter and Escape choose; the counts of both sides are named.
    QCOMPARE(question->defaultButton()->text(), AppText::value(u"cancel", language));
    QCOMPARE(question->escapeButton(), question->defaultButton());
    QVERIFY(question->informativeText().contains(
        AppText::format(u"restoreCountLine", language,
                        {AppText::value(u"restoreTransactions", language), qint64(1), qint64(40)})));
}

QTEST_MAIN(ExportDialogTest)
#include "tst_exportdialog.moc"
