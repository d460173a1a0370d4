// Images from other encoders, made at test time and named by sprites of a
// scene file, as a game shows them on its screen: a JPEG stored as RGB
// keeps its colours, a PNG's colour key lets the background through.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/KVGameRig.h"
#include "support/KVImageTools.h"
#include "support/KVSceneUnitsWriter.h"
#include "units/KVUnit2D.h"
#include "units2d/KVUnitSprite.h"

using namespace kvl;
using namespace kvtest;

namespace {

constexpr uint32_t kSide = 16;
// Left half red, right half blue (the PNG's right half is its colour key).
constexpr uint8_t kRed[3] = {200, 40, 60};
constexpr uint8_t kBlue[3] = {30, 80, 210};
constexpr uint8_t kKey[3] = {255, 0, 255};

std::vector<uint8_t> Halves(const uint8_t* right) {
    std::vector<uint8_t> rgb;
    for (uint32_t y = 0; y < kSide; ++y)
        for (uint32_t x = 0; x < kSide; ++x) {
            const uint8_t* c = x < kSide / 2 ? kRed : right;
            rgb.insert(rgb.end(), c, c + 3);
        }
    return rgb;
}

std::vector<uint8_t> Read(KVImageTools& tools, const std::string& command, const std::string& out) {
    EXPECT_TRUE(tools.Run(command)) << command;
    const std::string bytes = tools.Get(out);
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

bool Near(uint32_t argb, const uint8_t* rgb, int within) {
    const int got[3] = {int(argb >> 16 & 0xFF), int(argb >> 8 & 0xFF), int(argb & 0xFF)};
    for (int i = 0; i < 3; ++i)
        if (std::abs(got[i] - int(rgb[i])) > within) return false;
    return true;
}

} // namespace

// Each file is shown by one sprite of a scene file on an otherwise empty
// screen; what the screen holds is counted, wherever the sprite lands.
TEST(KVImageReadersGameTest, SpritesShowRgbJpegsAndColourKeyedPngsAsTheirEncodersMeantThem) {
    KVImageTools tools;
    ASSERT_TRUE(KVImageTools::Has("cjpeg")) << "cjpeg (libjpeg-turbo-progs) makes this fixture";
    const std::string convert = KVImageTools::Convert();
    ASSERT_FALSE(convert.empty()) << "ImageMagick makes this fixture";
    tools.Put("in.ppm", KVImageTools::Ppm(kSide, kSide, Halves(kBlue)));
    tools.Put("keyed.ppm", KVImageTools::Ppm(kSide, kSide, Halves(kKey)));
    // Each command writes the file of the case's name.
    const struct {
        const char* file;
        std::string command;
        bool keyed;
    } cases[] = {
        {"rgb.jpg", "cjpeg -rgb -quality 100 -outfile rgb.jpg in.ppm", false},
        {"ycc.jpg", "cjpeg -quality 100 -sample 1x1 -outfile ycc.jpg in.ppm", false},
        {"key.png", convert + " keyed.ppm -transparent '#FF00FF' PNG24:key.png", true},
        {"plain.png", convert + " in.ppm PNG24:plain.png", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        KVGameRig game;
        game.WriteFile(c.file, Read(tools, c.command, c.file));
        KVSceneUnitsWriter units;
        KVSceneClassSpec sprite;
        sprite.classId = KVUnitSprite::kClassId;
        sprite.name = "Sprite";
        sprite.baseEntry = units.UnitEntry();
        sprite.attributes = {{KVUnit2D::kPositionId, 1, 2}, {KVUnitSprite::kImageId, 10, 1}};
        std::vector<Bytes> values = KVSceneUnitsWriter::UnitValues("S", 1);
        values.push_back(KVStored::F32s({8.0f, 8.0f}));
        values.push_back(KVStored::String(c.file, true));
        units.AddUnit(units.AddClass(sprite), values);
        game.AddScene("scenes/main.kvl", units.Scene(0x20004, KVGameRig::kProjectId));
        ASSERT_TRUE(game.Start());
        game.Step(2);
        // The screen may hold fewer bits a channel than the image.
        int red = 0, blue = 0, other = 0;
        const std::vector<uint32_t> screen = game.Screen();
        const uint32_t background = screen.front();
        for (uint32_t p : screen) {
            if (Near(p, kRed, 8))
                ++red;
            else if (Near(p, kBlue, 8))
                ++blue;
            else if (p != background)
                ++other;
        }
        const int half = int(kSide * kSide / 2);
        EXPECT_EQ(red, half);
        EXPECT_EQ(blue, c.keyed ? 0 : half);
        EXPECT_EQ(other, 0) << "the background lets through where the key was";
        EXPECT_TRUE(game.ScriptErrors().empty());
    }
}
