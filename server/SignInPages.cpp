#include "server/SignInPages.h"

#include "server/HttpSupport.h"

#include <QLocale>

#include <array>

namespace quillfern::server {
namespace {

// The service does not link the app's catalogue: the few texts of its pages live here.
struct PageTexts {
    const char16_t *language;
    const char16_t *signedInTitle;
    const char16_t *signedInText;
    const char16_t *notCompletedTitle;
    const char16_t *notCompletedText;
    const char16_t *openApp;
};

constexpr auto pageTexts = std::to_array<PageTexts>({
    {u"en", u"You're signed in", u"Return to Quillfern to continue. You can close this tab.",
     u"Sign-in was not completed", u"Return to Quillfern to see why and try again. You can close this tab.",
     u"Open Quillfern"},
    {u"zh-CN", u"登录成功", u"请返回 Quillfern 继续。你可以关闭此标签页。", u"登录未完成",
     u"请返回 Quillfern 查看原因并重试。你可以关闭此标签页。", u"打开 Quillfern"},
    {u"zh-TW", u"登入成功", u"請返回 Quillfern 繼續。你可以關閉此分頁。", u"登入未完成",
     u"請返回 Quillfern 查看原因並重試。你可以關閉此分頁。", u"開啟 Quillfern"},
    {u"ja", u"サインインしました", u"Quillfern に戻って続けてください。このタブは閉じてかまいません。",
     u"サインインは完了していません",
     u"Quillfern に戻って理由を確認し、もう一度お試しください。このタブは閉じてかまいません。", u"Quillfern を開く"},
    {u"ko", u"로그인되었습니다", u"Quillfern으로 돌아가 계속하세요. 이 탭은 닫아도 됩니다.",
     u"로그인이 완료되지 않았습니다", u"Quillfern으로 돌아가 이유를 확인하고 다시 시도하세요. 이 탭은 닫아도 됩니다.",
     u"Quillfern 열기"},
});

const PageTexts &textsFor(const QString &language)
{
    for (const PageTexts &texts : pageTexts) {
        if (language == QStringView(texts.language))
            return texts;
    }
    return pageTexts.front();
}

// One language range of Accept-Language as one of the page languages, or empty.
QString supportedLanguage(QStringView range)
{
    const QLocale locale(range.toString());
    switch (locale.language()) {
    case QLocale::English:
        return QStringLiteral("en");
    case QLocale::Japanese:
        return QStringLiteral("ja");
    case QLocale::Korean:
        return QStringLiteral("ko");
    case QLocale::Chinese:
        // QLocale fills in the script a region implies: zh-HK and zh-TW are Traditional, zh and zh-SG Simplified.
        return locale.script() == QLocale::TraditionalHanScript ? QStringLiteral("zh-TW") : QStringLiteral("zh-CN");
    default:
        return {};
    }
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
        const QString language = supportedLanguage(parts.first().trimmed());
        if (!language.isEmpty()) {
            chosen = language;
            chosenWeight = weight;
        }
    }
    return chosen.isEmpty() ? QStringLiteral("en") : chosen;
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
    const PageTexts &texts = textsFor(language);
    const QString title = QString::fromUtf16(signedIn ? texts.signedInTitle : texts.notCompletedTitle);
    const QString text = QString::fromUtf16(signedIn ? texts.signedInText : texts.notCompletedText);
    const QString link = escapeHTML(appLink);
    const QString body =
        QStringLiteral("<h1>%1</h1><p>%2</p><p><a class=\"open\" href=\"%3\">%4</a></p>")
            .arg(escapeHTML(title), escapeHTML(text), link, escapeHTML(QString::fromUtf16(texts.openApp)));
    // The refresh opens the app at once where the browser allows it; the link is there where it does not.
    sendPage(response, 200, title, body, language,
             QStringLiteral("<meta http-equiv=\"refresh\" content=\"0;url=%1\">").arg(link));
}

} // namespace quillfern::server
