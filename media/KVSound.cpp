#include "KVSound.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

#include "../kernel/IKVThreadFactory.h"
#include "KVSoundManager.h"

namespace kvl {
namespace {

constexpr float kRefillInterval = 0.02f;

// Sums in the ring's 32-bit counters wrap as the stored fields do.
int32_t WrapAdd(int32_t a, int64_t b) { return int32_t(uint32_t(a) + uint32_t(uint64_t(b))); }

} // namespace

KVSound::KVSound(KVSoundManager* manager, KVResourceSoundBuffer* resource, IKVSoundVoice* voice)
    : m_manager(manager), m_resource(resource), m_voice(voice) {
    IKVSoundBuffer* ring = resource->GetDeviceBuffer();
    m_ringSize = ring ? ring->GetSize() : 0;
}

int32_t KVSound::Release() {
    const int32_t left = --m_refCount;
    if (left == 0) delete this;
    return left;
}

KVSound::~KVSound() {
    if (m_state.load() != KVSOUND_STOPPED) m_voice->Stop();
    // The thread ends before anything it uses goes.
    if (m_thread) {
        m_stopRequest = true;
        m_thread->Release();
    }
    if (m_lock) m_lock->Release();
    if (m_reader && m_readerHandle) m_reader->Close(m_readerHandle);
    m_voice->Release();
    m_resource->Release();
    if (m_manager) m_manager->RemoveSound(this);
}

// --- play state -------------------------------------------------------------------

int32_t KVSound::Play(uint8_t loop) {
    const uint32_t state = m_state.load();
    if (state == KVSOUND_PLAYING) return KV_OK;
    m_loop = loop;
    // A stream shorter than its first chunk was filled for the other loop
    // flag: filled again, before anything of it is played.
    if (m_streamed && state == KVSOUND_STOPPED && (loop != 0) != (m_prefillLoop != 0) &&
        m_resource->GetDataLength() < FirstChunkBytes()) {
        KVLockGuard guard(m_lock);
        Restart();
    }
    m_state = KVSOUND_PLAYING;
    // A streamed sound's voice goes round its ring until the sound stops.
    return m_voice->Play(loop || m_streamed ? 1 : 0);
}

int32_t KVSound::Pause() {
    if (m_state.load() == KVSOUND_PAUSED) return KV_OK;
    m_state = KVSOUND_PAUSED;
    return m_voice->Pause();
}

int32_t KVSound::Stop() {
    if (m_state.load() == KVSOUND_STOPPED) return KV_OK;
    KVLockGuard guard(m_lock);
    StopHeld();
    return KV_OK;
}

void KVSound::StopHeld() {
    m_state = KVSOUND_STOPPED;
    m_voice->Stop();
    m_base = 0;
    m_lastPlay = 0;
    m_position = 0;
    // Ready to play again at once; a provided sound drops what it had
    // queued, so its next play starts with what its provider gives now.
    if (IsFed()) Restart();
}

void KVSound::Restart() {
    m_bytesRead = 0;
    if (m_reader) m_reader->Rewind(m_readerHandle);
    if (IKVSoundBuffer* ring = m_resource->GetDeviceBuffer()) {
        ring->ResetWritePosition();
        // Nothing of the last play is left in the ring, as when it was made.
        void* data = nullptr;
        if (m_ringSize != 0 && ring->Lock(m_ringSize, &data) == KV_OK) {
            if (data) std::memset(data, 0, m_ringSize);
            ring->Unlock();
        }
        ring->ResetWritePosition();
    }
    FillFirstChunk();
}

uint8_t KVSound::IsPlaying() {
    const uint8_t playing = m_voice->IsPlaying();
    if (!playing) {
        uint32_t expected = KVSOUND_PLAYING;
        m_state.compare_exchange_strong(expected, KVSOUND_STOPPED);
    }
    return playing;
}

int32_t KVSound::SetVolume(float volume) {
    m_volume = volume;
    const float global = m_manager ? m_manager->GetGlobalVolume() : 1.0f;
    return m_voice->SetVolume(volume * global);
}

int32_t KVSound::SetPan(float pan) {
    m_pan = pan;
    const float global = m_manager ? m_manager->GetGlobalPan() : 0.0f;
    return m_voice->SetPan(std::clamp(pan + global, -1.0f, 1.0f));
}

int32_t KVSound::SetPitch(float pitch) { return m_voice->SetPitch(pitch); }

// --- position and length ------------------------------------------------------------

uint32_t KVSound::GetPosition() {
    if (IsFed()) return uint32_t(m_position.load());
    return m_voice->GetPosition();
}

int32_t KVSound::AdvancePosition(int32_t bytes) {
    if (!IsFed()) return KV_OK;
    KVLockGuard guard(m_lock);
    m_base = WrapAdd(m_base, bytes);
    m_position = WrapAdd(m_position.load(), bytes);
    return KV_OK;
}

float KVSound::GetDuration() {
    const SoundFormat& format = m_resource->GetFormat();
    // The length is in bytes: two per sample.
    const double bytesPerSecond = double(format.rate) * double(format.channels) * 2.0;
    if (bytesPerSecond <= 0.0) return 0.0f;
    return float(double(m_resource->GetSecondLength()) / bytesPerSecond);
}

float KVSound::GetAmplitude() {
    const KVSoundEnvelope* envelope = m_resource->GetEnvelope();
    if (!envelope || !m_voice) return 0.0f;
    const SoundFormat& format = m_resource->GetFormat();
    const uint64_t position = GetPosition();
    // A sound without data (made for a provider) has no place in an envelope.
    const uint64_t divisor = 2ull * format.rate * format.channels * m_resource->GetDataLength();
    if (divisor == 0) return 0.0f;
    const uint64_t index =
        uint64_t(m_resource->GetSecondLength()) * envelope->valuesPerSecond * position / divisor;
    if (index >= envelope->count) return 0.0f;
    return float(envelope->values[index]) / 255.0f;
}

// --- feeding ----------------------------------------------------------------------

uint32_t KVSound::FirstChunkBytes() const {
    const SoundFormat& format = m_resource->GetFormat();
    const float frames = 0.5f + float(format.rate) * 0.15f;
    const uint64_t whole = frames >= 2147483647.0f ? 2147483647u : uint64_t(frames);
    return uint32_t(std::min<uint64_t>(whole * format.channels * 2u, UINT32_MAX));
}

uint32_t KVSound::ExtraChunkBytes() const {
    const SoundFormat& format = m_resource->GetFormat();
    return uint32_t(std::min<uint64_t>(uint64_t(format.rate / 20) * format.channels * 2u, UINT32_MAX));
}

void KVSound::FillFirstChunk() {
    const uint32_t ring = m_ringSize;
    if (ring == 0) return;
    const uint32_t first = std::min(FirstChunkBytes(), ring);
    m_prefillLeft = ring - first;
    m_write = first < ring ? first : 0;
    m_bytesRead = 0;
    m_prefillLoop = m_loop;
    // As any chunk: data shorter than the chunk goes round or is followed
    // by silence, as the loop flag says.
    WriteChunk(first, nullptr);
}

bool KVSound::WriteChunk(uint32_t n, bool* written) {
    if (written) *written = false;
    IKVSoundBuffer* buffer = m_resource->GetDeviceBuffer();
    if (!buffer || n == 0) return true;
    // Decoding (or a provider that waits for its data) happens outside the
    // audio lock, which the mixer needs; only the copy is made under it.
    if (m_scratch.size() < n) m_scratch.resize(m_ringSize);
    if (m_scratch.size() < n) return true;
    const bool goOn = FillChunk(m_scratch.data(), n);
    void* data = nullptr;
    if (buffer->Lock(n, &data) != KV_OK) return goOn;  // the chunk is skipped
    if (data) std::memcpy(data, m_scratch.data(), n);
    buffer->Unlock();
    if (written) *written = true;
    return goOn;
}

void KVSound::StartStreaming(IKVSoundReader* reader, void* handle, bool threaded) {
    m_lastPlay = 0;
    m_streamed = 1;
    m_reader = reader;
    m_readerHandle = handle;
    m_stopRequest = false;
    FillFirstChunk();
    if (threaded) {
        if (IKVThreadFactory* factory = GetThreadFactory()) {
            m_lock = factory->CreateCriticalSection();
            m_thread = factory->CreateThread();
        }
        if (m_lock && m_thread && m_thread->Run(&KVSound::StreamThread, this, 0) == KV_OK) {
            m_refillByUpdate = 0;
            return;
        }
        // No thread to be had: the update refills instead.
        if (m_thread) m_thread->Release();
        if (m_lock) m_lock->Release();
        m_thread = nullptr;
        m_lock = nullptr;
    }
    m_refillByUpdate = 1;
}

void KVSound::StreamThread(IKVThread* thread, void* argument) {
    (void)thread;
    auto* sound = static_cast<KVSound*>(argument);
    while (!sound->m_stopRequest) {
        {
            KVLockGuard guard(sound->m_lock);
            if (sound->m_state.load() == KVSOUND_PLAYING) sound->Refill();
        }
        if (sound->m_stopRequest) break;
        if (IKVThreadFactory* factory = GetThreadFactory())
            factory->Sleep(kRefillInterval);
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void KVSound::UpdateStream() {
    if (m_state.load() != KVSOUND_PLAYING || !(m_provider || m_refillByUpdate)) return;
    KVLockGuard guard(m_lock);
    Refill();
}

int32_t KVSound::SetDataProvider(IKVSoundDataProvider* provider) {
    m_provider = provider;
    if (!provider) return KV_OK;
    FillFirstChunk();
    return KV_OK;
}

void KVSound::Refill() {
    const uint32_t ring = m_ringSize;
    IKVSoundBuffer* buffer = m_resource->GetDeviceBuffer();
    if (ring == 0 || m_lastPlay >= ring || m_write >= ring) return;
    const uint32_t played = m_voice->GetPosition();
    // Consumed since the last refill; past the ring's end it is taken next time.
    const uint32_t consumed = played >= m_lastPlay ? played - m_lastPlay : ring - m_lastPlay;
    uint32_t extra = 0;
    if (m_prefillLeft != 0) {
        extra = std::min(ExtraChunkBytes(), m_prefillLeft);
        m_prefillLeft -= extra;
    }
    uint64_t left = uint64_t(consumed) + extra;
    // The ring's start moves one ring on in the data once per pass.
    if (left != 0 && uint64_t(m_lastPlay) + consumed >= ring) m_base = WrapAdd(m_base, ring);
    while (left != 0) {
        const uint32_t n = m_write + left < ring ? uint32_t(left) : ring - m_write;
        left -= n;
        if (!buffer) continue;
        bool written = false;
        const bool goOn = WriteChunk(n, &written);
        if (written) {
            m_write += n;
            if (m_write >= ring) m_write -= ring;
        }
        if (!goOn) {
            StopHeld();
            return;
        }
    }
    // The play position moves by what was consumed, whatever was written.
    m_lastPlay += consumed;
    if (m_lastPlay >= ring) m_lastPlay -= ring;
    m_position = WrapAdd(m_base, m_lastPlay);
}

void KVSound::Feed(uint8_t* destination, uint32_t bytes) {
    if (!m_provider) {
        ReadData(destination, bytes);
        return;
    }
    const uint32_t samples = bytes / 2;
    if (reinterpret_cast<uintptr_t>(destination) % alignof(int16_t) == 0) {
        m_provider->GetSamples(reinterpret_cast<int16_t*>(destination), samples);
    } else {
        std::vector<int16_t> aligned(samples);
        m_provider->GetSamples(aligned.data(), samples);
        std::memcpy(destination, aligned.data(), size_t(samples) * 2);
    }
}

bool KVSound::FillChunk(uint8_t* chunk, uint32_t n) {
    if (m_provider) {
        // The provider fills the whole chunk; the play position moves only
        // by what the voice consumed.
        Feed(chunk, n);
        m_bytesRead += n;
        return true;
    }
    const uint32_t length = m_resource->GetDataLength();
    if (uint64_t(m_bytesRead) + n <= length) {
        ReadData(chunk, n);
        m_bytesRead += n;
        return true;
    }
    const int64_t unread = int64_t(length) - int64_t(m_bytesRead);
    if (m_loop && length != 0) {
        // The data goes round as often as the chunk needs, however short it is.
        uint32_t offset = 0;
        if (unread > 0) {
            ReadData(chunk, uint32_t(unread));
            offset = uint32_t(unread);
        }
        uint32_t readSinceRewind = m_bytesRead;
        while (offset < n) {
            if (m_reader) m_reader->Rewind(m_readerHandle);
            m_base = WrapAdd(m_base, -int64_t(length));
            const uint32_t take = std::min(n - offset, length);
            ReadData(chunk + offset, take);
            offset += take;
            readSinceRewind = take;
        }
        m_bytesRead = readSinceRewind;
        return true;
    }
    if (unread > 0) {
        ReadData(chunk, uint32_t(unread));
        std::memset(chunk + unread, 0, n - uint32_t(unread));
    } else {
        std::memset(chunk, 0, n);
    }
    m_bytesRead += n;
    // A whole ring of silence after the data: the sound has ended.
    return !(unread < 0 && uint64_t(-unread) >= m_ringSize);
}

void KVSound::ReadData(uint8_t* destination, uint32_t bytes) {
    if (bytes == 0) return;
    if (m_reader && m_readerHandle)
        m_reader->Read(m_readerHandle, destination, bytes);
    else
        std::memset(destination, 0, bytes);
}

} // namespace kvl
