// Script calls from the engine and the reporting of script errors.
#include <gtest/gtest.h>
#include <lua.hpp>

#include "kernel/KVPath.h"
#include "support/KVTestLuaHost.h"
#include "support/KVTestScriptUnits.h"

using kvtest::KVTestLuaHost;
using kvtest::KVTestScriptUnits;

namespace {

// "Test.Raise(unitIndex, name, ...)" raises a unit event from a script.
KVTestScriptUnits* g_units = nullptr;

int Raise() {
    kvl::KVLua* lua = kvl::KVLua::Instance();
    int32_t index = lua->ToInteger(1);
    std::string name = lua->ToStdString(2);
    kvl::EventCall call;
    call.unit = g_units->GetUnit(index);
    call.functionName = name.c_str();
    call.argumentCount = lua->GetTop() - 2;
    int32_t status = lua->CallEvent(&call);
    lua->Pop(lua->GetTop());
    lua->PushInteger(status);
    return 1;
}

class TestLibrary : public kvl::KVLuaLibrary {
public:
    int32_t GetLuaFunctions(const kvl::KVLuaFunctionEntry** out) override {
        static const kvl::KVLuaFunctionEntry kFunctions[] = {{"Raise", Raise}, {nullptr, nullptr}};
        *out = kFunctions;
        return 0;
    }
};

class EventsTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_units = &units;
        host.Lua().SetScriptUnits(&units);
        host.Lua().RegisterLibrary("Test", &library);
    }
    void TearDown() override { g_units = nullptr; }

    int32_t CallEvent(kvl::IKVUnit* unit, const char* name, int32_t arguments = 0, int32_t* results = nullptr,
                      uint8_t classOnly = 0) {
        kvl::EventCall call;
        call.unit = unit;
        call.functionName = name;
        call.argumentCount = arguments;
        call.resultCount = results;
        call.classOnly = classOnly;
        int32_t status = host.Lua().CallEvent(&call);
        lastStillEnabled = call.stillEnabled;
        return status;
    }

    KVTestLuaHost host;
    KVTestScriptUnits units;
    TestLibrary library;
    uint8_t lastStillEnabled = 1;
};

} // namespace

TEST(KVLuaEvents, CallFunctionAnswersZeroOneOrFourAndDropsTheArguments) {
    KVTestLuaHost host;
    host.WriteScript("a.lua",
                     "function Application.OnPause(a, b) paused = a + b end\n"
                     "function OnStartup() started = true end\n"
                     "Application.NotAFunction = 5\n"
                     "Broken = 3\n");
    host.Start();
    kvl::KVLua& lua = host.Lua();
    lua_State* L = host.State();
    lua.PushNumber(2);
    lua.PushNumber(3);
    EXPECT_EQ(lua.CallFunction("Application", "OnPause", 2, nullptr), 0);
    EXPECT_EQ(host.GlobalNumber("paused"), 5);
    EXPECT_EQ(lua.CallFunction("Application", "OnUnpause", 0, nullptr), 4);
    EXPECT_EQ(lua.CallFunction("Application", "NotAFunction", 0, nullptr), 4);
    lua.PushNumber(1);
    EXPECT_EQ(lua.CallFunction("Nowhere", "OnPause", 1, nullptr), 1);
    EXPECT_EQ(lua.CallFunction("Broken", "OnPause", 0, nullptr), 1);
    EXPECT_EQ(lua_gettop(L), 0);
    lua.CallOnStartup();
    EXPECT_FALSE(host.GlobalIsNil("started"));
    EXPECT_TRUE(host.Errors().empty());
}

