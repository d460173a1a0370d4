// The order of the units' script events, recorded through the real script
// binding: each unit's script table records "name:Event".
#include <gtest/gtest.h>

#include <algorithm>

#include <lua.hpp>

#include "KVLua/KVLua.h"
#include "kernel/IKVLog.h"
#include "kernel/KVCore.h"
#include "kernel/KVProfiler.h"
#include "kernel/KVProperties.h"
#include "kernel/KVResources.h"
#include "support/KVTestUnitEvents.h"
#include "units/IKVUnitRef.h"

using namespace kvl;
using kvtest::KVTestUnitEvents;
using Records = std::vector<std::string>;

namespace {

std::vector<std::string>& LogLines() {
    static std::vector<std::string> lines;
    return lines;
}

void RecordLog(const char* text, int32_t level, int32_t) {
    LogLines().push_back(std::to_string(level) + " " + text);
}

class KVUnitEventsTest : public ::testing::Test {
protected:
    void SetUp() override {
        LogLines().clear();
        GetLog()->SetCallback(RecordLog);
    }
    // A root R with children A (with child A1) and B.
    void MakeTree() {
        r = units.Make("R");
        a = units.Make("A", r);
        a1 = units.Make("A1", a);
        b = units.Make("B", r);
    }

    KVTestUnitEvents units;
    KVUnit* r = nullptr;
    KVUnit* a = nullptr;
    KVUnit* a1 = nullptr;
    KVUnit* b = nullptr;
};

TEST_F(KVUnitEventsTest, CreationRaisesCreateThenPreEnableThenEnable) {
    units.Track("Probe001");
    IKVUnit* unit = nullptr;
    ASSERT_EQ(units.Factory().NewUnit(units.ProbeClass(), &unit), KV_OK);
    EXPECT_EQ(units.Take(), (Records{"Probe001:OnCreate", "Probe001:OnPreEnable", "Probe001:OnEnable"}));
    EXPECT_TRUE(unit->IsEnabled());
    EXPECT_NE(unit->GetFlags() & KVUNIT_SCRIPTED, 0u);
}

TEST_F(KVUnitEventsTest, EnablingATreePreEnablesDuringTheWalkAndEnablesAfterIt) {
    MakeTree();
    int32_t enabled = units.Factory().GetEnabledCount();
    r->SetEnabled(false);
    EXPECT_EQ(units.Take(), (Records{"R:OnQueryDisable", "R:OnDisable", "A:OnQueryDisable", "A:OnDisable",
                                     "A1:OnQueryDisable", "A1:OnDisable", "B:OnQueryDisable", "B:OnDisable"}));
    EXPECT_FALSE(a1->IsEnabled());
    EXPECT_TRUE(a1->GetWantedEnabled());
    EXPECT_EQ(units.Factory().GetEnabledCount(), enabled - 4);

    r->SetEnabled(true);
    EXPECT_EQ(units.Take(), (Records{"R:OnPreEnable", "A:OnPreEnable", "A1:OnPreEnable", "B:OnPreEnable",
                                     "R:OnEnable", "A:OnEnable", "A1:OnEnable", "B:OnEnable"}));
    EXPECT_EQ(units.Factory().GetEnabledCount(), enabled);

    // Nothing changes, nothing is raised.
    r->SetEnabled(true);
    EXPECT_TRUE(units.Take().empty());
}

TEST_F(KVUnitEventsTest, AVetoKeepsTheUnitAndItsSubtreeEnabled) {
    MakeTree();
    units.Track("A", KVTestUnitEvents::BaseEvents(),
                "t.OnQueryDisable = function() TestRecorder.Record('A:OnQueryDisable') return false end");
    r->SetEnabled(false);
    EXPECT_EQ(units.Take(), (Records{"R:OnQueryDisable", "R:OnDisable", "A:OnQueryDisable", "B:OnQueryDisable",
                                     "B:OnDisable"}));
    EXPECT_FALSE(r->IsEnabled());
    EXPECT_TRUE(a->IsEnabled());
    EXPECT_TRUE(a1->IsEnabled());
    EXPECT_FALSE(b->IsEnabled());

    // Anything but a boolean false does not refuse.
    units.Track("B", KVTestUnitEvents::BaseEvents(), "t.OnQueryDisable = function() return 0 end");
    r->SetEnabled(true);
    units.Take();
    b->SetEnabled(false);
    EXPECT_FALSE(b->IsEnabled());
}

// The last release of an enabled unit disables it for good: a refusal would
// leave a deleted unit counted as enabled.
TEST_F(KVUnitEventsTest, TheLastReleaseDisablesEvenAfterAVeto) {
    KVUnit* x = units.Make("X");
    KVUnit* child = units.Make("C", x);
    units.Track("X", KVTestUnitEvents::BaseEvents(),
                "t.OnQueryDisable = function() TestRecorder.Record('X:OnQueryDisable') return false end");
    int32_t enabled = units.Factory().GetEnabledCount();
    int32_t index = x->GetIndex();
    int32_t childIndex = child->GetIndex();
    x->Release();
    EXPECT_EQ(units.Take(), (Records{"X:OnQueryDisable", "X:OnDisable", "C:OnQueryDisable", "C:OnDisable", "X:Close",
                                     "C:Close"}));
    EXPECT_FALSE(units.Factory().IsValidUnit(index));
    EXPECT_FALSE(units.Factory().IsValidUnit(childIndex));
    EXPECT_EQ(units.Factory().GetEnabledCount(), enabled - 2);
}

TEST_F(KVUnitEventsTest, CloseOnDisableReleasesTheUnitInsideTheDisable) {
    KVUnit* x = units.Make("X");
    KVUnit* holder = units.Make("H");
    IKVUnitRef* refs[3];
    for (IKVUnitRef*& ref : refs) {
        ref = units.Factory().MakeUnitRef(holder->GetIndex(), &KVUnit::kLayerId);
        ref->SetIndex(x->GetIndex());
    }
    x->SetFlags(x->GetFlags() | KVUNIT_CLOSE_ON_DISABLE);
    int32_t index = x->GetIndex();
    // The only reference is the factory's: the unit is gone when the call
    // returns, and nothing reads it afterwards.
    x->SetEnabled(false);
    EXPECT_EQ(units.Take(), (Records{"X:OnQueryDisable", "X:OnDisable", "X:Close"}));
    EXPECT_FALSE(units.Factory().IsValidUnit(index));
    for (IKVUnitRef* ref : refs) {
        EXPECT_EQ(ref->GetIndex(), -1);
        EXPECT_EQ(*ref->GetUnitUid(), 0u);
        ref->Release();
    }
    EXPECT_TRUE(LogLines().empty());
}

TEST_F(KVUnitEventsTest, AnEnableFromItsOwnDisableKeepsACloseOnDisableUnitOpen) {
    KVUnit* x = units.Make("X");
    x->SetFlags(x->GetFlags() | KVUNIT_CLOSE_ON_DISABLE);
    units.Track("X", KVTestUnitEvents::BaseEvents(),
                "t.OnDisable = function() TestRecorder.Record('X:OnDisable') TestUnits.SetEnabled('X', true) end");
    x->SetEnabled(false);
    EXPECT_EQ(units.Take(), (Records{"X:OnQueryDisable", "X:OnDisable"}));
    ASSERT_EQ(units.Find("X"), x);
    EXPECT_TRUE(x->IsEnabled());
    EXPECT_TRUE(LogLines().empty());
}

TEST_F(KVUnitEventsTest, AnEnableDuringACloseOnDisableReleaseIsLogged) {
    KVUnit* x = units.Make("X");
    units.Make("Y", x);
    x->SetFlags(x->GetFlags() | KVUNIT_CLOSE_ON_DISABLE);
    units.Track("Y", KVTestUnitEvents::BaseEvents(),
                "t.OnDisable = function() TestRecorder.Record('Y:OnDisable') TestUnits.SetEnabled('Y', true) end");
    x->SetEnabled(false);
    EXPECT_EQ(units.Take(), (Records{"X:OnQueryDisable", "X:OnDisable", "X:Close", "Y:OnQueryDisable",
                                     "Y:OnDisable", "Y:Close"}));
    EXPECT_EQ(units.Find("Y"), nullptr);
    EXPECT_EQ(LogLines(), (Records{"2 Try to enable a closed unit (X). The unit has been closed because of the "
                                   "CloseOnDisable flag."}));
}

TEST_F(KVUnitEventsTest, AUnitReleasingItselfInItsUpdateLeavesTheLaterSweeps) {
    units.Make("X");
    units.Make("Y");
    units.Track("X", KVTestUnitEvents::BaseEvents(),
                "t.OnUpdate = function() TestRecorder.Record('X:OnUpdate') TestUnits.Release('X') end");
    units.Factory().Update(0.02f);
    EXPECT_EQ(units.Take(), (Records{"X:PreUpdate", "Y:PreUpdate", "X:OnUpdate", "X:OnQueryDisable", "X:OnDisable",
                                     "X:Close", "Y:OnUpdate", "Y:UpdateExternal"}));
    units.Factory().Update(0.02f);
    EXPECT_EQ(units.Take(), (Records{"Y:PreUpdate", "Y:OnUpdate", "Y:UpdateExternal"}));
}

TEST_F(KVUnitEventsTest, UpdatesWalkEnabledSubtreesOnlyAndStopAskingScriptsWithoutOnUpdate) {
    KVUnit* root = units.Make("R");
    KVUnit* off = units.Make("Off", root);
    units.Make("Below", off);
    KVUnit* quiet = units.Make("Q", root);
    off->SetEnabled(false);
    units.Track("Q", {"OnEnable"});
    units.Take();
    units.Factory().Update(0.5f);
    EXPECT_EQ(units.Take(), (Records{"R:PreUpdate", "Q:PreUpdate", "R:OnUpdate", "R:UpdateExternal",
                                     "Q:UpdateExternal"}));
    EXPECT_FALSE(quiet->GetUpdateWanted());
    // A function defined later is not asked for, until the state is reset.
    units.Track("Q");
    units.Factory().Update(0.5f);
    EXPECT_EQ(units.Take(), (Records{"R:PreUpdate", "R:OnUpdate", "R:UpdateExternal"}));
    quiet->ResetState();
    units.Factory().Update(0.5f);
    EXPECT_EQ(units.Take(), (Records{"R:PreUpdate", "Q:PreUpdate", "R:OnUpdate", "Q:OnUpdate", "R:UpdateExternal",
                                     "Q:UpdateExternal"}));
    // A unit without the Update flag is left out; one with the native mark
    // is updated although its script has no "OnUpdate".
    root->SetFlags(root->GetFlags() & ~uint32_t(KVUNIT_UPDATE));
    units.Track("Q", {});
    quiet->SetNativeUpdate(true);
    units.Factory().Update(0.5f);
    EXPECT_EQ(units.Take(), (Records{"Q:PreUpdate", "Q:UpdateExternal"}));
    units.Factory().Update(0.5f);
    EXPECT_EQ(units.Take(), (Records{"Q:PreUpdate", "Q:UpdateExternal"}));
}

// Every frame looks "OnUpdate" up by name again: a script that replaces it,
// in a unit's own table or in the class table, is heard on the next frame.
// A handler that fails is reported, the units after it still run with
// themselves as "self", and it is asked again on the next frame; a caught
// error inside a handler leaves "self" as it was.
TEST_F(KVUnitEventsTest, EachFrameFindsOnUpdateAgainAndAFailingHandlerStopsNoOtherUnit) {
    KVUnit* failing = units.Make("B");
    units.Make("A");
    units.Make("C");
    for (const std::string name : {"A", "B", "C"}) units.Track(name, {}, "t.id = '" + name + "'");
    units.Run("Probe = {}\n"
              "function Probe.OnUpdate()\n"
              "  TestRecorder.Record('class:' .. self.id)\n"
              "  if self.id == 'B' then error('B fails') end\n"
              "  pcall(error, 'caught')\n"
              "  TestRecorder.Record('after:' .. self.id)\n"
              "end\n");
    units.Factory().RebindScripts();
    units.Take();
    kvtest::KVTestCoreHost::Errors().clear();
    const Records frame = {"B:PreUpdate", "A:PreUpdate", "C:PreUpdate"};
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        units.Factory().Update(0.1f);
        Records expected = frame;
        for (const char* record : {"class:B", "class:A", "after:A", "class:C", "after:C", "B:UpdateExternal",
                                   "A:UpdateExternal", "C:UpdateExternal"})
            expected.push_back(record);
        EXPECT_EQ(units.Take(), expected);
        ASSERT_EQ(kvtest::KVTestCoreHost::Errors().size(), 1u);
        EXPECT_NE(kvtest::KVTestCoreHost::Errors()[0].find("B fails"), std::string::npos);
        kvtest::KVTestCoreHost::Errors().clear();
        EXPECT_TRUE(failing->GetUpdateWanted());
    }
    units.Run("function Probe.OnUpdate() TestRecorder.Record('new:' .. self.id) end\n"
              "rawget(_G, 'A').OnUpdate = function() TestRecorder.Record('own A') end\n");
    units.Factory().Update(0.1f);
    EXPECT_EQ(units.Take(), (Records{"B:PreUpdate", "A:PreUpdate", "C:PreUpdate", "new:B", "own A", "new:C",
                                     "B:UpdateExternal", "A:UpdateExternal", "C:UpdateExternal"}));
    EXPECT_TRUE(kvtest::KVTestCoreHost::Errors().empty());
    EXPECT_EQ(units.Host().Describe("self"), "nil");
}

