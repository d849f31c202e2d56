#pragma once

// File › Back Up Account… and File › Restore Account…: the file pickers, the confirmation before a restore
// and the outcome, over the window. The work itself is AccountBackupFlow's.

#include "app/workspace/AccountBackupFlow.h"

#include <QCoroTask>

class QMessageBox;
class QWidget;

namespace quillfern {

class Workspace;

// Asks where to save, backs up, and tells how it went.
QCoro::Task<> backUpAccountOver(Workspace &workspace, QWidget *window);
// Asks for the file, reads and checks it, asks to confirm, restores, and tells how it went.
QCoro::Task<> restoreAccountOver(Workspace &workspace, QWidget *window);

// The question before a restore: what the account holds now and what the backup holds, with the backup's
// day; Cancel is the default. Not yet shown.
QMessageBox *restoreConfirmation(const AccountBackup &backup, const AccountCounts &current, const QString &languageCode,
                                 const QString &locale, QWidget *parent);

} // namespace quillfern
