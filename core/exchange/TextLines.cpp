#include "core/exchange/TextLines.h"

namespace quillfern::exchange {
namespace {

template <class Text> int countLines(const Text &text, qsizetype end)
{
    int line = 1;
    for (qsizetype i = 0; i < end; ++i) {
        const auto c = text[i];
        if (c == u'\n' || (c == u'\r' && (i + 1 >= text.size() || text[i + 1] != u'\n')))
            ++line;
    }
    return line;
}

} // namespace

int lineAt(QStringView text, qsizetype position)
{
    return countLines(text, std::min(position, text.size()));
}

int lineAt(QByteArrayView bytes)
{
    return countLines(bytes, bytes.size());
}

} // namespace quillfern::exchange
