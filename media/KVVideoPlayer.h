#pragma once
// Full-screen video player: not built yet; never plays.
#include <SDL.h>
#include "../kernel/Singleton.h"

namespace kvl {

class KVVideoPlayer : public Singleton<KVVideoPlayer> {
public:
    KVVideoPlayer() = default;
    virtual ~KVVideoPlayer() = default;

    int32_t Init() { m_playing = 0; return 0; }
    int32_t HandleEvent(const SDL_Event* event) { (void)event; return 0; }
    void OnExit() {}
    bool IsPlaying() const { return m_playing != 0; }
    void SetPlaying(bool playing) { m_playing = playing ? 1 : 0; }

private:
    uint8_t m_playing = 0;
};

} // namespace kvl
