#include "core/exchange/ImportValues.h"

#include <QHash>

#include <array>
#include <charconv>

namespace quillfern::exchange {
namespace {

// Full-width digits and signs, as Japanese and Chinese spreadsheets often write them, read as ASCII.
char16_t narrow(char16_t c)
{
    if (c >= 0xFF01 && c <= 0xFF5E)
        return char16_t(c - 0xFF01 + 0x21);
    if (c == 0x2212) // minus sign
        return u'-';
    return c;
}

int digitOf(char16_t c)
{
    c = narrow(c);
    return c >= u'0' && c <= u'9' ? c - u'0' : -1;
}

bool isBlank(char16_t c)
{
    return c == u' ' || c == u'\t' || c == 0xA0 || c == 0x202F || c == 0x3000;
}

constexpr std::array<const char16_t *, 12> monthNames{u"january",   u"february", u"march",    u"april",
                                                      u"may",       u"june",     u"july",     u"august",
                                                      u"september", u"october",  u"november", u"december"};

// A month written in English: three letters or more of its name ("Sep", "Sept", "September").
int monthOf(QStringView word)
{
    if (word.size() < 3)
        return 0;
    const QString lower = word.toString().toLower();
    for (size_t k = 0; k < monthNames.size(); ++k) {
        const QStringView name(monthNames[k]);
        if (name.startsWith(lower))
            return int(k) + 1;
    }
    return 0;
}

} // namespace

DatePattern::DatePattern(const QString &format)
{
    for (qsizetype i = 0; i < format.size();) {
        const char16_t c = format[i].unicode();
        qsizetype run = 1;
        while (i + run < format.size() && format[i + run] == c)
            ++run;
        // A time part of the format is ignored, as the time in a value is.
        if (QStringView(u"hHmsaAtzT").contains(QChar(c)))
            break;
        if (c == u'y' && (run == 4 || run == 2)) {
            m_tokens.append({run == 4 ? Kind::Year4 : Kind::Year2});
        } else if (c == u'M' && run <= 4) {
            m_tokens.append({run <= 2 ? Kind::Month : Kind::MonthName});
        } else if (c == u'd' && run <= 2) {
            m_tokens.append({Kind::Day});
        } else if (c == u'y' || c == u'M' || c == u'd') {
            m_tokens.clear();
            return;
        } else {
            for (qsizetype k = 0; k < run; ++k)
                m_tokens.append({isBlank(c) ? Kind::Blank : Kind::Literal, c});
        }
        i += run;
    }
    // Separators left before a dropped time part belong to the time.
    while (!m_tokens.isEmpty() && (m_tokens.last().kind == Kind::Blank || m_tokens.last().kind == Kind::Literal) &&
           !QStringView(u"年月日일.").contains(QChar(m_tokens.last().literal)))
        m_tokens.removeLast();
    const bool hasDate =
        std::any_of(m_tokens.cbegin(), m_tokens.cend(), [](const Token &t) { return t.kind == Kind::Day; });
    if (!hasDate)
        m_tokens.clear();
}

QDate DatePattern::parse(QStringView value) const
{
    value = value.trimmed();
    const qsizetype n = value.size();
    qsizetype pos = 0;
    int year = -1, month = -1, day = -1;
    const auto digits = [&](int least, int most) {
        int number = 0, count = 0;
        while (count < most && pos < n) {
            const int digit = digitOf(value[pos].unicode());
            if (digit < 0)
                break;
            number = number * 10 + digit;
            ++count;
            ++pos;
        }
        return count >= least ? number : -1;
    };
    for (const Token &token : m_tokens) {
        switch (token.kind) {
        case Kind::Year4:
            year = digits(4, 4);
            if (year < 0)
                return {};
            break;
        case Kind::Year2: {
            const int yy = digits(2, 2);
            if (yy < 0)
                return {};
            year = yy < 70 ? 2000 + yy : 1900 + yy;
            break;
        }
        case Kind::Month:
            month = digits(1, 2);
            break;
        case Kind::Day:
            day = digits(1, 2);
            break;
        case Kind::MonthName: {
            const qsizetype start = pos;
            while (pos < n && value[pos].isLetter())
                ++pos;
            month = monthOf(value.sliced(start, pos - start));
            break;
        }
        case Kind::Blank:
            while (pos < n && isBlank(value[pos].unicode()))
                ++pos;
            break;
        case Kind::Literal:
            if (pos >= n || narrow(value[pos].unicode()) != token.literal)
                return {};
            ++pos;
            break;
        }
        if (month == 0 || day == 0)
            return {};
    }
    if (pos < n && !isBlank(value[pos].unicode()) && value[pos] != u'T')
        return {};
    if (!QDate::isValid(year, month, day))
        return {};
    return QDate(year, month, day);
}

std::optional<double> parseNumber(QStringView value, NumberStyle style)
{
    value = value.trimmed();
    bool negative = false;
    if (value.size() >= 2 && value.front() == u'(' && value.back() == u')') {
        negative = true;
        value = value.sliced(1, value.size() - 2).trimmed();
    }
    // Signs, currency symbols and units around the figure: "-$1,234.50", "HK$ 12", "1,000円", "12 USD".
    const auto isSign = [](QChar c) { return narrow(c.unicode()) == u'-' || narrow(c.unicode()) == u'+'; };
    const auto isMoneyMark = [](QChar c) {
        return c.category() == QChar::Symbol_Currency || QStringView(u"円元圓원").contains(c);
    };
    for (int round = 0; round < 2 && !value.isEmpty(); ++round) {
        if (isSign(value.front())) {
            negative = negative != (narrow(value.front().unicode()) == u'-');
            value = value.sliced(1).trimmed();
        }
        qsizetype letters = 0;
        while (letters < value.size() && letters < 3 && value[letters].isUpper() && value[letters].unicode() < 0x80)
            ++letters;
        if (letters < value.size() && isMoneyMark(value[letters]))
            value = value.sliced(letters + 1).trimmed();
        else if (letters == 3 && letters < value.size() && isBlank(value[letters].unicode()))
            value = value.sliced(letters).trimmed();
    }
    while (!value.isEmpty() && isMoneyMark(value.back()))
        value.chop(1);
    const auto isCodeLetter = [](QChar c) { return c >= u'A' && c <= u'Z'; };
    if (value.size() > 4 && isBlank(value[value.size() - 4].unicode()) &&
        std::all_of(value.end() - 3, value.end(), isCodeLetter))
        value.chop(4);
    value = value.trimmed();
    if (!value.isEmpty() && isSign(value.back())) {
        negative = negative != (narrow(value.back().unicode()) == u'-');
        value.chop(1);
    }

    char buffer[80];
    int length = 0;
    if (negative)
        buffer[length++] = '-';
    bool decimalSeen = false, grouped = false;
    int digits = 0, groupDigits = 0;
    const char16_t grouping = style.grouping.unicode();
    for (const QChar qc : value) {
        const char16_t c = narrow(qc.unicode());
        if (length >= int(sizeof buffer) - 1)
            return std::nullopt;
        if (c >= u'0' && c <= u'9') {
            buffer[length++] = char(c);
            ++digits;
            ++groupDigits;
        } else if (c == style.decimal.unicode() && !decimalSeen) {
            if (grouped && groupDigits != 3)
                return std::nullopt;
            decimalSeen = true;
            buffer[length++] = '.';
        } else if (grouping != 0 && !decimalSeen &&
                   (c == grouping || (grouping == u' ' && isBlank(c)) || (grouping == u'\'' && c == 0x2019))) {
            // Groups of three after a first of one to three digits, so "1.5" is not 15 under a dot grouping.
            if (groupDigits < 1 || groupDigits > 3 || (grouped && groupDigits != 3))
                return std::nullopt;
            grouped = true;
            groupDigits = 0;
        } else {
            return std::nullopt;
        }
    }
    if (digits == 0 || (grouped && !decimalSeen && groupDigits != 3))
        return std::nullopt;
    double number = 0;
    const auto [end, error] = std::from_chars(buffer, buffer + length, number);
    if (error != std::errc() || end != buffer + length)
        return std::nullopt;
    return number;
}

const QStringList &transactionTypes()
{
    static const QStringList types{
        QStringLiteral("BUY"),         QStringLiteral("SELL"),        QStringLiteral("DIVIDEND"),
        QStringLiteral("INTEREST"),    QStringLiteral("TAX"),         QStringLiteral("FEE"),
        QStringLiteral("DEPOSIT"),     QStringLiteral("WITHDRAWAL"),  QStringLiteral("SPLIT"),
        QStringLiteral("TRANSFER_IN"), QStringLiteral("TRANSFER_OUT")};
    return types;
}

namespace {

// Case, blanks, underscores and hyphens do not tell type words apart.
QString typeWordKey(QStringView value)
{
    QString key;
    key.reserve(value.size());
    for (const QChar c : value) {
        if (!c.isSpace() && c != u'_' && c != u'-' && c != u'・')
            key.append(c);
    }
    return key.toCaseFolded();
}

struct TypeWords {
    const char16_t *type;
    std::initializer_list<const char16_t *> words;
};

const QHash<QString, QString> &typeWords()
{
    static const QHash<QString, QString> table = [] {
        const TypeWords lists[] = {
            {u"BUY", {u"buy",  u"bought",   u"purchase", u"b",        u"bot",  u"buy to open", u"买入",
                      u"买",   u"证券买入", u"买入成交", u"買入",     u"買進", u"買",          u"買付",
                      u"買い", u"現物買",   u"現物買付", u"株式買付", u"매수", u"현금매수",    u"장내매수"}},
            {u"SELL", {u"sell", u"sold",     u"sale",     u"s",        u"sld",  u"sell to close", u"卖出",
                       u"卖",   u"证券卖出", u"卖出成交", u"賣出",     u"賣",   u"売付",          u"売り",
                       u"売",   u"現物売",   u"現物売付", u"株式売付", u"매도", u"현금매도",      u"장내매도"}},
            {u"DIVIDEND",
             {u"dividend", u"dividends", u"div", u"cash dividend", u"股息", u"红利", u"分红", u"现金红利", u"红利入账",
              u"股息入账", u"股利", u"現金股利", u"股息入帳", u"配当", u"配当金", u"分配金", u"배당", u"배당금"}},
            {u"INTEREST", {u"interest", u"利息", u"利息归本", u"利息入帳", u"受取利息", u"이자"}},
            {u"TAX",
             {u"tax", u"withholding tax", u"税", u"税费", u"红利税", u"稅", u"稅費", u"税金", u"源泉徴収税", u"源泉税",
              u"세금", u"원천징수", u"배당세"}},
            {u"FEE",
             {u"fee", u"fees", u"charge", u"费用", u"手续费", u"費用", u"手續費", u"手数料", u"비용", u"수수료"}},
            {u"DEPOSIT", {u"deposit", u"cash in", u"入金", u"存入", u"银行转证券", u"银证转入", u"存款", u"입금"}},
            {u"WITHDRAWAL",
             {u"withdrawal", u"withdraw", u"cash out", u"出金", u"取出", u"证券转银行", u"银证转出", u"提款", u"출금"}},
            {u"SPLIT",
             {u"split", u"stock split", u"拆股", u"股票拆分", u"分割", u"株式分割", u"주식분할", u"분할", u"액면분할"}},
            {u"TRANSFER_IN",
             {u"transfer in", u"转入", u"轉入", u"股票转入", u"移管入庫", u"入庫", u"입고", u"이전입고", u"移管入库"}},
            {u"TRANSFER_OUT",
             {u"transfer out", u"转出", u"轉出", u"股票转出", u"移管出庫", u"出庫", u"출고", u"이전출고"}},
        };
        QHash<QString, QString> words;
        for (const TypeWords &list : lists) {
            const QString type = QString::fromUtf16(list.type);
            words.insert(typeWordKey(type), type);
            for (const char16_t *word : list.words)
                words.insert(typeWordKey(QStringView(word)), type);
        }
        return words;
    }();
    return table;
}

// Longer spellings ("Market Buy", "現物買付(特定)", "배당금입금") hold one of these; a value that holds stems of
// two types is left to the user, a dividend's tax aside.
struct Stem {
    const char16_t *stem;
    const char16_t *type;
};
constexpr Stem stems[] = {
    {u"buy", u"BUY"},         {u"bought", u"BUY"},
    {u"買付", u"BUY"},        {u"买入", u"BUY"},
    {u"買入", u"BUY"},        {u"買進", u"BUY"},
    {u"매수", u"BUY"},        {u"sell", u"SELL"},
    {u"sold", u"SELL"},       {u"売付", u"SELL"},
    {u"卖出", u"SELL"},       {u"賣出", u"SELL"},
    {u"매도", u"SELL"},       {u"dividend", u"DIVIDEND"},
    {u"配当", u"DIVIDEND"},   {u"股息", u"DIVIDEND"},
    {u"红利", u"DIVIDEND"},   {u"股利", u"DIVIDEND"},
    {u"배당", u"DIVIDEND"},   {u"interest", u"INTEREST"},
    {u"利息", u"INTEREST"},   {u"이자", u"INTEREST"},
    {u"tax", u"TAX"},         {u"税", u"TAX"},
    {u"稅", u"TAX"},          {u"세금", u"TAX"},
    {u"split", u"SPLIT"},     {u"拆股", u"SPLIT"},
    {u"分割", u"SPLIT"},      {u"분할", u"SPLIT"},
    {u"deposit", u"DEPOSIT"}, {u"入金", u"DEPOSIT"},
    {u"입금", u"DEPOSIT"},    {u"withdraw", u"WITHDRAWAL"},
    {u"出金", u"WITHDRAWAL"}, {u"출금", u"WITHDRAWAL"},
};

} // namespace

QString knownTypeValue(QStringView value)
{
    const QString key = typeWordKey(value);
    if (key.isEmpty())
        return {};
    if (const auto it = typeWords().constFind(key); it != typeWords().cend())
        return it.value();
    QStringList hits;
    for (const Stem &stem : stems) {
        const QString type = QString::fromUtf16(stem.type);
        if (key.contains(QStringView(stem.stem)) && !hits.contains(type))
            hits.append(type);
    }
    if (hits.size() == 1)
        return hits.first();
    if (hits.size() == 2 && hits.contains(QStringLiteral("TAX")) && hits.contains(QStringLiteral("DIVIDEND")))
        return QStringLiteral("TAX");
    return {};
}

QStringList knownDateFormats()
{
    static const QStringList formats{
        QStringLiteral("yyyy-MM-dd"),   QStringLiteral("yyyy/MM/dd"),     QStringLiteral("yyyy.MM.dd"),
        QStringLiteral("yyyyMMdd"),     QStringLiteral("MM/dd/yyyy"),     QStringLiteral("dd/MM/yyyy"),
        QStringLiteral("dd.MM.yyyy"),   QStringLiteral("dd-MM-yyyy"),     QStringLiteral("MM-dd-yyyy"),
        QStringLiteral("yyyy年M月d日"), QStringLiteral("yyyy년 M월 d일"), QStringLiteral("yyyy. M. d."),
        QStringLiteral("dd MMM yyyy"),  QStringLiteral("MMM d, yyyy"),    QStringLiteral("dd-MMM-yyyy"),
        QStringLiteral("MM/dd/yy"),     QStringLiteral("dd/MM/yy"),       QStringLiteral("yy/MM/dd")};
    return formats;
}

QDate parseImportDate(QStringView value, const QString &format)
{
    return DatePattern(format).parse(value);
}

QStringList dateFormatsFitting(const QStringList &values)
{
    QStringList fitting;
    for (const QString &format : knownDateFormats()) {
        const DatePattern pattern(format);
        const bool fits = std::all_of(values.cbegin(), values.cend(), [&](const QString &value) {
            return value.trimmed().isEmpty() || pattern.parse(value).isValid();
        });
        if (fits)
            fitting.append(format);
    }
    return fitting;
}

std::optional<double> parseImportNumber(QStringView value, NumberStyle style)
{
    return parseNumber(value, style);
}

QList<NumberStyle> numberStylesFitting(const QStringList &values)
{
    static const QList<NumberStyle> candidates{{u'.', u','},  {u',', u'.'},    {u'.', u' '},   {u',', u' '},
                                               {u'.', u'\''}, {u'.', QChar()}, {u',', QChar()}};
    QList<NumberStyle> fitting;
    for (const NumberStyle &style : candidates) {
        const bool fits = std::all_of(values.cbegin(), values.cend(), [&](const QString &value) {
            return value.trimmed().isEmpty() || parseNumber(value, style).has_value();
        });
        if (fits)
            fitting.append(style);
    }
    return fitting;
}

} // namespace quillfern::exchange
