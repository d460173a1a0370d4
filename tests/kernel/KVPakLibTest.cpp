#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kernel/KVPak.h"
#include "kernel/KVPath.h"
#include "support/KVFileTestSupport.h"
#include "support/KVPakWriter.h"
#include "support/KVTestLog.h"
#include "support/KVTestLuaHost.h"

using namespace kvl;

namespace {

// A project with three paks in its descriptor, two of them on disk.
class KVPakLibTest : public ::testing::Test {
protected:
    void SetUp() override {
        log.Install();
        project = files.Base() + "game/";
        kvl::SetProjectDirectory(project);  // the script host set its own
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
        lua.Start();
    }

    // Runs one script call; the errors it reported, in order.
    std::vector<std::string> Call(const std::string& code) {
        lua.ClearErrors();
        std::string error;
        EXPECT_TRUE(lua.Run(code, &error)) << error;
        return lua.Errors();
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
    kvtest::KVTestLuaHost lua;
    KVPak pak;
    std::string project;
};

} // namespace

TEST_F(KVPakLibTest, RegisteredInPhaseOne) {
    EXPECT_EQ(lua.TableKeys("KVPak"), (std::vector<std::string>{"LoadPak", "UnloadPak"}));
}

TEST_F(KVPakLibTest, LoadPakAndUnloadPak) {
    EXPECT_TRUE(Call("KVPak.LoadPak('first')").empty());
    EXPECT_TRUE(Holds("a.txt"));
    // Loading it again does nothing and raises nothing.
    EXPECT_TRUE(Call("KVPak.LoadPak('first', true)").empty());
    EXPECT_EQ(pak.GetLoadedPakCount(), 1u);
    // Loaded by script without the flag: not temporary.
    pak.ReleaseTemporaryPaks();
    EXPECT_TRUE(Holds("a.txt"));

    EXPECT_TRUE(Call("KVPak.LoadPak('second', true)").empty());
    EXPECT_TRUE(Holds("b.txt"));
    pak.ReleaseTemporaryPaks();
    EXPECT_FALSE(Holds("b.txt"));

    EXPECT_TRUE(Call("KVPak.UnloadPak('first')").empty());
    EXPECT_FALSE(Holds("a.txt"));
    // Not loaded: nothing happens.
    EXPECT_TRUE(Call("KVPak.UnloadPak('first')").empty());
}

TEST_F(KVPakLibTest, ErrorsOfTheScriptCalls) {
    struct Case {
        const char* call;
        const char* error;
    };
    const Case cases[] = {
        {"KVPak.LoadPak('First')", "Unknown pak name"},  // exact names
        {"KVPak.LoadPak('missing')", "Unable to load pak"},
        {"KVPak.LoadPak()", "Invalid number of arguments"},
        {"KVPak.UnloadPak('nope')", "Unknown pak name"},
        {"KVPak.UnloadPak('first', 'x')", "Invalid number of arguments"},
        // A name that is not text ends the call at the type check.
        {"KVPak.LoadPak(1)", "Argument #1 type is invalid"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.call);
        std::vector<std::string> errors = Call(c.call);
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_NE(errors[0].find(c.error), std::string::npos) << errors[0];
    }
    EXPECT_EQ(pak.GetLoadedPakCount(), 0u);
}
