#include "KVPakWriter.h"

#include <zlib.h>

#include <algorithm>
#include <deque>
#include <memory>

namespace kvtest {
namespace {

struct TrieNode {
    char c = 0;
    int file = -1;
    std::vector<std::unique_ptr<TrieNode>> children;

    TrieNode() = default;
    // Deep paths make deep tries: taken apart without recursion.
    ~TrieNode() {
        std::vector<std::unique_ptr<TrieNode>> pending;
        for (auto& child : children) pending.push_back(std::move(child));
        while (!pending.empty()) {
            std::unique_ptr<TrieNode> node = std::move(pending.back());
            pending.pop_back();
            for (auto& child : node->children) pending.push_back(std::move(child));
            node->children.clear();
        }
    }
};

void AppendU32(std::string* out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out->push_back(char((v >> (8 * i)) & 0xff));
}

} // namespace

void PutU32(std::string* bytes, size_t offset, uint32_t value) {
    for (size_t i = 0; i < 4; ++i) (*bytes)[offset + i] = char((value >> (8 * i)) & 0xff);
}

uint32_t GetU32(const std::string& bytes, size_t offset) {
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i) v |= uint32_t(uint8_t(bytes[offset + i])) << (8 * i);
    return v;
}

KVPakWriter& KVPakWriter::Add(const std::string& path, const std::string& content) {
    m_files.emplace_back(path, content);
    m_unshared.push_back(false);
    return *this;
}

KVPakWriter& KVPakWriter::AddUnshared(const std::string& path, const std::string& content) {
    m_files.emplace_back(path, content);
    m_unshared.push_back(true);
    return *this;
}

std::string KVPakWriter::Build(bool compressed) {
    m_layout.clear();
    TrieNode root;
    for (size_t i = 0; i < m_files.size(); ++i) {
        TrieNode* node = &root;
        for (char c : m_files[i].first) {
            TrieNode* next = nullptr;
            for (auto& child : node->children)
                if (child->c == c && !m_unshared[i]) next = child.get();
            if (!next) {
                node->children.push_back(std::make_unique<TrieNode>());
                next = node->children.back().get();
                next->c = c;
            }
            node = next;
        }
        node->file = int(i);
    }

    // Sibling lists breadth first: the root list at word 0.
    std::map<const TrieNode*, uint32_t> listStart;  // keyed by the parent
    std::vector<const TrieNode*> order;
    std::deque<const TrieNode*> queue{&root};
    uint32_t word = 0;
    while (!queue.empty()) {
        const TrieNode* parent = queue.front();
        queue.pop_front();
        if (parent->children.empty()) continue;
        listStart[parent] = word;
        order.push_back(parent);
        for (auto& child : parent->children) word += child->file >= 0 ? 2 : 1;
        for (auto& child : parent->children) queue.push_back(child.get());
    }
    m_directoryWords = word;

    // Records follow the directory, contents follow the records.
    uint32_t recordBase = word * 4;
    std::string contents;
    std::vector<uint32_t> contentOffsets(m_files.size());
    uint32_t contentBase = recordBase + uint32_t(m_files.size()) * 8;
    for (size_t i = 0; i < m_files.size(); ++i) {
        const std::string& data = m_files[i].second;
        contentOffsets[i] = contentBase + uint32_t(contents.size());
        if (compressed) {
            uLongf length = compressBound(uLong(data.size()));
            std::string stream(length, '\0');
            compress2(reinterpret_cast<Bytef*>(&stream[0]), &length, reinterpret_cast<const Bytef*>(data.data()),
                      uLong(data.size()), 6);
            stream.resize(length);
            AppendU32(&contents, uint32_t(stream.size()));
            contents += stream;
        } else {
            contents += data;
        }
        KVPakEntryLayout& layout = m_layout[m_files[i].first];
        layout.recordOffset = recordBase + uint32_t(i) * 8;
        layout.contentOffset = contentOffsets[i];
        layout.storedLength = contentBase + uint32_t(contents.size()) - contentOffsets[i];
    }

    std::string body;
    word = 0;
    for (const TrieNode* parent : order) {
        for (size_t k = 0; k < parent->children.size(); ++k) {
            const TrieNode& node = *parent->children[k];
            uint32_t v = uint32_t(uint8_t(node.c)) << 24;
            if (!node.children.empty()) v |= (1u << 20) | (listStart[&node] & 0xfffffu);
            if (k + 1 < parent->children.size()) v |= 1u << 21;
            if (node.file >= 0) v |= 1u << 22;
            AppendU32(&body, v);
            if (node.file >= 0) {
                m_layout[m_files[size_t(node.file)].first].nodeWord = word;
                AppendU32(&body, recordBase + uint32_t(node.file) * 8);
            }
            word += node.file >= 0 ? 2 : 1;
        }
    }
    for (size_t i = 0; i < m_files.size(); ++i) {
        AppendU32(&body, contentOffsets[i]);
        AppendU32(&body, uint32_t(m_files[i].second.size()));
    }
    body += contents;

    std::string file = "PAKN";
    AppendU32(&file, 0x00020000);
    file.append(24, '\0');
    return file + body;
}

std::string BuildPakDescriptor(const std::vector<KVPakDescriptorEntry>& entries, uint8_t version) {
    std::string out = "PADE";
    out.push_back(char(version));
    out.push_back('\0');
    out.push_back(char(entries.size() & 0xff));
    out.push_back(char((entries.size() >> 8) & 0xff));
    for (const KVPakDescriptorEntry& e : entries) {
        std::string record(64, '\0');
        record.replace(0, std::min<size_t>(e.name.size(), 30), e.name.substr(0, 30));
        record[30] = char((e.loadWithProject ? 1 : 0) | (e.compressed ? 2 : 0));
        record.replace(32, std::min<size_t>(e.group.size(), 32), e.group.substr(0, 32));
        out += record;
    }
    return out;
}

} // namespace kvtest
