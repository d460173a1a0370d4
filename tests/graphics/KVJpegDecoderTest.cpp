#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "graphics/KVJpegDecoder.h"
#include "graphics/KVJpegIdct.h"
#include "support/KVJpegTestSupport.h"
#include "support/KVJpegWriter.h"

using namespace kvl;
using namespace kvtest;

namespace {

struct Sampling {
    int h, v;
};
const Sampling kSamplings[] = {{1, 1}, {2, 1}, {1, 2}, {2, 2}};
const uint16_t kRestarts[] = {0, 1, 3};

// JFIF conversion of one sample triple, rounded to nearest.
uint8_t Channel(double v) { return uint8_t(std::min(255.0, std::max(0.0, std::floor(v + 0.5)))); }
void Expected(int y, int cb, int cr, uint8_t out[3]) {
    out[0] = Channel(y + 1.402 * (cr - 128));
    out[1] = Channel(y - 0.34414 * (cb - 128) - 0.71414 * (cr - 128));
    out[2] = Channel(y + 1.772 * (cb - 128));
}

// A smooth picture with some texture, R, G, B.
std::vector<uint8_t> Picture(uint32_t w, uint32_t h) {
    std::vector<uint8_t> rgb(size_t(w) * h * 3);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            uint8_t* p = &rgb[(size_t(y) * w + x) * 3];
            p[0] = uint8_t(128 + 100 * std::sin(x / 7.0) * std::cos(y / 9.0));
            p[1] = uint8_t((x * 3 + y * 5) & 0xFF);
            p[2] = uint8_t(((x / 4 + y / 4) & 1) ? 200 : 40);
        }
    return rgb;
}

std::vector<JpegComponent> ColourLayout(const Sampling& s) {
    return {{1, uint8_t(s.h), uint8_t(s.v), 0}, {2, 1, 1, 1}, {3, 1, 1, 1}};
}

JpegQuantTable WithDc(JpegQuantTable t, uint16_t dc) {
    t[0] = dc;
    return t;
}

std::string ColourPicture(uint32_t w, uint32_t h, const Sampling& s, const JpegWriteOptions& options,
                          int quality = 75) {
    return WriteRgbJpeg(w, h, Picture(w, h), s.h, s.v, LumaQuant(quality), ChromaQuant(quality), options);
}

std::string GreyPicture(uint32_t w, uint32_t h, const JpegWriteOptions& options) {
    std::vector<uint8_t> rgb = Picture(w, h);
    std::vector<uint8_t> grey(size_t(w) * h);
    for (size_t i = 0; i < grey.size(); ++i) grey[i] = rgb[3 * i];
    return WriteJpeg(MakeJpegCoefficients(w, h, {grey}, {{1, 1, 1, 0}}, {LumaQuant(75)}), options);
}

JpegWriteOptions Options(bool progressive, uint16_t restart) {
    JpegWriteOptions o;
    o.progressive = progressive;
    o.restartInterval = restart;
    return o;
}

} // namespace

// Flat 16x16 regions hold only DC terms, so every pixel is known exactly.
TEST(KVJpegDecoderTest, FlatBlocksDecodeExactlyForEverySamplingAndRestart) {
    const int triples[6][3] = {{30, 70, 60}, {90, 128, 200}, {160, 190, 128},
                               {220, 100, 150}, {128, 160, 90}, {60, 200, 170}};
    const uint32_t w = 48, h = 32;
    std::vector<std::vector<uint8_t>> planes(3, std::vector<uint8_t>(w * h));
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) planes[size_t(c)][y * w + x] = uint8_t(triples[(y / 16) * 3 + x / 16][c]);
    for (const auto& t : triples)
        for (double v : {t[0] + 1.402 * (t[2] - 128), t[0] - 0.34414 * (t[1] - 128) - 0.71414 * (t[2] - 128),
                         t[0] + 1.772 * (t[1] - 128)})
            ASSERT_GT(std::fabs(v - std::floor(v) - 0.5), 0.02) << "choose samples away from rounding ties";
    const std::vector<JpegQuantTable> quant = {WithDc(LumaQuant(75), 8), WithDc(ChromaQuant(75), 4)};
    for (const Sampling& s : kSamplings) {
        for (uint16_t restart : kRestarts) {
            SCOPED_TRACE("sampling " + std::to_string(s.h) + "x" + std::to_string(s.v) + " restart " +
                         std::to_string(restart));
            JpegCoefficients c = MakeJpegCoefficients(w, h, planes, ColourLayout(s), quant);
            DecodedJpeg d = DecodeJpeg(WriteJpeg(c, Options(false, restart)));
            ASSERT_TRUE(d.Complete()) << d.errorCode;
            ASSERT_EQ(d.bytesPerPixel, 4u);
            ASSERT_EQ(d.pixels.size(), size_t(w) * h * 4);
            for (uint32_t y = 0; y < h; ++y)
                for (uint32_t x = 0; x < w; ++x) {
                    const int* t = triples[(y / 16) * 3 + x / 16];
                    uint8_t rgb[3];
                    Expected(t[0], t[1], t[2], rgb);
                    const uint8_t* p = &d.pixels[(size_t(y) * w + x) * 4];
                    ASSERT_EQ(p[0], rgb[0]) << x << "," << y;
                    ASSERT_EQ(p[1], rgb[1]) << x << "," << y;
                    ASSERT_EQ(p[2], rgb[2]) << x << "," << y;
                    ASSERT_EQ(p[3], 255);
                }
        }
    }
    // Greyscale: one byte per pixel, the luma itself.
    for (uint16_t restart : kRestarts) {
        JpegCoefficients c = MakeJpegCoefficients(w, h, {planes[0]}, {{1, 1, 1, 0}}, {quant[0]});
        DecodedJpeg d = DecodeJpeg(WriteJpeg(c, Options(false, restart)));
        ASSERT_TRUE(d.Complete()) << d.errorCode;
        ASSERT_EQ(d.bytesPerPixel, 1u);
        ASSERT_EQ(d.pixels, planes[0]);
    }
}

