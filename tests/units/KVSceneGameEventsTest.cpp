// What a game sees of its units' events when it loads groups from inside
// events, makes units while a load enables its units, stores owners in its
// scenes, unloads a scene while something holds one of its units, lists a
// child twice, or lets a held unit close itself: units stored in scene
// files, scripts as a game writes them, stepped by the core.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/KVEventGame.h"
#include "support/KVSceneUnitsWriter.h"
#include "units/IKVUnitRef.h"
#include "units/KVUnit.h"
#include "units/KVUnitFactory.h"

using namespace kvl;
using namespace kvtest;

namespace {

const std::string kMain = "scenes/main.kvl";
const std::string kSecond = "scenes/second.kvl";
const std::string kThird = "scenes/third.kvl";

using Game = KVEventGame;

// ---------------------------------------------------------------------------
// Groups loaded from the events of a load.

struct NestedLoad {
    const char* name;
    // The event of Bbb (start group) that loads the second group, and the
    // event of Eee (second group) that loads a third one, or none.
    const char* first;
    const char* second;
};

class KVLoadFromEventTest : public ::testing::TestWithParam<NestedLoad> {};

// Main: Aaa (children Bbb, Ccc) and Ddd. Second: Eee (child Fff) and Ggg.
// Third: Hhh.
TEST_P(KVLoadFromEventTest, EveryUnitOfEveryLoadGetsCreatePreEnableAndEnableOnceInOrder) {
    const NestedLoad c = GetParam();
    KVSceneUnitsWriter main;
    main.AddPlainUnit("Aaa", 1, {KVStored::Local(1), KVStored::Local(2)});
    main.AddPlainUnit("Bbb", 2);
    main.AddPlainUnit("Ccc", 3);
    main.AddPlainUnit("Ddd", 4);
    KVSceneUnitsWriter second;
    second.AddPlainUnit("Eee", 5, {KVStored::Local(1)});
    second.AddPlainUnit("Fff", 6);
    second.AddPlainUnit("Ggg", 7);
    KVSceneUnitsWriter third;
    third.AddPlainUnit("Hhh", 8);
    Game game;
    game.AddScene(kMain, main, true);
    game.AddScene(kSecond, second, false);
    game.AddScene(kThird, third, false);
    std::string script = "for _, n in ipairs({'Aaa', 'Ccc', 'Ddd', 'Fff', 'Ggg', 'Hhh'}) do track(n) end\n"
                         "track('Bbb', {" + std::string(c.first) + " = function()\n"
                         "  if not second then second = true KVFileManager.LoadGroup('" + kSecond + "') end\n"
                         "end})\n";
    if (c.second)
        script += "track('Eee', {" + std::string(c.second) + " = function()\n"
                  "  if not third then third = true KVFileManager.LoadGroup('" + kThird + "') end\n"
                  "end})\n";
    else
        script += "track('Eee')\n";
    game.WriteScript(script);
    ASSERT_TRUE(game.Start());
    game.Step(4);

    std::vector<std::string> names = {"Aaa", "Bbb", "Ccc", "Ddd", "Eee", "Fff", "Ggg"};
    if (c.second) names.push_back("Hhh");
    for (const std::string& name : names) {
        ASSERT_NE(game.Find(name), nullptr) << name;
        EXPECT_EQ(game.Of(name), "OnCreate OnPreEnable OnEnable") << name;
        EXPECT_TRUE(game.Find(name)->IsEnabled()) << name;
    }
    if (!c.second) {
        EXPECT_EQ(game.Find("Hhh"), nullptr);
    }
    // Every unit that went on is updated, once a frame.
    game.Run("events = {}");
    game.Step();
    for (const std::string& name : names) EXPECT_EQ(game.Of(name, ""), "OnUpdate") << name;
}

INSTANTIATE_TEST_SUITE_P(Table, KVLoadFromEventTest,
                         ::testing::Values(NestedLoad{"FromCreate", "OnCreate", nullptr},
                                           NestedLoad{"FromPreEnable", "OnPreEnable", nullptr},
                                           NestedLoad{"FromEnable", "OnEnable", nullptr},
                                           NestedLoad{"FromUpdate", "OnUpdate", nullptr},
                                           NestedLoad{"CreateThenCreate", "OnCreate", "OnCreate"},
                                           NestedLoad{"PreEnableThenEnable", "OnPreEnable", "OnEnable"},
                                           NestedLoad{"EnableThenPreEnable", "OnEnable", "OnPreEnable"},
                                           NestedLoad{"CreateThenPreEnable", "OnCreate", "OnPreEnable"}),
                         [](const ::testing::TestParamInfo<NestedLoad>& info) { return info.param.name; });

// ---------------------------------------------------------------------------
// Units made by the events of a load.

struct Making {
    const char* name;
    // Maker's event that makes the unit, and the call that makes it.
    const char* event;
    const char* call;
    // The made unit's events after the load, and after a script enables it.
    const char* events;
    const char* enabled;
};

class KVMadeDuringLoadTest : public ::testing::TestWithParam<Making> {};

// Maker (child Helper) and Sleeper (stored disabled); the made units are
// Node2D units, whose class table records their events by name.
TEST_P(KVMadeDuringLoadTest, AMadeUnitGetsEachOfItsEventsOnce) {
    const Making c = GetParam();
    KVSceneUnitsWriter main;
    main.AddPlainUnit("Sleeper", 1, {}, 0x12, false);
    main.AddPlainUnit("Maker", 2, {KVStored::Local(2)});
    main.AddPlainUnit("Helper", 3);
    Game game;
    game.AddScene(kMain, main, true);
    game.WriteScript("track('Sleeper') track('Helper')\n"
                     "track('Maker', {" + std::string(c.event) + " = function()\n"
                     "  if made then return end\n"
                     "  made = " + c.call + "\n"
                     "  madeName = made.Name\n"
                     "end})\n"
                     "Node2D = {}\n"
                     "for _, e in ipairs({'OnCreate', 'OnPreEnable', 'OnEnable', 'OnDisable'}) do\n"
                     "  Node2D[e] = function() record(self.Name .. ':' .. e) end\n"
                     "end\n");
    ASSERT_TRUE(game.Start());
    game.Step(3);
    const std::string name = game.Eval("madeName");
    ASSERT_NE(name, "nil");
    EXPECT_EQ(game.Of(name), c.events) << name;
    for (const char* other : {"Maker", "Helper"}) EXPECT_EQ(game.Of(other), "OnCreate OnPreEnable OnEnable") << other;
    EXPECT_EQ(game.Of("Sleeper"), "OnCreate");

    game.Run("made.Enabled = true");
    game.Step();
    EXPECT_EQ(game.Of(name), c.enabled) << name;
}

INSTANTIATE_TEST_SUITE_P(
    Table, KVMadeDuringLoadTest,
    ::testing::Values(
        Making{"CreateUnitInPreEnable", "OnPreEnable", "KVUnitFactory.CreateUnit('Node2D')", "OnCreate OnPreEnable OnEnable",
               "OnCreate OnPreEnable OnEnable"},
        Making{"PermanentUnitInPreEnable", "OnPreEnable", "KVUnitFactory.CreatePermanentUnit('Node2D', 0)",
               "OnCreate OnPreEnable OnEnable", "OnCreate OnPreEnable OnEnable"},
        Making{"DisabledUnitInPreEnable", "OnPreEnable", "KVUnitFactory.CreateDisabledUnit('Node2D')", "OnCreate",
               "OnCreate OnPreEnable OnEnable"},
        // Made on, then switched off.
        Making{"PermanentDisabledInPreEnable", "OnPreEnable", "KVUnitFactory.CreatePermanentUnit('Node2D', 0, 1)",
               "OnCreate OnPreEnable OnDisable", "OnCreate OnPreEnable OnDisable OnPreEnable OnEnable"},
        Making{"CopyInPreEnable", "OnPreEnable", "KVUnitFactory.CopyUnit(KVUnitFactory.CreateDisabledUnit('Node2D'))",
               "OnCreate", "OnCreate OnPreEnable OnEnable"},
        // A copy goes on before its script is bound: its script sees no
        // "OnPreEnable".
        Making{"CopyOfEnabledInPreEnable", "OnPreEnable",
               "KVUnitFactory.CopyUnit(KVUnitFactory.CreateUnit('Node2D'))", "OnCreate OnEnable", "OnCreate OnEnable"},
        Making{"CreateUnitInCreate", "OnCreate", "KVUnitFactory.CreateUnit('Node2D')", "OnCreate OnPreEnable OnEnable",
               "OnCreate OnPreEnable OnEnable"},
        Making{"PermanentUnitInCreate", "OnCreate", "KVUnitFactory.CreatePermanentUnit('Node2D', 0)",
               "OnCreate OnPreEnable OnEnable", "OnCreate OnPreEnable OnEnable"},
        Making{"CreateUnitInEnable", "OnEnable", "KVUnitFactory.CreateUnit('Node2D')", "OnCreate OnPreEnable OnEnable",
               "OnCreate OnPreEnable OnEnable"},
        Making{"PermanentUnitInEnable", "OnEnable", "KVUnitFactory.CreatePermanentUnit('Node2D', 0)",
               "OnCreate OnPreEnable OnEnable", "OnCreate OnPreEnable OnEnable"}),
    [](const ::testing::TestParamInfo<Making>& info) { return info.param.name; });

// A scene unit that one load's pass leaves off and a script switches on
// while the pass runs gets its "OnEnable" with the flush.
TEST(KVMadeDuringLoadTest, AUnitSwitchedOnWhileTheLoadDefersGetsItsEnableWithTheFlush) {
    KVSceneUnitsWriter main;
    main.AddPlainUnit("Sleeper", 1, {KVStored::Local(1)}, 0x12, false);
    main.AddPlainUnit("SleeperKid", 2);
    main.AddPlainUnit("Maker", 3);
    Game game;
    game.AddScene(kMain, main, true);
    game.WriteScript("track('Sleeper') track('SleeperKid')\n"
                     "track('Maker', {OnPreEnable = function() KVUnitFactory.GetUnit('Sleeper').Enabled = true end})\n");
    ASSERT_TRUE(game.Start());
    game.Step(2);
    EXPECT_EQ(game.Of("Sleeper"), "OnCreate OnPreEnable OnEnable");
    EXPECT_EQ(game.Of("SleeperKid"), "OnCreate OnPreEnable OnEnable");
    EXPECT_EQ(game.Eval("all('OnUpdate')"),
              "Sleeper:OnCreate SleeperKid:OnCreate Maker:OnCreate Maker:OnPreEnable Sleeper:OnPreEnable "
              "SleeperKid:OnPreEnable SleeperKid:OnEnable Sleeper:OnEnable Maker:OnEnable");
}

// ---------------------------------------------------------------------------
// Owners stored in scenes.

constexpr uint64_t kOwnerId = 0x002A101EF55D370Eull;

enum class OwnerFrom { StoredLocal, StoredUid, StoredInLaterScene, Script, None };

struct Owning {
    const char* name;
    OwnerFrom from;
    bool ownedEnabled;
};

class KVStoredOwnerTest : public ::testing::TestWithParam<Owning> {};

// Boss closes itself (CloseOnDisable) and takes Minion along, however the
// link was made; without an owner Minion stays.
TEST_P(KVStoredOwnerTest, ClosingTheOwnerClosesTheOwnedUnit) {
    const Owning c = GetParam();
    KVSceneClassSpec owned = KVSceneUnitsWriter::UnitClass();
    owned.attributes.push_back({kOwnerId, 9, 1});
    KVSceneUnitsWriter main;
    main.AddPlainUnit("Boss", 0x10, {}, 0x13);
    KVSceneUnitsWriter later;
    KVSceneUnitsWriter& minionScene = c.from == OwnerFrom::StoredInLaterScene ? later : main;
    const int32_t entry = minionScene.AddClass(owned);
    std::vector<Bytes> values = KVSceneUnitsWriter::UnitValues("Minion", 0x20, {}, 0x12, c.ownedEnabled);
    uint64_t link = 0;
    if (c.from == OwnerFrom::StoredLocal) link = KVStored::Local(0);
    if (c.from == OwnerFrom::StoredUid || c.from == OwnerFrom::StoredInLaterScene) link = 0x10;
    values.push_back(KVStored::Link(link));
    minionScene.AddUnit(entry, values);
    Game game;
    game.AddScene(kMain, main, true);
    game.AddScene(kSecond, later, false);
    game.WriteScript("track('Boss') track('Minion')\n");
    ASSERT_TRUE(game.Start());
    game.Step();
    if (c.from == OwnerFrom::StoredInLaterScene) game.Run("KVFileManager.LoadGroup('" + kSecond + "')");
    if (c.from == OwnerFrom::Script) game.Run("KVUnitFactory.GetUnit('Minion').Owner = KVUnitFactory.GetUnit('Boss')");
    game.Step();
    ASSERT_NE(game.Find("Minion"), nullptr);
    // Switching the owned unit off and on again leaves one entry.
    game.Run("local m = KVUnitFactory.GetUnit('Minion') m.Enabled = not m.Enabled m.Enabled = not m.Enabled");
    game.Step();
    EXPECT_EQ(game.Find("Boss")->GetOwnedUnits().size(), c.from == OwnerFrom::None ? 0u : 1u);

    game.Run("KVUnitFactory.GetUnit('Boss').Enabled = false");
    game.Step();
    EXPECT_EQ(game.Find("Boss"), nullptr);
    const bool stays = c.from == OwnerFrom::None;
    EXPECT_EQ(game.Find("Minion") != nullptr, stays);
    EXPECT_EQ(game.Eval("KVUnitFactory.DoesUnitExist('Minion')"), stays ? "true" : "false");
}

INSTANTIATE_TEST_SUITE_P(Table, KVStoredOwnerTest,
                         ::testing::Values(Owning{"StoredLocal", OwnerFrom::StoredLocal, true},
                                           Owning{"StoredLocalDisabled", OwnerFrom::StoredLocal, false},
                                           Owning{"StoredUid", OwnerFrom::StoredUid, true},
                                           Owning{"StoredUidDisabled", OwnerFrom::StoredUid, false},
                                           Owning{"StoredInLaterScene", OwnerFrom::StoredInLaterScene, true},
                                           Owning{"Script", OwnerFrom::Script, true},
                                           Owning{"ScriptDisabled", OwnerFrom::Script, false},
                                           Owning{"None", OwnerFrom::None, true}),
                         [](const ::testing::TestParamInfo<Owning>& info) { return info.param.name; });

// ---------------------------------------------------------------------------
// A scene unloaded while something holds one of its units.

class KVHeldUnloadTest : public ::testing::TestWithParam<bool> {};

// Keeper (main scene) has a child of its own scene, a run-time child and
// a child from another scene; its scene is unloaded from its own
// "OnUpdate" (the update sweep holds it) or from outside.
TEST_P(KVHeldUnloadTest, TheUnitsOfOtherScenesAndRunTimeUnitsAreDetachedNotClosed) {
    const bool held = GetParam();
    KVSceneUnitsWriter main;
    main.AddPlainUnit("Keeper", 1, {KVStored::Local(1)});
    main.AddPlainUnit("SceneKid", 2);
    KVSceneUnitsWriter other;
    other.AddPlainUnit("Stranger", 3);
    Game game;
    game.AddScene(kMain, main, true);
    game.AddScene(kSecond, other, true);
    game.WriteScript("track('SceneKid') track('Stranger')\n"
                     "track('Keeper', {OnUpdate = function()\n"
                     "  if not unload then return end\n"
                     "  unload = false\n"
                     "  KVFileManager.UnloadGroup('" + kMain + "')\n"
                     "  record('Keeper:exists ' .. tostring(KVUnitFactory.DoesUnitExist('Keeper')))\n"
                     "  record('Keeper:found ' .. tostring(KVUnitFactory.GetUnit('Keeper') ~= nil))\n"
                     "end})\n");
    ASSERT_TRUE(game.Start());
    game.Step();
    // A run-time unit of no scene (CreateUnit would file it with kvl 0).
    game.Run("local kid = KVUnitFactory.CreateDisabledUnit('Unit')\n"
             "kid.Name = 'Kid'\n"
             "kid.Enabled = true\n"
             "kid.Parent = KVUnitFactory.GetUnit('Keeper')\n"
             "KVUnitFactory.GetUnit('Stranger').Parent = KVUnitFactory.GetUnit('Keeper')\n");
    ASSERT_EQ(game.Find("Kid")->GetParentIndex(), game.Find("Keeper")->GetIndex());
    ASSERT_EQ(game.Find("Stranger")->GetParentIndex(), game.Find("Keeper")->GetIndex());
    game.Run("events = {}");
    if (held)
        game.Run("unload = true");
    else
        game.Run("KVFileManager.UnloadGroup('" + kMain + "')");
    game.Step();

    EXPECT_EQ(game.Find("Keeper"), nullptr);
    EXPECT_EQ(game.Find("SceneKid"), nullptr);
    for (const char* name : {"Kid", "Stranger"}) {
        KVUnit* unit = game.Find(name);
        ASSERT_NE(unit, nullptr) << name;
        EXPECT_EQ(unit->GetParentIndex(), -1) << name;
        EXPECT_TRUE(unit->IsEnabled()) << name;
    }
    // Off with its parent, on again as a root of its own.
    EXPECT_EQ(game.Of("Stranger"), "OnDisable OnPreEnable OnEnable");
    EXPECT_EQ(game.Of("Keeper"), held ? "exists false found false OnDisable" : "OnDisable");
    EXPECT_EQ(game.Of("SceneKid"), "OnDisable");
}

INSTANTIATE_TEST_SUITE_P(Table, KVHeldUnloadTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "FromItsOwnUpdate" : "FromOutside");
                         });

