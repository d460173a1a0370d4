#include "KVRecordingCinema.h"

#include <SDL.h>

namespace kvtest {

KVRecordingCinema::~KVRecordingCinema() {
    if (kvl::CINGetBackend() == this) kvl::CINSetBackend(nullptr);
}

void KVRecordingCinema::Install() { kvl::CINSetBackend(this); }

int KVRecordingCinema::Init() {
    calls.push_back("Init");
    return 0;
}

int KVRecordingCinema::Load(const char* url) {
    calls.push_back(std::string("Load ") + url);
    return loadResult;
}

int KVRecordingCinema::Play() {
    calls.push_back("Play");
    return 1;
}

int KVRecordingCinema::Stop() {
    calls.push_back("Stop");
    return 1;
}

bool KVRecordingCinema::EndMovie() {
    SDL_Event event{};
    event.type = 0;
    return SDL_PushEvent(&event) == 0;
}

} // namespace kvtest
