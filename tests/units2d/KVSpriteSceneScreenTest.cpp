// A sprite stored in a scene file lands on the screen where its stored
// position says, upright, at a small and at the default screen size: what
// game tests read back through the rig is the picture a player sees.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/KVGameRig.h"
#include "support/KVPakWriter.h"
#include "support/KVPngWriter.h"
#include "support/KVSceneUnitsWriter.h"
#include "units/KVUnit2D.h"
#include "units2d/KVUnitLayer.h"
#include "units2d/KVUnitSprite.h"

using namespace kvl;
using namespace kvtest;

namespace {

struct Box {
    int32_t left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
    bool operator==(const Box& o) const {
        return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
    }
};

Box BoundsOf(KVGameRig& game, uint32_t colour) {
    const std::vector<uint32_t> screen = game.Screen();
    Box b;
    for (int32_t y = 0; y < game.Height(); ++y)
        for (int32_t x = 0; x < game.Width(); ++x)
            if (screen[size_t(y) * size_t(game.Width()) + size_t(x)] == colour)
                b = {std::min(b.left, x), std::min(b.top, y), std::max(b.right, x + 1), std::max(b.bottom, y + 1)};
    return b;
}

} // namespace

TEST(KVSpriteSceneScreenTest, AStoredSpriteShowsAtItsPositionUpright) {
    constexpr uint32_t kGreen = 0xFF00FF00u, kRed = 0xFFFF0000u, kBlue = 0xFF0000FFu;
    for (int32_t width : {64, 1024}) {
        SCOPED_TRACE(width);
        KVGameRig::Options options;
        options.width = width;
        options.height = width * 3 / 4;
        KVGameRig game(options);
        // 8 x 8: two green rows on top, then red on the left, blue on the right.
        std::vector<uint32_t> pixels(64);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) pixels[size_t(y * 8 + x)] = y < 2 ? kGreen : (x < 4 ? kRed : kBlue);
        game.WriteText("a.png", WritePngArgb(8, 8, pixels));
        KVSceneUnitsWriter units;
        units.AddClassUnit(KVUnitSprite::kClassId, "Sprite", "S", 1,
                           {{{KVUnit2D::kPositionId, 1, 2}, KVStored::F32s({10.0f, 5.0f})},
                            {{KVUnitSprite::kImageId, 10, 1}, KVStored::String("a.png", true)}});
        game.AddScene("scenes/main.kvl", units.Scene(0x20004, KVGameRig::kProjectId));
        ASSERT_TRUE(game.Start());
        game.Step(2);
        EXPECT_TRUE(BoundsOf(game, kGreen) == (Box{10, 5, 18, 7}));
        EXPECT_TRUE(BoundsOf(game, kRed) == (Box{10, 7, 14, 13}));
        EXPECT_TRUE(BoundsOf(game, kBlue) == (Box{14, 7, 18, 13}));
        EXPECT_EQ(game.Pixel(10, 5), kGreen);
        EXPECT_EQ(game.Pixel(17, 12), kBlue);
    }
}

