#include "server/TransactionInput.h"

#include "core/ledger/LedgerRecords.h"

#include <QDateTime>
#include <QRegularExpression>

namespace quillfern::server {

// An internet date-time: 2024-05-01T09:30:00Z, optionally with fractions and a numeric offset.
std::optional<qint64> parseTradeTime(const QString &text)
{
    static const QRegularExpression shape(
        QStringLiteral("^\\d{4}-\\d{2}-\\d{2}T\\d{2}:\\d{2}:\\d{2}(\\.\\d{1,9})?(Z|[+-]\\d{2}:\\d{2})$"));
    if (!shape.match(text).hasMatch())
        return std::nullopt;
    const QDateTime parsed = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!parsed.isValid())
        return std::nullopt;
    return parsed.toMSecsSinceEpoch();
}

// What each type needs before the ledger is asked: the ledger itself judges what depends on the holdings.
std::optional<InputProblem> transactionProblem(const TransactionCreateInput &input)
{
    using enum TransactionType;
    const TransactionType type = transactionTypeFromText(input.transactionType.toStdString());
    const auto problem = [](const char *message, const char *field) {
        return InputProblem{QString::fromUtf8(message), QString::fromLatin1(field)};
    };
    if (type == Unknown)
        return problem("The transaction type must be one of BUY, SELL, DIVIDEND, INTEREST, FEE, TAX, DEPOSIT, "
                       "WITHDRAWAL, SPLIT, TRANSFER_IN and TRANSFER_OUT.",
                       "transaction_type");
    const bool shares = type == Buy || type == Sell || type == TransferIn || type == TransferOut;
    if (type != Split && input.broker.trimmed().isEmpty())
        return problem("Choose the broker.", "broker");
    if ((shares || type == Split) && input.code.trimmed().isEmpty())
        return problem("Enter the stock code.", "code");
    if ((shares || type == Split) && input.market.trimmed().isEmpty())
        return problem("Choose the market.", "market");
    if (type != Split && input.currency.trimmed().isEmpty())
        return problem("Choose the currency.", "currency");
    if (shares && !(input.quantity > 0))
        return problem("The quantity must be greater than 0.", "quantity");
    if ((type == Buy || type == Sell) && !(input.price > 0))
        return problem("The price must be greater than 0.", "price");
    if (type == TransferIn && !(input.price > 0))
        return problem("The cost per share must be greater than 0.", "price");
    if (!(input.commission >= 0))
        return problem("The commission cannot be negative.", "commission");
    if (!shares && type != Split) {
        if (!input.amount)
            return problem("Enter the amount.", "amount");
        if (*input.amount < 0)
            return problem("The amount cannot be negative.", "amount");
        if (!(*input.amount > 0))
            return problem("The amount must be greater than 0.", "amount");
    }
    if (type == Split && !(input.splitRatio.value_or(0) > 0))
        return problem("The split ratio must be greater than 0: 4 for a 4-for-1 split.", "split_ratio");
    return std::nullopt;
}

} // namespace quillfern::server
