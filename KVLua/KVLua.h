#pragma once
// The script binding: owns the one Lua state in which every game script
// runs, publishes the modules' script libraries, loads the script files,
// raises script events and reports script errors.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "../kernel/IKVFile.h"
#include "../kernel/IKVModule.h"
#include "../kernel/KVLuaLibrary.h"
#include "../kernel/KVWriteFailure.h"
#include "../kernel/Singleton.h"
#include "IKVLua.h"
#include "ScriptDebugState.h"

struct lua_State;
struct lua_Debug;

namespace kvl {

class IKVProperties;
class IKVScriptUnits;

using KVErrorHook = void (*)(const char* text);
using KVStateFunction = int (*)(lua_State* L);
using KVClassFunction = int (*)(IKVUnit* unit);
using KVClassEntryAccessor = int (*)(IKVUnit* unit, int32_t read);

// A script number as a signed 32-bit integer: truncated toward zero,
// saturating at the limits; NaN gives 0.
int32_t NumberToInt32(double value);
// A script number through a 64-bit integer (saturating, NaN 0), keeping its
// low 32 bits.
int32_t NumberToInt32Low(double value);
// Rebuilds a message whose file name Lua shortened to "..." plus its tail,
// using the base directory the tail continues. False when nothing matches.
bool RestoreElidedPath(const std::string& base, const std::string& message, std::string* out);

class KVLua : public Singleton<KVLua>, public IKVModule, public IKVLua, public KVLuaLibrary {
public:
    KVLua();
    ~KVLua() override;

    int32_t QueryInterface(const KVInterfaceId& id, void** out) override;
    int32_t Init(int32_t phase) override;
    int32_t Release(int32_t phase) override;
    int32_t GetLuaFunctions(const KVLuaFunctionEntry** out) override;

    // IKVLua
    int32_t RegisterLibrary(const char* name, KVLuaLibrary* library) override;
    int32_t UnregisterLibrary(const char* name) override;
    int32_t AddClassValue(int32_t classIndex, const char* name, KVClassValueFunction fn) override;
    int32_t CallEvent(EventCall* call) override;
    int32_t CallFunction(const char* nameSpace, const char* name, int32_t argumentCount,
                         int32_t* resultCount) override;
    int32_t GetArgType(int32_t position, ScriptType* out) override;
    int32_t GetTop() override;
    int32_t CheckArgCount(int32_t count, bool atLeast) override;
    int32_t CheckArgType(int32_t position, ScriptType type) override;
    int32_t Pop(int32_t n) override;
    int32_t PushNumber(double value) override;
    double ToNumber(int32_t position) override;
    int32_t PushString(const char* text) override;
    const char* ToString(int32_t position) override;
    std::string ToStdString(int32_t position) override;
    int32_t PushBoolean(bool flag) override;
    bool ToBoolean(int32_t position) override;
    int32_t PushUnit(int32_t unitIndex) override;
    int32_t ToUnit(int32_t position) override;
    int32_t PushInteger(int32_t value) override;
    int32_t ToInteger(int32_t position) override;
    int32_t PushStruct(const KVStructField* fields, int32_t count, const void* data, int32_t length) override;
    int32_t PushPoint(const KVPoint3& point) override;
    int32_t PushNil() override;
    int32_t PushUnitArray(KVUnitRefArray* array, int32_t ownerUnit, uint64_t attributeId) override;
    void ToIntegerArray(int32_t position, std::vector<int32_t>* out) override;
    int32_t ToIntegerArrayImpl(int32_t position, std::vector<int32_t>* out) override;
    int32_t ToStringArray(int32_t position, std::vector<std::string>* out) override;
    int32_t ToByteArray(int32_t position, std::vector<uint8_t>* out) override;
    int32_t PushHex(const uint8_t* bytes, uint32_t count) override;
    int32_t ToBytesFromHex(int32_t position, uint8_t* buffer, uint32_t length) override;
    int32_t ToClassIndex(int32_t position) override;
    int32_t PushProxy(void* object, KVProxyGet get, KVProxySet set) override;
    void* GetUpvalueObject() override;
    int32_t PushObject(LuaObject* object, const KVLuaFunctionEntry* methods, int32_t count) override;
    LuaObject* GetSelfObject(int32_t position, int32_t* outFlag) override;
    int32_t NewTable() override;
    int32_t SetTable() override;
    int32_t PushUserdataProxy(KVProxyGet get, KVProxySet set, const void* data, int32_t length) override;
    void* GetUpvalueObject2() override;
    int32_t ReportError(const char* text) override;
    int32_t FormatLocation(const std::string& text) override;
    int32_t CheckUnit(int32_t unitIndex) override;
    int32_t FindUnit(const char* name) override;
    int32_t GetFieldString(int32_t position, const char* key, std::string* out) override;
    int32_t GetFieldBoolean(int32_t position, const char* key, uint8_t* out) override;
    int32_t GetFieldFloat(int32_t position, const char* key, float* out) override;
    int32_t GetFieldInteger(int32_t position, const char* key, int32_t* out) override;
    int32_t GetFieldInteger2(int32_t position, const char* key, int32_t* out) override;
    int32_t GetIndexString(int32_t position, int32_t index, std::string* out) override;
    int32_t GetIndexInteger(int32_t position, int32_t index, int32_t* out) override;
    int32_t GetIndexFloat(int32_t position, int32_t index, float* out) override;
    int32_t GetIndexBoolean(int32_t position, int32_t index, uint8_t* out) override;
    int32_t GetFieldUnit(int32_t position, const char* key, int32_t* out) override;
    int32_t GetFieldText(int32_t position, const char* key, std::string* out) override;
    int32_t PushField(int32_t position, const char* key) override;
    int32_t GetLength(int32_t position) override;
    int32_t ArgumentError(int32_t position) override;
    std::string ToText(int32_t position) override;
    int32_t CheckMinArgCount(int32_t count) override;

