#pragma once
// Test-side 3D oracles: elementary matrices written out by hand and
// multiplied naively, and tolerant comparisons, so the engine's own math
// is checked against something it does not share.
#include <array>
#include <gtest/gtest.h>
#include "units/KV3DTypes.h"

namespace kvtest {

using Mat4 = std::array<float, 16>;  // column-major, column vectors

Mat4 IdentityMat();
Mat4 TranslationMat(float x, float y, float z);
Mat4 ScaleMat(float x, float y, float z);
Mat4 RotationXMat(float a);
Mat4 RotationYMat(float a);
Mat4 RotationZMat(float a);
// 180° about the axis n (normalised here): 2·n·nᵀ − I.
Mat4 HalfTurnMat(float nx, float ny, float nz);
// a × b in double precision.
Mat4 MulMat(const Mat4& a, const Mat4& b);
// T(p) · Rz · Ry · Rx · S(s).
Mat4 TrsMat(const float p[3], const float r[3], const float s[3]);
Mat4 ToMat(const float m[16]);

::testing::AssertionResult MatNear(const float* expected, const float* actual, float tolerance);
// Equal up to sign: q and −q are the same rotation.
::testing::AssertionResult QuatNear(const kvl::KV3DQuaternion& expected, const kvl::KV3DQuaternion& actual,
                                    float tolerance);
bool AllFinite(const float* values, int count);

} // namespace kvtest
