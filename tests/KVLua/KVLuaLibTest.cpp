// The "KVLua" script library and the globals the binding adds.
#include <gtest/gtest.h>
#include <lua.hpp>

#include "support/KVTestLuaHost.h"

using kvtest::KVTestLuaHost;

TEST(KVLuaLib, ScriptFileAndScriptLineDescribeTheCaller) {
    KVTestLuaHost host;
    host.WriteScript("sub/where.lua", "function Where()\n  return KVLua.ScriptFile(), KVLua.ScriptLine()\nend\n");
    host.Start();
    ASSERT_TRUE(host.Run("file, line = Where()"));
    EXPECT_EQ(host.GlobalString("file"), "where.lua");
    EXPECT_EQ(host.GlobalNumber("line"), 2);
}

TEST(KVLuaLib, IsFunctionExistsSeesGlobalFunctionsOnly) {
    KVTestLuaHost host;
    host.WriteScript("a.lua", "function Present() end\nvalue = 1");
    host.Start();
    ASSERT_TRUE(host.Run("a, b, c, d = KVLua.IsFunctionExists('Present'), KVLua.IsFunctionExists('value'),\n"
                         "  KVLua.IsFunctionExists('Absent'), KVLua.IsFunctionExists(12)"));
    ASSERT_TRUE(host.Run("r = tostring(a) .. tostring(b) .. tostring(c) .. tostring(d)"));
    EXPECT_EQ(host.GlobalString("r"), "truefalsefalsefalse");
}

TEST(KVLuaLib, CreateNamespaceMakesANamespaceOnceAndComplainsAfterwards) {
    KVTestLuaHost host;
    host.Start();
    ASSERT_TRUE(host.Run("KVLua.CreateNamespace('Game')\nGame.score = 3\nKVLua.CreateNamespace('Game')"));
    EXPECT_TRUE(host.HasError("Namespace Game already exists"));
    ASSERT_TRUE(host.Run("r = Game.score"));
    EXPECT_EQ(host.GlobalNumber("r"), 3);
    ASSERT_TRUE(host.Run("KVLua.CreateNamespace(42)\nn = namespace(42)"));
    EXPECT_TRUE(host.Lua().IsGlobalDefined("42"));
}

TEST(KVLuaLib, NamespacesBoundToNoUnitAreEqualOnlyToThemselves) {
    KVTestLuaHost host;
    host.Start();
    ASSERT_TRUE(host.Run("KVLua.CreateNamespace('A')\nKVLua.CreateNamespace('B')\n"
                         "same = (A == A)\ndifferent = (A == B) or (Application == A)"));
    ASSERT_TRUE(host.Run("r = tostring(same) .. tostring(different)"));
    EXPECT_EQ(host.GlobalString("r"), "truefalse");
}

TEST(KVLuaLib, NamespaceValuesLiveInTheNamespaceAndItsKeysAreRaw) {
    KVTestLuaHost host;
    host.Start();
    ASSERT_TRUE(host.Run("Application.x = 5\nr = rawget(Application, 'x')\nmissing = Application.nothing"));
    EXPECT_EQ(host.GlobalNumber("r"), 5);
    EXPECT_TRUE(host.GlobalIsNil("missing"));
    // A namespace whose global was replaced still keeps what is written to it.
    ASSERT_TRUE(host.Run("local old = Application\nApplication = nil\nold.y = 6\nr = rawget(old, 'y')"));
    EXPECT_EQ(host.GlobalNumber("r"), 6);
}

TEST(KVLuaLib, UnitsAreNotFoundWithoutTheUnitSide) {
    KVTestLuaHost host;
    host.Start();
    ASSERT_TRUE(host.Run("a, b, c = unit(0), unit('Hero'), unit(-1)\nd = self\ne = KVLua.PushSelf(Application)"));
    for (const char* name : {"a", "b", "c", "d", "e"}) EXPECT_TRUE(host.GlobalIsNil(name)) << name;
    EXPECT_TRUE(host.Errors().empty());
    kvl::KVLua& lua = host.Lua();
    EXPECT_EQ(lua.PushUnit(-1), 0);
    EXPECT_TRUE(lua_isnil(host.State(), -1));
    lua_pushstring(host.State(), "Hero");
    EXPECT_EQ(lua.ToUnit(-1), -1);
    EXPECT_TRUE(host.HasError("Hero : unknown unit"));
    EXPECT_EQ(lua.ToClassIndex(-1), -1);
    EXPECT_EQ(lua.CheckUnit(0), 1);
    EXPECT_TRUE(host.HasError("Unit doesn't exist anymore"));
}

TEST(KVLuaLib, CallGCAndLoadLibrary) {
    KVTestLuaHost host;
    host.Start();
    ASSERT_TRUE(host.Run("garbage = {} for i = 1, 1000 do garbage[i] = {i} end garbage = nil\n"
                         "KVLua.CallGC(10)\nKVLua.CallGC()\nn = select('#', KVLua.LoadLibrary('x'))"));
    EXPECT_EQ(host.GlobalNumber("n"), 0);
    EXPECT_TRUE(host.Errors().empty());
}
