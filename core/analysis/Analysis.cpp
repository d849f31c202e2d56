#include "core/analysis/Analysis.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string_view>

namespace quillfern {
namespace {

// max(x, 0) that also maps NaN to 0.
double clampAtZero(double x) { return x > 0 ? x : 0.0; }

double percentage(double part, double total) { return total > 0 ? (part / total) * 100.0 : 0.0; }

// Code points with the Unicode White_Space property.
bool isWhiteSpace(char32_t c)
{
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680
           || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F
           || c == 0x3000;
}

// Decodes the code point starting at text[pos]; malformed bytes decode as U+FFFD of length 1, which is
// never white space, so broken UTF-8 is kept rather than trimmed.
char32_t decodeAt(std::string_view text, size_t pos, size_t &length)
{
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(pos);
    length = 1;
    if (lead < 0x80)
        return lead;
    size_t extra = 0;
    char32_t c = 0;
    if ((lead & 0xE0) == 0xC0) {
        extra = 1;
        c = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2;
        c = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3;
        c = lead & 0x07;
    } else {
        return 0xFFFD;
    }
    if (pos + extra >= text.size())
        return 0xFFFD;
    for (size_t i = 1; i <= extra; ++i) {
        if ((byte(pos + i) & 0xC0) != 0x80)
            return 0xFFFD;
        c = (c << 6) | (byte(pos + i) & 0x3F);
    }
    static constexpr char32_t smallest[] = {0, 0x80, 0x800, 0x10000};
    if (c < smallest[extra])
        return 0xFFFD; // an overlong form is not the character it spells
    length = extra + 1;
    return c;
}

std::string_view trimWhiteSpace(std::string_view text)
{
    size_t begin = 0;
    while (begin < text.size()) {
        size_t length = 0;
        if (!isWhiteSpace(decodeAt(text, begin, length)))
            break;
        begin += length;
    }
    size_t end = text.size();
    while (end > begin) {
        size_t start = end - 1;
        while (start > begin && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80 && end - start < 4)
            --start;
        size_t length = 0;
        const char32_t c = decodeAt(text, start, length);
        if (start + length != end || !isWhiteSpace(c))
            break;
        end = start;
    }
    return text.substr(begin, end - begin);
}

// Largest value first; buckets that tie keep their order of creation. A NaN value compares with
// nothing, so it stays where it was created and the buckets on either side of it are ordered apart.
void sortByValueDescending(std::vector<AllocationItem> &buckets)
{
    const auto larger = [](const AllocationItem &a, const AllocationItem &b) { return a.valueUsd > b.valueUsd; };
    auto segmentBegin = buckets.begin();
    for (auto it = buckets.begin(); it != buckets.end(); ++it) {
        if (std::isnan(it->valueUsd)) {
            std::stable_sort(segmentBegin, it, larger);
            segmentBegin = it + 1;
        }
    }
    std::stable_sort(segmentBegin, buckets.end(), larger);
}

std::vector<AllocationItem> allocate(const std::vector<AssetValuation> &positions, double total,
                                     std::string AssetValuation::*key)
{
    std::vector<AllocationItem> buckets;
    for (const AssetValuation &position : positions) {
        if (position.marketValueUsd <= 0)
            continue;
        const std::string_view label = trimWhiteSpace(position.*key);
        if (label.empty())
            continue;
        auto bucket = std::find_if(buckets.begin(), buckets.end(),
                                   [label](const AllocationItem &item) { return item.label == label; });
        if (bucket != buckets.end())
            bucket->valueUsd += position.marketValueUsd;
        else
            buckets.push_back(AllocationItem{std::string(label), position.marketValueUsd, 0.0});
    }
    for (AllocationItem &bucket : buckets)
        bucket.percentage = percentage(bucket.valueUsd, total);
    sortByValueDescending(buckets);
    return buckets;
}

AssetValuation value(const AssetInput &input)
{
    const double fx = input.fxToUsd > 0 ? input.fxToUsd : 1.0;
    const double q = clampAtZero(input.quantity);
    const double avg = clampAtZero(input.averagePrice);
    const double cur = clampAtZero(input.currentPrice);

    AssetValuation v{input.id,     input.market,       input.sector, input.subSector, input.code,
                     input.currency, input.broker,     input.averagePrice, q,        input.currentPrice,
                     fx};
    v.boughtCostLocal = avg * q;
    v.marketValueLocal = cur * q;
    v.boughtCostUsd = v.boughtCostLocal * fx;
    v.marketValueUsd = v.marketValueLocal * fx;
    v.netUsd = v.marketValueUsd - v.boughtCostUsd;
    v.changePercent = v.boughtCostUsd > 0 ? (v.netUsd / v.boughtCostUsd) * 100.0 : 0.0;
    v.holdPercent = 0.0;
    return v;
}

} // namespace

PortfolioSummary analyzePortfolio(const std::vector<AssetInput> &assets)
{
    PortfolioSummary summary;
    summary.positions.reserve(assets.size());
    for (const AssetInput &input : assets)
        summary.positions.push_back(value(input));

    double totalMarketValue = -0.0;
    double totalBoughtCost = -0.0;
    for (const AssetValuation &position : summary.positions)
        totalMarketValue += position.marketValueUsd;
    for (const AssetValuation &position : summary.positions)
        totalBoughtCost += position.boughtCostUsd;

    summary.totalMarketValueUsd = totalMarketValue;
    summary.totalBoughtCostUsd = totalBoughtCost;
    summary.totalNetUsd = totalMarketValue - totalBoughtCost;
    summary.totalReturnPercent = totalBoughtCost > 0 ? (summary.totalNetUsd / totalBoughtCost) * 100.0 : 0.0;

    for (AssetValuation &position : summary.positions)
        position.holdPercent = percentage(position.marketValueUsd, totalMarketValue);

    summary.byMarket = allocate(summary.positions, totalMarketValue, &AssetValuation::market);
    summary.bySector = allocate(summary.positions, totalMarketValue, &AssetValuation::sector);
    summary.byBroker = allocate(summary.positions, totalMarketValue, &AssetValuation::broker);
    return summary;
}

} // namespace quillfern
