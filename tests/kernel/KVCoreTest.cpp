#include <gtest/gtest.h>

#include <algorithm>

#include <lua.hpp>

#include "kernel/KVCore.h"
#include "kernel/KVFile.h"
#include "kernel/KVModules.h"
#include "kernel/KVPak.h"
#include "kernel/KVProperties.h"
#include "kernel/KVTimer.h"
#include "platform/PDL.h"
#include "support/KVFakeGraphicDevice.h"
#include "support/KVRecordingFileModule.h"
#include "support/KVRecordingModule.h"
#include "support/KVTestCoreHost.h"

using namespace kvl;
using kvtest::Journal;
using kvtest::KVRecordingExtModule;
using kvtest::KVRecordingModule;

namespace {

uint32_t g_ticks = 0;
uint32_t TestTicks() { return g_ticks; }

std::vector<std::pair<int32_t, int32_t>> g_notices;
void RecordNotice(int32_t code, int32_t value, void*) { g_notices.emplace_back(code, value); }

class KVCoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_ticks = 1000;
        g_notices.clear();
        KVTimer::SetTickSource(&TestTicks);
        core = KVCore::Instance(false);
        core->Init(0);
        core->SetNotifyCallback(&RecordNotice);
    }
    void TearDown() override {
        if (KVCore::Instance()) {
            core->RemoveModule(&a);
            core->RemoveModule(&b);
            KVCore::ShutdownCore();
        }
        KVTimer::SetTickSource(nullptr);
    }

    KVCore* core = nullptr;
    Journal journal;
    KVRecordingModule a{"a", &journal};
    KVRecordingModule b{"b", &journal};
};

TEST_F(KVCoreTest, CreatesTwentyFourModulesAndListsTwentyThree) {
    EXPECT_EQ(core->GetModules().size(), 23u);
    EXPECT_EQ(core->GetModules().front(), static_cast<IKVModule*>(KVPak::Instance()));
    EXPECT_EQ(core->GetModules()[1], static_cast<IKVModule*>(KVFile::Instance()));
    EXPECT_NE(KVTimer::Instance(), nullptr);
    KVCore::ShutdownCore();
    EXPECT_EQ(KVCore::Instance(), nullptr);
    EXPECT_EQ(KVTimer::Instance(), nullptr);
    EXPECT_EQ(KVPak::Instance(), nullptr);
}

TEST_F(KVCoreTest, PhasesReachModulesInListAndReverseOrder) {
    core->AddModule(&a);
    core->AddModule(&b);
    core->Init(3);
    core->Release(1);
    core->Release(3);
    core->Release(2);
    EXPECT_EQ(journal, (Journal{"a.Init3", "b.Init3", "a.Release1", "b.Release1", "b.Release3", "a.Release3",
                                "b.Release2", "a.Release2"}));
}

TEST_F(KVCoreTest, ExtensionModulesAnswerBeforeListedModules) {
    static Journal extJournal;
    static KVRecordingExtModule* made = nullptr;
    KVModules::Instance()->RegisterModule([](const KVModuleCreateInfo* info) -> IKVModuleExt* {
        EXPECT_NE(info->core, nullptr);
        made = new KVRecordingExtModule("ext", &extJournal, 1);
        made->answers = true;
        made->answeredId = IID_IKVTimeManager;
        return made;
    });
    void* out = nullptr;
    ASSERT_EQ(core->QueryInterface(IID_IKVTimeManager, &out), 0);
    EXPECT_EQ(out, static_cast<void*>(made));
    ASSERT_EQ(core->QueryInterfaceByPriority(IID_IKVTimeManager, &out, 0), 0);
    EXPECT_EQ(out, static_cast<void*>(static_cast<IKVTimeManager*>(KVTimer::Instance())));
}

TEST_F(KVCoreTest, UnknownIdClearsPointerAndCoreIdAnswersCoreView) {
    void* out = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(core->QueryInterface(MakeId(0xdead, 0xbeef), &out), 2);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(core->QueryInterface(IID_IKVCore, &out), 0);
    EXPECT_EQ(out, static_cast<void*>(static_cast<IKVCore*>(core)));
}

