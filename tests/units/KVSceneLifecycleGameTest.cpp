// Units as games spawn and drop them: copies made while their scene loads,
// levels unloaded from their own events and loaded again, a held unit that
// closed itself, a game that makes and closes units every frame, and a
// class record whose count cannot be read. Units stored in scene files,
// scripts as a game writes them, stepped by the core.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/KVEventGame.h"
#include "support/KVSceneUnitsWriter.h"
#include "units/KVUnit.h"
#include "units/KVUnitFactory.h"

using namespace kvl;
using namespace kvtest;

namespace {

const std::string kMain = "scenes/main.kvl";
const std::string kSecond = "scenes/second.kvl";

// Every unit of class "Unit" records its events through the class table;
// on["Name:Event"] runs once, with the unit, after that event is recorded.
// count(name) is the number of live units of that name.
const char* const kClassRecorder =
    "on = {}\n"
    "Unit = {}\n"
    "for _, e in ipairs({'OnCreate', 'OnPreEnable', 'OnEnable', 'OnUpdate', 'OnDisable'}) do\n"
    "  Unit[e] = function()\n"
    "    local key = self.Name .. ':' .. e\n"
    "    record(key)\n"
    "    local handler = on[key]\n"
    "    if handler then on[key] = nil handler(self) end\n"
    "  end\n"
    "end\n"
    "function count(name)\n"
    "  local n = 0\n"
    "  local u, cursor = KVUnitFactory.GetFirstUnit()\n"
    "  while u do\n"
    "    if u.Name == name then n = n + 1 end\n"
    "    u = KVUnitFactory.GetNextUnit(cursor)\n"
    "  end\n"
    "  return n\n"
    "end\n";

// ---------------------------------------------------------------------------
// Copies made while their source's scene loads.

struct Copying {
    const char* name;
    // The event (unit:event) that copies, and the unit it copies.
    const char* event;
    const char* source;
    // The scene loads at start, or from an update of a unit of the start
    // scene.
    bool later;
    // The copy's events once running ("OnUpdate" passed by).
    const char* events;
};

class KVCopyDuringLoadTest : public ::testing::TestWithParam<Copying> {};

// Sib and Spwn (child Kid) in the loaded scene; the copy runs like its
// source: on, under its source's parent, updated once a frame.
TEST_P(KVCopyDuringLoadTest, TheCopyGoesOnWithItsLoadAndIsUpdatedEveryFrame) {
    const Copying c = GetParam();
    KVSceneUnitsWriter level;
    level.AddPlainUnit("Sib", 1);
    level.AddPlainUnit("Spwn", 2, {KVStored::Local(2)});
    level.AddPlainUnit("Kid", 3);
    KVSceneUnitsWriter start;
    start.AddPlainUnit("Loader", 4);
    KVEventGame game;
    game.AddScene(kMain, c.later ? start : level, true);
    game.AddScene(kSecond, level, false);
    std::string script = std::string(kClassRecorder) +
                         "on['" + c.event + "'] = function()\n"
                         "  copy = KVUnitFactory.CopyUnit(KVUnitFactory.GetUnit('" + c.source + "'))\n"
                         "  copyName = copy.Name\n"
                         "end\n";
    if (c.later) script += "on['Loader:OnUpdate'] = function() KVFileManager.LoadGroup('" + kSecond + "') end\n";
    game.WriteScript(script);
    ASSERT_TRUE(game.Start());
    game.Step(4);

    const std::string name = game.Eval("copyName");
    ASSERT_NE(name, "nil");
    KVUnit* copy = game.Find(name);
    KVUnit* source = game.Find(c.source);
    ASSERT_TRUE(copy && source);
    EXPECT_TRUE(copy->IsEnabled());
    EXPECT_TRUE(copy->GetParentEnabled());
    EXPECT_EQ(copy->GetParentIndex(), source->GetParentIndex());
    EXPECT_EQ(game.Of(name), c.events);
    for (const char* unit : {"Sib", "Spwn", "Kid"}) EXPECT_EQ(game.Of(unit), "OnCreate OnPreEnable OnEnable") << unit;
    game.Run("events = {}");
    game.Step(2);
    EXPECT_EQ(game.Of(name, ""), "OnUpdate OnUpdate");
    EXPECT_EQ(game.Of(c.source, ""), "OnUpdate OnUpdate");
}

// A copy made before its source went on goes on with its load, after its
// "OnCreate", as the source does. A copy of a running unit goes on as it is
// made, before its "OnCreate", and its script is bound only during its
// enable pass: it sees no "OnPreEnable".
INSTANTIATE_TEST_SUITE_P(
    Table, KVCopyDuringLoadTest,
    ::testing::Values(
        Copying{"SelfInCreate", "Spwn:OnCreate", "Spwn", false, "OnCreate OnPreEnable OnEnable"},
        Copying{"InPreEnableOfASiblingNotYetOn", "Sib:OnPreEnable", "Spwn", false, "OnCreate OnPreEnable OnEnable"},
        Copying{"ChildInCreate", "Spwn:OnCreate", "Kid", false, "OnCreate OnPreEnable OnEnable"},
        Copying{"ChildInPreEnableOfASibling", "Sib:OnPreEnable", "Kid", false, "OnCreate OnPreEnable OnEnable"},
        Copying{"SelfInPreEnable", "Spwn:OnPreEnable", "Spwn", false, "OnCreate OnEnable"},
        Copying{"SelfInEnable", "Spwn:OnEnable", "Spwn", false, "OnEnable OnCreate"},
        Copying{"SelfInUpdate", "Spwn:OnUpdate", "Spwn", false, "OnEnable OnCreate"},
        Copying{"LaterSelfInCreate", "Spwn:OnCreate", "Spwn", true, "OnCreate OnPreEnable OnEnable"},
        Copying{"LaterInPreEnableOfASiblingNotYetOn", "Sib:OnPreEnable", "Spwn", true,
                "OnCreate OnPreEnable OnEnable"},
        Copying{"LaterChildInCreate", "Spwn:OnCreate", "Kid", true, "OnCreate OnPreEnable OnEnable"},
        Copying{"LaterSelfInPreEnable", "Spwn:OnPreEnable", "Spwn", true, "OnCreate OnEnable"},
        Copying{"LaterSelfInEnable", "Spwn:OnEnable", "Spwn", true, "OnEnable OnCreate"}),
    [](const ::testing::TestParamInfo<Copying>& info) { return info.param.name; });

// ---------------------------------------------------------------------------
// A level unloaded from its own events, then loaded and unloaded again.

struct Unloading {
    const char* name;
    // The event of Eeee that unloads Eeee's group (once), and whether the
    // group is the start group.
    const char* event;
    bool start;
};

class KVUnloadFromEventTest : public ::testing::TestWithParam<Unloading> {};

// Eeee and Ffff make the level; Stay is in another group loaded at start.
TEST_P(KVUnloadFromEventTest, TheLevelUnloadsAndLoadsAgainOnceEachTime) {
    const Unloading c = GetParam();
    const std::string group = c.start ? kMain : kSecond;
    KVSceneUnitsWriter level;
    level.AddPlainUnit("Eeee", 1);
    level.AddPlainUnit("Ffff", 2);
    KVSceneUnitsWriter other;
    other.AddPlainUnit("Stay", 3);
    KVEventGame game;
    game.AddScene(kMain, c.start ? level : other, true);
    game.AddScene(kSecond, c.start ? other : level, c.start);
    game.WriteScript(std::string(kClassRecorder) + "on['Eeee:" + c.event + "'] = function()\n"
                     "  KVFileManager.UnloadGroup('" + group + "')\n"
                     "end\n"
                     "function running(name) return count(name) .. ' ' .. tostring(KVUnitFactory.DoesUnitExist(name)) end\n");
    const bool unloadsAsItLoads = std::string(c.event) != "OnDisable";
    ASSERT_TRUE(game.Start());
    if (!c.start) game.Run("KVFileManager.LoadGroup('" + group + "')");
    game.Step(2);
    const std::string gone = "0 false";
    if (unloadsAsItLoads) {
        // Nothing of the level is left two frames after its own load's event.
        EXPECT_EQ(game.Eval("running('Eeee')"), gone);
        EXPECT_EQ(game.Eval("running('Ffff')"), gone);
    } else {
        EXPECT_EQ(game.Eval("running('Eeee')"), "1 true");
        // The unload's own "OnDisable" unloads the group again: nothing more
        // is taken back.
        game.Run("KVFileManager.UnloadGroup('" + group + "')");
        game.Step();
        EXPECT_EQ(game.Eval("running('Eeee')"), gone);
    }
    EXPECT_EQ(game.Eval("running('Stay')"), "1 true");

    // Loaded again, the level is there once and runs; unloaded again, it
    // goes; loaded again, it is there once again.
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        game.Run("events = {}");
        game.Run("KVFileManager.LoadGroup('" + group + "')");
        game.Step(2);
        for (const char* unit : {"Eeee", "Ffff"}) {
            EXPECT_EQ(game.Eval(std::string("running('") + unit + "')"), "1 true") << unit;
            EXPECT_EQ(game.Of(unit), "OnCreate OnPreEnable OnEnable") << unit;
            ASSERT_NE(game.Find(unit), nullptr);
            EXPECT_TRUE(game.Find(unit)->IsEnabled()) << unit;
        }
        game.Run("KVFileManager.UnloadGroup('" + group + "')");
        game.Step();
        EXPECT_EQ(game.Eval("running('Eeee')"), gone);
        EXPECT_EQ(game.Eval("running('Ffff')"), gone);
        EXPECT_EQ(game.Eval("running('Stay')"), "1 true");
        // Unloading what holds nothing any more changes nothing.
        game.Run("KVFileManager.UnloadGroup('" + group + "')");
        if (!unloadsAsItLoads) game.Run("on['Eeee:OnDisable'] = function() KVFileManager.UnloadGroup('" + group + "') end");
    }
}

