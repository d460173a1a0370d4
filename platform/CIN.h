#pragma once
// Stand-ins for the handheld's full-screen movie library. The functions only
// forward to a backend that a higher layer installs (the engine's own player
// lives with the media code); without one no movie can be loaded.
//
// The contract callers rely on: CIN_Init once at start; CIN_LoadCIN with a
// "file://" URL answers non-zero when the movie can be played; CIN_Play
// starts it over the whole screen; CIN_Stop ends it; an SDL event of type 0
// is queued when a movie has played to its end.

extern "C" {

int CIN_Init(void);
int CIN_LoadCIN(const char* url);
int CIN_Play(void);
int CIN_Stop(void);
}

namespace kvl {

class IKVCinemaBackend {
public:
    virtual int Init() = 0;
    // Non-zero when the movie at the URL can be played.
    virtual int Load(const char* url) = 0;
    virtual int Play() = 0;
    virtual int Stop() = 0;

protected:
    ~IKVCinemaBackend() = default;
};

// Installs the backend (null removes it); called on the main thread.
void CINSetBackend(IKVCinemaBackend* backend);
IKVCinemaBackend* CINGetBackend();

} // namespace kvl
