#include "KVTestChunkReader.h"

#include <cstring>
#include "kernel/KVTypes.h"

namespace kvtest {

KVTestChunkReader::KVTestChunkReader(std::vector<uint8_t> data, uint32_t fileVersion)
    : m_data(std::move(data)), m_version(fileVersion) {}

int32_t KVTestChunkReader::ReadBytes(void* buffer, uint32_t count) {
    if (count > Remaining()) return kvl::KV_READ_FAILED;
    if (count) std::memcpy(buffer, m_data.data() + m_position, count);
    m_position += count;
    return kvl::KV_OK;
}

int32_t KVTestChunkReader::ReadU32(uint32_t* out) {
    uint8_t b[4];
    int32_t r = ReadBytes(b, 4);
    if (r == kvl::KV_OK) *out = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
    return r;
}

int32_t KVTestChunkReader::BeginChunk(uint32_t tag, uint32_t supportedVersion, uint32_t* outVersion) {
    if (outVersion) *outVersion = 0;
    if (!OldChunkHeader()) {
        uint32_t size = 0;
        int32_t r = ReadU32(&size);
        if (r != kvl::KV_OK) return r;
        if (outVersion) *outVersion = supportedVersion;
        return kvl::KV_OK;
    }
    uint32_t head[4];
    for (uint32_t& word : head) {
        int32_t r = ReadU32(&word);
        if (r != kvl::KV_OK) return r;
    }
    const uint32_t storedMajor = head[1] >> 16, storedMinor = head[1] & 0xffffu;
    const uint32_t major = supportedVersion >> 16, minor = supportedVersion & 0xffffu;
    if (head[0] != tag || storedMajor > major || (storedMajor == major && storedMinor > minor))
        return kvl::KV_WRONG_CHUNK;
    if (outVersion) *outVersion = head[1];
    return kvl::KV_OK;
}

int32_t KVTestChunkReader::ReadValue(void* buffer, uint32_t count) {
    if (OldValueEncoding()) {
        uint32_t size = 0;
        int32_t r = ReadU32(&size);
        if (r != kvl::KV_OK) return r;
        if (size != count) return kvl::KV_WRONG_SIZE;
    }
    return ReadBytes(buffer, count);
}

int32_t KVTestChunkReader::ReadUInt64(uint64_t* out) {
    uint8_t b[8];
    int32_t r = ReadValue(b, 8);
    if (r != kvl::KV_OK) return r;
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | b[i];
    *out = v;
    return kvl::KV_OK;
}

int32_t KVTestChunkReader::ReadString(std::string* out) {
    uint32_t length = 0;
    const size_t start = m_position;
    int32_t r = ReadU32(&length);
    if (r != kvl::KV_OK) return r;
    if (length > Remaining()) {
        m_position = start;
        return kvl::KV_READ_FAILED;
    }
    const char* text = reinterpret_cast<const char*>(m_data.data() + m_position);
    out->assign(text, strnlen(text, length));
    m_position += length;
    return kvl::KV_OK;
}

} // namespace kvtest
