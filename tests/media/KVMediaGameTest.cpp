// Movies as a game plays them: "Theora" units stored in a scene file, their
// events heard by a script, stepped and drawn through the program's own
// frame; sounds named as converted projects name them.
#include <gtest/gtest.h>
#include <SDL.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "media/KVTheora.h"
#include "media/KVUnitSound.h"
#include "media/KVVSPR.h"
#include "support/KVGameRig.h"
#include "support/KVMovieUnitRig.h"
#include "support/KVOggWriter.h"
#include "support/KVSceneUnitsWriter.h"
#include "support/KVToolFiles.h"
#include "support/KVVsprWriter.h"
#include "units/KVUnit2D.h"
#include "units2d/KVUnitSprite.h"

using namespace kvl;
using namespace kvtest;

namespace {

// A scene of one unit "U" of the class with the values given.
Bytes OneUnitScene(uint64_t classId, const char* className, const std::vector<KVStoredValue>& values) {
    KVSceneUnitsWriter units;
    units.AddClassUnit(classId, className, "U", 1, values);
    return units.Scene(0x20004, KVGameRig::kProjectId);
}

// A silent, looping movie unit on the file, drawn at the scale given.
Bytes MovieScene(const std::string& file, float scale) {
    return OneUnitScene(KVTheora::kClassId, "Theora",
                        {{{KVTheora::kFileId, 3, 1}, KVStored::String(file, true)},
                         {{KVTheora::kNoSoundId, 7, 1}, KVStored::Bool(true)},
                         {{KVUnit2D::kScaleId, 1, 2}, KVStored::F32s({scale, scale})}});
}

} // namespace

// Red, green, blue and yellow quadrant movies by ffmpeg in each chroma
// layout, at a size of whole blocks, an odd size the encoder pads to 32 x 16,
// and 640 x 360 (padded to 640 x 368), each on a screen of the picture's
// size: the own texture has the picture's size, and the screen shows each
// quadrant's colour and the picture up to its last row and column.
TEST(KVMediaGameTest, EveryChromaLayoutShowsItsQuadrantsOnATextureOfThePicturesSize) {
    struct Size {
        int32_t width, height;
    };
    for (const char* format : {"yuv420p", "yuv422p", "yuv444p"}) {
        for (const Size& size : {Size{64, 48}, Size{18, 14}, Size{640, 360}}) {
            SCOPED_TRACE(testing::Message() << format << " " << size.width << "x" << size.height);
            KVGameRig::Options options;
            options.width = size.width;
            options.height = size.height;
            KVGameRig game(options);
            const std::vector<uint8_t> movie = FfmpegQuadrantMovie(uint32_t(size.width), uint32_t(size.height), format);
            ASSERT_FALSE(movie.empty()) << "ffmpeg with libtheora makes this movie";
            game.WriteFile("movies/m.ogg", movie);
            game.AddScene("scenes/main.kvl", MovieScene("movies/m.ogg", 1.0f));
            ASSERT_TRUE(game.Start());
            game.Step(2);
            auto* unit = dynamic_cast<KVUnitSprite*>(game.Find("U"));
            ASSERT_NE(unit, nullptr);
            ASSERT_NE(unit->GetOwnTexture(), nullptr);
            EXPECT_EQ(unit->GetOwnTexture()->GetImageSize()[0], size.width);
            EXPECT_EQ(unit->GetOwnTexture()->GetImageSize()[1], size.height);
            const int32_t xs[2] = {size.width / 4, size.width * 3 / 4};
            const int32_t ys[2] = {size.height / 4, size.height * 3 / 4};
            for (int quadrant = 0; quadrant < 4; ++quadrant) {
                const uint32_t shown = game.Pixel(xs[quadrant % 2], ys[quadrant / 2]);
                EXPECT_TRUE(NearColour(shown, kQuadrantColours[quadrant], 12))
                    << "quadrant " << quadrant << ": " << std::hex << shown;
            }
            // The encoder strays further from the colour in a tiny picture's corner.
            const uint32_t corner = game.Pixel(size.width - 2, size.height - 2);
            EXPECT_TRUE(NearColour(corner, kQuadrantColours[3], 24)) << std::hex << corner;
        }
    }
}

