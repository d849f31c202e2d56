#include "server/DemoPortfolio.h"

#include "core/CurrencyCatalog.h"
#include "server/AccountStore.h"
#include "server/PortfolioStore.h"
#include "server/market/QuoteSources.h"

#include <QDateTime>
#include <QFile>

namespace quillfern::server {
namespace {

struct DemoHolding {
    const char *market;
    const char *code;
    const char *sector;
    const char *subSector;
    const char *broker;
    double averagePrice;
    double quantity;
};

// Positions as they stood before the trades below; names are the GICS vocabulary the app offers.
constexpr DemoHolding demoHoldings[] = {
    {"US", "AAPL", "Information Technology", "Technology Hardware, Storage & Peripherals", "IBKR", 142.30, 120},
    {"US", "MSFT", "Information Technology", "Systems Software", "IBKR", 305.10, 45},
    {"US", "NVDA", "Information Technology", "Semiconductors", "IBKR", 48.75, 300},
    {"US", "GOOGL", "Communication Services", "Interactive Media & Services", "Charles Schwab", 128.40, 80},
    {"US", "AMZN", "Consumer Discretionary", "Broadline Retail", "Charles Schwab", 131.95, 70},
    {"US", "BRK.B", "Financials", "Multi-Sector Holdings", "Charles Schwab", 352.60, 25},
    {"US", "V", "Financials", "Transaction & Payment Processing Services", "IBKR", 231.20, 40},
    {"US", "KO", "Consumer Staples", "Soft Drinks & Non-alcoholic Beverages", "Charles Schwab", 58.90, 150},
    {"HK", "0700", "Communication Services", "Interactive Media & Services", "Futu", 322.40, 400},
    {"HK", "9988", "Consumer Discretionary", "Broadline Retail", "Futu", 88.15, 1200},
    {"HK", "0005", "Financials", "Diversified Banks", "Tiger", 58.30, 2000},
    {"HK", "1299", "Financials", "Life & Health Insurance", "Futu", 71.85, 1400},
    {"HK", "0388", "Financials", "Financial Exchanges & Data", "Tiger", 268.00, 300},
    {"HK", "0941", "Communication Services", "Wireless Telecommunication Services", "Futu", 64.20, 1000},
    {"CN", "600519", "Consumer Staples", "Distillers & Vintners", "Snowball", 1710.00, 20},
    {"CN", "601318", "Financials", "Multi-line Insurance", "Snowball", 46.85, 1500},
    {"CN", "300750", "Industrials", "Electrical Components & Equipment", "Snowball", 172.40, 300},
    {"CN", "600036", "Financials", "Diversified Banks", "Snowball", 30.12, 2500},
    {"CN", "002594", "Consumer Discretionary", "Automobile Manufacturers", "Snowball", 231.60, 200},
    {"JP", "7203", "Consumer Discretionary", "Automobile Manufacturers", "Saxo", 2480, 500},
    {"JP", "6758", "Consumer Discretionary", "Consumer Electronics", "Saxo", 11350, 100},
    {"JP", "8306", "Financials", "Diversified Banks", "IBKR", 1190, 1500},
    {"JP", "6861", "Information Technology", "Electronic Equipment & Instruments", "Saxo", 64500, 20},
    {"JP", "7974", "Communication Services", "Interactive Home Entertainment", "IBKR", 7120, 200},
    {"EU", "SAP", "Information Technology", "Application Software", "Saxo", 139.80, 90},
    {"EU", "ASML", "Information Technology", "Semiconductor Materials & Equipment", "Saxo", 655.00, 20},
    {"EU", "MC", "Consumer Discretionary", "Apparel, Accessories & Luxury Goods", "Saxo", 802.40, 15},
    {"EU", "SIE", "Industrials", "Industrial Conglomerates", "IBKR", 151.25, 60},
    {"EU", "OR", "Consumer Staples", "Personal Care Products", "Saxo", 428.90, 25},
    {"EU", "TTE", "Energy", "Integrated Oil & Gas", "IBKR", 59.40, 200},
};

struct DemoCash {
    const char *broker;
    const char *currency;
    double amount;
};

// One row per broker and currency, as the balance page requires.
constexpr DemoCash demoCash[] = {
    {"IBKR", "USD", 12450.00},     {"IBKR", "EUR", 3200.00}, {"Charles Schwab", "USD", 8075.50},
    {"Futu", "HKD", 56300.00},     {"Futu", "USD", 1520.00}, {"Tiger", "HKD", 18250.00},
    {"Snowball", "CNY", 42180.00}, {"Saxo", "EUR", 6840.00}, {"Saxo", "JPY", 452000},
};

struct DemoTrade {
    int daysAgo;
    const char *broker;
    const char *market;
    const char *code;
    const char *type;
    double quantity;
    double price;
    double commission;
    const char *reason;
};

// Oldest first; every one lands on a position above, in its market's currency.
constexpr DemoTrade demoTrades[] = {
    {212, "IBKR", "US", "NVDA", "BUY", 100, 96.40, 1.00, "Adding to the data-centre position"},
    {180, "Futu", "HK", "0700", "BUY", 100, 341.20, 18.00, "Averaging up after results"},
    {151, "Snowball", "CN", "600519", "SELL", 5, 1688.00, 9.50, "Trimming an outsized weight"},
    {123, "Saxo", "JP", "7203", "BUY", 200, 2955, 550, "Yen weakness"},
    {97, "Saxo", "EU", "ASML", "BUY", 5, 812.50, 4.90, "Buying the pullback"},
    {74, "Charles Schwab", "US", "KO", "SELL", 50, 63.10, 0, "Rebalancing staples"},
    {52, "Tiger", "HK", "0005", "BUY", 400, 64.70, 25.00, "Dividend yield"},
    {33, "IBKR", "EU", "TTE", "SELL", 40, 64.15, 3.00, "Lowering energy exposure"},
    {18, "IBKR", "US", "AAPL", "BUY", 20, 186.25, 1.00, "Monthly saving plan"},
    {6, "Snowball", "CN", "300750", "BUY", 100, 185.60, 5.00, "Battery demand"},
};

QString text(const char *latin1)
{
    return QString::fromUtf8(latin1);
}

// Current prices come from the quotes the service ships, so the price refresh agrees with the seed.
Result<std::unique_ptr<OfflineQuotes>, QString> builtInQuotes()
{
    QFile file(QStringLiteral(":/quillfern/demo-quotes.csv"));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("the built-in demo quotes cannot be read");
    auto loaded = OfflineQuotes::fromText(file.readAll().toStdString());
    if (auto *reason = std::get_if<std::string>(&loaded))
        return QStringLiteral("the built-in demo quotes are malformed: ") + QString::fromStdString(*reason);
    return std::move(std::get<std::unique_ptr<OfflineQuotes>>(loaded));
}

Result<PortfolioPutRequest, QString> startingPortfolio()
{
    auto quotes = builtInQuotes();
    if (!quotes)
        return quotes.error();
    PortfolioPutRequest request;
    request.snapshotSource = QStringLiteral("demo");
    for (const DemoHolding &demo : demoHoldings) {
        const auto quote = quotes.value()->quote(demo.code, demo.market);
        if (!quote)
            return QStringLiteral("no demo quote for %1 in %2").arg(text(demo.code), text(demo.market));
        const QString currency = CurrencyCatalog::currency(text(demo.market));
        request.holdings.append(ServerHolding{std::nullopt, text(demo.market), text(demo.sector), text(demo.subSector),
                                              text(demo.code), currency, text(demo.broker), demo.averagePrice,
                                              demo.quantity, quote->price, CurrencyCatalog::fxToUSD(currency),
                                              QString()});
    }
    for (const DemoCash &demo : demoCash) {
        const QString currency = text(demo.currency);
        request.cashBalances.append(ServerCashBalance{std::nullopt, text(demo.broker), demo.amount, currency,
                                                      CurrencyCatalog::fxToUSD(currency), QString()});
    }
    return request;
}

// The command's user reads the database's own words, not the sentence a client would get.
StoreError databaseError(const Statement &statement)
{
    return StoreError{StoreError::Kind::Unavailable, statement.error(), {}, {}};
}

// The development account's id, creating it as the development sign-in would.
StoreResult<QString> developmentAccount(Database &database, const QString &email, qint64 now)
{
    const QString subject = email.trimmed().toLower();
    {
        Statement existing(database.connection(),
                           QStringLiteral("SELECT id FROM users WHERE provider = 'dev' AND subject = ?"), {subject});
        if (!existing.ok())
            return databaseError(existing);
        if (existing.next())
            return existing.text(0);
    }
    AccountStore accounts(database);
    const auto user = accounts.upsertUser(QStringLiteral("dev"), subject, subject.section(QLatin1Char('@'), 0, 0),
                                          email.trimmed(), QString(), now);
    if (!user)
        return user.error();
    return user->id;
}

StoreResult<bool> holdsAnything(Database &database, const QString &userID)
{
    Statement count(database.connection(),
                    QStringLiteral("SELECT (SELECT COUNT(*) FROM holdings WHERE user_id = ?) + "
                                   "(SELECT COUNT(*) FROM cash_balances WHERE user_id = ?) + "
                                   "(SELECT COUNT(*) FROM transactions WHERE user_id = ?)"),
                    {userID, userID, userID});
    if (!count.ok() || !count.next())
        return databaseError(count);
    return count.integer(0) > 0;
}

} // namespace

Result<DemoSeedOutcome, QString> seedDemoPortfolio(Database &database, const QString &email, qint64 now)
{
    const QString trimmed = email.trimmed();
    if (!trimmed.contains(QLatin1Char('@')) || trimmed.size() > 254)
        return QStringLiteral("'%1' is not an email address").arg(email);
    const auto portfolio = startingPortfolio();
    if (!portfolio)
        return portfolio.error();
    const auto userID = developmentAccount(database, trimmed, now);
    if (!userID)
        return userID.error().message;
    DemoSeedOutcome outcome;
    outcome.userID = *userID;

    const auto occupied = holdsAnything(database, outcome.userID);
    if (!occupied)
        return occupied.error().message;
    PortfolioStore store(database);
    if (!*occupied) {
        if (const auto stored = store.replacePortfolio(outcome.userID, *portfolio); !stored)
            return stored.error().message;
        const QDateTime today = QDateTime::fromSecsSinceEpoch(now, Qt::UTC);
        for (const DemoTrade &demo : demoTrades) {
            const QDateTime tradedAt(today.date().addDays(-demo.daysAgo), QTime(14, 30), Qt::UTC);
            // The ledger carries the holding's classification, as a trade booked in the app does. The demo's
            // cash rows are typed as a broker would state them after these trades, so the trades leave them be.
            QString sector, subSector;
            for (const ServerHolding &holding : portfolio->holdings) {
                if (holding.market == text(demo.market) && holding.code == text(demo.code)) {
                    sector = holding.sector;
                    subSector = holding.subSector;
                }
            }
            const TransactionCreateInput trade{text(demo.broker),
                                               text(demo.market),
                                               text(demo.code),
                                               text(demo.type),
                                               demo.quantity,
                                               demo.price,
                                               demo.commission,
                                               CurrencyCatalog::currency(text(demo.market)),
                                               sector,
                                               subSector,
                                               tradedAt.toString(Qt::ISODate),
                                               text(demo.reason),
                                               {},
                                               {},
                                               false};
            if (const auto recorded = store.addTransaction(outcome.userID, trade, tradedAt.toMSecsSinceEpoch());
                !recorded)
                return recorded.error().message;
        }
        outcome.seeded = true;
    }

    const auto stored = store.portfolio(outcome.userID);
    const auto ledger = store.transactions(outcome.userID);
    if (!stored)
        return stored.error().message;
    if (!ledger)
        return ledger.error().message;
    outcome.holdings = int(stored->holdings.size());
    outcome.cashBalances = int(stored->cashBalances.size());
    outcome.transactions = int(ledger->size());
    return outcome;
}

} // namespace quillfern::server
