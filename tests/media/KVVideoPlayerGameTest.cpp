// The full-screen player in a game: a script plays an intro through
// "VideoPlayer", and what the audio device played is read back from SDL's
// disk driver.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "media/KVUnitSound.h"
#include "support/KVAudioHarness.h"
#include "support/KVGameRig.h"
#include "support/KVSceneUnitsWriter.h"
#include "support/KVToolFiles.h"

using namespace kvl;
using namespace kvtest;

namespace {

constexpr double kFrameRate = 44100.0;

// Stereo frames of the raw stream whose samples are louder than a quiet
// hiss, and the frame after the last of them.
struct Loudness {
    size_t loud = 0;
    size_t lastLoud = 0;
    size_t frames = 0;
};

Loudness Measure(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Loudness l;
    l.frames = bytes.size() / 4;
    for (size_t f = 0; f < l.frames; ++f) {
        const auto left = int16_t(uint16_t(uint8_t(bytes[4 * f])) | uint16_t(uint8_t(bytes[4 * f + 1])) << 8);
        if (left > 1000 || left < -1000) {
            ++l.loud;
            l.lastLoud = f + 1;
        }
    }
    return l;
}

// Frames of the game stepped about as fast as the device plays, for
// `seconds` of the wall's time.
void PlayFor(KVGameRig& game, double seconds) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < until) {
        game.Step();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

} // namespace

// An intro by ffmpeg with 3 s of a tone: its sound reaches the device while
// the movie plays, and stops when the script stops the movie.
TEST(KVVideoPlayerGameTest, AFullScreenMovieIsHeardAndFallsSilentWithTheMovie) {
    const std::vector<uint8_t> movie = FfmpegMovie("color=c=0xC83232:s=64x48:r=15:d=3", "-q:v 8 -ac 2",
                                                   "sine=frequency=440:sample_rate=44100:duration=3");
    ASSERT_FALSE(movie.empty()) << "ffmpeg with libtheora and libvorbis makes this movie";
    TempWorkDir disk;
    const std::string path = disk.Path() + "/stream.raw";
    // About the pace of a real device.
    ScopedEnv file("SDL_DISKAUDIOFILE", path);
    ScopedEnv delay("SDL_DISKAUDIODELAY", "23");
    {
        KVGameRig::Options options;
        options.audioDriver = "disk";
        KVGameRig game(options);
        game.WriteFile("movies/intro.ogg", movie);
        KVSceneUnitsWriter units;
        units.AddClassUnit(KVUnitSound::kClassId, "Sound", "U", 1, {});
        game.AddScene("scenes/main.kvl", units.Scene(0x20004, KVGameRig::kProjectId));
        game.WriteScript("u.lua", "U = {}\n"
                                  "function U.OnVideoEnd() TestRecorder.Record('end') end\n");
        ASSERT_TRUE(game.Start());
        game.Run("TestRecorder.Record(tostring(VideoPlayer.Play('movies/intro.ogg', 'U')))");
        ASSERT_EQ(game.Records(), std::vector<std::string>{"U"});
        PlayFor(game, 1.2);
        game.Run("VideoPlayer.Stop()");
        EXPECT_EQ(game.Records(), (std::vector<std::string>{"U", "end"}));
        PlayFor(game, 0.8);
    }
    const Loudness heard = Measure(path);
    ASSERT_GT(heard.frames, size_t(kFrameRate)) << "the device wrote " << heard.frames << " frames";
    // Heard for most of the time it played, and not to the end of its track.
    EXPECT_GT(double(heard.loud), 0.6 * kFrameRate);
    EXPECT_LT(double(heard.loud), 2.0 * kFrameRate);
    // Silent from the stop on: the device wrote on after the movie's sound.
    EXPECT_LT(double(heard.lastLoud), double(heard.frames) - 0.3 * kFrameRate);
}
