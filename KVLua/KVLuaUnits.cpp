// Namespace tables and their shared metatable, the globals' lookup, the
// global functions "unit", "log" and "namespace", the unit operations and
// the class tables. Units themselves are reached through IKVScriptUnits.
#include <cstring>
#include <utility>

#include "../kernel/KVFormat.h"
#include "IKVScriptUnits.h"
#include "KVLua.h"
#include "KVLuaInternal.h"

namespace kvl {

using namespace luadetail;

namespace {

// Unit indices past this are not worth a cached name.
constexpr int32_t kMaxCachedUnit = 1 << 20;

// "A:B" split at its first colon; false without one.
bool SplitAtColon(const std::string& text, std::string* before, std::string* after) {
    size_t colon = text.find(':');
    if (colon == std::string::npos) return false;
    *before = text.substr(0, colon);
    *after = text.substr(colon + 1);
    return true;
}

} // namespace

bool KVLua::BindPlainTable(int table, IKVUnit* unit, int32_t unitIndex, const std::string& name) {
    lua_State* L = m_state;
    if (!lua_istable(L, table) || !lua_checkstack(L, 4)) return false;
    table = AbsoluteIndex(L, table);
    if (!IsPlainTable(L, table)) return false;
    lua_pushstring(L, kBindingKey);
    auto* binding = static_cast<UnitBinding*>(lua_newuserdata(L, offsetof(UnitBinding, name) + name.size() + 1));
    binding->unitIndex = unitIndex;
    binding->changeCounter = 0;
    std::memcpy(binding->name, name.c_str(), name.size() + 1);
    lua_rawset(L, table);
    lua_pushstring(L, kUnitMetatableName);
    lua_rawget(L, LUA_GLOBALSINDEX);
    if (!lua_istable(L, -1)) {
        lua_pop(L, 1);
        return true;
    }
    lua_setmetatable(L, table);
    if (unit && m_units) m_units->OnScriptTableAdopted(unit);
    return true;
}

bool KVLua::AdoptStoredTable(int table, IKVUnit* unit, int32_t unitIndex, const std::string& name) {
    lua_State* L = m_state;
    // A read has no side effects: the table waits for the next meeting.
    if (!L || !IsPlainTable(L, table) || ReadingMember()) return false;
    table = AbsoluteIndex(L, table);
    if (!BindPlainTable(table, unit, unitIndex, name)) return false;
    // What the script wrote into the plain table under attribute names
    // reaches the unit now, and leaves the table so it never hides them.
    lua_pushcfunction(L, WriteAdoptedKeys);
    lua_pushvalue(L, table);
    if (ProtectedCall(L, 1, 0) != 0) {
        ReportError(ErrorText(L, -1).c_str());
        lua_pop(L, 1);
    }
    return true;
}

bool KVLua::ReadingMember() {
    lua_State* L = m_state;
    lua_Debug ar;
    if (!L || !lua_getstack(L, 0, &ar) || !lua_checkstack(L, 1) || !lua_getinfo(L, "f", &ar)) return false;
    const lua_CFunction running = lua_tocfunction(L, -1);
    lua_pop(L, 1);
    return running && (running == UnitTableIndex || running == GlobalsIndex || running == UnitArrayIndex ||
                       running == ParameterIndex || IsProxyReader(running));
}

int KVLua::WriteAdoptedKeys(lua_State* L) {
    // The keys first: a table gains no keys while it is walked.
    lua_settop(L, 1);
    lua_newtable(L);
    int count = 0;
    lua_pushnil(L);
    while (lua_next(L, 1)) {
        lua_pop(L, 1);
        if (lua_type(L, -1) == LUA_TSTRING && std::strcmp(lua_tostring(L, -1), kBindingKey) != 0) {
            lua_pushvalue(L, -1);
            lua_rawseti(L, 2, ++count);
        }
    }
    // Each one written again through the unit's metatable: an attribute or
    // computed member takes the value, anything else is stored back.
    for (int i = 1; i <= count; ++i) {
        lua_rawgeti(L, 2, i);
        lua_pushvalue(L, 3);
        lua_rawget(L, 1);
        if (!lua_isnil(L, 4)) {
            lua_pushvalue(L, 3);
            lua_pushnil(L);
            lua_rawset(L, 1);
            lua_settable(L, 1);
        }
        lua_settop(L, 2);
    }
    return 0;
}

bool KVLua::AdoptNamedTable(IKVUnit* unit, int32_t unitIndex) {
    lua_State* L = m_state;
    if (!L || !m_units || !unit || !lua_checkstack(L, 2)) return false;
    PushUnitName(unit, unitIndex);
    lua_rawget(L, LUA_GLOBALSINDEX);
    const bool adopted = AdoptStoredTable(-1, unit, unitIndex, m_units->GetUnitName(unit));
    lua_pop(L, 1);
    return adopted;
}

void KVLua::CreateUnitMetatable() {
    lua_State* L = m_state;
    lua_pushstring(L, kUnitMetatableName);
    lua_newtable(L);
    // Each function keeps the binding key as a ready Lua string.
    const lua_CFunction functions[] = {UnitTableIndex, UnitTableNewIndex, UnitTableEquals};
    const char* names[] = {"__index", "__newindex", "__eq"};
    for (int i = 0; i < 3; ++i) {
        lua_pushstring(L, kBindingKey);
        lua_pushcclosure(L, functions[i], 1);
        lua_setfield(L, -2, names[i]);
    }
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

void KVLua::PushInterned(InternedText& slot, const std::string& text) {
    lua_State* L = m_state;
    if (slot.ref != LUA_NOREF && slot.text == text) {
        lua_rawgeti(L, LUA_REGISTRYINDEX, slot.ref);
        return;
    }
    lua_pushlstring(L, text.data(), text.size());
    if (slot.ref != LUA_NOREF) luaL_unref(L, LUA_REGISTRYINDEX, slot.ref);
    lua_pushvalue(L, -1);
    slot.ref = luaL_ref(L, LUA_REGISTRYINDEX);
    slot.text = text;
}

void KVLua::PushUnitName(IKVUnit* unit, int32_t unitIndex) {
    const std::string& name = m_units->GetUnitName(unit);
    if (unitIndex < 0 || unitIndex >= kMaxCachedUnit) {
        lua_pushlstring(m_state, name.data(), name.size());
        return;
    }
    if (m_unitNames.size() <= size_t(unitIndex)) m_unitNames.resize(size_t(unitIndex) + 1);
    PushInterned(m_unitNames[size_t(unitIndex)], name);
}

void KVLua::PushBindingName(lua_State* L, const char* name, int32_t unitIndex) {
    // Another state has a registry of its own.
    if (L != m_state || unitIndex < 0 || unitIndex >= kMaxCachedUnit) {
        lua_pushstring(L, name);
        return;
    }
    if (m_unitNames.size() <= size_t(unitIndex)) m_unitNames.resize(size_t(unitIndex) + 1);
    InternedText& slot = m_unitNames[size_t(unitIndex)];
    if (slot.ref != LUA_NOREF && std::strcmp(slot.text.c_str(), name) == 0) {
        lua_rawgeti(m_state, LUA_REGISTRYINDEX, slot.ref);
        return;
    }
    PushInterned(slot, name);
}

void KVLua::PushClassName(int32_t classIndex, const std::string& name) {
    if (classIndex < 0 || classIndex >= kMaxCachedUnit) {
        lua_pushlstring(m_state, name.data(), name.size());
        return;
    }
    if (m_classNames.size() <= size_t(classIndex)) m_classNames.resize(size_t(classIndex) + 1);
    PushInterned(m_classNames[size_t(classIndex)], name);
}

void KVLua::PushEventName(const char* name) {
    // The per-frame event, named by the binding's own constant.
    if (name == kUpdateEventName) {
        if (m_updateEventName.ref != LUA_NOREF)
            lua_rawgeti(m_state, LUA_REGISTRYINDEX, m_updateEventName.ref);
        else
            PushInterned(m_updateEventName, name);
        return;
    }
    // Most recently used first: a frame raises the same event on many units.
    const size_t count = sizeof m_eventNames / sizeof m_eventNames[0];
    for (size_t i = 0; i < count; ++i) {
        InternedText& slot = m_eventNames[i];
        if (slot.ref == LUA_NOREF || std::strcmp(slot.text.c_str(), name) != 0) continue;
        lua_rawgeti(m_state, LUA_REGISTRYINDEX, slot.ref);
        if (i > 0) std::swap(m_eventNames[i], m_eventNames[0]);
        return;
    }
    // The least recently used entry makes room.
    for (size_t i = count - 1; i > 0; --i) std::swap(m_eventNames[i], m_eventNames[i - 1]);
    PushInterned(m_eventNames[0], name);
}

void KVLua::PushCallName(lua_State* L, size_t slot, const char* name) {
    // Another state has a registry of its own.
    if (L != m_state) {
        lua_pushstring(L, name);
        return;
    }
    InternedText& text = m_callNames[slot];
    if (text.ref != LUA_NOREF && std::strcmp(text.text.c_str(), name) == 0) {
        lua_rawgeti(L, LUA_REGISTRYINDEX, text.ref);
        return;
    }
    PushInterned(text, name);
}

void KVLua::ForgetInternedTexts() {
    // The references died with the state that held them.
    m_unitNames.clear();
    m_classNames.clear();
    for (InternedText& slot : m_eventNames) slot = InternedText();
    m_updateEventName = InternedText();
    for (InternedText& slot : m_callNames) slot = InternedText();
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
    PushUnitName(unit, unitIndex);
    lua_rawget(L, LUA_GLOBALSINDEX);
    const std::string& name = m_units->GetUnitName(unit);
    if (!lua_isnil(L, -1)) {
        AdoptStoredTable(-1, unit, unitIndex, name);
        return;
    }
    lua_pop(L, 1);
    CreateNamespaceTable(name.c_str(), unitIndex, true);
    PushUnitName(unit, unitIndex);
    lua_rawget(L, LUA_GLOBALSINDEX);
}

int32_t KVLua::LookupUnitForGlobal(const char* name) {
    return m_units && name ? m_units->FindUnitIndex(name, nullptr) : -1;
}

int32_t KVLua::UpdateUnitBinding(IKVUnit* unit) {
    lua_State* L = m_state;
    if (!L || !m_units || !unit || !lua_checkstack(L, 2)) return KV_INVALID;
    const std::string& name = m_units->GetUnitName(unit);
    lua_pushlstring(L, name.data(), name.size());
    lua_rawget(L, LUA_GLOBALSINDEX);
    if (UnitBinding* binding = lua_istable(L, -1) ? GetUnitBinding(L, -1) : nullptr)
        binding->unitIndex = m_units->GetUnitIndex(unit);
    else
        BindPlainTable(-1, unit, m_units->GetUnitIndex(unit), name);
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
        lua_pushstring(L, newName);
        lua_rawget(L, LUA_GLOBALSINDEX);
        BindPlainTable(-1, unit, m_units->GetUnitIndex(unit), newName);
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

int32_t KVLua::OnUnitClosed(IKVUnit* unit) {
    lua_State* L = m_state;
    if (!L || !m_units || !unit || !lua_checkstack(L, 2)) return KV_INVALID;
    const std::string& name = m_units->GetUnitName(unit);
    lua_pushlstring(L, name.data(), name.size());
    lua_rawget(L, LUA_GLOBALSINDEX);
    UnitBinding* binding = lua_istable(L, -1) ? GetUnitBinding(L, -1) : nullptr;
    if (binding && binding->unitIndex >= 0 && binding->unitIndex == m_units->GetUnitIndex(unit))
        binding->unitIndex = kClosedUnit;
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
        if (UnitBinding* binding = GetUnitBinding(L, position))
            return binding->unitIndex >= 0 ? binding->unitIndex : -1;
        return UnitOfPlainTable(position);
    }
    case LUA_TSTRING:
    case LUA_TNUMBER: {
        // Read from a copy: a number argument stays a number.
        lua_pushvalue(L, position);
        size_t length = 0;
        const char* raw = lua_tolstring(L, -1, &length);
        std::string text(raw, length);
        lua_pop(L, 1);
        return FindUnit(text.c_str());
    }
    default:
        return -1;
    }
}

int32_t KVLua::UnitOfPlainTable(int position) {
    lua_State* L = m_state;
    if (!L || !m_units || !IsPlainTable(L, position) || !lua_checkstack(L, 3)) return -1;
    position = AbsoluteIndex(L, position);
    // The globals hold it under the unit's name: the table is found by
    // identity, and only a name holding it is looked up as a unit.
    const void* table = lua_topointer(L, position);
    int32_t unitIndex = -1;
    std::string name;
    lua_pushnil(L);
    while (lua_next(L, LUA_GLOBALSINDEX)) {
        const bool named = lua_type(L, -2) == LUA_TSTRING && lua_topointer(L, -1) == table;
        lua_pop(L, 1);
        if (!named) continue;
        name = lua_tostring(L, -1);
        unitIndex = LookupUnitForGlobal(name.c_str());
        if (unitIndex >= 0) {
            lua_pop(L, 1);
            break;
        }
    }
    if (unitIndex >= 0) AdoptStoredTable(position, m_units->GetUnit(unitIndex), unitIndex, name);
    return unitIndex;
}

int32_t KVLua::FindUnit(const char* name) {
    std::string text = name ? name : "";
    std::string className;
    std::string unitName;
    int32_t unitIndex = -1;
    if (m_units) {
        if (SplitAtColon(text, &className, &unitName))
            unitIndex = m_units->FindUnitIndex(unitName.c_str(), className.c_str());
        else
            unitIndex = m_units->FindUnitIndex(text.c_str(), nullptr);
    }
    if (unitIndex < 0) {
        ReportError((text + " : unknown unit").c_str());
        return -1;
    }
    AdoptNamedTable(m_units->GetUnit(unitIndex), unitIndex);
    return unitIndex;
}

int32_t KVLua::ToClassIndex(int32_t position) {
    lua_State* L = m_state;
    position = L ? AbsoluteIndex(L, position) : 0;
    if (!m_units || !IsStackIndex(L, position)) return -1;
    int32_t count = m_units->GetClassCount();
    if (lua_type(L, position) == LUA_TNUMBER) {
        int32_t classIndex = NumberToInt32(lua_tonumber(L, position));
        // Negative numbers name no class either.
        return classIndex >= 0 && classIndex < count ? classIndex : -1;
    }
    if (lua_type(L, position) != LUA_TSTRING) return -1;
    size_t length = 0;
    const char* text = lua_tolstring(L, position, &length);
    for (int32_t i = 0; i < count; ++i) {
        const char* name = m_units->GetClassNameAt(i);
        if (name && std::strlen(name) == length && std::memcmp(name, text, length) == 0) return i;
    }
    return -1;
}

int32_t KVLua::CheckUnit(int32_t unitIndex) {
    IKVUnit* unit = m_units ? m_units->GetUnit(unitIndex) : nullptr;
    if (!unit) {
        ReportError("Unit doesn't exist anymore");
        return 1;
    }
    if (m_units->IsClosing(unitIndex)) {
        FormatLocation(Format("Unit {0} is closing and doesn't exist anymore", m_units->GetUnitName(unit)));
        return 1;
    }
    return KV_OK;
}

int KVLua::GlobalsIndex(lua_State* L) {
    KVLua* self = Instance();
    ThreadScope thread(self, L);
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
    ThreadScope thread(self, L);
    if (!self || self->CheckArgCount(1, false)) return 0;
    int32_t unitIndex = -1;
    if (lua_type(L, 1) == LUA_TNUMBER) {
        unitIndex = NumberToInt32(lua_tonumber(L, 1));
    } else if (lua_type(L, 1) == LUA_TSTRING && self->m_units) {
        // Here the unit's name comes first and its class after the colon.
        std::string text = lua_tostring(L, 1);
        std::string unitName;
        std::string className;
        if (SplitAtColon(text, &unitName, &className))
            unitIndex = self->m_units->FindUnitIndex(unitName.c_str(), className.c_str());
        else
            unitIndex = self->LookupUnitForGlobal(text.c_str());
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
    ThreadScope thread(self, L);
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
