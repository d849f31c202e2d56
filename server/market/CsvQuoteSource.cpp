#include "server/market/MarketText.h"
#include "server/market/QuoteSources.h"
#include "server/outbound/OutboundHttp.h"

#include <QDateTime>
#include <QTimeZone>
#include <QUrl>

#include <algorithm>
#include <cstdio>
#include <utility>

namespace quillfern::server {
namespace {

using market::lowerAscii;
using market::trimBlanks;

// The whole answer is two short lines; anything much bigger is not this format.
constexpr std::size_t maxAnswerBytes = 64 * 1024;

struct Listing {
    std::string suffix;
    std::string currency;
};

std::optional<Listing> listingFor(const std::string &market)
{
    const std::string code = market::upperAscii(trimBlanks(market));
    if (code == "US")
        return Listing{"us", "USD"};
    if (code == "HK")
        return Listing{"hk", "HKD"};
    if (code == "JP")
        return Listing{"jp", "JPY"};
    if (code == "EU")
        return Listing{"de", "EUR"}; // German listings, which quote in euros
    return std::nullopt;             // CN and the rest are not served by this source
}

std::vector<std::string_view> splitOn(std::string_view text, char separator)
{
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (true) {
        const auto at = text.find(separator, start);
        parts.push_back(text.substr(start, at == std::string_view::npos ? at : at - start));
        if (at == std::string_view::npos)
            return parts;
        start = at + 1;
    }
}

std::vector<std::string_view> nonEmptyLines(std::string_view text)
{
    std::vector<std::string_view> lines;
    for (std::string_view line : splitOn(text, '\n')) {
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (!trimBlanks(line).empty())
            lines.push_back(line);
    }
    return lines;
}

// The answer's date and time, which the source gives in Central European time, as ISO 8601 UTC; empty when
// they do not read as a date and a time.
std::string pricedAt(std::string_view date, std::string_view time)
{
    static const QTimeZone sourceZone(QByteArrayLiteral("Europe/Warsaw"));
    const QDate day = QDate::fromString(QString::fromLatin1(trimBlanks(date)), Qt::ISODate);
    const QTime clock = QTime::fromString(QString::fromLatin1(trimBlanks(time)), Qt::ISODate);
    if (!sourceZone.isValid() || !day.isValid() || !clock.isValid())
        return {};
    return QDateTime(day, clock, sourceZone).toUTC().toString(Qt::ISODate).toStdString();
}

} // namespace

CsvQuoteSource::CsvQuoteSource(std::string baseURL, Log log) : m_baseURL(std::move(baseURL)), m_log(std::move(log))
{
    if (!m_log)
        m_log = [](const std::string &line) {
            std::fprintf(stdout, "%s\n", line.c_str());
            std::fflush(stdout);
        };
    // The request's own query is appended to the base, so a base that has one (or a fragment) cannot serve.
    const QUrl parsed(QString::fromStdString(m_baseURL), QUrl::StrictMode);
    if (!parsed.isValid() || parsed.hasQuery() || parsed.hasFragment())
        return;
    std::string base = m_baseURL;
    while (!base.empty() && base.back() == '/')
        base.pop_back();
    m_base = std::move(base);
}

std::optional<std::pair<std::string, std::string>> CsvQuoteSource::ticker(const std::string &symbol,
                                                                         const std::string &market)
{
    const auto listing = listingFor(market);
    std::string code = lowerAscii(trimBlanks(symbol));
    if (!listing || code.empty())
        return std::nullopt;
    if (listing->suffix == "hk") {
        // Hong Kong codes are written with leading zeros at home but without them in this format.
        const auto first = code.find_first_not_of('0');
        code = first == std::string::npos ? std::string("0") : code.substr(first);
    }
    return std::pair{code + '.' + listing->suffix, listing->currency};
}

std::optional<Quote> CsvQuoteSource::quote(const std::string &symbol, const std::string &market)
{
    const auto named = ticker(symbol, market);
    if (!named)
        return std::nullopt;
    const std::string &ticker = named->first;
    const auto listing = std::optional(Listing{{}, named->second});
    const auto refused = [this] {
        return fail("the quote source URL '" + m_baseURL + "' is not an http or https URL");
    };
    if (!m_base)
        return refused();

    const std::string url = *m_base + "/q/l/?s=" + outbound::percentEncode(ticker) + "&f=sd2t2ohlcv&h&e=csv";
    const auto fetched = outbound::get(url, {.timeout = std::chrono::seconds(5), .maxBytes = maxAnswerBytes});
    if (const auto *failure = std::get_if<outbound::Failure>(&fetched)) {
        if (failure->kind == outbound::Failure::Kind::NotHttp)
            return refused();
        if (failure->kind == outbound::Failure::Kind::ClearText)
            return fail("the quote source URL '" + m_baseURL + "' must use https");
        return fail(ticker + ": " + failure->reason);
    }
    const auto &answer = std::get<outbound::Answer>(fetched);
    if (answer.status != 200)
        return fail(ticker + ": HTTP " + std::to_string(answer.status));

    const auto lines = nonEmptyLines(answer.body);
    if (lines.size() != 2 || lowerAscii(lines[0]) != "symbol,date,time,open,high,low,close,volume")
        return fail(ticker + ": the answer is not the expected two CSV lines");
    const auto fields = splitOn(lines[1], ',');
    if (fields.size() != 8 || lowerAscii(trimBlanks(fields[0])) != ticker)
        return fail(ticker + ": the answer row is not for this symbol");
    const std::string_view close = trimBlanks(fields[6]);
    answering();
    if (close == "N/D")
        return std::nullopt;
    const auto price = market::parseDecimal(close);
    if (!price || !market::isUsableAmount(*price))
        return fail(ticker + ": the close '" + std::string(close) + "' is not a positive number");
    return Quote{*price, listing->currency, pricedAt(fields[1], fields[2]), std::string()};
}

bool CsvQuoteSource::serves(const std::string &market) const
{
    return listingFor(market).has_value();
}

std::string CsvQuoteSource::lastFailure() const
{
    std::lock_guard lock(m_mutex);
    return m_lastFailure;
}

std::nullopt_t CsvQuoteSource::fail(std::string reason)
{
    bool started = false;
    {
        std::lock_guard lock(m_mutex);
        m_lastFailure = reason;
        started = !std::exchange(m_failing, true);
    }
    ++m_failures;
    if (started)
        m_log("quote source failing: " + reason + " (kept prices are answered meanwhile)");
    return std::nullopt;
}

void CsvQuoteSource::answering()
{
    bool recovered = false;
    {
        std::lock_guard lock(m_mutex);
        recovered = std::exchange(m_failing, false);
    }
    if (recovered)
        m_log("quote source answering again");
}

} // namespace quillfern::server

