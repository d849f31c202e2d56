#include "server/google/Base64Url.h"

#include <QByteArray>

namespace quillfern::server::google {

std::optional<std::string> decodeBase64Url(std::string_view text)
{
    constexpr auto alphabet = QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals;
    const QByteArray encoded = QByteArray::fromRawData(text.data(), qsizetype(text.size()));
    const auto decoded = QByteArray::fromBase64Encoding(encoded, QByteArray::Base64UrlEncoding |
                                                                     QByteArray::AbortOnBase64DecodingErrors);
    // Qt takes padding and ignores a dangling character or set leftover bits; writing the bytes back shows
    // whether the text was their one unpadded spelling.
    if (!decoded || decoded.decoded.toBase64(alphabet) != encoded)
        return std::nullopt;
    return decoded.decoded.toStdString();
}

} // namespace quillfern::server::google
