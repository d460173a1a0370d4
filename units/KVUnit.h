#pragma once
// The base unit: the state every scene object has and that the attributes
// of class "Unit" point into, its reference count, its enabled state with
// the script events that go with it, closing, and its place in the unit
// tree. The unit factory creates units through their class's create
// function, keeps them by index and updates them. Split by responsibility:
//   KVUnit.cpp            counting, closing, flags, visibility, hooks
//   KVUnitEnable.cpp      enabling and disabling, script calls, update
//   KVUnitTree.cpp        parent, children, names, owners, delegates
//   KVUnitAttributes.cpp  class "Unit" and its attributes
//   KVUnitLib.cpp         script methods and computed members
#include <cstdint>
#include <memory>
#include <string>
#include <vector>
#include "IKVUnit.h"
#include "KV2DTempl.h"
#include "KVUnitParameters.h"
#include "KVUnitRefArray.h"

namespace kvl {

class IKVUnitRef;
class IKVAttributeLua;
class IKVExternal;
class IKVUnitExternal;
class IKVShaderProgram;
struct KVShaderParamList;

// Bits of the Flags word.
enum KVUnitFlag : uint32_t {
    KVUNIT_CLOSE_ON_DISABLE = 0x1,
    KVUNIT_VISIBLE = 0x2,
    KVUNIT_INVISIBLE_WHEN_STOPPED = 0x4,
    KVUNIT_ACCEPT_ALL_INPUT = 0x8,
    KVUNIT_UPDATE = 0x10,
    KVUNIT_RUNTIME = 0x10000,
    KVUNIT_KEPT_AT_SHUTDOWN = 0x20000,
    KVUNIT_HIDDEN = 0x40000,
    KVUNIT_3D = 0x80000,
    KVUNIT_NOT_HITTABLE = 0x100000,
    KVUNIT_OWNER_RELEASED = 0x200000,
    KVUNIT_DRAWN_BY_OTHER = 0x400000,
    KVUNIT_SCRIPTED = 0x800000,
    KVUNIT_EFFECTIVELY_VISIBLE = 0x1000000,
    KVUNIT_DEFAULT_FLAGS = 0x1000012,
};

// Follows a unit across calls that may delete it: the unit clears every
// watch on it when it is destroyed.
class KVUnitWatch {
public:
    explicit KVUnitWatch(KVUnit* unit);
    ~KVUnitWatch();
    KVUnitWatch(const KVUnitWatch&) = delete;
    KVUnitWatch& operator=(const KVUnitWatch&) = delete;
    bool Alive() const { return m_unit != nullptr; }

private:
    friend class KVUnit;
    KVUnit* m_unit;
    KVUnitWatch* m_next = nullptr;
};

class KVUnit : public virtual IKVUnit {
public:
    // Class "Unit" and the ids under which scene files store its attributes.
    static constexpr uint64_t kClassId = 0x003D29C14B38FBC8ull;
    static constexpr uint64_t kNameId = 0x00200979E573C234ull;
    static constexpr uint64_t kFlagsId = 0x000764128619D23Eull;
    static constexpr uint64_t kEnabledId = 0x00183357A5F94083ull;
    static constexpr uint64_t kChildrenId = 0x0012DAFBE3D7BAC8ull;
    static constexpr uint64_t kUidId = 0x005749C3F337FEA0ull;
    static constexpr uint64_t kIndexId = 0x0022B30F84B3ABD8ull;
    static constexpr uint64_t kClassNameId = 0x001F93675F28567Eull;
    static constexpr uint64_t kParentId = 0x003DA57E889D1B5Eull;
    static constexpr uint64_t kKvlId = 0x002CDA029353EC74ull;
    static constexpr uint64_t kLayerId = 0x006AE992B5CB0A4Cull;
    static constexpr uint64_t kParentEnabledId = 0x0011944A35A58936ull;
    static constexpr uint64_t kCamerasId = 0x005BC527B3281A50ull;
    static constexpr uint64_t kEditorFolderId = 0x00358CAA279D71F6ull;
    static constexpr uint64_t kAliasNameId = 0x005AA269F0A30060ull;
    static constexpr uint64_t kOwnerId = 0x002A101EF55D370Eull;
    static constexpr uint64_t kVisibleId = 0x0059C057E6426024ull;
    static constexpr uint64_t kCloseOnDisableId = 0x00037A8A97B23491ull;
    static constexpr uint64_t kAcceptAllInputId = 0x006CCA75F71473FCull;
    static constexpr uint64_t kUpdateId = 0x001CFCE73F3908E9ull;

