#include <gtest/gtest.h>

#include "kernel/KVTimer.h"

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
