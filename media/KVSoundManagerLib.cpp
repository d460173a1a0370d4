// The "KVSoundManager" script functions of the sound manager.
#include "KVSoundManager.h"

#include <algorithm>

#include "../KVLua/IKVLua.h"

namespace kvl {
namespace {

// Clamped while still a double: a float cannot hold every script number.
// Not a number gives 0 (silence, the centre).
float Clamped(double value, double low, double high) {
    if (value != value) return 0.0f;
    return float(std::clamp(value, low, high));
}

int LuaGetGlobalVolume() {
    IKVLua* lua = GetLuaBinding();
    KVSoundManager* manager = KVSoundManager::Instance();
    if (!lua || !manager) return 0;
    lua->PushNumber(manager->GetGlobalVolume());
    return 1;
}

int LuaSetGlobalVolume() {
    IKVLua* lua = GetLuaBinding();
    KVSoundManager* manager = KVSoundManager::Instance();
    if (!lua || !manager || lua->CheckArgCount(1, false) != 0) return 0;
    manager->SetGlobalVolume(Clamped(lua->ToNumber(1), 0.0, 1.0));
    return 0;
}

int LuaGetGlobalPan() {
    IKVLua* lua = GetLuaBinding();
    KVSoundManager* manager = KVSoundManager::Instance();
    if (!lua || !manager) return 0;
    lua->PushNumber(manager->GetGlobalPan());
    return 1;
}

int LuaSetGlobalPan() {
    IKVLua* lua = GetLuaBinding();
    KVSoundManager* manager = KVSoundManager::Instance();
    if (!lua || !manager || lua->CheckArgCount(1, false) != 0) return 0;
    manager->SetGlobalPan(Clamped(lua->ToNumber(1), -1.0, 1.0));
    return 0;
}

const KVLuaFunctionEntry kSoundFunctions[] = {
    {"GetGlobalVolume", &LuaGetGlobalVolume},
    {"SetGlobalVolume", &LuaSetGlobalVolume},
    {"GetGlobalPan", &LuaGetGlobalPan},
    {"SetGlobalPan", &LuaSetGlobalPan},
    {nullptr, nullptr},
};

} // namespace

int32_t KVSoundManager::GetLuaFunctions(const KVLuaFunctionEntry** out) {
    if (out) *out = kSoundFunctions;
    return KV_OK;
}

} // namespace kvl