TEST(KVLuaEvents, CallFunctionFindsEachNamespaceAndNameInTurnAndAfterARestart) {
    KVTestLuaHost host;
    host.WriteScript("a.lua",
                     "function Application.OnPause() return 'pause' end\n"
                     "function Application.OnUnpause() return 'unpause' end\n"
                     "function Grid.OnPause() return 'grid' end\n"
                     "function OnPause() return 'global' end\n"
                     "function Application.Grid() return 'named like a namespace' end\n");
    host.WriteScript("0.lua", "KVLua.CreateNamespace('Grid')");
    host.Start();
    kvl::KVLua& lua = host.Lua();
    struct Case {
        const char* nameSpace;
        const char* name;
        int32_t status;
        const char* result;
    };
    const Case cases[] = {
        {"Application", "OnPause", 0, "pause"},   {"Application", "OnUnpause", 0, "unpause"},
        {"Grid", "OnPause", 0, "grid"},           {nullptr, "OnPause", 0, "global"},
        {"Application", "Grid", 0, "named like a namespace"},
        {"Grid", "OnUnpause", 4, nullptr},        {"OnPause", "OnPause", 1, nullptr},
        {"Application", "OnPause", 0, "pause"},
    };
    auto check = [&](const Case& c) {
        SCOPED_TRACE(std::string(c.nameSpace ? c.nameSpace : "(global)") + "." + c.name);
        int32_t results = 0;
        ASSERT_EQ(lua.CallFunction(c.nameSpace, c.name, 0, &results), c.status);
        if (!c.result) return;
        ASSERT_EQ(results, 1);
        EXPECT_STREQ(lua.ToString(-1), c.result);
        lua.Pop(results);
    };
    for (int round = 0; round < 2; ++round)
        for (const Case& c : cases) check(c);
    // A new state holds new strings; the names are found there again.
    lua.Release(2);
    host.WriteScript("a.lua", "function Application.OnPause() return 'again' end\n");
    for (int phase = 0; phase <= 3; ++phase) lua.Init(phase);
    lua_State* L = host.State();
    ASSERT_NE(L, nullptr);
    check(Case{"Application", "OnPause", 0, "again"});
    check(Case{nullptr, "OnPause", 4, nullptr});
    EXPECT_EQ(lua_gettop(L), 0);
}

TEST(KVLuaEvents, WithAResultCountOnlyTheResultsAreLeft) {
    KVTestLuaHost host;
    host.WriteScript("a.lua",
                     "function Application.OnCloseQuery() return false, 'why' end\n"
                     "function Grid.GetFieldCode(x, y) return x * 10 + y end\n");
    host.WriteScript("0.lua", "KVLua.CreateNamespace('Grid')");
    host.Start();
    kvl::KVLua& lua = host.Lua();
    lua_State* L = host.State();
    lua_pushstring(L, "below");
    int32_t results = -1;
    EXPECT_EQ(lua.CallFunction("Application", "OnCloseQuery", 0, &results), 0);
    EXPECT_EQ(results, 2);
    ASSERT_EQ(lua_gettop(L), 3);
    EXPECT_FALSE(lua.ToBoolean(-2));
    EXPECT_STREQ(lua.ToString(-1), "why");
    lua.Pop(results);
    lua.PushInteger(3);
    lua.PushInteger(4);
    EXPECT_EQ(lua.CallFunction("Grid", "GetFieldCode", 2, &results), 0);
    ASSERT_EQ(results, 1);
    ASSERT_EQ(lua_gettop(L), 2);
    EXPECT_EQ(lua.ToInteger(-1), 34);
    EXPECT_STREQ(lua.ToString(1), "below");
}

