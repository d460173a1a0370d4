#include "KVSDLThread.h"

#include <SDL.h>
#include <SDL_thread.h>

#include <algorithm>
#include <cstring>

#include "IKVThreadFactory.h"
#include "KVSDLCriticalSection.h"
#include "KVThreadFactory.h"

namespace kvl {
namespace {

constexpr float kPollInterval = 0.01f;

void PollSleep() {
    if (IKVThreadFactory* factory = GetThreadFactory())
        factory->Sleep(kPollInterval);
    else
        SDL_Delay(10);
}

bool ValidDirection(int32_t direction) { return direction == 0 || direction == 1; }

} // namespace

KVSDLThread::KVSDLThread(IKVCriticalSection* queueLock)
    : m_queueLock(queueLock ? queueLock : new KVSDLCriticalSection()) {
    m_quit = SDL_CreateSemaphore(0);
    m_run = SDL_CreateSemaphore(0);
    m_done = SDL_CreateSemaphore(0);
    m_exited = SDL_CreateSemaphore(0);
    m_wake = SDL_CreateSemaphore(0);
    m_thread = SDL_CreateThread(&KVSDLThread::ThreadMain, this);
}

KVSDLThread::~KVSDLThread() {
    // The worker has posted "exited" and touches nothing of ours after it.
    if (m_thread) SDL_WaitThread(m_thread, nullptr);
    for (SDL_semaphore* s : {m_quit, m_run, m_done, m_exited, m_wake})
        if (s) SDL_DestroySemaphore(s);
    if (m_queueLock) m_queueLock->Release();
}

int KVSDLThread::ThreadMain(void* self) {
    auto* thread = static_cast<KVSDLThread*>(self);
    for (;;) {
        SDL_SemWait(thread->m_wake);
        // Jobs come before the quit request: every job handed over before
        // the last release still runs, once. Quit is looked at only when no
        // job is waiting.
        if (SDL_SemTryWait(thread->m_run) == 0) {
            thread->m_function(thread, thread->m_argument);
            thread->m_busy = false;
            SDL_SemPost(thread->m_done);
            continue;
        }
        if (SDL_SemTryWait(thread->m_quit) == 0) {
            SDL_SemPost(thread->m_exited);
            return 0;
        }
    }
}

int32_t KVSDLThread::Retain() { return ++m_refCount; }

int32_t KVSDLThread::Release() {
    int32_t left = --m_refCount;
    if (left != 0) return left;

    m_quitting = true;
    if (m_thread) {
        SDL_SemPost(m_quit);
        SDL_SemPost(m_wake);
        SDL_SemWait(m_exited);
    }

    {
        KVLockGuard guard(m_queueLock);
        for (ThreadMessage& m : m_queue)
            if (m.length != 0) delete[] static_cast<uint8_t*>(m.data);
        m_queue.clear();
    }
    m_queueLock->Release();
    m_queueLock = nullptr;

    if (KVThreadFactory* factory = KVThreadFactory::Instance())
        factory->AddThread(this);
    else
        DestroyRetired();
    return 0;
}

void KVSDLThread::DestroyRetired() { delete this; }

int32_t KVSDLThread::Run(KVThreadFunction function, void* argument, int32_t wait) {
    if (!function) return KV_INVALID;
    if (!m_thread) return KV_FAILED;  // no worker to run it
    // The previous job's done signal is still to be taken: it must finish first.
    if (m_wait.exchange(1) == 0) SDL_SemWait(m_done);
    m_busy = true;
    m_function = function;
    m_argument = argument;
    m_wait = wait != 0 ? 1 : 0;
    SDL_SemPost(m_run);
    SDL_SemPost(m_wake);
    if (wait != 0) SDL_SemWait(m_done);
    return KV_OK;
}

int32_t KVSDLThread::WaitDone() {
    // Only a job run without waiting leaves a done signal to take; taking it
    // here marks it taken so the next Run does not wait for it again.
    if (m_wait.exchange(1) == 0) SDL_SemWait(m_done);
    return KV_OK;
}

int32_t KVSDLThread::Send(int32_t direction, void* data, uint32_t length, uint8_t signal) {
    KVLockGuard guard(m_queueLock);
    ThreadMessage message;
    message.data = data;
    message.length = length;
    message.direction = uint8_t(1 - direction);
    message.signal = signal;
    m_queue.push_back(message);
    return KV_OK;
}

int32_t KVSDLThread::SendCopy(int32_t direction, const void* data, uint32_t size, uint8_t signal) {
    if (size == 0) return KV_FAILED;
    if (!data || !ValidDirection(direction)) return KV_INVALID;
    auto* copy = new uint8_t[size];
    std::memcpy(copy, data, size);
    return Send(direction, copy, size, signal);
}

int32_t KVSDLThread::SendOwned(int32_t direction, void* block, uint8_t signal) {
    if (!ValidDirection(direction)) return KV_INVALID;
    return Send(direction, block, 0, signal);
}

std::list<ThreadMessage>::iterator KVSDLThread::FindFirst(int32_t direction) {
    return std::find_if(m_queue.begin(), m_queue.end(),
                        [direction](const ThreadMessage& m) { return m.direction == direction; });
}

bool KVSDLThread::HasMessage(int32_t direction) {
    KVLockGuard guard(m_queueLock);
    return FindFirst(direction) != m_queue.end();
}

int32_t KVSDLThread::WaitMessage(int32_t direction) {
    if (!ValidDirection(direction)) return KV_INVALID;
    while (!HasMessage(direction)) PollSleep();
    return KV_OK;
}

int32_t KVSDLThread::WaitConsumed(int32_t direction) {
    if (!ValidDirection(direction)) return KV_INVALID;
    while (m_consumed[direction].exchange(0) == 0) PollSleep();
    return KV_OK;
}

void KVSDLThread::WaitConsumedClear(int32_t direction) {
    // Blocks of this direction come from the other end.
    while (m_consumed[1 - direction].load() != 0) PollSleep();
}

void KVSDLThread::RemoveFront(std::list<ThreadMessage>::iterator it) {
    if (it->signal) m_consumed[1 - it->direction] = 1;
    if (it->length != 0) delete[] static_cast<uint8_t*>(it->data);
    m_queue.erase(it);
}

int32_t KVSDLThread::Receive(int32_t direction, void* buffer, uint32_t* size) {
    if (!ValidDirection(direction)) return KV_INVALID;
    if (buffer && !size) return KV_INVALID;
    WaitConsumedClear(direction);
    KVLockGuard guard(m_queueLock);
    auto it = FindFirst(direction);
    if (it == m_queue.end() || it->length == 0) return KV_NOT_FOUND;
    if (!buffer) {
        // A length query: the block stays queued.
        if (size) *size = it->length;
        return KV_NOT_FOUND;
    }
    std::memcpy(buffer, it->data, std::min(it->length, *size));
    RemoveFront(it);
    return KV_OK;
}

int32_t KVSDLThread::ReceiveOwned(int32_t direction, void** out) {
    if (!ValidDirection(direction) || !out) return KV_INVALID;
    WaitConsumedClear(direction);
    KVLockGuard guard(m_queueLock);
    auto it = FindFirst(direction);
    if (it == m_queue.end() || it->length != 0) return KV_NOT_FOUND;
    *out = it->data;
    RemoveFront(it);
    return KV_OK;
}

bool KVSDLThread::IsBusy() { return m_busy; }
bool KVSDLThread::IsQuitting() { return m_quitting; }

} // namespace kvl
