// The window in every language against the real service and its demo account: every page, menu, dialog,
// sheet, alert, the error banner and the sign-in view, walked widget by widget. In a language other than
// English, a visible text that the same walk found in English fails the test, unless what is left of it
// after the user's own names (brokerages, tickers, notes), codes, numbers and symbols has no word in it.
// Each page is saved as a PNG per language in the build folder.

#include "app/ContentView.h"
#include "app/MainWindow.h"
#include "app/QuillfernApp.h"
#include "app/exchange/AccountBackupDialogs.h"
#include "app/exchange/ExportDialog.h"
#include "app/exchange/ImportWizard.h"
#include "app/workspace/AccountBackupFlow.h"
#include "core/exchange/TextDecoding.h"
#include "app/holdings/HoldingsEditor.h"
#include "app/holdings/HoldingsPage.h"
#include "app/transactions/TransactionEditorSheet.h"
#include "app/transactions/TransactionLedgerModel.h"
#include "app/transactions/TransactionView.h"
#include "app/workspace/EditDebugLog.h"
#include "app/workspace/Workspace.h"
#include "auth/AuthManager.h"
#include "tests/support/ServiceProcess.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QNetworkAccessManager>
#include <QRegularExpression>
#include <QSettings>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocumentFragment>
#include <QTimer>
#include <QToolButton>

using namespace quillfern;

using namespace Qt::Literals::StringLiterals;

namespace {

const QString demoEmail = QStringLiteral("demo@quillfern.example");

// What a user reads: the text, and where it was found (for the failure message).
using Seen = QMultiHash<QString, QString>;

void note(Seen &seen, const QString &text, const QString &where)
{
    QString plain = text;
    if (Qt::mightBeRichText(plain))
        plain = QTextDocumentFragment::fromHtml(plain).toPlainText();
    static const QRegularExpression mnemonic(QStringLiteral("&(?=[^\\s&])"));
    plain.remove(mnemonic);
    plain = plain.simplified();
    if (!plain.isEmpty())
        seen.insert(plain, where);
}

void walkModel(Seen &seen, const QAbstractItemModel *model, const QString &where)
{
    if (!model)
        return;
    for (int column = 0; column < model->columnCount(); ++column) {
        for (int role : {int(Qt::DisplayRole), int(Qt::ToolTipRole), int(Qt::AccessibleTextRole)})
            note(seen, model->headerData(column, Qt::Horizontal, role).toString(), where + QStringLiteral(" header"));
        for (int row = 0; row < std::min(model->rowCount(), 40); ++row) {
            for (int role : {int(Qt::DisplayRole), int(Qt::ToolTipRole), int(Qt::AccessibleTextRole)})
                note(seen, model->index(row, column).data(role).toString(), where + QStringLiteral(" cell"));
        }
    }
}

void walkMenu(Seen &seen, QMenu *menu, const QString &where)
{
    note(seen, menu->title(), where);
    for (QAction *action : menu->actions()) {
        note(seen, action->text(), where + QStringLiteral(" action"));
        note(seen, action->toolTip() == action->text().remove(QLatin1Char('&')) ? QString() : action->toolTip(),
             where + QStringLiteral(" action tooltip"));
        if (action->menu())
            walkMenu(seen, action->menu(), where + QStringLiteral(" > ") + action->text());
    }
}

// Every text the user can see or hear in top and its visible children.
void walk(Seen &seen, QWidget *top, const QString &where)
{
    QList<QWidget *> widgets = top->findChildren<QWidget *>();
    widgets.prepend(top);
    for (QWidget *widget : widgets) {
        if (!widget->isVisible())
            continue;
        const QString name = where + QLatin1Char(' ') + QString::fromLatin1(widget->metaObject()->className());
        note(seen, widget->windowTitle() == top->windowTitle() && widget != top ? QString() : widget->windowTitle(),
             name + QStringLiteral(" title"));
        note(seen, widget->toolTip(), name + QStringLiteral(" tooltip"));
        note(seen, widget->accessibleName(), name + QStringLiteral(" accessible name"));
        note(seen, widget->accessibleDescription(), name + QStringLiteral(" accessible description"));
        if (auto *label = qobject_cast<QLabel *>(widget))
            note(seen, label->text(), name);
        if (auto *button = qobject_cast<QAbstractButton *>(widget))
            note(seen, button->text(), name);
        if (auto *button = qobject_cast<QToolButton *>(widget); button && button->menu())
            walkMenu(seen, button->menu(), name + QStringLiteral(" menu"));
        if (auto *edit = qobject_cast<QLineEdit *>(widget))
            note(seen, edit->placeholderText(), name + QStringLiteral(" placeholder"));
        if (auto *box = qobject_cast<QComboBox *>(widget)) {
            for (int i = 0; i < box->count(); ++i)
                note(seen, box->itemText(i), name + QStringLiteral(" item"));
        }
        if (auto *tabs = qobject_cast<QTabBar *>(widget)) {
            for (int i = 0; i < tabs->count(); ++i) {
                note(seen, tabs->tabText(i), name);
                note(seen, tabs->tabToolTip(i), name + QStringLiteral(" tooltip"));
            }
        }
        if (auto *view = qobject_cast<QAbstractItemView *>(widget))
            walkModel(seen, view->model(), name);
        if (auto *box = qobject_cast<QMessageBox *>(widget)) {
            note(seen, box->text(), name);
            note(seen, box->informativeText(), name);
        }
    }
}

void screenshot(QWidget *widget, const QString &language, const QString &name)
{
    QVERIFY(widget->grab().save(QStringLiteral(QUILLFERN_SCREENSHOTS "/translations-%1-%2.png").arg(language, name)));
}

// Runs show, which opens a modal dialog, and walks the dialog before closing it.
void walkModal(Seen &seen, const std::function<void()> &show, const QString &where)
{
    bool walked = false;
    QTimer::singleShot(0, [&] {
        QTRY_VERIFY(QApplication::activeModalWidget());
        QWidget *dialog = QApplication::activeModalWidget();
        walk(seen, dialog, where);
        walked = true;
        dialog->close();
    });
    show();
    QTRY_VERIFY(walked);
}

} // namespace

class TranslationsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void everyTextIsTranslated_data();
    void everyTextIsTranslated();

private:
    // Everything the window shows in language, walked; the user's own names go to names.
    void walkWindow(const QString &language, QStringList &names, Seen &seen);
    std::unique_ptr<QSettings> preferences(const QString &language, const QString &token);

    QTemporaryDir m_folder;
    std::unique_ptr<testing::ServiceProcess> m_service;
    QString m_token;
    Seen m_english;
    QStringList m_names;
    QNetworkAccessManager m_network;
};

void TranslationsTest::initTestCase()
{
    EditDebugLog::setPath(m_folder.filePath(QStringLiteral("edit.log")));
    const QString database = QStringLiteral("sqlite:") + m_folder.filePath(QStringLiteral("service.sqlite3"));
    QProcess seed;
    seed.setProcessChannelMode(QProcess::MergedChannels);
    seed.start(QStringLiteral(QUILLFERN_SERVER_BINARY),
               {QStringLiteral("--database"), database, QStringLiteral("--seed-demo"), demoEmail});
    QVERIFY(seed.waitForFinished(60000));
    QVERIFY2(seed.exitCode() == 0, seed.readAll().constData());
    m_service = std::make_unique<testing::ServiceProcess>(database, QStringList{QStringLiteral("--quiet")});
    QVERIFY2(m_service->start(), qPrintable(m_service->output()));
    m_token = testing::signInToken(m_service->baseURL(), QStringLiteral("Demo"), demoEmail);
    QVERIFY(!m_token.isEmpty());
    walkWindow(QStringLiteral("en-US"), m_names, m_english);
    if (QTest::currentTestFailed())
        return;
    QVERIFY(m_english.size() > 100); // the walk reaches the pages, not just the frame
}

void TranslationsTest::cleanupTestCase()
{
    m_service.reset();
}

std::unique_ptr<QSettings> TranslationsTest::preferences(const QString &language, const QString &token)
{
    auto settings = std::make_unique<QSettings>(m_folder.filePath(language + QStringLiteral(".conf")),
                                                QSettings::IniFormat);
    settings->setValue(Workspace::languageKey, language);
    if (!token.isEmpty()) {
        settings->setValue(AuthManager::accessTokenKey, token);
        settings->setValue(AuthManager::userKey, encodeStoredUser(AuthenticatedUser{QStringLiteral("Demo"), {}, {}}));
    } else {
        settings->remove(AuthManager::accessTokenKey);
        settings->remove(AuthManager::userKey);
    }
    return settings;
}

