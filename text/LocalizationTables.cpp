#include "text/LocalizationTables.h"

#include <array>

namespace quillfern {
namespace {

// key, English, Simplified Chinese, Traditional Chinese, Japanese, Korean
constexpr std::array<CatalogueRow, 63> rows{{
    {u"holdings", u"Holdings", u"持仓", u"持倉", u"保有銘柄", u"보유 종목"},
    {u"balances", u"Balances", u"余额", u"餘額", u"残高", u"잔고"},
    {u"transactions", u"Transactions", u"交易记录", u"交易記錄", u"取引履歴", u"거래 내역"},
    {u"retry", u"Retry", u"重试", u"重試", u"再試行", u"다시 시도"},
    {u"saving", u"Saving…", u"保存中…", u"儲存中…", u"保存中…", u"저장 중…"},
    {u"marketValue", u"Market Value", u"市值", u"市值", u"時価総額", u"시장 가치"},
    {u"boughtCost", u"Cost Basis", u"持仓成本", u"持倉成本", u"取得原価", u"매입 원가"},
    {u"net", u"Unrealized P/L", u"未实现盈亏", u"未實現損益", u"含み損益", u"미실현 손익"},
    {u"return", u"Return", u"收益率", u"報酬率", u"リターン", u"수익률"},
    {u"brokerage", u"Brokerage", u"券商", u"券商", u"証券会社", u"증권사"},
    {u"market", u"Market", u"市场", u"市場", u"市場", u"시장"},
    {u"sector", u"Sector", u"行业", u"產業", u"セクター", u"섹터"},
    {u"industry", u"Industry", u"细分行业", u"細分產業", u"業種", u"세부 산업"},
    {u"ticker", u"Ticker", u"代码", u"代碼", u"銘柄コード", u"종목 코드"},
    {u"avgCost", u"Avg. Cost", u"平均成本", u"平均成本", u"平均取得単価", u"평균 단가"},
    {u"position", u"Position", u"持仓数量", u"持倉數量", u"保有数量", u"보유 수량"},
    {u"lastPrice", u"Last Price", u"最新价", u"最新價", u"現在値", u"현재가"},
    {u"portfolioWeight", u"Portfolio Weight", u"持仓占比", u"持倉占比", u"構成比率", u"포트폴리오 비중"},
    {u"unrealizedPL", u"Unrealized P/L", u"未实现盈亏", u"未實現損益", u"含み損益", u"미실현 손익"},
    {u"costBasis", u"Cost Basis", u"持仓成本", u"持倉成本", u"取得原価", u"매입 원가"},
    {u"total", u"Total", u"合计", u"合計", u"合計", u"합계"},
    {u"bySector", u"Sector Allocation", u"行业分布", u"產業分布", u"セクター別配分", u"섹터별 배분"},
    {u"byMarket", u"Market Allocation", u"市场分布", u"市場分布", u"市場別配分", u"시장별 배분"},
    {u"brokerRatio", u"Holdings by Brokerage", u"各券商持仓", u"各券商持倉", u"証券会社別保有額",
     u"증권사별 보유 자산"},
    {u"cashByAccount", u"Cash Allocation by Brokerage", u"各券商现金分布", u"各券商現金分布", u"証券会社別現金配分",
     u"증권사별 현금 배분"},
    {u"holdingVsCash", u"Portfolio Composition", u"资产构成", u"資產組成", u"資産構成", u"자산 구성"},
    {u"assetByBroker", u"Total Assets by Brokerage", u"各券商总资产", u"各券商總資產", u"証券会社別総資産",
     u"증권사별 총자산"},
    {u"investments", u"Investments", u"投资", u"投資", u"投資", u"투자"},
    {u"cash", u"Cash", u"现金", u"現金", u"現金", u"현금"},
    {u"cashBalance", u"Cash Balance", u"现金余额", u"現金餘額", u"現金残高", u"현금 잔고"},
    {u"totalAsset", u"Total Portfolio Value", u"投资组合总值", u"投資組合總值", u"ポートフォリオ総額",
     u"포트폴리오 총액"},
    {u"marketCash", u"Invested Assets %", u"投资资产占比", u"投資資產占比", u"投資資産比率", u"투자 자산 비중"},
    {u"broker", u"Broker", u"券商", u"券商", u"証券会社", u"증권사"},
    {u"originalCash", u"Original Cash", u"原币现金", u"原幣現金", u"現地通貨建て現金", u"현지 통화 현금"},
    {u"currency", u"Currency", u"币种", u"幣別", u"通貨", u"통화"},
    {u"marketAsset", u"Market / Asset", u"市场 / 资产", u"市場 / 資產", u"市場 / 資産", u"시장 / 자산"},
    {u"cashBalanceNative", u"Cash Balance (Native)", u"现金余额（原币）", u"現金餘額（原幣）", u"現金残高（現地通貨）",
     u"현금 잔고(현지 통화)"},
    {u"cashValue", u"Cash Value", u"现金价值", u"現金價值", u"現金評価額", u"현금 가치"},
    {u"holdingsValue", u"Holdings Value", u"持仓市值", u"持倉市值", u"保有資産額", u"보유 자산 가치"},
    {u"investedWeight", u"Invested %", u"投资占比", u"投資占比", u"投資比率", u"투자 비중"},
    {u"accountValue", u"Total Account Value", u"账户总值", u"帳戶總值", u"口座総額", u"계좌 총액"},
    {u"signOut", u"Sign Out", u"退出登录", u"登出", u"サインアウト", u"로그아웃"},
    {u"reportingCurrency", u"Reporting currency", u"计价货币", u"計價幣別", u"表示通貨", u"표시 통화"},
    {u"language", u"Language", u"语言", u"語言", u"言語", u"언어"},
    {u"addAssetRecord", u"Add Asset Record", u"添加资产记录", u"新增資產記錄", u"資産レコードを追加",
     u"자산 기록 추가"},
    {u"addBrokerage", u"Add Brokerage", u"添加券商", u"新增券商", u"証券会社を追加", u"증권사 추가"},
    {u"brokerageName", u"Brokerage name", u"券商名称", u"券商名稱", u"証券会社名", u"증권사 이름"},
    {u"add", u"Add", u"添加", u"新增", u"追加", u"추가"},
    {u"cancel", u"Cancel", u"取消", u"取消", u"キャンセル", u"취소"},
    {u"privateBrokerageHint", u"Custom brokerages are visible only to your account.", u"自定义券商仅对你的账户可见。",
     u"自訂券商僅對你的帳戶可見。", u"カスタム証券会社はあなたのアカウントにのみ表示されます。",
     u"사용자 지정 증권사는 내 계정에만 표시됩니다."},
    {u"brokerageNameRequired", u"Brokerage name must contain at least 2 characters.", u"券商名称至少需要 2 个字符。",
     u"券商名稱至少需要 2 個字元。", u"証券会社名は2文字以上で入力してください。",
     u"증권사 이름은 2자 이상이어야 합니다."},
    {u"addTransaction", u"Add Transaction", u"添加交易", u"新增交易", u"取引を追加", u"거래 추가"},
    {u"transactionRecords", u"transactions", u"条交易记录", u"筆交易記錄", u"件の取引", u"건의 거래"},
    {u"account", u"Account", u"账户", u"帳戶", u"口座", u"계좌"},
    {u"transactionType", u"Type", u"类型", u"類型", u"種類", u"유형"},
    {u"buy", u"Buy", u"买入", u"買入", u"買い", u"매수"},
    {u"sell", u"Sell", u"卖出", u"賣出", u"売り", u"매도"},
    {u"quantity", u"Quantity", u"数量", u"數量", u"数量", u"수량"},
    {u"tradePrice", u"Buy/Sell Price", u"买卖价格", u"買賣價格", u"売買価格", u"매매 가격"},
    {u"commission", u"Commission", u"佣金", u"佣金", u"手数料", u"수수료"},
    {u"tradeTime", u"Time", u"时间", u"時間", u"日時", u"시간"},
    {u"tradeReason", u"Buy/Sell Reason", u"买卖理由", u"買賣理由", u"売買理由", u"매매 사유"},
    {u"transactionValidation", u"Enter an account, ticker, valid quantity and price.",
     u"请填写账户、代码、有效数量和价格。", u"請填寫帳戶、代碼、有效數量和價格。",
     u"口座、銘柄、正しい数量と価格を入力してください。", u"계좌, 종목 코드, 유효한 수량과 가격을 입력하세요."},
}};

} // namespace

std::span<const CatalogueRow> catalogueRows()
{
    return rows;
}

} // namespace quillfern