TEST(KVLuaEvents, CallFunctionKeepsTheStackAndMemoryFlatOverManyCalls) {
    KVTestLuaHost host;
    host.WriteScript("a.lua",
                     "count = 0\n"
                     "function Application.OnUnpause(a, b) count = count + 1 return a, b end\n"
                     "function Application.OnPause() error('paused badly') end\n");
    host.Start();
    kvl::KVLua& lua = host.Lua();
    lua_State* L = host.State();
    lua_gc(L, LUA_GCCOLLECT, 0);
    int before = lua_gc(L, LUA_GCCOUNT, 0);
    for (int i = 0; i < 100000; ++i) {
        lua.PushNumber(i);
        lua.PushString("x");
        ASSERT_EQ(lua.CallFunction("Application", "OnUnpause", 2, nullptr), 0);
        ASSERT_EQ(lua_gettop(L), 0);
        if (i % 1000 == 0) {
            ASSERT_EQ(lua.CallFunction("Application", "OnPause", 0, nullptr), 1);
            ASSERT_EQ(lua_gettop(L), 0);
        }
    }
    lua_gc(L, LUA_GCCOLLECT, 0);
    int after = lua_gc(L, LUA_GCCOUNT, 0);
    EXPECT_EQ(host.GlobalNumber("count"), 100000);
    EXPECT_LE(after, before + 4) << "kilobytes before " << before << ", after " << after;
    EXPECT_EQ(lua.GetEventCallDepth(), 0);
    EXPECT_EQ(host.Errors().size(), 100u);
}

TEST(KVLuaEvents, ARuntimeErrorReachesTheHookAndLogluaButNotTheLog) {
    KVTestLuaHost host;
    host.WriteScript("events.lua",
                     "function Application.OnPause()\n"
                     "  local t = nil\n"
                     "  return t.field\n"
                     "end\n"
                     "function Application.OnUnpause() fine = true end\n");
    host.Lua().SetLogOnDisk(true);
    host.Start();
    kvl::KVLua& lua = host.Lua();
    EXPECT_EQ(lua.CallFunction("Application", "OnPause", 0, nullptr), 1);
    std::string expected = host.Root() + "script/events.lua:3: attempt to index local 't' (a nil value)";
    ASSERT_EQ(host.Errors().size(), 1u);
    EXPECT_EQ(host.Errors()[0], expected);
    EXPECT_FALSE(host.Log().Contains(expected));
    EXPECT_EQ(host.ReadAsset("loglua.txt"), expected + "\r\n");
    // Later calls still work.
    EXPECT_EQ(lua.CallFunction("Application", "OnUnpause", 0, nullptr), 0);
    EXPECT_FALSE(host.GlobalIsNil("fine"));
    EXPECT_EQ(lua.CallFunction("Application", "OnPause", 0, nullptr), 1);
    EXPECT_EQ(host.ReadAsset("loglua.txt"), expected + "\r\n" + expected + "\r\n");
}

TEST(KVLuaEvents, TheFirstErrorOfARunEmptiesLoglua) {
    KVTestLuaHost host;
    host.WriteAsset("loglua.txt", "old run\r\n");
    host.Lua().SetLogOnDisk(true);
    host.Start();
    host.Lua().ReportError("one");
    host.Lua().ReportError("two");
    EXPECT_EQ(host.ReadAsset("loglua.txt"), "one\r\ntwo\r\n");
    // Release phase 2 starts a new run of the file.
    host.Lua().Release(2);
    host.Lua().ReportError("three");
    EXPECT_EQ(host.ReadAsset("loglua.txt"), "three\r\n");
}

TEST(KVLuaEvents, WithoutHookAndLogOnDiskNothingIsWritten) {
    KVTestLuaHost host(false);
    host.WriteScript("a.lua", "function Application.OnPause() error('quiet') end");
    host.Start();
    EXPECT_FALSE(host.Lua().IsReportingOn());
    EXPECT_EQ(host.Lua().CallFunction("Application", "OnPause", 0, nullptr), 1);
    EXPECT_FALSE(host.Log().Contains("quiet"));
    EXPECT_FALSE(host.Dir().Exists("assets/loglua.txt"));
}

TEST(KVLuaEvents, LogluaThatCannotBeOpenedStillReachesTheHook) {
    KVTestLuaHost host;
    host.Lua().SetLogOnDisk(true);
    host.File().FailOpensContaining("loglua.txt");
    host.Start();
    host.Lua().ReportError("kept");
    EXPECT_TRUE(host.HasError("kept"));
    EXPECT_FALSE(host.Dir().Exists("assets/loglua.txt"));
}

