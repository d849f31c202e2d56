#include "app/SignInView.h"

#include "auth/AuthManager.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace quillfern {

SignInView::SignInView(AuthManager &auth, QWidget *parent)
    : QWidget(parent), m_auth(auth), m_waiting(new QLabel(this)), m_error(new QLabel(this)),
      m_signIn(new QPushButton(QStringLiteral("Sign in with Google"), this)),
      m_stopWaiting(new QPushButton(QStringLiteral("Stop waiting"), this))
{
    auto *title = new QLabel(QStringLiteral("Quillfern"), this);
    QFont titleFont = title->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 2.2);
    titleFont.setBold(true);
    title->setFont(titleFont);
    auto *subtitle = new QLabel(QStringLiteral("Your holdings, cash and trades across every brokerage."), this);
    subtitle->setForegroundRole(QPalette::PlaceholderText);

    m_waiting->setText(QStringLiteral("Finish signing in in your browser. Quillfern continues when you come back."));
    m_waiting->setWordWrap(true);
    m_waiting->setAlignment(Qt::AlignCenter);
    m_error->setWordWrap(true);
    m_error->setAlignment(Qt::AlignCenter);
    m_error->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QPalette errorPalette = m_error->palette();
    errorPalette.setColor(QPalette::WindowText, QColor(0xC6, 0x28, 0x28));
    m_error->setPalette(errorPalette);
    m_signIn->setObjectName(QStringLiteral("signIn"));
    m_stopWaiting->setObjectName(QStringLiteral("stopWaiting"));
    m_error->setObjectName(QStringLiteral("signInError"));
    m_signIn->setDefault(true);
    m_signIn->setMinimumWidth(220);
    m_stopWaiting->setMinimumWidth(220);

    auto *layout = new QVBoxLayout(this);
    layout->addStretch(2);
    for (QWidget *widget : {static_cast<QWidget *>(title), static_cast<QWidget *>(subtitle)})
        layout->addWidget(widget, 0, Qt::AlignHCenter);
    layout->addSpacing(24);
    layout->addWidget(m_signIn, 0, Qt::AlignHCenter);
    layout->addWidget(m_waiting);
    layout->addWidget(m_stopWaiting, 0, Qt::AlignHCenter);
    layout->addWidget(m_error);
    layout->addStretch(3);

    connect(m_signIn, &QPushButton::clicked, &m_auth, &AuthManager::signInWithGoogle);
    connect(m_stopWaiting, &QPushButton::clicked, &m_auth, &AuthManager::cancelSignIn);
    connect(&m_auth, &AuthManager::isSigningInChanged, this, &SignInView::refresh);
    connect(&m_auth, &AuthManager::errorMessageChanged, this, &SignInView::refresh);
    refresh();
}

void SignInView::refresh()
{
    const bool signingIn = m_auth.isSigningIn();
    m_signIn->setVisible(!signingIn);
    m_waiting->setVisible(signingIn);
    m_stopWaiting->setVisible(signingIn);
    m_error->setText(m_auth.errorMessage().value_or(QString()));
    m_error->setVisible(m_auth.errorMessage().has_value());
}

} // namespace quillfern
