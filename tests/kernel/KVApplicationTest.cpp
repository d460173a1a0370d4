#include <gtest/gtest.h>
#include <SDL.h>

#include <cstdlib>
#include <string>

#include "kernel/KVApplication.h"
#include "kernel/KVCore.h"
#include "kernel/KVPlatformCreators.h"
#include "media/KVVideoPlayer.h"
#include "support/KVTestSupport.h"

using namespace kvl;

namespace {

std::vector<int> g_inputEvents;
int32_t RecordInput(const SDL_Event* e) {
    g_inputEvents.push_back(e->type);
    return 0;
}

// A core that runs without a project, with SDL's dummy video driver.
class KVMainLoopTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_inputEvents.clear();
        ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
        core = KVCore::Instance(false);
        core->Init(0);
        core->Init(1);
        uint8_t keep = 0;
        core->Step(&keep);
        core->SetActive(1);
        SetSDLInputHandler(&RecordInput);
    }
    void TearDown() override {
        SetSDLInputHandler(nullptr);
        ShutdownApplication();
    }
    static void Push(SDL_Event e) { ASSERT_EQ(SDL_PushEvent(&e), 0); }
    static SDL_Event Active(int gain) {
        SDL_Event e{};
        e.type = SDL_ACTIVEEVENT;
        e.active.gain = uint8_t(gain);
        e.active.state = SDL_APPMOUSEFOCUS;
        return e;
    }
    static SDL_Event Key(SDLKey sym) {
        SDL_Event e{};
        e.type = SDL_KEYDOWN;
        e.key.keysym.sym = sym;
        return e;
    }
    static SDL_Event Quit() {
        SDL_Event e{};
        e.type = SDL_QUIT;
        return e;
    }
    KVCore* core = nullptr;
};

TEST_F(KVMainLoopTest, QuitEndsTheLoopAndEventsReachInputFirst) {
    Push(Key(SDLK_a));
    Push(Quit());
    RunMainLoop();
    EXPECT_EQ(g_inputEvents, (std::vector<int>{SDL_KEYDOWN, SDL_QUIT}));
}

TEST_F(KVMainLoopTest, EscapeEndsTheLoop) {
    Push(Key(SDLK_ESCAPE));
    RunMainLoop();
    EXPECT_EQ(core->GetActivityState(), 1);
}

TEST_F(KVMainLoopTest, FocusLossPausesOnceAndGainResumes) {
    Push(Active(0));
    Push(Active(0));
    Push(Quit());
    RunMainLoop();
    EXPECT_EQ(core->GetActivityState(), 2);
    Push(Active(1));
    Push(Quit());
    RunMainLoop();
    EXPECT_EQ(core->GetActivityState(), 1);
}

TEST_F(KVMainLoopTest, ExitRequestEndsTheLoopBeforeEventsAreRead) {
    core->RequestExit();
    Push(Key(SDLK_a));
    RunMainLoop();
    EXPECT_TRUE(g_inputEvents.empty());
}

TEST_F(KVMainLoopTest, PlayingVideoSkipsDrawingAndSleeps) {
    new KVVideoPlayer();
    KVVideoPlayer::Instance()->SetPlaying(true);
    Push(Quit());
    RunMainLoop();  // without a thread factory the sleep is skipped; the loop still ends
    EXPECT_EQ(g_inputEvents, (std::vector<int>{SDL_QUIT}));
}

} // namespace
