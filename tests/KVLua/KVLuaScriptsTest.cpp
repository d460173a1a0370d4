// Discovery and loading of script files.
#include <gtest/gtest.h>

#include <filesystem>
#include <lua.hpp>

#include "support/KVLuaChunkWriter.h"
#include "support/KVTestLuaHost.h"

using kvtest::KVTestLuaHost;

namespace {

// Each script appends its name to the global "order".
std::string Marker(const std::string& name) { return "order = (order or '') .. '" + name + ";'\n"; }

} // namespace

TEST(KVLuaScripts, DiscoveryLoadsLuaAndLuacFilesInByteOrderOfTheLowerCasedPath) {
    KVTestLuaHost host;
    host.WriteScript("b.lua", Marker("b"));
    host.WriteScript("A.LUA", Marker("a"));
    host.WriteScript("sub/c.luac", kvtest::CompileLuaChunk(Marker("c")));
    host.WriteScript(".svn/x.lua", Marker("svn"));
    host.WriteScript("notes.txt", Marker("txt"));
    host.WriteScript("x.Lua", Marker("x"));
    host.WriteScript("ab.lua", Marker("ab"));
    host.Start();
    EXPECT_EQ(host.GlobalString("order"), "a;ab;b;c;x;");
    EXPECT_TRUE(host.Errors().empty());
}

TEST(KVLuaScripts, AMixedCaseFileIsOrderedByItsLowerCasedPathAndOpenedByItsOwnName) {
    KVTestLuaHost host;
    host.WriteAsset("Scripts/Sub/Mixed.LUA", "function Where() return debug.getinfo(1, 'S').source end");
    host.WriteAsset("Scripts/sub/b.lua", "function Other() end");
    host.Lua().SetCommonScriptDirectory("Scripts/");
    host.Start();
    ASSERT_TRUE(host.Run("where = Where()"));
    EXPECT_EQ(host.GlobalString("where"), "@" + host.Root() + "Scripts/Sub/Mixed.LUA");
    EXPECT_TRUE(host.Errors().empty());
}

TEST(KVLuaScripts, ASyntaxErrorIsReportedWithFileAndLineAndTheOthersStillLoad) {
    KVTestLuaHost host;
    host.WriteScript("a.lua", Marker("a"));
    host.WriteScript("b.lua", "x = 1\nthis is not lua\n");
    host.WriteScript("c.lua", Marker("c"));
    host.Start();
    EXPECT_EQ(host.GlobalString("order"), "a;c;");
    ASSERT_EQ(host.Errors().size(), 1u);
    EXPECT_EQ(host.Errors()[0].rfind(host.Root() + "script/b.lua:2:", 0), 0u) << host.Errors()[0];
    EXPECT_FALSE(host.Log().Contains("script/b.lua:2:"));
}

TEST(KVLuaScripts, LoadScriptFileAnswersZeroOneOrFour) {
    KVTestLuaHost host;
    host.Start();
    host.WriteScript("good.lua", "good = true");
    host.WriteScript("bad.lua", "error('boom')");
    kvl::KVLua& lua = host.Lua();
    EXPECT_EQ(lua.LoadScriptFile(host.Root() + "script/good.lua", nullptr, 0), 0);
    EXPECT_EQ(lua.LoadScriptFile(host.Root() + "script/bad.lua", nullptr, 0), 1);
    EXPECT_TRUE(host.HasError("script/bad.lua:1: boom"));
    host.Errors().clear();
    EXPECT_EQ(lua.LoadScriptFile(host.Root() + "script/missing.lua", nullptr, 0), 4);
    EXPECT_TRUE(host.Errors().empty());
    // Flag 2 keeps a failing file quiet.
    EXPECT_EQ(lua.LoadScriptFile(host.Root() + "script/bad.lua", nullptr, 2), 1);
    EXPECT_TRUE(host.Errors().empty());
    EXPECT_EQ(lua_gettop(host.State()), 0);
}

TEST(KVLuaScripts, TheLoadingMarkIsClearedOnEveryExit) {
    KVTestLuaHost host;
    host.Start();
    EXPECT_EQ(host.Lua().LoadScriptFile(host.Root() + "script/missing.lua", nullptr, 0), 4);
    EXPECT_FALSE(host.Lua().IsLoadingScripts());
    host.WriteScript("bad.lua", "error('x')");
    EXPECT_EQ(host.Lua().LoadScriptFile(host.Root() + "script/bad.lua", nullptr, 0), 1);
    EXPECT_FALSE(host.Lua().IsLoadingScripts());
}

