// The "KVLua" script library.
#include <cstring>

#include "../kernel/KVFormat.h"
#include "../kernel/KVPath.h"
#include "KVLua.h"
#include "KVLuaInternal.h"

namespace kvl {

using namespace luadetail;

int KVLua::LibLoadLibrary() { return 0; }

int KVLua::LibInclude() {
    KVLua* self = Instance();
    if (!self || self->m_mainChunkRunning) return 0;
    if (self->CheckArgCount(1, false)) return 0;
    lua_State* L = self->m_state;
    if (!lua_isstring(L, 1)) {
        self->ArgumentError(1);
        return 0;
    }
    std::string path = MakeAbsolutePath(GetProjectDirectory(), lua_tostring(L, 1));
    self->LoadScriptFile(path, nullptr, 4);
    return 0;
}

int KVLua::LibIsFunctionExists() {
    KVLua* self = Instance();
    if (!self || self->CheckArgCount(1, false)) return 0;
    lua_State* L = self->m_state;
    if (!lua_isstring(L, 1)) {
        self->ArgumentError(1);
        return 0;
    }
    lua_pushvalue(L, 1);
    lua_gettable(L, LUA_GLOBALSINDEX);
    bool isFunction = lua_isfunction(L, -1);
    lua_pop(L, 1);
    lua_pushboolean(L, isFunction);
    return 1;
}

int KVLua::LibScriptFile() {
    KVLua* self = Instance();
    if (!self) return 0;
    lua_State* L = self->m_state;
    std::string source;
    lua_Debug ar;
    if (lua_getstack(L, 1, &ar) && lua_getinfo(L, "S", &ar)) source = SourceWithoutPrefix(ar.source);
    size_t slash = source.rfind('/');
    if (slash != std::string::npos) source.erase(0, slash + 1);
    lua_pushlstring(L, source.data(), source.size());
    return 1;
}

int KVLua::LibScriptLine() {
    KVLua* self = Instance();
    if (!self) return 0;
    lua_State* L = self->m_state;
    int32_t line = 0;
    lua_Debug ar;
    if (lua_getstack(L, 1, &ar) && lua_getinfo(L, "l", &ar)) line = ar.currentline;
    self->PushInteger(line);
    return 1;
}

int KVLua::LibGetCallstack() {
    KVLua* self = Instance();
    if (!self) return 0;
    std::string text = self->GetCallstackText();
    lua_pushlstring(self->m_state, text.data(), text.size());
    return 1;
}

int KVLua::LibCallGC() {
    KVLua* self = Instance();
    if (!self) return 0;
    lua_State* L = self->m_state;
    if (lua_gettop(L) >= 1) {
        lua_gc(L, LUA_GCSTEP, self->ToInteger(1));
    } else {
        lua_gc(L, LUA_GCCOLLECT, 0);
    }
    return 0;
}

int KVLua::LibCreateNamespace() {
    KVLua* self = Instance();
    if (!self || self->CheckArgCount(1, true)) return 0;
    lua_State* L = self->m_state;
    int last = lua_gettop(L);
    if (!lua_isstring(L, last)) {
        self->ArgumentError(last);
        return 0;
    }
    std::string name = lua_tostring(L, last);
    self->m_currentNamespace = name;
    if (self->IsGlobalDefined(name.c_str())) {
        self->ReportError(Format("Namespace {0} already exists", name).c_str());
        return 0;
    }
    self->CreateNamespaceTable(name.c_str(), -1, false);
    return 0;
}

int KVLua::LibPushSelf() {
    KVLua* self = Instance();
    if (!self) return 0;
    lua_State* L = self->m_state;
    UnitBinding* binding = lua_gettop(L) >= 1 ? GetUnitBinding(L, 1) : nullptr;
    if (binding && binding->unitIndex >= 0) {
        bool fromDelegate = !self->m_runningUnits.empty() && self->m_runningUnits.back().hasDelegate &&
                            self->m_runningUnits.back().delegateName == binding->name;
        if (!fromDelegate) {
            lua_pushvalue(L, 1);
            self->PushRunningUnit(binding->unitIndex, nullptr, -1);
            return 1;
        }
    }
    if (self->m_runningUnits.empty()) {
        lua_pushnil(L);
    } else {
        self->PushUnit(self->m_runningUnits.back().unitIndex);
    }
    return 1;
}

} // namespace kvl