// ---------------------------------------------------------------------------
// A child listed twice, or under two parents.

struct Listing {
    const char* name;
    bool check;
    // Children of A and of B (positions in the file; C is 2).
    std::vector<uint64_t> a;
    std::vector<uint64_t> b;
};

class KVChildListedTwiceTest : public ::testing::TestWithParam<Listing> {};

TEST_P(KVChildListedTwiceTest, TheChildGetsEachEventAndEachFramesUpdateOnce) {
    const Listing c = GetParam();
    KVSceneUnitsWriter main;
    main.AddPlainUnit("A", 1, c.a);
    main.AddPlainUnit("B", 2, c.b);
    main.AddPlainUnit("C", 3, {KVStored::Local(3)});
    main.AddPlainUnit("D", 4);
    Game game;
    game.Properties().AddBoolean(KVUnitFactory::kCheckPropertyId, c.check ? 1 : 0);
    game.AddScene(kMain, main, true);
    game.WriteScript("for _, n in ipairs({'A', 'B', 'C', 'D'}) do track(n) end\n");
    ASSERT_TRUE(game.Start());
    game.Step();
    for (const char* name : {"A", "B", "C", "D"}) EXPECT_EQ(game.Of(name), "OnCreate OnPreEnable OnEnable") << name;
    game.Run("events = {}");
    game.Step(3);
    for (const char* name : {"A", "B", "C", "D"}) EXPECT_EQ(game.Of(name, ""), "OnUpdate OnUpdate OnUpdate") << name;
    // The child keeps the first parent that lists it.
    EXPECT_EQ(game.Find("C")->GetParentIndex(), game.Find("A")->GetIndex());
}