TEST_F(KVUnitEventsTest, UpdateGroupsRunInOrderEachWithItsThreeSweeps) {
    KVUnit* late = units.Make("Late");
    units.Make("Early");
    late->SetUpdateGroup(2);
    units.Factory().Update(0.1f);
    EXPECT_EQ(units.Take(), (Records{"Early:PreUpdate", "Early:OnUpdate", "Early:UpdateExternal", "Late:PreUpdate",
                                     "Late:OnUpdate", "Late:UpdateExternal"}));
}

TEST_F(KVUnitEventsTest, OnUpdateGetsTheFrameTimeAndTheTotalTime) {
    units.Make("X");
    units.Track("X", {}, "t.OnUpdate = function(dt, total) TestRecorder.Record(dt .. ' ' .. total) end");
    units.Factory().Update(0.25f);
    EXPECT_EQ(units.Take(), (Records{"X:PreUpdate", "0.25 0", "X:UpdateExternal"}));
}

// A unit that forwards "OnUpdate" hands the frame's two arguments on; one
// whose script lacks the function leaves nothing on the script stack.
TEST_F(KVUnitEventsTest, ForwardedOrMissingOnUpdateKeepsArgumentsAndStack) {
    units.Spawn("X");
    units.Spawn("Y");
    units.Spawn("Z");
    units.Run("X.OnUpdate = function() TestRecorder.Record('X itself') end\n"
              "Y.OnUpdate = function(dt, total) TestRecorder.Record('Y got ' .. dt .. ' ' .. total) end\n"
              "Z.Other = 1\n"
              "X:AddDelegateFunction('OnUpdate', Y)");
    units.Factory().RebindScripts();
    units.Take();
    lua_State* L = KVLua::Instance()->GetState();
    const int top = lua_gettop(L);
    for (int frame = 0; frame < 3; ++frame) units.Factory().Update(0.5f);
    EXPECT_EQ(lua_gettop(L), top);
    Records seen = units.Take();
    EXPECT_EQ(std::count(seen.begin(), seen.end(), "Y got 0.5 0"), 6) << ::testing::PrintToString(seen);
    EXPECT_EQ(std::count(seen.begin(), seen.end(), "X itself"), 0) << ::testing::PrintToString(seen);
}