INSTANTIATE_TEST_SUITE_P(Table, KVUnloadFromEventTest,
                         ::testing::Values(Unloading{"FromDisable", "OnDisable", false},
                                           Unloading{"StartGroupFromDisable", "OnDisable", true},
                                           Unloading{"FromCreate", "OnCreate", false},
                                           Unloading{"StartGroupFromCreate", "OnCreate", true},
                                           Unloading{"FromPreEnable", "OnPreEnable", false},
                                           Unloading{"StartGroupFromPreEnable", "OnPreEnable", true},
                                           Unloading{"FromEnable", "OnEnable", false},
                                           Unloading{"StartGroupFromEnable", "OnEnable", true}),
                         [](const ::testing::TestParamInfo<Unloading>& info) { return info.param.name; });

// ---------------------------------------------------------------------------
// A unit that closed itself while its update holds it.

struct Reviving {
    const char* name;
    // The unit, the Lua that makes it (none for a scene unit) and how it
    // closes itself in its update before it asks to be on.
    const char* target;
    const char* make;
    const char* close;
};

class KVHeldSelfCloseReviveTest : public ::testing::TestWithParam<Reviving> {};

TEST_P(KVHeldSelfCloseReviveTest, AUnitThatClosedItselfStaysOffWhateverItsUpdateAsks) {
    const Reviving c = GetParam();
    KVSceneUnitsWriter main;
    main.AddPlainUnit("Mortal", 1, {}, 0x13);
    KVEventGame game;
    game.AddScene(kMain, main, true);
    game.WriteScript(std::string(kClassRecorder) +
                     "function revive(u)\n"
                     "  " + c.close + "\n"
                     "  u.Enabled = true\n"
                     "  record(u.Name .. ':exists ' .. tostring(KVUnitFactory.DoesUnitExist(u.Name)))\n"
                     "end\n");
    ASSERT_TRUE(game.Start());
    game.Step();
    game.Run(std::string(c.make) + "\nevents = {} on['" + c.target + ":OnUpdate'] = revive");
    game.Step(2);
    EXPECT_EQ(game.Of(c.target), "OnDisable exists false");
    EXPECT_EQ(game.Find(c.target), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Table, KVHeldSelfCloseReviveTest,
    ::testing::Values(Reviving{"CloseOnDisable", "Mortal", "", "u.Enabled = false"},
                      Reviving{"CloseUnitThenOff", "Mortal2", "KVUnitFactory.CreateUnit('Unit').Name = 'Mortal2'",
                               "KVUnitFactory.CloseUnit(u) u.Enabled = false"}),
    [](const ::testing::TestParamInfo<Reviving>& info) { return info.param.name; });

// ---------------------------------------------------------------------------
// A game that makes and closes units every frame.

class KVUnitChurnTest : public ::testing::TestWithParam<bool> {};

// Gun makes 50 units (or copies of Bullet) every frame and closes them in
// the same frame: the unit table keeps the size of what lives at once.
TEST_P(KVUnitChurnTest, TheUnitTableStaysNearTheLiveCount) {
    const bool copies = GetParam();
    KVSceneUnitsWriter main;
    main.AddPlainUnit("Gun", 1);
    main.AddPlainUnit("Bullet", 2, {}, 0x2);
    KVEventGame game;
    game.AddScene(kMain, main, true);
    game.WriteScript(std::string("Gun = {}\n"
                                 "function Gun.OnUpdate()\n"
                                 "  local made = {}\n"
                                 "  for i = 1, 50 do\n"
                                 "    made[i] = ") +
                     (copies ? "KVUnitFactory.CopyUnit(KVUnitFactory.GetUnit('Bullet'))" : "KVUnitFactory.CreateUnit('Unit')") +
                     "\n"
                     "  end\n"
                     "  for i = 1, 50 do KVUnitFactory.CloseUnit(made[i]) end\n"
                     "end\n");
    ASSERT_TRUE(game.Start());
    KVUnitFactory* factory = KVUnitFactory::Instance();
    ASSERT_NE(factory, nullptr);
    const int32_t scene = factory->GetUnitCount();
    game.Step(100);
    const int32_t settled = factory->GetSlotCount();
    game.Step(900);
    EXPECT_EQ(factory->GetUnitCount(), scene);
    // Twice the most units alive at once, at most.
    EXPECT_LE(factory->GetSlotCount(), 2 * (scene + 50));
    EXPECT_EQ(factory->GetSlotCount(), settled);
}

INSTANTIATE_TEST_SUITE_P(Table, KVUnitChurnTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "Copies" : "NewUnits");
                         });