TEST(KVLuaEvents, RestoreElidedPath) {
    std::string out;
    EXPECT_TRUE(kvl::RestoreElidedPath("/media/game/scripts/", "...cripts/player.lua:12: x", &out));
    EXPECT_EQ(out, "/media/game/scripts/player.lua:12: x");
    EXPECT_TRUE(kvl::RestoreElidedPath("/Media/Game/", "...GAME/a.lua:1: y", &out));
    EXPECT_EQ(out, "/Media/GAME/a.lua:1: y");
    EXPECT_FALSE(kvl::RestoreElidedPath("", "...cripts/a.lua:1: x", &out));
    EXPECT_FALSE(kvl::RestoreElidedPath("/media/game/", "...other/a.lua:1: x", &out));
}

TEST(KVLuaEvents, AnErrorInAFileWithALongPathIsReportedWithItsFullName) {
    KVTestLuaHost host;
    // Lua shortens long chunk names to "..." and their tail; the tail
    // begins inside the project directory, which restores the rest.
    std::string project = host.Root() + "a-rather-long-directory-name/another-long-directory-name/";
    kvl::SetProjectDirectory(project);
    host.WriteAsset("a-rather-long-directory-name/another-long-directory-name/script/file.lua",
                    "function Application.OnPause() error('long') end");
    host.Start();
    EXPECT_EQ(host.Lua().CallFunction("Application", "OnPause", 0, nullptr), 1);
    ASSERT_EQ(host.Errors().size(), 1u);
    EXPECT_EQ(host.Errors()[0], project + "script/file.lua:1: long");
}

TEST_F(EventsTest, WithoutAUnitSideEveryUnitEventFindsNothing) {
    host.Start();
    host.Lua().SetScriptUnits(nullptr);
    kvl::IKVUnit* hero = units.Add("Hero", "Sprite");
    host.Lua().PushNumber(1);
    EXPECT_EQ(CallEvent(hero, "OnCreate", 1), 4);
    EXPECT_EQ(lua_gettop(host.State()), 0);
}

TEST_F(EventsTest, TheUnitsOwnNamespaceComesFirstThenItsAliasThenItsClass) {
    host.WriteScript("a.lua",
                     "Hero = {}\n"
                     "function Hero.OnA() return 'own' end\n"
                     "Alias = {}\n"
                     "function Alias.OnA() return 'alias' end\n"
                     "function Alias.OnB() return 'alias' end\n"
                     "Sprite = {}\n"
                     "function Sprite.OnA() return 'class' end\n"
                     "function Sprite.OnB() return 'class' end\n"
                     "function Sprite.OnC(x) return 'class' .. x end\n");
    host.Start();
    kvl::IKVUnit* hero = units.Add("Hero", "Sprite");
    units.Get(hero).alias = "Alias";
    lua_State* L = host.State();
    int32_t results = 0;
    EXPECT_EQ(CallEvent(hero, "OnA", 0, &results), 0);
    EXPECT_STREQ(lua_tostring(L, -1), "own");
    EXPECT_EQ(CallEvent(hero, "OnB", 0, &results), 0);
    EXPECT_STREQ(lua_tostring(L, -1), "alias");
    EXPECT_EQ(CallEvent(hero, "OnA", 0, &results, 1), 0);
    EXPECT_STREQ(lua_tostring(L, -1), "class");
    lua_pushstring(L, "!");
    EXPECT_EQ(CallEvent(hero, "OnC", 1, &results), 0);
    EXPECT_EQ(results, 1);
    EXPECT_STREQ(lua_tostring(L, -1), "class!");
    EXPECT_EQ(CallEvent(hero, "OnMissing"), 4);
    units.Get(hero).hasScript = false;
    EXPECT_EQ(CallEvent(hero, "OnA"), 4);
}

