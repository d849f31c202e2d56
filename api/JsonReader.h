#pragma once

#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace quillfern::wire {

class JsonNode;

// A quick reader for the plain JSON the app and the service exchange: one pass over the text into a flat
// list of values that point back into it, strings decoded only when asked for. It reads the common,
// well-formed subset only and gives up on anything else (escaped keys, numbers out of range, deep nesting,
// text that is not JSON, ...); the caller then reads the text with Qt's parser, which decides and explains.
// For every document it does read, its values are the ones Qt's parser gives.
class JsonTree {
public:
    static std::optional<JsonTree> read(QByteArrayView text);

    JsonNode root() const;
    // Set when a lookup met something it will not decide (a key given twice, several keys that convert to
    // the same name): what was decoded from this tree must be thrown away.
    bool gaveUp() const { return m_gaveUp; }

private:
    friend class JsonNode;
    struct Node {
        enum Kind : std::uint8_t { Null, False, True, Number, String, Array, Object } kind;
        bool escaped = false;      // a string with backslash escapes
        std::uint32_t begin = 0;   // a string's text, without its quotes
        std::uint32_t length = 0;
        std::uint32_t count = 0;   // elements of an array, members of an object
        std::uint32_t end = 0;     // one past the last node of this value
        double number = 0;
    };
    class Parser;

    const char *m_text = nullptr;
    std::vector<Node> m_nodes;
    mutable bool m_gaveUp = false;
};

// One value of a JsonTree, answering the questions a QJsonValue answers.
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

    // Arrays: size() elements, from the first, each followed by the next; what follows the last is not
    // an element.
    qsizetype size() const { return isArray() ? qsizetype(node().count) : 0; }
    JsonNode firstElement() const { return JsonNode(m_tree, m_index + 1); }
    JsonNode nextSibling() const { return JsonNode(m_tree, node().end); }

    // Objects: the member under exactly this key, or undefined.
    JsonNode member(QByteArrayView key) const;
    // Objects: the member whose key converts from snake_case to name, or undefined.
    JsonNode memberConvertingTo(QLatin1StringView name) const;

private:
    friend class JsonTree;
    JsonNode() = default;
    JsonNode(const JsonTree *tree, std::uint32_t index) : m_tree(tree), m_index(index) {}
    const JsonTree::Node &node() const { return m_tree->m_nodes[m_index]; }
    int kind() const { return m_tree ? node().kind : -1; }
    QByteArrayView text(const JsonTree::Node &string) const
    {
        return QByteArrayView(m_tree->m_text + string.begin, string.length);
    }

    const JsonTree *m_tree = nullptr;
    std::uint32_t m_index = 0;
};

} // namespace quillfern::wire
