// The 2D display units on the engine's OpenGL ES device, headless: the
// pixels of sprites (placed, scaled, clipped at each screen edge, trimmed
// pak images, turned transparent), shapes (gradients, ellipses,
// editor-only), the pixel-shader blender (and its sprite after it closes),
// and drawing meant for a render target, which this device draws on the
// screen.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "graphics/IKVResourceTexture.h"
#include "graphics/KVTexturePak.h"
#include "support/KVSpriteRig.h"
#include "support/KVTexturePakWriter.h"
#include "units/IKVUnitRef.h"
#include "units2d/KVUnitPSBlender.h"
#include "units2d/KVUnitRenderTarget.h"
#include "units2d/KVUnitShape.h"
#include "units2d/KVUnitSprite.h"

namespace kvl {

// Found by the test macros through the rectangle's namespace.
bool operator==(const KVDeviceRect& a, const KVDeviceRect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
bool operator!=(const KVDeviceRect& a, const KVDeviceRect& b) { return !(a == b); }
void PrintTo(const KVDeviceRect& r, std::ostream* out) {
    *out << "{" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << "}";
}

} // namespace kvl

using namespace kvl;
using namespace kvtest;

namespace {

constexpr int32_t kWidth = 64;
constexpr int32_t kHeight = 48;
constexpr uint32_t kRed = 0xFFFF0000u;
constexpr uint32_t kBlue = 0xFF0000FFu;

bool Near(uint32_t a, uint32_t b, int tolerance = 2) {
    for (int shift = 0; shift < 32; shift += 8)
        if (std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)) > tolerance) return false;
    return true;
}

KVSpriteRig::Options Screen(bool editorMode = false) {
    KVSpriteRig::Options options;
    options.screen = true;
    options.editorMode = editorMode;
    options.width = kWidth;
    options.height = kHeight;
    return options;
}

class KVUnit2DScreenTest : public ::testing::Test {
protected:
    explicit KVUnit2DScreenTest(bool editorMode = false) : rig(Screen(editorMode)) {}
    void SetUp() override {
        ASSERT_TRUE(rig.Ready());
        rig.DrawFrame();
        background = rig.PixelAt(0, 0);
    }
    KVUnitSprite* Sprite(const char* name, const std::string& file) {
        auto* sprite = rig.Make<KVUnitSprite>("Sprite", name);
        if (sprite) sprite->SetImage(file);
        return sprite;
    }
    void Place(KVUnit2D* unit, float x, float y, float scale) {
        const KV2DTempl<float> pair = {scale, scale};
        if (auto* sprite = dynamic_cast<KVUnitSprite*>(unit)) sprite->SetScale(&pair);
        unit->SetPosition(x, y);
    }
    // The box {left, top, right, bottom} (right and bottom excluded) of the
    // pixels that are not the background; all zero when there are none.
    KVDeviceRect Drawn(const std::vector<uint32_t>& screen) {
        KVDeviceRect box = {kWidth, kHeight, 0, 0};
        for (int32_t y = 0; y < kHeight; ++y)
            for (int32_t x = 0; x < kWidth; ++x)
                if (screen[size_t(y * kWidth + x)] != background) {
                    box = {std::min(box.left, x), std::min(box.top, y), std::max(box.right, x + 1),
                           std::max(box.bottom, y + 1)};
                }
        return box.right == 0 ? KVDeviceRect{0, 0, 0, 0} : box;
    }

    KVSpriteRig rig;
    uint32_t background = 0;
};

// ---- sprites ---------------------------------------------------------------------

