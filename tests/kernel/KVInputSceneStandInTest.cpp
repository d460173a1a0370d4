// The input module's scene stand-in turns device points into game
// coordinates and gives the game area through the graphic module once that
// module drives a device; before, device pixels are game coordinates.
#include <gtest/gtest.h>

#include "graphics/KVGraphic.h"
#include "kernel/KVInputSceneStandIn.h"
#include "support/KVFakeGraphicDevice.h"

using namespace kvl;

namespace {

TEST(KVInputSceneStandIn, GameCoordinatesComeFromTheGraphicModule) {
    kvtest::KVFakeGraphicDevice device;
    KVInputSceneStandIn scene;
    scene.SetGraphicDevice(&device);
    int32_t x = 0, y = 0;
    scene.PointToGame(100, 51, &x, &y);
    EXPECT_EQ(x, 100);
    EXPECT_EQ(scene.GetGameArea().right, 1024);

    // The module without a device: still the device's pixels.
    KVGraphic graphic;
    scene.PointToGame(100, 51, &x, &y);
    EXPECT_EQ(y, 51);
    EXPECT_EQ(scene.GetGameArea().bottom, 768);

    // A game of 512 x 384 on the 1024 x 768 screen.
    graphic.SetDevice(&device);
    graphic.ResetViewport();
    graphic.SetGameResolution(512, 384);
    graphic.Reapply2DTransform();
    scene.PointToGame(100, 51, &x, &y);
    EXPECT_EQ(x, 50);
    EXPECT_EQ(y, 26);  // 25.5 + 0.5
    KVInputRect area = scene.GetGameArea();
    EXPECT_EQ(std::vector<int32_t>({area.left, area.top, area.right, area.bottom}),
              (std::vector<int32_t>{0, 0, 512, 384}));
    // The screen rectangle is the game area when one is set.
    graphic.SetScreenRect(10, 20, 266, 212);
    area = scene.GetGameArea();
    EXPECT_EQ(std::vector<int32_t>({area.left, area.top, area.right, area.bottom}),
              (std::vector<int32_t>{10, 20, 266, 212}));
}

} // namespace
