#include "api/JsonReader.h"

#include "api/KeyConversion.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <string_view>
#include <unordered_set>

namespace quillfern::wire {
namespace {

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Four hex digits, already checked.
char16_t codeUnitAt(const char *at)
{
    char16_t unit = 0;
    for (int i = 0; i < 4; ++i)
        unit = char16_t(unit * 16 + hexDigit(at[i]));
    return unit;
}

bool isHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// The code point of one escape at "\u...", a surrogate pair counting as one, and how many bytes it takes.
char32_t escapedCodePoint(const char *at, int &length)
{
    const char16_t unit = codeUnitAt(at + 2);
    if (!isHighSurrogate(unit)) {
        length = 6;
        return unit;
    }
    length = 12;
    return 0x10000 + ((char32_t(unit) - 0xD800) << 10) + (char32_t(codeUnitAt(at + 8)) - 0xDC00);
}

char simpleEscape(char kind)
{
    switch (kind) {
    case 'b':
        return '\b';
    case 'f':
        return '\f';
    case 'n':
        return '\n';
    case 'r':
        return '\r';
    case 't':
        return '\t';
    default: // '"', '\\' and '/'
        return kind;
    }
}

void appendUtf8(std::string &out, char32_t code)
{
    if (code < 0x80) {
        out += char(code);
    } else if (code < 0x800) {
        out += char(0xC0 | (code >> 6));
        out += char(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += char(0xE0 | (code >> 12));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    } else {
        out += char(0xF0 | (code >> 18));
        out += char(0x80 | ((code >> 12) & 0x3F));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    }
}

// A checked string's bytes as UTF-16, escapes decoded when escapes is set. The conversion is our own:
// QString::fromUtf8 drops a U+FEFF at the start of its input, and every run between escapes is a start.
QString decodeString(QByteArrayView raw, bool escapes)
{
    QString out(raw.size(), Qt::Uninitialized); // never more UTF-16 units than UTF-8 bytes
    char16_t *const first = reinterpret_cast<char16_t *>(out.data());
    char16_t *write = first;
    const auto *at = reinterpret_cast<const unsigned char *>(raw.data());
    const auto *const end = at + raw.size();
    const auto put = [&write](char32_t code) {
        if (code < 0x10000) {
            *write++ = char16_t(code);
        } else {
            *write++ = char16_t(0xD800 + ((code - 0x10000) >> 10));
            *write++ = char16_t(0xDC00 + ((code - 0x10000) & 0x3FF));
        }
    };
    while (at != end) {
        const unsigned char c = *at;
        if (c < 0x80) {
            if (c == '\\' && escapes) {
                if (at[1] == 'u') {
                    int length = 0;
                    put(escapedCodePoint(reinterpret_cast<const char *>(at), length));
                    at += length;
                } else {
                    *write++ = char16_t(simpleEscape(char(at[1])));
                    at += 2;
                }
            } else {
                *write++ = c;
                ++at;
            }
        } else if (c < 0xE0) {
            put(char32_t(c & 0x1F) << 6 | (at[1] & 0x3F));
            at += 2;
        } else if (c < 0xF0) {
            put(char32_t(c & 0x0F) << 12 | char32_t(at[1] & 0x3F) << 6 | (at[2] & 0x3F));
            at += 3;
        } else {
            put(char32_t(c & 0x07) << 18 | char32_t(at[1] & 0x3F) << 12 | char32_t(at[2] & 0x3F) << 6 |
                (at[3] & 0x3F));
            at += 4;
        }
    }
    out.resize(write - first);
    return out;
}

QString describeByte(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    if (byte > 0x20 && byte < 0x7F)
        return QStringLiteral("'%1'").arg(QLatin1Char(c));
    return QStringLiteral("byte 0x%1").arg(uint(byte), 2, 16, QLatin1Char('0'));
}

} // namespace

// Recursive descent over the text; every method answers false once m_error says why.
class JsonTree::Parser {
public:
    Parser(JsonTree &tree, QByteArrayView text)
        : m_tree(tree), m_begin(text.data()), m_at(text.data()), m_end(text.data() + text.size())
    {
    }

