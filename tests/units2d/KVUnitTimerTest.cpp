// The timer unit through the unit factory's update and the real script
// binding: firings per frame for each setting, Start, the notified unit,
// rewinding, and times that are not ordinary numbers.
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "support/KVTestUnitEvents.h"
#include "units2d/KVUnitTimer.h"

using namespace kvl;
using kvtest::KVTestUnitEvents;

namespace {

class KVUnitTimerTest : public ::testing::Test {
protected:
    // A timer named T whose "OnTimeOut" records; settings is Lua run with u
    // the unit's namespace table.
    KVUnitTimer* Make(const std::string& settings) {
        IKVUnit* unit = nullptr;
        EXPECT_EQ(events.Factory().NewUnit(events.Factory().FindClassByName("Timer"), &unit), KV_OK);
        if (!unit) return nullptr;
        unit->GetUnit()->SetName("T");
        events.Namespace("T", {"OnTimeOut"});
        if (!settings.empty()) events.Run("local u = T\n" + settings);
        events.Take();
        return static_cast<KVUnitTimer*>(unit->GetUnit());
    }
    // The "OnTimeOut" records so far (probe units also record their hooks).
    std::vector<std::string> Fired() {
        std::vector<std::string> out;
        for (const std::string& record : events.Take())
            if (record.find(":OnTimeOut") != std::string::npos) out.push_back(record);
        return out;
    }
    // The firings of each frame.
    std::vector<size_t> Frames(const std::vector<float>& dts) {
        std::vector<size_t> counts;
        for (float dt : dts) {
            events.Factory().Update(dt);
            counts.push_back(Fired().size());
        }
        return counts;
    }

