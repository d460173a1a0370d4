// Mesh instances drawn through the recording 3D device: which operations
// reach the device, with which arguments, in which order.
#include <gtest/gtest.h>

#include <set>

#include "support/KV3DMeshHarness.h"
#include "support/KV3DTestMath.h"
#include "units/KV3DMath.h"
#include "units3d/KV3D.h"

using namespace kvl;
using kvtest::KV3DMeshHarness;
using kvtest::KV3DWriter;
using kvtest::KV3DWriterMesh;
using kvtest::KVDeviceCall;

namespace {

const std::set<std::string> kDrawCalls = {"SetTransform", "SetVertexData", "SetVertexBuffer", "SetBoneMatrices",
                                          "SetBlendWeight", "SetTextureSlot", "EndTextures", "SetMaterial",
                                          "DrawPart", "EndSubmesh", "DrawLine3D"};

// Submesh "a": an opaque part (material 0, two textures, alpha test on), a
// transparent part (material 1, alpha blend) and a part flagged transparent
// whose material does not blend. Submesh "b": one transparent part.
KV3DWriterMesh TwoPassFile() {
    KV3DWriterMesh file = kvtest::PlainMeshFile({3, 3});
    file.submeshes[0].name = "a";
    file.submeshes[1].name = "b";
    file.materials.resize(2);
    file.materials[0].textures = {"wood.png", "bump.png"};
    file.materials[0].alphaTest = 1;
    file.materials[0].diffuse[0] = 0.1f;
    file.materials[1].alphaBlend = 1;
    kvtest::KV3DWriterPart opaque = file.submeshes[0].parts[0];
    kvtest::KV3DWriterPart blended = opaque;
    blended.material = 1;
    blended.transparent = 1;
    kvtest::KV3DWriterPart flagged = opaque;
    flagged.transparent = 1;
    file.submeshes[0].parts = {opaque, blended, flagged};
    file.submeshes[1].parts = {blended};
    return file;
}

class KV3DMeshDrawTest : public ::testing::Test {
protected:
    KV3DMesh* Make(const KV3DWriterMesh& file, uint32_t flags = 0) {
        h.PutFile("a.kv3d", file);
        KV3DMesh* mesh = h.Create({"a.kv3d"}, flags);
        h.device.ClearCalls();
        return mesh;
    }
    std::vector<std::string> DrawNames() const { return h.device.Names(kDrawCalls); }

    KV3DMeshHarness h;
};

} // namespace

TEST_F(KV3DMeshDrawTest, EachPassDrawsItsOwnParts) {
    KV3DMesh* mesh = Make(TwoPassFile());
    ASSERT_NE(mesh, nullptr);
    const float position[3] = {1.0f, 2.0f, 3.0f};
    mesh->SetPosition(position);
    EXPECT_EQ(mesh->Draw(0), KV_OK);
    const std::vector<std::string> pass0 = {"SetTransform", "SetVertexData", "SetTextureSlot", "SetTextureSlot",
                                            "EndTextures",  "SetMaterial",   "DrawPart",       "SetTextureSlot",
                                            "SetTextureSlot", "EndTextures", "SetMaterial",    "DrawPart",
                                            "EndSubmesh"};
    EXPECT_EQ(DrawNames(), pass0);
    const KV3DData* data = mesh->GetCurrentData();
    const KVDeviceCall world = h.device.CallsOf("SetTransform")[0];
    EXPECT_EQ(world.ints[0], 1);
    EXPECT_EQ(world.floats[13], 2.0f);
    const KVDeviceCall vertices = h.device.CallsOf("SetVertexData")[0];
    EXPECT_EQ(vertices.pointers[0], data->submeshes[0].vertexData);
    EXPECT_EQ(vertices.ints, (std::vector<int64_t>{3, 36, 0}));
    const std::vector<KVDeviceCall> parts = h.device.CallsOf("DrawPart");
    EXPECT_EQ(parts[0].ints[0], 0);
    EXPECT_EQ(parts[0].pointers[0], &data->submeshes[0].parts[0]);
    EXPECT_EQ(parts[1].ints[0], 2);
    const std::vector<KVDeviceCall> materials = h.device.CallsOf("SetMaterial");
    // An opaque part draws without alpha test or blending; one flagged
    // transparent keeps its alpha test.
    EXPECT_EQ(materials[0].material.alphaTest, 0);
    EXPECT_EQ(materials[0].material.alphaBlend, 0);
    EXPECT_FLOAT_EQ(materials[0].material.diffuse[0], 0.1f);
    EXPECT_EQ(materials[0].material.overrideFlags, KV_MATERIAL_FIELD_BITS);
    EXPECT_EQ(materials[0].ints[0], 0);
    EXPECT_EQ(materials[1].material.alphaTest, 1);
    EXPECT_EQ(materials[1].material.zBufferWrite, 1);

    h.device.ClearCalls();
    mesh->Draw(1);
    const std::vector<std::string> pass1 = {"SetTransform", "SetVertexData", "EndTextures", "SetMaterial",
                                            "DrawPart",     "EndSubmesh",    "SetTransform", "SetVertexData",
                                            "EndTextures",  "SetMaterial",   "DrawPart",     "EndSubmesh"};
    EXPECT_EQ(DrawNames(), pass1);
    for (const KVDeviceCall& m : h.device.CallsOf("SetMaterial")) {
        EXPECT_EQ(m.material.alphaBlend, 1);
        EXPECT_EQ(m.material.zBufferWrite, 0);
    }
    EXPECT_EQ(h.device.CallsOf("DrawPart")[0].ints[0], 1);
}

