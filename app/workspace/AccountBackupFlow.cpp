#include "app/workspace/AccountBackupFlow.h"

#include "api/PortfolioAPI.h"
#include "api/WireCoding.h"
#include "app/workspace/FileErrorText.h"
#include "app/workspace/Workspace.h"
#include "auth/AuthManager.h"
#include "core/exchange/ExportFile.h"
#include "text/Dates.h"
#include "text/Localization.h"

#include <QCoroSignal>
#include <QFile>
#include <QPointer>

#include <algorithm>
#include <chrono>

namespace quillfern {
namespace {

const QString backupFormat = QStringLiteral("quillfern-backup");

// The header is read from the first bytes too, so a file cut short still says what it was meant to be.
bool claimsToBeBackup(const QByteArray &bytes)
{
    return bytes.left(4096).contains("\"quillfern-backup\"");
}

QString damaged(const DecodingError &error, const QString &language)
{
    if (!error.path.isEmpty())
        return AppText::format(u"restoreDamagedAt", language, {error.path});
    return AppText::format(u"restoreDamaged", language, {error.detail.isEmpty() ? error.description() : error.detail});
}

QString versionText(double version)
{
    return QString::number(version, 'g', 15);
}

} // namespace

AccountCounts countsOf(const AccountBackup &backup)
{
    return AccountCounts{backup.holdings.size(), backup.cashBalances.size(), backup.transactions.size(),
                         backup.brokerages.size()};
}

AccountCounts countsOf(const Workspace &workspace)
{
    const auto &brokerages = workspace.brokerages();
    return AccountCounts{workspace.rows().size(), workspace.cashRows().size(), workspace.transactions().size(),
                         std::count_if(brokerages.cbegin(), brokerages.cend(),
                                       [](const BrokerageOption &brokerage) { return brokerage.isCustom; })};
}

QString defaultBackupFileName(QDate day)
{
    return QStringLiteral("Quillfern Backup %1.json").arg(day.toString(QStringLiteral("yyyy-MM-dd")));
}

Result<AccountBackup, QString> readBackup(const QByteArray &bytes, const QString &languageCode)
{
    const auto header = decodeJSON<BackupHeader>(bytes);
    if (!header) {
        if (claimsToBeBackup(bytes))
            return damaged(header.error(), languageCode);
        return AppText::value(u"restoreNotBackup", languageCode);
    }
    if (header->format != backupFormat)
        return AppText::value(u"restoreNotBackup", languageCode);
    if (!(header->version <= newestBackupVersion))
        return AppText::format(u"restoreNewerFormat", languageCode, {versionText(header->version)});
    auto backup = decodeJSON<AccountBackup>(bytes);
    if (!backup)
        return damaged(backup.error(), languageCode);
    return *std::move(backup);
}

Result<AccountBackup, QString> readBackupFile(const QString &path, const QString &languageCode)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return AppText::format(u"fileReadFailed", languageCode, {path, file.errorString()});
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return AppText::format(u"fileReadFailed", languageCode, {path, file.errorString()});
    return readBackup(bytes, languageCode);
}

QString backupDay(const AccountBackup &backup, const QString &locale)
{
    if (const auto moment = readInternetDateTime(backup.createdAt))
        return displayDay(moment->toLocalTime().date(), locale);
    return backup.createdAt;
}

QCoro::Task<std::optional<QString>> backUpAccount(Workspace &workspace, QString path)
{
    const QPointer<Workspace> self(&workspace);
    const QString token = workspace.auth().accessToken().value_or(QString());
    auto call = PortfolioAPI::fetchBackup(workspace.endpoint(), token);
    auto answer = co_await std::move(call);
    if (!self)
        co_return std::nullopt;
    const QString language = self->displayLanguageCode();
    if (!answer)
        co_return AppText::format(u"backupFailed", language, {answer.error().description()});
    AccountBackup backup = *std::move(answer);
    // The service keeps none of the app's settings; the file carries them for a restore on another computer.
    backup.preferences = BackupPreferences{self->reportingCurrencyCode(), self->languageCode()};
    const auto bytes = encodeJSON(backup);
    if (!bytes)
        co_return AppText::format(u"backupFailed", language, {bytes.error().description()});
    if (const auto error = exchange::saveFile(path, *bytes))
        co_return fileErrorText(*error, language);
    // The whole account's figures: readable by its owner alone, like this computer's copy of it.
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    co_return std::nullopt;
}

QCoro::Task<std::optional<QString>> restoreAccount(Workspace &workspace, AccountBackup backup)
{
    using namespace std::chrono_literals;
    const QPointer<Workspace> self(&workspace);
    // A save already on its way ends first: answered after the restore, its edits could be merged over it.
    for (int waited = 0; self && self->isSavingPortfolio() && waited < 60; ++waited)
        co_await qCoro(self.data(), &Workspace::syncStateChanged, 1s);
    if (!self)
        co_return std::nullopt;
    self->prepareAccountReplacement();
    const std::optional<BackupPreferences> preferences = backup.preferences;
    const QString token = self->auth().accessToken().value_or(QString());
    auto call = PortfolioAPI::restoreBackup(self->endpoint(), token, std::move(backup));
    auto answer = co_await std::move(call);
    if (!self)
        co_return std::nullopt;
    if (!answer) {
        // Nothing was replaced: edits that waited go out as they would have.
        self->abandonAccountReplacement();
        co_return AppText::format(u"restoreFailed", self->displayLanguageCode(), {answer.error().description()});
    }
    if (preferences && preferences->reportingCurrency && !preferences->reportingCurrency->isEmpty())
        self->setReportingCurrencyCode(*preferences->reportingCurrency);
    if (preferences && preferences->language && !preferences->language->isEmpty())
        self->setLanguageCode(*preferences->language);
    // Listening before the reload starts, in case its chain ends at once.
    auto loaded = qCoro(self.data(), &Workspace::sessionLoaded, 120s);
    self->reloadReplacedAccount();
    co_await std::move(loaded);
    co_return std::nullopt;
}

} // namespace quillfern
