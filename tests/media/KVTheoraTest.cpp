// "Theora" units: Ogg movies played into the embeddable host's own texture
// on the OpenGL ES device (read back from the screen), timed by dt or by
// the position of the sound that the movie feeds.
#include "media/KVTheora.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "kernel/IKVLog.h"
#include "kernel/KVCore.h"
#include "media/KVAudio.h"
#include "media/KVSound.h"
#include "media/KVSoundManager.h"
#include "support/KVAudioHarness.h"
#include "support/KVMovieUnitRig.h"
#include "support/KVOggMemoryDecoder.h"
#include "support/KVTestExternals.h"
#include "support/KVTestUnitEvents.h"
#include "support/KVToolFiles.h"
#include "support/movies/KVOggMovieWriter.h"

using namespace kvl;
using namespace kvtest;
using Records = std::vector<std::string>;

namespace {

std::vector<uint8_t> Fixture(const std::string& name) {
    std::ifstream in(std::string(KV_MOVIE_DIR) + "/" + name, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

uint32_t Rgb(const KVMovieColour& c) { return RgbOfYCbCr(c.y, c.cb, c.cr); }

// The first `count` samples of the file's Vorbis track, through Tremor's own reader.
std::vector<int16_t> OvRead(const std::vector<uint8_t>& bytes, size_t count) {
    const std::vector<uint8_t> pcm = KVOggMemoryDecoder::DecodeAll(bytes);
    std::vector<int16_t> samples(std::min(count, pcm.size() / 2));
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = int16_t(uint16_t(pcm[2 * i] | pcm[2 * i + 1] << 8));
    return samples;
}

class KVTheoraTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(rig.Ready()); }
    void TearDown() override {
        for (KVUnitSprite* unit : units) unit->Release();
    }

    // A movie unit "M" on the fixture with the attributes given first.
    KVUnitSprite* Movie(const std::string& fixture, const std::vector<std::pair<uint64_t, std::string>>& set = {}) {
        rig.WriteFile("movies/" + fixture, Fixture(fixture));
        KVUnitSprite* unit = rig.Unit("Theora", "M");
        if (!unit) return nullptr;
        units.push_back(unit);
        for (const auto& attribute : set) rig.SetText(unit, attribute.first, 0, attribute.second);
        rig.SetText(unit, KVTheora::kFileId, 0, "movies/" + fixture);
        return unit;
    }
    static KVTheora* Of(KVUnit* unit) { return KVMovieUnitRig::External<KVTheora>(unit); }
    uint32_t Shown() {
        rig.DrawFrame();
        return rig.PixelAt(20, 20);
    }
    // Updates of dt for `seconds`: the colours shown (each run once), with
    // the fake device's voice playing dt's worth of sound before each.
    std::vector<uint32_t> Play(KVUnit* unit, float seconds, float dt = 0.05f) {
        std::vector<uint32_t> colours;
        for (float t = 0; t < seconds; t += dt) {
            if (KVFakeSoundVoice* voice = rig.Sound().LastVoice()) {
                KVSoundManager::Instance()->Update(dt);
                voice->Advance(uint32_t(dt * 44100.0f) * 4);
            }
            unit->UpdateExternal(dt);
            const uint32_t shown = Shown();
            if (colours.empty() || !NearColour(colours.back(), shown, 12)) colours.push_back(shown);
        }
        return colours;
    }

    KVMovieUnitRig rig;
    std::vector<KVUnitSprite*> units;
};

} // namespace

TEST_F(KVTheoraTest, OpeningShowsTheFirstFrameOnAPlanarOwnTextureAndMakesTheSound) {
    KVUnitSprite* unit = Movie("colours.ogg");
    ASSERT_NE(unit, nullptr);
    EXPECT_TRUE(rig.TakeLogErrors().empty());
    IKVResourceTexture* texture = unit->GetOwnTexture();
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->GetImageSize()[0], int32_t(kMovieWidth));
    EXPECT_EQ(texture->GetImageSize()[1], int32_t(kMovieHeight));
    EXPECT_EQ(unit->GetDimension()->x, float(kMovieWidth));
    EXPECT_TRUE(NearColour(Shown(), Rgb(kMovieColours[0]), 12)) << std::hex << Shown();
    // The movie is no pixel source of the sprite.
    EXPECT_EQ(unit->GetSpriteSource(), nullptr);
    IKVSound* sound = Of(unit)->GetSound();
    ASSERT_NE(sound, nullptr);
    EXPECT_EQ(sound->GetRate(), 44100u);
    EXPECT_EQ(sound->GetChannels(), 2u);
    EXPECT_EQ(Of(unit)->GetState(), uint32_t(KVTHEORA_STOPPED));
}

