#include "KVUnitParticle2DEmitter.h"

#include <algorithm>
#include <cmath>

#include "../graphics/IKVResourceTexture.h"
#include "../kernel/KVRandom.h"
#include "../kernel/KVResources.h"
#include "../units/KVSerialize.h"

namespace kvl {

namespace {

constexpr float kPi = 3.1415927f;
constexpr float kTwoPi = 2.0f * kPi;

// The random module's next table value; 0 without the module.
float Fraction() {
    KVRandom* random = KVRandom::Instance();
    return random ? random->NextTableValue() : 0.0f;
}

// Truncation to an unsigned count that saturates (not a number: 0).
uint32_t SaturatedCount(float v) {
    if (!(v > 0.0f)) return 0;
    if (v >= 4294967296.0f) return UINT32_MAX;
    return uint32_t(v);
}

// Moves a wobble phase on by a step and answers its offset: a triangle wave
// between -amplitude and +amplitude.
float Wobble(float* phase, float step, float amplitude) {
    if (*phase < 0.0f) {
        *phase += step;
        if (*phase >= 0.0f) *phase = 2.0f * amplitude;
    } else {
        *phase -= step;
        if (*phase <= 0.0f) *phase = -2.0f * amplitude;
    }
    return *phase < 0.0f ? *phase + amplitude : *phase - amplitude;
}

// What stepping a particle reads of its emitter.
struct StepValues {
    float dt;
    float lifetime, turnFactor, acceleration;
    KV2DTempl<float> scaleStart, scaleMiddle, scaleEnd;
    float rotationStart, rotationMiddle, rotationEnd;
    uint32_t colorStart, colorMiddle, colorEnd;
    float rotationAmplitude, scaleAmplitude, rotationStep, scaleStep;
    float frameSpeed;
    uint32_t frames;
    bool steer, targetRelative, rotationRelative, deltaAnimated, bounce;
    float left = 0.0f, right = 0.0f, top = 0.0f, bottom = 0.0f;
};

void StepParticle(Particle2D* particle, const StepValues& v) {
    const float dt = v.dt;
    Particle2D& p = *particle;
    const float c = std::cos(p.direction), s = std::sin(p.direction);
    if (v.steer) {
        const float vx = v.targetRelative ? p.targetX : p.targetX - p.x;
        const float vy = v.targetRelative ? p.targetY : p.targetY - p.y;
        const float k = vy * c - vx * s;
        if (k < 0.0f)
            p.direction -= dt * v.turnFactor;
        else if (k > 0.0f)
            p.direction += dt * v.turnFactor;
    }
    p.speed += dt * v.acceleration;
    p.x += c * p.speed * dt;
    p.y += s * p.speed * dt;

    const float u = p.age / v.lifetime;
    if (u > 0.5f) {
        const float h = (u - 0.5f) * 2.0f;
        p.scaleX = (1.0f - h) * v.scaleMiddle.x + h * v.scaleEnd.x;
        p.scaleY = (1.0f - h) * v.scaleMiddle.y + h * v.scaleEnd.y;
        p.rotation = (1.0f - h) * v.rotationMiddle + h * v.rotationEnd;
        p.color = KVUnitParticle2DEmitter::BlendColor(v.colorMiddle, v.colorEnd, h);
    } else {
        const float h = 2.0f * u;
        p.scaleX = (1.0f - h) * v.scaleStart.x + h * v.scaleMiddle.x;
        p.scaleY = (1.0f - h) * v.scaleStart.y + h * v.scaleMiddle.y;
        p.rotation = (1.0f - h) * v.rotationStart + h * v.rotationMiddle;
        p.color = KVUnitParticle2DEmitter::BlendColor(v.colorStart, v.colorMiddle, h);
    }
    if (v.rotationRelative) p.rotation += p.direction;

    if (v.deltaAnimated) {
        p.rotation += Wobble(&p.rotationWobble, v.rotationStep, v.rotationAmplitude);
        const float offset = Wobble(&p.scaleWobble, v.scaleStep, v.scaleAmplitude);
        p.scaleX += offset;
        p.scaleY += offset;
    } else {
        p.rotation += p.rotationWobble / 2.0f;
        p.scaleX += p.scaleWobble / 2.0f;
        p.scaleY += p.scaleWobble / 2.0f;
    }

    if (v.frameSpeed > 0.0f && v.frames >= 2) {
        p.frameTimer += dt;
        if (p.frameTimer >= v.frameSpeed) {
            p.frame = p.frame + 1 >= v.frames ? 0 : p.frame + 1;
            p.frameTimer -= v.frameSpeed;
        }
    }

    if (!v.bounce) return;
    const float left = v.left, right = v.right, top = v.top, bottom = v.bottom;
    if (p.x < left) {
        p.x = left;
        p.direction = kPi - p.direction;
    } else if (p.x > right) {
        p.x = right;
        p.direction = kPi - p.direction;
    }
    if (p.y < top) {
        p.y = top;
        p.direction = -p.direction;
    } else if (p.y > bottom) {
        p.y = bottom;
        p.direction = -p.direction;
    }
}

} // namespace

KVUnitParticle2DEmitter::~KVUnitParticle2DEmitter() { ReleaseTextures(); }

KVUnitParticle2DEmitter* KVUnitParticle2DEmitter::FromUnit(IKVUnit* unit) {
    return unit ? dynamic_cast<KVUnitParticle2DEmitter*>(unit->GetUnit()) : nullptr;
}

uint32_t KVUnitParticle2DEmitter::BlendColor(uint32_t p, uint32_t q, float h) {
    const uint32_t w = std::min<uint32_t>(SaturatedCount(h * 256.0f), 256);
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const uint32_t a = (p >> shift) & 0xFFu, b = (q >> shift) & 0xFFu;
        out |= ((b * w + a * (256 - w)) / 256) << shift;
    }
    return out;
}

