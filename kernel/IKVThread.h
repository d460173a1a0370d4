#pragma once
#include "IKVUnknown.h"

namespace kvl {

class IKVThread;
using KVThreadFunction = void (*)(IKVThread* thread, void* argument);

// A worker that runs one function at a time and carries a two-way queue of
// data blocks between its two ends (0 and 1).
class IKVThread : public IKVUnknownRef {
public:
    virtual int32_t Run(KVThreadFunction function, void* argument, int32_t wait) = 0;
    virtual int32_t SendCopy(int32_t direction, const void* data, uint32_t size, uint8_t signal) = 0;
    virtual int32_t SendOwned(int32_t direction, void* block, uint8_t signal) = 0;
    virtual bool HasMessage(int32_t direction) = 0;
    virtual int32_t WaitMessage(int32_t direction) = 0;
    virtual int32_t WaitConsumed(int32_t direction) = 0;
    virtual int32_t Receive(int32_t direction, void* buffer, uint32_t* size) = 0;
    virtual int32_t ReceiveOwned(int32_t direction, void** out) = 0;
    virtual bool IsBusy() = 0;
    virtual bool IsQuitting() = 0;
    virtual int32_t WaitDone() = 0;
};

} // namespace kvl
