#pragma once
// Sound for tests, through the real SDL audio device.
//
// KVAudioHarness: the device opened under SDL's "dummy" driver, with the SDL
// audio lock held for the harness's whole life. SDL's own audio thread then
// never mixes (it waits on the lock), and every pass comes from Mix(), which
// calls KVAudio::MixCallback on the test's thread: output is deterministic.
// Voices start and stop as usual (the lock is recursive). Release every
// voice and buffer before the harness goes.
//
// KVDiskAudioRun: the device opened under SDL's "disk" driver, whose audio
// thread does mix and writes the stream to a file; Finish() closes the
// device and reads the file back as signed 16-bit little-endian stereo.
//
// Both set SDL_AUDIODRIVER (and the disk driver's variables) for their life.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "media/IKVSoundDevice.h"

namespace kvl {
class KVAudio;
}

namespace kvtest {

// Releases a reference-counted object when the pointer goes.
struct KVReleaser {
    void operator()(kvl::IKVUnknownRef* object) const {
        if (object) object->Release();
    }
};
using SoundBufferPtr = std::unique_ptr<kvl::IKVSoundBuffer, KVReleaser>;
using SoundVoicePtr = std::unique_ptr<kvl::IKVSoundVoice, KVReleaser>;

// A 44100 Hz stereo buffer of the device holding `samples`, written through
// Lock and Unlock; null when the device refuses it.
SoundBufferPtr MakeSoundBuffer(kvl::IKVSoundDevice& device, const std::vector<int16_t>& samples);
// A voice on the buffer, at `volume`.
SoundVoicePtr MakeVoice(kvl::IKVSoundDevice& device, kvl::IKVSoundBuffer* buffer, float volume = 1.0f);
// `count` samples first, first + step, ... (wrapping in 16 bits).
std::vector<int16_t> Ramp(size_t count, int32_t first, int32_t step = 1);
// Where `needle` starts inside `haystack`, or npos.
size_t FindSamples(const std::vector<int16_t>& haystack, const std::vector<int16_t>& needle);

// Sets an environment variable for the holder's life.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string m_name;
    std::string m_previous;
    bool m_had;
};

class KVAudioHarness {
public:
    // `driver` other than "dummy" is for failure tests (nothing is opened).
    explicit KVAudioHarness(const char* driver = "dummy");
    ~KVAudioHarness();
    KVAudioHarness(const KVAudioHarness&) = delete;
    KVAudioHarness& operator=(const KVAudioHarness&) = delete;

    kvl::KVAudio& Audio() { return *m_audio; }
    kvl::IKVSoundDevice& Device();
    // One mixer pass of `bytes` bytes, as samples.
    std::vector<int16_t> Mix(uint32_t bytes = 4096);

private:
    ScopedEnv m_driver;
    kvl::KVAudio* m_audio;
};

class KVDiskAudioRun {
public:
    // `delayMs`: the driver's pause per 1024-frame pass (23 is about real time).
    explicit KVDiskAudioRun(uint32_t delayMs = 1);
    ~KVDiskAudioRun();
    KVDiskAudioRun(const KVDiskAudioRun&) = delete;
    KVDiskAudioRun& operator=(const KVDiskAudioRun&) = delete;

    kvl::KVAudio& Audio() { return *m_audio; }
    kvl::IKVSoundDevice& Device();
    // Polls every few milliseconds until `done` holds; false after the
    // timeout, which only detects a hang.
    static bool WaitFor(const std::function<bool()>& done, uint32_t timeoutMs = 20000);
    // Closes the device and reads the file back (empty when there is none).
    std::vector<int16_t> Finish();

private:
    std::string m_dir;
    std::string m_path;
    ScopedEnv m_driver;
    ScopedEnv m_file;
    ScopedEnv m_delay;
    kvl::KVAudio* m_audio;
};

} // namespace kvtest
