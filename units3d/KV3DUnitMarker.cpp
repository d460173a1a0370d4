#include "KV3DUnitMarker.h"

#include <algorithm>
#include <cmath>

#include "../graphics/IKVGraphicDevice3D.h"
#include "../units/IKVUnit.h"
#include "../units/KV3DMath.h"
#include "../units/KVSceneManager.h"

namespace kvl {

namespace KV3DUnitMarker {

bool RayAt(const KVScreenPoint& point, IKVUnit* camera, KVPickRay* out) {
    if (!camera)
        if (KVSceneManager* scene = KVSceneManager::Instance()) camera = scene->FindCamera(point);
    void* face = nullptr;
    if (!camera || camera->QueryInterface(IID_IKVUnitCamera, &face) != KV_OK || !face) return false;
    return static_cast<IKVUnitCamera*>(face)->GetPickRay(point.x, point.y, out) == KV_OK;
}

bool SegmentHitsCube(const KVPickRay& ray, const KV3DVector& centre, float half, float* distance) {
    return KV3DMath::SegmentHitsCube(ray.origin, ray.far, centre, half, distance);
}

void DrawCross(IKVGraphicDevice3D* device, const KV3DVector& at, uint32_t color) {
    if (!device) return;
    float identity[16];
    KV3DMath::Identity(identity);
    device->SetTransform(1, identity);
    const float lines[3][6] = {{at.x - 1.0f, at.y, at.z, at.x + 1.0f, at.y, at.z},
                               {at.x, at.y - 1.0f, at.z, at.x, at.y + 1.0f, at.z},
                               {at.x, at.y, at.z - 1.0f, at.x, at.y, at.z + 1.0f}};
    for (const float* line : lines) device->DrawLine3D(line, color, 0);
}

} // namespace KV3DUnitMarker

} // namespace kvl
