#pragma once

// The records the service's HTTP API carries, as plain values. Their JSON coding lives in api/; they sit
// here because the valuation and the display formats below api/ work with them too.

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace quillfern {

struct ServerHolding {
    std::optional<QString> id;
    QString market;
    QString sector;
    QString subSector;
    QString code;
    QString currency;
    QString broker;
    double averagePrice = 0;
    double quantity = 0;
    double currentPrice = 0;
    double fxToUsd = 0;
    QString note;

    bool operator==(const ServerHolding &) const = default;
};

struct ServerCashBalance {
    std::optional<QString> id;
    QString broker;
    double originalCash = 0;
    QString currency;
    double fxToUsd = 0;
    QString note;

    bool operator==(const ServerCashBalance &) const = default;
};

struct PortfolioResponse {
    QList<ServerHolding> holdings;
    QList<ServerCashBalance> cashBalances;

    bool operator==(const PortfolioResponse &) const = default;
};

struct PortfolioPutRequest {
    QList<ServerHolding> holdings;
    QList<ServerCashBalance> cashBalances;
    QString snapshotSource;

    bool operator==(const PortfolioPutRequest &) const = default;
};

struct CurrencyOption {
    QString code;
    QString name;
    QString symbol;
    QString flag;
    double fxToUsd = 0;
    // The date of the rate (ISO 8601), added later: services that keep no date send none.
    std::optional<QString> asOf = std::nullopt;

    const QString &identity() const { return code; }
    bool operator==(const CurrencyOption &) const = default;
};

struct LanguageOption {
    QString code;
    QString name;
    QString nativeName;
    QString locale;
    QString flag;

    const QString &identity() const { return code; }
    bool operator==(const LanguageOption &) const = default;
};

struct BrokerageOption {
    QString id;
    QString name;
    QString region;
    bool isCustom = false;

    const QString &identity() const { return id; }
    bool operator==(const BrokerageOption &) const = default;
};

struct GICSClassification {
    QString sectorCode;
    QString sectorName;
    QString industryGroupCode;
    QString industryGroupName;
    QString industryCode;
    QString industryName;
    QString subIndustryCode;
    QString subIndustryName;
    QString sourceVersion;

    const QString &identity() const { return subIndustryCode; }
    bool operator==(const GICSClassification &) const = default;
};

struct TransactionRecord {
    QString id;
    QString broker;
    QString market;
    QString code;
    QString transactionType;
    double quantity = 0;
    double price = 0;
    double commission = 0;
    QString currency;
    QString sector;
    QString subSector;
    QString tradedAt;
    QString reason;
    // Added with the cash and corporate-action types; older services send none of them.
    std::optional<double> amount;         // cash-only types, in currency
    std::optional<double> splitRatio;     // SPLIT: new shares per old share
    std::optional<bool> settlesInCash;    // BUY and SELL: whether the broker's cash moved
    std::optional<double> realizedGain;   // SELL: in currency, average cost and commission included
    std::optional<double> realizedGainUsd;
    std::optional<double> fxToUsd;        // US dollars per unit of currency on the trade's day

    const QString &identity() const { return id; }
    bool operator==(const TransactionRecord &) const = default;
};

struct TransactionCreateInput {
    QString broker;
    QString market;
    QString code;
    QString transactionType;
    double quantity = 0;
    double price = 0;
    double commission = 0;
    QString currency;
    QString sector;
    QString subSector;
    QString tradedAt;
    QString reason;
    std::optional<double> amount;
    std::optional<double> splitRatio;
    std::optional<bool> settlesInCash; // absent: true

    bool operator==(const TransactionCreateInput &) const = default;
};

struct BrokerageCreateRequest {
    QString name;

    bool operator==(const BrokerageCreateRequest &) const = default;
};

// A price as the service answers it. The keys after price were added later; older services send none.
struct StockPriceResponse {
    double price = 0;
    std::optional<QString> currency;
    std::optional<QString> asOf;   // when the source priced it, ISO 8601 UTC
    std::optional<QString> source; // which source answered: "csv", "demo" (built-in demo prices), "file"
    std::optional<double> previousClose; // the last daily close before the price's day, for the day's change

    bool operator==(const StockPriceResponse &) const = default;
};

// One day of an account's value, in US dollars: the market value of its holdings and cash at the day's
// closes and rates, what the owner has put in net so far, the cash within the value, and the day's flow.
struct PerformancePoint {
    QString date; // yyyy-MM-dd
    double value = 0;
    double invested = 0;
    double cash = 0;
    double flow = 0;

    bool operator==(const PerformancePoint &) const = default;
};

struct MonthIncome {
    QString month; // yyyy-MM
    double amount = 0; // dividends + interest − tax, US dollars

    bool operator==(const MonthIncome &) const = default;
};

// What one listing added to the account's gain over the period, in US dollars.
struct HoldingContribution {
    QString market;
    QString code;
    double gain = 0;

    bool operator==(const HoldingContribution &) const = default;
};

// GET /v1/performance: returns are fractions (0.05 is 5 %); a figure the period cannot give is absent.
struct PerformanceResponse {
    QList<PerformancePoint> series;
    std::optional<double> twr;
    std::optional<double> mwr;
    double gain = 0;
    QList<MonthIncome> incomeByMonth;
    double maxDrawdown = 0;
    std::optional<double> volatility;
    std::optional<double> dayChange;
    std::optional<double> benchmarkTwr;
    QStringList missing; // "MARKET:CODE" of listings held in the period whose closes are not known
    QList<HoldingContribution> contributions;

    bool operator==(const PerformanceResponse &) const = default;
};

// POST /v1/transactions/import: many transactions booked at once, all or none. content_hash is the hex
// SHA-256 of the file they came from: the same file is booked once however often it is sent.
struct TransactionImportRequest {
    QString contentHash;
    QList<TransactionCreateInput> transactions;
    std::optional<QString> fileName;

    bool operator==(const TransactionImportRequest &) const = default;
};

// What an import booked. A transaction with the day, code, type, quantity, price, amount and broker of one
// already booked is skipped and counted; alreadyImported says the file was booked before and nothing changed.
struct TransactionImportResult {
    double imported = 0;
    double skippedDuplicates = 0;
    bool alreadyImported = false;

    bool operator==(const TransactionImportResult &) const = default;
};

// A stored transaction as a backup keeps it: the record, its place in the order of entry, the rate between
// its currency and its market's it was booked at, and the cost a sale was measured against.
struct BackupTransaction {
    QString id;
    QString broker;
    QString market;
    QString code;
    QString transactionType;
    double quantity = 0;
    double price = 0;
    double commission = 0;
    QString currency;
    QString sector;
    QString subSector;
    QString tradedAt;
    QString reason;
    double amount = 0;
    double splitRatio = 0;
    bool settlesInCash = true;
    double fxToUsd = 0;
    double toMarket = 1;
    std::optional<double> realizedGain;
    std::optional<double> realizedGainUsd;
    std::optional<double> soldAgainst;
    double sequence = 0;

    bool operator==(const BackupTransaction &) const = default;
};

// What the ledger keeps per position ("position") and cash row ("cash"): the row as last typed, from which
// entry on the ledger applies on top, and what the last replay left there.
struct BackupLedgerRow {
    QString kind;
    QString broker;
    QString market;
    QString code;
    std::optional<double> sinceSequence;
    double openingQuantity = 0;
    double openingAverage = 0;
    std::optional<double> resultQuantity;
    std::optional<double> resultAverage;

    bool operator==(const BackupLedgerRow &) const = default;
};

// The app's own settings carried in a backup file; the service keeps none of them and ignores these.
struct BackupPreferences {
    std::optional<QString> reportingCurrency;
    std::optional<QString> language;

    bool operator==(const BackupPreferences &) const = default;
};

// The first keys of a backup file, read on their own so a newer format is named as such rather than as a
// broken file.
struct BackupHeader {
    QString format;  // "quillfern-backup"
    double version = 0;

    bool operator==(const BackupHeader &) const = default;
};

// GET /v1/backup answers, and PUT /v1/backup takes, the whole account: holdings, cash, the ledger with its
// marks, and the custom brokerages. Restoring replaces all of it in one database transaction.
struct AccountBackup {
    QString format;  // "quillfern-backup"
    double version = 0;
    QString createdAt; // ISO 8601 UTC
    QList<ServerHolding> holdings;
    QList<ServerCashBalance> cashBalances;
    QList<BackupTransaction> transactions;
    QList<BackupLedgerRow> ledgerRows;
    QList<BrokerageOption> brokerages; // the custom ones
    std::optional<BackupPreferences> preferences;

    bool operator==(const AccountBackup &) const = default;
};

// PUT /v1/backup answers how much the account now holds.
struct RestoreResult {
    double holdings = 0;
    double cashBalances = 0;
    double transactions = 0;
    double brokerages = 0;

    bool operator==(const RestoreResult &) const = default;
};

struct ServerError {
    QString error;
    std::optional<QString> field; // the request's field at fault, where one is: "quantity", "split_ratio", ...
    std::optional<double> row;    // in a request of many records, the index of the one at fault

    bool operator==(const ServerError &) const = default;
};

// The sign-in code exchange: the one-time code from the callback and the PKCE verifier it was bound to.
struct NativeExchangeRequest {
    QString code;
    QString codeVerifier;

    bool operator==(const NativeExchangeRequest &) const = default;
};

struct NativeExchangeResponse {
    QString accessToken;
    QString name;
    QString email;
    QString picture;

    bool operator==(const NativeExchangeResponse &) const = default;
};

// The answer of endpoints whose body carries nothing of interest.
struct EmptyResponse {
    bool operator==(const EmptyResponse &) const = default;
};

} // namespace quillfern
