#pragma once
// Image utilities: not built yet; do nothing.
#include "../kernel/IKVModule.h"
#include "../kernel/Singleton.h"

namespace kvl {

class KVImageUtils : public Singleton<KVImageUtils>, public IKVModule {
public:
    KVImageUtils() = default;
    ~KVImageUtils() override = default;

    int32_t Init(int32_t phase) override { (void)phase; return KV_OK; }
    int32_t Release(int32_t phase) override { (void)phase; return KV_OK; }
};

} // namespace kvl