// The flush raises "OnEnable" on the units that went on while enables were
// deferred, children first; a running unit queued again gets none.
TEST_F(KVUnitEventsTest, PendingEnablesRunChildrenFirstAndSkipDisabledSubtrees) {
    MakeTree();
    KVUnit* b1 = units.Make("B1", b);
    KVUnit* running = units.Make("Running");
    b->SetEnabled(false);
    r->SetEnabled(false);
    units.Factory().SetDeferringEnables(true);
    r->SetEnabled(true);
    units.Factory().SetDeferringEnables(false);
    units.Take();
    units.Factory().QueueEnable(r->GetIndex());
    units.Factory().QueueEnable(-1);
    units.Factory().QueueEnable(b1->GetIndex());
    units.Factory().QueueEnable(running->GetIndex());
    units.Factory().FlushPendingEnables();
    EXPECT_EQ(units.Take(), (Records{"A1:OnEnable", "A:OnEnable", "R:OnEnable"}));
    EXPECT_TRUE(units.Factory().GetEnableQueue().empty());
    // Each going on gets its one "OnEnable".
    units.Factory().QueueEnable(r->GetIndex());
    units.Factory().FlushPendingEnables();
    EXPECT_EQ(units.Take(), Records{});
}

// The game is disabled with its events, then the run-time units go, then
// the rest; hidden units are kept at shutdown until then.
TEST_F(KVUnitEventsTest, FinalReleaseDisablesEverythingThenClosesRunTimeUnitsThenTheRest) {
    units.Track("S");
    KVUnit* scene = nullptr;
    ASSERT_EQ(units.Factory().CreateUnit(0, &scene, 0, -1, 0), KV_OK);
    scene->SetName("S");
    units.Make("T");
    units.Track("H");
    IKVUnit* hidden = nullptr;
    ASSERT_EQ(units.Factory().NewHiddenUnit(units.ProbeClass(), &hidden), KV_OK);
    hidden->GetUnit()->SetName("H");
    units.Take();
    units.Factory().Release(4);
    EXPECT_EQ(units.Take(),
              (Records{"S:OnQueryDisable", "S:OnDisable", "T:OnQueryDisable", "T:OnDisable", "H:OnQueryDisable",
                       "H:OnDisable", "T:Close", "H:Close"}));
    EXPECT_EQ(units.Factory().GetUnitCount(), 0);
    EXPECT_EQ(units.Factory().GetClassCount(), 0);
}

