// Reading and writing the members of a unit's table: the table's own values,
// the unit's script functions, attributes, computed members, parameter
// arrays and class functions, in that order, with the base classes walked.
#include <cstring>

#include "../kernel/KVFormat.h"
#include "IKVScriptUnits.h"
#include "KVLua.h"
#include "KVLuaInternal.h"

namespace kvl {

using namespace luadetail;

namespace {

// Results a native function says it left, within what the stack holds.
int ClampResults(lua_State* L, int results) {
    int top = lua_gettop(L);
    if (results < 0) return 0;
    return results > top ? top : results;
}

void PushParameterValue(lua_State* L, const KVScriptParameter& parameter, int32_t position) {
    const auto* bytes = static_cast<const uint8_t*>(parameter.values) + size_t(position) * 4;
    if (parameter.kind == 1) {
        float value = 0.0f;
        std::memcpy(&value, bytes, sizeof value);
        lua_pushnumber(L, double(value));
    } else {
        int32_t value = 0;
        std::memcpy(&value, bytes, sizeof value);
        lua_pushnumber(L, double(value));
    }
}

} // namespace

int KVLua::UnitTableIndex(lua_State* L) {
    KVLua* self = Instance();
    ThreadScope thread(self, L);
    lua_settop(L, 2);
    UnitBinding* binding = GetUnitBinding(L, 1, lua_upvalueindex(1));
    // A text key is used where it lies; a number is read as text in a copy
    // (slot 3), so that the key itself stays as given.
    int keyIndex = 2;
    const char* key = lua_type(L, 2) == LUA_TSTRING ? lua_tostring(L, 2) : nullptr;
    if (!key) {
        key = KeyText(L, 2);
        keyIndex = 3;
    }
    if (!self || !binding || !key) {
        lua_pushnil(L);
        return 1;
    }
    // The global table named in the binding; the table itself already
    // answered nil, so only another one is asked.
    self->PushBindingName(L, binding->name, binding->unitIndex);
    lua_rawget(L, LUA_GLOBALSINDEX);
    // A plain table stored under the name since is only read here: a read
    // writes no attribute, and the next meeting with the unit adopts it.
    if (lua_type(L, -1) == LUA_TTABLE && lua_topointer(L, -1) != lua_topointer(L, 1)) {
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
    int32_t unitIndex = binding->unitIndex;
    IKVUnit* unit = self->m_units ? self->m_units->GetUnit(unitIndex) : nullptr;
    if (!unit) {
        self->ReportError("Unit doesn't exist anymore");
        return 0;
    }
    return self->IndexUnit(L, unit, unitIndex, keyIndex, key);
}

int KVLua::IndexUnit(lua_State* L, IKVUnit* unit, int32_t unitIndex, int keyIndex, const char* key) {
    // A native function called by Lua has LUA_MINSTACK free slots; the
    // steps below push at most six values before their results.
    if (PushUnitScriptFunction(unit, unitIndex, keyIndex, false)) return 1;
    if (m_units->PushAttributeToLua(unit, key) == KV_OK) return 1;
    int32_t classIndex = m_units->GetUnitClass(unit);
    if (const ClassEntry* entry = FindClassEntry(classIndex, key)) {
        int top = lua_gettop(L);
        int results = entry->accessor ? entry->accessor(unit, 1) : 0;
        // Only values the accessor pushed are results.
        int pushed = lua_gettop(L) - top;
        return results < 0 ? 0 : (results > pushed ? pushed : results);
    }
    if (PushParameter(unit, unitIndex, key)) return 1;
    if (PushClassFunction(classIndex, unitIndex, key)) return 1;
    lua_pushnil(L);
    return 1;
}

bool KVLua::LookUpScriptFunction(int keyIndex) {
    // The global table whose name is on top, asked for the key raw. The
    // name is taken; a function found is left on top.
    lua_State* L = m_state;
    lua_rawget(L, LUA_GLOBALSINDEX);
    if (lua_type(L, -1) != LUA_TTABLE) {
        lua_pop(L, 1);
        return false;
    }
    lua_pushvalue(L, keyIndex);
    lua_rawget(L, -2);
    if (lua_isfunction(L, -1)) {
        lua_replace(L, -2);
        return true;
    }
    lua_pop(L, 2);
    return false;
}

void KVLua::PushScriptFunctionClosure(int32_t unitIndex, int keyIndex, bool alias, const std::string& table) {
    // The closure finds the function again, by the table's name, when called.
    lua_State* L = m_state;
    lua_pop(L, 1);
    lua_pushnumber(L, unitIndex);
    lua_pushlstring(L, table.data(), table.size());
    lua_pushvalue(L, keyIndex);
    lua_pushboolean(L, alias);
    lua_pushcclosure(L, UnitFunctionClosure, 4);
}

bool KVLua::PushUnitScriptFunction(IKVUnit* unit, int32_t unitIndex, int keyIndex, bool classOnly) {
    lua_State* L = m_state;
    if (!classOnly) {
        const std::string& alias = m_units->GetAliasName(unit);
        if (!alias.empty()) {
            lua_pushlstring(L, alias.data(), alias.size());
            if (LookUpScriptFunction(keyIndex)) {
                PushScriptFunctionClosure(unitIndex, keyIndex, true, alias);
                return true;
            }
        }
    }
    const std::string& className = m_units->GetClassName(unit);
    PushClassName(m_units->GetUnitClass(unit), className);
    if (!LookUpScriptFunction(keyIndex)) return false;
    PushScriptFunctionClosure(unitIndex, keyIndex, false, className);
    return true;
}

const KVLua::ClassEntry* KVLua::FindClassEntry(int32_t classIndex, const char* name) const {
    // Guards the walk against a base chain that loops.
    int32_t steps = m_units ? m_units->GetClassCount() : 0;
    for (; classIndex >= 0 && steps-- >= 0; classIndex = m_units->GetBaseClass(classIndex)) {
        if (size_t(classIndex) >= m_classEntries.size()) continue;
        for (const ClassEntry& entry : m_classEntries[size_t(classIndex)])
            if (entry.name == name) return &entry;
    }
    return nullptr;
}

bool KVLua::PushClassFunction(int32_t classIndex, int32_t unitIndex, const char* name) {
    lua_State* L = m_state;
    int32_t steps = m_units->GetClassCount();
    for (; classIndex >= 0 && steps-- >= 0; classIndex = m_units->GetBaseClass(classIndex)) {
        if (size_t(classIndex) >= m_classFunctions.size()) continue;
        const std::vector<ClassFunctionEntry>& entries = m_classFunctions[size_t(classIndex)];
        for (size_t i = 0; i < entries.size(); ++i) {
            if (entries[i].name != name) continue;
            // The entry is found again by class and place when called.
            lua_pushnumber(L, classIndex);
            lua_pushnumber(L, double(i));
            lua_pushnumber(L, unitIndex);
            lua_pushcclosure(L, ClassFunctionClosure, 3);
            m_classFunctionName = entries[i].name;
            m_currentFunctionName = m_classFunctionName.c_str();
            return true;
        }
    }
    return false;
}

int KVLua::ClassFunctionClosure(lua_State* L) {
    KVLua* self = Instance();
    if (!self || !self->m_units) return 0;
    ThreadScope thread(self, L);
    int32_t classIndex = NumberToInt32(lua_tonumber(L, lua_upvalueindex(1)));
    int32_t position = NumberToInt32(lua_tonumber(L, lua_upvalueindex(2)));
    int32_t unitIndex = NumberToInt32(lua_tonumber(L, lua_upvalueindex(3)));
    const ClassFunctionEntry* entry = nullptr;
    if (classIndex >= 0 && size_t(classIndex) < self->m_classFunctions.size() && position >= 0 &&
        size_t(position) < self->m_classFunctions[size_t(classIndex)].size())
        entry = &self->m_classFunctions[size_t(classIndex)][size_t(position)];
    IKVUnit* unit = self->m_units->GetUnit(unitIndex);
    int results = 0;
    if (!unit) {
        // A method kept by a script after its unit closed.
        self->ReportError("Unit doesn't exist anymore");
    } else if (entry && entry->function) {
        results = entry->function(unit);
    } else if (entry && entry->value) {
        results = entry->value(self->m_units->GetExtraData(unit));
    }
    self->m_currentFunctionName = nullptr;
    return ClampResults(L, results);
}

bool KVLua::PushParameter(IKVUnit* unit, int32_t unitIndex, const char* name) {
    lua_State* L = m_state;
    int32_t position = m_units->FindParameter(unit, name);
    KVScriptParameter parameter;
    if (position < 0 || !m_units->GetParameter(unitIndex, position, &parameter)) return false;
    if (parameter.count < 2) {
        // An empty array has no value to give.
        if (parameter.count == 1)
            PushParameterValue(L, parameter, 0);
        else
            lua_pushnil(L);
        return true;
    }
    lua_newtable(L);
    lua_newtable(L);
    const lua_CFunction functions[] = {ParameterIndex, ParameterNewIndex};
    const char* names[] = {"__index", "__newindex"};
    for (int i = 0; i < 2; ++i) {
        lua_pushnumber(L, unitIndex);
        lua_pushnumber(L, position);
        lua_pushcclosure(L, functions[i], 2);
        lua_setfield(L, -2, names[i]);
    }
    lua_setmetatable(L, -2);
    return true;
}

namespace {

// The parameter array of the proxy function running and the element its
// key names; false, reported, when the unit is gone or the position lies
// outside the array.
bool ParameterElement(lua_State* L, IKVScriptUnits* units, KVScriptParameter* parameter, int32_t* element) {
    KVLua* lua = KVLua::Instance();
    int32_t unitIndex = NumberToInt32(lua_tonumber(L, lua_upvalueindex(1)));
    int32_t position = NumberToInt32(lua_tonumber(L, lua_upvalueindex(2)));
    if (!units || !units->GetParameter(unitIndex, position, parameter)) {
        lua->ReportError("Unit doesn't exist anymore");
        return false;
    }
    *element = NumberToInt32(lua_tonumber(L, 2));
    if (*element < 0 || *element >= parameter->count) {
        lua->ReportError(Format("{0} is an invalid index", *element).c_str());
        return false;
    }
    return true;
}

} // namespace

int KVLua::ParameterIndex(lua_State* L) {
    KVLua* self = Instance();
    ThreadScope thread(self, L);
    KVScriptParameter parameter;
    int32_t element = 0;
    if (!self || !ParameterElement(L, self->m_units, &parameter, &element)) return 0;
    PushParameterValue(L, parameter, element);
    return 1;
}

int KVLua::ParameterNewIndex(lua_State* L) {
    KVLua* self = Instance();
    ThreadScope thread(self, L);
    KVScriptParameter parameter;
    int32_t element = 0;
    if (!self || !ParameterElement(L, self->m_units, &parameter, &element)) return 0;
    auto* bytes = static_cast<uint8_t*>(parameter.values) + size_t(element) * 4;
    if (parameter.kind == 1) {
        float value = ToFloat(lua_tonumber(L, 3));
        std::memcpy(bytes, &value, sizeof value);
    } else {
        int32_t value = NumberToInt32(lua_tonumber(L, 3));
        std::memcpy(bytes, &value, sizeof value);
    }
    self->m_units->NotifyParameterChanged(NumberToInt32(lua_tonumber(L, lua_upvalueindex(1))),
                                          NumberToInt32(lua_tonumber(L, lua_upvalueindex(2))));
    return 0;
}

int KVLua::UnitTableNewIndex(lua_State* L) {
    KVLua* self = Instance();
    ThreadScope thread(self, L);
    lua_settop(L, 3);
    UnitBinding* binding = GetUnitBinding(L, 1, lua_upvalueindex(1));
    if (!self || !binding) {
        lua_rawset(L, 1);
        return 0;
    }
    if (binding->unitIndex != -1) {
        IKVUnit* unit = self->m_units ? self->m_units->GetUnit(binding->unitIndex) : nullptr;
        if (!unit) {
            self->ReportError("Unit doesn't exist anymore");
            return 0;
        }
        // The value stays at slot 3, where setters read it; a number key
        // is read as text in a copy above it.
        const char* key = lua_type(L, 2) == LUA_TSTRING ? lua_tostring(L, 2) : KeyText(L, 2);
        if (key) {
            if (self->m_units->SetAttributeFromLua(unit, key) == KV_OK) return 0;
            if (const ClassEntry* entry = self->FindClassEntry(self->m_units->GetUnitClass(unit), key)) {
                if (entry->accessor) entry->accessor(unit, 0);
                return 0;
            }
        }
        lua_settop(L, 3);
    }
    self->PushBindingName(L, binding->name, binding->unitIndex);
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
    UnitBinding* a = GetUnitBinding(L, 1, lua_upvalueindex(1));
    UnitBinding* b = GetUnitBinding(L, 2, lua_upvalueindex(1));
    // Namespaces bound to no unit, or to a unit that closed, are equal only
    // to themselves, and that case never reaches this function.
    lua_pushboolean(L, a && b && a->unitIndex == b->unitIndex && a->unitIndex >= 0);
    return 1;
}

} // namespace kvl
