#pragma once

#include "auth/WebAuthenticationSession.h"

#include <QPointer>
#include <QTimer>

#include <chrono>
#include <functional>

namespace quillfern {

class SystemBrowserSession;

// Where quillfern:// links reach the app, from its own command line or forwarded by a second process.
// At most one sign-in waits at a time; a link that arrives when none waits is ignored.
class CallbackInbox : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // Hands the link to the waiting sign-in when its scheme is the one awaited; false when nobody took it.
    bool deliver(const QUrl &url);
    bool isWaiting() const { return !m_waiting.isNull(); }

private:
    friend class SystemBrowserSession;
    QPointer<SystemBrowserSession> m_waiting;
};

// Signs in through the user's own browser: opens the start URL there and waits for the service's final
// redirect to come back as a quillfern:// link. A browser cannot say that the user gave up, so the wait
// ends on cancel() or after the patience runs out, both reported as cancelled.
class SystemBrowserSession : public WebAuthenticationSession {
    Q_OBJECT

public:
    using BrowserOpener = std::function<bool(const QUrl &)>;

    SystemBrowserSession(QUrl startURL, QString callbackScheme, CallbackInbox &inbox, BrowserOpener openBrowser,
                         std::chrono::milliseconds patience = std::chrono::minutes(10));
    ~SystemBrowserSession() override;

    bool start() override;
    void cancel() override;

    // The real opener: the desktop's default browser.
    static bool openInDefaultBrowser(const QUrl &url);

private:
    friend class CallbackInbox;
    bool accept(const QUrl &url);
    void finish(const WebAuthenticationResult &result);

    QUrl m_startURL;
    QString m_scheme;
    QPointer<CallbackInbox> m_inbox;
    BrowserOpener m_openBrowser;
    QTimer m_patience;
    bool m_started = false;
    bool m_finished = false;
};

} // namespace quillfern
