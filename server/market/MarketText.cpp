#include "server/market/MarketText.h"

#include <charconv>
#include <cmath>

namespace quillfern::server::market {
namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Advances past one or more digits; false when there is none.
bool skipDigits(std::string_view text, std::size_t &at)
{
    const std::size_t start = at;
    while (at < text.size() && isDigit(text[at]))
        ++at;
    return at > start;
}

} // namespace

std::optional<double> parseDecimal(std::string_view text)
{
    // std::from_chars alone would accept "inf", "nan" and "1." and so the grammar is checked first.
    std::size_t at = 0;
    if (at < text.size() && text[at] == '-')
        ++at;
    if (!skipDigits(text, at))
        return std::nullopt;
    if (at < text.size() && text[at] == '.') {
        ++at;
        if (!skipDigits(text, at))
            return std::nullopt;
    }
    if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
        ++at;
        if (at < text.size() && (text[at] == '+' || text[at] == '-'))
            ++at;
        if (!skipDigits(text, at))
            return std::nullopt;
    }
    if (at != text.size())
        return std::nullopt;

    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

bool isUsableAmount(double value)
{
    return value > 0 && std::isnormal(value);
}

std::string_view trimBlanks(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

std::string upperAscii(std::string_view text)
{
    std::string result(text);
    for (char &c : result) {
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    }
    return result;
}

std::string lowerAscii(std::string_view text)
{
    std::string result(text);
    for (char &c : result) {
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    }
    return result;
}

} // namespace quillfern::server::market
