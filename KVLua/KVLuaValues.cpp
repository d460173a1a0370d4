// Argument checks and the reading and pushing of script values.
#include <cfloat>
#include <cmath>
#include <limits>

#include "../kernel/KVFormat.h"
#include "KVLua.h"
#include "KVLuaInternal.h"

namespace kvl {

using namespace luadetail;

namespace {

const char* const kTypeNames[] = {"number", "string", "boolean", "nil", "unit", "table", "unknown"};

const char* TypeName(int32_t type) {
    if (type < 0 || type > SCRIPT_UNKNOWN) return kTypeNames[SCRIPT_UNKNOWN];
    return kTypeNames[type];
}

ScriptType TypeAt(lua_State* L, int position) {
    if (!IsStackIndex(L, position)) return SCRIPT_UNKNOWN;
    switch (lua_type(L, position)) {
    case LUA_TNUMBER:
        return SCRIPT_NUMBER;
    case LUA_TSTRING:
        return SCRIPT_STRING;
    case LUA_TBOOLEAN:
        return SCRIPT_BOOLEAN;
    case LUA_TNIL:
        return SCRIPT_NIL;
    case LUA_TTABLE: {
        lua_pushstring(L, kBindingKey);
        lua_rawget(L, position);
        bool unit = !lua_isnil(L, -1);
        lua_pop(L, 1);
        return unit ? SCRIPT_UNIT : SCRIPT_TABLE;
    }
    default:
        return SCRIPT_UNKNOWN;
    }
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
    return 0;
}

int GetTableField(lua_State* L) {
    lua_gettable(L, 1);
    return 1;
}

// Pushes the raw element of the table at the position; false when there is
// no table there.
bool PushElement(lua_State* L, int32_t position, int32_t index) {
    if (!L) return false;
    position = AbsoluteIndex(L, position);
    if (!IsStackIndex(L, position) || !lua_istable(L, position) || !lua_checkstack(L, 1)) return false;
    lua_rawgeti(L, position, index);
    return true;
}

// The Take readers read the value on top of the stack into out when it has
// the wanted type, pop it, and answer 1 when it had.
int32_t TakeString(lua_State* L, std::string* out) {
    int32_t found = 0;
    int type = lua_type(L, -1);
    if (type == LUA_TSTRING || type == LUA_TNUMBER) {
        size_t length = 0;
        const char* text = lua_tolstring(L, -1, &length);
        if (out) out->assign(text, length);
        found = 1;
    }
    lua_pop(L, 1);
    return found;
}

int32_t TakeBoolean(lua_State* L, uint8_t* out) {
    int32_t found = 0;
    if (lua_type(L, -1) == LUA_TBOOLEAN) {
        if (out) *out = lua_toboolean(L, -1) ? 1 : 0;
        found = 1;
    }
    lua_pop(L, 1);
    return found;
}

int32_t TakeFloat(lua_State* L, float* out) {
    int32_t found = 0;
    if (lua_isnumber(L, -1)) {
        if (out) *out = ToFloat(lua_tonumber(L, -1));
        found = 1;
    }
    lua_pop(L, 1);
    return found;
}

int32_t TakeInteger(lua_State* L, int32_t* out) {
    int32_t found = 0;
    if (lua_isnumber(L, -1)) {
        if (out) *out = NumberToInt32(lua_tonumber(L, -1));
        found = 1;
    }
    lua_pop(L, 1);
    return found;
}

} // namespace

int32_t NumberToInt32(double value) {
    if (std::isnan(value)) return 0;
    if (value >= 2147483647.0) return std::numeric_limits<int32_t>::max();
    if (value <= -2147483648.0) return std::numeric_limits<int32_t>::min();
    return int32_t(value);
}

int32_t NumberToInt32Low(double value) {
    int64_t wide;
    if (std::isnan(value)) {
        wide = 0;
    } else if (value >= 9223372036854775807.0) {
        wide = std::numeric_limits<int64_t>::max();
    } else if (value <= -9223372036854775808.0) {
        wide = std::numeric_limits<int64_t>::min();
    } else {
        wide = int64_t(value);
    }
    return int32_t(uint32_t(uint64_t(wide)));
}

uint32_t NumberToUInt32(double value) { return uint32_t(NumberToInt32Low(value)); }

ScriptType KVLua::ArgumentType(lua_State* L, int32_t position) {
    position = L ? AbsoluteIndex(L, position) : 0;
    const ScriptType type = L ? TypeAt(L, position) : SCRIPT_UNKNOWN;
    // A plain table stored under a unit's name stands for the unit.
    if (type == SCRIPT_TABLE && L == m_state && UnitOfPlainTable(position) >= 0) return SCRIPT_UNIT;
    return type;
}

int32_t KVLua::GetArgType(int32_t position, ScriptType* out) {
    const ScriptType type = ArgumentType(m_state, position);
    if (out) *out = type;
    return KV_OK;
}

int32_t KVLua::GetTop() { return m_state ? lua_gettop(m_state) : 0; }

int32_t KVLua::CheckArgCount(int32_t count, bool atLeast) { return CheckArgCountOn(m_state, count, atLeast); }

int32_t KVLua::CheckArgCountOn(lua_State* L, int32_t count, bool atLeast) {
    int32_t top = L ? lua_gettop(L) : 0;
    if (atLeast ? top >= count : top == count) return KV_OK;
    ReportErrorIn(L, "Invalid number of arguments");
    return 1;
}

int32_t KVLua::CheckMinArgCount(int32_t count) {
    int32_t top = m_state ? lua_gettop(m_state) : 0;
    if (top >= count) return KV_OK;
    std::string text = "The function ";
    if (m_currentFunctionName) text += m_currentFunctionName;
    text += Format(" expects at least {0} arguments.", uint32_t(count));
    FormatLocation(text);
    return 1;
}

int32_t KVLua::CheckArgType(int32_t position, ScriptType type) { return CheckArgTypeOn(m_state, position, type); }

int32_t KVLua::CheckArgTypeOn(lua_State* L, int32_t position, ScriptType type) {
    ScriptType actual = L ? TypeAt(L, AbsoluteIndex(L, position)) : SCRIPT_UNKNOWN;
    // Only where a unit is wanted does a table get looked for among them.
    if (actual == SCRIPT_TABLE && type == SCRIPT_UNIT) actual = ArgumentType(L, position);
    if (actual == type) return KV_OK;
    FormatLocationIn(L, Format("Argument #{0} type is invalid (type {1} expected, but type {2} passed to the function)",
                               position, TypeName(type), TypeName(actual)));
    return 1;
}

int32_t KVLua::ArgumentError(int32_t position) {
    std::string text;
    if (m_currentFunctionName) text = Format("{0} : ", m_currentFunctionName);
    text += Format("Bad or missing argument (Arg #{0})", position);
    FormatLocation(text);
    // A complaint always answers non-zero, whether or not it was written.
    return 1;
}

int32_t KVLua::Pop(int32_t n) {
    if (!m_state || n <= 0) return KV_OK;
    int top = lua_gettop(m_state);
    lua_pop(m_state, n > top ? top : n);
    return KV_OK;
}

int32_t KVLua::PushNumber(double value) { return PushNumberOn(m_state, value); }

int32_t KVLua::PushNumberOn(lua_State* L, double value) {
    if (!L || !lua_checkstack(L, 1)) return KV_FAILED;
    lua_pushnumber(L, value);
    return KV_OK;
}

double KVLua::ToNumber(int32_t position) {
    lua_State* L = m_state;
    if (!L) return 0.0;
    position = AbsoluteIndex(L, position);
    return IsStackIndex(L, position) ? double(lua_tonumber(L, position)) : 0.0;
}

int32_t KVLua::PushString(const char* text) { return PushStringOn(m_state, text); }

int32_t KVLua::PushStringOn(lua_State* L, const char* text) {
    if (!L || !lua_checkstack(L, 1)) return KV_FAILED;
    lua_pushstring(L, text);
    return KV_OK;
}

const char* KVLua::ToString(int32_t position) { return ToStringOn(m_state, position); }

const char* KVLua::ToStringOn(lua_State* L, int32_t position) {
    if (!L) return nullptr;
    position = AbsoluteIndex(L, position);
    return IsStackIndex(L, position) ? lua_tostring(L, position) : nullptr;
}

std::string KVLua::ToStdString(int32_t position) {
    lua_State* L = m_state;
    if (!L) return std::string();
    position = AbsoluteIndex(L, position);
    if (!IsStackIndex(L, position)) return std::string();
    size_t length = 0;
    const char* text = lua_tolstring(L, position, &length);
    return text ? std::string(text, length) : std::string();
}

int32_t KVLua::PushBoolean(bool flag) { return PushBooleanOn(m_state, flag); }

int32_t KVLua::PushBooleanOn(lua_State* L, bool flag) {
    if (!L || !lua_checkstack(L, 1)) return KV_FAILED;
    lua_pushboolean(L, flag);
    return KV_OK;
}

bool KVLua::ToBoolean(int32_t position) {
    lua_State* L = m_state;
    if (!L) return false;
    position = AbsoluteIndex(L, position);
    return IsStackIndex(L, position) && lua_type(L, position) == LUA_TBOOLEAN && lua_toboolean(L, position);
}

int32_t KVLua::PushInteger(int32_t value) { return PushIntegerOn(m_state, value); }

int32_t KVLua::PushIntegerOn(lua_State* L, int32_t value) { return PushNumberOn(L, double(value)); }

int32_t KVLua::ToInteger(int32_t position) { return ToIntegerOn(m_state, position); }

int32_t KVLua::ToIntegerOn(lua_State* L, int32_t position) {
    if (!L) return 0;
    position = AbsoluteIndex(L, position);
    return IsStackIndex(L, position) ? NumberToInt32(lua_tonumber(L, position)) : 0;
}

int32_t KVLua::PushNil() {
    if (!m_state || !lua_checkstack(m_state, 1)) return KV_FAILED;
    lua_pushnil(m_state);
    return KV_OK;
}

void KVLua::ToIntegerArray(int32_t position, std::vector<int32_t>* out) { ToIntegerArrayImpl(position, out); }

int32_t KVLua::ToIntegerArrayImpl(int32_t position, std::vector<int32_t>* out) {
    if (!out) return KV_INVALID;
    out->clear();
    lua_State* L = m_state;
    if (!L) return KV_OK;
    position = AbsoluteIndex(L, position);
    if (!IsStackIndex(L, position) || !lua_istable(L, position) || !lua_checkstack(L, 2)) return KV_OK;
    lua_pushnil(L);
    while (lua_next(L, position)) {
        if (lua_type(L, -1) == LUA_TNUMBER) out->push_back(NumberToInt32Low(lua_tonumber(L, -1)));
        lua_pop(L, 1);
    }
    return KV_OK;
}

int32_t KVLua::ToStringArray(int32_t position, std::vector<std::string>* out) {
    if (!out) return KV_INVALID;
    out->clear();
    lua_State* L = m_state;
    if (!L) return KV_OK;
    position = AbsoluteIndex(L, position);
    if (!IsStackIndex(L, position) || !lua_istable(L, position) || !lua_checkstack(L, 2)) return KV_OK;
    lua_pushnil(L);
    while (lua_next(L, position)) {
        int type = lua_type(L, -1);
        if (type == LUA_TSTRING || type == LUA_TNUMBER) {
            size_t length = 0;
            const char* text = lua_tolstring(L, -1, &length);
            out->emplace_back(text, length);
        }
        lua_pop(L, 1);
    }
    return KV_OK;
}

int32_t KVLua::ToByteArray(int32_t position, std::vector<uint8_t>* out) {
    if (!out) return KV_INVALID;
    out->clear();
    lua_State* L = m_state;
    if (!L) return KV_OK;
    position = AbsoluteIndex(L, position);
    if (!IsStackIndex(L, position) || !lua_istable(L, position) || !lua_checkstack(L, 1)) return KV_OK;
    const int32_t length = GetLength(position);
    out->reserve(size_t(length > 0 ? length : 0));
    for (int32_t n = 1; n <= length; ++n) {
        lua_rawgeti(L, position, n);
        const uint32_t word = lua_isnumber(L, -1) ? NumberToUInt32(lua_tonumber(L, -1)) : 0u;
        lua_pop(L, 1);
        out->push_back(uint8_t(word & 0xffu));
    }
    return KV_OK;
}

int32_t KVLua::PushHex(const uint8_t* bytes, uint32_t count) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    if (bytes) {
        text.reserve(size_t(count) * 2);
        for (uint32_t i = 0; i < count; ++i) {
            text += kDigits[bytes[i] >> 4];
            text += kDigits[bytes[i] & 0xf];
        }
    }
    if (!m_state || !lua_checkstack(m_state, 1)) return KV_FAILED;
    lua_pushlstring(m_state, text.data(), text.size());
    return KV_OK;
}

