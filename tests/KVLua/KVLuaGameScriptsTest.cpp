// Scripts as games write them, played through the program's own frame:
// namespaces a game prepares before its scene, a plain table it stores
// under a unit's name or hands to a library function, "self" inside
// coroutines a unit's update starts, and colours taken apart and put
// together with the bit library. What the game sees comes back as its records and pixels.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "graphics/KVGraphic.h"
#include "support/KVGameRig.h"
#include "support/KVSceneUnitsWriter.h"
#include "support/KVUnitRecordsWriter.h"
#include "units/KVUnit2D.h"
#include "units2d/KVUnitShape.h"
#include "units2d/KVUnitTimer.h"
#include "units3d/KVUnitCamera.h"

using namespace kvl;
using namespace kvtest;

namespace {

using Records = std::vector<std::string>;

// A game's scene: an active camera, then units of any class, given in
// order; uids from 1.
class Scene {
public:
    Scene() : m_records(&m_units) {
        Add({KVUnitCamera::kClassId, "Camera", "Camera", {KVStoredAttribute::Bool(KVUnitCamera::kActiveId, true)}});
    }
    void Add(KVUnitRecord record) {
        record.uid = ++m_uid;
        m_records.Add(record);
    }
    // A rectangle of class Shape in the column of 8 pixels at that place
    // across the 64 x 48 screen.
    void AddShape(const std::string& name, size_t column, uint32_t color) {
        Add({KVUnitShape::kClassId, "Shape", name,
             {KVStoredAttribute::Position(float(column * 8), 0.0f), KVStoredAttribute::Dimension(8, 48),
              KVStoredAttribute::Color(KVUnitShape::kColorId, color),
              KVStoredAttribute::Bool(KVUnitShape::kOnlyEditorId, false)}});
    }
    Bytes File() const { return m_units.Scene(0x20004, KVGameRig::kProjectId); }

private:
    KVSceneUnitsWriter m_units;
    KVUnitRecordsWriter m_records;
    uint64_t m_uid = 0;
};

// The game's one scene, its picture as large as the screen.
void Load(KVGameRig& game, const Scene& scene) {
    game.Properties().AddInteger(KVGraphic::kGameWidthId, game.Width());
    game.Properties().AddInteger(KVGraphic::kGameHeightId, game.Height());
    game.AddScene("scenes/main.kvl", scene.File());
}

// Pixels of that colour on the screen.
size_t CountColor(KVGameRig& game, uint32_t color) {
    const std::vector<uint32_t> screen = game.Screen();
    return size_t(std::count(screen.begin(), screen.end(), color));
}

// A game keeps its state in a fresh table named after a unit, and writes
// the unit's attributes through it. Each shape's table is replaced in the
// third frame, and each is met by the engine by name in its own way:
// its update, a lookup, the factory library's lookup, the table itself
// handed to a library function (a read through a kept table of the unit
// before that leaves it as it is), a script-made unit's first update, a
// timer's event. From then on
// what the script wrote reaches the unit (the shapes vanish), the
// table's own values stay, the unit's attributes read through it, and
// later writes reach the unit too (the shapes come back).
TEST(KVLuaGameScriptsTest, ATableAGameStoresUnderAUnitsNameWritesThroughToTheUnit) {
    Scene scene;
    scene.Add({KVSceneUnitsWriter::kUnitClassId, "Unit", "Director", {}});
    const char* shapes[] = {"Walker", "Looked", "Fetched", "Kept"};
    const uint32_t colors[] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFF00u};
    for (size_t i = 0; i < 4; ++i) scene.AddShape(shapes[i], i, colors[i]);
    scene.Add({KVUnitTimer::kClassId, "Timer", "Clock",
               {KVStoredAttribute::Floats(KVUnitTimer::kTimeId, {0.1f}), KVStoredAttribute::Bool(KVUnitTimer::kLoopId, false),
                KVStoredAttribute::Bool(KVUnitTimer::kAutoplayId, true)}});

