// The frame-rate limit as a game meets it: frames counted over a stretch of
// the time manager's clock, whatever frame time config.ini fixes.
#include <gtest/gtest.h>

#include <cmath>

#include "kernel/KVTimer.h"
#include "support/KVGameRig.h"
#include "support/KVSceneUnitsWriter.h"

using namespace kvtest;

namespace {

constexpr uint64_t kFPSLimit = 0x0065724CC732AE80ull;

// A light game: frames far shorter than the clock's millisecond.
TEST(KVFrameLimitGameTest, FramesNeverOutrunTheLimit) {
    struct Case {
        int32_t limit;
        int32_t frameMs; // 0: measured frame times
    };
    const Case cases[] = {{50, 20}, {50, 5}, {50, 0}, {60, 20}, {60, 0}, {30, 50}, {100, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "FPSLimit=" << c.limit << " FIXED_DT=" << c.frameMs);
        KVGameRig::Options options;
        options.frameMs = c.frameMs;
        KVGameRig game(options);
        game.Properties().AddInteger(kFPSLimit, c.limit);
        KVSceneUnitsWriter units;
        units.AddPlainUnit("Idle", 1);
        game.AddScene("scenes/main.kvl", units.Scene(0x20004, KVGameRig::kProjectId));
        ASSERT_TRUE(game.Start());
        game.Step();
        kvl::KVTimer* timer = kvl::KVTimer::Instance();
        ASSERT_NE(timer, nullptr);
        const double start = timer->GetTime();
        const int32_t before = game.Frames();
        // The frame cap only ends a limit that does not hold.
        game.StepUntil([&] { return timer->GetTime() - start >= 0.4; }, 100000);
        const double span = timer->GetTime() - start;
        const int32_t frames = game.Frames() - before;
        // One frame more for the millisecond the clock rounds away at each end.
        EXPECT_LE(frames, int32_t(std::floor(c.limit * span)) + 1) << "over " << span << " s";
        EXPECT_GT(frames, 0);
    }
}

} // namespace