// The draw walk files a unit whose Layer is a stored layer unit with that
// layer, after the walk: of two overlapping sprites, the one in a layer comes
// on top whatever its place in the file, frame after frame.
TEST(KVSpriteSceneScreenTest, AStoredLayerPutsItsSpriteOnTopEveryFrame) {
    constexpr uint32_t kRed = 0xFFFF0000u, kGreen = 0xFF00FF00u;
    for (bool layered : {false, true}) {
        SCOPED_TRACE(layered ? "red in a layer" : "no layer");
        KVGameRig::Options options;
        options.width = 64;
        options.height = 48;
        KVGameRig game(options);
        game.WriteText("red.png", WritePngArgb(8, 8, std::vector<uint32_t>(64, kRed)));
        game.WriteText("green.png", WritePngArgb(8, 8, std::vector<uint32_t>(64, kGreen)));
        KVSceneUnitsWriter units;
        const uint32_t layer = units.AddClassUnit(KVUnitLayer::kClassId, "Layer", "L", 1);
        std::vector<KVStoredValue> red = {{{KVUnit2D::kPositionId, 1, 2}, KVStored::F32s({10.0f, 10.0f})},
                                          {{KVUnitSprite::kImageId, 10, 1}, KVStored::String("red.png", true)}};
        if (layered) red.push_back({{KVSceneUnitsWriter::kLayerId, 9, 1}, KVStored::Link(KVStored::Local(layer))});
        units.AddClassUnit(KVUnitSprite::kClassId, "Sprite", "Red", 2, red);
        units.AddClassUnit(KVUnitSprite::kClassId, "Sprite", "Green", 3,
                           {{{KVUnit2D::kPositionId, 1, 2}, KVStored::F32s({14.0f, 14.0f})},
                            {{KVUnitSprite::kImageId, 10, 1}, KVStored::String("green.png", true)}});
        game.AddScene("scenes/main.kvl", units.Scene(0x20004, KVGameRig::kProjectId));
        ASSERT_TRUE(game.Start());
        for (int frame = 0; frame < 3; ++frame) {
            game.Step(1);
            EXPECT_EQ(game.Pixel(15, 15), layered ? kRed : kGreen) << frame;
            EXPECT_EQ(game.Pixel(11, 11), kRed) << frame;
            EXPECT_EQ(game.Pixel(20, 20), kGreen) << frame;
        }
    }
}

// Sprites of one picture, one after another, share one batch of the device,
// each placed by its own view: every sprite lands where its stored position
// says, the one whose edges lie on the screen's right and bottom borders
// included, frame after frame, with the picture on disk and in a stored or
// compressed pak.
TEST(KVSpriteSceneScreenTest, SpritesSharingABatchEachShowAtTheirStoredPositions) {
    constexpr uint32_t kWhite = 0xFFFFFFFFu;
    // Apart from one another; the last one's edges are the screen's.
    const float places[][2] = {{10.0f, 5.0f}, {30.0f, 20.0f}, {0.0f, 30.0f}, {56.0f, 40.0f}};
    struct Form {
        const char* name;
        bool inPak;
        bool compressed;
    };
    for (const Form& form : {Form{"on disk", false, false}, Form{"stored pak", true, false},
                             Form{"compressed pak", true, true}}) {
        SCOPED_TRACE(form.name);
        KVGameRig game;
        const std::string png = WritePngArgb(8, 8, std::vector<uint32_t>(64, kWhite));
        KVPakWriter pak;
        if (form.inPak) {
            pak.Add("white.png", png);
            game.AddPak("pictures", pak, form.compressed, true);
        } else {
            game.WriteText("white.png", png);
        }
        KVSceneUnitsWriter units;
        uint64_t uid = 1;
        for (const auto& place : places) {
            units.AddClassUnit(KVUnitSprite::kClassId, "Sprite", "S" + std::to_string(uid), uid,
                               {{{KVUnit2D::kPositionId, 1, 2}, KVStored::F32s({place[0], place[1]})},
                                {{KVUnitSprite::kImageId, 10, 1}, KVStored::String("white.png", true)}});
            ++uid;
        }
        game.AddScene("scenes/main.kvl", units.Scene(0x20004, KVGameRig::kProjectId));
        ASSERT_TRUE(game.Start());
        for (int frame = 0; frame < 3; ++frame) {
            SCOPED_TRACE(frame);
            game.Step(1);
            const std::vector<uint32_t> screen = game.Screen();
            // Each sprite covers its box and no pixel round it.
            size_t inside = 0;
            for (const auto& place : places) {
                const int32_t left = int32_t(place[0]), top = int32_t(place[1]);
                for (int32_t y = top - 1; y <= top + 8; ++y)
                    for (int32_t x = left - 1; x <= left + 8; ++x) {
                        if (x < 0 || y < 0 || x >= game.Width() || y >= game.Height()) continue;
                        const bool in = x >= left && x < left + 8 && y >= top && y < top + 8;
                        EXPECT_EQ(screen[size_t(y) * size_t(game.Width()) + size_t(x)] == kWhite, in)
                            << "at " << x << ", " << y << " by the sprite at " << left << ", " << top;
                        inside += in ? 1 : 0;
                    }
            }
            EXPECT_EQ(std::count(screen.begin(), screen.end(), kWhite), std::ptrdiff_t(inside));
        }
    }
}
