#pragma once
// A block of PCM in the output format (44100 Hz, signed 16-bit little-endian,
// two interleaved channels) that a voice plays. Its owner writes it between
// Lock and Unlock, which keep the mixer out meanwhile.
#include "../kernel/IKVUnknown.h"

namespace kvl {

class IKVSoundBuffer : public IKVUnknownRef {
public:
    // The address of `bytes` bytes at the write position; the writer stays
    // before the end of the data (a lock never wraps).
    virtual int32_t Lock(uint32_t bytes, void** out) = 0;
    // Moves the write position past the locked bytes, wrapping at the end.
    virtual int32_t Unlock() = 0;
    virtual uint32_t GetSize() = 0;
    virtual int32_t ResetWritePosition() = 0;
};

} // namespace kvl
