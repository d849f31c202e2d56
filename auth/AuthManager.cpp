#include "auth/AuthManager.h"

#include "auth/CallbackItems.h"
#include "auth/PrivateSettings.h"
#include "text/Localization.h"

#include <QCoroNetworkReply>
#include <QLocale>
#include <QNetworkReply>
#include <QNetworkRequest>

#include <utility>

namespace quillfern {

const QString AuthManager::accessTokenKey = QStringLiteral("quillfernAccessToken");
const QString AuthManager::userKey = QStringLiteral("quillfernAuthenticatedUser");
const QString AuthManager::languageKey = QStringLiteral("quillfernLanguage");
const QString AuthManager::callbackScheme = QStringLiteral("quillfern");
const QString AuthManager::redirectURI = QStringLiteral("quillfern://oauth/callback");

namespace {

struct DeleteLater {
    void operator()(QNetworkReply *reply) const { reply->deleteLater(); }
};

APIFailure badResponse()
{
    return APIFailure(PortfolioAPIError::server(0, AppText::text(u"unreadableResponse")));
}

QString queryValue(const QString &value)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(value));
}

// The one request made without a bearer token, so it does not go through the request layer. The reply is
// aborted when owner goes away, so it never outlives the manager that asked for it.
// The code and verifier travel as plain strings because g++ 12 destroys a braced temporary inside a co_await
// expression twice, so the record is built here rather than at the call.
QCoro::Task<APIResult<NativeExchangeResponse>> exchangeCode(APIEndpoint endpoint, QString code, QString verifier,
                                                            QObject *owner)
{
    using Answer = APIResult<NativeExchangeResponse>;
    const auto body = encodeJSON(NativeExchangeRequest{std::move(code), std::move(verifier)});
    if (!body)
        co_return Answer(APIFailure(body.error()));
    if (!endpoint.network)
        co_return Answer(TransportError{TransportError::Kind::Failed, QNetworkReply::UnknownNetworkError, {}});
    const QUrl url = PortfolioAPI::detail::joinURL(endpoint.baseURL, QStringLiteral("/v1/auth/native/exchange"));
    if (!url.isValid() || url.isRelative())
        co_return Answer(badResponse());

    QNetworkRequest request(url);
    request.setTransferTimeout(int(endpoint.timeout.count()));
    request.setRawHeader("Content-Type", "application/json");
    // The code and verifier are posted to the service itself and nowhere a redirect might point.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    std::unique_ptr<QNetworkReply, DeleteLater> reply(endpoint.network->post(request, *body));
    QNetworkReply *raw = reply.get();
    QObject::connect(owner, &QObject::destroyed, raw, [raw] { raw->abort(); });

    co_await reply.get();

    // Nothing here cancels on the caller's behalf: the owner going away aborts a reply nobody reads any more.
    if (auto failure = transportFailure(*reply, false))
        co_return Answer(std::move(*failure));
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid())
        co_return Answer(badResponse());
    if (status.toInt() < 200 || status.toInt() > 299)
        co_return Answer(badResponse());
    auto decoded = decodeJSON<NativeExchangeResponse>(reply->readAll());
    if (!decoded)
        co_return Answer(APIFailure(decoded.error()));
    co_return Answer(std::move(decoded).value());
}

// GET /v1/auth/provider, without a token; Unknown whatever goes wrong, older services included.
QCoro::Task<SignInProvider> fetchSignInProvider(APIEndpoint endpoint, QObject *owner)
{
    if (!endpoint.network)
        co_return SignInProvider::Unknown;
    const QUrl url = PortfolioAPI::detail::joinURL(endpoint.baseURL, QStringLiteral("/v1/auth/provider"));
    if (!url.isValid() || url.isRelative())
        co_return SignInProvider::Unknown;
    QNetworkRequest request(url);
    request.setTransferTimeout(int(endpoint.timeout.count()));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    std::unique_ptr<QNetworkReply, DeleteLater> reply(endpoint.network->get(request));
    QNetworkReply *raw = reply.get();
    QObject::connect(owner, &QObject::destroyed, raw, [raw] { raw->abort(); });

    co_await reply.get();

    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->error() != QNetworkReply::NoError || status < 200 || status > 299)
        co_return SignInProvider::Unknown;
    co_return signInProviderFromAnswer(reply->readAll());
}

} // namespace

