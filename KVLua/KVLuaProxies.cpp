// Tables and userdata that show native data to scripts: structures, points,
// proxies over native objects or copied blocks, and collected native objects.
#include <cstring>
#include <new>

#include "../kernel/KVFormat.h"
#include "KVLua.h"
#include "KVLuaInternal.h"

namespace kvl {

using namespace luadetail;

namespace {

// Registry keys: the addresses are unique.
char g_structBlockMetatableKey;
char g_objectMarkerKey;

// The fields and data of one pushed structure, owned by its userdata.
struct StructBlock {
    std::vector<std::string> names;
    std::vector<KVStructField> fields;
    std::vector<uint8_t> data;

    void* Data() { return data.empty() ? nullptr : data.data(); }
};

int StructBlockCollect(lua_State* L) {
    if (!lua_getmetatable(L, 1)) return 0;
    lua_pushlightuserdata(L, &g_structBlockMetatableKey);
    lua_rawget(L, LUA_REGISTRYINDEX);
    bool ours = lua_rawequal(L, -1, -2) != 0;
    lua_pop(L, 2);
    if (!ours) return 0;
    static_cast<StructBlock*>(lua_touserdata(L, 1))->~StructBlock();
    // Never destroyed twice.
    lua_pushnil(L);
    lua_setmetatable(L, 1);
    return 0;
}

void PushStructBlockMetatable(lua_State* L) {
    lua_pushlightuserdata(L, &g_structBlockMetatableKey);
    lua_rawget(L, LUA_REGISTRYINDEX);
    if (lua_istable(L, -1)) return;
    lua_pop(L, 1);
    lua_newtable(L);
    lua_pushcfunction(L, StructBlockCollect);
    lua_setfield(L, -2, "__gc");
    lua_pushboolean(L, 0);
    lua_setfield(L, -2, "__metatable");
    lua_pushlightuserdata(L, &g_structBlockMetatableKey);
    lua_pushvalue(L, -2);
    lua_rawset(L, LUA_REGISTRYINDEX);
}

int FindField(StructBlock* block, const char* name) {
    if (!name) return -1;
    for (size_t i = 0; i < block->fields.size(); ++i) {
        if (block->names[i] == name) return int(i);
    }
    return -1;
}

void ReportUnknownField(const char* name) {
    KVLua* lua = KVLua::Instance();
    if (!lua) return;
    std::string text = name ? name : "";
    if (KVErrorHook hook = lua->GetErrorHook()) hook((text + " : unknown attribute").c_str());
    lua->FormatLocation(Format("{0} is not a member of structure", text));
}

// The field of the block in upvalue 1 named by argument 2, after the stack
// is cut to its arguments; null, and reported, when the block has none.
KVStructField* NamedField(lua_State* L, int arguments, StructBlock** block, int* index) {
    *block = static_cast<StructBlock*>(lua_touserdata(L, lua_upvalueindex(1)));
    lua_settop(L, arguments);
    lua_pushvalue(L, 2);
    const char* name = lua_tostring(L, -1);
    int i = *block ? FindField(*block, name) : -1;
    if (i < 0) {
        ReportUnknownField(name);
        return nullptr;
    }
    *index = i;
    return &(*block)->fields[size_t(i)];
}

int StructIndex(lua_State* L) {
    StructBlock* block = nullptr;
    int i = -1;
    KVStructField* named = NamedField(L, 2, &block, &i);
    if (!named) return 0;
    KVStructField& field = *named;
    if (field.get) field.get(&field, i, block->Data(), int32_t(block->data.size()));
    switch (field.kind) {
    case KVSTRUCT_FLOAT:
        lua_pushnumber(L, field.real);
        break;
    case KVSTRUCT_STRING:
        lua_pushlstring(L, field.text.data(), field.text.size());
        break;
    case KVSTRUCT_BOOLEAN:
        lua_pushnumber(L, field.integer ? 1 : 0);
        break;
    case KVSTRUCT_UINT32:
        lua_pushnumber(L, uint32_t(field.integer));
        break;
    default:
        lua_pushnumber(L, field.integer);
        break;
    }
    return 1;
}

int StructNewIndex(lua_State* L) {
    StructBlock* block = nullptr;
    int i = -1;
    KVStructField* named = NamedField(L, 3, &block, &i);
    if (!named) return 0;
    KVStructField& field = *named;
    switch (field.kind) {
    case KVSTRUCT_FLOAT: {
        field.real = ToFloat(lua_tonumber(L, 3));
        break;
    }
    case KVSTRUCT_STRING: {
        size_t length = 0;
        const char* text = lua_isstring(L, 3) ? lua_tolstring(L, 3, &length) : nullptr;
        field.text.assign(text ? text : "", text ? length : 0);
        break;
    }
    case KVSTRUCT_BOOLEAN:
        field.integer = (lua_type(L, 3) == LUA_TBOOLEAN && lua_toboolean(L, 3)) ? 1 : 0;
        break;
    case KVSTRUCT_UINT32:
        field.integer = int32_t(NumberToUInt32(lua_tonumber(L, 3)));
        break;
    default:
        field.integer = NumberToInt32(lua_tonumber(L, 3));
        break;
    }
    if (field.set) field.set(&field, i, block->Data(), int32_t(block->data.size()));
    return 0;
}

// Upvalue 1 is the object or block, upvalue 2 the native function.
int NativeTrampoline(lua_State* L) {
    auto function = reinterpret_cast<KVLuaNativeFunction>(lua_touserdata(L, lua_upvalueindex(2)));
    if (!function) return 0;
    KVLua::ThreadScope thread(KVLua::Instance(), L);
    int results = function();
    int top = lua_gettop(L);
    if (results < 0) results = 0;
    if (results > top) results = top;
    return results;
}

// The same call as a proxy's __index: a function of its own, so that the
// binding knows a read is running.
int NativeIndexTrampoline(lua_State* L) { return NativeTrampoline(L); }

void PushNativeClosure(lua_State* L, int upvalueIndex, KVLuaNativeFunction function,
                       lua_CFunction trampoline = NativeTrampoline) {
    lua_pushvalue(L, upvalueIndex);
    lua_pushlightuserdata(L, reinterpret_cast<void*>(function));
    lua_pushcclosure(L, trampoline, 2);
}

// Sets "__index" and "__newindex" of the metatable at the absolute index to
// the natives given, each closing over the value at upvalueIndex.
void SetProxyAccessors(lua_State* L, int metatable, int upvalueIndex, KVProxyGet get, KVProxySet set) {
    if (get) {
        PushNativeClosure(L, upvalueIndex, get, NativeIndexTrampoline);
        lua_setfield(L, metatable, "__index");
    }
    if (set) {
        PushNativeClosure(L, upvalueIndex, set);
        lua_setfield(L, metatable, "__newindex");
    }
}

bool IsNativeObject(lua_State* L, int index) {
    if (lua_type(L, index) != LUA_TUSERDATA || lua_objlen(L, index) < sizeof(IKVLua::LuaObject*)) return false;
    if (!lua_getmetatable(L, index)) return false;
    lua_pushlightuserdata(L, &g_objectMarkerKey);
    lua_rawget(L, -2);
    bool ours = lua_toboolean(L, -1) != 0;
    lua_pop(L, 2);
    return ours;
}

int ObjectCollect(lua_State* L) {
    if (!IsNativeObject(L, 1)) return 0;
    auto** slot = static_cast<IKVLua::LuaObject**>(lua_touserdata(L, 1));
    delete *slot;
    *slot = nullptr;
    return 0;
}

} // namespace

namespace luadetail {

bool IsProxyReader(lua_CFunction function) { return function == StructIndex || function == NativeIndexTrampoline; }

} // namespace luadetail

int32_t KVLua::PushStruct(const KVStructField* fields, int32_t count, const void* data, int32_t length) {
    lua_State* L = m_state;
    if (!L || count < 0 || (count > 0 && !fields) || !lua_checkstack(L, 6)) return KV_INVALID;
    lua_newtable(L);
    void* memory = lua_newuserdata(L, sizeof(StructBlock));
    auto* block = new (memory) StructBlock;
    PushStructBlockMetatable(L);
    lua_setmetatable(L, -2);
    block->names.reserve(size_t(count));
    block->fields.reserve(size_t(count));
    for (int32_t i = 0; i < count; ++i) {
        block->names.emplace_back(fields[i].name ? fields[i].name : "");
        block->fields.push_back(fields[i]);
    }
    for (size_t i = 0; i < block->fields.size(); ++i) block->fields[i].name = block->names[i].c_str();
    if (data && length > 0) {
        const auto* bytes = static_cast<const uint8_t*>(data);
        block->data.assign(bytes, bytes + length);
    }
    // Stored raw, before __newindex exists: the key is no field to report.
    lua_pushstring(L, kStructBlockKey);
    lua_pushvalue(L, -2);
    lua_rawset(L, -4);
    lua_newtable(L);
    lua_pushvalue(L, -2);
    lua_pushcclosure(L, StructIndex, 1);
    lua_setfield(L, -2, "__index");
    lua_pushvalue(L, -2);
    lua_pushcclosure(L, StructNewIndex, 1);
    lua_setfield(L, -2, "__newindex");
    lua_setmetatable(L, -3);
    lua_pop(L, 1);
    return KV_OK;
}

int32_t KVLua::PushPoint(const KVPoint3& point) {
    KVStructField fields[3];
    const char* names[3] = {"x", "y", "z"};
    const float values[3] = {point.x, point.y, point.z};
    for (int i = 0; i < 3; ++i) {
        fields[i].name = names[i];
        fields[i].kind = KVSTRUCT_FLOAT;
        fields[i].real = values[i];
    }
    return PushStruct(fields, 3, nullptr, 0);
}

int32_t KVLua::PushProxy(void* object, KVProxyGet get, KVProxySet set) {
    lua_State* L = m_state;
    if (!L || !lua_checkstack(L, 6)) return KV_FAILED;
    lua_newtable(L);
    lua_newtable(L);
    lua_pushlightuserdata(L, object);
    int objectIndex = lua_gettop(L);
    SetProxyAccessors(L, objectIndex - 1, objectIndex, get, set);
    lua_pop(L, 1);
    lua_setmetatable(L, -2);
    return KV_OK;
}

int32_t KVLua::PushUserdataProxy(KVProxyGet get, KVProxySet set, const void* data, int32_t length) {
    lua_State* L = m_state;
    if (!L || !lua_checkstack(L, 6)) return KV_FAILED;
    size_t size = length > 0 ? size_t(length) : 0;
    void* block = lua_newuserdata(L, size);
    if (size && data) std::memcpy(block, data, size);
    if (size && !data) std::memset(block, 0, size);
    int blockIndex = lua_gettop(L);
    lua_newtable(L);
    SetProxyAccessors(L, blockIndex + 1, blockIndex, get, set);
    lua_setmetatable(L, blockIndex);
    return KV_OK;
}

int32_t KVLua::PushObject(LuaObject* object, const KVLuaFunctionEntry* methods, int32_t count) {
    lua_State* L = m_state;
    if (!L || !object || !lua_checkstack(L, 6)) {
        delete object;
        return KV_FAILED;
    }
    auto** slot = static_cast<LuaObject**>(lua_newuserdata(L, sizeof(LuaObject*)));
    *slot = object;
    int objectIndex = lua_gettop(L);
    lua_newtable(L);
    lua_pushlightuserdata(L, &g_objectMarkerKey);
    lua_pushboolean(L, 1);
    lua_rawset(L, -3);
    lua_pushcfunction(L, ObjectCollect);
    lua_setfield(L, -2, "__gc");
    lua_pushvalue(L, -1);
    lua_setfield(L, -2, "__index");
    for (int32_t i = 0; methods && i < count && methods[i].name; ++i) {
        // The methods hold the userdata itself, so a method kept by a
        // script keeps its object alive.
        PushNativeClosure(L, objectIndex, methods[i].function);
        lua_setfield(L, -2, methods[i].name);
    }
    lua_setmetatable(L, objectIndex);
    return KV_OK;
}

IKVLua::LuaObject* KVLua::GetSelfObject(int32_t position, int32_t* outFlag) {
    lua_State* L = m_state;
    if (outFlag) *outFlag = 0;
    if (!L) return nullptr;
    position = AbsoluteIndex(L, position);
    if (IsStackIndex(L, position) && IsNativeObject(L, position)) {
        return *static_cast<LuaObject**>(lua_touserdata(L, position));
    }
    if (HasRunningFunction(L) && IsNativeObject(L, lua_upvalueindex(1))) {
        if (outFlag) *outFlag = -1;
        return *static_cast<LuaObject**>(lua_touserdata(L, lua_upvalueindex(1)));
    }
    return nullptr;
}

void* KVLua::GetUpvalueObject() {
    lua_State* L = m_state;
    if (!HasRunningFunction(L)) return nullptr;
    return lua_touserdata(L, lua_upvalueindex(1));
}

void* KVLua::GetUpvalueObject2() { return GetUpvalueObject(); }

} // namespace kvl
