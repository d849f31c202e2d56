#pragma once

#include <QMainWindow>
#include <QPointer>

#include <QMessageBox>

namespace quillfern {

class ContentView;
class Workspace;

// The one window. Closing it with edits the service has not stored yet saves them first, and asks before
// quitting when that save fails.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(Workspace &workspace, QWidget *parent = nullptr);

    ContentView *content() const { return m_content; }
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
    void saveThenClose();
    void askBeforeLosingEdits();

    Workspace &m_workspace;
    ContentView *m_content;
    bool m_mayClose = false;
    bool m_closingSave = false;
    QPointer<QMessageBox> m_question;
    QPointer<QWidget> m_paintWatched;
};

} // namespace quillfern
