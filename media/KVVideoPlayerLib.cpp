// The "VideoPlayer" script functions of the full-screen video player.
#include "KVVideoPlayer.h"

#include <string>

#include "../KVLua/IKVLua.h"
#include "../kernel/IKVLog.h"
#include "../kernel/KVCore.h"
#include "../kernel/KVPath.h"
#include "../platform/CIN.h"
#include "../units/IKVSerialize.h"

namespace kvl {
namespace {

int LuaPlay() {
    IKVLua* lua = GetLuaBinding();
    KVVideoPlayer* player = KVVideoPlayer::Instance();
    return lua && player ? player->ScriptPlay(*lua) : 0;
}

int LuaStop() {
    if (KVVideoPlayer* player = KVVideoPlayer::Instance()) player->StopPlayback();
    return 0;
}

const KVLuaFunctionEntry kVideoFunctions[] = {
    {"Play", &LuaPlay},
    {"Stop", &LuaStop},
    {nullptr, nullptr},
};

} // namespace

int32_t KVVideoPlayer::GetLuaFunctions(const KVLuaFunctionEntry** out) {
    if (out) *out = kVideoFunctions;
    return KV_OK;
}

int KVVideoPlayer::ScriptPlay(IKVLua& lua) {
    if (lua.CheckArgCount(2, true) != 0) return 0;
    if (m_playing) {
        lua.ReportError("video is already playing");
        return 0;
    }
    const std::string path = lua.ToStdString(1);
    std::string resolved = path;
    if (IKVSerialize* serialize = QueryCoreInterface<IKVSerialize>(IID_IKVSerialize))
        serialize->MakeAbsolutePath(path, &resolved);
    resolved = LowerResourcePath(resolved);
    m_unitIndex = lua.ToUnit(2);
    if (m_unitIndex == -1) {
        lua.ArgumentError(2);
        return 0;
    }
    m_allowSkip = 1;
    if (lua.GetTop() > 2) lua.GetFieldBoolean(3, "allow_skip", &m_allowSkip);
    const std::string url = "file://" + resolved;
    if (CIN_LoadCIN(url.c_str()) != 0) {
        ClearScreen();
        CIN_Play();
        m_playing = 1;
        // The value on top of the stack: the last argument given.
        return 1;
    }
    if (IKVLog* log = GetLog()) log->WriteString("Unable to start video " + path, KVLOG_ERROR, 0);
    return 0;
}

} // namespace kvl
