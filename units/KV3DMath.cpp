#include "KV3DMath.h"
#include <algorithm>
#include <cmath>

namespace kvl {
namespace KV3DMath {

namespace {

// One turn at most: stored angles come from asin and atan2, so a single
// correction brings them into [−π, π].
float WrapAngle(float a) {
    if (a < -kPi) return a + kTwoPi;
    if (a > kPi) return a - kTwoPi;
    return a;
}

float Dot(const KV3DQuaternion& a, const KV3DQuaternion& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w;
}

} // namespace

void Identity(float out[16]) {
    std::fill(out, out + 16, 0.0f);
    out[0] = out[5] = out[10] = out[15] = 1.0f;
}

void Multiply(const float a[16], const float b[16], float out[16]) {
    float r[16];
    for (int c = 0; c < 4; ++c) {
        for (int row = 0; row < 4; ++row) {
            r[4 * c + row] = a[row] * b[4 * c] + a[4 + row] * b[4 * c + 1] + a[8 + row] * b[4 * c + 2] +
                             a[12 + row] * b[4 * c + 3];
        }
    }
    std::copy(r, r + 16, out);
}

KV3DVector TransformPoint(const float m[16], const KV3DVector& p) {
    return KV3DVector{m[0] * p.x + m[4] * p.y + m[8] * p.z + m[12],
                      m[1] * p.x + m[5] * p.y + m[9] * p.z + m[13],
                      m[2] * p.x + m[6] * p.y + m[10] * p.z + m[14]};
}

bool Invert(const float m[16], float out[16]) {
    double a[16];
    for (int i = 0; i < 16; ++i) a[i] = m[i];
    double inv[16];
    inv[0] = a[5] * a[10] * a[15] - a[5] * a[11] * a[14] - a[9] * a[6] * a[15] + a[9] * a[7] * a[14] +
             a[13] * a[6] * a[11] - a[13] * a[7] * a[10];
    inv[4] = -a[4] * a[10] * a[15] + a[4] * a[11] * a[14] + a[8] * a[6] * a[15] - a[8] * a[7] * a[14] -
             a[12] * a[6] * a[11] + a[12] * a[7] * a[10];
    inv[8] = a[4] * a[9] * a[15] - a[4] * a[11] * a[13] - a[8] * a[5] * a[15] + a[8] * a[7] * a[13] +
             a[12] * a[5] * a[11] - a[12] * a[7] * a[9];
    inv[12] = -a[4] * a[9] * a[14] + a[4] * a[10] * a[13] + a[8] * a[5] * a[14] - a[8] * a[6] * a[13] -
              a[12] * a[5] * a[10] + a[12] * a[6] * a[9];
    inv[1] = -a[1] * a[10] * a[15] + a[1] * a[11] * a[14] + a[9] * a[2] * a[15] - a[9] * a[3] * a[14] -
             a[13] * a[2] * a[11] + a[13] * a[3] * a[10];
    inv[5] = a[0] * a[10] * a[15] - a[0] * a[11] * a[14] - a[8] * a[2] * a[15] + a[8] * a[3] * a[14] +
             a[12] * a[2] * a[11] - a[12] * a[3] * a[10];
    inv[9] = -a[0] * a[9] * a[15] + a[0] * a[11] * a[13] + a[8] * a[1] * a[15] - a[8] * a[3] * a[13] -
             a[12] * a[1] * a[11] + a[12] * a[3] * a[9];
    inv[13] = a[0] * a[9] * a[14] - a[0] * a[10] * a[13] - a[8] * a[1] * a[14] + a[8] * a[2] * a[13] +
              a[12] * a[1] * a[10] - a[12] * a[2] * a[9];
    inv[2] = a[1] * a[6] * a[15] - a[1] * a[7] * a[14] - a[5] * a[2] * a[15] + a[5] * a[3] * a[14] +
             a[13] * a[2] * a[7] - a[13] * a[3] * a[6];
    inv[6] = -a[0] * a[6] * a[15] + a[0] * a[7] * a[14] + a[4] * a[2] * a[15] - a[4] * a[3] * a[14] -
             a[12] * a[2] * a[7] + a[12] * a[3] * a[6];
    inv[10] = a[0] * a[5] * a[15] - a[0] * a[7] * a[13] - a[4] * a[1] * a[15] + a[4] * a[3] * a[13] +
              a[12] * a[1] * a[7] - a[12] * a[3] * a[5];
    inv[14] = -a[0] * a[5] * a[14] + a[0] * a[6] * a[13] + a[4] * a[1] * a[14] - a[4] * a[2] * a[13] -
              a[12] * a[1] * a[6] + a[12] * a[2] * a[5];
    inv[3] = -a[1] * a[6] * a[11] + a[1] * a[7] * a[10] + a[5] * a[2] * a[11] - a[5] * a[3] * a[10] -
             a[9] * a[2] * a[7] + a[9] * a[3] * a[6];
    inv[7] = a[0] * a[6] * a[11] - a[0] * a[7] * a[10] - a[4] * a[2] * a[11] + a[4] * a[3] * a[10] +
             a[8] * a[2] * a[7] - a[8] * a[3] * a[6];
    inv[11] = -a[0] * a[5] * a[11] + a[0] * a[7] * a[9] + a[4] * a[1] * a[11] - a[4] * a[3] * a[9] -
              a[8] * a[1] * a[7] + a[8] * a[3] * a[5];
    inv[15] = a[0] * a[5] * a[10] - a[0] * a[6] * a[9] - a[4] * a[1] * a[10] + a[4] * a[2] * a[9] +
              a[8] * a[1] * a[6] - a[8] * a[2] * a[5];
    double det = a[0] * inv[0] + a[1] * inv[4] + a[2] * inv[8] + a[3] * inv[12];
    if (det == 0.0) {
        std::copy(m, m + 16, out);
        return false;
    }
    double k = 1.0 / det;
    for (int i = 0; i < 16; ++i) out[i] = float(inv[i] * k);
    return true;
}

void SetRotationBlock(float m[16], const float angles[3]) {
    double cx = std::cos(double(angles[0])), sx = std::sin(double(angles[0]));
    double cy = std::cos(double(angles[1])), sy = std::sin(double(angles[1]));
    double cz = std::cos(double(angles[2])), sz = std::sin(double(angles[2]));
    m[0] = float(cy * cz);
    m[1] = float(cy * sz);
    m[2] = float(-sy);
    m[4] = float(sx * sy * cz - cx * sz);
    m[5] = float(cx * cz + sx * sy * sz);
    m[6] = float(sx * cy);
    m[8] = float(cx * sy * cz + sx * sz);
    m[9] = float(cx * sy * sz - sx * cz);
    m[10] = float(cx * cy);
}

void ScaleColumns(float m[16], const float k[3]) {
    for (int c = 0; c < 3; ++c) {
        for (int r = 0; r < 4; ++r) m[4 * c + r] *= k[c];
    }
}

void ComposeMatrix(const float position[3], const float angles[3], const float scale[3], float out[16]) {
    Identity(out);
    SetRotationBlock(out, angles);
    ScaleColumns(out, scale);
    out[12] = position[0];
    out[13] = position[1];
    out[14] = position[2];
}

void MatrixToEuler(const float m[16], float angles[3]) {
    // A NaN stays NaN through the clamp; a value just past ±1 (float error)
    // counts as ±1 instead of making asin NaN.
    float s = m[2];
    if (s > 1.0f) s = 1.0f;
    if (s < -1.0f) s = -1.0f;
    float y = -std::asin(s);
    float c = std::cos(y);
    float x, z;
    if (std::fabs(c) > kGimbalCos) {
        x = std::atan2(m[6] / c, m[10] / c);
        z = std::atan2(m[1] / c, m[0] / c);
    } else {
        x = 0.0f;
        z = std::atan2(-m[4], m[5]);
    }
    x = WrapAngle(x);
    y = WrapAngle(y);
    z = WrapAngle(z);
    if (std::fabs(x) > kHalfPi && std::fabs(z) > kHalfPi) {
        x = x > 0.0f ? x - kPi : x + kPi;
        z = z > 0.0f ? z - kPi : z + kPi;
        y = y > 0.0f ? kPi - y : -kPi - y;
    }
    angles[0] = x;
    angles[1] = y;
    angles[2] = z;
}

void QuatToMatrix(const KV3DQuaternion& q, float out[16]) {
    Identity(out);
    out[0] = 1.0f - 2.0f * q.y * q.y - 2.0f * q.z * q.z;
    out[1] = 2.0f * q.x * q.y - 2.0f * q.z * q.w;
    out[2] = 2.0f * q.x * q.z + 2.0f * q.y * q.w;
    out[4] = 2.0f * q.x * q.y + 2.0f * q.z * q.w;
    out[5] = 1.0f - 2.0f * q.x * q.x - 2.0f * q.z * q.z;
    out[6] = 2.0f * q.y * q.z - 2.0f * q.x * q.w;
    out[8] = 2.0f * q.x * q.z - 2.0f * q.y * q.w;
    out[9] = 2.0f * q.y * q.z + 2.0f * q.x * q.w;
    out[10] = 1.0f - 2.0f * q.x * q.x - 2.0f * q.y * q.y;
}

KV3DQuaternion MatrixToQuat(const float m[16]) {
    KV3DQuaternion q;
    float t = m[0] + m[5] + m[10] + 1.0f;
    if (t > kTraceLimit) {
        float h = 0.5f / std::sqrt(t);
        q.x = h * (m[9] - m[6]);
        q.y = h * (m[2] - m[8]);
        q.z = h * (m[4] - m[1]);
        q.w = 0.25f / h;
    } else if (m[0] > m[5] && m[0] > m[10]) {
        // Turns near 180°: the largest diagonal element keeps g well away
        // from 0 (1 + it − the other two is at least 4/3 here).
        float g = 2.0f * std::sqrt(1.0f + m[0] - m[5] - m[10]);
        q.x = g / 4.0f;
        q.y = (m[1] + m[4]) / g;
        q.z = (m[2] + m[8]) / g;
        q.w = (m[9] - m[6]) / g;
    } else if (m[5] > m[10]) {
        float g = 2.0f * std::sqrt(1.0f + m[5] - m[0] - m[10]);
        q.x = (m[1] + m[4]) / g;
        q.y = g / 4.0f;
        q.z = (m[6] + m[9]) / g;
        q.w = (m[2] - m[8]) / g;
    } else {
        float g = 2.0f * std::sqrt(1.0f + m[10] - m[0] - m[5]);
        q.x = (m[2] + m[8]) / g;
        q.y = (m[6] + m[9]) / g;
        q.z = g / 4.0f;
        q.w = (m[4] - m[1]) / g;
    }
    return QuatNormalize(q);
}

KV3DQuaternion EulerToQuat(const float angles[3]) {
    float m[16];
    Identity(m);
    SetRotationBlock(m, angles);
    return MatrixToQuat(m);
}

void QuatToEuler(const KV3DQuaternion& q, float angles[3]) {
    float m[16];
    QuatToMatrix(q, m);
    MatrixToEuler(m, angles);
}

KV3DQuaternion QuatMultiply(const KV3DQuaternion& a, const KV3DQuaternion& b) {
    return KV3DQuaternion{a.w * b.x + b.w * a.x + a.z * b.y - a.y * b.z,
                          a.w * b.y + b.w * a.y + a.x * b.z - a.z * b.x,
                          a.w * b.z + b.w * a.z + a.y * b.x - a.x * b.y,
                          a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z};
}

KV3DQuaternion QuatNormalize(const KV3DQuaternion& q) {
    float n2 = Dot(q, q);
    // A zero quaternion has no direction: left as it is rather than made NaN.
    if (n2 == 1.0f || n2 == 0.0f) return q;
    float n = std::sqrt(n2);
    return KV3DQuaternion{q.x / n, q.y / n, q.z / n, q.w / n};
}

KV3DQuaternion Slerp(const KV3DQuaternion& q0, const KV3DQuaternion& q1, float t) {
    if (t == 1.0f) return q0;
    KV3DQuaternion a = q0;
    float d = Dot(a, q1);
    if (d < 0.0f) {
        a = KV3DQuaternion{-a.x, -a.y, -a.z, -a.w};
        d = -d;
    }
    float f0, f1;
    if (1.0f - d >= kSlerpLinear) {
        float theta = std::acos(d);
        float s = std::sin(theta);
        f0 = std::sin(t * theta) / s;
        f1 = std::sin((1.0f - t) * theta) / s;
    } else {
        f0 = t;
        f1 = 1.0f - t;
    }
    return KV3DQuaternion{a.x * f0 + q1.x * f1, a.y * f0 + q1.y * f1, a.z * f0 + q1.z * f1, a.w * f0 + q1.w * f1};
}

void TransformToMatrix(const NodeTransform& t, float out[16]) {
    QuatToMatrix(t.rotation, out);
    const float k[3] = {t.scale.x, t.scale.y, t.scale.z};
    ScaleColumns(out, k);
    out[12] = t.translation.x;
    out[13] = t.translation.y;
    out[14] = t.translation.z;
}

NodeTransform ComposeTransforms(const NodeTransform& a, const NodeTransform& b) {
    float ma[16];
    TransformToMatrix(a, ma);
    NodeTransform r;
    r.translation = TransformPoint(ma, b.translation);
    r.scale = KV3DVector{a.scale.x * b.scale.x, a.scale.y * b.scale.y, a.scale.z * b.scale.z};
    r.rotation = QuatNormalize(QuatMultiply(a.rotation, b.rotation));
    return r;
}

NodeTransform InverseTransform(const NodeTransform& a) {
    float ma[16], inv[16];
    TransformToMatrix(a, ma);
    Invert(ma, inv);  // singular: inv keeps ma's translation
    NodeTransform r;
    r.translation = KV3DVector{inv[12], inv[13], inv[14]};
    r.rotation = KV3DQuaternion{-a.rotation.x, -a.rotation.y, -a.rotation.z, a.rotation.w};
    r.scale = KV3DVector{1.0f / a.scale.x, 1.0f / a.scale.y, 1.0f / a.scale.z};
    return r;
}

NodeTransform DecomposeMatrix(const float m[16]) {
    float r[16];
    std::copy(m, m + 16, r);
    float len[3];
    for (int c = 0; c < 3; ++c) {
        const float* col = m + 4 * c;
        len[c] = std::sqrt(col[0] * col[0] + col[1] * col[1] + col[2] * col[2]);
        if (len[c] != 0.0f) {
            for (int i = 0; i < 3; ++i) r[4 * c + i] = col[i] / len[c];
        }
    }
    NodeTransform t;
    t.scale = KV3DVector{len[0], len[1], len[2]};
    t.translation = KV3DVector{m[12], m[13], m[14]};
    t.rotation = MatrixToQuat(r);
    return t;
}

bool SegmentHitsCube(const KV3DVector& start, const KV3DVector& end, const KV3DVector& centre, float half,
                     float* distance) {
    const double p0[3] = {start.x, start.y, start.z};
    const double p1[3] = {end.x, end.y, end.z};
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

} // namespace KV3DMath
} // namespace kvl
