#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "graphics/KVPNGInterface.h"
#include "support/KVImageLoad.h"
#include "support/KVPngWriter.h"
#include "support/KVTestImageHost.h"
#include "support/KVTestLog.h"

using namespace kvl;
using namespace kvtest;

namespace {

const char kNotPng[] = "PNG open error: not a valid png file";
const char kBadDepth[] = "PNG open error: unsupported png bit depth";
const char kBadType[] = "PNG open error: png type is not supported (not rgb or rgb+alpha)";

using Loaded = KVLoadedImage;

class KVPNGInterfaceTest : public ::testing::Test {
protected:
    Loaded Load(const std::string& bytes, const std::string& path = "img/picture.png") {
        return LoadImage(host, reader, bytes, path);
    }

    KVTestLog log;
    KVTestImageHost host;
    IKVImageReader* reader = host.Png();
};

PngImage Rgb(uint32_t w, uint32_t h, std::vector<uint16_t> samples, int type = 2) {
    PngImage image;
    image.width = w;
    image.height = h;
    image.colourType = type;
    image.samples = std::move(samples);
    return image;
}

PngImage Palette(uint32_t w, uint32_t h, int depth, std::vector<uint16_t> indexes, size_t entries = 16) {
    PngImage image = Rgb(w, h, std::move(indexes), 3);
    image.bitDepth = depth;
    for (size_t i = 0; i < entries; ++i) image.palette.push_back({uint8_t(i * 10), uint8_t(i * 10 + 1), uint8_t(i * 10 + 2)});
    return image;
}

// B, G, R, A bytes of palette entry i of Palette() with an alpha.
std::vector<uint8_t> Entry(int i, uint8_t alpha = 255) {
    return {uint8_t(i * 10 + 2), uint8_t(i * 10 + 1), uint8_t(i * 10), alpha};
}

std::vector<uint8_t> Joined(std::initializer_list<std::vector<uint8_t>> pixels) {
    std::vector<uint8_t> out;
    for (const auto& p : pixels) out.insert(out.end(), p.begin(), p.end());
    return out;
}

} // namespace

TEST_F(KVPNGInterfaceTest, ServesPngAndTakesTgaAndBmpNames) {
    EXPECT_STREQ(reader->GetExtension(), "png");
    const char* list = reader->GetExtensions();
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(std::string(list, 9), std::string("tga\0bmp\0\0", 9));
    const std::string png = WritePng(Rgb(1, 1, {10, 20, 30}));
    for (const char* path : {"a.png", "a.tga", "a.bmp", "no-extension"}) {
        Loaded l = Load(png, path);
        EXPECT_EQ(l.open, 0) << path;
        EXPECT_EQ(l.read, 0) << path;
    }
    EXPECT_TRUE(log.Lines().empty());
}

TEST_F(KVPNGInterfaceTest, PixelsArriveAsBlueGreenRedAlpha) {
    struct Case {
        const char* name;
        PngImage image;
        uint8_t hasAlpha;
        std::vector<uint8_t> expected;
    };
    PngImage trns = Palette(5, 1, 8, {0, 1, 2, 3, 4});
    trns.transparency = {255, 128, 255};
    PngImage opaqueTrns = Palette(2, 1, 8, {0, 1});
    opaqueTrns.transparency = {255, 255};
    // A colour key makes its colour transparent, and only that colour.
    PngImage keyed = Rgb(3, 1, {10, 20, 30, 10, 20, 31, 10, 20, 30});
    keyed.colourKey = {10, 20, 30};
    PngImage keyedNowhere = Rgb(2, 1, {1, 2, 3, 4, 5, 6});
    keyedNowhere.colourKey = {7, 8, 9};
    const std::vector<Case> cases = {
        {"RGB", Rgb(1, 1, {10, 20, 30}), 0, {30, 20, 10, 255}},
        {"RGBA", Rgb(2, 1, {10, 20, 30, 40, 1, 2, 3, 255}, 6), 1, {30, 20, 10, 40, 3, 2, 1, 255}},
        {"8-bit palette, odd width", Palette(3, 2, 8, {0, 5, 15, 2, 2, 1}), 0,
         Joined({Entry(0), Entry(5), Entry(15), Entry(2), Entry(2), Entry(1)})},
        {"4-bit palette, byte 0x12", Palette(2, 1, 4, {1, 2}), 0, Joined({Entry(1), Entry(2)})},
        {"4-bit palette, odd width", Palette(3, 2, 4, {15, 0, 7, 8, 9, 10}), 0,
         Joined({Entry(15), Entry(0), Entry(7), Entry(8), Entry(9), Entry(10)})},
        {"tRNS of 3 with one 128", trns, 1,
         Joined({Entry(0), Entry(1, 128), Entry(2), Entry(3), Entry(4)})},
        {"tRNS all opaque", opaqueTrns, 0, Joined({Entry(0), Entry(1)})},
        {"RGB colour key", keyed, 1, {30, 20, 10, 0, 31, 20, 10, 255, 30, 20, 10, 0}},
        {"RGB colour key no pixel has", keyedNowhere, 1, {3, 2, 1, 255, 6, 5, 4, 255}},
    };
    for (const Case& c : cases) {
        Loaded l = Load(WritePng(c.image));
        ASSERT_EQ(l.open, 0) << c.name;
        EXPECT_EQ(l.read, 0) << c.name;
        EXPECT_EQ(l.info.format, 259u);
        EXPECT_EQ(l.info.width, c.image.width);
        EXPECT_EQ(l.info.height, c.image.height);
        EXPECT_EQ(l.info.byteSize, c.image.width * c.image.height * 4);
        EXPECT_EQ(l.info.hasAlpha, c.hasAlpha) << c.name;
        EXPECT_EQ(l.info.tiledOnly + l.info.readerMask + l.info.spare + l.info.frameData, 0u);
        EXPECT_EQ(l.pixels, c.expected) << c.name;
    }
}

