#include "KVSDLEvents.h"

#include <gtest/gtest.h>

#include "kernel/KVPlatformCreators.h"

namespace kvtest {

SDL_Event SDLButton(bool down, int32_t x, int32_t y, uint8_t button) {
    SDL_Event e{};
    e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
    e.button.button = button;
    e.button.x = Uint16(x);
    e.button.y = Uint16(y);
    return e;
}

SDL_Event SDLMotion(int32_t x, int32_t y, uint8_t which) {
    SDL_Event e{};
    e.type = SDL_MOUSEMOTION;
    e.motion.which = which;
    e.motion.x = Uint16(x);
    e.motion.y = Uint16(y);
    return e;
}

void PushSDLEvent(const SDL_Event& event) {
    SDL_Event copy = event;
    EXPECT_EQ(SDL_PushEvent(&copy), 0) << SDL_GetError();
}

void PumpSDLEvents() {
    SDL_Event event;
    while (SDL_PollEvent(&event))
        if (kvl::KVSDLInputHandler handler = kvl::GetSDLInputHandler()) handler(&event);
}

} // namespace kvtest
