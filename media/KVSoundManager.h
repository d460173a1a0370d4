#pragma once
// Sound manager: not built yet; does nothing.
#include "../kernel/IKVModule.h"
#include "../kernel/Singleton.h"

namespace kvl {

class KVSoundManager : public Singleton<KVSoundManager>, public IKVModule {
public:
    KVSoundManager() = default;
    ~KVSoundManager() override = default;

    int32_t Init(int32_t phase) override { (void)phase; return KV_OK; }
    int32_t Release(int32_t phase) override { (void)phase; return KV_OK; }

    // Gives every streaming voice one refill step (there are none yet).
    // Counted, so callers can be checked.
    int32_t UpdateStreams() {
        ++m_updateStreamsCalls;
        return KV_OK;
    }
    int32_t GetUpdateStreamsCalls() const { return m_updateStreamsCalls; }

private:
    int32_t m_updateStreamsCalls = 0;
};

} // namespace kvl
