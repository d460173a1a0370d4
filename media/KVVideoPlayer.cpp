#include "KVVideoPlayer.h"

#include <GLES2/gl2.h>

#include "../KVLua/IKVLua.h"
#include "../platform/CIN.h"
#include "../platform/KVEGLScreen.h"
#include "KVCinemaPlayer.h"
#include "KVUnitEvents.h"

namespace kvl {
namespace {

constexpr uint8_t kMovieEndEvent = 0;

} // namespace

KVVideoPlayer::KVVideoPlayer() = default;

KVVideoPlayer::~KVVideoPlayer() {
    // Scripts may outlive the player; its functions then find no player.
    if (m_registered)
        if (IKVLua* lua = GetLuaBinding()) lua->UnregisterLibrary("VideoPlayer");
    // The engine's player stops a movie still running at exit and gives the
    // screen back before the graphic device goes.
    if (m_cinema && CINGetBackend() == m_cinema.get()) CINSetBackend(nullptr);
    m_cinema.reset();
}

int32_t KVVideoPlayer::Init() {
    if (IKVLua* lua = GetLuaBinding()) {
        if (!m_registered) lua->RegisterLibrary("VideoPlayer", this);
        m_registered = true;
    }
    if (!CINGetBackend()) {
        if (!m_cinema) m_cinema = std::make_unique<KVCinemaPlayer>();
        CINSetBackend(m_cinema.get());
    }
    CIN_Init();
    m_playing = 0;
    return 0;
}

void KVVideoPlayer::ClearScreen() {
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_FALSE);
    glClear(GL_COLOR_BUFFER_BIT);
    ScreenSwapBuffers();
}

void KVVideoPlayer::EndPlayback() {
    m_playing = 0;
    CIN_Stop();
    RaiseUnitEvent(m_unitIndex, "OnVideoEnd");
}

void KVVideoPlayer::StopPlayback() {
    if (!m_playing) return;
    EndPlayback();
}

int32_t KVVideoPlayer::HandleEvent(const SDL_Event* event) {
    if (!event || !m_playing) return 0;
    if (event->type == kMovieEndEvent) {
        EndPlayback();
    } else if (event->type == SDL_MOUSEBUTTONDOWN) {
        if (m_allowSkip) StopPlayback();
    }
    return 0;
}

} // namespace kvl
