// Collision groups over round shapes moved by the test, with the events
// recorded by scripts: their order in a frame, contacts that end by moving
// apart, by becoming invisible or disabled, or by a unit closing, the
// scripts that add and remove units, and the listener that the group keeps
// on its collisioners only while a contact lasts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/KVSpriteRig.h"
#include "units2d/KVUnitCollisionGroup.h"
#include "units2d/KVUnitShape.h"

using namespace kvl;
using namespace kvtest;
using Records = std::vector<std::string>;

namespace {

class KVUnitCollisionGroupTest : public ::testing::Test {
protected:
    void SetUp() override {
        group = rig.Make<KVUnitCollisionGroup>("CollisionGroup", "G");
        rig.Host().DefineUnitNamespace("G", {});
    }
    // A circle of diameter 100 at (x, y) whose collision events record
    // "name:Event other".
    KVUnitShape* Circle(const char* name, float x, float y) {
        auto* shape = rig.Make<KVUnitShape>("Shape", name);
        rig.SetText(shape, KVUnitShape::kTypeId, 0, "1");
        shape->SetDimension(100, 100);
        shape->SetPosition(x, y);
        std::string code;
        for (const char* event : {"OnCollisionEnter", "OnCollision", "OnCollisionLeave"})
            code += std::string("function ") + name + "." + event + "(...)\n" +
                    "  local a = {...}\n"
                    "  TestRecorder.Record('" + name + ":" + event + " ' .. a[#a].Name)\n"
                    "end\n";
        rig.Run(code);
        return shape;
    }
    void Frame() { rig.Factory().Update(1.0f / 60.0f); }

    KVSpriteRig rig;
    KVUnitCollisionGroup* group = nullptr;
};

} // namespace

TEST_F(KVUnitCollisionGroupTest, EventsComeInTheOrderOfThePairsAndEndWhenNothingTouches) {
    KVUnitShape* r = Circle("R", 0, 0);
    Circle("O1", 60, 0);
    Circle("O2", 0, 60);
    Circle("Far", 500, 0);
    // R is a collisionable too, but never meets itself.
    rig.Run("G:AddUnit(R, true, true) G:AddUnit('O1', true, false) G:AddUnit(O2, true, false)"
            " G:AddUnit(Far, true, false)");
    // Its references listen to it too.
    const size_t listeners = r->GetListenerCount();
    Frame();
    EXPECT_EQ(rig.TakeRecords(), (Records{"R:OnCollisionEnter O1", "R:OnCollision O1", "R:OnCollision O2"}));
    EXPECT_EQ(r->GetListenerCount(), listeners + 1);
    Frame();
    EXPECT_EQ(rig.TakeRecords(), (Records{"R:OnCollision O1", "R:OnCollision O2"}));
    // Touching only the second unit keeps the contact named after the first.
    r->SetPosition(-40, 100);
    Frame();
    EXPECT_EQ(rig.TakeRecords(), (Records{"R:OnCollision O2"}));
    r->SetPosition(-300, -300);
    Frame();
    EXPECT_EQ(rig.TakeRecords(), (Records{"R:OnCollisionLeave O1"}));
    EXPECT_EQ(group->GetContactCount(), 0u);
    EXPECT_EQ(r->GetListenerCount(), listeners);
    Frame();
    EXPECT_TRUE(rig.TakeRecords().empty());
}

TEST_F(KVUnitCollisionGroupTest, InvisibleOrDisabledCollisionersLeaveUnlessInvisibleOnesAreTested) {
    KVUnitShape* r = Circle("R", 0, 0);
    Circle("O", 60, 0);
    rig.Run("G:AddUnit(R, false, true) G:AddUnit(O, true, false)");
    Frame();
    rig.TakeRecords();
    r->SetFlags(r->GetFlags() & ~2u);
    Frame();
    EXPECT_EQ(rig.TakeRecords(), (Records{"R:OnCollisionLeave O"}));
    rig.SetText(group, KVUnitCollisionGroup::kTestInvisibleId, 0, "true");
    Frame();
    EXPECT_EQ(rig.TakeRecords(), (Records{"R:OnCollisionEnter O", "R:OnCollision O"}));
    r->SetEnabled(false);
    Frame();
    EXPECT_EQ(rig.TakeRecords(), (Records{"R:OnCollisionLeave O"}));
}

TEST_F(KVUnitCollisionGroupTest, CollisionersTestedTogetherRaiseEventsOnTheEarlierOnly) {
    Circle("A", 0, 0);
    Circle("B", 60, 0);
    rig.Run("G:AddUnit(A, false, true) G:AddUnit(B, false, true)");
    Frame();
    EXPECT_TRUE(rig.TakeRecords().empty());
    rig.SetText(group, KVUnitCollisionGroup::kTestCollisionersId, 0, "true");
    Frame();
    EXPECT_EQ(rig.TakeRecords(), (Records{"A:OnCollisionEnter B", "A:OnCollision B"}));
}

