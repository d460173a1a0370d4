#include <gtest/gtest.h>

#include <ctime>

#include "support/KVLogCapture.h"
#include "support/KVMemoryFile.h"
#include "support/KVProjectFileWriter.h"
#include "support/KVRecordingSerializeHost.h"
#include "support/KVSceneFileWriter.h"
#include "support/KVTestLuaHost.h"
#include "units/KVSerialize.h"
#include "units/KVUnitFactory.h"

using namespace kvl;
using Calls = std::vector<std::string>;

namespace {

constexpr uint64_t kProjectId = 0x00000abc00000def;

class KVSerializeTest : public ::testing::Test {
protected:
    void SetUp() override {
        serializer.SetHost(&host);
        serializer.SetFileInterface(&files);
        host.projectId = kProjectId;
    }

    // Project "g/p.kvproj": kvls a, b, c; groups Start {0,1} loaded at start,
    // Level {1,2}, Extra {2}.
    void LoadSampleProject() {
        kvtest::KVProjectFileWriter w(0x10005, kProjectId);
        w.AddKvl("a.kvl").AddKvl("b.kvl").AddKvl("c.kvl");
        w.AddGroup("Start", {0, 1}, true).AddGroup("Level", {1, 2}).AddGroup("Extra", {2});
        files.SetFile("g/p.kvproj", w.Build());
        ASSERT_EQ(serializer.LoadProject("g/p.kvproj"), 0);
        serializer.CloseFile();
        host.calls.clear();
    }

    std::vector<uint32_t> LoadCounts() {
        std::vector<uint32_t> counts;
        for (const KVKvlRecord& k : serializer.GetKvls()) counts.push_back(k.loadCount);
        return counts;
    }

    // What the core does at start-up for groups loaded at start.
    void LoadStartGroups() {
        for (KVGroupRecord& g : serializer.GetGroups()) {
            if (!g.loadAtStart) continue;
            g.startLoadHeld = true;
            for (uint32_t k : g.kvls) ++serializer.GetKvls()[k].loadCount;
        }
    }

