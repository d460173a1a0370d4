#include "KVMotion.h"

#include "../KVLua/IKVLua.h"

namespace kvl {

int32_t KVMotion::Init(int32_t phase) {
    if (phase == 1)
        if (IKVLua* lua = GetLuaBinding()) lua->RegisterLibrary("KVMotion", this);
    return KV_OK;
}

int32_t KVMotion::Release(int32_t) { return KV_OK; }

bool KVMotion::HasAccelerometer() { return DeviceHasAccelerometer(); }

KVAccelSample KVMotion::ReadAcceleration() {
    KVAccelSample sample;
    DeviceReadAcceleration(nullptr, &sample);
    return sample;
}

} // namespace kvl
