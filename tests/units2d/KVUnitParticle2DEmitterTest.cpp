// The 2D particle emitter at 60 frames a second with the random table
// started at a fixed place: when particles come, the limits on how many,
// the pre-run of a negative start delay, the bouncing box, the colour blend,
// the order of random draws, frames, the drawing by image, and rates, lives
// and delays that are no sensible numbers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "kernel/KVRandom.h"
#include "support/KVSpriteRig.h"
#include "units2d/KVUnitParticle2DEmitter.h"

using namespace kvl;
using namespace kvtest;
using Records = std::vector<std::string>;
using Emitter = KVUnitParticle2DEmitter;

namespace {

constexpr float kDt = 1.0f / 60.0f;
constexpr float kPi = 3.1415927f;

class KVUnitParticle2DEmitterTest : public ::testing::Test {
protected:
    void SetUp() override {
        KVRandom::Instance()->SetTableCursor(0);
        emitter = rig.Make<Emitter>("Particle2DEmitter", "E", {"OnError"});
    }
    void Set(uint64_t id, const std::string& text, int32_t element = 0) { rig.SetText(emitter, id, element, text); }
    // Enabling again restarts the emitter.
    void Restart() {
        emitter->SetEnabled(false);
        emitter->SetEnabled(true);
    }
    void Frame() { rig.Factory().Update(kDt); }
    size_t Count() const { return emitter->GetParticles().size(); }

    KVSpriteRig rig;
    Emitter* emitter = nullptr;
};

} // namespace

TEST_F(KVUnitParticle2DEmitterTest, TheFirstParticleComesWhenTheRateHasMadeOneWhole) {
    EXPECT_TRUE(emitter->IsCreating());
    EXPECT_FALSE(emitter->IsBoxValid());
    int frames = 0;
    while (Count() == 0 && frames < 100) {
        Frame();
        ++frames;
    }
    EXPECT_NEAR(frames, 20, 1);
    ASSERT_EQ(Count(), 1u);
    const Particle2D& p = emitter->GetParticles()[0];
    EXPECT_EQ(p.color, 0xFFFFFFFFu);
    EXPECT_FLOAT_EQ(p.scaleX, 1.0f);
    EXPECT_FLOAT_EQ(p.direction, 0.0f);
    // Speed 10 along the x axis, steered towards the target at the origin
    // it already sits on.
    EXPECT_NEAR(p.x, 10.0f * kDt, 1e-5f);
    EXPECT_EQ(emitter->GetCreated(), 1u);
}

TEST_F(KVUnitParticle2DEmitterTest, EachNewParticleDrawsItsRandomValuesInAFixedOrder) {
    Set(Emitter::kDirectionDeltaId, "50");
    Set(Emitter::kSpeedDeltaId, "50");
    Set(Emitter::kScaleDeltaId, "25");
    Set(Emitter::kRotationDeltaId, "25");
    Set(Emitter::kCreationTypeId, "1");
    Set(Emitter::kCreationSizeId, "100", 0);
    Set(Emitter::kCreationSizeId, "60", 1);
    Set(Emitter::kTargetRadiusId, "10");
    Set(Emitter::kNoTargetId, "true");
    emitter->SetPosition(200, 100);
    // From here the emitter stands still: no spread along its way.
    Restart();
    KVRandom::Instance()->SetTableCursor(40);
    emitter->Emit(1.0f / 3.0f);
    ASSERT_EQ(Count(), 1u);
    float r[10];
    for (int i = 1; i <= 9; ++i) r[i] = KVRandom::TableValue(40 + i);
    const Particle2D& p = emitter->GetParticles()[0];
    const float theta = r[1] * 2.0f * kPi;
    EXPECT_FLOAT_EQ(p.direction, (r[2] - 0.5f) * kPi);
    EXPECT_FLOAT_EQ(p.speed, 10.0f + (r[3] - 0.5f) * 10.0f);
    EXPECT_FLOAT_EQ(p.scaleX, 1.0f + (r[4] - 0.5f) / 2.0f);
    EXPECT_FLOAT_EQ(p.rotation, (r[5] - 0.5f) * kPi / 2.0f);
    EXPECT_FLOAT_EQ(p.x, 200.0f + 100.0f * (r[6] - 0.5f));
    EXPECT_FLOAT_EQ(p.y, 100.0f + 60.0f * (r[7] - 0.5f));
    // Around the target point (0, 0) of the emitter, in the world.
    EXPECT_NEAR(p.targetX, 200.0f + 10.0f * std::cos(theta), 1e-4f);
    EXPECT_NEAR(p.targetY, 100.0f + 10.0f * std::sin(theta), 1e-4f);
    EXPECT_EQ(KVRandom::Instance()->GetTableCursor(), 49);
}