// A file without materials draws every part with the mesh's own record and
// no textures; the mesh's alpha blend decides a flagged part's pass.
TEST_F(KV3DMeshDrawTest, PartsWithoutAMaterialDrawWithTheMeshRecord) {
    KV3DWriterMesh file = TwoPassFile();
    file.materials.clear();
    KV3DMesh* mesh = Make(file);
    ASSERT_NE(mesh, nullptr);
    KV3DMaterial own;
    own.diffuse[0] = 0.25f;
    mesh->SetMaterial(&own);
    for (uint8_t blend : {0, 1}) {
        SCOPED_TRACE("mesh alpha blend " + std::to_string(blend));
        own.alphaBlend = blend;
        mesh->SetMaterial(&own);
        h.device.ClearCalls();
        mesh->Draw(0);
        // Pass 0: the parts of "a" (a submesh of flagged parts only is
        // drawn in pass 1 alone), or the one without the transparent flag.
        const std::vector<KVDeviceCall> parts = h.device.CallsOf("DrawPart");
        ASSERT_EQ(parts.size(), blend ? 1u : 3u);
        EXPECT_TRUE(h.device.CallsOf("SetTextureSlot").empty());
        EXPECT_EQ(h.device.CallsOf("EndTextures").size(), parts.size());
        for (const KVDeviceCall& m : h.device.CallsOf("SetMaterial")) EXPECT_FLOAT_EQ(m.material.diffuse[0], 0.25f);
        h.device.ClearCalls();
        mesh->Draw(1);
        EXPECT_EQ(h.device.CallsOf("DrawPart").size(), blend ? 3u : 0u);
        EXPECT_EQ(mesh->IsTransparent(), blend == 1);
    }
}

TEST_F(KV3DMeshDrawTest, TheMeshMaterialWinsWhereItImposesAField) {
    KV3DMesh* mesh = Make(TwoPassFile());
    ASSERT_NE(mesh, nullptr);
    KV3DMaterial shader;
    shader.diffuse[0] = 0.5f;
    shader.shininess = 9.0f;  // not imposed: the part's value wins
    shader.overrideFlags = KV_MATERIAL_DIFFUSE;
    mesh->SetMaterial(&shader);
    mesh->SetDebugFlags(KVMESH_DEBUG_DRAW_SWITCH);
    mesh->Draw(0);
    const KV3DMaterial m = h.device.CallsOf("SetMaterial")[0].material;
    EXPECT_FLOAT_EQ(m.diffuse[0], 0.5f);
    EXPECT_FLOAT_EQ(m.shininess, 1.0f);
    EXPECT_EQ(m.debugDraw, 1);
}

TEST_F(KV3DMeshDrawTest, TextureOverridesFillTheirSlots) {
    KV3DMesh* mesh = Make(TwoPassFile());
    ASSERT_NE(mesh, nullptr);
    auto* texture = new kvtest::KVRecordedShader("skin");
    mesh->SetTextureOverride(0, 1, texture);
    mesh->SetTextureOverride(1, 0, texture);  // submesh b's parts have no textures
    mesh->Draw(0);
    const std::vector<KVDeviceCall> slots = h.device.CallsOf("SetTextureSlot");
    ASSERT_EQ(slots.size(), 4u);
    EXPECT_EQ(slots[0].ints[0], 0);
    EXPECT_EQ(slots[0].pointers[0], nullptr);
    EXPECT_EQ(slots[1].ints[0], 1);
    EXPECT_EQ(slots[1].pointers[0], static_cast<IKVUnknown*>(texture));
    texture->Release();
}

