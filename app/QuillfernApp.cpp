#include "app/QuillfernApp.h"

#include "app/MainWindow.h"
#include "app/icons/SymbolIcon.h"
#include "text/Localization.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QTranslator>
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

QString QuillfernApp::aboutCredits(const QString &languageCode)
{
    const QUrl site(websiteURL);
    return QStringLiteral(
               "<p align=\"center\" style=\"font-size:11px\"><span style=\"color:palette(placeholder-text)\">"
               "%1</span><br><a href=\"%2\">%3</a></p>")
        .arg(AppText::value(u"officialWebsite", languageCode).toHtmlEscaped(),
             site.toString(QUrl::FullyEncoded).toHtmlEscaped(), site.host().toHtmlEscaped());
}

void QuillfernApp::useQtTranslations(const QString &languageCode)
{
    QCoreApplication *application = QCoreApplication::instance();
    static QPointer<QTranslator> translator;
    static QString loaded;
    if (!application || (translator && loaded == languageCode))
        return;
    if (!translator)
        translator = new QTranslator(application);
    else
        QCoreApplication::removeTranslator(translator);
    loaded = languageCode;
    // Qt's English source texts need no table; installing one would only send every widget a change.
    if (QLocale(languageCode).language() == QLocale::English)
        return;
    if (translator->load(QLocale(languageCode), QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
}

void QuillfernApp::showAboutPanel(QWidget *parent)
{
    auto *about = new QMessageBox(parent);
    about->setAttribute(Qt::WA_DeleteOnClose);
    about->setObjectName(QStringLiteral("aboutPanel"));
    const QString language = AppText::currentLanguage();
    about->setWindowTitle(AppText::value(u"aboutQuillfern", language));
    about->setIconPixmap(appIcon().pixmap(96, 96));
    about->setTextFormat(Qt::RichText);
    about->setText(QStringLiteral("<h3>Quillfern</h3><p>%1</p>")
                       .arg(AppText::format(u"aboutVersion", language, {applicationVersion()}).toHtmlEscaped()) +
                   aboutCredits(language));
    about->setTextInteractionFlags(Qt::TextBrowserInteraction);
    about->setStandardButtons(QMessageBox::Ok);
    about->open();
    about->raise();
    about->activateWindow();
}

} // namespace quillfern