    // Script files and global calls.
    int32_t LoadScriptDirectory(const std::string& root);
    int32_t LoadScriptFile(const std::string& path, const FileFindData* info, int32_t flags);
    int32_t CallOnStartup();
    int32_t NotifyScriptCallDone() { return 0; }

    // Namespaces, globals and unit classes.
    int32_t CreateNamespaceTable(const char* name, int32_t unitIndex, bool onlyIfAbsent);
    // Writes the unit's current index into the table bound to its name. A
    // plain table a script stored under that name (no binding, no
    // metatable) before the unit was bound is the unit's namespace: it is
    // bound as it is (BindPlainTable), every key kept.
    int32_t UpdateUnitBinding(IKVUnit* unit);
    // Before the unit takes a new name: its table moves to that name; a
    // unit without one takes a plain table of the new name as its
    // namespace, every key kept.
    int32_t OnUnitRenamed(IKVUnit* unit, const char* newName);
    // The unit is closing: a table bound to it that scripts still hold
    // answers "Unit doesn't exist anymore" from now on, even once another
    // unit takes the index.
    int32_t OnUnitClosed(IKVUnit* unit);
    int32_t RemoveGlobal(const char* name);
    bool IsGlobalDefined(const char* name);
    int32_t RegisterClassFunction(int32_t classIndex, const char* name, KVClassFunction fn);
    int32_t RegisterClassEntry(int32_t classIndex, const char* name, KVClassEntryAccessor accessor);

    // Separate states (the loading animator's).
    lua_State* CreateStateFromFile(const char* path);
    void CloseStateOn(lua_State* L);
    int32_t RegisterFunctionOn(lua_State* L, const char* nameSpace, const char* name, KVStateFunction fn);
    int32_t CallFunctionOn(lua_State* L, const char* nameSpace, const char* name, int32_t argumentCount,
                           int32_t* resultCount);
    int32_t CheckArgCountOn(lua_State* L, int32_t count, bool atLeast);
    int32_t CheckArgTypeOn(lua_State* L, int32_t position, ScriptType type);
    int32_t PushStringOn(lua_State* L, const char* text);
    const char* ToStringOn(lua_State* L, int32_t position);
    int32_t PushBooleanOn(lua_State* L, bool flag);
    int32_t PushIntegerOn(lua_State* L, int32_t value);
    int32_t PushNumberOn(lua_State* L, double value);
    int32_t ToIntegerOn(lua_State* L, int32_t position);
    int32_t GetFieldBooleanOn(lua_State* L, int32_t position, const char* key, uint8_t* out);
    int32_t GetFieldFloatOn(lua_State* L, int32_t position, const char* key, float* out);
    int32_t GetFieldIntegerOn(lua_State* L, int32_t position, const char* key, int32_t* out);

