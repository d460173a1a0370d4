#pragma once
// Particles of the 3D particle emitters: one particle, the module-wide pool
// they come from, and the renderer that draws an emitter's list in one call.
#include <cstdint>
#include <list>

#include "../graphics/KVResourceTexture.h"
#include "../kernel/IKVUnknown.h"
#include "IKVUnitParticleEmitter.h"

namespace kvl {

constexpr KVInterfaceId IID_IKVParticleManager = MakeId(0x025DFF81, 0xF8064614);

class IKVParticle {
public:
    virtual int32_t SetAge(float age) = 0;
    virtual int32_t SetOwner(IKVUnitParticleEmitter* owner) = 0;
    virtual int32_t SetLifetime(float lifetime) = 0;
    // The start colour, 0xAARRGGBB.
    virtual int32_t SetColor(const uint32_t* color) = 0;
    virtual int32_t SetVelocity(const float* velocity) = 0;
    virtual int32_t SetPosition(const float* position) = 0;
    // Full width and height of the quad.
    virtual int32_t SetSize(const float* size) = 0;
    // 1 while the particle lives, 0 once it has died.
    virtual int32_t Update(float dt) = 0;

protected:
    virtual ~IKVParticle() = default;
};

// An emitter's live particles, in emission order.
using KV3DParticleList = std::list<IKVParticle*>;

class IKVParticleManager {
public:
    // A free particle of the pool, or null when all are taken.
    virtual IKVParticle* AllocateParticle() = 0;
    virtual int32_t FreeParticle(IKVParticle* particle) = 0;

protected:
    virtual ~IKVParticleManager() = default;
};

class IKVParticleRender {
public:
    // One camera-facing quad per particle, drawn in one call; 1 when there
    // is no current camera. The second argument is not used.
    virtual int32_t Draw(const KV3DParticleList& particles, uint32_t unused, uint8_t alphaBlend,
                         KVResourceTexture* texture) = 0;
    // matrix: three rows of four floats (the fourth of each is not read);
    // the point becomes (row0·p, row1·p, row2·p).
    virtual void TransformPoint(const float* matrix, float* point) = 0;

protected:
    virtual ~IKVParticleRender() = default;
};

} // namespace kvl
