#include "api/JsonReader.h"

#include "api/KeyConversion.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace quillfern::wire {

// Recursive descent over the text; every method answers false to give up.
class JsonTree::Parser {
public:
    Parser(JsonTree &tree, QByteArrayView text) : m_tree(tree), m_at(text.data()), m_end(text.data() + text.size())
    {
    }

    bool document()
    {
        skipSpace();
        if (!value(0))
            return false;
        skipSpace();
        return m_at == m_end;
    }

private:
    // Deeper documents are left to Qt's parser, which has its own limit.
    static constexpr int maxDepth = 64;

    void skipSpace()
    {
        while (m_at != m_end && (*m_at == ' ' || *m_at == '\n' || *m_at == '\r' || *m_at == '\t'))
            ++m_at;
    }

    std::uint32_t add(Node::Kind kind)
    {
        m_tree.m_nodes.push_back(Node{kind});
        return std::uint32_t(m_tree.m_nodes.size() - 1);
    }

    void close(std::uint32_t index) { m_tree.m_nodes[index].end = std::uint32_t(m_tree.m_nodes.size()); }

    bool literal(const char *word, Node::Kind kind)
    {
        const std::size_t length = std::char_traits<char>::length(word);
        if (std::size_t(m_end - m_at) < length || std::char_traits<char>::compare(m_at, word, length) != 0)
            return false;
        m_at += length;
        close(add(kind));
        return true;
    }

    bool value(int depth)
    {
        if (m_at == m_end || depth > maxDepth)
            return false;
        switch (*m_at) {
        case '{':
            return object(depth);
        case '[':
            return array(depth);
        case '"':
            return string(nullptr);
        case 't':
            return literal("true", Node::True);
        case 'f':
            return literal("false", Node::False);
        case 'n':
            return literal("null", Node::Null);
        default:
            return number();
        }
    }

    // An object's members or an array's elements: separated by commas, up to the closing bracket. element
    // reads one and answers false to give up.
    template <class Element> bool sequence(Node::Kind kind, char closing, Element &&element)
    {
        const std::uint32_t index = add(kind);
        ++m_at;
        skipSpace();
        std::uint32_t count = 0;
        if (m_at != m_end && *m_at == closing) {
            ++m_at;
        } else {
            for (;;) {
                if (!element())
                    return false;
                ++count;
                skipSpace();
                if (m_at != m_end && *m_at == ',') {
                    ++m_at;
                    skipSpace();
                    continue;
                }
                if (m_at == m_end || *m_at != closing)
                    return false;
                ++m_at;
                break;
            }
        }
        m_tree.m_nodes[index].count = count;
        close(index);
        return true;
    }

    bool object(int depth)
    {
        return sequence(Node::Object, '}', [this, depth] {
            bool escaped = false;
            if (m_at == m_end || *m_at != '"' || !string(&escaped) || escaped)
                return false; // an escaped key could spell a wanted key another way
            skipSpace();
            if (m_at == m_end || *m_at != ':')
                return false;
            ++m_at;
            skipSpace();
            return value(depth + 1);
        });
    }

    bool array(int depth)
    {
        return sequence(Node::Array, ']', [this, depth] { return value(depth + 1); });
    }

    static int hexDigit(char c)
    {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    }

    // Four hex digits after "\u".
    bool codeUnit(const char *at, char16_t &unit) const
    {
        if (m_end - at < 4)
            return false;
        unit = 0;
        for (int i = 0; i < 4; ++i) {
            const int digit = hexDigit(at[i]);
            if (digit < 0)
                return false;
            unit = char16_t(unit * 16 + digit);
        }
        return true;
    }

