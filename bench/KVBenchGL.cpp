#include "KVBenchGL.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>

#include "KVBench.h"
#include "platform/PDL.h"

namespace kvbench {
namespace {

struct SharedDevice {
    kvl::KVGLwebOSRender* device = nullptr;

    SharedDevice() {
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        if (SDL_Init(SDL_INIT_VIDEO) != 0) Fail("SDL video");
        kvl::PDLSetScreenSize(kGLScreenWidth, kGLScreenHeight);
        device = new kvl::KVGLwebOSRender(nullptr);
        if (device->InitDevice() != 0) Fail("no OpenGL ES device");
    }
    ~SharedDevice() {
        device->ShutdownDevice();
        delete device;
        SDL_Quit();
    }
    static void Fail(const char* why) {
        std::fprintf(stderr, "benchmark device: %s\n", why);
        std::abort();
    }
};

} // namespace

kvl::KVGLwebOSRender& SharedGLDevice() {
    return *Lazy<SharedDevice>().device;
}

} // namespace kvbench
