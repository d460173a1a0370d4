// Texture resources on a device held in memory: how sizes are cut into
// frames, what a failed creation leaves, pixels and gutters of each frame,
// multi-frame locks, alpha masks, and the texture's life in the resource
// manager (sharing, release, freeing and reloading, invalidation).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "graphics/KVGraphic.h"
#include "graphics/KVResourceTexture.h"
#include "kernel/KVResources.h"
#include "support/KVFakeGraphicDevice.h"
#include "support/KVFakeTexture.h"
#include "support/KVJpegWriter.h"
#include "support/KVPngWriter.h"
#include "support/KVTestLog.h"
#include "support/KVTextureHost.h"

using namespace kvl;
using kvtest::KVFakeTexture;

namespace {

// A picture whose every pixel tells where it is.
uint32_t Pattern(uint32_t x, uint32_t y) { return 0xFF000000u | (x & 0xFF) << 16 | (y & 0xFF) << 8 | ((x * 7 + y) & 0xFF); }

std::vector<uint32_t> Picture(uint32_t width, uint32_t height) {
    std::vector<uint32_t> pixels;
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) pixels.push_back(Pattern(x, y));
    return pixels;
}

KVFakeTexture* Fake(IKVTexture* texture) { return static_cast<KVFakeTexture*>(texture); }

class KVResourceTextureTest : public ::testing::Test {
protected:
    kvtest::KVTestLog log;
    kvtest::KVFakeGraphicDevice device;
    kvtest::KVTextureHost host{&device};

    KVResourceTexture* Empty(int32_t width, int32_t height, uint32_t format = KVTEXFMT_BGRA, int32_t* status = nullptr) {
        IKVResourceTexture* texture = nullptr;
        const int32_t result = host.Graphic().CreateTexture({width, height}, format, &texture, 0);
        if (status) *status = result;
        return static_cast<KVResourceTexture*>(texture);
    }
    void SetPicture(const std::string& name, uint32_t width, uint32_t height) {
        host.SetFile(name, kvtest::WritePngArgb(width, height, Picture(width, height)));
    }
};

struct Frame {
    int32_t x, y, width, height;      // part of the image
    int32_t deviceWidth, deviceHeight;  // its device texture
};

std::vector<Frame> FramesOf(KVResourceTexture* texture) {
    std::vector<Frame> frames;
    for (int32_t i = 0; i < texture->GetFrameCount(); ++i) {
        const KVTextureFrame* f = texture->GetFrame(i);
        const KVDeviceSize* size = f->texture->GetSize();
        frames.push_back({f->x, f->y, f->width, f->height, size->width, size->height});
    }
    return frames;
}

