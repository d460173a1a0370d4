// "VideoSprite" units: VSPR files played into the embeddable host's own
// texture on the OpenGL ES device, read back from the screen.
#include "media/KVVSPR.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/KVMovieUnitRig.h"
#include "support/KVVsprWriter.h"
#include "units/KVUnitFactory.h"

using namespace kvl;
using namespace kvtest;
using Records = std::vector<std::string>;

namespace {

constexpr uint32_t kW = 16;
constexpr uint32_t kH = 12;

// Index i shows as a colour of its own.
uint32_t Colour(uint32_t i) { return 0xFF000000u | (i * 20u) << 16 | (255u - i * 20u) << 8 | 40u; }

// `count` frames, frame n all of index n: each frame after a key frame is
// "one more everywhere", so a frame shows right only when its chain from
// the key frame was decoded.
KVVsprSpec Solid(uint32_t count, uint32_t keyInterval = 5) {
    KVVsprSpec recipe;
    recipe.width = kW;
    recipe.height = kH;
    recipe.keyInterval = keyInterval;
    recipe.frameRate = 10;
    recipe.offsetX = 4;
    recipe.offsetY = 6;
    for (uint32_t n = 0; n < count; ++n) recipe.frames.emplace_back(size_t(kW) * kH, uint8_t(n));
    for (uint32_t i = 0; i < 256; ++i) recipe.palette.push_back(Colour(i));
    return recipe;
}

class KVVSPRTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(rig.Ready());
        rig.DrawFrame();
        background = rig.PixelAt(0, 0);
    }

    // A video sprite "V" on the file, streamed or not; the records of the
    // opening are dropped.
    KVUnitSprite* Open(const std::vector<uint8_t>& file, bool streamed = true, const std::string& path = "a.vspr") {
        rig.WriteFile(path, file);
        KVUnitSprite* unit = rig.Unit("VideoSprite", "V");
        if (!unit) return nullptr;
        if (!streamed) rig.SetText(unit, KVVSPR::kStreamedId, 0, "false");
        rig.SetText(unit, KVVSPR::kFileId, 0, path);
        return unit;
    }
    static KVVSPR* Of(KVUnit* unit) { return KVMovieUnitRig::External<KVVSPR>(unit); }
    // The colour shown inside the picture (placed at the file's offset).
    uint32_t Shown() {
        rig.DrawFrame();
        return rig.PixelAt(4 + 5, 6 + 5);
    }

    KVMovieUnitRig rig;
    uint32_t background = 0;
};

} // namespace

TEST_F(KVVSPRTest, OpeningShowsTheFirstFrameOnItsOwnTextureAtTheFilesOffset) {
    KVUnitSprite* unit = Open(WriteVspr(Solid(10)));
    ASSERT_NE(unit, nullptr);
    EXPECT_TRUE(rig.TakeLogErrors().empty());
    IKVResourceTexture* texture = unit->GetOwnTexture();
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->GetImageSize()[0], int32_t(kW));
    EXPECT_EQ(texture->GetImageSize()[1], int32_t(kH));
    EXPECT_EQ(unit->GetPosition()->x, 4.0f);
    EXPECT_EQ(unit->GetPosition()->y, 6.0f);
    EXPECT_EQ(Shown(), Colour(0));
    EXPECT_EQ(rig.PixelAt(3, 5), background);
    EXPECT_EQ(rig.PixelAt(4 + kW, 6), background);
    // The sprite's point tests ask the external for the pixel's colour.
    EXPECT_EQ(unit->GetSpriteSource(), static_cast<IKVUnitSpriteExternal*>(Of(unit)));
    EXPECT_EQ(Of(unit)->GetPixelColor(3, 3), Colour(0));
    EXPECT_EQ(Of(unit)->GetPixelColor(int32_t(kW), 0), 0u);
    EXPECT_EQ(Of(unit)->GetState(), uint32_t(KVVSPR_STOPPED));
}

TEST_F(KVVSPRTest, WithoutAutoOffsetTheUnitStaysWhereItIs) {
    rig.WriteFile("a.vspr", WriteVspr(Solid(2)));
    KVUnitSprite* unit = rig.Unit("VideoSprite", "V");
    ASSERT_NE(unit, nullptr);
    unit->SetPosition(20, 10);
    rig.SetText(unit, KVVSPR::kAutoOffsetId, 0, "false");
    rig.SetText(unit, KVVSPR::kFileId, 0, "a.vspr");
    EXPECT_EQ(unit->GetPosition()->x, 20.0f);
    rig.DrawFrame();
    EXPECT_EQ(rig.PixelAt(25, 15), Colour(0));
}

