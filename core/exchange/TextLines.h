#pragma once

// Physical line numbers as the import counts them: CRLF, LF and a lone CR each end a line.

#include <QByteArrayView>
#include <QStringView>

namespace quillfern::exchange {

// The 1-based line the character at position is on.
int lineAt(QStringView text, qsizetype position);
// The 1-based line that follows all of bytes (an ASCII-compatible encoding).
int lineAt(QByteArrayView bytes);

} // namespace quillfern::exchange