    // The create function of class "Unit".
    static KVUnit* Create();
    // Registers class "Unit": the class, its attributes, its script methods
    // and members. The class index, or -1.
    static int32_t RegisterClass();
    static int32_t GetUnitClassIndex() { return s_classIndex; }
    // Byte offset of a field of a unit object from the start of its base
    // unit, as attribute descriptors give it.
    static int32_t OffsetInUnit(const KVUnit* unit, const void* field) {
        return int32_t(static_cast<const char*>(field) - reinterpret_cast<const char*>(unit));
    }
    // Pushes the proxy of the unit's "Attributes" member: "Size", and by
    // number (from 1) a proxy of one attribute with its "Name", "Type" and
    // "Value".
    static int32_t PushAttributesProxy(int32_t unitIndex);
    // Set while a nested Parent or Children setter must do nothing.
    static bool IsQuietReparent() { return s_quietReparent; }
    // Parent links form no ring and no chain longer than the unit count: a
    // walk down the tree that goes deeper follows something else and stops
    // there.
    static size_t MaxTreeDepth();

    KVUnit();

    // IKVUnknown
    int32_t QueryInterface(const KVInterfaceId& id, void** out) override;
    // Inline: the scene holds every unit it draws across its draw.
    int32_t Retain() override {
        if (m_refCount != 0) ++m_refCount;
        return m_refCount;
    }
    // The last release disables an enabled unit for good, closes it and
    // deletes it.
    int32_t Release() override {
        if (m_refCount > 1) return --m_refCount;
        return ReleaseLast();
    }
    // Gives up the reference the unit was made with, the factory's: the
    // unit's own CloseOnDisable, a script's close, the close of its parent,
    // of its owner or of its kvl, and the shutdown all take that one
    // reference, and only the first of them releases it. A unit that
    // somebody still holds then stays closing (in the factory's closing set
    // too, and out of its name index) until the holder's last release ends
    // it, in the close mode of the factory when the reference was given
    // up. The count left.
    int32_t DropFactoryReference();

    // IKVUnit
    int32_t GetClassIndex() override { return m_classIndex; }
    const uint64_t* GetClassId() override;
    void SetEnabled(bool enabled) override;
    bool IsEnabled() override { return m_enabled; }
    bool IsVisible() override;
    bool IsDrawn() override { return m_drawable && IsVisible(); }
    int32_t GetIndex() override { return m_index; }
    void* GetExtraData() override { return m_external; }
    int32_t GetParentIndex() override;
    void SetParent(int32_t parentIndex) override;
    bool IsKindOf(uint64_t classId) override;
    KVUnitRefArray* GetChildren() override { return &m_children; }
    int32_t AddListener(IKVLinker* listener) override;
    int32_t RemoveListener(IKVLinker* listener) override;
    uint32_t GetFlags() override { return m_flags; }
    void SetFlags(uint32_t flags) override { m_flags = flags; }
    int32_t CallScriptFunction(const char* name, int32_t option, int32_t count, const KVScriptArgument* arguments,
                               KVScriptResult* result) override;
    void RaiseError(int32_t code) override;
    const std::string& GetName() override { return m_name; }
    void SetModified() override;
    void SetDrawable(bool drawable) override { m_drawable = drawable; }
    int32_t GetNotifyTarget() override { return m_notifyTarget; }
    void SetNotifyTarget(int32_t unitIndex) override { m_notifyTarget = unitIndex; }
    void SetSceneList(int32_t list) override { m_sceneList = list; }
    int32_t GetSceneList() override { return m_sceneList; }
    KVUnit* GetUnit() override { return this; }

