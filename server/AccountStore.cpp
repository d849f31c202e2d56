#include "server/AccountStore.h"

#include "core/PortfolioRows.h"
#include "server/PostgresStatement.h"
#include "server/Security.h"

namespace quillfern::server {
namespace {

StoreError badRequest(QString message)
{
    return StoreError{StoreError::Kind::BadRequest, std::move(message), {}, {}};
}

} // namespace

StoreOutcome AccountStore::savePendingSignIn(const QString &stateHash, const PendingSignIn &pending, qint64 expiresAt)
{
    QSqlDatabase connection = m_database.connection();
    // Stale requests are swept as new ones arrive, so the table stays small without a janitor.
    const Statement sweep(connection, QStringLiteral("DELETE FROM sign_in_requests WHERE expires_at < ?"),
                          {expiresAt - 3600});
    const Statement insert(
        connection,
        QStringLiteral("INSERT INTO sign_in_requests (state_hash, nonce, code_challenge, redirect_uri, "
                       "expires_at) VALUES (?, ?, ?, ?, ?)"),
        {stateHash, pending.nonce, pending.codeChallenge, pending.redirectURI, expiresAt});
    if (!sweep.ok() || !insert.ok())
        return StoreError::unavailable(insert.error());
    return std::nullopt;
}

StoreResult<PendingSignIn> AccountStore::takePendingSignIn(const QString &stateHash, qint64 now)
{
    WriteTransaction transaction(m_database);
    if (!transaction.begun())
        return StoreError::unavailable(QStringLiteral("cannot begin reading a sign-in"));
    Statement row(transaction.connection(),
                  QStringLiteral("SELECT nonce, code_challenge, redirect_uri, expires_at FROM sign_in_requests "
                                 "WHERE state_hash = ?"),
                  {stateHash});
    if (!row.ok())
        return StoreError::unavailable(row.error());
    if (!row.next())
        return badRequest(QStringLiteral("This sign-in is unknown or was already finished. Start again from the app."));
    const PendingSignIn pending{row.text(0), row.text(1), row.text(2)};
    const qint64 expiresAt = row.integer(3);
    const Statement remove(transaction.connection(),
                           QStringLiteral("DELETE FROM sign_in_requests WHERE state_hash = ?"), {stateHash});
    if (!remove.ok() || !transaction.commit())
        return StoreError::unavailable(remove.error());
    if (expiresAt < now)
        return badRequest(QStringLiteral("This sign-in took too long. Start again from the app."));
    return pending;
}

StoreResult<AccountUser> AccountStore::upsertUser(const QString &provider, const QString &subject, const QString &name,
                                                  const QString &email, const QString &picture, qint64 now)
{
    WriteTransaction transaction(m_database);
    if (!transaction.begun())
        return StoreError::unavailable(QStringLiteral("cannot begin the account update"));
    QSqlDatabase connection = transaction.connection();
    Statement existing(connection, QStringLiteral("SELECT id FROM users WHERE provider = ? AND subject = ?"),
                       {provider, subject});
    if (!existing.ok())
        return StoreError::unavailable(existing.error());
    AccountUser user{existing.next() ? existing.text(0) : QString(), name, email, picture};
    if (user.id.isEmpty()) {
        user.id = newRowID();
        const Statement insert(
            connection,
            QStringLiteral("INSERT INTO users (id, provider, subject, name, email, picture, created_at) "
                           "VALUES (?, ?, ?, ?, ?, ?, ?)"),
            {user.id, provider, subject, name, email, picture, now});
        if (!insert.ok())
            return StoreError::unavailable(insert.error());
    } else {
        const Statement update(connection,
                               QStringLiteral("UPDATE users SET name = ?, email = ?, picture = ? WHERE id = ?"),
                               {name, email, picture, user.id});
        if (!update.ok())
            return StoreError::unavailable(update.error());
    }
    if (!transaction.commit())
        return StoreError::unavailable(QStringLiteral("the account update did not commit"));
    return user;
}

StoreOutcome AccountStore::saveCode(const QString &codeHash, const QString &userID, const PendingSignIn &binding,
                                    qint64 expiresAt)
{
    const Statement insert(m_database.connection(),
                           QStringLiteral("INSERT INTO auth_codes (code_hash, user_id, code_challenge, redirect_uri, "
                                          "expires_at, used) VALUES (?, ?, ?, ?, ?, 0)"),
                           {codeHash, userID, binding.codeChallenge, binding.redirectURI, expiresAt});
    if (!insert.ok())
        return StoreError::unavailable(insert.error());
    return std::nullopt;
}

StoreResult<AccountUser> AccountStore::redeemCode(const QString &codeHash, const QString &verifierChallenge,
                                                  const QString &tokenHash, qint64 now, qint64 tokenExpiresAt)
{
    WriteTransaction transaction(m_database);
    if (!transaction.begun())
        return StoreError::unavailable(QStringLiteral("cannot begin the code exchange"));
    QSqlDatabase connection = transaction.connection();
    Statement code(
        connection,
        QStringLiteral("SELECT c.user_id, c.code_challenge, c.expires_at, c.used, u.name, u.email, u.picture "
                       "FROM auth_codes c JOIN users u ON u.id = c.user_id WHERE c.code_hash = ?"),
        {codeHash});
    if (!code.ok())
        return StoreError::unavailable(code.error());
    if (!code.next())
        return badRequest(QStringLiteral("The sign-in code is not valid."));
    const AccountUser user{code.text(0), code.text(4), code.text(5), code.text(6)};
    const QString challenge = code.text(1);
    const qint64 expiresAt = code.integer(2);
    const bool used = code.integer(3) != 0;

    if (used) {
        // A replayed code may have been intercepted: whatever was issued from it stops working.
        const Statement revoke(connection, QStringLiteral("UPDATE sessions SET revoked = 1 WHERE code_hash = ?"),
                               {codeHash});
        if (!revoke.ok())
            return StoreError::unavailable(revoke.error());
        // The revoked tokens are not known here by hash: every replica forgets every token it holds.
        if (m_database.dialect() == Dialect::PostgreSQL) {
            const Statement tell(connection, QStringLiteral("SELECT pg_notify(?, ?)"),
                                 {QString::fromLatin1(SessionCache::channel),
                                  QString::fromLatin1(SessionCache::everyToken)});
            if (!tell.ok())
                return StoreError::unavailable(tell.error());
        }
        if (!transaction.commit())
            return StoreError::unavailable(revoke.error());
        m_sessions.forgetAll();
        return badRequest(QStringLiteral("The sign-in code was already used."));
    }
    const Statement spend(connection, QStringLiteral("UPDATE auth_codes SET used = 1 WHERE code_hash = ?"), {codeHash});
    if (!spend.ok())
        return StoreError::unavailable(spend.error());
    std::optional<StoreError> refusal;
    if (expiresAt < now)
        refusal = badRequest(QStringLiteral("The sign-in code has expired. Sign in again."));
    else if (!constantTimeEquals(challenge.toLatin1(), verifierChallenge.toLatin1()))
        refusal = badRequest(QStringLiteral("The sign-in code does not match this app's request."));
    if (!refusal) {
        const Statement session(connection,
                                QStringLiteral("INSERT INTO sessions (token_hash, user_id, code_hash, created_at, "
                                               "expires_at, revoked) VALUES (?, ?, ?, ?, ?, 0)"),
                                {tokenHash, user.id, codeHash, now, tokenExpiresAt});
        if (!session.ok())
            return StoreError::unavailable(session.error());
    }
    if (!transaction.commit())
        return StoreError::unavailable(QStringLiteral("the code exchange did not commit"));
    if (refusal)
        return *refusal;
    return user;
}

AccountStore::AccountStore(Database &database, std::chrono::milliseconds sessionsKeptFor)
    : m_database(database), m_tokenLookups(32), m_sessions(sessionsKeptFor)
{
    // SQLite answers a token check from the same process's memory-mapped file; only a round trip to
    // PostgreSQL is worth saving.
    if (database.dialect() == Dialect::PostgreSQL && sessionsKeptFor > std::chrono::milliseconds::zero())
        m_sessionWatch = std::make_unique<SessionWatch>(database, m_sessions);
}

AccountStore::~AccountStore() = default;

StoreResult<QString> AccountStore::identityForToken(const QString &tokenHash, qint64 now)
{
    if (const auto known = m_sessions.find(tokenHash, now))
        return known->userID;
    const std::uint64_t stamp = m_sessions.stamp();
    TokenLookup lookup = lookUpToken(tokenHash, now);
    if (!*lookup.user)
        return lookup.user->error();
    m_sessions.store(tokenHash, SessionCache::Identity{(*lookup.user)->id, lookup.expiresAt}, stamp);
    return (*lookup.user)->id;
}

StoreResult<SignedInUser> AccountStore::userForToken(const QString &tokenHash, qint64 now)
{
    return std::move(*lookUpToken(tokenHash, now).user);
}

AccountStore::TokenLookup AccountStore::lookUpToken(const QString &tokenHash, qint64 now)
{
    TokenLookup lookup{tokenHash, now, std::nullopt};
    if (m_database.dialect() == Dialect::PostgreSQL)
        m_tokenLookups.submit(lookup, [this](const std::vector<TokenLookup *> &batch) { lookUpTokens(batch); });
    else
        lookUpTokens({&lookup});
    return lookup;
}

void AccountStore::lookUpTokens(const std::vector<TokenLookup *> &lookups)
{
    // A few list sizes only, each a statement prepared once per connection; the list is filled up with
    // repeats of its last token.
    QStringList tokens;
    for (const TokenLookup *lookup : lookups) {
        if (!tokens.contains(lookup->tokenHash))
            tokens.append(lookup->tokenHash);
    }
    qsizetype size = 1;
    while (size < tokens.size())
        size *= 2;
    const auto token = [&tokens](qsizetype i) { return tokens[std::min(i, tokens.size() - 1)]; };
    static const QString select = QStringLiteral(
        "SELECT s.token_hash, s.user_id, s.expires_at, s.revoked, u.portfolio_version "
        "FROM sessions s JOIN users u ON u.id = s.user_id WHERE s.token_hash IN (%1)");

    struct Row {
        QString tokenHash;
        QString userID;
        qint64 expiresAt;
        bool revoked;
        qint64 portfolioVersion;
    };
    std::vector<Row> rows;
    QString failure;
    if (m_database.dialect() == Dialect::PostgreSQL) {
        // Every request pays for this one: it goes through the extended protocol (see PostgresStatement).
        QStringList placeholders;
        std::vector<QByteArray> values;
        for (qsizetype i = 0; i < size; ++i) {
            placeholders.append(QLatin1Char('$') + QString::number(i + 1));
            values.push_back(token(i).toLatin1());
        }
        const QByteArray name = "quillfern_tokens_" + QByteArray::number(size);
        const auto found = PostgresStatement::run(m_database.connection(), name.constData(),
                                                  select.arg(placeholders.join(QLatin1Char(','))).toUtf8(), values,
                                                  failure);
        for (const auto &row : found.value_or(PostgresStatement::Rows{}))
            rows.push_back(Row{QString::fromLatin1(row[0]), QString::fromUtf8(row[1]), row[2].toLongLong(),
                               row[3].toLongLong() != 0, row[4].toLongLong()});
    } else {
        QVariantList values;
        for (qsizetype i = 0; i < size; ++i)
            values.append(token(i));
        Statement found(m_database.connection(),
                        select.arg(QStringList(size, QStringLiteral("?")).join(QLatin1Char(','))), values);
        while (found.next())
            rows.push_back(Row{found.text(0), found.text(1), found.integer(2), found.integer(3) != 0, found.integer(4)});
        if (!found.ok())
            failure = found.error();
    }
    if (!failure.isEmpty()) {
        const StoreError failed = StoreError::unavailable(failure);
        for (TokenLookup *lookup : lookups)
            lookup->user = failed;
        return;
    }
    for (const Row &row : rows) {
        for (TokenLookup *lookup : lookups) {
            if (!row.revoked && row.expiresAt >= lookup->now && lookup->tokenHash == row.tokenHash) {
                lookup->user = SignedInUser{row.userID, row.portfolioVersion};
                lookup->expiresAt = row.expiresAt;
            }
        }
    }
    for (TokenLookup *lookup : lookups) {
        if (!lookup->user)
            lookup->user =
                StoreError{StoreError::Kind::Unauthorized, QStringLiteral("Sign in again: your session has ended."), {}, {}};
    }
}

StoreOutcome AccountStore::revokeToken(const QString &tokenHash)
{
    m_sessions.forget(tokenHash);
    const Statement revoke(m_database.connection(),
                           QStringLiteral("UPDATE sessions SET revoked = 1 WHERE token_hash = ?"), {tokenHash});
    if (!revoke.ok())
        return StoreError::unavailable(revoke.error());
    m_sessions.forget(tokenHash); // a check that read the token before the update may have kept it meanwhile
    if (m_database.dialect() == Dialect::PostgreSQL) {
        // Every replica forgets it; one that misses the message holds it for the cache's time limit at most.
        const Statement tell(m_database.connection(), QStringLiteral("SELECT pg_notify(?, ?)"),
                             {QString::fromLatin1(SessionCache::channel), tokenHash});
    }
    return std::nullopt;
}

} // namespace quillfern::server
