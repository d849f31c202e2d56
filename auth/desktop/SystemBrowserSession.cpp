#include "auth/desktop/SystemBrowserSession.h"

#include <QDesktopServices>

namespace quillfern {

bool CallbackInbox::deliver(const QUrl &url)
{
    return m_waiting && m_waiting->accept(url);
}

SystemBrowserSession::SystemBrowserSession(QUrl startURL, QString callbackScheme, CallbackInbox &inbox,
                                           BrowserOpener openBrowser, std::chrono::milliseconds patience)
    : m_startURL(std::move(startURL)), m_scheme(std::move(callbackScheme)), m_inbox(&inbox),
      m_openBrowser(std::move(openBrowser))
{
    m_patience.setSingleShot(true);
    m_patience.setInterval(patience);
    connect(&m_patience, &QTimer::timeout, this, [this] { finish(WebAuthenticationResult{{}, {}, true}); });
}

SystemBrowserSession::~SystemBrowserSession()
{
    if (m_inbox && m_inbox->m_waiting == this)
        m_inbox->m_waiting.clear();
}

bool SystemBrowserSession::start()
{
    if (m_started || !m_inbox || !m_openBrowser || !m_openBrowser(m_startURL))
        return false;
    m_started = true;
    // A newer sign-in replaces one that was still waiting: only the latest browser tab can finish.
    if (m_inbox->m_waiting && m_inbox->m_waiting != this)
        m_inbox->m_waiting->cancel();
    m_inbox->m_waiting = this;
    m_patience.start();
    return true;
}

void SystemBrowserSession::cancel()
{
    if (m_started)
        finish(WebAuthenticationResult{{}, {}, true});
}

bool SystemBrowserSession::openInDefaultBrowser(const QUrl &url) { return QDesktopServices::openUrl(url); }

bool SystemBrowserSession::accept(const QUrl &url)
{
    if (m_finished || url.scheme().compare(m_scheme, Qt::CaseInsensitive) != 0)
        return false;
    finish(WebAuthenticationResult{url, {}, false});
    return true;
}

void SystemBrowserSession::finish(const WebAuthenticationResult &result)
{
    if (m_finished)
        return;
    m_finished = true;
    m_patience.stop();
    if (m_inbox && m_inbox->m_waiting == this)
        m_inbox->m_waiting.clear();
    Q_EMIT finished(result);
}

} // namespace quillfern