TEST(KVLuaScripts, AFileThatCannotBeReadWholeIsRefusedSilently) {
    KVTestLuaHost host;
    host.WriteScript("a.lua", "a = 1 -- a long enough line of script text");
    host.WriteScript("b.lua", "b = 2");
    host.File().ShortenReadsOf("a.lua", 4);
    host.Start();
    EXPECT_TRUE(host.GlobalIsNil("a"));
    EXPECT_EQ(host.GlobalNumber("b"), 2);
    EXPECT_FALSE(host.Log().Contains("a.lua"));
    EXPECT_TRUE(host.Errors().empty());
    EXPECT_EQ(host.Lua().LoadScriptFile(host.Root() + "script/a.lua", nullptr, 0), 4);
}

TEST(KVLuaScripts, AScriptAboveSixtyFourMebibytesIsTakenAsUnreadable) {
    KVTestLuaHost host;
    host.WriteScript("huge.lua", "-- ");
    // Sparse: the size is what counts, nothing is read.
    std::filesystem::resize_file(host.Root() + "script/huge.lua", 64u * 1024u * 1024u + 1u);
    host.Start();
    EXPECT_EQ(host.Lua().LoadScriptFile(host.Root() + "script/huge.lua", nullptr, 0), 4);
    EXPECT_TRUE(host.Errors().empty());
    EXPECT_TRUE(host.Log().Lines().empty());
}

TEST(KVLuaScripts, PrecompiledChunksLoadAndDamagedOnesAreRefusedWithAMessage) {
    KVTestLuaHost host;
    std::string chunk = kvtest::CompileLuaChunk("compiled = 42");
    ASSERT_GT(chunk.size(), 20u);
    host.WriteScript("a.luac", chunk);
    host.WriteScript("b.luac", chunk.substr(0, chunk.size() / 2));
    host.WriteScript("c.luac", kvtest::WithLuaVersion(chunk, 0x52));
    host.WriteScript("d.luac", chunk.substr(0, 6));
    host.WriteScript("e.lua", "after = true");
    host.Start();
    EXPECT_EQ(host.GlobalNumber("compiled"), 42);
    EXPECT_FALSE(host.GlobalIsNil("after"));
    ASSERT_EQ(host.Errors().size(), 3u);
    EXPECT_NE(host.Errors()[0].find("b.luac"), std::string::npos);
    EXPECT_NE(host.Errors()[0].find("precompiled chunk"), std::string::npos);
    EXPECT_NE(host.Errors()[1].find("c.luac"), std::string::npos);
    EXPECT_NE(host.Errors()[2].find("d.luac"), std::string::npos);
}

TEST(KVLuaScripts, DeepRecursionInAMainChunkIsReportedNotACrash) {
    KVTestLuaHost host;
    host.WriteScript("a.lua", "local function f(n) return 1 + f(n + 1) end\nf(0)");
    host.WriteScript("b.lua", "local t = setmetatable({}, {__index = function(t, k) return t[k .. 'x'] end})\nlocal v = t.a");
    host.WriteScript("c.lua", "still = true");
    host.Start();
    EXPECT_FALSE(host.GlobalIsNil("still"));
    ASSERT_EQ(host.Errors().size(), 2u);
    EXPECT_NE(host.Errors()[0].find("stack overflow"), std::string::npos) << host.Errors()[0];
    EXPECT_NE(host.Errors()[1].find("stack overflow"), std::string::npos) << host.Errors()[1];
}

TEST(KVLuaScripts, OnInitNamespaceRunsAfterEachGoodFileForTheNamespacesItMade) {
    KVTestLuaHost host;
    host.WriteScript("1.lua",
                     "log_ = {}\n"
                     "function Application.OnInitNamespace() table.insert(log_, 'Application') end\n");
    host.WriteScript("2.lua",
                     "KVLua.CreateNamespace('A')\n"
                     "function A.OnInitNamespace() table.insert(log_, 'A') end\n"
                     "KVLua.CreateNamespace('B')\n"
                     "function B.OnInitNamespace() table.insert(log_, 'B') end\n"
                     "KVLua.CreateNamespace('C')\n");
    host.WriteScript("3.lua",
                     "KVLua.CreateNamespace('D')\n"
                     "function D.OnInitNamespace() table.insert(log_, 'D') end\n"
                     "error('fails after making D')\n");
    host.WriteScript("4.lua", "x = 1");
    host.Start();
    ASSERT_TRUE(host.Run("result = table.concat(log_, ',')"));
    EXPECT_EQ(host.GlobalString("result"), "Application,A,B,D");
}

