#include "server/LedgerBookParts.h"

#include "core/PortfolioRows.h"

#include <QScopeGuard>

#include <sqlite3.h>

namespace quillfern::server::ledgerbook {

StoreOutcome Book::writeBack(const LedgerReport &report)
{
    if (auto failed = writePositions(report))
        return failed;
    if (auto failed = writeCash(report))
        return failed;
    if (auto failed = writeGains(report))
        return failed;
    return writeMarks();
}

StoreOutcome Book::writePositions(const LedgerReport &report)
{
    std::map<Key, const LedgerPosition *> replayed;
    for (const LedgerPosition &position : report.positions) {
        replayed[{position.broker, position.market, position.code}] = &position;
        m_positionMarks.try_emplace({position.broker, position.market, position.code});
    }
    std::map<Key, Current> current = currentRows(m_holdings, false);

    const auto remove = [this](const Row &row) -> StoreOutcome {
        const Statement gone(m_connection, QStringLiteral("DELETE FROM holdings WHERE user_id = ? AND id = ?"),
                             {m_user, row.id});
        return gone.ok() ? StoreOutcome() : StoreError::unavailable(gone.error());
    };
    for (auto &[key, mark] : m_positionMarks) {
        const auto found = replayed.find(key);
        const auto rows = current.find(key);
        if (found == replayed.end()) {
            if (rows == current.end()) {
                mark.dirty = mark.dirty || mark.resultQuantity.has_value();
                mark.resultQuantity.reset();
                mark.resultAverage.reset();
                continue;
            }
            // A row typed with nothing in it stays; one the ledger emptied goes, and lives on in the ledger.
            if (mark.since && mark.openingQuantity == 0 && same(rows->second.quantity, 0)) {
                mark.dirty = mark.dirty || !mark.resultQuantity || *mark.resultQuantity != rows->second.quantity ||
                             mark.resultAverage.value_or(0) != rows->second.average;
                mark.resultQuantity = rows->second.quantity;
                mark.resultAverage = rows->second.average;
                continue;
            }
            for (const Row &row : rows->second.rows) {
                if (auto failed = remove(row))
                    return failed;
            }
            mark.resultQuantity.reset();
            mark.resultAverage.reset();
            mark.dirty = true;
            continue;
        }
        const LedgerPosition &position = *found->second;
        if (rows != current.end()) {
            const Row &first = rows->second.rows.front();
            if (!same(rows->second.quantity, position.quantity) || !same(rows->second.average, position.averagePrice) ||
                rows->second.rows.size() > 1) {
                const Statement update(m_connection,
                                       QStringLiteral("UPDATE holdings SET quantity = ?, average_price = ?, "
                                                      "fingerprint = '' WHERE user_id = ? AND id = ?"),
                                       {position.quantity, position.averagePrice, m_user, first.id});
                if (!update.ok())
                    return StoreError::unavailable(update.error());
                for (std::size_t i = 1; i < rows->second.rows.size(); ++i) {
                    if (auto failed = remove(rows->second.rows[i]))
                        return failed;
                }
            }
        } else {
            // The latest trade of the position names it as the user typed it and says what it last cost.
            const Trade *latest = latestTrade(key, false);
            if (!latest)
                continue; // an opening row the user removed and the ledger never reached
            QString sector, subSector;
            {
                Statement named(m_connection,
                                QStringLiteral("SELECT sector, sub_sector FROM transactions WHERE user_id = ? AND id = ?"),
                                {m_user, latest->id});
                if (named.next()) {
                    sector = named.text(0);
                    subSector = named.text(1);
                }
            }
            for (const Row &row : m_holdings) {
                if (codeKey(row.market) == std::get<1>(key) && codeKey(row.code) == std::get<2>(key) &&
                    !row.sector.isEmpty()) {
                    sector = row.sector;
                    subSector = row.subSector;
                    break;
                }
            }
            const QString currency = CurrencyCatalog::currency(latest->market);
            const double price = latest->price > 0 ? latest->price * latest->toMarket : position.averagePrice;
            const Statement insert(
                m_connection,
                QStringLiteral("INSERT INTO holdings (user_id, position, id, market, sector, sub_sector, code, "
                               "currency, broker, average_price, quantity, current_price, fx_to_usd, note) "
                               "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                {m_user, ++m_lastPosition, newRowID(), latest->market, sector, subSector, latest->code, currency,
                 latest->broker, position.averagePrice, position.quantity, price, CurrencyCatalog::fxToUSD(currency),
                 QString()});
            if (!insert.ok())
                return StoreError::unavailable(insert.error());
        }
        mark.dirty = mark.dirty || !mark.resultQuantity || *mark.resultQuantity != position.quantity ||
                     mark.resultAverage.value_or(0) != position.averagePrice;
        mark.resultQuantity = position.quantity;
        mark.resultAverage = position.averagePrice;
    }
    return std::nullopt;
}

StoreOutcome Book::writeCash(const LedgerReport &report)
{
    std::map<Key, double> replayed;
    for (const LedgerCash &cash : report.cash)
        replayed[{cash.broker, std::string(), cash.currency}] = cash.amount;
    std::map<Key, Current> current = currentRows(m_cash, true);
    for (const auto &[key, amount] : replayed) {
        Mark &mark = m_cashMarks[key];
        const auto rows = current.find(key);
        if (rows != current.end()) {
            if (!same(rows->second.quantity, amount) || rows->second.rows.size() > 1) {
                const Statement update(m_connection,
                                       QStringLiteral("UPDATE cash_balances SET original_cash = ?, fingerprint = '' "
                                                      "WHERE user_id = ? AND id = ?"),
                                       {amount, m_user, rows->second.rows.front().id});
                if (!update.ok())
                    return StoreError::unavailable(update.error());
                for (std::size_t i = 1; i < rows->second.rows.size(); ++i) {
                    const Statement gone(m_connection,
                                         QStringLiteral("DELETE FROM cash_balances WHERE user_id = ? AND id = ?"),
                                         {m_user, rows->second.rows[i].id});
                    if (!gone.ok())
                        return StoreError::unavailable(gone.error());
                }
            }
        } else {
            // A balance of nothing is shown only where the user typed one.
            const Trade *latest = latestTrade(key, true);
            if (!latest || amount == 0) {
                mark.dirty = mark.dirty || mark.resultQuantity.has_value();
                mark.resultQuantity.reset();
                mark.resultAverage.reset();
                continue;
            }
            const Statement insert(
                m_connection,
                QStringLiteral("INSERT INTO cash_balances (user_id, position, id, broker, original_cash, currency, "
                               "fx_to_usd, note) VALUES (?, ?, ?, ?, ?, ?, ?, ?)"),
                {m_user, ++m_lastCashPosition, newRowID(), latest->broker, amount, latest->currency,
                 CurrencyCatalog::fxToUSD(latest->currency), QString()});
            if (!insert.ok())
                return StoreError::unavailable(insert.error());
        }
        mark.dirty = mark.dirty || !mark.resultQuantity || *mark.resultQuantity != amount;
        mark.resultQuantity = amount;
        mark.resultAverage = 0;
    }
    return std::nullopt;
}

// Each SELL keeps what it realised. One an opening row already counts was sold against the position's cost
// when it was last replayed, which stays its basis after a correction.
StoreOutcome Book::writeGains(const LedgerReport &report)
{
    std::vector<const Realisation *> realised(m_trades.size(), nullptr);
    for (const Realisation &r : report.realisations) {
        if (r.index < m_fed.size())
            realised[std::size_t(m_fed[r.index])] = &r;
    }
    for (std::size_t i = 0; i < m_trades.size(); ++i) {
        Trade &t = m_trades[i];
        std::optional<double> gain, gainUsd, basis;
        if (t.kind() != TransactionType::Sell) {
            // nothing realised: a correction may have turned a sale into something else
        } else if (const Realisation *r = realised[i]) {
            gain = r->gain / t.toMarket;
            gainUsd = r->gainUsd;
            basis = r->averagePrice;
        } else if (t.soldAgainst) {
            basis = t.soldAgainst;
            gain = (t.quantity * (t.price * t.toMarket - *basis) - t.commission * t.toMarket) / t.toMarket;
            gainUsd = *gain * t.fxToUsd;
        }
        const auto changed = [](const std::optional<double> &a, const std::optional<double> &b) {
            return a.has_value() != b.has_value() || (a && *a != *b);
        };
        if (!changed(gain, t.gain) && !changed(gainUsd, t.gainUsd) && !changed(basis, t.soldAgainst))
            continue;
        if (m_imported.contains(t.id)) { // not stored yet: written with the trade
            t.gain = gain;
            t.gainUsd = gainUsd;
            t.soldAgainst = basis;
            continue;
        }
        const Statement update(m_connection,
                               QStringLiteral("UPDATE transactions SET realized_gain = ?, realized_gain_usd = ?, "
                                              "sold_against = ? WHERE user_id = ? AND id = ?"),
                               {nullable(gain), nullable(gainUsd), nullable(basis), m_user, t.id});
        if (!update.ok())
            return StoreError::unavailable(update.error());
    }
    return std::nullopt;
}

StoreOutcome Book::writeMarks()
{
    const auto write = [this](const QString &kind, const std::map<Key, Mark> &marks) -> StoreOutcome {
        for (const auto &[key, mark] : marks) {
            if (!mark.dirty)
                continue;
            const Statement upsert(
                m_connection,
                QStringLiteral("INSERT INTO ledger_rows (user_id, kind, broker, market, code, since_sequence, "
                               "opening_quantity, opening_average, result_quantity, result_average) "
                               "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?) ON CONFLICT (user_id, kind, broker, market, code) "
                               "DO UPDATE SET since_sequence = excluded.since_sequence, "
                               "opening_quantity = excluded.opening_quantity, opening_average = excluded.opening_average, "
                               "result_quantity = excluded.result_quantity, result_average = excluded.result_average"),
                {m_user, kind, QString::fromStdString(std::get<0>(key)), QString::fromStdString(std::get<1>(key)),
                 QString::fromStdString(std::get<2>(key)),
                 mark.since ? QVariant(*mark.since) : QVariant(QMetaType(QMetaType::LongLong)), mark.openingQuantity,
                 mark.openingAverage, nullable(mark.resultQuantity), nullable(mark.resultAverage)});
            if (!upsert.ok())
                return StoreError::unavailable(upsert.error());
        }
        return std::nullopt;
    };
    if (auto failed = write(QStringLiteral("position"), m_positionMarks))
        return failed;
    return write(QStringLiteral("cash"), m_cashMarks);
}

StoreOutcome Book::writeTrade(const LedgerWrite &write)
{
    if (write.kind == LedgerWrite::Kind::Delete) {
        const Statement gone(m_connection, QStringLiteral("DELETE FROM transactions WHERE user_id = ? AND id = ?"),
                             {m_user, write.id});
        return gone.ok() ? StoreOutcome() : StoreError::unavailable(gone.error());
    }
    const auto found = std::find_if(m_trades.begin(), m_trades.end(), [&](const Trade &t) { return t.id == write.id; });
    if (write.kind == LedgerWrite::Kind::Create)
        return insertTrades({&*found});
    const Trade &t = *found;
    const QVariantList values{t.broker,     t.market,     t.code,      t.type,       t.quantity,  t.price,
                              t.commission, t.currency,   t.sector,    t.subSector,  t.tradedAt,  t.tradedAtMs,
                              t.reason,     t.amount,     t.splitRatio, t.settles ? 1 : 0, t.fxToUsd, t.toMarket,
                              t.sequence,   m_user,       t.id};
    const Statement row(
        m_connection,
        QStringLiteral("UPDATE transactions SET broker = ?, market = ?, code = ?, transaction_type = ?, "
                       "quantity = ?, price = ?, commission = ?, currency = ?, sector = ?, sub_sector = ?, "
                       "traded_at = ?, traded_at_ms = ?, reason = ?, amount = ?, split_ratio = ?, "
                       "settles_in_cash = ?, fx_to_usd = ?, to_market = ?, sequence = ? "
                       "WHERE user_id = ? AND id = ?"),
        values);
    return row.ok() ? StoreOutcome() : StoreError::unavailable(row.error());
}

// Many rows per statement: on PostgreSQL each statement is a round trip, which made a large import several
// times slower than its replay.
StoreOutcome Book::insertTrades(const std::vector<const Trade *> &trades)
{
    if (const auto direct = insertTradesDirectly(trades))
        return *direct;
    constexpr std::size_t perStatement = 400; // 24 values each, well inside both databases' limits
    static const QString prefix = QString::fromLatin1(kTradeInsert);
    static const QString tuple = QString::fromLatin1(kTradeRow);
    for (std::size_t first = 0; first < trades.size(); first += perStatement) {
        const std::size_t count = std::min(perStatement, trades.size() - first);
        QVariantList values;
        values.reserve(qsizetype(count) * 24);
        for (std::size_t i = first; i < first + count; ++i) {
            const Trade &t = *trades[i];
            values << t.broker << t.market << t.code << t.type << t.quantity << t.price << t.commission << t.currency
                   << t.sector << t.subSector << t.tradedAt << t.tradedAtMs << t.reason << t.amount << t.splitRatio
                   << (t.settles ? 1 : 0) << t.fxToUsd << t.toMarket << t.sequence << nullable(t.gain)
                   << nullable(t.gainUsd) << nullable(t.soldAgainst) << m_user << t.id;
        }
        const Statement rows(m_connection, prefix + QStringList(qsizetype(count), tuple).join(QLatin1Char(',')), values);
        if (!rows.ok())
            return StoreError::unavailable(rows.error());
    }
    return std::nullopt;
}

// On SQLite through the connection's own handle, as the ledger is read: Qt's driver makes a variant of every
// value and looks each parameter up again, which took a third of a large import. None when not on SQLite.
std::optional<StoreOutcome> Book::insertTradesDirectly(const std::vector<const Trade *> &trades)
{
    sqlite3 *db = sqliteHandle(m_connection);
    if (!db)
        return std::nullopt;
    static const std::string insert = std::string(kTradeInsert) + kTradeRow;
    sqlite3_stmt *statement = nullptr;
    if (sqlite3_prepare_v2(db, insert.c_str(), -1, &statement, nullptr) != SQLITE_OK)
        return StoreError::unavailable(QString::fromUtf8(sqlite3_errmsg(db)));
    const auto finish = qScopeGuard([statement] { sqlite3_finalize(statement); });
    // As UTF-8: bound as UTF-16, a leading U+FEFF is taken for a byte-order mark and dropped.
    const auto text = [statement](int column, const QString &value) {
        const QByteArray bytes = value.toUtf8();
        return sqlite3_bind_text(statement, column, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
    };
    const auto optional = [statement](int column, const std::optional<double> &value) {
        return value ? sqlite3_bind_double(statement, column, *value) : sqlite3_bind_null(statement, column);
    };
    for (const Trade *trade : trades) {
        const Trade &t = *trade;
        const int bound[] = {
            text(1, t.broker),          text(2, t.market),         text(3, t.code),
            text(4, t.type),            sqlite3_bind_double(statement, 5, t.quantity),
            sqlite3_bind_double(statement, 6, t.price), sqlite3_bind_double(statement, 7, t.commission),
            text(8, t.currency),        text(9, t.sector),         text(10, t.subSector),
            text(11, t.tradedAt),       sqlite3_bind_int64(statement, 12, t.tradedAtMs),
            text(13, t.reason),         sqlite3_bind_double(statement, 14, t.amount),
            sqlite3_bind_double(statement, 15, t.splitRatio), sqlite3_bind_int(statement, 16, t.settles ? 1 : 0),
            sqlite3_bind_double(statement, 17, t.fxToUsd), sqlite3_bind_double(statement, 18, t.toMarket),
            sqlite3_bind_int64(statement, 19, t.sequence), optional(20, t.gain),
            optional(21, t.gainUsd),    optional(22, t.soldAgainst), text(23, m_user),
            text(24, t.id)};
        const bool ok = std::all_of(std::begin(bound), std::end(bound), [](int code) { return code == SQLITE_OK; });
        if (!ok || sqlite3_step(statement) != SQLITE_DONE)
            return StoreError::unavailable(QString::fromUtf8(sqlite3_errmsg(db)));
        sqlite3_reset(statement);
    }
    return StoreOutcome();
}

} // namespace quillfern::server::ledgerbook
