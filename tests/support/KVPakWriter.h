#pragma once
// Writes pak archives and pak descriptors byte by byte, independently of the
// engine's reader: the 32-byte head "PAKN", the character-trie directory
// (sibling lists laid out breadth first), the file records and the contents,
// stored or as a u32 length and one zlib stream. Paths are stored as given.
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace kvtest {

// Where an entry landed in the body (offsets count from the body start,
// which is file offset 32).
struct KVPakEntryLayout {
    uint32_t nodeWord = 0;       // word index of the node ending the path
    uint32_t recordOffset = 0;   // the entry's {content offset, size} record
    uint32_t contentOffset = 0;  // content (compressed: its length word)
    uint32_t storedLength = 0;   // bytes at contentOffset (compressed: 4 + stream)
};

class KVPakWriter {
public:
    static constexpr uint32_t kHeadSize = 32;

    KVPakWriter& Add(const std::string& path, const std::string& content);
    // A path whose nodes are its own from the root down, shared with no
    // other path: a sibling list then holds a character twice, as no pak
    // tool writes it.
    KVPakWriter& AddUnshared(const std::string& path, const std::string& content);

    // The whole pak file. The layout of the entries is kept for Layout().
    std::string Build(bool compressed);
    const std::map<std::string, KVPakEntryLayout>& Layout() const { return m_layout; }
    // Number of words of the directory at the body start.
    uint32_t DirectoryWords() const { return m_directoryWords; }

private:
    std::vector<std::pair<std::string, std::string>> m_files;
    std::vector<bool> m_unshared;
    std::map<std::string, KVPakEntryLayout> m_layout;
    uint32_t m_directoryWords = 0;
};

struct KVPakDescriptorEntry {
    std::string name;
    bool loadWithProject = false;
    bool compressed = false;
    std::string group;
};

// A descriptor "PADE" file; names longer than their field are cut to fill
// it without a terminating zero.
std::string BuildPakDescriptor(const std::vector<KVPakDescriptorEntry>& entries, uint8_t version = 1);

// Little-endian helpers for tests that patch written files.
void PutU32(std::string* bytes, size_t offset, uint32_t value);
uint32_t GetU32(const std::string& bytes, size_t offset);

} // namespace kvtest
