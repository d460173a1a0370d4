#pragma once
// The sound module: makes sounds on the sound device from files (through the
// resource manager, as the producer of sound buffer resources) or for data
// providers, applies the global volume and pan, refills the sounds that are
// refilled by update, pauses every playing sound while the game is paused,
// and offers the script library "KVSoundManager".
#include <vector>

#include "../kernel/IKVFile.h"
#include "../kernel/IKVModule.h"
#include "../kernel/IKVResource.h"
#include "../kernel/KVIndexedList.h"
#include "../kernel/KVLuaLibrary.h"
#include "../kernel/Singleton.h"
#include "IKVSoundDevice.h"
#include "IKVSoundManager.h"
#include "IKVSoundReader.h"

namespace kvl {

class KVSound;

class KVSoundManager : public Singleton<KVSoundManager>,
                       public IKVModule,
                       public KVLuaLibrary,
                       public IKVSoundManager,
                       public IKVResourceProducer {
public:
    KVSoundManager() = default;
    ~KVSoundManager() override;

    int32_t QueryInterface(const KVInterfaceId& id, void** out) override;
    int32_t Init(int32_t phase) override;
    int32_t Release(int32_t phase) override;
    // Refills every sound that the update refills, in pool order.
    int32_t Update(float dt) override;

    // Called by the resource manager after each load; has no effect.
    // Counted, so callers can be checked.
    int32_t UpdateStreams() {
        ++m_updateStreamsCalls;
        return KV_OK;
    }
    int32_t GetUpdateStreamsCalls() const { return m_updateStreamsCalls; }

    // IKVSoundManager
    int32_t AddEntry(IKVSoundVolumeListener* listener) override;
    int32_t RemoveEntry(IKVSoundVolumeListener* listener) override;
    float GetGlobalVolume() override { return m_globalVolume; }
    int32_t CreateSound(const char* path, IKVSound** out, uint8_t streamed) override;
    int32_t CreateBuffer(uint32_t rate, uint32_t channels, uint32_t bytes, IKVSound** out) override;

    // IKVResourceProducer: a loaded sound buffer is always reused.
    int32_t NeedsRebuild(IKVResource* resource) override;
    int32_t CreateResource(const char* path, IKVResourceReader* reader, IKVResource** resource, int32_t* managed,
                           uint32_t* size) override;

    int32_t GetLuaFunctions(const KVLuaFunctionEntry** out) override;

    // Pausing pauses (and holds) every playing sound; continuing plays again
    // those still owned by someone else.
    void SetPaused(bool paused);
    bool IsPaused() const { return m_paused; }
    // Clamped to 0..1; every sound's volume is applied again and the
    // listeners are told.
    void SetGlobalVolume(float volume);
    // Clamped to -1..1; every sound's pan is applied again.
    void SetGlobalPan(float pan);
    float GetGlobalPan() const { return m_globalPan; }

    // A sound's last release takes it out of the pool.
    void RemoveSound(KVSound* sound);
    size_t GetSoundCount() const { return m_sounds.Size(); }
    size_t GetPausedCount() const { return m_pausedSounds.Size(); }
    IKVSoundDevice* GetDevice() const { return m_device; }

    // Seams: the sound device and the file layer (descriptors) instead of
    // asking the core.
    void SetSoundDevice(IKVSoundDevice* device) { m_device = device; }
    void SetFileInterface(IKVFile* file) { m_file = file; }

private:
    IKVFile* FileLayer() const;
    // Closes a reader handle that no sound took over.
    void DropPending();
    // A resource of its own for a streamed sound of a path kept loaded whole.
    int32_t LoadStreamed(IKVResource** resource);
    void ReleasePausedSounds();

    IKVSoundDevice* m_device = nullptr;
    IKVFile* m_file = nullptr;
    std::vector<IKVSoundVolumeListener*> m_listeners;
    float m_globalVolume = 1.0f;
    float m_globalPan = 0.0f;
    bool m_wholeLoad = true;
    IKVSoundReader* m_pendingReader = nullptr;
    void* m_pendingHandle = nullptr;
    KVIndexedList<KVSound*> m_sounds;
    // Each holds one reference.
    KVIndexedList<KVSound*> m_pausedSounds;
    bool m_paused = false;
    int32_t m_updateStreamsCalls = 0;
};

} // namespace kvl