    bool document()
    {
        skipSpace();
        if (!value(0))
            return false;
        skipSpace();
        return m_at == m_end || fail(QStringLiteral("text after the value"));
    }

    JsonReadError error() const { return m_error; }

private:
    // Where the parser is, for the path of a repeated key: the key being read in each open object, the
    // index in each open array.
    struct Step {
        std::uint32_t keyNode;
        std::uint32_t index;
        bool inObject;
    };

    bool fail(QString message, const char *at = nullptr)
    {
        m_error = JsonReadError{JsonReadError::Kind::Syntax, (at ? at : m_at) - m_begin, std::move(message), {}};
        return false;
    }

    bool failUnexpected()
    {
        return m_at == m_end ? fail(QStringLiteral("the end of the text inside a value"))
                             : fail(QStringLiteral("unexpected %1").arg(describeByte(*m_at)));
    }

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

    bool literal(std::string_view word, Node::Kind kind)
    {
        if (std::size_t(m_end - m_at) < word.size() || std::string_view(m_at, word.size()) != word)
            return failUnexpected();
        m_at += word.size();
        close(add(kind));
        return true;
    }

    bool value(int depth)
    {
        if (m_at == m_end)
            return failUnexpected();
        switch (*m_at) {
        case '{':
        case '[':
            if (depth >= maxDepth)
                return fail(QStringLiteral("nesting deeper than %1 levels").arg(maxDepth));
            return *m_at == '{' ? object(depth) : array(depth);
        case '"':
            return string(false);
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
    // reads one and answers false on failure.
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
                if (!element(count))
                    return false;
                ++count;
                skipSpace();
                if (m_at != m_end && *m_at == ',') {
                    ++m_at;
                    skipSpace();
                    continue;
                }
                if (m_at == m_end || *m_at != closing)
                    return failUnexpected();
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
        const std::size_t firstKey = m_keyNodes.size();
        // Small objects compare each key with the ones before it; larger ones keep a set.
        constexpr std::uint32_t pairwiseUpTo = 16;
        std::unordered_set<std::string_view> seen;
        m_path.push_back(Step{0, 0, true});
        const bool ok = sequence(Node::Object, '}', [&](std::uint32_t count) {
            if (m_at == m_end || *m_at != '"')
                return failUnexpected();
            const char *const keyAt = m_at;
            const std::uint32_t keyNode = std::uint32_t(m_tree.m_nodes.size());
            if (!string(true))
                return false;
            m_path.back().keyNode = keyNode;
            const std::string_view key = keyView(keyNode);
            bool repeated = false;
            if (count < pairwiseUpTo) {
                for (std::size_t i = firstKey; i < m_keyNodes.size() && !repeated; ++i)
                    repeated = keyView(m_keyNodes[i]) == key;
            } else {
                if (seen.empty()) {
                    for (std::size_t i = firstKey; i < m_keyNodes.size(); ++i)
                        seen.insert(keyView(m_keyNodes[i]));
                }
                repeated = !seen.insert(key).second;
            }
            if (repeated) {
                m_error = JsonReadError{JsonReadError::Kind::DuplicateKey, keyAt - m_begin,
                                        QStringLiteral("a key given twice"), pathText()};
                return false;
            }
            m_keyNodes.push_back(keyNode);
            skipSpace();
            if (m_at == m_end || *m_at != ':')
                return failUnexpected();
            ++m_at;
            skipSpace();
            return value(depth + 1);
        });
        m_keyNodes.resize(firstKey);
        m_path.pop_back();
        return ok;
    }

    bool array(int depth)
    {
        m_path.push_back(Step{0, 0, false});
        const bool ok = sequence(Node::Array, ']', [&](std::uint32_t count) {
            m_path.back().index = count;
            return value(depth + 1);
        });
        m_path.pop_back();
        return ok;
    }

    std::string_view keyView(std::uint32_t index) const
    {
        const Node &node = m_tree.m_nodes[index];
        const char *base = node.text == Node::Unescaped ? m_tree.m_keys.data() : m_tree.m_text;
        return std::string_view(base + node.begin, node.length);
    }

    QString pathText() const
    {
        QString path;
        for (const Step &step : m_path) {
            if (step.inObject) {
                const std::string_view key = keyView(step.keyNode);
                if (!path.isEmpty())
                    path.append(QLatin1Char('.'));
                path.append(decodeString(QByteArrayView(key.data(), qsizetype(key.size())), false));
            } else {
                path.append(QLatin1Char('[') + QString::number(step.index) + QLatin1Char(']'));
            }
        }
        return path;
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
            return fail(QStringLiteral("invalid UTF-8"));
        }
        if (m_end - m_at < length)
            return fail(QStringLiteral("invalid UTF-8"));
        for (int i = 1; i < length; ++i) {
            if ((byte(i) & 0xC0) != 0x80)
                return fail(QStringLiteral("invalid UTF-8"));
            code = (code << 6) | (byte(i) & 0x3F);
        }
        if (code < lowest || code > 0x10FFFF || isHighSurrogate(code) || isLowSurrogate(code))
            return fail(QStringLiteral("invalid UTF-8"));
        m_at += length;
        return true;
    }

