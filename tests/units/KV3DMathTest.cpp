#include <gtest/gtest.h>
#include <cmath>
#include <limits>
#include <random>
#include "support/KV3DTestMath.h"
#include "units/KV3DMath.h"

using namespace kvl;
using kvtest::Mat4;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

KV3DQuaternion AxisAngle(float x, float y, float z, float angle) {
    float len = std::sqrt(x * x + y * y + z * z);
    float s = std::sin(angle / 2.0f) / len;
    return KV3DQuaternion{x * s, y * s, z * s, std::cos(angle / 2.0f)};
}

float Length(const KV3DQuaternion& q) { return std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w); }

NodeTransform MakeTransform(std::mt19937& rng, bool uniformScale) {
    std::uniform_real_distribution<float> angle(-3.0f, 3.0f), pos(-10.0f, 10.0f), scale(0.5f, 2.0f);
    NodeTransform t;
    const float r[3] = {angle(rng), angle(rng), angle(rng)};
    t.rotation = KV3DMath::EulerToQuat(r);
    t.translation = KV3DVector{pos(rng), pos(rng), pos(rng)};
    float s = scale(rng);
    t.scale = uniformScale ? KV3DVector{s, s, s} : KV3DVector{s, scale(rng), scale(rng)};
    return t;
}

} // namespace

TEST(KV3DMath, ComposeMatrixIsTranslateRotateZYXScale) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> angle(-6.5f, 6.5f), pos(-100.0f, 100.0f), scale(-3.0f, 3.0f);
    for (int i = 0; i < 200; ++i) {
        const float p[3] = {pos(rng), pos(rng), pos(rng)};
        const float r[3] = {angle(rng), angle(rng), angle(rng)};
        const float s[3] = {scale(rng), scale(rng), scale(rng)};
        float m[16];
        KV3DMath::ComposeMatrix(p, r, s, m);
        Mat4 expected = kvtest::TrsMat(p, r, s);
        ASSERT_TRUE(kvtest::MatNear(expected.data(), m, 2e-5f)) << "case " << i;
    }
}

TEST(KV3DMath, MultiplyAndInvert) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> v(-2.0f, 2.0f);
    for (int i = 0; i < 50; ++i) {
        float m[16], inv[16], product[16];
        for (float& e : m) e = v(rng);
        ASSERT_TRUE(KV3DMath::Invert(m, inv));
        KV3DMath::Multiply(m, inv, product);
        Mat4 identity = kvtest::IdentityMat();
        // Random matrices can be badly conditioned: a loose bound suffices
        // to catch a wrong cofactor.
        EXPECT_TRUE(kvtest::MatNear(identity.data(), product, 1e-2f)) << "case " << i;
        Mat4 naive = kvtest::MulMat(kvtest::ToMat(m), kvtest::ToMat(inv));
        EXPECT_TRUE(kvtest::MatNear(naive.data(), product, 1e-4f));
    }
}

TEST(KV3DMath, SingularInverseKeepsTheMatrix) {
    float m[16] = {1, 2, 3, 0, 2, 4, 6, 0, 0, 0, 1, 0, 5, 6, 7, 1};
    float out[16];
    EXPECT_FALSE(KV3DMath::Invert(m, out));
    EXPECT_TRUE(kvtest::MatNear(m, out, 0.0f));
}

TEST(KV3DMath, MultiplyMayWriteOverAnInput) {
    Mat4 a = kvtest::RotationZMat(0.7f), b = kvtest::TranslationMat(1, 2, 3);
    Mat4 expected = kvtest::MulMat(a, b);
    KV3DMath::Multiply(a.data(), b.data(), a.data());
    EXPECT_TRUE(kvtest::MatNear(expected.data(), a.data(), 1e-6f));
}