TEST_F(KVTheoraTest, VideoTrackChoosesTheStreamAndAChangeReopens) {
    struct Case {
        const char* track;
        KVMovieColour first;
    };
    for (const Case& c : {Case{"1", kMovieOtherColours[0]}, Case{"5", kMovieColours[0]}}) {
        SCOPED_TRACE(c.track);
        KVUnitSprite* unit = Movie("two.ogg", {{KVTheora::kVideoTrackId, c.track}});
        ASSERT_NE(unit, nullptr);
        EXPECT_TRUE(NearColour(Shown(), Rgb(c.first), 12));
    }
    // On the open movie, the other stream shows on the same texture.
    KVUnitSprite* unit = units.back();
    IKVResourceTexture* texture = unit->GetOwnTexture();
    rig.SetText(unit, KVTheora::kVideoTrackId, 0, "1");
    EXPECT_EQ(unit->GetOwnTexture(), texture);
    EXPECT_TRUE(NearColour(Shown(), Rgb(kMovieOtherColours[0]), 12));
    EXPECT_TRUE(rig.TakeLogErrors().empty());
}

TEST_F(KVTheoraTest, ALoopingMovieWrapsToItsFirstColour) {
    KVUnitSprite* unit = Movie("video.ogg", {{KVTheora::kNoSoundId, "true"}});
    ASSERT_NE(unit, nullptr);
    EXPECT_EQ(Of(unit)->GetSound(), nullptr);
    rig.TakeRecords();
    const std::vector<uint32_t> colours = Play(unit, 2.2f);
    ASSERT_GE(colours.size(), 4u);
    for (uint32_t i = 0; i < 4; ++i) EXPECT_TRUE(NearColour(colours[i], Rgb(kMovieColours[i % 3]), 12)) << i;
    EXPECT_EQ(rig.TakeRecords(), (Records{"M:OnVideoStart"}));
    EXPECT_EQ(Of(unit)->GetState(), uint32_t(KVTHEORA_PLAYING));
}

TEST_F(KVTheoraTest, WithoutLoopTheMovieEndsOnceAndOnlyTheHostsStopLetsItStartAgain) {
    KVUnitSprite* unit = Movie("colours.ogg", {{KVTheora::kLoopId, "false"}});
    ASSERT_NE(unit, nullptr);
    rig.TakeRecords();
    std::vector<uint32_t> colours = Play(unit, 3.0f);
    ASSERT_EQ(colours.size(), 3u);
    EXPECT_TRUE(NearColour(colours[2], Rgb(kMovieColours[2]), 12));
    EXPECT_EQ(rig.TakeRecords(), (Records{"M:OnVideoStart", "M:OnVideoEnd"}));
    EXPECT_EQ(Of(unit)->GetState(), uint32_t(KVTHEORA_STOPPED));
    // Autoplay does not start a movie that ended by itself.
    Play(unit, 0.5f);
    EXPECT_EQ(rig.TakeRecords(), Records());

    // The host's Stop clears the started mark: the next update plays the
    // movie again from its first frame, to its end.
    unit->ResetState();
    unit->UpdateExternal(0.05f);
    EXPECT_EQ(rig.TakeRecords(), (Records{"M:OnVideoStart"}));
    EXPECT_TRUE(NearColour(Shown(), Rgb(kMovieColours[0]), 12));
    colours = Play(unit, 3.0f);
    EXPECT_EQ(colours.size(), 3u);
    EXPECT_EQ(rig.TakeRecords(), (Records{"M:OnVideoEnd"}));
}