TEST_F(KVUnitParticle2DEmitterTest, MaxParticlesEndsCreationAndAutoDisableWaitsForTheLastDeath) {
    Set(Emitter::kCreationPerSecId, "60");
    Set(Emitter::kLifetimeId, "0.5");
    Set(Emitter::kMaxParticlesId, "5");
    Set(Emitter::kAutoDisableId, "true");
    Restart();
    size_t most = 0;
    int frames = 0;
    while (emitter->IsEnabled() && frames < 200) {
        Frame();
        ++frames;
        most = std::max(most, Count());
        if (emitter->IsEnabled()) {
            EXPECT_TRUE(emitter->IsCreating() || Count() > 0) << frames;
        }
    }
    EXPECT_FALSE(emitter->IsEnabled());
    EXPECT_EQ(emitter->GetCreated(), 5u);
    EXPECT_EQ(most, 5u);
    // Five frames of creation, then half a second of life.
    EXPECT_NEAR(frames, 5 + 30, 2);
}

TEST_F(KVUnitParticle2DEmitterTest, LimitNbParticlesCapsTheLivingAndRefillsAtOnce) {
    Set(Emitter::kCreationPerSecId, "600");
    Set(Emitter::kLifetimeId, "0.1");
    Set(Emitter::kLimitNbParticlesId, "2");
    Restart();
    size_t full = 0;
    for (int i = 0; i < 120; ++i) {
        Frame();
        EXPECT_LE(Count(), 2u);
        EXPECT_EQ(emitter->GetAlive(), Count());
        if (Count() == 2) ++full;
    }
    // Both die together and come back together in the next frame.
    EXPECT_GE(full, 100u);
    EXPECT_GT(emitter->GetCreated(), 20u);
}

TEST_F(KVUnitParticle2DEmitterTest, ANegativeStartDelayPreRunsTheEmitter) {
    Set(Emitter::kStartDelayId, "-1");
    Set(Emitter::kCreationPerSecId, "40");
    Restart();
    // Twenty steps of 0.05 s, two particles each, the first a second old.
    ASSERT_EQ(Count(), 40u);
    float oldest = 0.0f;
    for (const Particle2D& p : emitter->GetParticles()) oldest = std::max(oldest, p.age);
    EXPECT_GT(oldest, 0.95f);
    EXPECT_LE(oldest, 1.0f + 1e-4f);
    EXPECT_GE(emitter->GetElapsed(), 0.0f);
    EXPECT_LT(emitter->GetElapsed(), 0.05f);
    // A delay of months pre-runs only its last minute, with the lifetime's
    // worth of particles alive.
    Set(Emitter::kStartDelayId, "-10000000");
    Restart();
    EXPECT_GE(Count(), 78u);
    EXPECT_LE(Count(), 80u);
    EXPECT_LT(emitter->GetElapsed(), 0.05f);
}

