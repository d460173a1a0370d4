// The screen in a real X11 window, on a private virtual X server: what the
// window shows, read back through a connection of its own, is the drawn
// picture, top row first, in its own colours, frame after frame.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "graphics/KVYUVConverter.h"
#include "media/KVCinemaScreen.h"
#include "platform/KVEGLScreen.h"
#include "support/KVGameRig.h"
#include "support/KVSceneUnitsWriter.h"
#include "support/KVVirtualXServer.h"
#include "units/KVAttributeDesc.h"
#include "units/KVUnit2D.h"
#include "units2d/KVUnitShape.h"

// Xlib's macros (None, Bool, Status) clash with GoogleTest's names: last.
#include <GLES2/gl2.h>
#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

using namespace kvl;
using namespace kvtest;

// SDL 1.2's X11 driver opens an input method whose locale strings libX11
// never frees; the leak checker of a sanitizer build would report them at
// the exit of this program.
extern "C" const char* __lsan_default_suppressions() { return "leak:libX11.so\n"; }
// The GL and X libraries leave the main thread a dynamic TLS entry that no
// longer points at memory, and the leak checker's walk of it at exit faults
// (and fails a program that passed); without tracking dynamic TLS the walk
// keeps to the thread's static TLS and stacks.
extern "C" const char* __asan_default_options() { return "intercept_tls_get_addr=0"; }

