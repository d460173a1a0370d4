#pragma once
// A playing position on one device buffer. Its flags change only under the
// SDL audio lock (here or in the mixer); they are atomic because the game
// thread reads them while the mixer runs.
#include <atomic>

#include "IKVSoundVoice.h"

namespace kvl {

class KVAudioBuffer;

class KVAudioVoice : public KVRefCounted<IKVSoundVoice> {
public:
    // Takes a reference to the buffer until the voice is destroyed.
    explicit KVAudioVoice(KVAudioBuffer* buffer);

    int32_t Play(uint8_t loop) override;
    int32_t Pause() override;
    int32_t Stop() override;
    int32_t SetVolume(float volume) override;
    int32_t SetPan(float pan) override;
    uint8_t IsPlaying() override;
    int32_t SetPitch(float pitch) override;
    uint32_t GetPosition() override;

    float GetVolume() const { return m_volume.load(std::memory_order_relaxed); }
    uint8_t GetLoop() const { return m_loop.load(std::memory_order_relaxed); }
    // Its node in the device's active list while playing.
    int32_t GetNodeIndex() const { return m_node; }
    KVAudioBuffer* GetBuffer() const { return m_buffer; }

private:
    friend class KVAudio;
    ~KVAudioVoice() override;

    KVAudioBuffer* m_buffer;
    std::atomic<float> m_volume{1.0f};
    std::atomic<uint32_t> m_position{0};
    std::atomic<uint8_t> m_loop{0};
    std::atomic<uint8_t> m_playing{0};
    int32_t m_node = -1;
};

} // namespace kvl