TEST(KV3DMath, QuaternionProductMatchesMatrixProduct) {
    std::mt19937 rng(3);
    for (int i = 0; i < 100; ++i) {
        NodeTransform a = MakeTransform(rng, true), b = MakeTransform(rng, true);
        float ma[16], mb[16], mab[16];
        KV3DMath::QuatToMatrix(a.rotation, ma);
        KV3DMath::QuatToMatrix(b.rotation, mb);
        KV3DMath::QuatToMatrix(KV3DMath::QuatMultiply(a.rotation, b.rotation), mab);
        Mat4 expected = kvtest::MulMat(kvtest::ToMat(ma), kvtest::ToMat(mb));
        ASSERT_TRUE(kvtest::MatNear(expected.data(), mab, 1e-5f)) << "case " << i;
    }
}

TEST(KV3DMath, MatrixQuaternionMatrixRoundTrip) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> angle(-3.1f, 3.1f);
    for (int i = 0; i < 300; ++i) {
        float m[16], back[16];
        KV3DMath::Identity(m);
        const float r[3] = {angle(rng), angle(rng), angle(rng)};
        KV3DMath::SetRotationBlock(m, r);
        KV3DQuaternion q = KV3DMath::MatrixToQuat(m);
        EXPECT_NEAR(Length(q), 1.0f, 1e-6f);
        KV3DMath::QuatToMatrix(q, back);
        ASSERT_TRUE(kvtest::MatNear(m, back, 2e-5f)) << "case " << i;
    }
}

// Half turns have trace + 1 = 0: the quaternion comes from the largest
// diagonal element, whichever it is (ties included).
TEST(KV3DMath, HalfTurnsRoundTripThroughEveryDiagonalCase) {
    const float axes[][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0.3f, 0.2f}, {0.2f, 1, 0.3f},
                             {0.3f, 0.2f, 1}, {1, 1, 0}, {1, 0, 1}, {0, 1, 1}, {1, 1, 1}, {1, -1, 1}};
    for (const auto& n : axes) {
        Mat4 m = kvtest::HalfTurnMat(n[0], n[1], n[2]);
        KV3DQuaternion q = KV3DMath::MatrixToQuat(m.data());
        EXPECT_NEAR(Length(q), 1.0f, 1e-6f);
        EXPECT_NEAR(q.w, 0.0f, 1e-6f);
        float back[16];
        KV3DMath::QuatToMatrix(q, back);
        EXPECT_TRUE(kvtest::MatNear(m.data(), back, 1e-5f)) << n[0] << ", " << n[1] << ", " << n[2];
    }
}

TEST(KV3DMath, NearHalfTurnBelowTheTraceLimit) {
    // Trace + 1 just under 0.0001 takes the diagonal branch; just over it
    // the trace branch. Both give back the matrix.
    for (float angle : {3.1366f, 3.1216f}) {
        float m[16], back[16];
        KV3DMath::Identity(m);
        const float r[3] = {0.0f, 0.0f, angle};
        KV3DMath::SetRotationBlock(m, r);
        KV3DMath::QuatToMatrix(KV3DMath::MatrixToQuat(m), back);
        EXPECT_TRUE(kvtest::MatNear(m, back, 1e-4f)) << angle;
    }
}

TEST(KV3DMath, SlerpEndsAndMiddle) {
    KV3DQuaternion q0 = AxisAngle(0, 0, 1, 0.0f), q1 = AxisAngle(0, 0, 1, 1.5f);
    // t is the weight of q0.
    KV3DQuaternion atOne = KV3DMath::Slerp(q0, q1, 1.0f);
    EXPECT_EQ(atOne.x, q0.x);
    EXPECT_EQ(atOne.w, q0.w);
    EXPECT_TRUE(kvtest::QuatNear(q1, KV3DMath::Slerp(q0, q1, 0.0f), 1e-6f));
    EXPECT_TRUE(kvtest::QuatNear(AxisAngle(0, 0, 1, 0.75f), KV3DMath::Slerp(q0, q1, 0.5f), 1e-6f));
    EXPECT_TRUE(kvtest::QuatNear(AxisAngle(0, 0, 1, 1.125f), KV3DMath::Slerp(q0, q1, 0.25f), 1e-6f));
}

