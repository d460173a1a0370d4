// The class registry of the unit factory: classes, their attributes and
// the attributes' name index, project classes and dynamic attributes.
#include <algorithm>
#include <iterator>

#include "../kernel/IKVLog.h"
#include "IKVUnit.h"
#include "KVAttributeManipulatorBits.h"
#include "KVAttributeManipulatorColor.h"
#include "KVAttributeManipulatorNumbers.h"
#include "KVAttributeManipulatorPositions.h"
#include "KVAttributeManipulatorStrings.h"
#include "KVAttributeManipulatorUid.h"
#include "KVAttributeManipulatorUnits.h"
#include "KVAttributeText.h"
#include "KVUnit.h"
#include "KVUnitFactory.h"

namespace kvl {

namespace {

// Length of the part of an attribute name before its first "@" or "~".
size_t BaseNameLength(const std::string& name) {
    size_t end = name.find_first_of("@~");
    return end == std::string::npos ? name.size() : end;
}

} // namespace

std::string KVUnitFactory::NormalizeAttributeName(const std::string& name) {
    size_t end = BaseNameLength(name);
    std::string result;
    result.reserve(name.size());
    bool raiseNext = false;
    for (size_t i = 0; i < end; ++i) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        if (c <= 32) {
            raiseNext = true;
            continue;
        }
        if (raiseNext && c >= 'a' && c <= 'z') c = static_cast<unsigned char>(c - 'a' + 'A');
        raiseNext = false;
        result += char(c);
    }
    result.append(name, end, std::string::npos);
    return result;
}

std::shared_ptr<KVAttributeManipulator> KVUnitFactory::CreateManipulator(KVAttributeDesc* desc) {
    std::shared_ptr<KVAttributeManipulator> m;
    switch (desc->typeCode) {
    case KVATTR_U32: m = std::make_shared<KVAttributeManipulator_u32>(); break;
    case KVATTR_F32: m = std::make_shared<KVAttributeManipulator_f32>(); break;
    case KVATTR_S32: m = std::make_shared<KVAttributeManipulator_s32>(); break;
    case KVATTR_PATH: m = std::make_shared<KVAttributeManipulator_path>(); break;
    case KVATTR_STRING:
    case KVATTR_STRING_ALT: m = std::make_shared<KVAttributeManipulator_string>(); break;
    case KVATTR_FLAGS: m = std::make_shared<KVAttributeManipulator_flags>(); break;
    case KVATTR_ARRAY_UNIT: m = std::make_shared<KVAttributeManipulator_array_unit>(); break;
    case KVATTR_BOOLEAN: m = std::make_shared<KVAttributeManipulator_boolean>(); break;
    case KVATTR_COLOR: m = std::make_shared<KVAttributeManipulator_color>(); break;
    case KVATTR_UNIT: m = std::make_shared<KVAttributeManipulator_unit>(); break;
    case KVATTR_PATHS: m = std::make_shared<KVAttributeManipulator_paths>(); break;
    case KVATTR_ENUM: m = std::make_shared<KVAttributeManipulator_enum>(); break;
    case KVATTR_ARRAY_KVPOS2D: m = std::make_shared<KVAttributeManipulator_array_kvpos2d>(); break;
    case KVATTR_UID: m = std::make_shared<KVAttributeManipulator_uid>(); break;
    case KVATTR_F32_ROTATION: m = std::make_shared<KVAttributeManipulator_f32_rotation>(); break;
    case KVATTR_BOOLEAN_COMPACT: m = std::make_shared<KVAttributeManipulator_boolean_compact>(); break;
    default: return nullptr;
    }
    desc->manipulator = m;
    m->Init(desc);
    return m;
}

void KVUnitFactory::AddKindBit(int32_t classIndex) {
    size_t count = m_classes.size();
    for (KVUnitClass& record : m_classes)
        if (record.kinds.size() < count) record.kinds.resize(count, false);
    KVUnitClass& record = m_classes[size_t(classIndex)];
    if (KVUnitClass* base = GetClass(record.baseClass)) record.kinds = base->kinds;
    else record.kinds.assign(count, false);
    record.kinds.resize(count, false);
    record.kinds[size_t(classIndex)] = true;
}

