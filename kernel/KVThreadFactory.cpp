#include "KVThreadFactory.h"

#include <cmath>
#include <cstdint>
#include <thread>
#include <chrono>

#include "KVSDLCriticalSection.h"
#include "KVSDLThread.h"

namespace kvl {

KVThreadFactory::KVThreadFactory() { SetThreadFactory(this); }

KVThreadFactory::~KVThreadFactory() {
    DestroyThreads();
    if (m_lock) m_lock->Release();
    if (GetThreadFactory() == this) SetThreadFactory(nullptr);
}

int32_t KVThreadFactory::QueryInterface(const KVInterfaceId& id, void** out) {
    if (id == IID_IKVThreadFactory) return AnswerInterface(static_cast<IKVThreadFactory*>(this), out);
    if (out) *out = nullptr;
    return KV_NOT_SUPPORTED;
}

int32_t KVThreadFactory::Init(int32_t phase) {
    if (phase == 0 && !m_lock) m_lock = CreateCriticalSection();
    return KV_OK;
}

int32_t KVThreadFactory::Release(int32_t phase) {
    DestroyThreads();
    if (phase == 4 && m_lock) {
        m_lock->Release();
        m_lock = nullptr;
    }
    return KV_OK;
}

int32_t KVThreadFactory::Update(float) { return DestroyThreads(); }

IKVThread* KVThreadFactory::CreateThread() { return new KVSDLThread(CreateCriticalSection()); }

IKVCriticalSection* KVThreadFactory::CreateCriticalSection() { return new KVSDLCriticalSection(); }

int32_t KVThreadFactory::Sleep(float seconds) {
    // Truncated to whole microseconds; a negative or invalid time sleeps 0
    // instead of wrapping to an endless sleep.
    double micro = double(seconds) * 1000000.0;
    if (!(micro >= 1.0)) return KV_OK;
    if (micro > double(UINT32_MAX)) micro = double(UINT32_MAX);
    std::this_thread::sleep_for(std::chrono::microseconds(uint64_t(micro)));
    return KV_OK;
}

void KVThreadFactory::AddThread(KVSDLThread* thread) {
    KVLockGuard guard(m_lock);
    m_retired.push_back(thread);
}

std::size_t KVThreadFactory::RetiredCount() {
    KVLockGuard guard(m_lock);
    return m_retired.size();
}

int32_t KVThreadFactory::DestroyThreads() {
    std::vector<KVSDLThread*> retired;
    {
        KVLockGuard guard(m_lock);
        retired.swap(m_retired);
    }
    for (KVSDLThread* thread : retired) thread->DestroyRetired();
    return KV_OK;
}

} // namespace kvl
