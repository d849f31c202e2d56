// Every value the reader accepts is written and read back equal, and the written text is a fixed point:
// writing what was read from it gives it again. Records decoded from the input round-trip the same way.

#include "api/WireCoding.h"
#include "fuzz/FuzzCheck.h"

#include <cstring>

using namespace quillfern;

namespace {

bool sameValue(const wire::JsonNode &a, const wire::JsonNode &b)
{
    if (a.isObject() != b.isObject() || a.isArray() != b.isArray() || a.isString() != b.isString() ||
        a.isDouble() != b.isDouble() || a.isBool() != b.isBool() || a.isNull() != b.isNull())
        return false;
    if (a.isString())
        return a.toString() == b.toString();
    if (a.isDouble()) {
        const double x = a.toDouble(), y = b.toDouble();
        return std::memcmp(&x, &y, sizeof x) == 0;
    }
    if (a.isBool())
        return a.toBool() == b.toBool();
    if (a.size() != b.size())
        return false;
    if (a.isArray()) {
        wire::JsonNode x = a.firstElement(), y = b.firstElement();
        for (qsizetype i = 0; i < a.size(); ++i, x = x.nextSibling(), y = y.nextSibling()) {
            if (!sameValue(x, y))
                return false;
        }
    } else if (a.isObject()) {
        wire::JsonNode x = a.firstMember(), y = b.firstMember();
        for (qsizetype i = 0; i < a.size(); ++i, x = x.nextMember(), y = y.nextMember()) {
            if (!sameValue(x, y) || !sameValue(x.memberValue(), y.memberValue()))
                return false;
        }
    }
    return true;
}

QByteArray written(const wire::JsonNode &node)
{
    JsonWriter writer;
    writer.value(node);
    return writer.take();
}

template <class T> void recordRoundTrips(const QByteArray &text)
{
    const auto decoded = decodeJSON<T>(text);
    if (!decoded)
        return;
    const auto body = encodeJSON(*decoded);
    QF_FUZZ_CHECK(body.ok());
    const auto again = decodeJSON<T>(*body);
    QF_FUZZ_CHECK(again.ok() && *again == *decoded);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray text = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const auto tree = wire::JsonTree::read(text);
    if (!tree)
        return 0;
    const QByteArray first = written(tree->root());
    const auto reread = wire::JsonTree::read(first);
    QF_FUZZ_CHECK(reread.ok());
    QF_FUZZ_CHECK(sameValue(tree->root(), reread->root()));
    QF_FUZZ_CHECK(written(reread->root()) == first);

    recordRoundTrips<PortfolioPutRequest>(text);
    recordRoundTrips<TransactionCreateInput>(text);
    recordRoundTrips<QList<TransactionRecord>>(text);
    return 0;
}
