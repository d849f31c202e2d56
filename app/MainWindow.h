#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QTimer>

#include <chrono>

#include <QMessageBox>

namespace quillfern {

class ContentView;
class Workspace;

// The one window. Closing it with edits the service has not stored yet sends them first; when they cannot
// be sent, the window still closes if they are kept on this computer for the next start, and asks otherwise.
// Every close request ends in one of those within closingSaveLimit.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds closingSaveLimit{4000};
    // The preference behind the View menu's automatic price refresh; on when absent.
    static const QString automaticPricesKey;

    explicit MainWindow(Workspace &workspace, QWidget *parent = nullptr);
    ~MainWindow() override;

    ContentView *content() const { return m_content; }
    // The Edit menu's actions on the account's undo stack, labelled with what they undo or redo.
    QAction *undoAction() const { return m_undo; }
    QAction *redoAction() const { return m_redo; }
    // The View menu's switch for refreshing prices by themselves while the window is open.
    QAction *automaticPricesAction() const { return m_automaticPrices; }
    // File › Import Transactions…, enabled while a signed-in account's ledger is loaded.
    QAction *importTransactionsAction() const { return m_importTransactions; }
    // File › Export…, Back Up Account… and Restore Account…, enabled while a signed-in account is loaded.
    QAction *exportAction() const { return m_export; }
    QAction *backUpAction() const { return m_backUp; }
    QAction *restoreAction() const { return m_restore; }
    // Brings the window in front of others, as when the browser hands back a sign-in.
    void bringToFront();
    // The question asked when the closing save failed, while it is open.
    QMessageBox *unsavedQuestion() const { return m_question; }
    // Prints the time from process start to the first painted content when QUILLFERN_REPORT_FIRST_PAINT=1.
    void reportFirstPaint();

Q_SIGNALS:
    void closingSaveStarted();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Every menu title and action text in the chosen language, Qt's own texts included.
    void retranslate();
    void buildEditMenu(const QString &language);
    void buildViewMenu();
    void saveThenClose();
    // One step of closing with unsent edits, taken whenever the workspace's sync state moves.
    void advanceClosing();
    void closingSaveEnded(bool saved);
    void askBeforeLosingEdits();

    Workspace &m_workspace;
    ContentView *m_content;
    QMenu *m_fileMenu = nullptr;
    QAction *m_quit = nullptr;
    QAction *m_export = nullptr;
    QAction *m_backUp = nullptr;
    QAction *m_restore = nullptr;
    QAction *m_importTransactions = nullptr;
    QMenu *m_editMenu = nullptr;
    QPointer<QAction> m_undo;
    QPointer<QAction> m_redo;
    QMenu *m_viewMenu = nullptr;
    QAction *m_automaticPrices = nullptr;
    QMenu *m_helpMenu = nullptr;
    QAction *m_about = nullptr;
    bool m_mayClose = false;
    bool m_closingSave = false;
    QTimer m_closingDeadline;
    int m_closingSends = 0;
    QPointer<QMessageBox> m_question;
    QPointer<QWidget> m_paintWatched;
};

} // namespace quillfern
