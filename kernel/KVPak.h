#pragma once
// Pak archive layer (placeholder until built).
#include "../kernel/IKVModule.h"
#include "../kernel/Singleton.h"

namespace kvl {

class KVPak : public Singleton<KVPak>, public IKVModule {
public:
    KVPak() = default;
    ~KVPak() override = default;

    int32_t Init(int32_t phase) override { (void)phase; return KV_OK; }
    int32_t Release(int32_t phase) override { (void)phase; return KV_OK; }
    void ReleaseTemporaryPaks() {}
};

} // namespace kvl
