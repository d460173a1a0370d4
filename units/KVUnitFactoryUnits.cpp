// The unit table of the unit factory: creation by class, removal, lookup
// by index, and the references between units.
#include "IKVUnitRef.h"
#include "KVSerialize.h"
#include "KVUnit.h"
#include "KVUnitFactory.h"
#include "KVUnitRef.h"

namespace kvl {

namespace {

void CountKvlUnit(int32_t kvlIndex, int32_t change) {
    KVSerialize* serializer = KVSerialize::Instance();
    KVKvlRecord* kvl = serializer && kvlIndex != -1 ? serializer->GetKvl(kvlIndex) : nullptr;
    if (kvl && (change > 0 || kvl->unitCount > 0)) kvl->unitCount = uint32_t(int64_t(kvl->unitCount) + change);
}

} // namespace

IKVUnit* KVUnitFactory::GetUnit(int32_t unitIndex) {
    KVUnit** slot = m_units.At(unitIndex);
    return slot && *slot ? static_cast<IKVUnit*>(*slot) : nullptr;
}

bool KVUnitFactory::IsValidUnit(int32_t unitIndex) { return GetUnit(unitIndex) != nullptr; }

IKVUnitRef* KVUnitFactory::MakeUnitRef(int32_t ownerUnit, const uint64_t* attributeId) {
    return new KVUnitRef(GetUnit(ownerUnit), attributeId ? *attributeId : 0);
}

int32_t KVUnitFactory::CreateUnit(int32_t classIndex, KVUnit** out, int32_t options, int32_t kvlIndex,
                                  uint32_t flags) {
    if (out) *out = nullptr;
    KVUnitClass* record = GetClass(classIndex);
    if (!record) return KV_CLASS_OUT_OF_RANGE;
    // A class with neither a create function nor a base makes no object.
    KVUnit* unit = record->create ? record->create() : nullptr;
    if (!unit) return KV_INVALID;
    int32_t index = m_units.PushBack(unit);
    unit->SetIndex(index);
    unit->SetClassIndex(classIndex);
    if (options & KVCREATE_RUNTIME) {
        kvlIndex = -1;
    } else if (kvlIndex == -1) {
        KVSerialize* serializer = KVSerialize::Instance();
        kvlIndex = serializer ? serializer->GetCurrentKvlIndex() : -1;
    }
    unit->SetKvlIndex(kvlIndex);
    CountKvlUnit(kvlIndex, 1);
    unit->Init();
    unit->SetFlags(unit->GetFlags() | flags);
    if (options & KVCREATE_RUNTIME) {
        unit->SetFlags(unit->GetFlags() | KVUNIT_RUNTIME);
        ++m_runtimeUnits;
    }
    BuildAttributeLuaObjects(unit);
    ++record->liveUnits;
    if (options & KVCREATE_DISABLED) unit->SetWantedEnabled(false);
    if (out) *out = unit;
    return KV_OK;
}

void KVUnitFactory::RemoveUnit(int32_t unitIndex) {
    if (!IsValidUnit(unitIndex)) return;
    KVUnit* unit = *m_units.At(unitIndex);
    if ((unit->GetFlags() & KVUNIT_RUNTIME) && m_runtimeUnits > 0) --m_runtimeUnits;
    CountKvlUnit(unit->GetKvlIndex(), -1);
    if (KVUnitClass* record = GetClass(unit->GetClassIndex()))
        if (record->liveUnits > 0) --record->liveUnits;
    m_units.Remove(unitIndex);
}

void KVUnitFactory::AddPendingLink(IKVUnitRef* ref) {
    if (!ref) return;
    ref->Retain();
    m_pendingLinks.push_back(ref);
}

void KVUnitFactory::ClearPendingLinks() {
    std::vector<IKVUnitRef*> links;
    links.swap(m_pendingLinks);
    for (IKVUnitRef* ref : links) ref->Release();
}

} // namespace kvl
