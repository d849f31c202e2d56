// The decoders of outside text: base64url as signed tokens carry it, the percent-escaped query of a sign-in
// callback, and percent escapes in a request's path. The first byte picks one; the rest is its input.

#include "auth/CallbackItems.h"
#include "fuzz/FuzzCheck.h"
#include "server/google/Base64Url.h"
#include "server/http/FormText.h"

#include <QByteArray>

namespace {

void base64Url(const QByteArray &text)
{
    constexpr auto urlAlphabet = QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals;
    const auto decoded = quillfern::server::google::decodeBase64Url(std::string_view(text.data(), size_t(text.size())));
    // One spelling per token: what is taken is exactly the unpadded encoding of its bytes ...
    if (decoded) {
        QF_FUZZ_CHECK(QByteArray::fromStdString(*decoded).toBase64(urlAlphabet) == text);
        return;
    }
    // ... and what is refused is not the encoding of anything.
    const auto lenient = QByteArray::fromBase64Encoding(text, QByteArray::Base64UrlEncoding);
    QF_FUZZ_CHECK(!lenient || lenient.decoded.toBase64(urlAlphabet) != text);
}

void callbackQuery(const QByteArray &query)
{
    const QUrl url = QUrl::fromEncoded("quillfern://oauth/callback?" + query);
    const QMap<QString, QString> items = quillfern::callbackItems(url);
    if (!url.isValid())
        QF_FUZZ_CHECK(items.isEmpty());
}

void pathText(const QByteArray &text)
{
    using quillfern::server::http::percentDecoded;
    const std::string_view view(text.data(), size_t(text.size()));
    const std::string decoded = percentDecoded(view);
    QF_FUZZ_CHECK(decoded.size() <= view.size());
    if (!text.contains('%'))
        QF_FUZZ_CHECK(decoded == view);
    // Any bytes, every one escaped, decode to themselves.
    QF_FUZZ_CHECK(percentDecoded(text.toPercentEncoding().toStdString()) == view);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const QByteArray text(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));
    switch (data[0] % 3) {
    case 0:
        callbackQuery(text);
        break;
    case 1:
        base64Url(text);
        break;
    default:
        pathText(text);
    }
    return 0;
}
