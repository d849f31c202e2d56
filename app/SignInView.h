#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

namespace quillfern {

class AuthManager;

// What a signed-out window shows: the sign-in button, the wait for the browser with a way to stop it,
// and the last sign-in failure, in the sign-in's language. Each time it is shown it asks the service which
// provider it signs in with, and reads the language afresh.
class SignInView : public QWidget {
    Q_OBJECT

public:
    explicit SignInView(AuthManager &auth, QWidget *parent = nullptr);

    // Shows every text again in the sign-in's language, as it is now.
    void retranslate();

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void refresh();
    void fitTitle();

    AuthManager &m_auth;
    QLabel *m_welcome = nullptr;
    QLabel *m_pitch = nullptr;
    QLabel *m_waiting = nullptr;
    QLabel *m_error = nullptr;
    QLabel *m_footnote = nullptr;
    QPushButton *m_signIn;
    QPushButton *m_stopWaiting;
};

} // namespace quillfern
