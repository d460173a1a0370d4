#include "KV3DTestMath.h"
#include <cmath>
#include <sstream>

namespace kvtest {

Mat4 IdentityMat() { return Mat4{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}; }

Mat4 TranslationMat(float x, float y, float z) {
    Mat4 m = IdentityMat();
    m[12] = x;
    m[13] = y;
    m[14] = z;
    return m;
}

Mat4 ScaleMat(float x, float y, float z) { return Mat4{x, 0, 0, 0, 0, y, 0, 0, 0, 0, z, 0, 0, 0, 0, 1}; }

Mat4 RotationXMat(float a) {
    float c = std::cos(a), s = std::sin(a);
    return Mat4{1, 0, 0, 0, 0, c, s, 0, 0, -s, c, 0, 0, 0, 0, 1};
}

Mat4 RotationYMat(float a) {
    float c = std::cos(a), s = std::sin(a);
    return Mat4{c, 0, -s, 0, 0, 1, 0, 0, s, 0, c, 0, 0, 0, 0, 1};
}

Mat4 RotationZMat(float a) {
    float c = std::cos(a), s = std::sin(a);
    return Mat4{c, s, 0, 0, -s, c, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
}

Mat4 HalfTurnMat(float nx, float ny, float nz) {
    float len = std::sqrt(nx * nx + ny * ny + nz * nz);
    const float n[3] = {nx / len, ny / len, nz / len};
    Mat4 m = IdentityMat();
    for (int c = 0; c < 3; ++c) {
        for (int r = 0; r < 3; ++r) m[size_t(4 * c + r)] = 2.0f * n[r] * n[c] - (r == c ? 1.0f : 0.0f);
    }
    return m;
}

Mat4 MulMat(const Mat4& a, const Mat4& b) {
    Mat4 out{};
    for (int c = 0; c < 4; ++c) {
        for (int r = 0; r < 4; ++r) {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k) sum += double(a[size_t(4 * k + r)]) * double(b[size_t(4 * c + k)]);
            out[size_t(4 * c + r)] = float(sum);
        }
    }
    return out;
}

Mat4 TrsMat(const float p[3], const float r[3], const float s[3]) {
    Mat4 m = MulMat(TranslationMat(p[0], p[1], p[2]), RotationZMat(r[2]));
    m = MulMat(m, RotationYMat(r[1]));
    m = MulMat(m, RotationXMat(r[0]));
    return MulMat(m, ScaleMat(s[0], s[1], s[2]));
}

Mat4 ToMat(const float m[16]) {
    Mat4 out{};
    for (size_t i = 0; i < 16; ++i) out[i] = m[i];
    return out;
}

::testing::AssertionResult MatNear(const float* expected, const float* actual, float tolerance) {
    for (int i = 0; i < 16; ++i) {
        if (!(std::fabs(expected[i] - actual[i]) <= tolerance)) {
            std::ostringstream text;
            text << "element " << i << ": expected " << expected[i] << ", got " << actual[i];
            return ::testing::AssertionFailure() << text.str();
        }
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult QuatNear(const kvl::KV3DQuaternion& e, const kvl::KV3DQuaternion& a, float tolerance) {
    auto near = [tolerance](float sign, const kvl::KV3DQuaternion& p, const kvl::KV3DQuaternion& q) {
        return std::fabs(p.x - sign * q.x) <= tolerance && std::fabs(p.y - sign * q.y) <= tolerance &&
               std::fabs(p.z - sign * q.z) <= tolerance && std::fabs(p.w - sign * q.w) <= tolerance;
    };
    if (near(1.0f, e, a) || near(-1.0f, e, a)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "expected ±(" << e.x << ", " << e.y << ", " << e.z << ", " << e.w
                                         << "), got (" << a.x << ", " << a.y << ", " << a.z << ", " << a.w << ")";
}

bool AllFinite(const float* values, int count) {
    for (int i = 0; i < count; ++i) {
        if (!std::isfinite(values[i])) return false;
    }
    return true;
}

} // namespace kvtest
