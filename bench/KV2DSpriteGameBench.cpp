// A frame of the sample game on the OpenGL ES screen (llvmpipe, 1024 x 768,
// off-screen), to stand beside the 10,000-sprite frame: the catch game that
// the build generates, started in this process as the program starts it and
// played by its own autoplay, which catches star after star (sparks, score
// text) in a round that never ends. One frame is the core's step and its
// draw with the swap, as CPU time of the main thread; the baseline is a bare
// frame on the same screen (clear and swap straight through the device). At
// the end it prints the game's main-thread time per frame.
//
// The game brings up a screen and program-wide modules of its own, so this
// figure runs in a process of its own (scripts/bench runs each figure so).
#include <GLES2/gl2.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "KVBench.h"
#include "KVLua/KVLua.h"
#include "graphics/IKVGraphicDevice.h"
#include "kernel/KVApplication.h"
#include "kernel/KVCore.h"
#include "support/KVSDLEvents.h"
#include "support/KVTestScriptRun.h"

namespace {

namespace fs = std::filesystem;

constexpr int kMaxStartFrames = 900;
constexpr int kWarmFrames = 300;

struct SampleGameBench {
    std::string previous, dir;
    kvl::IKVGraphicDevice* device = nullptr;
    std::vector<double> threadMs;

    static void Fail(const std::string& why) {
        std::fprintf(stderr, "sample game benchmark: %s\n", why.c_str());
        std::abort();
    }

    SampleGameBench() {
        if (!fs::exists(fs::path(KV_SAMPLE_DIR) / "assets" / "sample.kvproj")) Fail("the sample game is not built");
        std::error_code error;
        previous = fs::current_path(error).string();
        std::string made = (fs::temp_directory_path() / "kvbench-game-XXXXXX").string();
        if (!mkdtemp(made.data())) Fail("no working directory");
        dir = made;
        fs::copy(KV_SAMPLE_DIR, dir, fs::copy_options::recursive, error);
        if (error || chdir(dir.c_str()) != 0) Fail("the sample game cannot be copied");
        // Steps of a fixed 16 ms, whatever the frame takes.
        std::ofstream(fs::path("assets") / "config.ini", std::ios::app) << "\n[General]\nFIXED_DT=16\n";
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        if (!kvl::InitApplication()) Fail("the game does not start");
        device = kvl::QueryCoreInterface<kvl::IKVGraphicDevice>(kvl::IID_IKVGraphicDevice);
        if (!device) Fail("no screen");
        for (int i = 0; i < kMaxStartFrames && Eval("playing") != "true"; ++i) Step();
        if (Eval("playing") != "true") Fail("the round never starts");
        Run("Autoplay = true\nAUTOPLAY_CATCHES = math.huge\nMISSES_PER_ROUND = math.huge\n");
        for (int i = 0; i < kWarmFrames; ++i) Step();
        if (Eval("#stars > 0 and score > 0") != "true")
            Fail("the game does not play: " + Eval("#stars .. ' stars, score ' .. score"));
        threadMs.clear();
    }

    static void Run(const std::string& code) {
        std::string error;
        if (!kvtest::RunChunk(kvl::KVLua::Instance()->GetState(), code, &error)) Fail(error);
    }
    static std::string Eval(const std::string& expression) {
        std::string error;
        const std::vector<std::string> values =
            kvtest::EvaluateChunk(kvl::KVLua::Instance()->GetState(), expression, &error);
        if (!error.empty()) Fail(error);
        return values.empty() ? "" : values[0];
    }

    // One turn of the main loop: events, the step, the picture and its swap.
    void Step() {
        kvtest::PumpSDLEvents();
        uint8_t keepRunning = 1;
        kvl::KVCore::Instance()->Step(&keepRunning);
        kvl::KVCore::Instance()->Render();
        if (!keepRunning) Fail("the game stopped");
    }

    // A game frame; the wait for llvmpipe's threads to finish the picture
    // comes after the main thread's time is taken.
    void Frame() {
        const double start = kvbench::ThreadCpuSeconds();
        Step();
        threadMs.push_back((kvbench::ThreadCpuSeconds() - start) * 1e3);
        glFinish();
    }

    void BareFrame() {
        device->BeginFrame(1);
        device->EndFrame();
        device->Present();
        glFinish();
    }

    void Finish() {
        std::sort(threadMs.begin(), threadMs.end());
        const double median = threadMs.empty() ? 0.0 : threadMs[threadMs.size() / 2];
        std::printf("Sample game frame, main-thread CPU (step, draw, swap): %.2f ms per frame (median of %zu)\n",
                    median, threadMs.size());
        kvl::ShutdownApplication();
        std::error_code error;
        fs::current_path(previous, error);
        fs::remove_all(dir, error);
    }
};

SampleGameBench& Bench() {
    return kvbench::Lazy<SampleGameBench>();
}

kvbench::Figure SampleGameFigure() {
    kvbench::Figure f{"Frame of the sample game, autoplayed (step, draw, swap; CPU on the main thread)",
                      "a bare frame on the same screen (clear, swap)", 0, [] { Bench().BareFrame(); },
                      [] { Bench().Frame(); }};
    f.threadCpuTime = true;
    f.finish = [] { Bench().Finish(); };
    return f;
}

} // namespace

KV_BENCH_FIGURE(SampleGameFigure);
