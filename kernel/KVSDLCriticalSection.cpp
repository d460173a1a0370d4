#include "KVSDLCriticalSection.h"

#include <SDL.h>
#include <SDL_thread.h>

namespace kvl {

KVSDLCriticalSection::KVSDLCriticalSection() : m_mutex(SDL_CreateMutex()) {}

KVSDLCriticalSection::~KVSDLCriticalSection() {
    if (m_mutex) SDL_DestroyMutex(m_mutex);
}

int32_t KVSDLCriticalSection::Retain() { return ++m_refCount; }

int32_t KVSDLCriticalSection::Release() {
    int32_t left = --m_refCount;
    if (left == 0) delete this;
    return left;
}

int32_t KVSDLCriticalSection::Lock() {
    if (m_mutex) SDL_mutexP(m_mutex);
    return KV_OK;
}

int32_t KVSDLCriticalSection::Unlock() {
    if (m_mutex) SDL_mutexV(m_mutex);
    return KV_OK;
}

} // namespace kvl
