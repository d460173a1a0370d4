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
#include <cstdlib>
#include <ctime>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "KVBench.h"
#include "KVBenchGL.h"
#include "KVLua/KVLua.h"
#include "support/KVSpriteRig.h"
#include "units/KVSceneManager.h"
#include "units/KVUnitFactory.h"
#include "units2d/KVUnitSprite.h"

namespace {

constexpr int kSprites = 10000;
constexpr int kSide = 32;
constexpr int kWidth = kvbench::kGLScreenWidth;
constexpr int kHeight = kvbench::kGLScreenHeight;
constexpr float kDt = 1.0f / 60.0f;
// Measured for this picture on this machine, per frame.
constexpr double kMainThreadTargetMs = 10.4;
constexpr double kProcessTargetMs = 188.0;

double ProcessCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

double Median(std::vector<double> values) {
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct SpriteFrameBench {
    kvl::KVGLwebOSRender* device = nullptr;
    std::unique_ptr<kvtest::KVSpriteRig> rig;
    kvl::IKVTexture* texture = nullptr;  // the sprites' picture on the device
    std::vector<kvl::KV2DVertex> quads;
    std::vector<double> threadMs, processMs;

    static void Fail(const char* why) {
        std::fprintf(stderr, "sprite frame benchmark: %s\n", why);
        std::abort();
    }

    SpriteFrameBench() {
        if (kvl::KVLua::Instance() || kvl::KVUnitFactory::Instance())
            Fail("a script binding or unit factory exists already; run this figure first");
        device = &kvbench::SharedGLDevice();
        kvtest::KVSpriteRig::Options options;
        options.device = device;
        options.width = kWidth;
        options.height = kHeight;
        rig = std::make_unique<kvtest::KVSpriteRig>(options);
        if (!rig->Ready()) Fail("no core on the shared device");
        std::vector<uint32_t> pixels(size_t(kSide) * kSide);
        for (int y = 0; y < kSide; ++y)
            for (int x = 0; x < kSide; ++x) pixels[size_t(y) * kSide + x] = 0xFF000000u | uint32_t(x * 8 << 16 | y * 8);
        rig->WritePng("img/sprite.png", kSide, kSide, pixels);
        MakeSprites();
        Frame();
        // Every sprite is drawn, and the scripts move them.
        kvl::KVUnitSprite* first = sprites.front();
        const float before = first->GetPosition()->x;
        Frame();
        if (first->GetPosition()->x == before) Fail("the scripts do not move the sprites");
        kvl::IKVResourceTexture* picture = first->GetCurrentTexture();
        if (!picture || !(texture = picture->PeekDeviceTexture())) Fail("the sprites have no picture");
        if (kvl::KVSceneManager::Instance()->GetList(kvl::KVSCENE_LIST_DRAWN).size() != size_t(kSprites))
            Fail("not every sprite is drawn");
        threadMs.clear();
        processMs.clear();
    }

    void MakeSprites() {
        kvl::KVUnitFactory& factory = rig->Factory();
        kvl::KVLua& lua = rig->Host().Lua();
        const int32_t spriteClass = factory.FindClassByName("Sprite");
        std::mt19937 rng(41);
        std::uniform_int_distribution<int> x(0, kWidth - kSide - 64), y(0, kHeight - kSide);
        std::string places = "Places = {";
        for (int i = 1; i <= kSprites; ++i) {
            const std::string name = "S" + std::to_string(i);
            lua.CreateNamespaceTable(name.c_str(), -1, false);
            places += "{" + std::to_string(x(rng)) + "," + std::to_string(y(rng)) + "},";
        }
        rig->Run(places + "}\n");
        // Each sprite walks right and back over 64 pixels, one a frame.
        rig->Run("for i = 1, " + std::to_string(kSprites) +
                 " do\n"
                 "  local t, x0 = _G['S' .. i], Places[i][1]\n"
                 "  local step = 0\n"
                 "  t.OnUpdate = function()\n"
                 "    step = (step + 1) % 128\n"
                 "    t.Position_X = x0 + (step < 64 and step or 128 - step)\n"
                 "  end\n"
                 "end\n");
        std::mt19937 tint(5);
        for (int i = 1; i <= kSprites; ++i) {
            kvl::KVUnit* unit = nullptr;
            // Made without a generated name (finding a free counter for each
            // of 10,000 units of one class is the slow part of a set-up),
            // so the creation's last steps are taken here.
            factory.CreateUnit(spriteClass, &unit, kvl::KVCREATE_RUNTIME | kvl::KVCREATE_NO_NAME, -1, 0);
            auto* sprite = dynamic_cast<kvl::KVUnitSprite*>(unit);
            if (!sprite) Fail("no sprite unit");
            sprite->SetName("S" + std::to_string(i));
            factory.UpdateRootMembership(sprite);
            sprite->SetParentEnabled(true);
            sprite->ApplyEnabledState();
            sprite->SetImage("img/sprite.png");
            sprite->SetColor(0xC0000000u | (uint32_t(tint()) & 0xFFFFFFu));
            sprites.push_back(sprite);
        }
        factory.RebindScripts();
        rig->Run("for i = 1, " + std::to_string(kSprites) +
                 " do local t = _G['S' .. i]; t.Position_X = Places[i][1]; t.Position_Y = Places[i][2] end\n");
        if (!rig->TakeErrors().empty()) Fail("the scripts failed");
        for (kvl::KVUnitSprite* sprite : sprites) {
            const kvl::KV2DTempl<float>& at = *sprite->GetPosition();
            const float l = at.x, t = at.y, r = l + kSide, b = t + kSide;
            const uint32_t c = sprite->GetColor();
            const kvl::KV2DVertex quad[4] = {{l, t, 0, c, 0, 0}, {l, b, 0, c, 0, 1}, {r, b, 0, c, 1, 1}, {r, t, 0, c, 1, 0}};
            quads.insert(quads.end(), quad, quad + 4);
        }
    }

    // Update, draw and swap; then the wait for the picture, which the
    // process time holds and the main thread's does not.
    void Frame() {
        const double process = ProcessCpuSeconds();
        const double thread = kvbench::ThreadCpuSeconds();
        rig->Factory().Update(kDt);
        rig->DrawFrame();
        const double threadEnd = kvbench::ThreadCpuSeconds();
        glFinish();
        threadMs.push_back((threadEnd - thread) * 1e3);
        processMs.push_back((ProcessCpuSeconds() - process) * 1e3);
    }

    void BareQuads() {
        device->BeginFrame(1);
        const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
        kvl::KVDrawState state;
        state.blend = 1;
        state.textureFlag = 1;
        device->SetTexture(0, texture);
        device->SetBlendState(&state, 0);
        device->SetTransform(1, identity);
        for (size_t i = 0; i < size_t(kSprites); ++i) device->DrawPolygon(&quads[i * 4], 4);
        device->Flush();
        device->EndFrame();
        device->Present();
        glFinish();
    }

    void Finish() {
        std::printf("Sprite frame, main-thread CPU (update, draw, swap): %.2f ms per frame (target <= %.1f ms)\n",
                    Median(threadMs), kMainThreadTargetMs);
        std::printf("Sprite frame, process CPU: %.2f ms per frame (target <= %.1f ms)\n", Median(processMs),
                    kProcessTargetMs);
        sprites.clear();
        rig.reset();
    }

    std::vector<kvl::KVUnitSprite*> sprites;
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
