#pragma once
// The serializer's memory of file information by path: a character trie
// whose nodes keep the information records seen for the path ending there.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>
#include "../kernel/IKVFile.h"

namespace kvl {

class KVFileInfoCache {
public:
    // With exact matching off, lookups treat ASCII letters without regard
    // to case; insertion is always exact.
    void SetExactMatch(bool exact) { m_exactMatch = exact; }
    bool GetExactMatch() const { return m_exactMatch; }

    // 0 when the path is known with equal information, else 1 (the
    // information is then remembered).
    int32_t Check(const std::string& path, const KVFileTime& info);
    void Clear();
    uint32_t GetEntryCount() const { return m_entryCount; }

    // Words 0, 1 and 3 and byte 8 of the record decide equality.
    static bool SameInfo(const KVFileTime& a, const KVFileTime& b);

private:
    struct Node {
        char character = 0;
        std::vector<std::unique_ptr<Node>> children;
        std::vector<KVFileTime> records;
    };

    Node* Find(Node* node, const std::string& path, size_t position);

    Node m_root;
    uint32_t m_entryCount = 0;
    bool m_exactMatch = true;
};

} // namespace kvl
