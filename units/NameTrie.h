#pragma once
// A character trie from names to the values registered under them. Several
// values may share a name; lookups compare characters exactly (letter case
// counts). The unit factory indexes units by name (one unit index per value)
// and each class's attributes by name (an attribute slot per value).
#include <cstdint>
#include <string>
#include <vector>

namespace kvl {

// An attribute's place in its class and the element its key names.
struct KVAttributeSlot {
    int32_t position = -1;
    int32_t element = 0;
};

inline bool operator==(const KVAttributeSlot& a, const KVAttributeSlot& b) {
    return a.position == b.position && a.element == b.element;
}

template <class V>
class NameTrie {
public:
    struct Node {
        char ch = 0;
        Node* parent = nullptr;
        Node* next = nullptr;   // next sibling, in insertion order
        Node* child = nullptr;  // first child
        std::vector<V> values;
    };

    // One value of one node; empty when node is null.
    struct Position {
        Node* node = nullptr;
        size_t value = 0;

        bool Empty() const { return node == nullptr; }
        const V& Value() const { return node->values[value]; }
    };

    NameTrie() = default;
    ~NameTrie() { Clear(); }
    NameTrie(const NameTrie& other) { CopyFrom(other); }
    NameTrie& operator=(const NameTrie& other) {
        if (this != &other) {
            Clear();
            CopyFrom(other);
        }
        return *this;
    }

    // Registers a copy of the value under the name; an empty name
    // registers nothing. 0.
    int32_t Insert(const std::string& name, const V& value) {
        if (name.empty()) return 0;
        Node* parent = nullptr;
        Node** chain = &m_first;
        Node* node = nullptr;
        for (char c : name) {
            node = *chain;
            Node* last = nullptr;
            while (node && node->ch != c) {
                last = node;
                node = node->next;
            }
            if (!node) {
                node = new Node;
                node->ch = c;
                node->parent = parent;
                if (last)
                    last->next = node;
                else
                    *chain = node;
            }
            parent = node;
            chain = &node->child;
        }
        node->values.push_back(value);
        ++m_count;
        return 0;
    }

    // The first value of the name, or an empty position.
    Position Find(const std::string& name) const {
        Node* node = FindNode(name);
        if (!node || node->values.empty()) return Position{};
        return Position{node, 0};
    }

    // The value after this one under the same name, or an empty position.
    static Position NextOfName(Position at) {
        if (at.Empty() || at.value + 1 >= at.node->values.size()) return Position{};
        return Position{at.node, at.value + 1};
    }

    // The value after this one in trie order (depth first), or empty.
    Position Next(Position at) const {
        if (at.Empty()) return Position{};
        if (at.value + 1 < at.node->values.size()) return Position{at.node, at.value + 1};
        for (Node* node = Following(at.node); node; node = Following(node))
            if (!node->values.empty()) return Position{node, 0};
        return Position{};
    }

    // Removes that value and prunes the branch that no longer holds
    // values; the position of the next value in trie order.
    Position Erase(Position at) {
        if (at.Empty() || at.value >= at.node->values.size()) return Position{};
        Position next = Next(at);
        Node* node = at.node;
        node->values.erase(node->values.begin() + std::ptrdiff_t(at.value));
        --m_count;
        if (next.node == node) next.value = at.value;  // later values moved down
        while (node && node->values.empty() && !node->child) {
            Node* parent = node->parent;
            Unlink(node);
            delete node;
            node = parent;
        }
        return next;
    }

    // Frees every node and value.
    void Clear() {
        FreeChain(m_first);
        m_first = nullptr;
        m_count = 0;
    }

    int32_t GetCount() const { return m_count; }
    bool IsEmpty() const { return m_first == nullptr; }

private:
    Node* FindNode(const std::string& name) const {
        if (name.empty()) return nullptr;
        Node* chain = m_first;
        Node* node = nullptr;
        for (char c : name) {
            node = chain;
            while (node && node->ch != c) node = node->next;
            if (!node) return nullptr;
            chain = node->child;
        }
        return node;
    }

    // The node after this one in depth-first order.
    static Node* Following(Node* node) {
        if (node->child) return node->child;
        while (node) {
            if (node->next) return node->next;
            node = node->parent;
        }
        return nullptr;
    }

    void Unlink(Node* node) {
        Node** chain = node->parent ? &node->parent->child : &m_first;
        while (*chain && *chain != node) chain = &(*chain)->next;
        if (*chain) *chain = node->next;
    }

    static void FreeChain(Node* node) {
        while (node) {
            Node* next = node->next;
            FreeChain(node->child);
            delete node;
            node = next;
        }
    }

    void CopyFrom(const NameTrie& other) {
        m_first = CopyChain(other.m_first, nullptr);
        m_count = other.m_count;
    }

    static Node* CopyChain(const Node* source, Node* parent) {
        Node* first = nullptr;
        Node* last = nullptr;
        for (; source; source = source->next) {
            Node* node = new Node;
            node->ch = source->ch;
            node->parent = parent;
            node->values = source->values;
            node->child = CopyChain(source->child, node);
            if (last)
                last->next = node;
            else
                first = node;
            last = node;
        }
        return first;
    }

    Node* m_first = nullptr;
    int32_t m_count = 0;
};

} // namespace kvl
