// The scene drawn on the engine's OpenGL ES device, headless: units that
// draw quads through the device, read back from the screen. Both roads of
// a scene without camera: the 2D draw (a device without its 3D face) and the
// frame of the device the engine makes.
#include <gtest/gtest.h>

#include "support/KVSceneRig.h"

using namespace kvl;
using kvtest::KVSceneRig;

namespace {

constexpr uint32_t kRed = 0xFFFF0000u;
constexpr uint32_t kGreen = 0xFF00FF00u;
constexpr uint32_t kBlue = 0xFF0000FFu;
// The device clears to transparent black.
constexpr uint32_t kCleared = 0u;

class KVSceneManagerScreenTest : public ::testing::TestWithParam<bool> {};

TEST_P(KVSceneManagerScreenTest, UnitsDrawInListAndTreeOrderOnTheScreen) {
    KVSceneRig::Options options;
    options.screen = true;
    options.with3D = GetParam();
    options.width = 64;
    options.height = 48;
    KVSceneRig rig(options);
    ASSERT_TRUE(rig.Ready());
    // Green is filed in an earlier list, so red covers it where they meet.
    rig.Quad("Red", {8, 8, 24, 24}, nullptr, kRed);
    rig.Quad("Green", {16, 16, 40, 40}, nullptr, kGreen)->SetSceneList(1);
    // Units for a camera are not drawn without one.
    kvtest::KVTestQuadUnit* bound = rig.Quad("Blue", {0, 0, 64, 48}, nullptr, kBlue);
    rig.SetCameras(bound, {rig.Make<kvtest::KVTestCameraUnit>("Camera", "Cam")});
    ASSERT_EQ(rig.Scene().Draw(), KV_OK);
    EXPECT_EQ(rig.PixelAt(10, 10), kRed);
    EXPECT_EQ(rig.PixelAt(20, 20), kRed);
    EXPECT_EQ(rig.PixelAt(30, 30), kGreen);
    EXPECT_EQ(rig.PixelAt(50, 5), kCleared);
    EXPECT_EQ(rig.PixelAt(2, 45), kCleared);
    IKVUnit* top = nullptr;
    EXPECT_EQ(rig.Scene().UnitAt({20, 20}, &top, nullptr), KV_OK);
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(top->GetName(), "Red");
}

INSTANTIATE_TEST_SUITE_P(Roads, KVSceneManagerScreenTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? std::string("EngineDevice") : std::string("TwoDOnly");
                         });

} // namespace
