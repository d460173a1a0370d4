#include "KVUnitNode2D.h"

#include <cmath>

#include "../graphics/IKVGraphic.h"
#include "../units/KVAttributeRows.h"
#include "../units/KVSceneManager.h"
#include "../units/KVUnitFactory.h"

namespace kvl {

void KVUnitNode2D::Init() {
    KVUnit2D::Init();
    m_size = 8;
    m_color = 0xFFFF0000u;
    SetDrawable(true);
}

bool KVUnitNode2D::IsPointInside(const KV2DTempl<int32_t>& point, float* depth, IKVUnit* camera) {
    (void)camera;
    const KVDeviceRect& e = m_effectiveWindow;
    if (IsNonEmpty(e) && (point.x < e.left || point.y < e.top || point.x >= e.right || point.y >= e.bottom))
        return false;
    const KV2DTempl<float> local = Apply2D(m_inverse, float(point.x), float(point.y));
    if (m_singular || !std::isfinite(local.x) || !std::isfinite(local.y)) return false;
    // Compared in 64 bits: Size may be any 32-bit value.
    const int64_t size = m_size;
    const int64_t x = RoundCoordinate(local.x), y = RoundCoordinate(local.y);
    if (x < -size || x > size || y < -size || y > size) return false;
    if (depth) *depth = -1.0f;
    return true;
}

void KVUnitNode2D::Draw() {
    KVUnit::Draw();
    KVSceneManager* scene = KVSceneManager::Instance();
    IKVGraphic* graphic = GetGraphicModule();
    if (!scene || !scene->ShowsEditorUnits(this) || !graphic || !graphic->GetDevice2D()) return;
    graphic->SetViewTransform(m_world.m);
    // The device takes signed coordinates.
    const int32_t s = m_size > uint32_t(INT32_MAX) ? INT32_MAX : int32_t(m_size);
    graphic->DrawLine2D({-s, -s}, {s, s}, m_color);
    graphic->DrawLine2D({s, -s}, {-s, s}, m_color);
}

int32_t KVUnitNode2D::RegisterClass() {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    const int32_t classIndex =
        RegisterClassOn(factory, "Node2D", &KVUnitNode2D::Create, "Unit2D", kClassId, "Simple 2D node");
    if (classIndex < 0) return -1;
    // Offsets are measured on a unit that never enters the factory.
    KVUnitNode2D probe;
    const uint16_t kStored = AttributeFlags(KVAF_LISTED, KVAF_SCRIPT, KVAF_PERSISTENT);
    const KVAttributeRow rows[] = {
        {"Size", KVATTR_U32, &probe.m_size, 1, kSizeId, kStored, 0, nullptr, nullptr, nullptr, "", 0},
        {"Color", KVATTR_COLOR, &probe.m_color, 1, kColorId, kStored, 0, nullptr, nullptr, nullptr, "", 0},
    };
    AddAttributeRows(factory, classIndex, &probe, rows, sizeof rows / sizeof rows[0]);
    return classIndex;
}

int32_t RegisterNode2DClass() { return KVUnitNode2D::RegisterClass(); }

} // namespace kvl