    // Operations the classes extend.
    // Recomputes derived state; called on every enable change.
    virtual void Refresh() {}
    virtual void SetName(const std::string& name);
    virtual void OnParentChanged() {}
    virtual void OnChildrenChanged() {}
    virtual void UpdateScriptFlag();
    virtual void FixPathSeparators();
    // Points the Owner reference at the unit the given one names and files
    // this unit in that owner's owned list; the reference may be the
    // unit's own (a stored value), which files the unit when it is not
    // filed yet.
    virtual void SetOwner(IKVUnitRef* owner);
    virtual void UpdateVisibility();
    // Called after a record of a scene file was read into the unit.
    virtual void OnLoaded() {}
    // Reads the unit's record from the scene file being read: its values,
    // the Flags of older records, its parameter table. 0, or the error of
    // a record that could not be read.
    virtual int32_t Load();
    // Defaults, and the unit's own references (after the factory gave the
    // unit its index and class).
    virtual void Init();
    // Detaches the unit from the units around it and from the factory.
    virtual void Close();
    virtual void Play();
    virtual void Pause();
    virtual void ResetState();
    // Finds the external implementation of the extra object, if any.
    virtual void AttachHandler();
    virtual void OnSceneLoaded() {}
    virtual void OnAttributesRead();
    // Raises "OnUpdate" while enabled and the script wants it.
    virtual void Update(float dt);
    virtual void UpdateExternal(float dt);
    virtual void Draw();
    // Tells whether the unit is visible (out) and, when it is drawable and
    // its external implementation does not draw it, files it with its layer
    // (its own, else the one at layerIndex) or with the scene manager.
    virtual void QueryVisible(bool* out, int32_t layerIndex);
    // Whether the point (game coordinates) lies on the unit; a 3D unit
    // writes the depth of the hit. Depth and camera may be null.
    virtual bool IsPointInside(const KV2DTempl<int32_t>& point, float* depth, IKVUnit* camera);
    // Whether the unit collides with another (as the target of the test, or
    // by a collision type); the base answers no.
    virtual bool CollidesWith(IKVUnit* other, bool asTarget, int32_t type) {
        (void)other;
        (void)asTarget;
        (void)type;
        return false;
    }
    virtual void Signal(int32_t first, int32_t second);
    // The scene manager's call after it drew the unit.
    void ExternalPass(int32_t value);
    // The drawn mark: set by Draw, cleared by each walk of the scene.
    bool WasDrawn() const { return m_drawn; }
    void ClearDrawn() { m_drawn = false; }
    // Asks the processor for the unit's memory ahead of a walk that will
    // read it. A frame's walks meet thousands of units one after another,
    // each over a dozen cache lines (a sprite's size, which the span
    // covers); waiting for each line as it is read costs more than the
    // walk's own work. A hint only: it reads nothing and changes nothing.
    void Prefetch() const {
        // Addresses as integers: the span may reach past a smaller unit.
        const uintptr_t start = reinterpret_cast<uintptr_t>(this);
        for (uintptr_t at = 0; at < kPrefetchBytes; at += 64)
            __builtin_prefetch(reinterpret_cast<const void*>(start + at));
    }
    static constexpr size_t kPrefetchBytes = 896;
    // Tells every listener that the unit's values changed.
    virtual void NotifyListeners();
    virtual void OnChildModified(int32_t unitIndex);

    // Hooks of the factory and of references.
    virtual void PreUpdate();
    // The copy was made from this source.
    virtual void OnCopied(KVUnit* source) { (void)source; }
    // The factory's active unit changed to or from this unit.
    virtual void OnActivated(bool active, int32_t selectedUnit) {
        (void)active;
        (void)selectedUnit;
    }
    // A reference that this unit's attribute holds lost its target, or
    // its target changed.
    virtual void OnReferenceDropped(IKVUnitRef* ref);
    virtual void OnReferenceChanged(IKVUnitRef* ref);

    // The effective enabled state and the Flags word without a virtual
    // call, for the factory's per-frame walks.
    bool EnabledState() const { return m_enabled; }
    uint32_t FlagsWord() const { return m_flags; }
    // The enabled state: the state asked for and the parent's state
    // combined, applied to the subtree with its events. While the factory
    // defers enables, the units that went on are queued for the next flush
    // and marked: the flush raises "OnEnable" on the marked ones. A unit
    // whose factory reference is given up never goes on again.
    void ApplyEnabledState();
    // Whether the unit went on while enables were deferred and has not had
    // its "OnEnable" since (nor gone off); clears the mark. Every going on
    // gets one "OnEnable", however often the unit is queued or walked.
    bool TakeEnablePending() {
        const bool pending = m_enablePending;
        m_enablePending = false;
        return pending;
    }
    void SetParentEnabled(bool enabled) { m_parentEnabled = enabled; }
    bool GetParentEnabled() const { return m_parentEnabled; }
    bool GetWantedEnabled() const { return m_wantedEnabled; }
    void SetWantedEnabled(bool enabled) { m_wantedEnabled = enabled; }

