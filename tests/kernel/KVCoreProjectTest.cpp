#include <gtest/gtest.h>
#include <lua.hpp>

#include <cstdio>

#include "KVLua/KVLua.h"
#include "kernel/IKVLog.h"
#include "kernel/KVConfig.h"
#include "kernel/KVCore.h"
#include "kernel/KVModules.h"
#include "support/KVFakeGraphicDevice.h"
#include "support/KVProjectFileWriter.h"
#include "support/KVPropertiesBlockWriter.h"
#include "support/KVProjectClassWriter.h"
#include "support/KVSceneFileWriter.h"
#include "support/KVSceneUnitsWriter.h"
#include "support/KVTestSupport.h"
#include "units/KVSerialize.h"
#include "units/KVUnit.h"
#include "units/KVUnitFactory.h"

using namespace kvl;

namespace {

constexpr uint64_t kNeedSoundDevice = 0x001D90A67E3277C9ull;
constexpr uint64_t kProjectId = 0x0011223344556677ull;

std::vector<std::string> g_errors;
void RecordLog(const char* text, int32_t level, int32_t) {
    if (level == KVLOG_ERROR) g_errors.push_back(text);
}

// A game directory with one project of three scenes in three groups, and an
// application script counting "OnProjectLoaded".
class KVCoreProjectTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_errors.clear();
        kvtest::KVPropertiesBlockWriter properties(0x10005);
        properties.AddBoolean(kNeedSoundDevice, 0);
        kvtest::KVProjectFileWriter project(0x10005, kProjectId);
        project.AddKvl("scenes/a.kvl").AddKvl("scenes/b.kvl").AddKvl("scenes/c.kvl");
        project.AddGroup("start", {0, 1}, true).AddGroup("also", {1}, true).AddGroup("later", {2}, false);
        project.Append(properties.Build());
        ASSERT_TRUE(project.WriteTo(dir.Path() + "/assets/game.kvproj"));
        // Each scene holds one unit named after it in capitals.
        uint64_t uid = 0x100;
        for (const char* scene : {"a", "b", "c"}) {
            kvtest::KVSceneUnitsWriter units;
            units.AddPlainUnit(std::string(1, char(scene[0] - 'a' + 'A')), ++uid);
            ASSERT_TRUE(kvtest::KVChunkWriter::WriteFile(dir.Path() + "/assets/scenes/" + scene + ".kvl",
                                                         units.Scene(0x20004, kProjectId)));
        }
        dir.WriteFile("assets/script/app.lua",
                      "loaded = 0\nfunction Application.OnProjectLoaded() loaded = loaded + 1 end\n");
    }
    void TearDown() override {
        if (KVCore::Instance()) KVCore::ShutdownCore();
    }

    KVCore* StartCore(bool withDevice) {
        KVCore* core = KVCore::Instance(false);
        core->Init(0);
        GetLog()->SetCallback(&RecordLog);
        if (withDevice) KVModules::Instance()->RegisterModule(&kvtest::KVFakeGraphicDevice::Create);
        core->Init(1);
        return core;
    }

    double LuaNumber(const char* name) {
        lua_State* L = KVLua::Instance()->GetState();
        lua_getglobal(L, name);
        double v = lua_tonumber(L, -1);
        lua_pop(L, 1);
        return v;
    }

    kvtest::TempWorkDir dir;
};

TEST_F(KVCoreProjectTest, LoadsStartGroupsOnceAndRaisesProjectLoadedOnce) {
    KVCore* core = StartCore(true);
    ASSERT_EQ(core->LoadProject(""), 0) << (g_errors.empty() ? "" : g_errors.back());
    EXPECT_FALSE(core->IsLoadPending());
    // The scenes of the start groups, each once, with their units enabled.
    KVUnitFactory* units = KVUnitFactory::Instance();
    EXPECT_EQ(units->GetUnitCount(), 2);
    for (const char* name : {"A", "B"}) {
        IKVUnit* unit = nullptr;
        ASSERT_EQ(units->FindUnitByName(name, nullptr, &unit), 0) << name;
        EXPECT_EQ(unit->GetUnit()->GetKvlIndex(), name[0] - 'A');
        EXPECT_TRUE(unit->IsEnabled());
    }
    const std::vector<KVKvlRecord>& kvls = KVSerialize::Instance()->GetKvls();
    ASSERT_EQ(kvls.size(), 3u);
    EXPECT_EQ(kvls[1].loadCount, 2u);
    EXPECT_EQ(kvls[1].groupCount, 2u);
    EXPECT_EQ(kvls[2].loadCount, 0u);
    EXPECT_EQ(kvls[2].groupCount, 1u);
    EXPECT_EQ(core->GetProjectId(), kProjectId);

    core->SetActive(1);
    uint8_t keep = 0;
    core->Step(&keep);
    core->Step(&keep);
    EXPECT_EQ(LuaNumber("loaded"), 1.0);
}

