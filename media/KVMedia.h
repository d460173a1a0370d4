#pragma once
// Media script library: not built yet; does nothing.
#include "../kernel/IKVModule.h"
#include "../kernel/Singleton.h"

namespace kvl {

class KVMedia : public Singleton<KVMedia>, public IKVModule {
public:
    KVMedia() = default;
    ~KVMedia() override = default;

    int32_t Init(int32_t phase) override { (void)phase; return KV_OK; }
    int32_t Release(int32_t phase) override { (void)phase; return KV_OK; }
};

} // namespace kvl
