#pragma once

#include "core/ServiceRecords.h"
#include "server/Database.h"
#include "server/StoreError.h"

#include <functional>

namespace quillfern::server {

// One table's rows as a save sends them, in list order, each with the fingerprint of its content: equal
// fingerprints mean equal rows, so a save compares without reading the rows back.
struct SavedRows {
    QString table;
    QStringList columns; // the content columns, in the order appendValues writes them
    QStringList ids;
    QStringList fingerprints;
    std::function<void(qsizetype row, QVariantList &values)> appendValues;
};

// Both refer to the list they were made from, which must outlive them.
SavedRows holdingRows(const QList<ServerHolding> &holdings);
SavedRows cashBalanceRows(const QList<ServerCashBalance> &cashBalances);

// Makes the user's stored holdings and cash balances equal to the given rows and their order, writing only
// the rows that differ. Runs inside the caller's write transaction.
StoreOutcome syncPortfolioRows(QSqlDatabase connection, const QString &userID, const SavedRows &holdings,
                               const SavedRows &cashBalances);

} // namespace quillfern::server
