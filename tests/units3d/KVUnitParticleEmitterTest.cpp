// The "ParticleEmitter" unit in a whole core: the emission rate with its
// carried fraction, the pre-warm in steps, "SetEmit", the shared pool, the
// set-up of one particle (spread, rotation), ageing, drawing, picking in the
// editor, and settings that are not numbers or out of all measure.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "kernel/KVResources.h"
#include "support/KV3DUnitRig.h"
#include "support/KVPngWriter.h"
#include "units/KVSceneManager.h"
#include "units3d/KV3DParticle.h"
#include "units3d/KV3DParticleManager.h"
#include "units3d/KVUnitParticleEmitter.h"

using namespace kvl;
using namespace kvtest;
using Records = std::vector<std::string>;

namespace {

constexpr double kPi = 3.14159265358979323846;

class KVUnitParticleEmitterTest : public ::testing::Test {
protected:
    explicit KVUnitParticleEmitterTest(bool editorMode = false) : rig(editorMode) {}

    // An emitter whose "OnUpdate" records its step as "E:dt".
    KVUnitParticleEmitter* Emitter(const std::string& name = "E") {
        auto* emitter = rig.Make<KVUnitParticleEmitter>("ParticleEmitter", name);
        rig.Run("function " + name + ".OnUpdate(dt) TestRecorder.Record(string.format('" + name +
                ":%.3f', dt)) end");
        return emitter;
    }
    static const KV3DParticle* First(KVUnitParticleEmitter* e) {
        return static_cast<const KV3DParticle*>(e->GetParticles().front());
    }
    static uint32_t FreeCount() { return KV3DParticleManager::Instance()->GetFreeCount(); }

