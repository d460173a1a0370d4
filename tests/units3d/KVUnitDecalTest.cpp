// The "Decal" unit in a whole core on a headless screen (textures need the
// engine's device) with the recording 3D device: its quad, colour,
// textures, the embeddable sprite's texture, the shader's material and
// picking.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "graphics/KVGraphic.h"
#include "kernel/KVProperties.h"
#include "support/KV3DUnitRig.h"
#include "support/KVPngWriter.h"
#include "units/IKVUnitRef.h"
#include "units/KVSceneManager.h"
#include "units2d/KVUnitEmbeddable.h"
#include "units3d/KVUnitDecal.h"
#include "units3d/KVUnitShader.h"

using namespace kvl;
using namespace kvtest;
using ::testing::ElementsAre;

namespace {

class KVUnitDecalTest : public ::testing::Test {
protected:
    void SetUp() override {
        rig.Host().Dir().WriteFile("assets/a.png", WritePngArgb(2, 2, {0xFFFFFFFF, 0, 0, 0xFFFFFFFF}));
        rig.Host().Dir().WriteFile("assets/b.png", WritePngArgb(1, 1, {0xFF00FF00}));
        decal = rig.Make<KVUnitDecal>("Decal", "D", {"OnError"});
        ASSERT_NE(decal, nullptr);
    }
    KVDeviceCall Only(const char* name) {
        const std::vector<KVDeviceCall> calls = rig.Device().CallsOf(name);
        EXPECT_EQ(calls.size(), 1u) << name;
        return calls.empty() ? KVDeviceCall() : calls[0];
    }