TEST_F(KVTheoraTest, TheScriptsStopRewindsButKeepsAutoplayOff) {
    KVUnitSprite* unit = Movie("video.ogg", {{KVTheora::kNoSoundId, "true"}});
    ASSERT_NE(unit, nullptr);
    rig.TakeRecords();
    Play(unit, 0.8f);
    EXPECT_TRUE(NearColour(Shown(), Rgb(kMovieColours[1]), 12));
    rig.Run("M:Pause()");
    EXPECT_EQ(Of(unit)->GetState(), uint32_t(KVTHEORA_PAUSED));
    Play(unit, 0.5f);
    EXPECT_TRUE(NearColour(Shown(), Rgb(kMovieColours[1]), 12));
    rig.Run("M:Stop()");
    Play(unit, 0.3f);
    EXPECT_EQ(Of(unit)->GetState(), uint32_t(KVTHEORA_STOPPED));
    EXPECT_EQ(rig.TakeRecords(), (Records{"M:OnVideoStart", "M:OnVideoEnd"}));
    // Played again by the script, it starts at its first frame.
    rig.Run("M:Play()");
    unit->UpdateExternal(0.05f);
    EXPECT_TRUE(NearColour(Shown(), Rgb(kMovieColours[0]), 12));
    EXPECT_EQ(rig.TakeRecords(), (Records{"M:OnVideoStart"}));
}

TEST_F(KVTheoraTest, TheSoundPlaysTheMoviesTrackAndTimesTheFrames) {
    KVUnitSprite* unit = Movie("colours.ogg");
    ASSERT_NE(unit, nullptr);
    const std::vector<int16_t> expected = OvRead(Fixture("colours.ogg"), 44100);
    ASSERT_EQ(expected.size(), 44100u);
    KVFakeSoundVoice* voice = rig.Sound().LastVoice();
    ASSERT_NE(voice, nullptr);
    std::vector<uint8_t> played;
    for (int step = 0; step < 10; ++step) {
        KVSoundManager::Instance()->Update(0.05f);
        unit->UpdateExternal(0.05f);
        std::vector<uint8_t> chunk = voice->Advance(8820);
        played.insert(played.end(), chunk.begin(), chunk.end());
    }
    // 0.5 s of the sound are the track's samples.
    ASSERT_EQ(played.size(), expected.size() * 2);
    size_t first = expected.size();
    for (size_t i = 0; i < expected.size(); ++i)
        if (int16_t(uint16_t(played[2 * i] | played[2 * i + 1] << 8)) != expected[i]) {
            first = i;
            break;
        }
    EXPECT_EQ(first, expected.size());
    // The clock is the sound's position: past 0.5 s the second colour shows.
    voice->Advance(8820);
    KVSoundManager::Instance()->Update(0.05f);
    // (The clock read in one update times the frames of the next.)
    unit->UpdateExternal(0.0f);
    unit->UpdateExternal(0.0f);
    EXPECT_TRUE(NearColour(Shown(), Rgb(kMovieColours[1]), 12));
    // The volume reaches the sound.
    rig.SetText(unit, KVTheora::kVolumeId, 0, "0.25");
    EXPECT_FLOAT_EQ(static_cast<KVSound*>(Of(unit)->GetSound())->GetVolume(), 0.25f);
}

TEST(KVTheoraMixerTest, TheMixerPlaysTheMoviesSamples) {
    KVAudioHarness harness;
    KVMovieUnitRig rig(&harness.Device());
    ASSERT_TRUE(rig.Ready());
    rig.WriteFile("m.ogg", Fixture("colours.ogg"));
    KVUnitSprite* unit = rig.Unit("Theora", "M");
    ASSERT_NE(unit, nullptr);
    rig.SetText(unit, KVTheora::kFileId, 0, "m.ogg");
    unit->UpdateExternal(0.0f);
    // The first samples are in the sound's buffer from the start.
    const std::vector<int16_t> mixed = harness.Mix(4 * 4096);
    EXPECT_EQ(mixed, OvRead(Fixture("colours.ogg"), mixed.size()));
    unit->Release();
}

