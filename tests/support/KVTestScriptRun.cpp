#include "KVTestScriptRun.h"

#include <lua.hpp>

#include <algorithm>

namespace kvtest {

std::string ReportedAt(int line, const std::string& text) { return "test:" + std::to_string(line) + ":" + text; }

namespace {

std::string TopText(lua_State* L) {
    size_t length = 0;
    const char* text = lua_tolstring(L, -1, &length);
    return text ? std::string(text, length) : std::string();
}

// Pushes the results of "return <expression>"; the count, or -1 with the
// message.
int PushResults(lua_State* L, const std::string& expression, std::string* error) {
    const int top = lua_gettop(L);
    const std::string code = "return " + expression;
    if (luaL_loadbuffer(L, code.data(), code.size(), "=test") != 0 || lua_pcall(L, 0, LUA_MULTRET, 0) != 0) {
        if (error) *error = TopText(L);
        lua_settop(L, top);
        return -1;
    }
    return lua_gettop(L) - top;
}

std::string ValueText(lua_State* L, int index) {
    if (index < 0) index = lua_gettop(L) + index + 1;
    lua_getfield(L, LUA_GLOBALSINDEX, "tostring");
    lua_pushvalue(L, index);
    lua_call(L, 1, 1);
    std::string text = TopText(L);
    lua_pop(L, 1);
    return text;
}

} // namespace

bool RunChunk(lua_State* L, const std::string& code, std::string* error) {
    if (!L) return false;
    const int top = lua_gettop(L);
    int status = luaL_loadbuffer(L, code.data(), code.size(), "=test");
    if (status == 0) status = lua_pcall(L, 0, 0, 0);
    if (status != 0 && error) *error = TopText(L);
    lua_settop(L, top);
    return status == 0;
}

std::vector<std::string> EvaluateChunk(lua_State* L, const std::string& expression, std::string* error) {
    if (!L) return {"<error>"};
    const int top = lua_gettop(L);
    const int count = PushResults(L, expression, error);
    if (count < 0) return {"<error>"};
    std::vector<std::string> results;
    for (int n = 1; n <= count; ++n) results.push_back(ValueText(L, top + n));
    lua_settop(L, top);
    return results;
}

std::string DescribeResults(lua_State* L, const std::string& expression) {
    if (!L) return "<error>";
    const int top = lua_gettop(L);
    const int count = PushResults(L, expression, nullptr);
    if (count < 0) return "<error>";
    std::string out;
    for (int n = 1; n <= count; ++n) {
        if (n > 1) out += ", ";
        const int type = lua_type(L, top + n);
        out += lua_typename(L, type);
        if (type == LUA_TNUMBER || type == LUA_TSTRING || type == LUA_TBOOLEAN) out += " " + ValueText(L, top + n);
    }
    lua_settop(L, top);
    return out;
}

std::vector<std::string> GlobalTableKeys(lua_State* L, const char* name) {
    std::vector<std::string> keys;
    if (!L) return keys;
    lua_pushstring(L, name);
    lua_rawget(L, LUA_GLOBALSINDEX);
    if (lua_istable(L, -1)) {
        lua_pushnil(L);
        while (lua_next(L, -2)) {
            lua_pop(L, 1);
            keys.push_back(ValueText(L, -1));
        }
    }
    lua_pop(L, 1);
    std::sort(keys.begin(), keys.end());
    return keys;
}

double ReadGlobalNumber(lua_State* L, const char* name) {
    lua_getfield(L, LUA_GLOBALSINDEX, name);
    double value = lua_tonumber(L, -1);
    lua_pop(L, 1);
    return value;
}

std::string ReadGlobalString(lua_State* L, const char* name) {
    lua_getfield(L, LUA_GLOBALSINDEX, name);
    std::string value = lua_isstring(L, -1) ? TopText(L) : std::string();
    lua_pop(L, 1);
    return value;
}

bool IsGlobalNil(lua_State* L, const char* name) {
    lua_pushstring(L, name);
    lua_rawget(L, LUA_GLOBALSINDEX);
    bool isNil = lua_isnil(L, -1);
    lua_pop(L, 1);
    return isNil;
}

std::vector<std::string>& ScriptErrors() {
    static std::vector<std::string> errors;
    return errors;
}

void RecordScriptError(const char* text) { ScriptErrors().push_back(text ? text : ""); }

} // namespace kvtest
