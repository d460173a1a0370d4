// The media library: registered only when the core answers the media sound
// service, handles from its pool, "OnEndSound" to the unit given.
#include "media/KVMedia.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "kernel/KVCore.h"
#include "kernel/KVModules.h"
#include "support/KVFakeMediaSoundService.h"
#include "support/KVFakeUnitTable.h"
#include "support/KVTestCoreHost.h"

using namespace kvl;
using namespace kvtest;

namespace {

TEST(KVMediaModule, WithoutTheServiceTheLibraryIsAbsentAndUpdatesDoNothing) {
    KVTestCoreHost host;
    host.StartProject();
    ASSERT_NE(KVMedia::Instance(), nullptr);
    EXPECT_EQ(KVMedia::Instance()->GetService(), nullptr);
    EXPECT_EQ(host.Describe("KVMedia"), "nil");
    host.Step();
    EXPECT_EQ(KVMedia::Instance()->Update(0.1f), KV_OK);
    EXPECT_EQ(KVMedia::Instance()->Release(0), KV_OK);
    EXPECT_EQ(KVMedia::Instance()->Init(5), KV_OK);
}

class KVMediaTest : public ::testing::Test {
protected:
    void SetUp() override {
        host = std::make_unique<KVTestCoreHost>(false, [] {
            KVModules::Instance()->RegisterModule(&KVFakeUnitTable::Create);
            KVModules::Instance()->RegisterModule(&KVFakeMediaSoundService::CreateModule);
        });
        units = KVFakeUnitTable::instance;
        service = KVFakeMediaSoundService::instance;
        ASSERT_NE(units, nullptr);
        ASSERT_NE(service, nullptr);
        units->Attach();
        host->StartProject();
        media = KVMedia::Instance();
        ASSERT_NE(media, nullptr);
        hero = units->AddUnit("Hero");
        Run("function Hero.OnEndSound(...) TestRecorder.Record('OnEndSound ' .. select('#', ...)) end");
    }

    void Run(const std::string& code) {
        std::string error;
        ASSERT_TRUE(host->Run(code, &error)) << error;
    }
    std::string Describe(const std::string& expression) { return host->Describe(expression); }
    static std::vector<std::string>& Events() { return KVTestCoreHost::Records(); }
    static bool HasScriptError(const std::string& part) {
        const std::vector<std::string>& errors = KVTestCoreHost::Errors();
        return std::any_of(errors.begin(), errors.end(),
                           [&](const std::string& e) { return e.find(part) != std::string::npos; });
    }

