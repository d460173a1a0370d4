#pragma once
// Log module (placeholder until built).
#include "../kernel/IKVModule.h"
#include "../kernel/Singleton.h"

namespace kvl {

class KVLog : public Singleton<KVLog>, public IKVModule {
public:
    KVLog() = default;
    ~KVLog() override = default;

    int32_t Init(int32_t phase) override { (void)phase; return KV_OK; }
    int32_t Release(int32_t phase) override { (void)phase; return KV_OK; }
};

} // namespace kvl
