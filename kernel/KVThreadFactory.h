#pragma once
// Thread factory: makes every thread and lock of the engine and destroys
// released threads at the next update or release phase.
#include <cstddef>
#include <vector>

#include "IKVModule.h"
#include "IKVThreadFactory.h"
#include "Singleton.h"

namespace kvl {

class KVSDLThread;

class KVThreadFactory : public Singleton<KVThreadFactory>,
                        public IKVModule,
                        public IKVThreadFactory {
public:
    KVThreadFactory();
    ~KVThreadFactory() override;

    int32_t QueryInterface(const KVInterfaceId& id, void** out) override;
    int32_t Init(int32_t phase) override;
    int32_t Release(int32_t phase) override;
    int32_t Update(float dt) override;

    IKVThread* CreateThread() override;
    IKVCriticalSection* CreateCriticalSection() override;
    int32_t Sleep(float seconds) override;

    // Destroys every retired thread.
    int32_t DestroyThreads();
    // Takes a thread whose last reference went; it is destroyed later.
    void AddThread(KVSDLThread* thread);
    std::size_t RetiredCount();

private:
    IKVCriticalSection* m_lock = nullptr;
    std::vector<KVSDLThread*> m_retired;
};

} // namespace kvl
