// A whole frame of a 2D game on the shared OpenGL ES device (llvmpipe,
// 1024 x 768, off-screen): 10,000 sprite units sharing one 32x32 PNG, each
// moved by its script's "OnUpdate", then the scene manager's draw and the
// swap. The figure sets it against 10,000 bare quads of the same texture
// handed straight to the device with the same swap, both as CPU time of the
// main thread. At the end it prints, per frame, the main thread's CPU time
// (update, draw and swap) and the whole process's CPU time (llvmpipe
// rasterises on threads of its own, so the frame is waited for), each
// against the figure measured for this picture on this machine.
//
// The frame runs on a whole core. It must be the first figure of the run
// (its file sorts first): the core takes the program-wide script binding
// and unit factory, which other figures make bare, and it is ended when the
// figure is done.
#include <GLES2/gl2.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>
#include <vector>

#include "KVBench.h"
#include "KVBenchGL.h"
#include "KVBenchSprites.h"
#include "KVLua/KVLua.h"
#include "units/KVUnitFactory.h"

namespace {

constexpr int kWidth = kvbench::kGLScreenWidth;
constexpr int kHeight = kvbench::kGLScreenHeight;
constexpr float kDt = 1.0f / 60.0f;
// Measured for this picture on this machine, per frame.
constexpr double kMainThreadTargetMs = 10.4;
constexpr double kProcessTargetMs = 188.0;

struct SpriteFrameBench {
    std::unique_ptr<kvbench::SpriteScene> scene;
    std::vector<double> threadMs, processMs;

    SpriteFrameBench() {
        if (kvl::KVLua::Instance() || kvl::KVUnitFactory::Instance())
            kvbench::SpriteScene::Fail("a script binding or unit factory exists already; run this figure first");
        scene = std::make_unique<kvbench::SpriteScene>(kvbench::SharedGLDevice(), kWidth, kHeight);
        glFinish();
    }

    // Update, draw and swap; then the wait for the picture, which the
    // process time holds and the main thread's does not.
    void Frame() {
        const double process = kvbench::ProcessCpuSeconds();
        const double thread = kvbench::ThreadCpuSeconds();
        scene->Update(kDt);
        scene->Draw();
        const double threadEnd = kvbench::ThreadCpuSeconds();
        glFinish();
        threadMs.push_back((threadEnd - thread) * 1e3);
        processMs.push_back((kvbench::ProcessCpuSeconds() - process) * 1e3);
    }

    void BareQuads() {
        scene->DrawBareQuads();
        glFinish();
    }

    void Finish() {
        std::printf("Sprite frame, main-thread CPU (update, draw, swap): %.2f ms per frame (target <= %.1f ms)\n",
                    kvbench::Median(threadMs), kMainThreadTargetMs);
        std::printf("Sprite frame, process CPU: %.2f ms per frame (target <= %.1f ms)\n", kvbench::Median(processMs),
                    kProcessTargetMs);
        scene.reset();
    }
};

SpriteFrameBench& Bench() {
    return kvbench::Lazy<SpriteFrameBench>();
}

kvbench::Figure SpriteFrameFigure() {
    kvbench::Figure f{"Frame of 10,000 scripted sprites sharing a 32x32 PNG (update, draw, swap; CPU on the main thread)",
                      "10,000 bare quads of the same texture straight to the device", 0,
                      [] { Bench().BareQuads(); }, [] { Bench().Frame(); }};
    f.threadCpuTime = true;
    f.finish = [] { Bench().Finish(); };
    return f;
}

} // namespace

KV_BENCH_FIGURE(SpriteFrameFigure);
