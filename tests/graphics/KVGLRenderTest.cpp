// The OpenGL ES device on a headless pbuffer: set-up, orientation, viewport,
// scissor, frame, clear colour, capabilities and the constant operations.
#include <GLES2/gl2.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdint>
#include <chrono>
#include <functional>
#include <thread>
#include <utility>

#include "support/KVGLDeviceTest.h"

using namespace kvl;

namespace {

constexpr int32_t W = 64;
constexpr int32_t H = 48;

class KVGLRenderTest : public kvtest::KVGLDeviceTest {
protected:
    // The physical pixel box of a logical rectangle in orientation k, rows
    // counted from the top.
    static KVDeviceRect Physical(int32_t k, const KVDeviceRect& r) {
        switch (k) {
        case 1:
            return {W - r.bottom, r.left, W - r.top, r.right};
        case 2:
            return {W - r.right, H - r.bottom, W - r.left, H - r.top};
        case 3:
            return {r.top, H - r.right, r.bottom, H - r.left};
        default:
            return r;
        }
    }
    // The orientation with a viewport over the whole screen (the stored
    // viewport is kept in logical pixels, so it is set again after a turn).
    void Turn(int32_t k) {
        ASSERT_EQ(Device().SetOrientation(k), 0);
        const KVDisplayMode* mode = Device().GetScreenSize();
        const KVDeviceRect whole = {0, 0, mode->width, mode->height};
        Device().SetViewport(&whole);
    }
    void BeginClear(uint32_t color = 0xFF000000) {
        Device().SetClearColor(color);
        Device().BeginFrame(1);
    }
};

void ExpectBox(const KVDeviceRect& got, const KVDeviceRect& want) {
    EXPECT_EQ(got.left, want.left);
    EXPECT_EQ(got.top, want.top);
    EXPECT_EQ(got.right, want.right);
    EXPECT_EQ(got.bottom, want.bottom);
}

TEST_F(KVGLRenderTest, PortraitScreenTurnsToOrientationThreeWithItsModesAndViewport) {
    ASSERT_TRUE(OpenDevice(320, 480));
    EXPECT_EQ(Device().GetOrientation(), 3);
    const KVDisplayMode* mode = Device().GetScreenSize();
    EXPECT_EQ(mode->width, 480);
    EXPECT_EQ(mode->height, 320);
    EXPECT_EQ(mode->drawingWidth, 480);
    EXPECT_EQ(mode->drawingHeight, 320);
    const std::vector<KVDeviceSize>& modes = *Device().GetDisplayModes();
    ASSERT_EQ(modes.size(), 2u);
    EXPECT_EQ(modes[0].width, 480);
    EXPECT_EQ(modes[0].height, 320);
    EXPECT_EQ(modes[1].width, 320);
    EXPECT_EQ(modes[1].height, 480);
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[0], 0);
    EXPECT_EQ(viewport[1], 0);
    EXPECT_EQ(viewport[2], 320);
    EXPECT_EQ(viewport[3], 480);
    ExpectBox(*Device().GetViewport(), {0, 0, 480, 320});
}

TEST_F(KVGLRenderTest, LandscapeScreenKeepsOrientationZeroAndItsOwnSize) {
    ASSERT_TRUE(OpenDevice(W, H));
    EXPECT_EQ(Device().GetOrientation(), 0);
    EXPECT_EQ(Device().GetScreenSize()->width, W);
    EXPECT_EQ(Device().GetScreenSize()->height, H);
    EXPECT_EQ(Device().GetScreenSize()->antialiasing, 0);
    EXPECT_EQ(Device().GetScreenSize()->fullscreen, 1);
    EXPECT_EQ(Device().GetScreenSize()->vsync, 1);
    ExpectBox(*Device().GetViewport(), {0, 0, W, H});
}

TEST_F(KVGLRenderTest, ClearColourComesBackInEveryChannel) {
    ASSERT_TRUE(OpenDevice(W, H));
    BeginClear(0x80FF8040);
    Device().EndFrame();
    EXPECT_EQ(PixelAt(0, 0), 0x80FF8040u);
    EXPECT_EQ(PixelAt(W - 1, H - 1), 0x80FF8040u);
    // The device's own initial clear colour is transparent black.
    ASSERT_TRUE(OpenDevice(W, H));
    Device().BeginFrame(1);
    Device().EndFrame();
    EXPECT_EQ(PixelAt(3, 3), 0x00000000u);
}