    // Four hex digits after "\u" at at.
    bool hexEscape(const char *at) const
    {
        if (m_end - at < 6 || at[0] != '\\' || at[1] != 'u')
            return false;
        for (int i = 2; i < 6; ++i) {
            if (hexDigit(at[i]) < 0)
                return false;
        }
        return true;
    }

    bool string(bool isKey)
    {
        const std::uint32_t index = add(Node::String);
        ++m_at;
        const char *const begin = m_at;
        bool escaped = false;
        while (m_at != m_end && *m_at != '"') {
            const auto c = static_cast<unsigned char>(*m_at);
            if (c < 0x20)
                return fail(QStringLiteral("a raw control character (%1) inside a string").arg(describeByte(char(c))));
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
                return fail(QStringLiteral("the end of the text inside a string"));
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
                return fail(m_at[1] > 0x20 && m_at[1] < 0x7F
                                ? QStringLiteral("an invalid escape \\%1").arg(QLatin1Char(m_at[1]))
                                : QStringLiteral("an invalid escape (\\ and %1)").arg(describeByte(m_at[1])));
            }
            if (!hexEscape(m_at))
                return fail(QStringLiteral("an invalid escape: \\u takes four hex digits"));
            const char16_t unit = codeUnitAt(m_at + 2);
            if (isLowSurrogate(unit))
                return fail(QStringLiteral("a lone surrogate \\u%1").arg(uint(unit), 4, 16, QLatin1Char('0')));
            if (isHighSurrogate(unit)) {
                if (!hexEscape(m_at + 6) || !isLowSurrogate(codeUnitAt(m_at + 8)))
                    return fail(QStringLiteral("a lone surrogate \\u%1").arg(uint(unit), 4, 16, QLatin1Char('0')));
                m_at += 6;
            }
            m_at += 6;
        }
        if (m_at == m_end)
            return fail(QStringLiteral("the end of the text inside a string"));
        Node &node = m_tree.m_nodes[index];
        node.begin = std::uint32_t(begin - m_tree.m_text);
        node.length = std::uint32_t(m_at - begin);
        node.text = escaped ? Node::Escaped : Node::Plain;
        if (escaped && isKey)
            unescapeKey(node);
        ++m_at;
        close(index);
        return true;
    }

    // Keys are compared as the text they stand for, so an escaped key moves, unescaped, to m_keys. Room for
    // them all is made once: views into m_keys must stay valid while the document is read.
    void unescapeKey(Node &node)
    {
        std::string &keys = m_tree.m_keys;
        if (keys.capacity() < std::size_t(m_end - m_begin))
            keys.reserve(std::size_t(m_end - m_begin));
        const std::size_t start = keys.size();
        const char *at = m_tree.m_text + node.begin;
        const char *const end = at + node.length;
        while (at != end) {
            if (*at != '\\') {
                keys += *at++;
            } else if (at[1] == 'u') {
                int length = 0;
                appendUtf8(keys, escapedCodePoint(at, length));
                at += length;
            } else {
                keys += simpleEscape(at[1]);
                at += 2;
            }
        }
        node.begin = std::uint32_t(start);
        node.length = std::uint32_t(keys.size() - start);
        node.text = Node::Unescaped;
    }

