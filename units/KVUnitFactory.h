#pragma once
// The unit factory: keeps the table of unit classes with their typed
// attributes and the table of live units, and gives every attribute value
// its manipulator. Split by responsibility:
//   KVUnitFactory.cpp            module phases, interface queries
//   KVUnitFactoryClasses.cpp     class registry, attributes, project classes
//   KVUnitFactoryBuiltins.cpp    the built-in classes in their fixed order
//   KVUnitFactoryUnits.cpp       unit table: creation, copies, removal, roots
//   KVUnitFactoryLookup.cpp      names, uids, queries, iterators, selection
//   KVUnitFactoryUpdate.cpp      pending enables and the per-frame update
//   KVUnitFactoryScripts.cpp     script flags and what the binding asks
//   KVUnitFactoryAttributes.cpp  attribute holders, writes, value boxes
//   KVUnitFactoryEnable.cpp      enable passes, copies of attributes
//   KVUnitFactoryScene.cpp       the units section of scene files
//   KVUnitFactoryFinish.cpp      links, hierarchy and events after a load
//   KVUnitFactoryProject.cpp     the project file's class table
//   KVUnitFactoryLib.cpp         the "KVUnitFactory" script library
#include <memory>
#include <string>
#include <vector>
#include "../kernel/IKVLog.h"
#include "../kernel/IKVModule.h"
#include "../kernel/KVIndexedList.h"
#include "../kernel/KVLuaLibrary.h"
#include "../kernel/Singleton.h"
#include "../KVLua/IKVScriptUnits.h"
#include "IKVUnitFactory.h"
#include "KVUnitClass.h"
#include "NameTrie.h"

