#pragma once

// Backing the account up to a file and restoring it from one, without widgets: the window asks for the
// file and the confirmation; everything a test must check lives here. A backup is the service's whole
// account (GET /v1/backup) with the app's preferences added; a restore replaces the whole account on the
// service (PUT /v1/backup) after the file was read and checked, then reloads the window's state.
// Failures come back as the text to show, in the language the window spoke when they happened.

#include "core/Result.h"
#include "core/ServiceRecords.h"

#include <QCoroTask>
#include <QDate>
#include <QString>

#include <optional>

namespace quillfern {

class Workspace;

inline constexpr double newestBackupVersion = 1;

// How many records of each kind an account holds.
struct AccountCounts {
    qsizetype holdings = 0;
    qsizetype cashBalances = 0;
    qsizetype transactions = 0;
    qsizetype customBrokerages = 0;

    bool operator==(const AccountCounts &) const = default;
};

AccountCounts countsOf(const AccountBackup &backup);
// What the window holds of the signed-in account now.
AccountCounts countsOf(const Workspace &workspace);

// "Quillfern Backup yyyy-MM-dd.json"
QString defaultBackupFileName(QDate day);

// A backup file's content, checked: the header first, so that a newer format is named as such, then the
// whole structure, naming the place where it breaks.
Result<AccountBackup, QString> readBackup(const QByteArray &bytes, const QString &languageCode);
Result<AccountBackup, QString> readBackupFile(const QString &path, const QString &languageCode);

// The backup's day of creation for the confirmation ("Dec 8, 2026"), in the locale; the text as it is
// when it is not a date.
QString backupDay(const AccountBackup &backup, const QString &locale);

// Fetches the account, adds the reporting currency and language, and writes the file atomically. None
// when it was written.
QCoro::Task<std::optional<QString>> backUpAccount(Workspace &workspace, QString path);

// Replaces the account on the service with the backup, then applies its preferences, empties the undo
// history and loads everything again, returning once the load has ended. None when it was restored; on a
// failure the account is as it was.
QCoro::Task<std::optional<QString>> restoreAccount(Workspace &workspace, AccountBackup backup);

} // namespace quillfern