void KVUnitParticle2DEmitter::Init() {
    KVUnitDisplay2D::Init();
    m_alphaBlend = true;
    m_colorStart = m_colorMiddle = m_colorEnd = 0xFFFFFFFFu;
    m_creationPerSec = 3.0f;
    m_lifetime = 2.0f;
    m_speed = 10.0f;
    m_direction = m_directionDelta = m_creationRadius = 0.0f;
    m_target = {0, 0};
    m_targetRadius = 0.0f;
    m_turnFactor = 0.1f;
    m_scaleStart = m_scaleMiddle = m_scaleEnd = {1.0f, 1.0f};
    m_acceleration = 0.0f;
    m_creationType = kRound;
    m_creationSize[0] = m_creationSize[1] = 0;
    m_creationTimeout = 0.0f;
    m_noTarget = m_autoDisable = m_targetRelative = false;
    m_startDelay = 0.0f;
    m_rotationStart = m_rotationMiddle = m_rotationEnd = 0.0f;
    m_speedDelta = m_rotationDelta = m_scaleDelta = m_animationSpeed = 0.0f;
    m_deltaAnimated = m_rotationRelative = m_relativePosition = false;
    m_frameSpeed = 0.0f;
    m_box = {0, 0, 0, 0};
    m_maxParticles = m_limitNbParticles = 0;
    SetDrawable(true);
    SetNativeUpdate(true);
    m_creating = true;
    m_elapsed = m_accumulator = 0.0f;
    m_created = m_alive = 0;
    m_boxValid = false;
}

bool KVUnitParticle2DEmitter::IsPointInside(const KV2DTempl<int32_t>& point, float* depth, IKVUnit* camera) {
    (void)point;
    (void)depth;
    (void)camera;
    return false;
}

void KVUnitParticle2DEmitter::ReleaseTextures() {
    std::vector<IKVResourceTexture*> textures;
    textures.swap(m_textures);
    for (IKVResourceTexture* texture : textures)
        if (texture) texture->Release();
}

void KVUnitParticle2DEmitter::LoadImages() {
    const uint32_t load = ++m_loads;
    ReleaseTextures();
    if (!IsEnabled() || m_image.empty()) return;
    IKVGraphic* graphic = GetGraphicModule();
    KVResources* resources = KVResources::Instance();
    KVSerialize* serializer = KVSerialize::Instance();
    if (resources) resources->SetCurrentUnit(GetIndex());
    std::vector<std::string> paths;
    if (serializer)
        serializer->SplitList(m_image, &paths);
    else
        paths.push_back(m_image);
    KVUnitWatch watch(this);
    for (const std::string& path : paths) {
        std::string full = path;
        if (serializer) serializer->MakeAbsolutePath(path, &full);
        IKVResourceTexture* texture = nullptr;
        if (!graphic || graphic->CreateTextureFromFile(full.c_str(), nullptr, &texture, 0) != KV_OK || !texture) {
            RaiseError(0);
            // The error event may have let the unit go or loaded it anew.
            if (!watch.Alive() || m_loads != load) break;
            continue;
        }
        m_textures.push_back(texture);
    }
    if (resources) resources->SetCurrentUnit(-1);
}

void KVUnitParticle2DEmitter::ValidateBox() { m_boxValid = m_box.left < m_box.right && m_box.top < m_box.bottom; }

