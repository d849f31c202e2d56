#include "tests/support/DevelopmentSignInSheet.h"

#include <httplib.h>

#include <QRegularExpression>
#include <QTimer>

namespace quillfern::testing {

namespace {

QString target(const QUrl &url)
{
    return url.path(QUrl::FullyEncoded) +
           (url.hasQuery() ? QLatin1Char('?') + url.query(QUrl::FullyEncoded) : QString());
}

WebAuthenticationResult failure(const QString &what)
{
    return WebAuthenticationResult{std::nullopt, what, false};
}

} // namespace

DevelopmentSignInSheet::DevelopmentSignInSheet(QUrl startURL, QString scheme, QString name, QString email)
    : m_startURL(std::move(startURL)), m_scheme(std::move(scheme)), m_name(std::move(name)), m_email(std::move(email))
{
}

bool DevelopmentSignInSheet::start()
{
    if (m_startURL.scheme() != QLatin1String("http") || m_startURL.host() != QLatin1String("127.0.0.1"))
        return false;
    QTimer::singleShot(0, this, [this] { report(browse()); });
    return true;
}

void DevelopmentSignInSheet::cancel()
{
    report(WebAuthenticationResult{std::nullopt, std::nullopt, true});
}

WebAuthenticationResult DevelopmentSignInSheet::browse() const
{
    httplib::Client client("127.0.0.1", m_startURL.port());
    client.set_connection_timeout(5);
    client.set_read_timeout(10);

    const auto started = client.Get(target(m_startURL).toStdString().c_str());
    if (!started || started->status != 302)
        return failure(QStringLiteral("start answered %1: %2")
                           .arg(started ? started->status : 0)
                           .arg(started ? QString::fromStdString(started->body) : QString()));
    const QUrl formURL = m_startURL.resolved(QUrl(QString::fromStdString(started->get_header_value("Location"))));
    if (formURL.port() != m_startURL.port())
        return failure(QStringLiteral("start sent the browser elsewhere: ") + formURL.toString());

    const auto form = client.Get(target(formURL).toStdString().c_str());
    if (!form || form->status != 200)
        return failure(QStringLiteral("the sign-in form did not load"));
    const QString page = QString::fromStdString(form->body);
    static const QRegularExpression stateField(QStringLiteral("name=\"state\" value=\"([^\"]*)\""));
    static const QRegularExpression action(QStringLiteral("<form method=\"post\" action=\"([^\"]+)\""));
    const auto state = stateField.match(page);
    const auto submitTo = action.match(page);
    if (!state.hasMatch() || !submitTo.hasMatch())
        return failure(QStringLiteral("the form has no state or no action: ") + page);

    const httplib::Params fields{
        {"state", state.captured(1).toStdString()}, {"name", m_name.toStdString()}, {"email", m_email.toStdString()}};
    const auto submitted = client.Post(submitTo.captured(1).toStdString().c_str(), fields);
    if (!submitted || submitted->status != 302)
        return failure(QStringLiteral("the form was refused"));
    const QUrl callback(QString::fromStdString(submitted->get_header_value("Location")), QUrl::StrictMode);
    if (callback.scheme() != m_scheme)
        return failure(QStringLiteral("the service did not return to the app: ") + callback.toString());
    return WebAuthenticationResult{callback, std::nullopt, false};
}

void DevelopmentSignInSheet::report(const WebAuthenticationResult &result)
{
    if (m_reported)
        return;
    m_reported = true;
    Q_EMIT finished(result);
}

QString browseDevelopmentSignIn(const QUrl &start, const std::string &name, const std::string &email)
{
    DevelopmentSignInSheet sheet(start, QStringLiteral("quillfern"), QString::fromStdString(name),
                                 QString::fromStdString(email));
    const WebAuthenticationResult result = sheet.browse();
    return result.callbackURL ? result.callbackURL->toString(QUrl::FullyEncoded) : QString();
}

WebAuthenticationSessionFactory developmentSignIn(QString name, QString email)
{
    return [name, email](const QUrl &startURL, const QString &scheme) -> std::unique_ptr<WebAuthenticationSession> {
        return std::make_unique<DevelopmentSignInSheet>(startURL, scheme, name, email);
    };
}

} // namespace quillfern::testing
