#include "KVEGLScreen.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <SDL.h>
#include <SDL_syswm.h>
#include <dlfcn.h>
#include <link.h>

#include <cstdio>
#include <cstring>

namespace kvl {
namespace {

struct Screen {
    EGLDisplay display = EGL_NO_DISPLAY;
    EGLSurface surface = EGL_NO_SURFACE;
    EGLContext context = EGL_NO_CONTEXT;
    bool window = false;
};

Screen g_screen;

void Report(const char* what) {
    std::fprintf(stderr, "Screen: %s (EGL error 0x%x)\n", what, unsigned(eglGetError()));
}

// Mesa unloads its driver at eglTerminate and loses what the driver had
// allocated for itself, which the leak checker of a sanitizer build then
// reports at exit. The driver stays loaded for the rest of the process
// instead; a screen opened again finds it in place.
int KeepDriver(dl_phdr_info* info, size_t, void*) {
    const char* path = info->dlpi_name;
    if (path && (std::strstr(path, "_dri.so") || std::strstr(path, "libgallium")))
        dlopen(path, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
    return 0;
}

// The X11 display and window of SDL's video surface, when SDL runs on X11.
bool GetX11Window(Display** display, Window* window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWMInfo(&info) != 1 || info.subsystem != SDL_SYSWM_X11) return false;
    if (!info.info.x11.display || !info.info.x11.window) return false;
    *display = info.info.x11.display;
    *window = info.info.x11.window;
    return true;
}

EGLDisplay GetPlatformDisplay(EGLenum platform, void* nativeDisplay) {
    auto getDisplay =
        reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (!getDisplay) return EGL_NO_DISPLAY;
    return getDisplay(platform, nativeDisplay, nullptr);
}

bool ChooseConfig(EGLDisplay display, bool window, EGLConfig* config) {
    const EGLint attributes[] = {EGL_SURFACE_TYPE,
                                 window ? EGL_WINDOW_BIT : EGL_PBUFFER_BIT,
                                 EGL_RENDERABLE_TYPE,
                                 EGL_OPENGL_ES2_BIT,
                                 EGL_RED_SIZE,
                                 8,
                                 EGL_GREEN_SIZE,
                                 8,
                                 EGL_BLUE_SIZE,
                                 8,
                                 // A window takes the visual's alpha; the
                                 // pbuffer keeps one so read-backs see it.
                                 EGL_ALPHA_SIZE,
                                 window ? 0 : 8,
                                 EGL_DEPTH_SIZE,
                                 16,
                                 EGL_NONE};
    EGLint count = 0;
    return eglChooseConfig(display, attributes, config, 1, &count) == EGL_TRUE && count > 0;
}

} // namespace

int32_t ScreenOpen(int32_t width, int32_t height) {
    if (g_screen.context != EGL_NO_CONTEXT) ScreenClose();
    if (width <= 0 || height <= 0) {
        std::fprintf(stderr, "Screen: no size (%d x %d)\n", int(width), int(height));
        return 1;
    }
    // A plain surface: SDL never draws on it, EGL owns the picture.
    if (!SDL_SetVideoMode(width, height, 0, 0)) {
        std::fprintf(stderr, "Screen: %s\n", SDL_GetError());
        return 1;
    }
    Display* x11Display = nullptr;
    Window x11Window = 0;
    Screen s;
    s.window = GetX11Window(&x11Display, &x11Window);
    s.display = s.window ? GetPlatformDisplay(EGL_PLATFORM_X11_EXT, x11Display)
                         : GetPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY);
    EGLint major = 0, minor = 0;
    if (s.display == EGL_NO_DISPLAY || eglInitialize(s.display, &major, &minor) != EGL_TRUE) {
        Report("no EGL display");
        return 1;
    }
    dl_iterate_phdr(&KeepDriver, nullptr);
    EGLConfig config = nullptr;
    if (eglBindAPI(EGL_OPENGL_ES_API) != EGL_TRUE || !ChooseConfig(s.display, s.window, &config)) {
        Report("no OpenGL ES 2 configuration");
        eglTerminate(s.display);
        return 1;
    }
    if (s.window) {
        s.surface = eglCreateWindowSurface(s.display, config, EGLNativeWindowType(x11Window), nullptr);
    } else {
        const EGLint size[] = {EGL_WIDTH, width, EGL_HEIGHT, height, EGL_NONE};
        s.surface = eglCreatePbufferSurface(s.display, config, size);
    }
    const EGLint version[] = {EGL_CONTEXT_CLIENT_VERSION, 2, EGL_NONE};
    if (s.surface != EGL_NO_SURFACE) s.context = eglCreateContext(s.display, config, EGL_NO_CONTEXT, version);
    if (s.context == EGL_NO_CONTEXT || eglMakeCurrent(s.display, s.surface, s.surface, s.context) != EGL_TRUE) {
        Report("no OpenGL ES 2 context");
        if (s.context != EGL_NO_CONTEXT) eglDestroyContext(s.display, s.context);
        if (s.surface != EGL_NO_SURFACE) eglDestroySurface(s.display, s.surface);
        eglTerminate(s.display);
        return 1;
    }
    g_screen = s;
    return 0;
}

int32_t ScreenSwapBuffers() {
    if (g_screen.context == EGL_NO_CONTEXT) return 1;
    return eglSwapBuffers(g_screen.display, g_screen.surface) == EGL_TRUE ? 0 : 1;
}

void ScreenClose() {
    if (g_screen.display == EGL_NO_DISPLAY) return;
    eglMakeCurrent(g_screen.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (g_screen.context != EGL_NO_CONTEXT) eglDestroyContext(g_screen.display, g_screen.context);
    if (g_screen.surface != EGL_NO_SURFACE) eglDestroySurface(g_screen.display, g_screen.surface);
    eglTerminate(g_screen.display);
    eglReleaseThread();
    g_screen = Screen();
}

bool ScreenIsOpen() { return g_screen.context != EGL_NO_CONTEXT; }

bool ScreenIsWindow() { return ScreenIsOpen() && g_screen.window; }

bool ScreenIsShown() { return ScreenIsWindow() && (SDL_GetAppState() & SDL_APPACTIVE) != 0; }

} // namespace kvl