TEST_F(KVUnitEventsTest, ReparentingUnderADisabledParentDisablesTheChild) {
    KVUnit* parent = units.Make("P");
    KVUnit* child = units.Make("C");
    parent->SetEnabled(false);
    units.Take();
    child->SetParent(parent->GetIndex());
    EXPECT_EQ(units.Take(), (Records{"C:OnQueryDisable", "C:OnDisable"}));
    EXPECT_EQ(parent->GetChildren()->Size(), 1u);
    // The same parent again changes nothing.
    child->SetParent(parent->GetIndex());
    EXPECT_TRUE(units.Take().empty());
    child->SetParent(-1);
    EXPECT_EQ(units.Take(), (Records{"C:OnPreEnable", "C:OnEnable"}));
    EXPECT_EQ(units.Factory().GetRootIndices().back(), child->GetIndex());
}

TEST_F(KVUnitEventsTest, ACopyIsEnabledBeforeItsCreateEvent) {
    KVUnit* source = units.Make("Src");
    units.Make("Kid", source);
    // Both were made as Probe001 and renamed, so the copy takes that name,
    // whose table a script file made.
    units.Namespace("Probe001", KVTestUnitEvents::BaseEvents());
    IKVUnit* copy = units.Factory().CopyUnit(source);
    ASSERT_NE(copy, nullptr);
    // The copy is enabled before its script is bound: its "OnPreEnable"
    // finds no script; the name's setter in the enable pass binds it.
    EXPECT_EQ(units.Take(), (Records{"Probe001:OnEnable", "Probe001:OnCreate"}));
    EXPECT_EQ(copy->GetName(), "Probe001");
    EXPECT_TRUE(copy->GetChildren()->Empty());
    EXPECT_NE(copy->GetUnit()->GetUid(), source->GetUid());
}

