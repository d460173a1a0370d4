#include "KVLua.h"

#include <cstdlib>
#include <cstring>

#include "../kernel/IKVCore.h"
#include "../kernel/IKVLog.h"
#include "../kernel/IKVProperties.h"
#include "../kernel/KVCore.h"
#include "../kernel/KVFormat.h"
#include "../kernel/KVPath.h"
#include "IKVScriptUnits.h"
#include "KVArith.h"
#include "KVLuaInternal.h"
#include "KVLuaState.h"

namespace kvl {

namespace luadetail {

UnitBinding* GetUnitBinding(lua_State* L, int index, int keyIndex) {
    if (lua_type(L, index) != LUA_TTABLE) return nullptr;
    index = AbsoluteIndex(L, index);
    if (keyIndex)
        lua_pushvalue(L, keyIndex);
    else
        lua_pushlstring(L, kBindingKey, std::strlen(kBindingKey));
    lua_rawget(L, index);
    UnitBinding* binding = nullptr;
    // Only a userdata of the binding's own making: no metatable and a name
    // that ends within its size (the block is allocated to the name's end).
    size_t size = lua_type(L, -1) == LUA_TUSERDATA ? lua_objlen(L, -1) : 0;
    if (size > offsetof(UnitBinding, name)) {
        if (lua_getmetatable(L, -1)) {
            lua_pop(L, 1);
        } else {
            auto* candidate = static_cast<UnitBinding*>(lua_touserdata(L, -1));
            if (reinterpret_cast<const char*>(candidate)[size - 1] == 0) binding = candidate;
        }
    }
    lua_pop(L, 1);
    return binding;
}

bool IsPlainTable(lua_State* L, int index) {
    if (lua_type(L, index) != LUA_TTABLE || !lua_checkstack(L, 1)) return false;
    index = AbsoluteIndex(L, index);
    if (lua_getmetatable(L, index)) {
        lua_pop(L, 1);
        return false;
    }
    lua_pushlstring(L, kBindingKey, std::strlen(kBindingKey));
    lua_rawget(L, index);
    const bool plain = lua_isnil(L, -1);
    lua_pop(L, 1);
    return plain;
}

int AbsoluteIndex(lua_State* L, int position) {
    if (position < 0 && position > LUA_REGISTRYINDEX) return lua_gettop(L) + position + 1;
    return position;
}

bool IsStackIndex(lua_State* L, int position) {
    return L && position >= 1 && position <= lua_gettop(L);
}

std::string ErrorText(lua_State* L, int index) {
    size_t length = 0;
    const char* text = lua_tolstring(L, index, &length);
    if (!text) return "(error object is not a string)";
    return std::string(text, length);
}

std::string SourceWithoutPrefix(const char* source) {
    if (!source || !*source) return std::string();
    return std::string(source + 1);
}

void* ScriptAllocator(void* user, void* block, size_t oldSize, size_t newSize) {
    (void)user;
    (void)oldSize;
    if (newSize == 0) {
        std::free(block);
        return nullptr;
    }
    return std::realloc(block, newSize);
}

bool HasRunningFunction(lua_State* L) {
    lua_Debug ar;
    return L && lua_getstack(L, 0, &ar) != 0;
}

} // namespace luadetail

using namespace luadetail;

namespace {

struct StandardLibrary {
    const char* name;
    lua_CFunction open;
};

const StandardLibrary kStandardLibraries[] = {
    {"base", luaopen_base}, {"table", luaopen_table}, {"string", luaopen_string},
    {"math", luaopen_math}, {"debug", luaopen_debug},
};

} // namespace

KVLua::KVLua() { SetLuaBinding(this); }

KVLua::~KVLua() {
    CloseState();
    if (GetLuaBinding() == this) SetLuaBinding(nullptr);
}

int32_t KVLua::QueryInterface(const KVInterfaceId& id, void** out) {
    if (id == IID_IKVLua) return AnswerInterface(static_cast<IKVLua*>(this), out);
    if (out) *out = nullptr;
    return KV_NOT_SUPPORTED;
}

int32_t KVLua::Init(int32_t phase) {
    switch (phase) {
    case 0:
        m_errorHook = nullptr;
        m_scriptsLoading = false;
        m_mainChunkRunning = false;
        CloseState();
        if (!m_debugState) m_debugState.reset(new ScriptDebugState);
        CreateArithLibrary();
        break;
    case 1:
        m_firstErrorLogWrite = true;
        if (IKVFile* file = QueryCoreInterface<IKVFile>(IID_IKVFile)) m_file = file;
        RegisterLibrary("KVLua", this);
        RegisterArithLibrary();
        break;
    case 2:
        m_scriptDirectory = "script/";
        m_commonScriptDirectory = "script/";
        m_eventLoading = false;
        m_logOnDisk = false;
        m_debugStack = false;
        m_oldUnitArray = m_projectFileVersion < 0x20003;
        DeclareProperties();
        if (m_debugState) m_debugState->Reset();
        m_currentFunctionName = nullptr;
        m_eventCallStack.clear();
        m_eventCallDepth = 0;
        break;
    case 3:
        SetupState();
        break;
    default:
        break;
    }
    return KV_OK;
}

int32_t KVLua::Release(int32_t phase) {
    switch (phase) {
    case 1:
        SetupState();
        RebindUnitScripts();
        break;
    case 2:
        CloseState();
        DeleteLibraryFunctions();
        m_firstErrorLogWrite = true;
        break;
    case 4:
        DeleteArithLibrary();
        CloseState();
        DeleteLibraryFunctions();
        m_debugState.reset();
        break;
    default:
        break;
    }
    return KV_OK;
}

void KVLua::CreateArithLibrary() {
    if (!KVArith::Instance()) new KVArith();
}

void KVLua::RegisterArithLibrary() {
    if (KVArith* arith = KVArith::Instance()) RegisterLibrary("KVArith", arith);
}

void KVLua::DeleteArithLibrary() {
    // Its entry must not outlive it: a later set-up would publish a freed table.
    if (KVArith::Instance()) UnregisterLibrary("KVArith");
    delete KVArith::Instance();
}

void KVLua::RebindUnitScripts() {
    if (m_units) m_units->RebindScripts();
}

void KVLua::DeclareProperties() {
    IKVProperties* properties = QueryCoreInterface<IKVProperties>(IID_IKVProperties);
    if (!properties) properties = m_properties;
    if (!properties) return;
    struct Key {
        void* target;
        int32_t type;
        const char* displayName;
        const char* key;
        uint64_t id;
        int32_t flags;
    };
    const Key keys[] = {
        {&m_scriptDirectory, PROPERTY_STRING, "Script directory", "ScriptDirectory", 0x0051584A7596BEA0ull, 2},
        {&m_eventLoading, PROPERTY_BOOLEAN, "OnInit/OnEnable called during loading", "EventLoading",
         0x0000193C795F2303ull, 0},
        {&m_logOnDisk, PROPERTY_BOOLEAN, "Log On Disk", "LogOnDisk", 0x0052B76CA53C6170ull, 0},
        {&m_commonScriptDirectory, PROPERTY_STRING, "Common script directory", "CommonScriptDirectory",
         0x003FFE7D6800F33Cull, 2},
        {&m_debugStack, PROPERTY_BOOLEAN, "Debug stack", "DebugStack", 0x002271E25FC4BB6Aull, 0},
        {&m_oldUnitArray, PROPERTY_BOOLEAN, "Old unit array", "OldUnitArray", 0x0016F8A7BA3A355Dull, 0},
    };
    for (const Key& k : keys) {
        properties->DeclareProperty(DescribeProperty(k.target, k.type, k.displayName, k.key, "Script", k.id, k.flags));
    }
}

int32_t KVLua::RegisterLibrary(const char* name, KVLuaLibrary* library) {
    LibraryEntry entry;
    entry.name = name ? name : "";
    entry.library = library;
    m_libraries.push_back(std::move(entry));
    return KV_OK;
}

int32_t KVLua::UnregisterLibrary(const char* name) {
    if (!name) return KV_NOT_FOUND;
    for (auto it = m_libraries.begin(); it != m_libraries.end(); ++it) {
        if (it->name != name) continue;
        // The published table stays in the state, so its closures keep
        // pointing at these records until the state closes.
        for (auto& record : it->functions) m_retiredFunctions.push_back(std::move(record));
        m_libraries.erase(it);
        return KV_OK;
    }
    return KV_NOT_FOUND;
}

void KVLua::DeleteLibraryFunctions() {
    for (LibraryEntry& entry : m_libraries) {
        entry.functions.clear();
        entry.built = false;
    }
    m_retiredFunctions.clear();
}

void KVLua::ThreadScope::Enter(lua_State* L) {
    // Only threads of the main state share its registry.
    if (lua_topointer(L, LUA_REGISTRYINDEX) != lua_topointer(m_lua->m_state, LUA_REGISTRYINDEX)) return;
    m_thread = L;
    m_previous = m_lua->m_state;
    m_lua->m_state = L;
}

void KVLua::ThreadScope::Leave() {
    // A state made again meanwhile stays.
    if (m_lua->m_state == m_thread) m_lua->m_state = m_previous;
}

int KVLua::CallLibraryFunction(lua_State* L) {
    KVLua* self = Instance();
    auto* record = static_cast<LibraryFunction*>(lua_touserdata(L, lua_upvalueindex(1)));
    if (!self || !record || !record->function) return 0;
    ThreadScope thread(self, L);
    const char* previous = self->m_currentFunctionName;
    self->m_currentFunctionName = record->name;
    int results = record->function();
    self->m_currentFunctionName = previous;
    int top = lua_gettop(L);
    if (results < 0) results = 0;
    if (results > top) results = top;
    return results;
}

void KVLua::PublishLibrary(LibraryEntry& entry) {
    lua_State* L = m_state;
    lua_pushstring(L, entry.name.c_str());
    lua_newtable(L);
    const KVLuaFunctionEntry* table = nullptr;
    if (entry.library) entry.library->GetLuaFunctions(&table);
    if (!table) {
        if (IKVLog* log = GetLog()) {
            log->WriteStringLevel(Format("No Lua functions defined for {0} library", entry.name), KVLOG_WARNING);
        }
    } else {
        if (!entry.built) {
            for (const KVLuaFunctionEntry* pair = table; pair->name; ++pair) {
                entry.functions.emplace_back(new LibraryFunction{pair->name, pair->function, entry.library});
            }
            entry.built = true;
        }
        for (auto& record : entry.functions) {
            lua_pushlightuserdata(L, record.get());
            lua_pushcclosure(L, CallLibraryFunction, 1);
            lua_setfield(L, -2, record->name);
        }
    }
    lua_rawset(L, LUA_GLOBALSINDEX);
}

void KVLua::SetupState() {
    CloseState();
    lua_State* L = lua_newstate(ScriptAllocator, nullptr);
    if (!L) {
        if (IKVLog* log = GetLog()) log->WriteStringLevel("Unable to create the script state", KVLOG_ERROR);
        return;
    }
    m_state = L;
    SetLuaState(L);
    for (const StandardLibrary& library : kStandardLibraries) {
        lua_pushcfunction(L, library.open);
        lua_pushstring(L, library.name);
        lua_call(L, 1, 0);
    }
    lua_settop(L, 0);
    // Protected calls made by scripts restore "self" after an error too.
    lua_pushcfunction(L, ScriptPcall);
    lua_setfield(L, LUA_GLOBALSINDEX, "pcall");
    lua_pushcfunction(L, ScriptXpcall);
    lua_setfield(L, LUA_GLOBALSINDEX, "xpcall");
    // Coroutines resumed by scripts count their calls too.
    InstallCoroutineFunctions();
    CreateSuspendedUnits();
    for (LibraryEntry& entry : m_libraries) PublishLibrary(entry);

    // The call hook is put on when a running unit is pushed.
    m_mainState = L;
    m_runningThread = L;
    m_threadFloor = 0;
    m_countingCalls = false;

    lua_newtable(L);
    lua_pushcfunction(L, GlobalsIndex);
    lua_setfield(L, -2, "__index");
    lua_setmetatable(L, LUA_GLOBALSINDEX);

    CreateUnitMetatable();
    CreateNamespaceTable("Application", -1, false);
    LoadScriptDirectory(MakeAbsolutePath(GetProjectDirectory(), m_commonScriptDirectory));
    RegisterGlobalFunctions();
}

void KVLua::CloseState() {
    if (m_state) {
        // A quit signal from here on finds no state to stop (InterruptScripts).
        m_mainState = nullptr;
        m_runningThread = nullptr;
        // Finalizers run while the state closes; they are no script calls.
        lua_sethook(m_state, nullptr, 0, 0);
        if (GetLuaState() == m_state) SetLuaState(nullptr);
        lua_close(m_state);
    }
    m_state = nullptr;
    m_retiredFunctions.clear();
    m_runningUnits.clear();
    m_callDepth = 0;
    m_countingCalls = false;
    m_mainState = nullptr;
    m_runningThread = nullptr;
    m_threadFloor = 0;
    m_namespacesToInit.clear();
    m_currentFunctionName = nullptr;
    ForgetInternedTexts();
}

int32_t KVLua::GetLuaFunctions(const KVLuaFunctionEntry** out) {
    static const KVLuaFunctionEntry kFunctions[] = {
        {"LoadLibrary", LibLoadLibrary},
        {"Include", LibInclude},
        {"IsFunctionExists", LibIsFunctionExists},
        {"ScriptFile", LibScriptFile},
        {"ScriptLine", LibScriptLine},
        {"GetCallstack", LibGetCallstack},
        {"CallGC", LibCallGC},
        {"CreateNamespace", LibCreateNamespace},
        {"PushSelf", LibPushSelf},
        {nullptr, nullptr},
    };
    if (out) *out = kFunctions;
    return KV_OK;
}

void KVLua::CloseStateOn(lua_State* L) {
    // Closing any thread closes its whole state: never one of the main state's.
    if (!L || (m_mainState && lua_topointer(L, LUA_REGISTRYINDEX) == lua_topointer(m_mainState, LUA_REGISTRYINDEX)))
        return;
    lua_close(L);
}

int32_t KVLua::RegisterFunctionOn(lua_State* L, const char* nameSpace, const char* name, KVStateFunction fn) {
    if (!L || !name || !fn) return KV_INVALID;
    if (!nameSpace) {
        lua_pushcfunction(L, fn);
        lua_setfield(L, LUA_GLOBALSINDEX, name);
        return KV_OK;
    }
    lua_getfield(L, LUA_GLOBALSINDEX, nameSpace);
    if (!lua_istable(L, -1)) {
        lua_pop(L, 1);
        lua_newtable(L);
        lua_pushvalue(L, -1);
        lua_setfield(L, LUA_GLOBALSINDEX, nameSpace);
    }
    lua_pushcfunction(L, fn);
    lua_setfield(L, -2, name);
    lua_pop(L, 1);
    return KV_OK;
}

} // namespace kvl
