#pragma once

// The records that cross the analysis core's boundary. Field order is part of the interface.
// Texts are UTF-8; "Local" amounts are in the position's currency, "Usd" amounts in US dollars,
// percents on the 0-100 scale.

#include <string>
#include <vector>

namespace quillfern {

struct AssetInput {
    std::string id;
    std::string market;
    std::string sector;
    std::string subSector;
    std::string code;
    std::string currency;
    std::string broker;
    double averagePrice = 0;
    double quantity = 0;
    double currentPrice = 0;
    double fxToUsd = 0;

    bool operator==(const AssetInput &) const = default;
};

struct AssetValuation {
    std::string id;
    std::string market;
    std::string sector;
    std::string subSector;
    std::string code;
    std::string currency;
    std::string broker;
    double averagePrice = 0;
    double quantity = 0;
    double currentPrice = 0;
    double fxToUsd = 0;
    double boughtCostLocal = 0;
    double marketValueLocal = 0;
    double boughtCostUsd = 0;
    double marketValueUsd = 0;
    double netUsd = 0;
    double changePercent = 0;
    double holdPercent = 0;

    bool operator==(const AssetValuation &) const = default;
};

struct AllocationItem {
    std::string label;
    double valueUsd = 0;
    double percentage = 0;

    bool operator==(const AllocationItem &) const = default;
};

struct PortfolioSummary {
    double totalMarketValueUsd = 0;
    double totalBoughtCostUsd = 0;
    double totalNetUsd = 0;
    double totalReturnPercent = 0;
    std::vector<AssetValuation> positions;
    std::vector<AllocationItem> byMarket;
    std::vector<AllocationItem> bySector;
    std::vector<AllocationItem> byBroker;

    bool operator==(const PortfolioSummary &) const = default;
};

} // namespace quillfern
