// The sprite against the recording device: frames loaded from its Image
// paths (with the error event of each missing one), the draw state and the
// CPU clipping the graphic module receives, the on-screen class, the alpha
// mask point test, its own texture and the script methods.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <string>
#include <vector>

#include "graphics/KVGraphic.h"
#include "kernel/KVResources.h"
#include "support/KVFakeTexture.h"
#include "support/KVPngWriter.h"
#include "support/KVSpriteRig.h"
#include "units/KVSceneManager.h"
#include "units2d/KVUnitSprite.h"

using namespace kvl;
using namespace kvtest;
using Records = std::vector<std::string>;

namespace {

constexpr uint32_t kRed = 0xFFFF0000u;

class KVUnitSpriteTest : public ::testing::Test {
protected:
    KVUnitSprite* Sprite(const char* name = "S", const std::vector<std::string>& events = {}) {
        return rig.Make<KVUnitSprite>("Sprite", name, events);
    }
    // A sprite showing a picture file of that size and colour.
    KVUnitSprite* Showing(const char* name, uint32_t width, uint32_t height, uint32_t color = kRed) {
        // The resource manager looks files up in lower case.
        std::string file = std::string("img/") + name + ".png";
        for (char& c : file) c = char(std::tolower(static_cast<unsigned char>(c)));
        rig.WritePng(file, width, height, color);
        KVUnitSprite* sprite = Sprite(name);
        if (sprite) sprite->SetImage(file);
        return sprite;
    }
    void Place(KVUnitSprite* sprite, float x, float y, float scale) {
        const KV2DTempl<float> pair = {scale, scale};
        sprite->SetScale(&pair);
        sprite->SetPosition(x, y);
    }
    KVSpriteDevice& Device() { return rig.Device(); }
    // x, y, u, v of the last quad drawn.
    std::vector<float> LastQuad() {
        std::vector<float> values;
        if (Device().drawn.empty()) return values;
        for (const KV2DVertex& v : Device().drawn.back().vertices) values.insert(values.end(), {v.x, v.y, v.u, v.v});
        return values;
    }

    KVSpriteRig rig;
};

// ---- frames ------------------------------------------------------------------

TEST_F(KVUnitSpriteTest, AMissingImageRaisesOneErrorAndCountsNoFrame) {
    rig.WritePng("img/a.png", 6, 3, kRed);
    KVUnitSprite* sprite = Sprite("S", {"OnError"});
    ASSERT_NE(sprite, nullptr);
    rig.TakeRecords();
    rig.SetText(sprite, KVUnitSprite::kImageId, 0, "img/a.png|img/missing.png");
    EXPECT_EQ(rig.TakeRecords(), (Records{"S:OnError 0"}));
    EXPECT_EQ(sprite->GetFrameCount(), 1u);
    EXPECT_EQ(sprite->GetFrameListSize(), 1u);
    EXPECT_EQ(*sprite->GetDimension(), (KV2DTempl<int32_t>{6, 3}));
    // The manager's message names the unit that loads.
    const Records log = rig.TakeLogErrors();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].find("[Unit S]"), std::string::npos) << log[0];
    EXPECT_EQ(KVResources::Instance()->GetCurrentUnit(), -1);

    rig.Run("S:SetFrame(1)");
    const Records errors = rig.TakeErrors();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("sprite frame index out of range"), std::string::npos) << errors[0];
    rig.Run("S:SetFrame(0)");
    EXPECT_TRUE(rig.TakeErrors().empty());
}

TEST_F(KVUnitSpriteTest, TheDimensionIsTheLastFrameLoadedAndSetFrameSizesToItsFrame) {
    rig.WritePng("img/a.png", 6, 3, kRed);
    rig.WritePng("img/b.png", 2, 5, kRed);
    KVUnitSprite* sprite = Sprite();
    sprite->SetImage("img/a.png|img/b.png");
    EXPECT_EQ(sprite->GetFrameCount(), 2u);
    EXPECT_EQ(*sprite->GetDimension(), (KV2DTempl<int32_t>{2, 5}));
    rig.Run("S:SetFrame(0)\nframe = S:GetFrame()");
    EXPECT_EQ(*sprite->GetDimension(), (KV2DTempl<int32_t>{6, 3}));
    EXPECT_EQ(rig.Host().Evaluate("frame"), Records{"0"});
    // The Frame attribute is not checked; GetFrame then answers -1.
    sprite->SetFrame(7);
    EXPECT_EQ(*sprite->GetDimension(), (KV2DTempl<int32_t>{6, 3}));
    EXPECT_EQ(rig.Host().Evaluate("S:GetFrame()"), Records{"-1"});
    EXPECT_EQ(sprite->GetCurrentTexture(), nullptr);
}

