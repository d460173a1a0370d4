#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "support/KV3DModuleHarness.h"
#include "units3d/KV3DLight.h"

using namespace kvl;
using kvtest::KV3DModuleHarness;

namespace {

KV3DLight* MakeLight() {
    IKVLight* light = nullptr;
    KV3D::Instance()->CreateLight(&light);
    return static_cast<KV3DLight*>(light);
}

} // namespace

TEST(KV3DLightTest, NewLightHasTheDefaultParameters) {
    KV3DModuleHarness h;
    KV3DLight* light = MakeLight();
    const KV3DLightParams* p = light->GetParams();
    EXPECT_EQ(p->color, 0xFFFFFFFFu);
    EXPECT_EQ(p->specular, 0u);
    EXPECT_EQ(p->ambient, 0u);
    EXPECT_EQ(p->range, 100.0f);
    EXPECT_EQ(p->constantAttenuation, 0.1f);
    EXPECT_EQ(p->linearAttenuation, 0.02f);
    EXPECT_EQ(p->quadraticAttenuation, 0.0f);
    EXPECT_EQ(p->normalMapCaster, 0);
    EXPECT_EQ(p->shadowCaster, 0);
    EXPECT_TRUE(light->IsChanged());
    EXPECT_EQ(KV3D::Instance()->LightCount(), 1u);
    EXPECT_EQ(light->Retain(), 2);
    EXPECT_EQ(light->Release(), 1);
    EXPECT_EQ(light->Release(), 0);
    EXPECT_EQ(KV3D::Instance()->LightCount(), 0u);
}

// A record of exactly 30 bytes is enough (the sanitizer run checks that no
// byte past it is read); the light's spare bytes stay as they were.
TEST(KV3DLightTest, SetParamsCopiesThirtyBytesAndMarksTheLightChanged) {
    KV3DModuleHarness h;
    KV3DLight* light = MakeLight();
    light->ClearChanged();
    KV3DLightParams given;
    given.color = 0x11223344u;
    given.specular = 0x55667788u;
    given.ambient = 0x99AABBCCu;
    given.range = 7.5f;
    given.constantAttenuation = 1.0f;
    given.linearAttenuation = 2.0f;
    given.quadraticAttenuation = 3.0f;
    given.normalMapCaster = 1;
    given.shadowCaster = 1;
    std::unique_ptr<uint8_t[]> bytes(new uint8_t[KV3D_LIGHT_PARAMS_USED]);
    std::memcpy(bytes.get(), &given, KV3D_LIGHT_PARAMS_USED);
    EXPECT_EQ(light->SetParams(reinterpret_cast<const KV3DLightParams*>(bytes.get())), KV_OK);
    EXPECT_TRUE(light->IsChanged());
    EXPECT_EQ(std::memcmp(light->GetParams(), &given, KV3D_LIGHT_PARAMS_USED), 0);
    EXPECT_EQ(light->GetParams()->spare[0], 0);
    EXPECT_EQ(light->GetParams()->spare[1], 0);
    light->Release();
}

TEST(KV3DLightTest, MovingMarksTheLightChangedAndTurningDoesNot) {
    KV3DModuleHarness h;
    const float three[3] = {1.0f, 2.0f, 3.0f};
    float matrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 4, 5, 6, 1};
    const struct {
        const char* what;
        std::function<void(IKVLight*)> change;
        bool changed;
    } cases[] = {
        {"SetPosition", [&](IKVLight* l) { l->SetPosition(three); }, true},
        {"SetMatrix", [&](IKVLight* l) { l->SetMatrix(matrix); }, true},
        {"SetRotation", [&](IKVLight* l) { l->SetRotation(three); }, false},
        {"SetScale", [&](IKVLight* l) { l->SetScale(three); }, false},
    };
    for (const auto& c : cases) {
        KV3DLight* light = MakeLight();
        light->ClearChanged();
        c.change(light);
        EXPECT_EQ(light->IsChanged(), c.changed) << c.what;
        light->Release();
    }
}

// A light released after the module is gone has no list to leave.
TEST(KV3DLightTest, OutlivingTheModuleIsHarmless) {
    KV3DLight* light = nullptr;
    {
        KV3DModuleHarness h;
        light = MakeLight();
    }
    EXPECT_EQ(KV3D::Instance(), nullptr);
    EXPECT_EQ(light->Release(), 0);
}
