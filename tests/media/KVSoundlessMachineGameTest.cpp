// A game on a machine whose sound cannot open (SDL_AUDIODRIVER names no
// driver there is): movies with a sound track and sound units still play,
// silently, in the game's own time, and end.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "media/KVTheora.h"
#include "media/KVUnitSound.h"
#include "support/KVGameRig.h"
#include "support/KVOggWriter.h"
#include "support/KVSceneUnitsWriter.h"
#include "support/KVToolFiles.h"

using namespace kvl;
using namespace kvtest;

namespace {

KVGameRig::Options NoDevice() {
    KVGameRig::Options options;
    options.audioDriver = "nosuchdriver";
    return options;
}

Bytes OneUnitScene(uint64_t classId, const char* className, const std::vector<KVStoredValue>& values) {
    KVSceneUnitsWriter units;
    units.AddClassUnit(classId, className, "U", 1, values);
    return units.Scene(0x20004, KVGameRig::kProjectId);
}

std::vector<uint8_t> MovieFixture(const std::string& name) {
    std::ifstream in(std::string(KV_MOVIE_DIR) + "/" + name, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The game time (seconds) at which the script first recorded `what`, or -1.
double RecordedAt(KVGameRig& game, const std::string& what, int32_t maxFrames) {
    double at = -1.0;
    game.StepUntil(
        [&] {
            for (const std::string& r : game.Records())
                if (r == what) at = game.Seconds();
            return at >= 0.0;
        },
        maxFrames);
    return at;
}

const char* const kListener = "U = {}\n"
                              "function U.OnPlaySound() TestRecorder.Record('play') end\n"
                              "function U.OnEndSound() TestRecorder.Record('end') end\n"
                              "function U.OnVideoStart() TestRecorder.Record('start') end\n"
                              "function U.OnVideoEnd() TestRecorder.Record('end') end\n";

} // namespace

// A movie with a sound track, by ffmpeg and by our writer, sound longer
// than the picture or as long: with the device missing it plays silently
// by the frame time and ends once, after its longer stream, as a movie
// without a sound track does.
TEST(KVSoundlessMachineGameTest, AMovieWithASoundTrackEndsByTheFrameTime) {
    struct Case {
        const char* name;
        std::vector<uint8_t> movie;
        double length;
    };
    const Case cases[] = {
        {"ffmpeg, 1 s of picture, 2 s of sound",
         FfmpegMovie("color=c=0xC83232:s=64x48:r=15:d=1", "-q:v 8 -ac 2",
                     "sine=frequency=440:sample_rate=44100:duration=2"),
         2.0},
        {"ffmpeg, 2 s of both",
         FfmpegMovie("color=c=0xC83232:s=64x48:r=15:d=2", "-q:v 8 -ac 2",
                     "sine=frequency=440:sample_rate=44100:duration=2"),
         2.0},
        {"our writer", MovieFixture("colours.ogg"), 1.5},
        {"our writer, no sound track", MovieFixture("video.ogg"), 1.5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_FALSE(c.movie.empty()) << "ffmpeg with libtheora and libvorbis makes this movie";
        KVGameRig game(NoDevice());
        game.WriteFile("movies/film.ogg", c.movie);
        game.AddScene("scenes/main.kvl", OneUnitScene(KVTheora::kClassId, "Theora",
                                                      {{{KVTheora::kFileId, 3, 1}, KVStored::String("movies/film.ogg", true)},
                                                       {{KVTheora::kLoopId, 7, 1}, KVStored::Bool(false)}}));
        game.WriteScript("u.lua", kListener);
        ASSERT_TRUE(game.Start());
        EXPECT_EQ(game.CountLog("Unable to open audio device"), 1u);
        // A generous bound: it only tells an end from a movie that hangs.
        const double end = RecordedAt(game, "end", int32_t(c.length * 50) + 500);
        ASSERT_GE(end, 0.0) << "no OnVideoEnd";
        EXPECT_GE(end, c.length - 0.1);
        EXPECT_LE(end, c.length + 0.5);
        game.Step(20);
        EXPECT_EQ(game.Records(), (std::vector<std::string>{"start", "end"}));
    }
}

// A sound unit, loaded whole or streamed: "OnEndSound" after its length in
// the game's time, as a device would have played it; a looping one goes on.
TEST(KVSoundlessMachineGameTest, ASoundEndsAfterItsLength) {
    for (bool streamed : {false, true}) {
        for (bool loop : {false, true}) {
            SCOPED_TRACE(std::string(streamed ? "streamed" : "whole") + (loop ? ", looping" : ""));
            KVGameRig game(NoDevice());
            game.WriteFile("sounds/tone.ogg", WriteOggSeconds(1.2));
            game.AddScene("scenes/main.kvl",
                          OneUnitScene(KVUnitSound::kClassId, "Sound",
                                       {{{KVUnitSound::kStreamedId, 7, 1}, KVStored::Bool(streamed)},
                                        {{KVUnitSound::kSoundId, 3, 1}, KVStored::String("sounds/tone.ogg", true)},
                                        {{KVUnitSound::kLoopId, 7, 1}, KVStored::Bool(loop)},
                                        {{KVUnitSound::kAutoplayId, 7, 1}, KVStored::Bool(true)}}));
            game.WriteScript("u.lua", kListener);
            ASSERT_TRUE(game.Start());
            // A looping one is watched for a little past its length.
            const double end = RecordedAt(game, "end", loop ? 100 : 400);
            EXPECT_EQ(game.CountLog("Error loading sound file"), 0u);
            ASSERT_FALSE(game.Records().empty());
            EXPECT_EQ(game.Records().front(), "play");
            if (loop) {
                EXPECT_LT(end, 0.0);
                continue;
            }
            ASSERT_GE(end, 0.0) << "no OnEndSound";
            // A streamed sound stops itself once the ring it refills ahead
            // holds only silence: about its length as well.
            EXPECT_GE(end, 1.2 - 0.05);
            EXPECT_LE(end, 1.2 + 0.3);
        }
    }
}
