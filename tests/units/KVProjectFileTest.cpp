#include <gtest/gtest.h>

#include <functional>

#include "kernel/KVPath.h"
#include "kernel/KVProperties.h"
#include "support/KVLogCapture.h"
#include "support/KVMemoryFile.h"
#include "support/KVProjectFileWriter.h"
#include "support/KVPropertiesBlockWriter.h"
#include "support/KVRecordingSerializeHost.h"
#include "units/KVSerialize.h"

using namespace kvl;
using kvtest::KVProjectFileWriter;

namespace {

constexpr const char* kPath = "games/demo/demo.kvproj";

class KVProjectFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        serializer.SetHost(&host);
        serializer.SetFileInterface(&files);
    }

    int32_t Load(const std::vector<uint8_t>& bytes, const std::string& path = kPath) {
        files.SetFile(path, bytes);
        return serializer.LoadProject(path);
    }

    kvtest::KVLogCapture log;
    kvtest::KVMemoryFile files;
    kvtest::KVRecordingSerializeHost host;
    KVSerialize serializer;
};

KVProjectFileWriter SampleProject(uint32_t version = 0x10005, uint64_t id = 0x1111222233334444ull) {
    KVProjectFileWriter w(version, id);
    w.AddKvl("scenes/menu.kvl").AddKvl("scenes/level1.kvl").AddKvl("../shared/hud.kvl");
    w.AddGroup("Menu", {0, 2}, true, "second text").AddGroup("Level1", {1, 2}).AddGroup("", {});
    return w;
}

TEST_F(KVProjectFileTest, ReadsGroupsAndAbsolutePathsAndStopsAtThePropertiesBlock) {
    KVProjectFileWriter w = SampleProject();
    w.Append({0xde, 0xad, 0xbe, 0xef});
    ASSERT_EQ(Load(w.Build()), 0);

    EXPECT_EQ(serializer.GetProjectPath(), kPath);
    EXPECT_EQ(serializer.GetProjectDirectory(), "games/demo/");
    EXPECT_EQ(kvl::GetProjectDirectory(), "games/demo/");
    EXPECT_EQ(host.calls.front(), "SetPakBasePath(games/demo/)");
    EXPECT_EQ(serializer.GetProjectVersion(), 0x10005u);
    EXPECT_EQ(serializer.GetVersion(), 0x10005u);
    EXPECT_EQ(serializer.GetProjectId(), 0x1111222233334444ull);
    EXPECT_TRUE(serializer.IsProjectOpened());

    ASSERT_EQ(serializer.GetKvlCount(), 3);
    EXPECT_EQ(serializer.GetKvls()[0].path, "games/demo/scenes/menu.kvl");
    EXPECT_EQ(serializer.GetKvls()[1].path, "games/demo/scenes/level1.kvl");
    EXPECT_EQ(serializer.GetKvls()[2].path, "games/shared/hud.kvl");
    for (const KVKvlRecord& kvl : serializer.GetKvls()) {
        EXPECT_EQ(kvl.loadCount, 0u);
        EXPECT_EQ(kvl.groupCount, 0u);
        EXPECT_FALSE(kvl.modified);
    }

    ASSERT_EQ(serializer.GetGroups().size(), 3u);
    const KVGroupRecord& menu = serializer.GetGroups()[0];
    EXPECT_EQ(menu.name, "Menu");
    EXPECT_EQ(menu.text, "second text");
    EXPECT_EQ(menu.kvls, (std::vector<uint32_t>{0, 2}));
    EXPECT_TRUE(menu.loadAtStart);
    EXPECT_EQ(menu.loadCount, 0);
    EXPECT_FALSE(serializer.GetGroups()[1].loadAtStart);
    EXPECT_TRUE(serializer.GetGroups()[2].kvls.empty());

    // The file stays open, positioned where the properties block begins.
    ASSERT_TRUE(serializer.IsFileOpen());
    uint8_t next[4];
    ASSERT_EQ(serializer.ReadBytes(next, 4), KV_OK);
    EXPECT_EQ(next[0], 0xde);
    EXPECT_EQ(serializer.Remaining(), 0u);
    EXPECT_TRUE(log.Errors().empty());
}