std::vector<int32_t> g_notices;
void RecordNotice(int32_t code, int32_t, void*) { g_notices.push_back(code); }

TEST_F(KVCoreProjectTest, UnloadingAKvlClearsItsModifiedFlagWithoutTellingTheHost) {
    KVCore* core = StartCore(true);
    ASSERT_EQ(core->LoadProject(""), 0);
    g_notices.clear();
    core->SetNotifyCallback(&RecordNotice);
    KVSerialize* serializer = KVSerialize::Instance();
    ASSERT_EQ(serializer->SetKvlModified(0, true), 0);
    EXPECT_EQ(g_notices, std::vector<int32_t>{15});
    EXPECT_EQ(core->UnloadKvl(0, false), 0);
    EXPECT_FALSE(serializer->GetKvl(0)->modified);
    // Its unit went away (disabled: 14, removed: 13); no word of the flag.
    EXPECT_EQ(g_notices, (std::vector<int32_t>{15, 14, 13}));
    IKVUnit* unit = nullptr;
    EXPECT_EQ(KVUnitFactory::Instance()->FindUnitByName("A", nullptr, &unit), 4);
    core->SetNotifyCallback(nullptr);
}

TEST_F(KVCoreProjectTest, ConfigNamesTheProjectRelativeOrAbsolute) {
    kvtest::KVProjectFileWriter other(0x10005, kProjectId);
    ASSERT_TRUE(other.WriteTo(dir.Path() + "/elsewhere.kvproj"));
    dir.WriteFile("assets/config.ini", "[STARTUP]\nKVPROJ=" + dir.Path() + "/elsewhere.kvproj\n");
    KVCore* core = StartCore(true);
    EXPECT_EQ(core->GetProjectPath(), dir.Path() + "/elsewhere.kvproj");
    KVCore::ShutdownCore();

    dir.WriteFile("assets/config.ini", "[STARTUP]\nKVPROJ=game.kvproj\n");
    core = StartCore(true);
    std::string root;
    core->GetFileInterface()->GetRootPath(&root);
    EXPECT_EQ(core->GetProjectPath(), root + "game.kvproj");
}

TEST_F(KVCoreProjectTest, WithoutKvprojTheFirstProjectInByteOrderIsTaken) {
    // Whatever order the directory gives them in; capitals come before
    // small letters, and "a.b.kvproj" is no match of "*.kvproj".
    for (const char* name : {"p07", "p03", "zz", "p11", "Zed", "p00", "a.b", "p05", "m", "p09", "b", "Zee"})
        dir.WriteFile(std::string("assets/") + name + ".kvproj", "KVPR");
    KVCore* core = StartCore(true);
    std::string root;
    core->GetFileInterface()->GetRootPath(&root);
    EXPECT_EQ(core->GetProjectPath(), root + "Zed.kvproj");
    // With those gone, the game's own comes first.
    std::remove((dir.Path() + "/assets/Zed.kvproj").c_str());
    std::remove((dir.Path() + "/assets/Zee.kvproj").c_str());
    for (const char* name : {"b", "m", "p00", "p03", "p05", "p07", "p09", "p11", "zz"})
        std::remove((dir.Path() + "/assets/" + name + ".kvproj").c_str());
    EXPECT_EQ(core->GetProjectPath(), root + "game.kvproj");
}

TEST_F(KVCoreProjectTest, WithoutGraphicDeviceNoScenesLoadAndTheReasonIsLogged) {
    KVCore* core = StartCore(false);
    EXPECT_EQ(core->LoadProject(""), 0);
    EXPECT_TRUE(core->IsLoadPending());
    EXPECT_EQ(KVUnitFactory::Instance()->GetUnitCount(), 0);
    ASSERT_FALSE(g_errors.empty());
    EXPECT_NE(g_errors.back().find("no graphic device"), std::string::npos);
}

TEST_F(KVCoreProjectTest, UnreadableProjectIsReportedAndMarked) {
    dir.WriteFile("assets/game.kvproj", "KVPR");
    KVCore* core = StartCore(true);
    EXPECT_NE(core->LoadProject(""), 0);
    EXPECT_EQ(core->GetLoadError() & 4u, 4u);
    ASSERT_FALSE(g_errors.empty());
    EXPECT_EQ(g_errors.back().rfind("Unable to load " + dir.Path(), 0), 0u) << g_errors.back();
}

} // namespace

