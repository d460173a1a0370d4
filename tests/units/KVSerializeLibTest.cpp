#include <gtest/gtest.h>

#include "support/KVFileManagerTest.h"
#include "support/KVPaddedFileWriter.h"
#include "support/KVTestCoreHost.h"
#include "support/KVTestScriptRun.h"

using kvtest::PaddedImage;
using kvtest::ReportedAt;
using kvtest::WithWord;
using Strings = std::vector<std::string>;

namespace {

class FileManagerTest : public kvtest::KVFileManagerTest {
protected:
    // The functions' values joined as Describe shows them.
    std::string Call(const std::string& call) { return Describe("KVFileManager." + call); }
    std::string Joined(const std::string& call) { return Describe("table.concat(KVFileManager." + call + ", ',')"); }
    bool HasError(const std::string& text) const { return host.HasError(text); }
    std::string Errors() const {
        std::string all;
        for (const std::string& e : kvtest::KVTestLuaHost::Errors()) all += e + "\n";
        return all;
    }

    // Project with the scenes Levels/Menu.kvl, scenes/level1.kvl, top.kvl
    // and the groups Start {0}, Level {1, 2}.
    void LoadSampleProject() {
        kvtest::KVProjectFileWriter project;
        project.AddKvl("Levels/Menu.kvl").AddKvl("scenes/level1.kvl").AddKvl("top.kvl");
        project.AddGroup("Start", {0}).AddGroup("Level", {1, 2});
        LoadProject(project);
    }

