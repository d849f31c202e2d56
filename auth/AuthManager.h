#pragma once

// Who is signed in, and the sign-in itself: a web sheet on the service's pages, then the code exchange with
// a PKCE verifier. The token and the user are kept in the preferences, so the next start is already signed
// in. All of it runs on the thread that owns the manager.

#include "api/PortfolioAPI.h"
#include "auth/AuthenticatedUser.h"
#include "auth/PKCE.h"
#include "auth/WebAuthenticationSession.h"

#include <QCoroTask>
#include <QObject>
#include <QSettings>

#include <memory>
#include <optional>

namespace quillfern {

class AuthManager : public QObject {
    Q_OBJECT

public:
    using User = AuthenticatedUser;

    // The preference keys of the stored sign-in.
    static const QString accessTokenKey;
    static const QString userKey;
    // Where the service sends the browser back to, and the scheme the sheet waits for.
    static const QString callbackScheme;
    static const QString redirectURI;

    // Restores a stored sign-in from preferences at once.
    AuthManager(APIEndpoint endpoint, WebAuthenticationSessionFactory sheets, std::unique_ptr<QSettings> preferences,
                QObject *parent = nullptr);
    ~AuthManager() override;

    const std::optional<User> &user() const { return m_user; }
    const std::optional<QString> &accessToken() const { return m_accessToken; }
    bool isSigningIn() const { return m_signingIn; }
    const std::optional<QString> &errorMessage() const { return m_errorMessage; }

    // Opens the sign-in sheet and returns at once; ignored while a sign-in runs.
    void signInWithGoogle();
    // Stops waiting for the sheet, which then reports that the user gave up.
    void cancelSignIn();
    // Forgets the sign-in here and asks the service to revoke the token, without waiting for its answer.
    void signOut();

    // Where the verifier's randomness comes from; the system source unless replaced.
    void setRandomSource(RandomBytes random) { m_random = std::move(random); }

Q_SIGNALS:
    void userChanged();
    void accessTokenChanged();
    void isSigningInChanged();
    void errorMessageChanged();

private:
    void restoreSession();
    QCoro::Task<> finishSheet(WebAuthenticationResult result);
    QCoro::Task<> completeSignIn(QUrl callback);
    void store(const QString &token, const User &user);

    void setUser(std::optional<User> user);
    void setAccessToken(std::optional<QString> token);
    void setSigningIn(bool signingIn);
    void setErrorMessage(std::optional<QString> message);

    APIEndpoint m_endpoint;
    WebAuthenticationSessionFactory m_sheets;
    std::unique_ptr<QSettings> m_preferences;
    RandomBytes m_random = systemRandomBytes;
    std::unique_ptr<WebAuthenticationSession> m_sheet;
    std::optional<QString> m_verifier;

    std::optional<User> m_user;
    std::optional<QString> m_accessToken;
    bool m_signingIn = false;
    std::optional<QString> m_errorMessage;
};

// The per-user native preferences of the app ("Quillfern" / "Quillfern").
std::unique_ptr<QSettings> userPreferences();

} // namespace quillfern
