#include "KVUnitMouseEventInterface.h"

#include "../kernel/IKVInput.h"
#include "../kernel/KVCore.h"
#include "../units/IKVSceneManager.h"
#include "../units/IKVUnit.h"
#include "../units/IKVUnitFactory.h"
#include "../units/IKVUnitIterator.h"

namespace kvl {

namespace {

// Pointer movements.
constexpr uint32_t kMouseMove = 0x200;

void RaiseEvent(IKVUnit* unit, const char* name) { unit->CallScriptFunction(name, 0, 0, nullptr, nullptr); }

} // namespace

IKVModuleExt* KVUnitMouseEventInterface::Create(const KVModuleCreateInfo* info) {
    if (!Instance()) new KVUnitMouseEventInterface();
    KVUnitMouseEventInterface* module = Instance();
    module->m_host = info ? info->core : nullptr;
    return module;
}

IKVModuleExt* CreateMouseEventInterface(const KVModuleCreateInfo* info) {
    return KVUnitMouseEventInterface::Create(info);
}

int32_t KVUnitMouseEventInterface::QueryInterface(const KVInterfaceId&, void** out) {
    if (out) *out = nullptr;
    return KV_NOT_SUPPORTED;
}

void* KVUnitMouseEventInterface::Ask(const KVInterfaceId& id) const {
    void* out = nullptr;
    if (m_host) {
        if (m_host->QueryInterface(id, &out) != KV_OK) out = nullptr;
        return out;
    }
    return QueryCoreInterface<void>(id);
}

int32_t KVUnitMouseEventInterface::Init(int32_t phase) {
    if (phase == 1) {
        m_factory = static_cast<IKVUnitFactory*>(Ask(IID_IKVUnitFactory));
        m_scene = static_cast<IKVSceneManager*>(Ask(IID_IKVSceneManager));
        if (m_factory && !m_linked) m_linked = m_factory->AddLinker(this) == KV_OK;
    } else if (phase == 3) {
        m_input = static_cast<IKVInput*>(Ask(IID_IKVInput));
        if (m_input) m_input->AddListener(kMouseMove, this);
        m_timer = 0.0f;
    }
    return KV_OK;
}

int32_t KVUnitMouseEventInterface::Release(int32_t phase) {
    if (phase != 4) return KV_OK;
    if (m_factory && m_linked) m_factory->RemoveLinker(this);
    m_linked = false;
    // The input module outlives this module; it must not call it once gone.
    if (m_input) m_input->RemoveListener(this);
    m_input = nullptr;
    return KV_OK;
}

int32_t KVUnitMouseEventInterface::OnInput(uint32_t*, int32_t x, int32_t y) {
    m_pointer = {x, y};
    return KV_OK;
}

bool KVUnitMouseEventInterface::IsHovered(int32_t unitIndex) const {
    if (unitIndex < 0 || size_t(unitIndex) / 64 >= m_hovered.size()) return false;
    return (m_hovered[size_t(unitIndex) / 64] >> (unitIndex % 64)) & 1u;
}

void KVUnitMouseEventInterface::Reserve(int32_t unitIndex) {
    const size_t words = size_t(unitIndex) / 64 + 1;
    if (m_hovered.size() < words) m_hovered.resize(words, 0);
}

void KVUnitMouseEventInterface::SetMark(int32_t unitIndex, bool on) {
    if (unitIndex < 0 || size_t(unitIndex) / 64 >= m_hovered.size()) return;
    const uint64_t bit = uint64_t(1) << (unitIndex % 64);
    uint64_t& word = m_hovered[size_t(unitIndex) / 64];
    word = on ? word | bit : word & ~bit;
}

int32_t KVUnitMouseEventInterface::UnlinkUnit(IKVUnit* unit, int32_t) {
    if (!unit) return KV_OK;
    const int32_t index = unit->GetIndex();
    if (!IsHovered(index)) return KV_OK;
    SetMark(index, false);
    RaiseEvent(unit, "OnMouseOff");
    return KV_OK;
}

int32_t KVUnitMouseEventInterface::OnUnitChanged(IKVUnit*, int32_t) { return KV_OK; }

int32_t KVUnitMouseEventInterface::Update(float dt) {
    m_timer += dt;
    if (m_timer < kPassInterval) return KV_OK;
    m_timer = 0.0f;
    Pass();
    return KV_OK;
}

void KVUnitMouseEventInterface::Pass() {
    if (!m_factory || !m_scene) return;
    IKVUnitIterator* iterator = m_factory->NewUnitIterator();
    if (!iterator) return;
    std::vector<int32_t> entered;
    // The walk's position survives units closing under it.
    for (; !iterator->IsEnd(); iterator->Next()) {
        const int32_t index = iterator->GetIndex();
        if (index < 0) continue;
        Reserve(index);
        IKVUnit* unit = m_factory->GetUnit(index);
        if (!unit) continue;
        if (!unit->IsEnabled()) {
            SetMark(index, false);
            continue;
        }
        const bool hit = m_scene->IsPointInside(unit, m_pointer, false, nullptr, nullptr);
        if (hit == IsHovered(index)) continue;
        SetMark(index, hit);
        if (hit)
            entered.push_back(index);
        else
            RaiseEvent(unit, "OnMouseOff");
    }
    iterator->Release();
    for (int32_t index : entered)
        if (IKVUnit* unit = m_factory->GetUnit(index)) RaiseEvent(unit, "OnMouseOn");
}

} // namespace kvl
