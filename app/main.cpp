#include "api/PortfolioAPI.h"
#include "app/MainWindow.h"
#include "app/QuillfernApp.h"
#include "app/workspace/Workspace.h"
#include "auth/AuthManager.h"
#include "auth/desktop/InstanceChannel.h"
#include "auth/desktop/LinkHandler.h"
#include "auth/desktop/SystemBrowserSession.h"

#include <cstdio>

using namespace quillfern;

namespace {

QStringList linksIn(const QStringList &arguments)
{
    QStringList links;
    for (const QString &argument : arguments.mid(1)) {
        if (argument.startsWith(QLatin1String("quillfern:"), Qt::CaseInsensitive))
            links.append(argument);
    }
    return links;
}

} // namespace

int main(int argc, char **argv)
{
    QuillfernApp application(argc, argv);

    // A browser opening a quillfern:// link starts a second process: it hands the link over and leaves.
    InstanceChannel channel;
    const QStringList links = linksIn(QApplication::arguments());
    switch (channel.claim()) {
    case InstanceChannel::Role::Secondary:
        return channel.forward(links) ? 0 : 1;
    case InstanceChannel::Role::Unavailable:
        std::fprintf(stderr, "quillfern: cannot set up %s; sign-in links will not reach this window\n",
                     qPrintable(channel.socketPath()));
        break;
    case InstanceChannel::Role::Primary:
        break;
    }
    // The browser's link at the end of a sign-in must start this very program, wherever it was started from.
    registerLinkHandlerInBackground();

    CallbackInbox inbox;
    const APIEndpoint endpoint = PortfolioAPI::defaultEndpoint();
    AuthManager auth(
        endpoint,
        [&inbox](const QUrl &startURL, const QString &scheme) -> std::unique_ptr<WebAuthenticationSession> {
            return std::make_unique<SystemBrowserSession>(startURL, scheme, inbox,
                                                          &SystemBrowserSession::openInDefaultBrowser);
        },
        userPreferences());

    Workspace workspace(auth, endpoint, userPreferences());
    workspace.setLocalCopyFolder(LocalCopy::defaultFolder());
    workspace.setWatchesNetwork(true);
    MainWindow window(workspace);
    QObject::connect(&channel, &InstanceChannel::linksReceived, &window,
                     [&inbox, &window](const QStringList &received) {
                         for (const QString &link : received)
                             inbox.deliver(QUrl(link, QUrl::StrictMode));
                         window.bringToFront();
                     });
    window.show();
    workspace.start();
    application.scheduleBringToFront();
    return application.exec();
}
