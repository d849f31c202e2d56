#include "app/MainWindow.h"

#include "app/SignInView.h"
#include "auth/AuthManager.h"

#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace quillfern {

MainWindow::MainWindow(AuthManager &auth, QWidget *parent)
    : QMainWindow(parent), m_auth(auth), m_pages(new QStackedWidget(this)), m_signIn(new SignInView(auth, this)),
      m_account(new QWidget(this)), m_who(new QLabel(m_account))
{
    setWindowTitle(QStringLiteral("Quillfern"));
    resize(1100, 720);
    setMinimumSize(720, 480);

    auto *signOut = new QPushButton(QStringLiteral("Sign Out"), m_account);
    auto *accountLayout = new QVBoxLayout(m_account);
    accountLayout->addStretch();
    m_who->setAlignment(Qt::AlignCenter);
    accountLayout->addWidget(m_who);
    accountLayout->addWidget(signOut, 0, Qt::AlignHCenter);
    accountLayout->addStretch();
    connect(signOut, &QPushButton::clicked, &m_auth, &AuthManager::signOut);

    m_pages->addWidget(m_signIn);
    m_pages->addWidget(m_account);
    setCentralWidget(m_pages);
    connect(&m_auth, &AuthManager::userChanged, this, &MainWindow::showSession);
    connect(&m_auth, &AuthManager::accessTokenChanged, this, &MainWindow::showSession);
    showSession();
}

void MainWindow::showSession()
{
    const bool signedIn = m_auth.accessToken() && m_auth.user();
    if (signedIn) {
        const AuthManager::User &user = *m_auth.user();
        m_who->setText(QStringLiteral("Signed in as <b>%1</b>%2")
                           .arg(user.name.toHtmlEscaped(),
                                user.email && !user.email->isEmpty() ? QStringLiteral("<br>") + user.email->toHtmlEscaped()
                                                                     : QString()));
    }
    m_pages->setCurrentWidget(signedIn ? m_account : m_signIn);
}

void MainWindow::bringToFront()
{
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    raise();
    activateWindow();
}

} // namespace quillfern