TEST_F(KVUnitParticle2DEmitterTest, AValidBoxKeepsEveryParticleAndAnInvalidOneNone) {
    Set(Emitter::kCreationPerSecId, "120");
    Set(Emitter::kSpeedId, "300");
    Set(Emitter::kDirectionDeltaId, "100");
    Set(Emitter::kNoTargetId, "true");
    emitter->SetPosition(100, 50);
    const char* box[] = {"-10", "-20", "10", "20"};
    for (int i = 0; i < 4; ++i) Set(Emitter::kBoundingBoxId, box[i], i);
    EXPECT_TRUE(emitter->IsBoxValid());
    Restart();
    for (int i = 0; i < 60; ++i) {
        Frame();
        for (const Particle2D& p : emitter->GetParticles()) {
            ASSERT_GE(p.x, 90.0f);
            ASSERT_LE(p.x, 110.0f);
            ASSERT_GE(p.y, 30.0f);
            ASSERT_LE(p.y, 70.0f);
        }
    }
    Set(Emitter::kBoundingBoxId, "-10", 2);
    EXPECT_FALSE(emitter->IsBoxValid());
    bool outside = false;
    for (int i = 0; i < 60; ++i) {
        Frame();
        for (const Particle2D& p : emitter->GetParticles()) outside = outside || p.x < 90.0f || p.x > 110.0f;
    }
    EXPECT_TRUE(outside);
}

TEST(KVParticle2DBlend, BytesMixByTheWholeFraction) {
    const struct {
        uint32_t p, q;
        float h;
        uint32_t expected;
    } cases[] = {{0x00000000u, 0xFFFFFFFFu, 0.5f, 0x7F7F7F7Fu}, {0x11223344u, 0xFFFFFFFFu, 0.0f, 0x11223344u},
                 {0x11223344u, 0xAABBCCDDu, 1.0f, 0xAABBCCDDu}, {0xFF000000u, 0x00FF0000u, 0.25f, 0xBF3F0000u},
                 {0x10203040u, 0x50607080u, std::numeric_limits<float>::quiet_NaN(), 0x10203040u},
                 {0x10203040u, 0x50607080u, 7.0f, 0x50607080u}};
    for (const auto& c : cases) EXPECT_EQ(Emitter::BlendColor(c.p, c.q, c.h), c.expected) << c.h;
}

TEST_F(KVUnitParticle2DEmitterTest, ScriptsStopCreationForGood) {
    Set(Emitter::kCreationPerSecId, "60");
    Frame();
    EXPECT_EQ(Count(), 1u);
    rig.Run("E:StopCreation()");
    EXPECT_FALSE(emitter->IsCreating());
    for (int i = 0; i < 10; ++i) Frame();
    EXPECT_EQ(emitter->GetCreated(), 1u);
    EXPECT_EQ(Count(), 1u);
}

TEST_F(KVUnitParticle2DEmitterTest, ARefreshAmongLivingParticlesKeepsThemCounted) {
    Set(Emitter::kCreationPerSecId, "60");
    Set(Emitter::kLifetimeId, "0.5");
    Set(Emitter::kLimitNbParticlesId, "10");
    for (int i = 0; i < 10; ++i) Frame();
    ASSERT_EQ(Count(), 10u);
    emitter->Refresh();
    EXPECT_EQ(emitter->GetAlive(), 10u);
    for (int i = 0; i < 120; ++i) {
        Frame();
        ASSERT_EQ(emitter->GetAlive(), Count());
    }
    // Creation goes on: the count never wrapped past the limit.
    EXPECT_GT(Count(), 0u);
}

TEST_F(KVUnitParticle2DEmitterTest, RatesAndLifetimesThatAreNoSensibleNumbersStayBounded) {
    Set(Emitter::kCreationPerSecId, "1e30");
    Frame();
    EXPECT_EQ(Count(), size_t(Emitter::kMostPerEmission));
    Set(Emitter::kCreationPerSecId, "nan");
    Restart();
    for (int i = 0; i < 5; ++i) Frame();
    EXPECT_EQ(Count(), 0u);
    for (const char* lifetime : {"0", "-3", "nan"}) {
        Set(Emitter::kCreationPerSecId, "60");
        Set(Emitter::kLifetimeId, lifetime);
        Restart();
        emitter->Emit(kDt);
        EXPECT_EQ(Count(), 1u) << lifetime;
        Frame();
        // Each is gone in the step after its birth.
        EXPECT_EQ(Count(), 0u) << lifetime;
        EXPECT_EQ(emitter->GetAlive(), 0u) << lifetime;
    }
}

