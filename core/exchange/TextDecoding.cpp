#include "core/exchange/TextDecoding.h"

namespace quillfern::exchange {

DetectedEncoding detectEncoding(QByteArrayView)
{
    return {QStringLiteral("UTF-8"), false};
}

QStringList offeredEncodings()
{
    return {QStringLiteral("UTF-8")};
}

std::optional<ImportProblem> checkImportSize(qint64)
{
    return std::nullopt;
}

DecodedText decodeText(QByteArrayView bytes, const QString &, const ProgressFn &)
{
    return {QString::fromUtf8(bytes), std::nullopt, false};
}

} // namespace quillfern::exchange
