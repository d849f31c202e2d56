// The strict reader on any bytes: it never crashes, and what it accepts is well-formed: strings are valid
// UTF-16, numbers finite, and decoding any record from the tree stays within it.

#include "api/WireCoding.h"
#include "fuzz/FuzzCheck.h"

#include <cmath>

using namespace quillfern;

namespace {

void visit(const wire::JsonNode &node)
{
    if (node.isString()) {
        const QString text = node.toString();
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (text[i].isHighSurrogate()) {
                QF_FUZZ_CHECK(i + 1 < text.size() && text[i + 1].isLowSurrogate());
                ++i;
            } else {
                QF_FUZZ_CHECK(!text[i].isLowSurrogate());
            }
        }
    } else if (node.isDouble()) {
        const double value = node.toDouble();
        QF_FUZZ_CHECK(std::isfinite(value));
        QF_FUZZ_CHECK(value != 0 || !std::signbit(value)); // zero carries no sign
    } else if (node.isArray()) {
        wire::JsonNode element = node.firstElement();
        for (qsizetype i = 0; i < node.size(); ++i, element = element.nextSibling())
            visit(element);
    } else if (node.isObject()) {
        wire::JsonNode member = node.firstMember();
        for (qsizetype i = 0; i < node.size(); ++i, member = member.nextMember()) {
            visit(member);
            visit(member.memberValue());
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray text = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const auto tree = wire::JsonTree::read(text);
    QF_FUZZ_CHECK(decodeJSON<EmptyResponse>(text).ok() == tree.ok());
    if (!tree) {
        QF_FUZZ_CHECK(tree.error().offset >= 0 && tree.error().offset <= text.size());
        return 0;
    }
    visit(tree->root());
    (void)decodeJSON<PortfolioPutRequest>(text);
    (void)decodeJSON<TransactionCreateInput>(text);
    (void)decodeJSON<QList<CurrencyOption>>(text);
    (void)decodeJSON<StockPriceResponse>(text, KeyDecoding::UseKeysAsGiven);
    return 0;
}