namespace {

constexpr uint64_t kLoadAnimator = 0x003471247D5E3310ull;
constexpr uint64_t kProbeClassId = 0x0070726F62650001ull;

// The same game with a loading screen script.
class KVCoreAnimatedLoadTest : public KVCoreProjectTest {
protected:
    void WriteProject(const std::string& loader) {
        kvtest::KVPropertiesBlockWriter properties(0x10005);
        properties.AddBoolean(kNeedSoundDevice, 0);
        properties.AddString(kLoadAnimator, "loader.lua");
        kvtest::KVProjectFileWriter project(0x10005, kProjectId);
        project.AddKvl("scenes/a.kvl").AddGroup("start", {0}, true).Append(properties.Build());
        ASSERT_TRUE(project.WriteTo(dir.Path() + "/assets/game.kvproj"));
        dir.WriteFile("assets/loader.luac", loader);
    }
    bool ScenesCreated() {
        IKVUnit* unit = nullptr;
        return KVUnitFactory::Instance()->FindUnitByName("A", nullptr, &unit) == 0;
    }
};

TEST_F(KVCoreAnimatedLoadTest, ScenesLoadWhenTheLoadingScriptExits) {
    WriteProject("n = 0\nfunction OnAnimatorInit() end\n"
                 "function OnAnimatorUpdate(dt) n = n + 1 if n == 3 then KVLoadAnimator.Exit() end end\n");
    KVCore* core = StartCore(true);
    ASSERT_EQ(core->LoadProject(""), 0);
    EXPECT_TRUE(core->IsLoading());
    EXPECT_FALSE(ScenesCreated());
    uint8_t keep = 0;
    for (int i = 0; i < 10 && core->IsLoading(); ++i) {
        core->Step(&keep);
        EXPECT_EQ(keep, 1);
    }
    EXPECT_FALSE(core->IsLoading());
    EXPECT_TRUE(ScenesCreated());
    EXPECT_FALSE(core->IsLoadPending());
    core->SetActive(1);
    core->Step(&keep);
    EXPECT_EQ(LuaNumber("loaded"), 1.0);
}

TEST_F(KVCoreAnimatedLoadTest, SuspendFinishesTheLoadWhileTheScriptRuns) {
    WriteProject("function OnAnimatorInit() end\n"
                 "function OnAnimatorUpdate(dt)\n"
                 "  if KVLoadAnimator.IsProjectLoading() then KVLoadAnimator.SuspendUntilEndOfLoading()\n"
                 "  else KVLoadAnimator.Exit() end\n"
                 "end\n");
    KVCore* core = StartCore(true);
    ASSERT_EQ(core->LoadProject(""), 0);
    uint8_t keep = 0;
    for (int i = 0; i < 10 && core->IsLoading(); ++i) core->Step(&keep);
    EXPECT_FALSE(core->IsLoading());
    EXPECT_TRUE(ScenesCreated());
}

TEST_F(KVCoreAnimatedLoadTest, ThreadedLoadFinishesWhileTheScriptNeverExits) {
    WriteProject("function OnAnimatorInit() end\nfunction OnAnimatorUpdate(dt) end\n");
    kvtest::KVFakeGraphicDevice::nextCapabilities = 0x10;
    KVCore* core = StartCore(true);
    kvtest::KVFakeGraphicDevice::nextCapabilities = 0;
    ASSERT_EQ(core->LoadProject(""), 0);
    uint8_t keep = 0;
    for (int i = 0; i < 500 && core->IsLoadPending(); ++i) core->Step(&keep);
    EXPECT_FALSE(core->IsLoadPending());
    EXPECT_TRUE(ScenesCreated());
    EXPECT_TRUE(core->IsLoading());  // the loading screen still runs
}

TEST_F(KVCoreAnimatedLoadTest, ALoadingScriptThatFailsLoadsAtOnce) {
    WriteProject("this is not lua");
    KVCore* core = StartCore(true);
    ASSERT_EQ(core->LoadProject(""), 0);
    EXPECT_FALSE(core->IsLoading());
    EXPECT_TRUE(ScenesCreated());
}

} // namespace

