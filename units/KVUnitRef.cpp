#include "KVUnitRef.h"
#include "IKVUnit.h"
#include "KVUnit.h"
#include "KVUnitFactory.h"
#include "KVUnitRefArray.h"

namespace kvl {

KVUnitRef::KVUnitRef(IKVUnit* owner, uint64_t attributeId) : m_attributeId(attributeId) { Init(owner, nullptr); }

KVUnitRef::~KVUnitRef() { Unregister(); }

void KVUnitRef::Init(IKVUnit* owner, const uint64_t* attributeId) {
    m_owner = owner;
    m_ownerIndex = owner ? owner->GetIndex() : -1;
    if (attributeId) m_attributeId = *attributeId;
}

KVUnit* KVUnitRef::LiveOwner() {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    IKVUnit* unit = factory && m_owner ? factory->GetUnit(m_ownerIndex) : nullptr;
    return unit && unit == m_owner ? unit->GetUnit() : nullptr;
}

int32_t KVUnitRef::QueryInterface(const KVInterfaceId& id, void** out) {
    if (id == IID_KVUnitRef) return AnswerInterface(static_cast<IKVUnitRef*>(this), out);
    if (out) *out = nullptr;
    return KV_NOT_SUPPORTED;
}

int32_t KVUnitRef::Release() {
    int32_t left = --m_refCount;
    if (left == 0) delete this;
    return left;
}

IKVUnitRef* KVUnitRef::Clone() {
    KVUnitRef* copy = new KVUnitRef(m_owner, m_attributeId);
    copy->SetIndex(m_index);
    return copy;
}

void KVUnitRef::Unregister() {
    if (!m_registered) return;
    KVUnitFactory* factory = KVUnitFactory::Instance();
    if (factory && factory->IsValidUnit(m_index))
        if (IKVUnit* unit = factory->GetUnit(m_index)) unit->RemoveListener(this);
    m_registered = false;
}

void KVUnitRef::Repoint(int32_t index, bool force) {
    if (index == m_index && !force) return;
    Unregister();
    m_index = index;
    KVUnitFactory* factory = KVUnitFactory::Instance();
    // An index that names no unit keeps no uid: a stale one would be
    // stored as a link to the former target.
    m_uid = 0;
    if (IKVUnit* unit = factory && index != -1 ? factory->GetUnit(index) : nullptr) {
        unit->AddListener(this);
        m_uid = unit->GetUnit()->GetUid();
    }
    m_registered = true;
    // An array element that points nowhere leaves its array; that may be
    // the last count of this reference, so nothing is touched afterwards.
    if (m_index == -1 && m_array && m_array->At(size_t(m_position)) == this) m_array->RemoveAt(size_t(m_position));
}

int32_t KVUnitRef::RegisterLink(const uint64_t* uid) {
    m_uid = uid ? *uid : 0;
    if (m_uid == 0) return KV_OK;
    if (KVUnitFactory* factory = KVUnitFactory::Instance()) factory->AddPendingLink(this);
    return KV_OK;
}

int32_t KVUnitRef::UnlinkUnit(IKVUnit* unit, int32_t code) {
    (void)unit;
    (void)code;
    Retain();
    Repoint(-1, false);
    if (KVUnit* owner = LiveOwner()) owner->OnReferenceDropped(this);
    Release();
    return KV_OK;
}

int32_t KVUnitRef::OnUnitChanged(IKVUnit* unit, int32_t code) {
    (void)unit;
    (void)code;
    if (KVUnit* owner = LiveOwner()) owner->OnReferenceChanged(this);
    return KV_OK;
}

} // namespace kvl
