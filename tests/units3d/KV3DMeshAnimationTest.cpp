// Tracks of mesh instances: time, fades, events, sampling, blending by
// weight, the root parameter and root motion.
#include <gtest/gtest.h>

#include <cmath>
#include <utility>

#include "support/KV3DMeshHarness.h"
#include "support/KV3DTestMath.h"
#include "units/KV3DMath.h"
#include "units3d/KV3D.h"

using namespace kvl;
using kvtest::KV3DMeshHarness;
using kvtest::KV3DWriterEntry;
using kvtest::KV3DWriterMesh;
using kvtest::TranslationChannel;

namespace {

KV3DWriterMesh Animated(uint32_t rate, uint32_t frames, std::vector<KV3DWriterEntry> entries, bool geometry = true) {
    KV3DWriterMesh file = geometry ? kvtest::PlainMeshFile({3, 3}) : KV3DWriterMesh();
    file.hasAnimation = true;
    file.animation.rate = rate;
    file.animation.frames = frames;
    file.animation.firstCount = uint32_t(entries.size());
    file.animation.entries = std::move(entries);
    return file;
}

KV3DWriterEntry RotationChannel(const std::string& name, const KV3DQuaternion& q) {
    KV3DWriterEntry e;
    e.name = name;
    e.rotationTimes = {0};
    e.rotations = {q.x, q.y, q.z, q.w};
    return e;
}

KV3DQuaternion AboutZ(float angle) { return KV3DQuaternion{0.0f, 0.0f, std::sin(angle / 2), std::cos(angle / 2)}; }

class KV3DMeshAnimationTest : public ::testing::Test {
protected:
    // An instance of the file with track 0 playing animation 0 at weight 1.
    KV3DMesh* Play(const KV3DWriterMesh& file) {
        h.PutFile("a.kv3d", file);
        KV3DMesh* mesh = h.Create({"a.kv3d"});
        if (!mesh) return nullptr;
        mesh->SetTrackAnimation(0, 0);
        mesh->SetTrackState(0, 1.0f, 0.0f);
        mesh->SetTrackPlaying(0, true);
        return mesh;
    }
    // The x translation of submesh 0 after the track is set to t frames.
    static float XAt(KV3DMesh* mesh, float seconds) {
        mesh->SetTrackTime(0, seconds);
        mesh->Update(0.0f);
        return mesh->GetSubmeshMatrix(0)[12];
    }
    static std::vector<std::string> Passed(KV3DMesh* mesh) {
        std::vector<std::string> names;
        for (int32_t i = 0; i < mesh->GetTrackEventCount(0); ++i) {
            KV3DEvent e;
            mesh->GetTrackEvent(0, i, &e);
            names.push_back(e.name);
        }
        return names;
    }

    KV3DMeshHarness h;
};

} // namespace

TEST_F(KV3DMeshAnimationTest, ALoopAroundComesBackToTheSameTimeAndPassesNoEvent) {
    KV3DMesh* mesh = Play(Animated(10, 100, {TranslationChannel(2, "s0", {0}, {1})}));
    ASSERT_NE(mesh, nullptr);
    const KV3DEvent step{0, "step", 9.5f, 1};
    mesh->AddAnimationEvent(&step);
    mesh->SetTrackTime(0, 9.5f);
    mesh->Update(10.0f);
    EXPECT_FLOAT_EQ(mesh->GetTrack(0)->time, 95.0f);
    EXPECT_TRUE(mesh->IsTrackFinished(0));
    EXPECT_EQ(mesh->GetTrackEventCount(0), 0);
    float seconds = 0.0f;
    EXPECT_EQ(mesh->GetTrackTime(0, &seconds), KV_OK);
    EXPECT_FLOAT_EQ(seconds, 9.5f);
    // The finished flag lives for one update.
    mesh->Update(0.1f);
    EXPECT_FALSE(mesh->IsTrackFinished(0));
}