namespace quillfern::server {

std::optional<std::vector<DailyClose>> parseDailyHistory(std::string_view csv)
{
    const auto lines = nonEmptyLines(csv);
    if (lines.size() == 1 && lowerAscii(trimBlanks(lines[0])) == "no data")
        return std::vector<DailyClose>{};
    if (lines.empty())
        return std::nullopt;
    const std::string header = lowerAscii(trimBlanks(lines[0]));
    if (header != "date,open,high,low,close,volume" && header != "date,open,high,low,close")
        return std::nullopt;
    std::vector<DailyClose> closes;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const auto fields = splitOn(lines[i], ',');
        if (fields.size() < 5)
            return std::nullopt;
        const std::string day(trimBlanks(fields[0]));
        if (!QDate::fromString(QString::fromLatin1(day), Qt::ISODate).isValid())
            return std::nullopt;
        const auto close = market::parseDecimal(trimBlanks(fields[4]));
        if (close && market::isUsableAmount(*close))
            closes.push_back(DailyClose{day, *close});
    }
    return closes;
}

CsvHistorySource::CsvHistorySource(std::string baseURL)
{
    const QUrl parsed(QString::fromStdString(baseURL), QUrl::StrictMode);
    if (!parsed.isValid() || parsed.hasQuery() || parsed.hasFragment())
        return;
    while (!baseURL.empty() && baseURL.back() == '/')
        baseURL.pop_back();
    m_base = std::move(baseURL);
}

bool CsvHistorySource::serves(const std::string &market) const
{
    return m_base && listingFor(market).has_value();
}

std::optional<std::vector<DailyClose>> CsvHistorySource::closes(const std::string &symbol, const std::string &market,
                                                                const std::string &fromDay,
                                                                const std::string &toDay) const
{
    const auto named = CsvQuoteSource::ticker(symbol, market);
    if (!named || !m_base)
        return std::nullopt;
    const auto compact = [](std::string day) {
        day.erase(std::remove(day.begin(), day.end(), '-'), day.end());
        return day;
    };
    const std::string url = *m_base + "/q/d/l/?s=" + outbound::percentEncode(named->first) + "&d1=" +
                            compact(fromDay) + "&d2=" + compact(toDay) + "&i=d";
    // Ten years of days are some 300 KiB.
    const auto fetched = outbound::get(url, {.timeout = std::chrono::seconds(20), .maxBytes = 4 * 1024 * 1024});
    const auto *answer = std::get_if<outbound::Answer>(&fetched);
    if (!answer || answer->status != 200)
        return std::nullopt;
    return parseDailyHistory(answer->body);
}

} // namespace quillfern::server