TEST_F(EventsTest, ValuesBelowTheArgumentsStayAsTheCallerLeftThem) {
    host.WriteScript("a.lua", "Sprite = {}\nfunction Sprite.OnHit(n) hits = n end\n");
    host.Start();
    kvl::IKVUnit* hero = units.Add("Hero", "Sprite");
    lua_State* L = host.State();
    lua_pushstring(L, "first");
    lua_pushnumber(L, 2);
    lua_pushnumber(L, 9);
    EXPECT_EQ(CallEvent(hero, "OnHit", 1), 0);
    EXPECT_EQ(host.GlobalNumber("hits"), 9);
    ASSERT_EQ(lua_gettop(L), 2);
    EXPECT_STREQ(lua_tostring(L, 1), "first");
    EXPECT_EQ(lua_tonumber(L, 2), 2);
}

TEST_F(EventsTest, AScriptThatFailsInEveryEventIsReportedEachTimeAndReleasesItsUnit) {
    host.WriteScript("a.lua",
                     "Sprite = setmetatable({}, {__index = function(t, name)\n"
                     "  return function() error('fails in ' .. name) end\n"
                     "end})\n"
                     "Sprite.OnCreate = function() error('fails in OnCreate') end\n"
                     "Sprite.OnUpdate = function(dt) error('fails in OnUpdate') end\n"
                     "Sprite.OnEnable = function() local x = nil; x() end\n");
    host.Lua().SetLogOnDisk(true);
    host.Start();
    kvl::IKVUnit* hero = units.Add("Hero", "Sprite");
    lua_State* L = host.State();
    const char* events[] = {"OnCreate", "OnUpdate", "OnEnable"};
    for (int round = 0; round < 50; ++round) {
        for (const char* name : events) {
            lua_pushnumber(L, 0.016);
            ASSERT_EQ(CallEvent(hero, name, 1), int32_t(kvl::KV_SCRIPT_ERROR)) << name;
            ASSERT_EQ(lua_gettop(L), 0);
        }
    }
    EXPECT_EQ(units.Get(hero).references, 1);
    EXPECT_EQ(host.Errors().size(), 150u);
    EXPECT_TRUE(host.HasError("fails in OnUpdate"));
    EXPECT_EQ(host.Lua().GetEventCallDepth(), 0);
    EXPECT_EQ(host.Lua().GetDebugState()->GetMode(), 0);
}

TEST_F(EventsTest, AnEventForwardedToADelegateRunsInTheDelegate) {
    host.WriteScript("a.lua",
                     "A = {}\nfunction A.OnHit() ran = 'A' end\n"
                     "B = {}\nfunction B.OnHit() ran = 'B' end\n");
    host.Start();
    kvl::IKVUnit* a = units.Add("A", "Sprite");
    kvl::IKVUnit* b = units.Add("B", "Sprite");
    units.Get(a).delegates["OnHit"] = units.Get(b).index;
    units.Get(a).hasScript = false;
    EXPECT_EQ(CallEvent(a, "OnHit"), 0);
    EXPECT_EQ(host.GlobalString("ran"), "B");
}

TEST_F(EventsTest, ADelegationLoopIsBoundedAndReported) {
    host.WriteScript("a.lua", "A = {}\nfunction A.OnHit() ran = true end\n");
    host.Start();
    kvl::IKVUnit* a = units.Add("A", "Sprite");
    kvl::IKVUnit* b = units.Add("B", "Sprite");
    kvl::IKVUnit* c = units.Add("C", "Sprite");
    units.Get(a).delegates["OnHit"] = units.Get(b).index;
    units.Get(b).delegates["OnHit"] = units.Get(c).index;
    units.Get(c).delegates["OnHit"] = units.Get(a).index;
    lua_pushnumber(host.State(), 1);
    EXPECT_EQ(CallEvent(a, "OnHit", 1), 4);
    EXPECT_EQ(lua_gettop(host.State()), 0);
    EXPECT_TRUE(host.GlobalIsNil("ran"));
    EXPECT_TRUE(host.HasError("Delegation of OnHit loops back to unit A"));

    units.Get(a).delegates["OnHit"] = units.Get(a).index;
    EXPECT_EQ(CallEvent(a, "OnHit"), 4);
}