bool operator==(const Frame& a, const Frame& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

std::ostream& operator<<(std::ostream& out, const Frame& f) {
    return out << "{" << f.x << "," << f.y << " " << f.width << "x" << f.height << " on " << f.deviceWidth << "x"
               << f.deviceHeight << "}";
}

// ---- frames ----

TEST_F(KVResourceTextureTest, SizesAreCutIntoFramesByTheDeviceLimitAndThePowerOfTwoRule) {
    struct Case {
        const char* what;
        int32_t width, height;
        KVDeviceSize max;
        bool devicePow2, forcePow2;
        std::vector<Frame> frames;
    };
    const Case cases[] = {
        // 300 rounds up to 304: rows of 256, 32 and 16, the last covering 12.
        {"wide, powers of two", 1024, 300, {512, 512}, true, false,
         {{0, 0, 512, 256, 512, 256}, {512, 0, 512, 256, 512, 256}, {0, 256, 512, 32, 512, 32},
          {512, 256, 512, 32, 512, 32}, {0, 288, 512, 12, 512, 16}, {512, 288, 512, 12, 512, 16}}},
        {"fits, no rule", 300, 200, {2048, 2048}, false, false, {{0, 0, 300, 200, 300, 200}}},
        {"fits as powers of two", 256, 64, {512, 512}, true, false, {{0, 0, 256, 64, 256, 64}}},
        // ForcePow2 on a device that does not need it: 304 x 208 in tiles.
        {"ForcePow2", 300, 40, {2048, 2048}, false, true,
         {{0, 0, 256, 32, 256, 32}, {256, 0, 32, 32, 32, 32}, {288, 0, 12, 32, 16, 32},
          {0, 32, 256, 8, 256, 16}, {256, 32, 32, 8, 32, 16}, {288, 32, 12, 8, 16, 16}}},
        // Without the rule, tiles are cut at the limit and not rounded.
        {"too large, no rule", 700, 300, {512, 256}, false, false,
         {{0, 0, 512, 256, 512, 256}, {512, 0, 188, 256, 188, 256}, {0, 256, 512, 44, 512, 44},
          {512, 256, 188, 44, 188, 44}}},
        // Sizes of 16 and less become tiles of 16.
        {"tiny, powers of two", 5, 3, {512, 512}, true, false, {{0, 0, 5, 3, 16, 16}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        device.maxTextureSize = c.max;
        device.capabilities = c.devicePow2 ? KVDEVICE_CAP_POW2_TEXTURES : 0;
        host.Graphic().SetDevice(&device);
        host.Graphic().SetForcePow2(c.forcePow2);
        KVResourceTexture* texture = Empty(c.width, c.height);
        ASSERT_NE(texture, nullptr);
        EXPECT_EQ(FramesOf(texture), c.frames);
        // Only the first device texture is marked as the first.
        for (int32_t i = 0; i < texture->GetFrameCount(); ++i)
            EXPECT_EQ(Fake(texture->GetFrame(i)->texture)->Descriptor().flag3, i == 0 ? 1 : 0);
        texture->Release();
    }
    EXPECT_EQ(KVFakeTexture::Alive(), 0);
}

TEST_F(KVResourceTextureTest, CreationThatCannotBeDoneLeavesNoDeviceTexture) {
    device.maxTextureSize = {512, 512};
    device.capabilities = KVDEVICE_CAP_POW2_TEXTURES;
    host.Graphic().SetDevice(&device);
    // The device fails at the fourth of six tiles.
    device.texturesBeforeFailure = 3;
    int32_t status = 0;
    EXPECT_EQ(Empty(1024, 300, KVTEXFMT_BGRA, &status), nullptr);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(KVFakeTexture::Alive(), 0);
    EXPECT_EQ(host.Resources().GetUnmanagedCount(), 0u);

    // A format the device does not take, and a zero size.
    device.texturesBeforeFailure = -1;
    EXPECT_EQ(Empty(16, 16, KVTEXFMT_PVRTC_RGBA4, &status), nullptr);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(Empty(0, 16, KVTEXFMT_BGRA, &status), nullptr);
    EXPECT_EQ(status, 1);

    // A size that fits may not be made as several frames only.
    auto* texture = new KVResourceTexture();
    KVTextureDesc desc;
    desc.width = 64;
    desc.height = 64;
    EXPECT_EQ(texture->CreateResources("", desc, true), 1);
    EXPECT_EQ(texture->GetFrameCount(), 0);
    EXPECT_EQ(texture->CreateResources("", desc, false), 0);
    EXPECT_EQ(texture->GetFrameCount(), 1);
    texture->Release();
    EXPECT_EQ(KVFakeTexture::Alive(), 0);
}

// Sizes come from files and scripts: a picture larger than the device can
// hold (a side or its bytes over the bound) is refused before any device
// texture is made, rather than cut into more frames than memory holds.
TEST_F(KVResourceTextureTest, PicturesLargerThanTheDeviceHoldsAreRefusedWhole) {
    struct Case {
        int32_t width, height;
        bool made;
    };
    const int32_t side = int32_t(KVResourceTexture::kMaxSide);
    const Case cases[] = {
        {side, 1, true},           {1, side, true},           {side + 1, 1, false},
        {1, side + 1, false},      {8193, 8192, false},       {40, 2137483647, false},
        {2137483647, 40, false},   {INT32_MAX, INT32_MAX, false}, {16384, 16385, false},
    };
    // A safety net: the old cutting would go on until memory is gone.
    device.texturesBeforeFailure = 64;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        device.createdTextures = 0;
        int32_t status = 0;
        KVResourceTexture* texture = Empty(c.width, c.height, KVTEXFMT_BGRA, &status);
        EXPECT_EQ(texture != nullptr, c.made);
        EXPECT_EQ(status, c.made ? 0 : 1);
        if (texture) texture->Release();
        if (!c.made) {
            EXPECT_EQ(device.createdTextures, 0);
        }
        device.texturesBeforeFailure = 64;
    }
    EXPECT_TRUE(KVResourceTexture::FitsDevice(8192, 8192));
    EXPECT_FALSE(KVResourceTexture::FitsDevice(0, 8));
    EXPECT_EQ(KVFakeTexture::Alive(), 0);
    EXPECT_EQ(host.Resources().GetUnmanagedCount(), 0u);
}

// ---- pixels ----

TEST_F(KVResourceTextureTest, EachFrameHoldsItsPartOfThePictureWithAGutter) {
    device.maxTextureSize = {16, 16};
    device.capabilities = KVDEVICE_CAP_POW2_TEXTURES;
    host.Graphic().SetDevice(&device);
    SetPicture("img/big.png", 40, 20);
    KVResourceTexture* texture = host.Load("img/big.png");
    ASSERT_NE(texture, nullptr);
    ASSERT_EQ(texture->GetFrameCount(), 6);
    EXPECT_EQ(texture->GetImageSize()[0], 40);
    EXPECT_EQ(texture->GetImageSize()[1], 20);
    for (int32_t i = 0; i < 6; ++i) {
        const KVTextureFrame* frame = texture->GetFrame(i);
        SCOPED_TRACE(i);
        KVFakeTexture* fake = Fake(frame->texture);
        const KVDeviceSize size = *fake->GetSize();
        for (int32_t y = 0; y < size.height; ++y)
            for (int32_t x = 0; x < size.width; ++x) {
                // Inside: the picture; one column and one row past it: the
                // edge repeated; beyond: untouched.
                const bool column = x <= frame->width && (x < frame->width || frame->width < size.width);
                const bool row = y <= frame->height && (y < frame->height || frame->height < size.height);
                const uint32_t expected = column && row
                                              ? Pattern(uint32_t(frame->x + std::min(x, frame->width - 1)),
                                                        uint32_t(frame->y + std::min(y, frame->height - 1)))
                                              : 0u;
                ASSERT_EQ(fake->PixelAt(x, y), expected) << x << "," << y;
            }
    }
    texture->Release();
}

TEST_F(KVResourceTextureTest, LockAcrossFramesLandsInEachAndRefusesRectanglesOutside) {
    device.maxTextureSize = {16, 16};
    device.capabilities = KVDEVICE_CAP_POW2_TEXTURES;
    host.Graphic().SetDevice(&device);
    KVResourceTexture* texture = Empty(40, 20);
    ASSERT_NE(texture, nullptr);
    ASSERT_EQ(texture->GetFrameCount(), 6);  // 16 x 16 tiles covering 16, 16, 8 wide; 16, 4 high

    void* data = nullptr;
    int32_t pitch = 0;
    uint32_t flag = 0;
    const KVDeviceRect bad[] = {{-1, 0, 4, 4}, {0, 0, 41, 4}, {0, 0, 4, 21}, {5, 5, 5, 9}, {9, 5, 4, 9}, {0, 9, 4, 3}};
    for (const KVDeviceRect& r : bad) {
        EXPECT_EQ(texture->Lock(&r, &data, &pitch, &flag), 1);
        EXPECT_EQ(data, nullptr);
    }
    EXPECT_EQ(texture->Unlock(), 1);

    const KVDeviceRect rect = {10, 5, 40, 20};
    ASSERT_EQ(texture->Lock(&rect, &data, &pitch, &flag), 0);
    EXPECT_EQ(pitch, 30 * 4);
    EXPECT_EQ(flag, 1u);
    for (int32_t y = 0; y < 15; ++y)
        for (int32_t x = 0; x < 30; ++x) {
            const uint32_t p = Pattern(uint32_t(x + 10), uint32_t(y + 5));
            std::memcpy(static_cast<uint8_t*>(data) + y * pitch + x * 4, &p, 4);
        }
    ASSERT_EQ(texture->Unlock(), 0);
    for (int32_t i = 0; i < texture->GetFrameCount(); ++i) {
        const KVTextureFrame* frame = texture->GetFrame(i);
        KVFakeTexture* fake = Fake(frame->texture);
        for (int32_t y = 0; y < frame->height; ++y)
            for (int32_t x = 0; x < frame->width; ++x) {
                const int32_t ix = frame->x + x, iy = frame->y + y;
                const bool inside = ix >= 10 && iy >= 5;
                ASSERT_EQ(fake->PixelAt(x, y), inside ? Pattern(uint32_t(ix), uint32_t(iy)) : 0u) << ix << "," << iy;
            }
    }
    // Past the picture's last column and row the edge is repeated once.
    KVFakeTexture* right = Fake(texture->GetFrame(2)->texture);  // x 32: 8 wide on 16
    EXPECT_EQ(right->PixelAt(8, 15), Pattern(39, 15));
    EXPECT_EQ(right->PixelAt(9, 15), 0u);
    KVFakeTexture* corner = Fake(texture->GetFrame(5)->texture);  // x 32, y 16: 8 x 4 on 16 x 16
    EXPECT_EQ(corner->PixelAt(8, 4), Pattern(39, 19));
    EXPECT_EQ(corner->PixelAt(3, 4), Pattern(35, 19));
    KVFakeTexture* below = Fake(texture->GetFrame(3)->texture);  // y 16: 4 high on 16
    EXPECT_EQ(below->PixelAt(12, 4), Pattern(12, 19));
    EXPECT_EQ(below->PixelAt(5, 4), 0u);

    // A lock that stops above a frame's last row leaves the rows below alone.
    const KVDeviceRect top = {0, 0, 4, 3};
    ASSERT_EQ(texture->Lock(&top, &data, &pitch, &flag), 0);
    std::memset(data, 0xAB, size_t(pitch) * 3);
    ASSERT_EQ(texture->Unlock(), 0);
    KVFakeTexture* first = Fake(texture->GetFrame(0)->texture);
    EXPECT_EQ(first->PixelAt(3, 2), 0xABABABABu);
    EXPECT_EQ(first->PixelAt(3, 3), 0u);
    EXPECT_EQ(first->PixelAt(4, 2), 0u);
    texture->Release();
}

TEST_F(KVResourceTextureTest, PicturesWiderThanTheirDeviceTextureGetAGutterOnTheSingleFrame) {
    device.capabilities = KVDEVICE_CAP_POW2_TEXTURES;
    host.Graphic().SetDevice(&device);
    SetPicture("img/odd.png", 5, 3);  // one 16 x 16 tile
    KVResourceTexture* texture = host.Load("img/odd.png");
    ASSERT_NE(texture, nullptr);
    ASSERT_EQ(texture->GetFrameCount(), 1);
    KVFakeTexture* fake = Fake(texture->PeekDeviceTexture());
    EXPECT_EQ(fake->PixelAt(4, 2), Pattern(4, 2));
    EXPECT_EQ(fake->PixelAt(5, 1), Pattern(4, 1));
    EXPECT_EQ(fake->PixelAt(2, 3), Pattern(2, 2));
    EXPECT_EQ(fake->PixelAt(6, 1), 0u);
    EXPECT_EQ(fake->PixelAt(2, 4), 0u);
    texture->Release();
}

TEST_F(KVResourceTextureTest, ClearPixelsClearsTheLockedRowsOfAnyFormat) {
    for (uint32_t format : {uint32_t(KVTEXFMT_BGRA), uint32_t(KVTEXFMT_RGB565)}) {
        SCOPED_TRACE(format);
        KVResourceTexture* texture = Empty(7, 3, format);
        ASSERT_NE(texture, nullptr);
        void* data = nullptr;
        int32_t pitch = 0;
        uint32_t flag = 0;
        ASSERT_EQ(texture->Lock(nullptr, &data, &pitch, &flag), 0);
        EXPECT_EQ(pitch, format == KVTEXFMT_RGB565 ? 14 : 28);
        std::memset(data, 0x5A, size_t(pitch) * 3);
        ASSERT_EQ(texture->Unlock(), 0);
        EXPECT_EQ(texture->ClearPixels(), 0);
        for (uint8_t byte : Fake(texture->PeekDeviceTexture())->Pixels()) ASSERT_EQ(byte, 0);
        texture->Release();
    }
    // Without frames there is nothing to clear, lock or copy into.
    auto* none = new KVResourceTexture();
    void* data = nullptr;
    int32_t pitch = 0;
    uint32_t flag = 0;
    const uint8_t plane[4] = {};
    const uint8_t* planes[3] = {plane, plane, plane};
    EXPECT_EQ(none->ClearPixels(), 1);
    EXPECT_EQ(none->Lock(nullptr, &data, &pitch, &flag), 1);
    EXPECT_EQ(none->Unlock(), 1);
    EXPECT_EQ(none->CopyPixels(nullptr, planes, 2), 1);
    none->Release();
}

TEST_F(KVResourceTextureTest, YuvPicturesReachEachFrameAtItsOwnPlace) {
    device.maxTextureSize = {16, 16};
    host.Graphic().SetDevice(&device);
    KVResourceTexture* texture = Empty(24, 20, KVTEXFMT_RGB565);
    ASSERT_EQ(texture->GetFrameCount(), 4);
    std::vector<uint8_t> luma(24 * 20), u(12 * 10), v(12 * 10);
    const uint8_t* planes[3] = {luma.data(), u.data(), v.data()};
    // Several frames answer 1, each frame having its part.
    EXPECT_EQ(texture->CopyPixels(nullptr, planes, 24), 1);
    for (int32_t i = 0; i < 4; ++i) {
        const KVTextureFrame* frame = texture->GetFrame(i);
        KVFakeTexture* fake = Fake(frame->texture);
        ASSERT_EQ(fake->copies.size(), 1u);
        EXPECT_EQ(fake->copies[0].right, frame->width);
        EXPECT_EQ(fake->copies[0].bottom, frame->height);
        EXPECT_EQ(fake->copiedLuma[0], luma.data() + frame->x + 24 * frame->y);
    }
    texture->Release();

    KVResourceTexture* one = Empty(8, 8, KVTEXFMT_RGB565);
    const KVDeviceRect part = {0, 0, 4, 2};
    EXPECT_EQ(one->CopyPixels(&part, planes, 8), 0);
    EXPECT_EQ(Fake(one->PeekDeviceTexture())->copies[0].right, 4);
    one->Release();
}

// ---- alpha masks ----

TEST_F(KVResourceTextureTest, AlphaMaskHasOneBitPerPixelLeastSignificantFirst) {
    // 10 x 2: rows of two mask bytes; alpha 0 only at (0, 0), (9, 0) and (3, 1).
    std::vector<uint32_t> pixels(20, 0x80102030u);
    pixels[0] = pixels[9] = pixels[13] = 0x00FFFFFFu;
    host.SetFile("img/mask.png", kvtest::WritePngArgb(10, 2, pixels));
    host.SetFile("img/nomask.png", kvtest::WritePngArgb(10, 2, pixels));
    KVResourceTexture* masked = host.Load("img/mask.png", 8);
    ASSERT_NE(masked, nullptr);
    const uint8_t* data = nullptr;
    int32_t pitch = 0;
    const int32_t* size = nullptr;
    ASSERT_EQ(masked->GetAlphaMask(&data, &pitch, &size), 0);
    EXPECT_EQ(pitch, 2);
    EXPECT_EQ(size[0], 10);
    EXPECT_EQ(size[1], 2);
    EXPECT_EQ(std::vector<uint8_t>(data, data + 4), (std::vector<uint8_t>{0xFE, 0x01, 0xF7, 0x03}));

    // No mask without bit 3, nor for pictures without alpha (a JPEG).
    KVResourceTexture* plain = host.Load("img/nomask.png", 0);
    EXPECT_EQ(plain->GetAlphaMask(&data, &pitch, &size), 4);
    EXPECT_EQ(data, nullptr);
    host.SetFile("img/photo.jpg", kvtest::WriteRgbJpeg(8, 8, std::vector<uint8_t>(8 * 8 * 3, 90), 1, 1,
                                                       kvtest::FlatQuant(1), kvtest::FlatQuant(1)));
    KVResourceTexture* photo = host.Load("img/photo.jpg", 8);
    ASSERT_NE(photo, nullptr);
    EXPECT_EQ(photo->HasAlpha(), 0);
    EXPECT_EQ(photo->GetAlphaMask(&data, &pitch, &size), 4);
    masked->Release();
    plain->Release();
    photo->Release();
}

TEST_F(KVResourceTextureTest, TiledPicturesGetTheirMaskFromTheWholePicture) {
    device.maxTextureSize = {16, 16};
    host.Graphic().SetDevice(&device);
    std::vector<uint32_t> pixels(20 * 3, 0xFF000000u);
    pixels[19] = 0u;           // (19, 0)
    pixels[20 + 17] = 0u;      // (17, 1)
    host.SetFile("img/wide.png", kvtest::WritePngArgb(20, 3, pixels));
    KVResourceTexture* texture = host.Load("img/wide.png", 8);
    ASSERT_NE(texture, nullptr);
    ASSERT_EQ(texture->GetFrameCount(), 2);
    const uint8_t* data = nullptr;
    int32_t pitch = 0;
    ASSERT_EQ(texture->GetAlphaMask(&data, &pitch, nullptr), 0);
    EXPECT_EQ(pitch, 3);
    EXPECT_EQ(std::vector<uint8_t>(data, data + 6), (std::vector<uint8_t>{0xFF, 0xFF, 0x07, 0xFF, 0xFF, 0x0D}));
    texture->Release();
}

// ---- life in the resource manager ----

TEST_F(KVResourceTextureTest, SameNameSameTextureAndTheLastReleaseLeavesManagerAndStages) {
    SetPicture("img/a.png", 4, 4);
    KVResourceTexture* first = host.Load("img/a.png");
    KVResourceTexture* second = host.Load("img/a.png");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, second);
    EXPECT_EQ(first->GetRefCount(), 2);
    EXPECT_EQ(first->IsManaged(), 1);
    EXPECT_EQ(std::string(first->GetName()), "data/img/a.png");
    EXPECT_EQ(host.Resources().GetManagedCount(), 1u);

    host.Graphic().SetTextureStage(2, first);
    host.Graphic().SetTextureStage(5, first);
    first->Release();
    EXPECT_EQ(host.Graphic().GetStageTexture(2), first);
    second->Release();
    EXPECT_EQ(host.Resources().GetManagedCount(), 0u);
    EXPECT_EQ(host.Resources().FindLoaded("data/img/a.png"), nullptr);
    EXPECT_EQ(host.Graphic().GetStageTexture(2), nullptr);
    EXPECT_EQ(host.Graphic().GetStageTexture(5), nullptr);
    EXPECT_EQ(KVFakeTexture::Alive(), 0);
}

TEST_F(KVResourceTextureTest, FreedTexturesReloadOnUseAndUnnamedOnesComeBackLost) {
    SetPicture("img/a.png", 4, 4);
    KVResourceTexture* named = host.Load("img/a.png");
    KVResourceTexture* unnamed = Empty(8, 8);
    ASSERT_NE(named, nullptr);
    ASSERT_NE(unnamed, nullptr);
    EXPECT_EQ(unnamed->IsManaged(), 0);
    EXPECT_EQ(host.Resources().GetUnmanagedCount(), 1u);
    void* data = nullptr;
    int32_t pitch = 0;
    uint32_t flag = 0;
    ASSERT_EQ(unnamed->Lock(nullptr, &data, &pitch, &flag), 0);
    std::memset(data, 0x77, size_t(pitch) * 8);
    unnamed->Unlock();

    host.Resources().DropAllOfType(KVRESOURCE_TEXTURE);
    EXPECT_EQ(named->PeekDeviceTexture(), nullptr);
    EXPECT_EQ(unnamed->PeekDeviceTexture(), nullptr);
    EXPECT_EQ(KVFakeTexture::Alive(), 0);

    // The named one is read again from its file.
    IKVTexture* again = named->GetDeviceTexture();
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(Fake(again)->PixelAt(3, 2), Pattern(3, 2));
    EXPECT_EQ(named->TakeLostFlag(), 0);
    // The unnamed one comes back empty, and says so once.
    IKVTexture* empty = unnamed->GetDeviceTexture();
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(Fake(empty)->PixelAt(1, 1), 0u);
    EXPECT_EQ(unnamed->TakeLostFlag(), 1);
    EXPECT_EQ(unnamed->TakeLostFlag(), 0);
    named->Release();
    unnamed->Release();
    EXPECT_EQ(host.Resources().GetUnmanagedCount(), 0u);
}

TEST_F(KVResourceTextureTest, QueriesAnswerTheTextureIdOnly) {
    KVResourceTexture* texture = Empty(4, 4);
    void* out = nullptr;
    EXPECT_EQ(texture->QueryInterface(IID_IKVResourceTexture, &out), 0);
    EXPECT_EQ(out, static_cast<IKVResourceTexture*>(texture));
    EXPECT_EQ(texture->QueryInterface(IID_IKVResourceManager, &out), 2);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(texture->GetType(), KVRESOURCE_TEXTURE);
    EXPECT_EQ(texture->GetResolutionIndex(), -1);
    EXPECT_EQ(texture->GetRegion(), nullptr);
    EXPECT_EQ(texture->GetFrame(1), nullptr);
    EXPECT_EQ(texture->GetFrame(-1), nullptr);
    EXPECT_EQ(texture->GetDeviceTextureAt(3), nullptr);
    const KVDeviceRect* rect = nullptr;
    EXPECT_EQ(texture->GetSubImageRect(0, &rect), 0);
    texture->Release();
}

} // namespace
