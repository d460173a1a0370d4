// Movies from a common encoder played in a game: a "Theora" unit stored in
// a scene file, a script that only listens to its events, the program's own
// frame. What the game sees is the screen and the events.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "media/KVTheora.h"
#include "support/KVGameRig.h"
#include "support/KVSceneUnitsWriter.h"
#include "support/KVToolFiles.h"
#include "units/KVUnit2D.h"

using namespace kvl;
using namespace kvtest;

namespace {

// The colours a movie shows in turn, a second each (as ffmpeg draws them).
constexpr uint32_t kRed = 0xFFC83232u;
constexpr uint32_t kGreen = 0xFF32C832u;
constexpr uint32_t kBlue = 0xFF3232C8u;

bool Near(uint32_t a, uint32_t b, int tolerance = 16) {
    for (int shift = 0; shift < 24; shift += 8) {
        const int d = int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF);
        if (d > tolerance || d < -tolerance) return false;
    }
    return true;
}

// A movie of `seconds` of picture at 15 frames a second, a colour a second
// (red, green, blue, ...), with `sound` seconds of a stereo 44100 Hz tone
// (none when 0). ffmpeg keeps each stream's own length.
std::vector<uint8_t> ColourMovie(double seconds, double sound, const std::string& options = "-q:v 8") {
    std::string video = "color=c=0xC83232:s=64x48:r=15:d=" + std::to_string(seconds) +
                        ",drawbox=c=0x32C832:t=fill:enable='gte(t,1)'"
                        ",drawbox=c=0x3232C8:t=fill:enable='gte(t,2)'";
    const std::string audio =
        sound > 0 ? "sine=frequency=440:sample_rate=44100:duration=" + std::to_string(sound) : std::string();
    return FfmpegMovie(video, options + (sound > 0 ? " -ac 2" : ""), audio);
}

struct MovieSettings {
    bool loop = false;
    bool noSound = false;
    // The scene stores "Loop" before "File" (else after it, in the order
    // of the class's attributes).
    bool loopFirst = false;
};

const char* const kListener = "Film = {}\n"
                              "function Film.OnVideoStart() TestRecorder.Record('start') end\n"
                              "function Film.OnVideoEnd() TestRecorder.Record('end') end\n";

// A colour seen from a time on (seconds of the movie's own time).
struct Shown {
    uint32_t colour;
    double from;
};

// A game whose scene holds the movie unit "Film" over the whole screen;
// the script records the movie's events.
class MovieGame {
public:
    MovieGame(const std::vector<uint8_t>& movie, const MovieSettings& settings, const std::string& script = kListener,
              const KVGameRig::Options& options = KVGameRig::Options())
        : game(options) {
        KVSceneUnitsWriter units;
        KVSceneClassSpec entry;
        entry.classId = KVTheora::kClassId;
        entry.name = "Theora";
        entry.baseEntry = units.UnitEntry();
        entry.attributes = {{KVTheora::kFileId, 3, 1},
                            {KVTheora::kLoopId, 7, 1},
                            {KVTheora::kAutoplayId, 7, 1},
                            {KVTheora::kNoSoundId, 7, 1}};
        if (settings.loopFirst) entry.valueOrder = {0, 1, 2, 3, 4, 6, 5, 7, 8};
        const int32_t own = units.AddClass(entry);
        std::vector<Bytes> values = KVSceneUnitsWriter::UnitValues("Film", 1);
        values.push_back(KVStored::String("movies/film.ogg", true));
        values.push_back(KVStored::Bool(settings.loop));
        values.push_back(KVStored::Bool(true));
        values.push_back(KVStored::Bool(settings.noSound));
        units.AddUnit(own, values);
        game.WriteFile("movies/film.ogg", movie);
        game.AddScene("scenes/main.kvl", units.Scene(0x20004, KVGameRig::kProjectId));
        game.WriteScript("film.lua", script);
    }

    bool Start() {
        const bool started = game.Start();
        m_start = std::chrono::steady_clock::now();
        return started;
    }

