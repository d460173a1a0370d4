#include "KVUnitNode3D.h"

#include <cmath>

#include "../graphics/IKVGraphicDevice3D.h"
#include "../kernel/KVCore.h"
#include "../units/IKVUnitCamera.h"
#include "../units/KV3DMath.h"
#include "../units/KVAttributeRows.h"
#include "../units/KVSceneManager.h"
#include "../units/KVUnitFactory.h"

namespace kvl {

void KVUnitNode3D::Init() {
    KVUnit3D::Init();
    m_size = 2.0f;
    SetDrawable(true);
}

bool KVUnitNode3D::SegmentHitsCube(const KV3DVector& start, const KV3DVector& end, const KV3DVector& centre,
                                   float edge) {
    return KV3DMath::SegmentHitsCube(start, end, centre, edge * 0.5f, nullptr);
}

bool KVUnitNode3D::IsPointInside(const KV2DTempl<int32_t>& point, float* distance, IKVUnit* camera) {
    KVCore* core = KVCore::Instance();
    if (!core || !core->IsEditorMode() || core->IsRunning()) return false;
    if (!camera) {
        KVSceneManager* scene = KVSceneManager::Instance();
        camera = scene ? scene->FindCamera(point) : nullptr;
    }
    void* face = nullptr;
    if (!camera || camera->QueryInterface(IID_IKVUnitCamera, &face) != KV_OK || !face) return false;
    KVPickRay ray;
    if (static_cast<IKVUnitCamera*>(face)->GetPickRay(point.x, point.y, &ray) != KV_OK) return false;
    if (!SegmentHitsCube(ray.origin, ray.far, m_position, m_size)) return false;
    if (distance) {
        const float dx = m_position.x - ray.origin.x, dy = m_position.y - ray.origin.y,
                    dz = m_position.z - ray.origin.z;
        *distance = std::sqrt(dx * dx + dy * dy + dz * dz);
    }
    return true;
}

void KVUnitNode3D::Draw() {
    KVUnit::Draw();
    KVSceneManager* scene = KVSceneManager::Instance();
    IKVGraphicDevice3D* device = GetDevice3D();
    if (!scene || !scene->ShowsEditorUnits(this) || !device) return;
    KVCore* core = KVCore::Instance();
    if (core && core->GetActivityState() == kHiddenActivityState) return;
    float matrix[16];
    KV3DMath::Identity(matrix);
    device->SetTransform(1, matrix);
    // The axes are the columns of the rotation block.
    const float angles[3] = {m_rotation.x, m_rotation.y, m_rotation.z};
    KV3DMath::SetRotationBlock(matrix, angles);
    static const uint32_t kAxisColors[3] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu};
    for (int axis = 0; axis < 3; ++axis) {
        const float* column = matrix + 4 * axis;
        const float line[6] = {m_position.x,
                               m_position.y,
                               m_position.z,
                               m_position.x + m_size * column[0],
                               m_position.y + m_size * column[1],
                               m_position.z + m_size * column[2]};
        device->DrawLine3D(line, kAxisColors[axis], 0);
    }
}

int32_t KVUnitNode3D::RegisterClass() {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    const int32_t classIndex =
        RegisterClassOn(factory, "Node3D", &KVUnitNode3D::Create, "Unit3D", kClassId, "Simple 3D node");
    if (classIndex < 0) return -1;
    // Offsets are measured on a unit that never enters the factory.
    KVUnitNode3D probe;
    const KVAttributeRow rows[] = {
        {"Size", KVATTR_F32, &probe.m_size, 1, kSizeId, AttributeFlags(KVAF_LISTED, KVAF_SCRIPT, KVAF_PERSISTENT), 0,
         nullptr, nullptr, nullptr, "", 0},
    };
    AddAttributeRows(factory, classIndex, &probe, rows, sizeof rows / sizeof rows[0]);
    return classIndex;
}

int32_t RegisterNode3DClass() { return KVUnitNode3D::RegisterClass(); }

} // namespace kvl
