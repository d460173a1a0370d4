#pragma once
// Profiler (placeholder until built).
#include "../kernel/IKVModule.h"
#include "../kernel/Singleton.h"

namespace kvl {

class KVProfiler : public Singleton<KVProfiler>, public IKVModule {
public:
    KVProfiler() = default;
    ~KVProfiler() override = default;

    int32_t Init(int32_t phase) override { (void)phase; return KV_OK; }
    int32_t Release(int32_t phase) override { (void)phase; return KV_OK; }
};

} // namespace kvl
