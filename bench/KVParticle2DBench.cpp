// A 2D particle emitter stepping 10,000 live particles (steering, motion,
// the two-half blend of scale, rotation and colour, wobble and a bouncing
// box) against the same arithmetic over a std::vector in a plain loop.
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "KVBench.h"
#include "KVBenchUnits.h"
#include "units/KVUnitFactory.h"
#include "units2d/KVUnitParticle2DEmitter.h"

namespace {

using kvl::KVUnitParticle2DEmitter;
using kvl::Particle2D;

constexpr size_t kParticles = 10000;
constexpr float kDt = 1.0f / 60.0f;
constexpr float kPi = 3.1415927f;

// The emitter's values as the plain loop keeps them, read at run time as
// the emitter reads its attributes.
struct Values {
    float turn, acceleration, lifetime, amplitude;
    float left, right, top, bottom;
    float scaleStart, scaleMiddle, rotationMiddle;
    uint32_t colorStart, colorMiddle;
};

uint32_t Blend(uint32_t p, uint32_t q, float h) {
    const float scaled = h * 256.0f;
    const uint32_t w = scaled > 0.0f ? (scaled >= 256.0f ? 256u : uint32_t(scaled)) : 0u;
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8)
        out |= ((((q >> shift) & 0xFFu) * w + ((p >> shift) & 0xFFu) * (256 - w)) / 256) << shift;
    return out;
}

void PlainStep(Particle2D& p, float dt, const Values& v) {
    const float c = std::cos(p.direction), s = std::sin(p.direction);
    const float k = (p.targetY - p.y) * c - (p.targetX - p.x) * s;
    if (k < 0.0f)
        p.direction -= dt * v.turn;
    else if (k > 0.0f)
        p.direction += dt * v.turn;
    p.speed += dt * v.acceleration;
    p.x += c * p.speed * dt;
    p.y += s * p.speed * dt;
    const float u = p.age / v.lifetime;
    const float h = u > 0.5f ? (u - 0.5f) * 2.0f : 2.0f * u;
    p.scaleX = (1.0f - h) * v.scaleStart + h * v.scaleMiddle;
    p.scaleY = (1.0f - h) * v.scaleStart + h * v.scaleMiddle;
    p.rotation = (1.0f - h) * 0.0f + h * v.rotationMiddle;
    p.color = Blend(v.colorStart, v.colorMiddle, h);
    const float ar = v.amplitude * kPi / 100.0f, as = v.amplitude / 100.0f;
    if (p.rotationWobble < 0.0f) {
        p.rotationWobble += dt * 4.0f * kPi;
        if (p.rotationWobble >= 0.0f) p.rotationWobble = 2.0f * ar;
    } else {
        p.rotationWobble -= dt * 4.0f * kPi;
        if (p.rotationWobble <= 0.0f) p.rotationWobble = -2.0f * ar;
    }
    p.rotation += p.rotationWobble < 0.0f ? p.rotationWobble + ar : p.rotationWobble - ar;
    if (p.scaleWobble < 0.0f) {
        p.scaleWobble += dt * 2.0f;
        if (p.scaleWobble >= 0.0f) p.scaleWobble = 2.0f * as;
    } else {
        p.scaleWobble -= dt * 2.0f;
        if (p.scaleWobble <= 0.0f) p.scaleWobble = -2.0f * as;
    }
    const float offset = p.scaleWobble < 0.0f ? p.scaleWobble + as : p.scaleWobble - as;
    p.scaleX += offset;
    p.scaleY += offset;
    if (p.x < v.left) {
        p.x = v.left;
        p.direction = kPi - p.direction;
    } else if (p.x > v.right) {
        p.x = v.right;
        p.direction = kPi - p.direction;
    }
    if (p.y < v.top) {
        p.y = v.top;
        p.direction = -p.direction;
    } else if (p.y > v.bottom) {
        p.y = v.bottom;
        p.direction = -p.direction;
    }
}

