#include "KV3DParticleManager.h"

#include <functional>

namespace kvl {

KV3DParticleManager::KV3DParticleManager() {
    for (uint32_t i = 0; i < kPoolSize; ++i) {
        m_particles[i].SetPoolIndex(i);
        m_free[i] = i;
        m_out[i] = false;
    }
}

IKVParticle* KV3DParticleManager::AllocateParticle() {
    if (m_freeCount == 0) return nullptr;
    const uint32_t index = m_free[--m_freeCount];
    m_out[index] = true;
    return &m_particles[index];
}

int32_t KV3DParticleManager::FreeParticle(IKVParticle* particle) {
    // Only an address inside the pool is one of ours.
    const std::less<const void*> before;
    const void* address = particle;
    if (!particle || before(address, &m_particles[0]) || !before(address, &m_particles[kPoolSize])) return KV_OK;
    const uint32_t index = static_cast<KV3DParticle*>(particle)->GetPoolIndex();
    if (index >= kPoolSize || !m_out[index] || m_freeCount >= kPoolSize) return KV_OK;
    m_out[index] = false;
    m_free[m_freeCount++] = index;
    return KV_OK;
}

} // namespace kvl
