#include "KVAudio.h"

#include <SDL.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "../kernel/IKVLog.h"
#include "KVAudioBuffer.h"
#include "KVAudioVoice.h"

namespace kvl {
namespace {

constexpr uint32_t kPassBytes = KVAudio::kAccumulatorSamples * 2;

// Adds samples × volume, truncated toward zero. The volume lies in 0..1, so
// no product leaves the 16-bit range.
void AddPlain(int32_t* __restrict acc, const int16_t* __restrict src, uint32_t count, float volume) {
    for (uint32_t i = 0; i < count; ++i) acc[i] += int32_t(float(src[i]) * volume);
}

// The same for any other volume (above 1, negative, infinite, NaN): each
// product saturates at ±bound (NaN counts 0), which keeps the sum of every
// voice inside 32 bits.
void AddSaturating(int32_t* acc, const int16_t* src, uint32_t count, float volume, int32_t bound) {
    const float limit = float(bound);
    for (uint32_t i = 0; i < count; ++i) {
        float product = float(src[i]) * volume;
        int32_t value;
        if (product != product)
            value = 0;
        else if (product >= limit)
            value = bound;
        else if (product <= -limit)
            value = -bound;
        else
            value = int32_t(product);  // |product| < limit rounds to at most bound
        acc[i] += value;
    }
}

} // namespace

KVAudio::~KVAudio() {
    if (IsOpen()) Close();
}

int32_t KVAudio::QueryInterface(const KVInterfaceId& id, void** out) {
    if (id == IID_IKVSoundDevice) return AnswerInterface(static_cast<IKVSoundDevice*>(this), out);
    return KV_NOT_FOUND;
}

int32_t KVAudio::Init(int32_t phase) {
    if (phase == 2) Open();
    return KV_OK;
}

int32_t KVAudio::Release(int32_t phase) {
    if (phase == 4) Close();
    return KV_OK;
}

int32_t KVAudio::Update(float dt) {
    if (IsOpen() || !(dt > 0.0f)) return KV_OK;
    // The nearest whole frame, the rest carried: frame times of a float
    // that fall just short of a whole frame lose none over time.
    m_silentFrames += double(dt) * kRate;
    const double whole = std::max(std::floor(m_silentFrames + 0.5), 0.0);
    m_silentFrames -= whole;
    AdvanceSilently(uint64_t(whole) * kChannels * 2);
    return KV_OK;
}

void KVAudio::AdvanceSilently(uint64_t bytes) {
    std::lock_guard<std::mutex> guard(m_listLock);
    uint32_t finished = 0;
    for (int32_t node = m_active.Head(); node != -1; node = m_active.Next(node)) {
        KVAudioVoice* voice = *m_active.At(node);
        const uint64_t size = voice->m_buffer->GetSize();
        if (size == 0) continue;
        uint64_t p = uint64_t(voice->m_position.load(std::memory_order_relaxed)) + bytes;
        if (p >= size) {
            if (voice->m_loop.load(std::memory_order_relaxed)) {
                p %= size;
            } else {
                // As the mixer leaves a voice that played to its end.
                p = 0;
                voice->m_playing = 0;
                if (finished < m_finished.size()) m_finished[finished++] = node;
            }
        }
        voice->m_position.store(uint32_t(p), std::memory_order_relaxed);
    }
    for (uint32_t i = 0; i < finished; ++i) m_active.Remove(m_finished[i]);
}

void KVAudio::Open() {
    // The driver SDL itself would take: the one SDL_AUDIODRIVER names, else
    // its own choice. Without a name SDL probes every driver in turn even
    // where the variable names one, and a probe of ALSA on a machine without
    // a sound card fills standard error with the library's complaints.
    SDL_AudioInit(SDL_getenv("SDL_AUDIODRIVER"));
    SDL_AudioSpec desired;
    std::memset(&desired, 0, sizeof desired);
    desired.freq = int(kRate);
    desired.format = AUDIO_S16LSB;
    desired.channels = uint8_t(kChannels);
    desired.silence = 0;
    desired.samples = uint16_t(kAccumulatorSamples / kChannels);
    desired.callback = &KVAudio::MixCallback;
    desired.userdata = nullptr;
    // No obtained record: SDL converts to whatever the hardware takes.
    if (SDL_OpenAudio(&desired, nullptr) < 0) {
        m_accumulator.reset();
        if (IKVLog* log = GetLog()) log->Write("Unable to open audio device", KVLOG_ERROR, 0);
        return;
    }
    // SDL opens the device paused; it runs once a voice starts.
    m_accumulator.reset(new int32_t[kAccumulatorSamples]());
}

void KVAudio::Close() {
    SDL_PauseAudio(1);
    // The audio thread ends inside SDL_AudioQuit: SDL_CloseAudio only quits
    // a subsystem started through SDL_Init, and this one was started with
    // SDL_AudioInit. Only then is the accumulator free of a pass that may
    // already have been under way.
    SDL_CloseAudio();
    SDL_AudioQuit();
    m_accumulator.reset();
}

int32_t KVAudio::CreateBuffer(const SoundFormat* format, IKVSoundBuffer** out) {
    if (!out) return KV_INVALID;
    *out = nullptr;
    if (!format) return KV_INVALID;
    if (format->rate != kRate || format->channels != kChannels) return KV_FAILED;
    uint32_t size = format->size ? format->size : kDefaultBufferSize;
    KVAudioBuffer* buffer = KVAudioBuffer::Create(size, format->channels);
    if (!buffer) return KV_FAILED;
    *out = buffer;
    return KV_OK;
}

int32_t KVAudio::CreateVoice(IKVSoundBuffer* buffer, IKVSoundVoice** out) {
    if (!out) return KV_INVALID;
    *out = nullptr;
    auto* ours = dynamic_cast<KVAudioBuffer*>(buffer);
    if (!ours) return KV_INVALID;
    *out = new KVAudioVoice(ours);
    return KV_OK;
}

void KVAudio::StartVoice(KVAudioVoice* voice, uint8_t loop) {
    SDL_LockAudio();
    std::lock_guard<std::mutex> guard(m_listLock);
    // Flags first, all under the lock: a voice that ends in the very next
    // pass must be seen ending, and must not be read as playing afterwards.
    voice->m_loop = loop;
    if (voice->m_playing) {
        SDL_UnlockAudio();
        return;
    }
    voice->m_playing = 1;
    voice->m_node = m_active.PushBack(voice);
    m_finished.resize(m_active.Size());
    // Decided under the lock with the count: a stop on another thread
    // (a streamed sound ending itself) cannot pause the device after this
    // start and leave it paused with a voice active.
    if (m_active.Size() == 1) SDL_PauseAudio(0);
    SDL_UnlockAudio();
}

void KVAudio::StopVoice(KVAudioVoice* voice) {
    SDL_LockAudio();
    std::lock_guard<std::mutex> guard(m_listLock);
    // Tested under the lock: the mixer may have ended the voice and freed
    // its node, which a later start may already own.
    bool wasPlaying = voice->m_playing != 0;
    if (wasPlaying) {
        m_active.Remove(voice->m_node);
        voice->m_playing = 0;
    }
    if (wasPlaying && m_active.Size() == 0) SDL_PauseAudio(1);
    SDL_UnlockAudio();
}

void KVAudio::MixCallback(void* userdata, uint8_t* stream, int length) {
    (void)userdata;
    if (!stream || length <= 0) return;
    KVAudio* audio = Instance();
    if (!audio || !audio->m_accumulator) {
        std::memset(stream, 0, size_t(length));
        return;
    }
    // SDL asks for one pass (4096 bytes); a longer request is mixed in passes.
    for (uint32_t offset = 0; offset < uint32_t(length); offset += kPassBytes)
        audio->Mix(stream + offset, std::min(kPassBytes, uint32_t(length) - offset));
}

void KVAudio::Mix(uint8_t* stream, uint32_t length) {
    int32_t* acc = m_accumulator.get();
    const uint32_t samples = length / 2;
    std::fill(acc, acc + samples, 0);

    // Each voice adds at most `bound` per sample, so no sum overflows; a
    // voice at a volume within 0..1 stays far below it.
    const size_t voices = m_active.Size();
    const int32_t bound = voices > 1 ? int32_t(INT32_MAX / std::min<size_t>(voices, INT32_MAX)) : INT32_MAX;
    const bool plainAllowed = bound >= 32768;

    uint32_t mixed = 0;
    uint32_t finished = 0;
    bool clamp = false;
    m_walker.Set(m_active.Head());
    while (!m_walker.AtEnd()) {
        const int32_t node = m_walker.Index();
        m_walker.Next();
        KVAudioVoice* voice = *m_active.At(node);
        ++mixed;
        const float volume = voice->m_volume.load(std::memory_order_relaxed);
        // One voice above 1 (or negative, or not a number) would wrap into
        // noise unclamped; within 0..1 the output is left as it is.
        const bool plain = plainAllowed && volume >= 0.0f && volume <= 1.0f;
        if (!plain) clamp = true;
        const int16_t* data = voice->m_buffer->Samples();
        const uint64_t size = voice->m_buffer->GetSize();
        uint64_t p = voice->m_position.load(std::memory_order_relaxed);
        uint32_t done = 0;
        while (done < length) {
            uint64_t n = length - done;
            if (p + n > size) n = size - p;
            if (plain)
                AddPlain(acc + done / 2, data + p / 2, uint32_t(n / 2), volume);
            else
                AddSaturating(acc + done / 2, data + p / 2, uint32_t(n / 2), volume, bound);
            p += n;
            if (p >= size) {
                p -= size;
                if (!voice->m_loop.load(std::memory_order_relaxed)) {
                    voice->m_playing = 0;
                    if (finished < m_finished.size()) m_finished[finished++] = node;
                    break;
                }
            }
            done += uint32_t(n);
        }
        voice->m_position.store(uint32_t(p), std::memory_order_relaxed);
    }
    for (uint32_t i = 0; i < finished; ++i) m_active.Remove(m_finished[i]);

    if (mixed > 1 || clamp)
        for (uint32_t i = 0; i < samples; ++i) acc[i] = std::clamp(acc[i], -32768, 32767);
    for (uint32_t i = 0; i < samples; ++i) {
        const auto value = uint16_t(uint32_t(acc[i]));  // the low 16 bits
        stream[2 * i] = uint8_t(value & 0xff);
        stream[2 * i + 1] = uint8_t(value >> 8);
    }
}

IKVModuleExt* CreateAudio(const KVModuleCreateInfo* info) {
    (void)info;
    if (!KVAudio::Instance()) new KVAudio();
    return KVAudio::Instance();
}

} // namespace kvl