TEST_F(KVGLRenderTest, PlainRectangleLandsWhereEachOrientationPutsIt) {
    ASSERT_TRUE(OpenDevice(W, H));
    const KVDeviceRect marker = {5, 7, 11, 11};
    for (int32_t k = 0; k < 4; ++k) {
        SCOPED_TRACE(k);
        Turn(k);
        BeginClear();
        FillRect(marker, 0xFF00FF00);
        Device().EndFrame();
        ExpectBox(BoundsOf(0xFF00FF00), Physical(k, marker));
        EXPECT_EQ(CountPixels(0xFF00FF00), 24);
    }
}

TEST_F(KVGLRenderTest, TexturedQuadKeepsItsLeftAndRightInEachOrientation) {
    ASSERT_TRUE(OpenDevice(W, H));
    // Left texel red, right texel blue (bytes B, G, R, A).
    const uint8_t pixels[] = {0, 0, 255, 255, 255, 0, 0, 255};
    IKVTexture* texture = MakeTexture(KVTEXFMT_BGRA, 2, 1, pixels);
    ASSERT_NE(texture, nullptr);
    const KVDeviceRect area = {4, 6, 20, 14};
    for (int32_t k = 0; k < 4; ++k) {
        SCOPED_TRACE(k);
        Turn(k);
        BeginClear();
        DrawTexture(area, texture);
        Device().EndFrame();
        // Logical pixels (5, 10) and (18, 10), near the quad's left and right edges.
        KVDeviceRect left = Physical(k, {5, 10, 6, 11});
        KVDeviceRect right = Physical(k, {18, 10, 19, 11});
        EXPECT_EQ(PixelAt(left.left, left.top), 0xFFFF0000u);
        EXPECT_EQ(PixelAt(right.left, right.top), 0xFF0000FFu);
        // Linear filtering: pure red up to the left texel's centre, four pixels in.
        ExpectBox(BoundsOf(0xFFFF0000), Physical(k, {4, 6, 8, 14}));
    }
    texture->Release();
}

// A viewport and a scissor of the same rectangle cover the same pixels, in
// every orientation: both take GL's bottom-left origin.
TEST_F(KVGLRenderTest, ViewportAndScissorOfOneRectangleCoverTheSamePixels) {
    ASSERT_TRUE(OpenDevice(W, H));
    const KVDeviceRect part = {3, 5, 20, 13};
    for (int32_t k = 0; k < 4; ++k) {
        SCOPED_TRACE(k);
        Turn(k);
        const KVDisplayMode* mode = Device().GetScreenSize();
        const KVDeviceRect whole = {0, 0, mode->width, mode->height};

        Device().SetViewport(&part);
        BeginClear();
        FillRect(whole, 0xFFFFFF00);
        Device().EndFrame();
        ExpectBox(BoundsOf(0xFFFFFF00), Physical(k, part));

        Device().SetViewport(&whole);
        Device().SetScissor(&part);
        BeginClear();
        FillRect(whole, 0xFFFFFF00);
        Device().EndFrame();
        Device().SetScissor(nullptr);
        ExpectBox(BoundsOf(0xFFFFFF00), Physical(k, part));
        EXPECT_EQ(CountPixels(0xFFFFFF00), 17 * 8);
    }
}

