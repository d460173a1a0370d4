#include "KVUnitCursor.h"

#include "../kernel/IKVInput.h"
#include "../kernel/KVCore.h"
#include "../units/KVAttributeRows.h"
#include "../units/KVUnitFactory.h"

namespace kvl {

namespace {

void HotspotChanged(void* unit) {
    if (auto* cursor = dynamic_cast<KVUnitCursor*>(static_cast<KVUnit*>(unit))) cursor->OnHotspotChanged();
}

} // namespace

void KVUnitCursor::Init() {
    KVUnitSprite::Init();
    m_hotspot = {0, 0};
    m_previousHotspot = {0, 0};
    m_input = QueryCoreInterface<IKVInput>(IID_IKVInput);
    if (m_input) m_input->AddListener(kMouseMove, this);
    SetSceneList(kCursorList);
}

void KVUnitCursor::Close() {
    if (auto* input = QueryCoreInterface<IKVInput>(IID_IKVInput)) input->RemoveListener(this);
    m_input = nullptr;
    KVUnitSprite::Close();
}

void KVUnitCursor::PlaceAt(int32_t x, int32_t y) {
    // In 64 bits: a hotspot near the limits still subtracts.
    SetPosition(float(int64_t(x) - m_hotspot.x), float(int64_t(y) - m_hotspot.y));
}

void KVUnitCursor::Refresh() {
    Retain();
    KVUnitWatch watch(this);
    KVUnitSprite::Refresh();
    if (watch.Alive() && IsEnabled() && m_input) {
        if (const InputState* state = m_input->GetInputState()) PlaceAt(state->x, state->y);
    }
    Release();
}

void KVUnitCursor::OnHotspotChanged() {
    m_position.x += float(int64_t(m_previousHotspot.x) - m_hotspot.x);
    m_position.y += float(int64_t(m_previousHotspot.y) - m_hotspot.y);
    m_previousHotspot = m_hotspot;
    UpdateTransform(0);
}

int32_t KVUnitCursor::OnInput(uint32_t* mask, int32_t x, int32_t y) {
    if (mask && (*mask & kMouseMove)) PlaceAt(x, y);
    return KV_OK;
}

int32_t KVUnitCursor::RegisterClass() {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    const int32_t classIndex =
        RegisterClassOn(factory, "Cursor", &KVUnitCursor::Create, "Sprite", kClassId, "Mouse cursor class");
    if (classIndex < 0) return -1;
    KVUnitCursor probe;
    const KVAttributeRow rows[] = {
        {"Hotspot~X~Y", KVATTR_S32, &probe.m_hotspot, 2, kHotspotId,
         AttributeFlags(KVAF_LISTED, KVAF_SCRIPT, KVAF_PERSISTENT), 0, nullptr, HotspotChanged, nullptr, "", 0},
    };
    AddAttributeRows(factory, classIndex, &probe, rows, sizeof rows / sizeof rows[0]);
    return classIndex;
}

// The unit factory's built-in table registers the class through this.
int32_t RegisterCursorClass() { return KVUnitCursor::RegisterClass(); }

} // namespace kvl