TEST_F(KVPNGInterfaceTest, InterlacedImagesMatchTheirPlainTwin) {
    std::vector<PngImage> images;
    std::vector<uint16_t> rgb, rgba, indexes;
    for (uint32_t i = 0; i < 13 * 11; ++i) {
        rgb.insert(rgb.end(), {uint16_t(i & 0xFF), uint16_t(i * 7 & 0xFF), uint16_t(i * 13 & 0xFF)});
        rgba.insert(rgba.end(), {uint16_t(i & 0xFF), uint16_t(i * 3 & 0xFF), 9, uint16_t(i * 5 & 0xFF)});
        indexes.push_back(uint16_t(i % 16));
    }
    images.push_back(Rgb(13, 11, rgb));
    images.push_back(Rgb(13, 11, rgba, 6));
    images.push_back(Palette(13, 11, 8, indexes));
    images.push_back(Palette(13, 11, 4, indexes));
    images.push_back(Rgb(13, 11, rgb));
    images.back().colourKey = {rgb[30], rgb[31], rgb[32]};
    for (PngImage& image : images) {
        Loaded plain = Load(WritePng(image));
        image.interlaced = true;
        Loaded interlaced = Load(WritePng(image));
        ASSERT_EQ(plain.read, 0);
        ASSERT_EQ(interlaced.read, 0);
        EXPECT_EQ(interlaced.pixels, plain.pixels);
    }
}

TEST_F(KVPNGInterfaceTest, RefusalsLogTheirLines) {
    PngImage grey = Rgb(2, 2, {1, 2, 3, 4}, 0);
    PngImage greyAlpha = Rgb(1, 1, {1, 2}, 4);
    PngImage wide = Rgb(1, 1, {1000, 2000, 3000});
    wide.bitDepth = 16;
    PngImage greyWide = grey;
    greyWide.bitDepth = 16;
    PngImage greyKeyed = grey;
    greyKeyed.colourKey = {2};
    PngImage wideKeyed = wide;
    wideKeyed.colourKey = {1000, 2000, 3000};
    const struct {
        const char* name;
        std::string bytes;
        const char* line;
    } cases[] = {
        {"1-bit palette", WritePng(Palette(8, 1, 1, {0, 1, 0, 1, 0, 1, 0, 1}, 2)), kBadDepth},
        {"2-bit palette", WritePng(Palette(4, 1, 2, {0, 1, 2, 3}, 4)), kBadDepth},
        {"16-bit RGB", WritePng(wide), kBadDepth},
        {"16-bit grey", WritePng(greyWide), kBadDepth},
        {"grey", WritePng(grey), kBadType},
        {"grey with alpha", WritePng(greyAlpha), kBadType},
        {"grey with a colour key", WritePng(greyKeyed), kBadType},
        {"16-bit RGB with a colour key", WritePng(wideKeyed), kBadDepth},
        {"TGA bytes", std::string("\0\0\2\0\0\0\0\0\0\0\0\0\1\0\1\0\x18\0\1\2\3", 21), kNotPng},
        {"shorter than a signature", std::string("\x89PNG", 4), kNotPng},
        {"huge", PngFile({PngIhdr(70000, 70000, 8, 2), PngIdat("")}), "PNG open error: image too large"},
    };
    for (const auto& c : cases) {
        log.Clear();
        Loaded l = Load(c.bytes, "img/x.tga");
        EXPECT_EQ(l.open, 1) << c.name;
        ASSERT_EQ(log.Lines().size(), 1u) << c.name;
        EXPECT_EQ(log.Lines()[0].text, c.line) << c.name;
        EXPECT_EQ(log.Lines()[0].level, 2) << c.name;
        EXPECT_EQ(host.Files().OpenHandles(), 0) << c.name;
    }
    log.Clear();
    void* handle = nullptr;
    EXPECT_EQ(reader->Open("img/missing.png", &handle), 1);
    EXPECT_EQ(handle, nullptr);
    EXPECT_TRUE(log.Lines().empty());
}

