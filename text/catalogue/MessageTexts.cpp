#include "text/LocalizationTables.h"

#include <array>

namespace quillfern {
namespace {

// key, English, Simplified Chinese, Traditional Chinese, Japanese, Korean. Where the English text is only
// "{0}", the argument is a sentence that comes from elsewhere in English (the service's explanation, the
// network stack's); English shows it as it is, the other languages say in their own words what happened.
constexpr auto rows = std::to_array<CatalogueRow>({
    // A request that got no usable answer.
    {u"requestTimedOut", u"The request timed out.", u"请求超时。", u"要求逾時。", u"リクエストがタイムアウトしました。",
     u"요청 시간이 초과되었습니다."},
    {u"requestCancelled", u"cancelled", u"已取消", u"已取消", u"キャンセルされました", u"취소됨"},
    {u"serverUnreachable", u"Could not connect to the server.", u"无法连接到服务器。", u"無法連線到伺服器。",
     u"サーバーに接続できませんでした。", u"서버에 연결할 수 없습니다."},
    {u"connectionLost", u"The network connection was lost.", u"网络连接已中断。", u"網路連線已中斷。",
     u"ネットワーク接続が切断されました。", u"네트워크 연결이 끊어졌습니다."},
    {u"secureConnectionFailed", u"A secure connection to the server could not be made.", u"无法与服务器建立安全连接。",
     u"無法與伺服器建立安全連線。", u"サーバーとの安全な接続を確立できませんでした。",
     u"서버와 보안 연결을 설정할 수 없습니다."},
    {u"requestNotCompleted", u"The request could not be completed.", u"请求未能完成。", u"要求未能完成。",
     u"リクエストを完了できませんでした。", u"요청을 완료할 수 없습니다."},
    {u"requestNotCompletedBecause", u"{0}", u"请求未能完成：{0}", u"要求未能完成：{0}",
     u"リクエストを完了できませんでした：{0}", u"요청을 완료할 수 없습니다: {0}"},
    {u"storedSessionDamaged", u"The stored sign-in is damaged. Sign in again.", u"保存的登录信息已损坏，请重新登录。",
     u"儲存的登入資訊已損毀，請重新登入。",
     u"保存されたサインイン情報が壊れています。もう一度サインインしてください。",
     u"저장된 로그인 정보가 손상되었습니다. 다시 로그인하세요."},
    {u"requestNotSent", u"The request could not be sent.", u"请求无法发送。", u"要求無法送出。",
     u"リクエストを送信できませんでした。", u"요청을 보낼 수 없습니다."},
    {u"unreadableResponse", u"The portfolio server returned an unreadable response.",
     u"投资组合服务器返回了无法读取的响应。", u"投資組合伺服器傳回了無法讀取的回應。",
     u"ポートフォリオサーバーから読み取れない応答が返されました。",
     u"포트폴리오 서버가 읽을 수 없는 응답을 반환했습니다."},
    // The service refused a request and said why ({0}); a refused session has words of its own.
    {u"serviceRefusal", u"{0}", u"服务拒绝了请求：{0}", u"服務拒絕了要求：{0}", u"サービスがリクエストを拒否しました：{0}",
     u"서비스가 요청을 거부했습니다: {0}"},
    {u"sessionRefused", u"{0}", u"登录已失效，请重新登录：{0}", u"登入已失效，請重新登入：{0}",
     u"サインインが無効になりました。もう一度サインインしてください：{0}",
     u"로그인이 만료되었습니다. 다시 로그인하세요: {0}"},
    // The service refused without saying why; {0} is the HTTP status.
    {u"portfolioRequestFailed", u"Portfolio request failed (HTTP {0}).", u"投资组合请求失败（状态码 {0}）。",
     u"投資組合要求失敗（狀態碼 {0}）。", u"ポートフォリオのリクエストに失敗しました（ステータス {0}）。",
     u"포트폴리오 요청에 실패했습니다(상태 코드 {0})."},
    {u"priceRequestFailed", u"Market price request failed (HTTP {0}).", u"行情价格请求失败（状态码 {0}）。",
     u"行情價格要求失敗（狀態碼 {0}）。", u"市場価格のリクエストに失敗しました（ステータス {0}）。",
     u"시장 가격 요청에 실패했습니다(상태 코드 {0})."},

    // An answer that is not the record it should be. {0} is the field ("price" in quotes, or the whole
    // response); the reader's own detail stays in English.
    {u"dataNotJSON", u"The data couldn't be read because it isn't valid JSON ({0}).", u"无法读取数据：格式无效（{0}）。",
     u"無法讀取資料：格式無效（{0}）。", u"データを読み取れませんでした：形式が正しくありません（{0}）。",
     u"데이터를 읽을 수 없습니다: 형식이 올바르지 않습니다({0})."},
    {u"dataGivenTwice", u"The data couldn't be read because {0} is given twice.", u"无法读取数据：{0} 重复出现。",
     u"無法讀取資料：{0} 重複出現。", u"データを読み取れませんでした：{0} が重複しています。",
     u"데이터를 읽을 수 없습니다: {0} 항목이 중복되었습니다."},
    {u"dataMissing", u"The data couldn't be read because {0} is missing.", u"无法读取数据：缺少 {0}。",
     u"無法讀取資料：缺少 {0}。", u"データを読み取れませんでした：{0} がありません。",
     u"데이터를 읽을 수 없습니다: {0} 항목이 없습니다."},
    {u"dataNull", u"The data couldn't be read because {0} is null.", u"无法读取数据：{0} 为空值。",
     u"無法讀取資料：{0} 為空值。", u"データを読み取れませんでした：{0} が空です。",
     u"데이터를 읽을 수 없습니다: {0} 값이 비어 있습니다."},
    // {1} is one of the types below.
    {u"dataWrongType", u"The data couldn't be read because {0} is not {1}.", u"无法读取数据：{0} 不是{1}。",
     u"無法讀取資料：{0} 不是{1}。", u"データを読み取れませんでした：{0} が{1}ではありません。",
     u"데이터를 읽을 수 없습니다: {0} 항목의 형식이 {1}이(가) 아닙니다."},
    {u"dataUnreadable", u"The data couldn't be read.", u"无法读取数据。", u"無法讀取資料。",
     u"データを読み取れませんでした。", u"데이터를 읽을 수 없습니다."},
    {u"dataWholeResponse", u"the response", u"响应内容", u"回應內容", u"応答", u"응답"},
    {u"dataTypeString", u"a string", u"字符串", u"字串", u"文字列", u"문자열"},
    {u"dataTypeNumber", u"a number", u"数字", u"數字", u"数値", u"숫자"},
    {u"dataTypeBoolean", u"a boolean", u"布尔值", u"布林值", u"真偽値", u"불리언"},
    {u"dataTypeObject", u"an object", u"对象", u"物件", u"オブジェクト", u"객체"},
    {u"dataTypeArray", u"an array", u"数组", u"陣列", u"配列", u"배열"},
    {u"dataNotWritable", u"The data couldn't be written because \"{0}\" is not a finite number.",
     u"无法写入数据：“{0}”不是有限数值。", u"無法寫入資料：「{0}」不是有限數值。",
     u"データを書き込めませんでした：「{0}」が有限の数値ではありません。",
     u"데이터를 쓸 수 없습니다: \"{0}\" 값이 유한한 숫자가 아닙니다."},

    // The portfolio's round trip with the service.
    {u"doubleClickToEdit", u"Double-click a row to edit", u"双击某行即可编辑", u"按兩下某列即可編輯",
     u"行をダブルクリックして編集", u"행을 두 번 클릭하여 편집"},
    {u"editsWaitForService", u"Your changes are kept on this computer and will be sent when the service answers.",
     u"你的更改已保存在本机，服务响应后将会发送。", u"你的變更已儲存在本機，服務回應後將會送出。",
     u"変更はこのコンピュータに保存されており、サービスが応答したときに送信されます。",
     u"변경 사항은 이 컴퓨터에 보관되며 서비스가 응답하면 전송됩니다."},
    {u"showingCopyWillRetry", u"Showing the copy saved on this computer; Quillfern will try again by itself.",
     u"正在显示保存在本机上的副本；Quillfern 会自动重试。", u"正在顯示儲存在本機上的副本；Quillfern 會自動重試。",
     u"このコンピュータに保存されたコピーを表示しています。Quillfern が自動的に再試行します。",
     u"이 컴퓨터에 저장된 사본을 표시하고 있습니다. Quillfern이 자동으로 다시 시도합니다."},
    {u"willRetry", u"Quillfern will try again by itself.", u"Quillfern 会自动重试。", u"Quillfern 會自動重試。",
     u"Quillfern が自動的に再試行します。", u"Quillfern이 자동으로 다시 시도합니다."},
    // {0} lists the rows, each a code, "a new holding" or a cash row's name.
    {u"keptConflictingChanges", u"Kept your changes to {0}; they had also been changed elsewhere.",
     u"已保留你对 {0} 的更改；它们在其他地方也被修改过。", u"已保留你對 {0} 的變更；它們在其他地方也被修改過。",
     u"{0} への変更を保持しました。別の場所でも変更されていました。",
     u"{0}에 대한 변경 사항을 유지했습니다. 다른 곳에서도 변경된 항목입니다."},
    {u"newHoldingName", u"a new holding", u"一条新持仓", u"一筆新持倉", u"新しい保有銘柄", u"새 보유 종목"},
    // {0} is the currency code, {1} the brokerage.
    {u"cashRowName", u"{0} at {1}", u"{1} 的 {0}", u"{1} 的 {0}", u"{1} の {0}", u"{1}의 {0}"},

    // Price refresh.
    {u"pricesRefreshAfterSaving", u"Prices refresh automatically after saving", u"保存后价格会自动刷新",
     u"儲存後價格會自動重新整理", u"保存すると価格が自動的に更新されます", u"저장하면 가격이 자동으로 새로 고쳐집니다"},
    {u"refreshNeedsSignIn", u"Sign in to refresh prices", u"登录后才能刷新价格", u"登入後才能重新整理價格",
     u"価格を更新するにはサインインしてください", u"가격을 새로 고치려면 로그인하세요"},
    {u"allPricesUpToDate", u"All prices are up to date", u"所有价格均为最新", u"所有價格皆為最新",
     u"すべての価格が最新です", u"모든 가격이 최신 상태입니다"},
    {u"noCodesToRefresh", u"No stock codes to refresh", u"没有可刷新的股票代码", u"沒有可重新整理的股票代碼",
     u"更新する銘柄コードがありません", u"새로 고칠 종목 코드가 없습니다"},
    {u"refreshingSymbols", u"{0, plural, one {Refreshing # symbol...} other {Refreshing # symbols...}}",
     u"正在刷新 {0} 个代码…", u"正在重新整理 {0} 個代碼…", u"{0} 銘柄を更新中…", u"종목 {0}개 새로 고치는 중…"},
    {u"updatedRows", u"{0, plural, one {Updated # row} other {Updated # rows}}", u"已更新 {0} 行", u"已更新 {0} 列",
     u"{0} 行を更新しました", u"{0}개 행 업데이트됨"},
    // {1} is how many codes could not be priced.
    {u"updatedRowsSomeFailed", u"{0, plural, one {Updated # row} other {Updated # rows}} \u00B7 {1} failed",
     u"已更新 {0} 行 \u00B7 {1} 个失败", u"已更新 {0} 列 \u00B7 {1} 個失敗", u"{0} 行を更新 \u00B7 {1} 件失敗",
     u"{0}개 행 업데이트됨 \u00B7 {1}개 실패"},
    // {0} is the stock code, {1} why its price could not be fetched.
    {u"priceFailure", u"{0}: {1}", u"{0} 价格获取失败：{1}", u"{0} 價格取得失敗：{1}",
     u"{0} の価格を取得できませんでした：{1}", u"{0} 가격 조회 실패: {1}"},
    {u"savedWithPrice", u"Saved {0} \u00B7 current {1}", u"已保存 {0} \u00B7 当前价 {1}",
     u"已儲存 {0} \u00B7 目前價格 {1}", u"{0} を保存しました \u00B7 現在値 {1}", u"{0} 저장됨 \u00B7 현재가 {1}"},

    // Editing holdings; {0} is the row's stock code.
    {u"editingRow", u"Editing {0} \u00B7 Return to save \u00B7 Esc to cancel",
     u"正在编辑 {0} \u00B7 按 Enter 保存 \u00B7 按 Esc 取消", u"正在編輯 {0} \u00B7 按 Enter 儲存 \u00B7 按 Esc 取消",
     u"{0} を編集中 \u00B7 Enter で保存 \u00B7 Esc でキャンセル",
     u"{0} 편집 중 \u00B7 Enter 키로 저장 \u00B7 Esc 키로 취소"},
    {u"newRowName", u"new row", u"新行", u"新列", u"新しい行", u"새 행"},
    {u"codeRequired", u"Code is required.", u"必须填写代码。", u"必須填寫代碼。", u"銘柄コードを入力してください。",
     u"종목 코드를 입력하세요."},
    {u"invalidHoldingNumbers", u"Prices cannot be negative and quantity must be greater than zero.",
     u"价格不能为负数，数量必须大于零。", u"價格不能為負數，數量必須大於零。",
     u"価格は負の値にできず、数量は0より大きくする必要があります。",
     u"가격은 음수일 수 없으며 수량은 0보다 커야 합니다."},
    {u"duplicateHolding", u"This market, stock code and broker combination already exists.",
     u"该市场、股票代码和券商的组合已存在。", u"此市場、股票代碼和券商的組合已存在。",
     u"この市場・銘柄コード・証券会社の組み合わせはすでに存在します。",
     u"이 시장, 종목 코드, 증권사 조합이 이미 있습니다."},
    {u"savedFetchingPrice", u"Saved {0} \u00B7 fetching price\u2026", u"已保存 {0} \u00B7 正在获取价格\u2026",
     u"已儲存 {0} \u00B7 正在取得價格\u2026", u"{0} を保存しました \u00B7 価格を取得中\u2026",
     u"{0} 저장됨 \u00B7 가격 가져오는 중\u2026"},
    {u"changesDiscarded", u"Changes discarded", u"已放弃更改", u"已捨棄變更", u"変更を破棄しました",
     u"변경 사항을 취소했습니다"},

    // Editing cash balances.
    {u"duplicateCashPair", u"This broker and currency combination already exists.", u"该券商和币种的组合已存在。",
     u"此券商和幣別的組合已存在。", u"この証券会社と通貨の組み合わせはすでに存在します。",
     u"이 증권사와 통화 조합이 이미 있습니다."},
    {u"negativeCash", u"Cash balance cannot be negative.", u"现金余额不能为负数。", u"現金餘額不能為負數。",
     u"現金残高を負の値にすることはできません。", u"현금 잔고는 음수일 수 없습니다."},
    {u"noFreeCashPair", u"All available broker and currency combinations already exist.",
     u"所有可用的券商和币种组合均已存在。", u"所有可用的券商和幣別組合皆已存在。",
     u"利用できる証券会社と通貨の組み合わせはすべて追加済みです。",
     u"사용 가능한 모든 증권사와 통화 조합이 이미 있습니다."},
    {u"balanceAlertTitle", u"Unable to Edit Balance", u"无法编辑余额", u"無法編輯餘額", u"残高を編集できません",
     u"잔고를 편집할 수 없음"},
    {u"uniqueCashPairHint", u"Please use a unique broker and currency combination.", u"请使用不重复的券商和币种组合。",
     u"請使用不重複的券商和幣別組合。", u"重複しない証券会社と通貨の組み合わせを使用してください。",
     u"중복되지 않는 증권사와 통화 조합을 사용하세요."},

    // The ledger.
    {u"transactionCount", u"{0, plural, one {# transaction} other {# transactions}}", u"{0} 条交易记录",
     u"{0} 筆交易記錄", u"{0} 件の取引", u"거래 {0}건"},
});

} // namespace

std::span<const CatalogueRow> messageCatalogueRows()
{
    return rows;
}

} // namespace quillfern
