#include "server/GroupCommit.h"

#include <algorithm>

namespace quillfern::server {

StoreOutcome GroupCommit::run(const QString &lockKey, const Write &write)
{
    Queued queued{lockKey, &write, std::nullopt};
    m_queue.submit(queued, [this](std::vector<Queued *> &group) { runGroup(group); });
    return queued.outcome;
}

void GroupCommit::runGroup(std::vector<Queued *> &group)
{
    std::stable_sort(group.begin(), group.end(),
                     [](const Queued *a, const Queued *b) { return a->lockKey < b->lockKey; });
    if (runTogether(group))
        return;
    for (Queued *queued : group)
        runTogether({queued});
}

bool GroupCommit::runTogether(const std::vector<Queued *> &group)
{
    // A connection lost before COMMIT was sent took the transaction with it, so the group runs once more on
    // a new one. A COMMIT whose answer was lost may have taken effect, and is never repeated.
    for (int attempt = 0;; ++attempt) {
        WriteTransaction transaction(m_database);
        if (!transaction.begun()) {
            for (Queued *queued : group)
                queued->outcome = StoreError::unavailable(QStringLiteral("cannot begin a write"));
            return true;
        }
        bool lost = false;
        for (Queued *queued : group) {
            queued->outcome = (*queued->write)(transaction.connection());
            if (!queued->outcome)
                continue;
            lost = attempt == 0 && transaction.connectionLost();
            if (!lost)
                return group.size() == 1; // alone, its refusal is its answer; the rollback undoes what it did
            break;
        }
        if (lost)
            continue;
        if (!transaction.commit()) {
            for (Queued *queued : group)
                queued->outcome = StoreError::unavailable(QStringLiteral("a group of writes did not commit"));
        }
        return true;
    }
}

} // namespace quillfern::server
