#include "KVTestThreadFactory.h"

#include <chrono>
#include <thread>

namespace kvtest {

int32_t KVTestCriticalSection::Lock() {
    m_mutex.lock();
    return kvl::KV_OK;
}

int32_t KVTestCriticalSection::Unlock() {
    m_mutex.unlock();
    return kvl::KV_OK;
}

KVTestThreadFactory::~KVTestThreadFactory() {
    if (m_installed && kvl::GetThreadFactory() == this) kvl::SetThreadFactory(nullptr);
}

void KVTestThreadFactory::Install() {
    kvl::SetThreadFactory(this);
    m_installed = true;
}

kvl::IKVCriticalSection* KVTestThreadFactory::CreateCriticalSection() {
    m_made++;
    return new KVTestCriticalSection();
}

int32_t KVTestThreadFactory::Sleep(float seconds) {
    if (seconds > 0) std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    return kvl::KV_OK;
}

} // namespace kvtest
