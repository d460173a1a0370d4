#pragma once
// GUI module: not built yet; does nothing.
#include "../kernel/IKVModule.h"
#include "../kernel/Singleton.h"

namespace kvl {

class KVGUI : public Singleton<KVGUI>, public IKVModule {
public:
    KVGUI() = default;
    ~KVGUI() override = default;

    int32_t Init(int32_t phase) override { (void)phase; return KV_OK; }
    int32_t Release(int32_t phase) override { (void)phase; return KV_OK; }
};

} // namespace kvl
