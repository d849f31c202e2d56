#pragma once

#include "core/exchange/CsvReader.h"

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>

namespace quillfern::exchange {

enum class ImportField {
    Date,
    Type,
    Code,
    Market,
    Quantity,
    Price,
    Commission,
    Currency,
    Amount,
    Broker,
    Note,
    Sector,
    SubSector,
    SplitRatio
};

// Every field, in the order above.
QList<ImportField> importFields();
// The field's stable name in a saved mapping ("date", "splitRatio", ...).
QString importFieldName(ImportField field);
std::optional<ImportField> importFieldFromName(QStringView name);

struct NumberStyle {
    QChar decimal = u'.';
    QChar grouping; // null: none

    bool operator==(const NumberStyle &) const = default;
};

// How the columns of one broker's files become transactions.
struct ImportMapping {
    QString encoding; // as DetectedEncoding::name
    CsvDialect dialect;
    int skipLines = 0; // records before the header (junk lines)
    bool hasHeader = true;
    QMap<ImportField, int> columns;    // field -> column index in the record
    QMap<QString, QString> typeValues; // file value, trimmed and case-folded -> BUY, SELL, DIVIDEND, INTEREST,
                                       // TAX, FEE, DEPOSIT, WITHDRAWAL, SPLIT, TRANSFER_IN, TRANSFER_OUT
    QString dateFormat;                // a Qt date format; a time after the date is ignored
    NumberStyle numbers;
    QString defaultBroker, defaultMarket, defaultCurrency, defaultType; // used when no column is mapped
    QStringList headers;                                                // the header names it was made for
    // Whether the file's buys and sells moved the brokerage's cash. A file of trades alone, without the
    // deposits that paid for them, would otherwise leave the cash balance below zero.
    bool tradesSettleInCash = true;

    QByteArray toJson() const;
    static std::optional<ImportMapping> fromJson(const QByteArray &json);

    bool operator==(const ImportMapping &) const = default;
};

// The date formats the guesser knows, most common first.
QStringList knownDateFormats();
// The date of value under format (a time after the date ignored); invalid when it does not fit.
QDate parseImportDate(QStringView value, const QString &format);
// Every known format that parses all the non-empty values.
QStringList dateFormatsFitting(const QStringList &values);

// The number value has under style: grouping only between digit groups, a leading minus or parentheses for
// negatives, currency symbols and spaces around it ignored. Empty when it does not read.
std::optional<double> parseImportNumber(QStringView value, NumberStyle style);
// Every style that reads all the non-empty values, the most plausible first.
QList<NumberStyle> numberStylesFitting(const QStringList &values);

// The transaction type a word in a file usually means ("Buy", "買付", "卖出", "배당", ...); empty if none.
QString knownTypeValue(QStringView value);

// Guesses the header row after leading junk, the columns from header names in any of the app's languages
// (the app's own export headers included), the date format and number style from the values and the type
// values from known words.
ImportMapping guessMapping(const CsvTable &table, const QString &encoding, CsvDialect dialect);

// The distinct values of the type column (trimmed, first spelling kept), for the value map the user edits.
QStringList distinctTypeValues(const CsvTable &table, const ImportMapping &mapping);

} // namespace quillfern::exchange
