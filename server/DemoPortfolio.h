#pragma once

#include "core/Result.h"
#include "server/Database.h"

#include <QString>

namespace quillfern::server {

// What seeding left in the account.
struct DemoSeedOutcome {
    bool seeded = false; // false: the account already held a portfolio, which was left as it was
    QString userID;
    int holdings = 0;
    int cashBalances = 0;
    int transactions = 0;
};

// Gives the development account of email (the one the development sign-in creates for that address) a
// sample portfolio: about thirty holdings in five markets, cash at several brokers in several currencies and
// a few trades. The account is created when missing, so the first sign-in with that email finds it. An
// account that already holds anything is not touched, so running it twice changes nothing.
Result<DemoSeedOutcome, QString> seedDemoPortfolio(Database &database, const QString &email, qint64 now);

} // namespace quillfern::server