TEST_F(KVUnitSpriteTest, FramesFollowTheEnabledStateAndShortImagesLoadNothing) {
    KVUnitSprite* sprite = Showing("a", 4, 4);
    ASSERT_EQ(sprite->GetFrameListSize(), 1u);
    sprite->SetEnabled(false);
    EXPECT_EQ(sprite->GetFrameListSize(), 0u);
    EXPECT_FALSE(sprite->HasFrames());
    sprite->SetEnabled(true);
    EXPECT_EQ(sprite->GetFrameListSize(), 1u);

    sprite->SetImage("ab");
    EXPECT_FALSE(sprite->HasFrames());
    EXPECT_EQ(sprite->GetFrameCount(), 0u);
    Device().ClearRecords();
    sprite->Draw();
    EXPECT_TRUE(Device().drawn.empty());
    EXPECT_TRUE(rig.TakeLogErrors().empty());
}

// ---- drawing -------------------------------------------------------------------

struct BlendCase {
    const char* name;
    bool alphaChannel;  // the picture file has one
    uint32_t color;
    bool opaque;
    uint8_t blend;
};

void PrintTo(const BlendCase& c, std::ostream* out) { *out << c.name; }

class KVUnitSpriteBlendTest : public KVUnitSpriteTest, public ::testing::WithParamInterface<BlendCase> {};

TEST_P(KVUnitSpriteBlendTest, BlendingFollowsTheTextureTheColourAndTheOpaqueFlag) {
    const BlendCase& c = GetParam();
    PngImage image;
    image.width = image.height = 2;
    image.colourType = c.alphaChannel ? 6 : 2;
    image.samples.assign(size_t(4) * PngChannels(image.colourType), 200);
    rig.Host().Dir().WriteFile("assets/img/p.png", WritePng(image));
    KVUnitSprite* sprite = Sprite();
    sprite->SetImage("img/p.png");
    sprite->SetColor(c.color);
    sprite->SetOpaque(c.opaque);
    rig.SetText(sprite, KVUnitSprite::kAlphaTestThresholdId, 0, "77");
    Device().ClearRecords();
    sprite->Draw();
    ASSERT_EQ(Device().states.size(), 1u);
    const KVDrawState& state = Device().states[0].state;
    EXPECT_EQ(state.blend, c.blend);
    EXPECT_EQ(state.textureFlag, 1u);
    EXPECT_EQ(state.alphaThreshold, 77u);
    EXPECT_EQ(state.pixelShader, nullptr);
    EXPECT_EQ(Device().states[0].batchFlag, 0);
    ASSERT_EQ(Device().drawn.size(), 1u);
    EXPECT_EQ(Device().drawn[0].vertices[0].color, c.color);
}

INSTANTIATE_TEST_SUITE_P(Table, KVUnitSpriteBlendTest,
                         ::testing::Values(BlendCase{"NoAlphaOpaqueColour", false, 0xFFFFFFFFu, false, 0},
                                           BlendCase{"NoAlphaTranslucentColour", false, 0x80FFFFFFu, false, 1},
                                           BlendCase{"AlphaChannel", true, 0xFFFFFFFFu, false, 1},
                                           BlendCase{"OpaqueFlag", true, 0x80FFFFFFu, true, 0}),
                         [](const ::testing::TestParamInfo<BlendCase>& info) { return std::string(info.param.name); });

