#include "core/LedgerSummary.h"

#include <QDateTime>

#include <algorithm>
#include <utility>

namespace quillfern {

namespace {

bool isType(const TransactionRecord &record, QLatin1StringView type)
{
    return record.transactionType == type;
}

// The income a row adds in US dollars: dividends and interest add, tax takes away, the rest is no income.
double incomeUsd(const TransactionRecord &record)
{
    if (!record.amount || !record.fxToUsd)
        return 0;
    const double usd = *record.amount * *record.fxToUsd;
    if (isType(record, QLatin1StringView("DIVIDEND")) || isType(record, QLatin1StringView("INTEREST")))
        return usd;
    if (isType(record, QLatin1StringView("TAX")))
        return -usd;
    return 0;
}

bool sameKey(const ClosedPositionSummary &closed, const TransactionRecord &record)
{
    return closed.broker == record.broker && closed.market == record.market && closed.code == record.code;
}

} // namespace

std::optional<int> tradeYear(const QString &tradedAt)
{
    const QDateTime moment = QDateTime::fromString(tradedAt, Qt::ISODate);
    if (!moment.isValid() || moment.timeSpec() == Qt::LocalTime)
        return std::nullopt;
    return moment.toUTC().date().year();
}

LedgerEarnings ledgerEarnings(const QList<TransactionRecord> &transactions, std::optional<int> year)
{
    LedgerEarnings earnings;
    for (const TransactionRecord &record : transactions) {
        if (year && tradeYear(record.tradedAt) != year)
            continue;
        if (isType(record, QLatin1StringView("SELL")) && record.realizedGainUsd)
            earnings.realizedGainUsd += *record.realizedGainUsd;
        earnings.incomeUsd += incomeUsd(record);
    }
    return earnings;
}

QList<ClosedPositionSummary> closedPositions(const QList<TransactionRecord> &transactions,
                                             const QList<AssetRow> &holdings)
{
    QList<ClosedPositionSummary> closed;
    QList<bool> sold; // beside closed: whether a sell set its currency yet
    for (const TransactionRecord &record : transactions) {
        const bool sells = isType(record, QLatin1StringView("SELL"));
        if (!sells && !isType(record, QLatin1StringView("TRANSFER_OUT")))
            continue;
        const bool held = std::any_of(holdings.cbegin(), holdings.cend(), [&record](const AssetRow &row) {
            return row.quantity > 0 && row.broker == record.broker && row.market == record.market &&
                   row.code == record.code;
        });
        if (held)
            continue;
        const auto found = std::find_if(closed.cbegin(), closed.cend(), [&record](const ClosedPositionSummary &entry) {
            return sameKey(entry, record);
        });
        const qsizetype at = found - closed.cbegin();
        if (found == closed.cend()) {
            closed.append(ClosedPositionSummary{record.broker, record.market, record.code, {}, 0, 0});
            sold.append(false);
        }
        if (!sells)
            continue;
        ClosedPositionSummary &entry = closed[at];
        if (!std::exchange(sold[at], true))
            entry.currency = record.currency;
        else if (entry.currency != record.currency)
            entry.currency.clear();
        entry.realizedGain += record.realizedGain.value_or(0);
        entry.realizedGainUsd += record.realizedGainUsd.value_or(0);
    }
    return closed;
}

} // namespace quillfern