    KVTestUnitEvents events;
};

TEST_F(KVUnitTimerTest, FiringsPerFrameFollowTheSettings) {
    constexpr float kInf = std::numeric_limits<float>::infinity();
    struct Case {
        const char* name;
        const char* settings;
        std::vector<float> dts;
        std::vector<size_t> firings;
        bool enabledAfter;
    } cases[] = {
        {"looping: one per whole period", "u.Time = 0.5 u.Loop = true", {1.2f, 0.3f}, {2, 1}, true},
        {"autodisable: once, then disabled", "u.Time = 0.5", {0.3f, 0.3f, 0.3f}, {0, 1, 0}, false},
        {"neither: again every period", "u.Time = 0.5 u.Autodisable = false", {0.25f, 0.25f, 0.25f, 0.25f, 0.25f},
         {0, 1, 0, 1, 0}, true},
        {"time 0 looping: once per update", "u.Time = 0 u.Loop = true", {0.1f, 0.1f, 0.1f}, {1, 1, 1}, true},
        {"autoplay off: waits", "u.Time = 0.5 u.Autoplay = false", {1.0f, 1.0f}, {0, 0}, true},
        // Times that are not ordinary numbers end every update.
        {"negative looping", "u.Time = -1 u.Loop = true", {0.1f, 0.1f}, {1, 1}, true},
        {"negative, no autodisable", "u.Time = -1 u.Autodisable = false", {0.1f, 0.1f}, {1, 1}, true},
        {"minus infinity looping", "u.Time = -math.huge u.Loop = true", {0.1f, 0.1f}, {1, 1}, true},
        {"not a number: never", "u.Time = 0/0 u.Loop = true", {1.0f, 1e30f}, {0, 0}, true},
        {"infinity: never", "u.Time = math.huge u.Loop = true", {1e30f, 1e30f}, {0, 0}, true},
        // A period that no longer counts the elapsed time down fires once.
        {"tiny period", "u.Time = 1e-30 u.Loop = true", {1.0f}, {1}, true},
        {"infinite frame", "u.Time = 0.5 u.Loop = true", {kInf}, {1}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        KVUnitTimer* timer = Make(c.settings);
        ASSERT_NE(timer, nullptr);
        EXPECT_EQ(Frames(c.dts), c.firings);
        EXPECT_EQ(timer->IsEnabled(), c.enabledAfter);
        // The next case makes its own.
        timer->Release();
    }
}

TEST_F(KVUnitTimerTest, ALoopingTimerKeepsWhatIsLeftOfThePeriod) {
    KVUnitTimer* timer = Make("u.Time = 0.5 u.Loop = true");
    ASSERT_NE(timer, nullptr);
    events.Factory().Update(1.2f);
    EXPECT_EQ(Fired(), (std::vector<std::string>{"T:OnTimeOut", "T:OnTimeOut"}));
    EXPECT_NEAR(timer->GetElapsed(), 0.2f, 1e-6f);
    EXPECT_TRUE(timer->IsRunning());
}

TEST_F(KVUnitTimerTest, StartRunsATimerWithoutAutoplay) {
    KVUnitTimer* timer = Make("u.Time = 0.5 u.Autoplay = false");
    ASSERT_NE(timer, nullptr);
    EXPECT_EQ(Frames({0.6f}), std::vector<size_t>{0});
    EXPECT_FALSE(timer->IsRunning());
    events.Run("T:Start()");
    EXPECT_TRUE(timer->IsRunning());
    EXPECT_EQ(Frames({0.3f, 0.3f}), (std::vector<size_t>{0, 1}));
    // Stopped again, and Autoplay does not restart it.
    EXPECT_FALSE(timer->IsEnabled());
    EXPECT_FALSE(timer->IsRunning());
}

TEST_F(KVUnitTimerTest, TheNotifiedUnitGetsTheEventWhileActiveAndTheTimerOnceItIsGone) {
    KVUnit* target = events.Spawn("Target");
    events.Namespace("Target", {"OnTimeOut"});
    KVUnitTimer* timer = Make("u.Time = 0.5 u.Loop = true u.UnitNotify = Target");
    ASSERT_NE(timer, nullptr);
    events.Factory().Update(0.5f);
    EXPECT_EQ(Fired(), std::vector<std::string>{"Target:OnTimeOut"});

    // Disabled, it gets nothing, and nobody else does.
    target->SetEnabled(false);
    events.Take();
    events.Factory().Update(0.5f);
    EXPECT_EQ(Fired(), std::vector<std::string>{});
    EXPECT_NEAR(timer->GetElapsed(), 0.0f, 1e-6f);

    // Closed, the reference drops and the timer tells itself.
    target->SetEnabled(true);
    events.Run("TestUnits.Release('Target')");
    events.Take();
    events.Factory().Update(0.5f);
    EXPECT_EQ(Fired(), std::vector<std::string>{"T:OnTimeOut"});
}

TEST_F(KVUnitTimerTest, RefreshRewindsAnActiveTimerAndResetStateStopsIt) {
    KVUnitTimer* timer = Make("u.Time = 0.5 u.Autodisable = false");
    ASSERT_NE(timer, nullptr);
    EXPECT_EQ(Frames({0.3f}), std::vector<size_t>{0});
    EXPECT_NEAR(timer->GetElapsed(), 0.3f, 1e-6f);
    timer->Refresh();
    EXPECT_EQ(timer->GetElapsed(), 0.0f);
    EXPECT_EQ(Frames({0.3f, 0.3f}), (std::vector<size_t>{0, 1}));

    // Enabling again rewinds too.
    EXPECT_EQ(Frames({0.3f}), std::vector<size_t>{0});
    timer->SetEnabled(false);
    timer->SetEnabled(true);
    events.Take();
    EXPECT_EQ(timer->GetElapsed(), 0.0f);

    // An inactive timer keeps its time.
    EXPECT_EQ(Frames({0.3f}), std::vector<size_t>{0});
    timer->SetEnabled(false);
    events.Take();
    const float kept = timer->GetElapsed();
    timer->Refresh();
    EXPECT_EQ(timer->GetElapsed(), kept);

    timer->ResetState();
    EXPECT_FALSE(timer->IsRunning());
    EXPECT_EQ(timer->GetElapsed(), 0.0f);
}

TEST_F(KVUnitTimerTest, ATimerClosedByItsOwnEventStopsFiring) {
    KVUnitTimer* timer = Make("u.Time = 0.1 u.Loop = true\n"
                              "function T.OnTimeOut() TestRecorder.Record('T:OnTimeOut') KVUnitFactory.CloseUnit(T) end");
    ASSERT_NE(timer, nullptr);
    events.Factory().Update(1.0f);
    EXPECT_EQ(Fired(), std::vector<std::string>{"T:OnTimeOut"});
    EXPECT_EQ(events.Find("T"), nullptr);
    events.Factory().Update(1.0f);
    EXPECT_EQ(Fired(), std::vector<std::string>{});
}

TEST_F(KVUnitTimerTest, ATimerWithoutTheUpdateFlagIsNotUpdated) {
    KVUnitTimer* timer = Make("u.Time = 0 u.Loop = true u.Update = false");
    ASSERT_NE(timer, nullptr);
    EXPECT_EQ(Frames({1.0f}), std::vector<size_t>{0});
    events.Run("T.Update = true");
    EXPECT_EQ(Frames({1.0f}), std::vector<size_t>{1});
}

} // namespace
