#include <gtest/gtest.h>

#include "kernel/KVPath.h"

using namespace kvl;

TEST(KVPath, IsRootedPathLooksForASlashOrAColonInTheFirstEightCharacters) {
    struct Case {
        const char* path;
        bool rooted;
    } cases[] = {
        {"", false},          {"/abs/file", true},  {"rel/file", false},   {"c:/x", true},
        {"save:/x", true},    {"1234567:x", true},  {"12345678:x", false}, {"a/b:c", true},
        {"./x", false},
    };
    for (const Case& c : cases) EXPECT_EQ(IsRootedPath(c.path), c.rooted) << c.path;
}

TEST(KVPath, NormalizePathFoldsDotStepsWithoutClimbingPastTheStart) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"a/./b", "a/b"},
        {"a/././b", "a/b"},
        {"a/b/../c", "a/c"},
        {"a/b/c/../../d", "a/d"},
        {"/media/game/../x", "/media/x"},
        {"a/../b", "b"},
        {"../x", "../x"},
        {"../a/../b", "../b"},
        {"a/../../b", "../b"},
        {"/../x", "/../x"},
        {"a/..", "a/.."},
        {"x//../y", "x//../y"},
        {"./a/../b", "./b"},
    };
    for (const Case& c : cases) {
        std::string path = c.in;
        NormalizePath(path);
        EXPECT_EQ(path, c.out) << c.in;
    }
}

TEST(KVPath, MakeAbsolutePathResolvesAgainstTheBase) {
    EXPECT_EQ(MakeAbsolutePath("/media/game/", "script/a.lua"), "/media/game/script/a.lua");
    EXPECT_EQ(MakeAbsolutePath("/media/game/", "./script/./a.lua"), "/media/game/script/a.lua");
    EXPECT_EQ(MakeAbsolutePath("/media/game/", "../other/a.lua"), "/media/other/a.lua");
    // A rooted path comes back unchanged, not normalised.
    EXPECT_EQ(MakeAbsolutePath("/media/game/", "/x/./y"), "/x/./y");
    EXPECT_EQ(MakeAbsolutePath("/media/game/", "save:/a"), "save:/a");
    EXPECT_EQ(MakeAbsolutePath("", "script/"), "script/");
}

TEST(KVPath, MakeRelativePath) {
    struct Case {
        const char* base;
        const char* path;
        const char* out;
    } cases[] = {
        {"/media/game/", "/media/game/script/a.lua", "script/a.lua"},
        {"/media/game/", "/MEDIA/Game/script/a.lua", "script/a.lua"},
        {"/media/game/", "/media/other/a.lua", "../other/a.lua"},
        {"/media/game/sub/", "/media/other/a.lua", "../../other/a.lua"},
        {"/media/game/", "x/a.lua", "x/a.lua"},
        {"", "/a/./b", "/a/b"},
        {"/media/game/", "", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(MakeRelativePath(c.base, c.path), c.out) << c.base << " " << c.path;
}

TEST(KVPath, SplitListAndFileTitle) {
    std::vector<std::string> pieces{"stale"};
    SplitList("", &pieces);
    EXPECT_TRUE(pieces.empty());
    SplitList("a", &pieces);
    EXPECT_EQ(pieces, (std::vector<std::string>{"a"}));
    SplitList("one|two", &pieces);
    EXPECT_EQ(pieces, (std::vector<std::string>{"one", "two"}));
    SplitList("a||b|", &pieces);
    EXPECT_EQ(pieces, (std::vector<std::string>{"a", "", "b"}));

    EXPECT_EQ(GetFileTitle("dir/sub/scene.kvl"), "scene");
    EXPECT_EQ(GetFileTitle("a.b.c"), "a.b");
    EXPECT_EQ(GetFileTitle("dir.d/name"), "name");
}

TEST(KVPath, ProjectDirectoryIsEmptyUntilSet) {
    EXPECT_EQ(GetProjectDirectory(), "");
    SetProjectDirectory("/media/game/");
    EXPECT_EQ(GetProjectDirectory(), "/media/game/");
}
