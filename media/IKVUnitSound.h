#pragma once
// What other parts ask of a "Sound" unit: its own play, stop, pause and
// volume. The unit answers this interface from its QueryInterface.
#include "../kernel/IKVUnknown.h"

namespace kvl {

constexpr KVInterfaceId IID_IKVUnitSound = MakeId(0x0038B8D6, 0xCD240C80);

class IKVUnitSound : public virtual IKVUnknown {
public:
    // 1 without a sound; the sound's failure status; else 0 after
    // "OnPlaySound".
    virtual int32_t Play() = 0;
    // 1 without a sound.
    virtual int32_t Stop() = 0;
    virtual int32_t Pause() = 0;
    // Sets "Volume" and applies it.
    virtual int32_t SetVolume(float volume) = 0;

protected:
    ~IKVUnitSound() override = default;
};

} // namespace kvl
