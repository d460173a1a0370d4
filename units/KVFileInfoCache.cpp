#include "KVFileInfoCache.h"

namespace kvl {
namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

} // namespace

bool KVFileInfoCache::SameInfo(const KVFileTime& a, const KVFileTime& b) {
    return SameFileTime(a, b);
}

void KVFileInfoCache::Clear() {
    m_root.children.clear();
    m_root.records.clear();
    m_entryCount = 0;
}

KVFileInfoCache::Node* KVFileInfoCache::Find(Node* node, const std::string& path, size_t position) {
    if (position == path.size()) return node->records.empty() ? nullptr : node;
    const char wanted = path[position];
    for (auto& child : node->children) {
        const bool match = m_exactMatch ? child->character == wanted : Lower(child->character) == Lower(wanted);
        if (!match) continue;
        // Without exact matching several children may fit: try each in turn.
        if (Node* found = Find(child.get(), path, position + 1)) return found;
    }
    return nullptr;
}

int32_t KVFileInfoCache::Check(const std::string& path, const KVFileTime& info) {
    if (Node* found = Find(&m_root, path, 0)) {
        if (SameInfo(found->records.front(), info)) return 0;
        found->records.front() = info;
        return 1;
    }
    Node* node = &m_root;
    for (char c : path) {
        Node* next = nullptr;
        for (auto& child : node->children) {
            if (child->character == c) {
                next = child.get();
                break;
            }
        }
        if (!next) {
            node->children.push_back(std::make_unique<Node>());
            next = node->children.back().get();
            next->character = c;
        }
        node = next;
    }
    for (const KVFileTime& record : node->records) {
        if (SameInfo(record, info)) return 1;
    }
    node->records.push_back(info);
    ++m_entryCount;
    return 1;
}

} // namespace kvl