TEST_F(KVCoreTest, MeasuredStepsAreClampedSkippedAndSmoothed) {
    core->AddModule(&a);
    uint8_t keep = 0;
    core->Step(&keep);  // no project: runs phase 4 once, not running yet
    core->SetActive(1);
    journal.clear();
    a.updates.clear();

    g_ticks += 100;
    core->Step(&keep);
    EXPECT_EQ(keep, 1);
    ASSERT_EQ(a.updates.size(), 1u);
    EXPECT_FLOAT_EQ(a.updates[0], 0.1f);
    EXPECT_FLOAT_EQ(core->GetSmoothedFrameTime(), 0.003125f);

    g_ticks += 500;
    core->Step(&keep);
    ASSERT_EQ(a.updates.size(), 2u);
    EXPECT_FLOAT_EQ(a.updates[1], 0.1f);

    uint32_t frames = core->GetFrameCounter();
    core->Step(&keep);  // no time passed
    EXPECT_EQ(a.updates.size(), 2u);
    EXPECT_EQ(core->GetFrameCounter(), frames);

    core->SetTimeScale(2.0f);
    g_ticks += 40;
    core->Step(&keep);
    ASSERT_EQ(a.updates.size(), 3u);
    EXPECT_FLOAT_EQ(a.updates[2], 0.08f);
    // The stamp is the previous measured time plus this step's time.
    EXPECT_NEAR(core->GetFrameTimeStamp(), 0.6 + 0.08, 1e-6);
}

// The game starts running at clock readings that a float holds a hair ahead
// of, a hair behind, far ahead (hours in), or exactly: the first frame gets
// the time that passed, nothing when none did, and the game time the units
// receive never goes back.
TEST_F(KVCoreTest, RunningStartsTheFrameClockAtTheTimeItReads) {
    core->AddModule(&a);
    uint8_t keep = 0;
    core->Step(&keep);
    double lastStamp = 0.0;
    for (uint32_t startMs : {222u, 500u, 2000012u, 20000123u}) {
        SCOPED_TRACE(startMs);
        core->SetActive(2);
        g_ticks = 1000 + startMs;
        core->SetActive(1);
        a.updates.clear();

        core->Step(&keep);  // no time passed yet
        EXPECT_TRUE(a.updates.empty());

        const double start = double(startMs) / 1000.0;
        for (int frame = 1; frame <= 3; ++frame) {
            g_ticks += 16;
            core->Step(&keep);
            ASSERT_EQ(a.updates.size(), size_t(frame));
            EXPECT_FLOAT_EQ(a.updates.back(), 0.016f);
            EXPECT_NEAR(core->GetFrameTimeStamp(), start + 0.016 * frame, 1e-6);
            EXPECT_GT(core->GetFrameTimeStamp(), lastStamp);
            lastStamp = core->GetFrameTimeStamp();
        }
    }
}

TEST_F(KVCoreTest, PauseAndResumeNotifyOncePerChange) {
    core->AddModule(&a);
    core->SetActive(1);
    core->SetActive(2);
    core->SetActive(2);
    core->SetActive(1);
    core->SetActive(0);
    EXPECT_EQ(g_notices, (std::vector<std::pair<int32_t, int32_t>>{{5, 1}, {5, 2}, {5, 1}, {5, 0}}));
    EXPECT_EQ(std::count(journal.begin(), journal.end(), "a.Init5"), 2);
    EXPECT_EQ(std::count(journal.begin(), journal.end(), "a.Release0"), 1);
    EXPECT_EQ(std::count(journal.begin(), journal.end(), "a.Release1"), 1);
}

TEST_F(KVCoreTest, ExitStopsThePlayerAtTheNextStep) {
    uint8_t keep = 1;
    core->RequestExit();
    core->Step(&keep);
    EXPECT_EQ(keep, 0);
}

TEST_F(KVCoreTest, ExitInEditorModeRestartsTheGame) {
    KVCore::Instance(true);
    core->AddModule(&a);
    uint8_t keep = 0;
    core->Step(&keep);
    core->SetActive(1);
    core->RequestExit();
    journal.clear();
    core->Step(&keep);
    EXPECT_EQ(keep, 1);
    EXPECT_EQ(core->GetActivityState(), 0);
    core->Step(&keep);
    EXPECT_NE(std::find(journal.begin(), journal.end(), "a.Init4"), journal.end());
}

TEST_F(KVCoreTest, LoadErrorBitTwoCountsOnlyWithSoundDevice) {
    core->SetLoadError(2);
    EXPECT_EQ(core->GetLoadError(), 2u);
    core->SetLoadError(4);
    EXPECT_EQ(core->GetLoadError(), 6u);
}

TEST_F(KVCoreTest, DevicesCheckNeedsGraphicAndSoundDevices) {
    EXPECT_EQ(core->CheckDevices(), 0);
    KVModules::Instance()->RegisterModule(&kvtest::KVFakeGraphicDevice::Create);
    EXPECT_EQ(core->CheckDevices(), 0);  // a sound device is needed by default
}

} // namespace

