#include <gtest/gtest.h>

#include "support/KVMemoryFile.h"
#include "support/KVProjectFileWriter.h"
#include "support/KVRecordingSerializeHost.h"
#include "units/KVSerialize.h"

using namespace kvl;

namespace {

class KVSerializePathsTest : public ::testing::Test {
protected:
    void SetUp() override {
        serializer.SetHost(&host);
        serializer.SetFileInterface(&files);
    }

    // Loads a project at path so that its directory becomes the project's.
    void LoadProjectAt(const std::string& path, const std::vector<std::string>& kvls = {}) {
        kvtest::KVProjectFileWriter w(0x10005);
        for (const std::string& k : kvls) w.AddKvl(k);
        files.SetFile(path, w.Build());
        ASSERT_EQ(serializer.LoadProject(path), 0);
        serializer.CloseFile();
    }

    kvtest::KVMemoryFile files;
    kvtest::KVRecordingSerializeHost host;
    KVSerialize serializer;
};

TEST_F(KVSerializePathsTest, NormalizePathFoldsDotSteps) {
    const std::pair<const char*, const char*> cases[] = {
        {"a/./b", "a/b"},
        {"a/././b", "a/b"},
        {"./a/b", "./a/b"},
        {"a/b/.", "a/b/."},
        {"a/b/../c", "a/c"},
        {"a/b/c/../../d", "a/d"},
        {"a/../b", "b"},
        {"a/b/../../../c", "../c"},
        {"../a/b", "../a/b"},
        {"../../a", "../../a"},
        {"a/../../b", "../b"},
        {"/../a", "/../a"},
        {"/x/../a", "/a"},
        {"a/..b/c", "a/..b/c"},
        {"a/b/..", "a/b/.."},
        {"a/./../b", "b"},
        {"", ""},
    };
    for (const auto& c : cases) {
        std::string path = c.first;
        KVSerialize::NormalizePath(&path);
        EXPECT_EQ(path, c.second) << c.first;
    }
}

TEST_F(KVSerializePathsTest, IsRootedPathLooksAtTheFirstEightCharacters) {
    const std::pair<const char*, int32_t> cases[] = {
        {"/abs/path", 1}, {"c:/x", 1}, {"abcdefg:x", 1}, {"abcdefgh:x", 0}, {"rel/path", 0}, {"", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(serializer.IsRootedPath(c.first), c.second) << c.first;
}

TEST_F(KVSerializePathsTest, MakeAbsolutePathResolvesAgainstTheProjectDirectory) {
    LoadProjectAt("games/demo/demo.kvproj");
    const std::pair<const char*, const char*> cases[] = {
        {"scenes/a.kvl", "games/demo/scenes/a.kvl"},
        {"./scenes/./a.kvl", "games/demo/scenes/a.kvl"},
        {"../shared/a.kvl", "games/shared/a.kvl"},
        {"../../../up.kvl", "../up.kvl"},
        {"/abs/./x/../y", "/abs/./x/../y"},
        {"c:\\data\\x", "c:\\data\\x"},
    };
    for (const auto& c : cases) {
        std::string out;
        EXPECT_EQ(serializer.MakeAbsolutePath(c.first, &out), 0);
        EXPECT_EQ(out, c.second) << c.first;
    }
}

TEST_F(KVSerializePathsTest, MakeRelativePathClimbsOutOfTheProjectDirectory) {
    LoadProjectAt("/data/Games/Demo/demo.kvproj");
    const std::pair<const char*, const char*> cases[] = {
        {"/data/Games/Demo/scenes/a.kvl", "scenes/a.kvl"},
        {"/DATA/games/demo/scenes/a.kvl", "scenes/a.kvl"},
        {"/data/Games/Other/b.kvl", "../Other/b.kvl"},
        {"/data/Music/c.ogg", "../../Music/c.ogg"},
        {"/data/Games/Demo/x/../y.kvl", "y.kvl"},
        {"relative/path", "relative/path"},
        {"", ""},
    };
    for (const auto& c : cases) {
        std::string out;
        EXPECT_EQ(serializer.MakeRelativePath(c.first, &out), 0);
        EXPECT_EQ(out, c.second) << c.first;
    }
}

TEST_F(KVSerializePathsTest, WithoutAProjectDirectoryPathsOnlyNormalise) {
    std::string out;
    serializer.MakeRelativePath("a/./b", &out);
    EXPECT_EQ(out, "a/b");
    serializer.MakeAbsolutePath("a/../b", &out);
    EXPECT_EQ(out, "b");
}

TEST_F(KVSerializePathsTest, SplitListAndFileTitle) {
    const std::pair<const char*, std::vector<std::string>> lists[] = {
        {"", {}}, {"a", {"a"}}, {"one|two", {"one", "two"}}, {"a|", {"a"}}, {"|a", {"", "a"}}, {"a||b", {"a", "", "b"}},
    };
    for (const auto& c : lists) {
        std::vector<std::string> out = {"stale"};
        EXPECT_EQ(serializer.SplitList(c.first, &out), 0);
        EXPECT_EQ(out, c.second) << c.first;
    }
    const std::pair<const char*, const char*> titles[] = {
        {"dir/sub/file.name.kvl", "file.name"}, {"file", "file"}, {"dir.d/file", "file"}, {"dir/", ""},
    };
    for (const auto& c : titles) {
        std::string out;
        EXPECT_EQ(serializer.GetFileTitle(c.first, &out), 0);
        EXPECT_EQ(out, c.second) << c.first;
    }
}

TEST_F(KVSerializePathsTest, KvlLookupsGoByFileTitleIgnoringLetterCase) {
    LoadProjectAt("games/demo/demo.kvproj", {"Levels/Menu.kvl", "levels/other.kvl"});
    EXPECT_EQ(serializer.FindKvlByTitle("menu"), 0);
    EXPECT_EQ(serializer.FindKvlByTitle("MENU.kvl"), 0);
    EXPECT_EQ(serializer.FindKvlByTitle("elsewhere/menu.x"), 0);
    EXPECT_EQ(serializer.FindKvlByTitle("men"), -1);
    // The index of a scene named by path is the one of its title, wherever
    // the path points.
    EXPECT_EQ(serializer.GetKVLIndex("levels/./OTHER.kvl"), 1);
    EXPECT_EQ(serializer.GetKVLIndex("games/DEMO/levels/menu.kvl"), 0);
    EXPECT_EQ(serializer.GetKVLIndex("/elsewhere/other.kvl"), 1);
    EXPECT_EQ(serializer.GetKVLIndex("menu"), 0);
    EXPECT_EQ(serializer.GetKVLIndex("levels/men.kvl"), -1);
}

} // namespace