    KVGameRig game;
    Load(game, scene);
    game.WriteScript("game.lua",
                     "Walker = {}\n"
                     "function Walker.OnUpdate() end\n"
                     "Clock = {}\n"
                     "local kept\n"
                     "Director = {frame = 0}\n"
                     "function Director.OnUpdate(dt)\n"
                     "  Director.frame = Director.frame + 1\n"
                     "  local f = Director.frame\n"
                     "  if f == 1 then\n"
                     "    kept = Kept\n"
                     "  elseif f == 3 then\n"
                     "    for _, name in ipairs({'Walker', 'Looked', 'Fetched', 'Kept'}) do\n"
                     "      local t = {lives = 3}\n"
                     "      _G[name] = t\n"
                     "      t.Visible = false\n"
                     "      t.Rotation = 1.5\n"
                     "    end\n"
                     "    function Walker.OnUpdate() TestRecorder.Record('walker:' .. tostring(Walker.Name)) end\n"
                     "    Clock = {}\n"
                     "    function Clock.OnTimeOut() TestRecorder.Record('clock:' .. tostring(Clock.Name)) end\n"
                     "    local u = KVUnitFactory.CreateUnit('Unit')\n"
                     "    u.Name = 'Runner'\n"
                     "    Runner = {steps = 0}\n"
                     "    function Runner.OnUpdate() Runner.steps = Runner.steps + 1 end\n"
                     "  elseif f == 4 then\n"
                     "    local looked = unit('Looked')\n"
                     "    local fetched = KVUnitFactory.GetUnit('Fetched')\n"
                     "    local lives = kept.lives\n"
                     "    TestRecorder.Record('kept:' .. lives .. ':' .. tostring(rawget(Kept, 'Visible')) .. ':' ..\n"
                     "                        tostring(Kept.Name))\n"
                     "  elseif f == 5 then\n"
                     "    KVInput.RegisterListener(Kept, 'touch_down')\n"
                     "  elseif f == 8 then\n"
                     "    for _, name in ipairs({'Walker', 'Looked', 'Fetched', 'Kept'}) do\n"
                     "      local t = _G[name]\n"
                     "      TestRecorder.Record(name .. ':' .. tostring(t.Name) .. ':' .. t.lives .. ':' ..\n"
                     "                          tostring(rawget(t, 'Visible')) .. ':' .. tostring(rawget(t, 'Rotation')))\n"
                     "    end\n"
                     "    TestRecorder.Record('runner:' .. tostring(Runner.steps > 0) .. ':' .. Runner.Name)\n"
                     "  elseif f == 9 then\n"
                     "    for _, t in ipairs({Walker, Looked, Fetched, Kept}) do\n"
                     "      t.Visible = true\n"
                     "      t.Rotation = 0\n"
                     "    end\n"
                     "  end\n"
                     "end\n");
    ASSERT_TRUE(game.Start());
    game.Step(2);
    // A shape of 8 x 48 pixels.
    const size_t whole = 8 * 48;
    for (uint32_t color : colors) EXPECT_EQ(CountColor(game, color), whole) << std::hex << color;
    game.Step(6);
    for (uint32_t color : colors) EXPECT_EQ(CountColor(game, color), 0u) << std::hex << color;
    for (const char* name : {"Walker", "Looked", "Fetched", "Kept"}) {
        SCOPED_TRACE(name);
        auto* shape = dynamic_cast<KVUnit2D*>(game.Find(name));
        ASSERT_NE(shape, nullptr);
        EXPECT_FALSE(shape->IsVisible());
        EXPECT_FLOAT_EQ(shape->GetRotation(), 1.5f);
    }
    const Records& records = game.Records();
    for (const char* expected : {"walker:Walker", "clock:Clock", "kept:3:false:nil", "Walker:Walker:3:nil:nil",
                                        "Looked:Looked:3:nil:nil", "Fetched:Fetched:3:nil:nil",
                                        "Kept:Kept:3:nil:nil", "runner:true:Runner"})
        EXPECT_NE(std::find(records.begin(), records.end(), expected), records.end()) << expected;
    game.Step(2);
    for (uint32_t color : colors) EXPECT_EQ(CountColor(game, color), whole) << std::hex << color;
    EXPECT_TRUE(game.ScriptErrors().empty()) << game.ScriptErrors().front();
}