// Three components hold R, G, B samples when an Adobe marker says its
// transform is 0, or, without a JFIF or Adobe marker, when they are named
// 'R', 'G', 'B'; a JFIF header means YCbCr whatever else the file says.
// Flat regions decode exactly either way.
TEST(KVJpegDecoderTest, ColourMarkersSayWhetherComponentsAreRgbOrYCbCr) {
    const int triples[4][3] = {{30, 70, 60}, {90, 128, 200}, {220, 100, 150}, {60, 200, 170}};
    const uint32_t w = 32, h = 32;
    std::vector<std::vector<uint8_t>> planes(3, std::vector<uint8_t>(w * h));
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) planes[size_t(c)][y * w + x] = uint8_t(triples[(y / 16) * 2 + x / 16][c]);
    const struct {
        const char* name;
        bool jfif;
        int adobe;
        bool adobeCut;
        uint8_t ids[3];
        bool rgb;
    } cases[] = {
        {"Adobe transform 0", false, 0, false, {'R', 'G', 'B'}, true},
        {"Adobe transform 0, numbered ids", false, 0, false, {1, 2, 3}, true},
        {"Adobe transform 1, RGB ids", false, 1, false, {'R', 'G', 'B'}, false},
        {"Adobe transform 2", false, 2, false, {1, 2, 3}, false},
        {"no marker, RGB ids", false, -1, false, {'R', 'G', 'B'}, true},
        {"no marker, numbered ids", false, -1, false, {1, 2, 3}, false},
        {"JFIF and Adobe transform 0", true, 0, false, {'R', 'G', 'B'}, false},
        {"JFIF, RGB ids", true, -1, false, {'R', 'G', 'B'}, false},
        {"Adobe marker without its transform byte, RGB ids", false, 0, true, {'R', 'G', 'B'}, true},
        {"Adobe marker without its transform byte, numbered ids", false, 0, true, {1, 2, 3}, false},
    };
    const std::vector<JpegQuantTable> quant = {WithDc(LumaQuant(75), 8), WithDc(ChromaQuant(75), 8)};
    for (const auto& c : cases) {
        for (const Sampling& s : kSamplings) {
            for (bool progressive : {false, true}) {
                SCOPED_TRACE(std::string(c.name) + ", sampling " + std::to_string(s.h) + "x" + std::to_string(s.v) +
                             (progressive ? ", progressive" : ""));
                std::vector<JpegComponent> layout = ColourLayout(s);
                for (int k = 0; k < 3; ++k) layout[size_t(k)].id = c.ids[k];
                JpegWriteOptions options = Options(progressive, progressive ? 0 : 2);
                options.jfif = c.jfif;
                options.adobeTransform = c.adobe;
                options.adobeCut = c.adobeCut;
                DecodedJpeg d = DecodeJpeg(WriteJpeg(MakeJpegCoefficients(w, h, planes, layout, quant), options));
                ASSERT_TRUE(d.Complete()) << d.errorCode;
                ASSERT_EQ(d.bytesPerPixel, 4u);
                ASSERT_EQ(d.pixels.size(), size_t(w) * h * 4);
                for (uint32_t y = 0; y < h; ++y)
                    for (uint32_t x = 0; x < w; ++x) {
                        const int* t = triples[(y / 16) * 2 + x / 16];
                        uint8_t rgb[3] = {uint8_t(t[0]), uint8_t(t[1]), uint8_t(t[2])};
                        if (!c.rgb) Expected(t[0], t[1], t[2], rgb);
                        const uint8_t* p = &d.pixels[(size_t(y) * w + x) * 4];
                        ASSERT_EQ(p[0], rgb[0]) << x << "," << y;
                        ASSERT_EQ(p[1], rgb[1]) << x << "," << y;
                        ASSERT_EQ(p[2], rgb[2]) << x << "," << y;
                        ASSERT_EQ(p[3], 255);
                    }
            }
        }
    }
}

