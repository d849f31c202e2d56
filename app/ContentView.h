#pragma once

// What the window shows: the sign-in view while signed out; while signed in, the loading view or the
// four pages as tabs, the error banner above them and the currency, language and account menus.
// The pages are built the first time a session needs them, so a signed-out start stays light.

#include <QHash>
#include <QPointer>

#include <functional>
#include <QWidget>

#include <QDialog>
class QLabel;
class QPushButton;
class QStackedWidget;
class QTabWidget;
class QToolButton;

namespace quillfern {

class AuthManager;
class HoldingsPage;
class Workspace;

class ContentView : public QWidget {
    Q_OBJECT

public:
    explicit ContentView(Workspace &workspace, QWidget *parent = nullptr);

    QWidget *signInView();
    QWidget *loadingView() const { return m_loading; }
    // The signed-in part, built on the first sign-in; null before.
    QTabWidget *tabs() const { return m_tabs; }
    HoldingsPage *holdingsPage() const { return m_holdings; }
    QWidget *banner() const { return m_banner; }
    QLabel *bannerText() const { return m_bannerText; }
    QPushButton *retryButton() const { return m_retry; }
    QToolButton *currencyMenuButton() const { return m_currencyMenu; }
    QToolButton *languageMenuButton() const { return m_languageMenu; }
    QToolButton *accountMenuButton() const { return m_accountMenu; }
    QDialog *addBrokerageDialog() const { return m_addBrokerage; }

    void openAddBrokerageDialog();

Q_SIGNALS:
    // The pages are on screen for the first time.
    void pagesShown();

private:
    void buildSignedIn();
    void showState();
    void refreshMenus();
    void refreshBanner();
    void retranslate();
    void confirmSignOut();

    Workspace &m_workspace;
    AuthManager &m_auth;
    QStackedWidget *m_stack;
    QWidget *m_signIn = nullptr;
    QWidget *m_loading;
    QLabel *m_loadingText;
    QLabel *m_copyNotice = nullptr;
    // Tabs whose page is built when first shown.
    QHash<QWidget *, std::function<QWidget *()>> m_pendingPages;
    QWidget *m_signedIn = nullptr;
    QTabWidget *m_tabs = nullptr;
    HoldingsPage *m_holdings = nullptr;
    QWidget *m_banner = nullptr;
    QLabel *m_bannerText = nullptr;
    QPushButton *m_retry = nullptr;
    QToolButton *m_currencyMenu = nullptr;
    QToolButton *m_languageMenu = nullptr;
    QToolButton *m_accountMenu = nullptr;
    QPointer<QDialog> m_addBrokerage;
    bool m_pagesShown = false;
};

} // namespace quillfern