// A game prepares unit namespaces in its scripts before the scene loads,
// with keys named like the units' attributes: "Hero" as a plain table,
// "Guard" made with KVLua.CreateNamespace, "Shape001" for the unit a script
// makes at run time. Each unit binds its namespace as it is: every key
// stays, no attribute is touched (nothing reaches loglua.txt), and the
// units are still updated and drawn. A table stored under the name of a
// unit that exists ("Late") is written through to it, its own keys kept.
TEST(KVLuaGameScriptsTest, ANamespaceAScriptPreparesBeforeItsUnitKeepsEveryKey) {
    Scene scene;
    scene.Add({KVSceneUnitsWriter::kUnitClassId, "Unit", "Director", {}});
    scene.AddShape("Hero", 0, 0xFFFF0000u);
    scene.AddShape("Guard", 1, 0xFF00FF00u);
    scene.AddShape("Late", 2, 0xFF0000FFu);

    KVGameRig game;
    game.Config("Script", "LogOnDisk=1");
    Load(game, scene);
    game.WriteScript("app.lua",
                     "Hero = {speed = 4}\n"
                     "function Hero.Update(dt) return \"helper\" end\n"
                     "Hero.Index = 7\n"
                     "Hero.Layer = \"front\"\n"
                     "Hero.Type = \"boss\"\n"
                     "Hero.Class = \"warrior\"\n"
                     "Hero.State = \"idle\"\n");
    game.WriteScript("namespaces.lua",
                     "KVLua.CreateNamespace('Guard')\n"
                     "Guard.speed = 5\n"
                     "function Guard.Update(dt) return 'guard' end\n"
                     "Guard.Index = 8\n"
                     "Guard.Type = 'boss'\n"
                     "Guard.Class = 'knight'\n"
                     "Shape001 = {speed = 6}\n"
                     "function Shape001.Update(dt) return 'made' end\n"
                     "Shape001.Index = 9\n"
                     "Shape001.Layer = 'front'\n"
                     "Shape001.Type = 'boss'\n");
    game.WriteScript("shapes.lua",
                     "updates = {}\n"
                     "Shape = {}\n"
                     "function Shape.OnUpdate(dt) updates[self.Name] = (updates[self.Name] or 0) + 1 end\n"
                     "Director = {frame = 0}\n"
                     "function Director.OnUpdate()\n"
                     "  Director.frame = Director.frame + 1\n"
                     "  if Director.frame == 1 then\n"
                     "    KVUnitFactory.CreateUnit('Shape')\n"
                     "    Late = {lives = 3}\n"
                     "    Late.Visible = false\n"
                     "  end\n"
                     "end\n");
    ASSERT_TRUE(game.Start());
    game.Step(5);
    EXPECT_EQ(game.Eval("Hero.Update(0.1)"),
              "helper");
    EXPECT_EQ(game.Eval("table.concat({Hero.speed, Hero.Index, Hero.Layer, Hero.Type, Hero.Class, Hero.State}, ' ')"),
              "4 7 front boss warrior idle");
    EXPECT_EQ(game.Eval("table.concat({Guard.Update(), Guard.speed, Guard.Index, Guard.Type, Guard.Class}, ' ')"),
              "guard 5 8 boss knight");
    EXPECT_EQ(game.Eval("table.concat({Shape001.Update(), Shape001.speed, Shape001.Index, Shape001.Layer, "
                        "Shape001.Type}, ' ')"),
              "made 6 9 front boss");
    for (const char* name : {"Hero", "Guard", "Shape001"}) {
        SCOPED_TRACE(name);
        const std::string n = name;
        EXPECT_EQ(game.Eval(n + ".Name .. ' ' .. tostring(rawequal(unit('" + n + "'), " + n + "))"), n + " true");
        KVUnit* shape = game.Find(name);
        ASSERT_NE(shape, nullptr);
        EXPECT_NE(shape->GetFlags() & KVUNIT_UPDATE, 0u);
        EXPECT_EQ(game.Eval("updates." + n + " >= 3"), "true");
    }
    const size_t whole = 8 * 48;
    EXPECT_EQ(CountColor(game, 0xFFFF0000u), whole);
    EXPECT_EQ(CountColor(game, 0xFF00FF00u), whole);
    // Stored after its unit existed: written through when the unit is met.
    EXPECT_EQ(CountColor(game, 0xFF0000FFu), 0u);
    EXPECT_EQ(game.Eval("Late.lives .. ' ' .. Late.Name .. ' ' .. tostring(rawget(Late, 'Visible'))"), "3 Late nil");
    EXPECT_TRUE(game.ScriptErrors().empty()) << game.ScriptErrors().front();
    EXPECT_EQ(game.ReadText("loglua.txt"), "");
}