    // Development helpers.
    bool EvaluateTempFunction(const char* code, std::string* result, std::string* error);
    static uint64_t HexToUInt64(const char* text);
    int32_t ReportAt(const char* source, int32_t line, const char* text);
    int32_t ReportUnsupportedType(const char* typeName, int32_t line);

    // Host connections and seams.
    void SetErrorHook(KVErrorHook hook) { m_errorHook = hook; }
    KVErrorHook GetErrorHook() const { return m_errorHook; }
    void SetFileInterface(IKVFile* file) { m_file = file; }
    void SetPropertiesInterface(IKVProperties* properties) { m_properties = properties; }
    void SetScriptUnits(IKVScriptUnits* units) { m_units = units; }
    // The program is told to quit while scripts may be running: each script
    // running now, and each that starts until EndScriptInterrupt, ends at
    // its next instruction with a script error. It only sets the states'
    // hooks, which Lua allows from a signal handler.
    static void InterruptScripts();
    static void EndScriptInterrupt();
    // Set by the core from the start of its final release to its next phase 0.
    void SetShuttingDown(bool shuttingDown) { m_shuttingDown = shuttingDown; }
    void SetProjectFileVersion(uint32_t version) { m_projectFileVersion = version; }

    // Raises "OnUpdate" of a unit with the frame time and the total game
    // time, as CallEvent does (no result place); the base unit's per-frame
    // call, with its two arguments pushed here.
    int32_t CallUpdateEvent(IKVUnit* unit, double dt, double total);
    lua_State* GetState() const { return m_state; }
    // While a native function runs on a coroutine of the main state, the
    // binding's stack operations work on that coroutine's stack.
    class ThreadScope {
    public:
        // On the main state itself, the common case, there is nothing to do.
        ThreadScope(KVLua* lua, lua_State* L) : m_lua(lua) {
            if (lua && L && lua->m_state && L != lua->m_state) Enter(L);
        }
        ~ThreadScope() {
            if (m_thread) Leave();
        }
        ThreadScope(const ThreadScope&) = delete;
        ThreadScope& operator=(const ThreadScope&) = delete;

    private:
        void Enter(lua_State* L);
        void Leave();
        KVLua* m_lua;
        lua_State* m_thread = nullptr;
        lua_State* m_previous = nullptr;
    };
    ScriptDebugState* GetDebugState() const { return m_debugState.get(); }
    const char* GetCurrentFunctionName() const { return m_currentFunctionName; }
    bool IsReportingOn() const { return m_errorHook != nullptr || m_logOnDisk; }
    bool IsLoadingScripts() const { return m_scriptsLoading; }
    int32_t GetEventCallDepth() const { return m_eventCallDepth; }
    std::string GetCallstackText();