int32_t KVUnitFactory::RegisterClass(const KVUnitClassDesc& desc, int32_t* outClassIndex) {
    if (desc.id == 0) {
        if (IKVLog* log = GetLog()) log->WriteString("Can't register unit class " + desc.name, KVLOG_ERROR, 0);
        return KV_INVALID;
    }
    int32_t index = int32_t(m_classes.size());
    // A base outside the table is taken as none.
    const KVUnitClass* base = GetClass(desc.baseClass);
    KVUnitClass record;
    if (base) record = *base;
    record.name = desc.name;
    record.create = desc.create ? desc.create : (base ? base->create : nullptr);
    record.createExtra = desc.createExtra;
    record.baseClass = base ? desc.baseClass : -1;
    record.id = desc.id;
    record.description = desc.description;
    record.reserved = desc.reserved;
    record.aliasNames = desc.aliasNames;
    record.liveUnits = 0;
    record.ownIndex = index;
    record.projectClass = false;
    record.scripted = false;
    m_classes.push_back(std::move(record));
    AttributesChanged();
    AddKindBit(index);
    if (outClassIndex) *outClassIndex = index;
    return KV_OK;
}

void KVUnitFactory::EnterAttributeName(KVUnitClass& record, const KVAttributeDesc& desc) {
    const std::string& name = desc.name;
    size_t end = BaseNameLength(name);
    std::string base = name.substr(0, end);
    if (end == name.size() || name[end] == '@' || desc.typeCode == KVATTR_ENUM) {
        record.attributeNames.Insert(base, KVAttributeSlot{desc.position, 0});
        return;
    }
    int32_t element = 0;
    size_t at = end;
    while (at < name.size() && name[at] == '~') {
        size_t next = name.find_first_of("@~", at + 1);
        if (next == std::string::npos) next = name.size();
        record.attributeNames.Insert(base + "_" + name.substr(at + 1, next - at - 1),
                                     KVAttributeSlot{desc.position, element++});
        at = next;
    }
}

int32_t KVUnitFactory::AddAttribute(const KVAttributeDesc& desc) {
    KVUnitClass* record = GetClass(desc.classIndex);
    if (!record) return KV_INVALID;
    if (desc.storageKind == KVSTORE_COMPONENT)
        for (const KVAttributeDesc& a : record->attributes)
            if (a.id == desc.id) return KV_ATTRIBUTE_EXISTS;
    // Every attribute needs a manipulator; a type without one is refused.
    if (desc.typeCode < 0 || desc.typeCode >= KVATTR_TYPE_COUNT) return KV_INVALID;

    KVAttributeDesc stored = desc;
    stored.name = NormalizeAttributeName(desc.name);
    stored.position = int32_t(record->attributes.size());
    stored.firstElement = 0;
    if (!record->attributes.empty()) {
        const KVAttributeDesc& previous = record->attributes.back();
        stored.firstElement = previous.firstElement + previous.elementCount;
    }
    if (stored.storageKind == KVSTORE_COMPONENT) {
        stored.offset = int32_t(record->components.size());
        record->components.push_back(stored.position);
    }
    stored.byteSize = stored.elementCount;
    CreateManipulator(&stored);
    record->attributes.push_back(stored);
    AttributesChanged();
    record->attributes[size_t(record->listedCount)].listedMap = stored.position;
    if (stored.HasFlag(KVAF_LISTED)) ++record->listedCount;
    EnterAttributeName(*record, stored);
    return KV_OK;
}

int32_t KVUnitFactory::UpdateAttribute(const KVAttributeDesc& desc, int32_t* outPosition) {
    KVUnitClass* record = GetClass(desc.classIndex);
    if (!record) return KV_NOT_FOUND;
    int32_t position = desc.position;
    if (position < 0) position = FindAttributePosition(desc.classIndex, desc.id);
    if (position < 0 || size_t(position) >= record->attributes.size()) return KV_NOT_FOUND;
    KVAttributeDesc& stored = record->attributes[size_t(position)];
    AttributesChanged();
    stored.reservedIndex = desc.reservedIndex;
    stored.classIndex = desc.classIndex;
    stored.typeCode = desc.typeCode;
    stored.name = desc.name;
    stored.offset = desc.offset;
    stored.readHook = desc.readHook;
    stored.changedHook = desc.changedHook;
    stored.setter = desc.setter;
    stored.elementCount = desc.elementCount;
    stored.storageKind = desc.storageKind;
    std::copy(std::begin(desc.flags), std::end(desc.flags), std::begin(stored.flags));
    stored.id = desc.id;
    stored.referencedClass = desc.referencedClass;
    stored.bitNumber = desc.bitNumber;
    stored.getter = desc.getter;
    // The attribute keeps its place even when it was found by id.
    stored.position = position;
    if (outPosition) *outPosition = position;
    return KV_OK;
}

