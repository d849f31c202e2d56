#include "server/market/MarketText.h"
#include "server/market/QuoteSources.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace quillfern::server {
namespace {

using market::trimBlanks;
using market::upperAscii;

std::string quoteKey(std::string_view symbol, std::string_view market)
{
    return upperAscii(trimBlanks(market)) + '\n' + upperAscii(trimBlanks(symbol));
}

std::vector<std::string_view> splitFields(std::string_view line)
{
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    while (true) {
        const auto comma = line.find(',', start);
        fields.push_back(trimBlanks(line.substr(start, comma == std::string_view::npos ? comma : comma - start)));
        if (comma == std::string_view::npos)
            return fields;
        start = comma + 1;
    }
}

bool isCurrencyCode(std::string_view code)
{
    if (code.size() != 3)
        return false;
    for (const char c : code) {
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')))
            return false;
    }
    return true;
}

} // namespace

std::variant<std::unique_ptr<OfflineQuotes>, std::string> OfflineQuotes::fromText(const std::string &csv)
{
    std::string_view text(csv);
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);

    std::map<std::string, Quote> quotes;
    std::map<std::string, std::size_t> lineOfKey;
    bool headerAllowed = true;
    std::size_t lineNumber = 0;
    std::size_t start = 0;
    while (start <= text.size()) {
        const auto newline = text.find('\n', start);
        std::string_view line = text.substr(start, newline == std::string_view::npos ? newline : newline - start);
        start = newline == std::string_view::npos ? text.size() + 1 : newline + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        line = trimBlanks(line);
        if (line.empty() || line.front() == '#')
            continue;

        const std::string where = "Quotes line " + std::to_string(lineNumber) + ": ";
        const auto fields = splitFields(line);
        if (headerAllowed) {
            headerAllowed = false;
            if (fields.size() == 4 && market::lowerAscii(fields[0]) == "market" &&
                market::lowerAscii(fields[1]) == "symbol" && market::lowerAscii(fields[2]) == "price" &&
                market::lowerAscii(fields[3]) == "currency")
                continue;
        }
        if (fields.size() != 4)
            return where + "expected market,symbol,price,currency but found " + std::to_string(fields.size()) +
                   " fields.";
        if (fields[0].empty() || fields[1].empty())
            return where + "the market and symbol must not be empty.";
        const auto price = market::parseDecimal(fields[2]);
        if (!price || !market::isUsableAmount(*price))
            return where + "the price '" + std::string(fields[2]) + "' is not a positive number.";
        if (!fields[3].empty() && !isCurrencyCode(fields[3]))
            return where + "the currency '" + std::string(fields[3]) + "' is not a three-letter code.";

        const std::string key = quoteKey(fields[1], fields[0]);
        if (const auto earlier = lineOfKey.find(key); earlier != lineOfKey.end())
            return where + std::string(fields[0]) + " " + std::string(fields[1]) + " is already on line " +
                   std::to_string(earlier->second) + ".";
        lineOfKey.emplace(key, lineNumber);
        quotes.emplace(key, Quote{*price, upperAscii(fields[3]), std::string(), std::string()});
    }
    return std::unique_ptr<OfflineQuotes>(new OfflineQuotes(std::move(quotes)));
}

std::variant<std::unique_ptr<OfflineQuotes>, std::string> OfflineQuotes::fromFile(const std::string &path)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        return "The quotes file " + path + " does not exist or is not a file.";
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return "Cannot open the quotes file " + path + ".";
    std::ostringstream content;
    content << file.rdbuf();
    if (file.bad())
        return "Cannot read the quotes file " + path + ".";
    auto loaded = fromText(content.str());
    if (auto *failure = std::get_if<std::string>(&loaded))
        *failure = path + ": " + *failure;
    return loaded;
}

std::optional<Quote> OfflineQuotes::quote(const std::string &symbol, const std::string &market)
{
    const auto found = m_quotes.find(quoteKey(symbol, market));
    if (found == m_quotes.end())
        return std::nullopt;
    return found->second;
}

bool OfflineQuotes::serves(const std::string &market) const
{
    // Keys are "MARKET\nSYMBOL": the first key at or after "MARKET\n" tells.
    const std::string prefix = quoteKey(std::string(), market);
    const auto first = m_quotes.lower_bound(prefix);
    return first != m_quotes.end() && first->first.compare(0, prefix.size(), prefix) == 0;
}

} // namespace quillfern::server
