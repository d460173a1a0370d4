// The picture of a movie frame as the planar texture takes it: every chroma
// layout a Theora stream may have, converted from its own plane sizes, and
// only the picture region, not the encoder's padding around it. Movies made
// at test time by ffmpeg are played in a "Theora" unit and read back from
// the screen.
#include "media/KVTheoraPicture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "graphics/KVYUVConverter.h"
#include "media/KVTheora.h"
#include "support/KVMovieUnitRig.h"
#include "support/KVTestExternals.h"
#include "support/KVToolFiles.h"

using namespace kvl;
using namespace kvtest;

namespace {

// A frame of width x height (the encoded size) with the chroma planes
// shifted by xShift and yShift, whose every pixel has Y = 100 and a chroma
// pair that tells its quadrant of the picture region; the padding around
// the region has chroma 128.
struct SyntheticFrame {
    SyntheticFrame(uint32_t width, uint32_t height, uint32_t xShift, uint32_t yShift, uint32_t px, uint32_t py,
                   uint32_t pw, uint32_t ph) {
        frame.width = width;
        frame.height = height;
        frame.chromaWidth = (width + (1u << xShift) - 1) >> xShift;
        frame.chromaHeight = (height + (1u << yShift) - 1) >> yShift;
        // Strides wider than the rows, as the decoder's are.
        frame.lumaStride = int32_t(width + 32);
        frame.chromaStride = int32_t(frame.chromaWidth + (32 >> xShift));
        frame.pictureX = px;
        frame.pictureY = py;
        frame.pictureWidth = pw;
        frame.pictureHeight = ph;
        y.assign(size_t(frame.lumaStride) * height, 100);
        cb.assign(size_t(frame.chromaStride) * frame.chromaHeight, 128);
        cr = cb;
        for (uint32_t row = 0; row < frame.chromaHeight; ++row)
            for (uint32_t column = 0; column < frame.chromaWidth; ++column) {
                // The sample's top-left pixel, held to the region, names the
                // quadrant; samples wholly outside it are padding.
                const uint32_t right = ((column + 1) << xShift) - 1, bottom = ((row + 1) << yShift) - 1;
                if (right < px || bottom < py || (column << xShift) >= px + pw || (row << yShift) >= py + ph)
                    continue;
                const uint32_t x = std::max(column << xShift, px), yy = std::max(row << yShift, py);
                const int quadrant = (x - px >= pw / 2 ? 1 : 0) + (yy - py >= ph / 2 ? 2 : 0);
                cb[size_t(row) * frame.chromaStride + column] = kCb[quadrant];
                cr[size_t(row) * frame.chromaStride + column] = kCr[quadrant];
            }
        frame.y = y.data();
        frame.cb = cb.data();
        frame.cr = cr.data();
    }
    static constexpr uint8_t kCb[4] = {40, 200, 90, 160};
    static constexpr uint8_t kCr[4] = {220, 60, 150, 30};

    KVTheoraFrame frame;
    std::vector<uint8_t> y, cb, cr;
};

} // namespace

