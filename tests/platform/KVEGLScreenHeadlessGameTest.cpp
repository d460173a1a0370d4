// A game without a window (SDL's dummy video driver, the picture in an
// off-screen buffer), drawing the same still picture frame after frame:
// the process keeps the size it reached in its first frames.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "support/KVGameRig.h"
#include "support/KVSceneUnitsWriter.h"
#include "units/KVAttributeDesc.h"
#include "units/KVUnit2D.h"
#include "units2d/KVUnitShape.h"

using namespace kvl;
using namespace kvtest;

namespace {

// The process's resident size in bytes.
uint64_t ResidentBytes() {
    std::ifstream statm("/proc/self/statm");
    uint64_t size = 0, resident = 0;
    statm >> size >> resident;
    return resident * uint64_t(sysconf(_SC_PAGESIZE));
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kFreedMemoryIsHeld = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kFreedMemoryIsHeld = true;
#else
constexpr bool kFreedMemoryIsHeld = false;
#endif
#else
constexpr bool kFreedMemoryIsHeld = false;
#endif

} // namespace

TEST(KVEGLScreenHeadlessGameTest, AStillPictureDrawnForManyFramesDoesNotGrowTheProcess) {
    // The address sanitizer holds freed memory back (up to 256 MB) before
    // reuse, so the resident size grows there whatever the game does.
    if (kFreedMemoryIsHeld) GTEST_SKIP() << "freed memory is held back by the address sanitizer";
    // The device's own screen size: what the driver keeps of a frame grows
    // with it.
    KVGameRig::Options options;
    options.width = 1024;
    options.height = 768;
    KVGameRig game(options);
    KVSceneUnitsWriter units;
    units.AddClassUnit(KVUnitShape::kClassId, "Shape", "Box", 1,
                       {{{KVUnit2D::kPositionId, KVATTR_F32, 2}, KVStored::F32s({8.0f, 8.0f})},
                        {{KVUnit2D::kDimensionId, KVATTR_S32, 2}, KVStored::I32s({32, 24})},
                        {{KVUnitShape::kColorId, KVATTR_COLOR, 1}, KVStored::U32(0xFFFF0000u)},
                        {{KVUnitShape::kOnlyEditorId, KVATTR_BOOLEAN, 1}, KVStored::Bool(false)}});
    game.AddScene("scenes/main.kvl", units.Scene(0x20004, KVGameRig::kProjectId));
    ASSERT_TRUE(game.Start());
    // The first frames make what the driver keeps for good.
    game.Step(100);
    ASSERT_EQ(game.Pixel(20, 20), 0xFFFF0000u);
    const uint64_t settled = ResidentBytes();
    game.Step(1200);
    const uint64_t later = ResidentBytes();
    // The frames' commands left queued came to about 6 KB a frame: this
    // passes that by megabytes, and allows the allocator its slack.
    EXPECT_LT(later, settled + (3u << 20)) << "grew by " << (later - settled) / 1024 << " KB over 1200 frames";
    EXPECT_EQ(game.Pixel(20, 20), 0xFFFF0000u);
}
