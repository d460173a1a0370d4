// The graphic module drawing on the OpenGL ES device, read back pixel by
// pixel: pictures at 1:1 and scaled to the screen, a picture cut into frames
// drawn translucent across its seams, a picture of a larger resource
// resolution, the scissor at scaled edges, and the loading animator.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "graphics/KVGraphic.h"
#include "graphics/KVResourceTexture.h"
#include "kernel/KVLoadAnimator.h"
#include "support/KVDeviceLimits.h"
#include "support/KVGLDeviceTest.h"
#include "support/KVPngWriter.h"
#include "support/KVTestLuaHost.h"
#include "support/KVTextureHost.h"

using namespace kvl;

namespace {

uint32_t Pattern(int32_t x, int32_t y) {
    return 0xFF000000u | uint32_t(40 + x * 23) << 16 | uint32_t(30 + y * 29) << 8 | uint32_t(200 - x * 7 - y * 5);
}

std::string Solid(uint32_t width, uint32_t height, uint32_t color) {
    return kvtest::WritePngArgb(width, height, std::vector<uint32_t>(size_t(width) * height, color));
}

const float kIdentity[6] = {1, 0, 0, 1, 0, 0};

class KVGraphicGLTest : public kvtest::KVGLDeviceTest {
protected:
    void TearDown() override {
        for (KVResourceTexture* texture : held) texture->Release();
        host.reset();
        limits.reset();
        KVGLDeviceTest::TearDown();
    }
    // The screen and the texture host on it (through device limits when
    // given).
    bool Open(int32_t width, int32_t height, int32_t maxTexture = 0) {
        if (!OpenDevice(width, height)) return false;
        limits = std::make_unique<kvtest::KVDeviceLimits>(&Device());
        limits->maxTextureSize = {maxTexture, maxTexture};
        host = std::make_unique<kvtest::KVTextureHost>(limits.get());
        return true;
    }
    KVGraphic& Graphic() { return host->Graphic(); }
    KVResourceTexture* Picture(const std::string& name, const std::string& png) {
        host->SetFile(name, png);
        KVResourceTexture* texture = host->Load(name);
        if (texture) held.push_back(texture);
        return texture;
    }
    // Draws the whole picture at (x, y) under the current 2D transform.
    void Draw(KVResourceTexture* texture, float x, float y, uint32_t color = 0xFFFFFFFFu) {
        Graphic().SetTextureStage(0, texture);
        KVDrawState state;
        state.blend = color >> 24 != 0xFF;
        state.textureFlag = 1;
        Graphic().SetDrawState(&state, 0);
        Graphic().SetViewTransform(kIdentity);
        ImageDrawRecord record;
        record.x = x;
        record.y = y;
        record.color = color;
        Graphic().DrawImage(&record);
        Graphic().EndDraw();
    }
    void GameOnScreen(int32_t width, int32_t height) {
        Graphic().SetGameResolution(width, height);
        Graphic().Reapply2DTransform();
    }
    static std::vector<int32_t> Box(const KVDeviceRect& r) { return {r.left, r.top, r.right, r.bottom}; }

