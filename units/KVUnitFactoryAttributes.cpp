// Where attribute values live for a unit, how a write reaches them (directly
// or through a staging copy and the setter), and the value boxes of the
// storage-kind-2 attributes.
#include <cstring>

#include "../KVLua/KVLua.h"
#include "../kernel/KVCore.h"
#include "../kernel/KVFormat.h"
#include "IKVAttributeLua.h"
#include "KVAttributeManipulator.h"
#include "KVUnit.h"
#include "KVUnitFactory.h"

namespace kvl {

namespace {

// Where the stored value of an attribute without a getter lies, or null.
inline void* StoredHolder(KVUnit* unit, const KVAttributeDesc& desc) {
    switch (desc.storageKind) {
    case KVSTORE_UNIT:
        // Offsets count from the start of the base unit, the first base of
        // every unit class.
        return reinterpret_cast<uint8_t*>(unit) + desc.offset;
    case KVSTORE_EXTRA:
        if (void* extra = unit->GetExtraData()) return static_cast<uint8_t*>(extra) + desc.offset;
        return nullptr;
    case KVSTORE_COMPONENT: {
        auto& components = unit->GetComponents();
        if (desc.offset >= 0 && size_t(desc.offset) < components.size() && components[size_t(desc.offset)])
            return components[size_t(desc.offset)]->GetValue();
        return nullptr;
    }
    default:
        return nullptr;
    }
}

} // namespace

int32_t KVUnitFactory::GetHolder(KVUnit* unit, const KVAttributeDesc& desc, void** out) {
    if (desc.getter) return KV_OK;
    void* holder = StoredHolder(unit, desc);
    if (!holder) return KV_NO_HOLDER;
    if (out) *out = holder;
    return KV_OK;
}

void* KVUnitFactory::GetHolderAt(int32_t unitIndex, int32_t position, int32_t typeCode) {
    if (!IsValidUnit(unitIndex)) return nullptr;
    KVUnit* unit = GetUnit(unitIndex)->GetUnit();
    const KVAttributeDesc* desc = GetAttribute(unit->GetClassIndex(), position);
    void* holder = nullptr;
    if (!desc || desc->typeCode != typeCode || GetHolder(unit, *desc, &holder) != KV_OK) return nullptr;
    return holder;
}

int32_t KVUnitFactory::GetWriteHolder(KVUnit* unit, const KVAttributeDesc& desc, void** out) {
    void* holder = nullptr;
    int32_t result = GetHolder(unit, desc, &holder);
    if (result != KV_OK || !holder) return result == KV_OK ? KV_NO_HOLDER : result;
    if (desc.setter && desc.manipulator) holder = desc.manipulator->Clone(holder);
    if (out) *out = holder;
    return KV_OK;
}

void KVUnitFactory::EndWrite(KVUnit* unit, const KVAttributeDesc& desc, void* holder) {
    (void)unit;
    if (desc.setter && desc.manipulator && holder) desc.manipulator->Free(holder);
}

inline int32_t KVUnitFactory::BeginWrite(KVUnit* unit, const KVAttributeDesc& desc, KVStagingCopy* staging,
                                        void** out) {
    void* holder = desc.getter ? nullptr : StoredHolder(unit, desc);
    if (!holder) return KV_NO_HOLDER;
    if (desc.setter && desc.manipulator) holder = desc.manipulator->Stage(holder, staging);
    *out = holder;
    return KV_OK;
}

void KVUnitFactory::PrepareRead(KVUnit* unit, const KVAttributeDesc& desc) {
    if (!desc.readHook) return;
    if (desc.storageKind == KVSTORE_UNIT)
        desc.readHook(unit);
    else if (desc.storageKind == KVSTORE_EXTRA)
        desc.readHook(unit->GetExtraData());
}

int32_t KVUnitFactory::ApplyAttribute(KVUnit* unit, const KVAttributeDesc& desc, void* holder) {
    if (desc.storageKind == KVSTORE_COMPONENT) return KV_OK;
    if (desc.setter) return desc.setter(unit, holder, m_reason);
    if (desc.changedHook) {
        if (desc.storageKind == KVSTORE_UNIT)
            desc.changedHook(unit);
        else if (desc.storageKind == KVSTORE_EXTRA)
            desc.changedHook(unit->GetExtraData());
    }
    return KV_OK;
}

int32_t KVUnitFactory::SetAttributeElement(int32_t unitIndex, int32_t position, int32_t element, const void* value) {
    if (!IsValidUnit(unitIndex)) return KV_INVALID;
    KVUnit* unit = GetUnit(unitIndex)->GetUnit();
    const KVAttributeDesc* desc = GetAttribute(unit->GetClassIndex(), position);
    if (!desc || !desc->manipulator) return KV_NOT_FOUND;
    desc->manipulator->SetUnit(unitIndex);
    KVStagingCopy staging;
    void* holder = nullptr;
    int32_t result = BeginWrite(unit, *desc, &staging, &holder);
    if (result != KV_OK) return result;
    desc->manipulator->CopyElement(holder, element, value);
    ApplyAttribute(unit, *desc, holder);
    return KV_OK;
}

int32_t KVUnitFactory::SetAttributeText(int32_t unitIndex, int32_t position, int32_t element, const std::string& text,
                                        bool byListed) {
    if (!IsValidUnit(unitIndex)) return KV_OK;
    KVUnit* unit = GetUnit(unitIndex)->GetUnit();
    if (byListed) {
        const KVUnitClass* record = GetClass(unit->GetClassIndex());
        if (!record || position < 0 || position >= record->listedCount) return KV_OK;
        position = record->attributes[size_t(position)].listedMap;
    }
    const KVAttributeDesc* desc = GetAttribute(unit->GetClassIndex(), position);
    if (!desc || !desc->manipulator) return KV_OK;
    desc->manipulator->SetUnit(unitIndex);
    KVStagingCopy staging;
    void* holder = nullptr;
    if (BeginWrite(unit, *desc, &staging, &holder) != KV_OK) return KV_OK;
    desc->manipulator->ParseElement(holder, text, element);
    ApplyAttribute(unit, *desc, holder);
    if (KVCore* core = KVCore::Instance()) core->Notify(KVNOTICE_VALUES_CHANGED, unitIndex, nullptr);
    return KV_OK;
}

bool KVUnitFactory::FillNameEntry(AttributeNameEntry& entry, int32_t classIndex, const char* name) {
    KVUnitClass* record = GetClass(classIndex);
    if (!record) return false;
    auto at = record->attributeNames.Find(name);
    const KVAttributeSlot slot = at.Empty() ? KVAttributeSlot{-1, 0} : at.Value();
    entry.generation = m_attributeGeneration;
    entry.classIndex = classIndex;
    entry.name = name;
    entry.element = slot.element;
    entry.desc = GetAttribute(classIndex, slot.position);
    return true;
}

inline const KVAttributeDesc* KVUnitFactory::FindScriptAttribute(KVUnit* unit, const char* name) {
    if (!unit || !name) return nullptr;
    const int32_t classIndex = unit->GetClassIndex();
    AttributeNameEntry& entry = NameEntry(classIndex, name);
    if (entry.generation != m_attributeGeneration || entry.classIndex != classIndex ||
        std::strcmp(entry.name.c_str(), name) != 0) {
        if (!FillNameEntry(entry, classIndex, name)) return nullptr;
    }
    const KVAttributeDesc* desc = entry.desc;
    if (!desc || !desc->HasFlag(KVAF_SCRIPT)) return nullptr;
    m_lastElement = entry.element;
    return desc;
}

inline void* KVUnitFactory::ElementHolder(KVUnit* unit, const KVAttributeDesc& desc) {
    KVAttributeManipulator* manipulator = desc.manipulator.get();
    if (desc.getter || !manipulator) return nullptr;
    manipulator->SetUnit(unit->GetIndex());
    void* holder = StoredHolder(unit, desc);
    return holder ? manipulator->ElementAt(holder, m_lastElement) : nullptr;
}

int32_t KVUnitFactory::FindAttribute(KVUnit* unit, const char* name, const KVAttributeDesc** outDesc,
                                     void** outHolder) {
    const KVAttributeDesc* desc = FindScriptAttribute(unit, name);
    if (!desc) return 1;
    if (outDesc) *outDesc = desc;
    // A write finds its holder itself.
    if (outHolder) *outHolder = ElementHolder(unit, *desc);
    return KV_OK;
}

void KVUnitFactory::PushAttributeValue(KVUnit* unit, const KVAttributeDesc& desc, void* holder) {
    IKVLua* lua = GetLuaBinding();
    if (!lua) return;
    if (desc.getter) {
        KVAttributeComputed value;
        desc.getter(unit, &value);
        if (desc.typeCode == KVATTR_F32)
            lua->PushNumber(double(value.real));
        else if (desc.typeCode == KVATTR_S32)
            lua->PushInteger(value.integer);
        else
            lua->PushString(value.text.c_str());
        return;
    }
    PrepareRead(unit, desc);
    if (!desc.manipulator || !holder) {
        lua->PushNil();
        return;
    }
    desc.manipulator->SetUnit(unit->GetIndex());
    desc.manipulator->PushValue(lua, holder);
}

void KVUnitFactory::ReportReadOnly(const char* name) {
    if (IKVLua* lua = GetLuaBinding()) lua->FormatLocation(Format("Attribute {0} is read only.", name));
}

inline void KVUnitFactory::SetAttributeValue(KVUnit* unit, const KVAttributeDesc& desc, const char* name,
                                             int32_t element) {
    if (desc.HasFlag(KVAF_READ_ONLY)) {
        ReportReadOnly(name);
        return;
    }
    KVAttributeManipulator* manipulator = desc.manipulator.get();
    if (!manipulator) return;
    manipulator->SetUnit(unit->GetIndex());
    KVStagingCopy staging;
    void* holder = nullptr;
    if (BeginWrite(unit, desc, &staging, &holder) != KV_OK) return;
    // The element the script named (a bit of a flags word is remembered
    // by the lookup instead).
    if (void* target = manipulator->ElementAt(holder, element)) {
        if (IKVLua* lua = GetLuaBinding())
            manipulator->GetValue(lua, target);
        else
            manipulator->GetFromLua(target);
    }
    ApplyAttribute(unit, desc, holder);
}

int32_t KVUnitFactory::PushAttributeToLua(IKVUnit* unit, const char* name) {
    KVUnit* object = unit ? unit->GetUnit() : nullptr;
    const KVAttributeDesc* desc = FindScriptAttribute(object, name);
    if (!desc) return 1;
    KVAttributeManipulator* manipulator = desc->manipulator.get();
    if (desc->getter || !manipulator) {
        PushAttributeValue(object, *desc, nullptr);
        return KV_OK;
    }
    // PushAttributeValue's steps, with the unit's index asked once.
    const int32_t index = object->GetIndex();
    manipulator->SetUnit(index);
    void* holder = StoredHolder(object, *desc);
    if (holder) holder = manipulator->ElementAt(holder, m_lastElement);
    IKVLua* lua = GetLuaBinding();
    if (!lua) return KV_OK;
    PrepareRead(object, *desc);
    if (!holder) {
        lua->PushNil();
        return KV_OK;
    }
    manipulator->SetUnit(index);
    manipulator->PushValue(lua, holder);
    return KV_OK;
}

int32_t KVUnitFactory::SetAttributeFromLua(IKVUnit* unit, const char* name) {
    KVUnit* object = unit ? unit->GetUnit() : nullptr;
    const KVAttributeDesc* desc = FindScriptAttribute(object, name);
    if (!desc) return 1;
    SetAttributeValue(object, *desc, name, m_lastElement);
    return KV_OK;
}

int32_t KVUnitFactory::PushAttributeByIndex(KVUnit* unit, int32_t position) {
    const KVAttributeDesc* desc = unit ? GetAttribute(unit->GetClassIndex(), position) : nullptr;
    if (!GetLuaBinding() || !desc) return KV_NOT_FOUND;
    void* holder = nullptr;
    if (!desc->getter) GetHolder(unit, *desc, &holder);
    PushAttributeValue(unit, *desc, holder);
    return KV_OK;
}

int32_t KVUnitFactory::SetAttributeFromLuaByIndex(KVUnit* unit, int32_t position) {
    const KVAttributeDesc* desc = unit ? GetAttribute(unit->GetClassIndex(), position) : nullptr;
    if (!GetLuaBinding() || !desc) return KV_NOT_FOUND;
    SetAttributeValue(unit, *desc, desc->name.c_str(), 0);
    return KV_OK;
}

void KVUnitFactory::BuildAttributeLuaObjects(KVUnit* unit) {
    KVUnitClass* record = unit ? GetClass(unit->GetClassIndex()) : nullptr;
    if (!record) return;
    unit->GetComponents().reserve(unit->GetComponents().size() + record->components.size());
    for (size_t i = 0; i < record->components.size(); ++i) AddAttributeLuaObject(unit, int32_t(i));
}

void KVUnitFactory::AddAttributeLuaObject(KVUnit* unit, int32_t component) {
    KVUnitClass* record = unit ? GetClass(unit->GetClassIndex()) : nullptr;
    if (!record || component < 0 || size_t(component) >= record->components.size()) return;
    const KVAttributeDesc& desc = record->attributes[size_t(record->components[size_t(component)])];
    if (!desc.manipulator) return;
    desc.manipulator->SetUnit(unit->GetIndex());
    unit->GetComponents().emplace_back(desc.manipulator->NewBox());
}

void KVUnitFactory::ReleaseAttributeLuaObjects(KVUnit* unit) {
    if (unit && GetClass(unit->GetClassIndex())) unit->GetComponents().clear();
}

} // namespace kvl