TEST_F(KVUnit2DScreenTest, AFourPixelSpriteScaledByEightFillsExactlyItsSquare) {
    rig.WritePng("img/red.png", 4, 4, kRed);
    KVUnitSprite* sprite = Sprite("S", "img/red.png");
    Place(sprite, 10, 10, 8);
    rig.DrawFrame();
    const std::vector<uint32_t> screen = rig.Screen();
    EXPECT_EQ(Drawn(screen), (KVDeviceRect{10, 10, 42, 42}));
    for (int32_t y = 10; y < 42; ++y)
        for (int32_t x = 10; x < 42; ++x) ASSERT_EQ(screen[size_t(y * kWidth + x)], kRed) << x << "," << y;

    // A colour without alpha draws nothing.
    sprite->SetColor(0x00FFFFFFu);
    rig.DrawFrame();
    EXPECT_EQ(Drawn(rig.Screen()), (KVDeviceRect{0, 0, 0, 0}));
}

// A 4 x 4 picture of sixteen colours scaled by 8 over each edge: the sprite
// clipped on the CPU gives the pixels of the same sprite drawn whole (turned
// by a full circle, which is never clipped).
TEST_F(KVUnit2DScreenTest, ASpriteOverEachEdgeGivesTheUnclippedPixels) {
    std::vector<uint32_t> pattern;
    for (uint32_t i = 0; i < 16; ++i) pattern.push_back(0xFF000000u | (i * 16) << 16 | (255 - i * 16) << 8 | i * 5);
    rig.WritePng("img/pattern.png", 4, 4, pattern);
    KVUnitSprite* sprite = Sprite("S", "img/pattern.png");
    const struct {
        const char* edge;
        float x, y;
    } cases[] = {{"left", -13, 6}, {"right", 45, 6}, {"top", 10, -11}, {"bottom", 10, 29}, {"corner", -9, -7}};
    for (const auto& c : cases) {
        Place(sprite, c.x, c.y, 8);
        sprite->SetRotation(0.0f);
        EXPECT_EQ(sprite->GetOnScreenClass(), KVUnitSprite::kPartly) << c.edge;
        rig.DrawFrame();
        const std::vector<uint32_t> clipped = rig.Screen();
        sprite->SetRotation(float(2.0 * M_PI));
        EXPECT_EQ(sprite->GetOnScreenClass(), KVUnitSprite::kInside) << c.edge;
        rig.DrawFrame();
        const std::vector<uint32_t> whole = rig.Screen();
        EXPECT_NE(Drawn(clipped), (KVDeviceRect{0, 0, 0, 0})) << c.edge;
        int differing = 0;
        for (size_t i = 0; i < whole.size(); ++i) differing += Near(whole[i], clipped[i]) ? 0 : 1;
        EXPECT_EQ(differing, 0) << c.edge;
    }
}

