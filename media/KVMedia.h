#pragma once
// The media library: scripts play sounds by name through a media sound
// service ("KVMedia" library), optionally for a unit told "OnEndSound" when
// its sound ends, and stop them by a small-integer handle. Without the
// service the library is not registered and the module does nothing.
#include "../kernel/IKVModule.h"
#include "../kernel/KVIndexedList.h"
#include "../kernel/KVLuaLibrary.h"
#include "../kernel/Singleton.h"
#include "IKVMediaSoundService.h"

namespace kvl {

class IKVLua;

class KVMedia : public Singleton<KVMedia>, public IKVModule, public KVLuaLibrary {
public:
    struct Sound {
        int32_t handle = 0;  // the service's
        int32_t unit = -1;   // told "OnEndSound", -1 for none
    };

    KVMedia() = default;
    ~KVMedia() override;

    int32_t Init(int32_t phase) override;
    int32_t Release(int32_t phase) override;
    // Removes the sounds that have ended, telling their units.
    int32_t Update(float dt) override;
    int32_t GetLuaFunctions(const KVLuaFunctionEntry** out) override;

    // The script handle of the new pool entry.
    int32_t AddSound(int32_t handle, int32_t unit);
    // Releases the sound, frees its handle, then tells its unit.
    void RemoveSound(int32_t index);
    void SetAllPaused(bool paused);
    // Stops and releases every sound; no unit is told.
    void StopAll();

    IKVMediaSoundService* GetService() const { return m_service; }
    const KVIndexedList<Sound>& GetPool() const { return m_pool; }

    // The script functions' work: the number of results.
    int ScriptPlaySound(IKVLua& lua);
    int ScriptStopSound(IKVLua& lua);

private:
    IKVMediaSoundService* m_service = nullptr;
    KVIndexedList<Sound> m_pool;
    bool m_registered = false;
};

} // namespace kvl