TEST(KV3DMath, SlerpTakesTheShortWay) {
    KV3DQuaternion q0 = AxisAngle(1, 0, 0, 0.2f), q1 = AxisAngle(1, 0, 0, 1.0f);
    KV3DQuaternion flipped{-q0.x, -q0.y, -q0.z, -q0.w};
    KV3DQuaternion r = KV3DMath::Slerp(flipped, q1, 0.5f);
    EXPECT_TRUE(kvtest::QuatNear(AxisAngle(1, 0, 0, 0.6f), r, 1e-6f));
    EXPECT_GT(r.w, 0.0f);  // on q1's side
}

TEST(KV3DMath, SlerpOfCloseRotationsBlendsLinearly) {
    KV3DQuaternion q0 = AxisAngle(0, 1, 0, 0.1f), q1 = AxisAngle(0, 1, 0, 0.2f);
    KV3DQuaternion r = KV3DMath::Slerp(q0, q1, 0.3f);
    EXPECT_FLOAT_EQ(r.y, 0.3f * q0.y + 0.7f * q1.y);
    EXPECT_FLOAT_EQ(r.w, 0.3f * q0.w + 0.7f * q1.w);
}

TEST(KV3DMath, ComposeMatchesMatrixProduct) {
    std::mt19937 rng(13);
    for (int i = 0; i < 100; ++i) {
        NodeTransform a = MakeTransform(rng, true), b = MakeTransform(rng, i % 2 == 0);
        float ma[16], mb[16], mab[16];
        KV3DMath::TransformToMatrix(a, ma);
        KV3DMath::TransformToMatrix(b, mb);
        KV3DMath::TransformToMatrix(KV3DMath::ComposeTransforms(a, b), mab);
        Mat4 expected = kvtest::MulMat(kvtest::ToMat(ma), kvtest::ToMat(mb));
        ASSERT_TRUE(kvtest::MatNear(expected.data(), mab, 1e-4f)) << "case " << i;
    }
}

TEST(KV3DMath, ComposeWithNonUniformOuterScale) {
    NodeTransform a;
    a.scale = KV3DVector{2, 3, 4};
    a.translation = KV3DVector{1, 1, 1};
    NodeTransform b;
    b.translation = KV3DVector{1, 1, 1};
    b.scale = KV3DVector{0.5f, 2, 1};
    NodeTransform c = KV3DMath::ComposeTransforms(a, b);
    EXPECT_FLOAT_EQ(c.translation.x, 3.0f);
    EXPECT_FLOAT_EQ(c.translation.y, 4.0f);
    EXPECT_FLOAT_EQ(c.translation.z, 5.0f);
    EXPECT_FLOAT_EQ(c.scale.x, 1.0f);
    EXPECT_FLOAT_EQ(c.scale.y, 6.0f);
    EXPECT_FLOAT_EQ(c.scale.z, 4.0f);
}

TEST(KV3DMath, InverseUndoesTheTransform) {
    std::mt19937 rng(17);
    for (int i = 0; i < 100; ++i) {
        NodeTransform a = MakeTransform(rng, true);
        NodeTransform inv = KV3DMath::InverseTransform(a);
        for (const NodeTransform& r : {KV3DMath::ComposeTransforms(a, inv), KV3DMath::ComposeTransforms(inv, a)}) {
            EXPECT_TRUE(kvtest::QuatNear(KV3DQuaternion{}, r.rotation, 1e-5f)) << "case " << i;
            EXPECT_NEAR(r.translation.x, 0.0f, 1e-4f);
            EXPECT_NEAR(r.translation.y, 0.0f, 1e-4f);
            EXPECT_NEAR(r.translation.z, 0.0f, 1e-4f);
            EXPECT_NEAR(r.scale.x, 1.0f, 1e-6f);
        }
    }
}

TEST(KV3DMath, InverseOfAFlatTransformKeepsItsTranslation) {
    NodeTransform a;
    a.translation = KV3DVector{4, 5, 6};
    a.scale = KV3DVector{0, 1, 1};
    NodeTransform inv = KV3DMath::InverseTransform(a);
    EXPECT_FLOAT_EQ(inv.translation.x, 4.0f);
    EXPECT_FLOAT_EQ(inv.translation.z, 6.0f);
    EXPECT_TRUE(std::isinf(inv.scale.x));
}