    // A frame, then the colour in the middle of the screen. A movie with
    // sound keeps the sound device's time, so frames are stepped about as
    // fast as the device plays.
    uint32_t Frame() {
        game.Step();
        if (paced) std::this_thread::sleep_until(m_start + std::chrono::milliseconds(20 * game.Frames()));
        FollowMovieClock();
        return game.Pixel(game.Width() / 2, game.Height() / 2);
    }
    // The movie's own time since it started, across its passes: what its
    // picture follows, however late the machine runs the game's frames or
    // the sound device.
    double MovieTime() const { return m_passesTime + m_lastClock; }
    // The movie's time: the game's, or the device's for a paced movie.
    double Now() const {
        return paced ? std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count()
                     : game.Seconds();
    }
    // Frames for `seconds` of the movie's time, or until `stop` holds: each
    // change of colour with the time it was first seen.
    std::vector<Shown> Watch(double seconds, const std::function<bool()>& stop = nullptr) {
        std::vector<Shown> shown;
        const double until = Now() + seconds;
        while (Now() < until && !(stop && stop())) {
            const uint32_t colour = Frame();
            if (shown.empty() || !Near(shown.back().colour, colour)) shown.push_back({colour, MovieTime()});
        }
        return shown;
    }
    // "OnVideoEnd" came (`times` times).
    bool Ended(size_t times = 1) {
        size_t ends = 0;
        for (const std::string& r : game.Records()) ends += r == "end";
        return ends >= times;
    }

    KVGameRig game;
    bool paced = true;

private:
    // A new pass (counted with sound, a clock that starts again without)
    // adds the time the last one reached.
    void FollowMovieClock() {
        auto* unit = game.Find("Film");
        auto* theora = unit ? dynamic_cast<KVTheora*>(static_cast<IKVExternal*>(unit->GetExtraData())) : nullptr;
        const KVTheoraDecoder* decoder = theora ? theora->GetDecoder() : nullptr;
        if (!decoder) return;
        const double clock = decoder->Clock();
        const uint32_t pass = decoder->ClockPass();
        if (pass != m_lastPass || clock + 1e-4 < m_lastClock) m_passesTime += m_lastClock;
        m_lastPass = pass;
        m_lastClock = clock;
    }

    std::chrono::steady_clock::time_point m_start;
    double m_passesTime = 0.0;
    double m_lastClock = 0.0;
    uint32_t m_lastPass = 0;
};

std::vector<uint32_t> Colours(const std::vector<Shown>& shown) {
    std::vector<uint32_t> colours;
    for (const Shown& s : shown) colours.push_back(s.colour);
    return colours;
}

::testing::AssertionResult SameColours(const std::vector<uint32_t>& got, const std::vector<uint32_t>& expected) {
    bool same = got.size() == expected.size();
    for (size_t i = 0; same && i < got.size(); ++i) same = Near(got[i], expected[i]);
    if (same) return ::testing::AssertionSuccess();
    ::testing::AssertionResult failure = ::testing::AssertionFailure();
    failure << "shown:";
    for (uint32_t c : got) failure << " " << std::hex << c;
    return failure;
}

// A row of the tables below: the streams' lengths (seconds), whether
// "NoSound" is set, the colours of a pass (or of the whole movie) and how
// long that lasts.
struct MovieCase {
    double picture;
    double sound;
    bool noSound;
    std::vector<uint32_t> colours;
    double length;
};

std::string Describe(const MovieCase& c) {
    return std::to_string(c.picture) + " s of picture, " + std::to_string(c.sound) + " s of sound" +
           (c.noSound ? ", NoSound" : "");
}

// The game of a row, started (null when the movie or the game could not be
// made, with the failure reported).
std::unique_ptr<MovieGame> StartGame(const MovieCase& c, bool loop) {
    const std::vector<uint8_t> movie = ColourMovie(c.picture, c.sound);
    EXPECT_FALSE(movie.empty()) << "ffmpeg with libtheora and libvorbis makes this movie";
    if (movie.empty()) return nullptr;
    MovieSettings settings;
    settings.loop = loop;
    settings.noSound = c.noSound;
    auto run = std::make_unique<MovieGame>(movie, settings);
    run->paced = !c.noSound;
    EXPECT_TRUE(run->Start());
    return run;
}

} // namespace

