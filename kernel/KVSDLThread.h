#pragma once
// A worker over an SDL thread: runs one job at a time on request and carries
// a two-way queue of data blocks between its two ends.
#include <atomic>
#include <list>

#include "IKVCriticalSection.h"
#include "IKVThread.h"

struct SDL_Thread;
struct SDL_semaphore;

namespace kvl {

// One queued block. A length of 0 marks an owned block whose pointer is
// handed over as is; otherwise the queue owns a copy.
struct ThreadMessage {
    void* data = nullptr;
    uint32_t length = 0;
    uint8_t direction = 0;
    uint8_t signal = 0;
};

class KVSDLThread : public IKVThread {
public:
    // Takes over the one reference of the queue's lock (may be null).
    explicit KVSDLThread(IKVCriticalSection* queueLock);

    int32_t Retain() override;
    int32_t Release() override;
    int32_t Run(KVThreadFunction function, void* argument, int32_t wait) override;
    int32_t SendCopy(int32_t direction, const void* data, uint32_t size, uint8_t signal) override;
    int32_t SendOwned(int32_t direction, void* block, uint8_t signal) override;
    bool HasMessage(int32_t direction) override;
    int32_t WaitMessage(int32_t direction) override;
    int32_t WaitConsumed(int32_t direction) override;
    int32_t Receive(int32_t direction, void* buffer, uint32_t* size) override;
    int32_t ReceiveOwned(int32_t direction, void** out) override;
    bool IsBusy() override;
    bool IsQuitting() override;
    int32_t WaitDone() override;

    // Deletes a thread whose worker has ended (called by the factory).
    void DestroyRetired();

protected:
    ~KVSDLThread() override;

private:
    static int ThreadMain(void* self);
    int32_t Send(int32_t direction, void* data, uint32_t length, uint8_t signal);
    // Waits until the sender of blocks for this direction has collected the
    // previous consumption.
    void WaitConsumedClear(int32_t direction);
    // Removes the front block of the direction; sets the sender's consumed
    // flag when the block asked for it.
    void RemoveFront(std::list<ThreadMessage>::iterator it);
    std::list<ThreadMessage>::iterator FindFirst(int32_t direction);

    std::atomic<int32_t> m_refCount{1};
    SDL_semaphore* m_quit = nullptr;
    SDL_semaphore* m_run = nullptr;
    SDL_semaphore* m_done = nullptr;
    SDL_semaphore* m_exited = nullptr;
    SDL_semaphore* m_wake = nullptr;
    KVThreadFunction m_function = nullptr;
    void* m_argument = nullptr;
    // Wait flag of the last Run: 0 while its done signal is still to be taken.
    std::atomic<int32_t> m_wait{1};
    std::list<ThreadMessage> m_queue;
    IKVCriticalSection* m_queueLock = nullptr;
    std::atomic<uint8_t> m_consumed[2] = {{0}, {0}};
    std::atomic<bool> m_busy{false};
    std::atomic<bool> m_quitting{false};
    SDL_Thread* m_thread = nullptr;
};

} // namespace kvl
