// The "Mirror" unit in a whole core: its mirror object, size and
// transparency, the plane that follows position and rotation, the mask
// texture, the two passes with the material of its shader, its place in
// the scene's mirror list, and the pick against the drawn rectangle.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "support/KV3DTestShader.h"
#include "support/KV3DUnitRig.h"
#include "support/KVPngWriter.h"
#include "units/IKVUnitRef.h"
#include "units/KVSceneManager.h"
#include "units3d/KV3DMirror.h"
#include "units3d/KVUnit3DMirror.h"

using namespace kvl;
using namespace kvtest;

namespace {

constexpr float kHalfPi = 1.57079632679f;

class KVUnit3DMirrorTest : public ::testing::Test {
protected:
    KVUnit3DMirror* Mirror(const std::string& name = "M") { return rig.Make<KVUnit3DMirror>("Mirror", name); }
    static KV3DMirror* Object(KVUnit3DMirror* unit) { return static_cast<KV3DMirror*>(unit->GetMirror()); }
    static std::vector<float> Plane(KVUnit3DMirror* unit) {
        const float* p = unit->GetPlane();
        return {p[0], p[1], p[2], p[3]};
    }

    KV3DUnitRig rig;
};

TEST_F(KVUnit3DMirrorTest, TheMirrorObjectTakesSizeTransparencyAndPlacement) {
    KVUnit3DMirror* unit = Mirror();
    void* face = nullptr;
    ASSERT_EQ(unit->QueryInterface(IID_IKVUnit3DMirror, &face), KV_OK);
    EXPECT_EQ(face, static_cast<IKVUnit3DMirror*>(unit));
    KV3DMirror* mirror = Object(unit);
    ASSERT_NE(mirror, nullptr);
    EXPECT_EQ(unit->GetObject3D(), static_cast<IKVObject3D*>(mirror));
    EXPECT_EQ(unit->GetMirrorNumber(), 0);
    EXPECT_EQ(Plane(unit), (std::vector<float>{0, 0, 1, 0}));
    EXPECT_TRUE(std::signbit(unit->GetPlane()[0]));
    EXPECT_EQ(mirror->GetQuad()[3].x, 0.5f);

    rig.Run("M.Size_X = 4\nM.Size_Y = 2\nM.Transparent = false\nM.Position_Z = 7");
    EXPECT_EQ(mirror->GetQuad()[0].x, -2.0f);
    EXPECT_EQ(mirror->GetQuad()[0].z, -1.0f);
    EXPECT_EQ(mirror->GetQuad()[3].x, 2.0f);
    EXPECT_EQ(mirror->GetQuad()[3].z, 1.0f);
    EXPECT_EQ(mirror->GetTransparent(), 0);
    EXPECT_EQ(mirror->GetPosition()[2], 7.0f);
}

TEST_F(KVUnit3DMirrorTest, ThePlaneFollowsPositionAndRotationButNotScale) {
    KVUnit3DMirror* unit = Mirror();
    // Local Y turned onto world X, at (2, 0, 0).
    rig.Run("M.Rotation_Z = " + std::to_string(-kHalfPi) + "\nM.Position_X = 2");
    const std::vector<float> plane = Plane(unit);
    EXPECT_NEAR(plane[0], -2.0f, 1e-6f);
    EXPECT_NEAR(plane[1], 1.0f, 1e-6f);
    EXPECT_NEAR(plane[2], 0.0f, 1e-6f);
    EXPECT_NEAR(plane[3], 0.0f, 1e-6f);
    rig.Run("M.Scale_Y = 3");
    EXPECT_EQ(Plane(unit), plane);
    // A flattened mirror has no normal: the plane stays.
    rig.Run("M.Scale_Y = 0\nM.Position_X = 5");
    EXPECT_EQ(Plane(unit), plane);
}

TEST_F(KVUnit3DMirrorTest, ThePickHitsTheRectangleAsItIsDrawn) {
    KVUnit3DMirror* unit = Mirror();
    rig.Run("M.Size_X = 2\nM.Size_Y = 1\nM.Position_Y = 1");
    struct Case {
        float x, z;
        bool inside;
    };
    // The drawn rectangle spans half the size on each side of the centre.
    const Case cases[] = {{0.9f, 0.4f, true},  {-0.9f, -0.4f, true}, {1.5f, 0.0f, false},
                          {0.0f, 0.9f, false}, {1.5f, 0.9f, false},  {2.5f, 0.0f, false}};
    for (const Case& c : cases) {
        KVTestCameraUnit* camera = rig.Camera({c.x, 5, c.z}, {c.x, -5, c.z});
        EXPECT_EQ(unit->IsPointInside({0, 0}, nullptr, nullptr), c.inside) << c.x << ", " << c.z;
        camera->Release();
    }
    // A ray along the mirror never hits it; without a camera nothing is hit.
    KVTestCameraUnit* camera = rig.Camera({-5, 1, 0}, {5, 1, 0});
    EXPECT_FALSE(unit->IsPointInside({0, 0}, nullptr, camera));
    camera->Release();
    EXPECT_FALSE(unit->IsPointInside({0, 0}, nullptr, nullptr));
    // A turned mirror is hit in its own frame.
    rig.Run("M.Rotation_X = " + std::to_string(kHalfPi));
    camera = rig.Camera({0.9f, 1.4f, 5}, {0.9f, 1.4f, -5});
    EXPECT_TRUE(unit->IsPointInside({0, 0}, nullptr, nullptr));
    camera->Release();
}

TEST_F(KVUnit3DMirrorTest, SizesThatAreNotNumbersOrOutOfMeasureStayBounded) {
    rig.Device().features3D = KVDEVICE_FEATURE_MIRROR;
    KVUnit3DMirror* unit = Mirror();
    KVTestCameraUnit* camera = rig.Camera({0, 5, 0}, {0, -5, 0});
    struct Case {
        const char* size;
        bool hit;
    };
    const Case cases[] = {{"M.Size_X = 0/0\nM.Size_Y = 0/0", false},
                          {"M.Size_X = -3\nM.Size_Y = -3", false},
                          {"M.Size_X = 1/0\nM.Size_Y = 1e38", true}};
    for (const Case& c : cases) {
        rig.Run(c.size);
        KVSceneManager::Instance()->Draw();
        EXPECT_EQ(unit->IsPointInside({0, 0}, nullptr, nullptr), c.hit) << c.size;
    }
    camera->Release();
}

// Textures need the engine's device: a headless screen.
TEST(KVUnit3DMirrorMaskTest, TheMaskIsATextureOfTheImageFile) {
    KV3DUnitRig rig(false, true);
    rig.Host().Dir().WriteFile("assets/mask.png", WritePngArgb(2, 2, {0xFFFFFFFF, 0, 0, 0xFFFFFFFF}));
    auto* unit = rig.Make<KVUnit3DMirror>("Mirror", "M");
    auto* mirror = static_cast<KV3DMirror*>(unit->GetMirror());
    for (const char* path : {"", "ab", "missing.png"}) {
        rig.Run(std::string("M.Mask = '") + path + "'");
        EXPECT_EQ(unit->GetMask(), nullptr) << path;
        EXPECT_EQ(unit->LoadMask(), path[0] == 'm' ? KV_FAILED : KV_OK) << path;
        EXPECT_EQ(mirror->GetEffectiveMaterial().textureCount, 0u);
    }
    rig.Run("M.Mask = 'mask.png'");
    ASSERT_NE(unit->GetMask(), nullptr);
    EXPECT_EQ(mirror->GetEffectiveMaterial().textureCount, 1u);
    // A disabled mirror lets its mask go; enabled again it loads it.
    unit->SetEnabled(false);
    EXPECT_EQ(unit->GetMask(), nullptr);
    unit->SetEnabled(true);
    EXPECT_NE(unit->GetMask(), nullptr);
}

TEST_F(KVUnit3DMirrorTest, PassOneTakesTheMaterialOfTheShaderBothPassesDraw) {
    KVUnit3DMirror* unit = Mirror();
    KV3DMirror* mirror = Object(unit);
    auto* shader = rig.Make<KVTestShaderUnit>("TestShader", "S");
    shader->material.diffuse[0] = 0.25f;
    shader->material.overrideFlags = KV_MATERIAL_DIFFUSE;

    rig.Device().ClearCalls();
    EXPECT_EQ(unit->ApplyUnitShader(0), KV_OK);
    EXPECT_EQ(mirror->GetUserMaterial().overrideFlags, KV_MATERIAL_ALL_FLAGS);
    EXPECT_EQ(rig.Device().Names({"SetMaterial", "DrawIndexed"}),
              (std::vector<std::string>{"SetMaterial", "DrawIndexed"}));
    EXPECT_EQ(rig.Device().CallsOf("SetMaterial")[0].material.colorWrite, 0);  // pass 0 marks the area

    // No shader: the default material.
    EXPECT_EQ(unit->ApplyUnitShader(1), KV_OK);
    EXPECT_EQ(mirror->GetUserMaterial().diffuse[0], 1.0f);
    EXPECT_EQ(mirror->GetUserMaterial().overrideFlags, KV_MATERIAL_ALL_FLAGS);

    // The display base's "Shader" is another attribute.
    unit->GetShaderRef()->SetIndex(shader->GetIndex());
    EXPECT_EQ(unit->ApplyUnitShader(1), KV_OK);
    EXPECT_EQ(mirror->GetUserMaterial().diffuse[0], 1.0f);
    unit->GetMirrorShaderRef()->SetIndex(shader->GetIndex());
    EXPECT_EQ(unit->ApplyUnitShader(1), KV_OK);
    EXPECT_EQ(mirror->GetUserMaterial().diffuse[0], 0.25f);
    EXPECT_EQ(mirror->GetUserMaterial().overrideFlags, KV_MATERIAL_DIFFUSE);

    // A shader that is gone gives the default again.
    shader->Release();
    EXPECT_EQ(unit->ApplyUnitShader(1), KV_OK);
    EXPECT_EQ(mirror->GetUserMaterial().diffuse[0], 1.0f);
    EXPECT_EQ(rig.Device().Count("DrawIndexed"), 5u);
}

TEST_F(KVUnit3DMirrorTest, EachFrameTheMirrorIsNumberedQueuedAndDrawnInTheMirrorPass) {
    rig.Device().features3D = KVDEVICE_FEATURE_MIRROR;
    rig.Camera({0, 0, 10}, {0, 0, -10});
    KVUnit3DMirror* first = Mirror("M1");
    KVUnit3DMirror* second = Mirror("M2");
    rig.Run("M2.Size_X = 3\nM2.Size_Y = 4\nM2.Position_X = 8");
    rig.Device().ClearCalls();
    KVSceneManager& scene = *KVSceneManager::Instance();
    scene.Draw();
    EXPECT_EQ(first->GetMirrorNumber(), 1);
    EXPECT_EQ(second->GetMirrorNumber(), 2);
    EXPECT_EQ(rig.Scene().ListNames(KVSCENE_LIST_MIRRORS), (std::vector<std::string>{"M1", "M2"}));
    bool queued = false;
    for (const KVDrawItem& item : scene.GetDrawQueue())
        if (item.x == 8.0f && item.radius == 5.0f) queued = true;
    EXPECT_TRUE(queued);
    // Two passes of two mirrors: four quads.
    EXPECT_EQ(rig.Device().Count("DrawIndexed"), 4u);

    // Without AutoClipped the mirror is numbered but not queued.
    rig.Run("M2.AutoClipped = false");
    scene.Draw();
    for (const KVDrawItem& item : scene.GetDrawQueue()) EXPECT_NE(item.x, 8.0f);
    EXPECT_EQ(second->GetMirrorNumber(), 2);
}

} // namespace