// A plain table stored under a unit's name, handed straight to a library
// function, is that unit: the input library's listener, the factory's
// lookup and its close all take it, as they take a namespace made with
// KVLua.CreateNamespace. A plain table that names no unit is still refused.
TEST(KVLuaGameScriptsTest, APlainTableHandedToALibraryFunctionIsItsUnit) {
    Scene scene;
    scene.Add({KVSceneUnitsWriter::kUnitClassId, "Unit", "Director", {}});
    scene.AddShape("Hero", 0, 0xFFFF0000u);
    scene.AddShape("Guard", 1, 0xFF00FF00u);

    KVGameRig game;
    Load(game, scene);
    game.WriteScript("director.lua",
                     "KVLua.CreateNamespace('Guard')\n"
                     "Director = {frame = 0}\n"
                     "function Director.OnUpdate()\n"
                     "  Director.frame = Director.frame + 1\n"
                     "  if Director.frame ~= 1 then return end\n"
                     "  Hero = {lives = 3}\n"
                     "  KVInput.RegisterListener(Hero, 'touch_down')\n"
                     "  local found = KVUnitFactory.GetUnit(Hero)\n"
                     "  TestRecorder.Record('hero ' .. tostring(rawequal(found, Hero)) .. ' ' .. Hero.lives .. ' ' ..\n"
                     "                      tostring(Hero.Name))\n"
                     "  TestRecorder.Record('guard ' .. tostring(rawequal(KVUnitFactory.GetUnit(Guard), Guard)))\n"
                     "  KVInput.RegisterListener(Guard, 'touch_down')\n"
                     "  local kite = KVUnitFactory.CreateUnit('Shape')\n"
                     "  kite.Name = 'Kite'\n"
                     "  Kite = {lives = 3}\n"
                     "  KVUnitFactory.CloseUnit(Kite)\n"
                     "  Stray = {lives = 3}\n"
                     "  KVInput.RegisterListener(Stray, 'touch_down')\n"
                     "  TestRecorder.Record('stray ' .. tostring(KVUnitFactory.GetUnit(Stray)))\n"
                     "end\n");
    ASSERT_TRUE(game.Start());
    game.Step(3);
    EXPECT_EQ(game.Records(), (Records{"hero true 3 Hero", "guard true", "stray nil"}));
    EXPECT_EQ(game.Find("Kite"), nullptr);
    ASSERT_EQ(game.ScriptErrors().size(), 1u);
    EXPECT_NE(game.ScriptErrors()[0].find("Bad or missing argument (Arg #1)"), std::string::npos)
        << game.ScriptErrors()[0];
}

// Units of one class share a script whose update starts a coroutine; in it
// the unit calls another unit's function, then goes on with "self": once the
// call returns, and after each yield, "self" is the unit that started the
// coroutine again. One unit uses coroutine.create and resume, the other
// coroutine.wrap; each paints itself once its coroutine is done.
TEST(KVLuaGameScriptsTest, SelfInACoroutineAUnitsUpdateStartsIsThatUnitAfterEachCall) {
    Scene scene;
    scene.Add({KVSceneUnitsWriter::kUnitClassId, "Unit", "Target", {}});
    scene.AddShape("Red", 0, 0xFFFF0000u);
    scene.AddShape("Blue", 1, 0xFF0000FFu);

    KVGameRig game;
    Load(game, scene);
    game.WriteScript("units.lua",
                     "Unit = {}\n"
                     "function Unit.Hit(by) TestRecorder.Record(self.Name .. ' hit by ' .. by) end\n");
    game.WriteScript("shapes.lua",
                     "Shape = {}\n"
                     "function Shape.OnUpdate(dt)\n"
                     "  if not self.brain then\n"
                     "    local paint = self.Name == 'Red' and 0xFF00FF00 or 0xFFFFFF00\n"
                     "    local function body()\n"
                     "      Target.Hit(self.Name)\n"
                     "      TestRecorder.Record('back:' .. self.Name)\n"
                     "      coroutine.yield()\n"
                     "      TestRecorder.Record('resumed:' .. self.Name)\n"
                     "      Target.Hit(self.Name)\n"
                     "      self.Color = paint\n"
                     "      TestRecorder.Record('done:' .. self.Name)\n"
                     "    end\n"
                     "    if self.Name == 'Red' then\n"
                     "      local co = coroutine.create(body)\n"
                     "      self.brain = function() assert(coroutine.resume(co)) end\n"
                     "    else\n"
                     "      self.brain = coroutine.wrap(body)\n"
                     "    end\n"
                     "    self.steps = 0\n"
                     "  end\n"
                     "  self.steps = self.steps + 1\n"
                     "  if self.steps <= 2 then self.brain() end\n"
                     "  TestRecorder.Record('update:' .. self.Name)\n"
                     "end\n");
    ASSERT_TRUE(game.Start());
    game.Step(4);
    // Each unit's own records, in order (the two units take turns).
    for (const char* name : {"Red", "Blue"}) {
        SCOPED_TRACE(name);
        const std::string n = name;
        Records own;
        for (const std::string& r : game.Records())
            if (r.size() >= n.size() && r.compare(r.size() - n.size(), n.size(), n) == 0) own.push_back(r);
        EXPECT_EQ(own, (Records{"Target hit by " + n, "back:" + n, "update:" + n, "resumed:" + n,
                                "Target hit by " + n, "done:" + n, "update:" + n, "update:" + n, "update:" + n}));
    }
    const size_t whole = 8 * 48;
    EXPECT_EQ(CountColor(game, 0xFF00FF00u), whole);
    EXPECT_EQ(CountColor(game, 0xFFFFFF00u), whole);
    EXPECT_EQ(game.Eval("rawget(Target, 'Color')"), "nil");
    EXPECT_TRUE(game.ScriptErrors().empty()) << game.ScriptErrors().front();
}

