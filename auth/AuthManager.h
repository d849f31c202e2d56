#pragma once

// Who is signed in, and the sign-in itself: a web sheet on the service's pages, then the code exchange with
// a PKCE verifier. The token and the user are kept in the preferences, so the next start is already signed
// in. All of it runs on the thread that owns the manager.

#include "api/PortfolioAPI.h"
#include "auth/AuthenticatedUser.h"
#include "auth/PKCE.h"
#include "auth/SignInPrompt.h"
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
    // The window's language choice, which the workspace keeps in the same preferences.
    static const QString languageKey;
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
    // Why the last sign-in did not come about, in signInLanguage() as it is now.
    std::optional<QString> errorMessage() const;

    // The language the sign-in speaks: the window's stored choice, else the system's when the app speaks it,
    // else English. Read afresh on every call, so a choice made in the window shows at once.
    QString signInLanguage() const;
    // Where the service's sign-in pages lead; Unknown until checkSignInProvider() has heard from the service.
    SignInProvider signInProvider() const { return m_provider; }
    // Asks the service which provider it signs in with and returns at once; a service that cannot be reached
    // or does not say leaves it Unknown. Ignored while a check runs.
    void checkSignInProvider();

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
    void signInProviderChanged();

private:
    // A failure's catalogue key and the detail it takes; a failure without key is shown as its detail.
    struct Problem {
        QString key;
        QString detail;
        bool operator==(const Problem &) const = default;
    };

    void restoreSession();
    QCoro::Task<> finishSheet(WebAuthenticationResult result);
    QCoro::Task<> completeSignIn(QUrl callback);
    QCoro::Task<> askSignInProvider();
    void store(const QString &token, const User &user);

    void setUser(std::optional<User> user);
    void setAccessToken(std::optional<QString> token);
    void setSigningIn(bool signingIn);
    void setProblem(std::optional<Problem> problem);
    void setSignInProvider(SignInProvider provider);

    APIEndpoint m_endpoint;
    WebAuthenticationSessionFactory m_sheets;
    std::unique_ptr<QSettings> m_preferences;
    RandomBytes m_random = systemRandomBytes;
    std::unique_ptr<WebAuthenticationSession> m_sheet;
    std::optional<QString> m_verifier;

    std::optional<User> m_user;
    std::optional<QString> m_accessToken;
    bool m_signingIn = false;
    std::optional<Problem> m_problem;
    SignInProvider m_provider = SignInProvider::Unknown;
    bool m_askingProvider = false;
};

// The per-user native preferences of the app ("Quillfern" / "Quillfern").
std::unique_ptr<QSettings> userPreferences();

} // namespace quillfern