    KV3DUnitRig rig;
};

class KVUnitParticleEmitterEditorTest : public KVUnitParticleEmitterTest {
protected:
    KVUnitParticleEmitterEditorTest() : KVUnitParticleEmitterTest(true) {}
};

TEST_F(KVUnitParticleEmitterTest, FivePerSecondAtTenthSecondFramesEmitEverySecondFrame) {
    KVUnitParticleEmitter* e = Emitter();
    rig.Run("E.PartLifetime = 10");
    std::vector<size_t> counts;
    for (int frame = 0; frame < 6; ++frame) {
        rig.Update(0.1f);
        counts.push_back(e->GetParticles().size());
    }
    EXPECT_EQ(counts, (std::vector<size_t>{0, 1, 1, 2, 2, 3}));
    EXPECT_EQ(FreeCount(), KV3DParticleManager::kPoolSize - 3);
    // Disabled, the particles go back to the pool.
    e->SetEnabled(false);
    EXPECT_TRUE(e->GetParticles().empty());
    EXPECT_EQ(FreeCount(), KV3DParticleManager::kPoolSize);
}

TEST_F(KVUnitParticleEmitterTest, ThePreWarmRunsWholeStepsBeforeTheFirstUpdate) {
    KVUnitParticleEmitter* e = Emitter();
    rig.Run("E.StartTime = 0.25\nE.PartsPerSec = 20");
    rig.Take();
    rig.Update(0.02f);
    EXPECT_EQ(rig.Take(), (Records{"E:0.100", "E:0.100", "E:0.050", "E:0.020"}));
    // 0.27 s at 20 per second, none dead (lifetime 1).
    EXPECT_EQ(e->GetParticles().size(), 5u);
    rig.Update(0.02f);
    EXPECT_EQ(rig.Take(), (Records{"E:0.020"}));

    // Re-enabled, it warms up again; stopped emitters do not.
    e->SetEnabled(false);
    e->SetEnabled(true);
    rig.Update(0.02f);
    EXPECT_EQ(rig.Take(), (Records{"E:0.100", "E:0.100", "E:0.050", "E:0.020"}));
    e->SetEnabled(false);
    rig.Run("E.Autoplay = false");
    e->SetEnabled(true);
    EXPECT_FALSE(e->IsEmitting());
    rig.Update(0.02f);
    EXPECT_EQ(rig.Take(), (Records{"E:0.020"}));
    EXPECT_TRUE(e->GetParticles().empty());
}

TEST_F(KVUnitParticleEmitterTest, SetEmitSwitchesEmissionWithoutANewPreWarm) {
    KVUnitParticleEmitter* e = Emitter();
    rig.Run("E.StartTime = 0.2\nE.PartsPerSec = 10\nE.PartLifetime = 0.35");
    rig.Update(0.1f);
    rig.Take();
    const size_t live = e->GetParticles().size();
    EXPECT_EQ(live, 3u);
    rig.Run("E:SetEmit(false)");
    EXPECT_FALSE(e->IsEmitting());
    rig.Update(0.1f);
    EXPECT_EQ(e->GetParticles().size(), 2u);  // one died, none new
    rig.Update(0.3f);
    EXPECT_TRUE(e->GetParticles().empty());
    rig.Run("E:SetEmit(true)");
    rig.Update(0.1f);
    EXPECT_EQ(rig.Take(), (Records{"E:0.100", "E:0.300", "E:0.100"}));
    EXPECT_EQ(e->GetParticles().size(), 1u);
    // Anything but true stops; another number of arguments is refused.
    rig.Run("E:SetEmit(1)");
    EXPECT_FALSE(e->IsEmitting());
    for (const char* code : {"E:SetEmit(true, 2)", "E:SetEmit()"}) {
        const std::vector<std::string> reports = rig.Reports(code);
        ASSERT_EQ(reports.size(), 1u) << code;
        EXPECT_NE(reports[0].find("Invalid number of arguments"), std::string::npos) << reports[0];
        EXPECT_FALSE(e->IsEmitting());
    }
}

TEST_F(KVUnitParticleEmitterTest, EmittersShareThePoolAndLaterOnesWaitForParticlesToDie) {
    KVUnitParticleEmitter* a = Emitter("A");
    KVUnitParticleEmitter* b = Emitter("B");
    rig.Run("A.PartsPerSec = 20000\nA.PartLifetime = 0.5\nB.PartsPerSec = 100");
    for (int frame = 0; frame < 2; ++frame) {
        rig.Update(0.1f);
        EXPECT_EQ(a->GetParticles().size(), size_t(KV3DParticleManager::kPoolSize));
        EXPECT_TRUE(b->GetParticles().empty());
        EXPECT_EQ(FreeCount(), 0u);
    }
    // A's particles die; B gets some of them.
    rig.Run("A:SetEmit(false)");
    rig.Update(0.5f);
    rig.Update(0.1f);
    EXPECT_TRUE(a->GetParticles().empty());
    EXPECT_FALSE(b->GetParticles().empty());
    EXPECT_EQ(b->GetParticles().size() + FreeCount(), size_t(KV3DParticleManager::kPoolSize));
}

TEST_F(KVUnitParticleEmitterTest, AParticleStartsWithinItsSpreadTurnedByTheUnitsRotation) {
    KVUnitParticleEmitter* e = Emitter();
    rig.Run("E.PartsPerSec = 1\nE.PartLifetime = 9\nE.PartDirection_X = 1\nE.Rotation_Z = " +
            std::to_string(kPi / 2) + "\nE.Position_X = 4\nE.PartColor = 0x40FF0000\nE.PartSize_X = 2");
    rig.Update(1.0f);
    ASSERT_EQ(e->GetParticles().size(), 1u);
    const KV3DParticle* p = First(e);
    // The rows turn (1, 0, 0) into (0, -1, 0) for +pi/2 about z, as scenes
    // are authored for.
    EXPECT_NEAR(p->GetVelocity()[0], 0.0f, 1e-6f);
    EXPECT_NEAR(p->GetVelocity()[1], -1.0f, 1e-6f);
    EXPECT_EQ(p->GetStartColor(), 0x40FF0000u);
    EXPECT_EQ(p->GetSize()[0], 2.0f);
    EXPECT_EQ(p->GetSize()[1], 0.5f);
    // The particle moved for the frame it was emitted in.
    EXPECT_NEAR(p->GetPosition()[0], 4.0f, 1e-6f);
    EXPECT_NEAR(p->GetPosition()[1], -1.0f, 1e-6f);

    // Spreads: every value within its box around the mean.
    rig.Run("E.Rotation_Z = 0\nE.PartsPerSec = 1000\nE.PositionDelta_X = 2\nE.PositionDelta_Y = 4\n"
            "E.PartDirectionDelta_Z = 6\nE.PartSizeDelta_Y = 0.5\nE.PartLifetime = 10");
    std::srand(7);
    rig.Update(0.1f);
    ASSERT_GT(e->GetParticles().size(), 90u);
    for (IKVParticle* particle : e->GetParticles()) {
        const auto* q = static_cast<const KV3DParticle*>(particle);
        if (q == p) continue;
        EXPECT_LE(std::fabs(q->GetPosition()[0] - 4.0f - 0.1f), 1.0f + 1e-5f);
        EXPECT_LE(std::fabs(q->GetPosition()[1]), 2.0f + 1e-5f);
        EXPECT_LE(std::fabs(q->GetVelocity()[2]), 3.0f + 1e-5f);
        EXPECT_GE(q->GetSize()[1], 0.25f - 1e-6f);
        EXPECT_LE(q->GetSize()[1], 0.75f + 1e-6f);
    }
}

TEST_F(KVUnitParticleEmitterTest, TheParticlesAreDrawnFacingTheCurrentCamera) {
    KVUnitParticleEmitter* e = Emitter();
    EXPECT_TRUE(e->IsDrawable());
    rig.Run("E.PartsPerSec = 30\nE.AlphaBlend = true");
    rig.Camera({0, 0, 10}, {0, 0, -10});
    KVSceneManager& scene = *KVSceneManager::Instance();
    scene.Draw();  // the camera becomes current
    rig.Update(0.1f);
    ASSERT_EQ(e->GetParticles().size(), 3u);
    rig.Device().ClearCalls();
    scene.Draw();
    EXPECT_EQ(rig.Scene().ListNames(2).front(), "E");
    const std::vector<KVDeviceCall> drawn = rig.Device().CallsOf("DrawIndexed");
    ASSERT_EQ(drawn.size(), 1u);
    EXPECT_EQ(drawn[0].ints.size(), 18u);
    const std::vector<KVDeviceCall> materials = rig.Device().CallsOf("SetMaterial");
    ASSERT_FALSE(materials.empty());
    EXPECT_EQ(materials.back().material.alphaBlend, 1);
    EXPECT_EQ(materials.back().material.zBufferWrite, 0);
    EXPECT_EQ(rig.Device().Count("DrawLine3D"), 0u);  // no cross outside the editor
    // The draw item covers twice the particle size.
    bool queued = false;
    for (const KVDrawItem& item : scene.GetDrawQueue())
        if (std::fabs(item.radius - 2.0f * std::sqrt(0.5f)) < 1e-6f) queued = true;
    EXPECT_TRUE(queued);
}

TEST_F(KVUnitParticleEmitterTest, OutsideTheEditorAnEmitterIsNeverPicked) {
    KVUnitParticleEmitter* e = Emitter();
    rig.Camera({0, 0, 10}, {0, 0, -10});
    float depth = -1.0f;
    EXPECT_FALSE(e->IsPointInside({0, 0}, &depth, nullptr));
    EXPECT_EQ(depth, -1.0f);
}

TEST_F(KVUnitParticleEmitterEditorTest, InTheEditorTheCubeIsPickedAndTheCrossDrawn) {
    KVUnitParticleEmitter* e = Emitter();
    rig.Run("E.Position_Y = 3");
    rig.Camera({0, 3.5f, 10}, {0, 3.5f, -10});
    float depth = -1.0f;
    EXPECT_TRUE(e->IsPointInside({0, 0}, &depth, nullptr));
    EXPECT_NEAR(depth, 9.0f, 1e-5f);
    KVTestCameraUnit* other = rig.Camera({0, 5, 10}, {0, 5, -10});
    EXPECT_FALSE(e->IsPointInside({0, 0}, &depth, other));

    rig.Device().ClearCalls();
    e->Draw();
    const std::vector<KVDeviceCall> lines = rig.Device().CallsOf("DrawLine3D");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1].floats, (std::vector<float>{0, 2, 0, 0, 4, 0}));
    EXPECT_EQ(lines[1].ints[0], int64_t(0xFFC0C0FFu));
}