TEST_F(KV3DMeshAnimationTest, KeysAreInterpolatedAndTheLastHeldWithoutLoop) {
    KV3DMesh* mesh = Play(Animated(10, 20, {TranslationChannel(2, "s0", {2, 10}, {1, 5})}));
    ASSERT_NE(mesh, nullptr);
    struct Case {
        float seconds;
        bool loop;
        float x;
    };
    const Case cases[] = {
        {0.6f, true, 3.0f},     // halfway between the keys
        {1.05f, true, 4.8f},    // after the last key, towards key 0 at the frame count
        {1.05f, false, 5.0f},   // without loop the last key holds
        {0.1f, true, 1.0f},     // before the first key: the first key
        {-3.0f, true, 1.0f},
    };
    for (const Case& c : cases) {
        mesh->SetTrackLoop(0, c.loop);
        EXPECT_NEAR(XAt(mesh, c.seconds), c.x, 1e-5f) << c.seconds << " " << c.loop;
        EXPECT_TRUE(mesh->IsSubmeshMatrixSet(0));
        EXPECT_FALSE(mesh->IsSubmeshMatrixSet(1));
    }
    // Run to the end without loop: clamped at the frame count.
    mesh->SetTrackLoop(0, false);
    mesh->SetTrackTime(0, 1.5f);
    mesh->Update(1.0f);
    EXPECT_FLOAT_EQ(mesh->GetTrack(0)->time, 20.0f);
    EXPECT_TRUE(mesh->IsTrackFinished(0));
    EXPECT_FLOAT_EQ(mesh->GetSubmeshMatrix(0)[12], 5.0f);
}

TEST_F(KV3DMeshAnimationTest, EventsInTheWindowOfTheAdvanceAlsoAcrossTheWrap) {
    KV3DMesh* mesh = Play(Animated(10, 20, {TranslationChannel(2, "s0", {0}, {1})}));
    ASSERT_NE(mesh, nullptr);
    for (const KV3DEvent& e : {KV3DEvent{0, "a", 0.5f, 1}, KV3DEvent{0, "b", 1.0f, 2}, KV3DEvent{0, "c", 1.5f, 3}})
        ASSERT_EQ(mesh->AddAnimationEvent(&e), KV_OK);
    struct Case {
        float start, dt;
        std::vector<std::string> passed;
    };
    const Case cases[] = {{0.2f, 0.3f, {"a"}},      {0.5f, 0.5f, {"b"}},  {0.4f, 1.2f, {"a", "b", "c"}},
                          {1.4f, 0.7f, {"c"}},      {1.8f, 0.8f, {"a"}},  {1.0f, 0.0f, {}},
                          {0.9f, 1.2f, {"b", "c"}}};
    for (const Case& c : cases) {
        mesh->SetTrackTime(0, c.start);
        mesh->Update(c.dt);
        EXPECT_EQ(Passed(mesh), c.passed) << c.start << " + " << c.dt;
    }

    // An event of the same name is overwritten; a removed one is gone from
    // the next update, while the copies of this update stay readable.
    KV3DEvent again{0, "b", 0.6f, 7};
    mesh->AddAnimationEvent(&again);
    mesh->SetTrackTime(0, 0.4f);
    mesh->Update(0.3f);
    ASSERT_EQ(Passed(mesh), (std::vector<std::string>{"a", "b"}));
    mesh->ClearAnimationEvents(0);
    KV3DEvent out;
    ASSERT_EQ(mesh->GetTrackEvent(0, 1, &out), KV_OK);
    EXPECT_EQ(out.value, 7u);
    EXPECT_FLOAT_EQ(out.time, 0.6f);
    EXPECT_EQ(mesh->GetTrackEvent(0, 2, &out), KV_FAILED);
    EXPECT_EQ(mesh->GetTrackEvent(3, 0, &out), KV_FAILED);
    mesh->AddAnimationEvent(&again);
    mesh->AddAnimationEvent(&again);
    mesh->RemoveAnimationEvent(0, "b");
    mesh->SetTrackTime(0, 0.4f);
    mesh->Update(0.3f);
    EXPECT_EQ(mesh->GetTrackEventCount(0), 0);
    const KV3DEvent stray{5, "x", 0.0f, 0};
    EXPECT_EQ(mesh->AddAnimationEvent(&stray), KV_FAILED);
}

