#include "core/exchange/ImportPlan.h"

#include "core/CurrencyCatalog.h"
#include "core/TransactionIdentity.h"
#include "core/exchange/ImportValues.h"

#include <QHash>

#include <cmath>

namespace quillfern::exchange {
namespace {

// Exchange names and the usual words for a market, as the app's market codes.
QString marketCode(QStringView value)
{
    static const QHash<QString, QString> aliases = [] {
        struct Aliases {
            const char16_t *code;
            std::initializer_list<const char16_t *> words;
        };
        const Aliases lists[] = {
            {u"US",
             {u"us", u"usa", u"nasdaq", u"nyse", u"amex", u"arca", u"nysearca", u"bats", u"美股", u"美国", u"美國",
              u"米国", u"米国株", u"미국"}},
            {u"HK", {u"hk", u"hkex", u"sehk", u"hkg", u"港股", u"香港", u"홍콩"}},
            {u"JP", {u"jp", u"tse", u"tyo", u"jpx", u"東証", u"东证", u"日本", u"日股", u"日本株", u"東京", u"일본"}},
            {u"CN",
             {u"cn", u"sse", u"szse", u"sh", u"sz", u"shse", u"a股", u"沪市", u"深市", u"中国", u"上海", u"深圳",
              u"중국"}},
        };
        QHash<QString, QString> table;
        for (const auto &[code, words] : lists) {
            for (const char16_t *word : words)
                table.insert(QString::fromUtf16(word), QString::fromUtf16(code));
        }
        return table;
    }();
    const QString key = value.toString().toCaseFolded();
    return aliases.value(key, value.toString().toUpper());
}

QString marketForCurrency(QStringView currency)
{
    if (currency == u"USD")
        return QStringLiteral("US");
    if (currency == u"HKD")
        return QStringLiteral("HK");
    if (currency == u"JPY")
        return QStringLiteral("JP");
    if (currency == u"CNY")
        return QStringLiteral("CN");
    return {};
}

QString isoNoon(QDate date)
{
    return date.toString(Qt::ISODate) + QStringLiteral("T12:00:00Z");
}

bool movesShares(const QString &type)
{
    return type == u"BUY" || type == u"SELL" || type == u"TRANSFER_IN" || type == u"TRANSFER_OUT";
}

// One record read under the mapping; fail() records the first problem and the rest is not looked at.
class RowReader {
public:
    RowReader(const ImportMapping &mapping, const CsvRecord &record, const DatePattern &dates)
        : m_mapping(mapping), m_record(record), m_dates(dates)
    {
    }

    std::optional<ImportProblem> read(TransactionCreateInput &input);

private:
    QStringView cell(ImportField field) const
    {
        const auto column = m_mapping.columns.constFind(field);
        if (column == m_mapping.columns.cend() || column.value() >= m_record.fields.size())
            return {};
        const QStringView text = QStringView(m_record.fields[column.value()]).trimmed();
        // Our own export writes a text that starts like a formula behind an apostrophe.
        if (text.size() > 1 && text.front() == u'\'' && startsLikeFormula(text.mid(1)))
            return text.mid(1);
        return text;
    }

    QString columnLabel(ImportField field) const
    {
        const int column = m_mapping.columns.value(field);
        const QString header = m_mapping.headers.value(column).trimmed();
        return header.isEmpty() ? QString::number(column + 1) : header;
    }

    ImportProblem problem(const char *key, QStringList more = {}) const
    {
        return {QString::fromLatin1(key), QStringList{QString::number(m_record.line)} + more, m_record.line};
    }

    // Empty cell: no value and no problem. A cell that does not read is a problem.
    std::optional<ImportProblem> number(ImportField field, std::optional<double> &out) const
    {
        const QStringView text = cell(field);
        out.reset();
        if (text.isEmpty())
            return std::nullopt;
        out = parseNumber(text, m_mapping.numbers);
        if (!out || !std::isfinite(*out))
            return problem("importBadNumber", {text.toString(), columnLabel(field)});
        return std::nullopt;
    }

