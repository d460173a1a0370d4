// Texture resources on the OpenGL ES device, read back texel by texel: the
// frames of a picture larger than the (narrowed) device limit, their
// gutters, locks across frames, and clearing 16-bit textures.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "graphics/KVGraphic.h"
#include "graphics/KVResourceTexture.h"
#include "support/KVDeviceLimits.h"
#include "support/KVGLDeviceTest.h"
#include "support/KVPngWriter.h"
#include "support/KVTextureHost.h"

using namespace kvl;

namespace {

uint32_t Pattern(int32_t x, int32_t y) {
    return 0xFF000000u | uint32_t(x * 5 & 0xFF) << 16 | uint32_t(y * 9 & 0xFF) << 8 | uint32_t((x + y) & 0xFF);
}

class KVResourceTextureGLTest : public kvtest::KVGLDeviceTest {
protected:
    void SetUp() override {
        KVGLDeviceTest::SetUp();
        ASSERT_TRUE(OpenDevice(32, 32));
        // A narrow device that needs powers of two: 16 x 16 tiles.
        limits = std::make_unique<kvtest::KVDeviceLimits>(&Device());
        limits->maxTextureSize = {16, 16};
        limits->needsPowerOfTwo = true;
        host = std::make_unique<kvtest::KVTextureHost>(limits.get());
    }
    void TearDown() override {
        host.reset();
        KVGLDeviceTest::TearDown();
    }
    // Texel (x, y) of frame i.
    uint32_t Texel(KVResourceTexture* texture, int32_t i, int32_t x, int32_t y) {
        IKVTexture* device = texture->GetFrame(i)->texture;
        return ReadTexture(device)[size_t(y) * size_t(device->GetSize()->width) + size_t(x)];
    }
    std::unique_ptr<kvtest::KVDeviceLimits> limits;
    std::unique_ptr<kvtest::KVTextureHost> host;
};

TEST_F(KVResourceTextureGLTest, EachFrameHoldsItsPartAndRepeatsTheLastColumnAndRow) {
    std::vector<uint32_t> pixels;
    for (int32_t y = 0; y < 20; ++y)
        for (int32_t x = 0; x < 40; ++x) pixels.push_back(Pattern(x, y));
    host->SetFile("img/big.png", kvtest::WritePngArgb(40, 20, pixels));
    KVResourceTexture* texture = host->Load("img/big.png");
    ASSERT_NE(texture, nullptr);
    ASSERT_EQ(texture->GetFrameCount(), 6);
    for (int32_t i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        const KVTextureFrame* frame = texture->GetFrame(i);
        ASSERT_EQ(frame->texture->GetSize()->width, 16);
        ASSERT_EQ(frame->texture->GetSize()->height, 16);
        const std::vector<uint32_t> texels = ReadTexture(frame->texture);
        // The picture, then its last column and row once more.
        const int32_t columns = std::min(frame->width + 1, 16), rows = std::min(frame->height + 1, 16);
        for (int32_t y = 0; y < rows; ++y)
            for (int32_t x = 0; x < columns; ++x)
                ASSERT_EQ(texels[size_t(y) * 16 + size_t(x)],
                          Pattern(frame->x + std::min(x, frame->width - 1), frame->y + std::min(y, frame->height - 1)))
                    << x << "," << y;
    }
    // The last row of frames covers the picture's last 4 rows; the last
    // column of frames its last 8 columns.
    EXPECT_EQ(texture->GetFrame(5)->width, 8);
    EXPECT_EQ(texture->GetFrame(5)->height, 4);
    texture->Release();
}

TEST_F(KVResourceTextureGLTest, LockAcrossFramesLandsInEachFrame) {
    IKVResourceTexture* made = nullptr;
    ASSERT_EQ(host->Graphic().CreateTexture({40, 20}, KVTEXFMT_BGRA, &made, 0), 0);
    auto* texture = static_cast<KVResourceTexture*>(made);
    ASSERT_EQ(texture->GetFrameCount(), 6);
    void* data = nullptr;
    int32_t pitch = 0;
    uint32_t flag = 0;
    ASSERT_EQ(texture->ClearPixels(), 0);
    for (int32_t i = 1; i < 6; ++i) {
        // Frame 0 alone is cleared; start every frame from black.
        ASSERT_EQ(texture->GetFrame(i)->texture->Lock(nullptr, &data, &pitch, &flag), 0);
        texture->GetFrame(i)->texture->Unlock();
    }
    const KVDeviceRect rect = {12, 10, 40, 20};
    ASSERT_EQ(texture->Lock(&rect, &data, &pitch, &flag), 0);
    for (int32_t y = 0; y < 10; ++y)
        for (int32_t x = 0; x < 28; ++x) {
            const uint32_t argb = Pattern(x + 12, y + 10);
            // B, G, R, A in memory.
            const uint8_t bgra[4] = {uint8_t(argb), uint8_t(argb >> 8), uint8_t(argb >> 16), uint8_t(argb >> 24)};
            std::memcpy(static_cast<uint8_t*>(data) + y * pitch + x * 4, bgra, 4);
        }
    ASSERT_EQ(texture->Unlock(), 0);
    // One texel of each frame the rectangle crosses, and its corners.
    EXPECT_EQ(Texel(texture, 0, 12, 10), Pattern(12, 10));
    EXPECT_EQ(Texel(texture, 0, 11, 10), 0u);
    EXPECT_EQ(Texel(texture, 1, 3, 15), Pattern(19, 15));
    EXPECT_EQ(Texel(texture, 2, 7, 12), Pattern(39, 12));
    EXPECT_EQ(Texel(texture, 2, 8, 12), Pattern(39, 12));  // gutter
    EXPECT_EQ(Texel(texture, 3, 12, 3), Pattern(12, 19));
    EXPECT_EQ(Texel(texture, 3, 12, 4), Pattern(12, 19));  // gutter
    EXPECT_EQ(Texel(texture, 4, 0, 0), Pattern(16, 16));
    EXPECT_EQ(Texel(texture, 5, 8, 4), Pattern(39, 19));
    texture->Release();
}

TEST_F(KVResourceTextureGLTest, ClearPixelsOfA16BitTextureStaysInItsRows) {
    limits->needsPowerOfTwo = false;
    host->Graphic().SetDevice(limits.get());
    IKVResourceTexture* made = nullptr;
    ASSERT_EQ(host->Graphic().CreateTexture({10, 6}, KVTEXFMT_RGB565, &made, 0), 0);
    auto* texture = static_cast<KVResourceTexture*>(made);
    void* data = nullptr;
    int32_t pitch = 0;
    uint32_t flag = 0;
    ASSERT_EQ(texture->Lock(nullptr, &data, &pitch, &flag), 0);
    ASSERT_EQ(pitch, 20);
    std::memset(data, 0xFF, 20 * 6);
    texture->Unlock();
    EXPECT_EQ(Texel(texture, 0, 9, 5), 0xFFFFFFFFu);
    ASSERT_EQ(texture->ClearPixels(), 0);
    for (uint32_t texel : ReadTexture(texture->PeekDeviceTexture())) ASSERT_EQ(texel, 0xFF000000u);
    texture->Release();
}

} // namespace
