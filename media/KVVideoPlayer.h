#pragma once
// The full-screen video player: scripts start a movie over the whole screen
// through the platform's movie library ("VideoPlayer" library), the main
// loop stops drawing while it plays and hands the player every SDL event,
// and the unit named at the start is told "OnVideoEnd" once the movie has
// ended or was stopped. Made by start-up, not a module of the core.
#include <SDL.h>

#include <cstdint>
#include <memory>

#include "../kernel/KVLuaLibrary.h"
#include "../kernel/Singleton.h"

namespace kvl {

class IKVLua;
class KVCinemaPlayer;

class KVVideoPlayer : public Singleton<KVVideoPlayer>, public KVLuaLibrary {
public:
    KVVideoPlayer();
    ~KVVideoPlayer() override;

    // Registers the library, installs the engine's movie player behind the
    // platform library unless another backend is there, starts that library.
    int32_t Init();
    int32_t GetLuaFunctions(const KVLuaFunctionEntry** out) override;
    int32_t HandleEvent(const SDL_Event* event);
    void StopPlayback();
    // Blanks the screen once before a movie starts.
    void ClearScreen();
    void OnExit() {}

    bool IsPlaying() const { return m_playing != 0; }
    bool AllowsSkip() const { return m_allowSkip != 0; }
    int32_t GetUnitIndex() const { return m_unitIndex; }
    // For tests of the main loop.
    void SetPlaying(bool playing) { m_playing = playing ? 1 : 0; }

    // The script functions' work ("VideoPlayer.Play"): the number of results.
    int ScriptPlay(IKVLua& lua);

private:
    void EndPlayback();

    int32_t m_unitIndex = -1;
    uint8_t m_playing = 0;
    uint8_t m_allowSkip = 1;
    // The engine's own movie player, when this object installed it.
    std::unique_ptr<KVCinemaPlayer> m_cinema;
    bool m_registered = false;
};

} // namespace kvl