    // Settings, given their defaults in phase 2 and declared as properties.
    bool GetLogOnDisk() const { return m_logOnDisk; }
    void SetLogOnDisk(bool on) { m_logOnDisk = on; }
    const std::string& GetCommonScriptDirectory() const { return m_commonScriptDirectory; }
    void SetCommonScriptDirectory(const std::string& directory) { m_commonScriptDirectory = directory; }
    bool GetOldUnitArray() const { return m_oldUnitArray; }
    void SetOldUnitArray(bool on) { m_oldUnitArray = on; }

private:
    struct LibraryFunction {
        const char* name;
        KVLuaNativeFunction function;
        KVLuaLibrary* library;
    };
    struct LibraryEntry {
        std::string name;
        KVLuaLibrary* library = nullptr;
        bool built = false;
        std::vector<std::unique_ptr<LibraryFunction>> functions;
    };
    struct ScriptFileRecord {
        std::string path;      // lower-cased: the load order
        std::string realPath;  // as listed: what is opened
        FileFindData info;
    };
    struct RunningUnit {
        int32_t unitIndex;
        int32_t depth;
        bool hasDelegate;
        std::string delegateName;
    };
    struct ClassFunctionEntry {
        std::string name;
        KVClassFunction function;
        KVClassValueFunction value;
    };
    struct ClassEntry {
        std::string name;
        KVClassEntryAccessor accessor;
    };
    // A text kept as a Lua string in the registry, pushed without being
    // hashed again while the text stays the same.
    struct InternedText {
        std::string text;
        int ref = -2;  // no reference (LUA_NOREF)
    };
    // What a protected call restores when an error unwinds frames that
    // send no return events.
    struct CallState {
        int32_t depth;
        size_t running;
        RunningUnit top;
    };

    // State set-up and libraries (KVLua.cpp).
    void SetupState();
    void CloseState();
    void PublishLibrary(LibraryEntry& entry);
    void DeleteLibraryFunctions();
    void DeclareProperties();
    void CreateArithLibrary();
    void RegisterArithLibrary();
    void DeleteArithLibrary();
    void RebindUnitScripts();
    static int CallLibraryFunction(lua_State* L);

    // Script files (KVLuaScripts.cpp).
    void ScanScriptDirectory();
    void LoadScriptList();
    int32_t ReadWholeFile(const std::string& path, std::string* out);
    void InitNamespaces();

    // Calls, hook and reports (KVLuaEvents.cpp).
    int ProtectedCall(lua_State* L, int arguments, int results);
    int32_t CallFunctionIn(lua_State* L, const char* nameSpace, const char* name, int32_t argumentCount,
                           int32_t* resultCount);
    int32_t RunEvent(IKVUnit* unit, int32_t unitIndex, const char* name, int32_t argumentCount,
                     int32_t* resultCount, uint8_t* stillEnabled);
    bool PushEventFunction(IKVUnit* unit, int32_t unitIndex, const EventCall& call);
    void PushRunningUnit(int32_t unitIndex, const char* delegateName, int32_t depthOffset);
    // Call counting (KVLuaEvents.cpp): the hook put on and taken off, and
    // the count started again with an empty stack.
    void StartCountingCalls(bool keepDepth);
    void StopCountingCalls();
    void RestartCallCount();
    CallState SaveCallState() const;
    void RestoreCallState(const CallState& saved);
    static int ScriptPcall(lua_State* L);
    static int ScriptXpcall(lua_State* L);

    // Coroutines resumed by scripts (KVLuaCoroutines.cpp): "resume" and
    // "wrap" of the coroutine library count the calls made inside the
    // coroutine while it runs, and keep what it made "self" while it waits.
    void InstallCoroutineFunctions();
    void CreateSuspendedUnits();
    static void HookThread(lua_State* L);
    static int ScriptResume(lua_State* L);
    static int ScriptWrap(lua_State* L);
    static int ScriptWrapped(lua_State* L);
    // The library's resume function, the coroutine and the arguments on
    // L's stack, replaced by its results.
    static void Resume(lua_State* L, lua_State* co);
    void KeepSuspendedUnits(lua_State* L, lua_State* co);
    void RestoreSuspendedUnits(lua_State* L, lua_State* co, int32_t base);
    void ReportErrorIn(lua_State* L, const std::string& text);
    void FormatLocationIn(lua_State* L, const std::string& text);
    void WriteScriptError(lua_State* L, const std::string& text, bool withLocation);
    void WriteLogLua(const std::string& text);
    static void CallReturnHook(lua_State* L, lua_Debug* ar);
    static int UnitFunctionClosure(lua_State* L);

