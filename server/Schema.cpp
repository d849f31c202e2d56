#include "server/Schema.h"

#include "server/Database.h"

#include <QDateTime>
#include <QSqlError>
#include <QStringList>

namespace quillfern::server {
namespace {

struct Migration {
    int version;
    QStringList statements;
};

// Types and statements both engines read alike: TEXT, BIGINT, DOUBLE PRECISION, INTEGER flags.
QList<Migration> migrations()
{
    return {
        {1,
         {
             QStringLiteral(
                 "CREATE TABLE users (id TEXT PRIMARY KEY, provider TEXT NOT NULL, subject TEXT NOT NULL, "
                 "name TEXT NOT NULL, email TEXT NOT NULL, picture TEXT NOT NULL, created_at BIGINT NOT NULL, "
                 "UNIQUE (provider, subject))"),
             QStringLiteral(
                 "CREATE TABLE sessions (token_hash TEXT PRIMARY KEY, user_id TEXT NOT NULL REFERENCES users(id), "
                 "code_hash TEXT NOT NULL, created_at BIGINT NOT NULL, expires_at BIGINT NOT NULL, "
                 "revoked INTEGER NOT NULL DEFAULT 0)"),
             QStringLiteral("CREATE INDEX sessions_by_code ON sessions (code_hash)"),
             QStringLiteral("CREATE TABLE sign_in_requests (state_hash TEXT PRIMARY KEY, nonce TEXT NOT NULL, "
                            "code_challenge TEXT NOT NULL, redirect_uri TEXT NOT NULL, expires_at BIGINT NOT NULL)"),
             QStringLiteral(
                 "CREATE TABLE auth_codes (code_hash TEXT PRIMARY KEY, user_id TEXT NOT NULL REFERENCES users(id), "
                 "code_challenge TEXT NOT NULL, redirect_uri TEXT NOT NULL, expires_at BIGINT NOT NULL, "
                 "used INTEGER NOT NULL DEFAULT 0)"),
             QStringLiteral(
                 "CREATE TABLE holdings (user_id TEXT NOT NULL REFERENCES users(id), position INTEGER NOT NULL, "
                 "id TEXT NOT NULL, market TEXT NOT NULL, sector TEXT NOT NULL, sub_sector TEXT NOT NULL, "
                 "code TEXT NOT NULL, currency TEXT NOT NULL, broker TEXT NOT NULL, "
                 "average_price DOUBLE PRECISION NOT NULL, quantity DOUBLE PRECISION NOT NULL, "
                 "current_price DOUBLE PRECISION NOT NULL, fx_to_usd DOUBLE PRECISION NOT NULL, "
                 "note TEXT NOT NULL, PRIMARY KEY (user_id, id))"),
             QStringLiteral("CREATE TABLE cash_balances (user_id TEXT NOT NULL REFERENCES users(id), "
                            "position INTEGER NOT NULL, id TEXT NOT NULL, broker TEXT NOT NULL, "
                            "original_cash DOUBLE PRECISION NOT NULL, currency TEXT NOT NULL, "
                            "fx_to_usd DOUBLE PRECISION NOT NULL, note TEXT NOT NULL, PRIMARY KEY (user_id, id))"),
             QStringLiteral("CREATE TABLE transactions (user_id TEXT NOT NULL REFERENCES users(id), id TEXT NOT NULL, "
                            "broker TEXT NOT NULL, market TEXT NOT NULL, code TEXT NOT NULL, "
                            "transaction_type TEXT NOT NULL, quantity DOUBLE PRECISION NOT NULL, "
                            "price DOUBLE PRECISION NOT NULL, commission DOUBLE PRECISION NOT NULL, "
                            "currency TEXT NOT NULL, sector TEXT NOT NULL, sub_sector TEXT NOT NULL, "
                            "traded_at TEXT NOT NULL, traded_at_ms BIGINT NOT NULL, reason TEXT NOT NULL, "
                            "sequence BIGINT NOT NULL, PRIMARY KEY (user_id, id))"),
             QStringLiteral("CREATE INDEX transactions_newest_first ON transactions (user_id, traded_at_ms, sequence)"),
             QStringLiteral("CREATE TABLE brokerages (id TEXT PRIMARY KEY, user_id TEXT REFERENCES users(id), "
                            "name TEXT NOT NULL, region TEXT NOT NULL, position INTEGER NOT NULL)"),
             QStringLiteral("CREATE INDEX brokerages_by_user ON brokerages (user_id)"),
             QStringLiteral("CREATE TABLE currencies (code TEXT PRIMARY KEY, name TEXT NOT NULL, symbol TEXT NOT NULL, "
                            "flag TEXT NOT NULL, fx_to_usd DOUBLE PRECISION NOT NULL, position INTEGER NOT NULL, "
                            "rates_date TEXT NOT NULL)"),
             QStringLiteral(
                 "INSERT INTO brokerages (id, user_id, name, region, position) VALUES "
                 "('std-snowball', NULL, 'Snowball', 'CN', 1), ('std-futu', NULL, 'Futu', 'HK', 2), "
                 "('std-hafoo', NULL, 'Hafoo', 'HK', 3), ('std-ibkr', NULL, 'IBKR', 'US', 4), "
                 "('std-tiger', NULL, 'Tiger', 'SG', 5), ('std-sea', NULL, 'Sea', 'HK', 6), "
                 "('std-schwab', NULL, 'Charles Schwab', 'US', 7), ('std-fidelity', NULL, 'Fidelity', 'US', 8), "
                 "('std-saxo', NULL, 'Saxo', 'EU', 9)"),
             QStringLiteral("INSERT INTO currencies (code, name, symbol, flag, fx_to_usd, position, rates_date) VALUES "
                            "('USD', 'US Dollar', '$', '\U0001F1FA\U0001F1F8', 1.0, 1, 'seed'), "
                            "('HKD', 'Hong Kong Dollar', 'HK$', '\U0001F1ED\U0001F1F0', 0.127618574, 2, 'seed'), "
                            "('CNY', 'Chinese Yuan', 'CN\u00A5', '\U0001F1E8\U0001F1F3', 0.138, 3, 'seed'), "
                            "('JPY', 'Japanese Yen', '\u00A5', '\U0001F1EF\U0001F1F5', 0.0064, 4, 'seed'), "
                            "('EUR', 'Euro', '\u20AC', '\U0001F1EA\U0001F1FA', 1.08, 5, 'seed'), "
                            "('GBP', 'British Pound', '\u00A3', '\U0001F1EC\U0001F1E7', 1.26, 6, 'seed'), "
                            "('SGD', 'Singapore Dollar', 'S$', '\U0001F1F8\U0001F1EC', 0.74, 7, 'seed'), "
                            "('AUD', 'Australian Dollar', 'A$', '\U0001F1E6\U0001F1FA', 0.66, 8, 'seed'), "
                            "('CAD', 'Canadian Dollar', 'C$', '\U0001F1E8\U0001F1E6', 0.73, 9, 'seed'), "
                            "('CHF', 'Swiss Franc', 'CHF', '\U0001F1E8\U0001F1ED', 1.13, 10, 'seed'), "
                            "('KRW', 'South Korean Won', '\u20A9', '\U0001F1F0\U0001F1F7', 0.00072, 11, 'seed')"),
         }},
        {2,
         {
             // Lets any replica tell whether a portfolio it answered before is still current.
             QStringLiteral("ALTER TABLE users ADD COLUMN portfolio_version BIGINT NOT NULL DEFAULT 0"),
         }},
        {3,
         {
             // What a saved row's content hashes to, so a save finds the rows that changed without reading
             // them back; empty means unknown, and the next save writes the row.
             QStringLiteral("ALTER TABLE holdings ADD COLUMN fingerprint TEXT NOT NULL DEFAULT ''"),
             QStringLiteral("ALTER TABLE cash_balances ADD COLUMN fingerprint TEXT NOT NULL DEFAULT ''"),
         }},
        {4,
         {
             // A trade's Idempotency-Key, written with the trade it booked, so a retried post books nothing
             // twice; fingerprint hashes the request, which a reuse of the key must repeat.
             QStringLiteral("CREATE TABLE request_keys (user_id TEXT NOT NULL REFERENCES users(id), "
                            "request_key TEXT NOT NULL, fingerprint TEXT NOT NULL, transaction_id TEXT NOT NULL, "
                            "created_at BIGINT NOT NULL, PRIMARY KEY (user_id, request_key))"),
         }},
        {5,
         {
             // The reference rates of each day they were published for, kept as they arrive.
             QStringLiteral("CREATE TABLE currency_rates (code TEXT NOT NULL, rates_date TEXT NOT NULL, "
                            "usd_per_unit DOUBLE PRECISION NOT NULL, PRIMARY KEY (code, rates_date))"),
             // The latest live price of each listing asked for, shared by every replica: as_of is when the
             // source priced it (ISO 8601 UTC, empty when it did not say), fetched_at when it was asked.
             QStringLiteral("CREATE TABLE quote_cache (market TEXT NOT NULL, symbol TEXT NOT NULL, "
                            "price DOUBLE PRECISION NOT NULL, currency TEXT NOT NULL, as_of TEXT NOT NULL, "
                            "source TEXT NOT NULL, fetched_at BIGINT NOT NULL, PRIMARY KEY (market, symbol))"),
         }},
        {6,
         {
             // Transactions beyond trades: cash amounts, split ratios, whether a trade moved cash, the day's
             // rates it was booked at (0: not known), and what each sale realised and against which cost.
             QStringLiteral("ALTER TABLE transactions ADD COLUMN amount DOUBLE PRECISION NOT NULL DEFAULT 0"),
             QStringLiteral("ALTER TABLE transactions ADD COLUMN split_ratio DOUBLE PRECISION NOT NULL DEFAULT 0"),
             QStringLiteral("ALTER TABLE transactions ADD COLUMN settles_in_cash INTEGER NOT NULL DEFAULT 1"),
             QStringLiteral("ALTER TABLE transactions ADD COLUMN fx_to_usd DOUBLE PRECISION NOT NULL DEFAULT 0"),
             QStringLiteral("ALTER TABLE transactions ADD COLUMN to_market DOUBLE PRECISION NOT NULL DEFAULT 1"),
             QStringLiteral("ALTER TABLE transactions ADD COLUMN realized_gain DOUBLE PRECISION"),
             QStringLiteral("ALTER TABLE transactions ADD COLUMN realized_gain_usd DOUBLE PRECISION"),
             QStringLiteral("ALTER TABLE transactions ADD COLUMN sold_against DOUBLE PRECISION"),
             // Per position and cash row: what the user last typed and from which entry on the ledger applies
             // on top (since_sequence; NULL when the row exists through the ledger alone), and what the last
             // replay left in the table (NULL: no row). Keys are normalised as the replay compares them.
             QStringLiteral("CREATE TABLE ledger_rows (user_id TEXT NOT NULL REFERENCES users(id), kind TEXT NOT NULL, "
                            "broker TEXT NOT NULL, market TEXT NOT NULL, code TEXT NOT NULL, since_sequence BIGINT, "
                            "opening_quantity DOUBLE PRECISION NOT NULL, opening_average DOUBLE PRECISION NOT NULL, "
                            "result_quantity DOUBLE PRECISION, result_average DOUBLE PRECISION, "
                            "PRIMARY KEY (user_id, kind, broker, market, code))"),
         }},
        {7,
         {
             // Daily closes of listings, shared by every account, as the history source published them; and
             // when each listing's history was last asked for, so it is asked at most once a day.
             QStringLiteral("CREATE TABLE price_history (market TEXT NOT NULL, symbol TEXT NOT NULL, day TEXT NOT NULL, "
                            "close DOUBLE PRECISION NOT NULL, PRIMARY KEY (market, symbol, day))"),
             QStringLiteral("CREATE TABLE history_fetches (market TEXT NOT NULL, symbol TEXT NOT NULL, "
                            "asked_on TEXT NOT NULL, since TEXT NOT NULL, PRIMARY KEY (market, symbol))"),
         }},
        {8,
         {
             // Each file a user imported, by the SHA-256 of its bytes, with what it booked: the same file sent
             // again books nothing and answers the same counts.
             QStringLiteral("CREATE TABLE transaction_imports (user_id TEXT NOT NULL REFERENCES users(id), "
                            "content_hash TEXT NOT NULL, file_name TEXT NOT NULL, imported_at BIGINT NOT NULL, "
                            "imported INTEGER NOT NULL, skipped INTEGER NOT NULL, PRIMARY KEY (user_id, content_hash))"),
         }},
    };
}

QString failure(const QString &what, const QSqlQuery &query)
{
    return what + QStringLiteral(": ") + query.lastError().text();
}

} // namespace

int latestSchemaVersion()
{
    return migrations().last().version;
}

std::optional<QString> applyMigrations(Database &database)
{
    QSqlDatabase connection = database.connection();
    QSqlQuery query(connection);
    const bool postgres = database.dialect() == Dialect::PostgreSQL;
    if (postgres && !query.exec(QStringLiteral("SELECT pg_advisory_lock(727001)")))
        return failure(QStringLiteral("Cannot take the migration lock"), query);
    const auto unlock = qScopeGuard([&] {
        if (postgres) {
            QSqlQuery release(connection);
            release.exec(QStringLiteral("SELECT pg_advisory_unlock(727001)"));
        }
    });

    if (!query.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS schema_migrations (version INTEGER PRIMARY KEY, "
                                   "applied_at BIGINT NOT NULL)")))
        return failure(QStringLiteral("Cannot create the migrations table"), query);
    int current = 0;
    if (!query.exec(QStringLiteral("SELECT COALESCE(MAX(version), 0) FROM schema_migrations")) || !query.next())
        return failure(QStringLiteral("Cannot read the schema version"), query);
    current = query.value(0).toInt();
    query.finish();
    if (current > latestSchemaVersion())
        return QStringLiteral("The database has schema version %1, newer than this service (%2).")
            .arg(current)
            .arg(latestSchemaVersion());

    for (const Migration &migration : migrations()) {
        if (migration.version <= current)
            continue;
        WriteTransaction transaction(database);
        if (!transaction.begun())
            return QStringLiteral("Cannot begin migration %1.").arg(migration.version);
        for (const QString &statement : migration.statements) {
            QSqlQuery step(connection);
            if (!step.exec(statement))
                return failure(QStringLiteral("Migration %1 failed").arg(migration.version), step);
        }
        const Statement record(connection,
                               QStringLiteral("INSERT INTO schema_migrations (version, applied_at) VALUES (?, ?)"),
                               {migration.version, QDateTime::currentSecsSinceEpoch()});
        if (!record.ok())
            return QStringLiteral("Cannot record migration %1: %2").arg(migration.version).arg(record.error());
        if (!transaction.commit())
            return QStringLiteral("Cannot commit migration %1.").arg(migration.version);
    }
    return std::nullopt;
}

} // namespace quillfern::server
