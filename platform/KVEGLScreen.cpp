#include "KVEGLScreen.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GLES2/gl2.h>
#include <GLES2/gl2ext.h>
#include <SDL.h>
#include <SDL_syswm.h>
#include <dlfcn.h>
#include <link.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace kvl {
namespace {

struct Screen {
    EGLDisplay display = EGL_NO_DISPLAY;
    EGLSurface surface = EGL_NO_SURFACE;
    EGLContext context = EGL_NO_CONTEXT;
    bool window = false;
    // Non-zero when a window's picture is drawn off-screen and copied into
    // SDL's video surface: the format glReadPixels reads in that surface's
    // byte order, or GL_RGBA with `convert` set when each pixel is packed
    // into the surface's own layout (a 16-bit display, say). The rows
    // arrive bottom first and wait in `rows`.
    GLenum copyFormat = 0;
    bool convert = false;
    int32_t width = 0, height = 0;
    std::vector<uint8_t> rows;
};

Screen g_screen;

// Why a screen could not be made, with EGL's error of that moment.
struct Failure {
    const char* what = nullptr;
    EGLint error = EGL_SUCCESS;
};

void Report(const Failure& failure) {
    std::fprintf(stderr, "Screen: %s (EGL error 0x%x)\n", failure.what, unsigned(failure.error));
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

int BitCount(uint32_t mask) {
    int n = 0;
    for (; mask; mask &= mask - 1) ++n;
    return n;
}

// A window's configuration has the channel sizes of SDL's video surface
// (that is, of the window's visual): a 16-bit display's window takes no
// 8/8/8 picture. EGL lists deeper configurations first, so the exact sizes
// are looked for among all that qualify.
bool ChooseConfig(EGLDisplay display, bool window, EGLConfig* config) {
    int red = 8, green = 8, blue = 8;
    const SDL_Surface* video = window ? SDL_GetVideoSurface() : nullptr;
    if (video && video->format->BytesPerPixel > 1) {
        red = BitCount(video->format->Rmask);
        green = BitCount(video->format->Gmask);
        blue = BitCount(video->format->Bmask);
    }
    const EGLint attributes[] = {EGL_SURFACE_TYPE,
                                 window ? EGL_WINDOW_BIT : EGL_PBUFFER_BIT,
                                 EGL_RENDERABLE_TYPE,
                                 EGL_OPENGL_ES2_BIT,
                                 EGL_RED_SIZE,
                                 red,
                                 EGL_GREEN_SIZE,
                                 green,
                                 EGL_BLUE_SIZE,
                                 blue,
                                 // A window takes the visual's alpha; the
                                 // pbuffer keeps one so read-backs see it.
                                 EGL_ALPHA_SIZE,
                                 window ? 0 : 8,
                                 EGL_DEPTH_SIZE,
                                 16,
                                 EGL_NONE};
    EGLint count = 0;
    if (eglChooseConfig(display, attributes, nullptr, 0, &count) != EGL_TRUE || count <= 0) return false;
    std::vector<EGLConfig> configs(static_cast<size_t>(count));
    if (eglChooseConfig(display, attributes, configs.data(), count, &count) != EGL_TRUE || count <= 0) return false;
    *config = configs[0];
    for (EGLint i = 0; i < count; ++i) {
        EGLint r = 0, g = 0, b = 0;
        eglGetConfigAttrib(display, configs[size_t(i)], EGL_RED_SIZE, &r);
        eglGetConfigAttrib(display, configs[size_t(i)], EGL_GREEN_SIZE, &g);
        eglGetConfigAttrib(display, configs[size_t(i)], EGL_BLUE_SIZE, &b);
        if (r == red && g == green && b == blue) {
            *config = configs[size_t(i)];
            break;
        }
    }
    return true;
}

// Makes the display, surface and context of `s` current: a window surface on
// `x11Window`, or a pbuffer of width x height when `x11Window` is 0. On
// failure nothing stays open and `failure` says why.
bool MakeCurrent(Screen& s, EGLDisplay display, Window x11Window, int32_t width, int32_t height, Failure* failure) {
    EGLint major = 0, minor = 0;
    if (display == EGL_NO_DISPLAY || eglInitialize(display, &major, &minor) != EGL_TRUE) {
        *failure = {"no EGL display", eglGetError()};
        return false;
    }
    dl_iterate_phdr(&KeepDriver, nullptr);
    EGLConfig config = nullptr;
    if (eglBindAPI(EGL_OPENGL_ES_API) != EGL_TRUE || !ChooseConfig(display, x11Window != 0, &config)) {
        *failure = {"no OpenGL ES 2 configuration", eglGetError()};
        eglTerminate(display);
        return false;
    }
    EGLSurface surface = EGL_NO_SURFACE;
    if (x11Window) {
        surface = eglCreateWindowSurface(display, config, EGLNativeWindowType(x11Window), nullptr);
    } else {
        const EGLint size[] = {EGL_WIDTH, width, EGL_HEIGHT, height, EGL_NONE};
        surface = eglCreatePbufferSurface(display, config, size);
    }
    const EGLint version[] = {EGL_CONTEXT_CLIENT_VERSION, 2, EGL_NONE};
    EGLContext context = EGL_NO_CONTEXT;
    if (surface != EGL_NO_SURFACE) context = eglCreateContext(display, config, EGL_NO_CONTEXT, version);
    if (context == EGL_NO_CONTEXT || eglMakeCurrent(display, surface, surface, context) != EGL_TRUE) {
        *failure = {"no OpenGL ES 2 context", eglGetError()};
        if (context != EGL_NO_CONTEXT) eglDestroyContext(display, context);
        if (surface != EGL_NO_SURFACE) eglDestroySurface(display, surface);
        eglTerminate(display);
        return false;
    }
    s.display = display;
    s.surface = surface;
    s.context = context;
    return true;
}

void Release(Screen& s) {
    eglMakeCurrent(s.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (s.context != EGL_NO_CONTEXT) eglDestroyContext(s.display, s.context);
    if (s.surface != EGL_NO_SURFACE) eglDestroySurface(s.display, s.surface);
    eglTerminate(s.display);
    eglReleaseThread();
}

// True when EGL's driver for windows of this X display is Mesa's software
// one. It shows each frame of a window surface by sending the whole picture
// through the X connection's socket, which costs the X server more than the
// frame costs the game; SDL's video surface reaches the window through
// shared memory instead.
bool WindowDriverIsSoftware(Display* x11Display) {
    const EGLDisplay display = GetPlatformDisplay(EGL_PLATFORM_X11_EXT, x11Display);
    EGLint major = 0, minor = 0;
    if (display == EGL_NO_DISPLAY || eglInitialize(display, &major, &minor) != EGL_TRUE) return false;
    dl_iterate_phdr(&KeepDriver, nullptr);
    const char* extensions = eglQueryString(display, EGL_EXTENSIONS);
    auto driverName =
        reinterpret_cast<PFNEGLGETDISPLAYDRIVERNAMEPROC>(eglGetProcAddress("eglGetDisplayDriverName"));
    const char* name = nullptr;
    if (extensions && std::strstr(extensions, "EGL_MESA_query_driver") && driverName) name = driverName(display);
    const bool software = name && std::strcmp(name, "swrast") == 0;
    eglTerminate(display);
    return software;
}

bool HasGLExtension(const char* name) {
    const char* list = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    const size_t length = std::strlen(name);
    for (const char* at = list; at && (at = std::strstr(at, name)) != nullptr; at += length)
        if ((at == list || at[-1] == ' ') && (at[length] == ' ' || at[length] == '\0')) return true;
    return false;
}

// The format that reads the picture in the byte order of SDL's video
// surface; GL_RGBA with `convert` set for a surface of another layout of 2
// to 4 bytes a pixel, whose pixels are packed on the way; 0 for a surface
// of palette colours. Needs the context current.
GLenum CopyFormatOf(const SDL_Surface* video, bool* convert) {
    *convert = false;
    if (!video || !video->pixels || video->format->BytesPerPixel < 2) return 0;
    const SDL_PixelFormat& f = *video->format;
    if (f.BytesPerPixel == 4 && SDL_BYTEORDER == SDL_LIL_ENDIAN) {
        if (f.Rmask == 0xFF0000 && f.Gmask == 0xFF00 && f.Bmask == 0xFF && HasGLExtension("GL_EXT_read_format_bgra"))
            return GL_BGRA_EXT;
        if (f.Rmask == 0xFF && f.Gmask == 0xFF00 && f.Bmask == 0xFF0000) return GL_RGBA;
    }
    *convert = true;
    return GL_RGBA;
}

// One row of RGBA bytes packed into the surface's pixel layout.
void PackRow(const SDL_PixelFormat& f, const uint8_t* rgba, int width, uint8_t* out) {
    for (int x = 0; x < width; ++x, rgba += 4, out += f.BytesPerPixel) {
        const uint32_t pixel = (uint32_t(rgba[0] >> f.Rloss) << f.Rshift) | (uint32_t(rgba[1] >> f.Gloss) << f.Gshift) |
                               (uint32_t(rgba[2] >> f.Bloss) << f.Bshift) |
                               (f.Amask ? uint32_t(rgba[3] >> f.Aloss) << f.Ashift : 0u);
        if (f.BytesPerPixel == 2) {
            const uint16_t p16 = uint16_t(pixel);
            std::memcpy(out, &p16, 2);
        } else if (f.BytesPerPixel == 3) {
            // Three bytes in the machine's order, as SDL lays them.
            for (int i = 0; i < 3; ++i)
                out[i] = uint8_t(pixel >> (SDL_BYTEORDER == SDL_LIL_ENDIAN ? 8 * i : 8 * (2 - i)));
        } else {
            std::memcpy(out, &pixel, 4);
        }
    }
}

// Copies the drawn frame into SDL's video surface and shows it: rows turned
// top first, as the window wants them. SDL_UpdateRect waits until the X
// server has taken the picture, so the surface can be written again.
int32_t CopyToWindow(Screen& s) {
    SDL_Surface* video = SDL_GetVideoSurface();
    if (!video) return 1;
    // Only what both the picture and the surface hold.
    const int width = std::min(video->w, int(s.width)), height = std::min(video->h, int(s.height));
    const size_t rowBytes = size_t(width) * 4;
    s.rows.resize(rowBytes * size_t(height));
    GLint framebuffer = 0, alignment = 4;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &framebuffer);
    glGetIntegerv(GL_PACK_ALIGNMENT, &alignment);
    if (framebuffer != 0) glBindFramebuffer(GL_FRAMEBUFFER, 0);
    if (alignment != 4) glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(0, 0, width, height, s.copyFormat, GL_UNSIGNED_BYTE, s.rows.data());
    if (alignment != 4) glPixelStorei(GL_PACK_ALIGNMENT, alignment);
    if (framebuffer != 0) glBindFramebuffer(GL_FRAMEBUFFER, GLuint(framebuffer));
    if (SDL_MUSTLOCK(video) && SDL_LockSurface(video) != 0) return 1;
    auto* pixels = static_cast<uint8_t*>(video->pixels);
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = s.rows.data() + size_t(height - 1 - y) * rowBytes;
        uint8_t* line = pixels + size_t(y) * video->pitch;
        if (s.convert)
            PackRow(*video->format, row, width, line);
        else
            std::memcpy(line, row, rowBytes);
    }
    if (SDL_MUSTLOCK(video)) SDL_UnlockSurface(video);
    SDL_UpdateRect(video, 0, 0, 0, 0);
    return 0;
}

} // namespace