TEST_F(KV3DMeshAnimationTest, WeightsAndSpeedsFade) {
    KV3DMesh* mesh = Play(Animated(10, 20, {TranslationChannel(2, "s0", {0}, {1})}));
    ASSERT_NE(mesh, nullptr);
    mesh->SetTrackState(0, 0.0f, 0.0f);
    ASSERT_EQ(mesh->SetTrackState(0, 1.0f, 0.5f), KV_OK);
    ASSERT_EQ(mesh->SetTrackSpeed(0, 2.0f, 0.5f), KV_OK);
    const float weights[3] = {0.4f, 0.8f, 1.0f};
    for (float expected : weights) {
        mesh->Update(0.2f);
        EXPECT_NEAR(mesh->GetTrackState(0), expected, 1e-6f);
    }
    EXPECT_EQ(mesh->GetTrack(0)->weightFade, 0.0f);
    EXPECT_FLOAT_EQ(mesh->GetTrack(0)->speed, 2.0f);
    // The speed is kept, not used: time ran at the animation's rate.
    EXPECT_NEAR(mesh->GetTrack(0)->time, 6.0f, 1e-4f);

    // A fade of -1 only sets the target.
    mesh->SetTrackState(0, 0.25f, -1.0f);
    mesh->Update(0.2f);
    EXPECT_FLOAT_EQ(mesh->GetTrackState(0), 1.0f);
    EXPECT_FLOAT_EQ(mesh->GetTrack(0)->targetWeight, 0.25f);
}

TEST_F(KV3DMeshAnimationTest, TrackOperationsCheckTheirIndices) {
    KV3DMesh* mesh = Play(Animated(10, 20, {TranslationChannel(2, "s0", {0}, {1})}));
    ASSERT_NE(mesh, nullptr);
    mesh->SetTrackAnimation(2, 7);  // grows the list; the animation is not checked here
    ASSERT_EQ(mesh->GetTrackCount(), 3u);
    EXPECT_EQ(mesh->GetTrack(1)->animation, -1);
    EXPECT_EQ(mesh->GetTrack(2)->loop, 1);
    EXPECT_EQ(mesh->GetTrack(1)->loop, 0);
    float seconds = 0;
    for (int32_t track : {1, 2, 3, -1}) {
        EXPECT_EQ(mesh->SetTrackState(track, 1.0f, 0.0f), KV_FAILED) << track;
        EXPECT_EQ(mesh->SetTrackSpeed(track, 1.0f, 0.0f), KV_FAILED) << track;
        EXPECT_EQ(mesh->GetTrackTime(track, &seconds), KV_FAILED) << track;
        EXPECT_EQ(mesh->SetTrackTime(track, 1.0f), KV_FAILED) << track;
    }
    for (int32_t track : {3, -1}) {
        EXPECT_EQ(mesh->SetTrackLoop(track, true), KV_FAILED);
        EXPECT_EQ(mesh->SetTrackPlaying(track, true), KV_FAILED);
        EXPECT_EQ(mesh->GetTrackParams(track), nullptr);
        EXPECT_EQ(mesh->GetTrackState(track), 0.0f);
        EXPECT_FALSE(mesh->IsTrackFinished(track));
        EXPECT_EQ(mesh->GetTrackEventCount(track), 0);
    }
    EXPECT_EQ(mesh->SetTrackLoop(1, true), KV_OK);
    EXPECT_EQ(mesh->SetTrackAnimation(-1, 0), KV_FAILED);
    EXPECT_EQ(mesh->SetTrackAnimation(1 << 30, 0), KV_FAILED);
    EXPECT_EQ(mesh->GetAnimationLength(0, &seconds), KV_OK);
    EXPECT_FLOAT_EQ(seconds, 2.0f);
    EXPECT_EQ(mesh->GetAnimationLength(1, &seconds), KV_FAILED);
    EXPECT_EQ(seconds, 0.0f);

    mesh->SetPaused(true);
    mesh->Update(0.5f);
    EXPECT_EQ(mesh->GetTrack(0)->time, 0.0f);
    mesh->ResetTracks();
    EXPECT_EQ(mesh->GetTrackCount(), 0u);
    EXPECT_FALSE(mesh->IsPaused());
    EXPECT_FALSE(mesh->IsSubmeshMatrixSet(0));
}

