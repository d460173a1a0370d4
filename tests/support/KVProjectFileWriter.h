#pragma once
// Writes a project file ("kvproj"): the 32-byte header, the group records
// and the path block, followed by whatever the caller appends (the
// properties block, the permanent-unit section). Counts and sizes follow
// what was added unless a test overrides them.
#include <cstdint>
#include <string>
#include <vector>
#include "KVChunkWriter.h"

namespace kvtest {

class KVProjectFileWriter {
public:
    static constexpr uint32_t kMagic = 0x5250564Bu;  // "KVPR"

    explicit KVProjectFileWriter(uint32_t version = 0x10005, uint64_t projectId = 0)
        : m_version(version), m_projectId(projectId) {}

    uint32_t Version() const { return m_version; }
    uint64_t ProjectId() const { return m_projectId; }
    // Below 0x10005 values carry size words and chunks have 16-byte headers.
    bool OldFormat() const { return m_version < 0x10005; }

    KVProjectFileWriter& AddKvl(const std::string& path);
    KVProjectFileWriter& AddGroup(const std::string& name, const std::vector<uint32_t>& kvls, bool loadAtStart = false,
                                  const std::string& text = std::string());
    // Bytes after the path block: the properties block, the unit section.
    KVProjectFileWriter& Append(const std::vector<uint8_t>& bytes);
    // A chunk writer in this project's formats, for what follows the head.
    KVChunkWriter TailWriter() const { return KVChunkWriter(OldFormat(), OldFormat()); }

    // Overrides for malformed files.
    KVProjectFileWriter& SetMagic(uint32_t magic) { m_magic = magic; return *this; }
    KVProjectFileWriter& SetKvlCount(uint32_t count) { m_kvlCount = count; m_kvlCountSet = true; return *this; }
    KVProjectFileWriter& SetPathBlockSize(uint32_t size) { m_blockSize = size; m_blockSizeSet = true; return *this; }
    KVProjectFileWriter& SetGroupCount(uint32_t count) { m_groupCount = count; m_groupCountSet = true; return *this; }
    // Raw group bytes written in place of the group records.
    KVProjectFileWriter& SetGroupBytes(const std::vector<uint8_t>& bytes) {
        m_groupBytes = bytes;
        m_groupBytesSet = true;
        return *this;
    }

    std::vector<uint8_t> Build() const;
    bool WriteTo(const std::string& path) const { return KVChunkWriter::WriteFile(path, Build()); }

private:
    struct Group {
        std::string name;
        std::string text;
        std::vector<uint32_t> kvls;
        bool loadAtStart;
    };

    uint32_t m_version;
    uint64_t m_projectId;
    uint32_t m_magic = kMagic;
    std::vector<std::string> m_paths;
    std::vector<Group> m_groups;
    std::vector<uint8_t> m_tail;
    uint32_t m_kvlCount = 0, m_blockSize = 0, m_groupCount = 0;
    bool m_kvlCountSet = false, m_blockSizeSet = false, m_groupCountSet = false;
    std::vector<uint8_t> m_groupBytes;
    bool m_groupBytesSet = false;
};

} // namespace kvtest
