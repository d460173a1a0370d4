#pragma once
// A sound made by the sound manager: one voice on one sound buffer resource,
// with its own volume, pan, loop flag and play state.
#include "../kernel/IKVUnknown.h"

namespace kvl {

constexpr KVInterfaceId IID_IKVSound = MakeId(0x00206AD1, 0x3EEDA818);

// Play states.
enum KVSoundState : uint32_t {
    KVSOUND_STOPPED = 0,
    KVSOUND_PLAYING = 1,
    KVSOUND_PAUSED = 2,
};

// Feeds a sound instead of a file (a movie's sound track).
class IKVSoundDataProvider {
public:
    // Fills `count` interleaved 16-bit samples; answers how many it gave.
    virtual uint32_t GetSamples(int16_t* buffer, uint32_t count) = 0;

protected:
    virtual ~IKVSoundDataProvider() = default;
};

class IKVSound : public IKVUnknownRef {
public:
    // Nothing while playing; otherwise starts with that loop flag.
    virtual int32_t Play(uint8_t loop) = 0;
    virtual int32_t Pause() = 0;
    // Back to the start; a streamed sound is ready to play again at once. A
    // provided sound drops what it had queued and takes its first chunk from
    // its provider again, so its next play starts with what the provider
    // gives after the stop. Streamed and provided sounds decode (or pull)
    // outside the device buffer's lock and only copy under it.
    virtual int32_t Stop() = 0;
    // The sound's own volume, scaled by the global volume.
    virtual int32_t SetVolume(float volume) = 0;
    // The sound's own pan, offset by the global pan.
    virtual int32_t SetPan(float pan) = 0;
    // The voice's playing flag; a sound whose voice ended becomes stopped.
    virtual uint8_t IsPlaying() = 0;
    virtual uint32_t GetState() = 0;
    virtual int32_t SetPitch(float pitch) = 0;
    virtual int32_t SetDataProvider(IKVSoundDataProvider* provider) = 0;
    // Bytes of sound data before the play position.
    virtual uint32_t GetPosition() = 0;
    // Moves the position of a streamed or provided sound by a byte count
    // (negative: back).
    virtual int32_t AdvancePosition(int32_t bytes) = 0;
    // Seconds.
    virtual float GetDuration() = 0;
    // The envelope value at the play position, 0 to 1.
    virtual float GetAmplitude() = 0;
    virtual uint32_t GetRate() = 0;
    virtual uint32_t GetChannels() = 0;
};

} // namespace kvl
