#pragma once

// The window in which the user signs in with the service's pages. The real one opens the system browser and
// waits for the app's own URL scheme; tests script one that follows the service's redirects.

#include <QMetaType>
#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

namespace quillfern {

// What one web sign-in came back with: the callback URL, or an error text, or that the user gave up.
struct WebAuthenticationResult {
    std::optional<QUrl> callbackURL;
    std::optional<QString> error; // the platform's description of a failure
    bool cancelled = false;       // the user stopped the sign-in
};

// Shows the service's sign-in pages and reports the redirect to the app's own URL scheme.
class WebAuthenticationSession : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // Opens startURL; false when it cannot. After a true, finished() is emitted exactly once, later.
    virtual bool start() = 0;
    // Ends a started session with a cancelled result.
    virtual void cancel() = 0;

Q_SIGNALS:
    void finished(const quillfern::WebAuthenticationResult &result);
};

using WebAuthenticationSessionFactory =
    std::function<std::unique_ptr<WebAuthenticationSession>(const QUrl &startURL, const QString &callbackScheme)>;

} // namespace quillfern

Q_DECLARE_METATYPE(quillfern::WebAuthenticationResult)
