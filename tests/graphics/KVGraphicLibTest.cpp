// The graphic module in a whole core: its phases, the "Viewport"
// properties, the default viewport and display modes, and the "KVGraphic"
// script library with its argument checks.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "graphics/KVGraphic.h"
#include "kernel/KVModules.h"
#include "kernel/KVProperties.h"
#include "support/KVRecording3DDevice.h"
#include "support/KVRecordingGraphicDevice.h"
#include "support/KVSceneDevice.h"
#include "support/KVSceneRig.h"
#include "support/KVScriptWordCases.h"
#include "support/KVTestCoreHost.h"

using namespace kvl;
using kvtest::KVRecordingGraphicDevice;

namespace {

void RegisterRecordingDevice() { KVModules::Instance()->RegisterModule(&KVRecordingGraphicDevice::Create); }

bool Reported(const std::string& part) {
    for (const std::string& error : kvtest::KVTestCoreHost::Errors())
        if (error.find(part) != std::string::npos) return true;
    return false;
}

class KVGraphicLibTest : public ::testing::Test {
protected:
    KVGraphicLibTest() : host(false, &RegisterRecordingDevice) {}
    void SetUp() override {
        Start();
    }
    // Phases 2 and 3; the values given before are the project's.
    void Start() {
        host.StartProject();
        device = KVRecordingGraphicDevice::recording;
        ASSERT_NE(device, nullptr);
        ASSERT_EQ(Graphic().GetDevice2D(), device);
    }
    KVGraphic& Graphic() { return *KVGraphic::Instance(); }
    std::string Describe(const std::string& expression) { return host.Describe(expression); }
    std::vector<int32_t> Viewport() {
        const int32_t* v = Graphic().GetDefaultViewport();
        return {v[0], v[1], v[2], v[3]};
    }

