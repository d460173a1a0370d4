#include <gtest/gtest.h>

#include <vector>

#include "graphics/KVImageUtils.h"

using namespace kvl;

namespace {

uint32_t Pixel(uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3) {
    return uint32_t(b0) | uint32_t(b1) << 8 | uint32_t(b2) << 16 | uint32_t(b3) << 24;
}

struct Image {
    uint32_t width, height, pitch;
    std::vector<uint32_t> pixels;
    Image(uint32_t w, uint32_t h, uint32_t p, uint32_t fill = 0xDEADBEEF)
        : width(w), height(h), pitch(p), pixels(size_t(p) * (h ? h : 1), fill) {}
    KVImage View() { return KVImage{pixels.data(), width, height, pitch}; }
    uint32_t At(uint32_t x, uint32_t y) const { return pixels[size_t(y) * pitch + x]; }
};

// Source pixel (x, y): every byte different, so each byte's mean shows.
Image Source(uint32_t w, uint32_t h, uint32_t pitch) {
    Image s(w, h, pitch);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x)
            s.pixels[size_t(y) * pitch + x] = Pixel(uint8_t(x * 10 + y), uint8_t(y * 30), uint8_t(255 - x), uint8_t(7 * x * y));
    return s;
}

uint32_t BlockMean(const Image& s, uint32_t left, uint32_t top, uint32_t bx, uint32_t by) {
    uint32_t result = 0;
    for (int b = 0; b < 4; ++b) {
        uint32_t sum = 0;
        for (uint32_t y = 0; y < by; ++y)
            for (uint32_t x = 0; x < bx; ++x) sum += (s.At(left + x, top + y) >> (8 * b)) & 0xFF;
        result |= (sum / (bx * by)) << (8 * b);
    }
    return result;
}

} // namespace

TEST(KVImageUtilsTest, AnswersItsInterfaceOnly) {
    KVImageUtils utils;
    void* out = nullptr;
    EXPECT_EQ(utils.QueryInterface(IID_IKVImageUtils, &out), 0);
    EXPECT_EQ(out, static_cast<IKVImageUtils*>(&utils));
    EXPECT_EQ(utils.QueryInterface(MakeId(1, 2), &out), 2);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(KVImageUtils::Instance(), &utils);
}

TEST(KVImageUtilsTest, ShrinksByTruncatedByteMeansOfBlocks) {
    KVImageUtils utils;
    struct Case {
        uint32_t sw, sh, dw, dh, bx, by;
        std::vector<uint32_t> starts;  // block starts along x (and y, same ratio)
    };
    const Case cases[] = {{4, 4, 2, 2, 2, 2, {0, 2}}, {5, 5, 2, 2, 2, 2, {0, 2}}, {9, 9, 3, 3, 3, 3, {0, 3, 6}}};
    for (const Case& c : cases) {
        // Pitches wider than the widths on both sides.
        Image src = Source(c.sw, c.sh, c.sw + 3);
        Image dst(c.dw, c.dh, c.dw + 2);
        ASSERT_EQ(utils.Downscale(src.View(), dst.View()), 0);
        for (uint32_t i = 0; i < c.dh; ++i) {
            for (uint32_t j = 0; j < c.dw; ++j)
                EXPECT_EQ(dst.At(j, i), BlockMean(src, c.starts[j], c.starts[i], c.bx, c.by)) << c.sw << " " << j << "," << i;
            EXPECT_EQ(dst.At(c.dw, i), 0xDEADBEEFu);
            EXPECT_EQ(dst.At(c.dw + 1, i), 0xDEADBEEFu);
        }
    }
}

TEST(KVImageUtilsTest, EnlargedAxesTakeTheNearestPixel) {
    KVImageUtils utils;
    Image src = Source(2, 2, 2);
    Image dst(4, 4, 4);
    utils.Downscale(src.View(), dst.View());
    for (uint32_t i = 0; i < 4; ++i)
        for (uint32_t j = 0; j < 4; ++j) EXPECT_EQ(dst.At(j, i), src.At(j / 2, i / 2));
    // One axis enlarged: both sample, none averages.
    Image wide = Source(4, 2, 5);
    Image tall(2, 4, 2);
    utils.Downscale(wide.View(), tall.View());
    for (uint32_t i = 0; i < 4; ++i)
        for (uint32_t j = 0; j < 2; ++j) EXPECT_EQ(tall.At(j, i), wide.At(j * 2, i / 2));
}

TEST(KVImageUtilsTest, EmptyDestinationOrSourceWritesNothing) {
    KVImageUtils utils;
    Image src = Source(4, 4, 4);
    for (auto size : {std::pair<uint32_t, uint32_t>{0, 3}, {3, 0}, {0, 0}}) {
        Image dst(3, 3, 3);
        KVImage view = dst.View();
        view.width = size.first;
        view.height = size.second;
        EXPECT_EQ(utils.Downscale(src.View(), view), 0);
        EXPECT_EQ(dst.pixels, std::vector<uint32_t>(9, 0xDEADBEEF));
    }
    // A source without pixels has nothing to sample.
    Image dst(2, 2, 2);
    EXPECT_EQ(utils.Downscale(KVImage{nullptr, 0, 0, 0}, dst.View()), 0);
    EXPECT_EQ(dst.pixels, std::vector<uint32_t>(4, 0xDEADBEEF));
    EXPECT_EQ(utils.Downscale(KVImage{src.pixels.data(), 4, 0, 4}, dst.View()), 0);
    EXPECT_EQ(dst.pixels, std::vector<uint32_t>(4, 0xDEADBEEF));
}