void TranslationsTest::walkWindow(const QString &language, QStringList &names, Seen &seen)
{
    const APIEndpoint endpoint{m_service->baseURL(), &m_network};
    AuthManager auth(endpoint, {}, preferences(language, m_token));
    Workspace workspace(auth, endpoint, preferences(language, m_token));
    MainWindow window(workspace);
    window.resize(1400, 900);
    window.show();
    workspace.start();
    QTRY_VERIFY_WITH_TIMEOUT(window.content()->tabs() && window.content()->tabs()->isVisible(), 15000);
    QTRY_VERIFY_WITH_TIMEOUT(!workspace.rows().isEmpty(), 15000);
    for (const AssetRow &row : workspace.rows())
        names << row.code << row.broker << row.market;
    for (const BrokerageOption &brokerage : workspace.brokerages())
        names << brokerage.name;
    for (const CurrencyOption &currency : workspace.currencies())
        names << currency.code << currency.symbol;
    for (const TransactionRecord &record : workspace.transactions())
        names << record.reason << record.code << record.broker;
    // A language is offered under its own name whatever the window speaks.
    for (const LanguageOption &option : workspace.languages())
        names << option.nativeName;
    names << QStringLiteral("Demo"); // the account's name
    names << exchange::offeredEncodings(); // encodings go by their own names, as currencies do

    QTabWidget *tabs = window.content()->tabs();
    const QStringList pages{QStringLiteral("holdings"), QStringLiteral("balances"), QStringLiteral("transactions"),
                            QStringLiteral("performance")};
    QCOMPARE(tabs->count(), pages.size());
    // The performance page shows what its first load brought, whatever the service made of it.
    QTRY_VERIFY_WITH_TIMEOUT(!workspace.performance().isLoading(), 15000);
    for (int i = 0; i < tabs->count(); ++i) {
        tabs->setCurrentIndex(i);
        QTest::qWait(50);
        walk(seen, &window, pages.value(i));
        screenshot(&window, language, pages.value(i));
    }
    for (QAction *action : window.menuBar()->actions()) {
        if (action->menu())
            walkMenu(seen, action->menu(), QStringLiteral("menu bar"));
    }

    // A holding row in edit mode, then refused as a duplicate of another: the editing status and the alert.
    tabs->setCurrentIndex(0);
    HoldingsPage *holdings = window.content()->holdingsPage();
    HoldingsEditor &editor = holdings->editor();
    const AssetRow first = workspace.rows().first();
    editor.beginEditing(first);
    QTest::qWait(50);
    walk(seen, &window, QStringLiteral("editing a holding"));
    screenshot(&window, language, QStringLiteral("editing"));
    editor.cancelEditing();
    const QString added = editor.addRow();
    AssetRow duplicate = first;
    duplicate.id = added;
    workspace.updateRow(added, duplicate);
    editor.saveEditingRow();
    QTRY_VERIFY(window.findChild<QMessageBox *>() && window.findChild<QMessageBox *>()->isVisible());
    walk(seen, window.findChild<QMessageBox *>(), QStringLiteral("refused row alert"));
    window.findChild<QMessageBox *>()->close();
    editor.cancelEditing();

    // The transaction sheet.
    tabs->setCurrentIndex(2);
    auto *ledger = window.findChild<TransactionPage *>();
    QVERIFY(ledger);
    ledger->addButton()->click();
    QTRY_VERIFY(ledger->isAddingTransaction());
    walk(seen, &window, QStringLiteral("transaction sheet"));
    screenshot(ledger->editorSheet(), language, QStringLiteral("transaction-sheet"));
    // The fields the other types bring, the sheet on a stored transaction and the closed positions.
    QComboBox *types = ledger->editorSheet()->typePicker();
    for (const char *type : {"DIVIDEND", "SPLIT", "TRANSFER_IN"}) {
        const int index = types->findData(QString::fromLatin1(type));
        types->setCurrentIndex(index);
        Q_EMIT types->activated(index);
        walk(seen, ledger->editorSheet(), QStringLiteral("transaction sheet, ") + QString::fromLatin1(type));
    }
    screenshot(ledger->editorSheet(), language, QStringLiteral("transaction-sheet-transfer-in"));
    ledger->editorSheet()->reject();
    QTRY_VERIFY(!ledger->isAddingTransaction());
    ledger->ledger()->setCurrentIndex(ledger->ledger()->model()->index(0, 0));
    ledger->editCurrentRow();
    QVERIFY(ledger->isAddingTransaction());
    walk(seen, ledger->editorSheet(), QStringLiteral("transaction edit sheet"));
    screenshot(ledger->editorSheet(), language, QStringLiteral("transaction-edit-sheet"));
    ledger->editorSheet()->reject();
    QTRY_VERIFY(!ledger->isAddingTransaction());
    ledger->closedPositionsToggle()->click();
    walk(seen, &window, QStringLiteral("closed positions"));
    screenshot(&window, language, QStringLiteral("closed-positions"));

    // Data in and out: the import wizard's first page, the export dialog and the restore confirmation.
    ImportWizard *wizard = ImportWizard::openOver(workspace, &window);
    QTest::qWait(50);
    walk(seen, wizard, QStringLiteral("import wizard"));
    wizard->close();
    ExportDialog *exporter = ExportDialog::openOver(workspace, &window);
    QTest::qWait(50);
    walk(seen, exporter, QStringLiteral("export"));
    exporter->close();
    const AccountBackup backup{u"quillfern-backup"_s, 1, u"2026-12-08T09:00:00Z"_s, {}, {}, {}, {}, {}, std::nullopt};
    QMessageBox *confirmation =
        restoreConfirmation(backup, countsOf(workspace), language, workspace.displayLocale(), &window);
    walk(seen, confirmation, QStringLiteral("restore confirmation"));
    delete confirmation;

    walkModal(seen, [&] { window.content()->openAddBrokerageDialog(); }, QStringLiteral("add brokerage"));
    walkModal(seen, [&] { QuillfernApp::showAboutPanel(&window); }, QStringLiteral("about"));
    window.close();

    // The error banner: the same account against a service that does not answer.
    const APIEndpoint nowhere{QUrl(QStringLiteral("http://127.0.0.1:9")), &m_network};
    AuthManager lostAuth(nowhere, {}, preferences(language, m_token));
    Workspace lost(lostAuth, nowhere, preferences(language, m_token));
    MainWindow lostWindow(lost);
    lostWindow.show();
    lost.start();
    QTRY_VERIFY_WITH_TIMEOUT(lostWindow.content()->banner() && lostWindow.content()->banner()->isVisible(), 15000);
    walk(seen, &lostWindow, QStringLiteral("offline"));
    screenshot(&lostWindow, language, QStringLiteral("offline"));

    // Signed out: the sign-in view.
    AuthManager signedOutAuth(endpoint, {}, preferences(language, {}));
    Workspace signedOut(signedOutAuth, endpoint, preferences(language, {}));
    MainWindow signInWindow(signedOut);
    signInWindow.show();
    signedOut.start();
    QTest::qWait(100);
    walk(seen, &signInWindow, QStringLiteral("sign-in"));
    screenshot(&signInWindow, language, QStringLiteral("sign-in"));
}