    kvtest::KVTestCoreHost host;
    KVRecordingGraphicDevice* device = nullptr;
};

TEST_F(KVGraphicLibTest, LibraryHasItsFourteenFunctions) {
    EXPECT_EQ(host.TableKeys("KVGraphic"),
              (std::vector<std::string>{"GetAvailableScreenModes", "GetDefaultViewport", "GetOffset2D",
                                        "GetScreenMode", "GetVideoCardInfos", "IsFeatureAvailable",
                                        "RegisterResourceResolution", "ResetViewport", "SetBackgroundColor",
                                        "SetDefaultViewport", "SetGamma", "SetScale2D", "SetScreenMode",
                                        "SetScreenRect"}));
}

TEST_F(KVGraphicLibTest, ScreenModeStartsFromTheCurrentOneWithoutDrawingSize) {
    EXPECT_EQ(Describe("KVGraphic.SetScreenMode({})"), "boolean true");
    EXPECT_EQ(Describe("KVGraphic.SetScreenMode({width = 640, height = 480, antialiasing = 2, vsync = false,"
                       " fullscreen = true, depth = 16})"),
              "boolean true");
    ASSERT_EQ(device->requestedModes.size(), 2u);
    const KVDisplayMode& same = device->requestedModes[0];
    EXPECT_EQ(std::vector<int>({same.width, same.height, same.drawingWidth, same.drawingHeight, same.antialiasing,
                                same.fullscreen, same.vsync}),
              (std::vector<int>{1024, 768, 0, 0, 0, 1, 1}));
    const KVDisplayMode& asked = device->requestedModes[1];
    EXPECT_EQ(std::vector<int>({asked.width, asked.height, asked.drawingWidth, asked.drawingHeight,
                                asked.antialiasing, asked.fullscreen, asked.vsync}),
              (std::vector<int>{640, 480, 0, 0, 2, 1, 0}));
    EXPECT_EQ(Describe("KVGraphic.GetScreenMode().width, KVGraphic.GetScreenMode().height, "
                       "KVGraphic.GetScreenMode().antialiasing, KVGraphic.GetScreenMode().vsync"),
              "number 1024, number 768, number 0, boolean true");

    // A refused mode answers false and leaves the viewport alone.
    device->modeAnswer = 5;
    device->takesModes = true;
    EXPECT_EQ(Describe("KVGraphic.SetScreenMode({width = 10})"), "boolean false");
    EXPECT_EQ(Viewport(), (std::vector<int32_t>{0, 0, 1024, 768}));
}

TEST_F(KVGraphicLibTest, ScriptsViewportSurvivesModeChangesUntilResetViewport) {
    device->takesModes = true;
    EXPECT_EQ(Describe("KVGraphic.GetDefaultViewport()"), "number 0, number 0, number 1024, number 768");
    host.Run("KVGraphic.SetDefaultViewport(1, 2, 300, 400)");
    EXPECT_EQ(Describe("KVGraphic.SetScreenMode({width = 800, height = 600})"), "boolean true");
    EXPECT_EQ(Describe("KVGraphic.GetDefaultViewport()"), "number 1, number 2, number 300, number 400");
    // The scene manager reads it as a rectangle.
    EXPECT_EQ(Graphic().GetCurrentViewport()->right, 301);
    host.Run("KVGraphic.ResetViewport()");
    EXPECT_EQ(Describe("KVGraphic.GetDefaultViewport()"), "number 0, number 0, number 800, number 600");
    host.Run("KVGraphic.SetScreenMode({width = 640, height = 480})");
    EXPECT_EQ(Describe("KVGraphic.GetDefaultViewport()"), "number 0, number 0, number 640, number 480");
}

TEST_F(KVGraphicLibTest, SetScale2DStacksOnTheFitUntilAViewportPropertyChanges) {
    KVProperties& properties = *KVProperties::Instance();
    ASSERT_EQ(properties.SetIntegerById(KVGraphic::kGameWidthId, 512), KV_OK);
    ASSERT_EQ(properties.SetIntegerById(KVGraphic::kGameHeightId, 384), KV_OK);
    EXPECT_FLOAT_EQ(Graphic().GetEffectiveScale()[0], 2.0f);
    host.Run("KVGraphic.SetScale2D(2, 2)");
    EXPECT_FLOAT_EQ(Graphic().GetEffectiveScale()[0], 4.0f);
    EXPECT_FLOAT_EQ(Graphic().GetEffectiveScale()[1], 4.0f);
    EXPECT_EQ(Graphic().GetGameArea()[0], 256);
    // Scales that are not positive change nothing.
    host.Run("KVGraphic.SetScale2D(0, 2) KVGraphic.SetScale2D(2, -1)");
    EXPECT_FLOAT_EQ(Graphic().GetEffectiveScale()[0], 4.0f);
    // The properties were not touched: a change brings their scale back.
    EXPECT_FLOAT_EQ(Graphic().GetScale2DProperty()[0], 1.0f);
    ASSERT_EQ(properties.SetFloatById(KVGraphic::kScale2DYId, 1.25f), KV_OK);
    EXPECT_FLOAT_EQ(Graphic().GetEffectiveScale()[0], 2.0f);
    EXPECT_FLOAT_EQ(Graphic().GetEffectiveScale()[1], 2.5f);
}

TEST_F(KVGraphicLibTest, OffsetIsReportedNegatedAndScreenRectangleSetsTheGameRectangle) {
    const int32_t offset[2] = {10, 20};
    Graphic().SetOffset2D(offset);
    EXPECT_EQ(Describe("KVGraphic.GetOffset2D().x, KVGraphic.GetOffset2D().y"), "number -10, number -20");
    host.Run("KVGraphic.SetScreenRect(12, 24, 524, 408)");
    const KVDeviceRect* rect = Graphic().GetGameRect();
    EXPECT_EQ(std::vector<int32_t>({rect->left, rect->top, rect->right, rect->bottom}),
              (std::vector<int32_t>{12, 24, 524, 408}));
    EXPECT_FLOAT_EQ(Graphic().GetEffectiveScale()[0], 2.0f);
    // Left at or past right removes it; so does a rectangle without height.
    host.Run("KVGraphic.SetScreenRect(5, 5, 5, 10)");
    EXPECT_FALSE(Graphic().HasScreenRect());
    EXPECT_EQ(Graphic().GetGameRect()->right, 1024);
    host.Run("KVGraphic.SetScreenRect(0, 5, 100, 5)");
    EXPECT_FALSE(Graphic().HasScreenRect());
    EXPECT_FLOAT_EQ(Graphic().GetEffectiveScale()[0], 1.0f);
}

TEST_F(KVGraphicLibTest, UnknownFeaturesAreReportedWithoutAResult) {
    EXPECT_EQ(Describe("KVGraphic.IsFeatureAvailable('Foo')"), "");
    EXPECT_TRUE(Reported("Unknown asked feature"));
    kvtest::KVTestCoreHost::Errors().clear();
    EXPECT_EQ(Describe("KVGraphic.IsFeatureAvailable(4)"), "");
    EXPECT_TRUE(Reported("Unknown asked feature"));
    // A device without a 3D face has none of them.
    EXPECT_EQ(Describe("KVGraphic.IsFeatureAvailable('Mirror')"), "boolean false");
}

TEST_F(KVGraphicLibTest, GammaBackgroundAndCardGoToTheDevice) {
    host.Run("KVGraphic.SetGamma(2.5) KVGraphic.SetBackgroundColor(0xFF102030)");
    EXPECT_EQ(device->gammas, (std::vector<float>{2.5f}));
    EXPECT_EQ(device->clearColor, 0xFF102030u);
    device->cardInfo = {"Card", 64, 32, 16};
    EXPECT_EQ(Describe("KVGraphic.GetVideoCardInfos().name, KVGraphic.GetVideoCardInfos().dedicated_video, "
                       "KVGraphic.GetVideoCardInfos().dedicated_system, KVGraphic.GetVideoCardInfos().shared_system"),
              "string Card, number 64, number 32, number 16");
    EXPECT_EQ(Describe("#KVGraphic.GetAvailableScreenModes(), KVGraphic.GetAvailableScreenModes()[2]"),
              "number 2, string 1024x768");
    device->displayModes.clear();
    EXPECT_EQ(Describe("#KVGraphic.GetAvailableScreenModes()"), "number 0");
}

// The background colour takes a script number as colour attributes do.
TEST_F(KVGraphicLibTest, TheBackgroundColourTakesTheWordColoursTake) {
    for (const kvtest::KVScriptWordCase& c : kvtest::ScriptWordCases()) {
        SCOPED_TRACE(c.script);
        device->clearColor = 0x5A5A5A5A;
        host.Run(std::string("KVGraphic.SetBackgroundColor(") + c.script + ")");
        EXPECT_EQ(device->clearColor, c.word);
    }
}

TEST_F(KVGraphicLibTest, ResourceResolutionNeedsTheGameResolution) {
    host.Run("KVGraphic.RegisterResourceResolution(960, 640, 'hd')");
    EXPECT_TRUE(Reported("Can not register resource resolution because game resolution is not defined"));
    EXPECT_TRUE(Graphic().GetResolutions().empty());
    KVProperties::Instance()->SetIntegerById(KVGraphic::kGameWidthId, 480);
    KVProperties::Instance()->SetIntegerById(KVGraphic::kGameHeightId, 320);
    host.Run("KVGraphic.RegisterResourceResolution(960, 640, 'hd')");
    ASSERT_EQ(Graphic().GetResolutions().size(), 1u);
    EXPECT_EQ(Graphic().GetResolutions()[0].folder, "hd/");
}

TEST_F(KVGraphicLibTest, WrongArgumentsGetTheBindingsMessageAndNoResults) {
    struct Case {
        const char* call;
        const char* message;
    } cases[] = {
        {"KVGraphic.SetScreenMode()", "Invalid number of arguments"},
        {"KVGraphic.SetScreenMode(5)", "Argument #1 type is invalid"},
        {"KVGraphic.GetScreenMode(1)", "Invalid number of arguments"},
        {"KVGraphic.GetDefaultViewport(nil)", "Invalid number of arguments"},
        {"KVGraphic.SetDefaultViewport(1, 2, 'x', 4)", "Argument #3 type is invalid"},
        {"KVGraphic.SetScale2D(1)", "Invalid number of arguments"},
        {"KVGraphic.SetScale2D(1, {})", "Argument #2 type is invalid"},
        {"KVGraphic.IsFeatureAvailable()", "Invalid number of arguments"},
        {"KVGraphic.SetGamma('a')", "Argument #1 type is invalid"},
        {"KVGraphic.SetBackgroundColor()", "Invalid number of arguments"},
        {"KVGraphic.RegisterResourceResolution(1, 2, 3)", "Argument #3 type is invalid"},
        {"KVGraphic.SetScreenRect(1, 2, 3)", "Invalid number of arguments"},
        {"KVGraphic.GetOffset2D(0)", "Invalid number of arguments"},
        {"KVGraphic.GetVideoCardInfos(0)", "Invalid number of arguments"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.call);
        kvtest::KVTestCoreHost::Errors().clear();
        EXPECT_EQ(Describe(c.call), "");
        EXPECT_TRUE(Reported(c.message));
    }
    EXPECT_EQ(Viewport(), (std::vector<int32_t>{0, 0, 1024, 768}));
    EXPECT_TRUE(device->requestedModes.empty());
}

TEST_F(KVGraphicLibTest, ReleaseOneBringsBackTheInitialMode) {
    device->takesModes = true;
    Graphic().Release(1);
    // The mode never changed: nothing is asked.
    EXPECT_TRUE(device->requestedModes.empty());
    host.Run("KVGraphic.SetScreenMode({width = 800, height = 600}) KVGraphic.SetDefaultViewport(1, 1, 2, 2)");
    device->requestedModes.clear();
    Graphic().Release(1);
    ASSERT_EQ(device->requestedModes.size(), 1u);
    const KVDisplayMode& back = device->requestedModes[0];
    EXPECT_EQ(std::vector<int>({back.width, back.height, back.drawingWidth, back.drawingHeight}),
              (std::vector<int>{1024, 768, 1024, 768}));
    EXPECT_EQ(Viewport(), (std::vector<int32_t>{0, 0, 1024, 768}));
    EXPECT_TRUE(Graphic().ViewportFollowsScreen());
}

TEST(KVGraphicPhases, PropertiesAreDeclaredAndTheirProjectValuesFitTheGame) {
    kvtest::KVTestCoreHost host(false, &RegisterRecordingDevice);
    KVProperties& properties = *KVProperties::Instance();
    properties.AddLoadedValue(KVGraphic::kGameWidthId, KVPropertyValue::Integer(512));
    properties.AddLoadedValue(KVGraphic::kGameHeightId, KVPropertyValue::Integer(256));
    properties.AddLoadedValue(KVGraphic::kScale2DXId, KVPropertyValue::Float(0.5f));
    host.StartProject();
    KVGraphic& graphic = *KVGraphic::Instance();
    struct Expected {
        const char* key;
        const char* description;
        uint64_t id;
        int32_t type;
    } expected[] = {
        {"Scale2DX", "Scale2DX", KVGraphic::kScale2DXId, PROPERTY_FLOAT},
        {"Scale2DY", "Scale2DY", KVGraphic::kScale2DYId, PROPERTY_FLOAT},
        {"ForcePow2", "Force only power of 2 textures", KVGraphic::kForcePow2Id, PROPERTY_BOOLEAN},
        {"GameWidth", "GameWidth", KVGraphic::kGameWidthId, PROPERTY_INTEGER},
        {"GameHeight", "GameHeight", KVGraphic::kGameHeightId, PROPERTY_INTEGER},
    };
    for (const Expected& e : expected) {
        SCOPED_TRACE(e.key);
        const PropertyRecord* record = properties.FindByKey(e.key);
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(record->descriptor.displayName, e.description);
        EXPECT_EQ(record->descriptor.section, "Viewport");
        EXPECT_EQ(record->descriptor.id, e.id);
        EXPECT_EQ(record->descriptor.type, e.type);
        EXPECT_EQ(record->descriptor.updater, static_cast<IKVPropertyUpdater*>(&graphic));
    }
    // 1024 x 768 fits 512 x 256 by (2, 3), times the stored 2D scale.
    EXPECT_FLOAT_EQ(graphic.GetEffectiveScale()[0], 1.0f);
    EXPECT_FLOAT_EQ(graphic.GetEffectiveScale()[1], 3.0f);
    EXPECT_EQ(graphic.GetGameArea()[0], 1024);
    EXPECT_EQ(graphic.GetGameArea()[1], 256);
    EXPECT_EQ(graphic.GetInitialMode().width, 1024);
}

TEST(KVGraphicPhases, WithoutADeviceTheModuleRunsWithoutPropertiesOrScreen) {
    kvtest::KVTestCoreHost host;
    host.StartProject();
    KVGraphic& graphic = *KVGraphic::Instance();
    EXPECT_EQ(graphic.GetDevice2D(), nullptr);
    EXPECT_EQ(KVProperties::Instance()->FindByKey("GameWidth"), nullptr);
    EXPECT_EQ(host.Describe("KVGraphic.SetScreenMode({})"), "boolean false");
    EXPECT_EQ(host.Describe("#KVGraphic.GetAvailableScreenModes()"), "number 0");
    KVDrawState state;
    EXPECT_EQ(graphic.SetDrawState(&state, 0), KV_FAILED);
}

TEST(KVGraphicPhases, FeaturesComeFromTheDevicesThreeDFace) {
    kvtest::KVRecording3DDevice device;
    device.features3D = KVDEVICE_FEATURE_MIRROR | 0x10;
    kvtest::KVTestCoreHost host;
    (new kvtest::KVSceneDeviceModule(&device, true))->Register();
    host.StartProject();
    EXPECT_EQ(host.Describe("KVGraphic.IsFeatureAvailable('Mirror'), KVGraphic.IsFeatureAvailable('NormalMap'), "
                            "KVGraphic.IsFeatureAvailable('PixelShader'), "
                            "KVGraphic.IsFeatureAvailable('VertexShader')"),
              "boolean true, boolean false, boolean true, boolean false");
}

TEST(KVGraphicScreen, ModesOfAPortraitScreenAndSetScreenModeOnTheOpenGLESDevice) {
    kvtest::KVSceneRig::Options options;
    options.screen = true;
    options.width = 320;
    options.height = 480;
    kvtest::KVSceneRig rig(options);
    ASSERT_TRUE(rig.Ready());
    kvtest::KVTestCoreHost& host = rig.Host();
    EXPECT_EQ(host.Describe("KVGraphic.GetAvailableScreenModes()[1], KVGraphic.GetAvailableScreenModes()[2], "
                            "#KVGraphic.GetAvailableScreenModes()"),
              "string 480x320, string 320x480, number 2");
    EXPECT_EQ(host.Describe("KVGraphic.SetScreenMode({})"), "boolean true");
    EXPECT_EQ(host.Describe("KVGraphic.GetScreenMode().width, KVGraphic.GetScreenMode().height"),
              "number 480, number 320");
    EXPECT_EQ(host.Describe("KVGraphic.GetDefaultViewport()"), "number 0, number 0, number 480, number 320");
}

} // namespace
