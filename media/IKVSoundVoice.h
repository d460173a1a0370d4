#pragma once
// A playing position on one sound buffer, with its volume and loop flag.
#include "../kernel/IKVUnknown.h"

namespace kvl {

class IKVSoundVoice : public IKVUnknownRef {
public:
    // Starts (or, when playing, only sets the loop flag).
    virtual int32_t Play(uint8_t loop) = 0;
    // Stops where it is; Play continues from there.
    virtual int32_t Pause() = 0;
    // Stops and goes back to the start.
    virtual int32_t Stop() = 0;
    virtual int32_t SetVolume(float volume) = 0;
    virtual int32_t SetPan(float pan) = 0;
    virtual uint8_t IsPlaying() = 0;
    virtual int32_t SetPitch(float pitch) = 0;
    // Byte offset of the next sample to mix.
    virtual uint32_t GetPosition() = 0;
};

} // namespace kvl
