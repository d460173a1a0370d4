#include "KVAudioBuffer.h"

#include <SDL.h>

namespace kvl {

KVAudioBuffer* KVAudioBuffer::Create(uint32_t size, uint32_t channels) {
    // Half a sample could never be played, and an odd size would leave the
    // last byte outside the sample array.
    if (size % 2 != 0) return nullptr;
    // calloc: zero-filled without touching pages that are never written, and
    // null instead of an exception when the memory is not there.
    auto* data = static_cast<int16_t*>(std::calloc(size / 2, sizeof(int16_t)));
    if (!data && size != 0) return nullptr;
    return new KVAudioBuffer(data, size, channels);
}

KVAudioBuffer::KVAudioBuffer(int16_t* data, uint32_t size, uint32_t channels)
    : m_data(data), m_size(size), m_channels(channels) {}

int32_t KVAudioBuffer::Lock(uint32_t bytes, void** out) {
    if (uint64_t(m_writePosition) + bytes > m_size) {
        m_lockedLength = 0;
        if (out) *out = nullptr;
        return KV_INVALID;
    }
    SDL_LockAudio();
    m_lockedLength = bytes;
    if (out) *out = reinterpret_cast<uint8_t*>(m_data.get()) + m_writePosition;
    return KV_OK;
}

int32_t KVAudioBuffer::Unlock() {
    uint64_t position = uint64_t(m_writePosition) + m_lockedLength;
    if (position >= m_size) position -= m_size;
    m_writePosition = uint32_t(position);
    SDL_UnlockAudio();
    return KV_OK;
}

int32_t KVAudioBuffer::ResetWritePosition() {
    m_writePosition = 0;
    return KV_OK;
}

} // namespace kvl