int32_t KVLua::ToBytesFromHex(int32_t position, uint8_t* buffer, uint32_t length) {
    lua_State* L = m_state;
    if (!L || !buffer) return KV_OK;
    position = AbsoluteIndex(L, position);
    if (!IsStackIndex(L, position)) return KV_OK;
    size_t size = 0;
    const char* text = lua_tolstring(L, position, &size);
    if (!text) return KV_OK;
    for (uint32_t i = 0; i < length && size_t(i) * 2 + 1 < size; ++i) {
        buffer[i] = uint8_t(HexDigit(text[i * 2]) * 16 + HexDigit(text[i * 2 + 1]));
    }
    return KV_OK;
}

int32_t KVLua::NewTable() {
    if (!m_state || !lua_checkstack(m_state, 1)) return KV_FAILED;
    lua_newtable(m_state);
    return KV_OK;
}

int32_t KVLua::SetTable() {
    lua_State* L = m_state;
    if (!L) return KV_FAILED;
    if (lua_gettop(L) < 3 || !lua_istable(L, -3)) {
        Pop(2);
        return KV_INVALID;
    }
    lua_rawset(L, -3);
    return KV_OK;
}

bool KVLua::ProtectedGetField(lua_State* L, int32_t position, const char* key) {
    if (!L || !key) return false;
    position = AbsoluteIndex(L, position);
    if (!IsStackIndex(L, position) || !lua_istable(L, position) || !lua_checkstack(L, 3)) return false;
    // Metamethods may run script code; an error there stays here.
    lua_pushcfunction(L, GetTableField);
    lua_pushvalue(L, position);
    lua_pushstring(L, key);
    if (ProtectedCall(L, 2, 1) != 0) {
        ReportErrorIn(L, ErrorText(L, -1));
        lua_pop(L, 1);
        return false;
    }
    return true;
}