TEST_F(KVUnitEventsTest, DelegatesTakeTheEventsOfTheirName) {
    KVUnit* x = units.Make("X");
    KVUnit* y = units.Make("Y");
    KVUnit* z = units.Make("Z");
    units.Take();
    x->AddDelegate("OnDisable", y->GetIndex());
    x->AddDelegate("OnDisable", z->GetIndex());
    x->SetEnabled(false);
    EXPECT_EQ(units.Take(), (Records{"X:OnQueryDisable", "Z:OnDisable"}));
    // The newer entry of the name goes; the older one takes over.
    EXPECT_TRUE(x->RemoveDelegate("OnDisable"));
    x->SetEnabled(true);
    units.Take();
    x->SetEnabled(false);
    EXPECT_EQ(units.Take(), (Records{"X:OnQueryDisable", "Y:OnDisable"}));
    EXPECT_TRUE(x->RemoveDelegate("OnDisable"));
    EXPECT_FALSE(x->RemoveDelegate("OnDisable"));
}

TEST_F(KVUnitEventsTest, ScriptFunctionsTakeTypedArgumentsAndGiveACopiedResult) {
    KVUnit* x = units.Make("X");
    units.Run("function X.Join(a, b, c, d) return a .. '|' .. b .. '|' .. c .. '|' .. tostring(d) end\n"
              "function X.Half(n) return n / 2 end\n"
              "function X.No() return false end\n");
    KVScriptArgument args[5];
    args[0].type = KVSCRIPT_INTEGER;
    args[0].integer = -3;
    args[1].type = KVSCRIPT_NUMBER;
    args[1].number = 1.5f;
    args[2].type = KVSCRIPT_STRING;
    args[2].text = "hi";
    args[3].type = 99;  // pushes nothing
    args[4].type = KVSCRIPT_BOOLEAN;
    args[4].boolean = true;
    KVScriptResult result;
    ASSERT_EQ(x->CallScriptFunction("Join", 0, 5, args, &result), KV_OK);
    EXPECT_EQ(result.type, KVSCRIPT_STRING);
    EXPECT_EQ(result.text, "-3|1.5|hi|true");
    ASSERT_EQ(x->CallScriptFunction("Half", 0, 1, args, &result), KV_OK);
    EXPECT_EQ(result.type, KVSCRIPT_NUMBER);
    EXPECT_EQ(result.number, -1.5f);
    ASSERT_EQ(x->CallScriptFunction("No", 0, 0, nullptr, &result), KV_OK);
    EXPECT_EQ(result.type, KVSCRIPT_BOOLEAN);
    EXPECT_FALSE(result.boolean);
    EXPECT_EQ(x->CallScriptFunction("Missing", 0, 0, nullptr, &result), KV_NOT_FOUND);
    EXPECT_EQ(result.type, KVSCRIPT_NONE);
    EXPECT_EQ(lua_gettop(units.Host().State()), 0);
}

