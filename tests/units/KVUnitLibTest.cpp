// The script methods and computed members of every unit, called from real
// Lua as unit:Method() and unit.Member.
#include <gtest/gtest.h>

#include "KVLua/KVLua.h"
#include "support/KVTestUnitEvents.h"
#include "units/IKVUnitRef.h"
#include "units/KVUnit.h"

using namespace kvl;
using kvtest::KVTestCoreHost;
using kvtest::KVTestUnitEvents;
using Records = std::vector<std::string>;

namespace {

class KVUnitLibTest : public ::testing::Test {
protected:
    KVUnit* Spawn(const std::string& name, KVUnit* parent = nullptr) { return units.Spawn(name, parent); }
    std::string Describe(const std::string& expression) { return units.Host().Describe(expression); }
    Records Reports(const std::string& code) { return units.Reports(code); }
    std::vector<std::string> ChildNames(KVUnit* parent) {
        std::vector<std::string> names;
        for (size_t i = 0; i < parent->GetChildren()->Size(); ++i)
            names.push_back(units.Factory().GetUnit(parent->GetChildren()->At(i)->GetIndex())->GetName());
        return names;
    }

    KVTestUnitEvents units;
};

TEST_F(KVUnitLibTest, IsClassFollowsTheBaseClassesAndNamesWhatItCannotUse) {
    Spawn("Hero");
    EXPECT_EQ(Describe("Hero:IsClass('Unit'), Hero:IsClass('Probe'), Hero:IsClass('Sprite')"),
              "boolean true, boolean true, boolean false");
    EXPECT_EQ(Reports("local a = Hero:IsClass('Nope')\nlocal b = Hero:IsClass()\nlocal c = Hero:IsClass({})"),
              (Records{"test:1:Nope is an unknown class", "test:2:Invalid number of arguments",
                       "test:3:IsClass : Bad or missing argument (Arg #1)"}));
}

TEST_F(KVUnitLibTest, ComputedMembersGiveTheClassTheSceneFileAndTheAttributes) {
    Spawn("Hero");
    EXPECT_EQ(Describe("Hero.ClassName, Hero.KVLPath, Hero.Attributes.Size, Hero.Attributes[1].Value"),
              "string Probe, string , number 19, string Hero");
    units.Run("Hero.Attributes[1].Value = 'Renamed'");
    EXPECT_NE(units.Find("Renamed"), nullptr);
}

// Writing a computed member is reported at the line of the assignment,
// inside a function as at the top of a chunk, and changes nothing.
TEST_F(KVUnitLibTest, ComputedMembersAreReadOnlyAndSayWhereTheyWereWritten) {
    Spawn("Hero");
    EXPECT_EQ(Reports("local function retarget(u)\n"
                      "  local before = u.ClassName\n"
                      "  u.ClassName = 'Sprite'\n"
                      "  u.KVLPath = 'elsewhere.kvl'\n"
                      "end\n"
                      "retarget(Hero)\n"
                      "\n"
                      "Hero.KVLPath = nil\n"),
              (Records{"test:3:ClassName is a read-only attribute", "test:4:KVLPath is a read-only attribute",
                       "test:8:KVLPath is a read-only attribute"}));
    EXPECT_EQ(Describe("Hero.ClassName, Hero.KVLPath, rawget(Hero, 'ClassName'), rawget(Hero, 'KVLPath')"),
              "string Probe, string , nil, nil");
}

TEST_F(KVUnitLibTest, DelegatesAddedFromScriptsTakeTheirEventNewestFirst) {
    KVUnit* x = Spawn("X");
    Spawn("Y");
    Spawn("Z");
    units.Run("for _, name in ipairs({'X', 'Y', 'Z'}) do\n"
              "  _G[name].OnDisable = function() TestRecorder.Record(name) end\n"
              "end\n"
              "X:AddDelegateFunction('OnDisable', Y)\nX:AddDelegateFunction('OnDisable', 'Z')");
    units.Factory().RebindScripts();
    units.Take();
    x->SetEnabled(false);
    EXPECT_EQ(units.Take(), (Records{"Z"}));
    x->SetEnabled(true);
    units.Run("X:RemoveDelegateFunction('OnDisable')");
    x->SetEnabled(false);
    EXPECT_EQ(units.Take(), (Records{"Y"}));
    EXPECT_EQ(Reports("X:RemoveDelegateFunction('OnDisable')\nX:RemoveDelegateFunction('OnDisable')\n"
                      "X:AddDelegateFunction('OnEnable')"),
              (Records{"test:2:Unknown function delegate", "test:3:Invalid number of arguments"}));
    x->SetEnabled(true);
    x->SetEnabled(false);
    EXPECT_EQ(units.Take(), (Records{"X"}));
}

TEST_F(KVUnitLibTest, ReorderingFromScriptsTakesPositionsOrUnits) {
    KVUnit* parent = Spawn("P");
    for (const char* name : {"A", "B", "C", "D"}) Spawn(name, parent);
    units.Run("P:ReorderChildrenIndex({3, 1})");
    EXPECT_EQ(ChildNames(parent), (std::vector<std::string>{"C", "A", "B", "D"}));
    units.Run("P:ReorderChildrenUnit({A, 'D', Hero, P}, true)");
    EXPECT_EQ(ChildNames(parent), (std::vector<std::string>{"C", "B", "A", "D"}));
}

TEST_F(KVUnitLibTest, CopyAttributeToChildrenReachesAsDeepAsAsked) {
    KVUnit* root = Spawn("Root");
    KVUnit* child = Spawn("Child", root);
    KVUnit* grandchild = Spawn("Grandchild", child);
    units.Run("Root.AcceptAllInput = true\nRoot:CopyAttributeToChildren('AcceptAllInput', 1)");
    EXPECT_NE(child->GetFlags() & KVUNIT_ACCEPT_ALL_INPUT, 0u);
    EXPECT_EQ(grandchild->GetFlags() & KVUNIT_ACCEPT_ALL_INPUT, 0u);
    units.Run("Root:CopyAttributeToChildren('AcceptAllInput')");
    EXPECT_NE(grandchild->GetFlags() & KVUNIT_ACCEPT_ALL_INPUT, 0u);
    EXPECT_EQ(Reports("Root:CopyAttributeToChildren('Nope')\nRoot:CopyAttributeToChildren()"),
              (Records{"test:1:Invalid attribute name", "test:2:Invalid number of arguments"}));
}

} // namespace