TEST_F(KVTheoraTest, EachOpeningFailureLogsOneLineAndLeavesTheMovieClosed) {
    std::vector<uint8_t> cut = Fixture("colours.ogg");
    cut.resize(cut.size() * 2 / 3);
    rig.WriteFile("movies/cut.ogg", cut);
    struct Case {
        const char* file;
        std::string error;
    };
    const Case cases[] = {
        {"movies/missing.ogg", "Unable to open " + rig.Host().Root() + "movies/missing.ogg"},
        {"movies/truncated.ogg", "End of file while searching for codec headers"},
        {"movies/badtheora.ogg", "Error parsing Theora stream headers; corrupt stream?"},
        {"movies/badvorbis.ogg", "Error parsing Vorbis stream headers; corrupt stream?"},
        {"mov", ""},
    };
    for (const char* name : {"truncated.ogg", "badtheora.ogg", "badvorbis.ogg"}) rig.WriteFile(std::string("movies/") + name, Fixture(name));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        KVUnitSprite* unit = rig.Unit("Theora", "M");
        ASSERT_NE(unit, nullptr);
        rig.TakeLogErrors();
        rig.SetText(unit, KVTheora::kFileId, 0, c.file);
        const std::vector<std::string> errors = rig.TakeLogErrors();
        EXPECT_EQ(errors, c.error.empty() ? std::vector<std::string>() : std::vector<std::string>{c.error});
        EXPECT_EQ(Of(unit)->GetDecoder(), nullptr);
        EXPECT_EQ(unit->GetOwnTexture(), nullptr);
        EXPECT_EQ(Of(unit)->GetSound(), nullptr);
        unit->UpdateExternal(0.1f);
        EXPECT_EQ(Of(unit)->GetState(), uint32_t(KVTHEORA_STOPPED));
        unit->Release();
    }
    // A file cut after its headers plays what it has and ends.
    KVUnitSprite* unit = Movie("colours.ogg");
    rig.SetText(unit, KVTheora::kFileId, 0, "movies/cut.ogg");
    ASSERT_NE(Of(unit)->GetDecoder(), nullptr);
    rig.SetText(unit, KVTheora::kLoopId, 0, "false");
    rig.TakeRecords();
    Play(unit, 3.0f);
    EXPECT_EQ(Of(unit)->GetState(), uint32_t(KVTHEORA_STOPPED));
}

// A host that has no sprite face has no surface to give.
TEST(KVTheoraHostTest, AHostWithoutASurfaceLogsTheSurfaceError) {
    KVTestUnitEvents units;
    KVTestEmbeddableUnit::UseForEmbeddable();
    const int32_t movieClass = KVTheora::RegisterClass(static_cast<IKVCore*>(&units.Host().Core()));
    ASSERT_GE(movieClass, 0);
    const std::vector<uint8_t> bytes = Fixture("video.ogg");
    units.Host().Dir().WriteFile("m.ogg", std::string(bytes.begin(), bytes.end()));
    IKVUnit* made = nullptr;
    ASSERT_EQ(units.Factory().NewUnit(movieClass, &made), KV_OK);
    static std::vector<std::string> errors;
    GetLog()->SetCallback([](const char* text, int32_t level, int32_t) {
        if (level == KVLOG_ERROR) errors.push_back(text);
    });
    const int32_t position = units.Factory().FindAttributePosition(movieClass, KVTheora::kFileId);
    units.Factory().SetAttributeText(made->GetIndex(), position, 0, units.Host().Dir().Path() + "/m.ogg", false);
    EXPECT_EQ(errors, std::vector<std::string>{"Error while creating surface"});
    EXPECT_EQ(KVMovieUnitRig::External<KVTheora>(made->GetUnit())->GetDecoder(), nullptr);
    made->Release();
}

namespace {

// A video-only movie from a common encoder, made at test time: 320 x 240 at
// 10 frames a second for 2 s, every frame a key frame (granule shift 6), the
// comment and setup headers on one page, the last page marked as the end of
// the stream; red for a second, then blue. Empty when ffmpeg fails.
std::vector<uint8_t> EncoderMovie() {
    return FfmpegMovie("color=c=0xC83232:s=320x240:r=10:d=2,drawbox=c=0x2850C8:t=fill:enable='gte(t,1)'",
                       "-q:v 8 -g 1");
}

} // namespace

