#include "text/LocalizationTables.h"

#include <array>

namespace quillfern {
namespace {

// key, English, Simplified Chinese, Traditional Chinese, Japanese, Korean
constexpr auto rows = std::to_array<CatalogueRow>({
    // Transaction types beyond buy and sell.
    {u"dividend", u"Dividend", u"股息", u"股息", u"配当", u"배당"},
    {u"interest", u"Interest", u"利息", u"利息", u"利息", u"이자"},
    {u"fee", u"Fee", u"费用", u"費用", u"費用", u"비용"},
    {u"tax", u"Tax", u"税费", u"稅費", u"税金", u"세금"},
    {u"deposit", u"Deposit", u"入金", u"入金", u"入金", u"입금"},
    {u"withdrawal", u"Withdrawal", u"出金", u"出金", u"出金", u"출금"},
    {u"split", u"Split", u"拆股", u"拆股", u"株式分割", u"주식 분할"},
    {u"transferIn", u"Transfer In", u"转入", u"轉入", u"移管入庫", u"이전 입고"},
    {u"transferOut", u"Transfer Out", u"转出", u"轉出", u"移管出庫", u"이전 출고"},

    // The sheet's fields and checks.
    {u"amount", u"Amount", u"金额", u"金額", u"金額", u"금액"},
    {u"splitRatio", u"Split Ratio (new : old)", u"拆股比例（新 : 旧）", u"拆股比例（新 : 舊）", u"分割比率（新 : 旧）",
     u"분할 비율(신 : 구)"},
    {u"costPerShare", u"Cost per Share", u"每股成本", u"每股成本", u"1株あたり取得単価", u"주당 취득 단가"},
    {u"settlesInCash", u"Settles in cash", u"以现金结算", u"以現金結算", u"現金で決済", u"현금으로 결제"},
    {u"chooseOne", u"Choose…", u"请选择…", u"請選擇…", u"選択してください…", u"선택하세요…"},
    {u"editTransaction", u"Edit Transaction", u"编辑交易", u"編輯交易", u"取引を編集", u"거래 편집"},
    {u"save", u"Save", u"保存", u"儲存", u"保存", u"저장"},
    {u"fieldRequired", u"{0} is required.", u"请填写{0}。", u"請填寫{0}。", u"{0}を入力してください。",
     u"{0}을(를) 입력하세요."},
    {u"fieldPositive", u"{0} must be greater than zero.", u"{0}必须大于零。", u"{0}必須大於零。",
     u"{0}には0より大きい値を入力してください。", u"{0}은(는) 0보다 커야 합니다."},
    {u"fieldNotNegative", u"{0} cannot be negative.", u"{0}不能为负数。", u"{0}不能為負數。",
     u"{0}に負の値は入力できません。", u"{0}은(는) 음수일 수 없습니다."},
    {u"fieldAfterTomorrow", u"{0} cannot be later than tomorrow.", u"{0}不能晚于明天。", u"{0}不能晚於明天。",
     u"{0}に明日より後の日時は指定できません。", u"{0}은(는) 내일 이후일 수 없습니다."},

    // The ledger page.
    {u"realizedGain", u"Realized Gain", u"已实现盈亏", u"已實現損益", u"実現損益", u"실현 손익"},
    {u"realizedGainIn", u"Realized Gain ({0})", u"已实现盈亏（{0}）", u"已實現損益（{0}）", u"実現損益（{0}）",
     u"실현 손익({0})"},
    {u"realizedGainsInYear", u"Realized Gains {0}", u"{0} 年已实现盈亏", u"{0} 年已實現損益", u"{0}年の実現損益",
     u"{0}년 실현 손익"},
    {u"realizedGainsAllTime", u"Realized Gains, All Time", u"累计已实现盈亏", u"累計已實現損益", u"累計実現損益",
     u"누적 실현 손익"},
    {u"incomeInYear", u"Income {0}", u"{0} 年收益收入", u"{0} 年收益收入", u"{0}年のインカム収益",
     u"{0}년 배당·이자 수입"},
    {u"incomeAllTime", u"Income, All Time", u"累计收益收入", u"累計收益收入", u"累計インカム収益",
     u"누적 배당·이자 수입"},
    {u"closedPositions", u"Closed Positions", u"已平仓持仓", u"已平倉持倉", u"決済済みポジション", u"청산된 포지션"},
    {u"allAccounts", u"All accounts", u"全部账户", u"全部帳戶", u"すべての口座", u"모든 계좌"},
    {u"allTickers", u"All tickers", u"全部代码", u"全部代碼", u"すべての銘柄", u"모든 종목"},
    {u"allTypes", u"All types", u"全部类型", u"全部類型", u"すべての種類", u"모든 유형"},
    {u"allYears", u"All years", u"全部年份", u"全部年份", u"すべての年", u"모든 연도"},
    {u"editTransactionAction", u"Edit…", u"编辑…", u"編輯…", u"編集…", u"편집…"},
    {u"delete", u"Delete", u"删除", u"刪除", u"削除", u"삭제"},

    // Changes of the ledger and their undo.
    {u"changeTransactionCommand", u"Change {0}", u"修改 {0}", u"修改 {0}", u"{0} を変更", u"{0} 변경"},
    {u"deleteTransactionCommand", u"Delete {0}", u"删除 {0}", u"刪除 {0}", u"{0} を削除", u"{0} 삭제"},
    {u"changedTransaction", u"Changed {0}", u"已修改 {0}", u"已修改 {0}", u"{0} を変更しました", u"{0} 변경됨"},
    {u"transactionNotDeleted", u"{0} was not deleted: {1}", u"未能删除 {0}：{1}", u"未能刪除 {0}：{1}",
     u"{0} を削除できませんでした：{1}", u"{0}을(를) 삭제하지 못했습니다: {1}"},
    {u"undoFailed", u"Could not undo {0}: {1}", u"无法撤销 {0}：{1}", u"無法復原 {0}：{1}",
     u"{0} を元に戻せませんでした：{1}", u"{0}을(를) 실행 취소하지 못했습니다: {1}"},
    {u"redoFailed", u"Could not redo {0}: {1}", u"无法重做 {0}：{1}", u"無法重做 {0}：{1}",
     u"{0} をやり直せませんでした：{1}", u"{0}을(를) 다시 실행하지 못했습니다: {1}"},
});

} // namespace

std::span<const CatalogueRow> ledgerCatalogueRows()
{
    return rows;
}

} // namespace quillfern