    // The Children attribute's setter: the new list, and a number from the
    // attribute layer (3: former children keep their state).
    void SetChildren(KVUnitRefArray* children, int32_t extra);
    // Puts the children at the positions (1 to the child count) first, or
    // last with atEnd; other children keep their order. Repeated positions
    // and positions outside the range are passed by.
    void ReorderChildren(const std::vector<int32_t>& positions, bool atEnd);
    // Position of the first child reference to the unit, or -1.
    int32_t FindChild(int32_t unitIndex);
    // Renames in the factory's name index only.
    void SetNameQuiet(const std::string& name);

    // Delegates: the newest entry of an event name receives the event.
    void AddDelegate(const std::string& eventName, int32_t unitIndex);
    // False when no entry has that name.
    bool RemoveDelegate(const std::string& eventName);
    // The unit of the first entry of that name whose unit is valid, or -1.
    int32_t FindDelegate(const char* eventName);

    // State the factory keeps.
    void SetIndex(int32_t index) { m_index = index; }
    void SetClassIndex(int32_t classIndex) { m_classIndex = classIndex; }
    uint64_t GetUid() const { return m_uid; }
    void SetUid(uint64_t uid) { m_uid = uid; }
    int32_t GetKvlIndex() const { return m_kvlIndex; }
    void SetKvlIndex(int32_t kvl) { m_kvlIndex = kvl; }
    int32_t GetRootSlot() const { return m_rootSlot; }
    void SetRootSlot(int32_t slot) { m_rootSlot = slot; }
    bool IsClosing() const { return m_closing; }
    void SetExternal(IKVExternal* external) { m_external = external; }
    IKVUnitExternal* GetExternalImplementation() const { return m_externalImpl; }
    // Which of the factory's update groups (0, 1, 2) the unit joins, and
    // whether it joins even when its script has no "OnUpdate" (classes with
    // work of their own each frame, and every unit with an external handler).
    int32_t GetUpdateGroup() const { return m_updateGroup; }
    void SetUpdateGroup(int32_t group) { m_updateGroup = group; }
    bool GetNativeUpdate() const { return m_nativeUpdate; }
    void SetNativeUpdate(bool on) { m_nativeUpdate = on; }
    bool GetUpdateWanted() const { return m_updateWanted; }
    int32_t GetDrawNumber() const { return m_drawNumber; }
    void SetDrawNumber(int32_t number) { m_drawNumber = number; }
    bool IsDrawable() const { return m_drawable; }
    const std::string& GetEditorFolder() const { return m_editorFolder; }
    void SetEditorFolder(const std::string& folder) { m_editorFolder = folder; }
    const std::string& GetAliasName() const { return m_aliasNames; }
    const std::string& GetClassNameText() const { return m_className; }
    IKVUnitRef* GetParentRef() const { return m_parent; }
    IKVUnitRef* GetLayerRef() const { return m_layer; }
    IKVUnitRef* GetOwnerRef() const { return m_owner; }
    KVUnitRefArray* GetCameras() { return &m_cameras; }
    const std::vector<int32_t>& GetOwnedUnits() const { return m_ownedUnits; }
    int32_t GetRefCount() const { return m_refCount; }
    size_t GetListenerCount() const { return m_listeners.size(); }
    // Value boxes of the class's storage-kind-2 attributes, in order.
    std::vector<std::unique_ptr<IKVAttributeLua>>& GetComponents() { return m_components; }
    // Shader parameter lists: made for a shader program, freed with their
    // entries; applied to the program; filled from the shader's description
    // file (Load also applies, Reload reads only for a path).
    static KVShaderParamList* NewShaderParamList(IKVShaderProgram** program);
    static void FreeShaderParamList(KVShaderParamList* list);
    void ApplyShaderParams(const KVShaderParamList& list);
    void LoadShaderParams(KVShaderParamList* list, const std::string& shaderPath);
    void ReloadShaderParams(KVShaderParamList* list, const std::string& shaderPath);
    // Loads the pixel (or vertex) shader of the path through the 3D device
    // while the unit is enabled and applies the list to it; the shader
    // object (its program face in *program), or null when nothing loaded.
    IKVUnknownRef* LoadShaderObject(const std::string& path, bool pixel, KVShaderParamList* list,
                                    IKVShaderProgram** program);
    // The parameter table: null until the first parameter is added.
    KVUnitParameters* GetParameters() { return m_parameters.get(); }
    int32_t AddParameter(const std::string& name, uint32_t kind, uint32_t count, KVParameterChanged changed,
                         void* user);

protected:
    ~KVUnit() override;

private:
    friend class KVUnitWatch;
    struct Delegate {
        std::string eventName;
        int32_t unitIndex;
    };

