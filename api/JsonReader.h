#pragma once

#include "core/Result.h"

#include <QByteArrayView>
#include <QLatin1StringView>
#include <QString>

#include <cstdint>
#include <string>
#include <vector>

namespace quillfern::wire {

class JsonNode;

// Why a text is not a JSON value this reader takes. A key given twice is told apart from other faults and
// carries the wire path of the repeated member, such as "holdings[0].quantity".
struct JsonReadError {
    enum class Kind { Syntax, DuplicateKey };

    Kind kind = Kind::Syntax;
    qsizetype offset = 0; // bytes from the start of the text
    QString message;      // what is wrong there, such as "a lone surrogate \ud800"
    QString path;         // a repeated key's path
};

// The one JSON reader of the app and the service: RFC 8259 exactly, in one pass over the text into a flat
// list of values that point back into it; strings are decoded when asked for. Besides what the grammar
// refuses (invalid escapes, lone or unpaired surrogates, raw control characters, invalid UTF-8, numbers such
// as .5, 2., 01 or +1, a byte order mark, text after the value) it refuses a key given twice in one object,
// a number beyond a double's range either way (1e400, 1e-400) and nesting deeper than maxDepth. Strings
// come out exactly as sent, U+FEFF and noncharacters included.
class JsonTree {
public:
    static constexpr int maxDepth = 512;

    // The tree points into text, which must outlive it.
    static Result<JsonTree, JsonReadError> read(QByteArrayView text);

    JsonNode root() const;

private:
    friend class JsonNode;
    struct Node {
        enum Kind : std::uint8_t { Null, False, True, Number, String, Array, Object } kind;
        // Where a string's bytes are: in the document as written (with or without escapes), or, for keys
        // that had escapes, unescaped in m_keys.
        enum Text : std::uint8_t { Plain, Escaped, Unescaped } text = Plain;
        std::uint32_t begin = 0;
        std::uint32_t length = 0;
        std::uint32_t count = 0; // elements of an array, members of an object
        std::uint32_t end = 0;   // one past the last node of this value
        double number = 0;
    };
    class Parser;

    const char *m_text = nullptr;
    std::vector<Node> m_nodes;
    std::string m_keys;
};

// One value of a JsonTree.
class JsonNode {
public:
    bool isUndefined() const { return !m_tree; }
    bool isNull() const { return kind() == JsonTree::Node::Null; }
    bool isBool() const { return kind() == JsonTree::Node::True || kind() == JsonTree::Node::False; }
    bool isDouble() const { return kind() == JsonTree::Node::Number; }
    bool isString() const { return kind() == JsonTree::Node::String; }
    bool isArray() const { return kind() == JsonTree::Node::Array; }
    bool isObject() const { return kind() == JsonTree::Node::Object; }

    bool toBool() const { return kind() == JsonTree::Node::True; }
    double toDouble() const { return isDouble() ? node().number : 0; }
    QString toString() const;

    // Arrays: size() elements, from the first, each followed by the next. Objects: size() members.
    qsizetype size() const { return isArray() || isObject() ? qsizetype(node().count) : 0; }
    JsonNode firstElement() const { return JsonNode(m_tree, m_index + 1); }
    JsonNode nextSibling() const { return JsonNode(m_tree, node().end); }

    // Objects, member by member: the key of the first (a string), the value under a key, the next key.
    JsonNode firstMember() const { return JsonNode(m_tree, m_index + 1); }
    JsonNode memberValue() const { return JsonNode(m_tree, m_index + 1); }
    JsonNode nextMember() const { return JsonNode(m_tree, m_tree->m_nodes[m_index + 1].end); }

    // Objects: the member under exactly this key (UTF-8), or undefined.
    JsonNode member(QByteArrayView key) const;
    // Objects: the member whose key converts from snake_case to name, or undefined; ambiguous is set when
    // two keys do.
    JsonNode memberConvertingTo(QLatin1StringView name, bool &ambiguous) const;

private:
    friend class JsonTree;
    JsonNode() = default;
    JsonNode(const JsonTree *tree, std::uint32_t index) : m_tree(tree), m_index(index) {}
    const JsonTree::Node &node() const { return m_tree->m_nodes[m_index]; }
    int kind() const { return m_tree ? node().kind : -1; }
    QByteArrayView keyBytes() const;

    const JsonTree *m_tree = nullptr;
    std::uint32_t m_index = 0;
};

} // namespace quillfern::wire
