#include "KVPropertiesBlockWriter.h"

#include <cstring>

namespace kvtest {

void KVPropertiesBlockWriter::PutU32(std::vector<uint8_t>& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(value >> (8 * i)));
}

void KVPropertiesBlockWriter::PutU64(std::vector<uint8_t>& out, uint64_t value) {
    for (int i = 0; i < 8; ++i) out.push_back(uint8_t(value >> (8 * i)));
}

void KVPropertiesBlockWriter::PutValueSize(uint32_t size) {
    if (OldEncoding()) PutU32(m_entries, size);
}

void KVPropertiesBlockWriter::PutHead(uint64_t id, uint32_t type) {
    PutValueSize(8);
    PutU64(m_entries, id);
    PutValueSize(4);
    PutU32(m_entries, type);
    ++m_added;
}

KVPropertiesBlockWriter& KVPropertiesBlockWriter::AddInteger(uint64_t id, int32_t value) {
    PutHead(id, 0);
    PutValueSize(4);
    PutU32(m_entries, uint32_t(value));
    return *this;
}

KVPropertiesBlockWriter& KVPropertiesBlockWriter::AddString(uint64_t id, const std::string& value) {
    PutHead(id, 1);
    PutU32(m_entries, uint32_t(value.size()));
    m_entries.insert(m_entries.end(), value.begin(), value.end());
    return *this;
}

KVPropertiesBlockWriter& KVPropertiesBlockWriter::AddBoolean(uint64_t id, uint8_t value) {
    PutHead(id, 2);
    PutValueSize(1);
    m_entries.push_back(value);
    return *this;
}

KVPropertiesBlockWriter& KVPropertiesBlockWriter::AddFloat(uint64_t id, float value) {
    PutHead(id, 3);
    PutValueSize(4);
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    PutU32(m_entries, bits);
    return *this;
}

KVPropertiesBlockWriter& KVPropertiesBlockWriter::AddUntyped(uint64_t id, uint32_t type) {
    PutHead(id, type);
    return *this;
}

KVPropertiesBlockWriter& KVPropertiesBlockWriter::SetCount(uint32_t count) {
    m_countSet = true;
    m_count = count;
    return *this;
}

KVPropertiesBlockWriter& KVPropertiesBlockWriter::SetChunk(uint32_t tag, uint32_t version) {
    m_chunkTag = tag;
    m_chunkVersion = version;
    return *this;
}

std::vector<uint8_t> KVPropertiesBlockWriter::Build() const {
    std::vector<uint8_t> body;
    PutU32(body, m_countSet ? m_count : m_added);
    PutU32(body, 0);
    body.insert(body.end(), m_entries.begin(), m_entries.end());
    if (m_version > 0x10004) return body;
    std::vector<uint8_t> out;
    PutU32(out, m_chunkTag);
    PutU32(out, m_chunkVersion);
    PutU32(out, uint32_t(16 + body.size()));
    PutU32(out, 0);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

} // namespace kvtest
