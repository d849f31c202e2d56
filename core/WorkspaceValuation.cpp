#include "core/WorkspaceValuation.h"

#include "core/CurrencyCatalog.h"
#include "core/analysis/Analysis.h"

#include <unicode/coll.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace quillfern {

double usdPerUnit(const QString &currency, const QList<CurrencyOption> &rates)
{
    for (const CurrencyOption &listed : rates)
        if (listed.code == currency && std::isfinite(listed.fxToUsd) && listed.fxToUsd > 0)
            return listed.fxToUsd;
    return CurrencyCatalog::fxToUSD(currency);
}

std::vector<AssetInput> assetInputs(const QList<AssetRow> &rows, const QList<CurrencyOption> &rates)
{
    std::vector<AssetInput> inputs;
    inputs.reserve(rows.size());
    for (const AssetRow &row : rows) {
        const QString currency = CurrencyCatalog::currency(row.market);
        inputs.push_back(AssetInput{row.id.toStdString(), row.market.toStdString(), row.sector.toStdString(),
                                    row.subSector.toStdString(), row.code.toStdString(), currency.toStdString(),
                                    row.broker.toStdString(), row.averagePrice, row.quantity, row.currentPrice,
                                    usdPerUnit(currency, rates)});
    }
    return inputs;
}

PortfolioSummary summary(const QList<AssetRow> &rows, const QList<CurrencyOption> &rates)
{
    return analyzePortfolio(assetInputs(rows, rates));
}

QHash<QString, AssetValuation> positionsByID(const PortfolioSummary &summary)
{
    QHash<QString, AssetValuation> index;
    index.reserve(qsizetype(summary.positions.size()));
    for (const AssetValuation &position : summary.positions) {
        const QString id = QString::fromStdString(position.id);
        if (!index.contains(id))
            index.insert(id, position);
    }
    return index;
}

double usdRate(const CashRow &row)
{
    return row.serverFXToUSD ? *row.serverFXToUSD : CurrencyCatalog::fxToUSD(row.currency);
}

double cashValueUsd(const CashRow &row)
{
    return row.originalCash * usdRate(row);
}

double totalCashUsd(const QList<CashRow> &rows)
{
    double total = 0;
    for (const CashRow &row : rows)
        total += cashValueUsd(row);
    return total;
}

CurrencyOption defaultReportingCurrency()
{
    return CurrencyOption{QStringLiteral("USD"), QStringLiteral("US Dollar"), QStringLiteral("$"),
                          QStringLiteral("\U0001F1FA\U0001F1F8"), 1.0};
}

const QList<LanguageOption> &supportedLanguages()
{
    static const QList<LanguageOption> list{
        {QStringLiteral("en-US"), QStringLiteral("English (United States)"), QStringLiteral("English (US)"),
         QStringLiteral("en_US"), QStringLiteral("\U0001F1FA\U0001F1F8")},
        {QStringLiteral("en-GB"), QStringLiteral("English (United Kingdom)"), QStringLiteral("English (UK)"),
         QStringLiteral("en_GB"), QStringLiteral("\U0001F1EC\U0001F1E7")},
        {QStringLiteral("en-EU"), QStringLiteral("English (Europe)"), QStringLiteral("English (EU)"),
         QStringLiteral("en_IE"), QStringLiteral("\U0001F1EA\U0001F1FA")},
        {QStringLiteral("zh-CN"), QStringLiteral("Chinese (Simplified)"), QStringLiteral("简体中文"),
         QStringLiteral("zh_CN"), QStringLiteral("\U0001F1E8\U0001F1F3")},
        {QStringLiteral("zh-TW"), QStringLiteral("Chinese (Traditional)"), QStringLiteral("繁體中文"),
         QStringLiteral("zh_TW"), QStringLiteral("\U0001F1F9\U0001F1FC")},
        {QStringLiteral("ja-JP"), QStringLiteral("Japanese"), QStringLiteral("日本語"), QStringLiteral("ja_JP"),
         QStringLiteral("\U0001F1EF\U0001F1F5")},
        {QStringLiteral("ko-KR"), QStringLiteral("Korean"), QStringLiteral("한국어"), QStringLiteral("ko_KR"),
         QStringLiteral("\U0001F1F0\U0001F1F7")},
    };
    return list;
}

LanguageOption defaultLanguage()
{
    return supportedLanguages().first();
}

QStringList defaultBrokerageNames()
{
    return {QStringLiteral("Snowball"), QStringLiteral("Futu"),  QStringLiteral("Hafoo"),
            QStringLiteral("IBKR"),     QStringLiteral("Tiger"), QStringLiteral("Sea")};
}

namespace {

template <class Option> Option preferredOrFirst(const QList<Option> &options, QStringView storedCode, Option fallback)
{
    for (const Option &option : options) {
        if (option.code == storedCode)
            return option;
    }
    return options.isEmpty() ? fallback : options.first();
}

icu::UnicodeString icuText(const QString &text)
{
    return icu::UnicodeString(false, reinterpret_cast<const UChar *>(text.utf16()), int32_t(text.size()));
}

} // namespace

CurrencyOption reportingCurrency(const QList<CurrencyOption> &currencies, QStringView storedCode)
{
    return preferredOrFirst(currencies, storedCode, defaultReportingCurrency());
}

LanguageOption selectedLanguage(const QList<LanguageOption> &languages, QStringView storedCode)
{
    return preferredOrFirst(languages, storedCode, defaultLanguage());
}

QStringList brokerageNames(const QList<BrokerageOption> &brokerages, const QList<AssetRow> &rows,
                           const QList<CashRow> &cashRows, const QString &collationLocale)
{
    QStringList names;
    const auto offer = [&names](const QString &candidate) {
        const QString name = candidate.trimmed(); // QChar::isSpace is exactly Unicode White_Space
        if (name.isEmpty())
            return;
        const bool known = std::any_of(names.cbegin(), names.cend(), [&name](const QString &kept) {
            return kept.compare(name, Qt::CaseInsensitive) == 0;
        });
        if (!known)
            names.append(name);
    };
    for (const BrokerageOption &brokerage : brokerages)
        offer(brokerage.name);
    for (const AssetRow &row : rows)
        offer(row.broker);
    for (const CashRow &row : cashRows)
        offer(row.broker);
    if (names.isEmpty())
        names = defaultBrokerageNames();

    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Collator> collator(
        icu::Collator::createInstance(icu::Locale(collationLocale.toLatin1().constData()), status));
    if (U_FAILURE(status) || !collator) {
        std::stable_sort(names.begin(), names.end(),
                         [](const QString &a, const QString &b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
        return names;
    }
    collator->setStrength(icu::Collator::SECONDARY);
    std::stable_sort(names.begin(), names.end(), [&collator](const QString &a, const QString &b) {
        UErrorCode compareStatus = U_ZERO_ERROR;
        return collator->compare(icuText(a), icuText(b), compareStatus) == UCOL_LESS;
    });
    return names;
}

} // namespace quillfern
