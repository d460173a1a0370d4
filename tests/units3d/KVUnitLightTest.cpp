// The "Light" unit in a whole core: its record and the factors derived from
// the Attenuation values, the light object made on enable and let go on
// disable, the record of mesh data, the editor cross and the editor pick.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "kernel/KVCore.h"
#include "support/KV3DUnitRig.h"
#include "units3d/IKVLight.h"
#include "units3d/KV3D.h"
#include "units3d/KVUnitLight.h"

using namespace kvl;
using namespace kvtest;

namespace {

class KVUnitLightTest : public ::testing::Test {
protected:
    explicit KVUnitLightTest(bool editorMode = false) : rig(editorMode) {}

    KVUnitLight* Light(const std::string& name = "L") { return rig.Make<KVUnitLight>("Light", name); }
    static KV3D& Module() { return *KV3D::Instance(); }

    KV3DUnitRig rig;
};

class KVUnitLightEditorTest : public KVUnitLightTest {
protected:
    KVUnitLightEditorTest() : KVUnitLightTest(true) {}
};

TEST_F(KVUnitLightTest, DefaultsAndTheFactorsOfTheAttenuationValues) {
    KVUnitLight* light = Light();
    const KV3DLightParams& r = light->GetRecord();
    EXPECT_EQ(r.color, 0x00FFFFFFu);
    EXPECT_EQ(r.specular, 0x00FFFFFFu);
    EXPECT_EQ(r.ambient, 0u);
    EXPECT_EQ(r.range, 100.0f);
    EXPECT_FLOAT_EQ(r.constantAttenuation, 0.1f);
    EXPECT_FLOAT_EQ(r.linearAttenuation, 0.02f);
    EXPECT_EQ(r.quadraticAttenuation, 0.0f);
    EXPECT_EQ(r.normalMapCaster, 0);
    EXPECT_EQ(r.shadowCaster, 0);

    struct Case {
        const char* attribute;
        float value;
        float KV3DLightParams::*factor;
        float expected;
    };
    const Case cases[] = {
        {"AttenuationConstant", 50.0f, &KV3DLightParams::constantAttenuation, 0.5f},
        {"AttenuationDistance", 5.0f, &KV3DLightParams::linearAttenuation, 0.1f},
        {"AttenuationDistanceSquare", 5.0f, &KV3DLightParams::quadraticAttenuation, 0.1f},
    };
    for (const Case& c : cases) {
        rig.Run(std::string("L.") + c.attribute + " = " + std::to_string(c.value));
        EXPECT_FLOAT_EQ(r.*c.factor, c.expected) << c.attribute;
        // The light object has the same record.
        ASSERT_NE(light->GetLight(), nullptr);
        EXPECT_FLOAT_EQ(light->GetLight()->GetParams()->*c.factor, c.expected) << c.attribute;
    }
    rig.Run("L.Color = 0x112233\nL.Range = 7\nL.ShadowCaster = true\nL.NormalmapCaster = true\nL.Ambient = 5\n"
            "L.Specular = 6");
    const KV3DLightParams* pushed = light->GetLight()->GetParams();
    EXPECT_EQ(pushed->color, 0x112233u);
    EXPECT_EQ(pushed->range, 7.0f);
    EXPECT_EQ(pushed->shadowCaster, 1);
    EXPECT_EQ(pushed->normalMapCaster, 1);
    EXPECT_EQ(pushed->ambient, 5u);
    EXPECT_EQ(pushed->specular, 6u);
}

TEST_F(KVUnitLightTest, AColourSetWhileDisabledReachesTheLightMadeOnEnable) {
    KVUnitLight* light = Light();
    rig.Run("L.Position_X = 3\nL.Position_Y = 4");
    ASSERT_NE(light->GetLight(), nullptr);
    EXPECT_EQ(Module().LightCount(), 1u);
    light->SetEnabled(false);
    EXPECT_EQ(light->GetLight(), nullptr);
    EXPECT_EQ(light->GetObject3D(), nullptr);
    EXPECT_EQ(Module().LightCount(), 0u);

    rig.Run("L.Color = 0xFF0000\nL.AttenuationConstant = 20");
    EXPECT_EQ(Module().LightCount(), 0u);
    light->SetEnabled(true);
    IKVLight* object = light->GetLight();
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(light->GetObject3D(), static_cast<IKVObject3D*>(object));
    EXPECT_EQ(Module().LightCount(), 1u);
    EXPECT_EQ(object->GetParams()->color, 0xFF0000u);
    EXPECT_FLOAT_EQ(object->GetParams()->constantAttenuation, 0.2f);
    EXPECT_EQ(object->GetPosition()[0], 3.0f);
    EXPECT_EQ(object->GetPosition()[1], 4.0f);

    // Closing lets the object go.
    light->Release();
    EXPECT_EQ(Module().LightCount(), 0u);
}

// Enabled again from its own "OnDisable", the unit passes through its
// enable hook twice in a row: one light object all the same.
TEST_F(KVUnitLightTest, EnabledAgainWhileDisablingKeepsOneLightObject) {
    KVUnitLight* light = Light();
    rig.Run("function L.OnDisable() L.Enabled = true end");
    IKVLight* before = light->GetLight();
    ASSERT_NE(before, nullptr);
    light->SetEnabled(false);
    EXPECT_TRUE(light->IsEnabled());
    EXPECT_EQ(light->GetLight(), before);
    EXPECT_EQ(Module().LightCount(), 1u);
}

TEST_F(KVUnitLightTest, TheRecordOfMeshDataLeavesTheAttenuationValues) {
    KVUnitLight* light = Light();
    KV3DLightParams record;
    record.color = 0x123456;
    record.specular = 0x654321;
    record.ambient = 0x111111;
    record.range = 12.0f;
    record.constantAttenuation = 1.0f;
    record.linearAttenuation = 2.0f;
    record.quadraticAttenuation = 3.0f;
    record.normalMapCaster = 1;
    record.shadowCaster = 1;
    light->SetLightRecord(record);
    const KV3DLightParams* pushed = light->GetLight()->GetParams();
    EXPECT_EQ(pushed->color, 0x123456u);
    EXPECT_EQ(pushed->specular, 0x654321u);
    EXPECT_EQ(pushed->ambient, 0x111111u);
    EXPECT_EQ(pushed->range, 12.0f);
    EXPECT_EQ(pushed->quadraticAttenuation, 3.0f);
    // The caster flags are not part of mesh data.
    EXPECT_EQ(pushed->normalMapCaster, 0);
    EXPECT_EQ(pushed->shadowCaster, 0);
    EXPECT_EQ(rig.Host().Evaluate("L.AttenuationConstant"), std::vector<std::string>{"10"});
}

TEST_F(KVUnitLightTest, OutsideEditorModeNothingIsDrawnOrPicked) {
    KVUnitLight* light = Light();
    rig.Camera({0, 0, 10}, {0, 0, -10});
    EXPECT_FALSE(light->IsDrawable());
    rig.Device().ClearCalls();
    light->Draw();
    EXPECT_EQ(rig.Device().Count("DrawLine3D"), 0u);
    float depth = -1.0f;
    EXPECT_FALSE(light->IsPointInside({5, 5}, &depth, nullptr));
    EXPECT_EQ(depth, -1.0f);
}

TEST_F(KVUnitLightEditorTest, TheEditorCrossIsThreeLinesThroughThePosition) {
    KVUnitLight* light = Light();
    EXPECT_TRUE(light->IsDrawable());
    rig.Run("L.Position_X = 1\nL.Position_Y = 2\nL.Position_Z = 3");
    rig.Device().ClearCalls();
    light->Draw();
    EXPECT_EQ(rig.Device().Names(), (std::vector<std::string>{"SetTransform", "DrawLine3D", "DrawLine3D", "DrawLine3D"}));
    const KVDeviceCall transform = rig.Device().CallsOf("SetTransform")[0];
    EXPECT_EQ(transform.ints, (std::vector<int64_t>{1}));
    EXPECT_EQ(transform.floats, (std::vector<float>{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}));
    const std::vector<std::vector<float>> lines = {{0, 2, 3, 2, 2, 3}, {1, 1, 3, 1, 3, 3}, {1, 2, 2, 1, 2, 4}};
    const std::vector<KVDeviceCall> drawn = rig.Device().CallsOf("DrawLine3D");
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(drawn[i].floats, lines[i]) << i;
        EXPECT_EQ(drawn[i].ints, (std::vector<int64_t>{0xFFFFFF, 0}));
    }
}

