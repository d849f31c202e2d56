// bench-startup-setup PORT HOLDINGS: signs in to the service on 127.0.0.1:PORT with the development provider,
// stores a portfolio of HOLDINGS rows for that account and writes the signed-in session into this user's
// Quillfern preferences (XDG_CONFIG_HOME decides where), so the next start of the app is signed in.

#include "api/WireCoding.h"
#include "auth/AuthManager.h"
#include "auth/AuthenticatedUser.h"
#include "core/CurrencyCatalog.h"
#include "tests/support/ServiceProcess.h"

#include <httplib.h>

#include <QCoreApplication>
#include <QSettings>
#include <QUrl>

#include <cstdio>

using namespace quillfern;

namespace {

struct Listing {
    const char *market;
    const char *code;
    const char *sector;
    const char *subSector;
    double price;
};

// Listings the service has quotes for, so no row starts without a price and the app asks for none.
constexpr Listing listings[] = {
    {"US", "AAPL", "Information Technology", "Technology Hardware, Storage & Peripherals", 189.84},
    {"US", "MSFT", "Information Technology", "Systems Software", 420.55},
    {"US", "NVDA", "Information Technology", "Semiconductors", 118.11},
    {"US", "JPM", "Financials", "Diversified Banks", 198.73},
    {"US", "KO", "Consumer Staples", "Soft Drinks & Non-alcoholic Beverages", 62.81},
    {"HK", "0700", "Communication Services", "Interactive Media & Services", 368.20},
    {"HK", "0005", "Financials", "Diversified Banks", 66.80},
    {"HK", "1299", "Financials", "Life & Health Insurance", 57.10},
    {"CN", "600519", "Consumer Staples", "Distillers & Vintners", 1625.00},
    {"CN", "300750", "Industrials", "Electrical Components & Equipment", 188.20},
    {"JP", "7203", "Consumer Discretionary", "Automobile Manufacturers", 3195},
    {"JP", "6758", "Consumer Discretionary", "Consumer Electronics", 12800},
    {"EU", "SAP", "Information Technology", "Application Software", 176.42},
    {"EU", "ASML", "Information Technology", "Semiconductor Materials & Equipment", 880.20},
    {"EU", "TTE", "Energy", "Integrated Oil & Gas", 63.82},
};
constexpr const char *brokers[] = {"IBKR", "Futu", "Charles Schwab", "Saxo", "Snowball", "Tiger", "Fidelity"};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    bool ok = false;
    const int count = arguments.size() == 3 ? arguments[2].toInt(&ok) : 0;
    if (!ok || count < 0) {
        std::fprintf(stderr, "usage: bench-startup-setup PORT HOLDINGS\n");
        return 2;
    }
    const QUrl service(QStringLiteral("http://127.0.0.1:%1").arg(arguments[1]));
    const QString name = QStringLiteral("Start-up Bench");
    const QString email = QStringLiteral("startup-bench@example.com");
    const auto signIn = testing::devSignIn(service, name, email);
    if (!signIn) {
        std::fprintf(stderr, "bench-startup-setup: the development sign-in failed\n");
        return 1;
    }
    const auto [status, body] = testing::exchangeCode(service, signIn->code, signIn->verifier);
    const auto session = decodeJSON<NativeExchangeResponse>(body);
    if (status != 200 || !session) {
        std::fprintf(stderr, "bench-startup-setup: the code exchange failed (HTTP %d)\n", status);
        return 1;
    }

    PortfolioPutRequest request{{}, {}, QStringLiteral("bench")};
    for (int i = 0; i < count; ++i) {
        const Listing &listing = listings[i % std::size(listings)];
        const QString market = QString::fromLatin1(listing.market);
        const QString currency = CurrencyCatalog::currency(market);
        request.holdings.append(ServerHolding{std::nullopt, market, QString::fromUtf8(listing.sector),
                                              QString::fromUtf8(listing.subSector), QString::fromLatin1(listing.code),
                                              currency, QString::fromLatin1(brokers[i % std::size(brokers)]),
                                              listing.price * (0.7 + 0.001 * (i % 500)), 10.0 + i % 90, listing.price,
                                              CurrencyCatalog::fxToUSD(currency), QString()});
    }
    for (const char *currency : {"USD", "HKD", "EUR"}) {
        const QString code = QString::fromLatin1(currency);
        request.cashBalances.append(
            ServerCashBalance{std::nullopt, QStringLiteral("IBKR"), 5000, code, CurrencyCatalog::fxToUSD(code), {}});
    }
    httplib::Client client("127.0.0.1", service.port());
    client.set_read_timeout(30);
    const httplib::Headers headers{{"Authorization", "Bearer " + session->accessToken.toStdString()}};
    const auto stored = client.Put("/v1/portfolio", headers, encodeJSON(request)->toStdString(), "application/json");
    if (!stored || stored->status != 200) {
        std::fprintf(stderr, "bench-startup-setup: storing the portfolio failed\n");
        return 1;
    }

    // The same keys and encoding the app reads back when it starts.
    const auto preferences = userPreferences();
    preferences->setValue(AuthManager::accessTokenKey, session->accessToken);
    preferences->setValue(AuthManager::userKey,
                          encodeStoredUser(AuthenticatedUser{session->name, session->email, std::nullopt}));
    preferences->sync();
    std::printf("%s\n", qPrintable(preferences->fileName()));
    return preferences->status() == QSettings::NoError ? 0 : 1;
}
