#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "graphics/KVJpeg.h"
#include "support/KVJpegTestSupport.h"
#include "support/KVJpegWriter.h"
#include "support/KVTestImageHost.h"
#include "support/KVTestLog.h"

using namespace kvl;
using namespace kvtest;

namespace {

class KVJpegTest : public ::testing::Test {
protected:
    void* Open(const std::string& bytes, int32_t* status, const std::string& path = "img/photo.jpg") {
        host.SetFile(path, bytes);
        void* handle = nullptr;
        *status = reader->Open(path.c_str(), &handle);
        return handle;
    }

    KVTestLog log;
    KVTestImageHost host;
    IKVImageReader* reader = host.Jpeg();
};

std::string Solid(uint32_t w, uint32_t h, uint8_t r, uint8_t g, uint8_t b, const JpegWriteOptions& options = {}) {
    std::vector<uint8_t> rgb;
    for (uint32_t i = 0; i < w * h; ++i) rgb.insert(rgb.end(), {r, g, b});
    return WriteRgbJpeg(w, h, rgb, 2, 2, FlatQuant(1), FlatQuant(1), options);
}

std::string Textured(uint32_t w, uint32_t h, const JpegWriteOptions& options = {}) {
    std::vector<uint8_t> rgb;
    for (uint32_t i = 0; i < w * h; ++i) rgb.insert(rgb.end(), {uint8_t(i * 7), uint8_t(i / 3), uint8_t(255 - i)});
    return WriteRgbJpeg(w, h, rgb, 2, 1, LumaQuant(80), ChromaQuant(80), options);
}

} // namespace

TEST_F(KVJpegTest, ServesJpgOnly) {
    EXPECT_STREQ(reader->GetExtension(), "jpg");
    EXPECT_EQ(reader->GetExtensions(), nullptr);
}

TEST_F(KVJpegTest, ColourPixelArrivesAsBlueGreenRedOpaque) {
    for (bool progressive : {false, true}) {
        JpegWriteOptions options;
        options.progressive = progressive;
        int32_t status = -1;
        void* handle = Open(Solid(20, 10, 200, 100, 50, options), &status);
        ASSERT_EQ(status, 0);
        KVImageInfo info{};
        ASSERT_EQ(reader->GetInfo(handle, &info), 0);
        EXPECT_EQ(info.format, 259u);
        EXPECT_EQ(info.width, 20u);
        EXPECT_EQ(info.height, 10u);
        EXPECT_EQ(info.byteSize, 800u);
        EXPECT_EQ(info.hasAlpha, 0);
        EXPECT_EQ(info.tiledOnly + info.readerMask + info.spare + info.frameData, 0u);
        std::vector<uint8_t> pixels(info.byteSize);
        ASSERT_EQ(reader->Read(handle, pixels.data(), info.byteSize), 0);
        for (size_t i = 0; i < 200; ++i) {
            ASSERT_EQ(pixels[i * 4 + 0], 50);
            ASSERT_EQ(pixels[i * 4 + 1], 100);
            ASSERT_EQ(pixels[i * 4 + 2], 200);
            ASSERT_EQ(pixels[i * 4 + 3], 255);
        }
        // The image is all read: asking for more fails.
        EXPECT_EQ(reader->Read(handle, pixels.data(), 4), 1);
        EXPECT_EQ(reader->Close(handle), 0);
        EXPECT_EQ(host.Files().OpenHandles(), 0);
    }
}

TEST_F(KVJpegTest, SuccessiveReadsContinueFromTheCurrentLine) {
    const std::string jpeg = Textured(16, 8);
    DecodedJpeg reference = DecodeJpeg(jpeg);
    ASSERT_TRUE(reference.Complete());
    int32_t status = -1;
    void* handle = Open(jpeg, &status);
    ASSERT_EQ(status, 0);
    std::vector<uint8_t> pixels(16 * 8 * 4);
    ASSERT_EQ(reader->Read(handle, pixels.data(), 16 * 4 * 3), 0);
    ASSERT_EQ(reader->Read(handle, pixels.data() + 16 * 4 * 3, 16 * 4 * 5), 0);
    for (size_t i = 0; i < 16 * 8; ++i) {
        ASSERT_EQ(pixels[i * 4 + 0], reference.pixels[i * 4 + 2]);
        ASSERT_EQ(pixels[i * 4 + 1], reference.pixels[i * 4 + 1]);
        ASSERT_EQ(pixels[i * 4 + 2], reference.pixels[i * 4 + 0]);
        ASSERT_EQ(pixels[i * 4 + 3], 255);
    }
    reader->Close(handle);
}