TEST_F(KVUnitLightEditorTest, ThePickHitsTheCubeAroundThePositionAndGivesTheDistanceToTheHit) {
    KVUnitLight* light = Light();
    rig.Run("L.Position_X = 5\nL.Position_Y = -2\nL.Position_Z = 1");
    struct Case {
        KV3DVector origin, farPoint;
        bool hit;
        float distance;
    };
    const Case cases[] = {
        // Along z through Position + (0.9, 0, 0): enters the cube at z = 2.
        {{5.9f, -2, 11}, {5.9f, -2, -9}, true, 9.0f},
        // Parallel to x through Position + (0, 1.1, 0).
        {{-10, -0.9f, 1}, {20, -0.9f, 1}, false, 0},
        // Starting inside the cube.
        {{5, -2, 1}, {5, -2, 100}, true, 0.0f},
        // Ending before the cube.
        {{5, -2, 20}, {5, -2, 2.5f}, false, 0},
        // Diagonal through the centre: enters at the corner (4, -3, 0).
        {{0, -7, -4}, {10, 3, 6}, true, std::sqrt(48.0f)},
    };
    for (const Case& c : cases) {
        KVTestCameraUnit* camera = rig.Camera(c.origin, c.farPoint);
        float depth = -1.0f;
        EXPECT_EQ(light->IsPointInside({1, 2}, &depth, nullptr), c.hit);
        if (c.hit) {
            EXPECT_NEAR(depth, c.distance, 1e-4f);
        }
        EXPECT_EQ(camera->lastPickPoint.x, 1);
        // The camera given is the one asked.
        EXPECT_EQ(light->IsPointInside({3, 4}, nullptr, camera), c.hit);
        EXPECT_EQ(camera->lastPickPoint.y, 4);
        camera->Release();
    }
    // Without a camera nothing is picked.
    EXPECT_FALSE(light->IsPointInside({1, 2}, nullptr, nullptr));
}