    static bool isDigit(char c) { return c >= '0' && c <= '9'; }

    // The JSON number grammar exactly, read as the nearest double; a number beyond a double's range either
    // way is refused rather than turned into an infinity or a zero.
    bool number()
    {
        const char *const begin = m_at;
        const auto malformed = [&] { return fail(QStringLiteral("a malformed number"), begin); };
        if (m_at != m_end && *m_at == '-')
            ++m_at;
        if (m_at == m_end || !isDigit(*m_at))
            return m_at == begin ? failUnexpected() : malformed();
        if (*m_at == '0') {
            ++m_at;
        } else {
            while (m_at != m_end && isDigit(*m_at))
                ++m_at;
        }
        if (m_at != m_end && *m_at == '.') {
            ++m_at;
            if (m_at == m_end || !isDigit(*m_at))
                return malformed();
            while (m_at != m_end && isDigit(*m_at))
                ++m_at;
        }
        if (m_at != m_end && (*m_at == 'e' || *m_at == 'E')) {
            ++m_at;
            if (m_at != m_end && (*m_at == '+' || *m_at == '-'))
                ++m_at;
            if (m_at == m_end || !isDigit(*m_at))
                return malformed();
            while (m_at != m_end && isDigit(*m_at))
                ++m_at;
        }
        double value = 0;
        const auto read = std::from_chars(begin, m_at, value);
        if (read.ec != std::errc() || read.ptr != m_at)
            return fail(QStringLiteral("a number beyond the range of a double"), begin);
        // Zero has no sign on the wire: -0 reads as 0, and the writer writes -0.0 as 0.
        if (value == 0)
            value = 0;
        const std::uint32_t index = add(Node::Number);
        m_tree.m_nodes[index].number = value;
        close(index);
        return true;
    }

    JsonTree &m_tree;
    const char *const m_begin;
    const char *m_at;
    const char *const m_end;
    JsonReadError m_error;
    std::vector<std::uint32_t> m_keyNodes; // keys of the objects being read, innermost last
    std::vector<Step> m_path;
};

Result<JsonTree, JsonReadError> JsonTree::read(QByteArrayView text)
{
    if (text.size() >= qsizetype(std::numeric_limits<std::uint32_t>::max()))
        return JsonReadError{JsonReadError::Kind::Syntax, 0, QStringLiteral("a text too large to read"), {}};
    JsonTree tree;
    tree.m_text = text.data();
    tree.m_nodes.reserve(std::size_t(text.size() / 8 + 1));
    Parser parser(tree, text);
    if (!parser.document())
        return parser.error();
    return tree;
}

JsonNode JsonTree::root() const
{
    return JsonNode(this, 0);
}

QByteArrayView JsonNode::keyBytes() const
{
    const JsonTree::Node &key = node();
    const char *base = key.text == JsonTree::Node::Unescaped ? m_tree->m_keys.data() : m_tree->m_text;
    return QByteArrayView(base + key.begin, key.length);
}

QString JsonNode::toString() const
{
    if (!isString())
        return {};
    const JsonTree::Node &string = node();
    return decodeString(string.text == JsonTree::Node::Unescaped ? keyBytes()
                                                                 : QByteArrayView(m_tree->m_text + string.begin,
                                                                                  string.length),
                        string.text == JsonTree::Node::Escaped);
}

JsonNode JsonNode::member(QByteArrayView key) const
{
    if (!isObject())
        return {};
    JsonNode at = firstMember();
    for (std::uint32_t i = 0; i < node().count; ++i, at = at.nextMember()) {
        if (at.keyBytes() == key)
            return at.memberValue();
    }
    return {};
}

JsonNode JsonNode::memberConvertingTo(QLatin1StringView name, bool &ambiguous) const
{
    ambiguous = false;
    if (!isObject())
        return {};
    JsonNode found;
    JsonNode at = firstMember();
    for (std::uint32_t i = 0; i < node().count; ++i, at = at.nextMember()) {
        if (fromSnakeCase(at.toString()) != name)
            continue;
        if (!found.isUndefined()) {
            ambiguous = true;
            return {};
        }
        found = at.memberValue();
    }
    return found;
}

} // namespace quillfern::wire
