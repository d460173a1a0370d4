#pragma once
// A reference-counted lock over an SDL mutex.
#include <atomic>

#include "IKVCriticalSection.h"

struct SDL_mutex;

namespace kvl {

class KVSDLCriticalSection : public IKVCriticalSection {
public:
    KVSDLCriticalSection();

    int32_t Retain() override;
    int32_t Release() override;
    int32_t Lock() override;
    int32_t Unlock() override;

protected:
    ~KVSDLCriticalSection() override;

private:
    std::atomic<int32_t> m_refCount{1};
    SDL_mutex* m_mutex = nullptr;
};

} // namespace kvl
