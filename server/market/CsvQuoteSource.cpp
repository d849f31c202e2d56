#include "server/market/MarketText.h"
#include "server/market/QuoteSources.h"
#include "server/outbound/OutboundHttp.h"

#include <QDateTime>
#include <QTimeZone>
#include <QUrl>

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

std::optional<Quote> CsvQuoteSource::quote(const std::string &symbol, const std::string &market)
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
    const std::string ticker = code + '.' + listing->suffix;
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