TEST_F(KVUnitLightEditorTest, WhileTheGameRunsTheLightIsDrawnButNotPicked) {
    KVUnitLight* light = Light();
    rig.Camera({0, 0, 10}, {0, 0, -10});
    EXPECT_TRUE(light->IsPointInside({0, 0}, nullptr, nullptr));
    KVCore::Instance()->SetActive(1);
    EXPECT_FALSE(light->IsPointInside({0, 0}, nullptr, nullptr));
    rig.Device().ClearCalls();
    light->Draw();
    EXPECT_EQ(rig.Device().Count("DrawLine3D"), 3u);
}

TEST_F(KVUnitLightEditorTest, ValuesThatAreNotNumbersStayFloats) {
    KVUnitLight* light = Light();
    rig.Run("L.Range = 0/0\nL.AttenuationConstant = -1e38\nL.AttenuationDistance = 1/0\n"
            "L.AttenuationDistanceSquare = 0/0\nL.Position_X = 0/0");
    EXPECT_TRUE(std::isnan(light->GetRecord().range));
    EXPECT_TRUE(std::isnan(light->GetRecord().quadraticAttenuation));
    EXPECT_TRUE(std::isinf(light->GetRecord().linearAttenuation));
    rig.Device().maxLights = 2;
    const float point[3] = {0, 0, 0};
    Module().SelectLights(point);
    for (IKVLight* slot : rig.Device().lights) EXPECT_EQ(slot, nullptr);
    rig.Camera({0, 0, 10}, {0, 0, -10});
    EXPECT_FALSE(light->IsPointInside({0, 0}, nullptr, nullptr));
    light->Draw();
}

} // namespace
