// The 10,000-sprite frame the way a desktop game meets it: the engine's X11
// path (SDL's x11 video driver, an EGL window surface on llvmpipe) in a real
// 1024 x 768 window, as scripts/bench runs it under xvfb-run, with the swap
// interval 0 and no frame-rate limit. Each sprite is a unit moved by its own
// "OnUpdate" through its Position attribute. After 60 warm-up frames, 300
// frames are measured, each followed by a frame of 10,000 bare quads in the
// same window; the figure prints the medians per frame of the
// update, the draw and the present (each CPU time of the main thread), the
// whole main thread, the frame's wall time, the X server's CPU time and the
// whole process's CPU time, each against the comparison frame measured on
// this machine; and the main thread's draw and present (the frame without
// the script update) against 10,000 bare quads in the same window.
//
// It makes a core and a screen of its own, so it runs in a process of its
// own; without an X display it says so and measures nothing.
#include <EGL/egl.h>
#include <SDL.h>
#include <SDL_syswm.h>
#include <sys/socket.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "KVBench.h"
#include "KVBenchSprites.h"
#include "KVLua/KVLua.h"
#include "graphics/KVGLwebOSRender.h"
#include "platform/KVEGLScreen.h"
#include "platform/PDL.h"
#include "units/KVUnitFactory.h"