// Movies whose every frame is a key frame, ours and a common encoder's,
// with "Loop" off before the file is named or after it (as a scene file
// sets it): each shows its colours in turn on the movie clock and ends.
TEST_F(KVTheoraTest, AKeyFrameOnlyMovieShowsEachColourAndEndsWithoutLoop) {
    const std::vector<uint8_t> encoded = EncoderMovie();
    ASSERT_FALSE(encoded.empty()) << "ffmpeg (with libtheora) is needed to make this fixture: scripts/packages.txt";
    rig.WriteFile("movies/encoder.ogg", encoded);
    rig.WriteFile("movies/keys.ogg", Fixture("keys.ogg"));
    struct Case {
        const char* file;
        std::vector<uint32_t> colours;
    };
    const Case cases[] = {
        {"movies/encoder.ogg", {0xFFC83232u, 0xFF2850C8u}},
        {"movies/keys.ogg", {Rgb(kMovieColours[0]), Rgb(kMovieColours[1]), Rgb(kMovieColours[2])}},
    };
    for (const Case& c : cases) {
        for (bool loopAfterFile : {false, true}) {
            SCOPED_TRACE(std::string(c.file) + (loopAfterFile ? ", Loop after File" : ", Loop before File"));
            KVUnitSprite* unit = rig.Unit("Theora", "M");
            ASSERT_NE(unit, nullptr);
            units.push_back(unit);
            rig.SetText(unit, KVTheora::kNoSoundId, 0, "true");
            if (!loopAfterFile) rig.SetText(unit, KVTheora::kLoopId, 0, "false");
            rig.SetText(unit, KVTheora::kFileId, 0, c.file);
            if (loopAfterFile) rig.SetText(unit, KVTheora::kLoopId, 0, "false");
            ASSERT_NE(Of(unit)->GetDecoder(), nullptr);
            EXPECT_TRUE(rig.TakeLogErrors().empty());
            rig.TakeRecords();
            // Game frames of 20 ms; the movie lasts 2 s (1.5 s), 30 s is plenty.
            std::vector<uint32_t> colours;
            float clock = 0.0f;
            do {
                unit->UpdateExternal(0.02f);
                clock += 0.02f;
                const uint32_t shown = Shown();
                if (colours.empty() || !NearColour(colours.back(), shown, 12)) colours.push_back(shown);
            } while (clock < 30.0f && Of(unit)->GetState() != KVTHEORA_STOPPED);
            EXPECT_LT(clock, 3.0f);
            EXPECT_EQ(Of(unit)->GetState(), uint32_t(KVTHEORA_STOPPED));
            EXPECT_EQ(rig.TakeRecords(), (Records{"M:OnVideoStart", "M:OnVideoEnd"}));
            ASSERT_EQ(colours.size(), c.colours.size());
            for (size_t i = 0; i < colours.size(); ++i)
                EXPECT_TRUE(NearColour(colours[i], c.colours[i], 12)) << i << " " << std::hex << colours[i];
            units.pop_back();
            unit->Release();
        }
    }
}

// "Loop" turned off while a looping movie plays: it ends at the end of its
// pass, with sound and without.
TEST_F(KVTheoraTest, ClearingLoopWhileAMoviePlaysLetsItEnd) {
    for (const char* noSound : {"true", "false"}) {
        SCOPED_TRACE(noSound);
        KVUnitSprite* unit = Movie("colours.ogg", {{KVTheora::kNoSoundId, noSound}});
        ASSERT_NE(unit, nullptr);
        rig.TakeRecords();
        // Past the end of the first pass: the reader has gone round already.
        Play(unit, 2.0f);
        EXPECT_EQ(Of(unit)->GetState(), uint32_t(KVTHEORA_PLAYING));
        rig.SetText(unit, KVTheora::kLoopId, 0, "false");
        Play(unit, 4.0f);
        EXPECT_EQ(Of(unit)->GetState(), uint32_t(KVTHEORA_STOPPED));
        EXPECT_EQ(rig.TakeRecords(), (Records{"M:OnVideoStart", "M:OnVideoEnd"}));
        units.pop_back();
        unit->Release();
    }
}

// A track change to a stream of another frame size: the own texture takes
// that size, and the frames show whole; back again, the first size.
TEST_F(KVTheoraTest, AVideoTrackOfAnotherSizeGetsASurfaceOfItsSize) {
    KVUnitSprite* unit = Movie("twosizes.ogg", {{KVTheora::kNoSoundId, "true"}});
    ASSERT_NE(unit, nullptr);
    struct Case {
        const char* track;
        uint32_t width;
        uint32_t height;
        KVMovieColour colour;
    };
    for (const Case& c : {Case{"1", kMovieSmallWidth, kMovieSmallHeight, kMovieOtherColours[0]},
                          Case{"0", kMovieWidth, kMovieHeight, kMovieColours[0]}}) {
        SCOPED_TRACE(c.track);
        rig.SetText(unit, KVTheora::kVideoTrackId, 0, c.track);
        IKVResourceTexture* texture = unit->GetOwnTexture();
        ASSERT_NE(texture, nullptr);
        EXPECT_EQ(texture->GetImageSize()[0], int32_t(c.width));
        EXPECT_EQ(texture->GetImageSize()[1], int32_t(c.height));
        EXPECT_TRUE(NearColour(Shown(), Rgb(c.colour), 12)) << std::hex << Shown();
        unit->UpdateExternal(0.05f);
        EXPECT_TRUE(NearColour(Shown(), Rgb(c.colour), 12)) << std::hex << Shown();
    }
    EXPECT_TRUE(rig.TakeLogErrors().empty());
}