TEST_F(KVProjectFileTest, AnEmptyGroupTakesExactlyItsHead) {
    KVProjectFileWriter w(0x10005);
    w.AddKvl("a.kvl").AddGroup("", {});
    ASSERT_EQ(Load(w.Build()), 0);
    EXPECT_EQ(serializer.GetPosition(), 32u + 16u + 6u);
}

TEST_F(KVProjectFileTest, VersionDecidesTheFormatsAndThePathRules) {
    struct Case {
        uint32_t version;
        const char* path;
        bool oldFormat;
    };
    const Case cases[] = {
        {0x10001, "games/demo/maps/level one/a.kvl", true},
        {0x10002, "games/demo/maps/level one/a.kvl", true},
        {0x10003, "games/demo/maps\\level one\\a.kvl", true},
        {0x10004, "games/demo/Maps\\Level One\\A.kvl", true},
        {0x10005, "games/demo/Maps\\Level One\\A.kvl", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.version);
        KVProjectFileWriter w(c.version);
        w.AddKvl("Maps\\Level One\\A.kvl");
        ASSERT_EQ(Load(w.Build()), 0);
        EXPECT_EQ(serializer.GetKvls()[0].path, c.path);
        EXPECT_EQ(serializer.GetOldValueEncoding(), c.oldFormat);
        EXPECT_EQ(serializer.GetOldChunkHeader(), c.oldFormat);
    }
}

TEST_F(KVProjectFileTest, AZeroIdKeepsTheIdMadeAtInitialisation) {
    serializer.Init(1);
    const uint64_t made = serializer.GetProjectId();
    EXPECT_NE(made, 0u);
    ASSERT_EQ(Load(KVProjectFileWriter(0x10005, 0).AddKvl("a.kvl").Build()), 0);
    EXPECT_EQ(serializer.GetProjectId(), made);
    ASSERT_EQ(Load(KVProjectFileWriter(0x10005, 77).AddKvl("a.kvl").Build()), 0);
    EXPECT_EQ(serializer.GetProjectId(), 77u);
}

TEST_F(KVProjectFileTest, RefusedBeforeOpening) {
    EXPECT_EQ(serializer.LoadProject(""), 1);
    EXPECT_EQ(serializer.GetProjectPath(), "");
    EXPECT_TRUE(host.calls.empty());

    files.SetFile("games/demo/demo.kvprojx", SampleProject().Build());
    EXPECT_EQ(serializer.LoadProject("games/demo/demo.kvprojX"), 1);
    EXPECT_EQ(serializer.LoadProject("games/demo/demo.kvprojx"), 1);
    EXPECT_EQ(files.OpenCount(), 0);
    EXPECT_EQ(serializer.GetProjectDirectory(), "games/demo/");
    EXPECT_EQ(host.CallsStartingWith("SetPakBasePath").size(), 2u);
    EXPECT_FALSE(serializer.IsProjectOpened());

    EXPECT_EQ(serializer.LoadProject("games/demo/missing.kvproj"), 1);
    EXPECT_TRUE(serializer.IsProjectOpened());
}

TEST_F(KVProjectFileTest, PropertiesBlockIsReadThroughTheSerializerInBothFormats) {
    for (uint32_t version : {0x10004u, 0x10005u}) {
        SCOPED_TRACE(version);
        KVProjectFileWriter w = SampleProject(version);
        kvtest::KVPropertiesBlockWriter block(version);
        block.AddInteger(0x0000000100000001ull, -42).AddString(0x0000000200000002ull, "Demo");
        w.Append(block.Build());
        w.Append({1, 2, 3, 4});
        ASSERT_EQ(Load(w.Build()), 0);
        KVProperties properties;
        ASSERT_EQ(properties.ReadProjectBlock(serializer), KV_OK);
        int32_t number = 0;
        std::string text;
        PropertyDescriptor d;
        d.target = &number;
        d.type = PROPERTY_INTEGER;
        d.key = "Number";
        d.section = "General";
        d.id = 0x0000000100000001ull;
        properties.DeclareProperty(d);
        d.target = &text;
        d.type = PROPERTY_STRING;
        d.key = "Text";
        d.id = 0x0000000200000002ull;
        properties.DeclareProperty(d);
        EXPECT_EQ(number, -42);
        EXPECT_EQ(text, "Demo");
        EXPECT_EQ(serializer.Remaining(), 4u);
    }
}

