// Light, Fog, Curve, Mirror and ParticleEmitter units read from a scene file: the
// class and attribute ids their values are stored under, and what the
// values do once the units are enabled.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kernel/KVModules.h"
#include "support/KVRecording3DDevice.h"
#include "support/KVSceneUnitsWriter.h"
#include "support/KVTestSceneGame.h"
#include "units3d/IKVLight.h"
#include "units3d/KV3DInterface.h"
#include "units3d/KV3DMirror.h"
#include "units3d/KVUnit3DFog.h"
#include "units3d/KVUnit3DMirror.h"
#include "units3d/KVUnitCurve.h"
#include "units3d/KVUnitLight.h"
#include "units3d/KVUnitParticleEmitter.h"

using namespace kvl;
using namespace kvtest;

namespace {

constexpr uint32_t kColor = 8, kF32 = 1, kBoolean = 7;

// One unit of the class with its own values after those of "Unit".
void AddUnit(KVSceneUnitsWriter& units, int32_t base, uint64_t classId, const char* className, const char* name,
             uint64_t uid, const std::vector<std::pair<KVSceneAttributeSpec, Bytes>>& values) {
    KVSceneClassSpec recipe;
    recipe.classId = classId;
    recipe.name = className;
    recipe.baseEntry = base;
    std::vector<Bytes> stored = KVSceneUnitsWriter::UnitValues(name, uid);
    for (const auto& [attribute, value] : values) {
        recipe.attributes.push_back(attribute);
        stored.push_back(value);
    }
    units.AddUnit(units.AddClass(recipe), stored);
}

TEST(KV3DUnitScenesTest, StoredValuesReachTheUnitsAndTheirObjects) {
    KVTestSceneGame game;
    KVSceneUnitsWriter units;
    const int32_t base = units.AddClass(KVSceneUnitsWriter::UnitClass());
    AddUnit(units, base, KVUnit3DFog::kClassId, "Fog", "Mist", 0x601,
            {{{KVUnit3DFog::kFogColorId, kColor, 1}, KVStored::U32(0x00112233)},
             {{KVUnit3DFog::kFogStartId, kF32, 1}, KVStored::F32(3.0f)},
             {{KVUnit3DFog::kFogEndId, kF32, 1}, KVStored::F32(30.0f)}});
    AddUnit(units, base, KVUnitLight::kClassId, "Light", "Lamp", 0x602,
            {{{KVUnitLight::kColorId, kColor, 1}, KVStored::U32(0x00FF8800)},
             {{KVUnitLight::kRangeId, kF32, 1}, KVStored::F32(9.0f)},
             {{KVUnitLight::kAttenuationConstantId, kF32, 1}, KVStored::F32(50.0f)},
             {{KVUnitLight::kNormalmapCasterId, kBoolean, 1}, KVStored::Bool(true)}});
    AddUnit(units, base, KVUnit3DMirror::kClassId, "Mirror", "Glass", 0x603,
            {{{KVUnit3DMirror::kSizeId, kF32, 2}, KVStored::Concat({KVStored::F32(4.0f), KVStored::F32(2.0f)})},
             {{KVUnit3DMirror::kTransparentId, kBoolean, 1}, KVStored::Bool(false)}});
    AddUnit(units, base, KVUnitParticleEmitter::kClassId, "ParticleEmitter", "Sparks", 0x604,
            {{{KVUnitParticleEmitter::kPartsPerSecId, kF32, 1}, KVStored::F32(40.0f)},
             {{KVUnitParticleEmitter::kAutoplayId, kBoolean, 1}, KVStored::Bool(false)}});
    // A curve stands in a scene without values of its own; its curve object
    // only ever comes from a mesh.
    AddUnit(units, base, KVUnitCurve::kClassId, "Curve", "Path", 0x605, {});
    game.AddScene("scenes/room.kvl", units.Scene(0x20004, KVTestSceneGame::kProjectId));
    KVModules::Instance()->RegisterModule(&KVRecording3DDevice::Create);
    KVModules::Instance()->RegisterModule(&Create3DInterface);
    KV3DInterface::Instance()->Init(1);  // the core had passed phase 1
    ASSERT_EQ(game.Load(), 0);
    EXPECT_TRUE(game.Errors().empty()) << game.Errors()[0];

    // The fog applies when the unit is enabled.
    bool fogged = false;
    for (const KVDeviceCall& c : KVRecording3DDevice::instance->CallsOf("SetFog"))
        if (c.ints[0] == 0x00112233 && c.floats == std::vector<float>{3.0f, 30.0f}) fogged = true;
    EXPECT_TRUE(fogged);

    auto* lamp = dynamic_cast<KVUnitLight*>(game.Find("Lamp"));
    ASSERT_NE(lamp, nullptr);
    ASSERT_NE(lamp->GetLight(), nullptr);
    const KV3DLightParams* params = lamp->GetLight()->GetParams();
    EXPECT_EQ(params->color, 0x00FF8800u);
    EXPECT_EQ(params->range, 9.0f);
    EXPECT_FLOAT_EQ(params->constantAttenuation, 0.5f);
    EXPECT_EQ(params->normalMapCaster, 1);

    auto* glass = dynamic_cast<KVUnit3DMirror*>(game.Find("Glass"));
    ASSERT_NE(glass, nullptr);
    auto* mirror = static_cast<KV3DMirror*>(glass->GetMirror());
    ASSERT_NE(mirror, nullptr);
    EXPECT_EQ(mirror->GetQuad()[3].x, 2.0f);
    EXPECT_EQ(mirror->GetQuad()[3].z, 1.0f);
    EXPECT_EQ(mirror->GetTransparent(), 0);

    auto* sparks = dynamic_cast<KVUnitParticleEmitter*>(game.Find("Sparks"));
    ASSERT_NE(sparks, nullptr);
    EXPECT_FALSE(sparks->IsEmitting());
    EXPECT_EQ(game.Eval("Sparks.PartsPerSec"), "40");

    auto* path = dynamic_cast<KVUnitCurve*>(game.Find("Path"));
    ASSERT_NE(path, nullptr);
    EXPECT_TRUE(path->IsEnabled());
    EXPECT_TRUE(path->IsDrawable());
    EXPECT_EQ(path->GetCurve(), nullptr);
    KVRecording3DDevice::instance->ClearCalls();
    path->Draw();
    EXPECT_EQ(KVRecording3DDevice::instance->Count("DrawLine3D"), 0u);
}

} // namespace
