#pragma once

// What is known of a fetched price beyond its figure: when the service's source priced it and which source
// that was. Kept beside the rows, never inside them: a row's equality decides saving and merging, and a
// refresh must not make the portfolio look edited.

#include "core/PortfolioRows.h"
#include "core/ServiceRecords.h"

#include <QDateTime>
#include <QHash>

#include <chrono>
#include <optional>

namespace quillfern {

enum class PriceSource { Unknown, Live, Demo, OfflineTable };

struct PriceFacts {
    double price = 0;
    std::optional<QDateTime> asOf;
    PriceSource source = PriceSource::Unknown;
    // The last daily close before the price's day, when the service knows it.
    std::optional<double> previousClose = std::nullopt;

    bool operator==(const PriceFacts &) const = default;
};

// A price priced longer ago than this is not to be relied on.
inline constexpr std::chrono::hours staleAfter{72};

// The facts of one answer of the service; a source it does not name and a time it cannot read stay unknown.
PriceFacts priceFacts(const StockPriceResponse &answer);

// Older than staleAfter at now, or from the built-in demo table: shown as not to be relied on.
bool isStale(const PriceFacts &facts, const QDateTime &now);

// The facts of the prices fetched in this session, by market and symbol.
class PriceFactsBook {
public:
    void record(const QString &market, const QString &code, const PriceFacts &facts);
    // The facts of the price this row shows; none when its market or code has changed since, or when its
    // price is not the one fetched (typed in, loaded with the portfolio, fetched in an earlier session).
    const PriceFacts *of(const AssetRow &row) const;
    void clear() { m_facts.clear(); }

private:
    QHash<QString, PriceFacts> m_facts;
};

// What a row gained or lost since the previous close, in US dollars: quantity × (price − previous close),
// at usdPerUnit for the market's currency. None without facts for the price the row shows, or without a
// previous close among them.
std::optional<double> dayChangeUsd(const AssetRow &row, const PriceFacts *facts, double usdPerUnit);

// The texts below are in the language of languageCode, with dates under the ICU locale and in the zone.

// A price cell's tooltip: the time, the source and whether it is stale, a line each; empty when nothing is known.
QString priceFactsText(const PriceFacts &facts, const QDateTime &now, const QString &languageCode,
                       const QString &locale, const QString &timeZone);
// The holdings toolbar's line on the prices shown: "Demo prices" when any is one, else the oldest time
// known; empty when no shown price has facts.
QString pricesSummaryText(const PriceFactsBook &book, const QList<AssetRow> &rows, const QString &languageCode,
                          const QString &locale, const QString &timeZone);
// The currency menu's line on the oldest date the rates carry; empty when none carries one.
QString ratesDateText(const QList<CurrencyOption> &currencies, const QString &languageCode, const QString &locale,
                      const QString &timeZone);

} // namespace quillfern
