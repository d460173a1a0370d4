#pragma once
// Serializer (placeholder until built).
#include "../kernel/IKVModule.h"
#include "../kernel/Singleton.h"

namespace kvl {

class KVSerialize : public Singleton<KVSerialize>, public IKVModule {
public:
    KVSerialize() = default;
    ~KVSerialize() override = default;

    int32_t Init(int32_t phase) override { (void)phase; return KV_OK; }
    int32_t Release(int32_t phase) override { (void)phase; return KV_OK; }
};

} // namespace kvl
