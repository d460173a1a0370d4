#pragma once
// Draws an emitter's particles as camera-facing quads in one indexed call,
// from buffers fixed at the pool's size.
#include <cstdint>

#include "../units/KV3DTypes.h"
#include "IKVParticle.h"
#include "KV3DParticleManager.h"

namespace kvl {

class KV3DParticleRender : public IKVParticleRender {
public:
    static constexpr uint32_t kMaxQuads = KV3DParticleManager::kPoolSize;

    // Prepares texture coordinates and indices once; the winding follows
    // the scene's handedness.
    explicit KV3DParticleRender(bool rightHanded);
    ~KV3DParticleRender() override = default;

    int32_t Draw(const KV3DParticleList& particles, uint32_t unused, uint8_t alphaBlend,
                 KVResourceTexture* texture) override;
    void TransformPoint(const float* matrix, float* point) override;

    const KV3DVertex* GetVertices() const { return m_vertices; }
    const uint16_t* GetIndices() const { return m_indices; }

private:
    KV3DVertex m_vertices[4 * kMaxQuads];
    uint16_t m_indices[6 * kMaxQuads];
};

} // namespace kvl