// Every layout, with the picture at the frame's corner and inside it at even
// and odd offsets: each 2 x 2 block well inside a quadrant has that
// quadrant's chroma, and the luma is the picture's own.
TEST(KVTheoraPictureTest, EveryLayoutGivesTheQuadrantsOfThePictureRegion) {
    struct Case {
        uint32_t xShift, yShift, px, py, pw, ph;
    };
    const Case cases[] = {
        {1, 1, 0, 0, 32, 16}, {1, 1, 2, 4, 18, 10}, {1, 1, 1, 3, 17, 9},  {1, 0, 0, 0, 32, 16},
        {1, 0, 2, 2, 18, 14}, {1, 0, 3, 1, 21, 11}, {0, 0, 0, 0, 32, 16}, {0, 0, 4, 2, 18, 14},
        {0, 0, 5, 1, 19, 13},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "shift " << c.xShift << "," << c.yShift << " picture " << c.px << ","
                                        << c.py << " " << c.pw << "x" << c.ph);
        SyntheticFrame source(32, 16, c.xShift, c.yShift, c.px, c.py, c.pw, c.ph);
        KVTheoraPicture picture;
        ASSERT_TRUE(picture.Take(source.frame));
        EXPECT_EQ(picture.Width(), c.pw);
        EXPECT_EQ(picture.Height(), c.ph);
        const int32_t stride = picture.Stride();
        ASSERT_GE(uint32_t(stride), c.pw);
        const uint8_t* const* planes = picture.Planes();
        for (uint32_t row = 0; row < c.ph; ++row)
            for (uint32_t column = 0; column < c.pw; ++column)
                ASSERT_EQ(planes[0][size_t(row) * stride + column], 100) << column << "," << row;
        // Blocks two pixels or more from a quadrant's edge.
        for (uint32_t by = 0; by < (c.ph + 1) / 2; ++by)
            for (uint32_t bx = 0; bx < (c.pw + 1) / 2; ++bx) {
                const uint32_t x = bx * 2, yy = by * 2;
                const uint32_t splitX = c.pw / 2, splitY = c.ph / 2;
                if ((x + 3 >= splitX && x <= splitX + 1) || (yy + 3 >= splitY && yy <= splitY + 1)) continue;
                if (x + 2 > c.pw || yy + 2 > c.ph) continue;
                const int quadrant = (x >= splitX ? 1 : 0) + (yy >= splitY ? 2 : 0);
                const size_t at = size_t(by) * size_t(stride / 2) + bx;
                EXPECT_EQ(planes[1][at], SyntheticFrame::kCb[quadrant]) << bx << "," << by;
                EXPECT_EQ(planes[2][at], SyntheticFrame::kCr[quadrant]) << bx << "," << by;
            }
    }
}

// A block that straddles two chroma samples takes their mean, rounded.
TEST(KVTheoraPictureTest, ABlockTakesTheMeanOfItsPixelsChroma) {
    SyntheticFrame source(16, 16, 0, 0, 0, 0, 16, 16);
    std::fill(source.cb.begin(), source.cb.end(), 10);
    std::fill(source.cr.begin(), source.cr.end(), 10);
    const size_t stride = size_t(source.frame.chromaStride);
    // Block (0, 0): 10, 11, 12, 14 -> 11.75 -> 12.
    source.cb[1] = 11;
    source.cb[stride] = 12;
    source.cb[stride + 1] = 14;
    KVTheoraPicture picture;
    ASSERT_TRUE(picture.Take(source.frame));
    EXPECT_EQ(picture.Planes()[1][0], 12);
    EXPECT_EQ(picture.Planes()[2][0], 10);
    EXPECT_EQ(picture.Planes()[1][1], 10);
}

