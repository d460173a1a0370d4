#include <gtest/gtest.h>

#include <algorithm>

#include "kernel/KVCore.h"
#include "kernel/KVFile.h"
#include "kernel/KVModules.h"
#include "kernel/KVPak.h"
#include "kernel/KVTimer.h"
#include "support/KVRecordingModule.h"

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

TEST_F(KVCoreTest, NoDevicesMeansCheckFails) { EXPECT_EQ(core->CheckDevices(), 0); }

} // namespace