KV2DTempl<int32_t> KVUnitParticle2DEmitter::EmitterPosition() const {
    const KV2DTransform& w = GetWorldTransform();
    return {TruncateCoordinate(w.m[4]), TruncateCoordinate(w.m[5])};
}

void KVUnitParticle2DEmitter::Refresh() {
    KVUnitDisplay2D::Refresh();
    if (!IsEnabled()) {
        m_particles.clear();
        m_alive = 0;
        return;
    }
    m_elapsed = 0.0f;
    m_creating = true;
    // Particles that live on stay counted, so that their deaths never take
    // the count below zero.
    m_alive = uint32_t(std::min<size_t>(m_particles.size(), UINT32_MAX));
    m_created = 0;
    m_previous = EmitterPosition();
    if (m_startDelay < 0.0f) {
        // A huge delay would pre-run for ever: only its last minute counts.
        float t = std::max(m_startDelay, -kLongestPreRun);
        while (t < 0.0f) {
            Emit(kPreRunStep);
            Step(kPreRunStep);
            t += kPreRunStep;
        }
        m_elapsed = t;
    }
}

void KVUnitParticle2DEmitter::Update(float dt) {
    KVUnitWatch watch(this);
    KVUnitDisplay2D::Update(dt);
    if (!watch.Alive()) return;
    m_elapsed += dt;
    if (m_startDelay <= m_elapsed && m_creating) {
        Emit(dt);
        if ((m_creationTimeout > 0.0f && m_elapsed >= m_creationTimeout + m_startDelay) ||
            (m_maxParticles != 0 && m_created >= m_maxParticles))
            m_creating = false;
    }
    Step(dt);
    m_previous = EmitterPosition();
    if (m_autoDisable && !m_creating && m_particles.empty()) SetEnabled(false);
}

void KVUnitParticle2DEmitter::Emit(float dt) {
    m_accumulator += dt * m_creationPerSec;
    // A rate that is no number creates nothing and is not carried on.
    if (std::isnan(m_accumulator)) m_accumulator = 0.0f;
    uint32_t n = std::min(SaturatedCount(m_accumulator), kMostPerEmission);
    if (m_maxParticles != 0) n = m_created >= m_maxParticles ? 0 : std::min(n, m_maxParticles - m_created);
    if (m_limitNbParticles != 0 && n > 0)
        n = m_alive >= m_limitNbParticles ? 0 : std::min(n, m_limitNbParticles - m_alive);
    if (n == 0) return;
    m_created = m_created > UINT32_MAX - n ? UINT32_MAX : m_created + n;
    m_alive = m_alive > UINT32_MAX - n ? UINT32_MAX : m_alive + n;
    m_accumulator -= float(n);

    const KV2DTransform& w = GetWorldTransform();
    const KV2DTempl<int32_t> at = EmitterPosition();
    const float ex = float(at.x), ey = float(at.y);
    const float rho = GetAbsoluteRotation();
    const float tx = float(RoundCoordinate(w.m[0] * float(m_target.x) + w.m[2] * float(m_target.y) + w.m[4]));
    const float ty = float(RoundCoordinate(w.m[1] * float(m_target.x) + w.m[3] * float(m_target.y) + w.m[5]));
    const float driftX = float(m_previous.x) - ex, driftY = float(m_previous.y) - ey;
    m_particles.reserve(m_particles.size() + n);
    for (uint32_t i = 0; i < n; ++i) {
        Particle2D p{};
        const float theta = Fraction() * kTwoPi;
        p.direction = rho + m_direction + (Fraction() - 0.5f) * kPi * m_directionDelta / 50.0f;
        p.speed = m_speed + (Fraction() - 0.5f) * m_speedDelta / 50.0f * m_speed;
        p.scaleWobble = (Fraction() - 0.5f) * m_scaleDelta / 25.0f;
        p.scaleX = m_scaleStart.x + p.scaleWobble / 2.0f;
        p.scaleY = m_scaleStart.y + p.scaleWobble / 2.0f;
        p.rotationWobble = (Fraction() - 0.5f) * kPi * m_rotationDelta / 25.0f;
        p.rotation = m_rotationStart + p.rotationWobble / 2.0f;
        if (m_rotationRelative) p.rotation += p.direction;
        float bx, by;
        if (m_creationType == kRect) {
            bx = ex + float(m_creationSize[0]) * (Fraction() - 0.5f);
            by = ey + float(m_creationSize[1]) * (Fraction() - 0.5f);
        } else {
            bx = ex + std::cos(theta) * m_creationRadius * Fraction();
            by = ey + std::sin(theta) * m_creationRadius * Fraction();
        }
        // Spread along the emitter's way since the last frame.
        p.x = bx + driftX * Fraction();
        p.y = by + driftY * Fraction();
        p.targetX = tx + m_targetRadius * std::cos(theta);
        p.targetY = ty + m_targetRadius * std::sin(theta);
        p.color = m_colorStart;
        p.emitterRotation = rho;
        if (m_relativePosition) {
            p.x -= ex;
            p.y -= ey;
        }
        m_particles.push_back(p);
    }
}