// Frames are reached from their key frame, whatever was shown before.
TEST_F(KVVSPRTest, FramesAreReachedThroughTheirKeyFrames) {
    KVUnitSprite* unit = Open(WriteVspr(Solid(12)));
    ASSERT_NE(unit, nullptr);
    for (uint32_t frame : {7u, 8u, 6u, 2u, 11u, 10u}) {
        SCOPED_TRACE(frame);
        rig.Run("V.Frame = " + std::to_string(frame));
        EXPECT_EQ(Of(unit)->GetDecoder().HeldFrame(), int32_t(frame));
        EXPECT_EQ(Shown(), Colour(frame));
        EXPECT_EQ(Of(unit)->GetPixelColor(0, 0), Colour(frame));
    }
    // Beyond the count: the last frame.
    rig.SetText(unit, KVVSPR::kFrameId, 0, "40");
    EXPECT_EQ(Of(unit)->GetFrame(), 11u);
    EXPECT_EQ(Shown(), Colour(11));
}

TEST_F(KVVSPRTest, PlaybackFollowsTheTimeAndLoopsOrEnds) {
    struct Case {
        bool loop;
        uint32_t frame;
        uint32_t state;
        float elapsed;
        Records events;
    };
    const Case cases[] = {
        {true, 0, KVVSPR_PLAYING, 0.05f, {"V:OnVideoSpriteStart"}},
        {false, 9, KVVSPR_ENDED, 0.0f, {"V:OnVideoSpriteStart", "V:OnVideoSpriteEnd"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.loop);
        KVUnitSprite* unit = Open(WriteVspr(Solid(10)));
        ASSERT_NE(unit, nullptr);
        rig.SetText(unit, KVVSPR::kLoopId, 0, c.loop ? "true" : "false");
        rig.TakeRecords();
        unit->UpdateExternal(0.55f);
        EXPECT_EQ(Shown(), Colour(5));
        unit->UpdateExternal(0.4f);
        EXPECT_EQ(Shown(), Colour(9));
        // Past the end by half a frame: 1.05 s in all.
        unit->UpdateExternal(0.1f);
        EXPECT_EQ(Of(unit)->GetState(), c.state);
        EXPECT_NEAR(Of(unit)->GetElapsed(), c.elapsed, 1e-4f);
        EXPECT_EQ(Of(unit)->GetFrame(), c.frame);
        EXPECT_EQ(Shown(), Colour(c.frame));
        // An ended sprite stays as it is; Autoplay starts only stopped ones.
        unit->UpdateExternal(0.1f);
        EXPECT_EQ(Of(unit)->GetState(), c.state);
        EXPECT_EQ(rig.TakeRecords(), c.events);
        unit->Release();
    }
}

TEST_F(KVVSPRTest, ScriptMethodsChangeTheStateWithTheirEvents) {
    KVUnitSprite* unit = Open(WriteVspr(Solid(10)));
    ASSERT_NE(unit, nullptr);
    rig.SetText(unit, KVVSPR::kAutoplayId, 0, "false");
    rig.TakeRecords();
    unit->UpdateExternal(0.3f);
    EXPECT_EQ(Of(unit)->GetState(), uint32_t(KVVSPR_STOPPED));
    rig.Run("V:Play()");
    unit->UpdateExternal(0.3f);
    EXPECT_EQ(Shown(), Colour(3));
    rig.Run("V:Pause()");
    unit->UpdateExternal(0.3f);
    EXPECT_EQ(Shown(), Colour(3));
    rig.Run("V:Play()");
    rig.Run("V:Stop()");
    // A streamed sprite shows its first frame again at once.
    EXPECT_EQ(Shown(), Colour(0));
    EXPECT_EQ(Of(unit)->GetElapsed(), 0.0f);
    EXPECT_EQ(rig.TakeRecords(), (Records{"V:OnVideoSpriteStart", "V:OnVideoSpriteEnd"}));

    // The host's Stop rewinds without an event and without redrawing.
    rig.Run("V:Play()");
    unit->UpdateExternal(0.45f);
    unit->ResetState();
    EXPECT_EQ(Of(unit)->GetState(), uint32_t(KVVSPR_STOPPED));
    EXPECT_EQ(Of(unit)->GetFrame(), 0u);
    EXPECT_EQ(Shown(), Colour(4));
    EXPECT_EQ(rig.TakeRecords(), (Records{"V:OnVideoSpriteStart"}));
}

TEST_F(KVVSPRTest, EventsGoToTheUnitNotifyUnit) {
    KVUnitSprite* unit = Open(WriteVspr(Solid(10)));
    ASSERT_NE(unit, nullptr);
    KVUnitSprite* other = rig.Unit("VideoSprite", "W");
    ASSERT_NE(other, nullptr);
    rig.Run("V.UnitNotify = W");
    rig.TakeRecords();
    unit->UpdateExternal(0.1f);
    EXPECT_EQ(rig.TakeRecords(), (Records{"W:OnVideoSpriteStart"}));
}

TEST_F(KVVSPRTest, AFileReadWholeIsNotRedrawnByStopOrFrame) {
    KVUnitSprite* unit = Open(WriteVspr(Solid(10)), false);
    ASSERT_NE(unit, nullptr);
    EXPECT_FALSE(Of(unit)->GetDecoder().IsStreaming());
    EXPECT_TRUE(Of(unit)->GetDecoder().HasSource());
    unit->UpdateExternal(0.35f);
    EXPECT_EQ(Shown(), Colour(3));
    rig.SetText(unit, KVVSPR::kFrameId, 0, "7");
    EXPECT_EQ(Shown(), Colour(3));
    rig.Run("V:Stop()");
    EXPECT_EQ(Shown(), Colour(3));
    // Only playing moves it on.
    unit->UpdateExternal(0.75f);
    EXPECT_EQ(Shown(), Colour(7));
}

TEST_F(KVVSPRTest, UnusableFilesRaiseOnErrorAndLeaveNoPicture) {
    auto with = [](void (*change)(KVVsprSpec&)) {
        KVVsprSpec recipe = Solid(3);
        change(recipe);
        return WriteVspr(recipe);
    };
    struct Case {
        const char* what;
        std::vector<uint8_t> file;
    };
    const std::vector<uint8_t> good = WriteVspr(Solid(3));
    const Case cases[] = {
        {"magic", with([](KVVsprSpec& s) { s.magic[3] = 'X'; })},
        {"version", with([](KVVsprSpec& s) { s.version = 0x00010000u; })},
        {"no frames", with([](KVVsprSpec& s) {
             s.overrideCount = true;
             s.frameCount = 0;
         })},
        {"key interval 0", with([](KVVsprSpec& s) { s.keyInterval = 0; })},
        {"cut in the table", std::vector<uint8_t>(good.begin(), good.begin() + 1066)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        KVUnitSprite* unit = Open(c.file);
        ASSERT_NE(unit, nullptr);
        EXPECT_EQ(rig.TakeRecords(), (Records{"V:OnError 0"}));
        EXPECT_FALSE(Of(unit)->GetDecoder().HasSource());
        EXPECT_EQ(Of(unit)->GetPixelColor(0, 0), 0u);
        unit->UpdateExternal(0.5f);
        EXPECT_EQ(rig.TakeRecords(), Records());
        rig.TakeLogErrors();
        unit->Release();
    }
    // A missing file is an error too; a path of two characters names none.
    KVUnitSprite* unit = rig.Unit("VideoSprite", "V");
    ASSERT_NE(unit, nullptr);
    rig.SetText(unit, KVVSPR::kFileId, 0, "missing.vspr");
    EXPECT_EQ(rig.TakeRecords(), (Records{"V:OnError 0"}));
    rig.SetText(unit, KVVSPR::kFileId, 0, "ab");
    EXPECT_EQ(rig.TakeRecords(), Records());
    EXPECT_TRUE(rig.TakeLogErrors().empty());
}

// A damaged frame record is not shown; the picture before it stays.
TEST_F(KVVSPRTest, AMarkedRecordKeepsThePreviousPicture) {
    KVVsprSpec recipe = Solid(6);
    recipe.reserved[2] = 1;
    KVUnitSprite* unit = Open(WriteVspr(recipe));
    ASSERT_NE(unit, nullptr);
    rig.SetText(unit, KVVSPR::kFrameId, 0, "1");
    rig.SetText(unit, KVVSPR::kFrameId, 0, "2");
    EXPECT_EQ(Shown(), Colour(1));
    EXPECT_EQ(Of(unit)->GetDecoder().HeldFrame(), 1);
}

TEST_F(KVVSPRTest, DisablingClosesTheFileAndEnablingOpensItAgain) {
    KVUnitSprite* unit = Open(WriteVspr(Solid(4)));
    ASSERT_NE(unit, nullptr);
    unit->SetEnabled(false);
    EXPECT_FALSE(Of(unit)->GetDecoder().HasSource());
    unit->SetEnabled(true);
    EXPECT_TRUE(Of(unit)->GetDecoder().HasSource());
    EXPECT_EQ(Shown(), Colour(0));
}
