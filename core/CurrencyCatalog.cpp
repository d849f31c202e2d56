#include "core/CurrencyCatalog.h"

#include <array>

namespace quillfern {
namespace {

struct MarketEntry {
    QStringView market;
    QStringView currency;
};

struct RateEntry {
    QStringView currency;
    double usdPerUnit;
};

struct SymbolEntry {
    QStringView code;
    QStringView symbol;
};

constexpr std::array markets{
    MarketEntry{u"HK", u"HKD"},
    MarketEntry{u"CN", u"CNY"},
    MarketEntry{u"JP", u"JPY"},
    MarketEntry{u"EU", u"EUR"},
};

constexpr std::array rates{
    RateEntry{u"HKD", 0.127618574}, RateEntry{u"CNY", 0.138}, RateEntry{u"JPY", 0.0064},
    RateEntry{u"EUR", 1.08},        RateEntry{u"GBP", 1.26},
};

constexpr std::array symbols{
    SymbolEntry{u"USD", u"$"},      SymbolEntry{u"HKD", u"HK$"},    SymbolEntry{u"CNY", u"CN\u00A5"},
    SymbolEntry{u"JPY", u"\u00A5"}, SymbolEntry{u"EUR", u"\u20AC"}, SymbolEntry{u"GBP", u"\u00A3"},
};

} // namespace

QString CurrencyCatalog::currency(QStringView forMarket)
{
    for (const MarketEntry &entry : markets) {
        if (entry.market == forMarket)
            return entry.currency.toString();
    }
    return QStringLiteral("USD");
}

double CurrencyCatalog::fxToUSD(QStringView currency)
{
    for (const RateEntry &entry : rates) {
        if (entry.currency == currency)
            return entry.usdPerUnit;
    }
    return 1.0;
}

QString CurrencyCatalog::symbol(QStringView forCode)
{
    for (const SymbolEntry &entry : symbols) {
        if (entry.code == forCode)
            return entry.symbol.toString();
    }
    return forCode.toString() + QLatin1Char(' ');
}

} // namespace quillfern