// ---------------------------------------------------------------------------
// A class record whose values cannot be measured.

TEST(KVSceneUnmeasuredRecordTest, TheMessageNamesTheCountOrTheTypeItRefused) {
    struct Row {
        uint32_t type;
        uint32_t count;
        const char* says;
    };
    for (const Row& row : {Row{0, 0x7FFFFFFF, "has 2147483647 elements; the values after it are not read"},
                           Row{99, 1, "has type 99; the values after it are not read"}}) {
        SCOPED_TRACE(row.says);
        KVSceneUnitsWriter main;
        KVSceneClassSpec odd;
        odd.classId = KVSceneUnitsWriter::kUnitClassId;
        odd.name = "Unit";
        odd.baseEntry = main.UnitEntry();
        odd.attributes.push_back({0x0077000000000001ull, row.type, row.count});
        std::vector<Bytes> values = KVSceneUnitsWriter::UnitValues("Odd", 1);
        values.push_back(KVStored::U32(7));
        main.AddUnit(main.AddClass(odd), values);
        KVEventGame game;
        game.AddScene(kMain, main, true);
        game.WriteScript("");
        ASSERT_TRUE(game.Start());
        EXPECT_EQ(game.Rig().CountLog(row.says), 1u);
        EXPECT_EQ(game.Rig().CountLog("has type 0;"), 0u);
        ASSERT_NE(game.Find("Odd"), nullptr);
    }
}

} // namespace