TEST_F(KV3DMeshAnimationTest, EqualTracksTurnedApartBlendHalfway) {
    KV3DData* body = h.AddFile("body.kv3d", kvtest::PlainMeshFile({3}));
    KV3DMeshHarness::AddNode(body, "root", -1, KV3DVector{});
    KV3DWriterEntry a = RotationChannel("root", KV3DQuaternion{});
    a.translationTimes = {0};
    a.translations = {2, 0, 0};
    KV3DWriterEntry b = RotationChannel("root", AboutZ(KV3DMath::kHalfPi));
    b.translationTimes = {0};
    b.translations = {0, 4, 0};
    h.PutFile("a.kv3d", Animated(10, 20, {a}, false));
    h.PutFile("b.kv3d", Animated(10, 20, {b}, false));
    KV3DMesh* mesh = h.Create({"body.kv3d", "a.kv3d", "b.kv3d"});
    ASSERT_NE(mesh, nullptr);
    ASSERT_EQ(mesh->GetAnimationCount(), 2);
    for (int32_t t = 0; t < 2; ++t) {
        mesh->SetTrackAnimation(t, t);
        mesh->SetTrackState(t, 1.0f, 0.0f);
        mesh->SetTrackPlaying(t, true);
    }
    mesh->Update(0.0f);
    const NodeTransform pose = mesh->GetNodeTransform(0);
    EXPECT_TRUE(kvtest::QuatNear(AboutZ(KV3DMath::kPi / 4), pose.rotation, 1e-5f));
    EXPECT_NEAR(pose.translation.x, 1.0f, 1e-6f);
    EXPECT_NEAR(pose.translation.y, 2.0f, 1e-6f);
    EXPECT_NEAR(mesh->GetNodeMatrix(0)[13], 2.0f, 1e-6f);

    // A track's parameter transform moves its root.
    NodeTransform params;
    params.translation = KV3DVector{0, 0, 10};
    mesh->SetTrackParams(0, &params);
    mesh->SetTrackParams(1, &params);
    mesh->Update(0.0f);
    EXPECT_NEAR(mesh->GetNodeTransform(0).translation.z, 10.0f, 1e-5f);
    EXPECT_NEAR(mesh->GetBlendedRootParams().translation.z, 10.0f, 1e-5f);
    // No weighted track: the bind pose.
    mesh->SetTrackState(0, 0.0f, 0.0f);
    mesh->SetTrackState(1, 0.0f, 0.0f);
    mesh->SetTrackTime(0, 0.0f);
    mesh->Update(0.0f);
    EXPECT_EQ(mesh->GetNodeTransform(0).translation.x, 0.0f);
}

TEST_F(KV3DMeshAnimationTest, RebasingMovesEveryTrackByTheInverse) {
    KV3DMesh* mesh = Play(Animated(10, 20, {TranslationChannel(2, "s0", {0}, {1})}));
    ASSERT_NE(mesh, nullptr);
    mesh->SetTrackAnimation(1, 0);
    NodeTransform p, q;
    p.rotation = AboutZ(KV3DMath::kHalfPi);
    p.translation = KV3DVector{1, 0, 0};
    q.translation = KV3DVector{0, 1, 0};
    mesh->SetTrackParams(0, &p);
    mesh->SetTrackParams(1, &q);
    ASSERT_EQ(mesh->RebaseTrackParams(0), KV_OK);
    EXPECT_TRUE(mesh->AreParamsChanged());
    const NodeTransform expected = KV3DMath::ComposeTransforms(q, KV3DMath::InverseTransform(p));
    const NodeTransform& moved = *mesh->GetTrackParams(1);
    EXPECT_TRUE(kvtest::QuatNear(expected.rotation, moved.rotation, 1e-6f));
    EXPECT_NEAR(moved.translation.x, expected.translation.x, 1e-6f);
    EXPECT_NEAR(moved.translation.y, expected.translation.y, 1e-6f);
    const NodeTransform& own = *mesh->GetTrackParams(0);
    EXPECT_EQ(own.translation.x, 0.0f);
    EXPECT_EQ(own.rotation.w, 1.0f);
    mesh->Draw(0);
    EXPECT_FALSE(mesh->AreParamsChanged());

    // A flat parameter leaves its axis alone instead of spreading infinities.
    p = NodeTransform();
    p.scale = KV3DVector{0, 2, 1};
    mesh->SetTrackParams(0, &p);
    mesh->RebaseTrackParams(0);
    const NodeTransform& after = *mesh->GetTrackParams(1);
    EXPECT_TRUE(std::isfinite(after.scale.x) && std::isfinite(after.scale.y));
    EXPECT_FLOAT_EQ(after.scale.y, 0.5f);
    EXPECT_FLOAT_EQ(after.scale.x, 1.0f);
}