// Frames whose planes do not hold their picture give nothing to show.
TEST(KVTheoraPictureTest, PlanesThatDoNotHoldThePictureAreRefused) {
    struct Case {
        const char* name;
        void (*spoil)(KVTheoraFrame*);
    };
    const Case cases[] = {
        {"chroma of no layout", [](KVTheoraFrame* f) { f->chromaWidth = 5; }},
        {"region past the right edge", [](KVTheoraFrame* f) { f->pictureX = 20; }},
        {"region past the bottom", [](KVTheoraFrame* f) { f->pictureHeight = 17; }},
        {"empty region", [](KVTheoraFrame* f) { f->pictureWidth = 0; }},
        {"offset that wraps", [](KVTheoraFrame* f) { f->pictureY = 0xFFFFFFF8u; }},
        {"negative stride", [](KVTheoraFrame* f) { f->lumaStride = -f->lumaStride; }},
        {"stride below the width", [](KVTheoraFrame* f) { f->chromaStride = 4; }},
        {"missing plane", [](KVTheoraFrame* f) { f->cr = nullptr; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SyntheticFrame source(32, 16, 1, 1, 0, 0, 18, 14);
        c.spoil(&source.frame);
        KVTheoraPicture picture;
        EXPECT_FALSE(picture.Take(source.frame));
    }
}

namespace {

class KVTheoraPictureMovieTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(rig.Ready()); }
    void TearDown() override {
        for (KVUnitSprite* unit : units) unit->Release();
    }

    // A silent movie unit on the file, drawn at the scale given.
    KVUnitSprite* Movie(const std::vector<uint8_t>& bytes, const std::string& scale) {
        const std::string path = "movies/m" + std::to_string(units.size()) + ".ogg";
        rig.WriteFile(path, bytes);
        KVUnitSprite* unit = rig.Unit("Theora", "M");
        if (!unit) return nullptr;
        units.push_back(unit);
        rig.SetText(unit, KVTheora::kNoSoundId, 0, "true");
        rig.SetText(unit, KVTheora::kFileId, 0, path);
        rig.SetText(unit, KVUnit2D::kScaleId, 0, scale);
        rig.SetText(unit, KVUnit2D::kScaleId, 1, scale);
        return unit;
    }

    KVMovieUnitRig rig;
    std::vector<KVUnitSprite*> units;
};

} // namespace

// The red, green, blue and yellow quadrants of ffmpeg movies in each chroma
// layout, at sizes that are and are not multiples of 16: the own texture
// has the picture's size, and each quadrant shows its colour, drawn so that
// the picture covers most of the screen.
TEST_F(KVTheoraPictureMovieTest, EachChromaLayoutShowsItsQuadrantsAtThePicturesSize) {
    struct Case {
        uint32_t width, height;
        const char* scale;
        int32_t shownWidth, shownHeight;
    };
    const Case sizes[] = {{64, 48, "1", 64, 48}, {18, 14, "3", 54, 42}, {640, 360, "0.1", 64, 36}};
    for (const char* format : {"yuv420p", "yuv422p", "yuv444p"}) {
        for (const Case& c : sizes) {
            SCOPED_TRACE(testing::Message() << format << " " << c.width << "x" << c.height);
            const std::vector<uint8_t> bytes = FfmpegQuadrantMovie(c.width, c.height, format);
            ASSERT_FALSE(bytes.empty()) << "ffmpeg (with libtheora) is needed to make this fixture";
            KVUnitSprite* unit = Movie(bytes, c.scale);
            ASSERT_NE(unit, nullptr);
            EXPECT_TRUE(rig.TakeLogErrors().empty());
            IKVResourceTexture* texture = unit->GetOwnTexture();
            ASSERT_NE(texture, nullptr);
            EXPECT_EQ(texture->GetImageSize()[0], int32_t(c.width));
            EXPECT_EQ(texture->GetImageSize()[1], int32_t(c.height));
            rig.DrawFrame();
            // A quarter of the shown picture in from each side: each quadrant's middle.
            const int32_t xs[2] = {c.shownWidth / 4, c.shownWidth * 3 / 4};
            const int32_t ys[2] = {c.shownHeight / 4, c.shownHeight * 3 / 4};
            for (int quadrant = 0; quadrant < 4; ++quadrant) {
                const uint32_t shown = rig.PixelAt(xs[quadrant % 2], ys[quadrant / 2]);
                EXPECT_TRUE(NearColour(shown, kQuadrantColours[quadrant], 12))
                    << "quadrant " << quadrant << ": " << std::hex << shown;
            }
            // The picture reaches the sprite's last rows and columns (the
            // encoder strays further from the colour in a tiny picture's corner).
            const uint32_t corner = rig.PixelAt(c.shownWidth - 2, c.shownHeight - 2);
            EXPECT_TRUE(NearColour(corner, kQuadrantColours[3], 24)) << std::hex << corner;
            units.pop_back();
            unit->Release();
        }
    }
}
