// The sample game played in this process as the program plays it: the
// engine's OpenGL ES device on a headless EGL screen, a fixed frame time,
// SDL events pushed as a player's pointer would make them, and the screen
// read back. The last frame is written as a PNG beside the test program
// for people to look at.
#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "KVLua/KVLua.h"
#include "examples/KVSampleGameLook.h"
#include "kernel/KVApplication.h"
#include "kernel/KVCore.h"
#include "support/KVGLDeviceTest.h"
#include "support/KVPngWriter.h"
#include "support/KVSDLEvents.h"
#include "support/KVTestScriptRun.h"
#include "support/KVTestSupport.h"

using namespace kvsample;

namespace {

constexpr int kMaxFrames = 900;

struct Box {
    int32_t left, top, right, bottom;
};

const Box kScoreBox{kScoreLeft, kScoreTop, kScoreLeft + 320, kScoreTop + kFontCell};
const Box kTitleBox{kTitleLeft, kTitleTop, kTitleLeft + kTitleWidth, kTitleTop + kTitleHeight};

bool Near(uint32_t a, uint32_t b, int32_t tolerance = 10) {
    for (int shift = 0; shift < 24; shift += 8) {
        const int32_t d = int32_t((a >> shift) & 0xFFu) - int32_t((b >> shift) & 0xFFu);
        if (d > tolerance || d < -tolerance) return false;
    }
    return true;
}

// Bright, pale pixels: the sparks (the stars are deep yellow, the sky dark).
bool IsSpark(uint32_t c) { return ((c >> 16) & 0xFF) > 200 && ((c >> 8) & 0xFF) > 200 && (c & 0xFF) > 120; }

class KVSampleGameTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::filesystem::path sample = KV_SAMPLE_DIR;
        ASSERT_TRUE(std::filesystem::exists(sample / "assets" / "sample.kvproj")) << "the sample game is not built";
        std::filesystem::copy(sample, dir.Path(), std::filesystem::copy_options::recursive);
        std::ofstream config(std::filesystem::path(dir.Path()) / "assets" / "config.ini", std::ios::app);
        config << "\n[General]\nFIXED_DT=16\n";
    }

    void TearDown() override {
        if (started) kvl::ShutdownApplication();
    }

    bool Start() {
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        started = true;
        if (!kvl::InitApplication()) return false;
        kvtest::KeepGLDriverLoaded();
        return true;
    }

    // One turn of the main loop: queued events to the input device, a
    // step, a picture.
    void Frame() {
        kvtest::PumpSDLEvents();
        uint8_t keepRunning = 1;
        kvl::KVCore::Instance()->Step(&keepRunning);
        kvl::KVCore::Instance()->Render();
        ASSERT_TRUE(keepRunning);
    }

    std::string Eval(const std::string& expression) {
        std::string error;
        const std::vector<std::string> values =
            kvtest::EvaluateChunk(kvl::KVLua::Instance()->GetState(), expression, &error);
        EXPECT_TRUE(error.empty()) << error;
        return values.empty() ? "" : values[0];
    }

    // Frames until the Lua condition holds; false when it never does.
    bool Until(const std::string& condition, const std::function<void()>& each = {}) {
        for (int i = 0; i < kMaxFrames; ++i) {
            if (each) each();
            Frame();
            if (Eval(condition) == "true") return true;
        }
        return false;
    }

    void Move(int32_t x, int32_t y) { kvtest::PushSDLEvent(kvtest::SDLMotion(x, y)); }
    void Click(int32_t x, int32_t y) {
        Move(x, y);
        kvtest::PushSDLEvent(kvtest::SDLButton(true, x, y));
        Frame();
        kvtest::PushSDLEvent(kvtest::SDLButton(false, x, y));
        Frame();
    }

    std::vector<uint32_t> Screen() { return kvtest::ReadScreenPixels(kWidth, kHeight); }
    static uint32_t At(const std::vector<uint32_t>& screen, int32_t x, int32_t y) {
        return screen[size_t(y) * size_t(kWidth) + size_t(x)];
    }
    static std::vector<uint32_t> Cut(const std::vector<uint32_t>& screen, const Box& box) {
        std::vector<uint32_t> out;
        for (int32_t y = box.top; y < box.bottom; ++y)
            for (int32_t x = box.left; x < box.right; ++x) out.push_back(At(screen, x, y));
        return out;
    }
    template <class F>
    static int32_t Count(const std::vector<uint32_t>& screen, const Box& box, F&& test) {
        int32_t n = 0;
        for (uint32_t c : Cut(screen, box)) n += test(c) ? 1 : 0;
        return n;
    }

    // The share of the sky among the title's glyphs: of the pixels in the
    // box around the title's bright ones, those that show the sky.
    static double SkyAmongTheTitle(const std::vector<uint32_t>& screen) {
        Box bright{kTitleBox.right, kTitleBox.bottom, kTitleBox.left, kTitleBox.top};
        for (int32_t y = kTitleBox.top; y < kTitleBox.bottom; ++y)
            for (int32_t x = kTitleBox.left; x < kTitleBox.right; ++x) {
                const uint32_t c = At(screen, x, y);
                if (((c >> 16) & 0xFF) <= 160 || (c & 0xFF) <= 160) continue;
                bright = {std::min(bright.left, x), std::min(bright.top, y), std::max(bright.right, x + 1),
                          std::max(bright.bottom, y + 1)};
            }
        if (bright.right <= bright.left || bright.bottom <= bright.top) return 0.0;
        int32_t sky = 0;
        for (int32_t y = bright.top; y < bright.bottom; ++y)
            for (int32_t x = bright.left; x < bright.right; ++x)
                sky += Near(At(screen, x, y), SkyColorAt(y)) ? 1 : 0;
        return double(sky) / double((bright.right - bright.left) * (bright.bottom - bright.top));
    }

    std::string Log() {
        std::ifstream in(std::filesystem::path(dir.Path()) / "assets" / "log.txt");
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    void KeepLastFrame() {
        const std::string png = kvtest::WritePngArgb(kWidth, kHeight, Screen());
        std::ofstream(std::string(KV_BINARY_DIR) + "/tests/sample-game-last-frame.png", std::ios::binary) << png;
    }

    kvtest::TempWorkDir dir;
    bool started = false;
};

