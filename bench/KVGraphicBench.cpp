// Drawing 10,000 sprites per frame through the graphic module on the shared
// OpenGL ES device (llvmpipe, off-screen): each sprite a DrawImage of a
// 32x32 texture, against the same quads handed straight to the device's
// DrawPolygon. A second figure gives every sprite its own view transform
// (so every sprite flushes the batch), against the same baseline. Times are
// CPU on the calling thread for one frame (llvmpipe rasterises on threads of
// its own); the per-quad figures printed at the end leave glFinish out.
#include <GLES2/gl2.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <vector>

#include "KVBench.h"
#include "KVBenchGL.h"
#include "graphics/KVGraphic.h"
#include "graphics/KVResourceTexture.h"

namespace {

constexpr int kSprites = 10000;
constexpr int kSide = 32;
constexpr int kWidth = kvbench::kGLScreenWidth;
constexpr int kHeight = kvbench::kGLScreenHeight;

struct GraphicBench {
    kvl::KVGLwebOSRender* device = nullptr;
    std::unique_ptr<kvl::KVGraphic> graphic;
    kvl::IKVResourceTexture* texture = nullptr;
    std::vector<kvl::ImageDrawRecord> sprites;
    std::vector<kvl::KV2DVertex> quads;  // what DrawImage makes of them, 4 per sprite
    kvl::KVDrawState state;
    double bestImage = 1e30, bestPolygon = 1e30, bestTransform = 1e30;

    GraphicBench() {
        device = &kvbench::SharedGLDevice();
        graphic = std::make_unique<kvl::KVGraphic>();
        graphic->SetDevice(device);
        MakeTexture();
        state.blend = 1;
        state.textureFlag = 1;
        std::mt19937 rng(23);
        std::uniform_int_distribution<int> x(0, kWidth - kSide), y(0, kHeight - kSide);
        std::uniform_int_distribution<uint32_t> tint(0, 0xffffff);
        for (int i = 0; i < kSprites; ++i) {
            kvl::ImageDrawRecord sprite;
            sprite.x = float(x(rng));
            sprite.y = float(y(rng));
            sprite.color = 0xC0000000u | tint(rng);
            sprites.push_back(sprite);
            const float l = sprite.x, t = sprite.y, r = l + kSide, b = t + kSide;
            const uint32_t c = sprite.color;
            const kvl::KV2DVertex quad[4] = {
                {l, t, 0, c, 0, 0}, {l, b, 0, c, 0, 1}, {r, b, 0, c, 1, 1}, {r, t, 0, c, 1, 0}};
            quads.insert(quads.end(), quad, quad + 4);
        }
        // All three draw the same picture before anything is timed.
        Image();
        const std::vector<uint8_t> engine = Read();
        Polygons();
        if (Read() != engine) Fail("the quads given to the device draw another picture");
        TransformPerSprite();
        if (Read() != engine) Fail("sprites placed by their transforms draw another picture");
    }

    ~GraphicBench() {
        std::fprintf(stderr,
                     "KVGraphic sprites: %d DrawImage of %dx%d per frame: %.0f ns per quad on the calling thread "
                     "(glFinish left out), straight to DrawPolygon %.0f ns, one view transform per sprite %.0f ns\n",
                     kSprites, kSide, kSide, bestImage * 1e9 / kSprites, bestPolygon * 1e9 / kSprites,
                     bestTransform * 1e9 / kSprites);
        texture->Release();
    }

    static void Fail(const char* why) {
        std::fprintf(stderr, "graphic benchmark: %s\n", why);
        std::abort();
    }

    void MakeTexture() {
        if (graphic->CreateTexture({kSide, kSide}, kvl::KVTEXFMT_BGRA, &texture, 0) != 0) Fail("no texture");
        uint8_t* data = nullptr;
        int32_t pitch = 0;
        if (kvl::KVResourceTexture::LockWhole(texture->PeekDeviceTexture(), &data, &pitch) != 0) Fail("no lock");
        for (int y = 0; y < kSide; ++y)
            for (int x = 0; x < kSide; ++x) {
                uint8_t* p = data + y * pitch + x * 4;
                p[0] = uint8_t(x * 7);
                p[1] = uint8_t(y * 5);
                p[2] = uint8_t(255 - x - y);
                p[3] = 255;
            }
        texture->PeekDeviceTexture()->Unlock();
    }

    std::vector<uint8_t> Read() {
        std::vector<uint8_t> pixels(size_t(kWidth) * kHeight * 4);
        glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        return pixels;
    }

    // Ends the frame and waits for the picture; the time until then is the
    // frame's own.
    void EndFrame(double start, double* best) {
        device->EndFrame();
        *best = std::min(*best, kvbench::ThreadCpuSeconds() - start);
        device->Present();
        glFinish();
    }

    void Image() {
        const double start = kvbench::ThreadCpuSeconds();
        device->BeginFrame(1);
        const float identity[6] = {1, 0, 0, 1, 0, 0};
        graphic->SetTextureStage(0, texture);
        graphic->SetDrawState(&state, 0);
        graphic->SetViewTransform(identity);
        for (const kvl::ImageDrawRecord& sprite : sprites) graphic->DrawImage(&sprite);
        graphic->EndDraw();
        EndFrame(start, &bestImage);
    }

    void Polygons() {
        const double start = kvbench::ThreadCpuSeconds();
        device->BeginFrame(1);
        const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
        device->SetTexture(0, texture->PeekDeviceTexture());
        device->SetBlendState(&state, 0);
        device->SetTransform(1, identity);
        for (size_t i = 0; i < sprites.size(); ++i) device->DrawPolygon(&quads[i * 4], 4);
        device->Flush();
        EndFrame(start, &bestPolygon);
    }

    void TransformPerSprite() {
        const double start = kvbench::ThreadCpuSeconds();
        device->BeginFrame(1);
        graphic->SetTextureStage(0, texture);
        graphic->SetDrawState(&state, 0);
        kvl::ImageDrawRecord atOrigin;
        for (const kvl::ImageDrawRecord& sprite : sprites) {
            const float place[6] = {1, 0, 0, 1, sprite.x, sprite.y};
            graphic->SetViewTransform(place);
            atOrigin.color = sprite.color;
            graphic->DrawImage(&atOrigin);
        }
        graphic->EndDraw();
        EndFrame(start, &bestTransform);
    }
};

GraphicBench& Bench() {
    return kvbench::Lazy<GraphicBench>();
}

kvbench::Figure ImageFigure() {
    kvbench::Figure f{"KVGraphic 10,000 sprites per frame through DrawImage (CPU on the calling thread)",
                      "the same quads straight to the device's DrawPolygon", 1.5, [] { Bench().Polygons(); },
                      [] { Bench().Image(); }};
    f.threadCpuTime = true;
    return f;
}

kvbench::Figure TransformFigure() {
    kvbench::Figure f{"KVGraphic 10,000 sprites per frame, one view transform each (a flush each)",
                      "the same quads straight to the device's DrawPolygon", 0, [] { Bench().Polygons(); },
                      [] { Bench().TransformPerSprite(); }};
    f.threadCpuTime = true;
    return f;
}

} // namespace

KV_BENCH_FIGURE(ImageFigure);
KV_BENCH_FIGURE(TransformFigure);