namespace {

TEST(KVCoreLanguage, DeviceLanguageNamesTheGameLanguage) {
    struct Case {
        const char* device;
        const char* expected;
    };
    const Case cases[] = {{"fr_FR", "french"}, {"de", "german"}, {"ja_JP", "english"}, {nullptr, "english"}};
    for (const Case& c : cases) {
        kvl::PDLSetLanguage(c.device);
        kvl::KVCore* core = kvl::KVCore::Instance(false);
        core->Init(0);
        EXPECT_EQ(core->GetLanguageName(), c.expected) << (c.device ? c.device : "(fails)");
        kvl::KVCore::ShutdownCore();
    }
    kvl::PDLSetLanguage("en_US");
}

} // namespace

// The core with the script binding and scripts loaded from a project
// directory: application events and the "KVCore" library seen from Lua.
namespace {

using kvtest::KVTestCoreHost;
using Texts = std::vector<std::string>;

const char* const kApplicationScript = R"lua(
function Application.OnProjectLoaded() TestRecorder.Record("OnProjectLoaded") end
function Application.OnPause() TestRecorder.Record("OnPause") end
function Application.OnUnpause() TestRecorder.Record("OnUnpause") end
)lua";

TEST(KVCoreScripts, ApplicationEventsFollowTheActivityState) {
    KVTestCoreHost host;
    host.WriteScript("app.lua", kApplicationScript);
    host.StartProject();
    EXPECT_TRUE(host.Records().empty());

    // The first step after phase 2 tells the scripts once.
    EXPECT_EQ(host.Step(), 1);
    EXPECT_EQ(host.Step(), 1);
    EXPECT_EQ(host.Records(), Texts{"OnProjectLoaded"});

    KVCore& core = host.Core();
    core.SetActive(1);  // starting from state 0 raises nothing
    EXPECT_EQ(host.Records(), Texts{"OnProjectLoaded"});
    core.SetActive(2);
    core.SetActive(2);  // already paused
    EXPECT_EQ(host.Records(), (Texts{"OnProjectLoaded", "OnPause"}));
    core.SetActive(1);
    EXPECT_EQ(host.Records(), (Texts{"OnProjectLoaded", "OnPause", "OnUnpause"}));
    core.SetActive(1);
    EXPECT_EQ(host.Records().size(), 3u);
    EXPECT_TRUE(host.Errors().empty());
}

TEST(KVCoreScripts, StoppingReloadsTheScriptsAndRaisesOnProjectLoadedAgain) {
    KVTestCoreHost host;
    host.WriteScript("app.lua", kApplicationScript);
    host.StartProject();
    host.Step();
    host.Core().SetActive(1);
    ASSERT_TRUE(host.Run("Application.marker = 1"));
    host.Core().SetActive(0);
    // A fresh state with the scripts loaded again.
    EXPECT_EQ(host.Describe("Application.marker, type(Application.OnPause)"), "nil, string function");
    host.Step();
    host.Step();
    EXPECT_EQ(host.Records(), (Texts{"OnProjectLoaded", "OnProjectLoaded"}));
    // Stopping from pause raises no "OnUnpause".
    host.Core().SetActive(1);
    host.Core().SetActive(2);
    host.Core().SetActive(0);
    EXPECT_EQ(host.Records(), (Texts{"OnProjectLoaded", "OnProjectLoaded", "OnPause"}));
}

TEST(KVCoreScripts, MissingOrFailingEventFunctionsLeaveTheCoreRunning) {
    KVTestCoreHost host;
    host.WriteScript("app.lua", "function Application.OnPause()\n  error('cannot pause')\nend\n");
    host.StartProject();
    host.Step();  // no "OnProjectLoaded": nothing to call, nothing reported
    EXPECT_TRUE(host.Errors().empty());
    host.Core().SetActive(1);
    host.Core().SetActive(2);
    EXPECT_EQ(host.Core().GetActivityState(), 2);
    ASSERT_EQ(host.Errors().size(), 1u);
    EXPECT_NE(host.Errors()[0].find("app.lua:2: cannot pause"), std::string::npos) << host.Errors()[0];
    host.Core().SetActive(1);
    EXPECT_EQ(host.Core().GetActivityState(), 1);
    EXPECT_EQ(host.Errors().size(), 1u);
}

TEST(KVCoreScripts, CloseQueryReadsTheTopResultAndLeavesTheStackAsItWas) {
    KVTestCoreHost host;
    host.StartProject();
    struct Case {
        const char* function;  // null: none defined
        int32_t allowed;
        size_t errors;
    } cases[] = {
        {nullptr, 1, 0},
        {"function() return false end", 0, 0},
        {"function() return true end", 1, 0},
        {"function() end", 1, 0},
        {"function() return 'yes' end", 0, 0},  // only a boolean true allows
        {"function() return 1 end", 0, 0},
        {"function() return false, true end", 1, 0},  // the last result counts
        {"function() return true, false end", 0, 0},
        {"function() error('busy') end", 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.function ? c.function : "none");
        host.Errors().clear();
        ASSERT_TRUE(host.Run(std::string("Application.OnCloseQuery = ") + (c.function ? c.function : "nil")));
        lua_State* L = host.State();
        lua_pushstring(L, "below");
        EXPECT_EQ(host.Core().QueryCloseAllowed(), c.allowed);
        EXPECT_EQ(lua_gettop(L), 1);
        EXPECT_STREQ(lua_tostring(L, -1), "below");
        lua_settop(L, 0);
        EXPECT_EQ(host.Errors().size(), c.errors);
    }
}