TEST_F(KVUnitParticle2DEmitterTest, ParticlesDrawGroupedByTheirFrameImage) {
    rig.WritePng("img/a.png", 4, 4, 0xFFFFFFFFu);
    rig.WritePng("img/b.png", 8, 8, 0xFFFF0000u);
    Set(Emitter::kImageId, "img/a.png|img/missing.png|img/b.png");
    EXPECT_EQ(rig.TakeRecords(), (Records{"E:OnError 0"}));
    EXPECT_EQ(emitter->GetTextureCount(), 2u);
    Set(Emitter::kCreationPerSecId, "60");
    Set(Emitter::kFrameSpeedId, "0.03");
    Set(Emitter::kSpeedId, "0");
    for (int i = 0; i < 3; ++i) Frame();
    // Born one a frame, each shows the second image from its second step.
    ASSERT_EQ(Count(), 3u);
    EXPECT_EQ(emitter->GetParticles()[0].frame, 1u);
    EXPECT_EQ(emitter->GetParticles()[1].frame, 1u);
    EXPECT_EQ(emitter->GetParticles()[2].frame, 0u);
    rig.Device().ClearRecords();
    emitter->Draw();
    ASSERT_EQ(rig.Device().drawn.size(), 3u);
    // The first image's particle first (4 wide), then the second's (8 wide).
    const auto width = [&](size_t i) {
        const auto& v = rig.Device().drawn[i].vertices;
        return std::fabs(v[2].x - v[0].x);
    };
    EXPECT_FLOAT_EQ(width(0), 4.0f);
    EXPECT_FLOAT_EQ(width(1), 8.0f);
    EXPECT_FLOAT_EQ(width(2), 8.0f);
    EXPECT_FALSE(emitter->IsPointInside({0, 0}, nullptr, nullptr));
    // Without images nothing is drawn, yet particles live on.
    Set(Emitter::kImageId, "");
    rig.Device().ClearRecords();
    emitter->Draw();
    EXPECT_TRUE(rig.Device().drawn.empty());
    EXPECT_EQ(Count(), 3u);
}

TEST_F(KVUnitParticle2DEmitterTest, AnimatedDeltasWobbleBetweenTheirAmplitudes) {
    Set(Emitter::kCreationPerSecId, "60");
    Set(Emitter::kLifetimeId, "100");
    Set(Emitter::kNoTargetId, "true");
    Set(Emitter::kRotationDeltaId, "100");
    Set(Emitter::kScaleDeltaId, "50");
    Set(Emitter::kAnimationSpeedId, "1");
    Set(Emitter::kDeltaAnimatedId, "true");
    Frame();
    ASSERT_EQ(Count(), 1u);
    Set(Emitter::kCreationPerSecId, "0");
    float low = 1.0f, high = -1.0f, lowScale = 1.0f, highScale = -1.0f;
    for (int i = 0; i < 120; ++i) {
        Frame();
        const Particle2D& p = emitter->GetParticles()[0];
        ASSERT_LE(std::fabs(p.rotation), kPi + 1e-4f);
        ASSERT_LE(std::fabs(p.scaleX - 1.0f), 0.5f + 1e-4f);
        low = std::min(low, p.rotation);
        high = std::max(high, p.rotation);
        lowScale = std::min(lowScale, p.scaleX - 1.0f);
        highScale = std::max(highScale, p.scaleX - 1.0f);
    }
    EXPECT_LT(low, -2.5f);
    EXPECT_GT(high, 2.5f);
    EXPECT_LT(lowScale, -0.4f);
    EXPECT_GT(highScale, 0.4f);
}
