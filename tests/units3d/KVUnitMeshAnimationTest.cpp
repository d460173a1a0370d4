// Animation control of the "Mesh" unit through scripts, on a mesh with two
// submesh-channel animations ("walk" 1 s, "run" 2 s): replacement, loop
// counting, the automatic animation, invisibility, events and their
// receivers, and handlers that start animations again.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/KV3DUnitRig.h"
#include "support/KVMeshUnitFiles.h"
#include "units3d/KVUnitMesh.h"

using namespace kvl;
using namespace kvtest;
using ::testing::ElementsAre;

namespace {

class KVUnitMeshAnimationTest : public ::testing::Test {
protected:
    void SetUp() override {
        mesh = rig.Make<KVUnitMesh>("Mesh", "M", {"OnEndAnimation", "OnAnimationEvent"});
        rig.Run("M.AutoAnimation = false M.Mesh = '" + WriteAnimatedBody(rig.Host().Root()) + "'");
        ASSERT_NE(mesh->GetMesh(), nullptr);
        ASSERT_EQ(mesh->GetAnimationInfos().size(), 2u);
        rig.Take();
    }
    // Frames of 0.1 s; the records raised on the way.
    std::vector<std::string> Run(int frames) {
        for (int i = 0; i < frames; ++i) rig.Update(0.1f);
        return rig.Take();
    }