TEST(KVLuaScripts, IncludeIsIgnoredInAMainChunkAndLoadsFromAFunction) {
    KVTestLuaHost host;
    host.WriteAsset("extra/inc.lua", "included = (included or 0) + 1");
    host.WriteScript("a.lua",
                     "KVLua.Include('extra/inc.lua')\n"
                     "function LoadLater() KVLua.Include('extra/inc.lua') end\n");
    host.Start();
    EXPECT_TRUE(host.GlobalIsNil("included"));
    ASSERT_TRUE(host.Run("LoadLater()"));
    EXPECT_EQ(host.GlobalNumber("included"), 1);
    ASSERT_TRUE(host.Run("LoadLater()"));
    EXPECT_EQ(host.GlobalNumber("included"), 2);
}

TEST(KVLuaScripts, AFileIncludedWhileNamespacesAreInitialisedStartsItsOwnList) {
    KVTestLuaHost host;
    host.WriteAsset("extra/inc.lua",
                    "KVLua.CreateNamespace('C')\n"
                    "function C.OnInitNamespace() inits = inits .. 'C' end\n");
    host.WriteScript("a.lua",
                     "inits = ''\n"
                     "KVLua.CreateNamespace('A')\n"
                     "function A.OnInitNamespace() inits = inits .. 'A' KVLua.Include('extra/inc.lua') end\n"
                     "KVLua.CreateNamespace('B')\n"
                     "function B.OnInitNamespace() inits = inits .. 'B' end\n");
    host.Start();
    EXPECT_EQ(host.GlobalString("inits"), "ACB");
    EXPECT_FALSE(host.Lua().IsLoadingScripts());
}

TEST(KVLuaScripts, ReleasePhaseOneMakesAFreshStateWithTheScriptsLoadedAgain) {
    KVTestLuaHost host;
    host.WriteScript("a.lua", "loads = (loads or 0) + 1");
    host.Start();
    ASSERT_TRUE(host.Run("runtime = 5"));
    host.Lua().Release(1);
    EXPECT_TRUE(host.GlobalIsNil("runtime"));
    EXPECT_EQ(host.GlobalNumber("loads"), 1);
}

TEST(KVLuaScripts, ScriptsOutsideTheCommonDirectoryAreNotLoaded) {
    KVTestLuaHost host;
    host.WriteAsset("other/a.lua", "other = true");
    host.WriteScript("a.lua", "common = true");
    host.Start();
    EXPECT_TRUE(host.GlobalIsNil("other"));
    EXPECT_FALSE(host.GlobalIsNil("common"));
}

TEST(KVLuaScripts, ARootedCommonDirectoryIsUsedAsItIs) {
    KVTestLuaHost host;
    host.WriteAsset("elsewhere/a.lua", "rooted = true");
    host.Lua().SetCommonScriptDirectory(host.Root() + "elsewhere/");
    host.Start();
    EXPECT_FALSE(host.GlobalIsNil("rooted"));
}

TEST(KVLuaScripts, CreateStateFromFileRunsTheFileInABareState) {
    KVTestLuaHost host;
    host.Start();
    host.WriteAsset("anim.lua", "value = 7\nhasString = string ~= nil");
    host.WriteAsset("broken.lua", "x = nil .. 1");
    kvl::KVLua& lua = host.Lua();
    lua_State* S = lua.CreateStateFromFile((host.Root() + "anim.lua").c_str());
    ASSERT_NE(S, nullptr);
    lua_getglobal(S, "value");
    EXPECT_EQ(lua_tonumber(S, -1), 7);
    lua_getglobal(S, "hasString");
    EXPECT_FALSE(lua_toboolean(S, -1));
    lua.CloseStateOn(S);
    EXPECT_EQ(lua.CreateStateFromFile((host.Root() + "broken.lua").c_str()), nullptr);
    EXPECT_TRUE(host.HasError("broken.lua:1: attempt to concatenate"));
    EXPECT_EQ(lua.CreateStateFromFile((host.Root() + "missing.lua").c_str()), nullptr);
}
