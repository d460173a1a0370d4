// Coroutines that scripts resume: the calls made inside one are counted
// like the main state's, so "self" is the calling unit again whenever a
// call returns inside it. A coroutine runs above the call that resumed it;
// what it made "self" and has not returned from when it yields waits with
// it until it is resumed again, from wherever that is.
#include "KVLua.h"
#include "KVLuaInternal.h"

namespace kvl {

using namespace luadetail;

namespace {

// Registry key of the table (weak keys) that keeps the running-unit entries
// of yielded coroutines: coroutine -> {unit index, depth above the
// coroutine's first frame, delegate name or false, ...}.
const char kSuspendedUnitsKey = 0;

// The coroutine can be resumed: it has not started, or it yielded.
bool IsResumable(lua_State* L, lua_State* co) {
    if (L == co) return false;
    if (lua_status(co) == LUA_YIELD) return true;
    if (lua_status(co) != 0) return false;
    lua_Debug ar;
    // Frames on a thread that did not yield: it is resuming another.
    if (lua_getstack(co, 0, &ar)) return false;
    return lua_gettop(co) > 0;
}

// Calls the coroutine has entered and not returned from, counted as the
// call hook counts them (a tail call counts as the frame it replaced).
int32_t OpenCalls(lua_State* co) {
    lua_Debug ar;
    int32_t levels = 0;
    while (lua_getstack(co, levels, &ar)) ++levels;
    return levels;
}

// Pushes the table of yielded coroutines' entries and the coroutine, its
// key there; false, with nothing pushed, when there is no such table.
bool PushSuspendedUnits(lua_State* L, lua_State* co) {
    if (!lua_checkstack(L, 4) || !lua_checkstack(co, 1)) return false;
    lua_pushlightuserdata(L, const_cast<char*>(&kSuspendedUnitsKey));
    lua_rawget(L, LUA_REGISTRYINDEX);
    if (!lua_istable(L, -1)) {
        lua_pop(L, 1);
        return false;
    }
    lua_pushthread(co);
    lua_xmove(co, L, 1);
    return true;
}

} // namespace

void KVLua::CreateSuspendedUnits() {
    lua_State* L = m_state;
    lua_pushlightuserdata(L, const_cast<char*>(&kSuspendedUnitsKey));
    lua_newtable(L);
    lua_newtable(L);
    lua_pushstring(L, "k");
    lua_setfield(L, -2, "__mode");
    lua_setmetatable(L, -2);
    lua_rawset(L, LUA_REGISTRYINDEX);
}

void KVLua::HookThread(lua_State* L) {
    // A hook a script set for itself is left alone.
    if (L && (!lua_gethook(L) || lua_gethook(L) == CallReturnHook))
        lua_sethook(L, CallReturnHook, LUA_MASKCALL | LUA_MASKRET, 0);
    KeepScriptInterrupt(L);
}

void KVLua::InstallCoroutineFunctions() {
    lua_State* L = m_state;
    lua_getfield(L, LUA_GLOBALSINDEX, "coroutine");
    if (!lua_istable(L, -1)) {
        lua_pop(L, 1);
        return;
    }
    lua_getfield(L, -1, "resume");
    lua_pushvalue(L, -1);
    lua_pushcclosure(L, ScriptResume, 1);
    lua_setfield(L, -3, "resume");
    lua_pushcclosure(L, ScriptWrap, 1);
    lua_setfield(L, -2, "wrap");
    lua_pop(L, 1);
}

int KVLua::ScriptResume(lua_State* L) {
    lua_State* co = lua_tothread(L, 1);
    luaL_argcheck(L, co, 1, "coroutine expected");
    lua_pushvalue(L, lua_upvalueindex(1));
    lua_insert(L, 1);
    Resume(L, co);
    return lua_gettop(L);
}

int KVLua::ScriptWrap(lua_State* L) {
    // As the library's own: a function that resumes a new coroutine and
    // raises its errors.
    luaL_argcheck(L, lua_isfunction(L, 1) && !lua_iscfunction(L, 1), 1, "Lua function expected");
    lua_State* co = lua_newthread(L);
    lua_pushvalue(L, 1);
    lua_xmove(L, co, 1);
    lua_pushvalue(L, lua_upvalueindex(1));
    lua_pushcclosure(L, ScriptWrapped, 2);
    return 1;
}

int KVLua::ScriptWrapped(lua_State* L) {
    lua_State* co = lua_tothread(L, lua_upvalueindex(1));
    lua_pushvalue(L, lua_upvalueindex(2));
    lua_pushvalue(L, lua_upvalueindex(1));
    lua_insert(L, 1);
    lua_insert(L, 1);
    Resume(L, co);
    if (lua_toboolean(L, 1)) {
        lua_remove(L, 1);
        return lua_gettop(L);
    }
    if (lua_isstring(L, -1)) {
        luaL_where(L, 1);
        lua_insert(L, -2);
        lua_concat(L, 2);
    }
    return lua_error(L);
}

void KVLua::Resume(lua_State* L, lua_State* co) {
    // The stack holds the library's resume function, the coroutine and the
    // arguments; the function's results replace them.
    KVLua* self = Instance();
    if (!self || !co || !self->m_runningThread || !IsResumable(L, co)) {
        lua_call(L, lua_gettop(L) - 1, LUA_MULTRET);
        return;
    }
    const CallState saved = self->SaveCallState();
    lua_State* const resumer = self->m_runningThread;
    const size_t floor = self->m_threadFloor;
    // The coroutine's frames sit above the call that resumes it.
    const int32_t base = self->m_callDepth;
    self->m_threadFloor = self->m_runningUnits.size();
    self->m_runningThread = co;
    self->m_callDepth = base + OpenCalls(co);
    self->RestoreSuspendedUnits(L, co, base);
    if (self->m_countingCalls) HookThread(co);
    const int status = lua_pcall(L, lua_gettop(L) - 1, LUA_MULTRET, 0);
    self->m_runningThread = resumer;
    // The coroutine stopped for a quit: its resumer is stopped as well.
    KeepScriptInterrupt(L);
    if (status == 0 && lua_status(co) == LUA_YIELD) self->KeepSuspendedUnits(L, co);
    self->m_threadFloor = floor;
    self->RestoreCallState(saved);
    if (status != 0) lua_error(L);
}

void KVLua::KeepSuspendedUnits(lua_State* L, lua_State* co) {
    if (m_runningUnits.size() <= m_threadFloor || !PushSuspendedUnits(L, co)) return;
    // Depths are kept from the coroutine's first frame, which will lie
    // elsewhere when it is resumed again.
    const int32_t first = m_callDepth - OpenCalls(co);
    lua_newtable(L);
    int slot = 0;
    for (size_t i = m_threadFloor; i < m_runningUnits.size(); ++i) {
        const RunningUnit& entry = m_runningUnits[i];
        lua_pushnumber(L, entry.unitIndex);
        lua_rawseti(L, -2, ++slot);
        lua_pushnumber(L, entry.depth - first);
        lua_rawseti(L, -2, ++slot);
        if (entry.hasDelegate)
            lua_pushlstring(L, entry.delegateName.data(), entry.delegateName.size());
        else
            lua_pushboolean(L, 0);
        lua_rawseti(L, -2, ++slot);
    }
    lua_rawset(L, -3);
    lua_pop(L, 1);
}

void KVLua::RestoreSuspendedUnits(lua_State* L, lua_State* co, int32_t base) {
    if (lua_status(co) != LUA_YIELD || !PushSuspendedUnits(L, co)) return;
    lua_pushvalue(L, -1);
    lua_rawget(L, -3);
    if (!lua_istable(L, -1)) {
        lua_pop(L, 3);
        return;
    }
    const int count = int(lua_objlen(L, -1));
    for (int slot = 1; slot + 2 <= count; slot += 3) {
        lua_rawgeti(L, -1, slot);
        lua_rawgeti(L, -2, slot + 1);
        lua_rawgeti(L, -3, slot + 2);
        RunningUnit entry{NumberToInt32(lua_tonumber(L, -3)), base + NumberToInt32(lua_tonumber(L, -2)),
                          lua_type(L, -1) == LUA_TSTRING, std::string()};
        if (entry.hasDelegate) entry.delegateName = lua_tostring(L, -1);
        m_runningUnits.push_back(std::move(entry));
        lua_pop(L, 3);
    }
    lua_pop(L, 1);
    // Taken: the coroutine keeps them again only if it yields again.
    lua_pushnil(L);
    lua_rawset(L, -3);
    lua_pop(L, 1);
    if (!m_runningUnits.empty() && !m_countingCalls) StartCountingCalls(true);
}

} // namespace kvl