namespace kvl {

class KVUnit;
class KVAttributeManipulator;
struct KVStagingCopy;
struct KVSceneLoad;
struct KVSceneClassEntry;
struct KVSceneAttributeRecord;

// Options of CreateUnit.
enum KVCreateOption : int32_t {
    KVCREATE_RUNTIME = 2,
    KVCREATE_NO_NAME = 4,
    KVCREATE_NO_EVENTS = 8,
    KVCREATE_DISABLED = 0x10,
};

// What the factory tells the core through its notify operation.
enum KVFactoryNotice : int32_t {
    KVNOTICE_ACTIVE_REMOVED = 10,
    KVNOTICE_UNIT_CREATED = 12,
    KVNOTICE_UNIT_REMOVED = 13,
    KVNOTICE_VALUES_CHANGED = 14,
};

// Close modes of the units' Close: what becomes of children.
enum KVCloseMode : int32_t {
    KVCLOSE_NORMAL = 0,
    KVCLOSE_KVL = 1,       // the units of one scene file are released
    KVCLOSE_SHUTDOWN = 2,  // the run-time units are released at shutdown
};

class KVUnitFactory : public Singleton<KVUnitFactory>,
                      public IKVModule,
                      public IKVUnitFactory,
                      public IKVScriptUnits,
                      public KVLuaLibrary {
public:
    static constexpr uint64_t kCheckPropertyId = 0x004F36E0B01D2350ull;
    static constexpr uint64_t kLogEnabledPropertyId = 0x002A32A2CD2D60F4ull;
    KVUnitFactory();
    ~KVUnitFactory() override;

    int32_t QueryInterface(const KVInterfaceId& id, void** out) override;
    int32_t Init(int32_t phase) override;
    int32_t Release(int32_t phase) override;
    // One frame: every enabled unit with the Update flag that wants it.
    int32_t Update(float dt) override;

    // Class registry.
    int32_t FindClassByName(const std::string& name) override;
    int32_t FindClassById(uint64_t id) override;
    int32_t RegisterClass(const KVUnitClassDesc& desc, int32_t* outClassIndex) override;
    int32_t AddAttribute(const KVAttributeDesc& desc) override;
    // 4, and nothing written, when the descriptor names no attribute of
    // its class.
    int32_t UpdateAttribute(const KVAttributeDesc& desc, int32_t* outPosition) override;
    const KVAttributeDesc* FindAttributeById(int32_t classIndex, uint64_t id) override;
    bool IsUnitOfClass(IKVUnit* unit, int32_t classIndex) override;
    // Position of the class's first attribute with that id, or -1.
    int32_t FindAttributePosition(int32_t classIndex, uint64_t id);
    // Type code of the listed attribute of that number, or -1.
    int32_t GetListedAttributeType(int32_t classIndex, int32_t listed);
    // Position of the first attribute whose name is the text or goes on
    // after it with "@" or "~"; -1 when none.
    int32_t FindAttributeIndex(int32_t classIndex, const std::string& name);
    // The attribute's stored descriptor, or null.
    const KVAttributeDesc* GetAttribute(int32_t classIndex, int32_t position);
    KVUnitClass* GetClass(int32_t classIndex) {
        return classIndex >= 0 && size_t(classIndex) < m_classes.size() ? &m_classes[size_t(classIndex)] : nullptr;
    }

    // Project classes: a nameless copy of a class; a named project class
    // derived from a base (-1 when the base index is -1); a dynamic
    // attribute, optionally given to the live units of exactly that class.
    int32_t DeriveClass(int32_t baseClass);
    int32_t CreateProjectClass(const std::string& name, int32_t baseClass, uint64_t id);
    int32_t AddDynamicAttribute(const std::string& name, int32_t classIndex, uint64_t id, int32_t typeCode,
                                bool existingUnits);

    // Makes the manipulator of the descriptor's type code, stores it in the
    // descriptor and lets it complete the descriptor. Null for codes
    // outside 0-16.
    static std::shared_ptr<KVAttributeManipulator> CreateManipulator(KVAttributeDesc* desc);
    // Blanks removed up to the first "@" or "~", each letter after a blank
    // raised to upper case.
    static std::string NormalizeAttributeName(const std::string& name);

    // Registers the built-in classes in their fixed order.
    int32_t RegisterAllClasses();
    // The units' part of release phase 4: the game is disabled, every unit
    // and waiting link released, and the unit, root and name tables start
    // empty again (new units from index 0); the class table stays.
    void ReleaseUnits();

    // Unit table.
    IKVUnit* GetUnit(int32_t unitIndex) override;
    // The same unit as its object, inline: the scene's walks ask once a
    // unit per frame.
    KVUnit* UnitObject(int32_t unitIndex) {
        KVUnit** slot = m_units.At(unitIndex);
        return slot ? *slot : nullptr;
    }
    IKVUnitRef* MakeUnitRef(int32_t ownerUnit, const uint64_t* attributeId) override;
    bool IsValidUnit(int32_t unitIndex) override;
    // Makes a unit of the class (options above) with its slot, index, kvl
    // (-1: the serializer's current one), flags, uid, name, value boxes
    // and, unless loading or told otherwise, its events. 0x50000 for a
    // class outside the table, 4 when the class can make no object.
    int32_t CreateUnit(int32_t classIndex, KVUnit** out, int32_t options, int32_t kvlIndex, uint32_t flags);
    int32_t NewUnit(int32_t classIndex, IKVUnit** out) override;
    int32_t NewHiddenUnit(int32_t classIndex, IKVUnit** out) override;
    IKVUnit* CopyUnit(IKVUnit* source) override;
    // A copy of the source's values; run-time set makes it a run-time unit.
    int32_t CopyUnitAs(KVUnit* source, KVUnit** out, bool runtime);
    // Takes a closing unit out of the tables (the unit's Close calls it).
    void RemoveUnit(int32_t unitIndex);
    // Files the unit in the root list when it has no parent, takes it out
    // when it has one.
    void UpdateRootMembership(KVUnit* unit);
    int32_t GetUnitCount() const { return int32_t(m_units.Size()); }
    int32_t GetSlotCount() const { return int32_t(m_units.SlotCount()); }
    int32_t GetRuntimeUnitCount() const { return m_runtimeUnits; }
    // Walks (iterators, cursors) still registered on the unit and root
    // tables, and linkers still registered: none once their users ended.
    size_t GetOpenWalkCount() const {
        return m_units.IteratorCount() + m_units.CursorCount() + m_roots.IteratorCount() + m_roots.CursorCount();
    }
    size_t GetLinkerCount() const { return m_linkers.size(); }
    // Root units in order.
    std::vector<int32_t> GetRootIndices();
    // The same into a list the caller keeps (emptied first).
    void GetRootIndices(std::vector<int32_t>* out);
    int32_t AddLinker(IKVLinker* linker) override;
    int32_t RemoveLinker(IKVLinker* linker) override;
    // References waiting for their uid to be resolved after a load.
    void AddPendingLink(IKVUnitRef* ref);
    std::vector<IKVUnitRef*>& GetPendingLinks() { return m_pendingLinks; }
    void ClearPendingLinks();

    // Names, uids, queries and walks.
    int32_t FindUnitByName(const std::string& name, const char* className, IKVUnit** out) override;
    IKVUnit* FindUnitByUid(uint64_t uid) override;
    int32_t FirstUnit(KVUnitQuery* query, int32_t* outIndex) override;
    int32_t NextUnit(KVUnitQuery* query, int32_t* outIndex) override;
    void EndQuery(KVUnitQuery* query) override;
    IKVUnitIterator* NewUnitIterator() override;
    IKVUnitIterator* NewRootIterator() override;
    void RenameUnit(KVUnit* unit, const std::string& name);
    void AddToNameIndex(KVUnit* unit);
    void RemoveFromNameIndex(KVUnit* unit);
    bool IsHiddenUnit(int32_t unitIndex);
    // The set of units being closed: those a script closes, and those whose
    // first reference was given up while something still held them.
    bool IsClosing(int32_t unitIndex) override;
    void MarkClosing(int32_t unitIndex);
    int32_t GetSelectedUnit() override { return m_activeUnit; }
    int32_t SelectUnit(int32_t unitIndex) override;

    // Enabling.
    // Walks the queued trees and raises "OnEnable" on their units that
    // went on while enables were deferred (and are still on), children
    // before parents; an enabled unit that did not go on since its last
    // "OnEnable" (a running unit that a later load made a child) gets
    // none.
    int32_t FlushPendingEnables();
    void QueueEnable(int32_t unitIndex) { m_enableQueue.push_back(unitIndex); }
    std::vector<int32_t>& GetEnableQueue() { return m_enableQueue; }
    // While set, units that become enabled leave their "OnEnable" to the
    // next flush: they are queued for it.
    bool IsDeferringEnables() const { return m_deferEnables; }
    void SetDeferringEnables(bool on) { m_deferEnables = on; }
    void CountEnabled(int32_t change) { m_enabledCount += change; }
    int32_t GetEnabledCount() const { return m_enabledCount; }
    // Set from the start of the final release: units no longer enable.
    bool IsReleasing() const { return m_releasing; }
    bool LogEnabledUnits() const { return m_logEnabled && *m_logEnabled; }
    int32_t GetCloseMode() const { return m_closingKvl; }
    void SetCloseMode(int32_t mode) { m_closingKvl = mode; }
    bool AreRootsSuspended() const { return m_rootsSuspended; }
    void SetRootsSuspended(bool on) { m_rootsSuspended = on; }

    // Editor state the scene manager reads: the colour switch of editor
    // shapes and the unit drawn over the scene while the game is stopped.
    bool GetColourSwitch() const { return m_colourSwitch; }
    void SetColourSwitch(bool on) { m_colourSwitch = on; }
    int32_t GetOverlayUnit() const { return m_overlayUnit; }
    void SetOverlayUnit(int32_t unitIndex) { m_overlayUnit = unitIndex; }

    // Script flags and bindings.
    void UpdateScriptFlag(KVUnit* unit);
    void RebindScripts() override;
    // IKVScriptUnits: what the binding asks of units.
    int32_t GetUnitIndex(IKVUnit* unit) override;
    bool HasScript(IKVUnit* unit) override;
    void OnScriptTableAdopted(IKVUnit* unit) override;
    IKVUnit* FindDelegate(IKVUnit* unit, const char* functionName) override;
    const std::string& GetUnitName(IKVUnit* unit) override;
    const std::string& GetAliasName(IKVUnit* unit) override;
    const std::string& GetClassName(IKVUnit* unit) override;
    void RetainUnit(IKVUnit* unit) override;
    void ReleaseUnit(IKVUnit* unit) override;
    bool IsEffectivelyEnabled(IKVUnit* unit) override;
    int32_t FindUnitIndex(const char* name, const char* className) override;
    void* GetExtraData(IKVUnit* unit) override;
    int32_t GetUnitClass(IKVUnit* unit) override;
    int32_t GetClassCount() override { return int32_t(m_classes.size()); }
    const char* GetClassNameAt(int32_t classIndex) override;
    int32_t GetBaseClass(int32_t classIndex) override;
    int32_t FindParameter(IKVUnit* unit, const char* name) override;
    bool GetParameter(int32_t unitIndex, int32_t position, KVScriptParameter* out) override;
    void NotifyParameterChanged(int32_t unitIndex, int32_t position) override;
    int32_t GetUnitArraySize(int32_t owner, uint64_t attributeId) override;
    int32_t GetUnitArrayElement(int32_t owner, uint64_t attributeId, int32_t position) override;
    // Writes one element into a copy of the array and stores the whole
    // copy through the owner's attribute, so its setter runs.
    int32_t SetUnitArrayElement(int32_t owner, uint64_t attributeId, int32_t position, int32_t unitIndex) override;

    // Attribute values.
    // The address of the value (0), or 0x50001 when it has none; a
    // computed attribute leaves the out value untouched.
    int32_t GetHolder(KVUnit* unit, const KVAttributeDesc& desc, void** out);
    // The holder of the attribute at that position for the unit at that
    // index, or null when the unit, the attribute or the holder is gone or
    // the attribute is not of that type.
    void* GetHolderAt(int32_t unitIndex, int32_t position, int32_t typeCode);
    // The holder, or for an attribute with a setter a staging copy of it.
    int32_t GetWriteHolder(KVUnit* unit, const KVAttributeDesc& desc, void** out);
    // Frees the staging copy of an attribute with a setter.
    void EndWrite(KVUnit* unit, const KVAttributeDesc& desc, void* holder);
    // Runs the attribute's read hook before its value is read.
    void PrepareRead(KVUnit* unit, const KVAttributeDesc& desc);
    // Runs the setter or the changed hook after a write.
    int32_t ApplyAttribute(KVUnit* unit, const KVAttributeDesc& desc, void* holder);
    // Writes one element of a unit's attribute from a value of the
    // element's form, then applies it.
    int32_t SetAttributeElement(int32_t unitIndex, int32_t position, int32_t element, const void* value);
    // Parses one element from text, then applies it; with byListed the
    // position is a listed number.
    int32_t SetAttributeText(int32_t unitIndex, int32_t position, int32_t element, const std::string& text,
                             bool byListed);
    // The enable pass (phases 0 to 3, first to last attribute) or the
    // disable pass (3 to 0, last to first).
    void ApplyAllAttributes(KVUnit* unit, bool disabling);
    // Copies the attribute's value as text to the units below: depth 1 the
    // children, 2 the grandchildren too, 0 every level.
    int32_t CopyAttributeToChildren(KVUnit* unit, int32_t position, int32_t depth);
    // The attribute a script names (exact letter case, visible to scripts)
    // with its holder narrowed to the named element (none for a computed
    // one); 1 when there is none. Remembers the element.
    int32_t FindAttribute(KVUnit* unit, const char* name, const KVAttributeDesc** outDesc, void** outHolder);
    // The attribute of that name, or at that position, on the script
    // stack, or set from the value at stack slot 3 (a read-only one is
    // refused with a report): 1 when there is no such attribute.
    int32_t PushAttributeToLua(IKVUnit* unit, const char* name) override;
    int32_t SetAttributeFromLua(IKVUnit* unit, const char* name) override;
    int32_t PushAttributeByIndex(KVUnit* unit, int32_t position);
    int32_t SetAttributeFromLuaByIndex(KVUnit* unit, int32_t position);
    void BuildAttributeLuaObjects(KVUnit* unit);
    void AddAttributeLuaObject(KVUnit* unit, int32_t component);
    void ReleaseAttributeLuaObjects(KVUnit* unit);
    // The element of the last attribute lookup by name (the bit of a flags
    // sub-field).
    int32_t GetLastElement() const { return m_lastElement; }
    void SetLastElement(int32_t element) { m_lastElement = element; }
    int32_t GetReason() const { return m_reason; }

    // Scene loading: while set, stored strings and unit references are read
    // in the layout of the scene file's version.
    bool IsLoading() override { return m_loading; }
    void SetLoading(bool loading, uint32_t kvlVersion) {
        m_loading = loading;
        m_kvlVersion = kvlVersion;
    }
    uint32_t GetKvlVersion() const { return m_kvlVersion; }
    // The project property "Check" of section "Units".
    bool GetRepairSwitch() const { return m_repair; }

    // Scene and project loading.
    // An error line for the log, when there is one.
    static void LogError(const std::string& text);
    // A fresh uid from the local time and two random numbers.
    int32_t NewUid(uint64_t* out);
    // Reads the units section of the scene file the serializer has open
    // and positioned after its header: 0, or the error that stopped it.
    int32_t CreateSceneUnits(int32_t kvlIndex);
    // The values of one unit's record, of record version W (the unit's
    // Load calls it while a section is read).
    int32_t ReadUnitAttributes(KVUnit* unit, uint32_t recordVersion);
    // The passes over the units made since the last finish; the second
    // argument says whether the project is starting ("OnStartup").
    int32_t FinishSceneLoad(int32_t unused, int32_t onStartup);
    int32_t ResolveLinks();
    int32_t RepairHierarchy(int32_t first, int32_t count);
    // Releases the units of a kvl; with renumber the later kvls move down.
    int32_t CloseKvlUnits(int32_t kvlIndex, bool renumber);
    // The project file's class table, read after the properties block: 0,
    // or 1 for a newer or unreadable table.
    int32_t ReadProjectClasses();
    // The units made since the last finish of a load, in list order.
    std::vector<int32_t> LoadedUnits();
    std::vector<IKVUnitRef*>& GetUnresolvedLinks() { return m_unresolvedLinks; }

    // KVLuaLibrary: "KVUnitFactory".
    int32_t GetLuaFunctions(const KVLuaFunctionEntry** out) override;
    // The kvl a script names at argument i (a number or a path); 0 when it
    // gives none, and after a report for a bad one: a path outside the
    // project, or a number outside 0 .. kvl count - 1 (negative ones too).
    int32_t ResolveKvlArgument(int32_t argument);
    // The unit cursor of "GetFirstUnit" and "GetNextUnit": a walk over the
    // unit table that units closing meanwhile move on.
    struct SParseUnitInfos : public IKVLua::LuaObject {
        std::unique_ptr<KVIndexedList<KVUnit*>::Cursor> cursor;
        int32_t classFilter = -1;
        int32_t options = 0;  // bit 0: "search_subclass"
        // Pushes the next matching unit, or nil at the end, and steps past it.
        void Advance(KVUnitFactory* factory);
    };
    std::unique_ptr<KVIndexedList<KVUnit*>::Cursor> NewUnitCursor() { return m_units.Begin(); }
    // Moves a unit to a kvl, keeping both kvls' unit counts.
    void MoveUnitToKvl(KVUnit* unit, int32_t kvlIndex);

private:
    void ResetRunState();
    // A run-time unit with those flags, enabled again after its creation.
    int32_t NewRuntimeUnit(int32_t classIndex, uint32_t flags, IKVUnit** out);
    void AddKindBit(int32_t classIndex);
    void EnterAttributeName(KVUnitClass& record, const KVAttributeDesc& desc);
    // Release phase 4: disables the game, then releases the units.
    void ReleaseAllUnits();
    // Every live unit, in list order.
    std::vector<int32_t> LiveIndices();
    // Copies one attribute as text from one unit to another.
    void CopyAttributeText(const KVAttributeDesc& desc, KVUnit* from, KVUnit* to);
    void CopyTextsToChildren(KVUnit* unit, const std::string& name, const std::vector<std::string>& texts,
                             int64_t depth, int32_t level);
    // Raises "OnEnable" over an enabled unit's subtree, children first,
    // passing by the units already raised in this flush.
    void RaiseEnableTree(int32_t unitIndex, std::vector<bool>& raised);
    // Files a root's subtree in the update groups (enabled units only).
    void CollectUpdates(KVUnit* root);
    void RunUpdateSweep(std::vector<int32_t>& group, int sweep, float dt);
    bool Matches(const KVUnitQuery& query, int32_t unitIndex);
    // Script flag and binding from the current script state.
    void BindScripts(KVUnit* unit);
    // The unit-array attribute of that id of a live unit, or null.
    KVUnitRefArray* FindUnitArray(int32_t owner, uint64_t attributeId, int32_t* outPosition = nullptr);
    // Pushes a found attribute's value; writes one from stack slot 3 under
    // the name a script used.
    void PushAttributeValue(KVUnit* unit, const KVAttributeDesc& desc, void* holder);
    void SetAttributeValue(KVUnit* unit, const KVAttributeDesc& desc, const char* name, int32_t element);
    // "Attribute {0} is read only." at the script's place.
    void ReportReadOnly(const char* name);
    // The attribute a script names, visible to scripts, or null; remembers
    // the element. The holder of a found one narrowed to that element
    // (null for a computed one or one without a value).
    const KVAttributeDesc* FindScriptAttribute(KVUnit* unit, const char* name);
    void* ElementHolder(KVUnit* unit, const KVAttributeDesc& desc);
    // As GetWriteHolder, with the staging copy of a plain value in the
    // room given (no heap copy); the room frees a copy made on the heap.
    int32_t BeginWrite(KVUnit* unit, const KVAttributeDesc& desc, KVStagingCopy* staging, void** out);
    // Hooks of kernel modules that name units.
    void ConnectKernelHooks();
    // The parts of a units section and of a scene load.
    int32_t ReadSectionHead(KVSceneLoad& load);
    int32_t ReadClassEntry(KVSceneLoad& load, size_t entryIndex, uint32_t limit);
    void MatchClasses(KVSceneLoad& load);
    // Whether a matched record's stored form (type, and the count when the
    // section states one) is the attribute's; one that is not is matched
    // to nothing and measured by its stored form.
    void MatchStoredForm(const KVSceneLoad& load, const KVSceneClassEntry& entry, KVSceneAttributeRecord& record);
    int32_t CreateSectionUnits(KVSceneLoad& load, const std::vector<uint32_t>& classTable);
    void SortOutLinks(KVSceneLoad& load);
    void ConvertOldPositions(KVSceneLoad& load);
    int32_t ReadValueBlock(KVUnit* unit, KVSceneClassEntry& entry, uint32_t recordVersion);
    int32_t ReadValueStream(KVUnit* unit, KVSceneClassEntry& entry, uint32_t recordVersion);
    void FixPathValue(std::string* value, uint32_t recordVersion, bool prefixOnly);
    // Points the children that a load's units list at their parent,
    // dropping (and logging) listings that would make rings; answers the
    // units of earlier loads that it so took as children.
    std::vector<int32_t> LinkParents(const std::vector<int32_t>& loaded);
    // A copy of a root that waits for its load's enable pass joins that
    // load's roots, to go on with them; false when no load waits for it.
    bool JoinWaitingRoots(KVUnit* source, KVUnit* copy);
    void ReportUnknownLink(IKVUnitRef* ref);
    // Raises "OnClassInit" of every class's script table.
    void RaiseClassInit();
    // Any change to the class table or an attribute descriptor: the
    // classes' pass lists are made again at their next use.
    void AttributesChanged() { ++m_attributeGeneration; }
    // The class's pass lists, made again when the attributes changed.
    void PreparePasses(KVUnitClass& record);
    // One phase of an enable or disable pass, position by position, from
    // the step'th attribute in pass order on.
    void ApplyPhaseFrom(KVUnit* unit, int32_t classIndex, int32_t phase, bool disabling, size_t count, size_t step);

    std::vector<KVUnitClass> m_classes;
    uint64_t m_attributeGeneration = 1;
    KVIndexedList<KVUnit*> m_units;
    KVIndexedList<KVUnit*> m_roots;
    NameTrie<int32_t> m_names;
    std::vector<IKVUnitRef*> m_pendingLinks;
    // References that wait for the uid resolution of the next finish.
    std::vector<IKVUnitRef*> m_unresolvedLinks;
    // The section being read, while CreateSceneUnits runs.
    KVSceneLoad* m_sceneLoad = nullptr;
    std::vector<IKVLinker*> m_linkers;
    std::vector<bool> m_closingSet;
    // The trees the next flush walks, in order: each load's roots (queued
    // before their "OnCreate"), and every unit that goes on while enables
    // are deferred. The flush raises "OnEnable" on the units marked as gone
    // on (KVUnit::TakeEnablePending), so each unit of each load gets it
    // once, after its "OnCreate" and its "OnPreEnable".
    std::vector<int32_t> m_enableQueue;
    // The roots of each load whose enable pass has not run yet, the
    // innermost (a load started by an event of another) last.
    std::vector<std::vector<int32_t>*> m_waitingRoots;
    std::vector<int32_t> m_updateGroups[3];
    // The frame of the update in which each unit index was last collected,
    // and the walk's list of units still to visit.
    std::vector<uint32_t> m_collectMarks;
    uint32_t m_collectFrame = 0;
    std::vector<KVUnit*> m_collectStack;
    int32_t m_lastElement = 0;
    // A small cache in front of the classes' name indexes: scripts name the
    // same few attributes frame after frame, each time with the same Lua
    // string. An entry holds what the class's index gave for one name (the
    // descriptor, null for none, and the element), valid for one attribute
    // generation: the class table and its descriptors stay where they are
    // until the generation moves on.
    struct AttributeNameEntry {
        uint64_t generation = 0;
        int32_t classIndex = -1;
        int32_t element = 0;
        const KVAttributeDesc* desc = nullptr;
        std::string name;
    };
    AttributeNameEntry m_attributeNameCache[256];
    // Where the bytes lie only picks the entry; the text decides.
    AttributeNameEntry& NameEntry(int32_t classIndex, const char* name) {
        const uintptr_t where = reinterpret_cast<uintptr_t>(name);
        return m_attributeNameCache[((where >> 4) ^ uintptr_t(uint32_t(classIndex) * 37u)) & 255u];
    }
    // Fills the entry from the class's name index; false when there is no
    // such class.
    bool FillNameEntry(AttributeNameEntry& entry, int32_t classIndex, const char* name);
    int32_t m_reason = 0;
    bool m_loading = false;
    uint32_t m_kvlVersion = 0;
    bool m_repair = false;
    int32_t m_firstLoadedUnit = -1;
    int32_t m_loadedCount = 0;
    int32_t m_closingKvl = KVCLOSE_NORMAL;
    int32_t m_selectedUnit = -1;
    int32_t m_activeUnit = -1;
    int32_t m_runtimeUnits = 0;
    int32_t m_enabledCount = 0;
    bool m_deferEnables = false;
    bool m_rootsSuspended = false;
    bool m_releasing = false;
    const bool* m_logEnabled = nullptr;
    bool m_colourSwitch = false;
    int32_t m_overlayUnit = -1;
};

} // namespace kvl
