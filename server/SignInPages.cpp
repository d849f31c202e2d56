#include "server/SignInPages.h"

#include "server/HttpSupport.h"
#include "text/Localization.h"

namespace quillfern::server {
namespace {

// The tag a page declares for the app's language: the language alone, the script too for Chinese.
QString pageTag(const QString &languageCode)
{
    return languageCode.startsWith(u"zh") ? languageCode : languageCode.section(QLatin1Char('-'), 0, 0);
}

bool listsHTML(std::string_view accept)
{
    const QString text = QString::fromLatin1(accept.data(), qsizetype(accept.size()));
    for (const QString &entry : text.split(QLatin1Char(','))) {
        if (entry.section(QLatin1Char(';'), 0, 0).trimmed().compare(u"text/html", Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

} // namespace

void sendPage(http::Response &response, int status, const QString &title, const QString &body, const QString &language,
              const QString &head)
{
    response.setHeader("Referrer-Policy", "no-referrer");
    response.setHeader("Content-Security-Policy", "default-src 'none'; style-src 'unsafe-inline'");
    response.setHeader("X-Frame-Options", "DENY");
    const QString page =
        QStringLiteral("<!doctype html><html lang=\"%1\"><head><meta charset=\"utf-8\">%2"
                       "<meta name=\"viewport\" content=\"width=device-width\"><title>%3</title><style>"
                       "body{font-family:system-ui,sans-serif;max-width:26rem;margin:3rem auto;padding:0 1rem}"
                       ".warning{background:#fff3cd;border:1px solid #e0c36b;padding:.75rem;border-radius:6px}"
                       "label{display:block;margin-top:1rem}input{width:100%;padding:.4rem;font-size:1rem}"
                       "button{margin-top:1.5rem;padding:.5rem 1.5rem;font-size:1rem}"
                       "a.open{display:inline-block;margin-top:1rem;padding:.5rem 1.5rem;border-radius:6px;"
                       "background:#1f7a4d;color:#fff;text-decoration:none}</style></head>"
                       "<body>%4</body></html>")
            .arg(escapeHTML(language), head, escapeHTML(title), body);
    response.status = status;
    response.setContent(page.toStdString(), "text/html; charset=utf-8");
}

QString pageLanguage(std::string_view acceptLanguage)
{
    QString chosen;
    double chosenWeight = 0;
    const QString header = QString::fromLatin1(acceptLanguage.data(), qsizetype(acceptLanguage.size()));
    for (const QString &entry : header.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QStringList parts = entry.split(QLatin1Char(';'));
        double weight = 1;
        for (const QString &parameter : parts.mid(1)) {
            const QString item = parameter.trimmed();
            if (item.startsWith(QLatin1String("q="), Qt::CaseInsensitive)) {
                bool valid = false;
                weight = item.mid(2).toDouble(&valid);
                if (!valid)
                    weight = 0;
            }
        }
        // Ranges of equal weight keep the order they were sent in.
        if (weight <= chosenWeight)
            continue;
        const QString language = AppText::languageForTag(parts.first().trimmed());
        if (!language.isEmpty()) {
            chosen = language;
            chosenWeight = weight;
        }
    }
    return chosen.isEmpty() ? QStringLiteral("en-US") : chosen;
}

void sendBackToApp(const http::Request &request, http::Response &response, const QString &appLink, bool signedIn)
{
    bool browser = false;
    for (const std::string_view accept : request.headerValues("Accept"))
        browser = browser || listsHTML(accept);
    if (!browser) {
        response.setHeader("Referrer-Policy", "no-referrer");
        response.redirect(appLink.toStdString());
        return;
    }
    std::string ranges;
    for (const std::string_view accepted : request.headerValues("Accept-Language"))
        ranges.append(accepted).append(",");
    const QString language = pageLanguage(ranges);
    const QString title = AppText::value(signedIn ? u"signInDoneTitle" : u"signInUndoneTitle", language);
    const QString text = AppText::value(signedIn ? u"signInDoneText" : u"signInUndoneText", language);
    const QString link = escapeHTML(appLink);
    const QString body =
        QStringLiteral("<h1>%1</h1><p>%2</p><p><a class=\"open\" href=\"%3\">%4</a></p>")
            .arg(escapeHTML(title), escapeHTML(text), link, escapeHTML(AppText::value(u"signInOpenApp", language)));
    // The refresh opens the app at once where the browser allows it; the link is there where it does not.
    sendPage(response, 200, title, body, pageTag(language),
             QStringLiteral("<meta http-equiv=\"refresh\" content=\"0;url=%1\">").arg(link));
}

} // namespace quillfern::server
