#include "KVUnitLayer.h"

#include "../kernel/KVCore.h"
#include "../units/IKVUnitExternal.h"
#include "../units/KVAttributeRows.h"
#include "../units/KVSceneManager.h"
#include "../units/KVUnitFactory.h"

namespace kvl {

int32_t KVUnitLayer::QueryInterface(const KVInterfaceId& id, void** out) {
    if (id == IID_IKVUnitLayer) return AnswerInterface(static_cast<IKVUnitLayer*>(this), out);
    return KVUnit::QueryInterface(id, out);
}

uint32_t KVUnitLayer::CurrentFrame() {
    KVCore* core = KVCore::Instance();
    return core ? core->GetFrameCounter() : 0;
}

int32_t KVUnitLayer::AddUnit(IKVUnit* unit) {
    if (!unit) return KV_OK;
    const uint32_t frame = CurrentFrame();
    // Units of a frame in which the layer was not asked are not drawn.
    if (frame != m_frame) {
        m_collected.clear();
        m_frame = frame;
    }
    // Each unit arrives once per walk: more than the table holds means walks
    // of the same frame number piled up (a layer the walk does not reach).
    KVUnitFactory* factory = KVUnitFactory::Instance();
    if (factory && m_collected.size() >= size_t(factory->GetSlotCount())) m_collected.clear();
    m_collected.push_back(unit->GetIndex());
    return KV_OK;
}

void KVUnitLayer::Init() {
    KVUnit::Init();
    m_collected.clear();
    SetDrawable(true);
}

void KVUnitLayer::QueryVisible(bool* out, int32_t layerIndex) {
    bool visible = false;
    KVUnit::QueryVisible(&visible, layerIndex);
    if (out) *out = visible;
    bool drawn = visible && IsDrawable();
    if (drawn) {
        if (IKVUnitExternal* external = GetExternalImplementation()) {
            uint8_t suppress = 0;
            external->SuppressDraw(&suppress);
            drawn = suppress == 0;
        }
    }
    std::vector<int32_t> collected;
    collected.swap(m_collected);
    if (!drawn || m_frame != CurrentFrame()) return;
    KVSceneManager* scene = KVSceneManager::Instance();
    KVUnitFactory* factory = KVUnitFactory::Instance();
    if (!scene || !factory) return;
    for (int32_t index : collected)
        if (IKVUnit* unit = factory->GetUnit(index)) scene->AddUnit(unit);
}

int32_t KVUnitLayer::RegisterClass() {
    return RegisterClassOn(KVUnitFactory::Instance(), "Layer", &KVUnitLayer::Create, "Unit", kClassId,
                           "Layer system class for ordering units");
}

int32_t RegisterLayerClass() { return KVUnitLayer::RegisterClass(); }

} // namespace kvl
