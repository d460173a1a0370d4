#pragma once
// Scene manager: not built yet; draws nothing.
#include "../kernel/IKVModule.h"
#include "../kernel/Singleton.h"

namespace kvl {

class KVSceneManager : public Singleton<KVSceneManager>, public IKVModule {
public:
    KVSceneManager() = default;
    ~KVSceneManager() override = default;

    int32_t Init(int32_t phase) override { (void)phase; return KV_OK; }
    int32_t Release(int32_t phase) override { (void)phase; return KV_OK; }

    // Draws the scene once per rendered frame.
    int32_t Draw() { return KV_OK; }
};

} // namespace kvl
