#include "KVTestLuaHost.h"

#include <lua.hpp>

#include "kernel/KVPath.h"

namespace kvtest {

std::vector<std::string>& KVTestLuaHost::Errors() {
    static std::vector<std::string> errors;
    return errors;
}

void KVTestLuaHost::RecordError(const char* text) { Errors().push_back(text ? text : ""); }

KVTestLuaHost::KVTestLuaHost(bool installErrorHook) : m_root(m_dir.Path() + "/assets/"), m_file(m_root) {
    Errors().clear();
    kvl::SetProjectDirectory(m_root);
    m_lua.reset(new kvl::KVLua);
    m_lua->SetFileInterface(&m_file);
    m_lua->SetPropertiesInterface(&m_properties);
    m_lua->Init(0);
    if (installErrorHook) m_lua->SetErrorHook(RecordError);
    m_lua->Init(1);
    m_lua->Init(2);
    m_dir.WriteFile("assets/script/.keep", "");
}

KVTestLuaHost::~KVTestLuaHost() {
    m_lua.reset();
    kvl::SetProjectDirectory("");
}

void KVTestLuaHost::WriteScript(const std::string& relative, const std::string& content) const {
    m_dir.WriteFile("assets/script/" + relative, content);
}

void KVTestLuaHost::WriteAsset(const std::string& relative, const std::string& content) const {
    m_dir.WriteFile("assets/" + relative, content);
}

std::string KVTestLuaHost::ReadAsset(const std::string& relative) const { return m_dir.ReadFile("assets/" + relative); }

void KVTestLuaHost::Start() { m_lua->Init(3); }

bool KVTestLuaHost::Run(const std::string& code, std::string* error) {
    lua_State* L = State();
    if (!L) return false;
    int top = lua_gettop(L);
    int status = luaL_loadbuffer(L, code.data(), code.size(), "=test");
    if (status == 0) status = lua_pcall(L, 0, 0, 0);
    if (status != 0 && error) {
        const char* text = lua_tostring(L, -1);
        *error = text ? text : "";
    }
    lua_settop(L, top);
    return status == 0;
}

double KVTestLuaHost::GlobalNumber(const char* name) {
    lua_State* L = State();
    lua_getfield(L, LUA_GLOBALSINDEX, name);
    double value = lua_tonumber(L, -1);
    lua_pop(L, 1);
    return value;
}

std::string KVTestLuaHost::GlobalString(const char* name) {
    lua_State* L = State();
    lua_getfield(L, LUA_GLOBALSINDEX, name);
    size_t length = 0;
    const char* text = lua_tolstring(L, -1, &length);
    std::string value = text ? std::string(text, length) : std::string();
    lua_pop(L, 1);
    return value;
}

bool KVTestLuaHost::GlobalIsNil(const char* name) {
    lua_State* L = State();
    lua_pushstring(L, name);
    lua_rawget(L, LUA_GLOBALSINDEX);
    bool isNil = lua_isnil(L, -1);
    lua_pop(L, 1);
    return isNil;
}

bool KVTestLuaHost::HasError(const std::string& part) const {
    for (const std::string& e : Errors()) {
        if (e.find(part) != std::string::npos) return true;
    }
    return false;
}

} // namespace kvtest
