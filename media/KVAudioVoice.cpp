#include "KVAudioVoice.h"

#include "KVAudio.h"
#include "KVAudioBuffer.h"

namespace kvl {

KVAudioVoice::KVAudioVoice(KVAudioBuffer* buffer) : m_buffer(buffer) { m_buffer->Retain(); }

KVAudioVoice::~KVAudioVoice() {
    Stop();
    m_buffer->Release();
}

int32_t KVAudioVoice::Play(uint8_t loop) {
    if (KVAudio* audio = KVAudio::Instance()) {
        audio->StartVoice(this, loop);
    } else {
        m_loop = loop;
        m_playing = 1;
    }
    return KV_OK;
}

int32_t KVAudioVoice::Pause() {
    if (KVAudio* audio = KVAudio::Instance())
        audio->StopVoice(this);
    else
        m_playing = 0;
    return KV_OK;
}

int32_t KVAudioVoice::Stop() {
    Pause();
    m_position = 0;
    return KV_OK;
}

int32_t KVAudioVoice::SetVolume(float volume) {
    m_volume.store(volume, std::memory_order_relaxed);
    return KV_OK;
}

int32_t KVAudioVoice::SetPan(float pan) {
    (void)pan;  // the device does not pan
    return KV_OK;
}

uint8_t KVAudioVoice::IsPlaying() { return m_playing.load(std::memory_order_relaxed); }

int32_t KVAudioVoice::SetPitch(float pitch) {
    (void)pitch;  // nor does it resample
    return KV_OK;
}

uint32_t KVAudioVoice::GetPosition() { return m_position.load(std::memory_order_relaxed); }

} // namespace kvl
