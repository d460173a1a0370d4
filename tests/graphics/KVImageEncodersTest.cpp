// Images made at test time by other encoders (cjpeg, jpegtran and
// ImageMagick, scripts/packages.txt) through the image readers: each kind
// the readers take shows what the reference decoders show (djpeg's integer
// transform without smoothing within 3 levels, libpng's own decode
// exactly); each kind they refuse fails with the reader's failure code.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/KVImageLoad.h"
#include "support/KVImageTools.h"
#include "support/KVTestImageHost.h"
#include "support/KVTestLog.h"

using namespace kvl;
using namespace kvtest;

namespace {

struct Size {
    uint32_t width, height;
};
const Size kSizes[] = {{1, 1}, {17, 9}, {4095, 3}};

std::string SizeName(const Size& s) { return std::to_string(s.width) + "x" + std::to_string(s.height); }

// How the reader answers a file.
enum Outcome { kShown, kOpenFails, kReadFails };

class KVImageEncodersTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* program : {"cjpeg", "djpeg", "jpegtran"})
            ASSERT_TRUE(KVImageTools::Has(program)) << program << " (libjpeg-turbo-progs) makes these fixtures";
        convert = KVImageTools::Convert();
        ASSERT_FALSE(convert.empty()) << "ImageMagick makes these fixtures";
    }

    // Runs the command (it reads "in.ppm" or "in.pam" and writes "out.*").
    std::string Make(const std::string& command, const std::string& out) {
        std::remove(tools.Path(out).c_str());
        EXPECT_TRUE(tools.Run(command)) << command;
        return tools.Get(out);
    }

    KVTestLog log;
    KVTestImageHost host;
    KVImageTools tools;
    std::string convert;
};

// An APP1 "Exif" segment with a little TIFF directory and a thumbnail that
// is itself a JPEG (with its own start and end markers), put right after
// the start of the image.
std::string WithExif(const std::string& jpeg, const std::string& thumbnail) {
    std::string tiff = std::string("II*\0\x08\0\0\0", 8);
    // One entry: JPEGInterchangeFormat (0x0201) pointing at the thumbnail.
    tiff += std::string("\x01\0\x01\x02\x04\0\x01\0\0\0", 10);
    const uint32_t at = uint32_t(tiff.size() + 8);
    for (int i = 0; i < 4; ++i) tiff.push_back(char(at >> (8 * i)));
    tiff += std::string(4, '\0');
    tiff += thumbnail;
    const std::string body = std::string("Exif\0\0", 6) + tiff;
    std::string segment = "\xFF\xE1";
    segment.push_back(char((body.size() + 2) >> 8));
    segment.push_back(char((body.size() + 2) & 0xFF));
    return jpeg.substr(0, 2) + segment + body + jpeg.substr(2);
}

// An ICC profile's bytes are carried, not read: any bytes do, and more than
// one segment holds (65519 bytes at most each).
std::string IccProfile() {
    std::string icc(70000, '\0');
    for (size_t i = 0; i < icc.size(); ++i) icc[i] = char((i * 131) >> 3);
    return icc;
}

} // namespace

