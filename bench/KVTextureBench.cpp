// Making a texture: a 2048x2048 RGBA PNG loaded through the graphic module
// into 16 frames of 512x512 on the shared OpenGL ES device (llvmpipe,
// off-screen; its limit narrowed to 512), against decoding the same PNG
// alone with the engine's PNG reader into a buffer. The difference is
// cutting the picture into frames and uploading them.
#include <GLES2/gl2.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <vector>

#include "KVBench.h"
#include "KVBenchGL.h"
#include "graphics/IKVImageReader.h"
#include "graphics/KVResourceTexture.h"
#include "support/KVDeviceLimits.h"
#include "support/KVPngWriter.h"
#include "support/KVTextureHost.h"

namespace {

constexpr uint32_t kSide = 2048;

struct TextureBench {
    kvtest::KVDeviceLimits device{&kvbench::SharedGLDevice()};
    std::unique_ptr<kvtest::KVTextureHost> host;
    std::vector<uint8_t> pixels = std::vector<uint8_t>(size_t(kSide) * kSide * 4);

    TextureBench() {
        device.maxTextureSize = {512, 512};
        device.needsPowerOfTwo = true;
        host = std::make_unique<kvtest::KVTextureHost>(&device);
        // Shading with noise: a picture that compresses like a real one.
        std::mt19937 rng(11);
        std::vector<uint32_t> argb(size_t(kSide) * kSide);
        for (uint32_t y = 0; y < kSide; ++y)
            for (uint32_t x = 0; x < kSide; ++x)
                argb[size_t(y) * kSide + x] = 0xC0000000u | ((x / 8) & 0xFF) << 16 | ((y / 8) & 0xFF) << 8 | (rng() & 0x1F);
        host->SetFile("img/big.png", kvtest::WritePngArgb(kSide, kSide, argb));
    }
    static void Fail(const char* why) {
        std::fprintf(stderr, "texture bench: %s\n", why);
        std::exit(1);
    }

    void Decode() {
        kvl::IKVImageReader* reader = host->Png();
        void* handle = nullptr;
        if (reader->Open(host->Path("img/big.png").c_str(), &handle) != 0) Fail("open");
        kvl::KVImageInfo info{};
        reader->GetInfo(handle, &info);
        if (reader->Read(handle, pixels.data(), uint32_t(pixels.size())) != 0) Fail("read");
        reader->Close(handle);
    }
    void Load() {
        // Released at once, so every round reads the file again.
        kvl::KVResourceTexture* texture = host->Load("img/big.png");
        if (!texture || texture->GetFrameCount() != 16) Fail("no texture of 16 frames");
        glFinish();
        texture->Release();
    }
};

// Made at the figure's first run.
TextureBench& Bench() {
    return kvbench::Lazy<TextureBench>();
}

kvbench::Figure TextureFigure() {
    return {"KVGraphic texture 2048x2048 PNG in 512x512 frames", "KVPNGInterface decode alone", 1.5,
            [] { Bench().Decode(); }, [] { Bench().Load(); }};
}

} // namespace

KV_BENCH_FIGURE(TextureFigure);