// Rectangles anywhere in the 32-bit range, as a script or a scene may give
// them: the box is worked out without overflow, a scissor cuts only what
// lies on the screen, and a viewport keeps its size up to GL's own limit.
TEST_F(KVGLRenderTest, RectanglesAtTheEndsOfTheIntegerRangeStayInRange) {
    ASSERT_TRUE(OpenDevice(W, H));
    GLint largest[2] = {0, 0};
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, largest);
    const KVDeviceRect everything = {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};
    const KVDeviceRect farAway = {INT32_MAX - 5, INT32_MAX - 5, INT32_MAX, INT32_MAX};
    const KVDeviceRect farBefore = {INT32_MIN, INT32_MIN, INT32_MIN + 10, INT32_MIN + 20};
    const KVDeviceRect partlyOff = {-5, -5, 10, 10};
    for (int32_t k = 0; k < 4; ++k) {
        SCOPED_TRACE(k);
        Turn(k);
        const KVDisplayMode* mode = Device().GetScreenSize();
        const KVDeviceRect whole = {0, 0, mode->width, mode->height};
        const struct {
            const KVDeviceRect& clip;
            int32_t pixels;
        } scissors[] = {{everything, W * H}, {farAway, 0}, {farBefore, 0}, {partlyOff, 100}};
        for (const auto& s : scissors) {
            BeginClear();
            Device().SetScissor(&s.clip);
            GLint box[4];
            glGetIntegerv(GL_SCISSOR_BOX, box);
            EXPECT_GE(box[0], 0);
            EXPECT_GE(box[1], 0);
            EXPECT_LE(box[0] + box[2], W);
            EXPECT_LE(box[1] + box[3], H);
            FillRect(whole, 0xFFFFFF00);
            Device().EndFrame();
            Device().SetScissor(nullptr);
            EXPECT_EQ(CountPixels(0xFFFFFF00), s.pixels) << s.clip.left << "," << s.clip.top;
        }
        // Sizes: the rectangle's own, in the orientation's order, up to GL's limit.
        const struct {
            const KVDeviceRect& rect;
            int64_t width, height;
        } viewports[] = {{everything, int64_t(UINT32_MAX), int64_t(UINT32_MAX)}, {farAway, 5, 5}, {farBefore, 10, 20}};
        for (const auto& v : viewports) {
            Device().SetViewport(&v.rect);
            ExpectBox(*Device().GetViewport(), v.rect);
            GLint box[4];
            glGetIntegerv(GL_VIEWPORT, box);
            const int64_t width = k % 2 ? v.height : v.width, height = k % 2 ? v.width : v.height;
            EXPECT_EQ(box[2], std::min<int64_t>(width, largest[0]));
            EXPECT_EQ(box[3], std::min<int64_t>(height, largest[1]));
        }
        Device().SetViewport(&whole);
    }
}

TEST_F(KVGLRenderTest, NullScissorOnlyTurnsScissoringOff) {
    ASSERT_TRUE(OpenDevice(W, H));
    const KVDeviceRect viewport = {0, 0, 32, 24};
    Device().SetViewport(&viewport);
    const KVDeviceRect clip = {1, 1, 2, 2};
    Device().SetScissor(&clip);
    EXPECT_TRUE(glIsEnabled(GL_SCISSOR_TEST));
    Device().SetScissor(nullptr);
    EXPECT_FALSE(glIsEnabled(GL_SCISSOR_TEST));
    ExpectBox(*Device().GetViewport(), viewport);
    GLint box[4];
    glGetIntegerv(GL_VIEWPORT, box);
    EXPECT_EQ(box[1], H - 24);
    EXPECT_EQ(box[2], 32);
}

TEST_F(KVGLRenderTest, OrientationOutsideZeroToThreeIsRefused) {
    ASSERT_TRUE(OpenDevice(W, H));
    Device().SetOrientation(1);
    EXPECT_EQ(Device().SetOrientation(4), 3);
    EXPECT_EQ(Device().SetOrientation(-1), 3);
    EXPECT_EQ(Device().GetOrientation(), 1);
}

TEST_F(KVGLRenderTest, OrientationChangeResetsTheTwoDModeAndReappliesTheViewport) {
    ASSERT_TRUE(OpenDevice(W, H));
    KVDrawState state;
    Device().SetBlendState(&state, 0);
    EXPECT_EQ(Device().GetMode2D(), 1);
    const KVDeviceRect part = {0, 0, 10, 20};
    Device().SetViewport(&part);
    Device().SetOrientation(1);
    EXPECT_EQ(Device().GetMode2D(), 0);
    ExpectBox(*Device().GetViewport(), part);
    GLint box[4];
    glGetIntegerv(GL_VIEWPORT, box);
    // Orientation 1: (W - b, H - r, b - t, r - l).
    EXPECT_EQ(box[0], W - 20);
    EXPECT_EQ(box[1], H - 10);
    EXPECT_EQ(box[2], 20);
    EXPECT_EQ(box[3], 10);
}

