#include "core/exchange/ExportColumns.h"
#include "core/exchange/ImportMapping.h"
#include "core/exchange/ImportValues.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <functional>

// Guessing a mapping from the file alone: the header row among junk lines, the columns from their names in
// any of the app's languages or from their values, and the formats from a sample of the rows.

namespace quillfern::exchange {
namespace {

// What a header says with case, blanks and punctuation taken away: "Buy/Sell Price" is "buysellprice".
QString headerKey(QStringView header)
{
    QString key;
    key.reserve(header.size());
    for (const QChar c : header) {
        if (c.isLetterOrNumber())
            key.append(c);
    }
    return key.toCaseFolded();
}

struct FieldHeaders {
    ImportField field;
    std::initializer_list<const char16_t *> names;
};

// Header names in the app's five languages, the app's own column titles and the usual broker spellings.
const FieldHeaders fieldHeaders[] = {
    {ImportField::Date, {u"date",      u"trade date", u"transaction date", u"time",   u"date/time", u"datetime",
                         u"traded at", u"traded_at",  u"execution date",   u"日期",   u"交易日期",  u"成交日期",
                         u"时间",      u"交易时间",   u"成交时间",         u"時間",   u"交易時間",  u"成交日",
                         u"日付",      u"約定日",     u"取引日",           u"日時",   u"約定日時",  u"일자",
                         u"날짜",      u"거래일",     u"거래일자",         u"체결일", u"시간",      u"거래일시"}},
    {ImportField::Type,
     {u"type",
      u"action",
      u"side",
      u"transaction type",
      u"activity",
      u"buy/sell",
      u"transaction_type",
      u"类型",
      u"類型",
      u"交易类型",
      u"交易類型",
      u"买卖方向",
      u"买卖",
      u"買賣別",
      u"買賣",
      u"交易类别",
      u"業務名稱",
      u"种类",
      u"種類",
      u"取引",
      u"売買",
      u"売買区分",
      u"取引区分",
      u"取引種別",
      u"구분",
      u"유형",
      u"거래유형",
      u"매매구분",
      u"거래구분",
      u"거래종류"}},
    {ImportField::Code,
     {u"code",       u"symbol",   u"ticker",    u"stock code", u"security code", u"证券代码",   u"股票代码",
      u"代码",       u"代碼",     u"證券代號",  u"股票代號",   u"代號",          u"銘柄コード", u"コード",
      u"証券コード", u"종목코드", u"종목 코드", u"종목번호",   u"티커",          u"심볼"}},
    {ImportField::Market,
     {u"market", u"exchange", u"市场", u"市場", u"交易所", u"交易市场", u"交易市場", u"시장", u"거래소"}},
    {ImportField::Quantity,
     {u"quantity", u"qty", u"shares", u"units", u"数量", u"數量", u"成交数量", u"成交數量", u"股数", u"股數", u"株数",
      u"約定数量", u"수량", u"주수", u"체결수량", u"거래수량"}},
    {ImportField::Price, {u"price",    u"unit price", u"trade price", u"buy/sell price", u"cost per share", u"价格",
                          u"價格",     u"成交价",     u"成交價",      u"成交均价",       u"成交價格",       u"买卖价格",
                          u"買賣價格", u"単価",       u"約定単価",    u"価格",           u"売買価格",       u"가격",
                          u"단가",     u"체결가",     u"체결단가",    u"매매 가격",      u"거래단가"}},
    {ImportField::Commission,
     {u"commission", u"fee", u"fees", u"comm", u"佣金", u"手续费", u"手續費", u"手数料", u"수수료"}},
    {ImportField::Currency,
     {u"currency", u"ccy", u"币种", u"幣別", u"幣種", u"货币", u"貨幣", u"通貨", u"決済通貨", u"통화", u"결제통화"}},
    {ImportField::Amount,
     {u"amount", u"net amount", u"total", u"proceeds", u"金额", u"金額", u"发生金额", u"成交金额", u"成交金額",
      u"受渡金額", u"금액", u"거래금액", u"정산금액"}},
    {ImportField::Broker,
     {u"broker", u"brokerage", u"account", u"券商", u"证券公司", u"證券商", u"証券会社", u"口座", u"账户", u"帳戶",
      u"증권사", u"계좌"}},
    {ImportField::Note, {u"note",     u"notes",    u"memo",
                         u"remark",   u"remarks",  u"description",
                         u"comment",  u"reason",   u"buy/sell reason",
                         u"备注",     u"備註",     u"买卖理由",
                         u"買賣理由", u"メモ",     u"備考",
                         u"摘要",     u"売買理由", u"비고",
                         u"메모",     u"매매 사유"}},
    {ImportField::Sector, {u"sector", u"行业", u"行業", u"產業", u"セクター", u"섹터", u"업종"}},
    {ImportField::SubSector,
     {u"sub sector", u"subsector", u"sub_sector", u"industry", u"sub-industry", u"细分行业", u"細分產業", u"細分行業",
      u"業種", u"세부 산업", u"산업"}},
    {ImportField::SplitRatio,
     {u"split ratio", u"ratio", u"split ratio (new : old)", u"拆股比例", u"拆股比例（新 : 旧）", u"拆股比例（新 : 舊）",
      u"分割比率", u"分割比率（新 : 旧）", u"분할 비율", u"분할 비율(신 : 구)"}},
};

struct HeaderTables {
    QHash<QString, ImportField> exact;
    QList<std::pair<QString, ImportField>> parts; // for names that hold one of these
};

const HeaderTables &headerTables()
{
    static const HeaderTables tables = [] {
        HeaderTables t;
        for (const FieldHeaders &entry : fieldHeaders) {
            for (const char16_t *name : entry.names) {
                const QString key = headerKey(QStringView(name));
                t.exact.insert(key, entry.field);
                // Single letters and two-letter Latin words say too little inside a longer name.
                const bool latin = key.front().unicode() < 0x80;
                if (key.size() >= (latin ? 3 : 2))
                    t.parts.append({key, entry.field});
            }
        }
        // The app's own export titles decide, so an exported ledger always maps itself.
        const QList<ImportField> fields = importFields();
        for (const QStringList &titles : ledgerImportHeaderSets()) {
            for (qsizetype i = 0; i < titles.size() && i < fields.size(); ++i)
                t.exact.insert(headerKey(titles[i]), fields[i]);
        }
        return t;
    }();
    return tables;
}

// How surely a header names a field: 10 for a known name, else more the more of it a known name covers.
QList<std::pair<double, ImportField>> headerScores(QStringView header)
{
    QList<std::pair<double, ImportField>> scores;
    const QString key = headerKey(header);
    if (key.isEmpty())
        return scores;
    const HeaderTables &tables = headerTables();
    if (const auto it = tables.exact.constFind(key); it != tables.exact.cend()) {
        scores.append({10.0, it.value()});
        return scores;
    }
    for (const auto &[part, field] : tables.parts) {
        if (key.contains(part))
            scores.append({1.0 + double(part.size()) / double(key.size()), field});
    }
    return scores;
}

bool looksLikeValue(const QString &cell)
{
    const QString trimmed = cell.trimmed();
    if (parseNumber(trimmed, {u'.', u','}) || parseNumber(trimmed, {u',', u'.'}))
        return true;
    for (const QString &format : knownDateFormats()) {
        if (DatePattern(format).parse(trimmed).isValid())
            return true;
    }
    return false;
}

int modalWidth(const QList<CsvRecord> &records, qsizetype limit)
{
    QHash<int, int> widths;
    for (qsizetype i = 0; i < limit; ++i)
        ++widths[int(records[i].fields.size())];
    int best = 0, bestCount = 0;
    for (auto it = widths.cbegin(); it != widths.cend(); ++it) {
        if (it.value() > bestCount || (it.value() == bestCount && it.key() > best)) {
            best = it.key();
            bestCount = it.value();
        }
    }
    return best;
}

int nonEmptyCells(const CsvRecord &record)
{
    return int(std::count_if(record.fields.cbegin(), record.fields.cend(),
                             [](const QString &cell) { return !cell.trimmed().isEmpty(); }));
}

// The header: the first record whose cells mostly name fields; failing that, the first record of the table's
// usual width that holds words only and is followed by one holding values.
void guessHeader(const CsvTable &table, ImportMapping &mapping)
{
    const QList<CsvRecord> &records = table.records;
    const int width = modalWidth(records, std::min<qsizetype>(records.size(), 200));
    const qsizetype limit = std::min<qsizetype>(records.size(), 30);
    for (qsizetype i = 0; i < limit; ++i) {
        const CsvRecord &record = records[i];
        int named = 0;
        for (const QString &cell : record.fields)
            named += !headerScores(cell).isEmpty();
        // A junk line ("Account: 12, Date: 2024-05-01") can name two fields; a header of another width than
        // most rows (in a short or ragged file) names more.
        if (named * 2 >= nonEmptyCells(record) && (named >= 3 || (named == 2 && record.fields.size() == width))) {
            mapping.skipLines = int(i);
            mapping.hasHeader = true;
            return;
        }
    }
    for (qsizetype i = 0; i + 1 < limit; ++i) {
        const CsvRecord &record = records[i];
        if (record.fields.size() != width || nonEmptyCells(record) < 2)
            continue;
        const int values = int(std::count_if(record.fields.cbegin(), record.fields.cend(), looksLikeValue));
        const auto &next = records[i + 1].fields;
        if (values == 0 && std::any_of(next.cbegin(), next.cend(), looksLikeValue)) {
            mapping.skipLines = int(i);
            mapping.hasHeader = true;
            return;
        }
        break;
    }
    mapping.hasHeader = false;
    mapping.skipLines = 0;
    while (mapping.skipLines < limit && records[mapping.skipLines].fields.size() != width)
        ++mapping.skipLines;
}

void guessColumnsFromHeader(const QStringList &headers, ImportMapping &mapping)
{
    struct Candidate {
        double score;
        ImportField field;
        int column;
    };
    QList<Candidate> candidates;
    for (int column = 0; column < headers.size(); ++column) {
        for (const auto &[score, field] : headerScores(headers[column]))
            candidates.append({score, field, column});
    }
    // The surest pairs first; on a tie the leftmost column, since the trade date comes before settlement.
    std::stable_sort(candidates.begin(), candidates.end(), [](const Candidate &a, const Candidate &b) {
        return a.score != b.score ? a.score > b.score : a.column < b.column;
    });
    QSet<int> taken;
    for (const Candidate &c : candidates) {
        if (!mapping.columns.contains(c.field) && !taken.contains(c.column)) {
            mapping.columns.insert(c.field, c.column);
            taken.insert(c.column);
        }
    }
}

QStringList columnValues(const QList<const CsvRecord *> &sample, int column)
{
    QStringList values;
    values.reserve(sample.size());
    for (const CsvRecord *record : sample) {
        if (column < record->fields.size() && !record->fields[column].trimmed().isEmpty())
            values.append(record->fields[column]);
    }
    return values;
}

// Without a header naming them, the date and type columns still show themselves by their values.
void guessColumnsFromValues(const QList<const CsvRecord *> &sample, int width, ImportMapping &mapping)
{
    const auto taken = [&](int column) {
        return std::find(mapping.columns.cbegin(), mapping.columns.cend(), column) != mapping.columns.cend();
    };
    for (int column = 0; column < width; ++column) {
        if (taken(column))
            continue;
        const QStringList values = columnValues(sample, column);
        if (values.isEmpty())
            continue;
        if (!mapping.columns.contains(ImportField::Date) && !dateFormatsFitting(values).isEmpty()) {
            mapping.columns.insert(ImportField::Date, column);
        } else if (!mapping.columns.contains(ImportField::Type)) {
            const auto known = std::count_if(values.cbegin(), values.cend(),
                                             [](const QString &v) { return !knownTypeValue(v).isEmpty(); });
            if (known * 5 >= values.size() * 4)
                mapping.columns.insert(ImportField::Type, column);
        }
    }
}

template <class Style>
Style mostFitting(const QList<Style> &candidates, const std::function<qsizetype(const Style &)> &reads)
{
    Style best = candidates.value(0);
    qsizetype bestCount = -1;
    for (const Style &candidate : candidates) {
        const qsizetype count = reads(candidate);
        if (count > bestCount) {
            best = candidate;
            bestCount = count;
        }
    }
    return best;
}

QString typeKey(const QString &value)
{
    return value.trimmed().toCaseFolded();
}

} // namespace

ImportMapping guessMapping(const CsvTable &table, const QString &encoding, CsvDialect dialect)
{
    ImportMapping mapping;
    mapping.encoding = encoding;
    mapping.dialect = dialect;
    mapping.dateFormat = QStringLiteral("yyyy-MM-dd");
    if (table.records.isEmpty())
        return mapping;
    guessHeader(table, mapping);
    const qsizetype first = mapping.skipLines + (mapping.hasHeader ? 1 : 0);
    if (mapping.hasHeader) {
        for (const QString &header : table.records[mapping.skipLines].fields)
            mapping.headers.append(header.trimmed());
        guessColumnsFromHeader(mapping.headers, mapping);
    }

    // A sample of the rows is enough to tell formats apart; every row would cost the preview its speed.
    QList<const CsvRecord *> sample;
    for (qsizetype i = first; i < table.records.size() && sample.size() < 2000; ++i)
        sample.append(&table.records[i]);
    const int width =
        mapping.hasHeader ? int(mapping.headers.size()) : (sample.isEmpty() ? 0 : int(sample.front()->fields.size()));
    guessColumnsFromValues(sample, width, mapping);

    if (const auto date = mapping.columns.constFind(ImportField::Date); date != mapping.columns.cend()) {
        const QStringList values = columnValues(sample, date.value());
        const QStringList fitting = dateFormatsFitting(values);
        mapping.dateFormat =
            !fitting.isEmpty() ? fitting.first() : mostFitting<QString>(knownDateFormats(), [&](const QString &format) {
                const DatePattern pattern(format);
                return std::count_if(values.cbegin(), values.cend(),
                                     [&](const QString &v) { return pattern.parse(v).isValid(); });
            });
    }

    QStringList numbers;
    for (const ImportField field : {ImportField::Quantity, ImportField::Price, ImportField::Commission,
                                    ImportField::Amount, ImportField::SplitRatio}) {
        if (const auto column = mapping.columns.constFind(field); column != mapping.columns.cend())
            numbers += columnValues(sample, column.value());
    }
    const QList<NumberStyle> fitting = numberStylesFitting(numbers);
    static const QList<NumberStyle> styles{{u'.', u','}, {u',', u'.'}, {u'.', u' '}, {u',', u' '}};
    mapping.numbers =
        !fitting.isEmpty() ? fitting.first() : mostFitting<NumberStyle>(styles, [&](const NumberStyle &style) {
            return std::count_if(numbers.cbegin(), numbers.cend(),
                                 [&](const QString &v) { return parseNumber(v, style).has_value(); });
        });

    for (const QString &value : distinctTypeValues(table, mapping)) {
        const QString type = knownTypeValue(value);
        if (!type.isEmpty())
            mapping.typeValues.insert(typeKey(value), type);
    }
    return mapping;
}

QStringList distinctTypeValues(const CsvTable &table, const ImportMapping &mapping)
{
    QStringList values;
    const auto column = mapping.columns.constFind(ImportField::Type);
    if (column == mapping.columns.cend())
        return values;
    QSet<QString> seen;
    for (qsizetype i = mapping.skipLines + (mapping.hasHeader ? 1 : 0); i < table.records.size(); ++i) {
        const QStringList &fields = table.records[i].fields;
        if (column.value() >= fields.size())
            continue;
        const QString value = fields[column.value()].trimmed();
        if (!value.isEmpty() && !seen.contains(typeKey(value))) {
            seen.insert(typeKey(value));
            values.append(value);
        }
    }
    return values;
}

} // namespace quillfern::exchange