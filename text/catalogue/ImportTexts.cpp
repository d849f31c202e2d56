#include "text/LocalizationTables.h"

#include <array>

namespace quillfern {
namespace {

// key, English, Simplified Chinese, Traditional Chinese, Japanese, Korean. The problems an import file can
// have; {0} is the file's line wherever one is named, the file's own words follow.
constexpr auto rows = std::to_array<CatalogueRow>({
    // The file as a whole.
    {u"importFileTooLarge", u"This file is {0} MB; files up to {1} MB can be imported.",
     u"此文件大小为 {0} 兆字节，只能导入不超过 {1} 兆字节的文件。",
     u"此檔案大小為 {0} 百萬位元組，只能匯入不超過 {1} 百萬位元組的檔案。",
     u"このファイルは {0} メガバイトです。インポートできるのは {1} メガバイトまでのファイルです。",
     u"이 파일은 {0}메가바이트입니다. {1}메가바이트 이하의 파일만 가져올 수 있습니다."},
    {u"importEmptyFile", u"The file is empty.", u"文件是空的。", u"檔案是空的。", u"ファイルが空です。",
     u"파일이 비어 있습니다."},
    {u"importBinaryFile", u"Line {0} holds binary data: this is not a text file.",
     u"第 {0} 行包含二进制数据：这不是文本文件。", u"第 {0} 行包含二進位資料：這不是文字檔。",
     u"{0} 行目にバイナリデータがあります。テキストファイルではありません。",
     u"{0}번째 줄에 바이너리 데이터가 있습니다. 텍스트 파일이 아닙니다."},
    {u"importUndecodable", u"Line {0} cannot be read as {1}. Choose another encoding.",
     u"第 {0} 行无法按 {1} 编码读取，请选择其他编码。", u"第 {0} 行無法以 {1} 編碼讀取，請選擇其他編碼。",
     u"{0} 行目を {1} として読み込めません。別の文字コードを選んでください。",
     u"{0}번째 줄을 {1}(으)로 읽을 수 없습니다. 다른 인코딩을 선택하세요."},
    {u"importUnknownEncoding", u"The encoding {0} is not available.", u"无法使用编码 {0}。", u"無法使用編碼 {0}。",
     u"文字コード {0} は使用できません。", u"{0} 인코딩을 사용할 수 없습니다."},
    {u"importUnterminatedQuote", u"Line {0}: a quoted value starts here and is never closed.",
     u"第 {0} 行：此处开始的引号内容没有结束引号。", u"第 {0} 行：此處開始的引號內容沒有結束引號。",
     u"{0} 行目：ここで始まる引用符が閉じられていません。", u"{0}번째 줄: 여기서 시작된 따옴표가 닫히지 않았습니다."},
    {u"importNoRows", u"The file has no rows to import below its header.", u"文件的标题行下方没有可导入的行。",
     u"檔案的標題列下方沒有可匯入的資料。", u"ファイルには見出し行の下にインポートできる行がありません。",
     u"파일의 머리글 아래에 가져올 행이 없습니다."},
    {u"importNeedsDateColumn", u"Choose the column that holds the date.", u"请选择包含日期的列。",
     u"請選擇包含日期的欄。", u"日付が入っている列を選んでください。", u"날짜가 들어 있는 열을 선택하세요."},
    {u"importBadDateFormat", u"The date format {0} cannot be used.", u"无法使用日期格式 {0}。",
     u"無法使用日期格式 {0}。", u"日付の書式 {0} は使用できません。", u"날짜 형식 {0}은(는) 사용할 수 없습니다."},

    // One line of the file.
    {u"importRowTooShort", u"Line {0} has fewer values ({1}) than the header ({2}).",
     u"第 {0} 行的值（{1} 个）少于标题行（{2} 个）。", u"第 {0} 行的值（{1} 個）少於標題列（{2} 個）。",
     u"{0} 行目の値（{1} 個）が見出し行（{2} 個）より少なくなっています。",
     u"{0}번째 줄의 값({1}개)이 머리글({2}개)보다 적습니다."},
    {u"importRowTooLong", u"Line {0} has more values ({1}) than the header ({2}).",
     u"第 {0} 行的值（{1} 个）多于标题行（{2} 个）。", u"第 {0} 行的值（{1} 個）多於標題列（{2} 個）。",
     u"{0} 行目の値（{1} 個）が見出し行（{2} 個）より多くなっています。",
     u"{0}번째 줄의 값({1}개)이 머리글({2}개)보다 많습니다."},
    {u"importMissingDate", u"Line {0}: the date is empty.", u"第 {0} 行：日期为空。", u"第 {0} 行：日期為空。",
     u"{0} 行目：日付が空です。", u"{0}번째 줄: 날짜가 비어 있습니다."},
    {u"importBadDate", u"Line {0}: the date \u201C{1}\u201D does not match the format {2}.",
     u"第 {0} 行：日期\u201C{1}\u201D与格式 {2} 不符。", u"第 {0} 行：日期「{1}」與格式 {2} 不符。",
     u"{0} 行目：日付「{1}」が書式 {2} に合いません。",
     u"{0}번째 줄: 날짜 \u201C{1}\u201D이(가) 형식 {2}와(과) 맞지 않습니다."},
    {u"importBadNumber", u"Line {0}: \u201C{1}\u201D in column {2} is not a number in the format chosen for the file.",
     u"第 {0} 行：\u201C{2}\u201D列中的\u201C{1}\u201D不是所选数字格式的数字。",
     u"第 {0} 行：「{2}」欄中的「{1}」不是所選數字格式的數字。",
     u"{0} 行目：「{2}」列の「{1}」は、選んだ数値の書式で読める数値ではありません。",
     u"{0}번째 줄: \u201C{2}\u201D 열의 \u201C{1}\u201D은(는) 선택한 숫자 형식의 숫자가 아닙니다."},
    {u"importUnmappedType", u"Line {0}: the type \u201C{1}\u201D is not matched to a transaction type.",
     u"第 {0} 行：类型\u201C{1}\u201D未对应到交易类型。", u"第 {0} 行：類型「{1}」未對應到交易類型。",
     u"{0} 行目：種類「{1}」が取引の種類に割り当てられていません。",
     u"{0}번째 줄: 유형 \u201C{1}\u201D이(가) 거래 유형에 연결되지 않았습니다."},
    {u"importMissingType", u"Line {0}: the type is empty.", u"第 {0} 行：类型为空。", u"第 {0} 行：類型為空。",
     u"{0} 行目：種類が空です。", u"{0}번째 줄: 유형이 비어 있습니다."},
    {u"importNegativeAmount", u"Line {0}: the amount \u201C{1}\u201D of \u201C{2}\u201D is negative.",
     u"第 {0} 行：\u201C{2}\u201D的金额\u201C{1}\u201D为负数。", u"第 {0} 行：「{2}」的金額「{1}」為負數。",
     u"{0} 行目：「{2}」の金額「{1}」が負の値です。",
     u"{0}번째 줄: \u201C{2}\u201D의 금액 \u201C{1}\u201D이(가) 음수입니다."},
    {u"importMissingCode", u"Line {0}: \u201C{1}\u201D needs a code.", u"第 {0} 行：\u201C{1}\u201D需要代码。",
     u"第 {0} 行：「{1}」需要代碼。", u"{0} 行目：「{1}」には銘柄コードが必要です。",
     u"{0}번째 줄: \u201C{1}\u201D에는 종목 코드가 필요합니다."},
    {u"importMissingMarket", u"Line {0}: the market of {1} is missing. Map a market column or choose a default market.",
     u"第 {0} 行：缺少 {1} 的市场。请指定市场列或选择默认市场。",
     u"第 {0} 行：缺少 {1} 的市場。請指定市場欄或選擇預設市場。",
     u"{0} 行目：{1} の市場がありません。市場の列を指定するか、既定の市場を選んでください。",
     u"{0}번째 줄: {1}의 시장이 없습니다. 시장 열을 지정하거나 기본 시장을 선택하세요."},
    {u"importMissingBroker", u"Line {0}: no brokerage. Map a brokerage column or choose a default brokerage.",
     u"第 {0} 行：没有券商。请指定券商列或选择默认券商。", u"第 {0} 行：沒有券商。請指定券商欄或選擇預設券商。",
     u"{0} 行目：証券会社がありません。証券会社の列を指定するか、既定の証券会社を選んでください。",
     u"{0}번째 줄: 증권사가 없습니다. 증권사 열을 지정하거나 기본 증권사를 선택하세요."},
    {u"importMissingCurrency", u"Line {0}: no currency. Map a currency column or choose a default currency.",
     u"第 {0} 行：没有币种。请指定币种列或选择默认币种。", u"第 {0} 行：沒有幣別。請指定幣別欄或選擇預設幣別。",
     u"{0} 行目：通貨がありません。通貨の列を指定するか、既定の通貨を選んでください。",
     u"{0}번째 줄: 통화가 없습니다. 통화 열을 지정하거나 기본 통화를 선택하세요."},
    {u"importMissingQuantity", u"Line {0}: \u201C{1}\u201D needs a quantity.", u"第 {0} 行：\u201C{1}\u201D需要数量。",
     u"第 {0} 行：「{1}」需要數量。", u"{0} 行目：「{1}」には数量が必要です。",
     u"{0}번째 줄: \u201C{1}\u201D에는 수량이 필요합니다."},
    {u"importMissingPrice", u"Line {0}: \u201C{1}\u201D needs a price.", u"第 {0} 行：\u201C{1}\u201D需要价格。",
     u"第 {0} 行：「{1}」需要價格。", u"{0} 行目：「{1}」には価格が必要です。",
     u"{0}번째 줄: \u201C{1}\u201D에는 가격이 필요합니다."},
    {u"importPriceNotPositive", u"Line {0}: the price \u201C{1}\u201D must be greater than zero.",
     u"第 {0} 行：价格\u201C{1}\u201D必须大于零。", u"第 {0} 行：價格「{1}」必須大於零。",
     u"{0} 行目：価格「{1}」は0より大きくなければなりません。",
     u"{0}번째 줄: 가격 \u201C{1}\u201D은(는) 0보다 커야 합니다."},
    {u"importMissingSplitRatio", u"Line {0}: a split needs a ratio greater than zero.",
     u"第 {0} 行：拆股需要大于零的比例。", u"第 {0} 行：拆股需要大於零的比例。",
     u"{0} 行目：株式分割には0より大きい分割比率が必要です。",
     u"{0}번째 줄: 주식 분할에는 0보다 큰 비율이 필요합니다."},
    {u"importMissingAmount", u"Line {0}: \u201C{1}\u201D needs an amount greater than zero.",
     u"第 {0} 行：\u201C{1}\u201D需要大于零的金额。", u"第 {0} 行：「{1}」需要大於零的金額。",
     u"{0} 行目：「{1}」には0より大きい金額が必要です。",
     u"{0}번째 줄: \u201C{1}\u201D에는 0보다 큰 금액이 필요합니다."},
});

} // namespace

std::span<const CatalogueRow> importCatalogueRows()
{
    return rows;
}

} // namespace quillfern
