#pragma once
// CPU information (placeholder until built).
#include "../kernel/IKVModule.h"
#include "../kernel/Singleton.h"

namespace kvl {

class KVCPU : public Singleton<KVCPU>, public IKVModule {
public:
    KVCPU() = default;
    ~KVCPU() override = default;

    int32_t Init(int32_t phase) override { (void)phase; return KV_OK; }
    int32_t Release(int32_t phase) override { (void)phase; return KV_OK; }
};

} // namespace kvl