TEST_F(KVJpegTest, GreyscaleOpensButIsNotRead) {
    std::vector<uint8_t> grey(64, 90);
    const std::string jpeg = WriteJpeg(MakeJpegCoefficients(8, 8, {grey}, {{1, 1, 1, 0}}, {FlatQuant(2)}));
    int32_t status = -1;
    void* handle = Open(jpeg, &status);
    ASSERT_EQ(status, 0);
    KVImageInfo info{};
    reader->GetInfo(handle, &info);
    EXPECT_EQ(info.byteSize, 256u);
    std::vector<uint8_t> pixels(256);
    EXPECT_EQ(reader->Read(handle, pixels.data(), 256), 1);
    reader->Close(handle);
    EXPECT_EQ(host.Files().OpenHandles(), 0);
}

TEST_F(KVJpegTest, HeaderFailuresFailTheOpenAndLaterOnesTheRead) {
    int32_t status = -1;
    EXPECT_EQ(Open(std::string(700, 'x'), &status), nullptr);
    EXPECT_EQ(status, 1);
    void* handle = nullptr;
    EXPECT_EQ(reader->Open("img/missing.jpg", &handle), 1);
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(host.Files().OpenHandles(), 0);
    // Four components are refused when decoding starts: the open succeeds,
    // the pixels do not.
    const std::string cmyk =
        WriteJpeg(MakeEmptyJpegCoefficients(8, 8, {{1, 1, 1, 0}, {2, 1, 1, 0}, {3, 1, 1, 0}, {4, 1, 1, 0}},
                                            {FlatQuant(1)}));
    handle = Open(cmyk, &status);
    ASSERT_EQ(status, 0);
    std::vector<uint8_t> pixels(256);
    EXPECT_EQ(reader->Read(handle, pixels.data(), 256), 1);
    reader->Close(handle);
    EXPECT_TRUE(log.Lines().empty());
}

// A cut file fails or gives a picture: the whole one for a sequential file,
// and for a progressive one the picture of the scans before the cut, as if
// its end marker stood there.
TEST_F(KVJpegTest, CutAtEveryOffsetFailsOrGivesThePictureOfItsWholeScans) {
    JpegWriteOptions options;
    options.restartInterval = 1;
    for (bool progressive : {false, true}) {
        options.progressive = progressive;
        const std::string jpeg = Textured(18, 10, options);
        std::vector<uint8_t> whole(18 * 10 * 4);
        int32_t status = -1;
        void* handle = Open(jpeg, &status);
        ASSERT_EQ(reader->Read(handle, whole.data(), uint32_t(whole.size())), 0);
        reader->Close(handle);
        for (size_t cut = 0; cut < jpeg.size(); ++cut) {
            handle = Open(jpeg.substr(0, cut), &status);
            if (status != 0) continue;
            std::vector<uint8_t> pixels(whole.size());
            const bool read = reader->Read(handle, pixels.data(), uint32_t(pixels.size())) == 0;
            reader->Close(handle);
            ASSERT_EQ(host.Files().OpenHandles(), 0);
            if (!read) continue;
            if (!progressive) {
                EXPECT_EQ(pixels, whole) << cut;
                continue;
            }
            std::vector<uint8_t> ended(whole.size());
            handle = Open(jpeg.substr(0, cut) + "\xFF\xD9", &status);
            ASSERT_EQ(status, 0) << cut;
            EXPECT_EQ(reader->Read(handle, ended.data(), uint32_t(ended.size())), 0) << cut;
            reader->Close(handle);
            EXPECT_EQ(pixels, ended) << cut;
        }
    }
}