TEST(KVCoreScripts, LibraryAnswersVersionPlatformAndMode) {
    KVTestCoreHost host;
    host.StartProject();
    EXPECT_EQ(host.TableKeys("KVCore"),
              (Texts{"EditorMode", "ExecuteFile", "Exit", "GetLanguage", "GetOS", "GetPlatform", "GetVersion"}));
    struct Case {
        const char* call;
        const char* results;
    } cases[] = {
        {"KVCore.GetVersion()", "number 1060103"},
        {"KVCore.EditorMode()", "boolean false"},
        {"KVCore.GetPlatform()", "string webOS"},
        {"KVCore.GetOS()", "string webOS"},
        {"KVCore.GetLanguage()", "string english"},
        // Arguments are not looked at.
        {"KVCore.GetVersion('x', {})", "number 1060103"},
        {"KVCore.GetOS(nil, 3)", "string webOS"},
        {"KVCore.Exit ~= nil, select('#', KVCore.ExecuteFile('setup'))", "boolean true, number 0"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(host.Describe(c.call), c.results) << c.call;
    }
    EXPECT_TRUE(host.Errors().empty());
}

TEST(KVCoreScripts, EditorModeAndLanguageComeFromTheCore) {
    kvl::PDLSetLanguage("fr_FR");
    KVTestCoreHost host(true);
    host.StartProject();
    EXPECT_EQ(host.Describe("KVCore.EditorMode()"), "boolean true");
    EXPECT_EQ(host.Describe("KVCore.GetLanguage()"), "string french");
    // The "Language" property wins over the device's language.
    ASSERT_EQ(KVProperties::Instance()->SetStringById(MakeId(0x0025F76A, 0x826C9280).Value(), "german"), 0);
    EXPECT_EQ(host.Describe("KVCore.GetLanguage()"), "string german");
    kvl::PDLSetLanguage("en_US");
}

TEST(KVCoreScripts, ExecuteFileReachesTheProgramFileInterface) {
    KVTestCoreHost host;
    host.StartProject();
    KVModules::Instance()->RegisterModule(&kvtest::KVRecordingFileModule::Create);
    ASSERT_NE(kvtest::KVRecordingFileModule::instance, nullptr);
    ASSERT_TRUE(host.Run("KVCore.ExecuteFile('help/index.html', '-fullscreen')\n"
                         "KVCore.ExecuteFile('readme.txt')\n"
                         "KVCore.ExecuteFile(42, nil)\n"
                         "KVCore.ExecuteFile()"));
    using Call = std::pair<std::string, std::string>;
    EXPECT_EQ(kvtest::KVRecordingFileModule::instance->executed,
              (std::vector<Call>{{"help/index.html", "-fullscreen"}, {"readme.txt", ""}, {"42", ""}, {"", ""}}));
    EXPECT_TRUE(host.Errors().empty());
}

TEST(KVCoreScripts, ExitEndsThePlayerAtTheNextStep) {
    KVTestCoreHost host;
    host.StartProject();
    EXPECT_EQ(host.Step(), 1);
    host.Core().SetActive(1);
    ASSERT_TRUE(host.Run("KVCore.Exit()"));
    EXPECT_EQ(host.Core().GetActivityState(), 1);  // nothing happens before the step
    EXPECT_EQ(host.Step(), 0);
    EXPECT_EQ(host.Step(), 0);
}

TEST(KVCoreScripts, ExitInEditorModeStopsTheGameAndLoadsItAgain) {
    KVTestCoreHost host(true);
    host.WriteScript("app.lua", kApplicationScript);
    host.StartProject();
    host.Step();
    host.Core().SetActive(1);
    ASSERT_TRUE(host.Run("KVCore.Exit()"));
    EXPECT_EQ(host.Step(), 1);
    EXPECT_EQ(host.Core().GetActivityState(), 0);
    EXPECT_EQ(host.Records(), Texts{"OnProjectLoaded"});
    EXPECT_EQ(host.Step(), 1);
    EXPECT_EQ(host.Records(), (Texts{"OnProjectLoaded", "OnProjectLoaded"}));
}

} // namespace
