#pragma once

#include "auth/WebAuthenticationSession.h"

#include <QString>
#include <QUrl>

#include <string>

namespace quillfern::testing {

// Plays the browser for the service's development sign-in: follows the start redirect, reads the form,
// submits a name and email, and reports where the service sends the browser back to.
class DevelopmentSignInSheet : public WebAuthenticationSession {
    Q_OBJECT

public:
    DevelopmentSignInSheet(QUrl startURL, QString scheme, QString name, QString email);

    bool start() override;
    void cancel() override;

    // The whole walk through the service's pages, without waiting for the event loop.
    WebAuthenticationResult browse() const;

private:
    void report(const WebAuthenticationResult &result);

    QUrl m_startURL;
    QString m_scheme;
    QString m_name;
    QString m_email;
    bool m_reported = false;
};

// Plays the user's browser from a sign-in start URL through the development form to the link the service
// finally sends the browser to (a quillfern:// link), or empty text.
QString browseDevelopmentSignIn(const QUrl &start, const std::string &name, const std::string &email);

// Sheets that sign in as the given person through the service's development pages.
WebAuthenticationSessionFactory developmentSignIn(QString name, QString email);

} // namespace quillfern::testing
