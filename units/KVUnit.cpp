#include "KVUnit.h"

#include <algorithm>

#include "../kernel/KVCore.h"
#include "IKVAttributeLua.h"
#include "IKVLinker.h"
#include "IKVUnitRef.h"
#include "KVUnitFactory.h"

namespace kvl {

namespace {

constexpr int32_t kNotifyEditorFolder = 21;

} // namespace

int32_t KVUnit::s_classIndex = -1;

KVUnit* KVUnit::Create() { return new KVUnit; }

KVUnit::KVUnit() = default;

KVUnit::~KVUnit() { ReleaseReferences(); }

int32_t KVUnit::QueryInterface(const KVInterfaceId& id, void** out) {
    if (id == IID_IKVUnit) return AnswerInterface(static_cast<IKVUnit*>(this), out);
    if (out) *out = nullptr;
    return KV_NOT_SUPPORTED;
}

int32_t KVUnit::Retain() {
    if (m_refCount != 0) ++m_refCount;
    return m_refCount;
}

int32_t KVUnit::Release() {
    if (m_refCount <= 0) return 0;
    int32_t left = --m_refCount;
    if (left == 0) {
        Close();
        delete this;
    }
    return left;
}

const uint64_t* KVUnit::GetClassId() {
    static const uint64_t kNone = 0;
    KVUnitFactory* factory = KVUnitFactory::Instance();
    const KVUnitClass* record = factory ? factory->GetClass(m_classIndex) : nullptr;
    return record ? &record->id : &kNone;
}

int32_t KVUnit::GetParentIndex() { return m_parent ? m_parent->GetIndex() : -1; }

int32_t KVUnit::AddListener(IKVLinker* listener) {
    m_listeners.push_back(listener);
    return KV_OK;
}

int32_t KVUnit::RemoveListener(IKVLinker* listener) {
    auto it = std::find(m_listeners.begin(), m_listeners.end(), listener);
    if (it == m_listeners.end()) return KV_FAILED;
    m_listeners.erase(it);
    return KV_OK;
}

void KVUnit::Init() {
    m_name.clear();
    m_flags = KVUNIT_DEFAULT_FLAGS;
    m_wantedEnabled = true;
    KVUnitFactory* factory = KVUnitFactory::Instance();
    if (const KVUnitClass* record = factory ? factory->GetClass(m_classIndex) : nullptr)
        m_className = record->name;
    m_children.SetOwner(m_index, kChildrenId);
    m_cameras.SetOwner(m_index, kCamerasId);
    if (!factory) return;
    if (!m_parent) m_parent = factory->MakeUnitRef(m_index, &kParentId);
    if (!m_layer) m_layer = factory->MakeUnitRef(m_index, &kLayerId);
    if (!m_owner) m_owner = factory->MakeUnitRef(m_index, &kOwnerId);
}

void KVUnit::Close() {
    if (m_closing) return;
    m_closing = true;
    // Each listener takes itself off the list while it is told.
    std::vector<IKVLinker*> listeners = m_listeners;
    for (IKVLinker* listener : listeners) listener->UnlinkUnit(this, 0);
    m_listeners.clear();
    ReleaseReferences();
    if (KVUnitFactory* factory = KVUnitFactory::Instance()) {
        factory->ReleaseAttributeLuaObjects(this);
        factory->RemoveUnit(m_index);
    }
}

void KVUnit::ReleaseReferences() {
    m_children.ReleaseAll();
    m_cameras.ReleaseAll();
    for (IKVUnitRef** ref : {&m_parent, &m_layer, &m_owner}) {
        if (*ref) (*ref)->Release();
        *ref = nullptr;
    }
    m_components.clear();
}

void KVUnit::SetName(const std::string& name) { m_name = name; }

// Re-parenting, the Children setter, the enable machinery and the script
// flag belong to the unit tree and lifecycle; the attributes only reach
// them through these operations.
void KVUnit::SetParent(int32_t parentIndex) { (void)parentIndex; }

void KVUnit::SetChildren(KVUnitRefArray* children, int32_t reason) {
    (void)children;
    (void)reason;
}

void KVUnit::ApplyEnabledState() {}

void KVUnit::UpdateScriptFlag() {}

void KVUnit::FixPathSeparators() {
    if (!m_editorFolder.empty()) {
        std::replace(m_editorFolder.begin(), m_editorFolder.end(), '/', '\\');
        if (m_editorFolder.back() != '\\') m_editorFolder += '\\';
    }
    if (KVCore* core = KVCore::Instance())
        core->Notify(kNotifyEditorFolder, m_index, const_cast<char*>(m_editorFolder.c_str()));
}

void KVUnit::SetOwner(IKVUnitRef* owner) {
    int32_t index = owner ? owner->GetIndex() : -1;
    if (!m_owner || index == m_owner->GetIndex()) return;
    KVUnitFactory* factory = KVUnitFactory::Instance();
    if (factory && factory->IsValidUnit(m_owner->GetIndex())) {
        KVUnit* old = factory->GetUnit(m_owner->GetIndex())->GetUnit();
        auto& owned = old->m_ownedUnits;
        auto it = std::find(owned.begin(), owned.end(), m_index);
        if (!old->m_closing && it != owned.end()) owned.erase(it);
    }
    m_owner->SetIndex(index);
    if (factory && factory->IsValidUnit(index)) factory->GetUnit(index)->GetUnit()->m_ownedUnits.push_back(m_index);
}

void KVUnit::UpdateVisibility() {
    bool visible = (m_flags & KVUNIT_VISIBLE) != 0;
    KVUnitFactory* factory = KVUnitFactory::Instance();
    int32_t parent = GetParentIndex();
    if (visible && factory && factory->IsValidUnit(parent))
        visible = (factory->GetUnit(parent)->GetFlags() & KVUNIT_EFFECTIVELY_VISIBLE) != 0;
    if (visible)
        m_flags |= KVUNIT_EFFECTIVELY_VISIBLE;
    else
        m_flags &= ~uint32_t(KVUNIT_EFFECTIVELY_VISIBLE);
    if (!factory) return;
    for (size_t i = 0; i < m_children.Size(); ++i) {
        int32_t child = m_children.At(i)->GetIndex();
        if (factory->IsValidUnit(child)) factory->GetUnit(child)->GetUnit()->UpdateVisibility();
    }
}

} // namespace kvl