    kvtest::KVLogCapture log;
    kvtest::KVMemoryFile files;
    kvtest::KVRecordingSerializeHost host;
    KVSerialize serializer;
};

TEST_F(KVSerializeTest, AnswersItsOwnInterfaceOnly) {
    void* out = nullptr;
    EXPECT_EQ(serializer.QueryInterface(IID_IKVSerialize, &out), 0);
    EXPECT_EQ(out, static_cast<IKVSerialize*>(&serializer));
    out = &serializer;
    EXPECT_EQ(serializer.QueryInterface(IID_IKVFile, &out), 2);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(KVSerialize::Instance(), &serializer);
}

TEST_F(KVSerializeTest, PhasesTakeAFreshIdRegisterTheLibraryAndEmptyTheKvlList) {
    kvtest::KVTestLuaHost lua;
    LoadSampleProject();
    serializer.Init(0);
    EXPECT_FALSE(serializer.GetFileInfoCache().GetExactMatch());
    EXPECT_EQ(serializer.GetFileInterface(), nullptr);
    serializer.Init(1);
    EXPECT_EQ(host.calls, Calls{"NewUid"});
    EXPECT_EQ(serializer.GetProjectId(), host.nextUid - 1);
    EXPECT_EQ(serializer.GetKvlCount(), 0);
    lua.Start();
    EXPECT_FALSE(lua.GlobalIsNil("KVFileManager"));
    const KVLuaFunctionEntry* table = nullptr;
    EXPECT_EQ(serializer.GetLuaFunctions(&table), 0);
    ASSERT_NE(table, nullptr);

    serializer.SetFileInterface(&files);
    LoadSampleProject();
    serializer.Init(2);
    EXPECT_EQ(serializer.GetFileInterface(), &files);
    EXPECT_EQ(serializer.Release(2), 0);
    EXPECT_EQ(serializer.GetKvlCount(), 0);
}

TEST_F(KVSerializeTest, WithoutACoreTheEngineHostAsksTheUnitFactoryForTheId) {
    KVUnitFactory factory;
    serializer.SetHost(nullptr);
    serializer.Init(1);
    // A uid of the factory's: its year field is this year's.
    const uint64_t id = serializer.GetProjectId();
    std::time_t now = std::time(nullptr);
    std::tm parts{};
    localtime_r(&now, &parts);
    EXPECT_NE(id, 0u);
    EXPECT_EQ((id / 100 / 60) % 100, uint64_t(parts.tm_year + 1900 - 2004) % 100);
}

TEST_F(KVSerializeTest, ReadKvlHeaderBeforeAnyProjectOpensNothing) {
    LoadSampleProject();
    KVSerialize fresh;
    fresh.SetHost(&host);
    fresh.SetFileInterface(&files);
    fresh.GetKvls().resize(1);
    fresh.GetKvls()[0].path = "g/a.kvl";
    fresh.GetKvls()[0].modified = true;
    files.SetAttributes("g/a.kvl", KVFILE_ATTR_READONLY);
    const int32_t opens = files.OpenCount();
    EXPECT_EQ(fresh.ReadKvlHeader(0), 0);
    EXPECT_EQ(files.OpenCount(), opens);
    EXPECT_FALSE(fresh.IsFileOpen());
    EXPECT_EQ(fresh.GetCurrentFilePath(), "g/a.kvl");
    EXPECT_FALSE(fresh.GetKvls()[0].modified);
    EXPECT_TRUE(fresh.GetKvls()[0].readOnly);
}

TEST_F(KVSerializeTest, ReadKvlHeaderOpensTheSceneAndReportsFailures) {
    LoadSampleProject();
    files.SetFile("g/a.kvl", kvtest::KVSceneFileWriter(0x20004, kProjectId).Data());
    files.SetFile("g/b.kvl", kvtest::KVSceneFileWriter(0x20004, kProjectId + 1).Data());
    serializer.GetKvls()[0].modified = true;

    EXPECT_EQ(serializer.ReadKvlHeader(0), 0);
    EXPECT_TRUE(serializer.IsFileOpen());
    EXPECT_EQ(serializer.GetCurrentKvlIndex(), 0);
    EXPECT_EQ(serializer.GetVersion(), 0x20004u);
    EXPECT_EQ(serializer.GetProjectVersion(), 0x10005u);
    EXPECT_FALSE(serializer.GetKvls()[0].modified);
    EXPECT_FALSE(serializer.GetKvls()[0].readOnly);

    // Opening the next scene closes the one open.
    EXPECT_EQ(serializer.ReadKvlHeader(1), 1);
    EXPECT_EQ(log.Errors(), Calls{"g/b.kvl: invalid signature"});
    EXPECT_FALSE(serializer.IsFileOpen());
    EXPECT_EQ(files.OpenHandles(), 0);

    EXPECT_EQ(serializer.ReadKvlHeader(2), KV_OPEN_READ_FAILED);
    EXPECT_EQ(serializer.ReadKvlHeader(3), KV_INVALID);
    EXPECT_EQ(serializer.ReadKvlHeader(-1), KV_INVALID);
    EXPECT_EQ(log.Errors().size(), 3u);
}

TEST_F(KVSerializeTest, GroupLoadsOpenEachSceneOnceAndReleasePhaseOneUnloadsThem) {
    LoadSampleProject();
    EXPECT_EQ(serializer.LoadGroup(1), 0);
    EXPECT_EQ(host.calls, (Calls{"LoadScenePaks(Level)", "OpenKvl(1)", "OpenKvl(2)", "FinishSceneLoad(1,0)",
                                 "ReleaseTemporaryPaks"}));
    host.calls.clear();
    EXPECT_EQ(serializer.LoadGroup(1), 0);
    EXPECT_TRUE(host.calls.empty());  // nothing newly opened: no paks, no finishing passes
    EXPECT_EQ(serializer.LoadGroup(2), 0);
    EXPECT_TRUE(host.calls.empty());
    EXPECT_EQ(LoadCounts(), (std::vector<uint32_t>{0, 2, 3}));
    EXPECT_EQ(serializer.GetGroups()[1].loadCount, 2);

    EXPECT_EQ(serializer.UnloadGroup(1), 0);
    EXPECT_TRUE(host.calls.empty());
    EXPECT_EQ(LoadCounts(), (std::vector<uint32_t>{0, 1, 2}));

    EXPECT_EQ(serializer.Release(1), 0);
    EXPECT_EQ(host.calls, (Calls{"UnloadKvl(1,0)", "UnloadKvl(2,0)"}));
    EXPECT_EQ(LoadCounts(), (std::vector<uint32_t>{0, 0, 0}));
    for (const KVGroupRecord& g : serializer.GetGroups()) EXPECT_EQ(g.loadCount, 0);
}

TEST_F(KVSerializeTest, UnloadingAGroupThatHoldsNothingChangesNothing) {
    LoadSampleProject();
    EXPECT_EQ(serializer.UnloadGroup(2), 0);
    EXPECT_EQ(serializer.UnloadGroup(1), 0);
    EXPECT_TRUE(host.calls.empty());
    EXPECT_EQ(LoadCounts(), (std::vector<uint32_t>{0, 0, 0}));
    EXPECT_EQ(serializer.GetGroups()[2].loadCount, 0);
    // Nothing is loaded when the game stops.
    serializer.Release(1);
    EXPECT_TRUE(host.calls.empty());
    // A later load still opens the scenes.
    serializer.LoadGroup(2);
    EXPECT_EQ(host.CallsStartingWith("OpenKvl"), Calls{"OpenKvl(2)"});
}

TEST_F(KVSerializeTest, AStartGroupUnloadedByTheGameStaysUnloadedWithACountOfZero) {
    LoadSampleProject();
    LoadStartGroups();
    EXPECT_EQ(serializer.UnloadGroup(0), 0);
    EXPECT_EQ(host.calls, (Calls{"UnloadKvl(0,0)", "UnloadKvl(1,0)"}));
    EXPECT_EQ(serializer.GetGroups()[0].loadCount, 0);
    host.calls.clear();
    EXPECT_EQ(serializer.UnloadGroup(0), 0);  // nothing left to unload
    EXPECT_TRUE(host.calls.empty());
    EXPECT_EQ(serializer.GetGroups()[0].loadCount, 0);

    // Loaded again and unloaded again like any group; the game's stop
    // loads nothing.
    serializer.LoadGroup(0);
    EXPECT_EQ(host.CallsStartingWith("OpenKvl"), (Calls{"OpenKvl(0)", "OpenKvl(1)"}));
    serializer.UnloadGroup(0);
    EXPECT_EQ(LoadCounts(), (std::vector<uint32_t>{0, 0, 0}));
    host.calls.clear();
    serializer.Release(1);
    EXPECT_TRUE(host.calls.empty());
    EXPECT_EQ(serializer.GetGroups()[0].loadCount, 0);
}

TEST_F(KVSerializeTest, AStartGroupLoadedOnceMoreUnloadsTwiceThenHoldsNothing) {
    LoadSampleProject();
    LoadStartGroups();
    serializer.LoadGroup(0);
    EXPECT_EQ(LoadCounts(), (std::vector<uint32_t>{2, 2, 0}));
    serializer.UnloadGroup(0);
    EXPECT_TRUE(host.CallsStartingWith("UnloadKvl").empty());
    serializer.UnloadGroup(0);
    EXPECT_EQ(host.CallsStartingWith("UnloadKvl"), (Calls{"UnloadKvl(0,0)", "UnloadKvl(1,0)"}));
    serializer.UnloadGroup(0);
    EXPECT_EQ(LoadCounts(), (std::vector<uint32_t>{0, 0, 0}));
    EXPECT_EQ(serializer.GetGroups()[0].loadCount, 0);
}

TEST_F(KVSerializeTest, AFailedSceneLoadIsReportedAsAFailure) {
    LoadSampleProject();
    host.openResults[2] = 1;
    EXPECT_EQ(serializer.LoadGroup(1), 1);
    EXPECT_TRUE(log.HasError("g/c.kvl: scene not loaded (error 0x1)"));
    // The counts stay balanced so the group still unloads.
    EXPECT_EQ(serializer.GetGroups()[1].loadCount, 1);
    EXPECT_EQ(host.CallsStartingWith("FinishSceneLoad").size(), 1u);
    serializer.UnloadGroup(1);
    EXPECT_EQ(LoadCounts(), (std::vector<uint32_t>{0, 0, 0}));
}

TEST_F(KVSerializeTest, LoadingThroughTheHeaderReaderReportsABadScene) {
    LoadSampleProject();
    files.SetFile("g/b.kvl", kvtest::KVSceneFileWriter(0x20004, kProjectId).Data());
    files.SetFile("g/c.kvl", kvtest::KVSceneFileWriter(0x20005, kProjectId).Data());
    host.onOpenKvl = [this](int32_t index) {
        int32_t result = serializer.ReadKvlHeader(index);
        serializer.CloseFile();
        return result;
    };
    EXPECT_EQ(serializer.LoadGroup(1), 1);
    EXPECT_TRUE(log.HasError("g/c.kvl: version of kvl is more recent than this version of Kelvane"));
    EXPECT_EQ(files.OpenHandles(), 0);
}

TEST_F(KVSerializeTest, APendingProjectStopsAGroupLoadEarly) {
    LoadSampleProject();
    host.pendingProject = true;
    EXPECT_EQ(serializer.LoadGroup(1), 0);
    EXPECT_TRUE(host.calls.empty());
    EXPECT_EQ(LoadCounts(), (std::vector<uint32_t>{0, 1, 0}));
    EXPECT_EQ(serializer.GetGroups()[1].loadCount, 0);
}

TEST_F(KVSerializeTest, BadGroupIndicesChangeNothing) {
    LoadSampleProject();
    EXPECT_EQ(serializer.LoadGroup(3), KV_INVALID);
    EXPECT_EQ(serializer.LoadGroup(-1), KV_INVALID);
    EXPECT_EQ(serializer.UnloadGroup(3), KV_INVALID);
    EXPECT_TRUE(host.calls.empty());
}

TEST_F(KVSerializeTest, FindGroupMatchesNamesExactly) {
    EXPECT_EQ(serializer.FindGroup("Start"), -1);
    LoadSampleProject();
    EXPECT_EQ(serializer.FindGroup("Level"), 1);
    EXPECT_EQ(serializer.FindGroup("level"), -1);
    EXPECT_EQ(serializer.FindGroup("Leve"), -1);
    EXPECT_EQ(serializer.FindKvlByTitle("B"), 1);
}

TEST_F(KVSerializeTest, RemoveKvlRenumbersAndForgetsTheRemovedIndex) {
    LoadSampleProject();
    EXPECT_EQ(serializer.RemoveKvl(1), 0);
    ASSERT_EQ(serializer.GetKvlCount(), 2);
    EXPECT_EQ(serializer.GetKvls()[1].path, "g/c.kvl");
    EXPECT_EQ(serializer.GetGroups()[0].kvls, std::vector<uint32_t>{0});
    EXPECT_EQ(serializer.GetGroups()[1].kvls, std::vector<uint32_t>{1});
    EXPECT_EQ(serializer.GetGroups()[2].kvls, std::vector<uint32_t>{1});
    // Loading the first group no longer opens the kvl that took the index.
    serializer.LoadGroup(0);
    EXPECT_EQ(host.CallsStartingWith("OpenKvl"), Calls{"OpenKvl(0)"});
    EXPECT_EQ(serializer.RemoveKvl(2), KV_INVALID);
}

TEST_F(KVSerializeTest, SetKvlModifiedNotifiesTheHost) {
    LoadSampleProject();
    EXPECT_EQ(serializer.SetKvlModified(2, true), 0);
    EXPECT_TRUE(serializer.GetKvls()[2].modified);
    EXPECT_EQ(host.calls, Calls{"Notify(15,0)"});
    EXPECT_EQ(serializer.SetKvlModified(5, true), KV_INVALID);
}

TEST_F(KVSerializeTest, CheckFileChangedComparesTheFileInformation) {
    EXPECT_EQ(serializer.CheckFileChanged("g/x.png"), 1);  // no information: always changed
    EXPECT_EQ(serializer.CheckFileChanged("g/x.png"), 1);
    EXPECT_EQ(serializer.GetFileInfoCache().GetEntryCount(), 0u);

    KVFileTime t;
    t.a = 1;
    t.b[4] = 9;
    t.c = 3;
    files.SetFileTime("g/x.png", t);
    EXPECT_EQ(serializer.CheckFileChanged("g/x.png"), 1);
    EXPECT_EQ(serializer.CheckFileChanged("g/x.png"), 0);
    t.b[4] = 10;
    files.SetFileTime("g/x.png", t);
    EXPECT_EQ(serializer.CheckFileChanged("g/x.png"), 1);
    EXPECT_EQ(serializer.CheckFileChanged("g/x.png"), 0);

    // After phase 0 lookups ignore letter case.
    serializer.Init(0);
    serializer.SetFileInterface(&files);
    files.SetFileTime("G/X.PNG", t);
    EXPECT_EQ(serializer.CheckFileChanged("G/X.PNG"), 0);
    EXPECT_EQ(serializer.GetFileInfoCache().GetEntryCount(), 1u);
}

TEST(KVFileInfoCacheTest, CaseBlindLookupTriesEveryMatchingBranch) {
    KVFileInfoCache cache;
    KVFileTime one, two;
    one.a = 1;
    two.a = 2;
    EXPECT_EQ(cache.Check("Ab", one), 1);
    EXPECT_EQ(cache.Check("aB", two), 1);  // exact: a second path
    EXPECT_EQ(cache.GetEntryCount(), 2u);
    cache.SetExactMatch(false);
    // "AB" matches "Ab" first, whose record differs: it is replaced.
    EXPECT_EQ(cache.Check("AB", two), 1);
    EXPECT_EQ(cache.Check("ab", two), 0);
    EXPECT_EQ(cache.Check("A", one), 1);  // a prefix holds no record
    EXPECT_EQ(cache.GetEntryCount(), 3u);
    cache.Clear();
    EXPECT_EQ(cache.GetEntryCount(), 0u);
    EXPECT_EQ(cache.Check("ab", two), 1);
}

} // namespace