namespace {

struct Rgb {
    uint8_t r, g, b;
    bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};

std::ostream& operator<<(std::ostream& out, const Rgb& c) {
    return out << "(" << int(c.r) << ", " << int(c.g) << ", " << int(c.b) << ")";
}

// Four quarters of different colours, each channel different in each, so a
// picture turned over, mirrored, shifted by a row or with its channels
// swapped shows. The first quarter is the top left one.
struct Quarters {
    Rgb topLeft, topRight, bottomLeft, bottomRight;
};

constexpr Quarters kFirst{{0xF0, 0x30, 0x10}, {0x20, 0xE0, 0x40}, {0x50, 0x60, 0xD0}, {0xC0, 0xB0, 0x70}};
constexpr Quarters kSecond{{0x10, 0x90, 0xA0}, {0xF0, 0xF0, 0x20}, {0x80, 0x10, 0x30}, {0x30, 0x40, 0xF0}};

Rgb Expected(const Quarters& q, int width, int height, int x, int yFromTop) {
    const bool left = x < width / 2, top = yFromTop < height / 2;
    return top ? (left ? q.topLeft : q.topRight) : (left ? q.bottomLeft : q.bottomRight);
}

void Fill(int x, int y, int width, int height, const Rgb& c) {
    glScissor(x, y, width, height);
    glClearColor(c.r / 255.0f, c.g / 255.0f, c.b / 255.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
}

// Draws the quarters in the default framebuffer (its first row is the
// bottom one).
void Draw(const Quarters& q, int width, int height) {
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glEnable(GL_SCISSOR_TEST);
    const int w = width / 2, h = height / 2;
    Fill(0, height - h, w, h, q.topLeft);
    Fill(w, height - h, width - w, h, q.topRight);
    Fill(0, 0, w, height - h, q.bottomLeft);
    Fill(w, 0, width - w, height - h, q.bottomRight);
    glDisable(GL_SCISSOR_TEST);
}

class KVEGLScreenWindowTest : public ::testing::Test {
protected:
    // A private X server of that depth that DISPLAY names, and a connection
    // of the test's own to it.
    void StartServer(int depth = 24) {
        server = std::make_unique<KVVirtualXServer>(320, 240, depth);
        if (!server->Started()) GTEST_SKIP() << "no virtual X server: " << server->Why();
        setenv("DISPLAY", server->Display().c_str(), 1);
        viewer = XOpenDisplay(server->Display().c_str());
        ASSERT_NE(viewer, nullptr);
    }

    // SDL's window, once SDL opened it.
    void FindWindow() {
        SDL_SysWMinfo info;
        SDL_VERSION(&info.version);
        ASSERT_EQ(SDL_GetWMInfo(&info), 1);
        window = info.info.x11.window;
    }

    void Open(int width, int height) {
        StartServer();
        if (IsSkipped() || HasFatalFailure()) return;
        setenv("SDL_VIDEODRIVER", "x11", 1);
        ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError() << " on " << server->Display();
        sdl = true;
        ASSERT_EQ(ScreenOpen(width, height), 0);
        ASSERT_TRUE(ScreenIsWindow());
        FindWindow();
    }

    // Opens the screen and shows the quarters; false when the test cannot
    // go on (skipped or failed).
    bool OpenShowing(int width, int height, const Quarters& q) {
        Open(width, height);
        if (IsSkipped() || HasFatalFailure()) return false;
        Draw(q, width, height);
        EXPECT_EQ(ScreenSwapBuffers(), 0);
        return !HasFailure();
    }

    void TearDown() override {
        if (viewer) XCloseDisplay(viewer);
        viewer = nullptr;
        ScreenClose();
        if (sdl) SDL_Quit();
        sdl = false;
        unsetenv("DISPLAY");
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        server.reset();
    }

    // The window's picture as the X server holds it, top row first.
    std::vector<Rgb> Shown(int width, int height) {
        XSync(viewer, False);
        XImage* image = XGetImage(viewer, window, 0, 0, unsigned(width), unsigned(height), AllPlanes, ZPixmap);
        std::vector<Rgb> pixels;
        if (!image) return pixels;
        auto channel = [](unsigned long pixel, unsigned long mask) {
            int shift = 0;
            while (mask && !(mask & 1)) {
                mask >>= 1;
                ++shift;
            }
            return uint8_t((pixel >> shift) & mask);
        };
        const unsigned long masks[3] = {image->red_mask, image->green_mask, image->blue_mask};
        for (int i = 0; i < 3; ++i) {
            bits[i] = 0;
            for (unsigned long m = masks[i]; m; m &= m - 1) ++bits[i];
        }
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const unsigned long p = XGetPixel(image, x, y);
                pixels.push_back(
                    {channel(p, image->red_mask), channel(p, image->green_mask), channel(p, image->blue_mask)});
            }
        XDestroyImage(image);
        return pixels;
    }

    // Every pixel of the window against the quarters; the first wrong one.
    void ExpectShown(const Quarters& q, int width, int height) {
        const std::vector<Rgb> shown = Shown(width, height);
        ASSERT_EQ(shown.size(), size_t(width) * size_t(height));
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const Rgb want = Expected(q, width, height, x, y);
                const Rgb got = shown[size_t(y) * size_t(width) + size_t(x)];
                if (!(got == want)) {
                    ADD_FAILURE() << "pixel " << x << ", " << y << " from the top left of " << width << " x " << height
                                  << ": " << got << ", drawn " << want;
                    return;
                }
            }
    }

    // A colour 0xAARRGGBB as the window holds it: each channel cut to the
    // bits the window's visual keeps (as Shown last found them).
    Rgb InWindow(uint32_t argb) const {
        return {uint8_t(uint8_t(argb >> 16) >> (8 - bits[0])), uint8_t(uint8_t(argb >> 8) >> (8 - bits[1])),
                uint8_t(uint8_t(argb) >> (8 - bits[2]))};
    }

    std::unique_ptr<KVVirtualXServer> server;
    int bits[3] = {8, 8, 8};
    bool sdl = false;
    Display* viewer = nullptr;
    Window window = 0;
};

TEST_F(KVEGLScreenWindowTest, TheWindowShowsEachPresentedFrameAsDrawn) {
    // Even and odd sizes, wider and taller than high.
    const struct {
        int width, height;
    } sizes[] = {{64, 48}, {37, 23}, {17, 61}};
    for (const auto& size : sizes) {
        SCOPED_TRACE(std::to_string(size.width) + " x " + std::to_string(size.height));
        TearDown();
        if (!OpenShowing(size.width, size.height, kFirst)) return;
        ExpectShown(kFirst, size.width, size.height);
        Draw(kSecond, size.width, size.height);
        ASSERT_EQ(ScreenSwapBuffers(), 0);
        ExpectShown(kSecond, size.width, size.height);
    }
}