TEST_F(KVImageEncodersTest, JpegsFromOtherEncodersShowWhatTheReferenceDecoderShows) {
    IKVImageReader* reader = host.Jpeg();
    tools.Put("profile.icc", IccProfile());
    const std::string im = convert;
    struct Case {
        std::string name;
        std::string command;  // in.ppm to out.jpg
        Outcome outcome;
    };
    const std::vector<Case> cases = {
        {"cjpeg baseline 4:2:0", "cjpeg -outfile out.jpg in.ppm", kShown},
        {"cjpeg 4:4:4", "cjpeg -sample 1x1 -outfile out.jpg in.ppm", kShown},
        {"cjpeg 4:2:2", "cjpeg -sample 2x1 -outfile out.jpg in.ppm", kShown},
        {"cjpeg 4:4:0", "cjpeg -sample 1x2 -outfile out.jpg in.ppm", kShown},
        {"cjpeg progressive", "cjpeg -progressive -outfile out.jpg in.ppm", kShown},
        {"cjpeg progressive 4:4:0", "cjpeg -progressive -sample 1x2 -outfile out.jpg in.ppm", kShown},
        {"cjpeg restart every row", "cjpeg -restart 1 -outfile out.jpg in.ppm", kShown},
        {"cjpeg restart every 3 blocks, 4:4:4", "cjpeg -restart 3B -sample 1x1 -outfile out.jpg in.ppm", kShown},
        {"cjpeg optimised, quality 98", "cjpeg -optimize -quality 98 -outfile out.jpg in.ppm", kShown},
        {"cjpeg quality 5", "cjpeg -quality 5 -outfile out.jpg in.ppm", kShown},
        {"cjpeg RGB", "cjpeg -rgb -outfile out.jpg in.ppm", kShown},
        {"cjpeg RGB progressive", "cjpeg -rgb -progressive -outfile out.jpg in.ppm", kShown},
        {"cjpeg RGB, red 2x2, restarts", "cjpeg -rgb -sample 2x2 -restart 1 -outfile out.jpg in.ppm", kShown},
        {"cjpeg ICC profile", "cjpeg -icc profile.icc -outfile out.jpg in.ppm", kShown},
        {"EXIF with a thumbnail", "cp exif.jpg out.jpg", kShown},
        {"jpegtran progressive, EXIF kept", "jpegtran -copy all -progressive -outfile out.jpg exif.jpg", kShown},
        {"jpegtran restarts, optimised",
         "cjpeg -outfile base.jpg in.ppm && jpegtran -restart 2 -optimize -outfile out.jpg base.jpg", kShown},
        {"jpegtran RGB progressive",
         "cjpeg -rgb -outfile base.jpg in.ppm && jpegtran -progressive -outfile out.jpg base.jpg", kShown},
        {"ImageMagick quality 85", im + " in.ppm -quality 85 out.jpg", kShown},
        {"ImageMagick quality 95", im + " in.ppm -quality 95 out.jpg", kShown},
        {"ImageMagick progressive", im + " in.ppm -interlace JPEG out.jpg", kShown},
        {"ImageMagick 4:4:0", im + " in.ppm -sampling-factor 1x2 out.jpg", kShown},
        {"ImageMagick 4:2:2", im + " in.ppm -sampling-factor 2x1 out.jpg", kShown},
        // Kinds the reader refuses.
        {"cjpeg greyscale", "cjpeg -grayscale -outfile out.jpg in.ppm", kReadFails},
        {"jpegtran greyscale",
         "cjpeg -outfile base.jpg in.ppm && jpegtran -grayscale -outfile out.jpg base.jpg", kReadFails},
        {"ImageMagick grey", im + " in.ppm -colorspace Gray out.jpg", kReadFails},
        {"cjpeg arithmetic coding", "cjpeg -arithmetic -outfile out.jpg in.ppm", kOpenFails},
        {"cjpeg 4:1:1", "cjpeg -sample 4x1 -outfile out.jpg in.ppm", kReadFails},
        {"cjpeg chroma 2x1 like luma", "cjpeg -sample 2x1,2x1,2x1 -outfile out.jpg in.ppm", kReadFails},
        {"ImageMagick CMYK", im + " in.ppm -colorspace CMYK out.jpg", kReadFails},
    };
    int largest = 0;
    for (const Size& size : kSizes) {
        tools.Put("in.ppm", KVImageTools::Ppm(size.width, size.height, TexturedRgb(size.width, size.height)));
        tools.Put("thumb.ppm", KVImageTools::Ppm(8, 8, TexturedRgb(8, 8)));
        const std::string thumbnail = Make("cjpeg -quality 50 -outfile thumb.jpg thumb.ppm", "thumb.jpg");
        tools.Put("exif.jpg", WithExif(Make("cjpeg -outfile exif-base.jpg in.ppm", "exif-base.jpg"), thumbnail));
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name + ", " + SizeName(size));
            const std::string jpeg = Make(c.command, "out.jpg");
            ASSERT_FALSE(jpeg.empty());
            KVReferenceImage reference;
            ASSERT_TRUE(tools.Djpeg(jpeg, &reference));
            const KVLoadedImage l = LoadImage(host, reader, jpeg, "img/photo.jpg");
            if (c.outcome == kOpenFails) {
                EXPECT_EQ(l.open, 1);
                continue;
            }
            ASSERT_EQ(l.open, 0);
            EXPECT_EQ(l.info.width, size.width);
            EXPECT_EQ(l.info.height, size.height);
            EXPECT_EQ(l.info.hasAlpha, 0);
            if (c.outcome == kReadFails) {
                EXPECT_EQ(l.read, 1);
                continue;
            }
            ASSERT_EQ(l.read, 0);
            ASSERT_EQ(reference.width, size.width);
            ASSERT_EQ(reference.height, size.height);
            ASSERT_EQ(l.pixels.size(), reference.bgra.size());
            int worst = 0;
            size_t worstAt = 0;
            for (size_t i = 0; i < l.pixels.size(); ++i) {
                const int d = std::abs(int(l.pixels[i]) - int(reference.bgra[i]));
                if (d > worst) {
                    worst = d;
                    worstAt = i;
                }
            }
            EXPECT_LE(worst, 3) << "pixel " << worstAt / 4 << " byte " << worstAt % 4;
            largest = std::max(largest, worst);
        }
    }
    EXPECT_LE(largest, 3);
}

// Sizes the decoder does not take are refused when the file is opened.
TEST_F(KVImageEncodersTest, JpegWiderThanTheLargestSizeIsRefusedAtOpen) {
    IKVImageReader* reader = host.Jpeg();
    for (const Size& size : {Size{8193, 1}, Size{1, 8193}}) {
        SCOPED_TRACE(SizeName(size));
        tools.Put("in.ppm", KVImageTools::Ppm(size.width, size.height, TexturedRgb(size.width, size.height)));
        const std::string jpeg = Make("cjpeg -outfile out.jpg in.ppm", "out.jpg");
        ASSERT_FALSE(jpeg.empty());
        EXPECT_EQ(LoadImage(host, reader, jpeg, "img/wide.jpg").open, 1);
    }
}

