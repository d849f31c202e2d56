// Query and form text: parsing never fails, and fields written back with every byte escaped parse to the
// same fields, so percent decoding loses and invents nothing.

#include "fuzz/FuzzCheck.h"
#include "server/http/FormText.h"

#include <QByteArray>

#include <algorithm>

using quillfern::server::http::parseFormText;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    const auto fields = parseFormText(text);
    QF_FUZZ_CHECK(fields.size() <= size_t(std::count(text.begin(), text.end(), '&')) + 1);

    std::string again;
    for (const auto &[name, value] : fields) {
        if (!again.empty())
            again += '&';
        again += QByteArray::fromStdString(name).toPercentEncoding().toStdString();
        again += '=';
        again += QByteArray::fromStdString(value).toPercentEncoding().toStdString();
    }
    const auto reparsed = parseFormText(again);
    // An empty name with an empty value writes as "=", which parses back to that same field.
    QF_FUZZ_CHECK(reparsed == fields);
    return 0;
}
