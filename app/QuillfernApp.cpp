#include "app/QuillfernApp.h"

#include "app/MainWindow.h"
#include "app/icons/SymbolIcon.h"

#include <QMessageBox>
#include <QTimer>
#include <QUrl>

namespace quillfern {

const QString QuillfernApp::websiteURL = QStringLiteral("https://quillfern.io");

QuillfernApp::QuillfernApp(int &argc, char **argv) : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("Quillfern"));
    setApplicationDisplayName(QStringLiteral("Quillfern"));
    setOrganizationName(QStringLiteral("Quillfern"));
    setApplicationVersion(QStringLiteral(QUILLFERN_VERSION));
    setDesktopFileName(QStringLiteral("io.quillfern.Quillfern"));
    const QIcon icon = appIcon();
    if (!icon.isNull())
        setWindowIcon(icon);
    setQuitOnLastWindowClosed(true);
}

void QuillfernApp::scheduleBringToFront()
{
    const auto raiseFirst = [] {
        for (QWidget *widget : topLevelWidgets()) {
            if (auto *window = qobject_cast<MainWindow *>(widget)) {
                window->bringToFront();
                return;
            }
        }
    };
    QTimer::singleShot(0, this, raiseFirst);
    QTimer::singleShot(350, this, raiseFirst);
}

QString QuillfernApp::aboutCredits()
{
    const QUrl site(websiteURL);
    return QStringLiteral(
               "<p align=\"center\" style=\"font-size:11px\"><span style=\"color:palette(placeholder-text)\">"
               "Official Website</span><br><a href=\"%1\">%2</a></p>")
        .arg(site.toString(QUrl::FullyEncoded).toHtmlEscaped(), site.host().toHtmlEscaped());
}

void QuillfernApp::showAboutPanel(QWidget *parent)
{
    auto *about = new QMessageBox(parent);
    about->setAttribute(Qt::WA_DeleteOnClose);
    about->setObjectName(QStringLiteral("aboutPanel"));
    about->setWindowTitle(QStringLiteral("About Quillfern"));
    about->setIconPixmap(appIcon().pixmap(96, 96));
    about->setTextFormat(Qt::RichText);
    about->setText(QStringLiteral("<h3>Quillfern</h3><p>Version %1</p>").arg(applicationVersion().toHtmlEscaped()) +
                   aboutCredits());
    about->setTextInteractionFlags(Qt::TextBrowserInteraction);
    about->setStandardButtons(QMessageBox::Ok);
    about->open();
    about->raise();
    about->activateWindow();
}

} // namespace quillfern