TEST(KVJpegDecoderTest, ProgressiveAndMultiScanFilesDecodeLikeTheirBaselineTwin) {
    for (uint32_t size : {48u, 37u}) {
        for (const Sampling& s : kSamplings) {
            for (uint16_t restart : kRestarts) {
                SCOPED_TRACE(std::to_string(size) + " sampling " + std::to_string(s.h) + "x" + std::to_string(s.v) +
                             " restart " + std::to_string(restart));
                const std::vector<uint8_t> rgb = Picture(size, size - 7);
                JpegCoefficients c = MakeJpegCoefficients(size, size - 7, RgbToYCbCrPlanes(size, size - 7, rgb),
                                                          ColourLayout(s), {LumaQuant(60), ChromaQuant(60)});
                DecodedJpeg baseline = DecodeJpeg(WriteJpeg(c, Options(false, restart)));
                ASSERT_TRUE(baseline.Complete()) << baseline.errorCode;
                DecodedJpeg progressive = DecodeJpeg(WriteJpeg(c, Options(true, restart)));
                ASSERT_TRUE(progressive.Complete()) << progressive.errorCode;
                EXPECT_EQ(progressive.pixels, baseline.pixels);
                JpegWriteOptions perComponent = Options(false, restart);
                perComponent.scanPerComponent = true;
                DecodedJpeg multi = DecodeJpeg(WriteJpeg(c, perComponent));
                ASSERT_TRUE(multi.Complete()) << multi.errorCode;
                EXPECT_EQ(multi.pixels, baseline.pixels);
            }
        }
        for (uint16_t restart : kRestarts) {
            DecodedJpeg baseline = DecodeJpeg(GreyPicture(size, size, Options(false, restart)));
            DecodedJpeg progressive = DecodeJpeg(GreyPicture(size, size, Options(true, restart)));
            ASSERT_TRUE(baseline.Complete() && progressive.Complete());
            EXPECT_EQ(progressive.pixels, baseline.pixels);
        }
    }
}

// Zig-zag position 1 is the first horizontal frequency, position 2 the
// first vertical one.
TEST(KVJpegDecoderTest, FirstAcTermsVaryAlongOneAxisOnly) {
    for (int position : {1, 2}) {
        JpegCoefficients c = MakeEmptyJpegCoefficients(8, 8, {{1, 1, 1, 0}}, {FlatQuant(4)});
        c.Block(0, 0, 0)[position == 1 ? 1 : 8] = 20;
        DecodedJpeg d = DecodeJpeg(WriteJpeg(c));
        ASSERT_TRUE(d.Complete());
        bool variesAlongX = false, variesAlongY = false;
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) {
                if (x > 0 && d.pixels[size_t(y * 8 + x)] != d.pixels[size_t(y * 8)]) variesAlongX = true;
                if (y > 0 && d.pixels[size_t(y * 8 + x)] != d.pixels[size_t(x)]) variesAlongY = true;
            }
        EXPECT_EQ(variesAlongX, position == 1);
        EXPECT_EQ(variesAlongY, position == 2);
        // A cosine of the first frequency: high on one side, low on the other.
        EXPECT_GT(d.pixels[0], 128 + 10);
        EXPECT_LT(d.pixels[63], 128 - 10);
    }
}

TEST(KVJpegDecoderTest, SmoothPictureWithUnitQuantiserStaysWithinThree) {
    const uint32_t w = 40, h = 24;
    std::vector<uint8_t> rgb(size_t(w) * h * 3);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            uint8_t* p = &rgb[(size_t(y) * w + x) * 3];
            p[0] = uint8_t(20 + x * 5);
            p[1] = uint8_t(200 - y * 6);
            p[2] = uint8_t(100 + 60 * std::sin((x + y) / 6.0));
        }
    DecodedJpeg d = DecodeJpeg(WriteRgbJpeg(w, h, rgb, 1, 1, FlatQuant(1), FlatQuant(1)));
    ASSERT_TRUE(d.Complete());
    for (size_t i = 0; i < size_t(w) * h; ++i)
        for (int c = 0; c < 3; ++c) ASSERT_NEAR(d.pixels[i * 4 + size_t(c)], rgb[i * 3 + size_t(c)], 3) << i;
}

