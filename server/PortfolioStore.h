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

// A client's key for one request, so that a retry of it is answered as the first time instead of done again.
struct RequestKey {
    QString key;
    qint64 nowSeconds = 0; // keys older than a day are forgotten
};

// Everything a user keeps: the portfolio, the ledger and custom brokerages, plus the shared currency list.
// Every statement on user data is scoped by the user id.
class PortfolioStore {
public:
    explicit PortfolioStore(Database &database) : m_database(database), m_writes(database) {}

    StoreResult<PortfolioResponse> portfolio(const QString &userID);
    // Replaces holdings and cash balances all at once; entries without an id get a fresh one. With
    // expectedVersions, only when the stored version is one of them (none when the list is empty), checked in
    // the writing transaction; otherwise nothing changes and the answer is PreconditionFailed.
    StoreResult<VersionedPortfolio> replacePortfolio(const QString &userID, PortfolioPutRequest request,
                                                     const std::optional<QList<qint64>> &expectedVersions = {});

    // Newest trade first.
    StoreResult<QList<TransactionRecord>> transactions(const QString &userID);
    // Records a validated transaction and applies the ledger to holdings and cash in the same transaction.
    // A key the user sent before answers the trade it booked then (Unprocessable when the input differs),
    // booking nothing.
    StoreResult<TransactionRecord> addTransaction(const QString &userID, const TransactionCreateInput &input,
                                                  qint64 tradedAtMs, const std::optional<RequestKey> &key = {});
    // Corrects or removes one of the user's transactions (NotFound for another user's or an unknown id); the
    // holdings and cash become what the corrected ledger gives. A correction keeps the transaction's place
    // in the order of entry.
    StoreResult<TransactionRecord> updateTransaction(const QString &userID, const QString &id,
                                                     const TransactionCreateInput &input, qint64 tradedAtMs,
                                                     qint64 nowSeconds);
    StoreOutcome deleteTransaction(const QString &userID, const QString &id, qint64 nowSeconds);

    // Books the transactions of one file, all or none, with their times (see importLedger). A file whose hash
    // the user imported before books nothing and answers what it booked then, with alreadyImported.
    StoreResult<TransactionImportResult> importTransactions(
        const QString &userID, const TransactionImportRequest &request,
        const std::vector<std::pair<TransactionCreateInput, qint64>> &rows, qint64 nowSeconds);
    // The whole account as a backup file holds it, read in one transaction.
    StoreResult<AccountBackup> backup(const QString &userID, qint64 nowSeconds);
    // Replaces the whole account with a backup's, in one transaction: a backup whose rows break the table's
    // rules or whose ledger cannot be replayed is refused and nothing changes.
    StoreResult<RestoreResult> restore(const QString &userID, const AccountBackup &backup, qint64 nowSeconds);
    // Whether a backup's first keys name a format this service restores; checked before the rest is decoded,
    // so a newer file is named as such rather than as a broken one.
    static StoreOutcome backupHeaderProblem(const BackupHeader &header);

    // The standard brokerages, then this user's own.
    StoreResult<QList<BrokerageOption>> brokerages(const QString &userID);
    // A name the user already sees (ignoring case) answers that brokerage instead of a new one.
    StoreResult<BrokerageOption> addBrokerage(const QString &userID, const QString &name);

    StoreResult<QList<CurrencyOption>> currencies();
    // New US-dollar rates by currency code; currencies the map lacks keep theirs.
    StoreOutcome updateRates(const QHash<QString, double> &usdPerUnit, const QString &ratesDate);
    // Past days' rates (day yyyy-MM-dd, US dollars per unit by code), kept beside the days already there.
    StoreOutcome keepRateHistory(const QList<std::pair<QString, QHash<QString, double>>> &days);
    // How many days of rates are kept.
    StoreResult<qint64> keptRateDays();

private:
    StoreOutcome lockUser(QSqlDatabase connection, const QString &userID);
    // Claims key for the trade about to be booked as tradeID; when the user holds it already, the trade it
    // stands for (or Unprocessable), and the caller books nothing.
    std::optional<StoreResult<TransactionRecord>> claimKey(QSqlDatabase connection, const QString &userID,
                                                           const RequestKey &key, const QString &fingerprint,
                                                           const QString &tradeID);
    StoreResult<TransactionRecord> storedTransaction(QSqlDatabase connection, const QString &userID, const QString &id);

    Database &m_database;
    GroupCommit m_writes;
};

} // namespace quillfern::server