TEST_F(KVUnitEventsTest, ClassTablesReachEveryUnitOfTheClassWithSelf) {
    KVUnit* x = units.Make("X");
    units.Run("Probe = {}\n"
              "function Probe.OnPing() TestRecorder.Record(tostring(self == X)) end\n"
              "X.OnPing = nil");
    units.Factory().RebindScripts();
    x->CallScriptFunction("OnPing", 0, 0, nullptr, nullptr);
    EXPECT_EQ(units.Take(), (Records{"true"}));
}

TEST_F(KVUnitEventsTest, RenamingMovesTheScriptTableAndClosingDropsIt) {
    KVUnit* x = units.Make("X");
    units.Run("X.note = 5");
    x->SetName("Z");
    EXPECT_EQ(units.Host().Describe("X"), "nil");
    EXPECT_EQ(units.Host().Describe("Z.note"), "number 5");
    EXPECT_NE(x->GetFlags() & KVUNIT_SCRIPTED, 0u);
    x->Release();
    EXPECT_EQ(units.Host().Describe("Z"), "nil");
}

TEST_F(KVUnitEventsTest, TheAttributesMemberGivesEachAttributeItsOwnProxy) {
    units.Make("X");
    units.Run("attrs = TestUnits.Attributes('X')\n"
              "first, second = attrs[1], attrs[6]\n");
    EXPECT_EQ(units.Host().Describe("attrs.Size"), "number 19");
    // Two proxies held at once each keep their attribute.
    EXPECT_EQ(units.Host().Describe("first.Name"), "string Name");
    EXPECT_EQ(units.Host().Describe("second.Name"), "string Index");
    EXPECT_EQ(units.Host().Describe("first.Value"), "string X");
    EXPECT_EQ(units.Host().Describe("first.Type"), "string string");
    EXPECT_EQ(units.Host().Describe("second.Type"), "string integer");
    EXPECT_EQ(units.Host().Describe("attrs[3].Type"), "string boolean");
    EXPECT_EQ(units.Host().Describe("attrs[16].Type"), "string custom");
    units.Run("first.Value = 'Renamed'");
    EXPECT_NE(units.Find("Renamed"), nullptr);
    kvtest::KVTestCoreHost::Errors().clear();
    units.Run("second.Value = 12");
    EXPECT_EQ(kvtest::KVTestCoreHost::Errors(), (Records{"test:1:Attribute Index is read only."}));
    kvtest::KVTestCoreHost::Errors().clear();
    units.Run("local a = attrs[20]\nlocal b = attrs.Other\nlocal c = first.Other");
    EXPECT_EQ(kvtest::KVTestCoreHost::Errors(),
              (Records{"test:1:Attribute index out of range", "test:2:Attribute index out of range",
                       "test:3:Other is invalid"}));
}

