#include "kernel/KVFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>

#include "support/KVFileTestSupport.h"

using namespace kvl;
namespace fs = std::filesystem;

namespace {

class FileTest : public ::testing::Test {
protected:
    kvtest::PlatformFileLayer layer;
    KVFile& files = layer.Files();

    // Every name a listing gives, with its entries.
    std::set<std::string> List(const char* pattern, std::map<std::string, FileFindData>* entries = nullptr) {
        std::set<std::string> names;
        FileFindData data;
        KVFindHandle find = files.FindFirst(pattern, &data);
        if (!find) return names;
        do {
            names.insert(data.name);
            if (entries) (*entries)[data.name] = data;
        } while (files.FindNext(find, &data) == 0);
        EXPECT_EQ(files.FindNext(find, &data), KV_NOT_FOUND);
        files.FindClose(find);
        return names;
    }
};

} // namespace

TEST_F(FileTest, StartUpMakesSaveAndTempWritableByTheirOwner) {
    const std::string base = layer.Base();
    EXPECT_EQ(files.GetBasePath(), base);
    for (const char* dir : {"save", "temp"}) {
        ASSERT_TRUE(fs::is_directory(base + dir)) << dir;
        unsigned mode = kvtest::ModeBits(base + dir);
        EXPECT_EQ(mode & 0700u, 0700u) << dir << " mode " << std::oct << mode;
        EXPECT_EQ(mode & (S_ISGID | S_ISVTX | S_ISUID), 0u) << dir << " mode " << std::oct << mode;
    }
    std::string root;
    files.GetRootPath(&root);
    EXPECT_EQ(root, base + "assets/");
    EXPECT_FALSE(fs::exists(base + "assets"));  // nothing makes the asset folder
}

TEST_F(FileTest, DirectoriesMadeLaterAreWritableByTheirOwner) {
    ASSERT_EQ(files.MakeDirectory("save:/deep/er", 1), 0);
    for (const char* dir : {"save/deep", "save/deep/er"})
        EXPECT_EQ(kvtest::ModeBits(layer.Base() + dir) & 0700u, 0700u) << dir;
}

