#include <gtest/gtest.h>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>
#include "support/KV3DTestMath.h"
#include "units/KV3DMath.h"
#include "units3d/KV3DObject.h"

using namespace kvl;
using kvtest::Mat4;

namespace {

// The least concrete object: a count and a log of the hooks.
class TestObject : public KVRefCounted<KV3DObject> {
public:
    static TestObject* Create() { return new TestObject(); }

    int32_t OnPositionChanged() override { return Log("position"); }
    int32_t OnRotationChanged() override { return Log("rotation"); }
    int32_t OnScaleChanged() override { return Log("scale"); }

    std::vector<std::string>* log = nullptr;

private:
    int32_t Log(const char* what) {
        if (log) log->push_back(what);
        return KV_OK;
    }
};

// Owner spy: counts the pulls and logs them beside the hooks.
class SpyOwner : public IKVObject3DOwner {
public:
    int32_t SyncFromObject3D() override {
        ++pulls;
        if (log) log->push_back("owner");
        return KV_OK;
    }
    int pulls = 0;
    std::vector<std::string>* log = nullptr;
};

struct ObjectHolder {
    TestObject* object = TestObject::Create();
    ~ObjectHolder() { object->Release(); }
    TestObject* operator->() const { return object; }
};

Mat4 Current(TestObject* object) { return kvtest::ToMat(object->GetMatrix()); }

constexpr float kHalfPi = KV3DMath::kHalfPi;

} // namespace

TEST(KV3DObject, NewObjectIsIdentityAndAnswersNoInterface) {
    ObjectHolder o;
    Mat4 identity = kvtest::IdentityMat();
    EXPECT_TRUE(kvtest::MatNear(identity.data(), o->GetMatrix(), 0.0f));
    EXPECT_EQ(o->GetScale()[0], 1.0f);
    EXPECT_EQ(o->GetScale()[2], 1.0f);
    EXPECT_EQ(o->GetPosition()[1], 0.0f);
    void* out = &out;
    EXPECT_EQ(o->QueryInterface(MakeId(0x005CCA08, 0x41EA41A8), &out), 2);
    EXPECT_EQ(out, nullptr);
}

TEST(KV3DObject, PositionAndRotationDoNotDisturbEachOther) {
    ObjectHolder o;
    const float p[3] = {1, 2, 3}, r[3] = {0.3f, -0.4f, 1.1f}, one[3] = {1, 1, 1};
    o->SetPosition(p);
    o->SetRotation(r);
    Mat4 expected = kvtest::TrsMat(p, r, one);
    EXPECT_TRUE(kvtest::MatNear(expected.data(), o->GetMatrix(), 1e-6f));

    ObjectHolder other;
    other->SetRotation(r);
    other->SetPosition(p);
    EXPECT_TRUE(kvtest::MatNear(expected.data(), other->GetMatrix(), 1e-6f));
}

TEST(KV3DObject, QuarterTurnAboutY) {
    ObjectHolder o;
    const float r[3] = {0.0f, kHalfPi, 0.0f};
    o->SetRotation(r);
    const float* m = o->GetMatrix();
    EXPECT_NEAR(m[2], -1.0f, 1e-6f);
    EXPECT_NEAR(m[8], 1.0f, 1e-6f);
    EXPECT_NEAR(m[0], 0.0f, 1e-6f);
    EXPECT_NEAR(m[10], 0.0f, 1e-6f);
}

// Any order of the three setters ends at T · Rz · Ry · Rx · S.
TEST(KV3DObject, SettersAgreeWithTheProductOfElementaryMatrices) {
    std::mt19937 rng(29);
    std::uniform_real_distribution<float> angle(-6.3f, 6.3f), pos(-50.0f, 50.0f), scale(0.1f, 4.0f);
    for (int i = 0; i < 200; ++i) {
        ObjectHolder o;
        const float p[3] = {pos(rng), pos(rng), pos(rng)};
        const float r[3] = {angle(rng), angle(rng), angle(rng)};
        const float s0[3] = {scale(rng), scale(rng), -scale(rng)};
        const float s[3] = {scale(rng), -scale(rng), scale(rng)};
        switch (i % 3) {
        case 0: o->SetScale(s0); o->SetRotation(r); o->SetPosition(p); o->SetScale(s); break;
        case 1: o->SetPosition(p); o->SetScale(s0); o->SetScale(s); o->SetRotation(r); break;
        default: o->SetRotation(r); o->SetScale(s0); o->SetPosition(p); o->SetScale(s); break;
        }
        Mat4 expected = kvtest::TrsMat(p, r, s);
        ASSERT_TRUE(kvtest::MatNear(expected.data(), o->GetMatrix(), 1e-4f)) << "case " << i;
    }
}

