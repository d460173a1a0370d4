// Device textures: staging sizes and pitches, uploads of each format read
// back through a drawn quad, the BGRA byte order, and YUV pictures.
#include <GLES2/gl2.h>
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "graphics/KVGLTexture.h"
#include "graphics/KVYUVConverter.h"
#include "support/KVGLDeviceTest.h"

using namespace kvl;

namespace {

class KVGLTextureTest : public kvtest::KVGLDeviceTest {
protected:
    void SetUp() override {
        KVGLDeviceTest::SetUp();
        ASSERT_TRUE(OpenDevice(32, 32));
    }
    IKVTexture* Create(uint32_t format, uint32_t width, uint32_t height) {
        KVTextureDesc desc;
        desc.format = format;
        desc.width = width;
        desc.height = height;
        desc.flag0 = 1;
        IKVTexture* texture = nullptr;
        EXPECT_EQ(Device().CreateTexture(&desc, &texture), 0);
        return texture;
    }
    // Draws the texture over the whole screen and reads the pixel at (x, y).
    uint32_t Show(IKVTexture* texture, int32_t x, int32_t y) {
        Device().SetClearColor(0xFF000000);
        Device().BeginFrame(1);
        DrawTexture({0, 0, 32, 32}, texture);
        Device().EndFrame();
        return PixelAt(x, y);
    }
};

TEST_F(KVGLTextureTest, LockSizesFollowTheFormat) {
    struct Case {
        uint32_t format;
        uint32_t width, height;
        int32_t pitch;
        size_t bytes;
        int32_t bitsPerPixel;
    };
    const Case cases[] = {
        {KVTEXFMT_BGRA, 64, 32, 256, 8192, 32},   {KVTEXFMT_RAW32, 3, 5, 12, 60, 32},
        {KVTEXFMT_RGB565, 5, 3, 10, 30, 16},      {256, 4, 4, 16, 64, 32},
        {KVTEXFMT_PVRTC_RGBA2, 128, 128, 32, 4096, 0}, {KVTEXFMT_PVRTC_RGB2, 64, 64, 16, 1024, 0},
        {KVTEXFMT_PVRTC_RGB4, 64, 64, 32, 2048, 0},    {KVTEXFMT_PVRTC_RGBA4, 32, 16, 16, 256, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        IKVTexture* texture = Create(c.format, c.width, c.height);
        ASSERT_NE(texture, nullptr);
        EXPECT_EQ(texture->GetBitsPerPixel(), c.bitsPerPixel);
        EXPECT_EQ(texture->GetSize()->width, int32_t(c.width));
        void* data = nullptr;
        int32_t pitch = 0;
        uint32_t flag = 0;
        ASSERT_EQ(texture->Lock(nullptr, &data, &pitch, &flag), 0);
        EXPECT_EQ(pitch, c.pitch);
        EXPECT_EQ(flag, 1u);
        ASSERT_NE(data, nullptr);
        std::memset(data, 0x5a, c.bytes);  // the whole buffer is there (the sanitizer run checks)
        EXPECT_EQ(texture->Unlock(), 0);
        texture->Release();
    }
}

// The GL cannot hold a texture wider or higher than its limit, nor one
// without pixels: the device refuses them instead of making a texture
// without storage.
TEST_F(KVGLTextureTest, SizesTheGLCannotHoldAreRefused) {
    KVDeviceSize max = {0, 0};
    Device().GetMaxTextureSize(&max);
    ASSERT_GT(max.width, 0);
    struct Case {
        uint32_t width, height;
        bool made;
    };
    const Case cases[] = {
        {uint32_t(max.width), 1, true}, {1, uint32_t(max.height), true}, {uint32_t(max.width) + 1, 1, false},
        {1, uint32_t(max.height) + 1, false}, {0, 4, false}, {4, 0, false}, {0x80000000u, 0x80000000u, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        KVTextureDesc desc;
        desc.format = KVTEXFMT_BGRA;
        desc.width = c.width;
        desc.height = c.height;
        IKVTexture* texture = nullptr;
        EXPECT_EQ(Device().CreateTexture(&desc, &texture), c.made ? 0 : 1);
        EXPECT_EQ(texture != nullptr, c.made);
        if (texture) texture->Release();
    }
}

TEST_F(KVGLTextureTest, ByteSizeIsFourBytesAPixelWhateverTheFormat) {
    IKVTexture* texture = Create(KVTEXFMT_RGB565, 32, 32);
    EXPECT_EQ(texture->GetByteSize(), 4096u);
    EXPECT_EQ(texture->SetPalette(nullptr, 16), 1);
    EXPECT_EQ(texture->PaletteQueryA(), 1);
    EXPECT_EQ(texture->PaletteQueryB(), 1);
    EXPECT_EQ(dynamic_cast<KVGLTexture*>(texture)->GetFlag0(), 1);
    texture->Release();
}

TEST_F(KVGLTextureTest, LockOfAPartGivesThePartsPitchAndUploadsThere) {
    IKVTexture* texture = Create(KVTEXFMT_BGRA, 2, 2);
    const KVDeviceRect left = {0, 0, 1, 2};
    void* data = nullptr;
    int32_t pitch = 0;
    ASSERT_EQ(texture->Lock(&left, &data, &pitch, nullptr), 0);
    EXPECT_EQ(pitch, 4);
    const uint8_t red[] = {0, 0, 255, 255, 0, 0, 255, 255};
    std::memcpy(data, red, sizeof(red));
    texture->Unlock();
    const KVDeviceRect right = {1, 0, 2, 2};
    ASSERT_EQ(texture->Lock(&right, &data, &pitch, nullptr), 0);
    const uint8_t green[] = {0, 255, 0, 255, 0, 255, 0, 255};
    std::memcpy(data, green, sizeof(green));
    texture->Unlock();
    EXPECT_EQ(Show(texture, 2, 2), 0xFFFF0000u);
    EXPECT_EQ(Show(texture, 29, 29), 0xFF00FF00u);
    texture->Release();
}

TEST_F(KVGLTextureTest, LockOutsideTheTextureOrOfNothingGetsNoBuffer) {
    IKVTexture* texture = Create(KVTEXFMT_BGRA, 8, 4);
    const KVDeviceRect cases[] = {{-1, 0, 4, 4}, {0, -1, 4, 4}, {0, 0, 9, 4},  {0, 0, 8, 5},
                                  {4, 0, 4, 4},  {0, 2, 8, 2},  {5, 0, 3, 4}, {0, 0, 0x7fffffff, 4}};
    for (const KVDeviceRect& r : cases) {
        void* data = texture;
        int32_t pitch = 99;
        EXPECT_EQ(texture->Lock(&r, &data, &pitch, nullptr), 1);
        EXPECT_EQ(data, nullptr);
        EXPECT_EQ(pitch, 0);
    }
    EXPECT_EQ(texture->Unlock(), 1);  // nothing was locked
    const KVDeviceRect whole = {0, 0, 8, 4};
    void* data = nullptr;
    EXPECT_EQ(texture->Lock(&whole, &data, nullptr, nullptr), 0);
    EXPECT_EQ(texture->Unlock(), 0);
    texture->Release();
}

// Bytes B, G, R, A reach the GL as R, G, B, A: swapped in the staging buffer
// on Mesa (no IMG extension), uploaded as BGRA where the extension is named.
TEST_F(KVGLTextureTest, BgraPixelsComeBackWithRedAndBlueInPlace) {
    const uint8_t pixel[] = {0x10, 0x20, 0xF0, 0xFF};
    IKVTexture* bgra = MakeTexture(KVTEXFMT_BGRA, 1, 1, pixel);
    EXPECT_EQ(Show(bgra, 5, 5), 0xFFF02010u);
    bgra->Release();
    // 260 is uploaded unchanged: the bytes are taken as R, G, B, A.
    IKVTexture* raw = MakeTexture(KVTEXFMT_RAW32, 1, 1, pixel);
    EXPECT_EQ(Show(raw, 5, 5), 0xFF1020F0u);
    raw->Release();

    SetGLStrings("GL_IMG_texture_format_BGRA8888", "");
    ASSERT_TRUE(OpenDevice(32, 32));
    ASSERT_TRUE(Device().HasBGRA8888());
    bgra = MakeTexture(KVTEXFMT_BGRA, 1, 1, pixel);
    EXPECT_EQ(Show(bgra, 5, 5), 0xFFF02010u);
    bgra->Release();
}

TEST_F(KVGLTextureTest, SixteenBitTextureOfOddWidthUploadsRowByRow) {
    // 3 x 2 RGB565: top row red, bottom row blue; rows of 6 bytes.
    const uint16_t pixels[] = {0xF800, 0xF800, 0xF800, 0x001F, 0x001F, 0x001F};
    IKVTexture* texture = MakeTexture(KVTEXFMT_RGB565, 3, 2, pixels);
    EXPECT_EQ(texture->GetBitsPerPixel(), 16);
    EXPECT_EQ(Show(texture, 16, 2), 0xFFFF0000u);
    EXPECT_EQ(Show(texture, 16, 29), 0xFF0000FFu);
    texture->Release();
}

TEST_F(KVGLTextureTest, CreationLeavesTheDeviceBindingAsItWas) {
    IKVTexture* first = Create(KVTEXFMT_BGRA, 2, 2);
    Device().SetTexture(0, first);
    IKVTexture* second = Create(KVTEXFMT_BGRA, 2, 2);
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(uint32_t(bound), dynamic_cast<KVGLTexture*>(first)->GetName());
    void* data = nullptr;
    second->Lock(nullptr, &data, nullptr, nullptr);
    second->Unlock();
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(uint32_t(bound), dynamic_cast<KVGLTexture*>(first)->GetName());
    second->Release();
    first->Release();
}

TEST_F(KVGLTextureTest, YuvPictureBecomesRgb565BlockByBlock) {
    // 4 x 2 picture: left block black, right block white; chroma neutral.
    const uint8_t y[] = {16, 16, 235, 235, 16, 16, 235, 235};
    const uint8_t u[] = {128, 128};
    const uint8_t v[] = {128, 128};
    const uint8_t* planes[] = {y, u, v};
    const int32_t strides[] = {4, 2};
    IKVTexture* texture = Create(KVTEXFMT_RGB565, 4, 2);
    ASSERT_EQ(texture->CopyPixels(nullptr, planes, strides), 0);
    EXPECT_EQ(Show(texture, 2, 16), 0xFF000000u);
    EXPECT_EQ(Show(texture, 30, 16), 0xFFFFFFFFu);
    texture->Release();
}

TEST_F(KVGLTextureTest, CopyPixelsOfOtherFormatsCopiesTheFirstPlaneRowByRow) {
    // Source rows 12 bytes apart, the picture 2 pixels wide.
    std::vector<uint8_t> source(24, 0);
    const uint8_t blue[] = {255, 0, 0, 255};
    for (int row = 0; row < 2; ++row)
        for (int x = 0; x < 2; ++x) std::memcpy(&source[size_t(row) * 12 + size_t(x) * 4], blue, 4);
    const uint8_t* planes[] = {source.data(), nullptr, nullptr};
    const int32_t strides[] = {12};
    IKVTexture* texture = Create(KVTEXFMT_BGRA, 2, 2);
    ASSERT_EQ(texture->CopyPixels(nullptr, planes, strides), 0);
    EXPECT_EQ(Show(texture, 16, 16), 0xFF0000FFu);
    const KVDeviceRect outside = {0, 0, 3, 2};
    EXPECT_EQ(texture->CopyPixels(&outside, planes, strides), 1);
    texture->Release();
}

TEST_F(KVGLTextureTest, TextureOutlivingItsDeviceIsReleasedSafely) {
    IKVTexture* texture = Create(KVTEXFMT_BGRA, 2, 2);
    void* data = nullptr;
    ASSERT_EQ(texture->Lock(nullptr, &data, nullptr, nullptr), 0);
    CloseDevice();
    EXPECT_EQ(texture->Unlock(), 0);
    texture->Release();
}

// ---- the YUV tables ----

TEST(KVYUVConverter, TablesHoldTheScaledAndClampedFactors) {
    struct Case {
        uint8_t in;
        KVYUVConverter::Entry y, u, v;
    };
    const Case cases[] = {
        {16, {0, 0, 0, 0}, {0, -14464, 2803, 0}, {-11439, 0, 5828, 0}},
        {0, {0, 0, 0, 0}, {0, -14464, 2803, 0}, {-11439, 0, 5828, 0}},
        {128, {8344, 8344, 8344, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}},
        {235, {16315, 16315, 16315, 0}, {0, 13819, -2677, 0}, {10929, 0, -5566, 0}},
        {240, {16315, 16315, 16315, 0}, {0, 14465, -2802, 0}, {11440, 0, -5827, 0}},
        {255, {16315, 16315, 16315, 0}, {0, 14465, -2802, 0}, {11440, 0, -5827, 0}},
    };
    auto same = [](const KVYUVConverter::Entry& a, const KVYUVConverter::Entry& b) {
        return a.red == b.red && a.blue == b.blue && a.green == b.green && a.unused == b.unused;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.in));
        EXPECT_TRUE(same(KVYUVConverter::YEntry(c.in), c.y));
        EXPECT_TRUE(same(KVYUVConverter::UEntry(c.in), c.u));
        EXPECT_TRUE(same(KVYUVConverter::VEntry(c.in), c.v));
    }
}

TEST(KVYUVConverter, PixelsSumTheirLanesShiftAndClamp) {
    struct Case {
        uint8_t y, u, v;
        uint8_t r, g, b;
        uint16_t rgb565;
    };
    const Case cases[] = {
        {16, 128, 128, 0, 0, 0, 0x0000},
        {235, 128, 128, 254, 254, 254, 0xFFFF},
        {0, 128, 128, 0, 0, 0, 0x0000},         // below 16 is clamped first
        {255, 128, 128, 254, 254, 254, 0xFFFF},  // above 235 too
        {81, 90, 240, 254, 0, 0, 0xF800},      // red: green and blue driven below zero
        {41, 240, 110, 0, 0, 255, 0x001F},     // blue past 255 saturates
        {235, 16, 16, 76, 255, 28, 0x4FE3},    // green too
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << int(c.y) << " " << int(c.u) << " " << int(c.v));
        KVYUVConverter::Rgb rgb = KVYUVConverter::ToRgb(c.y, c.u, c.v);
        EXPECT_EQ(rgb.red, c.r);
        EXPECT_EQ(rgb.green, c.g);
        EXPECT_EQ(rgb.blue, c.b);
        EXPECT_EQ(KVYUVConverter::ToRgb565(rgb), c.rgb565);
    }
}

