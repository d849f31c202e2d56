#include "app/MainWindow.h"

#include "app/ContentView.h"
#include "app/QuillfernApp.h"
#include "app/StartupClock.h"
#include "app/exchange/AccountBackupDialogs.h"
#include "app/exchange/ExportDialog.h"
#include "app/exchange/ImportWizard.h"
#include "app/holdings/HoldingsPage.h"
#include "app/workspace/Workspace.h"
#include "auth/AuthManager.h"
#include "text/Localization.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTimer>
#include <QUndoStack>

#include <cstdio>

namespace quillfern {

const QString MainWindow::automaticPricesKey = QStringLiteral("quillfernRefreshPricesAutomatically");

MainWindow::MainWindow(Workspace &workspace, QWidget *parent)
    : QMainWindow(parent), m_workspace(workspace), m_content(new ContentView(workspace, this))
{
    setWindowTitle(QStringLiteral("Quillfern"));
    setCentralWidget(m_content);
    // Opened on a smaller screen, the window starts as large as the screen allows rather than past its edges.
    QSize opening(1360, 880);
    if (const QScreen *shown = screen())
        opening = opening.boundedTo(shown->availableGeometry().size()).expandedTo(minimumSizeHint());
    resize(opening);

    m_fileMenu = menuBar()->addMenu(QString());
    m_importTransactions =
        m_fileMenu->addAction(QString(), this, [this] { ImportWizard::openOver(m_workspace, this); });
    m_importTransactions->setObjectName(QStringLiteral("importTransactions"));
    const auto canImport = [this] {
        m_importTransactions->setEnabled(m_workspace.auth().accessToken() && m_workspace.isSessionReady() &&
                                         m_workspace.hasPortfolioCopy() && !m_workspace.isShowingLocalCopy());
    };
    canImport();
    connect(&workspace, &Workspace::sessionLoaded, this, canImport);
    connect(&workspace, &Workspace::syncStateChanged, this, canImport);
    connect(&workspace.auth(), &AuthManager::accessTokenChanged, this, canImport);
    m_export = m_fileMenu->addAction(QString(), this, [this] { ExportDialog::openOver(m_workspace, this); });
    m_backUp = m_fileMenu->addAction(QString(), this, [this] { backUpAccountOver(m_workspace, this); });
    m_restore = m_fileMenu->addAction(QString(), this, [this] { restoreAccountOver(m_workspace, this); });
    m_export->setObjectName(QStringLiteral("export"));
    m_backUp->setObjectName(QStringLiteral("backUpAccount"));
    m_restore->setObjectName(QStringLiteral("restoreAccount"));
    m_fileMenu->addSeparator();
    // Only an account whose portfolio and ledger the service has answered is exported or backed up whole.
    const auto accountLoaded = [this] {
        const bool loaded = m_workspace.auth().accessToken() && m_workspace.isSessionReady() &&
                            m_workspace.hasPortfolioCopy() && !m_workspace.isShowingLocalCopy();
        for (QAction *action : {m_export, m_backUp, m_restore})
            action->setEnabled(loaded);
    };
    accountLoaded();
    connect(&workspace, &Workspace::sessionLoaded, this, accountLoaded);
    connect(&workspace, &Workspace::syncStateChanged, this, accountLoaded);
    connect(&workspace.auth(), &AuthManager::accessTokenChanged, this, accountLoaded);
    m_quit = m_fileMenu->addAction(QString(), this, &QWidget::close);
    m_quit->setShortcut(QKeySequence::Quit);
    m_editMenu = menuBar()->addMenu(QString());
    buildViewMenu();
    m_helpMenu = menuBar()->addMenu(QString());
    m_about = m_helpMenu->addAction(QString(), this, [this] { QuillfernApp::showAboutPanel(this); });
    retranslate();
    // The language's table may arrive after the window opens, with the list of languages.
    connect(&workspace, &Workspace::preferencesChanged, this, &MainWindow::retranslate);
    connect(&workspace, &Workspace::referenceDataChanged, this, &MainWindow::retranslate);

    m_closingDeadline.setSingleShot(true);
    connect(&m_closingDeadline, &QTimer::timeout, this, [this] { closingSaveEnded(false); });
    // Queued, so a step never runs inside the save that moved the state.
    connect(&workspace, &Workspace::syncStateChanged, this, &MainWindow::advanceClosing, Qt::QueuedConnection);

    if (qEnvironmentVariableIntValue("QUILLFERN_REPORT_FIRST_PAINT") == 1)
        reportFirstPaint();
}

MainWindow::~MainWindow()
{
    // Prices refresh by themselves only while the window is open.
    m_workspace.priceRefresher().setAutomatic(false);
}

void MainWindow::retranslate()
{
    const QString language = m_workspace.selectedLanguage().code;
    QuillfernApp::useQtTranslations(language);
    m_fileMenu->setTitle(AppText::value(u"menuFile", language));
    m_quit->setText(AppText::value(u"menuQuit", language));
    m_export->setText(AppText::value(u"menuExport", language));
    m_backUp->setText(AppText::value(u"menuBackUpAccount", language));
    m_restore->setText(AppText::value(u"menuRestoreAccount", language));
    m_importTransactions->setText(AppText::value(u"menuImportTransactions", language));
    m_helpMenu->setTitle(AppText::value(u"menuHelp", language));
    m_about->setText(AppText::value(u"aboutQuillfern", language));
    buildEditMenu(language);
    m_viewMenu->setTitle(AppText::value(u"view", language));
    m_automaticPrices->setText(AppText::value(u"refreshPricesAutomatically", language));
}

void MainWindow::buildEditMenu(const QString &language)
{
    // The stack's actions carry their prefix from creation, so a new language makes new ones.
    m_editMenu->setTitle(AppText::value(u"edit", language));
    if (m_undo && m_undo->text().startsWith(AppText::value(u"undo", language)) &&
        m_redo->text().startsWith(AppText::value(u"redo", language)))
        return;
    delete m_undo;
    delete m_redo;
    QUndoStack &stack = m_workspace.undoStack();
    m_undo = stack.createUndoAction(this, AppText::value(u"undo", language));
    m_undo->setShortcuts(QKeySequence::Undo);
    m_redo = stack.createRedoAction(this, AppText::value(u"redo", language));
    m_redo->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    m_editMenu->addAction(m_undo);
    m_editMenu->addAction(m_redo);
}

void MainWindow::buildViewMenu()
{
    m_viewMenu = menuBar()->addMenu(QString());
    m_automaticPrices = m_viewMenu->addAction(QString());
    m_automaticPrices->setObjectName(QStringLiteral("refreshPricesAutomatically"));
    m_automaticPrices->setCheckable(true);
    const bool on = m_workspace.preferences().value(automaticPricesKey, true).toBool();
    m_automaticPrices->setChecked(on);
    m_workspace.priceRefresher().setAutomatic(on);
    connect(m_automaticPrices, &QAction::toggled, this, [this](bool checked) {
        m_workspace.preferences().setValue(automaticPricesKey, checked);
        m_workspace.priceRefresher().setAutomatic(checked);
    });
}

void MainWindow::reportFirstPaint()
{
    // Signed out, the sign-in view is the content; signed in, it is the current page once the session's
    // portfolio is loaded and the pages replace the loading view.
    const auto watch = [this](QWidget *widget) {
        m_paintWatched = widget;
        widget->installEventFilter(this);
        widget->update();
    };
    if (m_workspace.auth().accessToken())
        connect(m_content, &ContentView::pagesShown, this, [this, watch] { watch(m_content->holdingsPage()); });
    else
        watch(m_content->signInView());
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_paintWatched && event->type() == QEvent::Paint) {
        m_paintWatched->removeEventFilter(this);
        m_paintWatched = nullptr;
        // Reported once this paint is done, so the figure includes it.
        QTimer::singleShot(0, this, [] {
            std::fprintf(stderr, "first-paint-ms %.1f\n", millisecondsSinceProcessStart());
            std::fflush(stderr);
            if (qEnvironmentVariableIntValue("QUILLFERN_EXIT_AFTER_FIRST_PAINT") == 1)
                QCoreApplication::exit(0);
        });
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::bringToFront()
{
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    raise();
    activateWindow();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (m_mayClose || !m_workspace.hasUnsentWork()) {
        event->accept();
        return;
    }
    event->ignore();
    if (m_question) {
        m_question->raise();
        m_question->activateWindow();
        return;
    }
    if (!m_closingSave)
        saveThenClose();
}

void MainWindow::saveThenClose()
{
    m_closingSave = true;
    m_closingSends = 0;
    Q_EMIT closingSaveStarted();
    // Written before anything is sent, so a save that fails or never ends cannot lose the edits.
    m_workspace.flushLocalCopy();
    m_closingDeadline.start(closingSaveLimit);
    advanceClosing();
}

void MainWindow::advanceClosing()
{
    if (!m_closingSave)
        return;
    if (!m_workspace.hasUnsentWork())
        return closingSaveEnded(true);
    if (m_workspace.isSavingPortfolio())
        return; // its end moves the state again
    // A save that failed is not tried again; one refused because the service moved on merges and goes again.
    constexpr int mostSends = 3;
    if ((m_closingSends > 0 && m_workspace.portfolioError()) || m_closingSends >= mostSends ||
        !m_workspace.canSaveNow())
        return closingSaveEnded(false);
    ++m_closingSends;
    m_workspace.saveNow();
    if (!m_workspace.isSavingPortfolio())
        closingSaveEnded(false);
}

void MainWindow::closingSaveEnded(bool saved)
{
    if (!m_closingSave)
        return; // the deadline came first
    m_closingSave = false;
    m_closingDeadline.stop();
    if (saved || m_workspace.flushLocalCopy()) {
        m_mayClose = true;
        QTimer::singleShot(0, this, &QWidget::close);
    } else {
        askBeforeLosingEdits();
    }
}

void MainWindow::askBeforeLosingEdits()
{
    // Window-modal, so the language cannot change while it is open.
    const QString language = m_workspace.selectedLanguage().code;
    const QString error = m_workspace.portfolioError().value_or(AppText::value(u"unknownError", language));
    auto *question = new QMessageBox(QMessageBox::Warning, AppText::value(u"unsavedChangesTitle", language),
                                     AppText::format(u"unsavedChangesText", language, {error}), QMessageBox::NoButton,
                                     this);
    m_question = question;
    question->setAttribute(Qt::WA_DeleteOnClose);
    QPushButton *stay = question->addButton(AppText::value(u"stayOpen", language), QMessageBox::RejectRole);
    QPushButton *quit = question->addButton(AppText::value(u"quitAnyway", language), QMessageBox::DestructiveRole);
    question->setDefaultButton(stay);
    connect(quit, &QPushButton::clicked, this, [this] {
        m_mayClose = true;
        QTimer::singleShot(0, this, &QWidget::close);
    });
    question->open();
}

} // namespace quillfern
