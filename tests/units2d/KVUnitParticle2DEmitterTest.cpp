// The 2D particle emitter at 60 frames a second with the random table
// started at a fixed place: when particles come, the limits on how many,
// the pre-run of a negative start delay, the bouncing box, the colour blend,
// the order of random draws, frames, the drawing by image, and rates, lives
// and delays that are no sensible numbers; then one particle stepped by
// hand: its colour, scale and rotation over both halves of its life,
// steering, acceleration, the round zone, the creation timeout, relative
// particles and the bounce off each side of the box.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
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

// ---- a particle's life, steering and bounds, worked out step by step -----------

namespace {

// One particle born standing still at the emitter, its steps then taken by
// hand.
class KVParticle2DLifeTest : public KVUnitParticle2DEmitterTest {
protected:
    const Particle2D& Born(float x, float y) {
        Set(Emitter::kCreationPerSecId, "1");
        Set(Emitter::kLifetimeId, "1");
        emitter->SetPosition(x, y);
        Restart();
        emitter->Emit(1.0f);
        EXPECT_EQ(Count(), 1u);
        return emitter->GetParticles()[0];
    }
    const Particle2D& Stepped(float dt) {
        emitter->Step(dt);
        return emitter->GetParticles()[0];
    }
};

} // namespace

// Colour, scale and rotation run from start to middle over the first half
// of the life and from middle to end over the second.
TEST_F(KVParticle2DLifeTest, ColourScaleAndRotationBlendInTwoHalves) {
    Set(Emitter::kSpeedId, "0");
    Set(Emitter::kNoTargetId, "true");
    Set(Emitter::kColorStartId, "0xFF000000");
    Set(Emitter::kColorMiddleId, "0x80FF4000");
    Set(Emitter::kColorEndId, "0x00204080");
    const char* scales[3][2] = {{"1", "2"}, {"3", "4"}, {"5", "10"}};
    const uint64_t scaleIds[3] = {Emitter::kScaleStartId, Emitter::kScaleMiddleId, Emitter::kScaleEndId};
    for (int i = 0; i < 3; ++i) {
        Set(scaleIds[i], scales[i][0], 0);
        Set(scaleIds[i], scales[i][1], 1);
    }
    Set(Emitter::kRotationStartId, "0");
    Set(Emitter::kRotationMiddleId, "90");
    Set(Emitter::kRotationEndId, "180");
    ASSERT_EQ(Born(0, 0).color, 0xFF000000u);
    const struct {
        float dt;  // the step; the age after it in the comment
        uint32_t color;
        float scaleX, scaleY, rotation;
    } steps[] = {
        // Age 0.25, h = 0.5 of start to middle: each byte (p + q) / 2.
        {0.25f, 0xBF7F2000u, 2.0f, 3.0f, kPi / 4.0f},
        // Age 0.75, h = 0.5 of middle to end.
        {0.5f, 0x408F4040u, 4.0f, 7.0f, 3.0f * kPi / 4.0f},
        // Age 0.875, h = 0.75: each byte (q * 192 + p * 64) / 256.
        {0.125f, 0x20574060u, 4.5f, 8.5f, 0.875f * kPi},
    };
    for (const auto& s : steps) {
        const Particle2D& p = Stepped(s.dt);
        EXPECT_EQ(p.color, s.color) << p.age;
        EXPECT_FLOAT_EQ(p.scaleX, s.scaleX) << p.age;
        EXPECT_FLOAT_EQ(p.scaleY, s.scaleY) << p.age;
        EXPECT_NEAR(p.rotation, s.rotation, 1e-5f) << p.age;
    }
    // Age 1: the life is over.
    emitter->Step(0.125f);
    EXPECT_EQ(Count(), 0u);
    EXPECT_EQ(emitter->GetAlive(), 0u);
}

TEST_F(KVParticle2DLifeTest, ARelativeRotationAddsTheDirection) {
    Set(Emitter::kSpeedId, "0");
    Set(Emitter::kNoTargetId, "true");
    Set(Emitter::kDirectionId, "30");
    Set(Emitter::kRotationStartId, "10");
    Set(Emitter::kRotationMiddleId, "50");
    Set(Emitter::kRotationRelativeId, "true");
    const float direction = kPi / 6.0f, degree = kPi / 180.0f;
    EXPECT_NEAR(Born(0, 0).direction, direction, 1e-6f);
    EXPECT_NEAR(emitter->GetParticles()[0].rotation, 10.0f * degree + direction, 1e-5f);
    // Age 0.25: halfway from 10 to 50 degrees, turned by the direction.
    EXPECT_NEAR(Stepped(0.25f).rotation, 30.0f * degree + direction, 1e-5f);
    Set(Emitter::kRotationRelativeId, "false");
    EXPECT_NEAR(Stepped(0.125f).rotation, 40.0f * degree, 1e-5f);
}