TEST_F(KVUnitSpriteTest, EachDrawPassFillsItsOwnStateAndLaterPassesDropTheTexture) {
    KVUnitSprite* sprite = Showing("a", 4, 4);
    const KVDrawPass passes[2] = {{7, 1, 2, 9}, {8, 3, 4, 10}};
    sprite->SetDrawPasses(passes, 2);
    Device().ClearRecords();
    sprite->Draw();
    ASSERT_EQ(Device().states.size(), 2u);
    ASSERT_EQ(Device().drawn.size(), 2u);
    const KVDrawState& first = Device().states[0].state;
    const KVDrawState& second = Device().states[1].state;
    EXPECT_EQ((std::array<uint32_t, 5>{first.wordOption, first.optionA, first.optionB, first.alphaThreshold,
                                       first.textureFlag}),
              (std::array<uint32_t, 5>{7, 1, 2, 9, 1}));
    EXPECT_EQ((std::array<uint32_t, 5>{second.wordOption, second.optionA, second.optionB, second.alphaThreshold,
                                       second.textureFlag}),
              (std::array<uint32_t, 5>{8, 3, 4, 10, 0}));
    EXPECT_EQ(second.blend, first.blend);

    KVDrawState state;
    state.blend = 9;
    state.textureFlag = 5;
    sprite->GetDrawState(1, &state);
    EXPECT_EQ(state.blend, 9);
    EXPECT_EQ(state.textureFlag, 5u);
    EXPECT_EQ(state.wordOption, 8u);
}

// Clipping keeps the texels that land on the screen: the quad drawn and the
// transform it is drawn with, for a sprite of 8 x 8 pixels scaled by 2.
struct ClipCase {
    const char* name;
    float x, y;
    std::array<float, 6> view;  // the transform the device receives
    std::vector<float> quad;    // x, y, u, v of the four corners
};

void PrintTo(const ClipCase& c, std::ostream* out) { *out << c.name; }

class KVUnitSpriteClipTest : public KVUnitSpriteTest, public ::testing::WithParamInterface<ClipCase> {};

TEST_P(KVUnitSpriteClipTest, OnlyTheTexelsOnTheScreenAreDrawn) {
    const ClipCase& c = GetParam();
    KVUnitSprite* sprite = Showing("a", 8, 8);
    Place(sprite, c.x, c.y, 2.0f);
    EXPECT_EQ(sprite->GetOnScreenClass(), KVUnitSprite::kPartly);
    Device().ClearRecords();
    sprite->Draw();
    EXPECT_EQ(Device().LastView(), c.view);
    EXPECT_EQ(LastQuad(), c.quad);
}

INSTANTIATE_TEST_SUITE_P(
    Table, KVUnitSpriteClipTest,
    ::testing::Values(
        // 16 screen pixels from 1020: the first 2 texels are on the screen.
        ClipCase{"Right", 1020, 100, {2, 0, 0, 2, 1020, 100}, {0, 0, 0, 0, 0, 8, 0, 1, 2, 8, 0.25f, 1, 2, 0, 0.25f, 0}},
        // From -6: texels 3 to 8, drawn from the screen's edge.
        ClipCase{"Left", -6, 100, {2, 0, 0, 2, 0, 100}, {0, 0, 0.375f, 0, 0, 8, 0.375f, 1, 5, 8, 1, 1, 5, 0, 1, 0}},
        ClipCase{"Bottom", 100, 764, {2, 0, 0, 2, 100, 764}, {0, 0, 0, 0, 0, 2, 0, 0.25f, 8, 2, 1, 0.25f, 8, 0, 1, 0}},
        ClipCase{"Top", 100, -10, {2, 0, 0, 2, 100, 0}, {0, 0, 0, 0.625f, 0, 3, 0, 1, 8, 3, 1, 1, 8, 0, 1, 0.625f}},
        // Texels partly on the screen stay whole: the GPU clips them.
        ClipCase{"RightPartTexel", 1019, 100, {2, 0, 0, 2, 1019, 100},
                 {0, 0, 0, 0, 0, 8, 0, 1, 3, 8, 0.375f, 1, 3, 0, 0.375f, 0}},
        ClipCase{"LeftPartTexel", -5, 100, {2, 0, 0, 2, -1, 100},
                 {0, 0, 0.25f, 0, 0, 8, 0.25f, 1, 6, 8, 1, 1, 6, 0, 1, 0}}),
    [](const ::testing::TestParamInfo<ClipCase>& info) { return std::string(info.param.name); });