TEST_F(KVUnitEventsTest, EnablingIsTimedWhenTheProjectAsksForIt) {
    KVUnit* x = units.Make("X");
    x->SetEnabled(false);
    x->SetEnabled(true);
    EXPECT_TRUE(LogLines().empty());
    ASSERT_EQ(KVProperties::Instance()->SetBooleanById(KVUnitFactory::kLogEnabledPropertyId, true), KV_OK);
    x->SetEnabled(false);
    x->SetEnabled(true);
    ASSERT_EQ(LogLines().size(), 1u);
    EXPECT_EQ(LogLines()[0].rfind("0 Enable X:", 0), 0u) << LogLines()[0];
    EXPECT_EQ(LogLines()[0].substr(LogLines()[0].size() - 4), " sec");
}

std::vector<std::string>& Notices() {
    static std::vector<std::string> notices;
    return notices;
}

void RecordNotice(int32_t code, int32_t value, void*) {
    if (code >= 10 && code <= 14) Notices().push_back(std::to_string(code) + " " + std::to_string(value));
}

TEST_F(KVUnitEventsTest, TheCoreHearsOfCreationsChangesSelectionsAndRemovals) {
    KVUnit* a = units.Make("A");
    Notices().clear();
    KVCore::Instance()->SetNotifyCallback(RecordNotice);
    IKVUnit* b = nullptr;
    ASSERT_EQ(units.Factory().NewUnit(units.ProbeClass(), &b), KV_OK);
    std::string ib = std::to_string(b->GetIndex());
    // Created, then changed by its enabling.
    EXPECT_EQ(Notices(), (Records{"12 " + ib, "14 " + ib}));
    Notices().clear();
    units.Factory().SelectUnit(a->GetIndex());
    std::string ia = std::to_string(a->GetIndex());
    units.Factory().SetAttributeText(a->GetIndex(), units.Factory().FindAttributeIndex(0, "EditorFolder"), 0, "x",
                                     false);
    a->Release();
    EXPECT_EQ(Notices(), (Records{"14 " + ia, "14 " + ia, "10 0", "13 " + ia}));
    KVCore::Instance()->SetNotifyCallback(nullptr);
}

