#include "KV2DTransform.h"

#include <cmath>
#include <limits>

namespace kvl {

KV2DTransform Compose2D(const KV2DTransform& p, const KV2DTransform& l) {
    const float* a = p.m;
    const float* b = l.m;
    KV2DTransform w;
    w.m[0] = a[0] * b[0] + a[2] * b[1];
    w.m[1] = a[1] * b[0] + a[3] * b[1];
    w.m[2] = a[0] * b[2] + a[2] * b[3];
    w.m[3] = a[1] * b[2] + a[3] * b[3];
    w.m[4] = a[0] * b[4] + a[2] * b[5] + a[4];
    w.m[5] = a[1] * b[4] + a[3] * b[5] + a[5];
    return w;
}

bool Invert2D(const KV2DTransform& t, KV2DTransform* out) {
    const float* w = t.m;
    const float det = w[0] * w[3] - w[2] * w[1];
    // A determinant that is not a number counts as singular too.
    if (!(std::fabs(det) >= kSingularDeterminant) || !std::isfinite(det)) return false;
    out->m[0] = w[3] / det;
    out->m[1] = -w[1] / det;
    out->m[2] = -w[2] / det;
    out->m[3] = w[0] / det;
    out->m[4] = (w[2] * w[5] - w[3] * w[4]) / det;
    out->m[5] = (w[1] * w[4] - w[0] * w[5]) / det;
    return true;
}

KV2DTempl<float> Apply2D(const KV2DTransform& t, float u, float v) {
    return {t.m[0] * u + t.m[2] * v + t.m[4], t.m[1] * u + t.m[3] * v + t.m[5]};
}

void TransformPoint2D(const KV2DTempl<float>& position, const KV2DTempl<float>& scale, float angle,
                      const KV2DTempl<int32_t>& pivot, KV2DTransform* out) {
    const float c = std::cos(angle);
    const float s = std::sin(angle);
    const float cx = float(pivot.x), cy = float(pivot.y);
    const float sx = scale.x, sy = scale.y;
    out->m[0] = sx * c;
    out->m[1] = sx * s;
    out->m[2] = -sy * s;
    out->m[3] = sy * c;
    out->m[4] = position.x + cx * sx * (1.0f - c) + cy * sy * s;
    out->m[5] = position.y - cx * sx * s + cy * sy * (1.0f - c);
}

void TransformPoint2DInt(const KV2DTempl<int32_t>& position, const KV2DTempl<float>& scale, float angle,
                         const KV2DTempl<int32_t>& pivot, KV2DTransform* out) {
    TransformPoint2D({float(position.x), float(position.y)}, scale, angle, pivot, out);
}

int32_t RoundCoordinate(float v) { return SaturateCoordinate(double(v >= 0.0f ? v + 0.5f : v - 0.5f)); }

int32_t RoundHalfUp(float v) { return SaturateCoordinate(double(v + 0.5f)); }

} // namespace kvl