TEST(KVYUVConverter, BlocksShareChromaAndOddEdgesStayInside) {
    // A 3 x 3 picture in rows of 4 bytes, chroma in rows of 2: the top-right
    // block is tinted. The last row and column use the chroma of their
    // block; 32-bit output is R, G, B, 0 in rows of 12 bytes.
    const uint8_t y[12] = {235, 235, 235, 0, 235, 235, 235, 0, 235, 235, 235, 0};
    const uint8_t u[4] = {128, 16, 128, 128};
    const uint8_t v[4] = {128, 128, 128, 128};
    std::vector<uint8_t> out(3 * 12, 0xEE);
    KVYUVConverter::Convert(y, u, v, 4, 3, 3, out.data(), 12, 32);
    const KVYUVConverter::Rgb white = KVYUVConverter::ToRgb(235, 128, 128);
    const KVYUVConverter::Rgb tinted = KVYUVConverter::ToRgb(235, 16, 128);
    auto pixel = [&](int x, int row) { return &out[size_t(row) * 12 + size_t(x) * 4]; };
    const int tintedAt[3][3] = {{0, 0, 1}, {0, 0, 1}, {0, 0, 0}};
    for (int row = 0; row < 3; ++row) {
        for (int x = 0; x < 3; ++x) {
            const KVYUVConverter::Rgb& want = tintedAt[row][x] ? tinted : white;
            EXPECT_EQ(pixel(x, row)[0], want.red) << x << "," << row;
            EXPECT_EQ(pixel(x, row)[1], want.green) << x << "," << row;
            EXPECT_EQ(pixel(x, row)[2], want.blue) << x << "," << row;
            EXPECT_EQ(pixel(x, row)[3], 0);
        }
    }
}