    static int32_t s_classIndex;
    static bool s_quietReparent;
    static bool s_enableDuringClose;
    static void RegisterAttributes(int32_t classIndex);
    static void RegisterScriptMembers(int32_t classIndex);

    // The enable machinery: apply compares the state with the one asked
    // for; switch carries a change out over the subtree. Units that became
    // enabled are collected in order for their "OnEnable". The walk runs
    // without recursion (KVUnitEnable.cpp).
    struct EnableWalk;
    void Apply(std::vector<int32_t>* enabled);
    // One unit's apply: its state and events; the walk goes on to its
    // children when it switched.
    void ApplyOwn(EnableWalk& walk);
    // One unit's switch before its children: false when the walk does not
    // go down from it (the unit released itself and may be gone, or an
    // enable waits for its "OnDisable" to return).
    bool Switch(std::vector<int32_t>* enabled);
    // One unit's switch after its children.
    void EndSwitch();
    // Raises an event without arguments; 4 when the script has none.
    int32_t RaiseEvent(const char* name, KVScriptResult* result = nullptr);
    bool ComputeVisible();
    void RemoveChildRef(int32_t unitIndex);
    // The unit at that index is this unit or lies below it.
    bool IsDescendant(int32_t unitIndex);
    // The unit at that index is this unit or one of its ancestors.
    bool IsAncestorOrSelf(int32_t unitIndex);
    void DetachChild(int32_t unitIndex);
    void TellListenersClosed();
    // The parameter table of a record; merges the stored values into the
    // unit's own parameters.
    int32_t ReadParameterTable(uint32_t recordEnd);
    // Takes the list's parameters out of the table and empties the list.
    void ClearShaderParams(KVShaderParamList* list);
    void ReadShaderDescription(KVShaderParamList* list, const std::string& shaderPath);
    // Leaves the owner's owned list.
    void LeaveOwner();
    // Release with a count of one or less: the unit goes away.
    int32_t ReleaseLast();
    // A close without recursion (KVUnit.cpp), and the part of a close that
    // follows the closes of the units it releases.
    struct CloseWalk;
    static CloseWalk* s_closeWalk;
    void EndClose();
    // Gives up the unit's own references.
    void ReleaseReferences();

    int32_t m_refCount = 1;
    int32_t m_index = -1;
    int32_t m_classIndex = -1;
    std::string m_name;
    uint32_t m_flags = KVUNIT_DEFAULT_FLAGS;
    bool m_enabled = false;
    bool m_parentEnabled = false;
    bool m_wantedEnabled = true;
    // What every frame's update reads, kept together.
    bool m_updateWanted = true;
    bool m_nativeUpdate = false;
    int32_t m_updateGroup = 0;
    IKVUnitExternal* m_externalImpl = nullptr;
    std::vector<Delegate> m_delegates;  // newest first
    KVUnitRefArray m_children;
    IKVUnitRef* m_parent = nullptr;
    std::vector<std::unique_ptr<IKVAttributeLua>> m_components;
    IKVExternal* m_external = nullptr;
    int32_t m_kvlIndex = -1;
    std::vector<IKVLinker*> m_listeners;
    uint64_t m_uid = 0;
    IKVUnitRef* m_layer = nullptr;
    int32_t m_drawNumber = -1;
    int32_t m_notifyTarget = -1;
    int32_t m_sceneList = 2;
    bool m_inQuery = false;
    bool m_inPreEnable = false;
    bool m_inDisable = false;
    bool m_closing = false;
    bool m_reenablePending = false;
    bool m_finalRelease = false;
    bool m_enablePending = false;
    // The factory's reference is given up: the unit is going away, and is
    // neither released by the factory again nor switched on again.
    bool m_factoryReferenceDropped = false;
    // The close mode the unit's close keeps: the factory's when its
    // reference was given up (a holder's last release closes it later);
    // -1 for the factory's mode at the time of the close.
    int32_t m_closeMode = -1;
    // Released by a close under way, which ends this unit's close and
    // deletes it.
    bool m_closeDeferred = false;
    bool m_drawable = false;
    bool m_drawn = false;
    KVUnitRefArray m_cameras;
    int32_t m_rootSlot = -1;
    std::string m_editorFolder;
    std::string m_className;
    std::string m_aliasNames;
    IKVUnitRef* m_owner = nullptr;
    std::vector<int32_t> m_ownedUnits;
    std::unique_ptr<KVUnitParameters> m_parameters;
    KVUnitWatch* m_watches = nullptr;
};

} // namespace kvl
