#pragma once

#include "api/JsonReader.h"

#include <QByteArray>
#include <QStringView>

namespace quillfern {

// A compact UTF-8 JSON writer that keeps keys in the order they are written and writes every number in
// the shortest form that reads back to the same double. Callers check finiteness: JSON has no NaN. What
// JsonTree reads, this writes back to a text that reads as the same values.
class JsonWriter {
public:
    void beginObject();
    void endObject();
    void beginArray();
    void endArray();
    void key(QStringView name);
    void string(QStringView text);
    void number(double value);
    void boolean(bool value);
    void null();
    // Any value read by JsonTree, members in their order.
    void value(const wire::JsonNode &node);

    const QByteArray &bytes() const { return m_out; }
    QByteArray take() { return std::move(m_out); }

private:
    void separate();

    QByteArray m_out;
    bool m_needsComma = false;
};

} // namespace quillfern
