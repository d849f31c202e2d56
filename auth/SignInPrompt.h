#pragma once

// What the sign-in view says before anyone signed in: its language, and its texts for the provider the
// service's sign-in pages lead to. Free of widgets, so the view only shows what comes from here.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace quillfern {

// Where the service's sign-in pages lead: Google, the service's own development form, or not known (the
// service cannot be reached, or is older than GET /v1/auth/provider).
enum class SignInProvider { Unknown, Google, Development };

// The provider named by GET /v1/auth/provider's answer ({"provider": "google" | "dev"}); Unknown for any
// other answer.
SignInProvider signInProviderFromAnswer(const QByteArray &body);

// The language of the sign-in: chosen (the window's stored choice) when it is one of the app's languages,
// else the first of the system's languages (BCP 47 tags, most preferred first) that the app speaks, else
// "en-US".
QString signInLanguage(const QString &chosen, const QStringList &systemLanguages);

struct SignInPrompt {
    QString title;
    QString pitch;
    QString button;     // as shown: the way in, or what happens while the browser is open
    QString buttonName; // the button's accessible name, without the decoration
    QString waiting;    // shown while the browser is open
    QString stopWaiting;
    QString footnote; // who checks the user's identity
};

// The view's texts in language. Only a service that signs in with Google has its name on the button.
SignInPrompt signInPrompt(SignInProvider provider, bool signingIn, const QString &language);

} // namespace quillfern
