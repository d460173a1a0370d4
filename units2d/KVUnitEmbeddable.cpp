#include "KVUnitEmbeddable.h"

#include <limits>

#include "../units/KVAttributeRows.h"
#include "../units/KVUnitFactory.h"

namespace kvl {

int32_t KVUnitEmbeddable::QueryInterface(const KVInterfaceId& id, void** out) {
    if (id == IID_IKVUnitEmbeddable) return AnswerInterface(static_cast<IKVUnitEmbeddable*>(this), out);
    return KVUnitSprite::QueryInterface(id, out);
}

void KVUnitEmbeddable::Init() {
    KVUnitSprite::Init();
    m_users = 0;
}

void KVUnitEmbeddable::QueryVisible(bool* out, int32_t layerIndex) {
    if (m_users != 0) return;
    KVUnitSprite::QueryVisible(out, layerIndex);
}

int32_t KVUnitEmbeddable::AddUser() {
    if (m_users < std::numeric_limits<uint32_t>::max()) ++m_users;
    return KV_OK;
}

int32_t KVUnitEmbeddable::RemoveUser() {
    // One call too many would leave the unit undrawn for good.
    if (m_users > 0) --m_users;
    return KV_OK;
}

int32_t KVUnitEmbeddable::RegisterClass() {
    return RegisterClassOn(KVUnitFactory::Instance(), "Embeddable", &KVUnitEmbeddable::Create, "Sprite", kClassId,
                           "Embeddable sprite class");
}

// The unit factory's built-in table registers the class through this.
int32_t RegisterEmbeddableClass() { return KVUnitEmbeddable::RegisterClass(); }

} // namespace kvl
