// The graphic module's 2D transform: effective scale, game area and game
// rectangle, the view matrix handed to the device, the scissor, device
// points in game coordinates (through the scene's cameras), the 2D offset
// and the render target.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "graphics/KVGraphic.h"
#include "graphics/KVResourceTexture.h"
#include "support/KVRecording3DDevice.h"
#include "support/KVRecordingGraphicDevice.h"
#include "support/KVSceneRig.h"
#include "units/IKVUnit2DTransform.h"

using namespace kvl;

namespace {

class KVGraphicTransformTest : public ::testing::Test {
protected:
    void SetUp() override { graphic.SetDevice(&device); }
    void Screen(int32_t width, int32_t height) { device.screen = {width, height, width, height, 0, 1, 1}; }
    void Scale(float x, float y, bool autoFit = true) {
        const float scale[2] = {x, y};
        ASSERT_EQ(graphic.Set2DTransform(scale, autoFit), KV_OK);
    }
    std::vector<int32_t> Area() { return {graphic.GetGameArea()[0], graphic.GetGameArea()[1]}; }
    std::vector<int32_t> Rect() {
        const KVDeviceRect* r = graphic.GetGameRect();
        return {r->left, r->top, r->right, r->bottom};
    }

    kvtest::KVRecordingGraphicDevice device;
    KVGraphic graphic;
};

TEST_F(KVGraphicTransformTest, GameOf480By320OnAn800By480Screen) {
    Screen(800, 480);
    graphic.SetGameResolution(480, 320);
    Scale(1, 1);
    EXPECT_NEAR(graphic.GetEffectiveScale()[0], 1.6667f, 1e-4f);
    EXPECT_FLOAT_EQ(graphic.GetEffectiveScale()[1], 1.5f);
    EXPECT_TRUE(graphic.IsScalingOn());
    EXPECT_EQ(Area(), (std::vector<int32_t>{480, 320}));
    EXPECT_EQ(Rect(), (std::vector<int32_t>{0, 0, 480, 320}));
}

TEST_F(KVGraphicTransformTest, ScaleAutoFitAndScreenRectangleGiveScaleAreaAndRectangle) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        const char* name;
        KVDisplayMode screen;
        int32_t gameWidth, gameHeight;
        std::vector<float> screenRect;  // empty: none
        float scale[2];
        bool autoFit;
        std::vector<float> effective;
        bool scalingOn;
        std::vector<int32_t> area, rect;
    } cases[] = {
        {"plain", {800, 480, 800, 480, 0, 1, 1}, 0, 0, {}, {1, 1}, true, {1, 1}, false, {800, 480}, {0, 0, 800, 480}},
        {"stacked", {800, 480, 800, 480, 0, 1, 1}, 400, 240, {}, {2, 2}, true, {4, 4}, true, {200, 120},
         {0, 0, 200, 120}},
        {"no fit", {800, 480, 800, 480, 0, 1, 1}, 400, 240, {}, {2, 0.5f}, false, {2, 0.5f}, true, {400, 960},
         {0, 0, 400, 960}},
        {"drawing size", {800, 480, 400, 240, 0, 1, 1}, 400, 240, {}, {1, 1}, true, {2, 2}, true, {200, 120},
         {0, 0, 200, 120}},
        {"screen rect", {800, 600, 800, 600, 0, 1, 1}, 480, 320, {10, 20, 410, 320}, {1, 1}, true, {2, 2}, true,
         {400, 300}, {10, 20, 410, 320}},
        {"rounded away", {800, 600, 800, 600, 0, 1, 1}, 0, 0, {-10.5f, -0.5f, 100.5f, 50.4f}, {1, 1}, false, {1, 1},
         true, {800, 600}, {-11, -1, 101, 50}},
        // A rectangle without height is no rectangle: the game size fits.
        {"flat rect", {800, 600, 800, 600, 0, 1, 1}, 400, 300, {10, 20, 410, 20}, {1, 1}, true, {2, 2}, true,
         {400, 300}, {0, 0, 400, 300}},
        {"no screen", {0, 0, 0, 0, 0, 1, 1}, 480, 320, {}, {1, 1}, true, {0, 0}, true, {0, 0}, {0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        device.screen = c.screen;
        graphic.SetGameResolution(c.gameWidth, c.gameHeight);
        if (c.screenRect.empty())
            graphic.SetScreenRect(0, 0, 0, 0);
        else
            graphic.SetScreenRect(c.screenRect[0], c.screenRect[1], c.screenRect[2], c.screenRect[3]);
        ASSERT_EQ(graphic.Set2DTransform(c.scale, c.autoFit), KV_OK);
        EXPECT_FLOAT_EQ(graphic.GetEffectiveScale()[0], c.effective[0]);
        EXPECT_FLOAT_EQ(graphic.GetEffectiveScale()[1], c.effective[1]);
        EXPECT_EQ(graphic.IsScalingOn(), c.scalingOn);
        EXPECT_EQ(Area(), c.area);
        EXPECT_EQ(Rect(), c.rect);
    }
    // A scale that is not positive is refused and changes nothing.
    for (float bad : {0.0f, -1.0f, nan, std::numeric_limits<float>::infinity()}) {
        const float scale[2] = {1.0f, bad};
        EXPECT_EQ(graphic.Set2DTransform(scale, true), KV_FAILED);
        const float swapped[2] = {bad, 1.0f};
        EXPECT_EQ(graphic.Set2DTransform(swapped, true), KV_FAILED);
    }
    EXPECT_FLOAT_EQ(graphic.GetEffectiveScale()[0], 0.0f);
    EXPECT_EQ(Area(), (std::vector<int32_t>{0, 0}));
}

TEST_F(KVGraphicTransformTest, ViewMatrixIsScaledUnlessBatchingAndGoesOutAsSixteenFloats) {
    Screen(800, 480);
    const float m[6] = {0.5f, 0.25f, -0.25f, 0.5f, 30, 40};
    // Scaling off: unchanged, in the device's column order.
    ASSERT_EQ(graphic.SetViewTransform(m), KV_OK);
    ASSERT_EQ(device.transforms.size(), 1u);
    EXPECT_EQ(device.transforms[0].index, 1);
    EXPECT_EQ(std::vector<float>(device.transforms[0].matrix.begin(), device.transforms[0].matrix.end()),
              (std::vector<float>{0.5f, 0.25f, 0, 0, -0.25f, 0.5f, 0, 0, 0, 0, 1, 0, 30, 40, 0, 1}));

    Scale(2, 4, false);
    graphic.SetViewTransform(m);
    EXPECT_EQ(device.LastView(), (std::array<float, 6>{1, 1, -0.5f, 2, 60, 160}));
    // While a unit batches its own vertices the matrix passes unscaled.
    KVDrawState state;
    graphic.SetDrawState(&state, KVDRAW_BATCH);
    graphic.SetViewTransform(m);
    EXPECT_EQ(device.LastView(), (std::array<float, 6>{0.5f, 0.25f, -0.25f, 0.5f, 30, 40}));
    graphic.EndDraw();
    // The screen rectangle's corner becomes the screen's corner.
    graphic.SetScreenRect(10, 20, 410, 260);
    graphic.SetViewTransform(m);
    EXPECT_EQ(device.LastView(), (std::array<float, 6>{1, 0.5f, -0.5f, 1, 40, 40}));
    EXPECT_EQ(std::vector<float>(graphic.GetViewMatrix(), graphic.GetViewMatrix() + 6),
              (std::vector<float>{1, 0.5f, -0.5f, 1, 40, 40}));
}

TEST_F(KVGraphicTransformTest, ScissorEdgesAreScaledRoundedAndMovedLikeTheDrawing) {
    Screen(800, 480);
    const KVDeviceRect rect = {10, 11, 101, 103};
    graphic.SetScissor(&rect);
    graphic.SetScissor(nullptr);
    graphic.SetGameResolution(480, 320);
    Scale(1, 1);
    graphic.SetScissor(&rect);
    // The screen rectangle (300 x 240 from (5, 8)) moves the scissor with the
    // drawing.
    graphic.SetScreenRect(5, 8, 305, 248);
    graphic.SetScissor(&rect);
    // Huge edges saturate.
    const KVDeviceRect huge = {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};
    graphic.SetScissor(&huge);
    ASSERT_EQ(device.scissors.size(), 5u);
    auto edges = [&](size_t i) {
        const KVDeviceRect& r = device.scissors[i].rect;
        return std::vector<int32_t>{r.left, r.top, r.right, r.bottom};
    };
    EXPECT_EQ(edges(0), (std::vector<int32_t>{10, 11, 101, 103}));
    EXPECT_FALSE(device.scissors[1].on);
    // 10 x 1.6667 + 0.5 = 17.2, 11 x 1.5 + 0.5 = 17, 101 x 1.6667 + 0.5 = 168.8,
    // 103 x 1.5 + 0.5 = 155.
    EXPECT_EQ(edges(2), (std::vector<int32_t>{17, 17, 168, 155}));
    // Scale (8/3, 2): (10 - 5) x 2.667 = 13.3, (11 - 8) x 2 = 6, 96 x 2.667 = 256, 95 x 2 = 190.
    EXPECT_EQ(edges(3), (std::vector<int32_t>{13, 6, 256, 190}));
    EXPECT_EQ(edges(4), (std::vector<int32_t>{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}));
}

TEST_F(KVGraphicTransformTest, PointsWithoutAScenePassThroughTheDefaultViewport) {
    Screen(1024, 768);
    graphic.ResetViewport();
    graphic.SetGameResolution(512, 384);
    Scale(1, 1);
    KVIntPoint point = {0, 0};
    graphic.PointToGame(&point, 101, 51);
    EXPECT_EQ(point.x, 51);  // 50.5 + 0.5
    EXPECT_EQ(point.y, 26);
    // A viewport without area holds no point: its corner stands for all.
    graphic.SetDefaultViewport(0, 0, 0, 100);
    graphic.PointToGame(&point, 101, 51);
    EXPECT_EQ(point.x, 0);
    EXPECT_EQ(point.y, 0);
    graphic.SetScreenRect(-7.9f, 3.5f, 100, 100);
    graphic.PointToGame(&point, INT32_MAX, INT32_MIN);
    EXPECT_EQ(point.x, -7);
    EXPECT_EQ(point.y, 3);
}

TEST_F(KVGraphicTransformTest, RenderTargetGoesToTheDevicesThreeDFaceOnceAndIsForgottenWithItsTexture) {
    kvtest::KVRecording3DDevice device3D;
    graphic.SetDevice(&device3D);
    ASSERT_EQ(graphic.GetDevice3D(), &device3D);
    auto* target = new KVResourceTexture();
    EXPECT_EQ(graphic.SetRenderTarget(target), KV_OK);
    EXPECT_EQ(graphic.SetRenderTarget(target), KV_OK);
    EXPECT_EQ(graphic.GetRenderTarget(), target);
    target->Release();
    EXPECT_EQ(graphic.GetRenderTarget(), nullptr);
    graphic.SetRenderTarget(nullptr);
    EXPECT_EQ(device3D.CallsOf("SetRenderTarget").size(), 1u);
}

TEST_F(KVGraphicTransformTest, DeviceChangeForgetsStagesAndTakesTheNewSize) {
    Screen(800, 480);
    graphic.SetGameResolution(400, 240);
    Scale(1, 1);
    EXPECT_EQ(Area(), (std::vector<int32_t>{400, 240}));
    Screen(1000, 600);
    EXPECT_EQ(graphic.ResetViewportFromDevice(), KV_OK);
    // The scale stays; the area follows the drawing size.
    EXPECT_FLOAT_EQ(graphic.GetEffectiveScale()[0], 2.0f);
    EXPECT_EQ(Area(), (std::vector<int32_t>{500, 300}));
    EXPECT_EQ(graphic.GetForgetTextureStagesCalls(), 1);
}

// ---- through a scene ----

// A 2D unit that counts its transform updates.
class KVTest2DUnit : public KVUnit, public IKVUnit2DTransform {
public:
    static KVUnit* Create() { return new KVTest2DUnit; }
    int32_t QueryInterface(const KVInterfaceId& id, void** out) override {
        if (id == IID_IKVUnit2DTransform) return AnswerInterface(static_cast<IKVUnit2DTransform*>(this), out);
        return KVUnit::QueryInterface(id, out);
    }
    void UpdateTransform(int32_t) override { ++updates; }
    int updates = 0;
};

class KVGraphicSceneTest : public ::testing::Test {
protected:
    KVGraphic& Graphic() { return *KVGraphic::Instance(); }
    KVIntPoint Game(int32_t x, int32_t y) {
        KVIntPoint point = {0, 0};
        Graphic().PointToGame(&point, x, y);
        return point;
    }
    kvtest::KVSceneRig rig;
};

TEST_F(KVGraphicSceneTest, PointsGoThroughTheCameraThatHoldsThem) {
    ASSERT_EQ(Graphic().GetDevice2D(), &rig.Recorder());
    // No camera: the module's viewport, the whole 1024 x 768 screen.
    EXPECT_EQ(Game(300, 200).x, 300);
    rig.Camera("Left", {100, 50, 612, 434});
    rig.Camera("Right", {612, 0, 1024, 384});
    // 1024 x (356 - 100) / 512, 768 x (242 - 50) / 384.
    EXPECT_EQ(Game(356, 242).x, 512);
    EXPECT_EQ(Game(356, 242).y, 384);
    // 1024 x 103 / 412 = 256, 768 x 96 / 384 = 192.
    EXPECT_EQ(Game(715, 96).x, 256);
    EXPECT_EQ(Game(715, 96).y, 192);
    // Held by no camera: the scene's main viewport, the first camera's.
    // 1024 x -90 / 512 + 0.5 = -179.5, cut toward zero.
    EXPECT_EQ(Game(10, 10).x, -179);
    EXPECT_EQ(Game(10, 10).y, -79);
    // The 2D scale and the screen rectangle's corner.
    Graphic().SetScreenRect(30.7f, 40.2f, 542.7f, 424.2f);
    EXPECT_EQ(Game(356, 242).x, 256 + 30);
    EXPECT_EQ(Game(356, 242).y, 192 + 40);
}

TEST_F(KVGraphicSceneTest, OffsetPlacesEveryEnabled2DUnitAgainUnlessTheFactoryLoads) {
    KVUnitFactory& factory = rig.Factory();
    KVUnitClassDesc desc;
    desc.name = "Test2D";
    desc.id = 0x7E572D01ull;
    desc.create = &KVTest2DUnit::Create;
    desc.baseClass = factory.FindClassByName("Unit2D");
    int32_t index = -1;
    ASSERT_EQ(factory.RegisterClass(desc, &index), KV_OK);
    auto* on = rig.Make<KVTest2DUnit>("Test2D", "On");
    auto* off = rig.Make<KVTest2DUnit>("Test2D", "Off");
    ASSERT_TRUE(on && off);
    off->SetEnabled(false);
    rig.Quad("Flat", {0, 0, 4, 4});
    const int32_t offset[2] = {10, 20};
    EXPECT_EQ(Graphic().SetOffset2D(offset), KV_OK);
    EXPECT_EQ(on->updates, 1);
    EXPECT_EQ(off->updates, 0);
    EXPECT_EQ(Graphic().GetOffset2DRef()[1], 20);
    factory.SetLoading(true, 0x20004);
    EXPECT_EQ(Graphic().SetOffset2D(offset), KV_OK);
    factory.SetLoading(false, 0x20004);
    EXPECT_EQ(on->updates, 1);
}

TEST_F(KVGraphicSceneTest, RenderTargetChangeRefreshesTheCameras) {
    rig.Camera("Cam", {0, 0, 1024, 768});
    auto* target = new KVResourceTexture();
    kvtest::SceneJournal().clear();
    Graphic().SetRenderTarget(target);
    EXPECT_EQ(kvtest::JournalStartingWith("Cam screen").size(), 1u);
    target->Release();
    kvtest::SceneJournal().clear();
    Graphic().SetRenderTarget(nullptr);
    EXPECT_TRUE(kvtest::JournalStartingWith("Cam screen").empty());
}

} // namespace