TEST(KVYUVConverter, WholeRowsMatchThePixelRuleAtAnyWidth) {
    // Random planes: every output pixel equals ToRgb of its own luma and its
    // block's chroma, in both depths, for widths on either side of the
    // converter's inner runs and with bytes left over past each row.
    std::mt19937 random(7);
    for (int32_t width : {1, 2, 5, 255, 256, 257, 511, 513}) {
        for (int32_t bits : {16, 32}) {
            SCOPED_TRACE(::testing::Message() << width << " " << bits);
            const int32_t height = 3, stride = width + 6, chromaStride = stride / 2;
            std::vector<uint8_t> y(size_t(stride) * height), u(size_t(chromaStride) * 2), v(u.size());
            for (auto* plane : {&y, &u, &v})
                for (uint8_t& b : *plane) b = uint8_t(random());
            const int32_t pitch = width * bits / 8 + 4;
            std::vector<uint8_t> out(size_t(pitch) * height, 0xEE);
            KVYUVConverter::Convert(y.data(), u.data(), v.data(), stride, width, height, out.data(), pitch, bits);
            for (int32_t row = 0; row < height; ++row)
                for (int32_t x = 0; x < width; ++x) {
                    const size_t c = size_t(row / 2) * chromaStride + size_t(x / 2);
                    const KVYUVConverter::Rgb want = KVYUVConverter::ToRgb(y[size_t(row) * stride + x], u[c], v[c]);
                    const uint8_t* got = &out[size_t(row) * pitch + size_t(x) * size_t(bits / 8)];
                    if (bits == 16) {
                        uint16_t word;
                        std::memcpy(&word, got, 2);
                        ASSERT_EQ(word, KVYUVConverter::ToRgb565(want)) << x << "," << row;
                    } else {
                        ASSERT_EQ(got[0], want.red) << x << "," << row;
                        ASSERT_EQ(got[1], want.green) << x << "," << row;
                        ASSERT_EQ(got[2], want.blue) << x << "," << row;
                        ASSERT_EQ(got[3], 0);
                    }
                }
            for (int32_t row = 0; row < height; ++row)  // the pitch's spare bytes stay
                for (int32_t i = width * bits / 8; i < pitch; ++i) ASSERT_EQ(out[size_t(row) * pitch + i], 0xEE);
        }
    }
}

} // namespace
