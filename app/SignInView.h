#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

namespace quillfern {

class AuthManager;

// What a signed-out window shows: the sign-in button, the wait for the browser with a way to stop it,
// and the last sign-in failure.
class SignInView : public QWidget {
    Q_OBJECT

public:
    explicit SignInView(AuthManager &auth, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void refresh();

    AuthManager &m_auth;
    QLabel *m_waiting;
    QLabel *m_error;
    QPushButton *m_signIn;
    QPushButton *m_stopWaiting;
};

} // namespace quillfern
