// The script folder of a game as it ships: scripts in a pak over the plain
// script folder, folders nested deep, a directory link that loops. Each
// script runs once, in the order of its lower-cased path.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "kernel/KVDirectoryWalk.h"
#include "support/KVGameRig.h"
#include "support/KVPakWriter.h"
#include "support/KVSceneUnitsWriter.h"

using namespace kvtest;

namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

// A script that says which copy of which path ran.
std::string Marker(const std::string& path, const std::string& origin) {
    return "TestRecorder.Record('" + path + " " + origin + "')\n";
}

void AddEmptyScene(KVGameRig* game) {
    game->AddScene("scenes/main.kvl", KVSceneUnitsWriter().Scene(0x20004, KVGameRig::kProjectId));
}

TEST(KVLuaScriptsPakGameTest, AScriptInAPakAndOnDiskRunsOnceFromThePak) {
    // Paths both hold, paths only one holds, a namespace made by name, two
    // folder levels.
    const Strings both = {"app.lua", "sub/b.lua", "sub/deeper/c.lua", "hud.lua"};
    const Strings diskOnly = {"d.lua", "sub/deeper/e.lua"};
    const Strings pakOnly = {"f.lua", "sub/g.lua"};
    auto script = [](const std::string& path, const std::string& origin) {
        if (path != "hud.lua") return Marker(path, origin);
        return "KVLua.CreateNamespace('Hud')\nHud.origin = '" + origin + "'\n" + Marker(path, origin);
    };
    struct Form {
        const char* name;
        bool pak;         // the pak holds its scripts
        bool disk;        // the script folder holds its scripts
        bool compressed;
    };
    const Form forms[] = {
        {"stored pak over the folder", true, true, false},
        {"compressed pak over the folder", true, true, true},
        {"stored pak alone", true, false, false},
        {"the folder alone", false, true, false},
    };
    for (const Form& form : forms) {
        SCOPED_TRACE(form.name);
        KVGameRig game;
        AddEmptyScene(&game);
        KVPakWriter pak;
        for (const std::string& path : both) {
            if (form.disk) game.WriteScript(path, script(path, "disk"));
            if (form.pak) pak.Add("script/" + path, script(path, "pak"));
        }
        if (form.disk)
            for (const std::string& path : diskOnly) game.WriteScript(path, script(path, "disk"));
        if (form.pak) {
            for (const std::string& path : pakOnly) pak.Add("script/" + path, script(path, "pak"));
            game.AddPak("scripts", pak, form.compressed, true);
        }
        ASSERT_TRUE(game.Start());

        Strings expected;
        const std::string copy = form.pak ? "pak" : "disk";
        expected.push_back("app.lua " + copy);
        if (form.disk) expected.push_back("d.lua disk");
        if (form.pak) expected.push_back("f.lua pak");
        expected.push_back("hud.lua " + copy);
        expected.push_back("sub/b.lua " + copy);
        expected.push_back("sub/deeper/c.lua " + copy);
        if (form.disk) expected.push_back("sub/deeper/e.lua disk");
        if (form.pak) expected.push_back("sub/g.lua pak");
        EXPECT_EQ(game.Records(), expected);
        EXPECT_EQ(game.Eval("Hud.origin"), copy);
        EXPECT_TRUE(game.ScriptErrors().empty()) << game.ScriptErrors().front();
        game.Step();
    }
}

// A pak whose script folder nests far deeper than any game's: start-up ends
// (it once took many seconds, and overflowed the stack further down), and
// the scripts within the walk's depth run.
TEST(KVLuaScriptsPakGameTest, APakNestingItsScriptFolderDeepStillStarts) {
    const int bound = kvl::KVDirectoryWalk::kMaxDepth;
    for (int levels : {10000, 40000}) {
        SCOPED_TRACE(std::to_string(levels) + " levels");
        std::string deep = "script/";
        std::string atBound, pastBound;
        for (int i = 1; i <= levels; ++i) {
            deep += "a/";
            if (i == bound) atBound = deep;
            if (i == bound + 1) pastBound = deep;
        }
        KVPakWriter pak;
        pak.Add("script/app.lua", Marker("app.lua", "pak"))
            .Add(atBound + "in.lua", Marker("in.lua", "pak"))
            .Add(pastBound + "out.lua", Marker("out.lua", "pak"))
            .Add(deep + "bottom.lua", Marker("bottom.lua", "pak"));
        for (bool compressed : {false, true}) {
            SCOPED_TRACE(compressed ? "compressed" : "stored");
            KVGameRig game;
            AddEmptyScene(&game);
            game.AddPak("deep", pak, compressed, true);
            ASSERT_TRUE(game.Start());
            // "a/" comes before "app.lua" in byte order.
            EXPECT_EQ(game.Records(), (Strings{"in.lua pak", "app.lua pak"}));
            EXPECT_TRUE(game.ScriptErrors().empty()) << game.ScriptErrors().front();
        }
    }
}

// The same bound on disk, and directory links: one back up the tree (which
// once ran every script 41 times), and two links to one folder.
TEST(KVLuaScriptsPakGameTest, LinkedAndDeepFoldersOnDiskRunEachScriptOnce) {
    KVGameRig game;
    AddEmptyScene(&game);
    game.WriteScript("app.lua", "runs = (runs or 0) + 1\n" + Marker("app.lua", "disk"));
    game.WriteScript("lib/x.lua", "xs = (xs or 0) + 1\n");
    std::string deep;
    for (int i = 1; i <= kvl::KVDirectoryWalk::kMaxDepth + 1; ++i) {
        deep += "l" + std::to_string(i) + "/";
        if (i == kvl::KVDirectoryWalk::kMaxDepth) game.WriteScript(deep + "in.lua", Marker("in.lua", "disk"));
    }
    game.WriteScript(deep + "out.lua", Marker("out.lua", "disk"));
    const fs::path script = fs::path(game.Root()) / "script";
    fs::create_directory_symlink(".", script / "loop");
    fs::create_directory_symlink("lib", script / "alias");
    fs::create_directory_symlink("../lib", script / "lib" / "again");
    ASSERT_TRUE(game.Start());
    EXPECT_EQ(game.Records(), (Strings{"app.lua disk", "in.lua disk"}));
    EXPECT_EQ(game.Eval("runs"), "1");
    EXPECT_EQ(game.Eval("xs"), "1");
    EXPECT_TRUE(game.ScriptErrors().empty()) << game.ScriptErrors().front();
}

// A common script folder named without its "/" is the same folder.
TEST(KVLuaScriptsPakGameTest, ACommonScriptFolderNamedWithoutItsSlashIsThatFolder) {
    for (const char* named : {"lib", "lib/", "lib//"}) {
        SCOPED_TRACE(named);
        KVGameRig game;
        AddEmptyScene(&game);
        game.Config("Script", std::string("CommonScriptDirectory=") + named);
        game.WriteText("lib/a.lua", Marker("a.lua", "disk"));
        game.WriteText("lib/sub/b.lua", Marker("sub/b.lua", "disk"));
        game.WriteText("library/c.lua", Marker("c.lua", "disk"));
        game.WriteScript("d.lua", Marker("d.lua", "disk"));
        ASSERT_TRUE(game.Start());
        EXPECT_EQ(game.Records(), (Strings{"a.lua disk", "sub/b.lua disk"}));
        EXPECT_TRUE(game.ScriptErrors().empty()) << game.ScriptErrors().front();
    }
}

} // namespace
