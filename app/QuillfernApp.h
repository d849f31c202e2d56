#pragma once

// The application object: names, icon, quitting with the last window, bringing the window to the front
// and the About panel.

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
    // Name, version, icon and the website as credits.
    static void showAboutPanel(QWidget *parent);
    // The About panel's credits: "Official Website" and the website's host as a link.
    static QString aboutCredits();
};

} // namespace quillfern
