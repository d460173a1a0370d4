#pragma once
// The 2D affine transform of units and the integer conversions of 2D
// placement. A transform is six floats {m0 .. m5}; the point (u, v) goes to
// (m0·u + m2·v + m4, m1·u + m3·v + m5). Every conversion to an integer
// saturates at the 32-bit limits and turns NaN into 0.
#include <cmath>
#include <cstdint>
#include <limits>

#include "KV2DTempl.h"

namespace kvl {

struct KV2DTransform {
    float m[6] = {1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f};
};

// p · l: the transform that applies l, then p.
KV2DTransform Compose2D(const KV2DTransform& p, const KV2DTransform& l);
// Below this |determinant| a transform has no inverse.
constexpr float kSingularDeterminant = 0.0001f;
// The inverse into out; false (out untouched) when |det| is below the limit
// or not a number.
bool Invert2D(const KV2DTransform& w, KV2DTransform* out);
KV2DTempl<float> Apply2D(const KV2DTransform& t, float u, float v);

// A local transform: scale about the local origin, rotation (radians) about
// the scaled pivot, placed so that the pivot lands at
// (position + scale · pivot) whatever the angle.
void TransformPoint2D(const KV2DTempl<float>& position, const KV2DTempl<float>& scale, float angle,
                      const KV2DTempl<int32_t>& pivot, KV2DTransform* out);
void TransformPoint2DInt(const KV2DTempl<int32_t>& position, const KV2DTempl<float>& scale, float angle,
                         const KV2DTempl<int32_t>& pivot, KV2DTransform* out);

// Toward zero. Inline: every sprite places itself with these each frame.
inline int32_t SaturateCoordinate(double v) {
    if (std::isnan(v)) return 0;
    if (v >= 2147483647.0) return std::numeric_limits<int32_t>::max();
    if (v <= -2147483648.0) return std::numeric_limits<int32_t>::min();
    return int32_t(v);
}
inline int32_t TruncateCoordinate(float v) { return SaturateCoordinate(double(v)); }
inline int32_t SaturatingAdd(int32_t a, int32_t b) {
    const int64_t sum = int64_t(a) + int64_t(b);
    if (sum > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (sum < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return int32_t(sum);
}
// Half away from zero.
int32_t RoundCoordinate(float v);
// trunc(v + 0.5) for every sign.
int32_t RoundHalfUp(float v);

} // namespace kvl
