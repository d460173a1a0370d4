// Areas and 2D particles on the engine's OpenGL ES device, headless: an area
// draws nothing without a triangulation module and fills its L shape, not
// the notch, with one; one particle of a 4x4 white picture lands centred on
// its emitter, and a transparent start colour draws nothing.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "kernel/KVModules.h"
#include "support/KVSceneRig.h"
#include "support/KVSpriteRig.h"
#include "units2d/KVTriangulationInterface.h"
#include "units2d/KVUnitArea.h"
#include "units2d/KVUnitParticle2DEmitter.h"

using namespace kvl;
using namespace kvtest;

namespace {

constexpr int32_t kWidth = 64;
constexpr int32_t kHeight = 48;
constexpr uint32_t kRed = 0xFFFF0000u;
const KVPositionList kL = {{0, 0}, {40, 0}, {40, 20}, {20, 20}, {20, 40}, {0, 40}};

bool Near(uint32_t a, uint32_t b) {
    for (int shift = 0; shift < 32; shift += 8)
        if (std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)) > 2) return false;
    return true;
}

// An L of red at (10, 4), drawn at run time.
KVUnitArea* RedL(KVUnitFactory& factory, KVUnitArea* area) {
    const int32_t outline = factory.FindAttributePosition(area->GetClassIndex(), KVUnit2D::kOutlineId);
    factory.SetAttributeElement(area->GetIndex(), outline, 0, &kL);
    const int32_t colour = factory.FindAttributePosition(area->GetClassIndex(), KVUnitArea::kColorId);
    factory.SetAttributeText(area->GetIndex(), colour, 0, "0xFFFF0000", false);
    const int32_t onlyEditor = factory.FindAttributePosition(area->GetClassIndex(), KVUnitArea::kOnlyEditorId);
    factory.SetAttributeText(area->GetIndex(), onlyEditor, 0, "false", false);
    area->SetPosition(10, 4);
    return area;
}

void RegisterTriangulation() { KVModules::Instance()->RegisterModule(&CreateTriangulationInterface); }

KVSpriteRig::Options Screen() {
    KVSpriteRig::Options options;
    options.screen = true;
    options.width = kWidth;
    options.height = kHeight;
    return options;
}

} // namespace

TEST(KVUnitAreaScreenTest, WithoutATriangulationAnAreaDrawsNothing) {
    KVSpriteRig rig(Screen());
    ASSERT_TRUE(rig.Ready());
    rig.DrawFrame();
    const uint32_t background = rig.PixelAt(0, 0);
    RedL(rig.Factory(), rig.Make<KVUnitArea>("Area", "A"));
    rig.DrawFrame();
    for (uint32_t pixel : rig.Screen()) ASSERT_EQ(pixel, background);
}

TEST(KVUnitAreaScreenTest, WithATriangulationAnAreaFillsItsOutlineOnly) {
    KVSceneRig::Options options;
    options.screen = true;
    options.with3D = false;
    options.width = kWidth;
    options.height = kHeight;
    options.beforePhase1 = &RegisterTriangulation;
    KVSceneRig rig(options);
    ASSERT_TRUE(rig.Ready());
    rig.Scene().Draw();
    const uint32_t background = rig.PixelAt(0, 0);
    ASSERT_FALSE(Near(background, kRed));
    RedL(rig.Factory(), rig.Make<KVUnitArea>("Area", "A"));
    rig.Scene().Draw();
    // Both arms and the corner between them, in the area's place.
    for (const auto& p : {KVIntPoint{11, 5}, KVIntPoint{48, 6}, KVIntPoint{20, 14}, KVIntPoint{12, 42}})
        EXPECT_TRUE(Near(rig.PixelAt(p.x, p.y), kRed)) << p.x << "," << p.y << " " << std::hex << rig.PixelAt(p.x, p.y);
    // The notch and the outside keep the background.
    for (const auto& p : {KVIntPoint{40, 34}, KVIntPoint{32, 26}, KVIntPoint{5, 5}, KVIntPoint{55, 30}})
        EXPECT_EQ(rig.PixelAt(p.x, p.y), background) << p.x << "," << p.y;
}

namespace {

class KVParticle2DScreenTest : public ::testing::Test {
protected:
    KVParticle2DScreenTest() : rig(Screen()) {}
    void SetUp() override {
        ASSERT_TRUE(rig.Ready());
        rig.DrawFrame();
        background = rig.PixelAt(0, 0);
        rig.WritePng("img/dot.png", 4, 4, 0xFFFFFFFFu);
        emitter = rig.Make<KVUnitParticle2DEmitter>("Particle2DEmitter", "E");
        const struct {
            uint64_t id;
            const char* text;
        } values[] = {{KVUnitParticle2DEmitter::kImageId, "img/dot.png"},
                      {KVUnitParticle2DEmitter::kNoTargetId, "true"},
                      {KVUnitParticle2DEmitter::kSpeedId, "0"},
                      {KVUnitParticle2DEmitter::kLifetimeId, "10"},
                      {KVUnitParticle2DEmitter::kCreationPerSecId, "60"}};
        for (const auto& v : values) rig.SetText(emitter, v.id, 0, v.text);
        emitter->SetPosition(32, 24);
    }
    // One frame of 1/60 s: one particle, then the screen.
    void OneParticle() {
        emitter->SetEnabled(false);
        emitter->SetEnabled(true);
        rig.Factory().Update(1.0f / 60.0f);
        ASSERT_EQ(emitter->GetParticles().size(), 1u);
        rig.DrawFrame();
    }

    KVSpriteRig rig;
    KVUnitParticle2DEmitter* emitter = nullptr;
    uint32_t background = 0;
};

} // namespace

TEST_F(KVParticle2DScreenTest, OneParticleLandsCentredOnItsEmitter) {
    ASSERT_FALSE(Near(background, 0xFFFFFFFFu));
    OneParticle();
    for (int32_t y = 20; y < 28; ++y) {
        for (int32_t x = 28; x < 36; ++x) {
            const bool inside = x >= 30 && x < 34 && y >= 22 && y < 26;
            if (inside)
                EXPECT_TRUE(Near(rig.PixelAt(x, y), 0xFFFFFFFFu)) << x << "," << y;
            else
                EXPECT_EQ(rig.PixelAt(x, y), background) << x << "," << y;
        }
    }
}

TEST_F(KVParticle2DScreenTest, ATransparentStartColourDrawsNothing) {
    rig.SetText(emitter, KVUnitParticle2DEmitter::kColorStartId, 0, "0x00FFFFFF");
    OneParticle();
    for (uint32_t pixel : rig.Screen()) ASSERT_EQ(pixel, background);
}
