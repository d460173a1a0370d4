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

enum class Global { Volume, Pan };

int PushGlobal(Global which) {
    IKVLua* lua = GetLuaBinding();
    KVSoundManager* manager = KVSoundManager::Instance();
    if (!lua || !manager) return 0;
    lua->PushNumber(which == Global::Volume ? manager->GetGlobalVolume() : manager->GetGlobalPan());
    return 1;
}

int SetGlobal(Global which) {
    IKVLua* lua = GetLuaBinding();
    KVSoundManager* manager = KVSoundManager::Instance();
    if (!lua || !manager || lua->CheckArgCount(1, false) != 0) return 0;
    if (which == Global::Volume)
        manager->SetGlobalVolume(Clamped(lua->ToNumber(1), 0.0, 1.0));
    else
        manager->SetGlobalPan(Clamped(lua->ToNumber(1), -1.0, 1.0));
    return 0;
}

int LuaGetGlobalVolume() { return PushGlobal(Global::Volume); }
int LuaSetGlobalVolume() { return SetGlobal(Global::Volume); }
int LuaGetGlobalPan() { return PushGlobal(Global::Pan); }
int LuaSetGlobalPan() { return SetGlobal(Global::Pan); }

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
