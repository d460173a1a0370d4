// A game's script walking the folders of a pak it ships, through the file
// manager's listing, as the program plays it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/KVGameRig.h"
#include "support/KVPakWriter.h"
#include "support/KVSceneUnitsWriter.h"

using namespace kvtest;

namespace {

std::vector<uint8_t> AsBytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

// Enters every name it is given as a folder, as a script that does not ask
// which names are folders does; it stops by itself only when the listings
// end, and gives up after far more names than the pak holds.
const char* const kWalker =
    "walked = 0\n"
    "function walk(dir, depth)\n"
    "  if depth > 12 or walked > 200 then return end\n"
    "  for _, n in ipairs(KVFileManager.FindFiles(dir .. '*', 'sort_by_name') or {}) do\n"
    "    walked = walked + 1\n"
    "    TestRecorder.Record(dir .. n)\n"
    "    walk(dir .. n .. '/', depth + 1)\n"
    "  end\n"
    "end\n"
    "Walker = {}\n"
    "function Walker.OnCreate() walk('data/', 0) TestRecorder.Record('walked') end\n";

TEST(KVPakWalkGameTest, AScriptWalkingAPaksFoldersEnds) {
    const std::string nul(1, '\0');
    struct Case {
        const char* name;
        std::vector<std::string> shared, unshared;
        std::vector<std::string> walked;
    };
    const std::vector<Case> cases = {
        {"Plain", {"data/a", "data/d/x", "data/d/e/y"}, {}, {"data/d", "data/d/e", "data/d/e/y", "data/d/x", "data/a"}},
        // Names a path cannot carry, and copies of "data" (from the root
        // down, sharing no node) holding folder names of slashes and dots
        // under one named "*" and a NUL: a lookup finds the first "data"
        // only, and so does the walk.
        {"Knotted",
         {"data/a", "data/d/x", "data/?/b", "data/e" + nul, "data/f" + nul + "/g"},
         {"data/*" + nul + "//////x", "data/*" + nul + "//////x", "data/*" + nul + "/./x", "data/*" + nul + "//../x",
          "data/d/y"},
         {"data/d", "data/d/x", "data/a"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        KVPakWriter pak;
        for (const std::string& path : c.shared) pak.Add(path, "s");
        for (const std::string& path : c.unshared) pak.AddUnshared(path, "u");
        KVGameRig game;
        game.WriteFile("paks/main.kvpak", AsBytes(pak.Build(false)));
        game.WriteFile("paks/paks.kvpakdesc", AsBytes(BuildPakDescriptor({{"main", true, false, ""}})));
        KVSceneUnitsWriter units;
        units.AddPlainUnit("Walker", 1);
        game.AddScene("scenes/main.kvl", units.Scene(0x20004, KVGameRig::kProjectId));
        game.WriteScript("walk.lua", kWalker);
        ASSERT_TRUE(game.Start());
        std::vector<std::string> expected = c.walked;
        expected.push_back("walked");
        EXPECT_EQ(game.Records(), expected);
        EXPECT_TRUE(game.ScriptErrors().empty()) << game.ScriptErrors().front();
        game.Step();
    }
}

// The program's own walk of the script folder goes through the same
// listing: a pak whose script folder holds a folder named "*" and a NUL
// (the listing once gave the script folder back for it) starts, and its
// scripts that a path can name run.
TEST(KVPakWalkGameTest, AGameWhosePakHoldsKnottedScriptFoldersStarts) {
    const std::string nul(1, '\0');
    KVPakWriter pak;
    pak.Add("script/packed.lua", "TestRecorder.Record('packed')\n")
        .Add("script/*" + nul + "//x.lua", "TestRecorder.Record('knotted')\n")
        .Add("script/*" + nul + "/./y.lua", "TestRecorder.Record('knotted')\n")
        .Add("script/n" + nul + ".lua", "TestRecorder.Record('nul')\n");
    KVGameRig game;
    game.WriteFile("paks/main.kvpak", AsBytes(pak.Build(false)));
    game.WriteFile("paks/paks.kvpakdesc", AsBytes(BuildPakDescriptor({{"main", true, false, ""}})));
    game.AddScene("scenes/main.kvl", KVSceneUnitsWriter().Scene(0x20004, KVGameRig::kProjectId));
    game.WriteScript("plain.lua", "TestRecorder.Record('plain')\n");
    ASSERT_TRUE(game.Start());
    EXPECT_EQ(game.Records(), (std::vector<std::string>{"packed", "plain"}));
    game.Step();
}

} // namespace
