// The full-screen video player and its "VideoPlayer" library, over a
// recording movie library, in a whole core whose unit table holds stand-in
// units with script tables.
#include "media/KVVideoPlayer.h"

#include <gtest/gtest.h>
#include <GLES2/gl2.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "kernel/IKVThreadFactory.h"
#include "kernel/KVApplication.h"
#include "kernel/KVCore.h"
#include "kernel/KVLog.h"
#include "kernel/KVModules.h"
#include "platform/KVEGLScreen.h"
#include "support/KVFakeUnitTable.h"
#include "support/KVGLDeviceTest.h"
#include "support/KVRecordingCinema.h"
#include "support/KVTestCoreHost.h"
#include "units/KVSerialize.h"

using namespace kvl;
using namespace kvtest;

namespace {

std::vector<std::string> g_errorLines;

void RecordLogLine(const char* text, int32_t level, int32_t) {
    if (level == KVLOG_ERROR) g_errorLines.push_back(text ? text : "");
}

SDL_Event EventOfType(uint8_t type) {
    SDL_Event event{};
    event.type = type;
    return event;
}

class VideoPlayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_errorLines.clear();
        ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
        host = std::make_unique<KVTestCoreHost>(
            false, [] { KVModules::Instance()->RegisterModule(&KVFakeUnitTable::Create); });
        ASSERT_NE(KVFakeUnitTable::instance, nullptr);
        KVFakeUnitTable::instance->Attach();
        KVLog::Instance()->SetCallback(&RecordLogLine);
        cinema.Install();
        player = new KVVideoPlayer();
        player->Init();
        host->StartProject();
        hero = KVFakeUnitTable::instance->AddUnit("Hero");
        // Relative paths resolve against the project's directory: the asset root.
        KVSerialize::Instance()->LoadProject(host->Root() + "none.kvp");
        g_errorLines.clear();
        Run("function Hero.OnVideoEnd(...) TestRecorder.Record('OnVideoEnd ' .. select('#', ...)) end");
        KVTestCoreHost::Errors().clear();
    }
    void TearDown() override {
        delete player;
        host.reset();
        SDL_Quit();
    }

    void Run(const std::string& code) {
        std::string error;
        ASSERT_TRUE(host->Run(code, &error)) << error;
    }
    std::string Describe(const std::string& expression) { return host->Describe(expression); }
    static std::vector<std::string>& Events() { return KVTestCoreHost::Records(); }
    static std::vector<std::string>& Errors() { return KVTestCoreHost::Errors(); }
    bool HasScriptError(const std::string& part) const {
        return std::any_of(Errors().begin(), Errors().end(),
                           [&](const std::string& e) { return e.find(part) != std::string::npos; });
    }
    // The calls after the library's start.
    std::vector<std::string> Calls() const {
        return std::vector<std::string>(cinema.calls.begin() + 1, cinema.calls.end());
    }
    void Tap() {
        SDL_Event tap = EventOfType(SDL_MOUSEBUTTONDOWN);
        player->HandleEvent(&tap);
    }
    void EndOfMovie() {
        SDL_Event end = EventOfType(0);
        player->HandleEvent(&end);
    }

    std::unique_ptr<KVTestCoreHost> host;
    KVRecordingCinema cinema;
    KVVideoPlayer* player = nullptr;
    int32_t hero = -1;
};

TEST_F(VideoPlayerTest, InitStartsTheLibraryAndPublishesPlayAndStop) {
    EXPECT_EQ(cinema.calls, (std::vector<std::string>{"Init"}));
    EXPECT_EQ(host->TableKeys("VideoPlayer"), (std::vector<std::string>{"Play", "Stop"}));
    EXPECT_FALSE(player->IsPlaying());
}

TEST_F(VideoPlayerTest, PlayLoadsTheResolvedPathAndAnswersItsLastArgument) {
    EXPECT_EQ(Describe("VideoPlayer.Play('movies/intro.ogg', Hero)"), "table");
    EXPECT_EQ(Calls(), (std::vector<std::string>{"Load file://" + host->Root() + "movies/intro.ogg", "Play"}));
    EXPECT_TRUE(player->IsPlaying());
    EXPECT_EQ(player->GetUnitIndex(), hero);
    EXPECT_TRUE(Errors().empty());

    Run("options = {allow_skip = false}");
    player->StopPlayback();
    EXPECT_EQ(Describe("VideoPlayer.Play('intro.ogg', Hero, options) == options"), "boolean true");
}