TEST(KV3DObject, ScaleIsARatioOfTheStoredScale) {
    ObjectHolder o;
    const float r[3] = {0.2f, 0.5f, -0.7f}, two[3] = {2, 2, 2};
    o->SetRotation(r);
    Mat4 before = Current(o.object);
    o->SetScale(two);
    Mat4 doubled = Current(o.object);
    for (int i = 0; i < 12; ++i) EXPECT_FLOAT_EQ(doubled[size_t(i)], 2.0f * before[size_t(i)]) << i;
    o->SetScale(two);
    EXPECT_TRUE(kvtest::MatNear(doubled.data(), o->GetMatrix(), 0.0f));
}

// Dividing by a zero scale would leave the column flat (or NaN) for good;
// the block is rebuilt from the rotation and the new scale instead.
TEST(KV3DObject, ScaleRecoversFromZero) {
    ObjectHolder o;
    const float p[3] = {5, 6, 7}, r[3] = {0.4f, -0.2f, 0.9f};
    const float flat[3] = {0, 1, 1}, allFlat[3] = {0, 0, 0}, s[3] = {2, 3, 0.5f};
    o->SetPosition(p);
    o->SetRotation(r);
    o->SetScale(flat);
    EXPECT_EQ(o->GetMatrix()[0], 0.0f);
    EXPECT_EQ(o->GetMatrix()[1], 0.0f);
    o->SetScale(s);
    ASSERT_TRUE(kvtest::AllFinite(o->GetMatrix(), 16));
    Mat4 expected = kvtest::TrsMat(p, r, s);
    EXPECT_TRUE(kvtest::MatNear(expected.data(), o->GetMatrix(), 1e-5f));

    o->SetScale(allFlat);
    o->SetScale(allFlat);
    ASSERT_TRUE(kvtest::AllFinite(o->GetMatrix(), 16));
    o->SetScale(s);
    EXPECT_TRUE(kvtest::MatNear(expected.data(), o->GetMatrix(), 1e-5f));
}

TEST(KV3DObject, MatrixGivesBackTheAngles) {
    std::mt19937 rng(31);
    std::uniform_real_distribution<float> angle(-1.5f, 1.5f);
    for (int i = 0; i < 200; ++i) {
        ObjectHolder built, read;
        const float r[3] = {angle(rng), angle(rng), angle(rng)};
        built->SetRotation(r);
        read->SetMatrix(built->GetMatrix());
        for (int k = 0; k < 3; ++k) ASSERT_NEAR(read->GetRotation()[k], r[k], 1e-4f) << "case " << i;
    }
}

TEST(KV3DObject, MatrixOfAnyRotationRebuildsTheSameMatrix) {
    std::mt19937 rng(37);
    std::uniform_real_distribution<float> angle(-3.1f, 3.1f);
    for (int i = 0; i < 200; ++i) {
        ObjectHolder built, read, rebuilt;
        const float r[3] = {angle(rng), angle(rng), angle(rng)};
        built->SetRotation(r);
        read->SetMatrix(built->GetMatrix());
        for (int k = 0; k < 3; ++k) {
            EXPECT_LE(std::fabs(read->GetRotation()[k]), KV3DMath::kPi);
        }
        EXPECT_FALSE(std::fabs(read->GetRotation()[0]) > kHalfPi && std::fabs(read->GetRotation()[2]) > kHalfPi);
        rebuilt->SetRotation(read->GetRotation());
        ASSERT_TRUE(kvtest::MatNear(built->GetMatrix(), rebuilt->GetMatrix(), 1e-4f)) << "case " << i;
    }
}

TEST(KV3DObject, GimbalLockPutsTheTurnIntoZ) {
    for (float y : {kHalfPi, -kHalfPi}) {
        ObjectHolder built, read, rebuilt;
        const float r[3] = {0.3f, y, 0.8f};
        built->SetRotation(r);
        const float* m = built->GetMatrix();
        read->SetMatrix(m);
        EXPECT_EQ(read->GetRotation()[0], 0.0f);
        EXPECT_NEAR(read->GetRotation()[1], y, 1e-6f);
        EXPECT_FLOAT_EQ(read->GetRotation()[2], std::atan2(-m[4], m[5]));
        rebuilt->SetRotation(read->GetRotation());
        EXPECT_TRUE(kvtest::MatNear(m, rebuilt->GetMatrix(), 1e-5f)) << y;
    }
}

