#pragma once
// The unit factory: keeps the table of unit classes with their typed
// attributes and the table of live units, and gives every attribute value
// its manipulator. Split by responsibility:
//   KVUnitFactory.cpp            module phases, interface queries
//   KVUnitFactoryClasses.cpp     class registry, attributes, project classes
//   KVUnitFactoryBuiltins.cpp    the built-in classes in their fixed order
//   KVUnitFactoryUnits.cpp       unit table, references
//   KVUnitFactoryAttributes.cpp  attribute holders, writes, value boxes
//   KVUnitFactoryScene.cpp       what project and scene loading call
#include <memory>
#include <string>
#include <vector>
#include "../kernel/IKVLog.h"
#include "../kernel/IKVModule.h"
#include "../kernel/KVIndexedList.h"
#include "../kernel/Singleton.h"
#include "IKVUnitFactory.h"
#include "KVUnitClass.h"

namespace kvl {

class KVUnit;
class KVAttributeManipulator;

// Options of CreateUnit.
enum KVCreateOption : int32_t {
    KVCREATE_RUNTIME = 2,
    KVCREATE_NO_NAME = 4,
    KVCREATE_NO_EVENTS = 8,
    KVCREATE_DISABLED = 0x10,
};

class KVUnitFactory : public Singleton<KVUnitFactory>, public IKVModule, public IKVUnitFactory {
public:
    static constexpr uint64_t kCheckPropertyId = 0x004F36E0B01D2350ull;

    KVUnitFactory();
    ~KVUnitFactory() override;

    int32_t QueryInterface(const KVInterfaceId& id, void** out) override;
    int32_t Init(int32_t phase) override;
    int32_t Release(int32_t phase) override;

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
    int32_t GetClassCount() const { return int32_t(m_classes.size()); }
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

    // Unit table.
    IKVUnit* GetUnit(int32_t unitIndex) override;
    IKVUnitRef* MakeUnitRef(int32_t ownerUnit, const uint64_t* attributeId) override;
    bool IsValidUnit(int32_t unitIndex) override;
    // Makes a unit of the class, gives it its slot, index, kvl and value
    // boxes and runs its Init. 0x50000 for a class outside the table, 4
    // when the class can make no object.
    int32_t CreateUnit(int32_t classIndex, KVUnit** out, int32_t options, int32_t kvlIndex, uint32_t flags);
    // Takes a closing unit out of the tables.
    void RemoveUnit(int32_t unitIndex);
    int32_t GetUnitCount() const { return int32_t(m_units.Size()); }
    // References waiting for their uid to be resolved after a load.
    void AddPendingLink(IKVUnitRef* ref);
    std::vector<IKVUnitRef*>& GetPendingLinks() { return m_pendingLinks; }
    void ClearPendingLinks();

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
    // Runs the setter or the changed hook after a write.
    int32_t ApplyAttribute(KVUnit* unit, const KVAttributeDesc& desc, void* holder);
    // Writes one element of a unit's attribute from a value of the
    // element's form, then applies it.
    int32_t SetAttributeElement(int32_t unitIndex, int32_t position, int32_t element, const void* value);
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

    // Called by project and scene loading.
    int32_t NewUid(uint64_t* out);
    int32_t FinishSceneLoad(int32_t first, int32_t second);
    int32_t CheckProjectVersion();
    int32_t CreateSceneUnits(int32_t kvlIndex);
    int32_t FlushPendingEnables();
    int32_t CloseKvlUnits(int32_t kvlIndex, bool renumber);
    // What loading asked of the factory, in order.
    const std::vector<std::string>& GetCalls() const { return m_calls; }
    void ClearCalls() { m_calls.clear(); }

private:
    void ResetRunState();
    void AddKindBit(int32_t classIndex);
    void EnterAttributeName(KVUnitClass& record, const KVAttributeDesc& desc);
    void ReleaseAllUnits();

    std::vector<KVUnitClass> m_classes;
    KVIndexedList<KVUnit*> m_units;
    std::vector<IKVUnitRef*> m_pendingLinks;
    int32_t m_lastElement = 0;
    int32_t m_reason = 0;
    bool m_loading = false;
    uint32_t m_kvlVersion = 0;
    bool m_repair = false;
    int32_t m_firstLoadedUnit = -1;
    int32_t m_loadedCount = 0;
    int32_t m_closingKvl = 0;
    int32_t m_selectedUnit = -1;
    int32_t m_runtimeUnits = 0;

    std::vector<std::string> m_calls;
    uint64_t m_uidCount = 0;
};

} // namespace kvl