TEST(KVJpegDecoderTest, SizesOffTheMcuGridKeepTheirLinesAndPixels) {
    const uint32_t sizes[][2] = {{1, 1}, {17, 9}, {7, 13}, {33, 31}, {16, 17}};
    for (const Sampling& s : kSamplings) {
        for (const auto& size : sizes) {
            SCOPED_TRACE(std::to_string(size[0]) + "x" + std::to_string(size[1]) + " sampling " +
                         std::to_string(s.h) + "x" + std::to_string(s.v));
            const std::vector<uint8_t> rgb = Picture(size[0], size[1]);
            for (bool progressive : {false, true}) {
                DecodedJpeg d = DecodeJpeg(WriteRgbJpeg(size[0], size[1], rgb, s.h, s.v, FlatQuant(1), FlatQuant(1),
                                                        Options(progressive, 2)));
                ASSERT_TRUE(d.Complete()) << d.errorCode;
                ASSERT_EQ(d.width, size[0]);
                ASSERT_EQ(d.height, size[1]);
                ASSERT_EQ(d.pixels.size(), size_t(size[0]) * size[1] * 4);
                // Chroma is shared over a luma group, so only 1x1 sampling
                // comes back close for every pixel; the luma always does.
                for (size_t i = 0; i < size_t(size[0]) * size[1]; ++i) {
                    const uint8_t* p = &d.pixels[i * 4];
                    const double y = 0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2];
                    const double y0 = 0.299 * rgb[i * 3] + 0.587 * rgb[i * 3 + 1] + 0.114 * rgb[i * 3 + 2];
                    ASSERT_NEAR(y, y0, 4.0) << i;
                }
            }
        }
    }
}

TEST(KVJpegDecoderTest, ColourPixelArrivesAsRedGreenBlueAndFourthByte) {
    std::vector<uint8_t> rgb;
    for (int i = 0; i < 16 * 16; ++i) rgb.insert(rgb.end(), {200, 100, 50});
    DecodedJpeg d = DecodeJpeg(WriteRgbJpeg(16, 16, rgb, 2, 2, FlatQuant(1), FlatQuant(1)));
    ASSERT_TRUE(d.Complete());
    for (size_t i = 0; i < 256; ++i) {
        ASSERT_EQ(d.pixels[i * 4 + 0], 200);
        ASSERT_EQ(d.pixels[i * 4 + 1], 100);
        ASSERT_EQ(d.pixels[i * 4 + 2], 50);
        ASSERT_EQ(d.pixels[i * 4 + 3], 255);
    }
}

TEST(KVJpegDecoderTest, ReadsInSmallPiecesAndNeverAsksForMoreThan4096Bytes) {
    const std::string jpeg = ColourPicture(128, 96, {2, 2}, Options(true, 0), 95);
    ASSERT_GT(jpeg.size(), 4096u);
    DecodedJpeg whole = DecodeJpeg(jpeg);
    ASSERT_TRUE(whole.Complete());
    for (int32_t chunk : {1, 3, 4095}) EXPECT_EQ(DecodeJpeg(jpeg, chunk).pixels, whole.pixels) << chunk;
    KVJpegMemoryStream stream(jpeg);
    KVJpegDecoder decoder(&stream);
    decoder.BeginDecoding();
    const void* line = nullptr;
    uint32_t length = 0;
    while (decoder.Decode(&line, &length) == 0) {
    }
    EXPECT_EQ(stream.largestRequest, 4096);
}

TEST(KVJpegDecoderTest, DecodeAnswersMinusOneBeforeBeginAndOneAfterTheLastLine) {
    KVJpegMemoryStream stream(ColourPicture(8, 2, {1, 1}, {}));
    KVJpegDecoder decoder(&stream);
    const void* line = nullptr;
    uint32_t length = 0;
    EXPECT_EQ(decoder.GetBytesPerPixel(), 0u);
    EXPECT_EQ(decoder.Decode(&line, &length), -1);
    ASSERT_EQ(decoder.BeginDecoding(), 0);
    EXPECT_EQ(decoder.Decode(&line, &length), 0);
    EXPECT_EQ(length, 32u);
    EXPECT_EQ(decoder.Decode(&line, &length), 0);
    EXPECT_EQ(decoder.Decode(&line, &length), 1);
}

namespace {

struct CodeCase {
    const char* name;
    std::string bytes;
    int32_t code;
};

std::string Patched(std::string jpeg, uint8_t marker, size_t offset, std::initializer_list<uint8_t> bytes) {
    size_t at = FindJpegMarker(jpeg, marker);
    EXPECT_NE(at, std::string::npos);
    for (uint8_t b : bytes) jpeg[at + offset++] = char(b);
    return jpeg;
}

// Inserts a segment just before the frame header.
std::string WithSegment(std::string jpeg, const std::string& segment) {
    size_t at = FindJpegMarker(jpeg, 0xC0);
    if (at == std::string::npos) at = FindJpegMarker(jpeg, 0xC2);
    return jpeg.insert(at, segment);
}

std::string Without(std::string jpeg, uint8_t marker) {
    for (size_t at; (at = FindJpegMarker(jpeg, marker)) != std::string::npos;) {
        const size_t length = (size_t(uint8_t(jpeg[at + 2])) << 8) | uint8_t(jpeg[at + 3]);
        jpeg.erase(at, 2 + length);
    }
    return jpeg;
}

std::string Frame(std::vector<JpegComponent> components, const JpegWriteOptions& options = {}) {
    std::vector<JpegQuantTable> quant = {FlatQuant(4), FlatQuant(8)};
    return WriteJpeg(MakeEmptyJpegCoefficients(32, 16, components, quant), options);
}

} // namespace

