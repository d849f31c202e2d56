#pragma once

#include "auth/WebAuthenticationSession.h"

#include <QString>
#include <QUrl>

namespace quillfern::testing {

// Plays the browser for the service's development sign-in: follows the start redirect, reads the form,
// submits a name and email, and reports where the service sends the browser back to.
class DevelopmentSignInSheet : public WebAuthenticationSession {
    Q_OBJECT

public:
    DevelopmentSignInSheet(QUrl startURL, QString scheme, QString name, QString email);

    bool start() override;
    void cancel() override;

private:
    WebAuthenticationResult browse() const;
    void report(const WebAuthenticationResult &result);

    QUrl m_startURL;
    QString m_scheme;
    QString m_name;
    QString m_email;
    bool m_reported = false;
};

// Sheets that sign in as the given person through the service's development pages.
WebAuthenticationSessionFactory developmentSignIn(QString name, QString email);

} // namespace quillfern::testing