TEST_F(KV3DMeshAnimationTest, TheRootParameterIsTheWeightedMean) {
    KV3DMesh* mesh = Play(Animated(10, 20, {TranslationChannel(2, "s0", {0}, {1})}));
    ASSERT_NE(mesh, nullptr);
    mesh->SetTrackAnimation(1, 0);
    mesh->SetTrackState(1, 3.0f, 0.0f);
    mesh->SetTrackPlaying(1, true);
    NodeTransform p, q;
    p.translation = KV3DVector{4, 0, 0};
    q.translation = KV3DVector{0, 4, 0};
    q.scale = KV3DVector{5, 1, 1};
    mesh->SetTrackParams(0, &p);
    mesh->SetTrackParams(1, &q);
    mesh->Update(0.0f);
    const NodeTransform& root = mesh->GetBlendedRootParams();
    EXPECT_FLOAT_EQ(root.translation.x, 1.0f);
    EXPECT_FLOAT_EQ(root.translation.y, 3.0f);
    EXPECT_FLOAT_EQ(root.scale.x, 4.0f);
}

TEST_F(KV3DMeshAnimationTest, RootMotionFromTheStoredRootAndFromTheRootNode) {
    KV3DWriterMesh file = Animated(10, 20, {TranslationChannel(0, "root", {0, 10}, {0, 4})});
    file.animation.rootMotion = KVMESH_ROOT_TRANSLATION;
    file.animation.rootTranslation[0] = 10.0f;
    file.animation.rootScale[0] = file.animation.rootScale[1] = file.animation.rootScale[2] = 1.0f;
    KV3DData* data = h.AddFile("a.kv3d", file);
    KV3DMeshHarness::AddNode(data, "root", -1, KV3DVector{0, 1, 0});
    KV3DMesh* mesh = h.Create({"a.kv3d"});
    ASSERT_NE(mesh, nullptr);
    mesh->SetTrackAnimation(0, 0);
    mesh->SetTrackState(0, 2.0f, 0.0f);
    mesh->SetTrackPlaying(0, true);
    mesh->SetTrackTime(0, 0.5f);
    mesh->Update(0.0f);
    // The root node at frame 5 is halfway along its keys.
    ASSERT_NEAR(mesh->GetNodeTransform(0).translation.x, 2.0f, 1e-5f);
    // A quarter of the animation (frame 5 of 20) of its stored translation,
    // times the weight, not divided by it.
    const NodeTransform root = mesh->GetRootTransform();
    EXPECT_NEAR(root.translation.x, 2.0f + 2.0f * 0.25f * 10.0f, 1e-4f);
    EXPECT_NEAR(root.translation.y, 0.0f, 1e-6f);
    EXPECT_NEAR(root.scale.x, 1.0f, 1e-6f);

    // With the flag, the stored translation; the rest comes from the root
    // node against its place at time 0.
    NodeTransform motion = mesh->GetTrackRootMotion(0);
    EXPECT_FLOAT_EQ(motion.translation.x, 10.0f);
    EXPECT_NEAR(motion.scale.x, 1.0f, 1e-6f);
    data->rootMotion = 0;
    motion = mesh->GetTrackRootMotion(0);
    EXPECT_NEAR(motion.translation.x, 2.0f, 1e-5f);
    EXPECT_NEAR(motion.translation.y, 0.0f, 1e-6f);
    EXPECT_EQ(mesh->GetTrackRootMotion(4).translation.x, 0.0f);
}

