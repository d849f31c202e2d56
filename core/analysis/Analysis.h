#pragma once

#include "core/analysis/PortfolioRecords.h"

#include <vector>

namespace quillfern {

// Values every position and the portfolio as a whole. Pure and total: any input, including an empty
// list or non-finite numbers, yields a summary.
PortfolioSummary analyzePortfolio(const std::vector<AssetInput> &assets);

} // namespace quillfern
