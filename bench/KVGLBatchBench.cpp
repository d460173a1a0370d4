// Batching and submitting 10,000 textured 32x32 quads per frame at 1024x768
// through the OpenGL ES device (llvmpipe, off-screen), against the same quads
// drawn with one hand-written glDrawElements from vertex arrays prepared in
// advance: the least a batch can cost. Both count CPU time on the calling
// thread (llvmpipe rasterises on threads of its own) for one whole frame:
// begin and clear, draw, end, present and wait for the picture.
#include <GLES2/gl2.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "KVBench.h"
#include "KVBenchGL.h"
#include "graphics/KVGLTexture.h"

namespace {

constexpr int kQuads = 10000;
constexpr int kSide = 32;
constexpr int kWidth = kvbench::kGLScreenWidth;
constexpr int kHeight = kvbench::kGLScreenHeight;

struct BatchBench {
    kvl::KVGLwebOSRender* device = nullptr;
    kvl::IKVTexture* texture = nullptr;
    std::vector<kvl::KV2DVertex> vertices;  // what the graphic module hands over, 4 per quad
    // The baseline's arrays, in the device's own layout.
    std::vector<float> positions;
    std::vector<uint8_t> colors;
    std::vector<float> uvs;
    std::vector<uint16_t> indices;
    double bestSubject = 1e30;
    double bestBaseline = 1e30;

    BatchBench() {
        device = &kvbench::SharedGLDevice();
        MakeTexture();
        std::mt19937 rng(77);
        std::uniform_int_distribution<int> x(0, kWidth - kSide), y(0, kHeight - kSide);
        std::uniform_int_distribution<uint32_t> tint(0, 0xffffff);
        for (int q = 0; q < kQuads; ++q) {
            const float l = float(x(rng)), t = float(y(rng)), r = l + kSide, b = t + kSide;
            const uint32_t c = 0xC0000000u | tint(rng);
            const kvl::KV2DVertex quad[4] = {
                {l, t, 0, c, 0, 0}, {r, t, 0, c, 1, 0}, {r, b, 0, c, 1, 1}, {l, b, 0, c, 0, 1}};
            vertices.insert(vertices.end(), quad, quad + 4);
            const uint16_t base = uint16_t(q * 4);
            const uint16_t fan[6] = {base, uint16_t(base + 1), uint16_t(base + 2), base, uint16_t(base + 2),
                                     uint16_t(base + 3)};
            indices.insert(indices.end(), fan, fan + 6);
            for (const kvl::KV2DVertex& v : quad) {
                positions.push_back(v.x);
                positions.push_back(v.y);
                uvs.push_back(v.u);
                uvs.push_back(v.v);
                colors.push_back(uint8_t(v.color >> 16));
                colors.push_back(uint8_t(v.color >> 8));
                colors.push_back(uint8_t(v.color));
                colors.push_back(uint8_t(v.color >> 24));
            }
        }
        // Both draw the same picture before anything is timed.
        Subject();
        std::vector<uint8_t> engine = Read();
        Baseline();
        if (Read() != engine) Fail("the engine's picture differs from the hand-drawn one");
    }

    ~BatchBench() {
        const double frameMs = bestSubject * 1e3;
        std::fprintf(stderr,
                     "KVGL batch: %d textured %dx%d quads per frame at %dx%d on llvmpipe: %.2f ms per frame on the "
                     "calling thread (%.0f quads/ms; reference 2.8 ms), hand-written glDrawElements %.2f ms "
                     "(%.0f quads/ms)\n",
                     kQuads, kSide, kSide, kWidth, kHeight, frameMs, kQuads / frameMs, bestBaseline * 1e3,
                     kQuads / (bestBaseline * 1e3));
        texture->Release();
    }

    static void Fail(const char* why) {
        std::fprintf(stderr, "batch benchmark: %s\n", why);
        std::abort();
    }

    void MakeTexture() {
        kvl::KVTextureDesc desc;
        desc.format = kvl::KVTEXFMT_BGRA;
        desc.width = desc.height = kSide;
        if (device->CreateTexture(&desc, &texture) != 0) Fail("no texture");
        void* data = nullptr;
        int32_t pitch = 0;
        texture->Lock(nullptr, &data, &pitch, nullptr);
        uint8_t* p = static_cast<uint8_t*>(data);
        for (int i = 0; i < kSide * kSide; ++i, p += 4) {
            p[0] = uint8_t(i * 7);
            p[1] = uint8_t(i * 3);
            p[2] = uint8_t(255 - i);
            p[3] = 255;
        }
        texture->Unlock();
    }

    std::vector<uint8_t> Read() {
        std::vector<uint8_t> pixels(size_t(kWidth) * kHeight * 4);
        glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        return pixels;
    }

    void Subject() {
        const double start = kvbench::ThreadCpuSeconds();
        device->BeginFrame(1);
        kvl::KVDrawState state;
        state.blend = 1;
        state.textureFlag = 1;
        device->SetBlendState(&state, 0);
        device->SetTexture(0, texture);
        for (int q = 0; q < kQuads; ++q) device->DrawPolygon(&vertices[size_t(q) * 4], 4);
        device->Flush();
        device->EndFrame();
        device->Present();
        glFinish();
        bestSubject = std::min(bestSubject, kvbench::ThreadCpuSeconds() - start);
    }

    void Baseline() {
        const double start = kvbench::ThreadCpuSeconds();
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glBindTexture(GL_TEXTURE_2D, dynamic_cast<kvl::KVGLTexture*>(texture)->GetName());
        device->GetShaderSet()->Select(true);
        glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 0, positions.data());
        glVertexAttribPointer(1, 4, GL_UNSIGNED_BYTE, GL_TRUE, 0, colors.data());
        glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, 0, uvs.data());
        glDrawElements(GL_TRIANGLES, GLsizei(indices.size()), GL_UNSIGNED_SHORT, indices.data());
        device->Present();
        glFinish();
        bestBaseline = std::min(bestBaseline, kvbench::ThreadCpuSeconds() - start);
    }
};

BatchBench& Bench() {
    return kvbench::Lazy<BatchBench>();
}

kvbench::Figure BatchFigure() {
    kvbench::Figure f{"KVGL batch of 10,000 textured quads per frame (CPU on the calling thread)",
                      "one hand-written glDrawElements from prepared arrays", 1.5, [] { Bench().Baseline(); },
                      [] { Bench().Subject(); }};
    f.threadCpuTime = true;
    return f;
}

} // namespace

KV_BENCH_FIGURE(BatchFigure);
