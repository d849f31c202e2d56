#pragma once

// The application object: names, icon, quitting with the last window, bringing the window to the front,
// the About panel, and Qt's own texts (dialog buttons, context menus) in the window's language.

#include <QApplication>

namespace quillfern {

class QuillfernApp : public QApplication {
    Q_OBJECT

public:
    static const QString websiteURL;

    QuillfernApp(int &argc, char **argv);

    // Raises the first top-level window now that the loop runs, and once more a moment later, when a
    // desktop that was still placing the window has finished with it.
    void scheduleBringToFront();
    // Name, version, icon and the website as credits, in the window's current language.
    static void showAboutPanel(QWidget *parent);
    // The About panel's credits: "Official Website" in the language and the website's host as a link.
    static QString aboutCredits(const QString &languageCode);
    // Makes the texts Qt supplies itself speak the language of languageCode ("ja-JP"); English, and a
    // language Qt has no translation for, leaves them as Qt writes them. Works with any application object,
    // and does nothing when the language is the one already loaded.
    static void useQtTranslations(const QString &languageCode);
};

} // namespace quillfern