// A trimmed pak image is drawn at its offset inside its full size, 20
// pixels right of the unit: over either edge only its visible columns are
// drawn, and it is culled only when the full size lies outside.
TEST_F(KVUnit2DScreenTest, ATrimmedPakSpriteIsClippedWhereItIsDrawn) {
    PakImageSpec image;
    image.name = "img/trimmed";
    image.rect = {0, 0, 8, 8};
    image.offsetX = 20;
    image.width = 28;
    image.height = 8;
    PakSpec pak;
    pak.name = "trim";
    pak.loadMode = 1;
    pak.images = {image};
    rig.WritePng("sprpaks/trim0.png", 16, 16, kRed);
    rig.Host().Dir().WriteFile("assets/sprpaks/paks.desc", WritePaksDesc({pak}));
    ASSERT_NE(KVTexturePak::Instance(), nullptr);
    KVTexturePak::Instance()->LoadDescriptor();
    KVUnitSprite* sprite = Sprite("S", "img/trimmed.png");
    ASSERT_NE(sprite->GetCurrentTexture(), nullptr);
    ASSERT_EQ(sprite->GetCurrentTexture()->GetDrawOffset()[0], 20);
    ASSERT_EQ(*sprite->GetDimension(), (KV2DTempl<int32_t>{28, 8}));
    const struct {
        const char* edge;
        float x, y;
        uint8_t onScreen;
        KVDeviceRect drawn;
    } cases[] = {
        {"inside", 10, 10, KVUnitSprite::kInside, {30, 10, 38, 18}},
        {"over the left edge", -24, 10, KVUnitSprite::kPartly, {0, 10, 4, 18}},
        {"over the right edge", 40, 20, KVUnitSprite::kPartly, {60, 20, 64, 28}},
        {"left of the screen", -28, 10, KVUnitSprite::kOutside, {0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        sprite->SetPosition(c.x, c.y);
        EXPECT_EQ(sprite->GetOnScreenClass(), c.onScreen) << c.edge;
        rig.DrawFrame();
        EXPECT_EQ(Drawn(rig.Screen()), c.drawn) << c.edge;
    }
}

// ---- render targets ------------------------------------------------------------------

// This device takes no render target: a unit that names an active target
// still reaches the screen. A device that draws into textures changes this.
TEST_F(KVUnit2DScreenTest, AUnitNamingARenderTargetStillReachesTheScreen) {
    auto* target = rig.Make<KVUnitRenderTarget>("RenderTarget", "T");
    target->SetActive(true);
    target->SetPosition(100, 100);
    target->SetDimension(16, 16);
    ASSERT_NE(target->GetOwnTexture(), nullptr);
    rig.WritePng("img/red.png", 4, 4, kRed);
    KVUnitSprite* sprite = Sprite("S", "img/red.png");
    Place(sprite, 20, 20, 2);
    sprite->GetRenderTargetRef()->SetIndex(target->GetIndex());
    rig.DrawFrame();
    EXPECT_EQ(Drawn(rig.Screen()), (KVDeviceRect{20, 20, 28, 28}));
}

// ---- shapes ------------------------------------------------------------------------

KVUnitShape* Shape(KVSpriteRig& rig, const char* name, uint32_t type, int32_t width, int32_t height) {
    auto* shape = rig.Make<KVUnitShape>("Rect", name);
    rig.SetText(shape, KVUnitShape::kOnlyEditorId, 0, "false");
    rig.SetText(shape, KVUnitShape::kTypeId, 0, std::to_string(type));
    shape->SetDimension(width, height);
    return shape;
}

TEST_F(KVUnit2DScreenTest, GradientCornersTakeTheirColours) {
    KVUnitShape* shape = Shape(rig, "G", KVUnitShape::kRect, 64, 48);
    shape->SetColor(kRed);
    rig.SetText(shape, KVUnitShape::kColorEndId, 0, "0xFF0000FF");
    rig.SetText(shape, KVUnitShape::kGradientId, 0, "true");
    const uint32_t mean = 0xFF7F007Fu;
    const struct {
        const char* direction;  // Right, Bottom, Diagonal
        uint32_t corners[4];    // top-left, top-right, bottom-left, bottom-right
    } cases[] = {{"0", {kRed, kBlue, kRed, kBlue}}, {"1", {kRed, kRed, kBlue, kBlue}}, {"2", {kRed, mean, mean, kBlue}}};
    for (const auto& c : cases) {
        rig.SetText(shape, KVUnitShape::kGradientDirectionId, 0, c.direction);
        rig.DrawFrame();
        const uint32_t seen[4] = {rig.PixelAt(0, 0), rig.PixelAt(63, 0), rig.PixelAt(0, 47), rig.PixelAt(63, 47)};
        for (int i = 0; i < 4; ++i) EXPECT_TRUE(Near(seen[i], c.corners[i], 8)) << c.direction << i << std::hex << " " << seen[i];
    }
}

TEST_F(KVUnit2DScreenTest, ARoundShapeFillsItsCentreAndLeavesItsCorners) {
    KVUnitShape* shape = Shape(rig, "R", KVUnitShape::kRound, 40, 20);
    shape->SetColor(kBlue);
    shape->SetPosition(10, 10);
    rig.DrawFrame();
    EXPECT_EQ(rig.PixelAt(30, 20), kBlue);
    EXPECT_EQ(rig.PixelAt(11, 11), background);
    EXPECT_EQ(rig.PixelAt(48, 28), background);
    EXPECT_EQ(Drawn(rig.Screen()), (KVDeviceRect{10, 10, 50, 30}));
}

TEST_F(KVUnit2DScreenTest, AFreshShapeIsOnlyDrawnInEditorMode) {
    auto* shape = rig.Make<KVUnitShape>("Shape", "Fresh");
    EXPECT_EQ(*shape->GetDimension(), (KV2DTempl<int32_t>{80, 60}));
    EXPECT_EQ(shape->GetColor(), 0x80800000u);
    rig.DrawFrame();
    EXPECT_EQ(Drawn(rig.Screen()), (KVDeviceRect{0, 0, 0, 0}));
}

class KVUnit2DEditorScreenTest : public KVUnit2DScreenTest {
protected:
    KVUnit2DEditorScreenTest() : KVUnit2DScreenTest(true) {}
};

TEST_F(KVUnit2DEditorScreenTest, AFreshShapeIsDrawnInEditorMode) {
    rig.Make<KVUnitShape>("Shape", "Fresh");
    rig.DrawFrame();
    EXPECT_EQ(Drawn(rig.Screen()), (KVDeviceRect{0, 0, kWidth, kHeight}));
    EXPECT_NE(rig.PixelAt(10, 10), background);
}

// ---- colours from scripts ------------------------------------------------------------

// Opaque colours written in scripts as hex literals, whole, through the
// colour's value field or as the negative number of the same word, are the
// colours on the screen.
TEST_F(KVUnit2DScreenTest, ScriptedOpaqueHexColoursReachTheScreen) {
    const uint32_t kGreen = 0xFF00FF00u;
    rig.WritePng("img/white.png", 4, 4, 0xFFFFFFFFu);
    KVUnitSprite* sprite = Sprite("S", "img/white.png");
    Place(sprite, 4, 4, 4);
    KVUnitShape* shape = Shape(rig, "R", KVUnitShape::kRect, 16, 16);
    shape->SetPosition(32, 8);
    const struct {
        const char* code;
        uint32_t sprite, shape;
    } cases[] = {
        {"S.Color = 0xFF00FF00\nR.Color = 0xFFFF0000", kGreen, kRed},
        {"S.Color.value = 0xFF0000FF\nR.Color.value = 0xFF00FF00", kBlue, kGreen},
        {"S.Color = -65536\nR.Color = -16776961", kRed, kBlue},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        rig.Run(c.code);
        EXPECT_EQ(sprite->GetColor(), c.sprite);
        EXPECT_EQ(shape->GetColor(), c.shape);
        rig.DrawFrame();
        EXPECT_EQ(rig.PixelAt(5, 5), c.sprite);
        EXPECT_EQ(rig.PixelAt(19, 19), c.sprite);
        EXPECT_EQ(rig.PixelAt(32, 8), c.shape);
        EXPECT_EQ(rig.PixelAt(47, 23), c.shape);
    }
    EXPECT_EQ(rig.TakeErrors(), std::vector<std::string>{});
}

// Sprites one after another ask for blending, then not, then again: each is
// drawn with its own, frame after frame.
TEST_F(KVUnit2DScreenTest, BlendingGoesOnAndOffFromSpriteToSprite) {
    rig.WritePng("img/red.png", 4, 4, kRed);
    rig.WritePng("img/halfblue.png", 4, 4, 0x800000FFu);
    rig.WritePng("img/halfgreen.png", 4, 4, 0x8000FF00u);
    Place(Sprite("A", "img/red.png"), 0, 0, 4);
    Place(Sprite("B", "img/halfblue.png"), 8, 0, 4);
    KVUnitSprite* opaque = Sprite("C", "img/halfgreen.png");
    opaque->SetOpaque(true);
    Place(opaque, 24, 0, 4);
    Place(Sprite("D", "img/halfblue.png"), 36, 0, 4);
    // Half blue over a colour, channel by channel.
    auto over = [](uint32_t below) {
        uint32_t rgb = 0;
        for (int shift = 0; shift < 24; shift += 8) {
            const uint32_t top = (0x0000FFu >> shift) & 0xFF, bottom = (below >> shift) & 0xFF;
            rgb |= ((top * 128 + bottom * 127 + 127) / 255) << shift;
        }
        return rgb;
    };
    for (int frame = 0; frame < 2; ++frame) {
        SCOPED_TRACE(frame);
        rig.DrawFrame();
        EXPECT_TRUE(Near(rig.PixelAt(4, 4), kRed));
        EXPECT_TRUE(Near(rig.PixelAt(12, 4) & 0xFFFFFFu, over(kRed))) << std::hex << rig.PixelAt(12, 4);
        EXPECT_TRUE(Near(rig.PixelAt(20, 4) & 0xFFFFFFu, over(background))) << std::hex << rig.PixelAt(20, 4);
        // Drawn without blending: the picture's colour as it is.
        EXPECT_EQ(rig.PixelAt(28, 4) & 0xFFFFFFu, 0x00FF00u) << std::hex << rig.PixelAt(28, 4);
        EXPECT_TRUE(Near(rig.PixelAt(38, 4) & 0xFFFFFFu, over(0x00FF00u))) << std::hex << rig.PixelAt(38, 4);
        EXPECT_TRUE(Near(rig.PixelAt(48, 4) & 0xFFFFFFu, over(background))) << std::hex << rig.PixelAt(48, 4);
    }
    EXPECT_EQ(rig.TakeErrors(), std::vector<std::string>{});
}

// A sprite cut by its window between two that are not: only it is cut,
// frame after frame.
TEST_F(KVUnit2DScreenTest, OnlyTheSpriteWithAWindowIsCutAmongUncutOnes) {
    rig.WritePng("img/red.png", 4, 4, kRed);
    Place(Sprite("A", "img/red.png"), 0, 0, 4);
    KVUnitSprite* cut = Sprite("B", "img/red.png");
    Place(cut, 16, 0, 4);
    cut->SetWindow({16, 0, 24, 8});
    Place(Sprite("C", "img/red.png"), 32, 0, 4);
    for (int frame = 0; frame < 2; ++frame) {
        SCOPED_TRACE(frame);
        rig.DrawFrame();
        EXPECT_EQ(rig.PixelAt(4, 12), kRed);
        EXPECT_EQ(rig.PixelAt(20, 4), kRed);
        EXPECT_EQ(rig.PixelAt(28, 4), background);
        EXPECT_EQ(rig.PixelAt(20, 12), background);
        EXPECT_EQ(rig.PixelAt(36, 12), kRed);
        EXPECT_EQ(rig.PixelAt(47, 15), kRed);
    }
    EXPECT_EQ(rig.TakeErrors(), std::vector<std::string>{});
}

// ---- blender ---------------------------------------------------------------------------

TEST_F(KVUnit2DScreenTest, TheBlenderDrawsItsSpritesPictureOverItsDimensionAtTheOrigin) {
    rig.WritePng("img/red.png", 4, 4, kRed);
    KVUnitSprite* sprite = Sprite("S", "img/red.png");
    sprite->SetPosition(40, 30);
    auto* blender = rig.Make<KVUnitPSBlender>("PSBlender", "B");
    blender->SetDimension(16, 8);
    KVUnitRefArray list;
    IKVUnitRef* ref = rig.Factory().MakeUnitRef(blender->GetIndex(), &KVUnitPSBlender::kBlendedUnitsId);
    ref->SetIndex(sprite->GetIndex());
    list.Append(ref);
    blender->SetBlendedUnits(&list);
    rig.DrawFrame();
    // The sprite itself is drawn by the blender only.
    EXPECT_EQ(Drawn(rig.Screen()), (KVDeviceRect{0, 0, 16, 8}));
    EXPECT_EQ(rig.PixelAt(8, 4), kRed);

    // Closed with the sprite still listed, the blender lets it draw itself.
    rig.Run("KVUnitFactory.CloseUnit(B)");
    rig.DrawFrame();
    EXPECT_EQ(Drawn(rig.Screen()), (KVDeviceRect{40, 30, 44, 34}));
}

} // namespace
