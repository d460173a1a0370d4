#pragma once
// PCM data of the audio device, zero-filled at creation, written by its owner
// between Lock and Unlock under the SDL audio lock.
#include <cstdlib>
#include <memory>

#include "IKVSoundBuffer.h"

namespace kvl {

class KVAudioBuffer : public KVRefCounted<IKVSoundBuffer> {
public:
    // A buffer of `size` bytes (count 1), or null when the size is not a
    // whole number of 16-bit samples or cannot be allocated.
    static KVAudioBuffer* Create(uint32_t size, uint32_t channels);

    // Refuses (3, null, no lock taken: no Unlock follows) a count that would
    // run past the end of the data.
    int32_t Lock(uint32_t bytes, void** out) override;
    int32_t Unlock() override;
    uint32_t GetSize() override { return m_size; }
    int32_t ResetWritePosition() override;

    // The mixer reads the samples as they stand.
    const int16_t* Samples() const { return m_data.get(); }
    uint32_t GetWritePosition() const { return m_writePosition; }
    uint32_t GetChannels() const { return m_channels; }

private:
    struct FreeData {
        void operator()(int16_t* data) const { std::free(data); }
    };

    KVAudioBuffer(int16_t* data, uint32_t size, uint32_t channels);
    ~KVAudioBuffer() override = default;

    std::unique_ptr<int16_t[], FreeData> m_data;
    uint32_t m_size;
    uint32_t m_writePosition = 0;
    uint32_t m_lockedLength = 0;
    uint32_t m_channels;
};

} // namespace kvl