    KV3DUnitRig rig{false, true};
    KVUnitDecal* decal = nullptr;
};

TEST_F(KVUnitDecalTest, TheQuadTakesTheColourOnEveryCornerAndTheWorldMatrix) {
    rig.Run("D.Color = 0x7FFF0000");
    decal->SetPosition({1, 2, 3});
    rig.Device().ClearCalls();
    decal->Draw();
    const KVDeviceCall vertices = Only("SetVertexData");
    ASSERT_EQ(vertices.bytes.size(), 4u * 36u);
    for (int i = 0; i < 4; ++i) {
        uint32_t color = 0;
        std::memcpy(&color, &vertices.bytes[size_t(i) * 36 + 24], 4);
        EXPECT_EQ(color, 0x7FFF0000u) << i;
    }
    const KVDeviceCall world = Only("SetTransform");
    EXPECT_EQ(world.ints[0], 1);
    EXPECT_EQ(world.floats[12], 1.0f);
    EXPECT_EQ(world.floats[14], 3.0f);
    const KVDeviceCall draw = Only("DrawIndexed");
    // Right-handed by default: the second winding.
    EXPECT_THAT(draw.ints, ElementsAre(0, 2, 1, 0, 3, 2));
    const uint16_t* indices = decal->GetQuadIndices();
    EXPECT_EQ(std::vector<uint16_t>(indices, indices + 6), (std::vector<uint16_t>{0, 2, 1, 0, 3, 2}));
    const KVDeviceCall material = Only("SetMaterial");
    EXPECT_EQ(material.material.backfaceCulling, 0u);
    EXPECT_EQ(material.material.alphaBlend, 1u);
    EXPECT_EQ(material.material.overrideFlags, 0u);
}

TEST_F(KVUnitDecalTest, AShaderOverridingAlphaBlendChangesThatFieldAlone) {
    auto* shader = rig.Make<KVUnitShader>("Shader", "Sh");
    rig.Run("Sh.AlphaBlend = false");
    const int32_t active = rig.Factory().FindAttributeIndex(shader->GetClassIndex(), "Active");
    // Only AlphaBlend (the twelfth sub-flag) active.
    for (int32_t bit = 0; bit < 21; ++bit)
        rig.Factory().SetAttributeText(shader->GetIndex(), active, bit, bit == 11 ? "true" : "false", false);
    ASSERT_EQ(shader->GetMaterial()->overrideFlags, uint32_t(KV_MATERIAL_ALPHA_BLEND));
    decal->GetDecalShaderRef()->SetIndex(shader->GetIndex());
    rig.Device().ClearCalls();
    decal->Draw();
    const KV3DMaterial m = Only("SetMaterial").material;
    EXPECT_EQ(m.alphaBlend, 0u);
    EXPECT_EQ(m.backfaceCulling, 0u);
    EXPECT_EQ(m.alphaTest, 1u);
    EXPECT_EQ(m.lighting, 0u);
    EXPECT_EQ(m.overrideFlags & ~shader->GetMaterial()->overrideFlags, 0u);
}

TEST_F(KVUnitDecalTest, OwnTexturesGoToTheirStagesUnlessAnEmbeddableSpriteIsLinked) {
    rig.Run("D.Textures = 'a.png|missing.png|b.png'");
    EXPECT_THAT(rig.Take(), ElementsAre("D:OnError 0"));
    ASSERT_EQ(decal->GetTextures().size(), 3u);
    EXPECT_NE(decal->GetTextures()[0], nullptr);
    EXPECT_EQ(decal->GetTextures()[1], nullptr);
    EXPECT_NE(decal->GetTextures()[2], nullptr);
    KVGraphic* graphic = KVGraphic::Instance();
    decal->Draw();
    EXPECT_EQ(graphic->GetStageTexture(0), decal->GetTextures()[0]);
    EXPECT_EQ(graphic->GetStageTexture(2), decal->GetTextures()[2]);

    auto* sprite = rig.Make<KVUnitEmbeddable>("Embeddable", "E");
    const KVDeviceSize size{4, 4};
    ASSERT_EQ(sprite->CreateOwnTexture(&size, true, 259), KV_OK);
    ASSERT_NE(sprite->GetEmbeddedTexture(), nullptr);
    rig.Run("D.TextureSprite = E");
    decal->Draw();
    EXPECT_EQ(graphic->GetStageTexture(0), sprite->GetEmbeddedTexture());
    EXPECT_EQ(graphic->GetStageTexture(2), nullptr);
    // Shown here, the sprite is not drawn on screen; closed, the decal lets
    // it be drawn again.
    bool shown = false;
    sprite->QueryVisible(&shown, 0);
    EXPECT_FALSE(shown);
    decal->Release();
    decal = nullptr;
    sprite->QueryVisible(&shown, 0);
    EXPECT_TRUE(shown);

    // Written while disabled, the list empties.
    auto* other = rig.Make<KVUnitDecal>("Decal", "D2");
    rig.Run("D2.Textures = 'a.png'");
    ASSERT_EQ(other->GetTextures().size(), 1u);
    other->SetEnabled(false);
    rig.Run("D2.Textures = 'b.png'");
    EXPECT_TRUE(other->GetTextures().empty());
}

TEST_F(KVUnitDecalTest, PicksInsideTheSquareOnlyAndReportsTheHitWithoutADistance) {
    float depth = -1.0f;
    EXPECT_FALSE(decal->IsPointInside({0, 0}, &depth, nullptr));
    struct Case {
        float x, z;
        bool hit;
    };
    for (const Case& c : {Case{0.99f, -0.99f, true}, Case{1.01f, 0.0f, false}, Case{0.0f, -1.01f, false},
                          Case{-0.5f, 0.5f, true}}) {
        KVTestCameraUnit* camera = rig.Camera({c.x, 5, c.z}, {c.x, -5, c.z}, {c.x, 5, c.z});
        EXPECT_EQ(decal->IsPointInside({0, 0}, &depth, camera), c.hit) << c.x << " " << c.z;
        if (c.hit) {
            EXPECT_FLOAT_EQ(depth, 5.0f);
        }
        EXPECT_EQ(decal->IsPointInside({0, 0}, nullptr, camera), c.hit) << c.x << " " << c.z;
        camera->Release();
    }
    // A flattened square cannot be turned back: no hit.
    decal->SetScale({1, 0, 1});
    KVTestCameraUnit* camera = rig.Camera({0, 5, 0}, {0, -5, 0});
    EXPECT_FALSE(decal->IsPointInside({0, 0}, &depth, camera));
    camera->Release();
}

// The scene's handedness at the first decal of a run winds every decal of
// that run; a later change of "RightHanded" winds none the other way. Each
// run (each rig) chooses afresh, whatever an earlier one chose.
TEST(KVUnitDecalWinding, TheFirstDecalOfARunFixesTheWindingOfEveryDecal) {
    for (bool rightHanded : {false, true}) {
        SCOPED_TRACE(rightHanded ? "right-handed" : "left-handed");
        KV3DUnitRig rig{false, true};
        ASSERT_EQ(KVProperties::Instance()->SetBooleanById(KVSceneManager::kRightHandedId, rightHanded), KV_OK);
        auto* first = rig.Make<KVUnitDecal>("Decal", "A");
        ASSERT_EQ(KVProperties::Instance()->SetBooleanById(KVSceneManager::kRightHandedId, !rightHanded), KV_OK);
        auto* second = rig.Make<KVUnitDecal>("Decal", "B");
        ASSERT_NE(first, nullptr);
        ASSERT_NE(second, nullptr);
        for (KVUnitDecal* decal : {first, second}) {
            rig.Device().ClearCalls();
            decal->Draw();
            const std::vector<KVDeviceCall> draws = rig.Device().CallsOf("DrawIndexed");
            ASSERT_EQ(draws.size(), 1u);
            if (rightHanded)
                EXPECT_THAT(draws[0].ints, ElementsAre(0, 2, 1, 0, 3, 2));
            else
                EXPECT_THAT(draws[0].ints, ElementsAre(0, 1, 2, 0, 2, 3));
        }
    }
}

} // namespace
