#pragma once

#include "server/Combiner.h"
#include "server/Database.h"
#include "server/SessionCache.h"
#include "server/StoreError.h"

namespace quillfern::server {

// A sign-in between its start and the identity provider's answer, kept in the database so that any
// replica can finish it.
struct PendingSignIn {
    QString nonce;
    QString codeChallenge;
    QString redirectURI;
};

// Who a live access token belongs to, and how current that user's stored portfolio is.
struct SignedInUser {
    QString id;
    qint64 portfolioVersion = 0;
};

struct AccountUser {
    QString id;
    QString name;
    QString email;
    QString picture;
};

// Users, one-time sign-in codes and access tokens. Codes, states and tokens are stored only as SHA-256
// hashes, so the database holds nothing a client could present.
class AccountStore {
public:
    // sessionsKeptFor: how long a confirmed token may answer identityForToken() without the database, on
    // PostgreSQL while this replica hears other replicas' revocations; zero never.
    explicit AccountStore(Database &database,
                          std::chrono::milliseconds sessionsKeptFor = std::chrono::milliseconds::zero());
    ~AccountStore();

    StoreOutcome savePendingSignIn(const QString &stateHash, const PendingSignIn &pending, qint64 expiresAt);
    // Removes and returns it: a state is good for one answer.
    StoreResult<PendingSignIn> takePendingSignIn(const QString &stateHash, qint64 now);

    // The account of one identity (provider + subject), created on first sign-in, profile refreshed after.
    StoreResult<AccountUser> upsertUser(const QString &provider, const QString &subject, const QString &name,
                                        const QString &email, const QString &picture, qint64 now);

    StoreOutcome saveCode(const QString &codeHash, const QString &userID, const PendingSignIn &binding,
                          qint64 expiresAt);
    // Spends a code for a new access token when the verifier's challenge matches. A code presented a second
    // time revokes every token issued from it.
    StoreResult<AccountUser> redeemCode(const QString &codeHash, const QString &verifierChallenge,
                                        const QString &tokenHash, qint64 now, qint64 tokenExpiresAt);

    // The user a live token belongs to; Unauthorized when it is unknown, expired or revoked.
    StoreResult<SignedInUser> userForToken(const QString &tokenHash, qint64 now);
    // The same without the portfolio's version, for requests that need only to know who asks: answered from
    // the replica's recently confirmed tokens when it can.
    StoreResult<QString> identityForToken(const QString &tokenHash, qint64 now);
    // Revokes the token here and on every replica's cache.
    StoreOutcome revokeToken(const QString &tokenHash);

private:
    struct TokenLookup {
        QString tokenHash;
        qint64 now;
        std::optional<StoreResult<SignedInUser>> user;
        qint64 expiresAt = 0; // of a live token
    };

    // One token's row, its query shared with concurrent lookups on PostgreSQL.
    TokenLookup lookUpToken(const QString &tokenHash, qint64 now);
    // One query for the tokens of every lookup in the batch; each gets its row or "unknown".
    void lookUpTokens(const std::vector<TokenLookup *> &lookups);

    Database &m_database;
    // On PostgreSQL, concurrent requests share one round trip for their token checks: a query each kept as
    // many server processes busy as there were requests, and on few cores some answers waited a second.
    Combiner<TokenLookup> m_tokenLookups;
    SessionCache m_sessions;
    std::unique_ptr<SessionWatch> m_sessionWatch;
};

} // namespace quillfern::server
