#include "KV3DParticle.h"

#include <algorithm>

namespace kvl {

namespace {

// A channel value as an integer, without converting NaN or an out-of-range
// float (possible only from absurd emitter settings): both end at a bound.
int32_t Truncate(float value) { return int32_t(std::max(-256.0f, std::min(256.0f, value))); }

uint32_t WithAlpha(uint32_t color, int32_t alpha) { return (color & 0x00FFFFFFu) | (uint32_t(alpha & 0xFF) << 24); }

const float kNoGravity[3] = {0.0f, 0.0f, 0.0f};
const float kNoGrowth[2] = {0.0f, 0.0f};

} // namespace

int32_t KV3DParticle::SetAge(float age) {
    m_age = age;
    return KV_OK;
}

int32_t KV3DParticle::SetOwner(IKVUnitParticleEmitter* owner) {
    m_owner = owner;
    return KV_OK;
}

int32_t KV3DParticle::SetLifetime(float lifetime) {
    m_lifetime = lifetime;
    return KV_OK;
}

int32_t KV3DParticle::SetColor(const uint32_t* color) {
    if (color) m_startColor = *color;
    return KV_OK;
}

int32_t KV3DParticle::SetVelocity(const float* velocity) {
    if (velocity)
        for (int i = 0; i < 3; ++i) m_velocity[i] = velocity[i];
    return KV_OK;
}

int32_t KV3DParticle::SetPosition(const float* position) {
    if (position)
        for (int i = 0; i < 3; ++i) m_position[i] = position[i];
    return KV_OK;
}

int32_t KV3DParticle::SetSize(const float* size) {
    if (size) {
        m_size[0] = size[0];
        m_size[1] = size[1];
    }
    return KV_OK;
}

int32_t KV3DParticle::Update(float dt) {
    m_age += dt;
    // Past its lifetime (or with no sensible age or lifetime at all) the
    // particle is dead.
    if (!(m_age <= m_lifetime)) return 0;

    const float* g = m_owner ? m_owner->GetGravity(dt) : nullptr;
    if (!g) g = kNoGravity;
    for (int i = 0; i < 3; ++i) {
        m_position[i] += dt * (dt * g[i]) * 0.5f + dt * m_velocity[i];
        m_velocity[i] += dt * g[i];
    }

    // A particle without lifetime has nothing to grow over.
    if (m_lifetime > 0.0f) {
        const float* c = m_owner ? m_owner->GetSizeChange() : nullptr;
        if (!c) c = kNoGrowth;
        m_size[0] += dt * (c[0] / m_lifetime);
        m_size[1] += dt * (c[1] / m_lifetime);
    }

    const uint32_t* finalColor = m_owner ? m_owner->GetFinalColor() : nullptr;
    if (finalColor)
        UpdateColor(*finalColor, m_owner->GetFadeInTime(), m_owner->GetFadeOutTime());
    else
        m_color = m_startColor;
    return 1;
}

void KV3DParticle::UpdateColor(uint32_t finalColor, float fadeIn, float fadeOut) {
    const float a = m_age;
    const float life = m_lifetime;
    if (a < fadeIn) {
        const float alpha = float(m_startColor >> 24) * (a / fadeIn);
        m_color = WithAlpha(m_startColor, Truncate(alpha));
    } else if (a > life - fadeOut) {
        const float alpha = float(finalColor >> 24) * (life - a) / fadeOut;
        m_color = WithAlpha(finalColor, Truncate(alpha));
    } else {
        const float span = life - fadeIn - fadeOut;
        // Between the fades t lies in [0, 1]; held there (NaN ends at 1), no
        // channel difference times t can leave the integers.
        const float t = span > 0.0f ? std::max(0.0f, std::min(1.0f, (a - fadeIn) / span)) : 1.0f;
        uint32_t color = 0;
        for (int shift = 0; shift < 32; shift += 8) {
            const int32_t s = int32_t((m_startColor >> shift) & 0xFFu);
            const int32_t e = int32_t((finalColor >> shift) & 0xFFu);
            const int32_t channel = s + int32_t(float(e - s) * t);
            color |= uint32_t(channel & 0xFF) << shift;
        }
        m_color = color;
    }
}

} // namespace kvl