    // Namespaces and unit tables (KVLuaUnits.cpp).
    void CreateUnitMetatable();
    void RegisterGlobalFunctions();
    static int GlobalUnit(lua_State* L);
    static int GlobalNamespace(lua_State* L);
    void PushUnitTable(int32_t unitIndex);
    // Binding: a plain table (no metatable, no binding) at the index
    // becomes the unit's table: bound to it under the name, given the unit
    // metatable, the unit marked scripted. Every key stays and no
    // attribute is touched: a table that was there before its unit is
    // that unit's namespace. False when the value is no such table.
    bool BindPlainTable(int table, IKVUnit* unit, int32_t unitIndex, const std::string& name);
    // Write-through: a plain table a script stored under the name of a
    // unit already bound, met again by the binding (its events, its
    // update, a push, a lookup by name, a unit argument), is bound as
    // above, then what it holds under the unit's attribute and computed
    // member names is written to the unit and leaves it, so later writes
    // reach the unit too. Refused (false, the table left plain) while one
    // of the binding's __index metamethods runs: a read writes no
    // attribute.
    bool AdoptStoredTable(int table, IKVUnit* unit, int32_t unitIndex, const std::string& name);
    static int WriteAdoptedKeys(lua_State* L);
    // The running native function is one of the binding's __index
    // metamethods (unit tables, globals, unit arrays, parameter arrays,
    // proxies) on m_state.
    bool ReadingMember();
    // The global named after the unit, adopted (AdoptStoredTable) when it
    // is a plain table.
    bool AdoptNamedTable(IKVUnit* unit, int32_t unitIndex);
    // The unit a plain table at the position stands for: the unit named by
    // a global that holds it, the table adopted (AdoptStoredTable); -1 when
    // no unit's name holds it. ToUnit and the argument types read it so.
    int32_t UnitOfPlainTable(int position);
    int32_t LookupUnitForGlobal(const char* name);
    static int GlobalsIndex(lua_State* L);
    // Interned texts: a unit's name, a class's name, an event's name.
    void PushInterned(InternedText& slot, const std::string& text);
    void PushUnitName(IKVUnit* unit, int32_t unitIndex);
    // The global name of a unit table's binding (bound to that unit index,
    // or -1), sharing the unit's interned name.
    void PushBindingName(lua_State* L, const char* name, int32_t unitIndex);
    void PushClassName(int32_t classIndex, const std::string& name);
    void PushEventName(const char* name);
    // The namespace (slot 0) or function name (slot 1) of a direct call:
    // callers repeat the same names.
    void PushCallName(lua_State* L, size_t slot, const char* name);
    void ForgetInternedTexts();

    // Members of unit tables (KVLuaUnitMembers.cpp).
    static int UnitTableIndex(lua_State* L);
    static int UnitTableNewIndex(lua_State* L);
    static int UnitTableEquals(lua_State* L);
    // The steps of a member read after the table's own values: script
    // function, attribute, computed member, parameter array, class function.
    int IndexUnit(lua_State* L, IKVUnit* unit, int32_t unitIndex, int keyIndex, const char* key);
    // A closure over the unit's script function of the name at keyIndex,
    // found in its alias namespace (unless classOnly) or its class table.
    bool PushUnitScriptFunction(IKVUnit* unit, int32_t unitIndex, int keyIndex, bool classOnly);
    bool LookUpScriptFunction(int keyIndex);
    void PushScriptFunctionClosure(int32_t unitIndex, int keyIndex, bool alias, const std::string& table);
    const ClassEntry* FindClassEntry(int32_t classIndex, const char* name) const;
    bool PushClassFunction(int32_t classIndex, int32_t unitIndex, const char* name);
    bool PushParameter(IKVUnit* unit, int32_t unitIndex, const char* name);
    static int ClassFunctionClosure(lua_State* L);
    static int ParameterIndex(lua_State* L);
    static int ParameterNewIndex(lua_State* L);

    // Unit-array proxies (KVLuaUnitArrays.cpp).
    static int UnitArrayIndex(lua_State* L);
    static int UnitArrayNewIndex(lua_State* L);
    static int UnitArrayLength(lua_State* L);