TEST_F(KVSampleGameTest, ARoundIsPlayedCaughtMissedAndRestarted) {
    ASSERT_TRUE(Start());
    // The fade-in ends, the round starts: the sky shows, with the score and
    // the title over it.
    ASSERT_TRUE(Until("playing"));
    std::string error;
    ASSERT_TRUE(kvtest::RunChunk(kvl::KVLua::Instance()->GetState(),
                                 "function TestLowestStar()\n"
                                 "  local low = nil\n"
                                 "  for _, s in ipairs(stars) do\n"
                                 "    if s.Position_Y < BASKET_Y and (not low or s.Position_Y > low.Position_Y) then low = s end\n"
                                 "  end\n"
                                 "  return low and math.floor(low.Position_X + STAR_SIDE / 2) or -1\n"
                                 "end",
                                 &error))
        << error;
    Frame();
    std::vector<uint32_t> screen = Screen();
    EXPECT_TRUE(Near(At(screen, 4, 400), SkyColorAt(400))) << std::hex << At(screen, 4, 400);
    EXPECT_TRUE(Near(At(screen, 4, 100), SkyColorAt(100))) << std::hex << At(screen, 4, 100);
    const std::vector<uint32_t> scoreZero = Cut(screen, kScoreBox);
    EXPECT_GT(Count(screen, kScoreBox, [](uint32_t c) { return Near(c, kScoreColor, 24); }), 100);
    EXPECT_GT(Count(screen, kTitleBox, [](uint32_t c) { return ((c >> 16) & 0xFF) > 160 && (c & 0xFF) > 160; }), 200);
    EXPECT_GT(SkyAmongTheTitle(screen), 0.5);

    // A click on the play field is logged by its script.
    Click(300, 500);

    // Steering under the lowest star catches it: the score's glyphs change
    // and sparks burst at the basket.
    ASSERT_TRUE(Until("score >= 1", [&] {
        const int32_t x = std::atoi(Eval("TestLowestStar()").c_str());
        if (x >= 0) Move(x, 600);
    }));
    screen = Screen();
    const std::vector<uint32_t> scoreOne = Cut(screen, kScoreBox);
    int32_t changed = 0;
    for (size_t i = 0; i < scoreOne.size(); ++i) changed += scoreOne[i] != scoreZero[i] ? 1 : 0;
    EXPECT_GT(changed, 50);
    const Box nearBasket{0, kBasketTop - 120, kWidth, kHeight};
    int32_t sparks = 0;
    for (int i = 0; i < 4 && sparks == 0; ++i) {
        sparks = Count(Screen(), nearBasket, IsSpark);
        Frame();
    }
    EXPECT_GT(sparks, 5);

    // Three misses end the round and show the restart button.
    Move(2, 600);
    ASSERT_TRUE(Until("Restart.Enabled == true", [&] { Move(2, 600); }));
    Frame();
    screen = Screen();
    const uint32_t face = At(screen, kButtonLeft + 12, kButtonTop + 12);
    EXPECT_TRUE(Near(face, kButtonColors[0], 6) || Near(face, kButtonColors[2], 6)) << std::hex << face;

    // Clicking it starts a new round at score 0.
    Click(kButtonLeft + kButtonWidth / 2, kButtonTop + kButtonHeight / 2);
    EXPECT_EQ(Eval("score"), "0");
    EXPECT_EQ(Eval("playing"), "true");
    EXPECT_EQ(Eval("Restart.Enabled"), "false");
    Move(2, 600);
    Frame();
    screen = Screen();
    EXPECT_EQ(Cut(screen, kScoreBox), scoreZero);
    EXPECT_FALSE(Near(At(screen, kButtonLeft + 12, kButtonTop + 12), kButtonColors[0], 6));
    KeepLastFrame();

    kvl::ShutdownApplication();
    started = false;
    const std::string log = Log();
    EXPECT_NE(log.find("Click at 300, 500"), std::string::npos) << log;
    EXPECT_NE(log.find("Restart"), std::string::npos);
    EXPECT_EQ(log.find("ERR "), std::string::npos) << log;
}

TEST_F(KVSampleGameTest, AMissingPictureIsLoggedAndPlayGoesOn) {
    std::filesystem::remove(std::filesystem::path(dir.Path()) / "assets" / "images" / "star.png");
    ASSERT_TRUE(Start());
    ASSERT_TRUE(Until("playing"));
    ASSERT_TRUE(Until("misses >= 1", [&] { Move(2, 600); }));
    kvl::ShutdownApplication();
    started = false;
    const std::string log = Log();
    EXPECT_NE(log.find("star.png"), std::string::npos) << log;
    EXPECT_NE(log.find("Missed 1"), std::string::npos) << log;
}

} // namespace
