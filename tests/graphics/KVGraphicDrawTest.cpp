// The graphic module's drawing operations against the recording device:
// texture stages and their resets, pictures (whole, cut, pak regions,
// several frames, resource resolutions), glyphs of pak sheets, filled
// shapes, and what happens without a device or with bad stages.
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "graphics/KVGraphic.h"
#include "graphics/KVResourceTexture.h"
#include "graphics/KVTexturePak.h"
#include "support/KVPngWriter.h"
#include "support/KVRecordingGraphicDevice.h"
#include "support/KVTexturePakWriter.h"
#include "support/KVTextureHost.h"

using namespace kvl;

namespace {

std::string Png(uint32_t width, uint32_t height, uint32_t color = 0xFF336699u) {
    return kvtest::WritePngArgb(width, height, std::vector<uint32_t>(size_t(width) * height, color));
}

// x, y, u, v of every vertex of a drawn polygon.
std::vector<float> Corners(const kvtest::KVRecordingGraphicDevice::Polygon& polygon) {
    std::vector<float> values;
    for (const KV2DVertex& v : polygon.vertices) values.insert(values.end(), {v.x, v.y, v.u, v.v});
    return values;
}

ImageDrawRecord Record(float x, float y, uint32_t color = 0xFFFFFFFFu) {
    ImageDrawRecord record;
    record.x = x;
    record.y = y;
    record.color = color;
    return record;
}

ImageDrawRecord Cut(float x, float y, float left, float top, float right, float bottom) {
    ImageDrawRecord record = Record(x, y);
    record.sourceLeft = left;
    record.sourceTop = top;
    record.sourceRight = right;
    record.sourceBottom = bottom;
    return record;
}

class KVGraphicDrawTest : public ::testing::Test {
protected:
    KVGraphic& Graphic() { return host.Graphic(); }
    // A picture file under the data root, loaded as a texture.
    KVResourceTexture* Picture(const std::string& name, uint32_t width, uint32_t height) {
        host.SetFile(name, Png(width, height));
        KVResourceTexture* texture = host.Load(name);
        if (texture) held.push_back(texture);
        return texture;
    }
    // An image of pak "ui" (one 64 x 32 page), loaded and bound to stage 0.
    KVResourceTexture* PakImage(const kvtest::PakImageSpec& image) {
        kvtest::PakSpec pak;
        pak.name = "ui";
        pak.loadMode = 1;
        pak.images = {image};
        host.SetFile("sprpaks/ui0.png", Png(64, 32));
        host.LoadPaks(kvtest::WritePaksDesc({pak}));
        KVResourceTexture* texture = host.Load(image.name + ".png");
        if (texture) held.push_back(texture);
        Graphic().SetTextureStage(0, texture);
        return texture;
    }
    void TearDown() override {
        for (KVResourceTexture* texture : held) texture->Release();
    }