TEST_F(VideoPlayerTest, ArgumentErrorsStartNothing) {
    struct Case {
        const char* call;
        const char* error;
    };
    const Case cases[] = {
        {"VideoPlayer.Play('intro.ogg')", "Invalid number of arguments"},
        {"VideoPlayer.Play()", "Invalid number of arguments"},
        {"VideoPlayer.Play('intro.ogg', nil)", "Bad or missing argument (Arg #2)"},
        {"VideoPlayer.Play('intro.ogg', {})", "Bad or missing argument (Arg #2)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.call);
        Errors().clear();
        EXPECT_EQ(Describe(c.call), "");
        EXPECT_TRUE(HasScriptError(c.error));
        EXPECT_FALSE(player->IsPlaying());
        EXPECT_TRUE(Calls().empty());
    }
}

TEST_F(VideoPlayerTest, SecondPlayWhilePlayingIsAnErrorAndTheFirstGoesOn) {
    Run("VideoPlayer.Play('a.ogg', Hero)");
    EXPECT_EQ(Describe("VideoPlayer.Play('b.ogg', Hero)"), "");
    EXPECT_TRUE(HasScriptError("video is already playing"));
    EXPECT_TRUE(player->IsPlaying());
    EXPECT_EQ(Calls().size(), 2u);
}

TEST_F(VideoPlayerTest, RefusedFileLogsTheScriptsPathAndALaterPlayWorks) {
    cinema.loadResult = 0;
    EXPECT_EQ(Describe("VideoPlayer.Play('movies/missing.ogg', Hero)"), "");
    EXPECT_EQ(g_errorLines, (std::vector<std::string>{"Unable to start video movies/missing.ogg"}));
    EXPECT_FALSE(player->IsPlaying());
    EXPECT_EQ(Calls(), (std::vector<std::string>{"Load file://" + host->Root() + "movies/missing.ogg"}));
    EXPECT_TRUE(Events().empty());

    cinema.loadResult = 1;
    EXPECT_EQ(Describe("VideoPlayer.Play('movies/intro.ogg', Hero)"), "table");
    EXPECT_TRUE(player->IsPlaying());
}

TEST_F(VideoPlayerTest, TapStopsUnlessSkippingIsOff) {
    struct Case {
        const char* options;
        bool tapStops;
    };
    const Case cases[] = {{"", true}, {", {}", true}, {", {allow_skip = true}", true}, {", {allow_skip = false}", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        Events().clear();
        cinema.calls.resize(1);
        Run(std::string("VideoPlayer.Play('intro.ogg', Hero") + c.options + ")");
        ASSERT_TRUE(player->IsPlaying());
        Tap();
        EXPECT_EQ(player->IsPlaying(), !c.tapStops);
        if (!c.tapStops) {
            EXPECT_TRUE(Events().empty());
            EndOfMovie();
        }
        EXPECT_FALSE(player->IsPlaying());
        EXPECT_EQ(Calls(), (std::vector<std::string>{"Load file://" + host->Root() + "intro.ogg", "Play", "Stop"}));
        EXPECT_EQ(Events(), (std::vector<std::string>{"OnVideoEnd 0"}));
    }
}

TEST_F(VideoPlayerTest, EndingTwiceSendsOneEvent) {
    Run("VideoPlayer.Play('intro.ogg', Hero)");
    Tap();
    EndOfMovie();
    Tap();
    Run("VideoPlayer.Stop()");
    EXPECT_EQ(Events(), (std::vector<std::string>{"OnVideoEnd 0"}));
    EXPECT_EQ(std::count(cinema.calls.begin(), cinema.calls.end(), "Stop"), 1);
}

TEST_F(VideoPlayerTest, StopWhileIdleDoesNothingAndWhilePlayingEndsOnce) {
    Run("VideoPlayer.Stop()");
    EXPECT_TRUE(Events().empty());
    EXPECT_TRUE(Calls().empty());

    Run("VideoPlayer.Play('intro.ogg', Hero) VideoPlayer.Stop(1, 2, 3)");
    EXPECT_FALSE(player->IsPlaying());
    EXPECT_EQ(Events(), (std::vector<std::string>{"OnVideoEnd 0"}));
    EXPECT_TRUE(Errors().empty());
}

TEST_F(VideoPlayerTest, OtherEventsAreIgnored) {
    Run("VideoPlayer.Play('intro.ogg', Hero)");
    for (uint8_t type : {SDL_KEYDOWN, SDL_MOUSEBUTTONUP, SDL_MOUSEMOTION, SDL_ACTIVEEVENT}) {
        SDL_Event event = EventOfType(type);
        player->HandleEvent(&event);
    }
    EXPECT_TRUE(player->IsPlaying());
    EXPECT_TRUE(Events().empty());
}

TEST_F(VideoPlayerTest, EndOfMovieArrivesThroughSDLsQueue) {
    Run("VideoPlayer.Play('intro.ogg', Hero)");
    ASSERT_TRUE(KVRecordingCinema::EndMovie());
    SDL_Event event;
    ASSERT_EQ(SDL_PollEvent(&event), 1);
    EXPECT_EQ(event.type, 0);
    player->HandleEvent(&event);
    EXPECT_FALSE(player->IsPlaying());
    EXPECT_EQ(Events(), (std::vector<std::string>{"OnVideoEnd 0"}));
}

// The unit may be closed while its movie plays: the end reaches nobody.
TEST_F(VideoPlayerTest, UnitClosedDuringTheMovieGetsNothing) {
    Run("VideoPlayer.Play('intro.ogg', Hero)");
    KVFakeUnitTable::instance->Units().At(hero).exists = false;
    EndOfMovie();
    EXPECT_FALSE(player->IsPlaying());
    EXPECT_TRUE(Events().empty());
    EXPECT_EQ(Calls().back(), "Stop");
}

TEST_F(VideoPlayerTest, PlayerGoneLeavesTheFunctionsHarmless) {
    delete player;
    player = nullptr;
    EXPECT_EQ(Describe("VideoPlayer.Play('intro.ogg', Hero)"), "");
    Run("VideoPlayer.Stop()");
    EXPECT_EQ(cinema.calls, (std::vector<std::string>{"Init"}));
}

// The main loop around a movie: what each frame did, in order.
std::vector<std::string> g_frames;

// Counts the frames: queues the movie's end in the third and quit in the fifth.
class FrameModule : public IKVModuleExt {
public:
    static IKVModuleExt* Create(const KVModuleCreateInfo*) { return new FrameModule(); }
    int32_t Init(int32_t) override { return 0; }
    int32_t Release(int32_t) override { return 0; }
    uint64_t GetId() override { return 0x00F4A3E000000001ull; }
    int32_t GetPriority() override { return 1; }
    int32_t Update(float) override {
        KVVideoPlayer* player = KVVideoPlayer::Instance();
        g_frames.push_back(player && player->IsPlaying() ? "update playing" : "update");
        ++m_frames;
        if (m_frames == 3) KVRecordingCinema::EndMovie();
        if (m_frames == 5) {
            SDL_Event quit = EventOfType(SDL_QUIT);
            SDL_PushEvent(&quit);
        }
        return 0;
    }

private:
    int32_t m_frames = 0;
};

// Journals the main loop's video sleep instead of sleeping it; other sleeps
// and all threads are the engine's.
class SleepJournal : public IKVThreadFactory {
public:
    SleepJournal() : m_inner(GetThreadFactory()) { SetThreadFactory(this); }
    ~SleepJournal() override { SetThreadFactory(m_inner); }
    IKVThread* CreateThread() override { return m_inner ? m_inner->CreateThread() : nullptr; }
    IKVCriticalSection* CreateCriticalSection() override {
        return m_inner ? m_inner->CreateCriticalSection() : nullptr;
    }
    int32_t Sleep(float seconds) override {
        if (seconds == 0.2f) g_frames.push_back("video sleep");
        // Enough for the frame clock to move on.
        SDL_Delay(2);
        return 0;
    }

private:
    IKVThreadFactory* m_inner;
};

// While a movie plays the game steps every frame but nothing renders; the
// movie's end, polled with the frame's events, ends that.
TEST_F(VideoPlayerTest, MainLoopStepsWithoutRenderingWhileAMoviePlays) {
    g_frames.clear();
    ASSERT_EQ(KVModules::Instance()->RegisterModule(&FrameModule::Create), KV_OK);
    SleepJournal sleeps;
    host->Core().SetActive(1);
    // The first step measures from here: time passes, so it updates.
    SDL_Delay(2);
    Run("VideoPlayer.Play('intro.ogg', Hero)");
    RunMainLoop();
    EXPECT_EQ(g_frames, (std::vector<std::string>{"update playing", "video sleep", "update playing", "video sleep",
                                                  "update playing", "video sleep", "update", "update"}));
    EXPECT_EQ(Events(), (std::vector<std::string>{"OnVideoEnd 0"}));
    EXPECT_FALSE(player->IsPlaying());
}

// The screen is blanked to black once before a movie starts; alpha writes
// stay off afterwards.
TEST(VideoPlayerScreen, ClearScreenBlanksAndLeavesAlphaWritesOff) {
    ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
    ASSERT_EQ(ScreenOpen(32, 24), 0);
    KeepGLDriverLoaded();
    glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    KVVideoPlayer player;
    player.ClearScreen();
    uint8_t pixel[4] = {9, 9, 9, 9};
    glReadPixels(16, 12, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
    EXPECT_EQ(pixel[0], 0);
    EXPECT_EQ(pixel[1], 0);
    EXPECT_EQ(pixel[2], 0);
    GLboolean mask[4] = {GL_FALSE, GL_FALSE, GL_FALSE, GL_TRUE};
    glGetBooleanv(GL_COLOR_WRITEMASK, mask);
    EXPECT_EQ(mask[0], GL_TRUE);
    EXPECT_EQ(mask[3], GL_FALSE);
    ScreenClose();
    SDL_Quit();
}

} // namespace
