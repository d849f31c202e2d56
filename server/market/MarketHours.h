#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace quillfern::server::market {

// Whether a kept price of a listing in market, fetched at fetchedAt, is due to be asked for again at now
// (both seconds since the epoch). While the market trades (its regular session on a weekday, in its own
// time zone), every interval; once it has closed, once more after the close, for the closing price; a
// market whose hours are not known, every interval. Holidays are not known and count as weekdays.
bool refreshDue(const std::string &market, std::int64_t fetchedAt, std::int64_t now, std::chrono::seconds interval);

} // namespace quillfern::server::market
