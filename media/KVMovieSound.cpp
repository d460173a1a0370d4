#include "KVMovieSound.h"

#include <climits>

#include "IKVSoundManager.h"

namespace kvl {

IKVSound* CreateMovieSound(IKVSoundManager* manager, uint32_t rate, uint32_t channels, float volume,
                           IKVSoundDataProvider* provider) {
    if (!manager) return nullptr;
    const uint64_t bytes = uint64_t(rate) * channels * 2;
    IKVSound* sound = nullptr;
    if (bytes == 0 || bytes > UINT32_MAX || manager->CreateBuffer(rate, channels, uint32_t(bytes), &sound) != KV_OK)
        return nullptr;
    if (!sound) return nullptr;
    sound->SetVolume(volume);
    sound->SetDataProvider(provider);
    return sound;
}

void ReleaseMovieSound(IKVSound** sound) {
    if (!sound || !*sound) return;
    IKVSound* held = *sound;
    *sound = nullptr;
    held->Stop();
    held->SetDataProvider(nullptr);
    held->Release();
}

} // namespace kvl
