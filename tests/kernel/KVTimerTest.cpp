#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kernel/KVTimer.h"
#include "support/KVTestLuaHost.h"

using namespace kvl;

namespace {

uint32_t g_ticks = 0;
uint32_t TestTicks() { return g_ticks; }

struct TickGuard {
    TickGuard() { KVTimer::SetTickSource(&TestTicks); }
    ~TickGuard() { KVTimer::SetTickSource(nullptr); }
};

TEST(KVTimer, TimeCountsFromPhaseZeroAcrossTickWrap) {
    TickGuard guard;
    KVTimer timer;
    g_ticks = 0xFFFFFF00u;
    timer.Init(0);
    EXPECT_DOUBLE_EQ(timer.GetTime(), 0.0);
    g_ticks += 1500;  // wraps
    EXPECT_DOUBLE_EQ(timer.GetTime(), 1.5);
}

TEST(KVTimer, FrameDeltaStoresNowOrKeepsPreviousWhenBackwards) {
    TickGuard guard;
    KVTimer timer;
    g_ticks = 1000;
    timer.Init(0);
    g_ticks = 3000;
    double previous = 0.0;
    EXPECT_FLOAT_EQ(timer.GetFrameDelta(&previous), 2.0f);
    EXPECT_DOUBLE_EQ(previous, 2.0);
    previous = 10.0;
    EXPECT_FLOAT_EQ(timer.GetFrameDelta(&previous), 0.05f);
    EXPECT_DOUBLE_EQ(previous, 10.0);
}

TEST(KVTimer, LocalTimeIsPlausibleAndAnswersItsInterface) {
    KVTimer timer;
    LocalTime t;
    ASSERT_EQ(timer.GetLocalTime(&t), 0);
    EXPECT_GE(t.year, 2024u);
    EXPECT_GE(t.month, 1);
    EXPECT_LE(t.month, 12);
    EXPECT_GE(t.day, 1);
    EXPECT_LE(t.dayOfYear, 365u);
    EXPECT_EQ(t.millisecond, 0u);
    void* out = nullptr;
    EXPECT_EQ(timer.QueryInterface(IID_IKVTimeManager, &out), 0);
    EXPECT_EQ(out, static_cast<void*>(static_cast<IKVTimeManager*>(&timer)));
}

} // namespace

// The "KVTime" library through the real binding.
namespace {

class KVTimerScript : public ::testing::Test {
protected:
    void SetUp() override {
        g_ticks = 5000;
        timer.Init(0);
        timer.Init(1);
        host.Start();
    }
    TickGuard guard;
    kvtest::KVTestLuaHost host;
    KVTimer timer;
};

TEST_F(KVTimerScript, GetTimeCountsFromPhaseZeroWithFloatPrecision) {
    EXPECT_EQ(host.TableKeys("KVTime"), (std::vector<std::string>{"GetLocalTime", "GetTime"}));
    struct Case {
        uint32_t elapsed;  // milliseconds since phase 0
        const char* results;
    } cases[] = {
        {0, "number 0"},
        {1500, "number 1.5"},
        {250, "number 0.25"},
        // 100000.001 s has no float of its own: the nearest is 100000.
        {100000001, "number 100000"},
        // 0.1 s widened from a float.
        {100, "number 0.10000000149012"},
    };
    for (const Case& c : cases) {
        g_ticks = 5000 + c.elapsed;
        EXPECT_EQ(host.Describe("KVTime.GetTime()"), c.results) << c.elapsed;
    }
    // Arguments are not looked at.
    EXPECT_EQ(host.Describe("KVTime.GetTime('x', {})"), "number 0.10000000149012");
    EXPECT_TRUE(host.Errors().empty());
}

TEST_F(KVTimerScript, GetLocalTimeGivesAFreshTableOfTheCalendarFields) {
    const char* const kFields[] = {"millisecond", "second", "minute", "hour", "day", "month", "year"};
    // Read the clock on both sides of the script call; retry when a second
    // boundary fell between them.
    bool compared = false;
    for (int attempt = 0; attempt < 5 && !compared; ++attempt) {
        LocalTime before, after;
        timer.GetLocalTime(&before);
        ASSERT_TRUE(host.Run("t = KVTime.GetLocalTime()"));
        timer.GetLocalTime(&after);
        if (before.second != after.second || before.minute != after.minute) continue;
        const uint32_t expected[] = {before.millisecond, before.second, before.minute, before.hour,
                                     before.day,         before.month,  before.year};
        for (size_t i = 0; i < 7; ++i) {
            EXPECT_EQ(host.Describe(std::string("t.") + kFields[i]), "number " + std::to_string(expected[i]))
                << kFields[i];
        }
        compared = true;
    }
    EXPECT_TRUE(compared);
    EXPECT_EQ(host.TableKeys("t"),
              (std::vector<std::string>{"day", "hour", "millisecond", "minute", "month", "second", "year"}));
    ASSERT_TRUE(host.Run("t.year = 1\nu = KVTime.GetLocalTime()"));
    EXPECT_EQ(host.Describe("rawequal(t, u), u.year > 2000"), "boolean false, boolean true");
}

} // namespace
