#pragma once
// Reading of pak archives held in memory: the pak descriptor, the head of a
// pak file, the character-trie directory of a pak body and the entries it
// points at. Nothing here touches files; every offset, length and link read
// from the data is checked against the data before it is followed.
#include <zlib.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace kvl {

// One pak named by the descriptor.
struct PakDescriptorRecord {
    std::string name;   // the file is "paks/" + name + ".kvpak"
    std::string group;  // scene group whose loading loads the pak; empty for none
    bool loadWithProject = false;
    bool compressed = false;
};

// Where an entry's content lies in its body.
struct PakFileRecord {
    uint32_t offset = 0;  // byte offset of the content in the body
    uint32_t size = 0;    // size of the entry once read (uncompressed)
};

class KVPakArchive {
public:
    static constexpr uint32_t kHeadSize = 32;
    static constexpr uint32_t kVersion = 0x00020000;
    static constexpr uint32_t kDescriptorHeadSize = 8;
    static constexpr uint32_t kDescriptorRecordSize = 64;
    // The largest descriptor: its head and 0xffff records.
    static constexpr uint32_t kMaxDescriptorSize = kDescriptorHeadSize + 0xffffu * kDescriptorRecordSize;

    // Trie node bits.
    static constexpr uint32_t kChildMask = 0x000fffffu;
    static constexpr uint32_t kHasChildren = 1u << 20;
    static constexpr uint32_t kHasSibling = 1u << 21;
    static constexpr uint32_t kEndsFile = 1u << 22;

    // Reads a descriptor file: false (and no records) when its magic or
    // version is wrong or the data ends before the records it announces.
    static bool ParseDescriptor(const uint8_t* data, size_t size, std::vector<PakDescriptorRecord>* out);
    // Whether the first 32 bytes of a pak file are a pak head of our version.
    static bool CheckHead(const uint8_t* data, size_t size);

    explicit KVPakArchive(bool compressed) : m_compressed(compressed) {}
    KVPakArchive(const KVPakArchive&) = delete;
    KVPakArchive& operator=(const KVPakArchive&) = delete;

    // Makes a zero-filled body of that size; false when memory is short.
    bool Allocate(uint32_t size);
    uint8_t* Body() { return m_body.get(); }
    const uint8_t* Body() const { return m_body.get(); }
    uint32_t BodySize() const { return m_size; }
    bool IsCompressed() const { return m_compressed; }

    // Walks the whole directory once: every node, child link and payload in
    // the body, no node reached twice (no cycles, no shared lists), every
    // record and the content it names inside the body. Lookups and listings
    // are only made on an archive that passed.
    bool Validate();
    bool IsValid() const { return m_valid; }
    // Withdraws the archive from lookups (its body could not be read).
    void MarkInvalid() { m_valid = false; }

    // Finds a path (relative, lower case, "/" between directories).
    bool Lookup(const char* path, size_t length, PakFileRecord* out) const;

    // A listing walk over the directory: pairs of {node word, pattern
    // position before the node}, innermost last.
    struct ListState {
        std::vector<std::pair<uint32_t, uint32_t>> stack;
        bool started = false;
    };
    // The next name matching the pattern ("?" any character, "*" up to the
    // character that follows it, crossing "/"): true with the bare name and
    // whether it is a directory, false once the walk is over. A listing
    // answers only what its name finds again, so that a walk that lists
    // each directory it is given ends: a node whose character an earlier
    // node of its sibling list has is passed over with its subtree (lookups
    // stop at the earlier one), and no name holding a NUL (a path ends
    // there) or directory name holding "*" or "?" (it lists more than
    // itself) is answered. A pattern whose folder part has no wildcard
    // starts in that folder: listing it costs what the folder holds.
    bool ListNext(ListState* state, const std::string& pattern, std::string* name, bool* directory) const;

    // Every file entry with its whole path, in directory order.
    void ForEachEntry(const std::function<void(const std::string&, const PakFileRecord&)>& visit) const;

private:
    bool Word(uint32_t index, uint32_t* out) const;
    bool ReadRecord(uint32_t payload, PakFileRecord* out) const;
    bool CheckContent(const PakFileRecord& record) const;
    // The first node of the character in the sibling list at *position (the
    // one lookups and walks take): true with its position and word.
    bool FindInList(char c, uint32_t* position, uint32_t* node) const;
    // Where a listing of the pattern starts: the sibling list of the folder
    // its part up to the last "/" names, when that part has no wildcard
    // (false when the folder is not there), else the root list.
    bool FindFolderList(const std::string& pattern, uint32_t* list, size_t* length) const;
    void Advance(ListState* state) const;
    std::string StackName(const ListState& state, bool directory) const;

    std::unique_ptr<uint8_t[]> m_body;
    uint32_t m_size = 0;
    // Per body word: a node that a lookup never reaches because an earlier
    // node of its sibling list has the same character.
    std::vector<bool> m_shadowed;
    bool m_compressed = false;
    bool m_valid = false;
};

// One open entry of an archive: copies from a stored body, or inflates the
// zlib stream of a compressed one as it is read.
class KVPakEntry {
public:
    KVPakEntry() = default;
    ~KVPakEntry() { Close(); }
    KVPakEntry(const KVPakEntry&) = delete;
    KVPakEntry& operator=(const KVPakEntry&) = delete;

    // The record must come from a validated archive; false when zlib cannot
    // start a stream.
    bool Open(const KVPakArchive& archive, const PakFileRecord& record);
    void Close();
    bool IsOpen() const { return m_open; }

    // Reads up to count bytes from the position, answering as the file
    // layer's Read does (IKVFile.h): 0 with the count read, the read error
    // with a count of 0 at the end (or for a count of 0), and the read error
    // with the bytes that could be read when the compressed data is damaged.
    int32_t Read(void* buffer, uint32_t count, uint32_t* outCount);
    // Moves to a position, kept within 0..size. A compressed entry is
    // inflated forward to it (from its start when moving back); the read
    // error when the data is damaged on the way.
    int32_t SeekTo(int64_t target);
    uint32_t Position() const { return m_position; }
    uint32_t Size() const { return m_size; }

private:
    bool RestartStream();

    const uint8_t* m_data = nullptr;  // stored content, or the zlib stream
    uint32_t m_dataSize = 0;
    uint32_t m_size = 0;
    uint32_t m_position = 0;
    bool m_open = false;
    bool m_compressed = false;
    bool m_streamLive = false;
    bool m_damaged = false;
    z_stream m_stream{};
};

} // namespace kvl
