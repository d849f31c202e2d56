#pragma once

// The service's own pages in the sign-in: the development form and the page that hands the browser back to
// the app once the sign-in is over.

#include "server/http/HttpMessage.h"

#include <QString>

#include <string_view>

namespace quillfern::server {

// An HTML page with the headers every sign-in page carries (no referrer, no framing, no scripts).
// language is the page's BCP 47 tag; head is markup added to the page's head.
void sendPage(http::Response &response, int status, const QString &title, const QString &body,
              const QString &language = QStringLiteral("en"), const QString &head = {});

// The language of the service's pages for an Accept-Language header: the most preferred of the app's
// languages, as the app's language code ("en-US", "zh-TW", "ja-JP", ...); English (US) when the header
// names none of them.
QString pageLanguage(std::string_view acceptLanguage);

// The end of a sign-in: sends the browser to appLink, the app's own quillfern:// link. A redirect to a
// custom scheme leaves a browser on the page it came from, so a browser (Accept lists text/html) gets a
// page instead that says the sign-in is over, opens the link itself and offers it to click. Any other
// client gets the plain 302 to the link, as before.
void sendBackToApp(const http::Request &request, http::Response &response, const QString &appLink, bool signedIn);

} // namespace quillfern::server
