#include "app/exchange/AccountBackupDialogs.h"

#include "app/workspace/Workspace.h"
#include "text/Localization.h"

#include <QCoroSignal>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QStandardPaths>

namespace quillfern {
namespace {

const QString backupFolderKey = QStringLiteral("quillfernBackupFolder");

QString backupFolder(const Workspace &workspace)
{
    return workspace.preferences()
        .value(backupFolderKey, QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation))
        .toString();
}

QString backupFilter(const QString &language)
{
    return AppText::format(u"backupFilter", language, {QStringLiteral("*.json")});
}

void tell(QMessageBox::Icon icon, const QString &title, const QString &text, QWidget *parent)
{
    auto *box = new QMessageBox(icon, title, text, QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->setTextInteractionFlags(Qt::TextSelectableByMouse);
    box->open();
}

// Shown only when the work takes long enough to be noticed; it has nothing to cancel, as the service
// finishes what it started.
QProgressDialog *busy(const QString &title, const QString &label, QWidget *parent)
{
    auto *progress = new QProgressDialog(label, QString(), 0, 0, parent);
    progress->setWindowTitle(title);
    progress->setWindowModality(Qt::WindowModal);
    progress->setCancelButton(nullptr);
    progress->setMinimumDuration(400);
    return progress;
}

} // namespace

QMessageBox *restoreConfirmation(const AccountBackup &backup, const AccountCounts &current, const QString &languageCode,
                                 const QString &locale, QWidget *parent)
{
    const AccountCounts incoming = countsOf(backup);
    const auto line = [&](const char16_t *label, qsizetype now, qsizetype then) {
        return AppText::format(u"restoreCountLine", languageCode,
                               {AppText::value(QStringView(label), languageCode), qint64(now), qint64(then)});
    };
    const QStringList lines{
        AppText::value(u"restoreConfirmDetail", languageCode),
        QString(),
        line(u"restoreHoldings", current.holdings, incoming.holdings),
        line(u"restoreCashBalances", current.cashBalances, incoming.cashBalances),
        line(u"restoreTransactions", current.transactions, incoming.transactions),
        line(u"restoreBrokerages", current.customBrokerages, incoming.customBrokerages),
    };
    auto *box = new QMessageBox(QMessageBox::Warning, AppText::value(u"restoreTitle", languageCode),
                                AppText::format(u"restoreConfirmText", languageCode, {backupDay(backup, locale)}),
                                QMessageBox::NoButton, parent);
    box->setObjectName(QStringLiteral("restoreConfirmation"));
    box->setInformativeText(lines.join(u'\n'));
    box->addButton(AppText::value(u"restoreConfirmButton", languageCode), QMessageBox::AcceptRole);
    QPushButton *cancel = box->addButton(AppText::value(u"cancel", languageCode), QMessageBox::RejectRole);
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    box->setWindowModality(Qt::WindowModal);
    return box;
}

QCoro::Task<> backUpAccountOver(Workspace &workspace, QWidget *window)
{
    const QPointer<QWidget> parent(window);
    const QPointer<Workspace> self(&workspace);
    const QString language = workspace.displayLanguageCode();
    const QString title = AppText::value(u"backupTitle", language);
    const QString proposed = QDir(backupFolder(workspace)).filePath(defaultBackupFileName(QDate::currentDate()));
    QString path = QFileDialog::getSaveFileName(window, title, proposed, backupFilter(language));
    if (path.isEmpty() || !self || !parent)
        co_return;
    if (!path.endsWith(QStringLiteral(".json"), Qt::CaseInsensitive))
        path += QStringLiteral(".json");
    self->preferences().setValue(backupFolderKey, QFileInfo(path).absolutePath());

    QPointer<QProgressDialog> progress = busy(title, AppText::value(u"backupRunning", language), parent);
    auto work = backUpAccount(*self, path);
    const std::optional<QString> failure = co_await std::move(work);
    delete progress.data();
    if (!parent)
        co_return;
    if (failure)
        tell(QMessageBox::Warning, title, *failure, parent);
    else
        tell(QMessageBox::Information, title,
             AppText::format(u"backupDone", language, {QDir::toNativeSeparators(path)}), parent);
}

QCoro::Task<> restoreAccountOver(Workspace &workspace, QWidget *window)
{
    const QPointer<QWidget> parent(window);
    const QPointer<Workspace> self(&workspace);
    const QString language = workspace.displayLanguageCode();
    const QString title = AppText::value(u"restoreTitle", language);
    const QString path = QFileDialog::getOpenFileName(window, title, backupFolder(workspace), backupFilter(language));
    if (path.isEmpty() || !self || !parent)
        co_return;
    self->preferences().setValue(backupFolderKey, QFileInfo(path).absolutePath());

    auto read = readBackupFile(path, language);
    if (!read) {
        tell(QMessageBox::Warning, title, read.error(), parent);
        co_return;
    }
    AccountBackup backup = *std::move(read);
    const QString day = backupDay(backup, self->selectedLanguage().locale);

    QMessageBox *question =
        restoreConfirmation(backup, countsOf(*self), language, self->selectedLanguage().locale, parent);
    question->open();
    co_await qCoro(question, &QMessageBox::finished);
    const bool confirmed = question->buttonRole(question->clickedButton()) == QMessageBox::AcceptRole;
    question->deleteLater();
    if (!confirmed || !self || !parent)
        co_return;

    QPointer<QProgressDialog> progress = busy(title, AppText::value(u"restoreRunning", language), parent);
    auto work = restoreAccount(*self, std::move(backup));
    const std::optional<QString> failure = co_await std::move(work);
    delete progress.data();
    if (!parent || !self)
        co_return;
    // The restore may have brought another language with it.
    const QString now = self->displayLanguageCode();
    if (failure)
        tell(QMessageBox::Warning, title, *failure, parent);
    else
        tell(QMessageBox::Information, AppText::value(u"restoreTitle", now),
             AppText::format(u"restoreDone", now, {day}), parent);
}

} // namespace quillfern