TEST_F(KV3DMeshAnimationTest, AnimationsWithoutFramesOrRateEndAtOnce) {
    for (const auto& [rate, frames] : {std::pair<uint32_t, uint32_t>{0, 20}, {10, 0}, {0, 0}}) {
        const std::string path = "r" + std::to_string(rate) + "f" + std::to_string(frames) + ".kv3d";
        h.PutFile(path, Animated(rate, frames, {TranslationChannel(2, "s0", {0, 5}, {1, 2})}));
        KV3DMesh* mesh = h.Create({path});
        ASSERT_NE(mesh, nullptr);
        mesh->SetTrackAnimation(0, 0);
        mesh->SetTrackState(0, 1.0f, 0.0f);
        mesh->SetTrackPlaying(0, true);
        mesh->SetTrackTime(0, 3.0f);
        mesh->Update(0.5f);
        EXPECT_TRUE(mesh->IsTrackFinished(0));
        EXPECT_EQ(mesh->GetTrack(0)->time, 0.0f);
        float seconds = -1.0f;
        EXPECT_EQ(mesh->GetTrackTime(0, &seconds), KV_OK);
        EXPECT_EQ(seconds, 0.0f);
        EXPECT_EQ(mesh->GetAnimationLength(0, &seconds), KV_OK);
        EXPECT_EQ(seconds, 0.0f);
        EXPECT_TRUE(std::isfinite(mesh->GetRootTransform().translation.x));
    }
}

TEST_F(KV3DMeshAnimationTest, WildTimesAndNotANumberNeitherHangNorTrap) {
    KV3DWriterEntry channel = TranslationChannel(2, "s0", {0, 5}, {NAN, 2});
    channel.rotationTimes = {0, 3};
    channel.rotations = {NAN, 0, 0, 1, 0, 0, 1, 0};
    KV3DMesh* mesh = Play(Animated(10, 20, {channel}));
    ASSERT_NE(mesh, nullptr);
    for (float seconds : {1e30f, -1e30f, INFINITY, NAN, 0.4f}) {
        mesh->SetTrackTime(0, seconds);
        mesh->Update(1e20f);
        mesh->Draw(0);
    }
    mesh->SetTrackState(0, NAN, 0.0f);
    mesh->Update(0.1f);
    mesh->SetTrackState(0, 1.0f, NAN);
    mesh->Update(NAN);
    mesh->Draw(1);
    mesh->GetRootTransform();
    mesh->GetTrackRootMotion(0);
    SUCCEED();
}

TEST_F(KV3DMeshAnimationTest, AnimationInfoGivesTheStoredRootAsAngles) {
    KV3DWriterMesh file = Animated(25, 50, {TranslationChannel(2, "s0", {0}, {1})});
    const float s = std::sin(KV3DMath::kPi / 4);
    const float turn[4] = {s, 0, 0, s};  // 90° about x
    std::copy(turn, turn + 4, file.animation.rootRotation);
    file.animation.rootTranslation[2] = 3.0f;
    h.PutFile("anims/run.fast.kv3d", file);
    KV3DMesh* mesh = h.Create({"anims/run.fast.kv3d"});
    ASSERT_NE(mesh, nullptr);
    KV3DAnimationInfo info;
    ASSERT_EQ(mesh->GetAnimationInfo(0, &info), KV_OK);
    EXPECT_EQ(info.name, "run.fast");
    EXPECT_FLOAT_EQ(info.length, 2.0f);
    // (sin 45°, 0, 0, cos 45°) turns by -90° about x in the record's convention.
    EXPECT_NEAR(info.rootRotation[0], -KV3DMath::kHalfPi, 1e-5f);
    EXPECT_NEAR(info.rootRotation[1], 0.0f, 1e-5f);
    EXPECT_FLOAT_EQ(info.rootTranslation[2], 3.0f);
}
