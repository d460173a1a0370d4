#pragma once
// The module-wide pool of 1,000 particles, handed out and taken back in
// constant time (last freed, first handed out).
#include <cstdint>

#include "../kernel/Singleton.h"
#include "IKVParticle.h"
#include "KV3DParticle.h"

namespace kvl {

class KV3DParticleManager : public Singleton<KV3DParticleManager>, public IKVParticleManager {
public:
    static constexpr uint32_t kPoolSize = 1000;

    KV3DParticleManager();
    ~KV3DParticleManager() override = default;

    // Null when every particle is out; the particle's fields are left as
    // they were.
    IKVParticle* AllocateParticle() override;
    // A particle that is not out of this pool is ignored.
    int32_t FreeParticle(IKVParticle* particle) override;

    uint32_t GetFreeCount() const { return m_freeCount; }
    KV3DParticle* GetParticle(uint32_t index) { return index < kPoolSize ? &m_particles[index] : nullptr; }

private:
    KV3DParticle m_particles[kPoolSize];
    uint32_t m_free[kPoolSize];
    uint32_t m_freeCount = kPoolSize;
    // Whether each particle is handed out: a second free of the same
    // particle would hand it out twice.
    bool m_out[kPoolSize];
};

} // namespace kvl
