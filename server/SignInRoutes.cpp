#include "server/HttpSupport.h"
#include "server/Service.h"
#include "server/SignInPages.h"
#include "server/google/GoogleProvider.h"

#include <QRegularExpression>
#include <QUrl>

namespace quillfern::server {
namespace {

constexpr qint64 pendingLifetime = 10 * 60;
constexpr qint64 codeLifetime = 5 * 60;
constexpr qint64 tokenLifetime = 30 * 24 * 60 * 60;

bool isPKCEText(const QString &text, int minimum, int maximum)
{
    static const QRegularExpression alphabet(QStringLiteral("^[A-Za-z0-9._~-]+$"));
    return text.size() >= minimum && text.size() <= maximum && alphabet.match(text).hasMatch();
}

void noReferrer(http::Response &response) { response.setHeader("Referrer-Policy", "no-referrer"); }

QString devSignInForm(const QString &state, const QString &problem = {})
{
    return QStringLiteral("<h1>Development sign-in</h1>"
                          "<p class=\"warning\">This is a local development sign-in, not Google. Any name and email "
                          "are accepted; use it only on your own machine.</p>%1"
                          "<form method=\"post\" action=\"/v1/auth/dev\">"
                          "<input type=\"hidden\" name=\"state\" value=\"%2\">"
                          "<label for=\"name\">Name</label><input id=\"name\" name=\"name\" autocomplete=\"name\">"
                          "<label for=\"email\">Email</label>"
                          "<input id=\"email\" name=\"email\" type=\"email\" required autocomplete=\"email\">"
                          "<button type=\"submit\">Sign in</button></form>")
        .arg(problem.isEmpty() ? QString() : QStringLiteral("<p><strong>%1</strong></p>").arg(escapeHTML(problem)),
             escapeHTML(state));
}

QString withQuery(const QString &redirectURI, const QList<std::pair<QString, QString>> &items)
{
    QString url = redirectURI;
    QChar separator = redirectURI.contains(QLatin1Char('?')) ? QLatin1Char('&') : QLatin1Char('?');
    for (const auto &[name, value] : items) {
        url += separator + name + QLatin1Char('=') + QString::fromLatin1(QUrl::toPercentEncoding(value));
        separator = QLatin1Char('&');
    }
    return url;
}

} // namespace

void Service::redirectWithError(const http::Request &request, http::Response &response, const QString &redirectURI,
                                const QString &error, const QString &description)
{
    sendBackToApp(request, response,
                  withQuery(redirectURI,
                            {{QStringLiteral("error"), error}, {QStringLiteral("error_description"), description}}),
                  false);
}

void Service::startSignIn(const http::Request &request, http::Response &response)
{
    noReferrer(response);
    const QString redirectURI = queryValue(request, "redirect_uri");
    if (!m_options.redirectURIs.contains(redirectURI))
        return sendError(response, 400, QStringLiteral("This app is not allowed to sign in here."));
    if (queryValue(request, "code_challenge_method") != QLatin1String("S256"))
        return sendError(response, 400, QStringLiteral("The sign-in request must use the S256 challenge method."));
    const QString challenge = queryValue(request, "code_challenge");
    static const QRegularExpression challengeShape(QStringLiteral("^[A-Za-z0-9_-]{43}$"));
    if (!challengeShape.match(challenge).hasMatch())
        return sendError(response, 400, QStringLiteral("The sign-in request carries no valid code challenge."));

    const QString state = randomToken(32);
    const PendingSignIn pending{randomToken(16), challenge, redirectURI};
    if (const auto failed = m_accounts.savePendingSignIn(sha256Hex(state), pending, m_clock.nowSeconds() + pendingLifetime))
        return sendStoreError(response, *failed);

    if (m_google)
        response.redirect(m_google->authorizationURL(state.toStdString(), pending.nonce.toStdString()));
    else
        response.redirect(QStringLiteral("/v1/auth/dev?state=%1").arg(state).toStdString());
}

void Service::finishSignIn(const QString &provider, const QString &subject, const QString &name, const QString &email,
                           const QString &picture, const PendingSignIn &pending, const http::Request &request,
                           http::Response &response)
{
    const qint64 now = m_clock.nowSeconds();
    const auto user = m_accounts.upsertUser(provider, subject, name, email, picture, now);
    if (!user)
        return redirectWithError(request, response, pending.redirectURI, QStringLiteral("server_error"),
                                 user.error().message);
    const QString code = randomToken(32);
    if (const auto failed = m_accounts.saveCode(sha256Hex(code), user->id, pending, now + codeLifetime))
        return redirectWithError(request, response, pending.redirectURI, QStringLiteral("server_error"),
                                 failed->message);
    sendBackToApp(request, response, withQuery(pending.redirectURI, {{QStringLiteral("code"), code}}), true);
}

void Service::installSignInRoutes()
{
    // Which provider the sign-in pages lead to, so the app can name it before the browser opens.
    m_server.route("GET", "/v1/auth/provider", [this](const http::Request &, http::Response &response) {
        response.setContent(m_google ? R"({"provider":"google"})" : R"({"provider":"dev"})", jsonContentType);
    });

    m_server.route("GET", "/v1/auth/google/start",
                 [this](const http::Request &request, http::Response &response) { startSignIn(request, response); });

    m_server.route("GET", "/v1/auth/dev", [this](const http::Request &request, http::Response &response) {
        if (m_google)
            return sendError(response, 404, QStringLiteral("There is nothing at this address."));
        sendPage(response, 200, QStringLiteral("Development sign-in"), devSignInForm(queryValue(request, "state")));
    });

    m_server.route("POST", "/v1/auth/dev", [this](const http::Request &request, http::Response &response) {
        if (m_google)
            return sendError(response, 404, QStringLiteral("There is nothing at this address."));
        const QString state = formValue(request, "state");
        const QString name = formValue(request, "name").trimmed();
        const QString email = formValue(request, "email").trimmed();
        if (!email.contains(QLatin1Char('@')) || email.size() > 254 || name.size() > 200)
            return sendPage(response, 400, QStringLiteral("Development sign-in"),
                            devSignInForm(state, QStringLiteral("Enter an email address.")));
        const auto pending = m_accounts.takePendingSignIn(sha256Hex(state), m_clock.nowSeconds());
        if (!pending)
            return sendPage(response, 400, QStringLiteral("Sign-in failed"),
                            QStringLiteral("<h1>Sign-in failed</h1><p>%1</p>").arg(escapeHTML(pending.error().message)));
        finishSignIn(QStringLiteral("dev"), email.toLower(), name, email, QString(), *pending, request, response);
    });

    m_server.route("GET", "/v1/auth/google/callback", [this](const http::Request &request, http::Response &response) {
        if (!m_google)
            return sendError(response, 404, QStringLiteral("There is nothing at this address."));
        const auto pending = m_accounts.takePendingSignIn(sha256Hex(queryValue(request, "state")), m_clock.nowSeconds());
        if (!pending)
            return sendPage(response, 400, QStringLiteral("Sign-in failed"),
                            QStringLiteral("<h1>Sign-in failed</h1><p>%1</p>").arg(escapeHTML(pending.error().message)));
        if (request.hasParam("error") || !request.hasParam("code"))
            return redirectWithError(request, response, pending->redirectURI, QStringLiteral("access_denied"),
                                     QStringLiteral("Google sign-in was not completed."));
        const auto outcome = m_google->completeSignIn(request.param("code"), pending->nonce.toStdString(),
                                                      m_clock.nowSeconds());
        if (const auto *problem = std::get_if<std::string>(&outcome))
            return redirectWithError(request, response, pending->redirectURI, QStringLiteral("access_denied"),
                                     QString::fromStdString(*problem));
        const auto &claims = std::get<IdentityClaims>(outcome);
        finishSignIn(QStringLiteral("google"), QString::fromStdString(claims.subject), QString::fromStdString(claims.name),
                     QString::fromStdString(claims.email), QString::fromStdString(claims.picture), *pending, request,
                     response);
    });

    m_server.route("POST", "/v1/auth/native/exchange", [this](const http::Request &request, http::Response &response) {
        const auto body = readJSON<NativeExchangeRequest>(request, response);
        if (!body)
            return;
        if (!isPKCEText(body->code, 16, 256) || !isPKCEText(body->codeVerifier, 43, 128))
            return sendError(response, 400, QStringLiteral("The sign-in code or verifier is malformed."));
        const QString token = randomToken(32);
        const qint64 now = m_clock.nowSeconds();
        const auto user = m_accounts.redeemCode(sha256Hex(body->code), pkceChallenge(body->codeVerifier),
                                                sha256Hex(token), now, now + tokenLifetime);
        if (!user)
            return sendStoreError(response, user.error());
        sendJSON(response, 200, NativeExchangeResponse{token, user->name, user->email, user->picture});
    });

    m_server.route("POST", "/v1/auth/logout", signedIn([this](const SignedInUser &, const http::Request &request,
                                                     http::Response &response) {
        if (const auto failed = m_accounts.revokeToken(sha256Hex(bearerToken(request))))
            return sendStoreError(response, *failed);
        response.status = 204;
    }));
}

} // namespace quillfern::server
