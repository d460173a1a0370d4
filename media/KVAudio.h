#pragma once
// The SDL audio device: opens SDL audio at 44100 Hz, signed 16-bit stereo,
// and mixes every playing voice on SDL's audio thread. Voices start and stop
// under the SDL audio lock; the mixer runs under the same lock.
// Phase 2 starts SDL audio with the driver SDL_AUDIODRIVER names (SDL's own
// rule), and with SDL's default choice only when the variable is unset.
//
// A device that could not open still plays its voices, silently and in the
// game's time: each Update moves every playing voice on by the frame time,
// as the mixer would, so a sound ends after its length and a movie timed by
// its sound keeps the frame time. Nothing is mixed and no thread runs; nor
// does it offer refills on threads of their own (GetCaps answers 0), so
// streamed sounds are refilled by the game's update, in the same time.
#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

#include "../kernel/IKVModule.h"
#include "../kernel/KVIndexedList.h"
#include "../kernel/Singleton.h"
#include "IKVSoundDevice.h"

namespace kvl {

class KVAudioVoice;

constexpr KVInterfaceId KVAUDIO_MODULE_ID = MakeId(0x001AEC26, 0xA7F1F09E);

class KVAudio : public Singleton<KVAudio>, public IKVModuleExt, public IKVSoundDevice {
public:
    static constexpr uint32_t kRate = 44100;
    static constexpr uint32_t kChannels = 2;
    // One mixing pass: 1024 stereo frames.
    static constexpr uint32_t kAccumulatorSamples = 2048;
    static constexpr uint32_t kDefaultBufferSize = 176400;  // one second

    KVAudio() = default;
    ~KVAudio() override;

    // Answers only the sound device; any other id gives 4 and leaves `out` alone.
    int32_t QueryInterface(const KVInterfaceId& id, void** out) override;
    int32_t Init(int32_t phase) override;
    int32_t Release(int32_t phase) override;
    // Moves the voices of a device that did not open (see above).
    int32_t Update(float dt) override;
    uint64_t GetId() override { return KVAUDIO_MODULE_ID.Value(); }
    int32_t GetPriority() override { return 1; }

    int32_t CreateBuffer(const SoundFormat* format, IKVSoundBuffer** out) override;
    // Only buffers made by this device can be played (3 otherwise).
    int32_t CreateVoice(IKVSoundBuffer* buffer, IKVSoundVoice** out) override;
    uint32_t GetCaps() override { return IsOpen() ? KVSOUND_CAP_THREADED_REFILL : 0; }

    // Links the voice at the tail of the active list with its loop flag set
    // (a playing voice only takes the flag); the device runs from the first.
    // Both decide pausing under the audio lock, with the count they changed,
    // so a start and a stop on two threads never leave the device paused
    // under an active voice.
    void StartVoice(KVAudioVoice* voice, uint8_t loop);
    // Unlinks a playing voice; the device pauses when none is left.
    void StopVoice(KVAudioVoice* voice);

    // SDL's callback: mixes `length` bytes of output into `stream`.
    static void MixCallback(void* userdata, uint8_t* stream, int length);

    bool IsOpen() const { return m_accumulator != nullptr; }
    size_t GetActiveCount() const { return m_active.Size(); }

private:
    void Open();
    void Close();
    // One pass of at most kAccumulatorSamples samples.
    void Mix(uint8_t* stream, uint32_t length);
    // The position walk of a pass without samples, for a closed device.
    void AdvanceSilently(uint64_t bytes);

    std::unique_ptr<int32_t[]> m_accumulator;
    KVIndexedList<KVAudioVoice*> m_active;
    // The mixer's walk; registered for the device's life, so a callback
    // never has to grow the list's iterator table.
    KVIndexedList<KVAudioVoice*>::Iterator m_walker{m_active};
    // Nodes of voices that end in one pass; sized at every start so the
    // audio thread never allocates.
    std::vector<int32_t> m_finished;
    // SDL's audio lock guards nothing while no device is open: starts and
    // stops (a streamed sound stops itself on its own thread) and the
    // silent walk take this one as well.
    std::mutex m_listLock;
    // Sample frames of frame time not yet played by a closed device.
    double m_silentFrames = 0.0;
};

// Extension creator: makes the device when there is none and returns it.
IKVModuleExt* CreateAudio(const KVModuleCreateInfo* info);

} // namespace kvl