TEST_F(EventsTest, DuringTheFinalReleaseEveryEventAnswersZero) {
    host.WriteScript("a.lua", "Sprite = {}\nfunction Sprite.OnHit() ran = true end\n");
    host.Start();
    kvl::IKVUnit* hero = units.Add("Hero", "Sprite");
    host.Lua().SetShuttingDown(true);
    lua_pushnumber(host.State(), 1);
    EXPECT_EQ(CallEvent(hero, "OnHit", 1), 0);
    EXPECT_EQ(lua_gettop(host.State()), 0);
    EXPECT_TRUE(host.GlobalIsNil("ran"));
}

TEST_F(EventsTest, StillEnabledFollowsTheUnitAfterTheCall) {
    host.WriteScript("a.lua", "Sprite = {}\nfunction Sprite.OnHit() end\n");
    host.Start();
    kvl::IKVUnit* hero = units.Add("Hero", "Sprite");
    EXPECT_EQ(CallEvent(hero, "OnHit"), 0);
    EXPECT_EQ(lastStillEnabled, 1);
    units.Get(hero).enabled = false;
    EXPECT_EQ(CallEvent(hero, "OnHit"), 0);
    EXPECT_EQ(lastStillEnabled, 0);
}

TEST_F(EventsTest, NestedEventsReportTheirFramesInGetCallstack) {
    host.WriteScript("a.lua",
                     "Sprite = {}\n"
                     "function Sprite.OnOuter()\n"
                     "  Test.Raise(1, 'OnInner')\n"
                     "end\n"
                     "function Sprite.OnInner()\n"
                     "  stack = KVLua.GetCallstack()\n"
                     "end\n");
    host.Start();
    kvl::IKVUnit* outer = units.Add("Outer", "Sprite");
    units.Add("Inner", "Sprite");
    EXPECT_EQ(CallEvent(outer, "OnOuter"), 0);
    std::string file = host.Root() + "script/a.lua";
    auto frame = [&](int line, const char* function, const char* unit) {
        return file + ":" + std::to_string(line) + " in function '" + function + "' in unit '" + unit +
               "' of class 'Sprite'\n";
    };
    // Every Lua frame is listed once per event in progress, innermost event
    // first; a frame that Lua cannot name (both were called from native
    // code) takes the name of the event being listed.
    EXPECT_EQ(host.GlobalString("stack"), frame(6, "OnInner", "Inner") + frame(3, "OnInner", "Inner") +
                                              frame(6, "OnOuter", "Outer") + frame(3, "OnOuter", "Outer"));
    ASSERT_TRUE(host.Run("direct = KVLua.GetCallstack()"));
    EXPECT_EQ(host.GlobalString("direct"), "");
}

TEST_F(EventsTest, RecursiveEventsEndInAReportedOverflowNotACrash) {
    host.WriteScript("a.lua",
                     "depth = 0\n"
                     "Sprite = {}\n"
                     "function Sprite.OnDeep()\n"
                     "  depth = depth + 1\n"
                     "  Test.Raise(0, 'OnDeep')\n"
                     "end\n");
    host.Start();
    kvl::IKVUnit* hero = units.Add("Hero", "Sprite");
    EXPECT_EQ(CallEvent(hero, "OnDeep"), 0);
    EXPECT_GT(host.GlobalNumber("depth"), 10);
    ASSERT_FALSE(host.Errors().empty());
    EXPECT_TRUE(host.HasError("stack overflow")) << host.Errors()[0];
    EXPECT_EQ(lua_gettop(host.State()), 0);
    EXPECT_EQ(host.Lua().GetEventCallDepth(), 0);
    EXPECT_EQ(units.Get(hero).references, 1);
    // The state still works afterwards.
    EXPECT_EQ(CallEvent(hero, "OnDeep"), 0);
}
