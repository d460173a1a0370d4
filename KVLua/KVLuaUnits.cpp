// Namespace tables, their shared metatable, the globals' lookup and the
// unit operations. Units themselves are reached through IKVScriptUnits.
#include <cstring>

#include "../kernel/KVFormat.h"
#include "IKVScriptUnits.h"
#include "KVLua.h"
#include "KVLuaInternal.h"

namespace kvl {

using namespace luadetail;

void KVLua::CreateUnitMetatable() {
    lua_State* L = m_state;
    lua_pushstring(L, kUnitMetatableName);
    lua_newtable(L);
    lua_pushcfunction(L, UnitTableIndex);
    lua_setfield(L, -2, "__index");
    lua_pushcfunction(L, UnitTableNewIndex);
    lua_setfield(L, -2, "__newindex");
    lua_pushcfunction(L, UnitTableEquals);
    lua_setfield(L, -2, "__eq");
    lua_rawset(L, LUA_GLOBALSINDEX);
}

int32_t KVLua::CreateNamespaceTable(const char* name, int32_t unitIndex, bool onlyIfAbsent) {
    lua_State* L = m_state;
    if (!L || !name) return KV_INVALID;
    if (onlyIfAbsent && IsGlobalDefined(name)) return KV_OK;
    if (!lua_checkstack(L, 4)) return KV_FAILED;
    size_t length = std::strlen(name);
    lua_pushstring(L, name);
    lua_newtable(L);
    auto* binding =
        static_cast<UnitBinding*>(lua_newuserdata(L, offsetof(UnitBinding, name) + length + 1));
    binding->unitIndex = unitIndex;
    binding->changeCounter = 0;
    std::memcpy(binding->name, name, length + 1);
    lua_setfield(L, -2, kBindingKey);
    lua_pushstring(L, kUnitMetatableName);
    lua_rawget(L, LUA_GLOBALSINDEX);
    if (!lua_istable(L, -1)) {
        lua_pop(L, 1);
        lua_pushnil(L);
    }
    lua_setmetatable(L, -2);
    lua_rawset(L, LUA_GLOBALSINDEX);
    m_namespacesToInit.push_back(name);
    return KV_OK;
}

int32_t KVLua::RemoveGlobal(const char* name) {
    if (!m_state || !name) return KV_INVALID;
    lua_pushstring(m_state, name);
    lua_pushnil(m_state);
    lua_rawset(m_state, LUA_GLOBALSINDEX);
    return KV_OK;
}

bool KVLua::IsGlobalDefined(const char* name) {
    if (!m_state || !name) return false;
    lua_pushstring(m_state, name);
    lua_rawget(m_state, LUA_GLOBALSINDEX);
    bool defined = !lua_isnil(m_state, -1);
    lua_pop(m_state, 1);
    return defined;
}

int32_t KVLua::RegisterClassFunction(int32_t classIndex, const char* name, KVClassFunction fn) {
    if (classIndex < 0 || !name) return KV_INVALID;
    if (m_classFunctions.size() <= size_t(classIndex)) m_classFunctions.resize(size_t(classIndex) + 1);
    m_classFunctions[size_t(classIndex)].push_back(ClassFunctionEntry{name, fn, nullptr});
    return KV_OK;
}

int32_t KVLua::AddClassValue(int32_t classIndex, const char* name, KVClassValueFunction fn) {
    if (classIndex < 0 || !name) return KV_INVALID;
    if (m_classFunctions.size() <= size_t(classIndex)) m_classFunctions.resize(size_t(classIndex) + 1);
    m_classFunctions[size_t(classIndex)].push_back(ClassFunctionEntry{name, nullptr, fn});
    return KV_OK;
}

int32_t KVLua::RegisterClassEntry(int32_t classIndex, const char* name, KVClassEntryAccessor accessor) {
    if (classIndex < 0 || !name) return KV_INVALID;
    if (m_classEntries.size() <= size_t(classIndex)) m_classEntries.resize(size_t(classIndex) + 1);
    m_classEntries[size_t(classIndex)].push_back(ClassEntry{name, accessor});
    return KV_OK;
}

// The global named after a valid unit, made a namespace bound to the unit
// when it is absent; nil for an index that names no unit.
void KVLua::PushUnitTable(int32_t unitIndex) {
    lua_State* L = m_state;
    IKVUnit* unit = m_units ? m_units->GetUnit(unitIndex) : nullptr;
    if (!unit) {
        lua_pushnil(L);
        return;
    }
    std::string name = m_units->GetUnitName(unit);
    CreateNamespaceTable(name.c_str(), unitIndex, true);
    lua_pushlstring(L, name.data(), name.size());
    lua_rawget(L, LUA_GLOBALSINDEX);
}

int32_t KVLua::LookupUnitForGlobal(const char* name) {
    return m_units && name ? m_units->FindUnitIndex(name, nullptr) : -1;
}

int32_t KVLua::UpdateUnitBinding(IKVUnit* unit) {
    lua_State* L = m_state;
    if (!L || !m_units || !unit || !lua_checkstack(L, 2)) return KV_INVALID;
    std::string name = m_units->GetUnitName(unit);
    lua_pushlstring(L, name.data(), name.size());
    lua_rawget(L, LUA_GLOBALSINDEX);
    if (UnitBinding* binding = lua_istable(L, -1) ? GetUnitBinding(L, -1) : nullptr)
        binding->unitIndex = m_units->GetUnitIndex(unit);
    lua_pop(L, 1);
    return KV_OK;
}

int32_t KVLua::OnUnitRenamed(IKVUnit* unit, const char* newName) {
    lua_State* L = m_state;
    if (!L || !m_units || !unit || !newName || !lua_checkstack(L, 4)) return KV_INVALID;
    std::string oldName = m_units->GetUnitName(unit);
    if (oldName == newName) return KV_OK;
    lua_pushlstring(L, oldName.data(), oldName.size());
    lua_rawget(L, LUA_GLOBALSINDEX);
    if (lua_isnil(L, -1)) {
        lua_pop(L, 1);
        return KV_OK;
    }
    lua_pushstring(L, newName);
    lua_pushvalue(L, -2);
    lua_rawset(L, LUA_GLOBALSINDEX);
    lua_pushlstring(L, oldName.data(), oldName.size());
    lua_pushnil(L);
    lua_rawset(L, LUA_GLOBALSINDEX);
    if (UnitBinding* old = lua_istable(L, -1) ? GetUnitBinding(L, -1) : nullptr) {
        size_t length = std::strlen(newName);
        lua_pushstring(L, kBindingKey);
        auto* binding = static_cast<UnitBinding*>(lua_newuserdata(L, offsetof(UnitBinding, name) + length + 1));
        binding->unitIndex = old->unitIndex;
        binding->changeCounter = old->changeCounter;
        std::memcpy(binding->name, newName, length + 1);
        lua_rawset(L, -3);
    }
    lua_pop(L, 1);
    return KV_OK;
}

int32_t KVLua::PushUnit(int32_t unitIndex) {
    if (!m_state || !lua_checkstack(m_state, 2)) return KV_FAILED;
    if (unitIndex == -1) {
        lua_pushnil(m_state);
        return KV_OK;
    }
    PushUnitTable(unitIndex);
    return KV_OK;
}

int32_t KVLua::ToUnit(int32_t position) {
    lua_State* L = m_state;
    position = L ? AbsoluteIndex(L, position) : 0;
    if (!IsStackIndex(L, position)) return -1;
    switch (lua_type(L, position)) {
    case LUA_TTABLE: {
        UnitBinding* binding = GetUnitBinding(L, position);
        return binding ? binding->unitIndex : -1;
    }
    case LUA_TSTRING:
    case LUA_TNUMBER: {
        std::string text = ToStdString(position);
        return FindUnit(text.c_str());
    }
    default:
        return -1;
    }
}

int32_t KVLua::FindUnit(const char* name) {
    ReportError(Format("{0} : unknown unit", name ? name : "").c_str());
    return -1;
}

int32_t KVLua::ToClassIndex(int32_t position) {
    (void)position;
    return -1;
}

int32_t KVLua::CheckUnit(int32_t unitIndex) {
    if (m_units && m_units->GetUnit(unitIndex)) return KV_OK;
    ReportError("Unit doesn't exist anymore");
    return 1;
}

int32_t KVLua::PushUnitArray(KVUnitRefArray* array, int32_t ownerUnit, uint64_t attributeId) {
    (void)array;
    (void)ownerUnit;
    (void)attributeId;
    return PushNil();
}

// The key as text, converted in a copy so that the key itself stays as given.
static const char* KeyText(lua_State* L, int index) {
    int type = lua_type(L, index);
    if (type != LUA_TSTRING && type != LUA_TNUMBER) return nullptr;
    lua_pushvalue(L, index);
    return lua_tostring(L, -1);
}

int KVLua::GlobalsIndex(lua_State* L) {
    KVLua* self = Instance();
    lua_settop(L, 2);
    const char* key = KeyText(L, 2);
    if (!self || !key) {
        lua_pushnil(L);
        return 1;
    }
    if (std::strcmp(key, "self") == 0) {
        if (self->m_runningUnits.empty()) {
            lua_pushnil(L);
        } else {
            self->PushUnitTable(self->m_runningUnits.back().unitIndex);
        }
        return 1;
    }
    int32_t unitIndex = self->LookupUnitForGlobal(key);
    if (unitIndex >= 0) self->CreateNamespaceTable(key, unitIndex, true);
    lua_pushvalue(L, 2);
    lua_rawget(L, 1);
    return 1;
}

int KVLua::UnitTableIndex(lua_State* L) {
    KVLua* self = Instance();
    lua_settop(L, 2);
    UnitBinding* binding = GetUnitBinding(L, 1);
    if (!self || !binding || !KeyText(L, 2)) {
        lua_pushnil(L);
        return 1;
    }
    lua_pushstring(L, binding->name);
    lua_rawget(L, LUA_GLOBALSINDEX);
    if (lua_istable(L, -1)) {
        lua_pushvalue(L, 2);
        lua_rawget(L, -2);
        if (!lua_isnil(L, -1)) return 1;
        lua_pop(L, 1);
    }
    lua_pop(L, 1);
    if (binding->unitIndex == -1) {
        lua_pushnil(L);
        return 1;
    }
    if (!self->m_units || !self->m_units->GetUnit(binding->unitIndex)) {
        self->ReportError("Unit doesn't exist anymore");
        return 0;
    }
    lua_pushnil(L);
    return 1;
}

int KVLua::UnitTableNewIndex(lua_State* L) {
    KVLua* self = Instance();
    UnitBinding* binding = GetUnitBinding(L, 1);
    if (!self || !binding) {
        lua_settop(L, 3);
        lua_rawset(L, 1);
        return 0;
    }
    if (binding->unitIndex != -1 && (!self->m_units || !self->m_units->GetUnit(binding->unitIndex))) {
        self->ReportError("Unit doesn't exist anymore");
        return 0;
    }
    lua_settop(L, 3);
    lua_pushstring(L, binding->name);
    lua_rawget(L, LUA_GLOBALSINDEX);
    // A namespace whose global was replaced keeps its values itself.
    int target = lua_istable(L, -1) ? 4 : 1;
    lua_pushvalue(L, 2);
    lua_pushvalue(L, 3);
    lua_rawset(L, target);
    if (self->m_scriptsLoading) ++binding->changeCounter;
    return 0;
}

int KVLua::UnitTableEquals(lua_State* L) {
    UnitBinding* a = GetUnitBinding(L, 1);
    UnitBinding* b = GetUnitBinding(L, 2);
    // Namespaces bound to no unit are equal only to themselves, and that
    // case never reaches this function.
    lua_pushboolean(L, a && b && a->unitIndex == b->unitIndex && a->unitIndex != -1);
    return 1;
}

void KVLua::RegisterGlobalFunctions() {
    lua_State* L = m_state;
    lua_pushcfunction(L, GlobalUnit);
    lua_setfield(L, LUA_GLOBALSINDEX, "unit");
    for (LibraryEntry& entry : m_libraries) {
        if (entry.name != "KVLog") continue;
        for (auto& record : entry.functions) {
            if (std::strcmp(record->name, "Log") != 0) continue;
            lua_pushlightuserdata(L, record.get());
            lua_pushcclosure(L, CallLibraryFunction, 1);
            lua_setfield(L, LUA_GLOBALSINDEX, "log");
            break;
        }
        break;
    }
    lua_pushcfunction(L, GlobalNamespace);
    lua_setfield(L, LUA_GLOBALSINDEX, "namespace");
}

int KVLua::GlobalUnit(lua_State* L) {
    KVLua* self = Instance();
    if (!self || self->CheckArgCount(1, false)) return 0;
    int32_t unitIndex = -1;
    if (lua_type(L, 1) == LUA_TNUMBER) {
        unitIndex = NumberToInt32(lua_tonumber(L, 1));
    } else if (lua_type(L, 1) == LUA_TSTRING) {
        unitIndex = self->LookupUnitForGlobal(lua_tostring(L, 1));
    }
    if (unitIndex < 0) {
        lua_pushnil(L);
    } else {
        self->PushUnitTable(unitIndex);
    }
    return 1;
}

int KVLua::GlobalNamespace(lua_State* L) {
    KVLua* self = Instance();
    if (!self || self->CheckArgCount(1, false)) return 0;
    if (!lua_isstring(L, 1)) {
        self->ArgumentError(1);
        return 0;
    }
    lua_pushvalue(L, 1);
    lua_rawget(L, LUA_GLOBALSINDEX);
    return 1;
}

} // namespace kvl
