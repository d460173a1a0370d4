#pragma once
// A* path-finding library (placeholder until built).
#include "../kernel/IKVModule.h"
#include "../kernel/Singleton.h"

namespace kvl {

class KVAI : public Singleton<KVAI>, public IKVModule {
public:
    KVAI() = default;
    ~KVAI() override = default;

    int32_t Init(int32_t phase) override { (void)phase; return KV_OK; }
    int32_t Release(int32_t phase) override { (void)phase; return KV_OK; }
};

} // namespace kvl