namespace {

std::vector<std::string>& Warnings() {
    static std::vector<std::string> lines;
    return lines;
}

} // namespace

// A movie whose sound the device cannot play says so, once, and plays
// silently timed by dt.
TEST_F(KVTheoraTest, AMovieSoundOfAnotherRateIsNamedInTheLog) {
    Warnings().clear();
    GetLog()->SetCallback([](const char* text, int32_t level, int32_t) {
        if (level == KVLOG_WARNING) Warnings().push_back(text);
    });
    KVUnitSprite* unit = Movie("rate48.ogg");
    ASSERT_NE(unit, nullptr);
    EXPECT_EQ(Of(unit)->GetSound(), nullptr);
    Play(unit, 0.6f);
    EXPECT_TRUE(NearColour(Shown(), Rgb(kMovieColours[1]), 12));
    EXPECT_EQ(Warnings(), std::vector<std::string>{
                              "movies/rate48.ogg: sound of 48000 Hz and 2 channels is not played (44100 Hz stereo only)"});
}

namespace {

// The mixer on the test's thread, a frame per mixer pass: the pass is
// mixed, then the manager refills the sound, then the movie updates.
class KVTheoraMixerRun {
public:
    static constexpr uint32_t kPass = 4096;                      // bytes
    static constexpr float kDt = float(kPass / 4) / 44100.0f;    // its time

    explicit KVTheoraMixerRun(const std::string& fixture) : rig(&harness.Device()) {
        EXPECT_TRUE(rig.Ready());
        rig.WriteFile("m.ogg", Fixture(fixture));
        unit = rig.Unit("Theora", "M");
        EXPECT_NE(unit, nullptr);
        if (unit) rig.SetText(unit, KVTheora::kFileId, 0, "m.ogg");
        // Autoplay: the sound plays from the first pass on.
        if (unit) unit->UpdateExternal(0.0f);
    }
    ~KVTheoraMixerRun() {
        if (unit) unit->Release();
    }
    // One frame; the samples mixed in it are appended to `mixed`.
    void Frame() {
        const std::vector<int16_t> pass = harness.Mix(kPass);
        mixed.insert(mixed.end(), pass.begin(), pass.end());
        KVSoundManager::Instance()->Update(kDt);
        unit->UpdateExternal(kDt);
    }
    uint32_t Shown() {
        rig.DrawFrame();
        return rig.PixelAt(20, 20);
    }

    KVAudioHarness harness;
    KVMovieUnitRig rig;
    KVUnitSprite* unit = nullptr;
    std::vector<int16_t> mixed;
};

} // namespace

// Stopped and played again by its script, a movie is heard from its start:
// nothing of what was queued before plays, and the sound keeps to the track
// (and so to the clock it gives the picture).
TEST(KVTheoraMixerTest, AReplayedMovieIsHeardFromItsFirstSample) {
    KVTheoraMixerRun run("colours.ogg");
    ASSERT_NE(run.unit, nullptr);
    const std::vector<int16_t> track = OvRead(Fixture("colours.ogg"), 44100 * 2);
    for (int i = 0; i < 32; ++i) run.Frame();  // 0.74 s
    ASSERT_EQ(run.mixed, std::vector<int16_t>(track.begin(), track.begin() + std::ptrdiff_t(run.mixed.size())));
    run.rig.Run("M:Stop()");
    run.rig.Run("M:Play()");
    run.unit->UpdateExternal(0.0f);
    run.mixed.clear();
    for (int i = 0; i < 40; ++i) run.Frame();  // 0.93 s
    ASSERT_LE(run.mixed.size(), track.size());
    const auto mismatch = std::mismatch(run.mixed.begin(), run.mixed.end(), track.begin());
    EXPECT_EQ(size_t(mismatch.first - run.mixed.begin()), run.mixed.size());
    EXPECT_LT(std::abs(KVMovieUnitRig::External<KVTheora>(run.unit)->GetDecoder()->Clock() - 40 * KVTheoraMixerRun::kDt), 0.1f);
}

