#include "KVUnitFactory.h"

#include "../kernel/KVProperties.h"
#include "IKVUnitRef.h"
#include "KVAttributeManipulator.h"
#include "KVUnit.h"

namespace kvl {

KVUnitFactory::KVUnitFactory() = default;

KVUnitFactory::~KVUnitFactory() {
    ReleaseAllUnits();
    ClearPendingLinks();
    m_classes.clear();
}

int32_t KVUnitFactory::QueryInterface(const KVInterfaceId& id, void** out) {
    if (id == IID_IKVUnitFactory) return AnswerInterface(static_cast<IKVUnitFactory*>(this), out);
    if (out) *out = nullptr;
    return KV_NOT_SUPPORTED;
}

void KVUnitFactory::ResetRunState() {
    m_firstLoadedUnit = -1;
    m_loadedCount = 0;
    m_loading = false;
    m_closingKvl = 0;
    m_selectedUnit = -1;
    m_reason = 0;
}

int32_t KVUnitFactory::Init(int32_t phase) {
    switch (phase) {
    case 0:
        ResetRunState();
        break;
    case 2:
        ResetRunState();
        if (KVProperties* properties = KVProperties::Instance())
            properties->DeclareProperty(
                DescribeProperty(&m_repair, PROPERTY_BOOLEAN, "Check", "Check", "Units", kCheckPropertyId));
        // Phase 2 follows every project load; the class table is built once.
        if (m_classes.empty()) RegisterAllClasses();
        break;
    default:
        break;
    }
    return KV_OK;
}

int32_t KVUnitFactory::Release(int32_t phase) {
    if (phase == 4) {
        ReleaseAllUnits();
        ClearPendingLinks();
        m_units.Clear();
        m_classes.clear();
    }
    return KV_OK;
}

void KVUnitFactory::ReleaseAllUnits() {
    std::vector<int32_t> indexes;
    for (int32_t i = m_units.Head(); i != -1; i = m_units.Next(i)) indexes.push_back(i);
    // A unit released earlier in this loop may have taken others along.
    for (int32_t index : indexes)
        if (IsValidUnit(index)) (*m_units.At(index))->Release();
}

} // namespace kvl
