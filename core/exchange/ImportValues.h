#pragma once

// Reading one cell: dates under a format compiled once, numbers under a style, and the words files use for
// transaction types. Shared by the guesser and the plan, which call these for every cell of a file.

#include "core/exchange/ImportMapping.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringView>

#include <optional>

namespace quillfern::exchange {

class DatePattern {
public:
    explicit DatePattern(const QString &format);
    bool isValid() const { return !m_tokens.isEmpty(); }
    // The date at the start of value (surrounding blanks ignored); what follows must be a time, after a
    // blank or a 'T', or nothing.
    QDate parse(QStringView value) const;

private:
    enum class Kind : quint8 { Year4, Year2, Month, MonthName, Day, Blank, Literal };
    struct Token {
        Kind kind;
        char16_t literal = 0;
    };
    QList<Token> m_tokens;
};

std::optional<double> parseNumber(QStringView value, NumberStyle style);

// The canonical types a mapping may name.
const QStringList &transactionTypes();

} // namespace quillfern::exchange