    std::unique_ptr<KVTestCoreHost> host;
    KVFakeUnitTable* units = nullptr;
    KVFakeMediaSoundService* service = nullptr;
    KVMedia* media = nullptr;
    int32_t hero = -1;
};

TEST_F(KVMediaTest, TheServiceRegistersPlaySoundAndStopSound) {
    EXPECT_EQ(media->GetService(), service);
    EXPECT_EQ(host->TableKeys("KVMedia"), (std::vector<std::string>{"PlaySound", "StopSound"}));
}

TEST_F(KVMediaTest, PlaySoundPassesNameAndLoopAndAnswersTheHandle) {
    EXPECT_EQ(Describe("KVMedia.PlaySound('click', true)"), "number 0");
    EXPECT_EQ(Describe("KVMedia.PlaySound('music', false, Hero)"), "number 1");
    EXPECT_EQ(service->journal, (std::vector<std::string>{"Play click 1", "Play music 0"}));
    EXPECT_EQ(media->GetPool().Size(), 2u);
}

TEST_F(KVMediaTest, HandlesAreReusedFirstFreedFirst) {
    Run("a = KVMedia.PlaySound('a', false) b = KVMedia.PlaySound('b', false)"
        " KVMedia.StopSound(a) KVMedia.StopSound(b)");
    EXPECT_EQ(Describe("a, b, KVMedia.PlaySound('c', false), KVMedia.PlaySound('d', false)"),
              "number 0, number 1, number 0, number 1");
}

TEST_F(KVMediaTest, StopSoundStopsReleasesAndTellsTheUnitAtOnce) {
    Run("h = KVMedia.PlaySound('music', true, Hero)");
    service->journal.clear();
    Run("KVMedia.StopSound(h)");
    EXPECT_EQ(service->journal, (std::vector<std::string>{"Stop 100", "Release 100"}));
    EXPECT_EQ(Events(), (std::vector<std::string>{"OnEndSound 0"}));
    EXPECT_EQ(media->GetPool().Size(), 0u);
}

TEST_F(KVMediaTest, InvalidHandlesAreReported) {
    Run("h = KVMedia.PlaySound('a', false) KVMedia.StopSound(h)");
    for (const char* handle : {"h", "-1", "1", "99"}) {
        SCOPED_TRACE(handle);
        KVTestCoreHost::Errors().clear();
        service->journal.clear();
        Run(std::string("KVMedia.StopSound(") + handle + ")");
        EXPECT_TRUE(HasScriptError("Invalid sound"));
        EXPECT_TRUE(service->journal.empty());
    }
}

TEST_F(KVMediaTest, ArgumentCountsAreChecked) {
    Run("KVMedia.PlaySound('a')");
    EXPECT_TRUE(HasScriptError("Invalid number of arguments"));
    KVTestCoreHost::Errors().clear();
    Run("h = KVMedia.PlaySound('a', false) KVMedia.StopSound(h, 1)");
    EXPECT_TRUE(HasScriptError("Invalid number of arguments"));
    EXPECT_EQ(media->GetPool().Size(), 1u);
    EXPECT_EQ(service->journal, (std::vector<std::string>{"Play a 0"}));
}

TEST_F(KVMediaTest, RefusedSoundAnswersMinusOne) {
    service->playResult = 3;
    EXPECT_EQ(Describe("KVMedia.PlaySound('missing', false, Hero)"), "number -1");
    EXPECT_TRUE(HasScriptError("Unable to play sound"));
    EXPECT_EQ(media->GetPool().Size(), 0u);
}

TEST_F(KVMediaTest, SoundThatEndsByItselfTellsItsUnitOnTheNextUpdate) {
    Run("h = KVMedia.PlaySound('a', false, Hero) other = KVMedia.PlaySound('b', false)");
    service->Finish(100);
    EXPECT_TRUE(Events().empty());
    service->journal.clear();
    media->Update(0.016f);
    EXPECT_EQ(Events(), (std::vector<std::string>{"OnEndSound 0"}));
    EXPECT_EQ(service->journal, (std::vector<std::string>{"Release 100"}));
    EXPECT_EQ(media->GetPool().Size(), 1u);
    media->Update(0.016f);
    EXPECT_EQ(Events().size(), 1u);
}

TEST_F(KVMediaTest, StopAllSendsNoEventAndEmptiesThePool) {
    Run("KVMedia.PlaySound('a', false, Hero) KVMedia.PlaySound('b', true, Hero)");
    service->journal.clear();
    media->Release(4);
    EXPECT_EQ(service->journal, (std::vector<std::string>{"Stop 100", "Release 100", "Stop 101", "Release 101"}));
    EXPECT_TRUE(Events().empty());
    EXPECT_EQ(media->GetPool().Size(), 0u);
    EXPECT_EQ(media->GetPool().Head(), -1);
    EXPECT_EQ(Describe("KVMedia.PlaySound('c', false)"), "number 0");
}

TEST_F(KVMediaTest, PauseAndResumeReachEverySoundInOrder) {
    Run("KVMedia.PlaySound('a', false) KVMedia.PlaySound('b', false)");
    host->Core().SetActive(1);
    service->journal.clear();
    host->Core().SetActive(2);
    host->Core().SetActive(1);
    EXPECT_EQ(service->journal, (std::vector<std::string>{"SetPaused 100 1", "SetPaused 101 1", "SetPaused 100 0",
                                                          "SetPaused 101 0"}));
}

// A unit told of its sound's end may play and stop sounds during the walk.
TEST_F(KVMediaTest, EndHandlerMayChangeThePoolDuringTheUpdate) {
    Run("function Hero.OnEndSound() KVMedia.StopSound(second) third = KVMedia.PlaySound('c', false) end"
        " first = KVMedia.PlaySound('a', false, Hero) second = KVMedia.PlaySound('b', false)");
    service->Finish(100);
    media->Update(0.016f);
    // Handle 0 was freed first, then handle 1.
    EXPECT_EQ(Describe("first, second, third"), "number 0, number 1, number 0");
    EXPECT_EQ(media->GetPool().Size(), 1u);
    EXPECT_EQ(service->journal.back(), "Play c 0");
    // The new sound plays on: nothing else was removed.
    media->Update(0.016f);
    EXPECT_EQ(media->GetPool().Size(), 1u);
}

// The unit may be closed before its sound ends: the end reaches nobody.
TEST_F(KVMediaTest, ClosedUnitGetsNoEvent) {
    Run("KVMedia.PlaySound('a', false, Hero)");
    units->Units().At(hero).exists = false;
    service->Finish(100);
    media->Update(0.016f);
    EXPECT_TRUE(Events().empty());
    EXPECT_EQ(media->GetPool().Size(), 0u);
}

} // namespace
