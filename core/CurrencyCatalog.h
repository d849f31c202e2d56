#pragma once

#include <QString>
#include <QStringView>

namespace quillfern {

// The built-in table of markets, currencies, US-dollar rates and symbols. Every lookup compares the
// whole code exactly and case-sensitively.
struct CurrencyCatalog {
    // "HK" -> "HKD", "CN" -> "CNY", "JP" -> "JPY", "EU" -> "EUR"; any other market trades in "USD".
    static QString currency(QStringView forMarket);
    // US dollars per unit of the currency; 1.0 for USD and any code the table does not know.
    static double fxToUSD(QStringView currency);
    // The short symbol put before amounts in their own currency; an unknown code is written as the code
    // followed by a blank.
    static QString symbol(QStringView forCode);
};

} // namespace quillfern
