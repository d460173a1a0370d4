#pragma once
// Headless OpenGL ES 2 for tests: the engine's own device (KVGLwebOSRender)
// on an EGL pbuffer of Mesa's surfaceless platform, under SDL's dummy video
// driver, with pixels read back through glReadPixels.
//
// Use it as the fixture of a graphics test:
//
//     class MyTest : public kvtest::KVGLDeviceTest {};
//     TEST_F(MyTest, RedSquare) {
//         ASSERT_TRUE(OpenDevice(64, 48));               // physical screen size
//         Device().BeginFrame(1);
//         FillRect({8, 8, 16, 16}, 0xFFFF0000);           // logical pixels
//         Device().EndFrame();
//         EXPECT_EQ(PixelAt(10, 10), 0xFFFF0000u);        // physical, from the top
//     }
//
// OpenDevice sets the platform's screen metrics (a portrait size turns the
// device to orientation 3), makes the device and runs its InitDevice. Before
// OpenDevice, SetGLStrings makes the device see another GL_EXTENSIONS or
// GL_RENDERER (say, a BGRA8888 extension or a renderer name). Colours are
// 0xAARRGGBB throughout. TearDown ends the device and SDL; the engine's log
// is a KVLogCapture whose lines the test can read through Log().
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "graphics/KVGLwebOSRender.h"
#include "support/KVLogCapture.h"

namespace kvtest {

// Keeps Mesa's DRI driver loaded until the process ends. Mesa's software
// renderer keeps a little memory after its first draw that only its own
// globals point to; when the driver is unloaded at the screen's end, the
// leak checker of the sanitizer run would count it as ours. OpenDevice calls
// this; other tests that draw on a screen of their own call it once the
// screen is open.
void KeepGLDriverLoaded();

// The pixel at physical column x and row y counted from the top of a screen
// of that height, as 0xAARRGGBB, read from the current GL context.
uint32_t ReadScreenPixel(int32_t x, int32_t y, int32_t screenHeight);
// Every pixel of a screen of that size, rows from the top, as 0xAARRGGBB.
std::vector<uint32_t> ReadScreenPixels(int32_t width, int32_t height);

// The device with GL strings a test can replace.
class KVTestGLDevice : public kvl::KVGLwebOSRender {
public:
    explicit KVTestGLDevice(kvl::IKVCriticalSection* section) : kvl::KVGLwebOSRender(section) {}
    // Empty texts keep what the GL says.
    std::string extensions;
    std::string renderer;

protected:
    const char* GetGLString(uint32_t name) override;
};

class KVGLDeviceTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Makes and initialises the device on a width x height screen; false
    // (with the reason in the test's output) when that fails.
    bool OpenDevice(int32_t width, int32_t height);
    void SetGLStrings(const std::string& extensions, const std::string& renderer);
    // Ends the device (as the module does at release) and closes the screen.
    void CloseDevice();

    KVTestGLDevice& Device() { return *m_device; }
    bool HasDevice() const { return m_device != nullptr; }
    KVLogCapture& Log() { return *m_log; }
    kvl::IKVCriticalSection* Section() { return m_section; }

    // The physical screen size (the platform's screen metrics).
    kvl::KVDeviceSize ScreenSize() const;
    // The pixel at physical column x and row y counted from the top (GL rows
    // count from the bottom), as 0xAARRGGBB.
    uint32_t PixelAt(int32_t x, int32_t y);
    // Every pixel, rows from the top.
    std::vector<uint32_t> ReadScreen();
    // Pixels of the colour in ReadScreen's picture.
    int32_t CountPixels(uint32_t color);
    // The smallest physical box {left, top, right, bottom} (rows from the
    // top) that holds every pixel of the colour; all zero when none.
    kvl::KVDeviceRect BoundsOf(uint32_t color);

    // Draws a rectangle of logical pixels in one colour with the plain program
    // (blending on when asked) and flushes.
    void FillRect(const kvl::KVDeviceRect& rect, uint32_t color, bool blend = false);
    // Draws the whole texture over the rectangle through stage 0 (vertex
    // colour white) and flushes.
    void DrawTexture(const kvl::KVDeviceRect& rect, kvl::IKVTexture* texture, bool blend = false);
    // A texture of the format filled from the bytes (rows packed, top row
    // first) through Lock and Unlock; null on failure.
    kvl::IKVTexture* MakeTexture(uint32_t format, int32_t width, int32_t height, const void* pixels);
    // Every texel of a device texture, rows from the top, as 0xAARRGGBB (read
    // through a framebuffer that the texture is attached to).
    std::vector<uint32_t> ReadTexture(kvl::IKVTexture* texture);

    // The four corners of a rectangle as a 2D quad, clockwise from top-left,
    // with texture coordinates 0..1.
    static void Quad(const kvl::KVDeviceRect& rect, uint32_t color, kvl::KV2DVertex out[4]);

private:
    std::unique_ptr<KVLogCapture> m_log;
    kvl::IKVCriticalSection* m_section = nullptr;
    std::unique_ptr<KVTestGLDevice> m_device;
    std::string m_extensions;
    std::string m_renderer;
    bool m_sdl = false;
};

} // namespace kvtest