// Indices past the file's palette find opaque black entries.
TEST_F(KVPNGInterfaceTest, IndicesPastThePaletteAreOpaqueBlack) {
    const std::string plte = PngChunk("PLTE", std::string("\x10\x20\x30\x40\x50\x60", 6));
    Loaded eight = Load(PngFile({PngIhdr(3, 1, 8, 3), plte, PngIdat(std::string("\0\0\1\xC8", 4))}));
    ASSERT_EQ(eight.read, 0);
    EXPECT_EQ(eight.pixels, Joined({{0x30, 0x20, 0x10, 255}, {0x60, 0x50, 0x40, 255}, {0, 0, 0, 255}}));
    Loaded four = Load(PngFile({PngIhdr(2, 1, 4, 3), plte, PngIdat(std::string("\0\x1F", 2))}));
    ASSERT_EQ(four.read, 0);
    EXPECT_EQ(four.pixels, Joined({{0x60, 0x50, 0x40, 255}, {0, 0, 0, 255}}));
}

TEST_F(KVPNGInterfaceTest, ReadNeedsRoomForTheWholeImage) {
    host.SetFile("a.png", WritePng(Rgb(2, 2, std::vector<uint16_t>(12, 7))));
    void* handle = nullptr;
    ASSERT_EQ(reader->Open("a.png", &handle), 0);
    std::vector<uint8_t> small(15, 0xAB);
    EXPECT_EQ(reader->Read(handle, small.data(), 15), 1);
    EXPECT_EQ(small, std::vector<uint8_t>(15, 0xAB));
    reader->Close(handle);
}

TEST_F(KVPNGInterfaceTest, TinyFileClaimingTheLargestSizeFailsFast) {
    const std::string bytes = PngFile({PngIhdr(8192, 8192, 8, 6), PngIdat(std::string(64, '\0'))});
    host.SetFile("big.png", bytes);
    void* handle = nullptr;
    ASSERT_EQ(reader->Open("big.png", &handle), 0);
    KVImageInfo info{};
    reader->GetInfo(handle, &info);
    ASSERT_EQ(info.byteSize, 8192u * 8192u * 4u);
    std::unique_ptr<uint8_t[]> pixels(new uint8_t[info.byteSize]);
    EXPECT_EQ(reader->Read(handle, pixels.get(), info.byteSize), 1);
    reader->Close(handle);
    EXPECT_EQ(host.Files().OpenHandles(), 0);
}

// Whatever is cut away, the reader fails (1) or, when only the chunks after
// the image data went, gives the whole picture; nothing is left open.
TEST_F(KVPNGInterfaceTest, CutAtEveryOffsetFailsOrGivesTheWholePicture) {
    std::vector<uint16_t> rgba;
    for (int i = 0; i < 9 * 7; ++i) rgba.insert(rgba.end(), {uint16_t(i), uint16_t(3 * i), uint16_t(200 - i), 99});
    PngImage trns = Palette(9, 7, 4, std::vector<uint16_t>(63, 3));
    trns.transparency = {1, 2, 3};
    for (const PngImage& image : {Rgb(9, 7, rgba, 6), trns}) {
        const std::string png = WritePng(image);
        const Loaded whole = Load(png);
        ASSERT_EQ(whole.read, 0);
        const size_t end = png.size() - 12;  // IEND
        for (size_t cut = 0; cut < png.size(); ++cut) {
            Loaded l = Load(png.substr(0, cut));
            if (l.open == 0 && l.read == 0) {
                EXPECT_EQ(l.pixels, whole.pixels) << cut;
                EXPECT_GE(cut, end - 16) << cut;
            }
        }
    }
}

TEST_F(KVPNGInterfaceTest, BadChecksumsAndDamagedDataFail) {
    const std::string png = WritePng(Rgb(4, 4, std::vector<uint16_t>(48, 77)));
    std::string badHeaderCrc = png;
    badHeaderCrc[8 + 8 + 13] ^= 1;
    EXPECT_EQ(Load(badHeaderCrc).open, 1);
    const size_t idat = png.find("IDAT");
    std::string badDataCrc = png;
    const size_t length = (size_t(uint8_t(png[idat - 2])) << 8) | uint8_t(png[idat - 1]);
    badDataCrc[idat + 4 + length] ^= 1;
    Loaded l = Load(badDataCrc);
    EXPECT_EQ(l.open == 1 || l.read == 1, true);
    std::string damaged = PngFile({PngIhdr(4, 4, 8, 2), PngChunk("IDAT", std::string(20, '\x55'))});
    l = Load(damaged);
    EXPECT_EQ(l.open, 0);
    EXPECT_EQ(l.read, 1);
    EXPECT_EQ(Load(PngFile({PngIhdr(4, 4, 8, 2)})).open, 1);
    EXPECT_EQ(Load(PngFile({PngIhdr(0, 4, 8, 2)})).open, 1);
    EXPECT_EQ(host.Files().OpenHandles(), 0);
}
