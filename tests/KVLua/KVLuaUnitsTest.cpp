// Units as script tables, from real Lua against real units: the global
// functions, the lookup order of a unit's members, writes through
// attributes, unit arrays, parameter arrays, "self", and tables that outlive
// their units.
#include <gtest/gtest.h>

#include <functional>

#include <lua.hpp>

#include "KVLua/KVLua.h"
#include "support/KVTestScriptRun.h"
#include "support/KVTestUnitEvents.h"
#include "units/KVUnit.h"

using namespace kvl;
using kvtest::KVTestCoreHost;
using kvtest::KVTestUnitEvents;
using Records = std::vector<std::string>;

namespace {

constexpr uint64_t kAlphaId = 0x0041414141414141ull;
constexpr uint64_t kTargetsId = 0x0054415247455453ull;

class KVLuaUnitsTest : public ::testing::Test {
protected:
    void SetUp() override {
        hero = Spawn("Hero");
        KVTestCoreHost::Errors().clear();
    }
    KVUnit* Spawn(const std::string& name) { return units.Spawn(name); }
    KVLua& Lua() { return units.Host().Lua(); }
    std::string Describe(const std::string& expression) { return units.Host().Describe(expression); }
    Records Reports(const std::string& code) { return units.Reports(code); }
    int32_t Probe() { return units.ProbeClass(); }
    void AddAlpha() { units.Factory().AddDynamicAttribute("Alpha", Probe(), kAlphaId, KVATTR_F32, true); }

