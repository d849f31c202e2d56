#include "core/exchange/ExportColumns.h"

#include <array>

namespace quillfern::exchange {
namespace {

// English, Simplified Chinese, Traditional Chinese, Japanese, Korean. %1 is the reporting currency's code.
using Titles = std::array<const char16_t *, exportLanguageCount>;

constexpr Titles valueIn{u"Value (%1)", u"折合金额（%1）", u"折合金額（%1）", u"換算額（%1）", u"환산 금액(%1)"};
constexpr Titles broker{u"Broker", u"券商", u"券商", u"証券会社", u"증권사"};
constexpr Titles market{u"Market", u"市场", u"市場", u"市場", u"시장"};
constexpr Titles code{u"Code", u"代码", u"代碼", u"銘柄コード", u"종목 코드"};
constexpr Titles sector{u"Sector", u"行业", u"產業", u"セクター", u"섹터"};
constexpr Titles subSector{u"Sub-industry", u"细分行业", u"細分產業", u"業種", u"세부 산업"};
constexpr Titles quantity{u"Quantity", u"数量", u"數量", u"数量", u"수량"};
constexpr Titles currency{u"Currency", u"币种", u"幣別", u"通貨", u"통화"};

constexpr std::array<Titles, int(LedgerColumn::ColumnCount)> ledgerTitles{{
    {u"Date", u"日期", u"日期", u"日付", u"날짜"},
    {u"Type", u"类型", u"類型", u"種類", u"유형"},
    code,
    market,
    quantity,
    {u"Price", u"价格", u"價格", u"価格", u"가격"},
    {u"Commission", u"佣金", u"佣金", u"手数料", u"수수료"},
    currency,
    {u"Amount", u"金额", u"金額", u"金額", u"금액"},
    broker,
    {u"Note", u"备注", u"備註", u"メモ", u"메모"},
    sector,
    subSector,
    {u"Split ratio", u"拆股比例", u"分割比例", u"分割比率", u"분할 비율"},
    {u"Realized gain", u"已实现盈亏", u"已實現損益", u"実現損益", u"실현 손익"},
    valueIn,
    {u"Realized gain (%1)", u"已实现盈亏（%1）", u"已實現損益（%1）", u"実現損益（%1）", u"실현 손익(%1)"},
}};

constexpr std::array<Titles, int(HoldingColumn::ColumnCount)> holdingTitles{{
    broker,
    market,
    code,
    sector,
    subSector,
    quantity,
    {u"Average cost", u"平均成本", u"平均成本", u"平均取得単価", u"평균 단가"},
    {u"Price", u"最新价", u"最新價", u"現在値", u"현재가"},
    currency,
    {u"Cost", u"持仓成本", u"持倉成本", u"取得原価", u"매입 원가"},
    {u"Market value", u"市值", u"市值", u"評価額", u"평가액"},
    {u"Unrealized gain", u"未实现盈亏", u"未實現損益", u"含み損益", u"미실현 손익"},
    {u"Return (%)", u"收益率（%）", u"報酬率（%）", u"損益率（%）", u"수익률(%)"},
    {u"Cost (%1)", u"持仓成本（%1）", u"持倉成本（%1）", u"取得原価（%1）", u"매입 원가(%1)"},
    {u"Market value (%1)", u"市值（%1）", u"市值（%1）", u"評価額（%1）", u"평가액(%1)"},
    {u"Unrealized gain (%1)", u"未实现盈亏（%1）", u"未實現損益（%1）", u"含み損益（%1）", u"미실현 손익(%1)"},
    {u"Weight (%)", u"持仓占比（%）", u"持倉占比（%）", u"構成比（%）", u"비중(%)"},
}};

constexpr std::array<Titles, int(CashColumn::ColumnCount)> cashTitles{{
    broker,
    currency,
    {u"Balance", u"余额", u"餘額", u"残高", u"잔고"},
    valueIn,
    {u"Weight (%)", u"占比（%）", u"占比（%）", u"構成比（%）", u"비중(%)"},
}};

constexpr std::array<Titles, 3> tableTitles{{
    {u"Holdings", u"持仓", u"持倉", u"保有銘柄", u"보유 종목"},
    {u"Cash", u"现金余额", u"現金餘額", u"現金残高", u"현금 잔고"},
    {u"Transactions", u"交易记录", u"交易記錄", u"取引履歴", u"거래 내역"},
}};

QString title(const Titles &titles, ExportLanguage language, const QString &reportingCurrency)
{
    QString text = QString::fromUtf16(titles[size_t(language)]);
    return text.contains(u"%1") ? text.arg(reportingCurrency) : text;
}

template <class Column, size_t N>
QString titleOf(const std::array<Titles, N> &table, Column column, ExportLanguage language, const QString &reporting)
{
    const int index = int(column);
    return index >= 0 && size_t(index) < N ? title(table[size_t(index)], language, reporting) : QString();
}

} // namespace

ExportLanguage exportLanguage(QStringView languageCode)
{
    const auto is = [&](const char *prefix) {
        return languageCode.startsWith(QLatin1String(prefix), Qt::CaseInsensitive);
    };
    if (is("zh-TW") || is("zh-HK") || is("zh-MO") || is("zh-Hant") || is("zh_TW") || is("zh_Hant"))
        return ExportLanguage::TraditionalChinese;
    if (is("zh"))
        return ExportLanguage::SimplifiedChinese;
    if (is("ja"))
        return ExportLanguage::Japanese;
    if (is("ko"))
        return ExportLanguage::Korean;
    return ExportLanguage::English;
}

QString columnTitle(LedgerColumn column, ExportLanguage language, const QString &reportingCurrency)
{
    return titleOf(ledgerTitles, column, language, reportingCurrency);
}

QString columnTitle(HoldingColumn column, ExportLanguage language, const QString &reportingCurrency)
{
    return titleOf(holdingTitles, column, language, reportingCurrency);
}

QString columnTitle(CashColumn column, ExportLanguage language, const QString &reportingCurrency)
{
    return titleOf(cashTitles, column, language, reportingCurrency);
}

QStringList ledgerExportHeaders(ExportLanguage language, const QString &reportingCurrency)
{
    QStringList headers;
    for (int column = 0; column < int(LedgerColumn::ColumnCount); ++column)
        headers.append(columnTitle(LedgerColumn(column), language, reportingCurrency));
    return headers;
}

QList<QStringList> ledgerImportHeaderSets()
{
    QList<QStringList> sets;
    for (int language = 0; language < exportLanguageCount; ++language)
        sets.append(ledgerExportHeaders(ExportLanguage(language), {}).mid(0, ledgerImportColumnCount));
    return sets;
}

QString tableName(ExportTableKind kind, ExportLanguage language)
{
    return titleOf(tableTitles, kind, language, {});
}

} // namespace quillfern::exchange