    const ImportMapping &m_mapping;
    const CsvRecord &m_record;
    const DatePattern &m_dates;
};

std::optional<ImportProblem> RowReader::read(TransactionCreateInput &input)
{
    const QStringView dateText = cell(ImportField::Date);
    if (dateText.isEmpty())
        return problem("importMissingDate");
    const QDate date = m_dates.parse(dateText);
    if (!date.isValid())
        return problem("importBadDate", {dateText.toString(), m_mapping.dateFormat});

    std::optional<double> quantity, price, commission, amount, ratio;
    for (const auto &[field, out] :
         {std::pair{ImportField::Quantity, &quantity}, std::pair{ImportField::Price, &price},
          std::pair{ImportField::Commission, &commission}, std::pair{ImportField::Amount, &amount},
          std::pair{ImportField::SplitRatio, &ratio}}) {
        if (auto bad = number(field, *out))
            return bad;
    }

    // The type: the file's word through the value map, else the default, else the sign of the quantity.
    const QStringView typeText = cell(ImportField::Type);
    QString type;
    if (!typeText.isEmpty()) {
        type = m_mapping.typeValues.value(typeText.toString().toCaseFolded());
        if (type.isEmpty() && transactionTypes().contains(typeText.toString().toUpper()))
            type = typeText.toString().toUpper();
        if (type.isEmpty())
            return problem("importUnmappedType", {typeText.toString()});
    } else if (!m_mapping.defaultType.isEmpty()) {
        type = m_mapping.defaultType;
    } else if (quantity && !m_mapping.columns.contains(ImportField::Type)) {
        type = *quantity < 0 ? QStringLiteral("SELL") : QStringLiteral("BUY");
    } else {
        return problem("importMissingType");
    }
    const QString typeWords = typeText.isEmpty() ? type : typeText.toString();

    // A sale is often written as a negative quantity, under either word; a withdrawal as a negative deposit.
    if (quantity && *quantity < 0) {
        if (type == u"BUY")
            type = QStringLiteral("SELL");
        else if (type == u"TRANSFER_IN")
            type = QStringLiteral("TRANSFER_OUT");
        quantity = -*quantity;
    }
    if (amount && *amount < 0) {
        if (type == u"DEPOSIT")
            type = QStringLiteral("WITHDRAWAL");
        else if (type == u"DIVIDEND" || type == u"INTEREST")
            return problem("importNegativeAmount", {cell(ImportField::Amount).toString(), typeWords});
        amount = -*amount;
    }

    input.transactionType = type;
    input.tradedAt = isoNoon(date);
    input.code = cell(ImportField::Code).toString();
    input.reason = cell(ImportField::Note).toString();
    input.sector = cell(ImportField::Sector).toString();
    input.subSector = cell(ImportField::SubSector).toString();
    input.commission = commission ? std::abs(*commission) : 0;

    const QStringView brokerText = cell(ImportField::Broker);
    input.broker = brokerText.isEmpty() ? m_mapping.defaultBroker.trimmed() : brokerText.toString();
    const QStringView currencyText = cell(ImportField::Currency);
    input.currency =
        (currencyText.isEmpty() ? QStringView(m_mapping.defaultCurrency) : currencyText).trimmed().toString().toUpper();
    const QStringView marketText = cell(ImportField::Market);
    input.market = marketText.isEmpty() ? m_mapping.defaultMarket.trimmed().toUpper() : marketCode(marketText);
    if (input.market.isEmpty() && !input.code.isEmpty())
        input.market = marketForCurrency(input.currency);
    const bool shares = movesShares(type);
    const bool split = type == u"SPLIT";
    // A split moves no money, so it is booked without a currency unless the file names one.
    if (input.currency.isEmpty() && !input.market.isEmpty() && !split)
        input.currency = CurrencyCatalog::currency(input.market);

    if ((shares || split) && input.code.isEmpty())
        return problem("importMissingCode", {typeWords});
    if ((shares || split) && input.market.isEmpty())
        return problem("importMissingMarket", {input.code});
    if (!split && input.broker.isEmpty())
        return problem("importMissingBroker");
    if (!split && input.currency.isEmpty())
        return problem("importMissingCurrency");

    if (shares) {
        if (!quantity || *quantity == 0)
            return problem("importMissingQuantity", {typeWords});
        input.quantity = *quantity;
        if (type != u"TRANSFER_OUT") {
            if (!price)
                return problem("importMissingPrice", {typeWords});
            if (!(*price > 0))
                return problem("importPriceNotPositive", {cell(ImportField::Price).toString()});
            input.price = *price;
        } else {
            input.price = price.value_or(0) > 0 ? *price : 0;
        }
        if (!m_mapping.tradesSettleInCash && (type == u"BUY" || type == u"SELL"))
            input.settlesInCash = false;
    } else if (split) {
        if (!ratio || !(*ratio > 0))
            return problem("importMissingSplitRatio");
        input.splitRatio = *ratio;
    } else {
        if (!amount || *amount == 0)
            return problem("importMissingAmount", {typeWords});
        input.amount = *amount;
    }
    return std::nullopt;
}

bool isBlankRecord(const CsvRecord &record)
{
    return std::all_of(record.fields.cbegin(), record.fields.cend(),
                       [](const QString &cell) { return QStringView(cell).trimmed().isEmpty(); });
}

} // namespace

ImportPlan planImport(const CsvTable &table, const ImportMapping &mapping, const QSet<QString> &booked,
                      const ProgressFn &progress)
{
    ImportPlan plan;
    if (!mapping.columns.contains(ImportField::Date)) {
        plan.problem = ImportProblem{QStringLiteral("importNeedsDateColumn"), {}};
        return plan;
    }
    const DatePattern dates(mapping.dateFormat);
    if (!dates.isValid()) {
        plan.problem = ImportProblem{QStringLiteral("importBadDateFormat"), {mapping.dateFormat}};
        return plan;
    }
    const qsizetype first = qsizetype(mapping.skipLines) + (mapping.hasHeader ? 1 : 0);
    const qsizetype count = table.records.size();
    // Rows are as wide as the header; without one, as the first row.
    qsizetype width = -1;
    if (mapping.hasHeader && mapping.skipLines < count)
        width = table.records[mapping.skipLines].fields.size();
    else if (!mapping.hasHeader && first < count)
        width = table.records[first].fields.size();

    plan.rows.reserve(std::max<qsizetype>(0, count - first));
    for (qsizetype i = first; i < count; ++i) {
        if (progress && (i - first) % 1024 == 0 && !progress(i - first, count - first)) {
            plan.cancelled = true;
            return plan;
        }
        const CsvRecord &record = table.records[i];
        if (isBlankRecord(record))
            continue;
        ImportRow row;
        row.line = record.line;
        const auto fail = [&](ImportProblem problem) {
            row.outcome = ImportRow::Outcome::Error;
            row.problem = std::move(problem);
            ++plan.errors;
            plan.rows.append(std::move(row));
        };
        const qsizetype fields = record.fields.size();
        const auto lineArgs = [&](qsizetype a, qsizetype b) {
            return QStringList{QString::number(record.line), QString::number(a), QString::number(b)};
        };
        if (width > 0 && fields < width) {
            fail({QStringLiteral("importRowTooShort"), lineArgs(fields, width), record.line});
            continue;
        }
        // Trailing empty cells are a spreadsheet's habit, not a shifted row.
        if (width > 0 && fields > width &&
            std::any_of(record.fields.cbegin() + width, record.fields.cend(),
                        [](const QString &cell) { return !QStringView(cell).trimmed().isEmpty(); })) {
            fail({QStringLiteral("importRowTooLong"), lineArgs(fields, width), record.line});
            continue;
        }
        if (auto problem = RowReader(mapping, record, dates).read(row.input)) {
            row.input = {};
            fail(std::move(*problem));
            continue;
        }
        if (!booked.isEmpty() && booked.contains(duplicateKey(row.input))) {
            row.outcome = ImportRow::Outcome::Duplicate;
            ++plan.duplicates;
        } else {
            ++plan.ok;
        }
        plan.rows.append(std::move(row));
    }
    if (plan.rows.isEmpty())
        plan.problem = ImportProblem{QStringLiteral("importNoRows"), {}};
    if (progress)
        progress(count - first, count - first);
    return plan;
}

QStringList unclassifiedCodes(const ImportPlan &plan, const QSet<QString> &heldCodes)
{
    QSet<QString> classified;
    for (const ImportRow &row : plan.rows) {
        if (row.outcome == ImportRow::Outcome::Ok && !row.input.sector.trimmed().isEmpty() &&
            !row.input.subSector.trimmed().isEmpty())
            classified.insert((row.input.market + u':' + row.input.code).toUpper());
    }
    QStringList codes;
    QSet<QString> listed;
    for (const ImportRow &row : plan.rows) {
        const QString &type = row.input.transactionType;
        if (row.outcome != ImportRow::Outcome::Ok || (type != u"BUY" && type != u"TRANSFER_IN"))
            continue;
        const QString key = (row.input.market + u':' + row.input.code).toUpper();
        if (!heldCodes.contains(key) && !classified.contains(key) && !listed.contains(key)) {
            listed.insert(key);
            codes.append(key);
        }
    }
    return codes;
}

} // namespace quillfern::exchange
