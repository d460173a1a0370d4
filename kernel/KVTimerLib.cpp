// The "KVTime" script functions of the time manager.
#include "KVTimer.h"

#include "../KVLua/IKVLua.h"

namespace kvl {
namespace {

int LuaGetTime() {
    IKVLua* lua = GetLuaBinding();
    KVTimer* timer = KVTimer::Instance();
    if (!lua || !timer) return 0;
    lua->PushNumber(timer->GetTimeFloat());
    return 1;
}

void SetIntegerField(IKVLua* lua, const char* key, uint32_t value) {
    lua->PushString(key);
    lua->PushInteger(int32_t(value));
    lua->SetTable();
}

int LuaGetLocalTime() {
    IKVLua* lua = GetLuaBinding();
    KVTimer* timer = KVTimer::Instance();
    if (!lua || !timer) return 0;
    LocalTime t;
    timer->GetLocalTime(&t);
    lua->NewTable();
    SetIntegerField(lua, "millisecond", t.millisecond);
    SetIntegerField(lua, "second", t.second);
    SetIntegerField(lua, "minute", t.minute);
    SetIntegerField(lua, "hour", t.hour);
    SetIntegerField(lua, "day", t.day);
    SetIntegerField(lua, "month", t.month);
    SetIntegerField(lua, "year", t.year);
    return 1;
}

const KVLuaFunctionEntry kTimeFunctions[] = {
    {"GetTime", &LuaGetTime},
    {"GetLocalTime", &LuaGetLocalTime},
    {nullptr, nullptr},
};

} // namespace

int32_t KVTimer::GetLuaFunctions(const KVLuaFunctionEntry** out) {
    if (out) *out = kTimeFunctions;
    return KV_OK;
}

} // namespace kvl
