#pragma once

#include "server/Combiner.h"
#include "server/Database.h"
#include "server/StoreError.h"

#include <functional>

namespace quillfern::server {

// Writes queued at the same moment share one transaction and one commit: on SQLite with synchronous=FULL
// every commit waits for the disk, which made a queue of savers wait for one flush each. Each write stays
// all-or-nothing: when one fails, the group is rolled back and every write in it is redone on its own.
// Nothing is answered before its commit. A group whose PostgreSQL connection was lost before its COMMIT is
// run once more on a new connection.
class GroupCommit {
public:
    // Runs inside the shared transaction on the connection given; its effects must stay in the database,
    // since it may run twice when another write of its group fails.
    using Write = std::function<StoreOutcome(QSqlDatabase)>;

    explicit GroupCommit(Database &database) : m_database(database), m_queue(64) {}

    // lockKey orders the writes of one group (stable, so one key's writes keep their order), so that
    // replicas sharing a PostgreSQL database take row locks in the same order and never deadlock.
    StoreOutcome run(const QString &lockKey, const Write &write);

private:
    struct Queued {
        QString lockKey;
        const Write *write;
        StoreOutcome outcome;
    };

    void runGroup(std::vector<Queued *> &group);
    // False when a write failed in a group of several; the transaction was rolled back.
    bool runTogether(const std::vector<Queued *> &group);

    Database &m_database;
    Combiner<Queued> m_queue;
};

} // namespace quillfern::server
