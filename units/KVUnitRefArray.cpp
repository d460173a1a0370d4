#include "KVUnitRefArray.h"
#include "IKVUnitRef.h"
#include "KVUnitFactory.h"

namespace kvl {

KVUnitRefArray::~KVUnitRefArray() { ReleaseAll(); }

void KVUnitRefArray::Append(IKVUnitRef* ref) {
    if (!ref) return;
    m_refs.push_back(ref);
    ref->SetArraySlot(this, int32_t(m_refs.size() - 1));
}

void KVUnitRefArray::RemoveAt(size_t position) {
    if (position >= m_refs.size()) return;
    IKVUnitRef* ref = m_refs[position];
    m_refs.erase(m_refs.begin() + std::ptrdiff_t(position));
    for (size_t i = position; i < m_refs.size(); ++i) m_refs[i]->SetArraySlot(this, int32_t(i));
    // A reference that lives on elsewhere must not remove itself from this
    // array later.
    ref->SetArraySlot(nullptr, -1);
    ref->Release();
}

void KVUnitRefArray::ReleaseAll() {
    while (!m_refs.empty()) RemoveAt(m_refs.size() - 1);
}

void KVUnitRefArray::CloneFrom(const KVUnitRefArray& source) {
    if (&source == this) return;
    ReleaseAll();
    m_owner = source.m_owner;
    m_attributeId = source.m_attributeId;
    KVUnitFactory* factory = KVUnitFactory::Instance();
    for (IKVUnitRef* ref : source.m_refs) {
        IKVUnitRef* copy = factory ? factory->MakeUnitRef(m_owner, &m_attributeId) : nullptr;
        if (!copy) continue;
        copy->SetIndex(ref->GetIndex());
        Append(copy);
    }
}

} // namespace kvl
