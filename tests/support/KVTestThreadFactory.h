#pragma once
// A thread factory for tests whose critical sections are recursive
// std::mutex locks (the holding thread may enter again, as with the engine's).
// It makes no threads. Install() makes it the program-wide factory for its
// lifetime.
#include <atomic>
#include <mutex>
#include "kernel/IKVThreadFactory.h"

namespace kvtest {

class KVTestCriticalSection : public kvl::KVRefCounted<kvl::IKVCriticalSection> {
public:
    int32_t Lock() override;
    int32_t Unlock() override;

private:
    std::recursive_mutex m_mutex;
};

class KVTestThreadFactory : public kvl::IKVThreadFactory {
public:
    KVTestThreadFactory() = default;
    ~KVTestThreadFactory() override;

    // Becomes the factory GetThreadFactory() answers until destroyed.
    void Install();

    kvl::IKVThread* CreateThread() override { return nullptr; }
    kvl::IKVCriticalSection* CreateCriticalSection() override;
    int32_t Sleep(float seconds) override;

    int32_t CriticalSectionsMade() const { return m_made.load(); }

private:
    std::atomic<int32_t> m_made{0};
    bool m_installed = false;
};

} // namespace kvtest
