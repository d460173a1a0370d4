#pragma once
// Unit factory: not built yet; holds no units.
#include "../kernel/IKVModule.h"
#include "../kernel/Singleton.h"

namespace kvl {

class KVUnitFactory : public Singleton<KVUnitFactory>, public IKVModule {
public:
    KVUnitFactory() = default;
    ~KVUnitFactory() override = default;

    int32_t Init(int32_t phase) override { (void)phase; return KV_OK; }
    int32_t Release(int32_t phase) override { (void)phase; return KV_OK; }
};

} // namespace kvl