    // A listing entry served by the recording file layer.
    static kvl::FileFindData Entry(const std::string& name, uint32_t size, bool directory = false,
                                   uint32_t stamp = 0) {
        kvl::FileFindData entry;
        entry.name = name;
        entry.size = size;
        entry.attributes = directory ? uint32_t(kvl::KVFILE_ATTR_DIRECTORY) : 0u;
        entry.time.a = stamp >> 8;
        entry.time.b[4] = uint8_t(stamp);
        return entry;
    }
};

TEST_F(FileManagerTest, PublishesTheTwentyFunctions) {
    EXPECT_EQ(host.TableKeys("KVFileManager"),
              (Strings{"CheckWriteSpace", "CopyFile", "CreateDirectory", "DeleteDirectory", "DeleteFile",
                       "ExtractFileName", "FileExists", "FindFiles", "GetDriveLabel", "GetDriveType",
                       "GetFileAttributes", "GetKVLIndex", "GetKVLPath", "GetLastError", "LoadGroup", "LoadInCache",
                       "Open", "PadFile", "UnloadGroup", "UnpadFile"}));
}

TEST_F(FileManagerTest, PadFileWritesTheImageAndUnpadFileRestoresTheContent) {
    LoadSampleProject();
    std::string big(5000, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = char(i * 7 + 1);
    const struct {
        std::string content;
        uint32_t size;
    } cases[] = {
        {"", 8}, {"", 20}, {"abc", 11}, {"abc", 64}, {std::string("\xff\x00\x80", 3), 12}, {big, 5008}, {big, 6000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.content.size()) + " bytes padded to " + std::to_string(c.size));
        host.WriteAsset("in.bin", c.content);
        EXPECT_EQ(Call("PadFile('in.bin', 'padded.bin', " + std::to_string(c.size) + ")"), "boolean true");
        EXPECT_EQ(host.ReadAsset("padded.bin"), PaddedImage(c.content, c.size));
        EXPECT_EQ(Call("UnpadFile('padded.bin', 'out.bin')"), "boolean true");
        EXPECT_EQ(host.ReadAsset("out.bin"), c.content);
    }
    EXPECT_EQ(Errors(), "");
}

TEST_F(FileManagerTest, PadFileRefusesSizesBelowTheContentAndTrailer) {
    LoadSampleProject();
    host.WriteAsset("in.bin", "abcd");
    for (const char* size : {"11", "8", "7", "0", "-5"}) {
        SCOPED_TRACE(size);
        kvtest::KVTestLuaHost::ClearErrors();
        EXPECT_EQ(Call(std::string("PadFile('in.bin', 'padded.bin', ") + size + ")"), "boolean false");
        EXPECT_TRUE(HasError(ReportedAt(1, "Input File size is too big"))) << Errors();
        EXPECT_FALSE(host.Dir().Exists("assets/padded.bin"));
    }
    // Sizes the engine will not build in memory are refused before the
    // destination is touched.
    kvtest::KVTestLuaHost::ClearErrors();
    EXPECT_EQ(Call("PadFile('in.bin', 'padded.bin', 2^31 - 1)"), "boolean false");
    EXPECT_TRUE(HasError("Padded size is too large"));
    EXPECT_FALSE(host.Dir().Exists("assets/padded.bin"));
}

TEST_F(FileManagerTest, UnpadFileRefusesDamagedImages) {
    LoadSampleProject();
    const std::string good = PaddedImage("content", 32);
    std::string changedByte = good;
    changedByte[2] ^= 1;
    const struct {
        const char* what;
        std::string image;
    } cases[] = {
        {"checksum changed", WithWord(good, 28, 12345)},
        {"content changed", changedByte},
        {"length beyond the padding", WithWord(good, 24, 25)},
        {"length of all ones", WithWord(good, 24, 0xFFFFFFFFu)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        host.WriteAsset("padded.bin", c.image);
        host.WriteAsset("out.bin", "old");
        EXPECT_EQ(Call("UnpadFile('padded.bin', 'out.bin')"), "boolean false");
        EXPECT_EQ(host.ReadAsset("out.bin"), "");
    }
    // The stored length may be anything up to the padding.
    host.WriteAsset("padded.bin", WithWord(good, 24, 24));
    EXPECT_EQ(Call("UnpadFile('padded.bin', 'out.bin')"), "boolean true");
    EXPECT_EQ(host.ReadAsset("out.bin").size(), 24u);
    EXPECT_EQ(Errors(), "");
}

TEST_F(FileManagerTest, UnpadFileOfATruncatedImageFailsAtEveryLength) {
    LoadSampleProject();
    const std::string good = PaddedImage("state", 24);
    for (size_t n = 0; n < good.size(); ++n) {
        SCOPED_TRACE(n);
        kvtest::KVTestLuaHost::ClearErrors();
        host.WriteAsset("padded.bin", good.substr(0, n));
        EXPECT_EQ(Call("UnpadFile('padded.bin', 'out.bin')"), "boolean false");
        EXPECT_EQ(HasError("Source file is too small"), n < 8);
    }
}

TEST_F(FileManagerTest, PadAndUnpadReportFilesThatDoNotOpen) {
    LoadSampleProject();
    host.WriteAsset("in.bin", "abc");
    files.FailOpensContaining("locked");
    const struct {
        const char* call;
        const char* message;
    } cases[] = {
        {"PadFile('missing.bin', 'out.bin', 20)", "Unable to open source file"},
        {"PadFile('in.bin', 'locked.bin', 20)", "Unable to open destination file"},
        {"UnpadFile('missing.bin', 'out.bin')", "Unable to open source file"},
        {"CopyFile('missing.bin', 'out.bin')", "Unable to open source file"},
        {"CopyFile('in.bin', 'locked.bin')", "Unable to open destination file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.call);
        kvtest::KVTestLuaHost::ClearErrors();
        EXPECT_EQ(Call(c.call), "boolean false");
        EXPECT_TRUE(HasError(ReportedAt(1, c.message))) << Errors();
    }
    host.WriteAsset("padded.bin", PaddedImage("abc", 16));
    kvtest::KVTestLuaHost::ClearErrors();
    EXPECT_EQ(Call("UnpadFile('padded.bin', 'locked.bin')"), "boolean false");
    EXPECT_TRUE(HasError("Unable to open destination file"));
}

TEST_F(FileManagerTest, CopyFileCopiesEmptyAndMultiBlockFiles) {
    LoadSampleProject();
    for (size_t size : {0, 1, 2047, 2048, 2049, 4096, 5000}) {
        SCOPED_TRACE(size);
        std::string content(size, '\0');
        for (size_t i = 0; i < size; ++i) content[i] = char(i % 251);
        host.WriteAsset("src.bin", content);
        host.WriteAsset("dst.bin", "previous content");
        EXPECT_EQ(Call("CopyFile('src.bin', 'dst.bin')"), "boolean true");
        EXPECT_EQ(host.ReadAsset("dst.bin"), content);
    }
    EXPECT_EQ(Errors(), "");
}

TEST_F(FileManagerTest, CopyFileReportsAFailedReadOrWrite) {
    LoadSampleProject();
    host.WriteAsset("src.bin", std::string(5000, 'x'));
    files.ShortenReadsOf("src.bin", 3000);
    EXPECT_EQ(Call("CopyFile('src.bin', 'dst.bin')"), "boolean false");
    files.ShortenReadsOf("nothing", 0);
    files.ShortenWritesOf("dst.bin", 2100);
    EXPECT_EQ(Call("CopyFile('src.bin', 'dst.bin')"), "boolean false");
    files.ShortenWritesOf("full.bin", 0);
    EXPECT_EQ(Call("PadFile('src.bin', 'full.bin', 6000)"), "boolean false");
    host.WriteAsset("padded.bin", PaddedImage("abc", 16));
    EXPECT_EQ(Call("UnpadFile('padded.bin', 'full.bin')"), "boolean false");
    EXPECT_EQ(Errors(), "");
}

TEST_F(FileManagerTest, FindFilesListsDirectoriesFirstInEachSortOrder) {
    LoadSampleProject();
    host.WriteAsset("list/b.txt", std::string(30, 'b'));
    host.WriteAsset("list/A.txt", std::string(10, 'a'));
    host.WriteAsset("list/c.dat", std::string(20, 'c'));
    host.WriteAsset("list/z/inner.txt", "");
    // The directory's own entries "." and ".." are listed as directories.
    EXPECT_EQ(Joined("FindFiles('list/*', 'sort_by_name')"), "string .,..,z,A.txt,b.txt,c.dat");
    Run("bySize = KVFileManager.FindFiles('list/*', 'sort_by_size')\n"
        "byExtension = KVFileManager.FindFiles('list/*', 'sort_by_extension')\n"
        "directories = {bySize[1], bySize[2], bySize[3]}\n"
        "table.sort(directories)");
    EXPECT_EQ(Describe("table.concat(directories, ','), table.concat(bySize, ',', 4)"), "string .,..,z, string A.txt,c.dat,b.txt");
    EXPECT_EQ(Describe("#byExtension, byExtension[4]"), "number 6, string c.dat");
    EXPECT_EQ(Joined("FindFiles('list/*.txt', 'sort_by_name')"), "string A.txt,b.txt");
    // The pattern is normalised and resolved against the project directory.
    files.calls.clear();
    Run("KVFileManager.FindFiles('list\\\\*.dat')");
    EXPECT_EQ(files.CallsStartingWith("FindFirst"), Strings{"FindFirst(" + Asset("list/*.dat") + ")"});
    EXPECT_EQ(files.CallsStartingWith("FindClose"), Strings{"FindClose"});

    // Without a sort option (or with "no_sort") the listing order stays.
    std::string listed;
    kvl::FileFindData entry;
    const std::string pattern = Asset("list/*");
    kvl::KVFindHandle find = files.FindFirst(pattern.c_str(), &entry);
    ASSERT_NE(find, nullptr);
    do {
        listed += (listed.empty() ? "" : ",") + entry.name;
    } while (files.FindNext(find, &entry) == 0);
    files.FindClose(find);
    EXPECT_EQ(Joined("FindFiles('list/*')"), "string " + listed);
    EXPECT_EQ(Joined("FindFiles('list/*', 'no_sort')"), "string " + listed);
    EXPECT_EQ(Describe("#KVFileManager.FindFiles('nowhere/*')"), "number 0");
}

TEST_F(FileManagerTest, FindFilesSortsDatesAndSizesFarApart) {
    LoadSampleProject();
    files.useListing = true;
    files.listing = {Entry("huge", 0xFFFFFFF0u, false, 3), Entry("small", 5, false, 1),
                     Entry("middle", 0x80000010u, false, 2), Entry("dir", 0, true, 9)};
    // A signed 32-bit difference of these sizes would put them out of order.
    EXPECT_EQ(Joined("FindFiles('x/*', 'sort_by_size')"), "string dir,small,middle,huge");
    EXPECT_EQ(Joined("FindFiles('x/*', 'sort_by_date')"), "string dir,small,middle,huge");
    files.listing = {Entry("b.TXT", 1), Entry("noext", 1), Entry("a.bin", 1), Entry("sub", 0, true)};
    EXPECT_EQ(Joined("FindFiles('x/*', 'sort_by_extension')"), "string sub,noext,a.bin,b.TXT");
}

TEST_F(FileManagerTest, FindFilesRefusesAnUnknownSortOption) {
    LoadSampleProject();
    for (const char* option : {"'by_name'", "'SORT_BY_NAME'", "nil", "3"}) {
        SCOPED_TRACE(option);
        kvtest::KVTestLuaHost::ClearErrors();
        files.calls.clear();
        EXPECT_EQ(Call(std::string("FindFiles('list/*', ") + option + ")"), "");
        EXPECT_TRUE(HasError(ReportedAt(1, "invalid sort option")));
        EXPECT_TRUE(files.CallsStartingWith("FindFirst").empty());
    }
}

TEST_F(FileManagerTest, ExtractFileNameGivesTheTitle) {
    const struct {
        const char* path;
        const char* title;
    } cases[] = {
        {"dir\\\\name.ext", "name"}, {"a.b.c", "a.b"}, {"dir/", ""},       {"plain", "plain"},
        {"dir/name.", "name"},       {"x.y/file", "file"}, {"..\\\\up.lua", "up"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(Call(std::string("ExtractFileName('") + c.path + "')"), std::string("string ") + c.title);
    }
}

TEST_F(FileManagerTest, NormalisingAPathLeavesTheScriptsTextAlone) {
    LoadSampleProject();
    // Script texts are shared by every equal text: the one passed in must
    // still be itself, and still find itself as a table key.
    Run("p = 'dir\\\\sub\\\\name.ext'\n"
        "keys = {['dir\\\\sub\\\\name.ext'] = 1}\n"
        "title = KVFileManager.ExtractFileName(p)\n"
        "KVFileManager.FileExists(p)\n"
        "KVFileManager.GetFileAttributes(p)\n"
        "KVFileManager.CreateDirectory(p)\n"
        "same = p == 'dir' .. string.char(92) .. 'sub' .. string.char(92) .. 'name.ext'\n"
        "found = keys[p]");
    EXPECT_EQ(host.GlobalString("title"), "name");
    EXPECT_EQ(Describe("same, found, p:find('/')"), "boolean true, number 1, nil");
}

TEST_F(FileManagerTest, PathsAreNormalisedAndResolvedFunctionByFunction) {
    LoadSampleProject();
    Run("KVFileManager.CreateDirectory('made\\\\here')\n"
        "KVFileManager.DeleteFile('d\\\\e.txt')\n"
        "KVFileManager.DeleteDirectory('made\\\\here')\n"
        "KVFileManager.GetFileAttributes('a\\\\b')\n"
        "KVFileManager.FileExists('a\\\\b')\n"
        "KVFileManager.GetDriveType('a\\\\b')\n"
        "KVFileManager.GetDriveLabel('a\\\\b')\n"
        "KVFileManager.CheckWriteSpace('a\\\\b', 1, 2)");
    EXPECT_EQ(files.calls, (Strings{
                               "MakeDirectory(" + Asset("made/here") + ",0)",
                               "DeleteFile(" + Asset("d/e.txt") + ")",
                               "RemoveDirectory(" + Asset("made/here") + ")",
                               "GetFileAttributes(a/b)",
                               "Exists(a/b)",
                               "GetDriveType(a\\b)",
                               "GetDriveLabel(a\\b)",
                               "CheckWriteSpace(a\\b,1,2)",
                           }));
    // Rooted paths are kept as they are.
    files.calls.clear();
    Run("KVFileManager.DeleteFile('save:/x')");
    EXPECT_EQ(files.calls, Strings{"DeleteFile(save:/x)"});
}

TEST_F(FileManagerTest, DirectoryAndFileOperationsAnswerTheFileLayersStatus) {
    LoadSampleProject();
    EXPECT_EQ(Call("CreateDirectory('one/two')"), "boolean false");
    EXPECT_EQ(Call("CreateDirectory('one/two', true)"), "boolean true");
    EXPECT_TRUE(host.Dir().Exists("assets/one/two"));
    EXPECT_EQ(Call("CreateDirectory('one')"), "boolean true");
    host.WriteAsset("one/two/f.txt", "x");
    EXPECT_EQ(Call("DeleteDirectory('one/two')"), "boolean false");
    EXPECT_EQ(Call("DeleteFile('one/two/f.txt')"), "boolean true");
    EXPECT_EQ(Call("DeleteFile('one/two/f.txt')"), "boolean false");
    EXPECT_EQ(Call("DeleteDirectory('one/two')"), "boolean true");
    EXPECT_FALSE(host.Dir().Exists("assets/one/two"));
    // FileExists takes the path as it stands: the working directory here.
    EXPECT_EQ(Call("FileExists('assets/game.kvproj')"), "boolean true");
    EXPECT_EQ(Call("FileExists('game.kvproj')"), "boolean false");
}

TEST_F(FileManagerTest, AttributesDrivesSpaceAndErrorsComeFromTheFileLayer) {
    LoadSampleProject();
    const struct {
        int32_t status;
        uint32_t bits;
        const char* words;
    } attributes[] = {
        {1, 3, "error"}, {0, 0, ""}, {0, 1, "read_only"}, {0, 2, "directory"}, {0, 3, "directory,read_only"},
    };
    for (const auto& a : attributes) {
        files.attributesStatus = a.status;
        files.attributes = a.bits;
        EXPECT_EQ(Joined("GetFileAttributes('f')"), std::string("string ") + a.words);
    }
    const struct {
        int32_t status;
        int32_t kind;
        const char* name;
    } drives[] = {{0, 1, "hdd"}, {0, 2, "cdrom"}, {0, 3, ""}, {0, 0, ""}, {1, 1, ""}};
    for (const auto& d : drives) {
        files.driveTypeStatus = d.status;
        files.driveType = d.kind;
        EXPECT_EQ(Call("GetDriveType('c:/')"), std::string("string ") + d.name);
    }
    // The label is whatever the layer left, whatever its status.
    files.driveLabel = "GAME";
    EXPECT_EQ(Call("GetDriveLabel('c:/')"), "string GAME");
    files.driveLabelStatus = 0;
    files.driveLabel = "";
    EXPECT_EQ(Call("GetDriveLabel('c:/')"), "string ");

    files.writeSpace = 0;
    EXPECT_EQ(Call("CheckWriteSpace('save:/', 100, -1)"), "boolean false");
    EXPECT_EQ(files.CallsStartingWith("CheckWriteSpace").back(), "CheckWriteSpace(save:/,100,4294967295)");
    files.writeSpace = 7;
    EXPECT_EQ(Call("CheckWriteSpace('save:/', 1.9, 2)"), "boolean true");
    EXPECT_EQ(files.CallsStartingWith("CheckWriteSpace").back(), "CheckWriteSpace(save:/,1,2)");

    EXPECT_EQ(Call("GetLastError()"), "nil");
    files.hasLastError = true;
    files.lastError = "disk full";
    EXPECT_EQ(Call("GetLastError()"), "string disk full");
}

TEST_F(FileManagerTest, LoadInCacheReadsTheFileOrReportsItsPath) {
    LoadSampleProject();
    host.WriteAsset("cached.bin", std::string(3000, 'c'));
    const int32_t opens = files.OpenCount(0);
    EXPECT_EQ(Call("LoadInCache('cached.bin')"), "");
    EXPECT_EQ(files.OpenCount(0), opens + 1);
    EXPECT_EQ(Errors(), "");
    EXPECT_EQ(Call("LoadInCache('sub\\\\missing.bin')"), "");
    EXPECT_TRUE(HasError(ReportedAt(1, "Unable to open " + Asset("sub/missing.bin")))) << Errors();
}

TEST_F(FileManagerTest, GetKVLIndexMatchesTheFileTitleIgnoringCase) {
    LoadSampleProject();
    const struct {
        const char* name;
        int index;
    } cases[] = {
        {"menu", 0}, {"MENU.kvl", 0}, {"other/menu.x", 0}, {"Level1", 1}, {"top", 2}, {"men", -1}, {"menu2", -1}, {"", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Call(std::string("GetKVLIndex('") + c.name + "')"), "number " + std::to_string(c.index));
    }
}

TEST_F(FileManagerTest, GetKVLPathGivesTheScenesDirectory) {
    LoadSampleProject();
    const std::string root = host.Root().substr(0, host.Root().size() - 1);
    EXPECT_EQ(Call("GetKVLPath(1)"), "string " + root + "/scenes");
    EXPECT_EQ(Call("GetKVLPath('Level1.kvl')"), "string " + root + "/scenes");
    EXPECT_EQ(Call("GetKVLPath(2)"), "string " + root);
    EXPECT_EQ(Errors(), "");
    for (const char* scene : {"3", "-1", "'nothing'"}) {
        SCOPED_TRACE(scene);
        kvtest::KVTestLuaHost::ClearErrors();
        EXPECT_EQ(Call(std::string("GetKVLPath(") + scene + ")"), "");
        EXPECT_TRUE(HasError(ReportedAt(1, "Kvl index out of range")));
    }
}

TEST_F(FileManagerTest, GetKVLPathKeepsTheFinalSlashUntilAProjectOpens) {
    serializer.GetKvls().resize(2);
    serializer.GetKvls()[0].path = "scenes/level1.kvl";
    serializer.GetKvls()[1].path = "bare.kvl";
    EXPECT_EQ(Call("GetKVLPath(0)"), "string scenes/");
    EXPECT_EQ(Call("GetKVLPath('BARE')"), "string ");
}

TEST_F(FileManagerTest, GroupsLoadAndUnloadByNameAndIndex) {
    LoadSampleProject();
    Run("KVFileManager.LoadGroup('Level')");
    EXPECT_EQ(engine.CallsStartingWith("OpenKvl"), (Strings{"OpenKvl(1)", "OpenKvl(2)"}));
    Run("KVFileManager.LoadGroup(0)");
    EXPECT_EQ(engine.CallsStartingWith("OpenKvl"), (Strings{"OpenKvl(1)", "OpenKvl(2)", "OpenKvl(0)"}));
    Run("KVFileManager.UnloadGroup(1)");
    EXPECT_EQ(engine.CallsStartingWith("UnloadKvl"), (Strings{"UnloadKvl(1,0)", "UnloadKvl(2,0)"}));
    Run("KVFileManager.UnloadGroup('Start')");
    EXPECT_EQ(engine.CallsStartingWith("UnloadKvl").back(), "UnloadKvl(0,0)");
    EXPECT_EQ(Errors(), "");
}

TEST_F(FileManagerTest, UnknownGroupsAreReportedAndChangeNothing) {
    LoadSampleProject();
    const struct {
        const char* call;
        const char* message;
    } cases[] = {
        {"LoadGroup('level')", "Unknown group"},
        {"UnloadGroup('Nothing')", "Unknown group"},
        {"LoadGroup(2)", "Unknown group"},
        {"LoadGroup(-1)", "Unknown group"},
        {"UnloadGroup(1e12)", "Unknown group"},
        {"LoadGroup(true)", "Bad or missing argument (Arg #1)"},
        {"UnloadGroup({})", "Bad or missing argument (Arg #1)"},
        {"LoadGroup('Start', 1)", "Invalid number of arguments"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.call);
        kvtest::KVTestLuaHost::ClearErrors();
        EXPECT_EQ(Call(c.call), "");
        EXPECT_TRUE(HasError(c.message)) << Errors();
    }
    EXPECT_EQ(engine.calls, Strings{});
}

TEST_F(FileManagerTest, ArgumentChecksReportAndReturnNothing) {
    LoadSampleProject();
    host.WriteAsset("in.bin", "abc");
    const struct {
        const char* call;
        const char* message;
    } cases[] = {
        {"PadFile('in.bin', 'out.bin')", "Invalid number of arguments"},
        {"PadFile('in.bin', 'out.bin', '20')", "Argument #3 type is invalid"},
        {"CopyFile('in.bin')", "Invalid number of arguments"},
        {"Open('in.bin')", "Invalid number of arguments"},
        {"Open('in.bin', 1)", "Argument #2 type is invalid"},
        {"GetKVLIndex(1)", "Argument #1 type is invalid"},
        {"FindFiles()", "Invalid number of arguments"},
        {"CreateDirectory(false)", "Argument #1 type is invalid"},
        {"ExtractFileName('a', 'b')", "Invalid number of arguments"},
        {"CheckWriteSpace('a', 1)", "Invalid number of arguments"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.call);
        kvtest::KVTestLuaHost::ClearErrors();
        EXPECT_EQ(Call(c.call), "");
        EXPECT_TRUE(HasError(c.message)) << Errors();
    }
    EXPECT_FALSE(host.Dir().Exists("assets/out.bin"));
}

// The engine as it runs: the core's pak layer in front of the platform file
// layer, with "save:/" in the working directory.
class FileManagerCoreTest : public ::testing::Test {
protected:
    void SetUp() override { host.StartProject(); }
    void Run(const std::string& code) {
        std::string error;
        ASSERT_TRUE(host.Run(code, &error)) << error;
    }
    kvtest::KVTestCoreHost host;
};

TEST_F(FileManagerCoreTest, ThePlatformFileLayerAnswersItsQueriesAsUnsupported) {
    EXPECT_EQ(host.Describe("table.concat(KVFileManager.GetFileAttributes('save:/'), ',')"), "string error");
    EXPECT_EQ(host.Describe("KVFileManager.GetDriveType('save:/')"), "string ");
    EXPECT_EQ(host.Describe("KVFileManager.GetDriveLabel('save:/')"), "string ");
    EXPECT_EQ(host.Describe("KVFileManager.CheckWriteSpace('save:/', 1, 1)"), "boolean true");
    EXPECT_EQ(host.Describe("KVFileManager.GetLastError()"), "nil");
}

TEST_F(FileManagerCoreTest, AGameSavesItsStateAndLoadsItBackIdentical) {
    // What a game does with the library: write its state line by line into
    // a padded save, then read the save back after checking it.
    Run(R"(
        state = {level = 7, name = 'Hero of the North', score = 123456789, flags = 'a=b;c', empty = ''}
        keys = {}
        for k in pairs(state) do keys[#keys + 1] = k end
        table.sort(keys)
        local f = KVFileManager.Open('save:/slot1/state.txt', 'w')
        for _, k in ipairs(keys) do f:WriteLine(k .. '\t' .. tostring(state[k])) end
        written = f:Close()
        padded = KVFileManager.PadFile('save:/slot1/state.txt', 'save:/slot1/state.sav', 4096)
        unpadded = KVFileManager.UnpadFile('save:/slot1/state.sav', 'tmp:/state.txt')

        loaded = {}
        local r = KVFileManager.Open('tmp:/state.txt', 'r')
        while true do
            local line = r:ReadLine()
            if not line then break end
            local k, v = line:match('^([^\t]*)\t(.*)$')
            loaded[k] = tonumber(v) or v
        end
        atEnd = r:EndOfFile()
        r:Close()
        same = true
        for k, v in pairs(state) do if loaded[k] ~= v then same = false end end
        for k, v in pairs(loaded) do if state[k] ~= v then same = false end end
        listed = table.concat(KVFileManager.FindFiles('save:/slot1/state.*', 'sort_by_name'), ',')
    )");
    EXPECT_EQ(host.Describe("written, padded, unpadded, atEnd, same"),
              "boolean true, boolean true, boolean true, boolean true, boolean true");
    EXPECT_EQ(host.Describe("loaded.level, loaded.name, loaded.score, loaded.flags"),
              "number 7, string Hero of the North, number 123456789, string a=b;c");
    EXPECT_EQ(host.Describe("listed"), "string state.sav,state.txt");
    // The empty value wrote its key and a tab, so it comes back too.
    EXPECT_EQ(host.Describe("loaded.empty"), "string ");
    EXPECT_EQ(host.Dir().ReadFile("save/slot1/state.sav").size(), 4096u);
    EXPECT_EQ(host.Dir().ReadFile("save/slot1/state.sav"), PaddedImage(host.Dir().ReadFile("temp/state.txt"), 4096));
    EXPECT_TRUE(kvtest::KVTestCoreHost::Errors().empty());
}

} // namespace
