#include "auth/SignInPrompt.h"

#include "api/JsonReader.h"
#include "text/Localization.h"

namespace quillfern {
SignInProvider signInProviderFromAnswer(const QByteArray &body)
{
    const auto tree = wire::JsonTree::read(body);
    if (!tree)
        return SignInProvider::Unknown;
    const wire::JsonNode provider = tree->root().member("provider");
    if (!provider.isString())
        return SignInProvider::Unknown;
    if (provider.toString() == u"google")
        return SignInProvider::Google;
    if (provider.toString() == u"dev")
        return SignInProvider::Development;
    return SignInProvider::Unknown;
}

QString signInLanguage(const QString &chosen, const QStringList &systemLanguages)
{
    if (AppText::translations().contains(chosen))
        return chosen;
    for (const QString &tag : systemLanguages) {
        const QString language = AppText::languageForTag(tag);
        if (!language.isEmpty())
            return language;
    }
    return QStringLiteral("en-US");
}

SignInPrompt signInPrompt(SignInProvider provider, bool signingIn, const QString &language)
{
    const bool google = provider == SignInProvider::Google;
    const auto text = [&language](QStringView key) { return AppText::value(key, language); };
    SignInPrompt prompt;
    prompt.title = text(u"signInWelcome");
    prompt.pitch = text(u"signInPitch");
    if (signingIn) {
        prompt.button = text(google ? u"signInOpeningGoogle" : u"signInOpeningBrowser");
        prompt.buttonName = prompt.button;
    } else {
        prompt.buttonName = text(google ? u"signInContinueGoogle" : u"signInContinueBrowser");
        // Google's initial stands in for its logo.
        prompt.button = google ? QStringLiteral("G   ") + prompt.buttonName : prompt.buttonName;
    }
    prompt.waiting = text(u"signInWaiting");
    prompt.stopWaiting = text(u"signInStopWaiting");
    prompt.footnote = text(google                                    ? u"signInFootnoteGoogle"
                           : provider == SignInProvider::Development ? u"signInFootnoteDevelopment"
                                                                     : u"signInFootnoteBrowser");
    return prompt;
}

} // namespace quillfern