    // Values (KVLuaValues.cpp).
    bool ProtectedGetField(lua_State* L, int32_t position, const char* key);
    // The script type at the position; on m_state a plain table stored
    // under a unit's name is a unit (UnitOfPlainTable).
    ScriptType ArgumentType(lua_State* L, int32_t position);

    // The "KVLua" library (KVLuaLib.cpp).
    static int LibLoadLibrary();
    static int LibInclude();
    static int LibIsFunctionExists();
    static int LibScriptFile();
    static int LibScriptLine();
    static int LibGetCallstack();
    static int LibCallGC();
    static int LibCreateNamespace();
    static int LibPushSelf();

    std::vector<LibraryEntry> m_libraries;
    std::vector<std::unique_ptr<LibraryFunction>> m_retiredFunctions;
    std::map<std::string, FileFindData> m_scriptFileIndex;
    uint32_t m_scriptFileCount = 0;
    std::string m_scriptDirectory = "script/";
    bool m_eventLoading = false;
    bool m_logOnDisk = false;
    std::string m_commonScriptDirectory = "script/";
    bool m_debugStack = false;
    KVErrorHook m_errorHook = nullptr;
    std::vector<std::vector<ClassFunctionEntry>> m_classFunctions;
    std::vector<std::vector<ClassEntry>> m_classEntries;
    int32_t m_eventCallDepth = 0;
    const char* m_currentFunctionName = nullptr;
    std::vector<KVEventCallEntry> m_eventCallStack;
    IKVFile* m_file = nullptr;
    bool m_firstErrorLogWrite = true;
    KVWriteFailure m_logLuaFailure{"loglua.txt"};
    // Three states, and which one each function compares a state with:
    // - m_state: the stack the binding works on: the main state, or the
    //   coroutine of it on which a native function runs (ThreadScope).
    //   ThreadScope (threads sharing its registry), CallFunctionIn (the
    //   event-call depth), ProtectedCall ("self" restored after an error),
    //   PushBindingName and PushCallName (names interned in its registry),
    //   ArgumentType (plain tables taken as units), CloseState.
    // - m_mainState: the state SetupState made, never a coroutine.
    //   StartCountingCalls and StopCountingCalls (the hook put on and taken
    //   off), CloseStateOn (no thread of it is closed).
    // - m_runningThread: below.
    //   CallReturnHook (only its calls are counted), ScriptPcall and
    //   ScriptXpcall ("self" restored after an error), Resume (the
    //   resumer), StartCountingCalls and StopCountingCalls.
    lua_State* m_state = nullptr;
    bool m_scriptsLoading = false;
    std::string m_currentNamespace;
    std::vector<RunningUnit> m_runningUnits;
    // The call count that keeps "self", kept by the call hook. The hook is
    // installed only while the running-unit stack holds an entry: popping
    // entries is all it does, and entries are only compared with each
    // other and with the count, so the count starts again with the first.
    int32_t m_callDepth = 0;
    bool m_countingCalls = false;
    lua_State* m_mainState = nullptr;
    // The thread whose calls are counted: the main state, or the coroutine
    // a script resumed until it yields or ends; the running-unit entries
    // below the floor are its resumer's.
    lua_State* m_runningThread = nullptr;
    size_t m_threadFloor = 0;
    bool m_mainChunkRunning = false;
    bool m_oldUnitArray = false;
    std::string m_scriptRoot;
    std::vector<ScriptFileRecord> m_scannedScripts;
    std::vector<std::string> m_namespacesToInit;
    std::string m_classFunctionName;
    std::vector<InternedText> m_unitNames;
    std::vector<InternedText> m_classNames;
    InternedText m_eventNames[8];
    InternedText m_updateEventName;
    InternedText m_callNames[2];

    std::unique_ptr<ScriptDebugState> m_debugState;
    IKVProperties* m_properties = nullptr;
    IKVScriptUnits* m_units = nullptr;
    bool m_shuttingDown = false;
    uint32_t m_projectFileVersion = 0x20003;
    uint32_t m_tempFunctionCounter = 0;
};

} // namespace kvl