TEST_F(KVUnitCollisionGroupTest, AChangedAttributeForgetsTheContactsAndTheirListeners) {
    KVUnitShape* r = Circle("R", 0, 0);
    Circle("O", 60, 0);
    rig.Run("G:AddUnit(R, false, true) G:AddUnit(O, true, false)");
    const size_t listeners = r->GetListenerCount();
    Frame();
    rig.TakeRecords();
    rig.SetText(group, KVUnitCollisionGroup::kTypeId, 0, "0");
    EXPECT_EQ(group->GetContactCount(), 0u);
    EXPECT_EQ(r->GetListenerCount(), listeners);
    Frame();
    EXPECT_EQ(rig.TakeRecords(), (Records{"R:OnCollisionEnter O", "R:OnCollision O"}));
    EXPECT_EQ(r->GetListenerCount(), listeners + 1);
    // Enabling runs the same refresh.
    group->SetEnabled(false);
    group->SetEnabled(true);
    EXPECT_EQ(r->GetListenerCount(), listeners);
    Frame();
    EXPECT_EQ(rig.TakeRecords(), (Records{"R:OnCollisionEnter O", "R:OnCollision O"}));
}

TEST_F(KVUnitCollisionGroupTest, AClosedCollisionerEndsItsContactAndAClosedGroupIsForgotten) {
    KVUnitShape* r = Circle("R", 0, 0);
    KVUnitShape* s = Circle("S", 0, 60);
    Circle("O", 60, 0);
    rig.Run("G:AddUnit(R, false, true) G:AddUnit(S, false, true) G:AddUnit(O, true, false)");
    Frame();
    EXPECT_EQ(group->GetContactCount(), 2u);
    rig.TakeRecords();
    r->Release();
    EXPECT_EQ(group->GetContactCount(), 1u);
    rig.TakeRecords();
    Frame();
    EXPECT_EQ(rig.TakeRecords(), (Records{"S:OnCollision O"}));
    // The group goes first: the collisioner that closes later calls nobody.
    const size_t listeners = s->GetListenerCount();
    group->Release();
    // The group's listener and its array's reference.
    EXPECT_EQ(s->GetListenerCount(), listeners - 2);
    s->Release();
    Frame();
}

TEST_F(KVUnitCollisionGroupTest, ALeaveNeverNamesAUnitThatTookTheIndexOfTheOneTouched) {
    KVUnitShape* r = Circle("R", 0, 0);
    KVUnitShape* first = Circle("O1", 60, 0);
    Circle("O2", 0, 60);
    rig.Run("G:AddUnit(R, false, true) G:AddUnit(O1, true, false) G:AddUnit(O2, true, false)");
    Frame();
    rig.TakeRecords();
    first->Release();
    Frame();
    Frame();
    // Indices come back after a frame.
    Circle("New", 1000, 1000);
    r->SetPosition(-300, -300);
    Frame();
    for (const std::string& record : rig.TakeRecords()) EXPECT_EQ(record.find("Leave"), std::string::npos) << record;
}

TEST_F(KVUnitCollisionGroupTest, ScriptsAddAndRemoveOneReferenceAtATime) {
    Circle("R", 0, 0);
    rig.Run("G:AddUnit(R, false, false)");
    EXPECT_EQ(group->GetCollisioners().Size(), 0u);
    EXPECT_EQ(group->GetCollisionables().Size(), 0u);
    rig.Run("G:AddUnit(R, true, true) G:AddUnit('R', false, true)");
    EXPECT_EQ(group->GetCollisioners().Size(), 2u);
    EXPECT_EQ(group->GetCollisionables().Size(), 1u);
    EXPECT_EQ(rig.Host().Evaluate("G.Collisioners[1].Name, G.Collisioners[2].Name"), (Records{"R", "R"}));
    rig.Run("G:RemoveUnit(R, false, true)");
    EXPECT_EQ(group->GetCollisioners().Size(), 1u);
    EXPECT_EQ(group->GetCollisionables().Size(), 1u);
    rig.Run("G:RemoveUnit(R, true, true) G:RemoveUnit(R, true, true)");
    EXPECT_EQ(group->GetCollisioners().Size(), 0u);
    EXPECT_EQ(group->GetCollisionables().Size(), 0u);
    rig.TakeErrors();
    // A wrong count of arguments, or a name that names no unit, changes
    // nothing and is reported.
    std::string error;
    rig.Host().Run("G:AddUnit(R, true)", &error);
    rig.Host().Run("G:AddUnit('Nobody', true, true)", &error);
    EXPECT_EQ(group->GetCollisioners().Size(), 0u);
    EXPECT_EQ(group->GetCollisionables().Size(), 0u);
    const Records errors = rig.TakeErrors();
    EXPECT_FALSE(errors.empty() && error.empty());
}