// A looping movie whose picture and sound differ in length: each pass
// lasts as long as the longer stream and shows every colour of the picture;
// a picture that ends first holds its last colour until the pass ends.
TEST(KVTheoraPlayGameTest, ALoopingMovieOfUnequalStreamsShowsItsWholePictureEachPass) {
    const MovieCase cases[] = {
        {3.0, 1.0, false, {kRed, kGreen, kBlue}, 3.0},
        {2.0, 3.0, false, {kRed, kGreen}, 3.0},
        {2.0, 2.0, false, {kRed, kGreen}, 2.0},
        {2.0, 1.4, false, {kRed, kGreen}, 2.0},
        {3.0, 1.0, true, {kRed, kGreen, kBlue}, 3.0},
    };
    for (const MovieCase& c : cases) {
        SCOPED_TRACE(Describe(c));
        const std::unique_ptr<MovieGame> run = StartGame(c, true);
        if (!run) continue;
        const std::vector<Shown> shown = run->Watch(2.5 * c.length);
        std::vector<uint32_t> expected;
        for (int pass = 0; pass < 3; ++pass) expected.insert(expected.end(), c.colours.begin(), c.colours.end());
        std::vector<uint32_t> got = Colours(shown);
        // Two whole passes and the start of the third.
        ASSERT_GE(got.size(), 2 * c.colours.size() + 1) << SameColours(got, expected).message();
        got.resize(2 * c.colours.size() + 1);
        expected.resize(got.size());
        EXPECT_TRUE(SameColours(got, expected));
        // A pass, from its first colour to the next pass's, and the first
        // colour of each pass for its second, in the movie's own time.
        // (Loose: times are seen by a game's frames.)
        const size_t next = c.colours.size();
        EXPECT_NEAR(shown[next].from - shown[0].from, c.length, 0.5);
        EXPECT_NEAR(shown[1].from - shown[0].from, 1.0, 0.5);
        EXPECT_NEAR(shown[next + 1].from - shown[next].from, 1.0, 0.5);
        EXPECT_EQ(run->game.Records(), std::vector<std::string>{"start"});
    }
}

// Without loop a movie ends when its picture has ended and its sound has
// been heard to its end, whichever is longer; it raises its events once.
TEST(KVTheoraPlayGameTest, AMovieEndsWhenItsPictureAndItsSoundHaveEnded) {
    const MovieCase cases[] = {
        {2.0, 3.0, false, {kRed, kGreen}, 3.0},
        {2.0, 2.6, false, {kRed, kGreen}, 2.6},
        {3.0, 1.0, false, {kRed, kGreen, kBlue}, 2.87},
        {2.0, 2.0, false, {kRed, kGreen}, 2.0},
        {2.0, 3.0, true, {kRed, kGreen}, 1.87},
    };
    for (const MovieCase& c : cases) {
        SCOPED_TRACE(Describe(c));
        const std::unique_ptr<MovieGame> run = StartGame(c, false);
        if (!run) continue;
        const std::vector<Shown> shown = run->Watch(c.length + 10.0, [&] { return run->Ended(); });
        ASSERT_TRUE(run->Ended());
        EXPECT_TRUE(SameColours(Colours(shown), c.colours));
        // Not before the longer stream is over (the last frame lasts 1/15 s).
        EXPECT_GE(run->Now(), c.length - 0.1);
        EXPECT_EQ(run->game.Records(), (std::vector<std::string>{"start", "end"}));
        // An ended movie stays ended (Autoplay does not start it again).
        run->Watch(0.3);
        EXPECT_EQ(run->game.Records(), (std::vector<std::string>{"start", "end"}));
    }
}

// A movie small enough to be read whole with its headers (a frame a
// second, no sound) shows its first frame at once and plays once, whether
// the scene stores "Loop" before "File" or after it.
TEST(KVTheoraPlayGameTest, ATinyMovieShowsItsFirstFrameAndPlaysOnce) {
    const std::vector<uint8_t> movie = FfmpegMovie(
        "color=c=0xC83232:s=64x48:r=1:d=3,drawbox=c=0x32C832:t=fill:enable='gte(t,1)',"
        "drawbox=c=0x3232C8:t=fill:enable='gte(t,2)'",
        "-q:v 8");
    ASSERT_FALSE(movie.empty()) << "ffmpeg with libtheora makes this movie";
    ASSERT_LT(movie.size(), 16384u);  // within the reader's first blocks
    for (bool loopFirst : {false, true}) {
        SCOPED_TRACE(loopFirst ? "Loop before File" : "Loop after File");
        MovieSettings settings;
        settings.loopFirst = loopFirst;
        settings.noSound = true;
        MovieGame run(movie, settings);
        run.paced = false;
        ASSERT_TRUE(run.Start());
        EXPECT_TRUE(Near(run.Frame(), kRed));
        EXPECT_EQ(run.game.Records(), std::vector<std::string>{"start"});
        const std::vector<Shown> shown = run.Watch(8.0);
        EXPECT_TRUE(SameColours(Colours(shown), {kRed, kGreen, kBlue}));
        EXPECT_EQ(run.game.Records(), (std::vector<std::string>{"start", "end"}));
    }
}

