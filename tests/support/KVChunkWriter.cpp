#include "KVChunkWriter.h"

#include <cstdio>
#include <cstring>
#include <filesystem>

namespace kvtest {

KVChunkWriter& KVChunkWriter::Raw(const void* data, size_t size) {
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    if (size) m_data.insert(m_data.end(), bytes, bytes + size);
    return *this;
}

KVChunkWriter& KVChunkWriter::RawU16(uint16_t v) {
    m_data.push_back(uint8_t(v));
    m_data.push_back(uint8_t(v >> 8));
    return *this;
}

KVChunkWriter& KVChunkWriter::RawU32(uint32_t v) {
    for (int i = 0; i < 4; ++i) m_data.push_back(uint8_t(v >> (8 * i)));
    return *this;
}

KVChunkWriter& KVChunkWriter::RawU64(uint64_t v) {
    for (int i = 0; i < 8; ++i) m_data.push_back(uint8_t(v >> (8 * i)));
    return *this;
}

void KVChunkWriter::PatchU32(size_t offset, uint32_t v) {
    if (offset + 4 > m_data.size()) return;
    for (int i = 0; i < 4; ++i) m_data[offset + size_t(i)] = uint8_t(v >> (8 * i));
}

KVChunkWriter& KVChunkWriter::ChunkHeader(uint32_t tag, uint32_t version, uint32_t size) {
    if (m_oldChunkHeader) {
        RawU32(tag);
        RawU32(version);
        RawU32(size);
        RawU32(0);
    } else {
        RawU32(size);
    }
    return *this;
}

KVChunkWriter& KVChunkWriter::BeginChunk(uint32_t tag, uint32_t version) {
    m_openChunks.push_back(m_data.size());
    return ChunkHeader(tag, version, 0);
}

KVChunkWriter& KVChunkWriter::EndChunk() {
    if (m_openChunks.empty()) return *this;
    const size_t start = m_openChunks.back();
    m_openChunks.pop_back();
    PatchU32(m_oldChunkHeader ? start + 8 : start, uint32_t(m_data.size() - start));
    return *this;
}

KVChunkWriter& KVChunkWriter::Value(const void* data, uint32_t size) {
    if (m_oldValueEncoding) RawU32(size);
    return Raw(data, size);
}

KVChunkWriter& KVChunkWriter::ValueWithSizeWord(uint32_t sizeWord, const void* data, uint32_t size) {
    if (m_oldValueEncoding) RawU32(sizeWord);
    return Raw(data, size);
}

KVChunkWriter& KVChunkWriter::ValueU16(uint16_t v) {
    uint8_t b[2] = {uint8_t(v), uint8_t(v >> 8)};
    return Value(b, 2);
}

KVChunkWriter& KVChunkWriter::ValueU32(uint32_t v) {
    uint8_t b[4];
    for (int i = 0; i < 4; ++i) b[i] = uint8_t(v >> (8 * i));
    return Value(b, 4);
}

KVChunkWriter& KVChunkWriter::ValueU64(uint64_t v) {
    uint8_t b[8];
    for (int i = 0; i < 8; ++i) b[i] = uint8_t(v >> (8 * i));
    return Value(b, 8);
}

KVChunkWriter& KVChunkWriter::ValueFloat(float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return ValueU32(bits);
}

KVChunkWriter& KVChunkWriter::ValueDouble(double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return ValueU64(bits);
}

KVChunkWriter& KVChunkWriter::String(const std::string& text) {
    RawU32(uint32_t(text.size()));
    return Raw(text.data(), text.size());
}

KVChunkWriter& KVChunkWriter::Block(const std::vector<uint8_t>& bytes) {
    RawU32(uint32_t(bytes.size()));
    return Raw(bytes);
}

KVChunkWriter& KVChunkWriter::StringTable(const std::vector<KVStringTableEntry>& entries, uint32_t firstWord) {
    RawU32(firstWord);
    RawU32(uint32_t(entries.size()));
    for (const KVStringTableEntry& entry : entries) {
        RawU16(uint16_t(entry.text.size()));
        Raw(entry.text.data(), entry.text.size());
        RawU32(uint32_t(entry.subEntries.size()));
        for (const std::string& sub : entry.subEntries) {
            RawU16(uint16_t(sub.size()));
            Raw(sub.data(), sub.size());
        }
    }
    return *this;
}

KVChunkWriter& KVChunkWriter::UnitRef(uint64_t uid, uint32_t firstWord) {
    RawU32(firstWord);
    return RawU64(uid);
}

KVChunkWriter& KVChunkWriter::UnitRefArray(const std::vector<uint64_t>& uids) {
    RawU32(uint32_t(uids.size() * 8));
    for (uint64_t uid : uids) RawU64(uid);
    return *this;
}

KVChunkWriter& KVChunkWriter::PointArray(const std::vector<std::pair<int32_t, int32_t>>& points) {
    RawU32(uint32_t(points.size() * 8));
    for (const auto& p : points) {
        RawU32(uint32_t(p.first));
        RawU32(uint32_t(p.second));
    }
    return *this;
}

KVChunkWriter& KVChunkWriter::StringList(const std::vector<std::string>& strings) {
    uint32_t total = 0;
    for (const std::string& s : strings) total += uint32_t(4 + s.size());
    RawU32(total);
    for (const std::string& s : strings) String(s);
    return *this;
}

bool KVChunkWriter::WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    const std::filesystem::path target(path);
    std::error_code error;
    if (target.has_parent_path()) std::filesystem::create_directories(target.parent_path(), error);
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

} // namespace kvtest
