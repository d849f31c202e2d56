#include "app/workspace/TransactionRules.h"

#include "core/ledger/LedgerRecords.h"

#include <cmath>

namespace quillfern {

namespace {

TransactionType typeOf(const QString &type)
{
    return transactionTypeFromText(type.toStdString());
}

std::optional<TransactionFault> fault(const char *field, const char *label, const char *message)
{
    return TransactionFault{QString::fromLatin1(field), QString::fromLatin1(label), QString::fromLatin1(message)};
}

// Written so that a value that is not a number fails too.
bool positive(double value)
{
    return value > 0 && std::isfinite(value);
}

} // namespace

const QStringList &transactionTypes()
{
    static const QStringList types{
        QStringLiteral("BUY"),         QStringLiteral("SELL"),        QStringLiteral("DIVIDEND"),
        QStringLiteral("INTEREST"),    QStringLiteral("FEE"),         QStringLiteral("TAX"),
        QStringLiteral("DEPOSIT"),     QStringLiteral("WITHDRAWAL"),  QStringLiteral("SPLIT"),
        QStringLiteral("TRANSFER_IN"), QStringLiteral("TRANSFER_OUT")};
    return types;
}

TransactionForm transactionForm(const QString &type)
{
    TransactionForm form;
    switch (typeOf(type)) {
    case TransactionType::Buy:
    case TransactionType::Sell:
        form.quantity = form.price = form.commission = form.currency = form.settlesInCash = true;
        form.opensPosition = typeOf(type) == TransactionType::Buy;
        return form;
    case TransactionType::TransferIn:
        form.quantity = form.price = form.costPerShare = form.currency = form.opensPosition = true;
        return form;
    case TransactionType::TransferOut:
        form.quantity = true;
        return form;
    case TransactionType::Dividend:
    case TransactionType::Interest:
    case TransactionType::Fee:
    case TransactionType::Tax:
        form.instrument = FieldUse::Optional;
        form.amount = form.currency = true;
        return form;
    case TransactionType::Deposit:
    case TransactionType::Withdrawal:
        // Money moved in or out of the account belongs to no listing.
        form.instrument = FieldUse::Unused;
        form.amount = form.currency = true;
        return form;
    case TransactionType::Split:
        form.broker = FieldUse::Unused;
        form.splitRatio = true;
        return form;
    case TransactionType::Unknown:
        break;
    }
    form.broker = form.instrument = FieldUse::Unused;
    return form;
}

QString transactionTypeKey(const QString &type)
{
    static const char *const keys[] = {"buy",     "sell",       "dividend", "interest",   "fee",        "tax",
                                       "deposit", "withdrawal", "split",    "transferIn", "transferOut"};
    const qsizetype index = transactionTypes().indexOf(type);
    return index < 0 ? QString() : QString::fromLatin1(keys[index]);
}

std::optional<AssetRow> heldPosition(const QList<AssetRow> &holdings, const QString &market, const QString &code)
{
    const QString wanted = code.trimmed();
    if (wanted.isEmpty())
        return std::nullopt;
    for (const AssetRow &row : holdings) {
        if (row.market == market && row.code.compare(wanted, Qt::CaseInsensitive) == 0)
            return row;
    }
    return std::nullopt;
}

std::optional<TransactionFault> transactionFault(const TransactionCreateInput &input, bool needsSector,
                                                 const QDateTime &now)
{
    if (typeOf(input.transactionType) == TransactionType::Unknown)
        return fault("transaction_type", "transactionType", "fieldRequired");
    const TransactionForm form = transactionForm(input.transactionType);
    if (form.broker == FieldUse::Required && input.broker.trimmed().isEmpty())
        return fault("broker", "account", "fieldRequired");
    if (form.instrument == FieldUse::Required && input.market.isEmpty())
        return fault("market", "market", "fieldRequired");
    if (form.instrument == FieldUse::Required && input.code.trimmed().isEmpty())
        return fault("code", "ticker", "fieldRequired");
    if (form.quantity && !positive(input.quantity))
        return fault("quantity", "quantity", "fieldPositive");
    if (form.price && !positive(input.price))
        return form.costPerShare ? fault("price", "costPerShare", "fieldPositive")
                                 : fault("price", "tradePrice", "fieldPositive");
    if (form.commission && !(input.commission >= 0 && std::isfinite(input.commission)))
        return fault("commission", "commission", "fieldNotNegative");
    if (form.amount && !(input.amount && positive(*input.amount)))
        return fault("amount", "amount", "fieldPositive");
    if (form.splitRatio && !(input.splitRatio && positive(*input.splitRatio)))
        return fault("split_ratio", "splitRatio", "fieldPositive");
    if (form.currency && input.currency.isEmpty())
        return fault("currency", "currency", "fieldRequired");
    if (form.opensPosition && needsSector && input.sector.isEmpty())
        return fault("sector", "sector", "fieldRequired");
    if (form.opensPosition && needsSector && input.subSector.isEmpty())
        return fault("sub_sector", "industry", "fieldRequired");
    const QDateTime tradedAt = QDateTime::fromString(input.tradedAt, Qt::ISODate);
    if (!tradedAt.isValid())
        return fault("traded_at", "tradeTime", "fieldRequired");
    if (tradedAt.toUTC().date() > now.toUTC().date().addDays(1))
        return fault("traded_at", "tradeTime", "fieldAfterTomorrow");
    return std::nullopt;
}

TransactionCreateInput keptForType(TransactionCreateInput input)
{
    const TransactionForm form = transactionForm(input.transactionType);
    if (form.broker == FieldUse::Unused)
        input.broker.clear();
    if (form.instrument == FieldUse::Unused) {
        input.market.clear();
        input.code.clear();
    }
    if (!form.quantity)
        input.quantity = 0;
    if (!form.price)
        input.price = 0;
    if (!form.commission)
        input.commission = 0;
    if (!form.amount)
        input.amount.reset();
    if (!form.splitRatio)
        input.splitRatio.reset();
    if (!form.currency)
        input.currency.clear();
    if (!form.settlesInCash)
        input.settlesInCash.reset();
    if (!form.opensPosition) {
        input.sector.clear();
        input.subSector.clear();
    }
    return input;
}

TransactionCreateInput inputOf(const TransactionRecord &record)
{
    return TransactionCreateInput{record.broker,   record.market,     record.code,         record.transactionType,
                                  record.quantity, record.price,      record.commission,   record.currency,
                                  record.sector,   record.subSector,  record.tradedAt,     record.reason,
                                  record.amount,   record.splitRatio, record.settlesInCash};
}

} // namespace quillfern