int32_t ScreenOpen(int32_t width, int32_t height) {
    if (g_screen.context != EGL_NO_CONTEXT) ScreenClose();
    if (width <= 0 || height <= 0) {
        std::fprintf(stderr, "Screen: no size (%d x %d)\n", int(width), int(height));
        return 1;
    }
    // SDL's video surface: EGL owns the picture; on X11 with the software
    // driver it is copied here to reach the window.
    if (!SDL_SetVideoMode(width, height, 0, 0)) {
        std::fprintf(stderr, "Screen: %s\n", SDL_GetError());
        return 1;
    }
    Display* x11Display = nullptr;
    Window x11Window = 0;
    Screen s;
    s.width = width;
    s.height = height;
    s.window = GetX11Window(&x11Display, &x11Window);
    Failure failure;
    bool made = false;
    if (s.window && WindowDriverIsSoftware(x11Display) &&
        MakeCurrent(s, GetPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY), 0, width, height,
                    &failure)) {
        s.copyFormat = CopyFormatOf(SDL_GetVideoSurface(), &s.convert);
        made = s.copyFormat != 0;
        if (!made) {
            Release(s);
            s.display = EGL_NO_DISPLAY;
            s.surface = EGL_NO_SURFACE;
            s.context = EGL_NO_CONTEXT;
        }
    }
    if (!made) {
        made = s.window ? MakeCurrent(s, GetPlatformDisplay(EGL_PLATFORM_X11_EXT, x11Display), x11Window, width,
                                      height, &failure)
                        : MakeCurrent(s, GetPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY), 0,
                                      width, height, &failure);
    }
    if (!made) {
        Report(failure);
        return 1;
    }
    g_screen = std::move(s);
    return 0;
}

int32_t ScreenSwapBuffers() {
    if (g_screen.context == EGL_NO_CONTEXT) return 1;
    if (g_screen.copyFormat) return CopyToWindow(g_screen);
    // A pbuffer's swap does nothing, and no read-back ends its frame either:
    // the driver would keep every frame's commands queued, and grow.
    if (!g_screen.window) glFlush();
    return eglSwapBuffers(g_screen.display, g_screen.surface) == EGL_TRUE ? 0 : 1;
}

void ScreenClose() {
    if (g_screen.display == EGL_NO_DISPLAY) return;
    Release(g_screen);
    g_screen = Screen();
}

bool ScreenIsOpen() { return g_screen.context != EGL_NO_CONTEXT; }

bool ScreenIsWindow() { return ScreenIsOpen() && g_screen.window; }

bool ScreenIsShown() { return ScreenIsWindow() && (SDL_GetAppState() & SDL_APPACTIVE) != 0; }

} // namespace kvl