TEST_F(KVUnitSpriteTest, OffScreenSpritesAreNotQueuedButTurnedOnesAlwaysAre) {
    KVUnitSprite* sprite = Showing("a", 8, 8);
    KVSceneManager* scene = KVSceneManager::Instance();
    auto queued = [&] {
        rig.DrawFrame();
        const std::vector<int32_t>& drawn = scene->GetList(KVSCENE_LIST_DRAWN);
        return std::find(drawn.begin(), drawn.end(), sprite->GetIndex()) != drawn.end();
    };
    sprite->SetPosition(10, 10);
    EXPECT_TRUE(queued());
    EXPECT_EQ(sprite->GetOnScreenClass(), KVUnitSprite::kInside);
    sprite->SetPosition(2000, 2000);
    EXPECT_FALSE(queued());
    EXPECT_EQ(sprite->GetOnScreenClass(), KVUnitSprite::kOutside);
    sprite->SetRotation(0.5f);
    EXPECT_TRUE(queued());
    EXPECT_EQ(sprite->GetOnScreenClass(), KVUnitSprite::kInside);
    // A new size is taken up at once: a wider frame reaches the screen.
    sprite->SetRotation(0.0f);
    sprite->SetPosition(-20, 10);
    EXPECT_FALSE(queued());
    sprite->SetDimension(30, 8);
    EXPECT_TRUE(queued());
}

// ---- point test ------------------------------------------------------------------

TEST_F(KVUnitSpriteTest, WithAlphaTestATransparentPixelIsOutside) {
    std::vector<uint32_t> pixels(16, kRed);
    pixels[1 * 4 + 2] = 0x00FF0000u;  // (2, 1)
    rig.WritePng("img/hole.png", 4, 4, pixels);
    KVUnitSprite* sprite = Sprite();
    rig.SetText(sprite, KVUnitSprite::kAlphaTestId, 0, "true");
    sprite->SetImage("img/hole.png");
    sprite->SetPosition(100, 50);
    EXPECT_FALSE(sprite->IsPointInside({102, 51}, nullptr, nullptr));
    EXPECT_TRUE(sprite->IsPointInside({101, 51}, nullptr, nullptr));
    EXPECT_TRUE(sprite->IsPointInside({102, 52}, nullptr, nullptr));
    EXPECT_FALSE(sprite->IsPointInside({104, 51}, nullptr, nullptr));
    // Past the picture, inside a larger Dimension: outside.
    sprite->SetDimension(10, 10);
    EXPECT_FALSE(sprite->IsPointInside({106, 51}, nullptr, nullptr));
    rig.SetText(sprite, KVUnitSprite::kAlphaTestId, 0, "false");
    EXPECT_TRUE(sprite->IsPointInside({102, 51}, nullptr, nullptr));
}

// ---- own texture -------------------------------------------------------------------

TEST_F(KVUnitSpriteTest, TheOwnTextureReplacesTheFramesAndIsFilledWithinItsSize) {
    KVUnitSprite* sprite = Showing("a", 4, 4);
    EXPECT_EQ(sprite->FillOwnTexture(1), 1);
    EXPECT_EQ(sprite->ClearOwnTexture(), 1);
    EXPECT_EQ(sprite->GetOwnTexture(), nullptr);
    // Made at a size of its own, the Dimension unchanged and larger.
    sprite->SetDimension(16, 16);
    const KVDeviceSize size = {4, 2};
    ASSERT_EQ(sprite->CreateOwnTexture(&size, false, KVTEXFMT_BGRA), 0);
    IKVResourceTexture* own = sprite->GetOwnTexture();
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(sprite->GetCurrentTexture(), own);
    EXPECT_EQ(sprite->GetFrameListSize(), 1u);
    EXPECT_EQ(*sprite->GetDimension(), (KV2DTempl<int32_t>{16, 16}));
    EXPECT_EQ(rig.Host().Evaluate("a:GetFrame()"), Records{"0"});
    EXPECT_EQ(sprite->FillOwnTexture(0xFF112233u), 0);
    auto* texture = static_cast<KVFakeTexture*>(own->GetDeviceTexture());
    for (int32_t y = 0; y < 2; ++y)
        for (int32_t x = 0; x < 4; ++x) EXPECT_EQ(texture->PixelAt(x, y), 0xFF112233u) << x << "," << y;
    // The same size keeps the texture; another replaces it.
    EXPECT_EQ(sprite->CreateOwnTexture(&size, false, KVTEXFMT_BGRA), 0);
    EXPECT_EQ(sprite->GetOwnTexture(), own);
    EXPECT_FALSE(sprite->OwnTextureDiffers({4, 2}));
    EXPECT_TRUE(sprite->OwnTextureDiffers({4, 3}));
    const KVDeviceSize other = {8, 8};
    ASSERT_EQ(sprite->CreateOwnTexture(&other, true, KVTEXFMT_BGRA), 0);
    EXPECT_NE(sprite->GetOwnTexture(), nullptr);
    EXPECT_EQ(*sprite->GetDimension(), (KV2DTempl<int32_t>{8, 8}));
    EXPECT_EQ(sprite->ClearOwnTexture(), 0);
    EXPECT_FALSE(sprite->TakeOwnTextureLost());
    sprite->ReleaseOwnTexture();
    EXPECT_FALSE(sprite->HasFrames());
    EXPECT_EQ(sprite->Lock(0, nullptr, nullptr), 1);
    EXPECT_EQ(sprite->Unlock(), 1);
    EXPECT_EQ(sprite->GetImageFrameCount(), 0u);
}