namespace {

// Every loading path gives the same result for the same project, and runs
// the scene load once.
enum class LoadPath { AtOnce, AnimatorOnMainThread, AnimatorWithLoadingThread };
enum class Project { Good, NewerUnitSection, MissingDevice };
const char* const kPathNames[] = {"AtOnce", "AnimatorOnMainThread", "AnimatorWithLoadingThread"};
const char* const kProjectNames[] = {"Good", "NewerUnitSection", "MissingDevice"};
void PrintTo(LoadPath path, std::ostream* out) { *out << kPathNames[int(path)]; }
void PrintTo(Project project, std::ostream* out) { *out << kProjectNames[int(project)]; }

class KVCoreLoadingPathTest : public KVCoreProjectTest,
                              public ::testing::WithParamInterface<std::tuple<LoadPath, Project>> {
protected:
    // The loading script waits for the end of loading, as loading screens do.
    void WriteGame(LoadPath path, Project kind) {
        kvtest::KVPropertiesBlockWriter properties(0x10005);
        properties.AddBoolean(kNeedSoundDevice, kind == Project::MissingDevice ? 1 : 0);
        if (path != LoadPath::AtOnce) properties.AddString(kLoadAnimator, "loader.lua");
        kvtest::KVProjectFileWriter project(0x10005, kProjectId);
        project.AddKvl("scenes/a.kvl").AddGroup("start", {0}, true).Append(properties.Build());
        // The class table: one project class, or a table newer than this
        // engine reads.
        kvtest::KVProjectClassWriter classes;
        classes.AddClass("Probe", kProbeClassId, KVUnit::kClassId);
        if (kind == Project::NewerUnitSection) classes.SetTableVersion(2);
        project.Append(classes.Build(project));
        ASSERT_TRUE(project.WriteTo(dir.Path() + "/assets/game.kvproj"));
        dir.WriteFile("assets/loader.luac",
                      "function OnAnimatorInit() end\n"
                      "function OnAnimatorUpdate(dt)\n"
                      "  if KVLoadAnimator.IsProjectLoading() then KVLoadAnimator.SuspendUntilEndOfLoading()\n"
                      "  else KVLoadAnimator.Exit() end\n"
                      "end\n");
    }
    // How many classes carry the project class's name.
    size_t ProbeClasses() {
        KVUnitFactory* units = KVUnitFactory::Instance();
        size_t n = 0;
        for (int32_t c = 0; c < units->GetClassCount(); ++c) n += units->GetClass(c)->name == "Probe";
        return n;
    }
    size_t ErrorCount(const std::string& part) {
        size_t n = 0;
        for (const std::string& error : g_errors) n += error.find(part) != std::string::npos;
        return n;
    }
};

TEST_P(KVCoreLoadingPathTest, SameResultOnEveryPath) {
    const LoadPath path = std::get<0>(GetParam());
    const Project kind = std::get<1>(GetParam());
    WriteGame(path, kind);
    kvtest::KVFakeGraphicDevice::nextCapabilities = path == LoadPath::AnimatorWithLoadingThread ? 0x10 : 0;
    KVCore* core = StartCore(true);
    kvtest::KVFakeGraphicDevice::nextCapabilities = 0;

    // Start-up, then the loop as the program runs it, until the loading ends.
    uint8_t keep = 1;
    int32_t loaded = core->LoadProject("");
    if (loaded == 0) {
        EXPECT_EQ(core->IsLoading(), path != LoadPath::AtOnce);
        for (int i = 0; i < 500 && keep && core->IsLoading(); ++i) core->Step(&keep);
    }
    const bool started = loaded == 0 && keep;

    EXPECT_EQ(ProbeClasses(), kind == Project::NewerUnitSection ? 0u : 1u);
    EXPECT_EQ(KVUnitFactory::Instance()->GetUnitCount(), kind == Project::Good ? 1 : 0);
    if (kind == Project::NewerUnitSection) {
        // No game to run: the program ends with the failure reported once.
        EXPECT_FALSE(started);
        EXPECT_EQ(ErrorCount("The project file version is superior"), 1u);
        EXPECT_EQ(ErrorCount("Unable to load " + dir.Path()), 1u);
        EXPECT_EQ(core->GetLoadError() & 4u, 4u);
        if (loaded == 0) {
            core->Step(&keep);
            EXPECT_EQ(keep, 0);
        }
        return;
    }
    ASSERT_TRUE(started);
    EXPECT_FALSE(core->IsLoading());
    EXPECT_EQ(core->IsLoadPending(), kind == Project::MissingDevice);
    EXPECT_EQ(ErrorCount("Unable to load"), 0u);
    EXPECT_EQ(ErrorCount("Scenes not loaded: no sound device"), kind == Project::MissingDevice ? 1u : 0u);
    // The game runs on, with or without scenes.
    core->SetActive(1);
    for (int i = 0; i < 3; ++i) {
        core->Step(&keep);
        EXPECT_EQ(keep, 1);
    }
    EXPECT_EQ(LuaNumber("loaded"), 1.0);
    EXPECT_EQ(ProbeClasses(), 1u);
}

std::string CaseName(const ::testing::TestParamInfo<std::tuple<LoadPath, Project>>& info) {
    return std::string(kPathNames[int(std::get<0>(info.param))]) + "_" + kProjectNames[int(std::get<1>(info.param))];
}

INSTANTIATE_TEST_SUITE_P(Table, KVCoreLoadingPathTest,
                         ::testing::Combine(::testing::Values(LoadPath::AtOnce, LoadPath::AnimatorOnMainThread,
                                                              LoadPath::AnimatorWithLoadingThread),
                                            ::testing::Values(Project::Good, Project::NewerUnitSection,
                                                              Project::MissingDevice)),
                         CaseName);

} // namespace
