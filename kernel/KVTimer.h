#pragma once
// The engine's clock: seconds since start, frame deltas and local calendar time.
#include "IKVModule.h"
#include "IKVTimeManager.h"
#include "KVLuaLibrary.h"
#include "Singleton.h"

namespace kvl {

// Millisecond tick source; SDL_GetTicks unless a test installs its own.
using KVTickSource = uint32_t (*)();

class KVTimer : public Singleton<KVTimer>, public IKVTimeManager, public IKVModule, public KVLuaLibrary {
public:
    KVTimer();
    ~KVTimer() override = default;

    int32_t QueryInterface(const KVInterfaceId& id, void** out) override;
    int32_t Init(int32_t phase) override;
    int32_t Release(int32_t phase) override { (void)phase; return KV_OK; }

    int32_t GetLocalTime(LocalTime* out) override;
    float GetTimeFloat() override { return float(GetTime()); }
    double GetTime() override;

    // Seconds since *previous (which becomes now); 0.05 without storing when
    // the clock went backwards.
    float GetFrameDelta(double* previous);

    int32_t GetLuaFunctions(const KVLuaFunctionEntry** out) override;

    static void SetTickSource(KVTickSource source);

private:
    uint32_t m_startTicks = 0;
};

} // namespace kvl
