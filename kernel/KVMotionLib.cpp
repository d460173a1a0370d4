// The "KVMotion" script functions.
#include "../KVLua/IKVLua.h"
#include "KVMotion.h"

namespace kvl {
namespace {

int HasAccelerometer() {
    IKVLua* lua = GetLuaBinding();
    if (!lua) return 0;
    lua->PushBoolean(KVMotion::HasAccelerometer());
    return 1;
}

void SetNumberField(IKVLua* lua, const char* key, float value) {
    lua->PushString(key);
    lua->PushNumber(double(value));
    lua->SetTable();
}

// A new table each call, so a script changing it affects no later call.
int GetAcceleration() {
    IKVLua* lua = GetLuaBinding();
    if (!lua) return 0;
    KVAccelSample sample = KVMotion::ReadAcceleration();
    lua->NewTable();
    SetNumberField(lua, "x", sample.x);
    SetNumberField(lua, "y", sample.y);
    SetNumberField(lua, "z", sample.z);
    return 1;
}

const KVLuaFunctionEntry kFunctions[] = {
    {"HasAccelerometer", &HasAccelerometer},
    {"GetAcceleration", &GetAcceleration},
    {nullptr, nullptr},
};

} // namespace

int32_t KVMotion::GetLuaFunctions(const KVLuaFunctionEntry** out) {
    if (out) *out = kFunctions;
    return KV_OK;
}

} // namespace kvl
