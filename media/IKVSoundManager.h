#pragma once
// The sound module: makes sounds from files or for data providers, and keeps
// the global volume that every sound is scaled by.
#include "../kernel/KVTypes.h"
#include "IKVSound.h"

namespace kvl {

constexpr KVInterfaceId IID_IKVSoundManager = MakeId(0x0053DEC6, 0x977FDA68);

// Told when the global volume changes.
class IKVSoundVolumeListener {
public:
    virtual int32_t OnGlobalVolumeChanged() = 0;

protected:
    virtual ~IKVSoundVolumeListener() = default;
};

class IKVSoundManager {
public:
    // Appended unless already listed.
    virtual int32_t AddEntry(IKVSoundVolumeListener* listener) = 0;
    virtual int32_t RemoveEntry(IKVSoundVolumeListener* listener) = 0;
    virtual float GetGlobalVolume() = 0;
    // A sound of the file at `path`, loaded whole (kept and shared) or
    // streamed from the file while it plays.
    virtual int32_t CreateSound(const char* path, IKVSound** out, uint8_t streamed) = 0;
    // A sound on a new buffer of `bytes` bytes with no file, for a provider.
    virtual int32_t CreateBuffer(uint32_t rate, uint32_t channels, uint32_t bytes, IKVSound** out) = 0;

protected:
    virtual ~IKVSoundManager() = default;
};

} // namespace kvl
