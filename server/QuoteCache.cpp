#include "server/QuoteCache.h"

#include "server/Database.h"

namespace quillfern::server {

std::optional<std::pair<Quote, std::int64_t>> QuoteCache::load(const std::string &market, const std::string &symbol)
{
    Statement row(m_database.connection(),
                  QStringLiteral("SELECT price, currency, as_of, source, fetched_at FROM quote_cache "
                                 "WHERE market = ? AND symbol = ?"),
                  {QString::fromStdString(market), QString::fromStdString(symbol)});
    if (!row.next())
        return std::nullopt;
    return std::pair{
        Quote{row.number(0), row.text(1).toStdString(), row.text(2).toStdString(), row.text(3).toStdString()},
        row.integer(4)};
}

void QuoteCache::save(const std::string &market, const std::string &symbol, const Quote &quote, std::int64_t fetchedAt)
{
    WriteTransaction transaction(m_database);
    if (!transaction.begun())
        return;
    const Statement upsert(
        transaction.connection(),
        QStringLiteral("INSERT INTO quote_cache (market, symbol, price, currency, as_of, source, fetched_at) "
                       "VALUES (?, ?, ?, ?, ?, ?, ?) ON CONFLICT (market, symbol) DO UPDATE SET "
                       "price = excluded.price, currency = excluded.currency, as_of = excluded.as_of, "
                       "source = excluded.source, fetched_at = excluded.fetched_at"),
        {QString::fromStdString(market), QString::fromStdString(symbol), quote.price,
         QString::fromStdString(quote.currency), QString::fromStdString(quote.asOf),
         QString::fromStdString(quote.source), qint64(fetchedAt)});
    if (upsert.ok())
        transaction.commit();
}

} // namespace quillfern::server
