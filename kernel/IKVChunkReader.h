#pragma once
// The reading operations that project-file readers use on the serializer's
// open file. All integers are little-endian.
#include <cstdint>
#include <string>

namespace kvl {

class IKVChunkReader {
public:
    // Version of the project file being read (major in the high 16 bits).
    virtual uint32_t GetFileVersion() = 0;
    // Opens a chunk: 0 and its version in out (may be null), or 0x40002 on a
    // tag or version mismatch.
    virtual int32_t BeginChunk(uint32_t tag, uint32_t supportedVersion, uint32_t* outVersion) = 0;
    // Raw bytes, no size word.
    virtual int32_t ReadBytes(void* buffer, uint32_t count) = 0;
    // A value of count bytes; in the old value encoding it is preceded by a
    // u32 size word that must equal count (0x40003 otherwise).
    virtual int32_t ReadValue(void* buffer, uint32_t count) = 0;
    // A value of 8 bytes, decoded; size word as for ReadValue.
    virtual int32_t ReadUInt64(uint64_t* out) = 0;
    // A u32 length and that many bytes; the text ends at the first NUL.
    virtual int32_t ReadString(std::string* out) = 0;

    // Contract for every read: 0 only when all the bytes were there. A short
    // read answers non-zero and never reads past the data, and ReadString
    // checks its length against the data left before it allocates.

protected:
    virtual ~IKVChunkReader() = default;
};

} // namespace kvl
