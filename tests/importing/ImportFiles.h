#pragma once

// Files as brokers write them, in the encodings they use, for the import session and wizard tests.

#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <unicode/ucnv.h>

namespace quillfern::testing {

// text in an ICU encoding ("Shift_JIS", "GB18030", "UTF-8").
inline QByteArray encoded(const QString &text, const char *encoding)
{
    UErrorCode status = U_ZERO_ERROR;
    UConverter *converter = ucnv_open(encoding, &status);
    QByteArray bytes(text.size() * 4 + 16, '\0');
    const int32_t length =
        ucnv_fromUChars(converter, bytes.data(), int32_t(bytes.size()), reinterpret_cast<const UChar *>(text.utf16()),
                        int32_t(text.size()), &status);
    ucnv_close(converter);
    bytes.resize(U_SUCCESS(status) ? length : 0);
    return bytes;
}

inline QString writeFile(const QTemporaryDir &folder, const QString &name, const QByteArray &bytes)
{
    const QString path = folder.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        return {};
    return path;
}

// A Japanese broker's history: a title line above the headings, two codes held nowhere, a sale, and a dividend
// without its amount (an error).
inline QString japaneseHistory()
{
    return QStringLiteral("取引履歴（2024年）\r\n"
                          "約定日,取引,銘柄コード,市場,数量,単価,手数料,口座,備考\r\n"
                          "2024/03/01,買付,7203,東証,100,2500,0,IBKR,トヨタ自動車の買い増し\r\n"
                          "2024/03/04,買付,6758,東証,50,13000,0,IBKR,ソニーグループを新規購入\r\n"
                          "2024/03/08,売付,7203,東証,40,2600,0,IBKR,一部を利益確定\r\n"
                          "2024/03/15,配当,7203,東証,,,,IBKR,配当金の受け取り\r\n");
}

// An English broker's export: a classified purchase, a code held nowhere, a deposit and a word no type matches.
inline QString englishExport()
{
    return QStringLiteral("Date,Action,Symbol,Quantity,Price,Commission,Currency,Amount,Sector,Industry\n"
                          "2024-03-01,Buy,MSFT,10,400,1,USD,,Information Technology,Systems Software\n"
                          "2024-03-02,Buy,NEWCO,5,20,0,USD,,,\n"
                          "2024-03-03,Deposit,,,,,USD,1000,,\n"
                          "2024-03-04,Journal,MSFT,1,1,0,USD,,,\n");
}

} // namespace quillfern::testing