TEST(KVJpegDecoderTest, RefusalsGiveTheirCodes) {
    const std::string base = ColourPicture(32, 16, {2, 2}, {});
    const std::string progressive = ColourPicture(32, 16, {2, 2}, Options(true, 0));
    JpegWriteOptions badSpectral = Options(true, 0);
    badSpectral.script = {{{0, 1, 2}, 0, 0, 0, 0}, {{0, 1}, 1, 63, 0, 0}};
    JpegWriteOptions badApproximation = Options(true, 0);
    badApproximation.script = {{{0, 1, 2}, 0, 0, 0, 2}, {{0, 1, 2}, 0, 0, 3, 0}};
    const std::vector<CodeCase> cases = {
        {"4:1:1", Frame({{1, 4, 1, 0}, {2, 1, 1, 1}, {3, 1, 1, 1}}), KVJPEG_BAD_SAMPLING},
        {"chroma 2x2", Frame({{1, 2, 2, 0}, {2, 2, 2, 1}, {3, 1, 1, 1}}), KVJPEG_BAD_SAMPLING},
        {"luma 3x1", Frame({{1, 3, 1, 0}, {2, 1, 1, 1}, {3, 1, 1, 1}}), KVJPEG_BAD_SAMPLING},
        {"two components", Frame({{1, 1, 1, 0}, {2, 1, 1, 1}}), KVJPEG_BAD_COMPONENT_COUNT},
        {"four components", Frame({{1, 1, 1, 0}, {2, 1, 1, 1}, {3, 1, 1, 1}, {4, 1, 1, 1}}),
         KVJPEG_BAD_COMPONENT_COUNT},
        {"SOF9", Patched(base, 0xC0, 1, {0xC9}), KVJPEG_ARITHMETIC},
        {"DAC", WithSegment(base, std::string("\xFF\xCC\x00\x04\x00\x00", 6)), KVJPEG_ARITHMETIC},
        {"SOF3", Patched(base, 0xC0, 1, {0xC3}), KVJPEG_UNSUPPORTED_FRAME},
        {"SOF10", Patched(base, 0xC0, 1, {0xCA}), KVJPEG_UNSUPPORTED_FRAME},
        {"12-bit", Patched(base, 0xC0, 4, {12}), KVJPEG_BAD_PRECISION},
        {"height 0", Patched(base, 0xC0, 5, {0, 0}), KVJPEG_BAD_HEIGHT},
        {"height 8193", Patched(base, 0xC0, 5, {0x20, 0x01}), KVJPEG_BAD_HEIGHT},
        {"width 8193", Patched(base, 0xC0, 7, {0x20, 0x01}), KVJPEG_BAD_WIDTH},
        {"width 0", Patched(base, 0xC0, 7, {0, 0}), KVJPEG_BAD_WIDTH},
        {"five components", Patched(base, 0xC0, 9, {5}), KVJPEG_TOO_MANY_COMPONENTS},
        {"frame length", Patched(base, 0xC0, 3, {18}), KVJPEG_BAD_FRAME_LENGTH},
        {"frame length 0", Patched(base, 0xC0, 2, {0, 0}), KVJPEG_BAD_FRAME_LENGTH},
        {"frame length 1", Patched(progressive, 0xC2, 2, {0, 1}), KVJPEG_BAD_FRAME_LENGTH},
        {"DRI length 5", WithSegment(base, std::string("\xFF\xDD\x00\x05\x00\x01\x00", 7)),
         KVJPEG_BAD_RESTART_LENGTH},
        {"segment length 1", WithSegment(base, std::string("\xFF\xE1\x00\x01", 4)), KVJPEG_BAD_SEGMENT_LENGTH},
        {"TEM", WithSegment(base, std::string("\xFF\x01", 2)), KVJPEG_UNEXPECTED_MARKER},
        {"RST before the frame", WithSegment(base, std::string("\xFF\xD3", 2)), KVJPEG_UNEXPECTED_MARKER},
        {"DQT length 1", WithSegment(base, std::string("\xFF\xDB\x00\x01", 4)), KVJPEG_SHORT_QUANT_LENGTH},
        {"DQT id 4", Patched(base, 0xDB, 4, {0x04}), KVJPEG_BAD_QUANT_LENGTH},
        {"DQT cut short", WithSegment(base, std::string("\xFF\xDB\x00\x05\x00\x01\x02", 7)), KVJPEG_SHORT_QUANT},
        {"DHT class 2", Patched(base, 0xC4, 4, {0x20}), KVJPEG_BAD_HUFFMAN_INDEX},
        {"DHT id 5", Patched(base, 0xC4, 4, {0x05}), KVJPEG_BAD_HUFFMAN_INDEX},
        {"DHT counts past 256", WithSegment(base, std::string("\xFF\xC4\x00\x13\x00", 5) + std::string(16, char(0x11))),
         KVJPEG_BAD_HUFFMAN_COUNTS},
        {"DHT with a full code", WithSegment(base, std::string("\xFF\xC4\x00\x15\x00\x02", 6) +
                                                       std::string(15, '\0') + std::string("\x01\x02", 2)),
         KVJPEG_BAD_HUFFMAN_COUNTS},
        {"DHT cut short", WithSegment(base, std::string("\xFF\xC4\x00\x13\x00\x05", 6) + std::string(15, '\0')),
         KVJPEG_SHORT_HUFFMAN},
        {"no Huffman tables", Without(base, 0xC4), KVJPEG_UNDEFINED_HUFFMAN},
        {"no quantisation tables", Without(base, 0xDB), KVJPEG_UNDEFINED_QUANT},
        {"scan of an unknown component", Patched(base, 0xDA, 5, {9}), KVJPEG_BAD_SCAN_COMPONENT},
        {"scan length", Patched(base, 0xDA, 3, {11}), KVJPEG_BAD_SCAN_HEADER},
        {"scan length 0", Patched(base, 0xDA, 2, {0, 0}), KVJPEG_BAD_SCAN_HEADER},
        {"scan length 1", Patched(progressive, 0xDA, 2, {0, 1}), KVJPEG_BAD_SCAN_HEADER},
        {"scan of no components", Patched(base, 0xDA, 4, {0}), KVJPEG_BAD_SCAN_HEADER},
        {"spectral band of two components", WriteJpeg(MakeEmptyJpegCoefficients(16, 16, ColourLayout({1, 1}),
                                                                                 {FlatQuant(2), FlatQuant(2)}),
                                                      badSpectral),
         KVJPEG_BAD_SPECTRAL},
        {"DC scan reaching AC", Patched(progressive, 0xDA, 11, {5}), KVJPEG_BAD_SPECTRAL},
        {"refinement skipping a bit", WriteJpeg(MakeEmptyJpegCoefficients(16, 16, ColourLayout({1, 1}),
                                                                          {FlatQuant(2), FlatQuant(2)}),
                                                badApproximation),
         KVJPEG_BAD_APPROXIMATION},
        {"frame without a scan", base.substr(0, FindJpegMarker(base, 0xC4)) + "\xFF\xD9", KVJPEG_UNEXPECTED_MARKER},
        {"not a JPEG", std::string(100, 'x'), KVJPEG_NOT_JPEG},
        {"empty", std::string(), KVJPEG_NOT_JPEG},
        {"SOI not followed by a marker", std::string("\xFF\xD8\x00\xFF\xC0", 5), KVJPEG_NOT_JPEG},
        {"SOI after 510 bytes", std::string(510, 'j') + base, 0},
        {"SOI after 511 bytes", std::string(511, 'j') + base, KVJPEG_NOT_JPEG},
        {"SOI after 600 bytes", std::string(600, 'j') + base, KVJPEG_NOT_JPEG},
    };
    for (const CodeCase& c : cases) {
        DecodedJpeg d = DecodeJpeg(c.bytes);
        EXPECT_EQ(d.errorCode, c.code) << c.name;
        if (c.code != 0) {
            EXPECT_TRUE(d.pixels.empty()) << c.name;
        }
    }
}