TEST_F(KV3DMeshDrawTest, SkeletonLinesInPassZeroAndTheOverlayInEveryPass) {
    KV3DData* data = h.AddFile("a.kv3d", TwoPassFile());
    KV3DMeshHarness::AddNode(data, "root", -1, KV3DVector{1, 0, 0});
    KV3DMeshHarness::AddNode(data, "tip", 0, KV3DVector{0, 2, 0});
    KV3DMesh* mesh = h.Create({"a.kv3d"});
    ASSERT_NE(mesh, nullptr);
    mesh->SetDebugFlags(KVMESH_DEBUG_SKELETON | KVMESH_DEBUG_OVERLAY);
    h.device.ClearCalls();
    mesh->Draw(0);
    const std::vector<KVDeviceCall> lines = h.device.CallsOf("DrawLine3D");
    ASSERT_EQ(lines.size(), 25u);  // a cube of 12 edges per node, and the tip's bone
    for (const KVDeviceCall& l : lines) EXPECT_EQ(l.ints[0], int64_t(0xFF0000FF));
    EXPECT_EQ(lines[0].floats, (std::vector<float>{0.9f, -0.1f, -0.1f, 1.1f, -0.1f, -0.1f}));
    EXPECT_EQ(lines[4].floats, (std::vector<float>{0.9f, -0.1f, -0.1f, 0.9f, -0.1f, 0.1f}));
    EXPECT_EQ(lines[24].floats, (std::vector<float>{1, 0, 0, 1, 2, 0}));
    EXPECT_EQ(mesh->GetSkeletonLines().size(), 50u);

    // Pass 0 drew submesh a once with its own material and once with the
    // overlay; submesh b has nothing for pass 0.
    const std::vector<KVDeviceCall> materials = h.device.CallsOf("SetMaterial");
    ASSERT_EQ(materials.size(), 4u);
    const KV3DMaterial& overlay = materials[2].material;
    EXPECT_FLOAT_EQ(overlay.emissive[0], 0.2509804f);
    EXPECT_FLOAT_EQ(overlay.emissive[1], 1.0f);
    EXPECT_FLOAT_EQ(overlay.extraFloat, -0.0005f);
    EXPECT_EQ(overlay.debugDraw, 1);
    EXPECT_EQ(overlay.textureCount, 0u);
    EXPECT_EQ(overlay.overrideFlags, KV_MATERIAL_ALL_FLAGS);
    EXPECT_EQ(mesh->GetMaterial().overrideFlags, 0u);  // restored

    h.device.ClearCalls();
    mesh->Draw(1);
    EXPECT_EQ(h.device.Count("DrawLine3D"), 0u);
    EXPECT_EQ(h.device.Count("EndSubmesh"), 4u);
}

TEST_F(KV3DMeshDrawTest, LightsAreChosenAtTheSphereCentre) {
    h.device.maxLights = 1;
    KV3DData* data = h.AddFile("a.kv3d", TwoPassFile());
    data->sphere[0] = 50.0f;
    IKVLight* nearby = h.NewLight({52.0f, 0.0f, 0.0f}, 3.0f);
    h.NewLight({0.0f, 0.0f, 0.0f}, 3.0f);
    KV3DMesh* mesh = h.Create({"a.kv3d"});
    ASSERT_NE(mesh, nullptr);
    mesh->Draw(0);
    ASSERT_EQ(h.device.lights.size(), 1u);
    EXPECT_EQ(h.device.lights[0], nearby);
}

TEST_F(KV3DMeshDrawTest, CpuSkinnedSubmeshesDrawTheirCopy) {
    KV3DWriterMesh file = KV3DWriter::FullMesh(4);
    KV3DMesh* mesh = Make(file);
    ASSERT_NE(mesh, nullptr);
    ASSERT_TRUE(mesh->GetCurrentData()->submeshes[0].cpuSkinned);
    mesh->Draw(0);
    const KVDeviceCall first = h.device.CallsOf("SetVertexData")[0];
    EXPECT_EQ(first.pointers[0], mesh->GetCpuVertices(0));
    EXPECT_EQ(h.device.Count("SetBoneMatrices"), 0u);
}

