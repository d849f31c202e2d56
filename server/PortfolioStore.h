#pragma once

#include "core/ServiceRecords.h"
#include "server/Database.h"
#include "server/GroupCommit.h"
#include "server/StoreError.h"

namespace quillfern::server {

struct VersionedPortfolio {
    PortfolioResponse portfolio;
    qint64 version = 0; // goes up with every change of the user's holdings or cash
};

// Everything a user keeps: the portfolio, the ledger and custom brokerages, plus the shared currency list.
// Every statement on user data is scoped by the user id.
class PortfolioStore {
public:
    explicit PortfolioStore(Database &database) : m_database(database), m_writes(database) {}

    StoreResult<PortfolioResponse> portfolio(const QString &userID);
    // Replaces holdings and cash balances all at once; entries without an id get a fresh one.
    StoreResult<VersionedPortfolio> replacePortfolio(const QString &userID, PortfolioPutRequest request);

    // Newest trade first.
    StoreResult<QList<TransactionRecord>> transactions(const QString &userID);
    // Records a validated trade and applies it to the matching holding in the same transaction.
    StoreResult<TransactionRecord> addTransaction(const QString &userID, const TransactionCreateInput &input,
                                                  qint64 tradedAtMs);

    // The standard brokerages, then this user's own.
    StoreResult<QList<BrokerageOption>> brokerages(const QString &userID);
    // A name the user already sees (ignoring case) answers that brokerage instead of a new one.
    StoreResult<BrokerageOption> addBrokerage(const QString &userID, const QString &name);

    StoreResult<QList<CurrencyOption>> currencies();
    // New US-dollar rates by currency code; currencies the map lacks keep theirs.
    StoreOutcome updateRates(const QHash<QString, double> &usdPerUnit, const QString &ratesDate);

private:
    StoreOutcome lockUser(QSqlDatabase connection, const QString &userID);

    Database &m_database;
    GroupCommit m_writes;
};

} // namespace quillfern::server
