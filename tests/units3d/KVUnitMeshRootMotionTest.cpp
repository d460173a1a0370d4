// Root motion through the "Mesh" unit: the walk animation stores a turn and
// a move; the unit's animated transform follows it while it plays, and a
// request that leaves it writes the masked motion into Position and
// Rotation. Mesh files fill no node records and root motion needs one, so
// the body's loaded data is given a root node and the instance made again.
// Also the playback speed: the "speed" option and the speed factors reach the
// track, while the clock runs at the animation's rate times AnimationSpeed.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "support/KV3DMeshHarness.h"
#include "support/KV3DUnitRig.h"
#include "support/KVMeshUnitFiles.h"
#include "units/KV3DMath.h"
#include "units3d/KV3DMesh.h"
#include "units3d/KVUnitMesh.h"

using namespace kvl;
using namespace kvtest;

namespace {

const float kTurn[3] = {0.2f, 0.3f, 0.4f};
const float kMove[3] = {1.0f, 2.0f, 3.0f};
const KV3DVector kPlace{10.0f, 20.0f, 30.0f};

void ExpectNear(const KV3DVector& actual, const KV3DVector& expected, const std::string& what) {
    EXPECT_NEAR(actual.x, expected.x, 1e-4f) << what;
    EXPECT_NEAR(actual.y, expected.y, 1e-4f) << what;
    EXPECT_NEAR(actual.z, expected.z, 1e-4f) << what;
}

class KVUnitMeshRootMotionTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string root = rig.Host().Root();
        const std::string text = WriteAnimatedBody(root);
        WriteMeshFile(root, "walk.kv3d", RootMotionAnimationFile("s0", 10, kTurn, kMove));
        mesh = rig.Make<KVUnitMesh>("Mesh", "M");
        rig.Run("M.AutoAnimation = false M.TransitionDelay = 0 M.Mesh = '" + text + "'");
        auto* first = dynamic_cast<KV3DMesh*>(mesh->GetMesh());
        ASSERT_NE(first, nullptr);
        KV3DMeshHarness::AddNode(first->GetCurrentData(), "root", -1, KV3DVector{});
        mesh->LoadMesh();
        instance = dynamic_cast<KV3DMesh*>(mesh->GetMesh());
        ASSERT_NE(instance, nullptr);
        ASSERT_EQ(instance->GetCurrentData()->nodes.size(), 1u);
        ASSERT_EQ(mesh->GetAnimationInfos().size(), 2u);
    }
    // The unit placed at kPlace, unturned, at that scale, with no layer.
    void Place(const KV3DVector& rotation = {}, float scale = 1.0f) {
        mesh->ResetState();
        mesh->SetPosition(kPlace);
        mesh->SetRotation(rotation);
        mesh->SetScale(KV3DVector{scale, scale, scale});
    }
    void Run(int frames) {
        for (int i = 0; i < frames; ++i) rig.Update(0.1f);
    }

    KV3DUnitRig rig;
    KVUnitMesh* mesh = nullptr;
    KV3DMesh* instance = nullptr;
};

TEST_F(KVUnitMeshRootMotionTest, TheAnimatedTransformFollowsTheStoredMotionAsItPlays) {
    Place();
    rig.Run("M:SetAnimation('walk')");
    // Starting from nothing carries no motion into the unit.
    ExpectNear(*mesh->GetPosition(), kPlace, "position at the start");
    Run(5);
    // Halfway through, half the stored move on top of Position.
    ExpectNear(*mesh->GetAnimatedPosition(),
               KV3DVector{kPlace.x + 0.5f * kMove[0], kPlace.y + 0.5f * kMove[1], kPlace.z + 0.5f * kMove[2]},
               "animated position");
    ExpectNear(*mesh->GetPosition(), kPlace, "position while playing");
    const KV3DQuaternion half = KV3DMath::Slerp(KV3DMath::EulerToQuat(kTurn), KV3DQuaternion{}, 0.5f);
    const KV3DQuaternion& turned = *mesh->GetAnimatedOrientation();
    const float dot = half.x * turned.x + half.y * turned.y + half.z * turned.z + half.w * turned.w;
    EXPECT_NEAR(std::fabs(dot) / std::sqrt(half.x * half.x + half.y * half.y + half.z * half.z + half.w * half.w),
                1.0f, 1e-5f);
}