TEST_F(KVGLRenderTest, ViewTransformMovesWhatIsDrawn) {
    ASSERT_TRUE(OpenDevice(W, H));
    BeginClear();
    KVDrawState state;
    Device().SetBlendState(&state, 0);
    // Column-major translation by (10, 5).
    const float move[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 10, 5, 0, 1};
    Device().SetTransform(1, move);
    FillRect({0, 0, 2, 2}, 0xFFFF00FF);
    Device().EndFrame();
    ExpectBox(BoundsOf(0xFFFF00FF), {10, 5, 12, 7});
    EXPECT_EQ(Device().SetTransform(3, move), 3);
    EXPECT_EQ(Device().SetTransform(-1, move), 3);
}

TEST_F(KVGLRenderTest, MaximumTextureSizeIsHalvedOnTheNamedRenderer) {
    GLint glMax = 0;
    ASSERT_TRUE(OpenDevice(W, H));
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &glMax);
    KVDeviceSize size = {0, 0};
    EXPECT_EQ(Device().GetMaxTextureSize(&size), 0);
    EXPECT_EQ(size.width, glMax);
    EXPECT_EQ(size.height, glMax);
    SetGLStrings("", "Some FIMG-3DSE renderer");
    ASSERT_TRUE(OpenDevice(W, H));
    Device().GetMaxTextureSize(&size);
    EXPECT_EQ(size.width, glMax / 2);
    EXPECT_EQ(size.height, glMax / 2);
}

TEST_F(KVGLRenderTest, FormatSupportFollowsTheExtensionString) {
    struct Case {
        uint32_t format;
        int32_t plain;
        int32_t withPvrtc;
    };
    const Case cases[] = {{2048, 1, 1}, {259, 1, 1}, {260, 1, 1}, {256, 0, 0}, {0, 0, 0},
                          {4096, 0, 1}, {4097, 0, 1}, {4098, 0, 1}, {4099, 0, 1}};
    ASSERT_TRUE(OpenDevice(W, H));
    EXPECT_FALSE(Device().HasPVRTC());
    EXPECT_FALSE(Device().HasBGRA8888());  // Mesa names its extension differently
    for (const Case& c : cases) EXPECT_EQ(Device().IsFormatSupported(c.format), c.plain) << c.format;
    SetGLStrings("GL_OES_x GL_IMG_texture_compression_pvrtc GL_IMG_texture_format_BGRA8888", "");
    ASSERT_TRUE(OpenDevice(W, H));
    EXPECT_TRUE(Device().HasBGRA8888());
    for (const Case& c : cases) EXPECT_EQ(Device().IsFormatSupported(c.format), c.withPvrtc) << c.format;
}

TEST_F(KVGLRenderTest, ConstantAnswersChangeNothing) {
    ASSERT_TRUE(OpenDevice(W, H));
    EXPECT_EQ(Device().GetCaps(), 0x03u);
    uint32_t pixel = 7;
    EXPECT_EQ(Device().ReadScreenPixels(&pixel, 1), 1);
    EXPECT_EQ(pixel, 7u);
    EXPECT_EQ(Device().SetGamma(2.0f), 1);
    KVVideoCardInfo info;
    EXPECT_EQ(Device().GetVideoCardInfo(&info), 0);
    EXPECT_EQ(info.name, "");
    EXPECT_EQ(info.dedicatedVideoMemory, 0);
    KVDisplayMode wanted = *Device().GetScreenSize();
    wanted.width = 800;
    wanted.drawingWidth = 0;
    EXPECT_EQ(Device().SetDisplayMode(&wanted), 0);
    EXPECT_EQ(Device().GetScreenSize()->width, W);
    EXPECT_EQ(Device().DrawLine2D(0, 0, 10, 10, 0xFFFFFFFF), 0);
    EXPECT_EQ(Device().Query2D(), 1);
    EXPECT_EQ(Device().GetBatchVertexCount(), 0u);
}

