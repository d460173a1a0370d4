#pragma once
// Typed project properties (placeholder until built).
#include "../kernel/IKVModule.h"
#include "../kernel/Singleton.h"

namespace kvl {

class KVProperties : public Singleton<KVProperties>, public IKVModule {
public:
    KVProperties() = default;
    ~KVProperties() override = default;

    int32_t Init(int32_t phase) override { (void)phase; return KV_OK; }
    int32_t Release(int32_t phase) override { (void)phase; return KV_OK; }
};

} // namespace kvl