TEST_F(KVUnitMeshRootMotionTest, LeavingAnAnimationWritesItsMaskedMotionIntoTheUnit) {
    struct Case {
        uint32_t rmask, tmask;
    };
    // Masks are words: bits above 2 change nothing, even at and above 2^31.
    for (const Case c : {Case{7, 7}, Case{0, 0}, Case{1, 2}, Case{2, 4}, Case{4, 1}, Case{5, 3}, Case{3, 6},
                         Case{0x80000005u, 0xFFFFFFF3u}}) {
        const std::string what = "rmask " + std::to_string(c.rmask) + " tmask " + std::to_string(c.tmask);
        Place();
        rig.Run("M:SetAnimation('walk')");
        Run(3);
        rig.Run("M:SetAnimation('run', {rmask = " + std::to_string(c.rmask) + ", tmask = " +
                std::to_string(c.tmask) + "})");
        KV3DVector move{}, turn{};
        float* moveAxes = &move.x;
        float* turnAxes = &turn.x;
        for (int axis = 0; axis < 3; ++axis) {
            if (c.tmask & (1u << axis)) moveAxes[axis] = kMove[axis];
            if (c.rmask & (1u << axis)) turnAxes[axis] = kTurn[axis];
        }
        ExpectNear(*mesh->GetPosition(), KV3DVector{kPlace.x + move.x, kPlace.y + move.y, kPlace.z + move.z}, what);
        ExpectNear(*mesh->GetRotation(), turn, what);
        ExpectNear(*mesh->GetScale(), KV3DVector{1, 1, 1}, what);
        // The motion now lives in the unit: the new track starts from the
        // identity.
        const NodeTransform* params = instance->GetTrackParams(1);
        ASSERT_NE(params, nullptr);
        ExpectNear(params->translation, KV3DVector{}, what + " track start");
        EXPECT_NEAR(params->rotation.w, 1.0f, 1e-5f) << what;
    }
}

TEST_F(KVUnitMeshRootMotionTest, TheMotionIsTurnedAndScaledByTheUnitsTransform) {
    const KV3DVector rotation{0.0f, 0.0f, 0.5f};
    Place(rotation, 2.0f);
    rig.Run("M:SetAnimation('walk') ");
    Run(3);
    rig.Run("M:SetAnimation('run', {rmask = 0, tmask = 1})");
    // U ∘ S: the move along x turned by the unit's rotation and doubled.
    float turn[16];
    KV3DMath::QuatToMatrix(KV3DMath::EulerToQuat(&rotation.x), turn);
    const KV3DVector moved = KV3DMath::TransformPoint(turn, KV3DVector{2.0f * kMove[0], 0.0f, 0.0f});
    ExpectNear(*mesh->GetPosition(), KV3DVector{kPlace.x + moved.x, kPlace.y + moved.y, kPlace.z + moved.z},
               "position");
    ASSERT_GT(std::fabs(moved.y), 0.1f);
    ExpectNear(*mesh->GetRotation(), rotation, "rotation");
    ExpectNear(*mesh->GetScale(), KV3DVector{2, 2, 2}, "scale");
}

TEST_F(KVUnitMeshRootMotionTest, WithoutTapplyNothingIsTakenFromTheTrack) {
    Place();
    rig.Run("M:SetAnimation('walk')");
    Run(3);
    rig.Run("M:SetAnimation('run', {tapply = false})");
    ExpectNear(*mesh->GetPosition(), kPlace, "position");
    ExpectNear(*mesh->GetRotation(), KV3DVector{}, "rotation");
    const NodeTransform* params = instance->GetTrackParams(1);
    ASSERT_NE(params, nullptr);
    ExpectNear(params->translation, KV3DVector{}, "track start");
    EXPECT_EQ(params->rotation.w, 1.0f);
}

TEST_F(KVUnitMeshRootMotionTest, TheSpeedOptionAndFactorsReachTheTrackNotItsClock) {
    ASSERT_EQ(mesh->SetAnimationSpeedFactor(1, 1.5f), KV_OK);
    rig.Run("M:SetAnimation('run', {speed = 2})");
    ASSERT_NE(instance->GetTrack(0), nullptr);
    EXPECT_FLOAT_EQ(instance->GetTrack(0)->speed, 3.0f);
    Run(2);
    float seconds = 0.0f;
    ASSERT_EQ(mesh->GetLayerTime(0, &seconds), KV_OK);
    EXPECT_NEAR(seconds, 0.2f, 1e-5f);
    // A new factor is the track's speed at once.
    ASSERT_EQ(mesh->SetAnimationSpeedFactor(1, 0.5f), KV_OK);
    EXPECT_FLOAT_EQ(instance->GetTrack(0)->speed, 0.5f);
    // AnimationSpeed scales the unit's clock.
    rig.Run("M.AnimationSpeed = 2");
    Run(2);
    ASSERT_EQ(mesh->GetLayerTime(0, &seconds), KV_OK);
    EXPECT_NEAR(seconds, 0.6f, 1e-5f);
}

} // namespace
