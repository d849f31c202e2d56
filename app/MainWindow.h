#pragma once

#include <QMainWindow>

class QLabel;
class QStackedWidget;

namespace quillfern {

class AuthManager;

// The one window: the sign-in view while signed out, the account while signed in.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(AuthManager &auth, QWidget *parent = nullptr);

    // Brings the window in front of others, as when the browser hands back a sign-in.
    void bringToFront();

private:
    void showSession();

    AuthManager &m_auth;
    QStackedWidget *m_pages;
    QWidget *m_signIn;
    QWidget *m_account;
    QLabel *m_who;
};

} // namespace quillfern