TEST_F(KVUnitEventsTest, AnAliasWithAScriptMakesTheUnitScripted) {
    KVUnit* x = units.Make("X");
    units.Run("X = nil");
    x->UpdateScriptFlag();
    EXPECT_EQ(x->GetFlags() & KVUNIT_SCRIPTED, 0u);
    std::string alias = "Boss";
    KVUnitFactory& factory = units.Factory();
    const int32_t aliasPosition = factory.FindAttributeIndex(0, "AliasName");
    factory.SetAttributeElement(x->GetIndex(), aliasPosition, 0, &alias);
    EXPECT_EQ(x->GetFlags() & KVUNIT_SCRIPTED, 0u);
    units.Run("Boss = {}");
    factory.SetAttributeElement(x->GetIndex(), aliasPosition, 0, &alias);
    EXPECT_NE(x->GetFlags() & KVUNIT_SCRIPTED, 0u);
    // A unit named by the alias whose class has a script does as well.
    units.Run("Boss = nil\nProbe = {}");
    factory.RebindScripts();
    KVUnit* boss = units.Make("Boss");
    units.Run("Boss = nil");
    KVUnit* plain = nullptr;
    ASSERT_EQ(factory.CreateUnit(0, &plain, KVCREATE_RUNTIME, -1, 0), KV_OK);
    factory.SetAttributeElement(plain->GetIndex(), aliasPosition, 0, &alias);
    EXPECT_NE(plain->GetFlags() & KVUNIT_SCRIPTED, 0u);
    EXPECT_NE(boss, nullptr);
}

// The profiler's report and the resource manager's messages name units.
TEST_F(KVUnitEventsTest, KernelReportsNameTheUnits) {
    KVUnit* hero = units.Make("Hero");
    std::string index = std::to_string(hero->GetIndex());
    KVResources* resources = KVResources::Instance();
    resources->SetCurrentUnit(hero->GetIndex());
    IKVResource* out = nullptr;
    EXPECT_NE(resources->Load((units.Host().Root() + "missing.xyz").c_str(), nullptr, nullptr, &out, 0), KV_OK);
    resources->SetCurrentUnit(-1);
    ASSERT_FALSE(LogLines().empty());
    EXPECT_EQ(LogLines().back().rfind("2 [Unit Hero] Unable to load ", 0), 0u) << LogLines().back();

    IKVFile* file = KVCore::Instance()->GetFileInterface();
    KVFileHandle handle = nullptr;
    ASSERT_EQ(file->Open("report.txt", KVFILE_WRITE, &handle), KV_OK);
    std::vector<float> times(size_t(hero->GetIndex()) + 3, 0.0f);
    times[size_t(hero->GetIndex())] = 1.0f;
    times.back() = 1.0f;  // no unit there
    KVProfiler::Instance()->WriteUnitReport(handle, 2.0f, times);
    file->Close(handle);
    EXPECT_EQ(units.Host().Dir().ReadFile("report.txt"), "    Unit Hero (" + index + ") : 50.000%\r\n");
}

} // namespace