AuthManager::AuthManager(APIEndpoint endpoint, WebAuthenticationSessionFactory sheets,
                         std::unique_ptr<QSettings> preferences, QObject *parent)
    : QObject(parent), m_endpoint(std::move(endpoint)), m_sheets(std::move(sheets)),
      m_preferences(std::move(preferences))
{
    qRegisterMetaType<WebAuthenticationResult>();
    restoreSession();
}

AuthManager::~AuthManager() = default;

void AuthManager::restoreSession()
{
    if (!m_preferences)
        return;
    // A damaged or half-written sign-in is left where it is: the next sign-in or sign-out replaces it.
    const QVariant token = m_preferences->value(accessTokenKey);
    if (token.typeId() != QMetaType::QString)
        return;
    const QVariant stored = m_preferences->value(userKey);
    if (stored.typeId() != QMetaType::QByteArray)
        return;
    auto user = decodeStoredUser(stored.toByteArray());
    if (!user)
        return;
    setUser(std::move(user));
    setAccessToken(token.toString());
}

void AuthManager::signInWithGoogle()
{
    if (m_signingIn)
        return;
    const bool google = m_provider == SignInProvider::Google;
    const auto pkce = makePKCE(m_random);
    if (!pkce) {
        setProblem(Problem{QStringLiteral("signInRequestFailed"), {}});
        return;
    }
    m_verifier = pkce->verifier;

    QUrl start = PortfolioAPI::detail::joinURL(m_endpoint.baseURL, QStringLiteral("/v1/auth/google/start"));
    start.setQuery(QStringLiteral("redirect_uri=") + queryValue(redirectURI) + QStringLiteral("&code_challenge=") +
                       queryValue(pkce->challenge) + QStringLiteral("&code_challenge_method=S256"),
                   QUrl::StrictMode);
    if (!start.isValid() || start.isRelative()) {
        m_verifier.reset();
        setProblem(
            Problem{google ? QStringLiteral("signInAddressFailedGoogle") : QStringLiteral("signInAddressFailed"), {}});
        return;
    }

    setSigningIn(true);
    setProblem(std::nullopt);
    m_sheet = m_sheets ? m_sheets(start, callbackScheme) : nullptr;
    if (m_sheet) {
        WebAuthenticationSession *sheet = m_sheet.get();
        // Queued, so a sheet that reports from inside start() or cancel() finds the manager in a settled state;
        // with the sheet as context, a report from a sheet already dropped never arrives.
        connect(
            sheet, &WebAuthenticationSession::finished, sheet,
            [this, sheet](const WebAuthenticationResult &result) {
                if (m_sheet.get() != sheet)
                    return;
                // Deleted later: this call is being delivered to the sheet itself.
                m_sheet.release()->deleteLater();
                // The task runs to its end on its own; the manager's lifetime is checked after every wait.
                (void)finishSheet(result);
            },
            Qt::QueuedConnection);
    }
    if (!m_sheet || !m_sheet->start()) {
        m_sheet.reset();
        m_verifier.reset();
        setSigningIn(false);
        setProblem(Problem{google ? QStringLiteral("signInOpenFailedGoogle") : QStringLiteral("signInOpenFailed"), {}});
    }
}

void AuthManager::cancelSignIn()
{
    if (m_sheet)
        m_sheet->cancel();
}

QCoro::Task<> AuthManager::finishSheet(WebAuthenticationResult result)
{
    if (result.cancelled) {
        m_verifier.reset();
        setSigningIn(false);
        co_return;
    }
    if (result.error) {
        m_verifier.reset();
        setSigningIn(false);
        setProblem(Problem{{}, *result.error});
        co_return;
    }
    if (result.callbackURL) {
        const QPointer<AuthManager> self(this);
        co_await completeSignIn(*result.callbackURL);
        if (self)
            self->setSigningIn(false);
        co_return;
    }
    m_verifier.reset();
    setSigningIn(false);
    setProblem(Problem{QStringLiteral("signInNoResult"), {}});
}

