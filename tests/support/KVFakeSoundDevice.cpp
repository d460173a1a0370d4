#include "KVFakeSoundDevice.h"

#include <algorithm>

namespace kvtest {

int32_t KVFakeSoundBuffer::Lock(uint32_t bytes, void** out) {
    if (out) *out = nullptr;
    if (m_locked || uint64_t(m_write) + bytes > m_data.size()) return kvl::KV_INVALID;
    m_locked = true;
    ++s_lockedNow;
    m_lockedLength = bytes;
    ++m_locks;
    if (out) *out = m_data.data() + m_write;
    return kvl::KV_OK;
}

int32_t KVFakeSoundBuffer::Unlock() {
    if (!m_locked) return kvl::KV_INVALID;
    m_locked = false;
    --s_lockedNow;
    uint64_t position = uint64_t(m_write) + m_lockedLength;
    if (position >= m_data.size()) position -= m_data.size();
    m_write = uint32_t(position);
    return kvl::KV_OK;
}

int32_t KVFakeSoundBuffer::ResetWritePosition() {
    m_write = 0;
    return kvl::KV_OK;
}

KVFakeSoundVoice::KVFakeSoundVoice(KVFakeSoundBuffer* buffer) : m_buffer(buffer) { m_buffer->Retain(); }

KVFakeSoundVoice::~KVFakeSoundVoice() { m_buffer->Release(); }

int32_t KVFakeSoundVoice::Play(uint8_t loop) {
    m_loop = loop;
    m_playing = 1;
    ++m_plays;
    return kvl::KV_OK;
}

int32_t KVFakeSoundVoice::Pause() {
    m_playing = 0;
    return kvl::KV_OK;
}

int32_t KVFakeSoundVoice::Stop() {
    m_playing = 0;
    m_position = 0;
    return kvl::KV_OK;
}

int32_t KVFakeSoundVoice::SetVolume(float volume) {
    m_volume = volume;
    return kvl::KV_OK;
}

int32_t KVFakeSoundVoice::SetPan(float pan) {
    m_pan = pan;
    return kvl::KV_OK;
}

int32_t KVFakeSoundVoice::SetPitch(float pitch) {
    m_pitch = pitch;
    ++m_pitchCalls;
    return kvl::KV_OK;
}

std::vector<uint8_t> KVFakeSoundVoice::Advance(uint32_t bytes) {
    std::vector<uint8_t> out(bytes, 0);
    const std::vector<uint8_t>& data = m_buffer->Data();
    const uint32_t size = uint32_t(data.size());
    uint32_t done = 0;
    while (m_playing && done < bytes && size != 0) {
        const uint32_t n = std::min(bytes - done, size - m_position);
        std::copy_n(data.begin() + m_position, n, out.begin() + done);
        done += n;
        m_position += n;
        if (m_position >= size) {
            m_position = 0;
            if (!m_loop) m_playing = 0;
        }
    }
    return out;
}

KVFakeSoundDevice::~KVFakeSoundDevice() {
    for (KVFakeSoundVoice* voice : m_voices) voice->Release();
}

int32_t KVFakeSoundDevice::CreateBuffer(const kvl::SoundFormat* format, kvl::IKVSoundBuffer** out) {
    if (!out) return kvl::KV_INVALID;
    *out = nullptr;
    if (!format || format->rate != 44100 || format->channels != 2) return kvl::KV_FAILED;
    *out = new KVFakeSoundBuffer(format->size ? format->size : 176400);
    ++m_buffers;
    return kvl::KV_OK;
}

int32_t KVFakeSoundDevice::CreateVoice(kvl::IKVSoundBuffer* buffer, kvl::IKVSoundVoice** out) {
    if (!out) return kvl::KV_INVALID;
    *out = nullptr;
    if (m_failVoice != 0) {
        const int32_t status = m_failVoice;
        m_failVoice = 0;
        return status;
    }
    auto* voice = new KVFakeSoundVoice(static_cast<KVFakeSoundBuffer*>(buffer));
    voice->Retain();  // the device's own reference, for tests to reach it
    m_voices.push_back(voice);
    *out = voice;
    return kvl::KV_OK;
}

} // namespace kvtest
