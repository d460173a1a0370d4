#include "KV3DSpriteUser.h"

#include "../units/KVUnitFactory.h"
#include "../units2d/IKVUnitEmbeddable.h"

namespace kvl {

namespace {

IKVUnitEmbeddable* EmbeddableAt(int32_t index) {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    IKVUnit* unit = factory && index >= 0 ? factory->GetUnit(index) : nullptr;
    void* face = nullptr;
    if (!unit || unit->QueryInterface(IID_IKVUnitEmbeddable, &face) != KV_OK || !face) return nullptr;
    return static_cast<IKVUnitEmbeddable*>(face);
}

} // namespace

void KV3DSpriteUser::Follow(int32_t unitIndex) {
    if (unitIndex == m_used) return;
    if (IKVUnitEmbeddable* old = EmbeddableAt(m_used)) old->RemoveUser();
    m_used = -1;
    if (IKVUnitEmbeddable* now = EmbeddableAt(unitIndex)) {
        now->AddUser();
        m_used = unitIndex;
    }
}

} // namespace kvl