// The script stops the movie and plays it again: it starts over from its
// first frame, with sound or without, and plays to its end.
TEST(KVTheoraPlayGameTest, StopThenPlayReplaysTheMovieFromItsStart) {
    // Key frames every 12 frames: the restart does not land on one by chance.
    const std::vector<uint8_t> movie = ColourMovie(2.0, 2.0, "-q:v 8 -g 12");
    ASSERT_FALSE(movie.empty()) << "ffmpeg with libtheora and libvorbis makes this movie";
    for (bool noSound : {false, true}) {
        SCOPED_TRACE(noSound ? "NoSound" : "with sound");
        MovieSettings settings;
        settings.noSound = noSound;
        MovieGame run(movie, settings);
        run.paced = !noSound;
        ASSERT_TRUE(run.Start());
        EXPECT_TRUE(SameColours(Colours(run.Watch(1.4)), {kRed, kGreen}));
        run.game.Run("Film:Stop()");
        run.game.Run("Film:Play()");
        const std::vector<Shown> shown = run.Watch(12.0, [&] { return run.Ended(2); });
        EXPECT_TRUE(SameColours(Colours(shown), {kRed, kGreen}));
        EXPECT_EQ(run.game.Records(), (std::vector<std::string>{"start", "end", "start", "end"}));
    }
}

// "Loop" cleared by the script at points of a pass, with the sound running
// ahead of the picture as the device pulls it (by up to a second; with no
// device, as it would): the movie ends at the end of the pass being shown,
// its colours shown once more only when the clearing came in the second
// pass. Streams of unequal length are played without a device (the game's
// own time, so the same every run).
TEST(KVTheoraPlayGameTest, ClearingLoopEndsTheMovieAtTheEndOfThePassShown) {
    struct Case {
        MovieCase movie;
        std::vector<const char*> drivers;
        // Where Loop is cleared, in passes: before the sound has gone on
        // into the next pass, after, and in the next pass.
        std::vector<double> clearAt;
    };
    const Case cases[] = {
        {{3.0, 3.0, false, {kRed, kGreen, kBlue}, 3.0}, {"dummy", "nosuchdriver"}, {0.5, 0.87, 0.97, 1.17}},
        {{2.0, 3.0, false, {kRed, kGreen}, 3.0}, {"nosuchdriver"}, {0.5, 0.97}},
        // The picture's last frame ends its pass at 2.87 s.
        {{3.0, 1.0, false, {kRed, kGreen, kBlue}, 2.87}, {"nosuchdriver"}, {0.5, 0.97}},
    };
    for (const Case& c : cases) {
        const std::vector<uint8_t> movie = ColourMovie(c.movie.picture, c.movie.sound);
        ASSERT_FALSE(movie.empty()) << "ffmpeg with libtheora and libvorbis makes this movie";
        const double length = c.movie.length;
        for (const char* driver : c.drivers) {
            for (double passes : c.clearAt) {
                const double clearAt = passes * length;
                SCOPED_TRACE(Describe(c.movie) + ", " + driver + ", Loop cleared at " + std::to_string(clearAt) + " s");
                MovieSettings settings;
                settings.loop = true;
                KVGameRig::Options options;
                options.audioDriver = driver;
                MovieGame run(movie, settings, kListener, options);
                run.paced = std::string(driver) == "dummy";
                ASSERT_TRUE(run.Start());
                std::vector<Shown> shown;
                while (run.MovieTime() < clearAt && !run.Ended()) {
                    const uint32_t colour = run.Frame();
                    if (shown.empty() || !Near(shown.back().colour, colour)) shown.push_back({colour, run.MovieTime()});
                    ASSERT_LT(run.game.Frames(), 2000) << "the movie does not move";
                }
                run.game.Run("Film.Loop = false");
                const std::vector<Shown> rest = run.Watch(12.0, [&] { return run.Ended(); });
                ASSERT_TRUE(run.Ended());
                const double end = run.MovieTime();
                for (const Shown& r : rest)
                    if (shown.empty() || !Near(shown.back().colour, r.colour)) shown.push_back(r);
                const size_t shownPasses = passes < 1.0 ? 1 : 2;
                std::vector<uint32_t> expected;
                for (size_t p = 0; p < shownPasses; ++p)
                    expected.insert(expected.end(), c.movie.colours.begin(), c.movie.colours.end());
                EXPECT_TRUE(SameColours(Colours(shown), expected));
                EXPECT_NEAR(end, length * double(shownPasses), 0.3);
                EXPECT_EQ(run.game.Records(), (std::vector<std::string>{"start", "end"}));
            }
        }
    }
}
