// The proxy tables of unit arrays: elements read as unit tables and written
// through the owner unit's attribute, 0-based with "Size" under the old
// array form, 1-based otherwise.
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "../kernel/KVFormat.h"
#include "IKVScriptUnits.h"
#include "KVLua.h"
#include "KVLuaInternal.h"

namespace kvl {

using namespace luadetail;

namespace {

constexpr const char* kArrayOwnerKey = "1D6A";
constexpr const char* kArrayAttributeKey = "A972";
// Writes may grow an array with empty references up to this position.
constexpr int64_t kMaxUnitArrayPosition = 0xFFFF;

// The owner unit and the attribute id from the running proxy function's
// upvalues.
struct ArrayTarget {
    int32_t owner;
    uint64_t attributeId;
};

ArrayTarget TargetOf(lua_State* L) {
    ArrayTarget target;
    target.owner = NumberToInt32(lua_tonumber(L, lua_upvalueindex(1)));
    auto low = uint32_t(NumberToInt32Low(lua_tonumber(L, lua_upvalueindex(2))));
    auto high = uint32_t(NumberToInt32Low(lua_tonumber(L, lua_upvalueindex(3))));
    target.attributeId = (uint64_t(high) << 32) | low;
    return target;
}

// A decimal integer at the start of the text (none: 0), within 32 bits.
int64_t DecimalOf(const char* text) {
    errno = 0;
    long long value = std::strtoll(text, nullptr, 10);
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return value;
}

// The 0-based position a key names, in the array form in use; the number
// the script gave goes to *given.
bool KeyPosition(lua_State* L, bool oldForm, int64_t* position, int64_t* given) {
    if (oldForm) {
        const char* text = KeyText(L, 2);
        if (!text) return false;
        *given = DecimalOf(text);
        *position = *given;
        lua_pop(L, 1);
        return true;
    }
    *given = NumberToInt32(lua_tonumber(L, 2));
    *position = *given - 1;
    return true;
}

} // namespace

int32_t KVLua::PushUnitArray(KVUnitRefArray* array, int32_t ownerUnit, uint64_t attributeId) {
    (void)array;  // found again through its owner on each use: it may move or go
    lua_State* L = m_state;
    if (!L || !lua_checkstack(L, 8)) return KV_FAILED;
    lua_newtable(L);
    lua_pushstring(L, kArrayOwnerKey);
    lua_pushnumber(L, ownerUnit);
    lua_rawset(L, -3);
    lua_pushstring(L, kArrayAttributeKey);
    lua_pushnumber(L, double(attributeId));
    lua_rawset(L, -3);
    lua_newtable(L);
    const lua_CFunction functions[] = {UnitArrayIndex, UnitArrayNewIndex, UnitArrayLength};
    const char* names[] = {"__index", "__newindex", "__len"};
    for (int i = 0; i < 3; ++i) {
        lua_pushnumber(L, ownerUnit);
        lua_pushnumber(L, double(uint32_t(attributeId)));
        lua_pushnumber(L, double(uint32_t(attributeId >> 32)));
        lua_pushcclosure(L, functions[i], 3);
        lua_setfield(L, -2, names[i]);
    }
    lua_setmetatable(L, -2);
    return KV_OK;
}

int KVLua::UnitArrayIndex(lua_State* L) {
    KVLua* self = Instance();
    ThreadScope thread(self, L);
    lua_settop(L, 2);
    if (!self || !self->m_units) return 0;
    ArrayTarget target = TargetOf(L);
    int32_t size = self->m_units->GetUnitArraySize(target.owner, target.attributeId);
    if (size < 0) size = 0;
    if (self->m_oldUnitArray && lua_type(L, 2) == LUA_TSTRING && std::strcmp(lua_tostring(L, 2), "Size") == 0) {
        lua_pushnumber(L, size);
        return 1;
    }
    int64_t position = -1;
    int64_t given = 0;
    if (!KeyPosition(L, self->m_oldUnitArray, &position, &given) || position < 0 || position >= size) {
        lua_pushnil(L);
        return 1;
    }
    self->PushUnit(self->m_units->GetUnitArrayElement(target.owner, target.attributeId, int32_t(position)));
    return 1;
}

int KVLua::UnitArrayNewIndex(lua_State* L) {
    KVLua* self = Instance();
    ThreadScope thread(self, L);
    lua_settop(L, 3);
    if (!self || !self->m_units) return 0;
    ArrayTarget target = TargetOf(L);
    int32_t value = lua_isnil(L, 3) ? -1 : self->ToUnit(3);
    if (value != -1 && value == target.owner) {
        self->ReportError("An unit can not be child of itself");
        return 0;
    }
    int64_t position = -1;
    int64_t given = 0;
    if (!KeyPosition(L, self->m_oldUnitArray, &position, &given)) return 0;
    if (position < 0 || position > kMaxUnitArrayPosition) {
        self->ReportError(Format("{0} is an invalid index", int32_t(given)).c_str());
        return 0;
    }
    // Nothing is stored in the proxy itself: a raw entry would hide the
    // element at its key.
    self->m_units->SetUnitArrayElement(target.owner, target.attributeId, int32_t(position), value);
    return 0;
}

int KVLua::UnitArrayLength(lua_State* L) {
    KVLua* self = Instance();
    int32_t size = -1;
    if (self && self->m_units) {
        ArrayTarget target = TargetOf(L);
        size = self->m_units->GetUnitArraySize(target.owner, target.attributeId);
    }
    lua_pushnumber(L, size < 0 ? 0 : size);
    return 1;
}

} // namespace kvl
