#pragma once
// Lua binding (placeholder until built).
#include "../kernel/IKVModule.h"
#include "../kernel/Singleton.h"

namespace kvl {

class KVLua : public Singleton<KVLua>, public IKVModule {
public:
    KVLua() = default;
    ~KVLua() override = default;

    int32_t Init(int32_t phase) override { (void)phase; return KV_OK; }
    int32_t Release(int32_t phase) override { (void)phase; return KV_OK; }
};

} // namespace kvl
