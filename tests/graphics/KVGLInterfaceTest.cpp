// The device's extension module inside a real core: the device made in
// phase 1 and handed out under three ids, the two properties, the end of the
// device, and project loading that now finds a graphic device.
#include <SDL.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "graphics/KVGLInterface.h"
#include "graphics/KVGLRender.h"
#include "kernel/IKVLog.h"
#include "kernel/IKVProperties.h"
#include "kernel/KVCore.h"
#include "kernel/KVModules.h"
#include "platform/KVEGLScreen.h"
#include "platform/PDL.h"
#include "support/KVProjectFileWriter.h"
#include "support/KVPropertiesBlockWriter.h"
#include "support/KVSceneUnitsWriter.h"
#include "support/KVTestSupport.h"
#include "units/KVUnitFactory.h"

using namespace kvl;

namespace {

std::vector<std::string> g_errors;
void RecordLog(const char* text, int32_t level, int32_t) {
    if (level == KVLOG_ERROR) g_errors.push_back(text);
}

class KVGLInterfaceTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_errors.clear();
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0);
    }
    void TearDown() override {
        if (KVCore::Instance()) KVCore::ShutdownCore();
        PDLSetScreenSize(1024, 768);
        SDL_Quit();
    }
    // A core through phase 1 with the device's creator registered.
    KVCore* StartCore() {
        KVCore* core = KVCore::Instance(false);
        core->Init(0);
        GetLog()->SetCallback(&RecordLog);
        KVModules::Instance()->RegisterModule(&CreateGLInterface);
        core->Init(1);
        return core;
    }
    static void* Ask(const KVInterfaceId& id, int32_t* result) {
        void* out = &g_errors;
        *result = KVCore::Instance()->QueryInterface(id, &out);
        return out;
    }

    kvtest::TempWorkDir dir;
};

TEST_F(KVGLInterfaceTest, DeviceMadeInPhaseOneAnswersThreeIdsAsOneObject) {
    StartCore();
    KVGLInterface* module = KVGLInterface::Instance();
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(module->GetId(), 0x0064947a6c3ba6f8ull);
    EXPECT_EQ(module->GetPriority(), 1);
    EXPECT_NE(module->GetCriticalSection(), nullptr);
    KVGLRender* device = module->GetDevice();
    ASSERT_NE(device, nullptr);
    EXPECT_TRUE(ScreenIsOpen());
    EXPECT_FALSE(ScreenIsWindow());
    int32_t result = -1;
    auto* plain = static_cast<IKVGraphicDevice*>(Ask(IID_IKVGraphicDevice, &result));
    EXPECT_EQ(result, 0);
    auto* twoD = static_cast<IKVGraphicDevice2D*>(Ask(IID_IKVGraphicDevice2D, &result));
    EXPECT_EQ(result, 0);
    auto* threeD = static_cast<IKVGraphicDevice3D*>(Ask(IID_IKVGraphicDevice3D, &result));
    EXPECT_EQ(result, 0);
    EXPECT_EQ(plain, static_cast<IKVGraphicDevice*>(device));
    EXPECT_EQ(twoD, static_cast<IKVGraphicDevice2D*>(device));
    EXPECT_EQ(threeD, static_cast<IKVGraphicDevice3D*>(device));
    // The device itself answers no id.
    void* out = &result;
    EXPECT_EQ(device->QueryInterface(IID_IKVGraphicDevice, &out), 2);
    EXPECT_EQ(out, nullptr);
    // A second creator call keeps the one module.
    KVModuleCreateInfo info{nullptr, 0};
    EXPECT_EQ(CreateGLInterface(&info), module);
}

TEST_F(KVGLInterfaceTest, PropertiesAreDeclaredInPhaseTwoWithTheirDefaults) {
    StartCore();
    KVGLInterface* module = KVGLInterface::Instance();
    EXPECT_TRUE(module->GetAutoOrientation());
    EXPECT_FALSE(module->GetForceOpenGL1());
    module->Init(2);
    auto* properties = QueryCoreInterface<IKVProperties>(IID_IKVProperties);
    ASSERT_NE(properties, nullptr);
    PropertyTarget target;
    ASSERT_EQ(properties->FindProperty(0x0066d4137fb9cb40ull, &target), 0);
    EXPECT_EQ(target.type, PROPERTY_BOOLEAN);
    EXPECT_EQ(*static_cast<bool*>(target.target), true);
    ASSERT_EQ(properties->FindProperty(0x005efe8a1bb5b51cull, &target), 0);
    EXPECT_EQ(target.type, PROPERTY_BOOLEAN);
    EXPECT_EQ(*static_cast<bool*>(target.target), false);
}

// A device that cannot get a screen is no device: the module keeps running
// and answers none of the three ids.
TEST_F(KVGLInterfaceTest, WithoutAScreenThereIsNoDevice) {
    PDLSetScreenSize(0, 0);
    StartCore();
    KVGLInterface* module = KVGLInterface::Instance();
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(module->GetDevice(), nullptr);
    EXPECT_FALSE(ScreenIsOpen());
    for (const KVInterfaceId& id : {IID_IKVGraphicDevice, IID_IKVGraphicDevice2D, IID_IKVGraphicDevice3D}) {
        int32_t result = -1;
        EXPECT_EQ(Ask(id, &result), nullptr);
        EXPECT_EQ(result, 2);
    }
}

TEST_F(KVGLInterfaceTest, ReleasePhaseFourEndsTheDevice) {
    StartCore();
    KVGLInterface* module = KVGLInterface::Instance();
    module->Release(2);
    EXPECT_NE(module->GetDevice(), nullptr);
    module->Release(4);
    EXPECT_EQ(module->GetDevice(), nullptr);
    EXPECT_FALSE(ScreenIsOpen());
    int32_t result = -1;
    EXPECT_EQ(Ask(IID_IKVGraphicDevice2D, &result), nullptr);
    EXPECT_EQ(result, 2);
}

TEST_F(KVGLInterfaceTest, ProjectScenesLoadWithTheRealDevice) {
    constexpr uint64_t kProjectId = 0x0011223344556677ull;
    constexpr uint64_t kNeedSoundDevice = 0x001D90A67E3277C9ull;
    kvtest::KVPropertiesBlockWriter properties(0x10005);
    properties.AddBoolean(kNeedSoundDevice, 0);
    kvtest::KVProjectFileWriter project(0x10005, kProjectId);
    project.AddKvl("scenes/a.kvl").AddGroup("start", {0}, true).Append(properties.Build());
    ASSERT_TRUE(project.WriteTo(dir.Path() + "/assets/game.kvproj"));
    kvtest::KVSceneUnitsWriter scene;
    scene.AddPlainUnit("Hero", 1);
    ASSERT_TRUE(kvtest::KVChunkWriter::WriteFile(dir.Path() + "/assets/scenes/a.kvl", scene.Scene(0x20004, kProjectId)));

    KVCore* core = StartCore();
    ASSERT_EQ(core->LoadProject(""), 0);
    EXPECT_EQ(core->CheckDevices(), 1);
    IKVUnit* hero = nullptr;
    EXPECT_EQ(KVUnitFactory::Instance()->FindUnitByName("Hero", nullptr, &hero), 0);
    for (const std::string& error : g_errors) EXPECT_EQ(error.find("Scenes not loaded"), std::string::npos) << error;
}

} // namespace
