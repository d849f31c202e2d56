#include "text/LocalizationTables.h"

#include <array>

namespace quillfern {
namespace {

// key, English, Simplified Chinese, Traditional Chinese, Japanese, Korean. Menu titles keep their mnemonic
// in English only; the other scripts have no letter to underline.
constexpr auto rows = std::to_array<CatalogueRow>({
    {u"menuFile", u"&File", u"文件", u"檔案", u"ファイル", u"파일"},
    {u"menuQuit", u"&Quit", u"退出", u"結束", u"終了", u"종료"},
    {u"menuHelp", u"&Help", u"帮助", u"說明", u"ヘルプ", u"도움말"},
    {u"aboutQuillfern", u"About Quillfern", u"关于 Quillfern", u"關於 Quillfern", u"Quillfern について",
     u"Quillfern 정보"},
    {u"aboutVersion", u"Version {0}", u"版本 {0}", u"版本 {0}", u"バージョン {0}", u"버전 {0}"},
    {u"officialWebsite", u"Official Website", u"官方网站", u"官方網站", u"公式サイト", u"공식 웹사이트"},
    {u"unsavedChangesTitle", u"Your latest changes are not saved", u"最近的更改尚未保存", u"最近的變更尚未儲存",
     u"最新の変更が保存されていません", u"최근 변경 사항이 저장되지 않았습니다"},
    {u"unsavedChangesText",
     u"Quillfern could not save your latest changes: {0}\n\nIf you quit now, the edits made since the last save "
     u"will be lost.",
     u"Quillfern 无法保存你最近的更改：{0}\n\n如果现在退出，上次保存之后的编辑将会丢失。",
     u"Quillfern 無法儲存你最近的變更：{0}\n\n如果現在結束，上次儲存之後的編輯將會遺失。",
     u"Quillfern は最新の変更を保存できませんでした：{0}\n\n今終了すると、前回の保存以降の編集内容は失われます。",
     u"Quillfern에서 최근 변경 사항을 저장하지 못했습니다: {0}\n\n지금 종료하면 마지막 저장 이후의 편집 내용이 "
     u"사라집니다."},
    {u"unknownError", u"unknown error", u"未知错误", u"未知錯誤", u"不明なエラー", u"알 수 없는 오류"},
    {u"stayOpen", u"Stay", u"暂不退出", u"暫不結束", u"終了しない", u"종료 안 함"},
    {u"quitAnyway", u"Quit Anyway", u"仍然退出", u"仍要結束", u"保存せずに終了", u"저장하지 않고 종료"},
    {u"loadingPortfolio", u"Loading your portfolio…", u"正在加载投资组合…", u"正在載入投資組合…",
     u"ポートフォリオを読み込んでいます…", u"포트폴리오를 불러오는 중…"},
    {u"localCopyNotice", u"Not yet up to date: showing the copy saved on this computer while the service answers.",
     u"尚未更新：服务响应之前，显示保存在本机上的副本。", u"尚未更新：服務回應之前，顯示儲存在本機上的副本。",
     u"最新ではありません：サービスが応答するまで、このコンピュータに保存されたコピーを表示しています。",
     u"아직 최신 상태가 아닙니다: 서비스가 응답할 때까지 이 컴퓨터에 저장된 사본을 표시합니다."},
    {u"signOutUnsentTitle", u"Sign out with unsent changes?", u"有未发送的更改，仍要退出登录吗？",
     u"有未送出的變更，仍要登出嗎？", u"送信していない変更があります。サインアウトしますか？",
     u"전송되지 않은 변경 사항이 있습니다. 로그아웃할까요?"},
    {u"signOutUnsentText",
     u"Some of your changes have not reached the service yet. If you sign out now, they will be lost.",
     u"你的部分更改尚未送达服务。如果现在退出登录，这些更改将会丢失。",
     u"你的部分變更尚未送達服務。如果現在登出，這些變更將會遺失。",
     u"一部の変更はまだサービスに届いていません。今サインアウトすると、それらは失われます。",
     u"일부 변경 사항이 아직 서비스에 전달되지 않았습니다. 지금 로그아웃하면 사라집니다."},
    {u"staySignedIn", u"Stay Signed In", u"保持登录", u"保持登入", u"サインインしたままにする", u"로그인 유지"},
    {u"signOutAnyway", u"Sign Out Anyway", u"仍然退出登录", u"仍要登出", u"サインアウトする", u"그래도 로그아웃"},
    {u"hideStatistics", u"Hide Statistics", u"隐藏统计", u"隱藏統計", u"統計を隠す", u"통계 숨기기"},
    {u"showStatistics", u"Show Statistics", u"显示统计", u"顯示統計", u"統計を表示", u"통계 보기"},
    {u"collapseStatistics", u"Collapse statistics", u"收起统计", u"收合統計", u"統計を折りたたむ", u"통계 접기"},
    {u"expandStatistics", u"Expand statistics", u"展开统计", u"展開統計", u"統計を展開", u"통계 펼치기"},
    {u"saveEditedRow", u"Save", u"保存", u"儲存", u"保存", u"저장"},
    {u"editRowHint", u"Double-click to edit this row", u"双击编辑此行", u"按兩下以編輯此列",
     u"ダブルクリックでこの行を編集", u"두 번 클릭하여 이 행 편집"},
    {u"editingRowHint", u"Edit the row, then save or cancel", u"编辑此行，然后保存或取消", u"編輯此列，然後儲存或取消",
     u"行を編集してから、保存またはキャンセル", u"행을 편집한 다음 저장하거나 취소하세요"},
    // {0} is the column's title.
    {u"resizeColumnHint", u"Drag the right edge to resize {0}", u"拖动右边缘可调整“{0}”的宽度",
     u"拖曳右側邊緣可調整「{0}」的寬度", u"右端をドラッグして「{0}」の幅を変更",
     u"오른쪽 가장자리를 드래그하여 {0} 열 너비 조정"},
    {u"resizeThisColumnHint", u"Drag the right edge to resize this column", u"拖动右边缘可调整此列的宽度",
     u"拖曳右側邊緣可調整此欄的寬度", u"右端をドラッグしてこの列の幅を変更",
     u"오른쪽 가장자리를 드래그하여 이 열 너비 조정"},
    {u"unableToSaveRow", u"Unable to Save Row", u"无法保存此行", u"無法儲存此列", u"行を保存できません",
     u"행을 저장할 수 없음"},
});

} // namespace

std::span<const CatalogueRow> windowCatalogueRows()
{
    return rows;
}

} // namespace quillfern