// The vector to the target (from the particle, or the target itself when
// relative) against the direction decides the turn: dt x TurnFactor to the
// side of the target, none when it lies straight ahead. The particle moves
// along the direction it had before the turn.
TEST_F(KVParticle2DLifeTest, SteeringTurnsByTheTurnFactorTowardsTheTarget) {
    const struct {
        const char* name;
        const char* turnFactor;
        const char* targetRelative;
        const char* targetX;  // in the emitter's coordinates; it stands at (50, 200)
        const char* targetY;
        float direction1, direction2, x2, y2;
    } cases[] = {
        // The target (50, 100) above the particle: k = -100 turns to
        // negative angles. cos 0.2 = 0.9800666, sin 0.2 = 0.1986693.
        {"above", "2", "false", "0", "-100", -0.2f, -0.4f, 51.0f + 0.9800666f, 200.0f - 0.1986693f},
        // cos 0.05 = 0.9987503, sin 0.05 = 0.0499792.
        {"above, slower", "0.5", "false", "0", "-100", -0.05f, -0.1f, 51.0f + 0.9987503f, 200.0f - 0.0499792f},
        // Relative: the target's own (50, 100) is the vector, k = 100.
        {"relative", "2", "true", "0", "-100", 0.2f, 0.4f, 51.0f + 0.9800666f, 200.0f + 0.1986693f},
        // Straight ahead: k = 0, no turn.
        {"ahead", "2", "false", "100", "0", 0.0f, 0.0f, 52.0f, 200.0f},
    };
    for (const auto& c : cases) {
        Set(Emitter::kSpeedId, "10");
        Set(Emitter::kTurnFactorId, c.turnFactor);
        Set(Emitter::kTargetRelativeId, c.targetRelative);
        Set(Emitter::kTargetId, c.targetX, 0);
        Set(Emitter::kTargetId, c.targetY, 1);
        const Particle2D& born = Born(50, 200);
        EXPECT_FLOAT_EQ(born.targetX, 50.0f + std::stof(c.targetX)) << c.name;
        EXPECT_FLOAT_EQ(born.targetY, 200.0f + std::stof(c.targetY)) << c.name;
        const Particle2D& first = Stepped(0.1f);
        EXPECT_NEAR(first.direction, c.direction1, 1e-6f) << c.name;
        EXPECT_NEAR(first.x, 51.0f, 1e-5f) << c.name;
        EXPECT_NEAR(first.y, 200.0f, 1e-5f) << c.name;
        const Particle2D& second = Stepped(0.1f);
        EXPECT_NEAR(second.direction, c.direction2, 1e-6f) << c.name;
        EXPECT_NEAR(second.x, c.x2, 1e-4f) << c.name;
        EXPECT_NEAR(second.y, c.y2, 1e-4f) << c.name;
    }
}

// The speed grows by dt x Acceleration before each move.
TEST_F(KVParticle2DLifeTest, AccelerationChangesTheSpeedBeforeTheMove) {
    Set(Emitter::kNoTargetId, "true");
    Set(Emitter::kSpeedId, "10");
    Set(Emitter::kAccelerationId, "20");
    Born(0, 0);
    EXPECT_FLOAT_EQ(Stepped(0.1f).speed, 12.0f);
    EXPECT_NEAR(emitter->GetParticles()[0].x, 1.2f, 1e-5f);
    EXPECT_FLOAT_EQ(Stepped(0.1f).speed, 14.0f);
    EXPECT_NEAR(emitter->GetParticles()[0].x, 2.6f, 1e-5f);
    // Slowed past zero it goes back.
    Set(Emitter::kAccelerationId, "-340");
    EXPECT_FLOAT_EQ(Stepped(0.1f).speed, -20.0f);
    EXPECT_NEAR(emitter->GetParticles()[0].x, 0.6f, 1e-5f);
}

// The round creation zone: theta from the first draw, the x radius fraction
// from the sixth and the y one from the seventh.
TEST_F(KVParticle2DLifeTest, TheRoundZoneSpreadsBirthsOverItsRadius) {
    Set(Emitter::kNoTargetId, "true");
    Set(Emitter::kCreationRadiusId, "40");
    Set(Emitter::kCreationPerSecId, "1");
    emitter->SetPosition(200, 100);
    Restart();
    KVRandom::Instance()->SetTableCursor(40);
    emitter->Emit(1.0f);
    ASSERT_EQ(Count(), 1u);
    float r[10];
    for (int i = 1; i <= 9; ++i) r[i] = KVRandom::TableValue(40 + i);
    const float theta = r[1] * 2.0f * kPi;
    const Particle2D& p = emitter->GetParticles()[0];
    EXPECT_NEAR(p.x, 200.0f + std::cos(theta) * 40.0f * r[6], 1e-4f);
    EXPECT_NEAR(p.y, 100.0f + std::sin(theta) * 40.0f * r[7], 1e-4f);
    EXPECT_EQ(KVRandom::Instance()->GetTableCursor(), 49);
    // Inside the circle whatever the draws.
    Set(Emitter::kCreationPerSecId, "1000");
    emitter->Emit(1.0f);
    for (const Particle2D& q : emitter->GetParticles()) ASSERT_LE(std::hypot(q.x - 200.0f, q.y - 100.0f), 40.0f + 1e-3f);
}

