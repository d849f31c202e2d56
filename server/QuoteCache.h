#pragma once

#include "server/market/QuoteSources.h"

namespace quillfern::server {

class Database;

// The quote_cache table as the quote chain's store. A store that cannot be read or written is as good as
// empty: prices are then asked of the sources, as without one.
class QuoteCache : public QuoteStore {
public:
    explicit QuoteCache(Database &database) : m_database(database) {}

    std::optional<std::pair<Quote, std::int64_t>> load(const std::string &market, const std::string &symbol) override;
    void save(const std::string &market, const std::string &symbol, const Quote &quote,
              std::int64_t fetchedAt) override;

private:
    Database &m_database;
};

} // namespace quillfern::server
