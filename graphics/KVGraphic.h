#pragma once
// Graphic module: not built yet; draws nothing.
#include "../kernel/IKVModule.h"
#include "../kernel/Singleton.h"

namespace kvl {

class KVGraphic : public Singleton<KVGraphic>, public IKVModule {
public:
    KVGraphic() = default;
    ~KVGraphic() override = default;

    int32_t Init(int32_t phase) override { (void)phase; return KV_OK; }
    int32_t Release(int32_t phase) override { (void)phase; return KV_OK; }

    // Forgets the textures remembered for the texture stages (none yet:
    // nothing draws). Counted, so callers can be checked.
    void ForgetTextureStages() { ++m_forgetTextureStagesCalls; }
    int32_t GetForgetTextureStagesCalls() const { return m_forgetTextureStagesCalls; }

private:
    int32_t m_forgetTextureStagesCalls = 0;
};

} // namespace kvl
