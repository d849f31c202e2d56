#include "text/LocalizationTables.h"

#include <array>

namespace quillfern {
namespace {

// key, English, Simplified Chinese, Traditional Chinese, Japanese, Korean
constexpr auto rows = std::to_array<CatalogueRow>({
    // The File menu.
    {u"menuExport", u"&Export…", u"导出…", u"匯出…", u"エクスポート…", u"내보내기…"},
    {u"menuBackUpAccount", u"&Back Up Account…", u"备份账户…", u"備份帳戶…", u"アカウントをバックアップ…",
     u"계정 백업…"},
    {u"menuRestoreAccount", u"&Restore Account…", u"恢复账户…", u"還原帳戶…", u"アカウントを復元…",
     u"계정 복원…"},

    // The export dialog.
    {u"exportTitle", u"Export", u"导出", u"匯出", u"エクスポート", u"내보내기"},
    {u"exportInclude", u"Include", u"包括", u"包括", u"含める内容", u"포함할 항목"},
    {u"exportHoldings", u"&Holdings ({0, plural, one {# row} other {# rows}})", u"持仓（{0} 行）",
     u"持倉（{0} 列）", u"保有銘柄（{0} 行）", u"보유 종목 ({0}행)"},
    {u"exportCash", u"&Cash balances ({0, plural, one {# row} other {# rows}})", u"现金余额（{0} 行）",
     u"現金餘額（{0} 列）", u"現金残高（{0} 行）", u"현금 잔고 ({0}행)"},
    {u"exportLedger", u"&Transactions ({0, plural, one {# row} other {# rows}})", u"交易记录（{0} 行）",
     u"交易記錄（{0} 列）", u"取引履歴（{0} 行）", u"거래 내역 ({0}행)"},
    {u"exportFormat", u"Format", u"格式", u"格式", u"形式", u"형식"},
    {u"exportCsv", u"C&SV files, one per table", u"CSV 文件，每个表一个", u"CSV 檔案，每個表格一個",
     u"CSV ファイル（表ごとに 1 つ）", u"CSV 파일(표마다 하나)"},
    // {0} is the spreadsheet program's name, {1} the file extension.
    {u"exportXlsx", u"{0} &workbook ({1}), one sheet per table", u"{0} 工作簿（{1}），每个表一个工作表",
     u"{0} 活頁簿（{1}），每個表格一個工作表", u"{0} ブック（{1}、表ごとに 1 シート）",
     u"{0} 통합 문서({1}, 표마다 시트 하나)"},
    {u"exportByteOrderMark", u"Add a byte-&order mark (for spreadsheet programs)", u"添加字节顺序标记（供电子表格程序使用）",
     u"加入位元組順序標記（供試算表程式使用）", u"バイトオーダーマークを付ける（表計算ソフト用）",
     u"바이트 순서 표시 추가(스프레드시트 프로그램용)"},
    {u"exportByteOrderMarkHint", u"Lets spreadsheet programs read Chinese, Japanese and Korean text correctly.",
     u"让电子表格程序正确读取中文、日文和韩文。", u"讓試算表程式正確讀取中文、日文和韓文。",
     u"表計算ソフトで中国語・日本語・韓国語を正しく読めるようにします。",
     u"스프레드시트 프로그램이 한국어, 중국어, 일본어를 올바르게 읽도록 합니다."},
    {u"exportReportingNote", u"Figures are also given in {0} at today's rates.", u"数值同时按今日汇率折合为 {0}。",
     u"數值同時依今日匯率折合為 {0}。", u"金額は本日のレートで {0} に換算した値も記載します。",
     u"금액은 오늘 환율로 {0}(으)로 환산한 값도 함께 기록됩니다."},
    {u"exportDestination", u"Sa&ve to", u"保存到", u"儲存至", u"保存先", u"저장 위치"},
    {u"exportChoose", u"&Browse…", u"浏览…", u"瀏覽…", u"参照…", u"찾아보기…"},
    {u"exportChooseFolder", u"Choose a Folder for the CSV Files", u"选择存放 CSV 文件的文件夹",
     u"選擇存放 CSV 檔案的資料夾", u"CSV ファイルの保存先フォルダを選択", u"CSV 파일을 저장할 폴더 선택"},
    {u"exportSaveWorkbook", u"Save Workbook", u"保存工作簿", u"儲存活頁簿", u"ブックを保存", u"통합 문서 저장"},
    {u"exportWorkbookFilter", u"{0} workbook ({1})", u"{0} 工作簿 ({1})", u"{0} 活頁簿 ({1})", u"{0} ブック ({1})",
     u"{0} 통합 문서 ({1})"},
    {u"exportButton", u"Export", u"导出", u"匯出", u"エクスポート", u"내보내기"},
    {u"exportClose", u"Close", u"关闭", u"關閉", u"閉じる", u"닫기"},
    {u"exportRunning", u"Exporting…", u"正在导出…", u"正在匯出…", u"エクスポートしています…", u"내보내는 중…"},
    {u"exportNothingChosen", u"Choose at least one table to export.", u"请至少选择一个要导出的表。",
     u"請至少選擇一個要匯出的表格。", u"エクスポートする表を 1 つ以上選んでください。",
     u"내보낼 표를 하나 이상 선택하세요."},
    {u"exportNoDestination", u"Choose where to save the export.", u"请选择导出的保存位置。", u"請選擇匯出的儲存位置。",
     u"保存先を選んでください。", u"저장할 위치를 선택하세요."},
    {u"exportDoneFiles", u"{0, plural, one {Exported # file to {1}} other {Exported # files to {1}}}",
     u"已将 {0} 个文件导出到 {1}", u"已將 {0} 個檔案匯出至 {1}", u"{0} 個のファイルを {1} にエクスポートしました",
     u"파일 {0}개를 {1}에 내보냈습니다"},
    {u"exportDoneWorkbook", u"Exported to {0}", u"已导出到 {0}", u"已匯出至 {0}", u"{0} にエクスポートしました",
     u"{0}에 내보냈습니다"},

    // Writing a file, for exports and backups alike.
    {u"filePermissionDenied", u"Quillfern isn't allowed to write {0}. Choose another folder.",
     u"Quillfern 没有权限写入 {0}。请选择其他文件夹。", u"Quillfern 沒有權限寫入 {0}。請選擇其他資料夾。",
     u"{0} に書き込む権限がありません。別のフォルダを選んでください。",
     u"{0}에 쓸 권한이 없습니다. 다른 폴더를 선택하세요."},
    {u"fileDiskFull", u"There isn't enough space on the disk to save {0}. Free some space or choose another place.",
     u"磁盘空间不足，无法保存 {0}。请释放空间或选择其他位置。", u"磁碟空間不足，無法儲存 {0}。請釋放空間或選擇其他位置。",
     u"ディスクの空き容量が足りないため {0} を保存できません。空き容量を増やすか、別の場所を選んでください。",
     u"디스크 공간이 부족해 {0}을(를) 저장할 수 없습니다. 공간을 확보하거나 다른 위치를 선택하세요."},
    {u"fileWriteFailed", u"{0} couldn't be saved: {1}", u"无法保存 {0}：{1}", u"無法儲存 {0}：{1}",
     u"{0} を保存できませんでした: {1}", u"{0}을(를) 저장할 수 없습니다: {1}"},
    {u"fileReadFailed", u"{0} couldn't be read: {1}", u"无法读取 {0}：{1}", u"無法讀取 {0}：{1}",
     u"{0} を読み込めませんでした: {1}", u"{0}을(를) 읽을 수 없습니다: {1}"},

    // Backing up.
    {u"backupTitle", u"Back Up Account", u"备份账户", u"備份帳戶", u"アカウントをバックアップ", u"계정 백업"},
    {u"backupFilter", u"Quillfern backup ({0})", u"Quillfern 备份 ({0})", u"Quillfern 備份 ({0})",
     u"Quillfern バックアップ ({0})", u"Quillfern 백업 ({0})"},
    {u"backupRunning", u"Backing up your account…", u"正在备份账户…", u"正在備份帳戶…",
     u"アカウントをバックアップしています…", u"계정을 백업하는 중…"},
    {u"backupDone", u"Your account was backed up to {0}.", u"账户已备份到 {0}。", u"帳戶已備份至 {0}。",
     u"アカウントを {0} にバックアップしました。", u"계정을 {0}에 백업했습니다."},
    {u"backupFailed", u"The backup couldn't be made: {0}", u"无法创建备份：{0}", u"無法建立備份：{0}",
     u"バックアップを作成できませんでした: {0}", u"백업을 만들 수 없습니다: {0}"},

    // Restoring.
    {u"restoreTitle", u"Restore Account", u"恢复账户", u"還原帳戶", u"アカウントを復元", u"계정 복원"},
    {u"restoreNotBackup", u"This file is not a Quillfern backup.", u"此文件不是 Quillfern 备份。",
     u"此檔案不是 Quillfern 備份。", u"このファイルは Quillfern のバックアップではありません。",
     u"이 파일은 Quillfern 백업이 아닙니다."},
    {u"restoreNewerFormat",
     u"This backup was made by a newer version of Quillfern (format {0}). Update Quillfern to restore it.",
     u"此备份由较新版本的 Quillfern 创建（格式 {0}）。请更新 Quillfern 后再恢复。",
     u"此備份由較新版本的 Quillfern 建立（格式 {0}）。請更新 Quillfern 後再還原。",
     u"このバックアップは新しいバージョンの Quillfern で作成されています（形式 {0}）。Quillfern を更新してから復元してください。",
     u"이 백업은 더 새로운 버전의 Quillfern으로 만들어졌습니다(형식 {0}). Quillfern을 업데이트한 후 복원하세요."},
    {u"restoreDamagedAt", u"This backup is damaged at {0} and can't be restored.", u"此备份在 {0} 处已损坏，无法恢复。",
     u"此備份在 {0} 處已損毀，無法還原。", u"このバックアップは {0} の箇所が壊れているため復元できません。",
     u"이 백업은 {0} 부분이 손상되어 복원할 수 없습니다."},
    {u"restoreDamaged", u"This backup is damaged and can't be restored ({0}).", u"此备份已损坏，无法恢复（{0}）。",
     u"此備份已損毀，無法還原（{0}）。", u"このバックアップは壊れているため復元できません（{0}）。",
     u"이 백업은 손상되어 복원할 수 없습니다({0})."},
    {u"restoreConfirmText", u"Replace your account with the backup of {0}?", u"要用 {0} 的备份替换你的账户吗？",
     u"要用 {0} 的備份取代你的帳戶嗎？", u"アカウントを {0} のバックアップで置き換えますか？",
     u"계정을 {0} 백업으로 바꾸시겠습니까?"},
    {u"restoreConfirmDetail", u"Everything in your account is replaced by what the backup holds. This can't be undone.",
     u"账户中的所有内容都将被备份中的内容替换。此操作无法撤销。", u"帳戶中的所有內容都將被備份中的內容取代。此操作無法復原。",
     u"アカウントの内容はすべてバックアップの内容に置き換えられます。この操作は取り消せません。",
     u"계정의 모든 내용이 백업의 내용으로 바뀝니다. 이 작업은 취소할 수 없습니다."},
    // One line per kind of record: {0} the kind, {1} how many the account holds now, {2} how many the backup.
    {u"restoreCountLine", u"{0}: {1} now, {2} in the backup", u"{0}：当前 {1}，备份中 {2}", u"{0}：目前 {1}，備份中 {2}",
     u"{0}: 現在 {1}、バックアップ {2}", u"{0}: 현재 {1}, 백업 {2}"},
    {u"restoreHoldings", u"Holdings", u"持仓", u"持倉", u"保有銘柄", u"보유 종목"},
    {u"restoreCashBalances", u"Cash balances", u"现金余额", u"現金餘額", u"現金残高", u"현금 잔고"},
    {u"restoreTransactions", u"Transactions", u"交易", u"交易", u"取引", u"거래"},
    {u"restoreBrokerages", u"Custom brokerages", u"自定义券商", u"自訂券商", u"カスタム証券会社", u"사용자 지정 증권사"},
    {u"restoreConfirmButton", u"Replace Account", u"替换账户", u"取代帳戶", u"置き換える", u"계정 바꾸기"},
    {u"restoreRunning", u"Restoring your account…", u"正在恢复账户…", u"正在還原帳戶…", u"アカウントを復元しています…",
     u"계정을 복원하는 중…"},
    {u"restoreDone", u"Your account was restored from the backup of {0}.", u"账户已从 {0} 的备份恢复。",
     u"帳戶已從 {0} 的備份還原。", u"{0} のバックアップからアカウントを復元しました。", u"{0} 백업에서 계정을 복원했습니다."},
    {u"restoreFailed", u"The account couldn't be restored, and nothing was changed: {0}",
     u"无法恢复账户，未做任何更改：{0}", u"無法還原帳戶，未做任何變更：{0}",
     u"アカウントを復元できませんでした。何も変更されていません: {0}", u"계정을 복원할 수 없어 아무것도 바뀌지 않았습니다: {0}"},
});

} // namespace

std::span<const CatalogueRow> exportCatalogueRows()
{
    return rows;
}

} // namespace quillfern