// ---- snapshot --------------------------------------------------------------------

class KVUnitSpriteSnapshotTest : public KVUnitSpriteTest {
protected:
    void SetUp() override {
        Device().screen.width = 64;
        Device().screen.height = 48;
        Device().readAnswer = 0;
        // Each pixel tells its place: 0xFF00XXYY.
        for (uint32_t y = 0; y < 48; ++y)
            for (uint32_t x = 0; x < 64; ++x) Device().screenPixels.push_back(0xFF000000u | x << 8 | y);
        sprite = Showing("S", 4, 4);
    }
    uint32_t OwnPixel(int32_t x, int32_t y) {
        IKVResourceTexture* own = sprite->GetOwnTexture();
        return own ? static_cast<KVFakeTexture*>(own->GetDeviceTexture())->PixelAt(x, y) : 0u;
    }
    KVUnitSprite* sprite = nullptr;
};

TEST_F(KVUnitSpriteSnapshotTest, TwoBoundsTakeThoseColumnsOverTheWholeHeight) {
    rig.Run("S:TakeSnapshot(10, 50)");
    ASSERT_NE(sprite->GetOwnTexture(), nullptr);
    EXPECT_EQ(*sprite->GetDimension(), (KV2DTempl<int32_t>{40, 48}));
    EXPECT_TRUE(sprite->IsSnapshot());
    EXPECT_EQ(OwnPixel(0, 0), 0xFF000A00u);
    EXPECT_EQ(OwnPixel(39, 47), 0xFF00312Fu);
    Device().ClearRecords();
    sprite->Draw();
    ASSERT_EQ(Device().states.size(), 1u);
    EXPECT_EQ(Device().states[0].batchFlag, 1);
}

TEST_F(KVUnitSpriteSnapshotTest, AScaleResamplesTheRectangle) {
    rig.Run("S:TakeSnapshot(0, 64, 0, 48, 0.5, 0.25)");
    EXPECT_EQ(*sprite->GetDimension(), (KV2DTempl<int32_t>{32, 12}));
    ASSERT_NE(sprite->GetOwnTexture(), nullptr);
    rig.Run("S:TakeSnapshot()");
    EXPECT_EQ(*sprite->GetDimension(), (KV2DTempl<int32_t>{64, 48}));
    EXPECT_EQ(OwnPixel(63, 47), 0xFF003F2Fu);
}

TEST_F(KVUnitSpriteSnapshotTest, AnUnreadableScreenOrAnEmptyRectangleLeavesTheSprite) {
    IKVResourceTexture* frame = sprite->GetCurrentTexture();
    const char* calls[] = {"S:TakeSnapshot(64)", "S:TakeSnapshot(30, 20)", "S:TakeSnapshot(0, 64, 40, 40)",
                           "S:TakeSnapshot(0/0, 1/0, -1/0, 0/0)", "S:TakeSnapshot(0, 64, 0, 48, 1e12, 1)",
                           "S:TakeSnapshot(0, 64, 0, 48, 0, 1)", "S:TakeSnapshot(0, 64, 0, 48, 0/0, 1)"};
    ASSERT_NE(frame, nullptr);
    for (const char* call : calls) {
        rig.Run(call);
        EXPECT_EQ(sprite->GetCurrentTexture(), frame) << call;
        EXPECT_EQ(sprite->GetOwnTexture(), nullptr) << call;
        EXPECT_FALSE(sprite->IsSnapshot()) << call;
        EXPECT_EQ(*sprite->GetDimension(), (KV2DTempl<int32_t>{4, 4})) << call;
    }
    Device().readAnswer = 1;
    rig.Run("S:TakeSnapshot()");
    EXPECT_EQ(sprite->GetCurrentTexture(), frame);
    EXPECT_EQ(*sprite->GetDimension(), (KV2DTempl<int32_t>{4, 4}));
}

} // namespace