INSTANTIATE_TEST_SUITE_P(
    Table, KVChildListedTwiceTest,
    ::testing::Values(Listing{"TwiceInOneList", false, {KVStored::Local(2), KVStored::Local(2)}, {}},
                      Listing{"UnderTwoParents", false, {KVStored::Local(2)}, {KVStored::Local(2)}},
                      Listing{"Both", false, {KVStored::Local(2), KVStored::Local(2)}, {KVStored::Local(2)}},
                      Listing{"BothRepaired", true, {KVStored::Local(2), KVStored::Local(2)}, {KVStored::Local(2)}},
                      Listing{"Once", false, {KVStored::Local(2)}, {}}),
    [](const ::testing::TestParamInfo<Listing>& info) { return info.param.name; });

// ---------------------------------------------------------------------------
// A unit that closes itself while something holds it.

struct SelfClose {
    const char* name;
    // The unit's handler that switches it off, and whether it is a
    // run-time unit closed by the script instead.
    const char* handler;
    bool runtime;
};

class KVHeldSelfCloseTest : public ::testing::TestWithParam<SelfClose> {};

TEST_P(KVHeldSelfCloseTest, TheUnitIsNoLongerFoundByItsName) {
    const SelfClose c = GetParam();
    KVSceneUnitsWriter main;
    main.AddPlainUnit("Mortal", 1, {}, 0x13);
    main.AddPlainUnit("Other", 2);
    Game game;
    game.AddScene(kMain, main, true);
    const std::string close = c.runtime ? "KVUnitFactory.CloseUnit(self)" : "self.Enabled = false";
    game.WriteScript("track('Other')\n"
                     "function probe(unit)\n"
                     "  record(unit .. ':' .. tostring(KVUnitFactory.DoesUnitExist(unit)) .. ' ' ..\n"
                     "         tostring(KVUnitFactory.GetUnit(unit) ~= nil) .. ' ' ..\n"
                     "         tostring(KVUnitFactory.GetUnit(unit, 'Unit') ~= nil))\n"
                     "end\n"
                     "Unit = {}\n"
                     "function Unit." + std::string(c.handler) + "()\n"
                     "  if self.Name ~= target then return end\n"
                     "  " + close + "\n"
                     "  probe(target)\n"
                     "end\n");
    ASSERT_TRUE(game.Start());
    game.Step();
    if (c.runtime)
        game.Run("local u = KVUnitFactory.CreateUnit('Unit') u.Name = 'Mortal2' target = 'Mortal2'");
    else
        game.Run("target = 'Mortal'");
    const std::string target = game.Eval("target");
    game.Run("events = {}");
    game.Step();
    EXPECT_EQ(game.Of(target), "false false false");
    EXPECT_EQ(game.Find(target), nullptr);
    game.Run("probe('Other')");
    EXPECT_EQ(game.Of("Other", "OnUpdate"), "true true true");
}

INSTANTIATE_TEST_SUITE_P(Table, KVHeldSelfCloseTest,
                         ::testing::Values(SelfClose{"CloseOnDisableInUpdate", "OnUpdate", false},
                                           SelfClose{"CloseUnitInUpdate", "OnUpdate", true}),
                         [](const ::testing::TestParamInfo<SelfClose>& info) { return info.param.name; });

} // namespace