    KVTestUnitEvents units;
    KVUnit* hero = nullptr;
};

TEST_F(KVLuaUnitsTest, UnitFindsByIndexNameOrNameAndClass) {
    units.Run("first = unit('Hero')\nsecond = unit('Hero')");
    EXPECT_EQ(Describe("rawequal(first, second), rawequal(first, rawget(_G, 'Hero'))"), "boolean true, boolean true");
    EXPECT_EQ(Describe("rawequal(unit(" + std::to_string(hero->GetIndex()) + "), Hero)"), "boolean true");
    EXPECT_EQ(Describe("unit(-1), unit(4000), unit('Nobody')"), "nil, nil, nil");
    // The unit's name comes first here, its class after the colon.
    EXPECT_EQ(Describe("rawequal(unit('Hero:Probe'), Hero), unit('Probe:Hero'), unit('Hero:Unit')"),
              "boolean true, nil, nil");
    EXPECT_EQ(Reports("local a = unit()\nlocal b = unit(1, 2)"),
              (Records{"test:1:Invalid number of arguments", "test:2:Invalid number of arguments"}));
}

TEST_F(KVLuaUnitsTest, FindUnitTakesTheClassFirstAndReportsWhatItCannotFind) {
    EXPECT_EQ(Lua().FindUnit("Probe:Hero"), hero->GetIndex());
    EXPECT_EQ(Lua().FindUnit("Hero"), hero->GetIndex());
    KVTestCoreHost::Errors().clear();
    EXPECT_EQ(Lua().FindUnit("Hero:Probe"), -1);
    EXPECT_EQ(Lua().FindUnit("Unit:Hero"), -1);
    EXPECT_EQ(KVTestCoreHost::Errors(), (Records{"Hero:Probe : unknown unit", "Unit:Hero : unknown unit"}));
}

TEST_F(KVLuaUnitsTest, ToUnitAndToClassIndexReadStackValues) {
    lua_State* L = units.Host().State();
    struct Case {
        const char* code;
        int32_t unit;
        int32_t classIndex;
    };
    const int32_t probe = Probe();
    const Case cases[] = {
        {"return Hero", hero->GetIndex(), -1},
        {"return 'Hero'", hero->GetIndex(), -1},
        {"return 'Probe'", -1, probe},
        {"return 'probe'", -1, -1},
        {"return 0", -1, 0},
        {"return -1", -1, -1},
        {"return 1e9", -1, -1},
        {"return Application", -1, -1},
        {"return {}", -1, -1},
        {"return true", -1, -1},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(luaL_dostring(L, c.code), 0) << c.code;
        EXPECT_EQ(Lua().ToUnit(-1), c.unit) << c.code;
        EXPECT_EQ(Lua().ToClassIndex(-1), c.classIndex) << c.code;
        EXPECT_EQ(lua_gettop(L), 1);
        lua_settop(L, 0);
    }
}

TEST_F(KVLuaUnitsTest, NamingAUnitMakesItsTableOnceAndHiddenUnitsStayUnnamed) {
    IKVUnit* made = nullptr;
    ASSERT_EQ(units.Factory().NewUnit(Probe(), &made), KV_OK);
    made->GetUnit()->SetName("Plain");
    EXPECT_EQ(Describe("rawget(_G, 'Plain')"), "nil");
    EXPECT_EQ(Describe("Plain.Name, rawequal(Plain, rawget(_G, 'Plain'))"), "string Plain, boolean true");
    IKVUnit* hidden = nullptr;
    ASSERT_EQ(units.Factory().NewHiddenUnit(Probe(), &hidden), KV_OK);
    hidden->GetUnit()->SetNameQuiet("Ghost");
    EXPECT_EQ(Describe("Ghost"), "nil");
    EXPECT_EQ(Describe("Hero ~= nil and namespace('Hero') == Hero, namespace('Ghost'), namespace(1)"),
              "boolean true, nil, nil");
    EXPECT_EQ(Reports("local n = namespace({})"), (Records{"test:1:Bad or missing argument (Arg #1)"}));
}

// A name defined at several levels is answered by the highest: own value,
// class script function, attribute, computed member, parameter array,
// native method.
int NativeLevel(IKVUnit*) {
    GetLuaBinding()->PushString("native");
    return 1;
}

int ComputedLevel(IKVUnit*, int32_t read) {
    if (!read) return 0;
    GetLuaBinding()->PushString("computed");
    return 1;
}

TEST_F(KVLuaUnitsTest, MembersAreFoundInTheirOrderOfPrecedence) {
    // Name Kn is defined at level n and every level below it.
    for (int top = 1; top <= 6; ++top) {
        const std::string name = "K" + std::to_string(top);
        for (int level = 6; level >= top; --level) {
            switch (level) {
            case 6:
                Lua().RegisterClassFunction(Probe(), name.c_str(), NativeLevel);
                break;
            case 5:
                hero->AddParameter(name, KVPARAM_INTEGER, 1, nullptr, nullptr);
                break;
            case 4:
                Lua().RegisterClassEntry(Probe(), name.c_str(), ComputedLevel);
                break;
            case 3:
                units.Factory().AddDynamicAttribute(name, Probe(), 0x100 + uint64_t(top), KVATTR_STRING, true);
                units.Run("Hero." + name + " = 'attribute'");
                break;
            case 2:
                units.Run("Probe = Probe or {}\nProbe." + name + " = function() return 'script' end");
                break;
            default:
                units.Run("rawset(Hero, '" + name + "', 'own')");
                break;
            }
        }
    }
    EXPECT_EQ(Describe("Hero.K1"), "string own");
    EXPECT_EQ(Describe("Hero.K2()"), "string script");
    EXPECT_EQ(Describe("Hero.K3"), "string attribute");
    EXPECT_EQ(Describe("Hero.K4"), "string computed");
    EXPECT_EQ(Describe("Hero.K5"), "number 0");
    EXPECT_EQ(Describe("Hero:K6()"), "string native");
    EXPECT_EQ(Describe("Hero.K7"), "nil");
}

// A unit table kept after a script put another table under its name reads
// that table first, with the key as given: a number stays a number there,
// while attributes and script functions are found by the key's text.
TEST_F(KVLuaUnitsTest, AKeptTableReadsTheTableNowUnderItsNameWithTheKeyAsGiven) {
    units.Run("Probe = {}\nfunction Probe.Greet() return 'hello' end\nProbe['7'] = function() return 'seven' end\n"
              "held = Hero\nHero = {[1] = 'one number', ['2'] = 'two text', Note = 'note'}");
    EXPECT_EQ(Describe("held[1], held['1'], held[2], held['2'], held.Note"),
              "string one number, nil, nil, string two text, string note");
    EXPECT_EQ(Describe("held.Name, held.Greet(), held[7]()"), "string Hero, string hello, string seven");
}

TEST_F(KVLuaUnitsTest, MethodsAndMembersOfBaseClassesAreReachedAndShadowedByTheClass) {
    const int32_t unitClass = KVUnit::GetUnitClassIndex();
    Lua().RegisterClassFunction(unitClass, "Greet", [](IKVUnit*) {
        GetLuaBinding()->PushString("base");
        return 1;
    });
    Lua().RegisterClassFunction(Probe(), "IsClass", NativeLevel);
    Lua().AddClassValue(unitClass, "Extra", [](void* extra) {
        GetLuaBinding()->PushBoolean(extra != nullptr);
        return 1;
    });
    EXPECT_EQ(Describe("Hero:Greet(), Hero:IsClass('Unit'), Hero.ClassName, Hero:Extra()"),
              "string base, string native, string Probe, boolean false");
    KVUnit* plain = units.Factory().GetUnit(units.Factory().FindUnitIndex("Hero", nullptr))->GetUnit();
    EXPECT_EQ(plain, hero);
}

TEST_F(KVLuaUnitsTest, AttributeWritesGoThroughSettersAndReadOnlyOnesChangeNothing) {
    Spawn("Boss");
    units.Run("Hero.Parent = Boss");
    EXPECT_EQ(hero->GetParentIndex(), units.Find("Boss")->GetIndex());
    EXPECT_EQ(Describe("rawequal(Hero.Parent, Boss), Boss.Children[1] == Hero"), "boolean true, boolean true");
    units.Run("Hero.Visible = false");
    EXPECT_EQ(hero->GetFlags() & KVUNIT_VISIBLE, 0u);
    EXPECT_EQ(Describe("Hero.Flags_Visible, Hero.Flags_Update"), "boolean false, boolean true");
    units.Run("Hero.Flags_Visible = true");
    EXPECT_NE(hero->GetFlags() & KVUNIT_VISIBLE, 0u);

    const std::string before = Describe("Hero.Uid, Hero.Index, Hero.Class, Hero.Kvl, Hero.ParentEnabled");
    EXPECT_EQ(Reports("Hero.Uid = '00'\nHero.Index = 5\nHero.Class = 'Unit'\nHero.Kvl = 'x'\n"
                      "Hero.ParentEnabled = false"),
              (Records{"test:1:Attribute Uid is read only.", "test:2:Attribute Index is read only.",
                       "test:3:Attribute Class is read only.", "test:4:Attribute Kvl is read only.",
                       "test:5:Attribute ParentEnabled is read only."}));
    EXPECT_EQ(Describe("Hero.Uid, Hero.Index, Hero.Class, Hero.Kvl, Hero.ParentEnabled"), before);
    EXPECT_EQ(Describe("rawget(Hero, 'Index'), Hero.Kvl"), "nil, string Dynamic");

    // A name the unit has nowhere is kept in its table.
    units.Run("Hero.Score = 3");
    EXPECT_EQ(Describe("rawget(Hero, 'Score')"), "number 3");
    EXPECT_EQ(Reports("Hero.ClassName = 'x'\nHero.KVLPath = 'y'"),
              (Records{"test:1:ClassName is a read-only attribute", "test:2:KVLPath is a read-only attribute"}));
    EXPECT_EQ(Describe("rawget(Hero, 'ClassName'), Hero.ClassName"), "nil, string Probe");
}

// A script that names a unit's table itself, as a plain table made before
// the unit, or made over the unit's own table, still reaches the unit's
// attributes through it (in its events too), keeping what it stored there.
// A table with a metatable of its own is left alone.
TEST_F(KVLuaUnitsTest, APlainTableWithAUnitsNameBecomesItsTable) {
    units.Run("Boss = {score = 1}\n"
              "function Boss.OnHit() Boss.Visible = false; seen = Boss.Name end");
    KVUnit* boss = Spawn("Boss");
    EXPECT_EQ(Describe("Boss.score, Boss.Name, Boss.Visible, rawequal(unit('Boss'), Boss)"),
              "number 1, string Boss, boolean true, boolean true");
    EventCall call;
    call.unit = boss;
    call.functionName = "OnHit";
    EXPECT_EQ(Lua().CallEvent(&call), KV_OK);
    EXPECT_EQ(boss->GetFlags() & KVUNIT_VISIBLE, 0u);
    EXPECT_EQ(Describe("seen, rawget(Boss, 'Visible')"), "string Boss, nil");

    // Made over the unit's table: the unit takes it when next pushed.
    units.Run("Hero = {note = 2}");
    EXPECT_EQ(Describe("rawequal(unit('Hero'), Hero), Hero.note, Hero.Name"), "boolean true, number 2, string Hero");
    units.Run("Hero.Visible = false");
    EXPECT_EQ(hero->GetFlags() & KVUNIT_VISIBLE, 0u);
    EXPECT_EQ(Describe("rawget(Hero, 'Visible')"), "nil");

    units.Run("Guard = setmetatable({}, {__index = function() return 'own' end})");
    Spawn("Guard");
    EXPECT_EQ(Describe("Guard.Name, rawequal(unit('Guard'), Guard)"), "string own, boolean true");
    EXPECT_EQ(KVTestCoreHost::Errors(), Records{});
}

// A plain table stored under the name of a unit that exists, over the
// unit's table or before it has one, becomes the unit's table the next time
// the binding meets the unit by name: what the script wrote there under
// attribute names reaches the unit then and leaves the table, so later
// writes reach the unit too; the table's own values stay. Each way of
// meeting the unit, for a unit that had a script table when it was made and
// for one that had none.
TEST_F(KVLuaUnitsTest, APlainTableStoredUnderAUnitsNameWritesThroughOnceTheUnitIsMet) {
    AddAlpha();
    struct Touch {
        const char* name;
        std::function<void(KVUnit*)> meet;
    };
    const Touch touches[] = {
        {"event", [](KVUnit* u) { u->CallScriptFunction("OnHit", 0, 0, nullptr, nullptr); }},
        {"update", [](KVUnit* u) { u->Update(0.02f); }},
        {"push", [this](KVUnit* u) {
             ASSERT_EQ(Lua().PushUnit(u->GetIndex()), KV_OK);
             Lua().Pop(1);
         }},
        {"unit()", [this](KVUnit* u) { units.Run("local t = unit('" + u->GetName() + "')"); }},
        {"find", [this](KVUnit* u) { EXPECT_EQ(Lua().FindUnit(u->GetName().c_str()), u->GetIndex()); }},
        {"ToUnit", [this](KVUnit* u) {
             lua_State* L = units.Host().State();
             lua_getglobal(L, u->GetName().c_str());
             EXPECT_EQ(Lua().ToUnit(-1), u->GetIndex());
             lua_pop(L, 1);
         }},
        {"unit argument", [this](KVUnit* u) {
             units.Run("assert(rawequal(KVUnitFactory.GetUnit(" + u->GetName() + "), " + u->GetName() + "))");
         }},
    };
    units.Run("Probe = {}");
    int serial = 0;
    for (const Touch& touch : touches) {
        for (bool tracked : {false, true}) {
            const std::string name = std::string("U") + std::to_string(++serial);
            SCOPED_TRACE(std::string(touch.name) + (tracked ? " (a table when made)" : " (no table when made)"));
            KVUnit* u = tracked ? units.Make(name) : Spawn(name);
            // The unit's table as the script first held it, then a plain one.
            units.Run(name + "_held = " + name + "\n" + name + " = {lives = 3}\n" + name +
                      ".Visible = false\n" + name + ".Alpha = 1.5\n");
            EXPECT_EQ(Describe(name + ".Name"), "nil");
            touch.meet(u);
            EXPECT_EQ(u->GetFlags() & KVUNIT_VISIBLE, 0u);
            EXPECT_EQ(Describe("rawget(" + name + ", 'Visible'), rawget(" + name + ", 'Alpha'), " + name + ".Alpha"),
                      "nil, nil, number 1.5");
            EXPECT_EQ(Describe(name + ".lives, " + name + ".Name, rawequal(unit('" + name + "'), " + name + ")"),
                      "number 3, string " + name + ", boolean true");
            units.Run(name + ".Visible = true\n" + name + ".Alpha = 0.25");
            EXPECT_NE(u->GetFlags() & KVUNIT_VISIBLE, 0u);
            EXPECT_EQ(Describe(name + ".Alpha, rawget(" + name + ", 'Alpha')"), "number 0.25, nil");
            EXPECT_TRUE(units.Factory().HasScript(u));
        }
    }
    EXPECT_EQ(KVTestCoreHost::Errors(), Records{});
}

// A read writes no attribute: reading through a kept table of the unit,
// reading "self", or reading another unit's member that gives the unit,
// leaves a plain table stored under its name as it is; the next meeting
// writes it through.
TEST_F(KVLuaUnitsTest, ReadsLeaveAPlainTableStoredUnderAUnitsNameAsItIs) {
    AddAlpha();
    const char* reads[] = {
        "local n = $_held.lives",
        "function Probe.Self() return self end\nassert(rawequal($_held.Self(), $))",
        "assert(rawequal(Hero.Parent, $))",
        "assert(rawequal($_holder.Children[1], $))",
    };
    int serial = 0;
    for (const char* read : reads) {
        SCOPED_TRACE(read);
        const std::string name = "R" + std::to_string(++serial);
        // The code with "$" standing for the unit's name.
        auto named = [&name](std::string code) {
            for (size_t at = code.find('$'); at != std::string::npos; at = code.find('$', at))
                code.replace(at, 1, name);
            return code;
        };
        KVUnit* u = units.Make(name, Spawn(name + "_holder"));
        hero->SetParent(u->GetIndex());
        units.Run(named("$_held = $\n$ = {lives = 3}\n$.Visible = false\n$.Alpha = 1.5\nProbe = Probe or {}"));
        units.Run(named(read));
        EXPECT_NE(u->GetFlags() & KVUNIT_VISIBLE, 0u);
        EXPECT_EQ(Describe(named("rawget($, 'Visible'), rawget($, 'Alpha'), $.Name")), "boolean false, number 1.5, nil");
        units.Run(named("local t = unit('$')"));
        EXPECT_EQ(u->GetFlags() & KVUNIT_VISIBLE, 0u);
        EXPECT_EQ(Describe(named("rawget($, 'Visible'), $.Alpha, $.lives, $.Name")),
                  "nil, number 1.5, number 3, string " + name);
    }
    EXPECT_EQ(KVTestCoreHost::Errors(), Records{});
}

// A plain table made before its unit is bound is the unit's namespace:
// binding it keeps every key, attribute names included, and touches no
// attribute. Each way of binding: the unit named, the units bound again.
TEST_F(KVLuaUnitsTest, BindingAPlainTableMadeBeforeItsUnitKeepsEveryKey) {
    AddAlpha();
    struct Binding {
        const char* name;
        std::function<KVUnit*(const std::string&)> bind;
    };
    const Binding bindings[] = {
        {"named", [this](const std::string& name) { return Spawn(name); }},
        {"bound again", [this](const std::string& name) {
             KVUnit* u = Spawn(name + "_before");
             u->SetNameQuiet(name);
             units.Factory().RebindScripts();
             return u;
         }},
    };
    int serial = 0;
    for (const Binding& binding : bindings) {
        SCOPED_TRACE(binding.name);
        const std::string name = "B" + std::to_string(++serial);
        units.Run(name + " = {lives = 3, Visible = false, Alpha = 1.5, Index = 7, Class = 'x', Update = 0}");
        KVUnit* u = binding.bind(name);
        ASSERT_NE(u, nullptr);
        EXPECT_NE(u->GetFlags() & KVUNIT_VISIBLE, 0u);
        EXPECT_NE(u->GetFlags() & KVUNIT_UPDATE, 0u);
        EXPECT_TRUE(units.Factory().HasScript(u));
        EXPECT_EQ(Describe(name + ".lives, " + name + ".Visible, " + name + ".Alpha, " + name + ".Index, " + name +
                           ".Class, " + name + ".Update"),
                  "number 3, boolean false, number 1.5, number 7, string x, number 0");
        EXPECT_EQ(Describe(name + ".Name, rawequal(unit('" + name + "'), " + name + ")"),
                  "string " + name + ", boolean true");
        // Met again, it stays as it is.
        u->Update(0.02f);
        EXPECT_EQ(Describe("rawget(" + name + ", 'Visible'), " + name + ".Update"), "boolean false, number 0");
    }
    EXPECT_EQ(KVTestCoreHost::Errors(), Records{});
}

// A unit made at run time with no script table, whose name then takes a
// plain table with an OnUpdate, gets its update and keeps getting it.
TEST_F(KVLuaUnitsTest, ARunTimeUnitGivenAPlainTableWithAnUpdateIsUpdated) {
    KVUnit* runner = Spawn("Runner");
    EXPECT_FALSE(units.Factory().HasScript(runner));
    units.Run("Runner = {steps = 0}\n"
              "function Runner.OnUpdate(dt) Runner.steps = Runner.steps + 1; Runner.Visible = Runner.steps > 2 end\n");
    units.Take();
    for (int i = 0; i < 4; ++i) runner->Update(0.02f);
    EXPECT_EQ(Describe("Runner.steps, rawget(Runner, 'Visible')"), "number 4, nil");
    EXPECT_NE(runner->GetFlags() & KVUNIT_VISIBLE, 0u);
    EXPECT_TRUE(units.Factory().HasScript(runner));
    // An event of a unit without a table reaches a plain table too.
    KVUnit* other = Spawn("Caller");
    units.Run("Caller = {}\nfunction Caller.OnHit() TestRecorder.Record('hit:' .. Caller.Name) end");
    other->CallScriptFunction("OnHit", 0, 0, nullptr, nullptr);
    EXPECT_EQ(units.Take(), Records{"hit:Caller"});
    // A unit without a table, renamed to a name that holds a plain table,
    // takes that table as its namespace, every key kept.
    KVUnit* renamed = Spawn("Before");
    units.Run("After = {lives = 3}\nAfter.Visible = false");
    renamed->SetName("After");
    EXPECT_NE(renamed->GetFlags() & KVUNIT_VISIBLE, 0u);
    EXPECT_EQ(Describe("After.lives, After.Name, rawget(After, 'Visible'), rawget(_G, 'Before')"),
              "number 3, string After, boolean false, nil");
    EXPECT_TRUE(units.Factory().HasScript(renamed));
    EXPECT_EQ(KVTestCoreHost::Errors(), Records{});
}

// The names scripts use are remembered from one access to the next, per
// class: a name that was no attribute becomes one when the class gains it,
// a change of its flags is heard at once, and a unit of another class
// meets its own class's attributes under the same name.
TEST_F(KVLuaUnitsTest, AttributeNamesFollowTheClassWhenItsAttributesChange) {
    KVUnit* plain = nullptr;
    ASSERT_EQ(units.Factory().CreateUnit(KVUnit::GetUnitClassIndex(), &plain, KVCREATE_RUNTIME, -1, 0), KV_OK);
    plain->SetName("Plain");
    const std::string reads = "local h, p = Hero, Plain\nfunction ReadBoth() return h.Alpha, p.Alpha end\n"
                              "function WriteBoth(v) h.Alpha = v p.Alpha = v end\n";
    units.Run(reads);
    units.Run("WriteBoth(2)");
    EXPECT_EQ(Describe("rawget(Hero, 'Alpha'), rawget(Plain, 'Alpha')"), "number 2, number 2");
    units.Run("rawset(Hero, 'Alpha', nil) rawset(Plain, 'Alpha', nil)");
    EXPECT_EQ(Describe("ReadBoth()"), "nil, nil");

    AddAlpha();
    units.Run("WriteBoth(0.5)");
    EXPECT_EQ(Describe("rawget(Hero, 'Alpha'), rawget(Plain, 'Alpha')"), "nil, number 0.5");
    EXPECT_EQ(Describe("ReadBoth()"), "number 0.5, number 0.5");
    // A value beyond a float's range is stored as an infinity.
    units.Run("Hero.Alpha = 1e300");
    EXPECT_EQ(Describe("Hero.Alpha == math.huge"), "boolean true");

    KVUnitFactory& factory = units.Factory();
    KVAttributeDesc alpha = *factory.GetAttribute(Probe(), factory.FindAttributeIndex(Probe(), "Alpha"));
    alpha.flags[KVAF_READ_ONLY] = 1;
    ASSERT_EQ(factory.UpdateAttribute(alpha, nullptr), KV_OK);
    EXPECT_EQ(Reports("WriteBoth(4)"), (Records{"test:3:Attribute Alpha is read only."}));
    EXPECT_EQ(Describe("Hero.Alpha == math.huge, rawget(Plain, 'Alpha')"), "boolean true, number 4");
    alpha.flags[KVAF_SCRIPT] = 0;
    ASSERT_EQ(factory.UpdateAttribute(alpha, nullptr), KV_OK);
    units.Run("WriteBoth(5)");
    EXPECT_EQ(Describe("rawget(Hero, 'Alpha')"), "number 5");
}

TEST_F(KVLuaUnitsTest, RenamingThroughTheNameAttributeMovesTheTable) {
    units.Run("Hero.note = 7\nHero.Name = 'Villain'");
    EXPECT_EQ(hero->GetName(), "Villain");
    EXPECT_EQ(Describe("rawget(_G, 'Hero'), Villain.note, Villain.Name"), "nil, number 7, string Villain");
}

TEST_F(KVLuaUnitsTest, ATableKeptAfterItsUnitClosedReportsEveryAccessEvenWhenTheIndexIsReused) {
    AddAlpha();
    units.Run("held = Hero\nmethod = Hero.IsClass");
    const int32_t index = hero->GetIndex();
    hero->Release();
    EXPECT_EQ(Describe("rawget(_G, 'Hero')"), "nil");
    EXPECT_EQ(Reports("local a = held.Alpha\nheld.Alpha = 2\nlocal c = method(held, 'Unit')"),
              (Records{"test:1:Unit doesn't exist anymore", "test:2:Unit doesn't exist anymore",
                       "test:3:Unit doesn't exist anymore"}));
    // Another unit in the same slot is not reached through the old table:
    // slots are given again once enough of them are free.
    std::vector<KVUnit*> others;
    for (int i = 0; i < 69; ++i) others.push_back(Spawn("X" + std::to_string(i)));
    for (int i = 0; i < 35; ++i) others[size_t(i)]->Release();
    units.Factory().Update(0.0f);
    KVUnit* other = Spawn("Other");
    ASSERT_EQ(other->GetIndex(), index);
    EXPECT_EQ(Reports("local a = held.Name"), (Records{"test:1:Unit doesn't exist anymore"}));
    EXPECT_EQ(Describe("held == " + other->GetName() + ", held == held"), "boolean false, boolean true");
}

TEST_F(KVLuaUnitsTest, NamespacesBoundToNoUnitAreEqualOnlyToThemselves) {
    units.Run("KVLua.CreateNamespace('First')\nKVLua.CreateNamespace('Second')");
    Spawn("Other");
    EXPECT_EQ(Describe("First == Second, First == First, Application == First, Hero == Other, Hero == unit('Hero')"),
              "boolean false, boolean true, boolean false, boolean false, boolean true");
}

TEST_F(KVLuaUnitsTest, CheckUnitTellsAClosingUnitFromAMissingOne) {
    EXPECT_EQ(Lua().CheckUnit(hero->GetIndex()), KV_OK);
    units.Factory().MarkClosing(hero->GetIndex());
    KVTestCoreHost::Errors().clear();
    EXPECT_EQ(Lua().CheckUnit(hero->GetIndex()), 1);
    EXPECT_EQ(Lua().CheckUnit(4000), 1);
    // Called from the engine, so without a script location.
    EXPECT_EQ(KVTestCoreHost::Errors(),
              (Records{"Unit Hero is closing and doesn't exist anymore", "Unit doesn't exist anymore"}));
}

TEST_F(KVLuaUnitsTest, SelfIsTheRunningUnitInNestedEventsAndAfterProtectedErrors) {
    Spawn("Other");
    units.Run("Probe = {}\n"
              "function Probe.Who() TestRecorder.Record('who:' .. self.Name) end\n"
              "function Probe.Fail() error('boom') end\n"
              "function Probe.OnPing()\n"
              "  TestRecorder.Record('ping:' .. self.Name)\n"
              "  Other.Who()\n"
              "  TestRecorder.Record('back:' .. self.Name)\n"
              "  TestRecorder.Record(tostring(pcall(Other.Fail)))\n"
              "  TestRecorder.Record('after pcall:' .. self.Name)\n"
              "  xpcall(Other.Fail, function(m) return m end)\n"
              "  TestRecorder.Record('after xpcall:' .. self.Name)\n"
              "end\n"
              "Hero.OnPing = nil\nHero.Who = nil\nOther.Who = nil\nOther.Fail = nil\n");
    units.Factory().RebindScripts();
    units.Take();
    hero->CallScriptFunction("OnPing", 0, 0, nullptr, nullptr);
    EXPECT_EQ(units.Take(), (Records{"ping:Hero", "who:Other", "back:Hero", "false", "after pcall:Hero",
                                     "after xpcall:Hero"}));
    EXPECT_EQ(Describe("self"), "nil");
}

// "self" lives exactly as long as the call that made it: through a tail
// call, for the rest of a function that pushed another unit, and inside a
// coroutine as well; a hook a script set for itself is left in place. Calls
// are counted only while a unit is "self".
TEST_F(KVLuaUnitsTest, SelfLastsAsLongAsItsCallThroughTailCallsPushSelfAndCoroutines) {
    Spawn("Other");
    units.Run("Probe = {}\n"
              "function who(tag) TestRecorder.Record(tag .. ':' .. (self and self.Name or 'nil')) end\n"
              "function Probe.TailCalls() return who('tail') end\n"
              "function PushesOther() KVLua.PushSelf(Other) who('pushed') end\n"
              "function Probe.Nested() PushesOther() who('nested') end\n"
              "function Probe.Deep(n) if n > 0 then return Other.Deep(n - 1) end who('deep') end\n"
              "function Probe.Counted() TestRecorder.Record('counted:' .. tostring(debug.gethook() ~= nil)) end\n"
              "Hero.TailCalls = nil\n");
    units.Factory().RebindScripts();
    units.Take();
    units.Run("TestRecorder.Record('counted:' .. tostring(debug.gethook() ~= nil))\n"
              "Hero.Counted()\n"
              "TestRecorder.Record('counted:' .. tostring(debug.gethook() ~= nil))\n"
              "who('top')\n"
              "Hero.TailCalls() who('after tail')\n"
              "Hero.Nested() who('after nested')\n"
              "local co = coroutine.create(function() Hero.TailCalls() who('in coroutine')\n"
              "  coroutine.yield() who('resumed') end)\n"
              "coroutine.resume(co) who('after resume')\n"
              "coroutine.resume(co) who('after second resume')\n"
              "Hero.Deep(3) who('after deep')\n"
              "local function mine() end\n"
              "debug.sethook(mine, 'c')\n"
              "Hero.TailCalls()\n"
              "TestRecorder.Record('own hook kept:' .. tostring(debug.gethook() == mine))\n"
              "debug.sethook()\n");
    EXPECT_EQ(units.Take(),
              (Records{"counted:false", "counted:true", "counted:false", "top:nil", "tail:Hero", "after tail:nil", "pushed:Other", "nested:Hero", "after nested:nil",
                       "tail:Hero", "in coroutine:nil", "after resume:nil", "resumed:nil", "after second resume:nil",
                       "deep:Other", "after deep:nil", "tail:Hero", "own hook kept:true"}));
}

// Inside a coroutine started from a unit's function, "self" is that unit,
// another unit while a call into it runs, and the first again once the
// call returns, before and after the coroutine yields. A unit the
// coroutine made "self" for the rest of a function is "self" there again
// when the coroutine is resumed, from wherever; once that function
// returns, "self" is the resumer's. The resumer's own "self" is untouched
// by all of it, however deep the coroutine stood when it yielded, ended or
// failed (a unit's function cannot yield: it is called from native code).
TEST_F(KVLuaUnitsTest, SelfInsideCoroutinesIsTheCallingUnitAgainAfterEachCall) {
    Spawn("Other");
    Spawn("Third");
    units.Run("Probe = {}\n"
              "function who(tag) TestRecorder.Record(tag .. ':' .. (self and self.Name or 'nil')) end\n"
              "function Probe.Who(tag) who(tag) end\n"
              "function Probe.Walk() who('walk') coroutine.yield() who('walked') end\n"
              "function Probe.Fail() error('boom') end\n"
              "function Probe.Start(body) co = coroutine.create(body) Probe.Step() end\n"
              "function Probe.Step()\n"
              "  who('resume')\n"
              "  local ok, message = coroutine.resume(co)\n"
              "  if not ok then TestRecorder.Record('failed') end\n"
              "  who('resumed')\n"
              "  Third.Who('call after')\n"
              "  who('end')\n"
              "end\n"
              "Hero.Start = nil Hero.Step = nil Other.Step = nil\n");
    units.Factory().RebindScripts();
    struct Case {
        const char* name;
        const char* body;
        const char* secondResumer;
        Records records;
    };
    const Case cases[] = {
        {"a call into another unit",
         "function() who('in') Other.Who('call') who('back') coroutine.yield() who('again') "
         "Other.Who('call') who('back again') end",
         "Hero",
         {"resume:Hero", "in:Hero", "call:Other", "back:Hero", "resumed:Hero", "call after:Third", "end:Hero",
          "resume:Hero", "again:Hero", "call:Other", "back again:Hero", "resumed:Hero", "call after:Third",
          "end:Hero"}},
        {"resumed by another unit",
         "function() Other.Who('call') who('back') coroutine.yield() who('again') Third.Who('call') who('back') end",
         "Other",
         {"resume:Hero", "call:Other", "back:Hero", "resumed:Hero", "call after:Third", "end:Hero",
          "resume:Other", "again:Other", "call:Third", "back:Other", "resumed:Other", "call after:Third",
          "end:Other"}},
        {"a unit made self in the coroutine",
         "function() KVLua.PushSelf(Other) who('pushed') coroutine.yield() who('pushed again') "
         "Third.Who('call') who('back') end",
         "Third",
         {"resume:Hero", "pushed:Other", "resumed:Hero", "call after:Third", "end:Hero", "resume:Third",
          "pushed again:Other", "call:Third", "back:Other", "resumed:Third", "call after:Third", "end:Third"}},
        {"the resumer made self in the coroutine",
         "function() KVLua.PushSelf(Hero) coroutine.yield() who('kept') end",
         "Other",
         {"resume:Hero", "resumed:Hero", "call after:Third", "end:Hero", "resume:Other", "kept:Hero",
          "resumed:Other", "call after:Third", "end:Other"}},
        {"yields deep in nested and tail calls",
         "function() local function deep(n) if n > 0 then return deep(n - 1) end "
         "KVLua.PushSelf(Third) coroutine.yield() who('deep') end\n"
         "local function nest(n) if n > 0 then nest(n - 1) who('nest' .. n) return end deep(4) end\n"
         "Other.Who('call') nest(2) who('after') end",
         "Other",
         {"resume:Hero", "call:Other", "resumed:Hero", "call after:Third", "end:Hero", "resume:Other",
          "deep:Third", "nest1:Other", "nest2:Other", "after:Other", "resumed:Other", "call after:Third",
          "end:Other"}},
        {"a yield inside a unit's function",
         "function() Other.Walk() who('never') end",
         "Third",
         {"resume:Hero", "walk:Other", "failed", "resumed:Hero", "call after:Third", "end:Hero", "resume:Third",
          "failed", "resumed:Third", "call after:Third", "end:Third"}},
        {"an error",
         "function() Other.Who('call') coroutine.yield() Other.Fail() end",
         "Other",
         {"resume:Hero", "call:Other", "resumed:Hero", "call after:Third", "end:Hero", "resume:Other", "failed",
          "resumed:Other", "call after:Third", "end:Other"}},
        {"a protected error",
         "function() pcall(Other.Fail) who('after pcall') xpcall(Third.Fail, function(m) return m end) "
         "who('after xpcall') end",
         "Other",
         {"resume:Hero", "after pcall:Hero", "after xpcall:Hero", "resumed:Hero", "call after:Third",
          "end:Hero", "resume:Other", "failed", "resumed:Other", "call after:Third", "end:Other"}},
        {"a wrapped coroutine inside",
         "function() local f = coroutine.wrap(function() Other.Who('inner') who('inner back') "
         "coroutine.yield() who('inner again') end) f() who('outer') coroutine.yield() Third.Who('x') f() "
         "who('outer again') end",
         "Third",
         {"resume:Hero", "inner:Other", "inner back:Hero", "outer:Hero", "resumed:Hero", "call after:Third",
          "end:Hero", "resume:Third", "x:Third", "inner again:Third", "outer again:Third", "resumed:Third",
          "call after:Third", "end:Third"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        units.Run(std::string("body = ") + c.body);
        units.Take();
        units.Run("Hero.Start(body)");
        units.Run(std::string(c.secondResumer) + ".Step()");
        EXPECT_EQ(units.Take(), c.records);
        EXPECT_EQ(Describe("self"), "nil");
        EXPECT_EQ(Describe("(debug.gethook())"), "nil");
    }
}

// The coroutine library answers as Lua's own: results, errors and their
// messages, statuses, a running coroutine, a dead one.
TEST_F(KVLuaUnitsTest, CoroutinesAnswerAsTheLibrarysOwn) {
    const std::string cases[] = {
        "local co = coroutine.create(function(a, b) local c = coroutine.yield(a + b) return c * 2, 'x' end)\n"
        "return coroutine.resume(co, 1, 2), coroutine.resume(co, 5), coroutine.resume(co), coroutine.status(co)",
        "local f = coroutine.wrap(function(a) local b = coroutine.yield(a) return b end)\n"
        "return f(3), f(4), pcall(f)",
        "return pcall(coroutine.wrap(function() error('boom') end))",
        "return pcall(coroutine.wrap(function() error({}) end))",
        "return coroutine.resume(coroutine.create(function() error('boom') end))",
        "return pcall(coroutine.resume, 5)",
        "return pcall(coroutine.resume)",
        "return pcall(coroutine.wrap, print)",
        "return pcall(coroutine.wrap, 5)",
        "local co co = coroutine.create(function() return coroutine.resume(co) end) return coroutine.resume(co)",
        "local outer outer = coroutine.create(function()\n"
        "  local inner = coroutine.create(function() return coroutine.resume(outer) end)\n"
        "  return coroutine.resume(inner) end)\n"
        "return coroutine.resume(outer)",
        "local co = coroutine.create(function(...) return select('#', ...), ... end)\n"
        "return coroutine.resume(co, nil, nil, 3)",
        "return coroutine.running()",
        "local co = coroutine.wrap(function() return coroutine.running() ~= nil end) return co()",
    };
    lua_State* stock = luaL_newstate();
    luaL_openlibs(stock);
    for (const std::string& code : cases) {
        SCOPED_TRACE(code);
        const std::string expression = "(function() " + code + " end)()";
        EXPECT_EQ(units.Host().Describe(expression), kvtest::DescribeResults(stock, expression));
    }
    lua_close(stock);
}

TEST_F(KVLuaUnitsTest, UnitArraysCountFromOneAndNeverStoreKeysInTheProxy) {
    KVUnit* a = Spawn("A");
    Spawn("B");
    Spawn("C");
    units.Run("kids = Hero.Children\nkids[1] = A\nkids[2] = B\nkids[3] = C");
    EXPECT_EQ(hero->GetChildren()->Size(), 3u);
    EXPECT_EQ(a->GetParentIndex(), hero->GetIndex());
    EXPECT_EQ(Describe("kids[0], kids[1] == A, kids[3] == C, kids[4], kids.Size"), "nil, boolean true, boolean true, nil, nil");
    units.Run("kids[2] = nil");
    EXPECT_EQ(Describe("kids[2] == C, kids[3], rawget(kids, 2), rawget(kids, 3)"), "boolean true, nil, nil, nil");
    EXPECT_EQ(units.Find("B")->GetParentIndex(), -1);
    // Growing by one, then reading the new element, gives the unit.
    units.Run("kids[3] = B");
    EXPECT_EQ(Describe("kids[3] == B, rawget(kids, 3), rawget(kids, 0)"), "boolean true, nil, nil");
    EXPECT_EQ(Reports("kids[1] = Hero\nkids[0] = A\nkids[-3] = A\nkids[1e9] = A"),
              (Records{"test:1:An unit can not be child of itself", "test:2:0 is an invalid index",
                       "test:3:-3 is an invalid index", "test:4:1000000000 is an invalid index"}));
    EXPECT_EQ(hero->GetChildren()->Size(), 3u);
}

TEST_F(KVLuaUnitsTest, TheOldUnitArrayFormCountsFromZeroAndHasASize) {
    Lua().SetOldUnitArray(true);
    Spawn("A");
    Spawn("B");
    units.Run("kids = Hero.Children\nkids[0] = A\nkids['1'] = B");
    EXPECT_EQ(Describe("kids.Size, kids[0] == A, kids[1] == B, kids[2], kids.x == A"),
              "number 2, boolean true, boolean true, nil, boolean true");
    units.Run("kids[0] = nil");
    EXPECT_EQ(Describe("kids.Size, kids[0] == B"), "number 1, boolean true");
    EXPECT_EQ(Reports("kids[-1] = A"), (Records{"test:1:-1 is an invalid index"}));
}

TEST_F(KVLuaUnitsTest, AUnitArrayKeptAfterItsOwnerClosedIsEmpty) {
    Spawn("A");
    units.Factory().AddDynamicAttribute("Targets", Probe(), kTargetsId, KVATTR_ARRAY_UNIT, true);
    units.Run("targets = Hero.Targets\ntargets[1] = A\ntargets[2] = A");
    EXPECT_EQ(Describe("targets[2] == A"), "boolean true");
    hero->Release();
    EXPECT_EQ(Describe("targets[1]"), "nil");
    units.Run("targets[1] = A");
    EXPECT_EQ(Describe("targets[1]"), "nil");
}

TEST_F(KVLuaUnitsTest, UnitsAndLibrariesAnswerOnTheCoroutineThatAsks) {
    AddAlpha();
    units.Run("co = coroutine.create(function()\n"
              "  local first = Hero\n"
              "  Hero.Alpha = 2.5\n"
              "  coroutine.yield(first.Name, unit('Hero').Alpha, Hero:IsClass('Unit'), Hero.ClassName,\n"
              "                  KVLua.IsFunctionExists('print'))\n"
              "end)");
    lua_State* L = units.Host().State();
    EXPECT_EQ(Describe("coroutine.resume(co)"),
              "boolean true, string Hero, number 2.5, boolean true, string Probe, boolean true");
    EXPECT_EQ(lua_gettop(L), 0);
}

void RecordChange(IKVUnit* unit, void* user) {
    KVTestCoreHost::Records().push_back(unit->GetName() + " changed " + static_cast<const char*>(user));
}

TEST_F(KVLuaUnitsTest, ParameterArraysGiveOneValueOrAZeroBasedTable) {
    static char user[] = "tint";
    int32_t tint = hero->AddParameter("Tint", KVPARAM_FLOAT, 3, RecordChange, user);
    hero->AddParameter("Mode", KVPARAM_INTEGER, 1, nullptr, nullptr);
    hero->AddParameter("None", KVPARAM_INTEGER, 0, nullptr, nullptr);
    hero->GetParameters()->At(tint)->values[1].real = 0.5f;
    EXPECT_EQ(Describe("Hero.Mode, Hero.None, Hero.Tint[1], Hero.Tint[0]"), "number 0, nil, number 0.5, number 0");
    units.Take();
    units.Run("Hero.Tint[2] = 0.25");
    EXPECT_EQ(hero->GetParameters()->At(tint)->values[2].real, 0.25f);
    EXPECT_EQ(units.Take(), (Records{"Hero changed tint"}));
    EXPECT_EQ(Reports("local v = Hero.Tint[3]\nHero.Tint[-1] = 1"),
              (Records{"test:1:3 is an invalid index", "test:2:-1 is an invalid index"}));
}

} // namespace