    KV3DUnitRig rig;
    KVUnitMesh* mesh = nullptr;
};

TEST_F(KVUnitMeshAnimationTest, ASecondRequestInAFrameEndsTheFirstAtOnceAndTakesTheNextSlot) {
    rig.Run("M:SetAnimation('walk') M:SetAnimation('run')");
    EXPECT_THAT(rig.Take(), ElementsAre("M:OnEndAnimation 0 1"));
    EXPECT_EQ(rig.Host().Evaluate("M:GetAnimation()")[0], "1");
    EXPECT_EQ(rig.Host().Evaluate("M:GetAnimationName()")[0], "run");
    ASSERT_EQ(mesh->GetLayers().size(), 1u);
    EXPECT_EQ(mesh->GetLayers()[0].currentSlot, 1);
    // The second fades in over TransitionDelay; the first, which had not
    // begun to, stays out.
    Run(1);
    EXPECT_EQ(mesh->GetMesh()->GetTrackState(0), 0.0f);
    EXPECT_NEAR(mesh->GetMesh()->GetTrackState(1), 0.5f, 1e-4f);
    // A fifth request comes back to slot 0.
    rig.Run("M:SetAnimation(0) M:SetAnimation(1) M:SetAnimation(0)");
    EXPECT_EQ(mesh->GetLayers()[0].currentSlot, 0);
    EXPECT_EQ(rig.Take().size(), 3u);
}

TEST_F(KVUnitMeshAnimationTest, LoopZeroNeverEndsByItself) {
    rig.Run("M:SetAnimation('walk', {loop = 0})");
    EXPECT_THAT(Run(50), ElementsAre());
    EXPECT_EQ(mesh->GetLayerAnimation(0), 0);
}

TEST_F(KVUnitMeshAnimationTest, LoopsAreCountedAndTheEndComesOnce) {
    rig.Run("M:SetAnimation('walk', {loop = 1})");
    EXPECT_THAT(Run(9), ElementsAre());
    EXPECT_THAT(Run(3), ElementsAre("M:OnEndAnimation 0 0"));
    EXPECT_EQ(mesh->GetLayerAnimation(0), -1);
    EXPECT_THAT(Run(20), ElementsAre());

    rig.Run("M:SetAnimation('walk', {loop = 3})");
    EXPECT_THAT(Run(28), ElementsAre());
    EXPECT_THAT(Run(4), ElementsAre("M:OnEndAnimation 0 0"));
    EXPECT_THAT(Run(20), ElementsAre());
}

TEST_F(KVUnitMeshAnimationTest, TheEndWaitsUntilTheOlderSlotsHaveFaded) {
    rig.Run("M:SetAnimation('run', {transition = 0}) M:SetAnimation('walk', {loop = 1, transition = 3})");
    EXPECT_THAT(rig.Take(), ElementsAre("M:OnEndAnimation 1 1"));
    // The walk is over after 1 s, the run has faded only after 3.
    EXPECT_THAT(Run(25), ElementsAre());
    EXPECT_THAT(Run(10), ElementsAre("M:OnEndAnimation 0 0"));
}

TEST_F(KVUnitMeshAnimationTest, TheAutomaticAnimationPlayingOnceStartsAgainInTheSameUpdate) {
    rig.Run("M.AnimationLoop = 1 M.AutoAnimation = true");
    Run(1);
    EXPECT_EQ(mesh->GetLayerAnimation(0), 0);
    std::vector<std::string> records;
    for (int i = 0; i < 15 && records.empty(); ++i) {
        rig.Update(0.1f);
        records = rig.Take();
    }
    EXPECT_THAT(records, ElementsAre("M:OnEndAnimation 0 0"));
    EXPECT_EQ(mesh->GetLayerAnimation(0), 0);
    EXPECT_FALSE(mesh->GetLayers()[0].stopped);
}

TEST_F(KVUnitMeshAnimationTest, AnInvisibleUnitHoldsUnlessAnimatedInvisible) {
    mesh->SetFlags(mesh->GetFlags() & ~KVUNIT_VISIBLE);
    rig.Run("M:SetAnimation('walk', {loop = 1})");
    EXPECT_EQ(mesh->GetLayerAnimation(0), 0);
    EXPECT_THAT(Run(30), ElementsAre());
    float time = -1.0f;
    EXPECT_EQ(mesh->GetLayerTime(0, &time), KV_OK);
    EXPECT_EQ(time, 0.0f);
    rig.Run("M.AnimatedInvisible = true");
    EXPECT_THAT(Run(15), ElementsAre("M:OnEndAnimation 0 0"));
}

TEST_F(KVUnitMeshAnimationTest, EventsAndEndsReachTheirReceivers) {
    rig.Make<KVUnit>("Node3D", "R", {"OnEndAnimation", "OnAnimationEvent"});
    rig.Run("M:AddAnimationEvent('walk', 'step', 0.5, R) M:AddAnimationEvent(0, 'mine', 0.7)"
            " M:SetAnimation('walk', {loop = 1, receiver = R})");
    EXPECT_THAT(Run(12), ElementsAre("R:OnAnimationEvent walk step", "M:OnAnimationEvent walk mine",
                                     "R:OnEndAnimation 0 0"));
    // The receiver heard of its end: the next one goes to the mesh unit.
    rig.Run("M:RemoveAnimationEvent('walk', 'step') M:SetAnimation('walk', {loop = 1})");
    EXPECT_THAT(Run(12), ElementsAre("M:OnAnimationEvent walk mine", "M:OnEndAnimation 0 0"));
    rig.Run("M:RemoveAllAnimationEvents(0) M:SetAnimation('walk', {loop = 1})");
    EXPECT_THAT(Run(12), ElementsAre("M:OnEndAnimation 0 0"));
}

TEST_F(KVUnitMeshAnimationTest, AHandlerMayStartAnotherAnimationOrRemoveEvents) {
    rig.Run("function M.OnEndAnimation(a, r) TestRecorder.Record('end ' .. a .. ' ' .. r)"
            " if a == 0 then M:SetAnimation('run', {loop = 1}) end end"
            " function M.OnAnimationEvent(a, e) TestRecorder.Record(e) M:RemoveAllAnimationEvents(a)"
            " M:SetAnimation('walk') end");
    rig.Run("M:SetAnimation('walk') M:SetAnimation('walk')");
    // The first walk is replaced; its handler starts the run, which replaces
    // the second walk in turn.
    // the second walk in turn, and the second run replaces the first.
    EXPECT_THAT(rig.Take(), ElementsAre("end 0 1", "end 0 1", "end 1 1"));
    EXPECT_EQ(mesh->GetLayerAnimation(0), 1);
    // Both events were passed in one update: the second is still raised
    // after the first handler removed them.
    rig.Run("function M.OnEndAnimation(a, r) TestRecorder.Record('end ' .. a .. ' ' .. r) end"
            " M:AddAnimationEvent('run', 'a', 0.5) M:AddAnimationEvent('run', 'b', 0.5)");
    EXPECT_THAT(Run(10), ElementsAre("a", "end 1 1", "b", "end 0 1"));
    EXPECT_EQ(mesh->GetLayerAnimation(0), 0);
}

TEST_F(KVUnitMeshAnimationTest, RequestsOutOfRangeAreRefusedAndLayersKeepTheirTimes) {
    MeshAnimationRequest request;
    request.animation = 2;
    EXPECT_EQ(mesh->PlayAnimation(0, &request), KV_FAILED);
    request.animation = 0;
    EXPECT_EQ(mesh->PlayAnimation(-1, &request), KV_FAILED);
    EXPECT_EQ(mesh->PlayAnimation(KVUnitMesh::kMaxLayers, &request), KV_FAILED);
    EXPECT_EQ(mesh->SetAnimationSpeedFactor(2, 3.0f), KV_FAILED);
    EXPECT_EQ(mesh->SetAnimationSpeedFactor(-1, 3.0f), KV_FAILED);
    EXPECT_EQ(mesh->SetAnimationSpeedFactor(0, 2.0f), KV_OK);
    request.transition = 0.0f;
    EXPECT_EQ(mesh->PlayAnimation(1, &request), KV_OK);
    EXPECT_EQ(mesh->GetLayers().size(), 2u);
    Run(2);
    float time = 0.0f;
    EXPECT_EQ(mesh->GetLayerTime(1, &time), KV_OK);
    EXPECT_NEAR(time, 0.2f, 1e-4f);
    EXPECT_EQ(mesh->SetLayerTime(1, 0.5f), KV_OK);
    EXPECT_EQ(mesh->GetLayerTime(1, &time), KV_OK);
    EXPECT_FLOAT_EQ(time, 0.5f);
    EXPECT_EQ(mesh->GetLayerTime(5, &time), KV_FAILED);
    EXPECT_EQ(mesh->StopAnimation(1, &request), KV_OK);
    EXPECT_THAT(rig.Take(), ElementsAre("M:OnEndAnimation 0 2"));
    // A reset forgets every layer.
    mesh->ResetState();
    EXPECT_TRUE(mesh->GetLayers().empty());
}

} // namespace
