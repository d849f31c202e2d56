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
    const qsizetype start = m_out.size();
    // At most three UTF-8 bytes or a six-byte escape per UTF-16 unit; trimmed at the end.
    m_out.resize(start + 6 * text.size() + 1);
    char *out = m_out.data() + start;
    const auto escape = [&out](char16_t unit) {
        *out++ = '\\';
        *out++ = 'u';
        for (int shift = 12; shift >= 0; shift -= 4)
            *out++ = hex[(unit >> shift) & 0xF];
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t c = text[i].unicode();
        if (c >= 0x20 && c < 0x80 && c != u'"' && c != u'\\') {
            *out++ = char(c);
            continue;
        }
        if (c < 0x80) {
            *out++ = '\\';
            switch (c) {
            case u'"':
                *out++ = '"';
                break;
            case u'\\':
                *out++ = '\\';
                break;
            case u'\n':
                *out++ = 'n';
                break;
            case u'\r':
                *out++ = 'r';
                break;
            case u'\t':
                *out++ = 't';
                break;
            case u'\b':
                *out++ = 'b';
                break;
            case u'\f':
                *out++ = 'f';
                break;
            default:
                --out;
                escape(char16_t(c));
            }
            continue;
        }
        // A byte order mark goes out escaped, so that no UTF-8 decoder on the way can take it for one.
        if (c == 0xFEFF) {
            escape(char16_t(c));
            continue;
        }
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(char16_t(c), text[++i].unicode());
        } else if (QChar::isSurrogate(c)) {
            c = 0xFFFD; // a surrogate without its partner stands for no character; JSON cannot carry it
        }
        if (c < 0x800) {
            *out++ = char(0xC0 | (c >> 6));
        } else if (c < 0x10000) {
            *out++ = char(0xE0 | (c >> 12));
            *out++ = char(0x80 | ((c >> 6) & 0x3F));
        } else {
            *out++ = char(0xF0 | (c >> 18));
            *out++ = char(0x80 | ((c >> 12) & 0x3F));
            *out++ = char(0x80 | ((c >> 6) & 0x3F));
        }
        *out++ = char(0x80 | (c & 0x3F));
    }
    *out++ = '"';
    m_out.resize(out - m_out.data());
}

void JsonWriter::number(double value)
{
    separate();
    // Zero has no sign on the wire, as the reader reads it: -0.0 is written as 0.
    if (value == 0)
        value = 0;
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

void JsonWriter::value(const wire::JsonNode &node)
{
    if (node.isObject()) {
        beginObject();
        wire::JsonNode member = node.firstMember();
        for (qsizetype i = 0; i < node.size(); ++i, member = member.nextMember()) {
            key(member.toString());
            value(member.memberValue());
        }
        endObject();
    } else if (node.isArray()) {
        beginArray();
        wire::JsonNode element = node.firstElement();
        for (qsizetype i = 0; i < node.size(); ++i, element = element.nextSibling())
            value(element);
        endArray();
    } else if (node.isString()) {
        string(node.toString());
    } else if (node.isDouble()) {
        number(node.toDouble());
    } else if (node.isBool()) {
        boolean(node.toBool());
    } else {
        null();
    }
}

} // namespace quillfern
