#pragma once
// Writes a project properties block as the properties module reads it from a
// project file of the given version: an old-form chunk header (tag 0) for
// versions up to 0x10004, the 8-byte head (count, then an ignored 0), and
// the entries (id, type, value), with a u32 size word before every id, type
// and fixed-size value below version 0x10005.
#include <cstdint>
#include <string>
#include <vector>

namespace kvtest {

class KVPropertiesBlockWriter {
public:
    explicit KVPropertiesBlockWriter(uint32_t projectVersion = 0x20004) : m_version(projectVersion) {}

    KVPropertiesBlockWriter& AddInteger(uint64_t id, int32_t value);
    KVPropertiesBlockWriter& AddString(uint64_t id, const std::string& value);
    KVPropertiesBlockWriter& AddBoolean(uint64_t id, uint8_t value);
    KVPropertiesBlockWriter& AddFloat(uint64_t id, float value);
    // An entry of another type: the id and the type, no value bytes.
    KVPropertiesBlockWriter& AddUntyped(uint64_t id, uint32_t type);

    // Writes this count instead of the number of entries added.
    KVPropertiesBlockWriter& SetCount(uint32_t count);
    // Chunk header fields for versions up to 0x10004.
    KVPropertiesBlockWriter& SetChunk(uint32_t tag, uint32_t version);

    uint32_t ProjectVersion() const { return m_version; }
    std::vector<uint8_t> Build() const;

    static void PutU32(std::vector<uint8_t>& out, uint32_t value);
    static void PutU64(std::vector<uint8_t>& out, uint64_t value);

private:
    bool OldEncoding() const { return m_version < 0x10005; }
    void PutValueSize(uint32_t size);
    void PutHead(uint64_t id, uint32_t type);

    uint32_t m_version;
    std::vector<uint8_t> m_entries;
    uint32_t m_added = 0;
    bool m_countSet = false;
    uint32_t m_count = 0;
    uint32_t m_chunkTag = 0;
    uint32_t m_chunkVersion = 0x10002;
};

} // namespace kvtest
