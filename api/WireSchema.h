#pragma once

// The fields of every wire record, in order, by their lowerCamelCase names. The wire key of each is its
// snake_case form. The JSON coder walks these lists, so a record's coding is declared once here.

#include "core/ServiceRecords.h"

#include <tuple>

namespace quillfern {

template <class Record, class Type> struct WireField {
    const char *name;
    Type Record::*member;
};

template <class Record> struct WireSchema; // specialised below for every record with fields

#define QF_FIELD(Record, member)                                                                                       \
    WireField<Record, decltype(Record::member)>                                                                        \
    {                                                                                                                  \
#member, &Record::member                                                                                       \
    }

template <> struct WireSchema<ServerHolding> {
    static constexpr auto fields = std::tuple{
        QF_FIELD(ServerHolding, id),           QF_FIELD(ServerHolding, market),       QF_FIELD(ServerHolding, sector),
        QF_FIELD(ServerHolding, subSector),    QF_FIELD(ServerHolding, code),         QF_FIELD(ServerHolding, currency),
        QF_FIELD(ServerHolding, broker),       QF_FIELD(ServerHolding, averagePrice), QF_FIELD(ServerHolding, quantity),
        QF_FIELD(ServerHolding, currentPrice), QF_FIELD(ServerHolding, fxToUsd),      QF_FIELD(ServerHolding, note),
    };
};

template <> struct WireSchema<ServerCashBalance> {
    static constexpr auto fields = std::tuple{
        QF_FIELD(ServerCashBalance, id),           QF_FIELD(ServerCashBalance, broker),
        QF_FIELD(ServerCashBalance, originalCash), QF_FIELD(ServerCashBalance, currency),
        QF_FIELD(ServerCashBalance, fxToUsd),      QF_FIELD(ServerCashBalance, note),
    };
};

template <> struct WireSchema<PortfolioResponse> {
    static constexpr auto fields = std::tuple{
        QF_FIELD(PortfolioResponse, holdings),
        QF_FIELD(PortfolioResponse, cashBalances),
    };
};

template <> struct WireSchema<PortfolioPutRequest> {
    static constexpr auto fields = std::tuple{
        QF_FIELD(PortfolioPutRequest, holdings),
        QF_FIELD(PortfolioPutRequest, cashBalances),
        QF_FIELD(PortfolioPutRequest, snapshotSource),
    };
};

template <> struct WireSchema<CurrencyOption> {
    static constexpr auto fields = std::tuple{
        QF_FIELD(CurrencyOption, code), QF_FIELD(CurrencyOption, name),    QF_FIELD(CurrencyOption, symbol),
        QF_FIELD(CurrencyOption, flag), QF_FIELD(CurrencyOption, fxToUsd), QF_FIELD(CurrencyOption, asOf),
    };
};

template <> struct WireSchema<LanguageOption> {
    static constexpr auto fields = std::tuple{
        QF_FIELD(LanguageOption, code),   QF_FIELD(LanguageOption, name), QF_FIELD(LanguageOption, nativeName),
        QF_FIELD(LanguageOption, locale), QF_FIELD(LanguageOption, flag),
    };
};

template <> struct WireSchema<BrokerageOption> {
    static constexpr auto fields = std::tuple{
        QF_FIELD(BrokerageOption, id),
        QF_FIELD(BrokerageOption, name),
        QF_FIELD(BrokerageOption, region),
        QF_FIELD(BrokerageOption, isCustom),
    };
};

template <> struct WireSchema<GICSClassification> {
    static constexpr auto fields = std::tuple{
        QF_FIELD(GICSClassification, sectorCode),        QF_FIELD(GICSClassification, sectorName),
        QF_FIELD(GICSClassification, industryGroupCode), QF_FIELD(GICSClassification, industryGroupName),
        QF_FIELD(GICSClassification, industryCode),      QF_FIELD(GICSClassification, industryName),
        QF_FIELD(GICSClassification, subIndustryCode),   QF_FIELD(GICSClassification, subIndustryName),
        QF_FIELD(GICSClassification, sourceVersion),
    };
};

template <> struct WireSchema<TransactionRecord> {
    static constexpr auto fields = std::tuple{
        QF_FIELD(TransactionRecord, id),
        QF_FIELD(TransactionRecord, broker),
        QF_FIELD(TransactionRecord, market),
        QF_FIELD(TransactionRecord, code),
        QF_FIELD(TransactionRecord, transactionType),
        QF_FIELD(TransactionRecord, quantity),
        QF_FIELD(TransactionRecord, price),
        QF_FIELD(TransactionRecord, commission),
        QF_FIELD(TransactionRecord, currency),
        QF_FIELD(TransactionRecord, sector),
        QF_FIELD(TransactionRecord, subSector),
        QF_FIELD(TransactionRecord, tradedAt),
        QF_FIELD(TransactionRecord, reason),
        QF_FIELD(TransactionRecord, amount),
        QF_FIELD(TransactionRecord, splitRatio),
        QF_FIELD(TransactionRecord, settlesInCash),
        QF_FIELD(TransactionRecord, realizedGain),
        QF_FIELD(TransactionRecord, realizedGainUsd),
        QF_FIELD(TransactionRecord, fxToUsd),
    };
};

template <> struct WireSchema<TransactionCreateInput> {
    static constexpr auto fields = std::tuple{
        QF_FIELD(TransactionCreateInput, broker),     QF_FIELD(TransactionCreateInput, market),
        QF_FIELD(TransactionCreateInput, code),       QF_FIELD(TransactionCreateInput, transactionType),
        QF_FIELD(TransactionCreateInput, quantity),   QF_FIELD(TransactionCreateInput, price),
        QF_FIELD(TransactionCreateInput, commission), QF_FIELD(TransactionCreateInput, currency),
        QF_FIELD(TransactionCreateInput, sector),     QF_FIELD(TransactionCreateInput, subSector),
        QF_FIELD(TransactionCreateInput, tradedAt),   QF_FIELD(TransactionCreateInput, reason),
        QF_FIELD(TransactionCreateInput, amount),     QF_FIELD(TransactionCreateInput, splitRatio),
        QF_FIELD(TransactionCreateInput, settlesInCash),
    };
};

template <> struct WireSchema<BrokerageCreateRequest> {
    static constexpr auto fields = std::tuple{QF_FIELD(BrokerageCreateRequest, name)};
};

template <> struct WireSchema<StockPriceResponse> {
    static constexpr auto fields =
        std::tuple{QF_FIELD(StockPriceResponse, price), QF_FIELD(StockPriceResponse, currency),
                   QF_FIELD(StockPriceResponse, asOf), QF_FIELD(StockPriceResponse, source),
                   QF_FIELD(StockPriceResponse, previousClose)};
};

template <> struct WireSchema<PerformancePoint> {
    static constexpr auto fields =
        std::tuple{QF_FIELD(PerformancePoint, date), QF_FIELD(PerformancePoint, value),
                   QF_FIELD(PerformancePoint, invested), QF_FIELD(PerformancePoint, cash), QF_FIELD(PerformancePoint, flow)};
};

template <> struct WireSchema<MonthIncome> {
    static constexpr auto fields = std::tuple{QF_FIELD(MonthIncome, month), QF_FIELD(MonthIncome, amount)};
};

template <> struct WireSchema<HoldingContribution> {
    static constexpr auto fields = std::tuple{QF_FIELD(HoldingContribution, market), QF_FIELD(HoldingContribution, code),
                                              QF_FIELD(HoldingContribution, gain)};
};

template <> struct WireSchema<PerformanceResponse> {
    static constexpr auto fields = std::tuple{
        QF_FIELD(PerformanceResponse, series),        QF_FIELD(PerformanceResponse, twr),
        QF_FIELD(PerformanceResponse, mwr),           QF_FIELD(PerformanceResponse, gain),
        QF_FIELD(PerformanceResponse, incomeByMonth), QF_FIELD(PerformanceResponse, maxDrawdown),
        QF_FIELD(PerformanceResponse, volatility),    QF_FIELD(PerformanceResponse, dayChange),
        QF_FIELD(PerformanceResponse, benchmarkTwr),  QF_FIELD(PerformanceResponse, missing),
        QF_FIELD(PerformanceResponse, contributions),
    };
};

template <> struct WireSchema<TransactionImportRequest> {
    static constexpr auto fields =
        std::tuple{QF_FIELD(TransactionImportRequest, contentHash), QF_FIELD(TransactionImportRequest, transactions),
                   QF_FIELD(TransactionImportRequest, fileName)};
};

template <> struct WireSchema<TransactionImportResult> {
    static constexpr auto fields =
        std::tuple{QF_FIELD(TransactionImportResult, imported), QF_FIELD(TransactionImportResult, skippedDuplicates),
                   QF_FIELD(TransactionImportResult, alreadyImported)};
};

template <> struct WireSchema<BackupTransaction> {
    static constexpr auto fields = std::tuple{
        QF_FIELD(BackupTransaction, id),           QF_FIELD(BackupTransaction, broker),
        QF_FIELD(BackupTransaction, market),       QF_FIELD(BackupTransaction, code),
        QF_FIELD(BackupTransaction, transactionType), QF_FIELD(BackupTransaction, quantity),
        QF_FIELD(BackupTransaction, price),        QF_FIELD(BackupTransaction, commission),
        QF_FIELD(BackupTransaction, currency),     QF_FIELD(BackupTransaction, sector),
        QF_FIELD(BackupTransaction, subSector),    QF_FIELD(BackupTransaction, tradedAt),
        QF_FIELD(BackupTransaction, reason),       QF_FIELD(BackupTransaction, amount),
        QF_FIELD(BackupTransaction, splitRatio),   QF_FIELD(BackupTransaction, settlesInCash),
        QF_FIELD(BackupTransaction, fxToUsd),      QF_FIELD(BackupTransaction, toMarket),
        QF_FIELD(BackupTransaction, realizedGain), QF_FIELD(BackupTransaction, realizedGainUsd),
        QF_FIELD(BackupTransaction, soldAgainst),  QF_FIELD(BackupTransaction, sequence),
    };
};

template <> struct WireSchema<BackupLedgerRow> {
    static constexpr auto fields = std::tuple{
        QF_FIELD(BackupLedgerRow, kind),           QF_FIELD(BackupLedgerRow, broker),
        QF_FIELD(BackupLedgerRow, market),         QF_FIELD(BackupLedgerRow, code),
        QF_FIELD(BackupLedgerRow, sinceSequence),  QF_FIELD(BackupLedgerRow, openingQuantity),
        QF_FIELD(BackupLedgerRow, openingAverage), QF_FIELD(BackupLedgerRow, resultQuantity),
        QF_FIELD(BackupLedgerRow, resultAverage),
    };
};

template <> struct WireSchema<BackupPreferences> {
    static constexpr auto fields =
        std::tuple{QF_FIELD(BackupPreferences, reportingCurrency), QF_FIELD(BackupPreferences, language)};
};

template <> struct WireSchema<BackupHeader> {
    static constexpr auto fields = std::tuple{QF_FIELD(BackupHeader, format), QF_FIELD(BackupHeader, version)};
};

template <> struct WireSchema<AccountBackup> {
    static constexpr auto fields = std::tuple{
        QF_FIELD(AccountBackup, format),       QF_FIELD(AccountBackup, version),
        QF_FIELD(AccountBackup, createdAt),    QF_FIELD(AccountBackup, holdings),
        QF_FIELD(AccountBackup, cashBalances), QF_FIELD(AccountBackup, transactions),
        QF_FIELD(AccountBackup, ledgerRows),   QF_FIELD(AccountBackup, brokerages),
        QF_FIELD(AccountBackup, preferences),
    };
};

template <> struct WireSchema<RestoreResult> {
    static constexpr auto fields =
        std::tuple{QF_FIELD(RestoreResult, holdings), QF_FIELD(RestoreResult, cashBalances),
                   QF_FIELD(RestoreResult, transactions), QF_FIELD(RestoreResult, brokerages)};
};

template <> struct WireSchema<ServerError> {
    static constexpr auto fields =
        std::tuple{QF_FIELD(ServerError, error), QF_FIELD(ServerError, field), QF_FIELD(ServerError, row)};
};

template <> struct WireSchema<NativeExchangeRequest> {
    static constexpr auto fields =
        std::tuple{QF_FIELD(NativeExchangeRequest, code), QF_FIELD(NativeExchangeRequest, codeVerifier)};
};

template <> struct WireSchema<NativeExchangeResponse> {
    static constexpr auto fields =
        std::tuple{QF_FIELD(NativeExchangeResponse, accessToken), QF_FIELD(NativeExchangeResponse, name),
                   QF_FIELD(NativeExchangeResponse, email), QF_FIELD(NativeExchangeResponse, picture)};
};

template <> struct WireSchema<EmptyResponse> {
    static constexpr auto fields = std::tuple{};
};

#undef QF_FIELD

} // namespace quillfern
