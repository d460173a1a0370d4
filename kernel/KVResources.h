#pragma once
// Resource manager (placeholder until built).
#include "../kernel/IKVModule.h"
#include "../kernel/Singleton.h"

namespace kvl {

class KVResources : public Singleton<KVResources>, public IKVModule {
public:
    KVResources() = default;
    ~KVResources() override = default;

    int32_t Init(int32_t phase) override { (void)phase; return KV_OK; }
    int32_t Release(int32_t phase) override { (void)phase; return KV_OK; }

    // Called by the core once per frame before the modules' updates.
    int32_t UpdateResources(float dt) { (void)dt; return KV_OK; }
};

} // namespace kvl
