#pragma once
// One sound: a voice on a sound buffer resource with its own volume, pan,
// loop flag and play state. A streamed sound keeps its reader open and
// refills a ring (one second for files) while it plays, on a thread of its
// own or from the manager's update; a provided sound is refilled from its
// data provider by the update.
#include <atomic>
#include <vector>

#include "../kernel/IKVCriticalSection.h"
#include "../kernel/IKVThread.h"
#include "IKVSound.h"
#include "IKVSoundReader.h"
#include "IKVSoundVoice.h"
#include "KVResourceSoundBuffer.h"

namespace kvl {

class KVSoundManager;

class KVSound : public IKVSound {
public:
    // Takes over the references to `resource` and `voice`.
    KVSound(KVSoundManager* manager, KVResourceSoundBuffer* resource, IKVSoundVoice* voice);

    int32_t Retain() override { return ++m_refCount; }
    // The last release stops the sound, ends its thread, closes its file
    // and leaves the manager's pool.
    int32_t Release() override;

    int32_t Play(uint8_t loop) override;
    int32_t Pause() override;
    int32_t Stop() override;
    int32_t SetVolume(float volume) override;
    int32_t SetPan(float pan) override;
    uint8_t IsPlaying() override;
    uint32_t GetState() override { return m_state.load(); }
    int32_t SetPitch(float pitch) override;
    int32_t SetDataProvider(IKVSoundDataProvider* provider) override;
    uint32_t GetPosition() override;
    int32_t AdvancePosition(int32_t bytes) override;
    float GetDuration() override;
    float GetAmplitude() override;
    uint32_t GetRate() override { return m_resource->GetFormat().rate; }
    uint32_t GetChannels() override { return m_resource->GetFormat().channels; }

    // Takes over the open reader handle and fills the first chunk; refills
    // on a thread of its own when `threaded` (and a thread can be made).
    void StartStreaming(IKVSoundReader* reader, void* handle, bool threaded);
    // The manager's update: refills a playing sound that is not refilled
    // by a thread.
    void UpdateStream();

    void SetPoolIndex(int32_t index) { m_poolIndex = index; }
    int32_t GetPoolIndex() const { return m_poolIndex; }
    // The manager goes first: the sound no longer reaches it.
    void DetachManager() { m_manager = nullptr; }
    uint8_t GetLoop() const { return m_loop; }
    float GetVolume() const { return m_volume; }
    float GetPan() const { return m_pan; }
    KVResourceSoundBuffer* GetResource() const { return m_resource; }
    IKVSoundVoice* GetVoice() const { return m_voice; }
    bool IsStreamed() const { return m_streamed != 0; }
    bool HasThread() const { return m_thread != nullptr; }
    uint32_t GetRingSize() const { return m_ringSize; }

private:
    ~KVSound();

    static void StreamThread(IKVThread* thread, void* argument);
    // The first chunk of the ring, as when streaming starts.
    void FillFirstChunk();
    // A streamed sound's reader and ring back to the start, first chunk filled.
    void Restart();
    void Refill();
    // Fills one chunk from the provider or the reader; false when the sound
    // stopped itself (a ring of silence follows the data).
    bool FillChunk(uint8_t* chunk, uint32_t n);
    // Fills the next n bytes of the ring: decoded into the scratch block
    // first, then copied in under the ring's lock (`written` tells whether
    // the lock was had; without it the chunk is lost). False as FillChunk.
    bool WriteChunk(uint32_t n, bool* written);
    // From the provider when there is one, else from the reader.
    void Feed(uint8_t* destination, uint32_t bytes);
    void ReadData(uint8_t* destination, uint32_t bytes);
    void StopHeld();
    uint32_t FirstChunkBytes() const;
    uint32_t ExtraChunkBytes() const;
    bool IsFed() const { return m_streamed || m_provider; }

    int32_t m_refCount = 1;
    KVSoundManager* m_manager;
    KVResourceSoundBuffer* m_resource;
    IKVSoundVoice* m_voice;
    std::atomic<uint32_t> m_state{KVSOUND_STOPPED};
    std::atomic<uint8_t> m_loop{0};  // read by the streaming thread
    uint8_t m_prefillLoop = 0;  // the loop flag the first chunk was filled for
    int32_t m_poolIndex = -1;
    float m_volume = 1.0f;
    float m_pan = 0.0f;
    IKVCriticalSection* m_lock = nullptr;
    uint8_t m_streamed = 0;
    uint8_t m_refillByUpdate = 0;
    std::atomic<bool> m_stopRequest{false};
    IKVSoundReader* m_reader = nullptr;
    void* m_readerHandle = nullptr;
    IKVThread* m_thread = nullptr;
    IKVSoundDataProvider* m_provider = nullptr;
    uint32_t m_ringSize;
    // Where a chunk is decoded before it is copied into the ring.
    std::vector<uint8_t> m_scratch;
    // Ring bookkeeping (bytes): the data offset of the ring's start, the
    // play position seen by the last refill, where the next write goes,
    // base + last play position, ring bytes not yet filled at all, and data
    // read since the start or the last rewind.
    int32_t m_base = 0;
    uint32_t m_lastPlay = 0;
    uint32_t m_write = 0;
    std::atomic<int32_t> m_position{0};
    uint32_t m_prefillLeft = 0;
    uint32_t m_bytesRead = 0;
};

} // namespace kvl
