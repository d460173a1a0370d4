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
        if (KVSceneManager* scene = KVSceneManager::Instance()) camera = scene->FindCamera();
    void* face = nullptr;
    if (!camera || camera->QueryInterface(IID_IKVUnitCamera, &face) != KV_OK || !face) return false;
    return static_cast<IKVUnitCamera*>(face)->GetPickRay(point.x, point.y, out) == KV_OK;
}

bool SegmentHitsCube(const KVPickRay& ray, const KV3DVector& centre, float half, float* distance) {
    const double p0[3] = {ray.origin.x, ray.origin.y, ray.origin.z};
    const double p1[3] = {ray.far.x, ray.far.y, ray.far.z};
    const double c[3] = {centre.x, centre.y, centre.z};
    const double e = half;
    double m[3], span[3];
    for (int i = 0; i < 3; ++i) {
        m[i] = (p0[i] + p1[i]) * 0.5 - c[i];
        span[i] = p1[i] - p0[i];
    }
    const double length = std::sqrt(span[0] * span[0] + span[1] * span[1] + span[2] * span[2]);
    const double h = length * 0.5;
    double d[3];
    for (int i = 0; i < 3; ++i) d[i] = span[i] / length;

    // Written as "stays within", so that NaN anywhere counts as a miss.
    for (int i = 0; i < 3; ++i)
        if (!(std::fabs(m[i]) <= e + h * std::fabs(d[i]))) return false;
    if (!(std::fabs(m[1] * d[2] - m[2] * d[1]) <= e * std::fabs(d[2]) + e * std::fabs(d[1]))) return false;
    if (!(std::fabs(m[2] * d[0] - m[0] * d[2]) <= e * std::fabs(d[2]) + e * std::fabs(d[0]))) return false;
    if (!(std::fabs(m[0] * d[1] - m[1] * d[0]) <= e * std::fabs(d[1]) + e * std::fabs(d[0]))) return false;

    if (distance) {
        // Where the segment (0 at the origin, 1 at the far point) enters
        // every slab of the cube.
        double enter = 0.0;
        for (int i = 0; i < 3; ++i) {
            if (span[i] == 0.0) continue;
            const double a = (c[i] - e - p0[i]) / span[i];
            const double b = (c[i] + e - p0[i]) / span[i];
            enter = std::max(enter, std::min(a, b));
        }
        *distance = float(std::min(enter, 1.0) * length);
    }
    return true;
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