// A looping movie of one frame with a second of sound: once the sound's
// clock has passed the frame, every pass ends on the same frame time and no
// frame falls due. The game still steps its frames and keeps showing the
// picture. A hang is caught by an alarm in the child process.
TEST(KVMediaGameTest, ALoopingMovieWhoseFrameNeverFallsDueHoldsNoFrame) {
    const std::vector<uint8_t> movie =
        FfmpegMovie("color=c=0xFF0000:s=64x48:r=10:d=0.1", "-q:v 8 -ac 2", "sine=f=440:r=44100:d=1");
    ASSERT_FALSE(movie.empty()) << "ffmpeg with libtheora and libvorbis makes this movie";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            alarm(60);
            KVGameRig game;
            game.WriteFile("movies/m.ogg", movie);
            game.AddScene("scenes/main.kvl",
                          OneUnitScene(KVTheora::kClassId, "Theora",
                                       {{{KVTheora::kFileId, 3, 1}, KVStored::String("movies/m.ogg", true)}}));
            if (!game.Start()) std::_Exit(2);
            // Three seconds of game frames, the sound mixed in real time.
            for (int frame = 0; frame < 150; ++frame) {
                game.Step();
                SDL_Delay(5);
            }
            std::_Exit(NearColour(game.Pixel(32, 24), 0xFFFF0000u, 12) ? 0 : 3);
        },
        testing::ExitedWithCode(0), "");
}

// Converted projects name their sounds "*.wav", in any letter case, and ship
// the Ogg file lower-cased: each name plays that file to its end.
TEST(KVMediaGameTest, ASoundNamedWavInAnyCasePlaysItsOggTwin) {
    for (const char* name : {"sounds/MUSIC.WAV", "sounds/Music.Wav", "sounds/music.wav"}) {
        SCOPED_TRACE(name);
        KVGameRig game;
        game.WriteFile("sounds/music.ogg", WriteOggSeconds(0.3));
        game.AddScene("scenes/main.kvl",
                      OneUnitScene(KVUnitSound::kClassId, "Sound",
                                   {{{KVUnitSound::kSoundId, 3, 1}, KVStored::String(name, true)},
                                    {{KVUnitSound::kLoopId, 7, 1}, KVStored::Bool(false)},
                                    {{KVUnitSound::kAutoplayId, 7, 1}, KVStored::Bool(true)}}));
        game.WriteScript("u.lua", "U = {}\n"
                                  "function U.OnPlaySound() TestRecorder.Record('play') end\n"
                                  "function U.OnEndSound() TestRecorder.Record('end') end\n");
        ASSERT_TRUE(game.Start());
        EXPECT_TRUE(game.StepUntil([&] { return game.Records().size() >= 2; }, 200));
        EXPECT_EQ(game.Records(), (std::vector<std::string>{"play", "end"}));
        EXPECT_EQ(game.CountLog("Error loading sound file"), 0u);
        EXPECT_EQ(game.CountLog("Unable to load"), 0u);
    }
}

// Movies named in capitals while the game ships them lower-cased, as every
// other resource is looked up: a movie unit, a video sprite and the
// full-screen player each find their file.
TEST(KVMediaGameTest, MoviesNamedInCapitalsFindTheirLowerCasedFiles) {
    std::ifstream in(std::string(KV_MOVIE_DIR) + "/video.ogg", std::ios::binary);
    const std::vector<uint8_t> movie((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(movie.empty());
    KVVsprSpec sprite;
    sprite.frames.assign(3, std::vector<uint8_t>(16, 7));
    struct Case {
        const char* kind;
        Bytes scene;
        const char* started;
    };
    const Case cases[] = {
        {"Theora", OneUnitScene(KVTheora::kClassId, "Theora", {{{KVTheora::kFileId, 3, 1}, KVStored::String("MOVIES/FILM.OGG", true)}}),
         "start"},
        {"VideoSprite",
         OneUnitScene(KVVSPR::kClassId, "VideoSprite",
                      {{{KVVSPR::kFileId, 3, 1}, KVStored::String("MOVIES/SPRITE.VSPR", true)},
                       {{KVVSPR::kAutoplayId, 7, 1}, KVStored::Bool(true)}}),
         "sprite"},
        {"VideoPlayer", OneUnitScene(KVTheora::kClassId, "Theora", {}), "player"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        KVGameRig game;
        game.WriteFile("movies/film.ogg", movie);
        game.WriteFile("movies/sprite.vspr", WriteVspr(sprite));
        game.AddScene("scenes/main.kvl", c.scene);
        game.WriteScript("u.lua", "U = {}\n"
                                  "function U.OnVideoStart() TestRecorder.Record('start') end\n"
                                  "function U.OnVideoSpriteStart() TestRecorder.Record('sprite') end\n");
        ASSERT_TRUE(game.Start());
        if (std::string(c.kind) == "VideoPlayer")
            game.Run("if VideoPlayer.Play('MOVIES/FILM.OGG', 'U') then TestRecorder.Record('player') end\n"
                     "VideoPlayer.Stop()");
        game.Step(3);
        ASSERT_FALSE(game.Records().empty());
        EXPECT_EQ(game.Records().front(), c.started);
        EXPECT_EQ(game.CountLog("Unable to"), 0u);
    }
}
