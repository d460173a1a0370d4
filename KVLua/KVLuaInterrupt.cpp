// Stopping the scripts that run when the program is told to quit (SIGINT,
// SIGTERM): the flag the main loop reads is only seen once a script gives
// control back, and a script that loops never does. Lua lets a hook be set
// from a signal handler; the one set here ends the script at its next
// instruction, call or return with a script error.
#include <atomic>

#include "KVLua.h"
#include "KVLuaInternal.h"

namespace kvl {

using namespace luadetail;

namespace {

constexpr int kStopMask = LUA_MASKCALL | LUA_MASKRET | LUA_MASKCOUNT;

std::atomic<bool> g_interrupting{false};
static_assert(std::atomic<bool>::is_always_lock_free, "read in a signal handler");
// A state of its own that a call runs on now (the loading screen's).
std::atomic<lua_State*> g_foreignCall{nullptr};
static_assert(std::atomic<lua_State*>::is_always_lock_free, "read in a signal handler");

void StopHook(lua_State* L, lua_Debug*) {
    luaL_error(L, "Script stopped: the program is quitting");
}

void Stop(lua_State* L) {
    if (L) lua_sethook(L, StopHook, kStopMask, 1);
}

} // namespace

namespace luadetail {

void KeepScriptInterrupt(lua_State* L) {
    if (g_interrupting.load(std::memory_order_relaxed)) Stop(L);
}

ForeignCallScope::ForeignCallScope(lua_State* L)
    : m_previous(L ? g_foreignCall.exchange(L) : g_foreignCall.load()) {}

ForeignCallScope::~ForeignCallScope() { g_foreignCall.store(m_previous); }

} // namespace luadetail

void KVLua::InterruptScripts() {
    g_interrupting.store(true, std::memory_order_relaxed);
    Stop(g_foreignCall.load());
    KVLua* self = Instance();
    if (!self) return;
    Stop(self->m_mainState);
    if (self->m_runningThread != self->m_mainState) Stop(self->m_runningThread);
}

void KVLua::EndScriptInterrupt() {
    g_interrupting.store(false, std::memory_order_relaxed);
    KVLua* self = Instance();
    lua_State* foreign = g_foreignCall.load();
    if (foreign && lua_gethook(foreign) == StopHook) lua_sethook(foreign, nullptr, 0, 0);
    if (!self) return;
    for (lua_State* L : {self->m_mainState, self->m_runningThread}) {
        if (!L || lua_gethook(L) != StopHook) continue;
        lua_sethook(L, nullptr, 0, 0);
        if (self->m_countingCalls) HookThread(L);
    }
}

} // namespace kvl