int32_t KVLua::GetFieldString(int32_t position, const char* key, std::string* out) {
    return ProtectedGetField(m_state, position, key) ? TakeString(m_state, out) : 0;
}

int32_t KVLua::GetFieldBoolean(int32_t position, const char* key, uint8_t* out) {
    return GetFieldBooleanOn(m_state, position, key, out);
}

int32_t KVLua::GetFieldBooleanOn(lua_State* L, int32_t position, const char* key, uint8_t* out) {
    return ProtectedGetField(L, position, key) ? TakeBoolean(L, out) : 0;
}

int32_t KVLua::GetFieldFloat(int32_t position, const char* key, float* out) {
    return GetFieldFloatOn(m_state, position, key, out);
}

int32_t KVLua::GetFieldFloatOn(lua_State* L, int32_t position, const char* key, float* out) {
    return ProtectedGetField(L, position, key) ? TakeFloat(L, out) : 0;
}

int32_t KVLua::GetFieldInteger(int32_t position, const char* key, int32_t* out) {
    return GetFieldIntegerOn(m_state, position, key, out);
}

int32_t KVLua::GetFieldInteger2(int32_t position, const char* key, int32_t* out) {
    return GetFieldIntegerOn(m_state, position, key, out);
}

int32_t KVLua::GetFieldIntegerOn(lua_State* L, int32_t position, const char* key, int32_t* out) {
    return ProtectedGetField(L, position, key) ? TakeInteger(L, out) : 0;
}

