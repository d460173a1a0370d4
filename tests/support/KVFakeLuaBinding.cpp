#include "KVFakeLuaBinding.h"

#include <cmath>
#include <limits>

#include "KVLua/KVLuaState.h"

namespace kvtest {
namespace {

// Library closures call the native function kept in their upvalue.
int CallLibraryFunction(lua_State* state) {
    auto* entry = static_cast<const kvl::KVLuaFunctionEntry*>(lua_touserdata(state, lua_upvalueindex(1)));
    return entry->function();
}

const char* TypeName(kvl::ScriptType type) {
    static const char* const kNames[] = {"number", "string", "boolean", "nil", "unit", "table", "unknown"};
    return type >= 0 && type <= 6 ? kNames[type] : "unknown";
}

// Truncation toward zero, saturating at the 32-bit range; NaN gives 0.
int32_t SaturatedInteger(double value) {
    if (std::isnan(value)) return 0;
    if (value >= 2147483647.0) return std::numeric_limits<int32_t>::max();
    if (value <= -2147483648.0) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

float SaturatedFloat(double value) {
    constexpr double kMax = std::numeric_limits<float>::max();
    if (std::isnan(value)) return std::numeric_limits<float>::quiet_NaN();
    if (value > kMax) return std::numeric_limits<float>::infinity();
    if (value < -kMax) return -std::numeric_limits<float>::infinity();
    return static_cast<float>(value);
}

} // namespace

FakeLuaBinding::FakeLuaBinding() {
    m_state = luaL_newstate();
    luaL_openlibs(m_state);
    kvl::SetLuaBinding(this);
    kvl::SetLuaState(m_state);
}

FakeLuaBinding::~FakeLuaBinding() {
    if (kvl::GetLuaBinding() == this) kvl::SetLuaBinding(nullptr);
    if (kvl::GetLuaState() == m_state) kvl::SetLuaState(nullptr);
    lua_close(m_state);
}

bool FakeLuaBinding::Run(const std::string& code) {
    int top = lua_gettop(m_state);
    if (luaL_loadbuffer(m_state, code.data(), code.size(), "=test") != 0 || lua_pcall(m_state, 0, 0, 0) != 0) {
        const char* message = lua_tostring(m_state, -1);
        m_errors.push_back(message ? message : "?");
        lua_settop(m_state, top);
        return false;
    }
    lua_settop(m_state, top);
    return true;
}

std::vector<std::string> FakeLuaBinding::Evaluate(const std::string& expression) {
    std::vector<std::string> results;
    int top = lua_gettop(m_state);
    std::string code = "return " + expression;
    if (luaL_loadbuffer(m_state, code.data(), code.size(), "=test") != 0 ||
        lua_pcall(m_state, 0, LUA_MULTRET, 0) != 0) {
        const char* message = lua_tostring(m_state, -1);
        m_errors.push_back(message ? message : "?");
        lua_settop(m_state, top);
        return {"<error>"};
    }
    int count = lua_gettop(m_state) - top;
    for (int n = 1; n <= count; ++n) {
        lua_getglobal(m_state, "tostring");
        lua_pushvalue(m_state, top + n);
        lua_call(m_state, 1, 1);
        size_t length = 0;
        const char* text = lua_tolstring(m_state, -1, &length);
        results.emplace_back(text ? std::string(text, length) : std::string());
        lua_pop(m_state, 1);
    }
    lua_settop(m_state, top);
    return results;
}

int32_t FakeLuaBinding::Absolute(int32_t position) const {
    return position < 0 && position > LUA_REGISTRYINDEX ? lua_gettop(m_state) + position + 1 : position;
}

bool FakeLuaBinding::IsTable(int32_t position) const { return lua_type(m_state, position) == LUA_TTABLE; }

int32_t FakeLuaBinding::ValueToInteger(int32_t position) const {
    return lua_isnumber(m_state, position) ? SaturatedInteger(lua_tonumber(m_state, position)) : 0;
}

int32_t FakeLuaBinding::RegisterLibrary(const char* name, kvl::KVLuaLibrary* library) {
    const kvl::KVLuaFunctionEntry* entries = nullptr;
    library->GetLuaFunctions(&entries);
    lua_newtable(m_state);
    for (const kvl::KVLuaFunctionEntry* e = entries; e && e->name; ++e) {
        lua_pushlightuserdata(m_state, const_cast<kvl::KVLuaFunctionEntry*>(e));
        lua_pushcclosure(m_state, &CallLibraryFunction, 1);
        lua_setfield(m_state, -2, e->name);
    }
    lua_setglobal(m_state, name);
    m_libraries.emplace_back(name);
    return kvl::KV_OK;
}

int32_t FakeLuaBinding::UnregisterLibrary(const char* name) {
    lua_pushnil(m_state);
    lua_setglobal(m_state, name);
    return kvl::KV_OK;
}

int32_t FakeLuaBinding::CallFunction(const char* nameSpace, const char* name, int32_t argumentCount,
                                     int32_t* resultCount) {
    if (resultCount) *resultCount = 0;
    const int base = lua_gettop(m_state) - argumentCount;
    int below = 0;  // values pushed between the arguments and the function
    if (nameSpace) {
        lua_pushstring(m_state, nameSpace);
        lua_rawget(m_state, LUA_GLOBALSINDEX);
        if (lua_isnil(m_state, -1)) {
            lua_settop(m_state, base);
            return kvl::KV_FAILED;
        }
        lua_pushstring(m_state, name);
        if (lua_istable(m_state, -2)) {
            lua_rawget(m_state, -2);
        } else {
            lua_pop(m_state, 1);
            lua_pushnil(m_state);
        }
        below = 1;
    } else {
        lua_pushstring(m_state, name);
        lua_rawget(m_state, LUA_GLOBALSINDEX);
    }
    if (!lua_isfunction(m_state, -1)) {
        lua_settop(m_state, base);
        return kvl::KV_NOT_FOUND;
    }
    for (int n = 1; n <= argumentCount; ++n) lua_pushvalue(m_state, base + n);
    int32_t status = kvl::KV_OK;
    if (lua_pcall(m_state, argumentCount, LUA_MULTRET, 0) != 0) {
        const char* message = lua_tostring(m_state, -1);
        ReportError(message ? message : "?");
        lua_pop(m_state, 1);
        status = kvl::KV_FAILED;
    }
    if (!resultCount) {
        lua_settop(m_state, base);
        return status;
    }
    const int results = lua_gettop(m_state) - (base + argumentCount + below);
    if (below) lua_remove(m_state, base + argumentCount + 1);
    if (!m_callLeavesArguments) {
        for (int n = 0; n < argumentCount; ++n) lua_remove(m_state, base + 1);
    }
    *resultCount = results;
    return status;
}

int32_t FakeLuaBinding::GetArgType(int32_t position, kvl::ScriptType* out) {
    kvl::ScriptType type = kvl::SCRIPT_UNKNOWN;
    switch (lua_type(m_state, position)) {
    case LUA_TNUMBER: type = kvl::SCRIPT_NUMBER; break;
    case LUA_TSTRING: type = kvl::SCRIPT_STRING; break;
    case LUA_TBOOLEAN: type = kvl::SCRIPT_BOOLEAN; break;
    case LUA_TNIL: type = kvl::SCRIPT_NIL; break;
    case LUA_TTABLE: type = kvl::SCRIPT_TABLE; break;
    default: break;
    }
    *out = type;
    return kvl::KV_OK;
}

int32_t FakeLuaBinding::GetTop() { return lua_gettop(m_state); }

int32_t FakeLuaBinding::CheckArgCount(int32_t count, bool atLeast) {
    int32_t top = lua_gettop(m_state);
    if (top == count || (atLeast && top >= count)) return 0;
    ReportError("Invalid number of arguments");
    return 1;
}

int32_t FakeLuaBinding::CheckArgType(int32_t position, kvl::ScriptType type) {
    kvl::ScriptType actual;
    GetArgType(position, &actual);
    if (actual == type) return 0;
    ReportError(("Argument #" + std::to_string(position) + " type is invalid (type " + TypeName(type) +
                 " expected, but type " + TypeName(actual) + " passed to the function)")
                    .c_str());
    return 1;
}

int32_t FakeLuaBinding::Pop(int32_t n) {
    lua_pop(m_state, n);
    return 0;
}

int32_t FakeLuaBinding::PushNumber(double value) {
    lua_pushnumber(m_state, value);
    return 0;
}

double FakeLuaBinding::ToNumber(int32_t position) { return lua_tonumber(m_state, position); }

int32_t FakeLuaBinding::PushString(const char* text) {
    lua_pushstring(m_state, text);
    return 0;
}

const char* FakeLuaBinding::ToString(int32_t position) {
    int type = lua_type(m_state, position);
    return type == LUA_TSTRING || type == LUA_TNUMBER ? lua_tostring(m_state, position) : nullptr;
}

std::string FakeLuaBinding::ToStdString(int32_t position) {
    const char* text = ToString(position);
    return text ? text : "";
}

int32_t FakeLuaBinding::PushBoolean(bool flag) {
    lua_pushboolean(m_state, flag);
    return 0;
}

bool FakeLuaBinding::ToBoolean(int32_t position) {
    return lua_isboolean(m_state, position) && lua_toboolean(m_state, position);
}

int32_t FakeLuaBinding::PushInteger(int32_t value) {
    lua_pushnumber(m_state, value);
    return 0;
}

int32_t FakeLuaBinding::ToInteger(int32_t position) { return ValueToInteger(position); }

int32_t FakeLuaBinding::PushNil() {
    lua_pushnil(m_state);
    return 0;
}

int32_t FakeLuaBinding::NewTable() {
    lua_newtable(m_state);
    return 0;
}

int32_t FakeLuaBinding::SetTable() {
    lua_rawset(m_state, -3);
    return 0;
}

int32_t FakeLuaBinding::ReportError(const char* text) {
    m_errors.emplace_back(text ? text : "");
    return 0;
}

int32_t FakeLuaBinding::FormatLocation(const std::string& text) {
    m_errors.push_back(text);
    return 0;
}

int32_t FakeLuaBinding::GetFieldString(int32_t position, const char* key, std::string* out) {
    position = Absolute(position);
    if (!IsTable(position)) return 0;
    lua_getfield(m_state, position, key);
    int32_t found = 0;
    if (lua_type(m_state, -1) == LUA_TSTRING || lua_type(m_state, -1) == LUA_TNUMBER) {
        *out = lua_tostring(m_state, -1);
        found = 1;
    }
    lua_pop(m_state, 1);
    return found;
}

int32_t FakeLuaBinding::GetFieldBoolean(int32_t position, const char* key, uint8_t* out) {
    position = Absolute(position);
    if (!IsTable(position)) return 0;
    lua_getfield(m_state, position, key);
    int32_t found = 0;
    if (lua_isboolean(m_state, -1)) {
        *out = lua_toboolean(m_state, -1) ? 1 : 0;
        found = 1;
    }
    lua_pop(m_state, 1);
    return found;
}

int32_t FakeLuaBinding::GetFieldFloat(int32_t position, const char* key, float* out) {
    position = Absolute(position);
    if (!IsTable(position)) return 0;
    lua_getfield(m_state, position, key);
    int32_t found = 0;
    if (lua_isnumber(m_state, -1)) {
        *out = SaturatedFloat(lua_tonumber(m_state, -1));
        found = 1;
    }
    lua_pop(m_state, 1);
    return found;
}

int32_t FakeLuaBinding::GetFieldInteger(int32_t position, const char* key, int32_t* out) {
    position = Absolute(position);
    if (!IsTable(position)) return 0;
    lua_getfield(m_state, position, key);
    int32_t found = 0;
    if (lua_isnumber(m_state, -1)) {
        *out = ValueToInteger(-1);
        found = 1;
    }
    lua_pop(m_state, 1);
    return found;
}

int32_t FakeLuaBinding::GetFieldInteger2(int32_t position, const char* key, int32_t* out) {
    return GetFieldInteger(position, key, out);
}

int32_t FakeLuaBinding::GetIndexInteger(int32_t position, int32_t index, int32_t* out) {
    position = Absolute(position);
    if (!IsTable(position)) return 0;
    lua_rawgeti(m_state, position, index);
    int32_t found = 0;
    if (lua_isnumber(m_state, -1)) {
        *out = ValueToInteger(-1);
        found = 1;
    }
    lua_pop(m_state, 1);
    return found;
}

int32_t FakeLuaBinding::GetIndexFloat(int32_t position, int32_t index, float* out) {
    position = Absolute(position);
    if (!IsTable(position)) return 0;
    lua_rawgeti(m_state, position, index);
    int32_t found = 0;
    if (lua_isnumber(m_state, -1)) {
        *out = SaturatedFloat(lua_tonumber(m_state, -1));
        found = 1;
    }
    lua_pop(m_state, 1);
    return found;
}

int32_t FakeLuaBinding::GetIndexBoolean(int32_t position, int32_t index, uint8_t* out) {
    position = Absolute(position);
    if (!IsTable(position)) return 0;
    lua_rawgeti(m_state, position, index);
    int32_t found = 0;
    if (lua_isboolean(m_state, -1)) {
        *out = lua_toboolean(m_state, -1) ? 1 : 0;
        found = 1;
    }
    lua_pop(m_state, 1);
    return found;
}

int32_t FakeLuaBinding::GetFieldText(int32_t position, const char* key, std::string* out) {
    position = Absolute(position);
    if (!IsTable(position)) return 0;
    lua_getfield(m_state, position, key);
    *out = ToText(-1);
    lua_pop(m_state, 1);
    return 1;
}

int32_t FakeLuaBinding::PushField(int32_t position, const char* key) {
    position = Absolute(position);
    if (!IsTable(position)) return 0;
    lua_getfield(m_state, position, key);
    return 1;
}

int32_t FakeLuaBinding::GetLength(int32_t position) {
    switch (lua_type(m_state, position)) {
    case LUA_TSTRING:
    case LUA_TTABLE:
    case LUA_TUSERDATA: return static_cast<int32_t>(lua_objlen(m_state, position));
    default: return 0;
    }
}

int32_t FakeLuaBinding::ArgumentError(int32_t position) {
    ReportError(("Bad or missing argument (Arg #" + std::to_string(position) + ")").c_str());
    return 1;
}

std::string FakeLuaBinding::ToText(int32_t position) {
    if (lua_type(m_state, position) != LUA_TSTRING) return std::string();
    size_t length = 0;
    const char* text = lua_tolstring(m_state, position, &length);
    return std::string(text, length);
}

} // namespace kvtest
