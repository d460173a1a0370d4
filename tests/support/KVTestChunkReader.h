#pragma once
// IKVChunkReader over a byte buffer, laid out as the serializer reads a
// project file of the given version: below 0x10005 the old value encoding
// (a u32 size word before every ReadValue and ReadUInt64) and the old 16-byte
// chunk header; from 0x10005 on bare values and the 4-byte chunk header.
// Short reads fail with 0xc0002 and leave the position unchanged.
#include <cstdint>
#include <string>
#include <vector>
#include "kernel/IKVChunkReader.h"

namespace kvtest {

class KVTestChunkReader : public kvl::IKVChunkReader {
public:
    KVTestChunkReader(std::vector<uint8_t> data, uint32_t fileVersion);

    uint32_t GetFileVersion() override { return m_version; }
    int32_t BeginChunk(uint32_t tag, uint32_t supportedVersion, uint32_t* outVersion) override;
    int32_t ReadBytes(void* buffer, uint32_t count) override;
    int32_t ReadValue(void* buffer, uint32_t count) override;
    int32_t ReadUInt64(uint64_t* out) override;
    int32_t ReadString(std::string* out) override;

    bool OldValueEncoding() const { return m_version < 0x10005; }
    bool OldChunkHeader() const { return m_version < 0x10005; }
    size_t Position() const { return m_position; }
    size_t Remaining() const { return m_data.size() - m_position; }

private:
    int32_t ReadU32(uint32_t* out);

    std::vector<uint8_t> m_data;
    size_t m_position = 0;
    uint32_t m_version;
};

} // namespace kvtest
