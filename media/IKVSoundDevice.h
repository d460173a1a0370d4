#pragma once
// The sound output: makes buffers and voices. Asked from the core by id.
#include "../kernel/KVTypes.h"
#include "IKVSoundBuffer.h"
#include "IKVSoundVoice.h"

namespace kvl {

constexpr KVInterfaceId IID_IKVSoundDevice = MakeId(0x00300EF1, 0x86FDEF1E);

// Capability bit: a streamed sound may refill its buffer on a thread of its own.
constexpr uint32_t KVSOUND_CAP_THREADED_REFILL = 1;

// Describes a buffer to CreateBuffer; the device reads the first three fields.
struct SoundFormat {
    uint32_t rate;      // Hz
    uint32_t channels;
    uint32_t size;      // bytes; 0 asks for one second
    uint32_t reserved;
    uint8_t streamed;
};

class IKVSoundDevice {
public:
    virtual int32_t CreateBuffer(const SoundFormat* format, IKVSoundBuffer** out) = 0;
    virtual int32_t CreateVoice(IKVSoundBuffer* buffer, IKVSoundVoice** out) = 0;
    virtual uint32_t GetCaps() = 0;

protected:
    virtual ~IKVSoundDevice() = default;
};

} // namespace kvl
