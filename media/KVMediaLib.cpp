// The "KVMedia" script functions of the media library.
#include "KVMedia.h"

#include "../KVLua/IKVLua.h"

namespace kvl {
namespace {

int LuaPlaySound() {
    IKVLua* lua = GetLuaBinding();
    KVMedia* media = KVMedia::Instance();
    return lua && media ? media->ScriptPlaySound(*lua) : 0;
}

int LuaStopSound() {
    IKVLua* lua = GetLuaBinding();
    KVMedia* media = KVMedia::Instance();
    return lua && media ? media->ScriptStopSound(*lua) : 0;
}

const KVLuaFunctionEntry kMediaFunctions[] = {
    {"PlaySound", &LuaPlaySound},
    {"StopSound", &LuaStopSound},
    {nullptr, nullptr},
};

} // namespace

int32_t KVMedia::GetLuaFunctions(const KVLuaFunctionEntry** out) {
    if (out) *out = kMediaFunctions;
    return KV_OK;
}

int KVMedia::ScriptPlaySound(IKVLua& lua) {
    if (lua.CheckArgCount(2, true) != 0 || !m_service) return 0;
    const std::string name = lua.ToStdString(1);
    const bool loop = lua.ToBoolean(2);
    const int32_t unit = lua.GetTop() >= 3 ? lua.ToUnit(3) : -1;
    int32_t handle = 0;
    if (m_service->Play(name.c_str(), loop, &handle) != 0) {
        lua.ReportError("Unable to play sound");
        lua.PushInteger(-1);
        return 1;
    }
    lua.PushInteger(AddSound(handle, unit));
    return 1;
}

int KVMedia::ScriptStopSound(IKVLua& lua) {
    if (lua.CheckArgCount(1, false) != 0) return 0;
    const int32_t index = lua.ToInteger(1);
    Sound* sound = m_pool.At(index);
    if (!sound) {
        lua.ReportError("Invalid sound");
        return 0;
    }
    if (m_service) m_service->Stop(sound->handle);
    RemoveSound(index);
    return 0;
}

} // namespace kvl
