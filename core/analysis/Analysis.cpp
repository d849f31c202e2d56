#include "core/analysis/Analysis.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string_view>

namespace quillfern {
namespace {

// max(x, 0) that also maps NaN to 0.
double clampAtZero(double x)
{
    return x > 0 ? x : 0.0;
}

double percentage(double part, double total)
{
    return total > 0 ? (part / total) * 100.0 : 0.0;
}

// Code points with the Unicode White_Space property.
bool isWhiteSpace(char32_t c)
{
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
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

// One allocation under construction: buckets in order of creation, found by a linear scan (there are
// few distinct markets, sectors and brokers).
class Allocation {
public:
    explicit Allocation(std::string AssetValuation::*key) : m_key(key) {}

    void add(const AssetValuation &position)
    {
        if (position.marketValueUsd <= 0)
            return;
        const std::string_view label = trimWhiteSpace(position.*m_key);
        if (label.empty())
            return;
        auto bucket = std::find_if(m_buckets.begin(), m_buckets.end(),
                                   [label](const AllocationItem &item) { return item.label == label; });
        if (bucket != m_buckets.end())
            bucket->valueUsd += position.marketValueUsd;
        else
            m_buckets.push_back(AllocationItem{std::string(label), position.marketValueUsd, 0.0});
    }

    // Percentages against the whole portfolio, so skipped positions still weigh in the denominator.
    std::vector<AllocationItem> finish(double total)
    {
        for (AllocationItem &bucket : m_buckets)
            bucket.percentage = percentage(bucket.valueUsd, total);
        sortByValueDescending(m_buckets);
        return std::move(m_buckets);
    }

private:
    std::string AssetValuation::*m_key;
    std::vector<AllocationItem> m_buckets;
};

AssetValuation value(const AssetInput &input)
{
    const double fx = input.fxToUsd > 0 ? input.fxToUsd : 1.0;
    const double q = clampAtZero(input.quantity);
    const double avg = clampAtZero(input.averagePrice);
    const double cur = clampAtZero(input.currentPrice);

    AssetValuation v{input.id,
                     input.market,
                     input.sector,
                     input.subSector,
                     input.code,
                     input.currency,
                     input.broker,
                     input.averagePrice,
                     q,
                     input.currentPrice,
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

    // Each sum starts from negative zero and adds from first to last, so an empty portfolio sums to -0.
    double totalMarketValue = -0.0;
    double totalBoughtCost = -0.0;
    for (const AssetValuation &position : summary.positions) {
        totalMarketValue += position.marketValueUsd;
        totalBoughtCost += position.boughtCostUsd;
    }

    summary.totalMarketValueUsd = totalMarketValue;
    summary.totalBoughtCostUsd = totalBoughtCost;
    summary.totalNetUsd = totalMarketValue - totalBoughtCost;
    summary.totalReturnPercent = totalBoughtCost > 0 ? (summary.totalNetUsd / totalBoughtCost) * 100.0 : 0.0;

    // Weights and the three allocations share one pass over the positions; every bucket still adds its
    // positions in list order, so the figures are those of three separate passes.
    Allocation byMarket(&AssetValuation::market);
    Allocation bySector(&AssetValuation::sector);
    Allocation byBroker(&AssetValuation::broker);
    for (AssetValuation &position : summary.positions) {
        position.holdPercent = percentage(position.marketValueUsd, totalMarketValue);
        byMarket.add(position);
        bySector.add(position);
        byBroker.add(position);
    }
    summary.byMarket = byMarket.finish(totalMarketValue);
    summary.bySector = bySector.finish(totalMarketValue);
    summary.byBroker = byBroker.finish(totalMarketValue);
    return summary;
}

} // namespace quillfern
