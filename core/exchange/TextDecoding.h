#pragma once

#include "core/exchange/ImportProblem.h"

#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <optional>

namespace quillfern::exchange {

// An encoding by the name the picker shows and ICU opens: "UTF-8", "UTF-16LE", "UTF-16BE", "Shift_JIS",
// "GB18030", "Big5", "EUC-KR", "windows-1252", ...
struct DetectedEncoding {
    QString name;
    bool bom = false;

    bool operator==(const DetectedEncoding &) const = default;
};

// A byte order mark decides; otherwise the statistics of the bytes do. Plain ASCII counts as UTF-8.
DetectedEncoding detectEncoding(QByteArrayView head);

// The encodings the import wizard offers, the likely ones first.
QStringList offeredEncodings();

// Files larger than this are refused before they are read.
constexpr qint64 kMaxImportBytes = 100 * 1024 * 1024;

// The problem a file of this many bytes has before anything is read from it: too large or empty.
std::optional<ImportProblem> checkImportSize(qint64 bytes);

struct DecodedText {
    QString text;
    std::optional<ImportProblem> problem;
    bool cancelled = false;
};

// The bytes as text in the named encoding, without a byte order mark. A binary file (NUL bytes in an
// encoding that has none, or bytes the encoding cannot read) is a problem naming the line it shows on; an
// empty file is "importEmptyFile".
DecodedText decodeText(QByteArrayView bytes, const QString &encoding, const ProgressFn &progress = {});

} // namespace quillfern::exchange