// A game takes colours apart and puts them together with the bit library:
// each shape's stored colour, read back as 0 to 2^32 - 1, is split into its
// channels and written again with red and blue swapped, and colours the
// script writes (some from 2^31 up, one as a negative number) read back
// channel by channel.
TEST(KVLuaGameScriptsTest, EveryChannelOfEveryColourComesThroughTheBitLibrary) {
    const uint32_t colors[] = {0xFFFF0000u, 0xFF123456u, 0xFFFFFFFFu, 0xFF80FF01u, 0xFF00007Fu};
    Scene scene;
    scene.Add({KVSceneUnitsWriter::kUnitClassId, "Unit", "Painter", {}});
    for (size_t i = 0; i < 5; ++i) scene.AddShape("S" + std::to_string(i), i, colors[i]);
    scene.AddShape("Spare", 5, 0xFF000000u);

    KVGameRig game;
    Load(game, scene);
    game.WriteScript("painter.lua",
                     "local A = KVArith\n"
                     "function Channels(c)\n"
                     "  return A.RShift(c, 24), A.And(A.RShift(c, 16), 0xFF), A.And(A.RShift(c, 8), 0xFF), A.And(c, 0xFF)\n"
                     "end\n"
                     "function Text(c)\n"
                     "  local a, r, g, b = Channels(c)\n"
                     "  return a .. ' ' .. r .. ' ' .. g .. ' ' .. b\n"
                     "end\n"
                     "Painter = {}\n"
                     "function Painter.OnUpdate()\n"
                     "  if Painter.done then return end\n"
                     "  Painter.done = true\n"
                     "  for i = 0, 4 do\n"
                     "    local shape = unit('S' .. i)\n"
                     "    local c = shape.Color.value\n"
                     "    TestRecorder.Record('S' .. i .. ' ' .. Text(c))\n"
                     "    local a, r, g, b = Channels(c)\n"
                     "    shape.Color = A.Or(A.Or(A.LShift(a, 24), A.LShift(b, 16)), A.Or(A.LShift(g, 8), r))\n"
                     "  end\n"
                     "  for _, c in ipairs({0x80FF00FF, 0x7FFFFFFF, 0x00000000, 0xFFFFFFFF, -16777216, 0x01020304}) do\n"
                     "    Spare.Color = c\n"
                     "    TestRecorder.Record('spare ' .. Text(Spare.Color.value))\n"
                     "  end\n"
                     "  Spare.Color = 0xFF000000\n"
                     "end\n");
    ASSERT_TRUE(game.Start());
    game.Step(2);
    Records expected;
    for (size_t i = 0; i < 5; ++i) {
        const uint32_t c = colors[i];
        expected.push_back("S" + std::to_string(i) + " " + std::to_string(c >> 24) + " " +
                           std::to_string((c >> 16) & 0xFFu) + " " + std::to_string((c >> 8) & 0xFFu) + " " +
                           std::to_string(c & 0xFFu));
    }
    for (const char* spare : {"128 255 0 255", "127 255 255 255", "0 0 0 0", "255 255 255 255", "255 0 0 0",
                              "1 2 3 4"})
        expected.push_back(std::string("spare ") + spare);
    EXPECT_EQ(game.Records(), expected);
    // Each shape shows its colour with red and blue swapped.
    const size_t whole = 8 * 48;
    for (uint32_t c : colors) {
        const uint32_t swapped = (c & 0xFF00FF00u) | ((c & 0xFFu) << 16) | ((c >> 16) & 0xFFu);
        EXPECT_EQ(CountColor(game, swapped), whole) << std::hex << swapped;
    }
    EXPECT_TRUE(game.ScriptErrors().empty()) << game.ScriptErrors().front();
}

} // namespace
