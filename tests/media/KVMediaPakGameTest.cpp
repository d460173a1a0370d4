// Media shipped in a pak, as a game plays it: a movie and a streamed sound
// stored in a scene, their files in a pak loaded with the project (which is
// released when the load ends, while both still read their files) or
// loaded by the script before the scene. Each plays to its end.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "kernel/KVApplication.h"
#include "media/KVTheora.h"
#include "media/KVUnitSound.h"
#include "support/KVAudioHarness.h"
#include "support/KVGameRig.h"
#include "support/KVOggWriter.h"
#include "support/KVPakWriter.h"
#include "support/KVSceneUnitsWriter.h"
#include "support/KVToolFiles.h"

using namespace kvl;
using namespace kvtest;

namespace {

constexpr double kMovieSeconds = 3.0;
constexpr double kSoundSeconds = 3.0;
constexpr const char* kMediaScene = "scenes/media.kvl";

std::string AsText(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

// Frames of noise: far more than the movie reader holds ahead.
std::vector<uint8_t> NoiseMovie() {
    return FfmpegMovie("color=c=0xC83232:s=64x48:r=15:d=" + std::to_string(kMovieSeconds) +
                           ",noise=alls=80:allf=t",
                       "-q:v 8");
}

// A silent movie "Film" (timed by the frame time) and a streamed sound
// "Snd", both playing at once.
std::vector<uint8_t> MediaScene() {
    KVSceneUnitsWriter units;
    units.AddClassUnit(KVTheora::kClassId, "Theora", "Film", 1,
                       {{{KVTheora::kFileId, 3, 1}, KVStored::String("movies/film.ogg", true)},
                        {{KVTheora::kLoopId, 7, 1}, KVStored::Bool(false)},
                        {{KVTheora::kAutoplayId, 7, 1}, KVStored::Bool(true)},
                        {{KVTheora::kNoSoundId, 7, 1}, KVStored::Bool(true)}});
    units.AddClassUnit(KVUnitSound::kClassId, "Sound", "Snd", 2,
                       {{{KVUnitSound::kStreamedId, 7, 1}, KVStored::Bool(true)},
                        {{KVUnitSound::kSoundId, 3, 1}, KVStored::String("sounds/long.ogg", true)},
                        {{KVUnitSound::kLoopId, 7, 1}, KVStored::Bool(false)},
                        {{KVUnitSound::kAutoplayId, 7, 1}, KVStored::Bool(true)}});
    return units.Scene(0x20004, KVGameRig::kProjectId);
}

const char* const kListener = "Film = {}\n"
                              "function Film.OnVideoEnd() TestRecorder.Record('movie end') end\n"
                              "Snd = {}\n"
                              "function Snd.OnEndSound() TestRecorder.Record('sound end') end\n";

// Signed 16-bit little-endian samples of a file.
std::vector<int16_t> ReadSamples(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<int16_t> out(bytes.size() / 2);
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = int16_t(uint16_t(uint8_t(bytes[2 * i]) | (uint8_t(bytes[2 * i + 1]) << 8)));
    return out;
}

bool Recorded(KVGameRig& game, const std::string& what) {
    const std::vector<std::string>& records = game.Records();
    return std::find(records.begin(), records.end(), what) != records.end();
}

} // namespace

TEST(KVMediaPakGameTest, AMovieAndAStreamedSoundInAPakPlayWhole) {
    const std::vector<uint8_t> movie = NoiseMovie();
    ASSERT_GT(movie.size(), 100000u) << "ffmpeg with libtheora makes this movie";
    const std::vector<uint8_t> sound = WriteOggSeconds(kSoundSeconds);
    ASSERT_FALSE(sound.empty());
    struct Case {
        const char* name;
        bool withProject;  // else KVPak.LoadPak before the scene loads
        bool compressed;
    };
    const Case cases[] = {
        {"loaded with the project, stored", true, false},
        {"loaded with the project, compressed", true, true},
        {"loaded by the script, compressed", false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<int16_t> heard;
        int32_t movieEnd = -1;
        {
            KVGameRig::Options options;
            options.audioDriver = "disk";
            KVGameRig game(options);
            // SDL's disk driver writes all it mixes, at about the pace of
            // the device's buffers.
            const std::string output = game.Directory() + "/heard.raw";
            ScopedEnv file("SDL_DISKAUDIOFILE", output);
            ScopedEnv delay("SDL_DISKAUDIODELAY", "23");
            KVPakWriter pak;
            pak.Add("movies/film.ogg", AsText(movie));
            pak.Add("sounds/long.ogg", AsText(sound));
            game.WriteText("paks/main.kvpak", pak.Build(c.compressed));
            game.WriteText("paks/paks.kvpakdesc", BuildPakDescriptor({{"main", c.withProject, c.compressed, ""}}));
            KVSceneUnitsWriter boot;
            boot.AddPlainUnit("Boot", 9);
            game.AddScene("scenes/main.kvl", boot.Scene(0x20004, KVGameRig::kProjectId));
            game.AddScene(kMediaScene, MediaScene(), c.withProject);
            game.WriteScript("media.lua", kListener);
            ASSERT_TRUE(game.Start());
            if (!c.withProject) game.Run("KVPak.LoadPak('main') KVFileManager.LoadGroup('" + std::string(kMediaScene) + "')");
            // The frame cap only ends a game whose media never end.
            game.StepUntil(
                [&] {
                    if (movieEnd < 0 && Recorded(game, "movie end")) movieEnd = game.Frames();
                    return movieEnd >= 0 && Recorded(game, "sound end");
                },
                3000);
            EXPECT_EQ(game.CountLog("Error loading sound file"), 0u);
            kvl::ShutdownApplication();
            heard = ReadSamples(output);
        }
        // The movie's picture runs by the frame time: it ends after its
        // length of frames, not before.
        ASSERT_GE(movieEnd, 0) << "the movie never ended";
        EXPECT_GE(movieEnd * 0.02, kMovieSeconds - 0.1);
        // Every frame of the sweep was mixed (it is never silent).
        size_t sounding = 0;
        for (size_t i = 0; i + 1 < heard.size(); i += 2) sounding += heard[i] != 0 || heard[i + 1] != 0;
        EXPECT_GE(double(sounding), 0.95 * kSoundSeconds * 44100.0);
    }
}
