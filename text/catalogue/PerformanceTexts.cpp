#include "text/LocalizationTables.h"

#include <array>

namespace quillfern {
namespace {

// key, English, Simplified Chinese, Traditional Chinese, Japanese, Korean
constexpr auto rows = std::to_array<CatalogueRow>({
    {u"performance", u"Performance", u"业绩", u"績效", u"パフォーマンス", u"성과"},

    // The periods of the selector.
    {u"performancePeriod", u"Period", u"区间", u"區間", u"期間", u"기간"},
    {u"periodOneMonth", u"1M", u"1个月", u"1個月", u"1か月", u"1개월"},
    {u"periodThreeMonths", u"3M", u"3个月", u"3個月", u"3か月", u"3개월"},
    {u"periodYearToDate", u"YTD", u"今年以来", u"今年以來", u"年初来", u"연초 이후"},
    {u"periodOneYear", u"1Y", u"1年", u"1年", u"1年", u"1년"},
    {u"periodFiveYears", u"5Y", u"5年", u"5年", u"5年", u"5년"},
    {u"periodAll", u"All", u"全部", u"全部", u"全期間", u"전체"},

    // The cards.
    {u"timeWeightedReturn", u"Time-Weighted Return", u"时间加权收益率", u"時間加權報酬率", u"時間加重収益率",
     u"시간가중수익률"},
    {u"moneyWeightedReturn", u"Money-Weighted Return", u"资金加权收益率", u"金額加權報酬率", u"金額加重収益率",
     u"금액가중수익률"},
    {u"periodGain", u"Gain", u"期间盈亏", u"期間損益", u"期間損益", u"기간 손익"},
    {u"periodIncome", u"Income", u"期间收益收入", u"期間收益收入", u"期間インカム収益", u"기간 배당·이자 수입"},
    {u"maxDrawdown", u"Max Drawdown", u"最大回撤", u"最大回撤", u"最大ドローダウン", u"최대 낙폭"},
    {u"dayChange", u"Day Change", u"当日涨跌", u"當日漲跌", u"前日比", u"전일 대비"},

    // The chart, its crosshair and the sections under it.
    {u"valueOverTime", u"Value over Time", u"总值走势", u"總值走勢", u"評価額の推移", u"평가액 추이"},
    {u"chartValue", u"Value", u"总值", u"總值", u"評価額", u"평가액"},
    {u"chartInvested", u"Invested", u"投入本金", u"投入本金", u"投資元本", u"투자 원금"},
    {u"chartValueLine", u"Value: {0}", u"总值：{0}", u"總值：{0}", u"評価額：{0}", u"평가액: {0}"},
    {u"chartGainLine", u"Gain: {0}", u"盈亏：{0}", u"損益：{0}", u"損益：{0}", u"손익: {0}"},
    {u"monthlyIncome", u"Monthly Income", u"每月收益收入", u"每月收益收入", u"月別インカム収益",
     u"월별 배당·이자 수입"},
    {u"topContributors", u"Top Contributors", u"贡献最多", u"貢獻最多", u"寄与上位", u"기여 상위"},
    {u"bottomContributors", u"Bottom Contributors", u"贡献最少", u"貢獻最少", u"寄与下位", u"기여 하위"},
    {u"contributionHolding", u"Holding", u"持仓", u"持倉", u"銘柄", u"종목"},
    {u"contributionGain", u"Contribution ({0})", u"贡献（{0}）", u"貢獻（{0}）", u"寄与（{0}）", u"기여({0})"},
    {u"noIncomeInPeriod", u"No income in this period", u"此区间没有收益收入", u"此區間沒有收益收入",
     u"この期間のインカム収益はありません", u"이 기간에는 배당·이자 수입이 없습니다"},

    // Empty, partial and failed answers.
    {u"noHistoryYet", u"No history yet", u"暂无历史数据", u"尚無歷史資料", u"まだ履歴がありません",
     u"아직 기록이 없습니다"},
    {u"noHistoryHint", u"Record your trades on the Transactions page and the account's value over time shows here.",
     u"在“交易记录”页登记交易后，这里会显示账户总值的变化。", u"在「交易記錄」頁登記交易後，這裡會顯示帳戶總值的變化。",
     u"「取引履歴」ページで取引を記録すると、ここに口座の評価額の推移が表示されます。",
     u"‘거래 내역’ 페이지에 거래를 기록하면 여기에 계좌 평가액 추이가 표시됩니다."},
    {u"missingHistory", u"No price history for {0}: left out of the value.", u"{0} 暂无价格历史，未计入总值。",
     u"{0} 尚無價格歷史，未計入總值。", u"{0}は価格履歴がないため、評価額に含めていません。",
     u"{0}의 가격 기록이 없어 평가액에서 제외했습니다."},
    {u"moreListings", u"{0, plural, one {# more listing} other {# more listings}}", u"另外 {0} 个标的",
     u"另外 {0} 個標的", u"ほか {0} 銘柄", u"그 외 {0}개 종목"},
    {u"performanceRequestFailed", u"Performance request failed (HTTP {0}).", u"业绩请求失败（状态码 {0}）。",
     u"績效請求失敗（狀態碼 {0}）。", u"パフォーマンスの取得に失敗しました（ステータス {0}）。",
     u"성과 요청에 실패했습니다(상태 코드 {0})."},
    {u"performanceNotLoaded", u"Could not load the performance: {0} The figures shown are the last ones loaded.",
     u"无法加载业绩：{0} 显示的是上次加载的数据。", u"無法載入績效：{0} 顯示的是上次載入的資料。",
     u"パフォーマンスを読み込めませんでした：{0} 前回読み込んだ数値を表示しています。",
     u"성과를 불러오지 못했습니다: {0} 마지막으로 불러온 수치를 표시합니다."},
});

} // namespace

std::span<const CatalogueRow> performanceCatalogueRows()
{
    return rows;
}

} // namespace quillfern