TEST(KV3DObject, SineJustAboveOneCountsAsOne) {
    for (float e : {1.0000001f, 1.0001f, -1.0000001f}) {
        ObjectHolder o;
        float m[16];
        KV3DMath::Identity(m);
        m[0] = 0.0f;
        m[10] = 0.0f;
        m[2] = e;
        m[8] = -e;
        o->SetMatrix(m);
        ASSERT_TRUE(kvtest::AllFinite(o->GetRotation(), 3)) << e;
        EXPECT_FLOAT_EQ(o->GetRotation()[1], e > 0 ? -kHalfPi : kHalfPi);
    }
}

TEST(KV3DObject, SetMatrixResetsTheScale) {
    ObjectHolder o;
    const float big[3] = {3, 3, 3};
    o->SetScale(big);
    float m[16];
    KV3DMath::Identity(m);
    m[0] = m[5] = m[10] = 2.0f;
    m[12] = 7;
    m[13] = 8;
    m[14] = 9;
    o->SetMatrix(m);
    EXPECT_TRUE(kvtest::MatNear(m, o->GetMatrix(), 0.0f));
    for (int k = 0; k < 3; ++k) EXPECT_EQ(o->GetScale()[k], 1.0f);
    EXPECT_EQ(o->GetPosition()[0], 7.0f);
    EXPECT_EQ(o->GetPosition()[2], 9.0f);
}

struct NotifyCase {
    const char* name;
    void (*change)(TestObject*);
    std::vector<std::string> expected;
};

TEST(KV3DObject, OwnerIsToldOnceAfterTheHooks) {
    static const float v[3] = {0.5f, 0.25f, 2.0f};
    static float m[16];
    KV3DMath::Identity(m);
    const NotifyCase cases[] = {
        {"SetPosition", [](TestObject* o) { o->SetPosition(v); }, {"position", "owner"}},
        {"SetRotation", [](TestObject* o) { o->SetRotation(v); }, {"rotation", "owner"}},
        {"SetScale", [](TestObject* o) { o->SetScale(v); }, {"scale", "owner"}},
        {"SetMatrix", [](TestObject* o) { o->SetMatrix(m); }, {"position", "rotation", "scale", "owner"}},
        {"SetFromObject",
         [](TestObject* o) {
             ObjectHolder source;
             o->SetFromObject(source.object);
         },
         {"position", "rotation", "scale", "owner"}},
    };
    for (const NotifyCase& c : cases) {
        ObjectHolder o;
        std::vector<std::string> log;
        SpyOwner owner;
        owner.log = &log;
        o->log = &log;
        EXPECT_EQ(o->SetParent(&owner), 0);
        c.change(o.object);
        EXPECT_EQ(log, c.expected) << c.name;
        EXPECT_EQ(owner.pulls, 1) << c.name;

        o->SetParent(nullptr);
        c.change(o.object);
        EXPECT_EQ(owner.pulls, 1) << c.name;
    }
}

TEST(KV3DObject, SetFromObjectTakesOverTheTransform) {
    ObjectHolder source, target;
    const float p[3] = {1, -2, 3}, r[3] = {0.6f, -0.3f, 1.2f}, s[3] = {2, 3, 0.5f};
    source->SetPosition(p);
    source->SetRotation(r);
    source->SetScale(s);
    target->SetFromObject(source.object);
    EXPECT_TRUE(kvtest::MatNear(source->GetMatrix(), target->GetMatrix(), 0.0f));
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(target->GetPosition()[k], p[k]);
        EXPECT_EQ(target->GetScale()[k], s[k]);
        EXPECT_NEAR(target->GetRotation()[k], r[k], 1e-5f);
    }
    // The taken-over state is consistent: a later scale change starts from it.
    const float one[3] = {1, 1, 1};
    target->SetScale(one);
    Mat4 expected = kvtest::TrsMat(p, r, one);
    EXPECT_TRUE(kvtest::MatNear(expected.data(), target->GetMatrix(), 1e-5f));
}

TEST(KV3DObject, BadInputsGiveNoTrap) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (float v : {nan, inf, -inf, 1e30f, -3.4e38f}) {
        ObjectHolder o, copy;
        const float vec[3] = {v, v, v};
        o->SetPosition(vec);
        o->SetRotation(vec);
        o->SetScale(vec);
        o->SetScale(vec);
        float m[16];
        for (float& e : m) e = v;
        o->SetMatrix(m);
        if (std::isfinite(v)) {
            EXPECT_TRUE(kvtest::AllFinite(o->GetRotation(), 3)) << v;
        }
        copy->SetFromObject(o.object);
        if (std::isfinite(v)) {
            const float huge[3] = {v, v, v};
            ObjectHolder rotated;
            rotated->SetRotation(huge);
            EXPECT_TRUE(kvtest::AllFinite(rotated->GetMatrix(), 16)) << v;
        }
    }
}
