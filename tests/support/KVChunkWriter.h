#pragma once
// Writes the shapes the serializer reads: chunk headers in the old 16-byte
// or the new 4-byte form, values with or without the old encoding's size
// word, strings, blocks, string tables and the array values of attributes.
// Little-endian throughout. The project and scene file writers build on it.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace kvtest {

struct KVStringTableEntry {
    std::string text;
    std::vector<std::string> subEntries;
};

class KVChunkWriter {
public:
    KVChunkWriter(bool oldChunkHeader, bool oldValueEncoding)
        : m_oldChunkHeader(oldChunkHeader), m_oldValueEncoding(oldValueEncoding) {}

    bool OldChunkHeader() const { return m_oldChunkHeader; }
    bool OldValueEncoding() const { return m_oldValueEncoding; }

    // A chunk header whose size EndChunk fills in (the size counts the header).
    KVChunkWriter& BeginChunk(uint32_t tag, uint32_t version);
    KVChunkWriter& EndChunk();
    // A chunk header with a size of the caller's choosing (no EndChunk).
    KVChunkWriter& ChunkHeader(uint32_t tag, uint32_t version, uint32_t size);

    // Values: in the old encoding a u32 size word precedes the bytes.
    KVChunkWriter& Value(const void* data, uint32_t size);
    KVChunkWriter& ValueU8(uint8_t v) { return Value(&v, 1); }
    KVChunkWriter& ValueU16(uint16_t v);
    KVChunkWriter& ValueU32(uint32_t v);
    KVChunkWriter& ValueI32(int32_t v) { return ValueU32(uint32_t(v)); }
    KVChunkWriter& ValueU64(uint64_t v);
    KVChunkWriter& ValueFloat(float v);
    KVChunkWriter& ValueDouble(double v);
    // A value with an explicit size word (old encoding only), for bad sizes.
    KVChunkWriter& ValueWithSizeWord(uint32_t sizeWord, const void* data, uint32_t size);

    // A u32 length and the bytes, no terminator.
    KVChunkWriter& String(const std::string& text);
    // A u32 size and that many bytes.
    KVChunkWriter& Block(const std::vector<uint8_t>& bytes);
    KVChunkWriter& StringTable(const std::vector<KVStringTableEntry>& entries, uint32_t firstWord = 0);
    KVChunkWriter& UnitRef(uint64_t uid, uint32_t firstWord = 12);
    KVChunkWriter& UnitRefArray(const std::vector<uint64_t>& uids);
    KVChunkWriter& PointArray(const std::vector<std::pair<int32_t, int32_t>>& points);
    KVChunkWriter& StringList(const std::vector<std::string>& strings);

    // Raw bytes, as they are.
    KVChunkWriter& Raw(const void* data, size_t size);
    KVChunkWriter& Raw(const std::vector<uint8_t>& bytes) { return Raw(bytes.data(), bytes.size()); }
    KVChunkWriter& RawU16(uint16_t v);
    KVChunkWriter& RawU32(uint32_t v);
    KVChunkWriter& RawU64(uint64_t v);
    void PatchU32(size_t offset, uint32_t v);

    const std::vector<uint8_t>& Data() const { return m_data; }
    size_t Size() const { return m_data.size(); }

    // Writes bytes to a file, creating its parent directories; false on failure.
    static bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);

protected:
    std::vector<uint8_t> m_data;

private:
    bool m_oldChunkHeader;
    bool m_oldValueEncoding;
    std::vector<size_t> m_openChunks;
};

} // namespace kvtest
