#pragma once
// A service that plays sounds by name for the media library. The core is
// asked for it by this id; no part of the engine answers it, so the media
// library stays unregistered unless something else provides one.
#include <cstdint>

#include "../kernel/IKVUnknown.h"

namespace kvl {

constexpr KVInterfaceId IID_IKVMediaSoundService = MakeId(0x006927C8, 0xCB759D28);

class IKVMediaSoundService {
public:
    // 0 and the new sound's handle on success.
    virtual int32_t Play(const char* name, bool loop, int32_t* outHandle) = 0;
    virtual void SetPaused(int32_t handle, bool paused) = 0;
    virtual void Stop(int32_t handle) = 0;
    // Non-zero while the sound plays.
    virtual int32_t IsPlaying(int32_t handle) = 0;
    // The handle is not used again.
    virtual void Release(int32_t handle) = 0;

protected:
    ~IKVMediaSoundService() = default;
};

} // namespace kvl
