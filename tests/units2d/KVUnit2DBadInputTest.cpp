// Bad input to the 2D display units, one row each, each with a defined
// result: image lists with empty parts or a thousand entries, damaged PNG
// files, frame indices out of range, snapshot bounds that are no numbers,
// scales of 0, NaN or infinity, places and spans past the 32-bit range,
// and hotspots at the 32-bit limits.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "support/KVPngWriter.h"
#include "support/KVSpriteRig.h"
#include "units2d/KVUnitCursor.h"
#include "units2d/KVUnitSprite.h"

using namespace kvl;
using namespace kvtest;

namespace {

struct BadInputCase {
    const char* name;
    // Acts on the sprite "S" (showing img/a.png, 4 x 4, at (10, 10)) and
    // describes what came of it.
    std::function<std::string(KVSpriteRig&, KVUnitSprite*)> act;
    std::string expected;
};

void PrintTo(const BadInputCase& c, std::ostream* out) { *out << c.name; }

// Frames, errors raised and script errors reported, in a few words.
std::string Loaded(KVSpriteRig& rig, KVUnitSprite* sprite) {
    return "frames " + std::to_string(sprite->GetFrameListSize()) + ", errors " +
           std::to_string(rig.TakeRecords().size()) + ", log " + std::to_string(rig.TakeLogErrors().size());
}

// Whether a frame drew anything, and where the sprite stood.
std::string Shown(KVSpriteRig& rig, KVUnitSprite* sprite) {
    rig.Device().ClearRecords();
    rig.DrawFrame();
    return std::string(rig.Device().drawn.empty() ? "not drawn" : "drawn") + ", class " +
           std::to_string(int(sprite->GetOnScreenClass()));
}

std::string LoadFile(KVSpriteRig& rig, KVUnitSprite* sprite, const std::string& bytes) {
    rig.Host().Dir().WriteFile("assets/img/bad.png", bytes);
    rig.TakeRecords();
    sprite->SetImage("img/bad.png");
    return Loaded(rig, sprite);
}

std::string Scaled(KVSpriteRig& rig, KVUnitSprite* sprite, float x, float y, KV2DTempl<float> scale) {
    sprite->SetScale(&scale);
    sprite->SetPosition(x, y);
    return Shown(rig, sprite);
}

const std::string kPng = WritePngArgb(4, 4, std::vector<uint32_t>(16, 0xFFFF0000u));
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

class KVUnit2DBadInputTest : public ::testing::TestWithParam<BadInputCase> {};

TEST_P(KVUnit2DBadInputTest, GivesItsDefinedResult) {
    KVSpriteRig rig;
    rig.Host().Dir().WriteFile("assets/img/a.png", kPng);
    auto* sprite = rig.Make<KVUnitSprite>("Sprite", "S", {"OnError"});
    ASSERT_NE(sprite, nullptr);
    sprite->SetImage("img/a.png");
    sprite->SetPosition(10, 10);
    rig.TakeRecords();
    EXPECT_EQ(GetParam().act(rig, sprite), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, KVUnit2DBadInputTest,
    ::testing::Values(
        BadInputCase{"EmptyPartsOfTheImageList",
                     [](KVSpriteRig& rig, KVUnitSprite* s) {
                         s->SetImage("img/a.png||img/a.png|");
                         return Loaded(rig, s);
                     },
                     "frames 2, errors 1, log 1"},
        BadInputCase{"AThousandEntries",
                     [](KVSpriteRig& rig, KVUnitSprite* s) {
                         std::string list = "img/a.png";
                         for (int i = 1; i < 1000; ++i) list += "|img/a.png";
                         s->SetImage(list);
                         return Loaded(rig, s) + ", " + std::to_string(s->GetFrameCount());
                     },
                     "frames 1000, errors 0, log 0, 1000"},
        BadInputCase{"TruncatedPng",
                     [](KVSpriteRig& rig, KVUnitSprite* s) { return LoadFile(rig, s, kPng.substr(0, 40)); },
                     "frames 0, errors 1, log 1"},
        // The reader names the file as well as the manager.
        BadInputCase{"WrongMagic",
                     [](KVSpriteRig& rig, KVUnitSprite* s) { return LoadFile(rig, s, "GIF89a" + kPng.substr(6)); },
                     "frames 0, errors 1, log 2"},
        BadInputCase{"AbsurdSize",
                     [](KVSpriteRig& rig, KVUnitSprite* s) {
                         return LoadFile(rig, s, PngFile({PngIhdr(1u << 30, 1u << 30, 8, 6), PngIdat("")}));
                     },
                     "frames 0, errors 1, log 1"},
        BadInputCase{"SetFrameMinusOne",
                     [](KVSpriteRig& rig, KVUnitSprite* s) {
                         rig.Run("S:SetFrame(-1)\nS:SetFrame(4294967296)");
                         return std::to_string(rig.TakeErrors().size()) + " reports, frame " +
                                std::to_string(s->GetFrame());
                     },
                     "2 reports, frame 0"},
        BadInputCase{"SnapshotBoundsThatAreNoNumbers",
                     [](KVSpriteRig& rig, KVUnitSprite* s) {
                         rig.Device().readAnswer = 0;
                         rig.Run("S:TakeSnapshot(0/0, 1e300, -1e300, 0/0, 0/0, 1/0)\n"
                                 "S:TakeSnapshot(-1e300, 1e300, -1e300, 1e300, 1e300, 1e300)");
                         return Loaded(rig, s) + ", own " + std::to_string(s->IsOwnTexture());
                     },
                     "frames 1, errors 0, log 0, own 0"},
        BadInputCase{"ScaleZero",
                     [](KVSpriteRig& rig, KVUnitSprite* s) { return Scaled(rig, s, 10, 10, {0, 0}); },
                     "drawn, class 0"},
        BadInputCase{"ScaleZeroAcrossAnEdge",
                     [](KVSpriteRig& rig, KVUnitSprite* s) { return Scaled(rig, s, 10, -4, {0, 2}); },
                     "not drawn, class 2"},
        BadInputCase{"ScaleNaN",
                     [](KVSpriteRig& rig, KVUnitSprite* s) { return Scaled(rig, s, 10, 10, {kNaN, 1}); },
                     "not drawn, class 1"},
        BadInputCase{"ScaleInfinite",
                     [](KVSpriteRig& rig, KVUnitSprite* s) { return Scaled(rig, s, 10, 10, {kInf, -kInf}); },
                     "not drawn, class 1"},
        // Places and spans past the 32-bit range saturate before they are
        // added up: a span that would wrap round keeps the sprite where it
        // lies.
        BadInputCase{"SpanPastTheLimitRightOfTheScreen",
                     [](KVSpriteRig& rig, KVUnitSprite* s) { return Scaled(rig, s, 2.0e9f, 10, {5.0e8f, 1}); },
                     "not drawn, class 1"},
        BadInputCase{"SpanPastTheLimitBelowTheScreen",
                     [](KVSpriteRig& rig, KVUnitSprite* s) { return Scaled(rig, s, 10, 2.0e9f, {1, 5.0e8f}); },
                     "not drawn, class 1"},
        BadInputCase{"SpanPastTheLimitOverTheScreen",
                     [](KVSpriteRig& rig, KVUnitSprite* s) { return Scaled(rig, s, -1.0e9f, 10, {1.0e9f, 1}); },
                     "drawn, class 2"},
        // Parts each well inside the range whose sizes add up past 2^29.
        BadInputCase{"PlaceAndSpanInsideTheLimitOverTheScreen",
                     [](KVSpriteRig& rig, KVUnitSprite* s) { return Scaled(rig, s, -3.0e8f, 10, {1.0e8f, 1}); },
                     "drawn, class 2"},
        BadInputCase{"PlacePastTheLimitLeftOfTheScreen",
                     [](KVSpriteRig& rig, KVUnitSprite* s) { return Scaled(rig, s, -3.0e9f, 10, {1, 1}); },
                     "not drawn, class 1"},
        BadInputCase{"HotspotAtTheLimits",
                     [](KVSpriteRig& rig, KVUnitSprite*) {
                         auto* cursor = rig.Make<KVUnitCursor>("Cursor", "C");
                         const int32_t position =
                             rig.Factory().FindAttributePosition(cursor->GetClassIndex(), KVUnitCursor::kHotspotId);
                         rig.Factory().SetAttributeText(cursor->GetIndex(), position, 0, "2147483647", false);
                         rig.Factory().SetAttributeText(cursor->GetIndex(), position, 1, "-2147483648", false);
                         uint32_t mask = KVUnitCursor::kMouseMove;
                         cursor->OnInput(&mask, -2147483647 - 1, 2147483647);
                         const KV2DTempl<float> p = *cursor->GetPosition();
                         const bool exact = p.x == float(-4294967295.0) && p.y == float(4294967295.0);
                         return std::string(exact && std::isfinite(cursor->GetWorldTransform().m[4]) ? "exact"
                                                                                                       : "wrong");
                     },
                     "exact"}),
    [](const ::testing::TestParamInfo<BadInputCase>& info) { return std::string(info.param.name); });

} // namespace
