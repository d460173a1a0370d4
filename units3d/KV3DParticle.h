#pragma once
// One particle of the pool: it moves under its emitter's gravity, grows by
// the emitter's size change over its lifetime, and fades from its start
// colour to the emitter's final colour.
#include <cstdint>

#include "IKVParticle.h"

namespace kvl {

class KV3DParticle : public IKVParticle {
public:
    KV3DParticle() = default;
    ~KV3DParticle() override = default;

    int32_t SetAge(float age) override;
    int32_t SetOwner(IKVUnitParticleEmitter* owner) override;
    int32_t SetLifetime(float lifetime) override;
    int32_t SetColor(const uint32_t* color) override;
    int32_t SetVelocity(const float* velocity) override;
    int32_t SetPosition(const float* position) override;
    int32_t SetSize(const float* size) override;
    int32_t Update(float dt) override;

    const float* GetPosition() const { return m_position; }
    const float* GetVelocity() const { return m_velocity; }
    const float* GetSize() const { return m_size; }
    uint32_t GetStartColor() const { return m_startColor; }
    uint32_t GetColor() const { return m_color; }
    float GetAge() const { return m_age; }
    float GetLifetime() const { return m_lifetime; }
    uint32_t GetPoolIndex() const { return m_poolIndex; }
    void SetPoolIndex(uint32_t index) { m_poolIndex = index; }

private:
    void UpdateColor(uint32_t finalColor, float fadeIn, float fadeOut);

    float m_position[3] = {0.0f, 0.0f, 0.0f};
    float m_velocity[3] = {0.0f, 0.0f, 0.0f};
    float m_size[2] = {0.0f, 0.0f};
    uint32_t m_startColor = 0;
    uint32_t m_color = 0;
    float m_age = 0.0f;
    float m_lifetime = 0.0f;
    IKVUnitParticleEmitter* m_owner = nullptr;
    uint32_t m_poolIndex = 0;
};

} // namespace kvl
