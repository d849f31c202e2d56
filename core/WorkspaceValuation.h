#pragma once

// The bridge from the window's working copy to the analysis core, and the small derived values that
// several pages share.

#include "core/PortfolioRows.h"
#include "core/ServiceRecords.h"
#include "core/SystemLocale.h"
#include "core/analysis/PortfolioRecords.h"

#include <QHash>
#include <QStringList>

#include <vector>

namespace quillfern {

// US dollars per unit of a currency: the rate the list gives it when that is a usable rate, else the
// built-in one. Holdings and amounts shown in the reporting currency then use the same rates, so a holding
// shown in its own currency is its quantity times its price.
double usdPerUnit(const QString &currency, const QList<CurrencyOption> &rates);

// One core input per holdings row, in row order, in the currency of the row's market at usdPerUnit.
std::vector<AssetInput> assetInputs(const QList<AssetRow> &rows, const QList<CurrencyOption> &rates = {});

// A fresh valuation of the holdings rows. Never cached: callers ask again whenever rows or rates change.
PortfolioSummary summary(const QList<AssetRow> &rows, const QList<CurrencyOption> &rates = {});

// The valuation of each row by row id. Should two rows ever share an id, the first one's figures win.
QHash<QString, AssetValuation> positionsByID(const PortfolioSummary &summary);

// US dollars per unit of a cash row's currency: its service rate when it has one, else the built-in rate.
double usdRate(const CashRow &row);
// US dollars held by a cash row, at usdRate.
double cashValueUsd(const CashRow &row);
// The sum of cashValueUsd over the rows, in row order, starting from 0.
double totalCashUsd(const QList<CashRow> &rows);

CurrencyOption defaultReportingCurrency();
// The languages the interface speaks, English (US) first; the service offers these and the window falls
// back on them while the service cannot be asked.
const QList<LanguageOption> &supportedLanguages();
LanguageOption defaultLanguage();
QStringList defaultBrokerageNames();

// The listed currency whose code is the stored preference, else the first listed, else US dollars.
CurrencyOption reportingCurrency(const QList<CurrencyOption> &currencies, QStringView storedCode);
// The listed language whose code is the stored preference, else the first listed, else English (US).
LanguageOption selectedLanguage(const QList<LanguageOption> &languages, QStringView storedCode);

// The names every broker picker offers: the service's brokerages, then the brokers of the holdings and
// cash rows, trimmed, de-duplicated ignoring case (first spelling wins), sorted case-insensitively under
// the collation of the given locale (ICU id); the six defaults when nothing is left.
QStringList brokerageNames(const QList<BrokerageOption> &brokerages, const QList<AssetRow> &rows,
                           const QList<CashRow> &cashRows,
                           const QString &collationLocale = systemLocaleName(LocaleCategory::Collate));

} // namespace quillfern
