#include "core/exchange/ExportTables.h"

#include "core/WorkspaceValuation.h"

#include <QDateTime>

#include <unicode/ucurr.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

namespace quillfern::exchange {
namespace {

ExportCell text(const QString &value)
{
    return ExportCell{value, {}};
}

ExportCell number(double value)
{
    return std::isfinite(value) ? ExportCell{value, {}} : ExportCell{};
}

double rounded(double value, int decimals)
{
    const double scale = std::pow(10.0, decimals);
    const double result = std::round(value * scale) / scale;
    return result == 0 ? 0.0 : result; // no "-0" in a file
}

// A figure the file states as the user typed it, in its currency.
ExportCell money(double value, const QString &currency)
{
    return std::isfinite(value) ? ExportCell{value, currency} : ExportCell{};
}

// A figure the export worked out, rounded to the currency's minor unit as the pages show it.
ExportCell derivedMoney(double value, const QString &currency)
{
    return money(rounded(value, currencyDecimals(currency)), currency);
}

ExportCell percentPoints(double value)
{
    return number(rounded(value, 4));
}

// US dollars per unit of the reporting currency, as the pages divide by it.
double reportingRate(const ExportSource &source)
{
    const double listed = source.reporting.fxToUsd;
    return std::isfinite(listed) && listed > 0 ? listed : usdPerUnit(source.reporting.code, source.rates);
}

template <class Column> QList<ExportColumn> columns(std::initializer_list<std::pair<Column, ExportFormat>> formats,
                                                    const ExportSource &source)
{
    const ExportLanguage language = exportLanguage(source.languageCode);
    QList<ExportColumn> list;
    for (const auto &[column, format] : formats)
        list.append(ExportColumn{columnTitle(column, language, source.reporting.code), format});
    return list;
}

// The fields a transaction type takes; a figure outside them is still written when it is not zero, so a
// type added later loses nothing.
struct TypeFigures {
    bool quantity = false;
    bool price = false;
    bool commission = false;
};

TypeFigures figuresOf(const QString &type)
{
    if (type == u"BUY" || type == u"SELL")
        return {true, true, true};
    if (type == u"TRANSFER_IN")
        return {true, true, false};
    if (type == u"TRANSFER_OUT")
        return {true, false, false};
    return {};
}

std::optional<QDateTime> tradeMoment(const QString &tradedAt)
{
    const QDateTime moment = QDateTime::fromString(tradedAt, Qt::ISODate);
    if (!moment.isValid())
        return std::nullopt;
    return moment.toUTC();
}

// The UTC day, which is the day an import books and compares a row by.
ExportCell tradeDay(const std::optional<QDateTime> &moment, const QString &tradedAt)
{
    if (moment)
        return ExportCell{moment->date(), {}};
    const QDate day = QDate::fromString(tradedAt.left(10), Qt::ISODate);
    return day.isValid() ? ExportCell{day, {}} : text(tradedAt);
}

// What a transaction moved in money: a cash row's amount, a trade's quantity times price.
std::optional<double> worth(const TransactionRecord &record)
{
    if (record.amount)
        return *record.amount;
    if (record.quantity != 0 && record.price != 0)
        return record.quantity * record.price;
    return std::nullopt;
}

} // namespace

int currencyDecimals(const QString &currency)
{
    if (currency.size() != 3)
        return 2;
    UErrorCode status = U_ZERO_ERROR;
    const int32_t digits = ucurr_getDefaultFractionDigits(reinterpret_cast<const UChar *>(currency.utf16()), &status);
    return U_SUCCESS(status) && digits >= 0 ? int(digits) : 2;
}

ExportTable holdingsTable(const ExportSource &source)
{
    using C = HoldingColumn;
    using F = ExportFormat;
    ExportTable table{ExportTableKind::Holdings, tableName(ExportTableKind::Holdings, exportLanguage(source.languageCode)),
                      columns<C>({{C::Broker, F::Text},
                                  {C::Market, F::Text},
                                  {C::Code, F::Text},
                                  {C::Sector, F::Text},
                                  {C::SubSector, F::Text},
                                  {C::Quantity, F::Quantity},
                                  {C::AverageCost, F::Money},
                                  {C::Price, F::Money},
                                  {C::Currency, F::Text},
                                  {C::Cost, F::Money},
                                  {C::MarketValue, F::Money},
                                  {C::Gain, F::Money},
                                  {C::ReturnPercent, F::Percent},
                                  {C::CostInReporting, F::Money},
                                  {C::MarketValueInReporting, F::Money},
                                  {C::GainInReporting, F::Money},
                                  {C::WeightPercent, F::Percent}},
                                 source),
                      {}};
    // The same valuation the holdings page shows: one position per row, in row order.
    const PortfolioSummary valued = summary(source.holdings, source.rates);
    const double rate = reportingRate(source);
    const QString &reporting = source.reporting.code;
    for (qsizetype i = 0; i < source.holdings.size(); ++i) {
        const AssetRow &row = source.holdings.at(i);
        const AssetValuation &position = valued.positions.at(size_t(i));
        const QString currency = QString::fromStdString(position.currency);
        table.rows.append({text(row.broker), text(row.market), text(row.code), text(row.sector), text(row.subSector),
                           number(row.quantity), money(row.averagePrice, currency), money(row.currentPrice, currency),
                           text(currency), derivedMoney(position.boughtCostLocal, currency),
                           derivedMoney(position.marketValueLocal, currency),
                           derivedMoney(position.marketValueLocal - position.boughtCostLocal, currency),
                           percentPoints(position.changePercent), derivedMoney(position.boughtCostUsd / rate, reporting),
                           derivedMoney(position.marketValueUsd / rate, reporting),
                           derivedMoney(position.netUsd / rate, reporting), percentPoints(position.holdPercent)});
    }
    return table;
}

ExportTable cashTable(const ExportSource &source)
{
    using C = CashColumn;
    using F = ExportFormat;
    ExportTable table{ExportTableKind::Cash, tableName(ExportTableKind::Cash, exportLanguage(source.languageCode)),
                      columns<C>({{C::Broker, F::Text},
                                  {C::Currency, F::Text},
                                  {C::Balance, F::Money},
                                  {C::ValueInReporting, F::Money},
                                  {C::WeightPercent, F::Percent}},
                                 source),
                      {}};
    // Valued as the balances page values them: the row's own service rate first.
    const double total = totalCashUsd(source.cashRows);
    const double rate = reportingRate(source);
    for (const CashRow &row : source.cashRows) {
        const double usd = cashValueUsd(row);
        table.rows.append({text(row.broker), text(row.currency), money(row.originalCash, row.currency),
                           derivedMoney(usd / rate, source.reporting.code),
                           total > 0 ? percentPoints(usd / total * 100.0) : ExportCell{}});
    }
    return table;
}

ExportTable ledgerTable(const ExportSource &source)
{
    using C = LedgerColumn;
    using F = ExportFormat;
    ExportTable table{ExportTableKind::Ledger, tableName(ExportTableKind::Ledger, exportLanguage(source.languageCode)),
                      columns<C>({{C::Date, F::Date},
                                  {C::Type, F::Text},
                                  {C::Code, F::Text},
                                  {C::Market, F::Text},
                                  {C::Quantity, F::Quantity},
                                  {C::Price, F::Money},
                                  {C::Commission, F::Money},
                                  {C::Currency, F::Text},
                                  {C::Amount, F::Money},
                                  {C::Broker, F::Text},
                                  {C::Note, F::Text},
                                  {C::Sector, F::Text},
                                  {C::SubSector, F::Text},
                                  {C::SplitRatio, F::Ratio},
                                  {C::RealizedGain, F::Money},
                                  {C::ValueInReporting, F::Money},
                                  {C::RealizedGainInReporting, F::Money}},
                                 source),
                      {}};

    // Oldest first, in the order of entry within a moment: the service lists newest first, so the list is
    // turned round before the stable sort.
    struct Dated {
        std::optional<QDateTime> moment;
        const TransactionRecord *record;
    };
    std::vector<Dated> records;
    records.reserve(size_t(source.transactions.size()));
    for (auto it = source.transactions.crbegin(); it != source.transactions.crend(); ++it)
        records.push_back(Dated{tradeMoment(it->tradedAt), &*it});
    std::stable_sort(records.begin(), records.end(), [](const Dated &a, const Dated &b) {
        return a.moment && b.moment ? *a.moment < *b.moment : a.record->tradedAt < b.record->tradedAt;
    });

    const double rate = reportingRate(source);
    const QString &reporting = source.reporting.code;
    for (const Dated &dated : records) {
        const TransactionRecord &record = *dated.record;
        const TypeFigures takes = figuresOf(record.transactionType);
        const auto figure = [&](bool taken, double value, bool isMoney) {
            if (!taken && value == 0)
                return ExportCell{};
            return isMoney ? money(value, record.currency) : number(value);
        };
        const double usdPerUnitOfRow = usdPerUnit(record.currency, source.rates);
        const std::optional<double> moved = worth(record);
        std::optional<double> gainUsd = record.realizedGainUsd;
        if (!gainUsd && record.realizedGain)
            gainUsd = *record.realizedGain * usdPerUnitOfRow;
        table.rows.append({tradeDay(dated.moment, record.tradedAt), text(record.transactionType), text(record.code),
                           text(record.market), figure(takes.quantity, record.quantity, false),
                           figure(takes.price, record.price, true), figure(takes.commission, record.commission, true),
                           text(record.currency),
                           record.amount ? money(*record.amount, record.currency) : ExportCell{}, text(record.broker),
                           text(record.reason), text(record.sector), text(record.subSector),
                           record.splitRatio ? number(*record.splitRatio) : ExportCell{},
                           record.realizedGain ? money(*record.realizedGain, record.currency) : ExportCell{},
                           moved ? derivedMoney(*moved * usdPerUnitOfRow / rate, reporting) : ExportCell{},
                           gainUsd ? derivedMoney(*gainUsd / rate, reporting) : ExportCell{}});
    }
    return table;
}

ExportTable exportTable(ExportTableKind kind, const ExportSource &source)
{
    switch (kind) {
    case ExportTableKind::Holdings:
        return holdingsTable(source);
    case ExportTableKind::Cash:
        return cashTable(source);
    case ExportTableKind::Ledger:
        return ledgerTable(source);
    }
    return {};
}

} // namespace quillfern::exchange
