#pragma once
// The base unit: the state every scene object has and that the attributes
// of class "Unit" point into. The unit factory creates units through their
// class's create function, keeps them by index and closes them.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>
#include "IKVUnit.h"
#include "KVUnitRefArray.h"

namespace kvl {

class IKVUnitRef;
class IKVAttributeLua;
class IKVExternal;

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
    KVUNIT_OWNER_RELEASED = 0x200000,
    KVUNIT_SCRIPTED = 0x800000,
    KVUNIT_EFFECTIVELY_VISIBLE = 0x1000000,
    KVUNIT_DEFAULT_FLAGS = 0x1000012,
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

    KVUnit();

    // IKVUnknown
    int32_t QueryInterface(const KVInterfaceId& id, void** out) override;
    int32_t Retain() override;
    int32_t Release() override;

    // IKVUnit
    int32_t GetClassIndex() override { return m_classIndex; }
    const uint64_t* GetClassId() override;
    bool IsEnabled() override { return m_enabled; }
    int32_t GetIndex() override { return m_index; }
    void* GetExtraData() override { return m_external; }
    int32_t GetParentIndex() override;
    KVUnitRefArray* GetChildren() override { return &m_children; }
    int32_t AddListener(IKVLinker* listener) override;
    int32_t RemoveListener(IKVLinker* listener) override;
    uint32_t GetFlags() override { return m_flags; }
    void SetFlags(uint32_t flags) override { m_flags = flags; }
    const std::string& GetName() override { return m_name; }
    KVUnit* GetUnit() override { return this; }

    // Defaults, and the unit's own references (after the factory gave the
    // unit its index and class).
    virtual void Init();
    // Detaches the unit from the units that follow it and from the factory.
    virtual void Close();

    // Operations the attributes of class "Unit" call when written.
    virtual void SetName(const std::string& name);
    virtual void SetParent(int32_t parentIndex);
    virtual void SetChildren(KVUnitRefArray* children, int32_t reason);
    virtual void ApplyEnabledState();
    virtual void UpdateScriptFlag();
    virtual void FixPathSeparators();
    virtual void SetOwner(IKVUnitRef* owner);
    virtual void UpdateVisibility();

    // State the factory keeps.
    void SetIndex(int32_t index) { m_index = index; }
    void SetClassIndex(int32_t classIndex) { m_classIndex = classIndex; }
    uint64_t GetUid() const { return m_uid; }
    void SetUid(uint64_t uid) { m_uid = uid; }
    int32_t GetKvlIndex() const { return m_kvlIndex; }
    void SetKvlIndex(int32_t kvl) { m_kvlIndex = kvl; }
    bool GetWantedEnabled() const { return m_wantedEnabled; }
    void SetWantedEnabled(bool enabled) { m_wantedEnabled = enabled; }
    const std::string& GetEditorFolder() const { return m_editorFolder; }
    const std::string& GetAliasName() const { return m_aliasNames; }
    const std::string& GetClassNameText() const { return m_className; }
    IKVUnitRef* GetParentRef() const { return m_parent; }
    IKVUnitRef* GetLayerRef() const { return m_layer; }
    IKVUnitRef* GetOwnerRef() const { return m_owner; }
    KVUnitRefArray* GetCameras() { return &m_cameras; }
    const std::vector<int32_t>& GetOwnedUnits() const { return m_ownedUnits; }
    // Value boxes of the class's storage-kind-2 attributes, in order.
    std::vector<std::unique_ptr<IKVAttributeLua>>& GetComponents() { return m_components; }

protected:
    ~KVUnit() override;

private:
    static int32_t s_classIndex;
    static void RegisterAttributes(int32_t classIndex);
    static void RegisterScriptMembers(int32_t classIndex);
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
    bool m_closing = false;
    KVUnitRefArray m_cameras;
    int32_t m_rootSlot = -1;
    std::string m_editorFolder;
    std::string m_className;
    std::string m_aliasNames;
    IKVUnitRef* m_owner = nullptr;
    std::vector<int32_t> m_ownedUnits;
};

} // namespace kvl