TEST_F(KVGLRenderTest, EveryThreeDOperationAnswersItsConstant) {
    ASSERT_TRUE(OpenDevice(W, H));
    IKVGraphicDevice3D& d = Device();
    const float line[6] = {0, 0, 0, 1, 1, 1};
    const float matrices[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    const uint16_t indices[3] = {0, 1, 2};
    const uint8_t bytes[36] = {};
    void* target = &d;
    uint32_t format = 77;
    IKVDeviceBuffer* sentinel = reinterpret_cast<IKVDeviceBuffer*>(&format);
    IKVDeviceBuffer* buffer = sentinel;
    IKVUnknownRef* shader = nullptr;
    KVVertexFormatDesc formatDesc;
    KVVertexBufferDesc bufferDesc{1, 36, 0, 0};
    // (operation, answer) in slot order; the two shader loads answer 1.
    const std::pair<std::function<int32_t()>, int32_t> operations[] = {
        {[&] { return d.SetRenderTarget(nullptr); }, 0},
        {[&] { return int32_t(d.GetCaps3D()); }, 0},
        {[&] { return d.DrawLine3D(line, 0xFFFF0000, 0); }, 0},
        {[&] { return d.CreateVertexFormat(&formatDesc, &format, bytes, sizeof bytes); }, 0},
        {[&] { return int32_t(d.GetFeatures3D()); }, 0},
        {[&] { return d.CreateVertexBuffer("mesh.kv3d", &bufferDesc, 0, &buffer); }, 0},
        {[&] { return d.CreateIndexBuffer("mesh.kv3d", 3, 0, 0, nullptr); }, 0},
        {[&] { return d.GetMaxLights(); }, 0},
        {[&] { return d.SetLight(0, nullptr); }, 0},
        {[&] { return d.CreateMirrorTarget(&target); }, 0},
        {[&] { return d.SelectMirrorTarget(nullptr); }, 0},
        {[&] { return d.ClearMirrorTarget(nullptr); }, 0},
        {[&] { return d.SetMaterial(nullptr, 0); }, 0},
        {[&] { return d.SetVertexData(bytes, 1, 36, 0); }, 0},
        {[&] { return d.LoadPixelShader("a.kvps", &shader); }, 1},
        {[&] { return d.LoadVertexShader("a.kvvs", &shader); }, 1},
        {[&] { return d.DrawIndexed(indices, 3); }, 0},
        {[&] { return d.SetFog(0xFF808080, 1.0f, 10.0f); }, 0},
        {[&] { return d.SetBoneMatrices(matrices, 1); }, 0},
        {[&] { return d.SetVertexBuffer(nullptr, 0); }, 0},
        {[&] { return d.SetBlendWeight(0.5f, nullptr); }, 0},
        {[&] { return d.SetTextureSlot(0, nullptr); }, 0},
        {[&] { return d.EndTextures(); }, 0},
        {[&] { return d.DrawPart(nullptr, 0); }, 0},
        {[&] { return d.EndSubmesh(); }, 0},
        {[&] { return d.SetPerspective(1.0f, 1.0f, 100.0f); }, 0},
    };
    int number = 0;
    for (const auto& [operation, answer] : operations) EXPECT_EQ(operation(), answer) << "operation " << ++number;
    // Nothing is made: the out values stay as they were.
    EXPECT_EQ(target, nullptr);
    EXPECT_EQ(format, 77u);
    EXPECT_EQ(buffer, sentinel);
    EXPECT_EQ(shader, nullptr);
    EXPECT_EQ(Device().GetBatchVertexCount(), 0u);
    EXPECT_EQ(Device().GetOrientation(), 0);
}

// The frame holds the device section: another thread waits for EndFrame,
// while the drawing thread may enter again to make textures.
TEST_F(KVGLRenderTest, FrameHoldsTheDeviceSectionAgainstOtherThreadsOnly) {
    ASSERT_TRUE(OpenDevice(W, H));
    Device().BeginFrame(1);
    KVTextureDesc desc;
    desc.width = desc.height = 4;
    IKVTexture* texture = nullptr;
    ASSERT_EQ(Device().CreateTexture(&desc, &texture), 0);
    std::atomic<bool> entered{false};
    std::thread other([&] {
        Section()->Lock();
        entered = true;
        Section()->Unlock();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(entered.load());
    Device().EndFrame();
    other.join();
    EXPECT_TRUE(entered.load());
    texture->Release();
}

} // namespace
