// Camera and shader units on the engine's OpenGL ES device, headless: the
// device's 3D face draws nothing, so a scene with them shows the same
// pixels as the same scene without them.
#include <gtest/gtest.h>

#include <vector>

#include "support/KVSceneRig.h"
#include "units3d/KVUnitCamera.h"
#include "units3d/KVUnitShader.h"

using namespace kvl;
using kvtest::KVSceneRig;

namespace {

constexpr int32_t kWidth = 64;
constexpr int32_t kHeight = 48;

std::vector<uint32_t> Frame(KVSceneRig& rig) {
    EXPECT_EQ(rig.Scene().Draw(), KV_OK);
    return rig.ScreenPixels();
}

TEST(KVUnitCameraScreenTest, CameraAndShaderUnitsLeaveThePixelsAsTheyAre) {
    KVSceneRig::Options options;
    options.screen = true;
    options.engineCameras = true;
    options.width = kWidth;
    options.height = kHeight;
    KVSceneRig rig(options);
    ASSERT_TRUE(rig.Ready());
    rig.Quad("Red", {8, 8, 24, 24}, nullptr, 0xFFFF0000u);
    rig.Quad("Green", {16, 16, 40, 40}, nullptr, 0xFF00FF00u)->SetSceneList(1);
    const std::vector<uint32_t> without = Frame(rig);
    ASSERT_EQ(rig.PixelAt(10, 10), 0xFFFF0000u);
    ASSERT_EQ(rig.PixelAt(30, 30), 0xFF00FF00u);

    auto* camera = rig.Make<KVUnitCamera>("Camera", "Cam");
    ASSERT_NE(KVUnitCamera::FromUnit(camera), nullptr);
    camera->SetPosition({0, 0, 10});
    camera->SetActive(true);
    auto* shader = rig.Make<KVUnitShader>("Shader", "Shader");
    ASSERT_NE(shader, nullptr);
    rig.Factory().SetAttributeText(shader->GetIndex(),
                                   rig.Factory().FindAttributeIndex(shader->GetClassIndex(), "PixelShader"), 0,
                                   "shaders/glow.kvps", false);
    EXPECT_EQ(shader->GetMaterial()->pixelShader, nullptr);
    // Twice: the first frame with a camera sends everything.
    for (int frame = 0; frame < 2; ++frame) {
        EXPECT_EQ(Frame(rig), without) << "frame " << frame;
        EXPECT_EQ(rig.Scene().GetCurrentCamera(), static_cast<IKVUnit*>(camera));
    }
}

} // namespace
