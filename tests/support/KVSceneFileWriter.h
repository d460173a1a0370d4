#pragma once
// Writes a scene (kvl) file: the 16-byte header, the signature made for a
// project id (from version 0x10007 on), then chunks and values. The chunk
// form follows the scene's version (16-byte headers below 0x20001), the
// value encoding the project's (size words when the project is older than
// 0x10005).
#include <cstdint>
#include "KVChunkWriter.h"

namespace kvtest {

class KVSceneFileWriter : public KVChunkWriter {
public:
    static constexpr uint32_t kMagic = 0x204C564Bu;  // "KVL "

    explicit KVSceneFileWriter(uint32_t version = 0x20004, uint64_t projectId = 0, bool oldValueEncoding = false);

    uint32_t Version() const { return m_version; }
    // Offset of the first chunk (after header and signature).
    size_t HeaderSize() const { return m_headerSize; }

    // The signature words stored for a project id.
    static uint32_t SignatureLow(uint64_t projectId) { return uint32_t(projectId) ^ 0x7d3a91c4u; }
    static uint32_t SignatureHigh(uint64_t projectId) { return uint32_t(projectId >> 32) ^ 0x2e6b0f58u; }

private:
    uint32_t m_version;
    size_t m_headerSize;
};

} // namespace kvtest