TEST(KVJpegDecoderTest, RestartMarkerMissingWhereOneIsDue) {
    std::string jpeg = ColourPicture(32, 32, {1, 1}, Options(false, 2));
    // Turn every restart marker into stuffed data.
    const size_t scan = FindJpegMarker(jpeg, 0xDA);
    for (size_t i = scan + 2; i + 1 < jpeg.size(); ++i)
        if (uint8_t(jpeg[i]) == 0xFF && uint8_t(jpeg[i + 1]) >= 0xD0 && uint8_t(jpeg[i + 1]) <= 0xD7) jpeg[i + 1] = 0;
    EXPECT_EQ(DecodeJpeg(jpeg).errorCode, KVJPEG_NO_RESTART);
}

TEST(KVJpegDecoderTest, FailureCallsTheErrorHookFreesAndFailsLaterLines) {
    const std::string jpeg = ColourPicture(64, 64, {2, 2}, {});
    KVJpegMemoryStream stream(jpeg);
    stream.chunk = 256;
    stream.failAt = jpeg.size() / 2;
    KVJpegDecoder decoder(&stream);
    ASSERT_EQ(decoder.BeginDecoding(), 0);
    const void* line = nullptr;
    uint32_t length = 0;
    int32_t status;
    do {
        status = decoder.Decode(&line, &length);
    } while (status == 0);
    EXPECT_EQ(status, KVJPEG_DECODE_FAILED);
    EXPECT_EQ(decoder.GetErrorCode(), KVJPEG_READ_ERROR);
    EXPECT_EQ(stream.errors, std::vector<int32_t>{KVJPEG_READ_ERROR});
    EXPECT_EQ(decoder.Decode(&line, &length), -1);
    EXPECT_EQ(decoder.BeginDecoding(), KVJPEG_READ_ERROR);
}