TEST_F(FileTest, PrefixesResolveBelowTheBasePath) {
    const std::string base = layer.Base();
    struct Case {
        const char* path;
        std::string resolved;
    } cases[] = {
        {"save:/game.sav", base + "save/game.sav"},
        {"save:/a/b.txt", base + "save/a/b.txt"},
        {"tmp:/x", base + "temp/x"},
        {"save:/", "save:/"},  // bare prefixes stay as they are
        {"tmp:/", "tmp:/"},
        {"save:/../up.txt", base + "save/../up.txt"},
        {"Save:/x", "Save:/x"},
        {"save:x", "save:x"},
        {"plain/file", "plain/file"},
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(files.ResolvePath(c.path), c.resolved) << c.path;
    EXPECT_EQ(files.ResolvePath(nullptr), "");
}

TEST_F(FileTest, PrefixedFilesLandInTheirDirectories) {
    KVFileHandle h = nullptr;
    ASSERT_EQ(files.Open("save:/slot1.sav", KVFILE_WRITE, &h), 0);
    files.Write(h, "state", 5, nullptr, 0);
    files.Close(h);
    EXPECT_EQ(layer.Dir().ReadFile("save/slot1.sav"), "state");
    ASSERT_EQ(files.Open("tmp:/scratch", KVFILE_WRITE, &h), 0);
    files.Close(h);
    EXPECT_TRUE(fs::exists("temp/scratch"));
    // The bare prefix is a path of its own, which does not exist.
    EXPECT_EQ(files.Open("save:/", KVFILE_READ, &h), KV_OPEN_READ_FAILED);
}

TEST(KVFileMatchName, OnePassWithoutBacktracking) {
    struct Case {
        const char* name;
        const char* pattern;
        bool match;
    } cases[] = {
        {"main.lua", "*.lua", true},
        {"a.b.lua", "*.lua", false},  // the star stops at the first dot
        {"aa", "*a", false},
        {"abc", "abc*", false},
        {"abcd", "abc*", true},
        {"abc", "abc", true},
        {"abc", "ab", false},
        {"ab", "abc", false},
        {"abc", "a?c", true},
        {"abc", "???", true},
        {"ab", "???", false},
        {"abcd", "???", false},
        {".", "*", true},
        {"..", "*", true},
        {"", "", true},
        {"", "*", false},
        {"x", "", false},
        {"scene.kvl", "*.kvl", true},
        {"my.game.kvproj", "*.kvproj", false},
        {"game.kvproj", "*.kvproj", true},
        {"Main.lua", "main.lua", false},  // case counts
        {"save1.dat", "save?.dat", true},
        {"save10.dat", "save?.dat", false},
        {"ab", "*b", true},
        {"xyz", "x*", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(KVFile::MatchName(c.name, c.pattern), c.match) << c.name << " ~ " << c.pattern;
}

TEST_F(FileTest, ListingsFollowThePattern) {
    layer.Dir().WriteFile("scripts/main.lua", "-- 12345");
    layer.Dir().WriteFile("scripts/a.b.lua", "");
    layer.Dir().WriteFile("scripts/util.lua", "");
    layer.Dir().WriteFile("scripts/notes.txt", "");
    fs::create_directory("scripts/sub.lua");

    std::map<std::string, FileFindData> entries;
    EXPECT_EQ(List("scripts/*.lua", &entries), (std::set<std::string>{"main.lua", "util.lua", "sub.lua"}));
    EXPECT_EQ(entries["main.lua"].size, 8u);
    EXPECT_EQ(entries["main.lua"].attributes, 0u);
    EXPECT_EQ(entries["sub.lua"].attributes, uint32_t(KVFILE_ATTR_DIRECTORY));

    EXPECT_EQ(List("scripts/*"),
              (std::set<std::string>{".", "..", "main.lua", "a.b.lua", "util.lua", "notes.txt", "sub.lua"}));
    EXPECT_EQ(List("scripts/????.lua"), (std::set<std::string>{"main.lua", "util.lua"}));
    EXPECT_EQ(List("scripts/notes.txt"), (std::set<std::string>{"notes.txt"}));
    EXPECT_TRUE(List("scripts/*.png").empty());
    EXPECT_TRUE(List("scripts/").empty());
    EXPECT_EQ(List((layer.Base() + "scripts/u*").c_str()), (std::set<std::string>{"util.lua"}));
}

TEST_F(FileTest, ListingsOfSaveFiles) {
    layer.Dir().WriteFile("save/one.sav", "1");
    layer.Dir().WriteFile("save/two.sav", "22");
    EXPECT_EQ(List("save:/*.sav"), (std::set<std::string>{"one.sav", "two.sav"}));
}

TEST_F(FileTest, ListingsThatCannotStartAnswerNull) {
    layer.Dir().WriteFile("here.txt", "");
    const std::string tooLong = std::string(5000, 'z') + "/*";
    const char* patterns[] = {"here.txt", "*", "missing/*", "", tooLong.c_str(), nullptr};
    for (const char* p : patterns) {
        FileFindData data;
        data.name = "untouched";
        EXPECT_EQ(files.FindFirst(p, &data), nullptr) << (p ? std::string(p).substr(0, 20) : "null");
    }
}

TEST_F(FileTest, ListingCallsOnBadHandlesAnswerNotFound) {
    int notARecord = 0;
    FileFindData data;
    EXPECT_EQ(files.FindNext(nullptr, &data), KV_NOT_FOUND);
    EXPECT_EQ(files.FindNext(&notARecord, &data), KV_NOT_FOUND);
    files.FindClose(nullptr);
    files.FindClose(&notARecord);

    layer.Dir().WriteFile("d/f", "");
    KVFindHandle find = files.FindFirst("d/*", &data);
    ASSERT_NE(find, nullptr);
    files.FindClose(find);
    EXPECT_EQ(files.FindNext(find, &data), KV_NOT_FOUND);  // closed already
    files.FindClose(find);
}

TEST_F(FileTest, ListingsLeftOpenAreClosedWithTheLayer) {
    layer.Dir().WriteFile("d/f", "");
    FileFindData data;
    EXPECT_NE(files.FindFirst("d/*", &data), nullptr);  // leak-checked by the sanitizer build
}

TEST_F(FileTest, DirectoryTestTakesThePathUnchanged) {
    fs::create_directories("dir/inner");
    layer.Dir().WriteFile("file.txt", "");
    EXPECT_EQ(files.IsDirectory("dir"), 1);
    EXPECT_EQ(files.IsDirectory("dir/inner/"), 1);
    EXPECT_EQ(files.IsDirectory("file.txt"), 0);
    EXPECT_EQ(files.IsDirectory("nothing"), 0);
    EXPECT_EQ(files.IsDirectory("save:/"), 0);
    EXPECT_EQ(files.IsDirectory(""), 0);
    EXPECT_EQ(files.IsDirectory(nullptr), 0);
}

TEST_F(FileTest, RemovingFilesAndDirectories) {
    ASSERT_EQ(files.MakeDirectory((layer.Base() + "n1/n2/n3").c_str(), 1), 0);
    layer.Dir().WriteFile("n1/n2/n3/leaf.txt", "x");

    EXPECT_EQ(files.RemoveDirectory("n1"), 1);  // not empty
    EXPECT_EQ(files.DeleteFile("n1/n2/n3"), 1);  // a directory is no file
    EXPECT_EQ(files.DeleteFile("n1/n2/n3/leaf.txt"), 0);
    EXPECT_FALSE(fs::exists("n1/n2/n3/leaf.txt"));
    EXPECT_EQ(files.DeleteFile("n1/n2/n3/leaf.txt"), 1);  // gone
    EXPECT_EQ(files.RemoveDirectory("n1/n2/n3"), 0);
    EXPECT_EQ(files.RemoveDirectory("n1/n2"), 0);
    EXPECT_EQ(files.RemoveDirectory("n1"), 0);
    EXPECT_FALSE(fs::exists("n1"));
    EXPECT_EQ(files.RemoveDirectory("n1"), 1);

    struct Bad {
        const char* path;
    } bad[] = {{""}, {nullptr}, {"missing.txt"}};
    for (const Bad& b : bad) {
        EXPECT_EQ(files.DeleteFile(b.path), 1);
        EXPECT_EQ(files.RemoveDirectory(b.path), 1);
    }
    EXPECT_EQ(files.DeleteFile(std::string(5000, 'q').c_str()), 1);
}

TEST_F(FileTest, RemovalTakesNoPrefix) {
    layer.Dir().WriteFile("save/x.sav", "");
    EXPECT_EQ(files.DeleteFile("save:/x.sav"), 1);
    EXPECT_TRUE(fs::exists("save/x.sav"));
}

TEST(KVFileStartUp, IsTheProgramWideFileLayerWhileItExists) {
    kvtest::TempWorkDir dir;
    {
        KVFile files;
        EXPECT_EQ(KVFile::Instance(), &files);
        EXPECT_EQ(files.Init(0), 0);
        EXPECT_EQ(files.Init(1), 0);
        EXPECT_EQ(files.Update(0.1f), 0);
        for (int phase = 0; phase <= 4; ++phase) EXPECT_EQ(files.Release(phase), 0);
    }
    EXPECT_EQ(KVFile::Instance(), nullptr);
}