// Across the loop point the sound goes on with the movie's sound from its
// start, without a gap, and the picture restarts with it.
TEST(KVTheoraMixerTest, ALoopingMovieKeepsItsSoundWithItsPicture) {
    KVTheoraMixerRun run("colours.ogg");
    ASSERT_NE(run.unit, nullptr);
    const std::vector<int16_t> track = OvRead(Fixture("colours.ogg"), 44100 * 2 * 2);
    const uint32_t first = Rgb(kMovieColours[0]);
    const uint32_t last = Rgb(kMovieColours[2]);
    // The samples mixed when the first colour showed again after the last.
    size_t pictureRestart = std::string::npos;
    bool lastSeen = false;
    for (int i = 0; i < 120 && pictureRestart == std::string::npos; ++i) {  // up to 2.8 s
        run.Frame();
        const uint32_t shown = run.Shown();
        if (NearColour(shown, last, 12)) lastSeen = true;
        if (lastSeen && NearColour(shown, first, 12)) pictureRestart = run.mixed.size();
    }
    ASSERT_NE(pictureRestart, std::string::npos);
    for (int i = 0; i < 40; ++i) run.Frame();
    // The track's start, played again after its first pass.
    const std::vector<int16_t> head(track.begin(), track.begin() + 8192);
    const size_t skip = 44100;  // well inside the first pass
    const std::vector<int16_t> later(run.mixed.begin() + std::ptrdiff_t(skip), run.mixed.end());
    const size_t found = FindSamples(later, head);
    ASSERT_NE(found, std::string::npos);
    const size_t soundRestart = skip + found;
    // The first pass was heard whole, and nothing but it before the second.
    EXPECT_EQ(soundRestart, size_t(1.5 * 44100 * 2 + 0.5)) << soundRestart;
    // The second pass is the track again, from its start.
    const size_t length = std::min(run.mixed.size() - soundRestart, size_t(44100));
    EXPECT_TRUE(std::equal(track.begin(), track.begin() + std::ptrdiff_t(length),
                           run.mixed.begin() + std::ptrdiff_t(soundRestart)));
    // The picture restarted within one mixer pass of the frame whose clock
    // first saw the sound restart (the clock read in one update times the
    // frames of the next): at most two passes after it, never before.
    const int64_t apart = int64_t(pictureRestart) - int64_t(soundRestart);
    const int64_t pass = KVTheoraMixerRun::kPass / 2;  // samples
    EXPECT_GE(apart, 0);
    EXPECT_LE(apart, 2 * pass) << apart;
}

// A track change to a sound of another rate drops the sound made for the
// first one: the movie says why it is silent and is timed by dt.
TEST_F(KVTheoraTest, AnAudioTrackOfAnotherRateDropsTheSoundMadeForTheFirst) {
    Warnings().clear();
    GetLog()->SetCallback([](const char* text, int32_t level, int32_t) {
        if (level == KVLOG_WARNING) Warnings().push_back(text);
    });
    KVUnitSprite* unit = Movie("twosounds.ogg");
    ASSERT_NE(unit, nullptr);
    ASSERT_NE(Of(unit)->GetSound(), nullptr);
    EXPECT_EQ(Of(unit)->GetSound()->GetRate(), 44100u);
    rig.SetText(unit, KVTheora::kAudioTrackId, 0, "1");
    EXPECT_EQ(Of(unit)->GetSound(), nullptr);
    EXPECT_EQ(Warnings().size(), 1u);
    Play(unit, 0.6f);
    EXPECT_TRUE(NearColour(Shown(), Rgb(kMovieColours[1]), 12));
    // Back on the first track, a sound of its rate again.
    rig.SetText(unit, KVTheora::kAudioTrackId, 0, "0");
    ASSERT_NE(Of(unit)->GetSound(), nullptr);
    EXPECT_EQ(Of(unit)->GetSound()->GetRate(), 44100u);
}
