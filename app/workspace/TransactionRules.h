#pragma once

// Which fields each transaction type takes and what the service accepts in them, checked before a
// transaction is sent: the sheet shows only the fields of the picked type and names the first one at
// fault in the user's language.

#include "core/PortfolioRows.h"
#include "core/ServiceRecords.h"

#include <QDateTime>
#include <QStringList>

#include <optional>

namespace quillfern {

enum class FieldUse { Unused, Optional, Required };

// The fields a type takes. Market and code go together; price is the cost per share for a transfer in.
struct TransactionForm {
    FieldUse broker = FieldUse::Required;
    FieldUse instrument = FieldUse::Required; // market and code
    bool quantity = false;
    bool price = false;
    bool commission = false;
    bool amount = false;
    bool splitRatio = false;
    bool currency = false;
    bool settlesInCash = false;
    bool costPerShare = false;  // the price field is the cost per share brought in
    bool opensPosition = false; // a code held nowhere needs its sector and sub-industry

    bool operator==(const TransactionForm &) const = default;
};

// The eleven type words the service knows, in the order the sheet offers them.
const QStringList &transactionTypes();
// The fields of a type word; an unknown word takes those of nothing but its time and reason.
TransactionForm transactionForm(const QString &type);
// The catalogue key of a type's label ("buy", "dividend", ...); empty for a word the service added later.
QString transactionTypeKey(const QString &type);

// The holding of market and code at any broker (the code compared ignoring case), or none.
std::optional<AssetRow> heldPosition(const QList<AssetRow> &holdings, const QString &market, const QString &code);

// The first field of input at fault for its type: the wire name of the field, the catalogue key of its
// label in the sheet and the key of the message, which takes the label as {0}.
struct TransactionFault {
    QString field;
    QString labelKey;
    QString messageKey;

    bool operator==(const TransactionFault &) const = default;
};

// needsSector: the code is held nowhere, so an opening type needs sector and sub-industry. now is the
// clock the trade time may not run more than a day ahead of.
std::optional<TransactionFault> transactionFault(const TransactionCreateInput &input, bool needsSector,
                                                 const QDateTime &now);

// The input with only the fields its type takes: the others are zero, empty or absent, so that a type
// changed in the sheet sends nothing of the fields it hid.
TransactionCreateInput keptForType(TransactionCreateInput input);

// A stored transaction as the input that would record it again.
TransactionCreateInput inputOf(const TransactionRecord &record);

} // namespace quillfern