void KVUnitParticle2DEmitter::Step(float dt) {
    // The values every particle reads, copied once, so that the loop keeps
    // them at hand instead of reading the unit again for each particle.
    StepValues v;
    v.dt = dt;
    v.lifetime = m_lifetime;
    v.turnFactor = m_turnFactor;
    v.acceleration = m_acceleration;
    v.scaleStart = m_scaleStart;
    v.scaleMiddle = m_scaleMiddle;
    v.scaleEnd = m_scaleEnd;
    v.rotationStart = m_rotationStart;
    v.rotationMiddle = m_rotationMiddle;
    v.rotationEnd = m_rotationEnd;
    v.colorStart = m_colorStart;
    v.colorMiddle = m_colorMiddle;
    v.colorEnd = m_colorEnd;
    v.rotationAmplitude = m_rotationDelta * kPi / 100.0f;
    v.scaleAmplitude = m_scaleDelta / 100.0f;
    v.rotationStep = dt * m_animationSpeed * 4.0f * kPi;
    v.scaleStep = dt * m_animationSpeed * 2.0f;
    v.frameSpeed = m_frameSpeed;
    v.frames = uint32_t(std::min<size_t>(m_textures.size(), UINT32_MAX));
    v.steer = !m_noTarget;
    v.targetRelative = m_targetRelative;
    v.rotationRelative = m_rotationRelative;
    v.deltaAnimated = m_deltaAnimated;
    v.bounce = m_boxValid;
    if (m_boxValid) {
        // Particles kept relative to the emitter bounce in the box as it
        // stands around the emitter, in their own coordinates.
        const KV2DTempl<int32_t> at = m_relativePosition ? KV2DTempl<int32_t>{0, 0} : EmitterPosition();
        v.left = float(SaturatingAdd(at.x, m_box.left));
        v.right = float(SaturatingAdd(at.x, m_box.right));
        v.top = float(SaturatingAdd(at.y, m_box.top));
        v.bottom = float(SaturatingAdd(at.y, m_box.bottom));
    }
    size_t kept = 0;
    const size_t count = m_particles.size();
    for (size_t i = 0; i < count; ++i) {
        Particle2D& p = m_particles[i];
        p.age += dt;
        // A Lifetime that is no number ends each particle at once too.
        if (!(p.age < v.lifetime)) {
            if (m_alive > 0) --m_alive;
            continue;
        }
        StepParticle(&p, v);
        if (kept != i) m_particles[kept] = p;
        ++kept;
    }
    m_particles.resize(kept);
}

void KVUnitParticle2DEmitter::Draw() {
    KVUnitDisplay2D::Draw();
    IKVGraphic* graphic = GetGraphicModule();
    if (!graphic || m_textures.empty() || m_particles.empty()) return;
    for (size_t i = 0; i < m_textures.size(); ++i) DrawGroup(graphic, m_textures[i], uint32_t(i));
}

void KVUnitParticle2DEmitter::DrawGroup(IKVGraphic* graphic, IKVResourceTexture* texture, uint32_t frame) {
    graphic->SetTextureStage(0, texture);
    graphic->ResetTextureStages();
    KVDrawState state;
    state.blend = m_alphaBlend ? 1 : 0;
    state.textureFlag = 1;
    graphic->SetDrawState(&state, 0);
    const int32_t* size = texture->GetImageSize();
    const int32_t w = size ? size[0] : 0, h = size ? size[1] : 0;
    const KV2DTempl<int32_t> pivot = {w / 2, h / 2};
    ImageDrawRecord record;
    record.sourceRight = float(w);
    record.sourceBottom = float(h);
    for (const Particle2D& p : m_particles) {
        if (p.frame != frame) continue;
        KV2DTransform t;
        TransformPoint2D({p.x - float(w) * p.scaleX / 2.0f, p.y - float(h) * p.scaleY / 2.0f}, {p.scaleX, p.scaleY},
                         p.rotation + p.emitterRotation, pivot, &t);
        if (m_relativePosition) t = Compose2D(GetWorldTransform(), t);
        graphic->SetViewTransform(t.m);
        record.color = p.color;
        graphic->DrawImage(&record);
    }
    graphic->EndDraw();
}

} // namespace kvl
