#pragma once
// SDL events as the window queues them, and the main loop's hand-over of
// the queue to the SDL input device. SDL's video must be initialised.
#include <SDL.h>

#include <cstdint>

namespace kvtest {

SDL_Event SDLButton(bool down, int32_t x, int32_t y, uint8_t button = SDL_BUTTON_LEFT);
// Motion of pointer `which` (0 and 1 are also touches).
SDL_Event SDLMotion(int32_t x, int32_t y, uint8_t which = 0);
// Queues the event; fails the test when SDL refuses it.
void PushSDLEvent(const SDL_Event& event);
// Polls the queue and hands each event to the input device's handler.
void PumpSDLEvents();

} // namespace kvtest