struct Particle2DBench {
    KVUnitParticle2DEmitter* emitter = nullptr;
    std::vector<Particle2D> plain;
    Values values;

    Particle2DBench() {
        kvbench::UnitState();
        kvl::KVUnitFactory* factory = kvl::KVUnitFactory::Instance();
        const int32_t cls = factory->FindClassByName("Particle2DEmitter");
        kvl::KVUnit* made = nullptr;
        factory->CreateUnit(cls, &made, kvl::KVCREATE_RUNTIME | kvl::KVCREATE_NO_NAME, -1, 0);
        emitter = static_cast<KVUnitParticle2DEmitter*>(made);
        const struct {
            uint64_t id;
            int32_t element;
            const char* text;
        } settings[] = {{KVUnitParticle2DEmitter::kCreationPerSecId, 0, "600000"},
                      {KVUnitParticle2DEmitter::kLimitNbParticlesId, 0, "10000"},
                      {KVUnitParticle2DEmitter::kLifetimeId, 0, "1e9"},
                      {KVUnitParticle2DEmitter::kSpeedId, 0, "50"},
                      {KVUnitParticle2DEmitter::kAccelerationId, 0, "2"},
                      {KVUnitParticle2DEmitter::kTargetId, 0, "100"},
                      {KVUnitParticle2DEmitter::kTargetRadiusId, 0, "50"},
                      {KVUnitParticle2DEmitter::kCreationRadiusId, 0, "200"},
                      {KVUnitParticle2DEmitter::kScaleMiddleId, 0, "2"},
                      {KVUnitParticle2DEmitter::kScaleMiddleId, 1, "2"},
                      {KVUnitParticle2DEmitter::kRotationMiddleId, 0, "1"},
                      {KVUnitParticle2DEmitter::kColorMiddleId, 0, "0x80FF0000"},
                      {KVUnitParticle2DEmitter::kRotationDeltaId, 0, "0.5"},
                      {KVUnitParticle2DEmitter::kScaleDeltaId, 0, "0.5"},
                      {KVUnitParticle2DEmitter::kAnimationSpeedId, 0, "1"},
                      {KVUnitParticle2DEmitter::kDeltaAnimatedId, 0, "true"},
                      {KVUnitParticle2DEmitter::kBoundingBoxId, 0, "-400"},
                      {KVUnitParticle2DEmitter::kBoundingBoxId, 1, "-300"},
                      {KVUnitParticle2DEmitter::kBoundingBoxId, 2, "400"},
                      {KVUnitParticle2DEmitter::kBoundingBoxId, 3, "300"}};
        for (const auto& v : settings)
            factory->SetAttributeText(emitter->GetIndex(), factory->FindAttributePosition(cls, v.id), v.element,
                                      v.text, false);
        while (emitter->GetParticles().size() < kParticles) emitter->Emit(kDt);
        plain = emitter->GetParticles();
        values = {0.1f, 2.0f, 1e9f, 0.5f, -400.0f, 400.0f, -300.0f, 300.0f, 1.0f, 2.0f, 1.0f, 0xFFFFFFFFu, 0x80FF0000u};
    }

    void Baseline() {
        const Values v = values;
        for (Particle2D& p : plain) {
            p.age += kDt;
            if (!(p.age < v.lifetime)) continue;
            PlainStep(p, kDt, v);
        }
    }

    void Subject() { emitter->Step(kDt); }
};

Particle2DBench& Bench() {
    return kvbench::Lazy<Particle2DBench>();
}

kvbench::Figure Particle2DFigure() {
    kvbench::Figure f;
    f.name = "KVUnitParticle2DEmitter::Step over 10,000 live particles";
    f.baselineName = "the same arithmetic over a std::vector in a plain loop";
    f.target = 1.5;
    f.baseline = [] { Bench().Baseline(); };
    f.subject = [] { Bench().Subject(); };
    return f;
}

} // namespace

KV_BENCH_FIGURE(Particle2DFigure);
