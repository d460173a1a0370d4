#pragma once
// A sound device for tests of what is played: buffers are plain memory
// locked as the real device locks them (never past the end), and a voice
// moves only when the test plays it forward, mixing nothing: Advance hands
// back the bytes the voice passed, as the mixer would have read them, with
// silence after a voice that ended. Capabilities 0 by default, so streamed
// sounds are refilled by the manager's update. Volume, pan and pitch are
// recorded.
#include <cstdint>
#include <vector>

#include "media/IKVSoundDevice.h"

namespace kvtest {

class KVFakeSoundBuffer : public kvl::KVRefCounted<kvl::IKVSoundBuffer> {
public:
    explicit KVFakeSoundBuffer(uint32_t size) : m_data(size, 0) {}

    int32_t Lock(uint32_t bytes, void** out) override;
    int32_t Unlock() override;
    uint32_t GetSize() override { return uint32_t(m_data.size()); }
    int32_t ResetWritePosition() override;

    const std::vector<uint8_t>& Data() const { return m_data; }
    uint32_t WritePosition() const { return m_write; }
    int32_t LockCount() const { return m_locks; }
    bool IsLocked() const { return m_locked; }
    // Fake buffers locked at this moment, all of them together.
    static int32_t LockedNow() { return s_lockedNow; }

private:
    std::vector<uint8_t> m_data;
    uint32_t m_write = 0;
    uint32_t m_lockedLength = 0;
    int32_t m_locks = 0;
    bool m_locked = false;
    static inline int32_t s_lockedNow = 0;
};

class KVFakeSoundVoice : public kvl::KVRefCounted<kvl::IKVSoundVoice> {
public:
    explicit KVFakeSoundVoice(KVFakeSoundBuffer* buffer);
    ~KVFakeSoundVoice() override;

    int32_t Play(uint8_t loop) override;
    int32_t Pause() override;
    int32_t Stop() override;
    int32_t SetVolume(float volume) override;
    int32_t SetPan(float pan) override;
    uint8_t IsPlaying() override { return m_playing; }
    int32_t SetPitch(float pitch) override;
    uint32_t GetPosition() override { return m_position; }

    // Plays `bytes` bytes on (nothing moves while not playing) and returns
    // them; a voice that does not loop ends at the end of its buffer and
    // the rest is silence.
    std::vector<uint8_t> Advance(uint32_t bytes);

    KVFakeSoundBuffer* Buffer() const { return m_buffer; }
    float Volume() const { return m_volume; }
    float Pan() const { return m_pan; }
    float Pitch() const { return m_pitch; }
    uint8_t Loop() const { return m_loop; }
    int32_t PlayCalls() const { return m_plays; }
    int32_t PitchCalls() const { return m_pitchCalls; }

private:
    KVFakeSoundBuffer* m_buffer;
    float m_volume = 1.0f;
    float m_pan = 0.0f;
    float m_pitch = 1.0f;
    uint32_t m_position = 0;
    uint8_t m_loop = 0;
    uint8_t m_playing = 0;
    int32_t m_plays = 0;
    int32_t m_pitchCalls = 0;
};

class KVFakeSoundDevice : public kvl::IKVSoundDevice {
public:
    explicit KVFakeSoundDevice(uint32_t caps = 0) : m_caps(caps) {}
    ~KVFakeSoundDevice() override;

    // As the real device: 44100 Hz stereo only; size 0 gives one second.
    int32_t CreateBuffer(const kvl::SoundFormat* format, kvl::IKVSoundBuffer** out) override;
    int32_t CreateVoice(kvl::IKVSoundBuffer* buffer, kvl::IKVSoundVoice** out) override;
    uint32_t GetCaps() override { return m_caps; }

    // The voices made so far (each kept alive by the device too).
    const std::vector<KVFakeSoundVoice*>& Voices() const { return m_voices; }
    KVFakeSoundVoice* LastVoice() const { return m_voices.empty() ? nullptr : m_voices.back(); }
    // The next CreateVoice answers this status and makes nothing.
    void FailNextVoice(int32_t status) { m_failVoice = status; }
    int32_t BuffersMade() const { return m_buffers; }

private:
    uint32_t m_caps;
    std::vector<KVFakeSoundVoice*> m_voices;
    int32_t m_failVoice = 0;
    int32_t m_buffers = 0;
};

} // namespace kvtest