TEST_F(KVEGLScreenWindowTest, PresentShowsTheScreenWhateverTheReadStateLeftByTheGame) {
    constexpr int kWidth = 30, kHeight = 20;
    if (!OpenShowing(kWidth, kHeight, kSecond)) return;
    Draw(kFirst, kWidth, kHeight);
    // A render target of the game's still bound, and rows packed to eight
    // bytes: neither changes what the window shows.
    GLuint texture = 0, framebuffer = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 8, 8, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glGenFramebuffers(1, &framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glPixelStorei(GL_PACK_ALIGNMENT, 8);
    ASSERT_EQ(ScreenSwapBuffers(), 0);
    ExpectShown(kFirst, kWidth, kHeight);
    GLint bound = 0, alignment = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &bound);
    glGetIntegerv(GL_PACK_ALIGNMENT, &alignment);
    EXPECT_EQ(GLuint(bound), framebuffer);
    EXPECT_EQ(alignment, 8);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDeleteFramebuffers(1, &framebuffer);
    glDeleteTextures(1, &texture);
}

TEST_F(KVEGLScreenWindowTest, AnUncoveredWindowShowsTheLastFrame) {
    constexpr int kWidth = 40, kHeight = 30;
    if (!OpenShowing(kWidth, kHeight, kFirst)) return;
    // The window's picture is lost, as when another window covered it; the
    // X server asks the program to draw it again, which SDL's event pump
    // answers.
    XClearArea(viewer, window, 0, 0, 0, 0, True);
    XSync(viewer, False);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    std::vector<Rgb> shown;
    do {
        SDL_PumpEvents();
        shown = Shown(kWidth, kHeight);
        if (!shown.empty() && shown.front() == kFirst.topLeft) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (std::chrono::steady_clock::now() < until);
    ExpectShown(kFirst, kWidth, kHeight);
}

// A game stored in a scene file, played through the program's own start-up
// and frame in a window, on displays of 24 and 16 bits: the window shows
// what the game drew (to the bits the display keeps), and follows when a
// script moves a unit.
TEST_F(KVEGLScreenWindowTest, AGameInAWindowShowsWhatItDraws) {
    for (int depth : {24, 16}) {
        SCOPED_TRACE("depth " + std::to_string(depth));
        TearDown();
        StartServer(depth);
        if (IsSkipped() || HasFatalFailure()) return;
        KVGameRig::Options options;
        options.width = 64;
        options.height = 48;
        options.videoDriver = "x11";
        KVGameRig game(options);
        // Two rectangles of a quarter of the screen each: red at the top
        // left, blue at the bottom right.
        KVSceneUnitsWriter units;
        KVSceneClassSpec shape;
        shape.classId = KVUnitShape::kClassId;
        shape.name = "Shape";
        shape.baseEntry = units.UnitEntry();
        shape.attributes = {{KVUnit2D::kPositionId, KVATTR_F32, 2},
                            {KVUnit2D::kDimensionId, KVATTR_S32, 2},
                            {KVUnitShape::kColorId, KVATTR_COLOR, 1},
                            {KVUnitShape::kOnlyEditorId, KVATTR_BOOLEAN, 1}};
        const int32_t entry = units.AddClass(shape);
        const struct {
            const char* name;
            float x, y;
            uint32_t colour;
        } rectangles[] = {{"Red", 0, 0, 0xFFFF0000u}, {"Blue", 32, 24, 0xFF0000FFu}};
        uint64_t uid = 2;
        for (const auto& r : rectangles) {
            std::vector<Bytes> values = KVSceneUnitsWriter::UnitValues(r.name, uid++);
            values.push_back(KVStored::F32s({r.x, r.y}));
            values.push_back(KVStored::I32s({32, 24}));
            values.push_back(KVStored::U32(r.colour));
            values.push_back(Bytes{0});  // false (Xlib takes the name Bool)
            units.AddUnit(entry, values);
        }
        game.AddScene("scenes/main.kvl", units.Scene(0x20004, KVGameRig::kProjectId));
        game.WriteScript("move.lua", "Red = {}\nfunction MoveRed() Red.Position_X = 32 end\n");
        ASSERT_TRUE(game.Start());
        sdl = false;  // the program's shutdown ends SDL
        FindWindow();
        if (HasFatalFailure()) return;
        // Every pixel of the window against the game's screen, and the red
        // rectangle's top left corner at x, the blue one where it was stored.
        auto expectShown = [&](int redX) {
            const std::vector<uint32_t> drawn = game.Screen();
            const std::vector<Rgb> shown = Shown(64, 48);
            ASSERT_EQ(shown.size(), drawn.size());
            for (size_t i = 0; i < shown.size(); ++i) {
                const Rgb want = InWindow(drawn[i]);
                if (!(shown[i] == want)) {
                    ADD_FAILURE() << "pixel " << i % 64 << ", " << i / 64 << ": " << shown[i] << ", drawn " << want;
                    return;
                }
            }
            EXPECT_EQ(shown[size_t(4) * 64 + size_t(redX) + 4], InWindow(0xFFFF0000u));
            EXPECT_EQ(shown[size_t(40) * 64 + 40], InWindow(0xFF0000FFu));
        };
        game.Step(2);
        expectShown(0);
        const std::vector<uint32_t> before = game.Screen();
        game.Run("MoveRed()");
        game.Step(2);
        EXPECT_NE(game.Screen(), before);
        expectShown(32);
    }
}

// The movie player draws on the lent screen and shows each frame itself: the
// window shows it too.
TEST_F(KVEGLScreenWindowTest, AMovieFrameReachesTheWindow) {
    constexpr int kWidth = 32, kHeight = 24;
    if (!OpenShowing(kWidth, kHeight, kFirst)) return;
    // One frame of the screen's size in a single colour.
    constexpr uint8_t kY = 0x90, kCb = 0x50, kCr = 0xB0;
    const std::vector<uint8_t> luma(size_t(kWidth) * kHeight, kY);
    const std::vector<uint8_t> cb(size_t(kWidth / 2) * (kHeight / 2), kCb), cr(cb.size(), kCr);
    KVTheoraFrame frame;
    frame.y = luma.data();
    frame.cb = cb.data();
    frame.cr = cr.data();
    frame.lumaStride = kWidth;
    frame.chromaStride = kWidth / 2;
    frame.width = kWidth;
    frame.height = kHeight;
    frame.chromaWidth = kWidth / 2;
    frame.chromaHeight = kHeight / 2;
    frame.pictureWidth = kWidth;
    frame.pictureHeight = kHeight;
    KVCinemaScreen cinema;
    ASSERT_TRUE(cinema.Lend());
    ASSERT_TRUE(cinema.Begin(kWidth, kHeight));
    cinema.Show(frame);
    cinema.End();
    cinema.TakeBack();
    // Drawn through a 16-bit texture.
    const uint16_t word = KVYUVConverter::ToRgb565(KVYUVConverter::ToRgb(kY, kCb, kCr));
    const int want[3] = {((word >> 11) & 31) * 255 / 31, ((word >> 5) & 63) * 255 / 63, (word & 31) * 255 / 31};
    const std::vector<Rgb> shown = Shown(kWidth, kHeight);
    ASSERT_EQ(shown.size(), size_t(kWidth) * kHeight);
    for (const size_t at : {size_t(0), shown.size() / 2 + kWidth / 2, shown.size() - 1}) {
        const int got[3] = {shown[at].r, shown[at].g, shown[at].b};
        for (int i = 0; i < 3; ++i) EXPECT_NEAR(got[i], want[i], 9) << "channel " << i << " at " << at;
    }
}

} // namespace