TEST(KV3DMath, DecomposeGivesBackTheTransform) {
    std::mt19937 rng(19);
    for (int i = 0; i < 100; ++i) {
        NodeTransform a = MakeTransform(rng, false);
        float m[16];
        KV3DMath::TransformToMatrix(a, m);
        NodeTransform d = KV3DMath::DecomposeMatrix(m);
        EXPECT_TRUE(kvtest::QuatNear(a.rotation, d.rotation, 1e-5f)) << "case " << i;
        EXPECT_NEAR(d.scale.x, a.scale.x, 1e-5f);
        EXPECT_NEAR(d.scale.y, a.scale.y, 1e-5f);
        EXPECT_NEAR(d.scale.z, a.scale.z, 1e-5f);
        EXPECT_EQ(d.translation.x, a.translation.x);
        EXPECT_EQ(d.translation.z, a.translation.z);
    }
}

TEST(KV3DMath, DecomposeOfAFlatMatrixHasNoNaN) {
    float m[16];
    KV3DMath::Identity(m);
    m[0] = 0.0f;  // column 0 collapsed
    NodeTransform d = KV3DMath::DecomposeMatrix(m);
    EXPECT_EQ(d.scale.x, 0.0f);
    EXPECT_TRUE(kvtest::AllFinite(&d.rotation.x, 4));
}

TEST(KV3DMath, EulerQuaternionRoundTrip) {
    std::mt19937 rng(23);
    std::uniform_real_distribution<float> angle(-1.5f, 1.5f);
    for (int i = 0; i < 200; ++i) {
        const float r[3] = {angle(rng), angle(rng), angle(rng)};
        float back[3];
        KV3DMath::QuatToEuler(KV3DMath::EulerToQuat(r), back);
        for (int k = 0; k < 3; ++k) ASSERT_NEAR(back[k], r[k], 1e-4f) << "case " << i << " axis " << k;
    }
}

TEST(KV3DMath, EulerOfLargeAnglesPicksTheSmallerTriple) {
    // (3, 0.5, 3) is the same rotation as (3 − π, π − 0.5, 3 − π).
    const float r[3] = {3.0f, 0.5f, 3.0f};
    float m[16], angles[3];
    KV3DMath::Identity(m);
    KV3DMath::SetRotationBlock(m, r);
    KV3DMath::MatrixToEuler(m, angles);
    EXPECT_NEAR(angles[0], 3.0f - KV3DMath::kPi, 1e-4f);
    EXPECT_NEAR(angles[1], KV3DMath::kPi - 0.5f, 1e-4f);
    EXPECT_NEAR(angles[2], 3.0f - KV3DMath::kPi, 1e-4f);
}

TEST(KV3DMath, BadInputsGiveNoTrapAndHugeOnesStayFinite) {
    const float bad[] = {kNaN, kInf, -kInf, 1e30f, -1e30f, 3.4e38f};
    for (float v : bad) {
        float m[16];
        for (float& e : m) e = v;
        float angles[3], out[16];
        KV3DMath::MatrixToEuler(m, angles);
        if (std::isfinite(v)) {
            EXPECT_TRUE(kvtest::AllFinite(angles, 3)) << v;
        }
        KV3DQuaternion q = KV3DMath::MatrixToQuat(m);
        KV3DMath::QuatToMatrix(q, out);
        KV3DMath::Invert(m, out);
        NodeTransform t = KV3DMath::DecomposeMatrix(m);
        KV3DMath::ComposeTransforms(t, t);
        KV3DMath::InverseTransform(t);
        KV3DMath::Slerp(q, KV3DQuaternion{}, 0.5f);
        KV3DMath::Slerp(KV3DQuaternion{v, v, v, v}, KV3DQuaternion{}, v);
        const float r[3] = {v, v, v};
        KV3DMath::ComposeMatrix(r, r, r, out);
        KV3DMath::QuatToEuler(KV3DMath::EulerToQuat(r), angles);
    }
}
