#pragma once
#include "IKVCriticalSection.h"
#include "IKVThread.h"

namespace kvl {

constexpr KVInterfaceId IID_IKVThreadFactory = {0xb4b56817u, 0x0010af6eu};

// Every thread, semaphore and lock of the engine is made here.
class IKVThreadFactory : public virtual IKVUnknown {
public:
    virtual IKVThread* CreateThread() = 0;
    virtual IKVCriticalSection* CreateCriticalSection() = 0;
    virtual int32_t Sleep(float seconds) = 0;
};

} // namespace kvl

namespace kvl {

// The thread factory (set by the factory module while it exists), or null.
IKVThreadFactory* GetThreadFactory();
void SetThreadFactory(IKVThreadFactory* factory);

} // namespace kvl
