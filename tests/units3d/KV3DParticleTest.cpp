#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>
#include <vector>

#include "support/KV3DTestEmitter.h"
#include "units3d/KV3DParticle.h"
#include "units3d/KV3DParticleManager.h"

using namespace kvl;
using kvtest::KV3DTestEmitter;

namespace {

struct ParticleSetup {
    float lifetime = 1.0f;
    uint32_t color = 0xFF000000u;
    float velocity[3] = {0.0f, 0.0f, 0.0f};
    float size[2] = {1.0f, 1.0f};
};

void SetUpParticle(KV3DParticle& p, KV3DTestEmitter& owner, const ParticleSetup& s) {
    p.SetOwner(&owner);
    p.SetAge(0.0f);
    p.SetLifetime(s.lifetime);
    p.SetColor(&s.color);
    p.SetVelocity(s.velocity);
    const float origin[3] = {0.0f, 0.0f, 0.0f};
    p.SetPosition(origin);
    p.SetSize(s.size);
}

uint32_t Alpha(uint32_t color) { return color >> 24; }

} // namespace

TEST(KV3DParticleManagerTest, LastFreedIsFirstHandedOut) {
    KV3DParticleManager manager;
    std::set<IKVParticle*> out;
    IKVParticle* first = manager.AllocateParticle();
    EXPECT_EQ(first, static_cast<IKVParticle*>(manager.GetParticle(999)));
    out.insert(first);
    for (int i = 1; i < 1000; ++i) out.insert(manager.AllocateParticle());
    EXPECT_EQ(out.size(), 1000u);
    EXPECT_EQ(out.count(nullptr), 0u);
    EXPECT_EQ(manager.AllocateParticle(), nullptr);

    IKVParticle* returned = manager.GetParticle(123);
    manager.FreeParticle(returned);
    EXPECT_EQ(manager.AllocateParticle(), returned);
    EXPECT_EQ(manager.AllocateParticle(), nullptr);
}

// A particle freed twice, a particle of no pool and null leave the pool as
// it was: nothing is handed out twice and the free stack never overflows.
TEST(KV3DParticleManagerTest, FreesThatAreNotOursAreIgnored) {
    KV3DParticleManager manager;
    KV3DParticle stranger;
    manager.FreeParticle(&stranger);
    manager.FreeParticle(nullptr);
    manager.FreeParticle(manager.GetParticle(5));  // never handed out
    EXPECT_EQ(manager.GetFreeCount(), 1000u);
    IKVParticle* a = manager.AllocateParticle();
    manager.FreeParticle(a);
    manager.FreeParticle(a);
    EXPECT_EQ(manager.GetFreeCount(), 1000u);
    EXPECT_EQ(manager.AllocateParticle(), a);
    EXPECT_NE(manager.AllocateParticle(), a);
}

TEST(KV3DParticleTest, LifetimeOneIsAliveAtOneSecondAndDeadAfter) {
    KV3DTestEmitter owner;
    KV3DParticle p;
    SetUpParticle(p, owner, {});
    EXPECT_EQ(p.Update(0.5f), 1);
    EXPECT_EQ(p.Update(0.5f), 1);
    EXPECT_EQ(p.GetAge(), 1.0f);
    EXPECT_EQ(p.Update(0.001f), 0);
}

TEST(KV3DParticleTest, GravityMovesAndAccelerates) {
    KV3DTestEmitter owner;
    owner.gravity[1] = -10.0f;
    KV3DParticle p;
    ParticleSetup s;
    s.velocity[0] = 2.0f;
    SetUpParticle(p, owner, s);
    ASSERT_EQ(p.Update(0.1f), 1);
    EXPECT_FLOAT_EQ(p.GetPosition()[0], 0.2f);
    EXPECT_FLOAT_EQ(p.GetPosition()[1], -0.05f);
    EXPECT_FLOAT_EQ(p.GetVelocity()[1], -1.0f);
    EXPECT_FLOAT_EQ(p.GetVelocity()[0], 2.0f);
}

TEST(KV3DParticleTest, SizeGrowsByTheChangeOverTheLifetime) {
    KV3DTestEmitter owner;
    owner.sizeChange[0] = 1.0f;
    owner.sizeChange[1] = 1.0f;
    KV3DParticle p;
    ParticleSetup s;
    s.lifetime = 2.0f;
    s.size[1] = 3.0f;
    SetUpParticle(p, owner, s);
    for (int i = 0; i < 4; ++i) p.Update(0.25f);
    EXPECT_FLOAT_EQ(p.GetSize()[0], 1.5f);
    EXPECT_FLOAT_EQ(p.GetSize()[1], 3.5f);
}

TEST(KV3DParticleTest, ColourFadesInBlendsAndFadesOut) {
    KV3DTestEmitter owner;
    owner.fadeIn = 0.5f;
    owner.fadeOut = 0.5f;
    owner.finalColor = 0xC8FF0010u;
    KV3DParticle p;
    ParticleSetup s;
    s.lifetime = 2.0f;
    s.color = 0xC8002040u;
    SetUpParticle(p, owner, s);
    // Half the fade-in: half the start alpha, start colour otherwise.
    p.Update(0.25f);
    EXPECT_EQ(p.GetColor(), 0x64002040u);
    // Halfway through the middle: each channel halfway, differences signed.
    p.Update(0.75f);
    EXPECT_EQ(p.GetColor(), 0xC87F1028u);
    // Half the fade-out: half the final alpha.
    p.Update(0.75f);
    EXPECT_EQ(p.GetColor(), 0x64FF0010u);

    // Fades filling the lifetime: the middle shows the final colour.
    owner.fadeIn = 1.0f;
    owner.fadeOut = 1.0f;
    KV3DParticle q;
    SetUpParticle(q, owner, s);
    q.Update(1.0f);
    EXPECT_EQ(q.GetColor(), 0xC8FF0010u);
}

// Lifetimes that cannot be lived: no NaN size, no endless life.
TEST(KV3DParticleTest, AbsurdLifetimesDieOrStayFinite) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    KV3DTestEmitter owner;
    owner.sizeChange[0] = 1.0f;
    KV3DParticle p;
    ParticleSetup s;
    s.lifetime = 0.0f;
    SetUpParticle(p, owner, s);
    EXPECT_EQ(p.Update(0.0f), 1);
    EXPECT_EQ(p.GetSize()[0], 1.0f);
    EXPECT_EQ(p.GetSize()[1], 1.0f);
    EXPECT_EQ(p.Update(0.01f), 0);

    for (float lifetime : {nan, -1.0f}) {
        s.lifetime = lifetime;
        SetUpParticle(p, owner, s);
        EXPECT_EQ(p.Update(0.01f), 0) << lifetime;
    }

    // Huge or odd lifetimes and fades: colours stay whole numbers (the
    // sanitizer run traps any NaN converted to an integer).
    for (float lifetime : {inf, 3e38f}) {
        for (float fade : {nan, inf, -inf, 0.0f, 1e-30f}) {
            owner.fadeIn = fade;
            owner.fadeOut = fade;
            s.lifetime = lifetime;
            SetUpParticle(p, owner, s);
            EXPECT_EQ(p.Update(0.5f), 1);
            EXPECT_TRUE(std::isfinite(p.GetSize()[1]));
        }
    }
    owner.fadeIn = 1e-30f;
    owner.fadeOut = 0.0f;
    s.lifetime = 1.0f;
    SetUpParticle(p, owner, s);
    p.SetAge(-5.0f);
    EXPECT_EQ(p.Update(0.0f), 1);
    EXPECT_LE(Alpha(p.GetColor()), 255u);
}
