#pragma once
// Helpers shared by the binding's source files.
#include <lua.hpp>

#include <cfloat>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>

namespace kvl {
namespace luadetail {

// Raw keys of the binding's own entries.
constexpr const char* kBindingKey = "8EF4";
constexpr const char* kUnitMetatableName = "A0C4";
constexpr const char* kStructBlockKey = "E63C";
// The name of the per-frame event; the binding knows these very bytes.
extern const char kUpdateEventName[];

// Stored under the binding key of a namespace table.
struct UnitBinding {
    int32_t unitIndex;
    uint32_t changeCounter;
    char name[1];  // NUL-terminated, allocated to its length
};

// The binding of the table at the index, or null (also for a foreign value
// stored under the key). keyIndex, when not 0, holds the binding key already
// made a Lua string (an upvalue of the unit metatable's functions).
UnitBinding* GetUnitBinding(lua_State* L, int index, int keyIndex = 0);

// A table with neither a metatable nor anything under the binding key: what
// a script makes with {} (a table with a metatable of its own is the
// script's business).
bool IsPlainTable(lua_State* L, int index);

// The natives behind the __index of the binding's structure and object
// proxies.
bool IsProxyReader(lua_CFunction function);

// The index of a binding whose unit closed: never a unit's, and not -1,
// which marks a namespace bound to no unit.
constexpr int32_t kClosedUnit = -2;

// Negative positions made absolute; pseudo-indices unchanged.
int AbsoluteIndex(lua_State* L, int position);
// A position that names a value on the stack.
bool IsStackIndex(lua_State* L, int position);

// The error object at the index as text.
std::string ErrorText(lua_State* L, int index);
// A chunk name without its leading "@" or "=".
std::string SourceWithoutPrefix(const char* source);

// Lua's allocator: a size of 0 frees, anything else reallocates.
void* ScriptAllocator(void* user, void* block, size_t oldSize, size_t newSize);

// A double as a float, out-of-range values becoming infinities.
inline float ToFloat(double value) {
    if (value > double(FLT_MAX)) return std::numeric_limits<float>::infinity();
    if (value < -double(FLT_MAX)) return -std::numeric_limits<float>::infinity();
    return float(value);
}

// The key at the index as text, converted in a copy pushed on the stack so
// that the key itself stays as given; null (nothing pushed) for keys that
// are neither text nor number.
inline const char* KeyText(lua_State* L, int index) {
    int type = lua_type(L, index);
    if (type != LUA_TSTRING && type != LUA_TNUMBER) return nullptr;
    lua_pushvalue(L, index);
    return lua_tostring(L, -1);
}

// A function is running on the state (so its upvalues can be read).
bool HasRunningFunction(lua_State* L);

// While scripts are stopped for a quit (KVLua::InterruptScripts), a hook
// just set on the state gives way to the one that stops them.
void KeepScriptInterrupt(lua_State* L);
// A call on a state of its own (the loading screen's) is stopped too: the
// signal finds the state here.
class ForeignCallScope {
public:
    explicit ForeignCallScope(lua_State* L);
    ~ForeignCallScope();
    ForeignCallScope(const ForeignCallScope&) = delete;
    ForeignCallScope& operator=(const ForeignCallScope&) = delete;

private:
    lua_State* m_previous;
};

} // namespace luadetail
} // namespace kvl