const KVAttributeDesc* KVUnitFactory::GetAttribute(int32_t classIndex, int32_t position) {
    KVUnitClass* record = GetClass(classIndex);
    if (!record || position < 0 || size_t(position) >= record->attributes.size()) return nullptr;
    return &record->attributes[size_t(position)];
}

int32_t KVUnitFactory::FindAttributePosition(int32_t classIndex, uint64_t id) {
    KVUnitClass* record = GetClass(classIndex);
    if (!record) return -1;
    for (const KVAttributeDesc& a : record->attributes)
        if (a.id == id) return a.position;
    return -1;
}

const KVAttributeDesc* KVUnitFactory::FindAttributeById(int32_t classIndex, uint64_t id) {
    return GetAttribute(classIndex, FindAttributePosition(classIndex, id));
}

int32_t KVUnitFactory::GetListedAttributeType(int32_t classIndex, int32_t listed) {
    KVUnitClass* record = GetClass(classIndex);
    if (!record || listed < 0 || listed >= record->listedCount) return -1;
    const KVAttributeDesc* desc = GetAttribute(classIndex, record->attributes[size_t(listed)].listedMap);
    return desc ? desc->typeCode : -1;
}

int32_t KVUnitFactory::FindAttributeIndex(int32_t classIndex, const std::string& name) {
    KVUnitClass* record = GetClass(classIndex);
    if (!record) return -1;
    for (const KVAttributeDesc& a : record->attributes) {
        if (a.name.compare(0, name.size(), name) != 0) continue;
        if (a.name.size() == name.size() || a.name[name.size()] == '@' || a.name[name.size()] == '~')
            return a.position;
    }
    return -1;
}

int32_t KVUnitFactory::FindClassByName(const std::string& name) {
    for (const KVUnitClass& record : m_classes)
        if (record.name == name) return record.ownIndex;
    for (const KVUnitClass& record : m_classes) {
        if (record.aliasNames.empty()) continue;
        for (const std::string& alias : SplitText(record.aliasNames, ';'))
            if (!alias.empty() && alias == name) return record.ownIndex;
    }
    return -1;
}

int32_t KVUnitFactory::FindClassById(uint64_t id) {
    for (const KVUnitClass& record : m_classes)
        if (record.id == id) return record.ownIndex;
    return -1;
}

bool KVUnitFactory::IsUnitOfClass(IKVUnit* unit, int32_t classIndex) {
    KVUnitClass* record = unit ? GetClass(unit->GetClassIndex()) : nullptr;
    return record && record->IsKindOf(classIndex);
}

int32_t KVUnitFactory::DeriveClass(int32_t baseClass) {
    const KVUnitClass* base = GetClass(baseClass);
    if (!base) return -1;
    KVUnitClass record = *base;
    record.name.clear();
    record.id = 0;
    record.baseClass = baseClass;
    record.description.clear();
    record.aliasNames.clear();
    record.liveUnits = 0;
    record.ownIndex = int32_t(m_classes.size());
    record.kinds.clear();
    record.projectClass = false;
    record.scripted = false;
    m_classes.push_back(std::move(record));
    AttributesChanged();
    return int32_t(m_classes.size() - 1);
}

int32_t KVUnitFactory::CreateProjectClass(const std::string& name, int32_t baseClass, uint64_t id) {
    int32_t index = DeriveClass(baseClass);
    if (index < 0) return -1;
    KVUnitClass& record = m_classes[size_t(index)];
    record.name = name;
    record.id = id;
    record.projectClass = true;
    AddKindBit(index);
    return index;
}

int32_t KVUnitFactory::AddDynamicAttribute(const std::string& name, int32_t classIndex, uint64_t id,
                                           int32_t typeCode, bool existingUnits) {
    KVAttributeDesc desc;
    desc.classIndex = classIndex;
    desc.typeCode = typeCode;
    desc.name = name;
    desc.storageKind = KVSTORE_COMPONENT;
    desc.SetOnlyFlags({KVAF_LISTED, KVAF_SCRIPT, KVAF_PERSISTENT, KVAF_DYNAMIC});
    desc.id = id;
    int32_t result = AddAttribute(desc);
    if (result != KV_OK || !existingUnits) return result;
    int32_t component = int32_t(m_classes[size_t(classIndex)].components.size()) - 1;
    for (int32_t i = m_units.Head(); i != -1; i = m_units.Next(i)) {
        KVUnit* unit = *m_units.At(i);
        if (unit->GetClassIndex() == classIndex) AddAttributeLuaObject(unit, component);
    }
    return KV_OK;
}

} // namespace kvl