namespace {

constexpr int kWidth = 1024;
constexpr int kHeight = 768;
constexpr int kWarmFrames = 60;
constexpr int kFrames = 300;
constexpr float kDt = 1.0f / 60.0f;
constexpr const char* kName = "Windowed frame of 10,000 scripted sprites (X11 under Xvfb)";

// The comparison frame on this machine, per frame (one draw per sprite,
// the same window and renderer), in milliseconds.
constexpr double kUpdateTargetMs = 0.16;
constexpr double kDrawTargetMs = 1.7;
constexpr double kPresentTargetMs = 15.3;
constexpr double kMainThreadTargetMs = 17.2;
constexpr double kFrameWallTargetMs = 34.6;
// Twice the comparison frame's.
constexpr double kXServerTargetMs = 2.6;
constexpr double kProcessTargetMs = 138.0;
// The draw and present against the bare quads': the engine's own work
// above the quads it sends, a quarter of them at most.
constexpr double kBareQuadTarget = 1.25;

double WallSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The X server's process: the other end of SDL's local connection to it;
// -1 when it cannot be known (a server on another machine).
pid_t XServerProcess() {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWMInfo(&info) != 1 || info.subsystem != SDL_SYSWM_X11 || !info.info.x11.display) return -1;
    ucred peer{};
    socklen_t size = sizeof(peer);
    if (getsockopt(ConnectionNumber(info.info.x11.display), SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 ||
        peer.pid <= 0)
        return -1;
    return peer.pid;
}

// CPU time of another process in seconds; negative when it cannot be read.
double ProcessCpuSecondsOf(pid_t process) {
    clockid_t clock;
    timespec t{};
    if (process <= 0 || clock_getcpuclockid(process, &clock) != 0 || clock_gettime(clock, &t) != 0) return -1.0;
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// The engine's device, its present timed on the main thread.
class WindowDevice : public kvl::KVGLwebOSRender {
public:
    WindowDevice() : KVGLwebOSRender(nullptr) {}
    int32_t Present() override {
        const double start = kvbench::ThreadCpuSeconds();
        const int32_t result = KVGLwebOSRender::Present();
        presentSeconds += kvbench::ThreadCpuSeconds() - start;
        return result;
    }
    double presentSeconds = 0.0;
};

struct FrameTimes {
    std::vector<double> update, draw, present, drawPresent, main, wall, xServer, process;
};

struct WindowBench {
    std::unique_ptr<WindowDevice> device;
    std::unique_ptr<kvbench::SpriteScene> scene;
    pid_t xServer = -1;

    bool Open() {
        if (!std::getenv("DISPLAY")) return false;
        setenv("SDL_VIDEODRIVER", "x11", 1);
        // A virtual X server that has only just started may turn the first
        // connections away.
        int attempts = 0;
        while (SDL_Init(SDL_INIT_VIDEO) != 0) {
            if (++attempts == 20) {
                const std::string why = std::string("SDL video on X11: ") + SDL_GetError();
                kvbench::SpriteScene::Fail(why.c_str());
            }
            SDL_Delay(250);
        }
        kvl::PDLSetScreenSize(kWidth, kHeight);
        device = std::make_unique<WindowDevice>();
        if (device->InitDevice() != 0) kvbench::SpriteScene::Fail("no OpenGL ES device in a window");
        if (!kvl::ScreenIsWindow()) kvbench::SpriteScene::Fail("the screen is not an X11 window");
        // No wait for a vertical blank: every frame is shown as it is made.
        eglSwapInterval(eglGetCurrentDisplay(), 0);
        xServer = XServerProcess();
        scene = std::make_unique<kvbench::SpriteScene>(*device, kWidth, kHeight);
        return true;
    }

    void Close() {
        scene.reset();
        if (device) device->ShutdownDevice();
        device.reset();
        SDL_Quit();
    }

    // One turn of a game loop: the units' update, then the scene's draw,
    // which presents the picture.
    void Frame(FrameTimes* times) {
        const double wall = WallSeconds(), process = kvbench::ProcessCpuSeconds();
        const double server = ProcessCpuSecondsOf(xServer);
        const double start = kvbench::ThreadCpuSeconds();
        scene->Update(kDt);
        const double updated = kvbench::ThreadCpuSeconds();
        const double presentBefore = device->presentSeconds;
        scene->Draw();
        const double drawn = kvbench::ThreadCpuSeconds();
        const double present = device->presentSeconds - presentBefore;
        if (!times) return;
        times->update.push_back((updated - start) * 1e3);
        times->draw.push_back((drawn - updated - present) * 1e3);
        times->present.push_back(present * 1e3);
        times->drawPresent.push_back((drawn - updated) * 1e3);
        times->main.push_back((drawn - start) * 1e3);
        times->wall.push_back((WallSeconds() - wall) * 1e3);
        if (server >= 0) times->xServer.push_back((ProcessCpuSecondsOf(xServer) - server) * 1e3);
        times->process.push_back((kvbench::ProcessCpuSeconds() - process) * 1e3);
    }

    double BareFrame() {
        const double start = kvbench::ThreadCpuSeconds();
        scene->DrawBareQuads();
        return (kvbench::ThreadCpuSeconds() - start) * 1e3;
    }

    void Run() {
        if (!Open()) {
            std::printf("%s: not measured, no X display (scripts/bench runs it under xvfb-run)\n", kName);
            return;
        }
        for (int i = 0; i < kWarmFrames; ++i) {
            Frame(nullptr);
            BareFrame();
        }
        // Frames and bare frames alternate, so that other work on the
        // machine weighs on both alike.
        FrameTimes times;
        std::vector<double> bare;
        for (int i = 0; i < kFrames; ++i) {
            Frame(&times);
            bare.push_back(BareFrame());
        }
        const double drawPresent = kvbench::Median(times.drawPresent), base = kvbench::Median(bare);
        std::printf("%s, draw and present CPU (main thread, no script update): %.2fx of 10,000 bare quads of the "
                    "same texture in the same window (target <= %.2f)\n",
                    kName, base > 0 ? drawPresent / base : 0.0, kBareQuadTarget);
        const struct {
            const char* what;
            const std::vector<double>& values;
            double target;
        } lines[] = {{"update CPU (main thread)", times.update, kUpdateTargetMs},
                     {"draw CPU (main thread)", times.draw, kDrawTargetMs},
                     {"present CPU (main thread)", times.present, kPresentTargetMs},
                     {"main-thread CPU", times.main, kMainThreadTargetMs},
                     {"frame wall time", times.wall, kFrameWallTargetMs},
                     {"the X server's CPU", times.xServer, kXServerTargetMs},
                     {"whole-process CPU", times.process, kProcessTargetMs}};
        for (const auto& line : lines) {
            if (line.values.empty())
                std::printf("%s, %s: not measured\n", kName, line.what);
            else
                std::printf("%s, %s: %.2f ms per frame (median of %d, target <= %.2f ms)\n", kName, line.what,
                            kvbench::Median(line.values), kFrames, line.target);
        }
        // The figures stand even if the teardown fails.
        std::fflush(stdout);
        Close();
    }
};

kvbench::Figure WindowFigure() {
    kvbench::Figure f;
    f.name = kName;
    f.baselineName = "10,000 bare quads of the same texture in the same window";
    f.target = 0;
    f.window = true;
    f.run = [] { WindowBench().Run(); };
    return f;
}

} // namespace

KV_BENCH_FIGURE(WindowFigure);
