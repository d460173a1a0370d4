// The engine's movie player behind the platform's movie library: which
// files it takes, that a movie ends on time with SDL's type-0 event, and
// what it draws on a lent screen.
#include "media/KVCinemaPlayer.h"

#include <gtest/gtest.h>
#include <SDL.h>
#include <EGL/egl.h>
#include <GLES2/gl2.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "graphics/KVYUVConverter.h"
#include "kernel/KVThreadFactory.h"
#include "platform/KVEGLScreen.h"
#include "support/KVGLDeviceTest.h"
#include "support/KVLogCapture.h"
#include "support/KVMemoryFile.h"
#include "support/KVOggWriter.h"
#include "support/KVToolFiles.h"
#include "support/movies/KVOggMovieWriter.h"

using namespace kvl;
using namespace kvtest;

namespace {

using Clock = std::chrono::steady_clock;

std::vector<uint8_t> Fixture(const std::string& name) {
    std::ifstream in(std::string(KV_MOVIE_DIR) + "/" + name, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

constexpr double kMovieSeconds = double(kMovieSegments * kMovieSegmentFrames) / kMovieFps;
// Only a hang is timed: how soon a movie starts, ends or stops depends on
// the machine, never earlier than its frames say.
constexpr double kHang = 20.0;
static_assert(kMovieLongSeconds > 2 * kHang, "the long movie outlasts the hang limit");

std::string LongMovieUrl() { return std::string("file:///movies/") + kMovieLongFixture; }

bool WaitUntil(const std::function<bool()>& done) {
    const Clock::time_point end = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                                     std::chrono::duration<double>(kHang));
    while (!done()) {
        if (Clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

class CinemaPlayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
        for (const char* name : {"video.ogg", "colours.ogg", "truncated.ogg", "badtheora.ogg", kMovieLongFixture})
            files.SetFile(std::string("/movies/") + name, Fixture(name));
        files.SetFile("/movies/sound.ogg", WriteOggSeconds(0.5));
        player.SetFileInterface(&files);
    }
    void TearDown() override {
        player.Stop();
        if (ScreenIsOpen()) ScreenClose();
        SDL_Quit();
    }

    // Seconds until the end event arrives from Play; negative when none
    // came within the limit (a hang).
    double WaitForEnd(Clock::time_point start, double limit) {
        for (;;) {
            SDL_Event event;
            while (SDL_PollEvent(&event) == 1)
                if (event.type == 0) return std::chrono::duration<double>(Clock::now() - start).count();
            if (std::chrono::duration<double>(Clock::now() - start).count() > limit) return -1.0;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    static bool EndQueued() {
        SDL_Event event;
        SDL_PumpEvents();
        return SDL_PeepEvents(&event, 1, SDL_PEEKEVENT, SDL_EVENTMASK(0)) > 0;
    }

    KVThreadFactory factory;
    KVLogCapture log;
    KVMemoryFile files;
    KVCinemaPlayer player;
};

TEST_F(CinemaPlayerTest, LoadTakesFileUrlsOfMoviesWithATheoraStream) {
    struct Case {
        const char* url;
        int loads;
    };
    const Case cases[] = {
        {"file:///movies/video.ogg", 1},    {"file:///movies/colours.ogg", 1},  {"/movies/video.ogg", 0},
        {"http:///movies/video.ogg", 0},    {"file://", 0},                     {"file:///movies/none.ogg", 0},
        {"file:///movies/sound.ogg", 0},    {"file:///movies/truncated.ogg", 0}, {"file:///movies/badtheora.ogg", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        EXPECT_EQ(player.Load(c.url), c.loads);
        EXPECT_EQ(player.IsLoaded(), c.loads == 1);
    }
    // The game logs a refusal itself; the library says nothing.
    EXPECT_TRUE(log.Errors().empty());
    player.Stop();
    EXPECT_EQ(files.OpenHandles(), 0);
}

TEST_F(CinemaPlayerTest, PlayWithoutALoadedMovieDoesNothing) {
    EXPECT_EQ(player.Play(), 0);
    EXPECT_EQ(player.Stop(), 0);
}

// Without a screen the movie only keeps time: the end comes after the last
// frame's end.
TEST_F(CinemaPlayerTest, MovieEndsOnTimeWithoutAScreen) {
    ASSERT_EQ(player.Load("file:///movies/video.ogg"), 1);
    const Clock::time_point start = Clock::now();
    ASSERT_EQ(player.Play(), 1);
    const double ended = WaitForEnd(start, kMovieSeconds + kHang);
    EXPECT_FALSE(player.IsDrawing());
    ASSERT_GE(ended, 0.0) << "no end";
    EXPECT_GE(ended, kMovieSeconds - 0.01);
    EXPECT_EQ(player.Stop(), 1);
    EXPECT_FALSE(player.IsLoaded());
}

// A stop does not wait for the movie's end: the long movie would take
// longer than the hang limit to get there.
// A movie read whole with its headers (a frame a second for 3 s, from a
// common encoder) plays its frames: the end comes after the last one.
TEST_F(CinemaPlayerTest, ATinyMovieEndsAfterItsLastFrame) {
    const std::vector<uint8_t> movie = FfmpegMovie("color=c=red:s=64x48:r=1:d=3", "-q:v 8");
    ASSERT_FALSE(movie.empty()) << "ffmpeg with libtheora makes this movie";
    ASSERT_LT(movie.size(), 16384u);
    files.SetFile("/movies/tiny.ogg", movie);
    ASSERT_EQ(player.Load("file:///movies/tiny.ogg"), 1);
    const Clock::time_point start = Clock::now();
    ASSERT_EQ(player.Play(), 1);
    const double ended = WaitForEnd(start, 3.0 + kHang);
    ASSERT_GE(ended, 0.0) << "no end";
    EXPECT_GE(ended, 3.0 - 0.01);
}

TEST_F(CinemaPlayerTest, StopBeforeTheEndQueuesNoEndAndMayPlayAgain) {
    ASSERT_EQ(player.Load(LongMovieUrl().c_str()), 1);
    ASSERT_EQ(player.Play(), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const Clock::time_point stopping = Clock::now();
    EXPECT_EQ(player.Stop(), 1);
    EXPECT_LT(std::chrono::duration<double>(Clock::now() - stopping).count(), kHang);
    EXPECT_FALSE(EndQueued());

    // A load while playing stops the movie first.
    ASSERT_EQ(player.Load("file:///movies/video.ogg"), 1);
    ASSERT_EQ(player.Play(), 1);
    EXPECT_EQ(player.Play(), 0);
    ASSERT_EQ(player.Load("file:///movies/colours.ogg"), 1);
    EXPECT_FALSE(EndQueued());
    EXPECT_EQ(files.OpenHandles(), 1);
}

// An end already queued when the game stops the movie does not reach the
// next movie.
TEST_F(CinemaPlayerTest, EndQueuedBeforeAStopIsTakenBack) {
    ASSERT_EQ(player.Load("file:///movies/video.ogg"), 1);
    ASSERT_EQ(player.Play(), 1);
    ASSERT_TRUE(WaitUntil([] { return EndQueued(); }));
    player.Stop();
    EXPECT_FALSE(EndQueued());
}

class CinemaScreenTest : public CinemaPlayerTest {
protected:
    // The third colour of the movie as the screen shows it (16-bit colour).
    static void LastColour(uint8_t rgb[3]) {
        const KVMovieColour& c = kMovieColours[kMovieSegments - 1];
        const uint16_t word = KVYUVConverter::ToRgb565(KVYUVConverter::ToRgb(c.y, c.cb, c.cr));
        rgb[0] = uint8_t(((word >> 11) & 31) * 255 / 31);
        rgb[1] = uint8_t(((word >> 5) & 63) * 255 / 63);
        rgb[2] = uint8_t((word & 31) * 255 / 31);
    }
    static bool Near(const uint8_t* a, const uint8_t* b) {
        for (int i = 0; i < 3; ++i)
            if (a[i] + 9 < b[i] || b[i] + 9 < a[i]) return false;
        return true;
    }
    static void PixelAt(int32_t x, int32_t y, uint8_t out[4]) {
        glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, out);
    }
};

// On a screen twice as wide as high the 4:3 picture fills the height,
// centred, black on both sides; the screen is the game's again afterwards
// with the GL state its device set.
TEST_F(CinemaScreenTest, DrawsTheMovieOverTheScreenAndGivesTheScreenBack) {
    ASSERT_EQ(ScreenOpen(96, 48), 0);
    KeepGLDriverLoaded();
    const EGLContext context = eglGetCurrentContext();
    glViewport(1, 2, 30, 20);
    glEnable(GL_BLEND);
    glEnable(GL_SCISSOR_TEST);
    glClearColor(0.25f, 0.5f, 0.75f, 1.0f);
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);

    ASSERT_EQ(player.Load("file:///movies/video.ogg"), 1);
    const Clock::time_point start = Clock::now();
    ASSERT_EQ(player.Play(), 1);
    EXPECT_EQ(eglGetCurrentContext(), EGL_NO_CONTEXT);
    const double ended = WaitForEnd(start, kMovieSeconds + kHang);
    ASSERT_GE(ended, 0.0) << "no end";
    EXPECT_GE(ended, kMovieSeconds - 0.01);
    player.Stop();
    ASSERT_EQ(eglGetCurrentContext(), context);

    GLint viewport[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[0], 1);
    EXPECT_EQ(viewport[2], 30);
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    EXPECT_TRUE(glIsEnabled(GL_SCISSOR_TEST));
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(GLuint(bound), texture);
    GLfloat clear[4] = {0, 0, 0, 0};
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    EXPECT_FLOAT_EQ(clear[1], 0.5f);
    glDeleteTextures(1, &texture);

    uint8_t expected[3];
    LastColour(expected);
    uint8_t centre[4], left[4], right[4];
    PixelAt(48, 24, centre);
    PixelAt(8, 24, left);
    PixelAt(88, 24, right);
    EXPECT_TRUE(Near(centre, expected)) << int(centre[0]) << " " << int(centre[1]) << " " << int(centre[2]);
    const uint8_t black[3] = {0, 0, 0};
    EXPECT_TRUE(Near(left, black));
    EXPECT_TRUE(Near(right, black));
}

TEST_F(CinemaScreenTest, DestroyingThePlayerStopsTheMovieAndGivesTheScreenBack) {
    ASSERT_EQ(ScreenOpen(64, 48), 0);
    KeepGLDriverLoaded();
    const EGLContext context = eglGetCurrentContext();
    Clock::time_point destroying;
    {
        KVCinemaPlayer other;
        other.SetFileInterface(&files);
        ASSERT_EQ(other.Load(LongMovieUrl().c_str()), 1);
        ASSERT_EQ(other.Play(), 1);
        EXPECT_TRUE(WaitUntil([&] { return other.IsDrawing(); }));
        destroying = Clock::now();
    }
    // Without waiting for the long movie's end.
    EXPECT_LT(std::chrono::duration<double>(Clock::now() - destroying).count(), kHang);
    EXPECT_EQ(eglGetCurrentContext(), context);
    EXPECT_FALSE(EndQueued());
    EXPECT_EQ(files.OpenHandles(), 0);
}

} // namespace
