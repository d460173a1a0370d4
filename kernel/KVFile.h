#pragma once
// Platform file layer (placeholder until built).
#include "../kernel/IKVModule.h"
#include "../kernel/Singleton.h"

namespace kvl {

class KVFile : public Singleton<KVFile>, public IKVModule {
public:
    KVFile() = default;
    ~KVFile() override = default;

    int32_t Init(int32_t phase) override { (void)phase; return KV_OK; }
    int32_t Release(int32_t phase) override { (void)phase; return KV_OK; }
};

} // namespace kvl
