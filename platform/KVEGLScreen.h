#pragma once
// The screen: an OpenGL ES 2 context over SDL 1.2 and EGL. SDL 1.2 cannot
// make an ES context itself, so SDL opens the video mode and EGL makes the
// context: on the SDL window's X11 handle when SDL runs on X11, otherwise on
// an off-screen pbuffer of Mesa's surfaceless platform (SDL's dummy driver).
// Where EGL's driver for the X11 window is Mesa's software one, the picture
// is drawn in such a pbuffer too and each present copies it into SDL's video
// surface, which reaches the window through shared memory (and is what SDL
// shows again when the window is uncovered).
// One screen exists at a time; it belongs to the thread that opened it.
#include <cstdint>

namespace kvl {

// Sets the SDL video mode of width x height (SDL video must be initialised)
// and makes an OpenGL ES 2 context current on it. 0 on success; on failure
// nothing stays open and the reason goes to standard error.
int32_t ScreenOpen(int32_t width, int32_t height);

// Shows the drawn frame of the default framebuffer (eglSwapBuffers, or the
// copy into SDL's video surface). 0 on success, 1 without a screen.
int32_t ScreenSwapBuffers();

// Releases the context and its surface; SDL's video mode stays.
void ScreenClose();

bool ScreenIsOpen();
// True when the screen is an X11 window, false for a pbuffer.
bool ScreenIsWindow();
// True when a window is open and the application is active (a frame drawn
// now can be seen).
bool ScreenIsShown();

} // namespace kvl