int32_t KVLua::GetFieldUnit(int32_t position, const char* key, int32_t* out) {
    lua_State* L = m_state;
    if (!ProtectedGetField(L, position, key)) return 0;
    int32_t unitIndex = ToUnit(-1);
    lua_pop(L, 1);
    if (unitIndex == -1) return 0;
    if (out) *out = unitIndex;
    return 1;
}

int32_t KVLua::GetFieldText(int32_t position, const char* key, std::string* out) {
    lua_State* L = m_state;
    if (!ProtectedGetField(L, position, key)) return 0;
    std::string text = ToText(-1);
    lua_pop(L, 1);
    if (out) *out = text;
    return 1;
}

int32_t KVLua::PushField(int32_t position, const char* key) { return ProtectedGetField(m_state, position, key) ? 1 : 0; }

int32_t KVLua::GetIndexString(int32_t position, int32_t index, std::string* out) {
    return PushElement(m_state, position, index) ? TakeString(m_state, out) : 0;
}

int32_t KVLua::GetIndexInteger(int32_t position, int32_t index, int32_t* out) {
    return PushElement(m_state, position, index) ? TakeInteger(m_state, out) : 0;
}

int32_t KVLua::GetIndexFloat(int32_t position, int32_t index, float* out) {
    return PushElement(m_state, position, index) ? TakeFloat(m_state, out) : 0;
}

int32_t KVLua::GetIndexBoolean(int32_t position, int32_t index, uint8_t* out) {
    return PushElement(m_state, position, index) ? TakeBoolean(m_state, out) : 0;
}

int32_t KVLua::GetLength(int32_t position) {
    lua_State* L = m_state;
    if (!L) return 0;
    position = AbsoluteIndex(L, position);
    if (!IsStackIndex(L, position)) return 0;
    switch (lua_type(L, position)) {
    case LUA_TSTRING:
    case LUA_TTABLE:
    case LUA_TUSERDATA: {
        size_t length = lua_objlen(L, position);
        return length > size_t(std::numeric_limits<int32_t>::max()) ? std::numeric_limits<int32_t>::max()
                                                                  : int32_t(length);
    }
    default:
        return 0;
    }
}

std::string KVLua::ToText(int32_t position) {
    lua_State* L = m_state;
    if (!L) return std::string();
    position = AbsoluteIndex(L, position);
    if (!IsStackIndex(L, position)) return std::string();
    if (lua_type(L, position) == LUA_TSTRING) {
        size_t length = 0;
        const char* text = lua_tolstring(L, position, &length);
        return std::string(text, length);
    }
    if (UnitBinding* binding = GetUnitBinding(L, position)) return binding->name;
    return std::string();
}

} // namespace kvl
