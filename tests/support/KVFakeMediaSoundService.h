#pragma once
// A media sound service, and an extension module that makes the core answer
// its id with one once registered. Sounds get handles 100, 101, ... and play
// until stopped or until a test ends them; every call is journalled
// ("Play name loop", "SetPaused 100 1", "Stop 100", "Release 100").
#include <map>
#include <string>
#include <vector>

#include "kernel/IKVModule.h"
#include "media/IKVMediaSoundService.h"

namespace kvtest {

class KVFakeMediaSoundService : public kvl::IKVMediaSoundService {
public:
    // The service of the registered module, while it exists.
    static KVFakeMediaSoundService* instance;
    // A creator for the module registry.
    static kvl::IKVModuleExt* CreateModule(const kvl::KVModuleCreateInfo* info);

    KVFakeMediaSoundService() = default;
    virtual ~KVFakeMediaSoundService() = default;

    int32_t Play(const char* name, bool loop, int32_t* outHandle) override;
    void SetPaused(int32_t handle, bool paused) override;
    void Stop(int32_t handle) override;
    int32_t IsPlaying(int32_t handle) override;
    void Release(int32_t handle) override;

    // The sound ends by itself: IsPlaying answers 0 from now on.
    void Finish(int32_t handle) { playing[handle] = false; }

    int32_t playResult = 0;
    int32_t nextHandle = 100;
    std::map<int32_t, bool> playing;
    std::vector<std::string> journal;
};

} // namespace kvtest