QCoro::Task<> AuthManager::completeSignIn(QUrl callback)
{
    const auto items = callbackItems(callback);
    auto problem = items.find(QStringLiteral("error_description"));
    if (problem == items.end())
        problem = items.find(QStringLiteral("error"));
    if (problem != items.end()) {
        m_verifier.reset();
        // The service's texts come form-encoded, with "+" for each space.
        setProblem(Problem{{}, QString(*problem).replace(QLatin1Char('+'), QLatin1Char(' '))});
        co_return;
    }
    const QString code = items.value(QStringLiteral("code"));
    if (code.isEmpty() || !m_verifier) {
        m_verifier.reset();
        setProblem(Problem{QStringLiteral("signInNoCode"), {}});
        co_return;
    }
    const QString verifier = *std::exchange(m_verifier, std::nullopt);

    const QPointer<AuthManager> self(this);
    const auto answer = co_await exchangeCode(m_endpoint, code, verifier, this);
    if (!self)
        co_return;
    if (!answer) {
        setProblem(Problem{QStringLiteral("signInNotCompleted"), answer.error().description()});
        co_return;
    }
    const NativeExchangeResponse &response = *answer;
    const User signedIn{response.name.isEmpty() ? response.email : response.name, response.email,
                        absoluteURL(response.picture)};
    // The user before the token: whoever follows the token takes the account from the user (the window
    // keys this computer's copy of the portfolio by it).
    setUser(signedIn);
    setAccessToken(response.accessToken);
    store(response.accessToken, signedIn);
}

void AuthManager::store(const QString &token, const User &user)
{
    if (!m_preferences)
        return;
    m_preferences->setValue(accessTokenKey, token);
    m_preferences->setValue(userKey, encodeStoredUser(user));
    syncPrivately(*m_preferences);
}

void AuthManager::signOut()
{
    if (m_sheet)
        m_sheet->cancel();
    if (m_accessToken) {
        // Nothing waits for the answer and it touches nothing of the manager's, so it may outlive it.
        (void)PortfolioAPI::logout(m_endpoint, *m_accessToken);
    }
    m_verifier.reset();
    setUser(std::nullopt);
    setAccessToken(std::nullopt);
    if (m_preferences) {
        m_preferences->remove(accessTokenKey);
        m_preferences->remove(userKey);
        syncPrivately(*m_preferences);
    }
}

void AuthManager::setUser(std::optional<User> user)
{
    if (m_user == user)
        return;
    m_user = std::move(user);
    Q_EMIT userChanged();
}

void AuthManager::setAccessToken(std::optional<QString> token)
{
    if (m_accessToken == token)
        return;
    m_accessToken = std::move(token);
    Q_EMIT accessTokenChanged();
}

void AuthManager::setSigningIn(bool signingIn)
{
    if (m_signingIn == signingIn)
        return;
    m_signingIn = signingIn;
    Q_EMIT isSigningInChanged();
}

void AuthManager::setProblem(std::optional<Problem> problem)
{
    if (m_problem == problem)
        return;
    m_problem = std::move(problem);
    Q_EMIT errorMessageChanged();
}

std::optional<QString> AuthManager::errorMessage() const
{
    if (!m_problem)
        return std::nullopt;
    if (m_problem->key.isEmpty())
        return m_problem->detail;
    return AppText::format(m_problem->key, signInLanguage(), {m_problem->detail});
}

QString AuthManager::signInLanguage() const
{
    const QString chosen = m_preferences ? m_preferences->value(languageKey).toString() : QString();
    return quillfern::signInLanguage(chosen, QLocale::system().uiLanguages());
}

void AuthManager::checkSignInProvider()
{
    if (m_askingProvider)
        return;
    m_askingProvider = true;
    // The task runs to its end on its own; the manager's lifetime is checked after the wait.
    (void)askSignInProvider();
}

QCoro::Task<> AuthManager::askSignInProvider()
{
    const QPointer<AuthManager> self(this);
    const SignInProvider provider = co_await fetchSignInProvider(m_endpoint, this);
    if (!self)
        co_return;
    m_askingProvider = false;
    setSignInProvider(provider);
}

void AuthManager::setSignInProvider(SignInProvider provider)
{
    if (m_provider == provider)
        return;
    m_provider = provider;
    Q_EMIT signInProviderChanged();
}

std::unique_ptr<QSettings> userPreferences()
{
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Quillfern"),
                                       QStringLiteral("Quillfern"));
}

} // namespace quillfern
