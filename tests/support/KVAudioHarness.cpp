#include "KVAudioHarness.h"

#include <SDL.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "media/KVAudio.h"

namespace kvtest {
namespace {

kvl::KVAudio* OpenAudio() {
    kvl::KVModuleCreateInfo info{nullptr, 0};
    auto* audio = static_cast<kvl::KVAudio*>(kvl::CreateAudio(&info));
    audio->Init(0);
    audio->Init(2);
    return audio;
}

void CloseAudio(kvl::KVAudio* audio) {
    audio->Release(4);
    delete audio;
}

} // namespace

SoundBufferPtr MakeSoundBuffer(kvl::IKVSoundDevice& device, const std::vector<int16_t>& samples) {
    kvl::SoundFormat format{44100, 2, uint32_t(samples.size() * 2), 0, 0};
    kvl::IKVSoundBuffer* buffer = nullptr;
    if (device.CreateBuffer(&format, &buffer) != kvl::KV_OK) return nullptr;
    void* data = nullptr;
    if (buffer->Lock(format.size, &data) == kvl::KV_OK) {
        if (!samples.empty()) std::memcpy(data, samples.data(), format.size);
        buffer->Unlock();
    }
    return SoundBufferPtr(buffer);
}

SoundVoicePtr MakeVoice(kvl::IKVSoundDevice& device, kvl::IKVSoundBuffer* buffer, float volume) {
    kvl::IKVSoundVoice* voice = nullptr;
    if (device.CreateVoice(buffer, &voice) != kvl::KV_OK) return nullptr;
    voice->SetVolume(volume);
    return SoundVoicePtr(voice);
}

std::vector<int16_t> Ramp(size_t count, int32_t first, int32_t step) {
    std::vector<int16_t> out(count);
    uint32_t value = uint32_t(first);
    for (int16_t& s : out) {
        s = int16_t(uint16_t(value));
        value += uint32_t(step);
    }
    return out;
}

size_t FindSamples(const std::vector<int16_t>& haystack, const std::vector<int16_t>& needle) {
    auto it = std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end());
    return it == haystack.end() ? std::string::npos : size_t(it - haystack.begin());
}

ScopedEnv::ScopedEnv(const char* name, const std::string& value) : m_name(name) {
    const char* previous = std::getenv(name);
    m_had = previous != nullptr;
    if (previous) m_previous = previous;
    setenv(name, value.c_str(), 1);
}

ScopedEnv::~ScopedEnv() {
    if (m_had)
        setenv(m_name.c_str(), m_previous.c_str(), 1);
    else
        unsetenv(m_name.c_str());
}

KVAudioHarness::KVAudioHarness(const char* driver) : m_driver("SDL_AUDIODRIVER", driver), m_audio(OpenAudio()) {
    SDL_LockAudio();
}

KVAudioHarness::~KVAudioHarness() {
    SDL_PauseAudio(1);
    SDL_UnlockAudio();
    CloseAudio(m_audio);
}

kvl::IKVSoundDevice& KVAudioHarness::Device() { return *m_audio; }

std::vector<int16_t> KVAudioHarness::Mix(uint32_t bytes) {
    std::vector<uint8_t> stream(bytes, 0xAA);
    kvl::KVAudio::MixCallback(nullptr, stream.data(), int(bytes));
    std::vector<int16_t> out(bytes / 2);
    for (size_t i = 0; i < out.size(); ++i) out[i] = int16_t(uint16_t(stream[2 * i] | (stream[2 * i + 1] << 8)));
    return out;
}

KVDiskAudioRun::KVDiskAudioRun(uint32_t delayMs)
    : m_dir([] {
          std::string templ = (std::filesystem::temp_directory_path() / "kvaudio-XXXXXX").string();
          return mkdtemp(templ.data()) ? templ : std::string();
      }()),
      m_path(m_dir + "/stream.raw"),
      m_driver("SDL_AUDIODRIVER", "disk"),
      m_file("SDL_DISKAUDIOFILE", m_path),
      m_delay("SDL_DISKAUDIODELAY", std::to_string(delayMs)),
      m_audio(OpenAudio()) {}

KVDiskAudioRun::~KVDiskAudioRun() {
    if (m_audio) CloseAudio(m_audio);
    std::error_code ec;
    if (!m_dir.empty()) std::filesystem::remove_all(m_dir, ec);
}

kvl::IKVSoundDevice& KVDiskAudioRun::Device() { return *m_audio; }

bool KVDiskAudioRun::WaitFor(const std::function<bool()>& done, uint32_t timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
        if (done()) return true;
        SDL_Delay(2);
    }
    return done();
}

std::vector<int16_t> KVDiskAudioRun::Finish() {
    if (m_audio) CloseAudio(m_audio);
    m_audio = nullptr;
    std::ifstream in(m_path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<int16_t> out(bytes.size() / 2);
    for (size_t i = 0; i < out.size(); ++i) out[i] = int16_t(uint16_t(bytes[2 * i] | (bytes[2 * i + 1] << 8)));
    return out;
}

} // namespace kvtest