// Whatever is cut away, the decoder either fails or gives a picture: the
// whole one when only bytes after the image data went, and for a progressive
// file cut between two scans the one its earlier scans made, as if the end
// marker stood at the cut.
TEST(KVJpegDecoderTest, CutAtEveryOffsetFailsOrGivesThePictureOfItsWholeScans) {
    for (bool progressive : {false, true}) {
        const std::string jpeg = ColourPicture(24, 20, {2, 1}, Options(progressive, 2));
        const DecodedJpeg whole = DecodeJpeg(jpeg);
        ASSERT_TRUE(whole.Complete());
        const size_t firstScan = FindJpegMarker(jpeg, 0xDA);
        const size_t lastScan = FindJpegMarker(jpeg, 0xDA, true);
        int partial = 0;
        for (size_t cut = 0; cut < jpeg.size(); ++cut) {
            const std::string head = jpeg.substr(0, cut);
            DecodedJpeg d = DecodeJpeg(head);
            if (!d.Complete()) {
                ASSERT_NE(d.errorCode, 0) << "cut " << cut;
            } else if (!progressive || cut >= lastScan + 20) {
                ASSERT_EQ(d.pixels, whole.pixels) << "cut " << cut;
            } else {
                const DecodedJpeg ended = DecodeJpeg(head + "\xFF\xD9");
                ASSERT_TRUE(ended.Complete()) << "cut " << cut;
                ASSERT_EQ(d.pixels, ended.pixels) << "cut " << cut;
                partial += d.pixels != whole.pixels;
            }
            if (cut < (progressive ? firstScan : lastScan) + 20) {
                ASSERT_FALSE(d.Complete()) << "cut " << cut;
            }
        }
        if (progressive) {
            EXPECT_GT(partial, 0);
        }
    }
}

// Files from elsewhere often lack the end marker: sequential and progressive
// ones alike give their whole picture without it.
TEST(KVJpegDecoderTest, FilesWithoutTheirEndMarkerDecodeWhole) {
    for (bool progressive : {false, true}) {
        for (const Sampling& s : kSamplings) {
            const std::string jpeg = ColourPicture(40, 27, s, Options(progressive, 0));
            ASSERT_EQ(jpeg.substr(jpeg.size() - 2), "\xFF\xD9");
            const DecodedJpeg whole = DecodeJpeg(jpeg);
            ASSERT_TRUE(whole.Complete());
            for (size_t cut : {size_t(1), size_t(2)}) {
                const DecodedJpeg d = DecodeJpeg(jpeg.substr(0, jpeg.size() - cut));
                EXPECT_TRUE(d.Complete()) << progressive << " cut " << cut << " code " << d.errorCode;
                EXPECT_EQ(d.pixels, whole.pixels) << progressive << " cut " << cut;
            }
        }
        const std::string grey = GreyPicture(33, 17, Options(progressive, 3));
        const DecodedJpeg d = DecodeJpeg(grey.substr(0, grey.size() - 2));
        EXPECT_TRUE(d.Complete()) << progressive << " code " << d.errorCode;
        EXPECT_EQ(d.pixels, DecodeJpeg(grey).pixels);
    }
}

TEST(KVJpegDecoderTest, CorruptEntropyDataNeverCrashes) {
    std::mt19937 rng(7);
    for (bool progressive : {false, true}) {
        const std::string jpeg = ColourPicture(40, 24, {2, 2}, Options(progressive, 3));
        const size_t start = FindJpegMarker(jpeg, 0xDA) + 12;
        int failures = 0;
        for (int round = 0; round < 300; ++round) {
            std::string bad = jpeg;
            for (int k = 0; k < 3; ++k) bad[start + rng() % (bad.size() - start - 2)] = char(rng());
            DecodedJpeg d = DecodeJpeg(bad);
            if (!d.Complete()) {
                ++failures;
                EXPECT_LT(d.errorCode, 0);
            } else {
                EXPECT_EQ(d.pixels.size(), size_t(40) * 24 * 4);
            }
        }
        EXPECT_GT(failures, 0);
    }
}

