#pragma once
// A reader of sound files: decodes to signed 16-bit PCM for the sound
// manager, which asks the resource manager's chosen reader for this face.
#include "../kernel/IKVResource.h"

namespace kvl {

constexpr KVInterfaceId IID_IKVSoundReader = MakeId(0x000B1FC1, 0x6000719D);

// Filled by GetInfo; both lengths are bytes of PCM in the whole sound.
struct KVSoundReaderInfo {
    uint32_t rate;
    uint32_t channels;
    uint32_t bitsPerSample;
    uint32_t byteLength;
    uint32_t secondLength;
};

class IKVSoundReader : public IKVResourceReader {
public:
    virtual int32_t GetInfo(void* handle, KVSoundReaderInfo* out) = 0;
    // Back to the first sample.
    virtual int32_t Rewind(void* handle) = 0;
};

} // namespace kvl