    // One well-formed UTF-8 sequence starting at m_at (a lead byte of 0x80 or above): shortest form, no
    // surrogates, nothing above U+10FFFF.
    bool utf8Sequence()
    {
        const auto byte = [this](std::ptrdiff_t i) { return static_cast<unsigned char>(m_at[i]); };
        const unsigned char lead = byte(0);
        int length = 0;
        char32_t lowest = 0;
        char32_t code = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2, lowest = 0x80, code = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3, lowest = 0x800, code = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4, lowest = 0x10000, code = lead & 0x07;
        } else {
            return false;
        }
        if (m_end - m_at < length)
            return false;
        for (int i = 1; i < length; ++i) {
            if ((byte(i) & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (byte(i) & 0x3F);
        }
        if (code < lowest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        // Noncharacters are left to Qt's parser, which decides what they become.
        if ((code & 0xFFFE) == 0xFFFE || (code >= 0xFDD0 && code <= 0xFDEF))
            return false;
        m_at += length;
        return true;
    }

    bool string(bool *escapedOut)
    {
        const std::uint32_t index = add(Node::String);
        ++m_at;
        const char *const begin = m_at;
        bool escaped = false;
        while (m_at != m_end && *m_at != '"') {
            const auto c = static_cast<unsigned char>(*m_at);
            if (c < 0x20)
                return false;
            if (c >= 0x80) {
                if (!utf8Sequence())
                    return false;
                continue;
            }
            if (c != '\\') {
                ++m_at;
                continue;
            }
            escaped = true;
            if (m_end - m_at < 2)
                return false;
            switch (m_at[1]) {
            case '"':
            case '\\':
            case '/':
            case 'b':
            case 'f':
            case 'n':
            case 'r':
            case 't':
                m_at += 2;
                continue;
            case 'u':
                break;
            default:
                return false;
            }
            char16_t unit = 0;
            if (!codeUnit(m_at + 2, unit))
                return false;
            m_at += 6;
            if (unit >= 0xDC00 && unit <= 0xDFFF)
                return false; // a low surrogate alone
            if (unit >= 0xD800 && unit <= 0xDBFF) {
                char16_t low = 0;
                if (m_end - m_at < 6 || m_at[0] != '\\' || m_at[1] != 'u' || !codeUnit(m_at + 2, low) ||
                    low < 0xDC00 || low > 0xDFFF)
                    return false;
                m_at += 6;
            }
        }
        if (m_at == m_end)
            return false;
        Node &node = m_tree.m_nodes[index];
        node.begin = std::uint32_t(begin - m_tree.m_text);
        node.length = std::uint32_t(m_at - begin);
        node.escaped = escaped;
        ++m_at;
        close(index);
        if (escapedOut)
            *escapedOut = escaped;
        return true;
    }

    static bool isDigit(char c) { return c >= '0' && c <= '9'; }

    // The JSON number grammar exactly, read as the nearest double; like Qt's parser, a number written
    // without fraction or exponent that fits 64 bits is read as that integer, and zero is never negative.
    bool number()
    {
        const char *const begin = m_at;
        if (m_at != m_end && *m_at == '-')
            ++m_at;
        if (m_at == m_end || !isDigit(*m_at))
            return false;
        if (*m_at == '0') {
            ++m_at;
        } else {
            while (m_at != m_end && isDigit(*m_at))
                ++m_at;
        }
        bool integer = true;
        if (m_at != m_end && *m_at == '.') {
            integer = false;
            ++m_at;
            if (m_at == m_end || !isDigit(*m_at))
                return false;
            while (m_at != m_end && isDigit(*m_at))
                ++m_at;
        }
        if (m_at != m_end && (*m_at == 'e' || *m_at == 'E')) {
            integer = false;
            ++m_at;
            if (m_at != m_end && (*m_at == '+' || *m_at == '-'))
                ++m_at;
            if (m_at == m_end || !isDigit(*m_at))
                return false;
            while (m_at != m_end && isDigit(*m_at))
                ++m_at;
        }
        double value = 0;
        if (integer) {
            long long whole = 0;
            const auto read = std::from_chars(begin, m_at, whole);
            if (read.ec == std::errc() && read.ptr == m_at)
                value = double(whole);
            else if (!readDouble(begin, value))
                return false;
        } else if (!readDouble(begin, value)) {
            return false;
        }
        if (value == 0)
            value = 0; // Qt's parser keeps whole numbers as integers, and an integer 0 has no sign
        const std::uint32_t index = add(Node::Number);
        m_tree.m_nodes[index].number = value;
        close(index);
        return true;
    }

    // Out of range, or so small it loses precision: left to Qt's parser.
    bool readDouble(const char *begin, double &value) const
    {
        const auto read = std::from_chars(begin, m_at, value);
        return read.ec == std::errc() && read.ptr == m_at && std::isfinite(value) &&
               std::fpclassify(value) != FP_SUBNORMAL;
    }

    JsonTree &m_tree;
    const char *m_at;
    const char *const m_end;
};

std::optional<JsonTree> JsonTree::read(QByteArrayView text)
{
    if (text.size() >= qsizetype(std::numeric_limits<std::uint32_t>::max()))
        return std::nullopt;
    JsonTree tree;
    tree.m_text = text.data();
    tree.m_nodes.reserve(std::size_t(text.size() / 8 + 1));
    Parser parser(tree, text);
    if (!parser.document())
        return std::nullopt;
    return tree;
}

JsonNode JsonTree::root() const
{
    return JsonNode(this, 0);
}

QString JsonNode::toString() const
{
    if (!isString())
        return {};
    const JsonTree::Node &string = node();
    const QByteArrayView raw = text(string);
    if (!string.escaped)
        return QString::fromUtf8(raw);
    // Escapes were checked when the tree was read, surrogate pairs included.
    QString out;
    out.reserve(raw.size());
    const char *at = raw.data();
    const char *const end = at + raw.size();
    while (at != end) {
        const char *run = at;
        while (at != end && *at != '\\')
            ++at;
        if (at != run)
            out.append(QString::fromUtf8(run, at - run));
        if (at == end)
            break;
        const char kind = at[1];
        at += 2;
        switch (kind) {
        case 'b':
            out.append(u'\b');
            break;
        case 'f':
            out.append(u'\f');
            break;
        case 'n':
            out.append(u'\n');
            break;
        case 'r':
            out.append(u'\r');
            break;
        case 't':
            out.append(u'\t');
            break;
        case 'u': {
            char16_t unit = 0;
            for (int i = 0; i < 4; ++i) {
                const char c = at[i];
                unit = char16_t(unit * 16 + (c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10));
            }
            at += 4;
            out.append(QChar(unit));
            break;
        }
        default: // '"', '\\' and '/'
            out.append(QLatin1Char(kind));
        }
    }
    return out;
}

JsonNode JsonNode::member(QByteArrayView key) const
{
    if (!isObject())
        return {};
    JsonNode found;
    std::uint32_t at = m_index + 1;
    for (std::uint32_t i = 0; i < node().count; ++i) {
        const JsonTree::Node &name = m_tree->m_nodes[at];
        if (text(name) == key) {
            if (!found.isUndefined()) {
                m_tree->m_gaveUp = true; // which of the two counts is Qt's parser's business
                return found;
            }
            found = JsonNode(m_tree, at + 1);
        }
        at = m_tree->m_nodes[at + 1].end;
    }
    return found;
}

JsonNode JsonNode::memberConvertingTo(QLatin1StringView name) const
{
    if (!isObject())
        return {};
    JsonNode found;
    std::uint32_t at = m_index + 1;
    for (std::uint32_t i = 0; i < node().count; ++i) {
        if (fromSnakeCase(QString::fromUtf8(text(m_tree->m_nodes[at]))) == name) {
            if (!found.isUndefined()) {
                m_tree->m_gaveUp = true;
                return found;
            }
            found = JsonNode(m_tree, at + 1);
        }
        at = m_tree->m_nodes[at + 1].end;
    }
    return found;
}

} // namespace quillfern::wire