// The reader takes 4- and 8-bit palettes and 8-bit RGB with or without
// alpha; an RGB colour key is alpha too. Whatever ImageMagick made, the
// file's own header says whether the reader must take it.
TEST_F(KVImageEncodersTest, PngsFromImageMagickShowWhatLibpngShows) {
    IKVImageReader* reader = host.Png();
    const std::string im = convert;
    struct Case {
        std::string name;
        std::string command;  // in.ppm or in.pam to out.png
        int colourType;       // what the fixture must be
        int bitDepth;
        bool colourKey;
    };
    const std::vector<Case> cases = {
        {"RGB", im + " in.ppm PNG24:out.png", 2, 8, false},
        {"RGB interlaced", im + " in.ppm -interlace PNG PNG24:out.png", 2, 8, false},
        {"RGB with a colour key", im + " in.pam PNG24:out.png", 2, 8, true},
        {"RGB with a colour key, interlaced", im + " in.pam -interlace PNG PNG24:out.png", 2, 8, true},
        {"RGBA", im + " in.pam PNG32:out.png", 6, 8, false},
        {"8-bit palette with alpha", im + " in.pam PNG8:out.png", 3, 8, false},
        {"4-bit palette with alpha", im + " in.pam -colors 12 -define png:bit-depth=4 PNG8:out.png", 3, 4, false},
        {"8-bit palette, no alpha", im + " in.ppm -colors 40 PNG8:out.png", 3, 8, false},
        // Kinds the reader refuses.
        {"2-bit palette", im + " in.pam -colors 3 -define png:bit-depth=2 PNG8:out.png", 3, 2, false},
        {"16-bit RGB with a colour key", im + " in.pam PNG48:out.png", 2, 16, true},
        {"grey", im + " in.ppm -colorspace Gray PNG:out.png", 0, 8, false},
        {"grey with a colour key", im + " in.pam -colorspace Gray -define png:color-type=0 PNG:out.png", 0, 8, true},
        {"grey with alpha", im + " in.pam -colorspace Gray PNG:out.png", 4, 8, false},
    };
    for (const Size& size : kSizes) {
        // Every fifth diagonal is transparent, in a colour no opaque pixel has.
        std::vector<uint8_t> rgb = TexturedRgb(size.width, size.height), rgba;
        for (size_t i = 0; i < size_t(size.width) * size.height; ++i) {
            const uint32_t x = uint32_t(i % size.width), y = uint32_t(i / size.width);
            if ((x + y) % 5 == 0)
                rgba.insert(rgba.end(), {255, 0, 255, 0});
            else
                rgba.insert(rgba.end(), {uint8_t(rgb[3 * i] & 0xFE), rgb[3 * i + 1], rgb[3 * i + 2], 255});
        }
        tools.Put("in.ppm", KVImageTools::Ppm(size.width, size.height, rgb));
        tools.Put("in.pam", KVImageTools::Pam(size.width, size.height, rgba));
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name + ", " + SizeName(size));
            const std::string png = Make(c.command, "out.png");
            ASSERT_FALSE(png.empty());
            KVReferenceImage reference;
            int depth = 0, type = 0;
            ASSERT_TRUE(DecodePngWithLibpng(png, &reference, &depth, &type));
            // A single pixel leaves the encoder other choices.
            if (size.width > 1) {
                ASSERT_EQ(type, c.colourType) << "the fixture is not of its kind";
                ASSERT_EQ(depth, c.bitDepth) << "the fixture is not of its kind";
                const bool paletteAlpha = type == 3 && c.command.find("in.pam") != std::string::npos;
                ASSERT_EQ(png.find("tRNS") != std::string::npos, c.colourKey || paletteAlpha)
                    << "the fixture is not of its kind";
            }
            const bool taken = (depth == 8 || depth == 4) && (type == 2 || type == 3 || type == 6);
            log.Clear();
            const KVLoadedImage l = LoadImage(host, reader, png, "img/picture.png");
            if (!taken) {
                EXPECT_EQ(l.open, 1);
                ASSERT_EQ(log.Lines().size(), 1u);
                EXPECT_EQ(log.Lines()[0].text.rfind("PNG open error: ", 0), 0u);
                continue;
            }
            ASSERT_EQ(l.open, 0);
            ASSERT_EQ(l.read, 0);
            EXPECT_TRUE(log.Lines().empty());
            EXPECT_EQ(l.info.width, reference.width);
            EXPECT_EQ(l.info.height, reference.height);
            const bool seeThrough = std::any_of(reference.bgra.begin(), reference.bgra.end(), [&](const uint8_t& b) {
                return (&b - reference.bgra.data()) % 4 == 3 && b != 255;
            });
            if (seeThrough) {
                EXPECT_EQ(l.info.hasAlpha, 1);
            }
            EXPECT_TRUE(l.pixels == reference.bgra);
        }
    }
}