TEST(KVJpegDecoderTest, TinyFileClaimingTheLargestSizeFailsAtItsFirstRow) {
    std::string jpeg = ColourPicture(16, 16, {2, 2}, {});
    jpeg = Patched(jpeg, 0xC0, 5, {0x20, 0x00, 0x20, 0x00});
    KVJpegMemoryStream stream(jpeg);
    KVJpegDecoder decoder(&stream);
    ASSERT_EQ(decoder.BeginDecoding(), 0);
    EXPECT_EQ(decoder.GetWidth(), 8192u);
    const void* line = nullptr;
    uint32_t length = 0;
    int32_t status = 0;
    int lines = 0;
    while ((status = decoder.Decode(&line, &length)) == 0) ++lines;
    EXPECT_EQ(status, KVJPEG_DECODE_FAILED);
    EXPECT_EQ(lines, 0);
}

TEST(KVJpegDecoderTest, InverseTransformMatchesTheDefinitionWithinOne) {
    std::mt19937 rng(3);
    uint16_t quant[64];
    for (uint16_t& q : quant) q = uint16_t(1 + rng() % 16);
    float table[64];
    MakeIdctTable(quant, table);
    const double pi = 3.14159265358979323846;
    for (int round = 0; round < 500; ++round) {
        // Every other block keeps to the first 4 rows and columns, where the
        // shorter way must give the same samples.
        const bool quarter = round % 2 == 1;
        int16_t coef[64] = {};
        coef[0] = int16_t(int(rng() % 300) - 150);
        for (int k = 0; k < 12; ++k) {
            const int at = quarter ? int(rng() % 4) * 8 + int(rng() % 4) : int(rng() % 64);
            coef[at] = int16_t(int(rng() % 120) - 60);
        }
        float scaled[64];
        ScaleCoefficients(coef, table, scaled);
        uint8_t out[64];
        InverseDct(scaled, out, 8);
        if (quarter) {
            uint8_t shorter[64];
            InverseDct(scaled, shorter, 8, true);
            ASSERT_EQ(std::memcmp(out, shorter, 64), 0) << round;
        }
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) {
                double s = 0;
                for (int v = 0; v < 8; ++v)
                    for (int u = 0; u < 8; ++u)
                        s += (u ? 1 : std::sqrt(0.5)) * (v ? 1 : std::sqrt(0.5)) * coef[v * 8 + u] * quant[v * 8 + u] *
                             std::cos((2 * x + 1) * u * pi / 16) * std::cos((2 * y + 1) * v * pi / 16);
                const double expected = std::min(255.0, std::max(0.0, std::floor(s / 4 + 128.5)));
                ASSERT_NEAR(out[y * 8 + x], expected, 1.0);
            }
    }
}

TEST(KVJpegDecoderTest, ColourConversionFollowsTheFixedPointFormulaForEverySample) {
    // Every (Cb, Cr) pair over a few luma values, one and two luma samples
    // per chroma sample, against the formula worked out one pixel at a time.
    std::vector<uint8_t> y(512), cb(512), cr(512), out(512 * 4);
    std::vector<int16_t> red(512), green(512), blue(512);
    for (int luma : {0, 77, 128, 200, 255}) {
        for (int block = 0; block < 256 * 256; block += 256) {
            for (int i = 0; i < 256; ++i) {
                y[size_t(i)] = uint8_t(luma);
                cb[size_t(i)] = uint8_t((block + i) >> 8);
                cr[size_t(i)] = uint8_t(i);
            }
            ChromaTerms(cb.data(), cr.data(), 256, red.data(), green.data(), blue.data());
            ConvertYCbCrLine(y.data(), red.data(), green.data(), blue.data(), 1, 256, out.data());
            for (int i = 0; i < 256; ++i) {
                const int b = cb[size_t(i)] - 128, r = cr[size_t(i)] - 128;
                const int expected[3] = {luma + ((91881 * r + 32768) >> 16),
                                         luma + ((-22554 * b - 46802 * r + 32768) >> 16),
                                         luma + ((116130 * b + 32768) >> 16)};
                for (int c = 0; c < 3; ++c)
                    ASSERT_EQ(out[size_t(i) * 4 + size_t(c)], std::min(255, std::max(0, expected[c])));
                ASSERT_EQ(out[size_t(i) * 4 + 3], 255);
            }
        }
    }
    // Two luma samples per chroma sample: pixel i takes the terms of i / 2.
    for (int i = 0; i < 16; ++i) y[size_t(i)] = uint8_t(i * 16);
    ConvertYCbCrLine(y.data(), red.data(), green.data(), blue.data(), 2, 16, out.data());
    for (int i = 0; i < 16; ++i) {
        std::vector<uint8_t> single(32);
        ConvertYCbCrLine(&y[size_t(i)], &red[size_t(i / 2)], &green[size_t(i / 2)], &blue[size_t(i / 2)], 1, 1,
                         single.data());
        ASSERT_EQ(std::memcmp(&out[size_t(i) * 4], single.data(), 4), 0) << i;
    }
}