// Settings out of all measure: the work stays bounded, no float that is not
// a number becomes an integer, the pool is never overrun.
TEST_F(KVUnitParticleEmitterTest, SettingsThatAreNotNumbersOrOutOfMeasureStayBounded) {
    const char* nan = "0/0";
    const char* inf = "1/0";
    const std::vector<std::vector<std::string>> cases = {
        {"PartsPerSec", nan}, {"PartsPerSec", inf}, {"PartsPerSec", "-5"}, {"PartsPerSec", "3e38"},
        {"PartLifetime", nan}, {"PartLifetime", "-1"}, {"PartLifetime", "0"}, {"PartLifetime", inf},
        {"PartSize_X", nan}, {"PartSizeDelta_Y", inf}, {"PartSizeChange_X", "1e38"}, {"FadeInTime", nan},
        {"FadeOutTime", "-3"}, {"PositionDelta_Z", inf}, {"PartDirection_X", nan}, {"Gravity_Y", "-1e38"},
        {"StartTime", "1e30"}, {"StartTime", inf}, {"StartTime", nan}, {"StartTime", "-4"},
    };
    for (const std::vector<std::string>& c : cases) {
        KVUnitParticleEmitter* e = Emitter("B");
        rig.Camera({0, 0, 10}, {0, 0, -10});
        rig.Run("B.PartsPerSec = 500\nB." + c[0] + " = " + c[1]);
        rig.Take();
        for (int frame = 0; frame < 3; ++frame) {
            rig.Update(0.1f);
            KVSceneManager::Instance()->Draw();
            EXPECT_LE(e->GetParticles().size(), size_t(KV3DParticleManager::kPoolSize)) << c[0];
            EXPECT_EQ(e->GetParticles().size() + FreeCount(), size_t(KV3DParticleManager::kPoolSize)) << c[0];
        }
        // A pre-warm lasts at most its limit.
        EXPECT_LE(rig.Take().size(), size_t(KVUnitParticleEmitter::kPrewarmLimit / 0.1f) + 4) << c[0];
        e->Release();
        EXPECT_EQ(FreeCount(), KV3DParticleManager::kPoolSize) << c[0];
    }
}

} // namespace

namespace {

// Textures need the engine's device: a headless screen.
TEST(KVUnitParticleEmitterImageTest, TheImageIsLoadedForTheUnitWhileItIsEnabled) {
    KV3DUnitRig rig(false, true);
    rig.Host().Dir().WriteFile("assets/spark.png", WritePngArgb(2, 2, {0xFFFFFFFF, 0, 0, 0xFFFFFFFF}));
    auto* e = rig.Make<KVUnitParticleEmitter>("ParticleEmitter", "E");
    KVSceneRig::LogErrors().clear();
    for (const char* path : {"", "ab", "missing.png"}) {
        rig.Run(std::string("E.Image = '") + path + "'");
        EXPECT_EQ(e->GetTexture(), nullptr) << path;
    }
    EXPECT_EQ(KVResources::Instance()->GetCurrentUnit(), -1);
    rig.Run("E.Image = 'spark.png'");
    EXPECT_NE(e->GetTexture(), nullptr);
    EXPECT_EQ(KVResources::Instance()->GetCurrentUnit(), -1);
    e->SetEnabled(false);
    EXPECT_EQ(e->GetTexture(), nullptr);
    e->SetEnabled(true);
    EXPECT_NE(e->GetTexture(), nullptr);
}

} // namespace