TEST_F(KVProjectFileTest, AWrongMagicFailsWithoutAMessageOfItsOwn) {
    KVProjectFileWriter w = SampleProject();
    w.SetMagic(0x4B505652u);  // reversed
    EXPECT_EQ(Load(w.Build()), 1);
    EXPECT_TRUE(log.Errors().empty());
    EXPECT_FALSE(serializer.IsFileOpen());
    EXPECT_EQ(files.OpenHandles(), 0);
}

TEST_F(KVProjectFileTest, MalformedHeadsFailWithALoggedErrorAndAClosedFile) {
    struct Case {
        const char* name;
        std::function<void(KVProjectFileWriter&)> change;
    };
    const Case cases[] = {
        {"group count 0xFFFFFFFF", [](KVProjectFileWriter& w) { w.SetGroupCount(0xffffffffu); }},
        {"group count one too many", [](KVProjectFileWriter& w) { w.SetGroupCount(4); }},
        {"path block 0xFFFFFFFF bytes", [](KVProjectFileWriter& w) { w.SetPathBlockSize(0xffffffffu); }},
        {"kvl count beyond the block", [](KVProjectFileWriter& w) { w.SetKvlCount(1000); }},
        {"fewer paths than the count", [](KVProjectFileWriter& w) { w.SetKvlCount(4); }},
        {"path block cutting a path", [](KVProjectFileWriter& w) { w.SetPathBlockSize(20); }},
        {"name length 0xFFFFFFFF",
         [](KVProjectFileWriter& w) {
             kvtest::KVChunkWriter g(false, false);
             g.RawU32(0).RawU32(0).RawU32(0xffffffffu).RawU32(0);
             w.SetGroupCount(1).SetGroupBytes(g.Data());
         }},
        {"index count 0x40000000",
         [](KVProjectFileWriter& w) {
             kvtest::KVChunkWriter g(false, false);
             g.RawU32(0x40000000u).RawU32(0).RawU32(0).RawU32(0).RawU32(0);
             w.SetGroupCount(1).SetGroupBytes(g.Data());
         }},
        {"index past the kvl list", [](KVProjectFileWriter& w) { w.AddGroup("Bad", {3}); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        log.Clear();
        KVProjectFileWriter w = SampleProject();
        c.change(w);
        EXPECT_EQ(Load(w.Build()), 1);
        ASSERT_FALSE(log.Errors().empty());
        EXPECT_EQ(log.Errors()[0].rfind(std::string(kPath) + ": ", 0), 0u);
        EXPECT_FALSE(serializer.IsFileOpen());
        EXPECT_EQ(files.OpenHandles(), 0);
        EXPECT_EQ(serializer.GetKvlCount(), 0);
        EXPECT_TRUE(serializer.GetGroups().empty());
    }
}

TEST_F(KVProjectFileTest, TruncatedAtEveryOffsetFailsCleanly) {
    const std::vector<uint8_t> full = SampleProject().Build();
    for (size_t cut = 0; cut < full.size(); ++cut) {
        SCOPED_TRACE(cut);
        log.Clear();
        EXPECT_EQ(Load(std::vector<uint8_t>(full.begin(), full.begin() + std::ptrdiff_t(cut))), 1);
        EXPECT_FALSE(log.Errors().empty());
        EXPECT_EQ(files.OpenHandles(), 0);
    }
    EXPECT_EQ(Load(full), 0);
}

} // namespace
