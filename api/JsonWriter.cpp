#include "api/JsonWriter.h"

#include <charconv>

namespace quillfern {

void JsonWriter::separate()
{
    if (m_needsComma)
        m_out.append(',');
    m_needsComma = true;
}

void JsonWriter::beginObject()
{
    separate();
    m_out.append('{');
    m_needsComma = false;
}

void JsonWriter::endObject()
{
    m_out.append('}');
    m_needsComma = true;
}

void JsonWriter::beginArray()
{
    separate();
    m_out.append('[');
    m_needsComma = false;
}

void JsonWriter::endArray()
{
    m_out.append(']');
    m_needsComma = true;
}

void JsonWriter::key(QStringView name)
{
    string(name);
    m_out.append(':');
    m_needsComma = false;
}

void JsonWriter::string(QStringView text)
{
    separate();
    static constexpr char hex[] = "0123456789abcdef";
    m_out.append('"');
    // Most text on the wire is plain ASCII with nothing to escape: copied a character a byte, without a
    // UTF-8 conversion (which allocates) for every string.
    qsizetype plain = 0;
    while (plain < text.size()) {
        const char16_t c = text[plain].unicode();
        if (c < 0x20 || c >= 0x80 || c == u'"' || c == u'\\')
            break;
        ++plain;
    }
    if (plain == text.size()) {
        const qsizetype start = m_out.size();
        m_out.resize(start + plain + 1);
        char *out = m_out.data() + start;
        for (qsizetype i = 0; i < plain; ++i)
            out[i] = char(text[i].unicode());
        out[plain] = '"';
        return;
    }
    const QByteArray utf8 = text.toUtf8();
    const char *run = utf8.constData();
    const char *const end = run + utf8.size();
    // Copies runs that need no escaping in one go; only quotes, backslashes and control characters stop it.
    for (const char *at = run; at != end; ++at) {
        const auto c = static_cast<unsigned char>(*at);
        if (c >= 0x20 && c != '"' && c != '\\')
            continue;
        m_out.append(run, at - run);
        run = at + 1;
        switch (c) {
        case '"':
            m_out.append("\\\"");
            break;
        case '\\':
            m_out.append("\\\\");
            break;
        case '\n':
            m_out.append("\\n");
            break;
        case '\r':
            m_out.append("\\r");
            break;
        case '\t':
            m_out.append("\\t");
            break;
        case '\b':
            m_out.append("\\b");
            break;
        case '\f':
            m_out.append("\\f");
            break;
        default:
            m_out.append("\\u00");
            m_out.append(hex[c >> 4]);
            m_out.append(hex[c & 0xF]);
        }
    }
    m_out.append(run, end - run);
    m_out.append('"');
}

void JsonWriter::number(double value)
{
    separate();
    char buffer[32];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, value);
    m_out.append(buffer, written.ptr - buffer);
}

void JsonWriter::boolean(bool value)
{
    separate();
    m_out.append(value ? "true" : "false");
}

void JsonWriter::null()
{
    separate();
    m_out.append("null");
}

} // namespace quillfern