// Creation lasts CreationTimeout seconds from the end of the start delay,
// counted in whole frames: 8 particles a second, one per frame of 1/8 s.
TEST_F(KVParticle2DLifeTest, CreationTimeoutEndsCreationAfterTheStartDelay) {
    const struct {
        const char* timeout;
        const char* delay;
        uint32_t created;
    } cases[] = {{"0.5", "0", 4}, {"0.5", "0.25", 5}, {"0", "0", 12}, {"0.3", "0", 3}};
    for (const auto& c : cases) {
        Set(Emitter::kCreationPerSecId, "8");
        Set(Emitter::kLifetimeId, "100");
        Set(Emitter::kCreationTimeoutId, c.timeout);
        Set(Emitter::kStartDelayId, c.delay);
        Restart();
        for (int i = 0; i < 12; ++i) rig.Factory().Update(0.125f);
        EXPECT_EQ(emitter->GetCreated(), c.created) << c.timeout << " after " << c.delay;
        EXPECT_EQ(emitter->IsCreating(), std::string(c.timeout) == "0") << c.timeout << " after " << c.delay;
    }
}

// Relative particles are kept from the emitter and drawn through its world
// transform, so they follow it; the others stay where they were born.
TEST_F(KVParticle2DLifeTest, RelativeParticlesMoveWithTheEmitter) {
    rig.WritePng("img/dot.png", 4, 4, 0xFFFFFFFFu);
    Set(Emitter::kImageId, "img/dot.png");
    Set(Emitter::kNoTargetId, "true");
    Set(Emitter::kSpeedId, "0");
    for (const char* relative : {"true", "false"}) {
        Set(Emitter::kRelativePositionId, relative);
        const Particle2D& p = Born(100, 50);
        const bool kept = std::string(relative) == "true";
        EXPECT_FLOAT_EQ(p.x, kept ? 0.0f : 100.0f) << relative;
        EXPECT_FLOAT_EQ(p.y, kept ? 0.0f : 50.0f) << relative;
        emitter->SetPosition(150, 80);
        rig.Device().ClearRecords();
        emitter->Draw();
        ASSERT_EQ(rig.Device().drawn.size(), 1u) << relative;
        // The picture's centre on the particle: 2 pixels up and left of it.
        const std::array<float, 6> view = rig.Device().LastView();
        EXPECT_FLOAT_EQ(view[4], kept ? 148.0f : 98.0f) << relative;
        EXPECT_FLOAT_EQ(view[5], kept ? 78.0f : 48.0f) << relative;
    }
}

// A particle that leaves the box is put back on its edge and its direction
// mirrored: pi - direction at the left and right, -direction at the top and
// bottom. The box stands around the emitter at (100, 50).
TEST_F(KVParticle2DLifeTest, TheBoxBounceReversesTheDirection) {
    const struct {
        const char* name;
        const char* direction;  // degrees
        const char* speed;      // units a second; steps of 0.1 s
        bool horizontal;
        float place[4];      // x or y after each step
        float direction2[4];  // the direction after each step
    } cases[] = {
        {"right then left", "0", "150", true, {110.0f, 95.0f, 90.0f, 105.0f}, {kPi, kPi, 0.0f, 0.0f}},
        {"down then up", "90", "250", false, {70.0f, 45.0f, 30.0f, 55.0f},
         {-kPi / 2.0f, -kPi / 2.0f, kPi / 2.0f, kPi / 2.0f}},
    };
    const char* box[] = {"-10", "-20", "10", "20"};
    for (int i = 0; i < 4; ++i) Set(Emitter::kBoundingBoxId, box[i], i);
    ASSERT_TRUE(emitter->IsBoxValid());
    for (const auto& c : cases) {
        Set(Emitter::kNoTargetId, "true");
        Set(Emitter::kDirectionId, c.direction);
        Set(Emitter::kSpeedId, c.speed);
        Born(100, 50);
        for (int step = 0; step < 4; ++step) {
            const Particle2D& p = Stepped(0.1f);
            EXPECT_NEAR(c.horizontal ? p.x : p.y, c.place[step], 1e-3f) << c.name << " " << step;
            EXPECT_NEAR(c.horizontal ? p.y : p.x, c.horizontal ? 50.0f : 100.0f, 1e-3f) << c.name << " " << step;
            EXPECT_NEAR(p.direction, c.direction2[step], 1e-5f) << c.name << " " << step;
        }
    }
}