    kvtest::KVRecordingGraphicDevice device;
    kvtest::KVTextureHost host{&device};
    std::vector<KVResourceTexture*> held;
};

// ---- stages ----

TEST_F(KVGraphicDrawTest, StagesBindOnChangeAndTwoResetsUnbindEverything) {
    KVResourceTexture* a = Picture("a.png", 8, 8);
    KVResourceTexture* b = Picture("b.png", 8, 8);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(Graphic().SetTextureStage(0, a), KV_OK);
    EXPECT_EQ(Graphic().SetTextureStage(0, a), KV_OK);  // the same texture: no device call
    EXPECT_EQ(Graphic().SetTextureStage(2, b), KV_OK);
    ASSERT_EQ(device.bindings.size(), 2u);
    EXPECT_EQ(device.stages[0], a->PeekDeviceTexture());
    EXPECT_EQ(device.stages[2], b->PeekDeviceTexture());

    // Both stages were set since the last reset: they stay.
    device.ClearRecords();
    Graphic().ResetTextureStages();
    EXPECT_TRUE(device.bindings.empty());
    // Stage 0 is set again, stage 2 is not: only stage 2 goes. Stage 0 is
    // bound again, as stage 2's bind took the device's texture unit since.
    Graphic().SetTextureStage(0, a);
    Graphic().ResetTextureStages();
    ASSERT_EQ(device.bindings.size(), 2u);
    EXPECT_EQ(device.bindings[0].stage, 0);
    EXPECT_EQ(device.bindings[0].texture, a->PeekDeviceTexture());
    EXPECT_EQ(device.bindings[1].stage, 2);
    EXPECT_EQ(device.bindings[1].texture, nullptr);
    // Nobody sets anything: the first reset unbinds stage 0 (the null
    // binding marks the stage), the second only clears the marks.
    device.ClearRecords();
    Graphic().ResetTextureStages();
    Graphic().ResetTextureStages();
    ASSERT_EQ(device.bindings.size(), 1u);
    EXPECT_EQ(device.bindings[0].stage, 0);
    for (int32_t stage = 0; stage < KVGraphic::kStageCount; ++stage)
        EXPECT_EQ(Graphic().GetStageTexture(stage), nullptr) << stage;
    EXPECT_EQ(device.stages[0], nullptr);
    EXPECT_EQ(device.stages[2], nullptr);
}

TEST_F(KVGraphicDrawTest, StagesBeyondTheDevicesReachItAndBadStagesAreRefused) {
    KVResourceTexture* a = Picture("a.png", 8, 8);
    ASSERT_NE(a, nullptr);
    // The device has four stages and refuses stage 5; the module remembers it.
    EXPECT_EQ(Graphic().SetTextureStage(5, a), KV_OK);
    ASSERT_EQ(device.bindings.size(), 1u);
    EXPECT_EQ(device.bindings[0].stage, 5);
    EXPECT_EQ(Graphic().GetStageTexture(5), a);
    for (int32_t stage : {-1, 8, 1000}) {
        EXPECT_EQ(Graphic().SetTextureStage(stage, a), KV_FAILED) << stage;
        EXPECT_EQ(Graphic().GetStageTexture(stage), nullptr);
    }
    EXPECT_EQ(device.bindings.size(), 1u);
}

TEST_F(KVGraphicDrawTest, ATextureGoingAwayLeavesNoStageAndForgettingTouchesNoDevice) {
    host.SetFile("a.png", Png(8, 8));
    KVResourceTexture* a = host.Load("a.png");
    ASSERT_NE(a, nullptr);
    Graphic().SetTextureStage(1, a);
    Graphic().SetTextureStage(3, a);
    a->Release();  // the last reference: the texture goes
    EXPECT_EQ(Graphic().GetStageTexture(1), nullptr);
    EXPECT_EQ(Graphic().GetStageTexture(3), nullptr);

    KVResourceTexture* b = Picture("b.png", 8, 8);
    Graphic().SetTextureStage(0, b);
    device.ClearRecords();
    Graphic().ForgetTextureStages();
    EXPECT_EQ(Graphic().GetStageTexture(0), nullptr);
    EXPECT_TRUE(device.Calls().empty());
    // Remembering nothing, the module binds the texture again.
    Graphic().SetTextureStage(0, b);
    EXPECT_EQ(device.bindings.size(), 1u);
}

// A stage whose texture was forgotten, or went away, holds nothing: a later
// reset neither unbinds it nor marks it set.
TEST_F(KVGraphicDrawTest, AStageForgottenOrLeftByItsTextureIsNoLongerUnboundByResets) {
    struct Case {
        const char* name;
        bool forget;  // else the texture goes
    };
    for (const Case& c : {Case{"forgotten", true}, Case{"texture gone", false}}) {
        host.SetFile("a.png", Png(8, 8));
        KVResourceTexture* a = host.Load("a.png");
        ASSERT_NE(a, nullptr) << c.name;
        Graphic().SetTextureStage(1, a);
        Graphic().SetTextureStage(3, a);
        Graphic().ResetTextureStages();  // both were set: they stay, unmarked
        if (c.forget) Graphic().ForgetTextureStages();
        a->Release();  // the last reference: the texture goes
        device.ClearRecords();
        Graphic().ResetTextureStages();
        EXPECT_TRUE(device.bindings.empty()) << c.name;
        EXPECT_FALSE(Graphic().IsStageTouched(1)) << c.name;
        EXPECT_FALSE(Graphic().IsStageTouched(3)) << c.name;
        // A stage set again is unbound by the second reset after it.
        KVResourceTexture* b = Picture("b.png", 8, 8);
        Graphic().SetTextureStage(3, b);
        Graphic().ResetTextureStages();
        Graphic().ResetTextureStages();
        ASSERT_EQ(device.bindings.size(), 2u) << c.name;
        EXPECT_EQ(device.bindings[1].stage, 3) << c.name;
        EXPECT_EQ(device.bindings[1].texture, nullptr) << c.name;
        EXPECT_TRUE(Graphic().IsStageTouched(3)) << c.name;
        Graphic().ResetTextureStages();
        device.ClearRecords();
    }
}

// ---- pictures ----

TEST_F(KVGraphicDrawTest, WholePictureIsOneQuadOfItsPixelsAndAlphaZeroDrawsNothing) {
    KVResourceTexture* a = Picture("a.png", 40, 20);
    ASSERT_NE(a, nullptr);
    Graphic().SetTextureStage(0, a);
    device.ClearRecords();
    ImageDrawRecord record = Record(5, 6, 0x00FFFFFFu);
    EXPECT_EQ(Graphic().DrawImage(&record), KV_OK);
    EXPECT_TRUE(device.Calls().empty());

    record.color = 0x80102030u;
    EXPECT_EQ(Graphic().DrawImage(&record), KV_OK);
    // Left equal to right: the whole image.
    record.sourceLeft = record.sourceRight = 7;
    Graphic().DrawImage(&record);
    ASSERT_EQ(device.drawn.size(), 2u);
    // The vertex fan: top-left, bottom-left, bottom-right, top-right.
    const std::vector<float> whole = {5, 6, 0, 0, 5, 26, 0, 1, 45, 26, 1, 1, 45, 6, 1, 0};
    EXPECT_EQ(Corners(device.drawn[0]), whole);
    EXPECT_EQ(Corners(device.drawn[1]), whole);
    for (const KV2DVertex& v : device.drawn[0].vertices) {
        EXPECT_EQ(v.color, 0x80102030u);
        EXPECT_EQ(v.z, 0.0f);
    }
}

TEST_F(KVGraphicDrawTest, TextureMadeInMemoryIsDrawnWholeAtItsPixelSize) {
    IKVResourceTexture* made = nullptr;
    ASSERT_EQ(Graphic().CreateTexture({20, 10}, KVTEXFMT_BGRA, &made, 0), KV_OK);
    Graphic().SetTextureStage(0, made);
    ImageDrawRecord record = Record(1, 2);
    Graphic().DrawImage(&record);
    ASSERT_EQ(device.drawn.size(), 1u);
    EXPECT_EQ(Corners(device.drawn[0]), (std::vector<float>{1, 2, 0, 0, 1, 12, 0, 1, 21, 12, 1, 1, 21, 2, 1, 0}));
    made->Release();
}

TEST_F(KVGraphicDrawTest, CutIsTruncatedToWholePixels) {
    KVResourceTexture* a = Picture("a.png", 40, 20);
    ASSERT_NE(a, nullptr);
    Graphic().SetTextureStage(0, a);
    ImageDrawRecord record = Cut(0, 0, 8.9f, 4.2f, 24.7f, 20.0f);
    Graphic().DrawImage(&record);
    ASSERT_EQ(device.drawn.size(), 1u);
    EXPECT_EQ(Corners(device.drawn[0]), (std::vector<float>{0, 0, 8 / 40.f, 4 / 20.f, 0, 16, 8 / 40.f, 20 / 20.f, 16,
                                                            16, 24 / 40.f, 20 / 20.f, 16, 0, 24 / 40.f, 4 / 20.f}));
}

// A cut reaching past the picture draws only the picture's pixels, the
// quad moved by what was cut on the left or the top; a cut wholly outside
// draws nothing (the device would stretch the edge pixels over the quad).
TEST_F(KVGraphicDrawTest, CutsAreClippedToThePicture) {
    KVResourceTexture* a = Picture("a.png", 40, 20);
    ASSERT_NE(a, nullptr);
    Graphic().SetTextureStage(0, a);
    struct Case {
        const char* name;
        float left, top, right, bottom;
        std::vector<float> box;  // x0, y0, x1, y1 of the quad at (100, 50)
        std::vector<float> uv;   // u0, v0, u1, v1
    };
    const Case cases[] = {
        {"inside", 8, 4, 16, 12, {100, 50, 108, 58}, {8 / 40.f, 4 / 20.f, 16 / 40.f, 12 / 20.f}},
        {"past the bottom", 8, 16, 16, 24, {100, 50, 108, 54}, {8 / 40.f, 16 / 20.f, 16 / 40.f, 1}},
        {"past the right", 36, 0, 44, 4, {100, 50, 104, 54}, {36 / 40.f, 0, 1, 4 / 20.f}},
        {"before the left and the top", -4, -2, 4, 6, {104, 52, 108, 58}, {0, 0, 4 / 40.f, 6 / 20.f}},
        {"around the picture", -10, -10, 50, 30, {110, 60, 150, 80}, {0, 0, 1, 1}},
        {"below the picture", 8, 20, 16, 28, {}, {}},
        {"right of the picture", 40, 0, 48, 8, {}, {}},
        {"above the picture", 0, -9, 8, -1, {}, {}},
        {"left of the picture", -8, 0, 0, 8, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        device.ClearRecords();
        ImageDrawRecord record = Cut(100, 50, c.left, c.top, c.right, c.bottom);
        EXPECT_EQ(Graphic().DrawImage(&record), KV_OK);
        if (c.box.empty()) {
            EXPECT_TRUE(device.drawn.empty());
            continue;
        }
        ASSERT_EQ(device.drawn.size(), 1u);
        const std::vector<KV2DVertex>& v = device.drawn[0].vertices;
        EXPECT_EQ((std::vector<float>{v[0].x, v[0].y, v[2].x, v[2].y}), c.box);
        EXPECT_EQ((std::vector<float>{v[0].u, v[0].v, v[2].u, v[2].v}), c.uv);
    }
}

TEST_F(KVGraphicDrawTest, CutsOfPakImagesAndResolutionsAreClippedToTheirPixels) {
    kvtest::PakImageSpec hero;
    hero.name = "hero";
    hero.rect = {10, 4, 30, 20};
    ASSERT_NE(PakImage(hero), nullptr);
    // Before the region's corner: the page's pixels left of and above the
    // image are not drawn.
    ImageDrawRecord before = Cut(0, 0, -5, -2, 5, 2);
    Graphic().DrawImage(&before);
    // Wholly below the region, inside the page.
    ImageDrawRecord below = Cut(0, 0, 0, 16, 20, 24);
    Graphic().DrawImage(&below);
    ASSERT_EQ(device.drawn.size(), 1u);
    EXPECT_EQ(Corners(device.drawn[0]),
              (std::vector<float>{5, 2, 10 / 64.f, 4 / 32.f, 5, 4, 10 / 64.f, 6 / 32.f, 10, 4, 15 / 64.f, 6 / 32.f, 10,
                                  2, 15 / 64.f, 4 / 32.f}));

    // Pixels of a twice larger set: cut (-4, 0)-(4, 4) in game units is
    // pixels (-7, 0)-(8, 8); the 7 pixels cut move the quad 3.5 units.
    device.screen = {960, 640, 960, 640, 0, 1, 1};
    Graphic().SetGameResolution(480, 320);
    ASSERT_EQ(Graphic().RegisterResourceResolution(960, 640, "hd"), KV_OK);
    host.SetFile("hd/img.png", Png(200, 100));
    KVResourceTexture* hd = host.Load("img.png");
    ASSERT_NE(hd, nullptr);
    held.push_back(hd);
    Graphic().SetTextureStage(0, hd);
    device.ClearRecords();
    ImageDrawRecord cut = Cut(10, 10, -4, 0, 4, 4);
    Graphic().DrawImage(&cut);
    ASSERT_EQ(device.drawn.size(), 1u);
    const std::vector<KV2DVertex>& v = device.drawn[0].vertices;
    EXPECT_EQ((std::vector<float>{v[0].x, v[0].y, v[2].x, v[2].y, v[0].u, v[2].u}),
              (std::vector<float>{13.5f, 10, 17.5f, 14, 0, 8 / 200.f}));
}

TEST_F(KVGraphicDrawTest, PakRegionMovesTheCutClipsItAndAddsTheDrawOffset) {
    kvtest::PakImageSpec hero;
    hero.name = "hero";
    hero.rect = {10, 4, 30, 20};
    hero.offsetX = 3;
    hero.offsetY = -2;
    hero.width = 25;
    hero.height = 21;
    ASSERT_NE(PakImage(hero), nullptr);

    // The whole region, at the position plus the offset.
    ImageDrawRecord whole = Record(100, 50);
    Graphic().DrawImage(&whole);
    // A cut inside the region is moved by its corner and clipped to it.
    ImageDrawRecord cut = Cut(0, 0, 5, 2, 40, 40);
    Graphic().DrawImage(&cut);
    ASSERT_EQ(device.drawn.size(), 2u);
    EXPECT_EQ(Corners(device.drawn[0]),
              (std::vector<float>{103, 48, 10 / 64.f, 4 / 32.f, 103, 64, 10 / 64.f, 20 / 32.f, 123, 64, 30 / 64.f,
                                  20 / 32.f, 123, 48, 30 / 64.f, 4 / 32.f}));
    EXPECT_EQ(Corners(device.drawn[1]),
              (std::vector<float>{3, -2, 15 / 64.f, 6 / 32.f, 3, 12, 15 / 64.f, 20 / 32.f, 18, 12, 30 / 64.f,
                                  20 / 32.f, 18, -2, 30 / 64.f, 6 / 32.f}));
}

TEST_F(KVGraphicDrawTest, PictureOfFourFramesIsDrawnPieceByPieceAndFrameZeroIsBoundAgain) {
    device.maxTextureSize = {16, 16};
    KVResourceTexture* big = Picture("big.png", 24, 20);
    ASSERT_NE(big, nullptr);
    ASSERT_EQ(big->GetFrameCount(), 4);
    Graphic().SetTextureStage(0, big);
    device.ClearRecords();
    // A cut across all four frames: (4, 2) to (22, 19).
    ImageDrawRecord record = Cut(100, 200, 4, 2, 22, 19);
    Graphic().DrawImage(&record);
    ASSERT_EQ(device.drawn.size(), 4u);
    std::vector<IKVTexture*> frames;
    for (int32_t i = 0; i < 4; ++i) frames.push_back(big->GetFrame(i)->texture);
    // Frame 0 is drawn with the stage's binding, the others bind their own;
    // frame 0 comes back at the end.
    EXPECT_EQ(device.drawn[0].texture, frames[0]);
    EXPECT_EQ(device.drawn[1].texture, frames[1]);
    EXPECT_EQ(device.drawn[2].texture, frames[2]);
    EXPECT_EQ(device.drawn[3].texture, frames[3]);
    ASSERT_EQ(device.bindings.size(), 4u);
    EXPECT_EQ(device.bindings.back().texture, frames[0]);
    EXPECT_EQ(device.stages[0], frames[0]);
    // The pieces meet: frame edges at picture x 16 and y 16.
    auto box = [&](size_t i) {
        const std::vector<KV2DVertex>& v = device.drawn[i].vertices;
        return std::vector<float>{v[0].x, v[0].y, v[2].x, v[2].y};
    };
    EXPECT_EQ(box(0), (std::vector<float>{100, 200, 112, 214}));
    EXPECT_EQ(box(1), (std::vector<float>{112, 200, 118, 214}));
    EXPECT_EQ(box(2), (std::vector<float>{100, 214, 112, 217}));
    EXPECT_EQ(box(3), (std::vector<float>{112, 214, 118, 217}));
    // Frame 3's piece starts at its own corner.
    EXPECT_EQ(device.drawn[3].vertices[0].u, 0.0f);
    EXPECT_EQ(device.drawn[3].vertices[2].u, 6 / 8.f);

    // A cut inside frame 3 alone binds it and then frame 0 again.
    device.ClearRecords();
    ImageDrawRecord inside = Cut(0, 0, 18, 17, 20, 19);
    Graphic().DrawImage(&inside);
    ASSERT_EQ(device.drawn.size(), 1u);
    EXPECT_EQ(device.drawn[0].texture, frames[3]);
    EXPECT_EQ(box(0), (std::vector<float>{0, 0, 2, 2}));
    EXPECT_EQ(device.stages[0], frames[0]);
}

TEST_F(KVGraphicDrawTest, PictureOfATwiceLargerResolutionCoversItsGameSize) {
    device.screen = {960, 640, 960, 640, 0, 1, 1};
    Graphic().SetGameResolution(480, 320);
    ASSERT_EQ(Graphic().RegisterResourceResolution(960, 640, "hd"), KV_OK);
    host.SetFile("hd/img.png", Png(200, 100));
    KVResourceTexture* texture = host.Load("img.png");
    ASSERT_NE(texture, nullptr);
    held.push_back(texture);
    EXPECT_EQ(texture->GetImageSize()[0], 100);
    Graphic().SetTextureStage(0, texture);
    ImageDrawRecord whole = Record(10, 10);
    Graphic().DrawImage(&whole);
    // A cut in game units is taken in the set's pixels: (5, 5)-(25, 15) is
    // pixels (10, 10)-(50, 30), drawn over 20 x 10 units.
    ImageDrawRecord cut = Cut(0, 0, 5, 5, 25, 15);
    Graphic().DrawImage(&cut);
    ASSERT_EQ(device.drawn.size(), 2u);
    const std::vector<KV2DVertex>& a = device.drawn[0].vertices;
    EXPECT_EQ(std::vector<float>({a[2].x, a[2].y, a[2].u, a[2].v}), (std::vector<float>{110, 60, 1, 1}));
    const std::vector<KV2DVertex>& b = device.drawn[1].vertices;
    EXPECT_EQ(std::vector<float>({b[0].u, b[0].v, b[2].x, b[2].y}), (std::vector<float>{0.05f, 0.1f, 20, 10}));
    EXPECT_FLOAT_EQ(b[2].u, 0.25f);
}

TEST_F(KVGraphicDrawTest, TextureWithoutFramesDrawsNothing) {
    KVResourceTexture* a = Picture("a.png", 8, 8);
    ASSERT_NE(a, nullptr);
    Graphic().SetTextureStage(0, a);
    a->FreeData();
    device.ClearRecords();
    ImageDrawRecord record = Record(0, 0);
    EXPECT_EQ(Graphic().DrawImage(&record), KV_OK);
    // Nothing on stage 0 at all.
    Graphic().SetTextureStage(0, nullptr);
    EXPECT_EQ(Graphic().DrawImage(&record), KV_OK);
    EXPECT_TRUE(device.drawn.empty());
}

TEST_F(KVGraphicDrawTest, AbsurdCutsAndPlacesConvertWithoutOverflow) {
    device.maxTextureSize = {16, 16};
    KVResourceTexture* big = Picture("big.png", 24, 20);
    KVResourceTexture* small = Picture("small.png", 8, 8);
    ASSERT_TRUE(big && small);
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::vector<ImageDrawRecord> records = {
        Cut(0, 0, -3e38f, -3e38f, 3e38f, 3e38f), Cut(0, 0, -inf, -inf, inf, inf), Cut(nan, nan, nan, 0, 5, nan),
        Cut(1e30f, -1e30f, 2147483520.0f, 0, 3e9f, 4), Cut(0, 0, -5e9f, -5e9f, -4e9f, -4e9f)};
    Graphic().SetTextureStage(0, big);
    for (const ImageDrawRecord& record : records) EXPECT_EQ(Graphic().DrawImage(&record), KV_OK);
    // Cuts wider than the picture are clipped to each frame.
    for (const auto& polygon : device.drawn)
        for (const KV2DVertex& v : polygon.vertices) EXPECT_FALSE(v.u > 1.0f || v.v > 1.0f);
    // One frame clips the cut to the picture as well.
    Graphic().SetTextureStage(0, small);
    device.ClearRecords();
    for (const ImageDrawRecord& record : records) EXPECT_EQ(Graphic().DrawImage(&record), KV_OK);
    for (const auto& polygon : device.drawn)
        for (const KV2DVertex& v : polygon.vertices) EXPECT_FALSE(v.u < 0.0f || v.v < 0.0f || v.u > 1.0f || v.v > 1.0f);
    const KVDeviceRect huge = {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};
    const uint32_t color = 0xFFFFFFFFu;
    EXPECT_EQ(Graphic().FillRect(&huge, &color, 1), KV_OK);
}

// ---- glyphs ----

class KVGraphicGlyphTest : public KVGraphicDrawTest {
protected:
    void SetUp() override {
        kvtest::PakSheetSpec sheet;
        sheet.name = "fonts/big";
        sheet.width = 100;
        sheet.height = 20;
        // Two glyphs on page 0, one on page 1.
        sheet.subImages = {{0, {0, 0, 10, 12}, 3}, {0, {10, 0, 18, 12}, 0}, {1, {2, 4, 8, 14}, 5}};
        sheet.index = {0, -1, 1, 2};
        kvtest::PakSpec pak;
        pak.name = "font";
        pak.loadMode = 1;
        pak.pageCount = 2;
        pak.sheets = {sheet};
        host.SetFile("sprpaks/font0.png", Png(64, 32));
        host.SetFile("sprpaks/font1.png", Png(32, 16));
        host.LoadPaks(kvtest::WritePaksDesc({pak}));
        sheetTexture = host.Load("fonts/big.png");
        ASSERT_NE(sheetTexture, nullptr);
        held.push_back(sheetTexture);
        pages[0] = host.Paks().GetPage(0, 0)->PeekDeviceTexture();
        pages[1] = host.Paks().GetPage(0, 1)->PeekDeviceTexture();
    }
    KVResourceTexture* sheetTexture = nullptr;
    IKVTexture* pages[2] = {};
};

TEST_F(KVGraphicGlyphTest, GlyphsBindTheirPagesAsTheyGoAndSitOnTheirYOffset) {
    Graphic().SetTextureStage(0, sheetTexture);
    // A sheet binds nothing itself.
    EXPECT_TRUE(device.bindings.empty());
    ImageDrawRecord record = Record(50, 60);
    for (int32_t glyph : {0, 2, 3, 3, 0}) Graphic().DrawGlyph(&record, glyph);
    ASSERT_EQ(device.drawn.size(), 5u);
    // Page 0, page 0 (no new binding), page 1, page 1, page 0.
    ASSERT_EQ(device.bindings.size(), 3u);
    EXPECT_EQ(device.bindings[0].texture, pages[0]);
    EXPECT_EQ(device.bindings[1].texture, pages[1]);
    EXPECT_EQ(device.bindings[2].texture, pages[0]);
    EXPECT_EQ(Corners(device.drawn[0]), (std::vector<float>{50, 63, 0, 0, 50, 75, 0, 12 / 32.f, 60, 75, 10 / 64.f,
                                                            12 / 32.f, 60, 63, 10 / 64.f, 0}));
    EXPECT_EQ(Corners(device.drawn[2]), (std::vector<float>{50, 65, 2 / 32.f, 4 / 16.f, 50, 75, 2 / 32.f, 14 / 16.f,
                                                            56, 75, 8 / 32.f, 14 / 16.f, 56, 65, 8 / 32.f, 4 / 16.f}));

    // Binding the sheet again (after another texture) forgets the page, so
    // the next glyph binds it even though it was the last one.
    Graphic().SetTextureStage(0, nullptr);
    Graphic().SetTextureStage(0, sheetTexture);
    device.ClearRecords();
    Graphic().DrawGlyph(&record, 0);
    ASSERT_EQ(device.bindings.size(), 1u);
    EXPECT_EQ(device.bindings[0].texture, pages[0]);
}

TEST_F(KVGraphicGlyphTest, UnusedAndOutOfRangeNumbersDrawNothing) {
    Graphic().SetTextureStage(0, sheetTexture);
    ImageDrawRecord record = Record(0, 0);
    for (int32_t glyph : {1, 4, -1, 1 << 30, INT32_MIN}) EXPECT_EQ(Graphic().DrawGlyph(&record, glyph), KV_OK);
    EXPECT_TRUE(device.Calls().empty());
    // A picture that is no sheet has no glyphs.
    KVResourceTexture* a = Picture("a.png", 8, 8);
    Graphic().SetTextureStage(0, a);
    device.ClearRecords();
    Graphic().DrawGlyph(&record, 0);
    EXPECT_TRUE(device.drawn.empty());
}

// Rectangles of a pak that reach past their page (the pak is read before
// its pages, so nothing checks them there) draw only the page's pixels:
// a glyph's rectangle and an image's region alike.
TEST_F(KVGraphicDrawTest, PakRectanglesPastTheirPageAreClippedToIt) {
    kvtest::PakSheetSpec sheet;
    sheet.name = "fonts/edge";
    sheet.width = 100;
    sheet.height = 20;
    // On a page of 64 x 32: past its corner, before its left edge, wholly
    // outside it.
    sheet.subImages = {{0, {56, 24, 72, 40}, 2}, {0, {-4, 0, 4, 8}, 0}, {0, {64, 0, 70, 8}, 0}};
    sheet.index = {0, 1, 2};
    kvtest::PakImageSpec image;
    image.name = "wide";
    image.rect = {50, 20, 80, 40};
    kvtest::PakSpec pak;
    pak.name = "edge";
    pak.loadMode = 1;
    pak.sheets = {sheet};
    pak.images = {image};
    host.SetFile("sprpaks/edge0.png", Png(64, 32));
    host.LoadPaks(kvtest::WritePaksDesc({pak}));
    KVResourceTexture* glyphs = host.Load("fonts/edge.png");
    KVResourceTexture* wide = host.Load("wide.png");
    ASSERT_TRUE(glyphs && wide);
    held.push_back(glyphs);
    held.push_back(wide);

    Graphic().SetTextureStage(0, glyphs);
    ImageDrawRecord record = Record(100, 50);
    for (int32_t number : {0, 1, 2}) Graphic().DrawGlyph(&record, number);
    ASSERT_EQ(device.drawn.size(), 2u);
    EXPECT_EQ(Corners(device.drawn[0]), (std::vector<float>{100, 52, 56 / 64.f, 24 / 32.f, 100, 60, 56 / 64.f, 1, 108,
                                                            60, 1, 1, 108, 52, 1, 24 / 32.f}));
    EXPECT_EQ(Corners(device.drawn[1]), (std::vector<float>{104, 50, 0, 0, 104, 58, 0, 8 / 32.f, 108, 58, 4 / 64.f,
                                                            8 / 32.f, 108, 50, 4 / 64.f, 0}));

    device.ClearRecords();
    Graphic().SetTextureStage(0, wide);
    ImageDrawRecord whole = Record(0, 0);
    Graphic().DrawImage(&whole);
    ASSERT_EQ(device.drawn.size(), 1u);
    const std::vector<KV2DVertex>& v = device.drawn[0].vertices;
    EXPECT_EQ((std::vector<float>{v[0].x, v[0].y, v[2].x, v[2].y, v[0].u, v[0].v, v[2].u, v[2].v}),
              (std::vector<float>{0, 0, 14, 12, 50 / 64.f, 20 / 32.f, 1, 1}));
}

// ---- shapes and state ----

TEST_F(KVGraphicDrawTest, FilledRectangleBlendsWhenAColourItUsesIsTranslucent) {
    struct Case {
        std::vector<uint32_t> colors;
        int32_t mode;
        uint8_t blend;
    } cases[] = {
        {{0xFF000001u, 0x00000002u, 0x00000003u, 0x00000004u}, 1, 0},  // one colour: the others do not count
        {{0xFE000001u}, 1, 1},
        {{0xFF000001u, 0xFF000002u, 0xFF000003u, 0xFF000004u}, 0, 0},
        {{0x80000001u, 0xFF000002u, 0xFF000003u, 0xFF000004u}, 0, 1},  // only the top-left is translucent
        {{0xFF000001u, 0xFF000002u, 0xFF000003u, 0x00000004u}, 2, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        device.ClearRecords();
        const KVDeviceRect rect = {1, 2, 11, 22};
        EXPECT_EQ(Graphic().FillRect(&rect, c.colors.data(), c.mode), KV_OK);
        EXPECT_EQ(device.Calls(), (std::vector<std::string>{"SetBlendState", "DrawPolygon", "Flush"}));
        EXPECT_EQ(device.states[0].state.blend, c.blend);
        EXPECT_EQ(device.states[0].state.textureFlag, 0u);
        const std::vector<KV2DVertex>& v = device.drawn[0].vertices;
        EXPECT_EQ(std::vector<float>({v[0].x, v[0].y, v[1].x, v[1].y, v[2].x, v[2].y, v[3].x, v[3].y}),
                  (std::vector<float>{1, 2, 1, 22, 11, 22, 11, 2}));
        // Corners: top-left, bottom-left, bottom-right, top-right.
        const uint32_t tl = c.colors[0];
        if (c.mode == 1) {
            EXPECT_EQ(std::vector<uint32_t>({v[0].color, v[1].color, v[2].color, v[3].color}),
                      (std::vector<uint32_t>{tl, tl, tl, tl}));
        } else {
            EXPECT_EQ(std::vector<uint32_t>({v[0].color, v[1].color, v[2].color, v[3].color}),
                      (std::vector<uint32_t>{tl, c.colors[2], c.colors[3], c.colors[1]}));
        }
    }
}

TEST_F(KVGraphicDrawTest, TriangleLineAndDrawStateReachTheDevice) {
    const KVFloatPoint corners[3] = {{1, 2}, {3.5f, 4}, {5, 6.25f}};
    Graphic().FillTriangle(corners, 0xFEFFFFFFu);
    Graphic().FillTriangle(corners, 0xFF123456u);
    ASSERT_EQ(device.drawn.size(), 2u);
    EXPECT_EQ(device.drawn[0].vertices.size(), 3u);
    EXPECT_EQ(device.drawn[0].vertices[1].x, 3.5f);
    EXPECT_EQ(device.drawn[0].vertices[2].y, 6.25f);
    EXPECT_EQ(device.states[0].state.blend, 1);
    EXPECT_EQ(device.states[1].state.blend, 0);
    EXPECT_EQ(device.drawn[1].vertices[0].color, 0xFF123456u);

    EXPECT_EQ(Graphic().DrawLine2D({1, 2}, {3, 4}, 0xFF00FF00u), 0);
    ASSERT_EQ(device.lines.size(), 1u);
    EXPECT_EQ(device.lines[0].x1, 3);
    EXPECT_EQ(device.lines[0].color, 0xFF00FF00u);

    // Bit 0 of the flags is the batch flag; EndDraw flushes and clears it.
    KVDrawState state;
    state.blend = 1;
    state.wordOption = 7;
    device.ClearRecords();
    EXPECT_EQ(Graphic().SetDrawState(&state, 0x3), KV_OK);
    EXPECT_TRUE(Graphic().IsBatching());
    EXPECT_EQ(device.states[0].batchFlag, 1);
    EXPECT_EQ(device.states[0].state.wordOption, 7u);
    EXPECT_EQ(Graphic().EndDraw(), KV_OK);
    EXPECT_FALSE(Graphic().IsBatching());
    EXPECT_EQ(device.Calls(), (std::vector<std::string>{"SetBlendState", "Flush"}));
}

TEST(KVGraphicWithoutDevice, DrawingAnswersOneAndDrawsNothing) {
    KVGraphic graphic;
    ImageDrawRecord record = Record(0, 0);
    const KVDeviceRect rect = {0, 0, 4, 4};
    const uint32_t color = 0xFFFFFFFFu;
    const KVFloatPoint corners[3] = {{0, 0}, {1, 0}, {0, 1}};
    const float matrix[6] = {1, 0, 0, 1, 0, 0};
    KVDrawState state;
    EXPECT_EQ(graphic.SetTextureStage(0, nullptr), KV_FAILED);
    EXPECT_EQ(graphic.ResetTextureStages(), KV_OK);
    EXPECT_EQ(graphic.SetDrawState(&state, 1), KV_FAILED);
    EXPECT_EQ(graphic.DrawImage(&record), KV_FAILED);
    EXPECT_EQ(graphic.DrawGlyph(&record, 0), KV_FAILED);
    EXPECT_EQ(graphic.EmitQuad(&record, {0, 0}, {0, 0, 1, 1}, {1, 1}), KV_FAILED);
    EXPECT_EQ(graphic.FillRect(&rect, &color, 1), KV_FAILED);
    EXPECT_EQ(graphic.FillTriangle(corners, color), KV_FAILED);
    EXPECT_EQ(graphic.DrawLine2D({0, 0}, {1, 1}, color), KV_FAILED);
    EXPECT_EQ(graphic.SetViewTransform(matrix), KV_FAILED);
    EXPECT_EQ(graphic.SetScissor(&rect), KV_FAILED);
    EXPECT_EQ(graphic.EndDraw(), KV_FAILED);
    KVIntPoint point = {9, 9};
    EXPECT_EQ(graphic.PointToGame(&point, 5, 5), KV_OK);
    EXPECT_EQ(graphic.SetRenderTarget(nullptr), KV_OK);
}

} // namespace