    std::unique_ptr<kvtest::KVDeviceLimits> limits;
    std::unique_ptr<kvtest::KVTextureHost> host;
    std::vector<KVResourceTexture*> held;
};

TEST_F(KVGraphicGLTest, PictureAtOneToOneIsPixelExact) {
    ASSERT_TRUE(Open(64, 48));
    std::vector<uint32_t> pixels;
    for (int32_t y = 0; y < 6; ++y)
        for (int32_t x = 0; x < 8; ++x) pixels.push_back(Pattern(x, y));
    KVResourceTexture* texture = Picture("p.png", kvtest::WritePngArgb(8, 6, pixels));
    ASSERT_NE(texture, nullptr);
    Device().BeginFrame(1);
    Draw(texture, 5, 7);
    Device().EndFrame();
    for (int32_t y = 0; y < 6; ++y)
        for (int32_t x = 0; x < 8; ++x) ASSERT_EQ(PixelAt(5 + x, 7 + y), Pattern(x, y)) << x << "," << y;
    EXPECT_EQ(CountPixels(0), 64 * 48 - 48);
}

TEST_F(KVGraphicGLTest, PicturesAtTheCornersOfTheGameLandAtTheCornersOfTheScreen) {
    ASSERT_TRUE(Open(800, 480));
    GameOnScreen(480, 320);
    KVResourceTexture* red = Picture("red.png", Solid(30, 20, 0xFFFF0000u));
    KVResourceTexture* green = Picture("green.png", Solid(30, 20, 0xFF00FF00u));
    ASSERT_TRUE(red && green);
    Device().BeginFrame(1);
    Draw(red, 0, 0);
    Draw(green, 450, 300);
    Device().EndFrame();
    // 30 x 20 units are 50 x 30 pixels at (1.667, 1.5).
    EXPECT_EQ(Box(BoundsOf(0xFFFF0000u)), (std::vector<int32_t>{0, 0, 50, 30}));
    EXPECT_EQ(Box(BoundsOf(0xFF00FF00u)), (std::vector<int32_t>{750, 450, 800, 480}));
    EXPECT_EQ(CountPixels(0xFFFF0000u), 50 * 30);
    EXPECT_EQ(CountPixels(0xFF00FF00u), 50 * 30);
}

TEST_F(KVGraphicGLTest, TranslucentPictureOfFourFramesHasNeitherGapsNorDoubleSeams) {
    // 16 x 16 device textures: a 24 x 20 picture takes 2 x 2 frames.
    ASSERT_TRUE(Open(96, 64, 16));
    KVResourceTexture* white = Picture("w.png", Solid(24, 20, 0xFFFFFFFFu));
    ASSERT_NE(white, nullptr);
    ASSERT_EQ(white->GetFrameCount(), 4);
    Device().SetClearColor(0xFF000000u);
    Device().BeginFrame(1);
    Draw(white, 3, 5, 0x80FFFFFFu);
    // Again at 1.5 x 1.5 from (46.5, 16.5): edges and seams run through
    // pixel centres, where one pixel must be drawn exactly once.
    const float scale[2] = {1.5f, 1.5f};
    Graphic().Set2DTransform(scale, false);
    Draw(white, 31, 11, 0x80FFFFFFu);
    Device().EndFrame();
    auto grey = [](uint32_t pixel) {
        const int r = int(pixel >> 16 & 0xFF), g = int(pixel >> 8 & 0xFF), b = int(pixel & 0xFF);
        return std::abs(r - 0x80) <= 1 && g == r && b == r;
    };
    // Every pixel of the first picture is blended once.
    for (int32_t y = 5; y < 25; ++y)
        for (int32_t x = 3; x < 27; ++x) ASSERT_TRUE(grey(PixelAt(x, y))) << x << "," << y << " " << PixelAt(x, y);
    // The second covers 36 x 30 pixels (which of the pixels on its edges
    // is the rasterizer's choice), every one blended once.
    const std::vector<uint32_t> screen = ReadScreen();
    KVDeviceRect box = {96, 64, 0, 0};
    for (int32_t y = 0; y < 64; ++y)
        for (int32_t x = 40; x < 96; ++x) {
            if (!grey(screen[size_t(y) * 96 + size_t(x)])) continue;
            box = {std::min(box.left, x), std::min(box.top, y), std::max(box.right, x + 1),
                   std::max(box.bottom, y + 1)};
        }
    EXPECT_EQ(box.right - box.left, 36);
    EXPECT_EQ(box.bottom - box.top, 30);
    for (int32_t y = box.top; y < box.bottom; ++y)
        for (int32_t x = box.left; x < box.right; ++x)
            ASSERT_TRUE(grey(PixelAt(x, y))) << x << "," << y << " " << PixelAt(x, y);
    EXPECT_EQ(CountPixels(0xFF000000u), 96 * 64 - 24 * 20 - 36 * 30);
}

TEST_F(KVGraphicGLTest, PictureOfATwiceLargerResolutionCoversHalfItsPixelsInUnits) {
    ASSERT_TRUE(Open(960, 640));
    Graphic().SetGameResolution(480, 320);
    ASSERT_EQ(Graphic().RegisterResourceResolution(960, 640, "hd"), KV_OK);
    host->SetFile("hd/img.png", Solid(200, 100, 0xFF2040E0u));
    KVResourceTexture* texture = host->Load("img.png");
    ASSERT_NE(texture, nullptr);
    held.push_back(texture);
    // The 2D scale stays 1: a game unit is a pixel.
    Device().BeginFrame(1);
    Draw(texture, 10, 20);
    Device().EndFrame();
    EXPECT_EQ(Box(BoundsOf(0xFF2040E0u)), (std::vector<int32_t>{10, 20, 110, 70}));
}

TEST_F(KVGraphicGLTest, ScissorClipsAtTheScaledEdges) {
    ASSERT_TRUE(Open(800, 480));
    GameOnScreen(480, 320);
    Device().BeginFrame(1);
    const KVDeviceRect window = {30, 40, 90, 100};
    Graphic().SetScissor(&window);
    Graphic().SetViewTransform(kIdentity);
    const KVDeviceRect game = {0, 0, 480, 320};
    const uint32_t red = 0xFFFF0000u;
    Graphic().FillRect(&game, &red, 1);
    Graphic().SetScissor(nullptr);
    Device().EndFrame();
    // (30, 40, 90, 100) x (1.667, 1.5) = (50, 60, 150, 150).
    EXPECT_EQ(Box(BoundsOf(red)), (std::vector<int32_t>{50, 60, 150, 150}));
    EXPECT_EQ(CountPixels(red), 100 * 90);
}

TEST_F(KVGraphicGLTest, LoadingAnimatorsSpriteAndRectangleAppear) {
    kvtest::KVTestLuaHost lua;
    ASSERT_TRUE(Open(64, 48));
    // The texture host stands at the script host's asset root.
    host.reset();
    host = std::make_unique<kvtest::KVTextureHost>(limits.get(), lua.Root());
    host->SetFile("img/a.png", Solid(8, 8, 0xFF00FF00u));
    lua.WriteAsset("anim.luac", "function OnAnimatorInit()\n"
                                "  local s = KVLoadAnimator.CreateSprite('img/a.png')\n"
                                "  KVLoadAnimator.SetParameters(s, {show = true, x = 10, y = 12})\n"
                                "  local r = KVLoadAnimator.CreateRect()\n"
                                "  KVLoadAnimator.SetParameters(r, {show = true, x = 40, y = 20, width = 16,\n"
                                "    height = 8, color_g = 0, color_b = 0, color_r = 255})\n"
                                "end");
    KVLoadAnimator animator;
    animator.SetGraphicDevice(&Device(), &Device());
    animator.Init();
    ASSERT_EQ(animator.Start("anim.lua"), 0);
    animator.Update();
    EXPECT_EQ(Box(BoundsOf(0xFF00FF00u)), (std::vector<int32_t>{10, 12, 18, 20}));
    EXPECT_EQ(Box(BoundsOf(0xFFFF0000u)), (std::vector<int32_t>{40, 20, 56, 28}));
    EXPECT_EQ(CountPixels(0xFF00FF00u), 64);
    animator.Stop();
}

} // namespace
