#pragma once
// Accelerometer module: offers the device's accelerometer to scripts
// through the "KVMotion" library. It keeps no state: every call asks the
// platform afresh.
#include "../platform/KVAccelerometer.h"
#include "IKVModule.h"
#include "KVLuaLibrary.h"
#include "Singleton.h"

namespace kvl {

class KVMotion : public Singleton<KVMotion>, public KVLuaLibrary, public IKVModule {
public:
    KVMotion() = default;
    ~KVMotion() override = default;

    int32_t Init(int32_t phase) override;
    int32_t Release(int32_t phase) override;
    int32_t GetLuaFunctions(const KVLuaFunctionEntry** out) override;

    static bool HasAccelerometer();
    // A sample cleared to 0, 0, 0 and then filled by the platform.
    static KVAccelSample ReadAcceleration();
};

} // namespace kvl