void TranslationsTest::everyTextIsTranslated_data()
{
    QTest::addColumn<QString>("language");
    for (const char *language : {"zh-CN", "zh-TW", "ja-JP", "ko-KR"})
        QTest::newRow(language) << QString::fromLatin1(language);
}

void TranslationsTest::everyTextIsTranslated()
{
    QFETCH(QString, language);
    QStringList names = m_names;
    Seen seen;
    walkWindow(language, names, seen);
    if (QTest::currentTestFailed())
        return;
    QVERIFY(seen.size() > 100);

    // The user's own names and codes, longest first so that "Futu HK" goes before "Futu".
    names.removeDuplicates();
    names.removeAll(QString());
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) { return a.size() > b.size(); });
    static const QRegularExpression word(QStringLiteral("[A-Za-z]*[a-z][A-Za-z]*"));
    static const QStringList keptNames{QStringLiteral("Quillfern"), QStringLiteral("Google")};

    QStringList offenders;
    for (auto it = seen.keyBegin(); it != seen.keyEnd(); ++it) {
        const QString &text = *it;
        if (!m_english.contains(text))
            continue;
        static const QRegularExpression address(QStringLiteral("\\S+\\.[a-z]{2,}\\S*"));
        QString rest = QString(text).remove(address);
        for (const QString &name : names + keptNames)
            rest.replace(name, QStringLiteral(" "));
        if (rest.contains(word))
            offenders << QStringLiteral("\"%1\" in %2").arg(text, seen.values(text).join(QStringLiteral(", ")));
    }
    offenders.removeDuplicates();
    offenders.sort();
    for (const QString &offender : offenders)
        qWarning("%s", qPrintable(offender));
    QVERIFY2(offenders.isEmpty(), qPrintable(QStringLiteral("%1 texts stay English").arg(offenders.size())));
}

QTEST_MAIN(TranslationsTest)
#include "tst_translations.moc"
