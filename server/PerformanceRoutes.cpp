#include "core/CurrencyCatalog.h"
#include "core/performance/ValueSeries.h"
#include "server/HistoryKeeper.h"
#include "server/HttpSupport.h"
#include "server/LedgerBook.h"
#include "server/PerformanceQuery.h"
#include "server/Service.h"

#include <QDate>
#include <QRegularExpression>

#include <algorithm>
#include <memory>
#include <mutex>
#include <set>

namespace quillfern::server {
namespace {

constexpr qint64 kEpochJulianDay = 2440588; // 1970-01-01
constexpr std::int32_t kLongestPeriodDays = 50 * 366;

std::optional<std::int32_t> dayFromText(const QString &text)
{
    static const QRegularExpression shape(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
    if (!shape.match(text).hasMatch())
        return std::nullopt;
    const QDate date = QDate::fromString(text, Qt::ISODate);
    return date.isValid() ? std::optional(std::int32_t(date.toJulianDay() - kEpochJulianDay)) : std::nullopt;
}

QString textOfDay(std::int32_t day)
{
    return QDate::fromJulianDay(day + kEpochJulianDay).toString(Qt::ISODate);
}

// Closes are read once per listing and kept until its history is asked for again, by any replica: a
// ten-year answer over hundreds of listings would otherwise read a million rows.
using KeptHistories = std::map<std::pair<QString, QString>, HistoryKeeper::Kept>;

std::optional<HistoryKeeper::Kept> keptOf(const KeptHistories &kept, const QString &market, const QString &symbol)
{
    const auto found = kept.find({market, symbol});
    return found == kept.end() ? std::nullopt : std::optional(found->second);
}

std::shared_ptr<const DayFigures> closes(QSqlDatabase connection, const ListingKey &listing, const KeptHistories &kept)
{
    static std::mutex mutex;
    static std::map<ListingKey, std::pair<QString, std::shared_ptr<const DayFigures>>> read;
    const auto version = keptOf(kept, QString::fromStdString(listing.first), QString::fromStdString(listing.second));
    const QString current = version ? version->askedOn + u'/' + version->since : QString();
    {
        std::lock_guard lock(mutex);
        const auto found = read.find(listing);
        if (found != read.end() && found->second.first == current && !current.isEmpty())
            return found->second.second;
    }
    auto fresh = std::make_shared<DayFigures>();
    Statement rows(connection,
                   QStringLiteral("SELECT day, close FROM price_history WHERE market = ? AND symbol = ? ORDER BY day"),
                   {QString::fromStdString(listing.first), QString::fromStdString(listing.second)});
    while (rows.next()) {
        if (const auto day = dayFromText(rows.text(0)))
            fresh->emplace_back(*day, rows.number(1));
    }
    std::lock_guard lock(mutex);
    read[listing] = {current, fresh};
    return fresh;
}

DayFigures ratesOf(QSqlDatabase connection, const std::string &currency)
{
    DayFigures rates;
    Statement rows(connection,
                   QStringLiteral("SELECT rates_date, usd_per_unit FROM currency_rates WHERE code = ? ORDER BY rates_date"),
                   {QString::fromStdString(currency)});
    while (rows.next()) {
        if (const auto day = dayFromText(rows.text(0)))
            rates.emplace_back(*day, rows.number(1));
    }
    if (rates.empty()) // no published history: today's rate stands for every day
        rates.emplace_back(0, usdPerUnitOn(connection, QString::fromStdString(currency), QStringLiteral("0000-00-00")));
    return rates;
}

} // namespace

StoreResult<PerformanceResponse> measureAccount(QSqlDatabase connection, const QString &userID,
                                                const PerformanceQuery &query, HistoryKeeper *history)
{
    const KeptHistories kept = HistoryKeeper::kept(connection);
    auto ledger = readLedger(connection, userID);
    if (!ledger)
        return ledger.error();

    ValueSeriesInput input;
    input.opening = std::move(ledger->opening);
    input.ledger = std::move(ledger->ledger);
    input.marketCurrency = [](const std::string &market) {
        return CurrencyCatalog::currency(QString::fromStdString(market)).toStdString();
    };
    // Without rows typed by hand the account begins with its first transaction; before, it held nothing.
    const bool typed = !input.opening.positions.empty() || !input.opening.cash.empty();
    std::int32_t first = typed || input.ledger.empty() ? query.from : INT32_MAX;
    std::set<ListingKey> listings;
    std::set<std::string> currencies;
    for (const LedgerTransaction &t : input.ledger) {
        first = std::min(first, std::int32_t(t.tradedAt / 86400));
        if (!t.code.empty() && !t.market.empty())
            listings.insert({t.market, t.code});
        currencies.insert(t.currency);
    }
    for (const OpeningPosition &row : input.opening.positions)
        listings.insert({row.market, row.code});
    for (const OpeningCash &row : input.opening.cash)
        currencies.insert(row.currency);
    input.firstDay = first;
    input.lastDay = std::min(query.to, query.today);
    if (!typed && input.ledger.empty())
        input.lastDay = input.firstDay - 1; // nothing held, ever: an empty series

    // Closes not kept yet are asked for in the background; the answer names them meanwhile.
    for (const ListingKey &listing : listings) {
        currencies.insert(input.marketCurrency(listing.first));
        const QString market = QString::fromStdString(listing.first), symbol = QString::fromStdString(listing.second);
        if (history)
            history->want(market, symbol, textOfDay(first), textOfDay(query.today), keptOf(kept, market, symbol));
        input.closes[listing] = *closes(connection, listing, kept);
    }
    for (const std::string &currency : currencies) {
        if (!currency.empty() && currency != "USD")
            input.usdPerUnit[currency] = ratesOf(connection, currency);
    }

    PerformanceResponse answer;
    if (!query.benchmark.isEmpty()) {
        const std::shared_ptr<const DayFigures> benchmarkCloses =
            closes(connection, {query.benchmarkMarket.toStdString(), query.benchmark.toStdString()}, kept);
        if (history)
            history->want(query.benchmarkMarket, query.benchmark, textOfDay(query.from - 7), textOfDay(query.today),
                          keptOf(kept, query.benchmarkMarket, query.benchmark));
        const auto at = [&benchmarkCloses](std::int32_t day) {
            std::optional<double> found;
            for (const auto &[d, close] : *benchmarkCloses) {
                if (d <= day)
                    found = close;
            }
            return found;
        };
        // From the last close before the period, or the first one within it.
        std::optional<double> start = at(query.from - 1);
        if (!start && !benchmarkCloses->empty())
            start = at(benchmarkCloses->front().first);
        const auto end = at(input.lastDay);
        if (!start || !end)
            return StoreError{StoreError::Kind::BadRequest,
                              QStringLiteral("No daily closes are known for the benchmark %1 in market %2.")
                                  .arg(query.benchmark, query.benchmarkMarket),
                              QStringLiteral("benchmark"), {}};
        answer.benchmarkTwr = *end / *start - 1;
    }

    const ValueSeries series = buildValueSeries(input, query.from, query.to);
    const PeriodPerformance measured = measureSeries(series.days);
    for (const SeriesDay &day : series.days)
        answer.series.append(PerformancePoint{textOfDay(day.day), day.value, day.invested, day.cash, day.flow});
    answer.twr = measured.timeWeighted;
    answer.mwr = measured.moneyWeighted;
    answer.gain = measured.gain;
    answer.maxDrawdown = measured.maxDrawdown;
    answer.volatility = measured.volatility;
    answer.dayChange = measured.dayChange;
    for (const auto &[month, amount] : series.incomeByMonth)
        answer.incomeByMonth.append(MonthIncome{QStringLiteral("%1-%2")
                                                    .arg(month / 100, 4, 10, QLatin1Char('0'))
                                                    .arg(month % 100, 2, 10, QLatin1Char('0')),
                                                amount});
    for (const ListingKey &listing : series.missing)
        answer.missing.append(QString::fromStdString(listing.first + ':' + listing.second));
    for (const auto &[listing, gain] : series.contributions)
        answer.contributions.append(HoldingContribution{QString::fromStdString(listing.first),
                                                        QString::fromStdString(listing.second), gain});
    std::sort(answer.contributions.begin(), answer.contributions.end(),
              [](const HoldingContribution &a, const HoldingContribution &b) { return a.gain > b.gain; });
    return answer;
}

void Service::installPerformanceRoutes()
{
    m_server.route("GET", "/v1/performance", signedInReader([this](const QString &userID, const http::Request &request,
                                                            http::Response &response) {
        const std::int32_t today = std::int32_t(m_clock.nowSeconds() / 86400);
        const QString fromText = queryValue(request, "from"), toText = queryValue(request, "to");
        const auto from = fromText.isEmpty() ? std::optional(today - 365) : dayFromText(fromText);
        const auto to = toText.isEmpty() ? std::optional(today) : dayFromText(toText);
        if (!from)
            return sendError(response, 400, QStringLiteral("from must be a date such as 2026-01-31."), QStringLiteral("from"));
        if (!to)
            return sendError(response, 400, QStringLiteral("to must be a date such as 2026-12-31."), QStringLiteral("to"));
        if (*from > *to)
            return sendError(response, 400, QStringLiteral("The period starts after it ends."), QStringLiteral("from"));
        if (*to - *from > kLongestPeriodDays)
            return sendError(response, 400, QStringLiteral("A period may span at most 50 years."), QStringLiteral("from"));
        const QString benchmark = queryValue(request, "benchmark").trimmed().toUpper();
        const QString benchmarkMarket = queryValue(request, "benchmark_market").trimmed().toUpper();
        if (benchmark.isEmpty() != benchmarkMarket.isEmpty())
            return sendError(response, 400, QStringLiteral("Name a benchmark with both benchmark and benchmark_market."),
                             QStringLiteral("benchmark"));

        const auto answer = measureAccount(m_database.connection(), userID,
                                           PerformanceQuery{*from, *to, today, benchmark, benchmarkMarket},
                                           m_history.get());
        sendStored(request, response, 200, answer);
    }));
}

} // namespace quillfern::server
