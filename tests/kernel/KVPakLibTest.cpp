#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kernel/KVPak.h"
#include "support/KVFileTestSupport.h"
#include "support/KVPakWriter.h"
#include "support/KVTestLog.h"
#include "support/KVTestLua.h"

using namespace kvl;
using kvtest::KVTestLuaValue;

namespace {

// A project with three paks in its descriptor, two of them on disk.
class KVPakLibTest : public ::testing::Test {
protected:
    void SetUp() override {
        log.Install();
        lua.Install();
        project = files.Base() + "game/";
        kvtest::KVPakWriter a, b;
        a.Add("a.txt", "a");
        b.Add("b.txt", "b");
        files.Dir().WriteFile("game/paks/first.kvpak", a.Build(false));
        files.Dir().WriteFile("game/paks/second.kvpak", b.Build(true));
        files.Dir().WriteFile("game/paks/paks.kvpakdesc",
                              kvtest::BuildPakDescriptor({{"first", false, false, ""},
                                                          {"second", false, true, ""},
                                                          {"missing", false, false, ""}}));
        pak.SetPlatformFile(&files.Files());
        pak.Init(0);
        pak.Init(1);
        pak.SetBasePath(project);
    }

    bool Holds(const std::string& name) {
        KVFileHandle h = nullptr;
        if (pak.Open((project + name).c_str(), KVFILE_READ, &h) != KV_OK) return false;
        bool owned = pak.OwnsHandle(h);
        pak.Close(h);
        return owned;
    }

    kvtest::PlatformFileLayer files;
    kvtest::KVTestLog log;
    kvtest::KVTestLua lua;
    KVPak pak;
    std::string project;
};

} // namespace

TEST_F(KVPakLibTest, RegisteredInPhaseOne) {
    ASSERT_EQ(lua.Libraries().size(), 1u);
    EXPECT_EQ(lua.Libraries()[0].first, "KVPak");
    EXPECT_EQ(lua.Libraries()[0].second, static_cast<KVLuaLibrary*>(&pak));
}

TEST_F(KVPakLibTest, LoadPakAndUnloadPak) {
    EXPECT_EQ(lua.Call(&pak, "LoadPak", {KVTestLuaValue::String("first")}), 0);
    EXPECT_TRUE(lua.Errors().empty());
    EXPECT_TRUE(Holds("a.txt"));
    // Loading it again does nothing and raises nothing.
    EXPECT_EQ(lua.Call(&pak, "LoadPak", {KVTestLuaValue::String("first"), KVTestLuaValue::Boolean(true)}), 0);
    EXPECT_TRUE(lua.Errors().empty());
    EXPECT_EQ(pak.GetLoadedPakCount(), 1u);
    // Loaded by script without the flag: not temporary.
    pak.ReleaseTemporaryPaks();
    EXPECT_TRUE(Holds("a.txt"));

    EXPECT_EQ(lua.Call(&pak, "LoadPak", {KVTestLuaValue::String("second"), KVTestLuaValue::Boolean(true)}), 0);
    EXPECT_TRUE(Holds("b.txt"));
    pak.ReleaseTemporaryPaks();
    EXPECT_FALSE(Holds("b.txt"));

    EXPECT_EQ(lua.Call(&pak, "UnloadPak", {KVTestLuaValue::String("first")}), 0);
    EXPECT_TRUE(lua.Errors().empty());
    EXPECT_FALSE(Holds("a.txt"));
    // Not loaded: nothing happens.
    EXPECT_EQ(lua.Call(&pak, "UnloadPak", {KVTestLuaValue::String("first")}), 0);
    EXPECT_TRUE(lua.Errors().empty());
}

TEST_F(KVPakLibTest, ErrorsOfTheScriptCalls) {
    struct Case {
        const char* function;
        std::vector<KVTestLuaValue> arguments;
        const char* error;
    };
    const std::vector<Case> cases = {
        {"LoadPak", {KVTestLuaValue::String("First")}, "Unknown pak name"},  // exact names
        {"LoadPak", {KVTestLuaValue::String("missing")}, "Unable to load pak"},
        {"LoadPak", {}, "Invalid number of arguments"},
        {"UnloadPak", {KVTestLuaValue::String("nope")}, "Unknown pak name"},
        {"UnloadPak", {KVTestLuaValue::String("first"), KVTestLuaValue::String("x")}, "Invalid number of arguments"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.function);
        EXPECT_EQ(lua.Call(&pak, c.function, c.arguments), 0);
        ASSERT_EQ(lua.Errors().size(), 1u);
        EXPECT_EQ(lua.Errors()[0], c.error);
    }
    // A name that is not text ends the call at the type check.
    EXPECT_EQ(lua.Call(&pak, "LoadPak", {KVTestLuaValue::Number(1)}), 0);
    ASSERT_EQ(lua.Errors().size(), 1u);
    EXPECT_NE(lua.Errors()[0].find("Argument #1 type is invalid"), std::string::npos);
    EXPECT_EQ(pak.GetLoadedPakCount(), 0u);
}