TEST_F(KV3DMeshDrawTest, DeviceSkinningGetsOneMatrixPerBone) {
    h.device.caps3D = KVDEVICE_CAPS3D_SKINNING | KVDEVICE_CAPS3D_SKINNING_PAIR;
    KV3DWriterMesh file = kvtest::PlainMeshFile({3});
    kvtest::KV3DWriterSubmesh& s = file.submeshes[0];
    s.weightsPerVertex = 2;
    s.hasJoints = 1;
    s.stride = 48;
    s.vertices = KV3DWriter::PlainVertices(3, 48);
    s.bones.resize(2);
    s.bones[0].inverseBind[12] = -1.0f;
    s.bones[1].node = 1;
    s.bones[1].inverseBind[0] = 2.0f;
    KV3DData* data = h.AddFile("a.kv3d", file);
    KV3DMeshHarness::AddNode(data, "a", -1, KV3DVector{0, 3, 0});
    KV3DMeshHarness::AddNode(data, "b", 0, KV3DVector{0, 3, 0});
    KV3DMesh* mesh = h.Create({"a.kv3d"});
    ASSERT_NE(mesh, nullptr);
    ASSERT_FALSE(data->submeshes[0].cpuSkinned);
    const float position[3] = {10.0f, 0.0f, 0.0f};
    mesh->SetPosition(position);
    h.device.ClearCalls();
    mesh->Draw(0);
    EXPECT_EQ(DrawNames(), (std::vector<std::string>{"SetBoneMatrices", "SetVertexData", "EndTextures", "SetMaterial",
                                                     "DrawPart", "EndSubmesh"}));
    const KVDeviceCall bones = h.device.CallsOf("SetBoneMatrices")[0];
    ASSERT_EQ(bones.ints[0], 2);
    // world × node bind × inverse bind.
    const kvtest::Mat4 b0 = kvtest::MulMat(kvtest::TranslationMat(10, 3, 0), kvtest::TranslationMat(-1, 0, 0));
    const kvtest::Mat4 b1 = kvtest::MulMat(kvtest::TranslationMat(10, 6, 0), kvtest::ScaleMat(2, 1, 1));
    EXPECT_TRUE(kvtest::MatNear(b0.data(), bones.floats.data(), 1e-5f));
    EXPECT_TRUE(kvtest::MatNear(b1.data(), bones.floats.data() + 16, 1e-5f));
}

TEST_F(KV3DMeshDrawTest, TheDeviceGetsOnlyPositiveBlendWeights) {
    h.device.caps3D = KVDEVICE_CAPS3D_BLEND_SHAPES;
    h.device.makeBuffers = true;
    KV3DWriterMesh file = kvtest::PlainMeshFile({3});
    file.blendShapeNames = {"smile", "frown", "wink"};
    for (uint32_t n = 0; n < 3; ++n) {
        kvtest::KV3DWriterBlendShape shape;
        shape.nameIndex = n;
        shape.offsets.assign(8 * 3, 0.5f);
        file.submeshes[0].shapes.push_back(shape);
    }
    KV3DMesh* mesh = Make(file);
    ASSERT_NE(mesh, nullptr);
    const KV3DSubmesh& s = mesh->GetCurrentData()->submeshes[0];
    ASSERT_FALSE(s.cpuMorphed);
    mesh->Draw(0);
    EXPECT_EQ(h.device.Count("SetBlendWeight"), 0u);
    EXPECT_EQ(mesh->SetBlendShapeWeight("frown", 0.5f), KV_OK);
    EXPECT_EQ(mesh->SetBlendShapeWeight("wink", -0.25f), KV_OK);
    h.device.ClearCalls();
    mesh->Draw(0);
    const std::vector<std::string> names = DrawNames();
    ASSERT_GE(names.size(), 3u);
    EXPECT_EQ(names[1], "SetBlendWeight");
    EXPECT_EQ(names[2], "SetVertexData");
    const std::vector<KVDeviceCall> weights = h.device.CallsOf("SetBlendWeight");
    ASSERT_EQ(weights.size(), 1u);
    EXPECT_FLOAT_EQ(weights[0].floats[0], 0.5f);
    EXPECT_EQ(weights[0].pointers[0], s.blendShapes[1].buffer);
}
