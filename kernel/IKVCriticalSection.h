#pragma once
#include "IKVUnknown.h"

namespace kvl {

// A reference-counted mutex made by the thread factory.
class IKVCriticalSection : public IKVUnknownRef {
public:
    virtual int32_t Lock() = 0;
    virtual int32_t Unlock() = 0;
};

// Holds a critical section for one scope; a null section is a no-op.
class KVLockGuard {
public:
    explicit KVLockGuard(IKVCriticalSection* cs) : m_cs(cs) { if (m_cs) m_cs->Lock(); }
    ~KVLockGuard() { if (m_cs) m_cs->Unlock(); }
    KVLockGuard(const KVLockGuard&) = delete;
    KVLockGuard& operator=(const KVLockGuard&) = delete;

private:
    IKVCriticalSection* m_cs;
};

} // namespace kvl
