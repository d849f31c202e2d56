// The workspace's side of restoring a backup: the service replaces the whole account in one go, so what the
// window kept of the account as it was (a save waiting, this computer's copy, the undo history) must not
// come back over the restored one.

#include "app/workspace/Workspace.h"

namespace quillfern {

void Workspace::prepareAccountReplacement()
{
    cancelPendingSave();
    // An edit or a refreshed price while the service replaces the account would otherwise be saved, and
    // merged, over the restored portfolio.
    m_replacingAccount = true;
}

void Workspace::abandonAccountReplacement()
{
    m_replacingAccount = false;
    schedulePortfolioSave();
}

void Workspace::reloadReplacedAccount()
{
    m_replacingAccount = false;
    cancelPendingSave();
    m_persistTimer.stop();
    // Unsent edits in the copy would be merged over the restored portfolio by the next load.
    m_localCopy.remove();
    m_persisted.reset();
    m_undoStack.clear();
    runSession();
}

} // namespace quillfern
