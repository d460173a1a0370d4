// Mesh instances: loading from a path list, records, material, texture
// overrides, bounds and the index, vertex and neighbour lists.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <utility>

#include "support/KV3DMeshHarness.h"
#include "support/KV3DTestMath.h"
#include "units/KV3DMath.h"
#include "units3d/KV3D.h"
#include "units3d/KV3DDataProducer.h"

using namespace kvl;
using kvtest::KV3DMeshHarness;
using kvtest::KV3DWriterMesh;
using kvtest::KV3DWriter;

namespace {

// 36-byte vertices at the given positions (normal +z).
std::vector<uint8_t> VerticesAt(const std::vector<std::array<float, 3>>& positions) {
    std::vector<uint8_t> bytes(positions.size() * 36, 0);
    for (size_t i = 0; i < positions.size(); ++i) {
        KV3DVertex v;
        v.x = positions[i][0];
        v.y = positions[i][1];
        v.z = positions[i][2];
        v.nz = 1.0f;
        std::memcpy(bytes.data() + 36 * i, &v, 36);
    }
    return bytes;
}

// Plain 36-byte vertices moved to another stride: cut after position,
// normal and colour, or padded.
std::vector<uint8_t> WithStride(const std::vector<uint8_t>& plain, uint32_t stride) {
    const size_t count = plain.size() / 36;
    std::vector<uint8_t> out(count * stride, 0);
    for (size_t i = 0; i < count; ++i) std::memcpy(out.data() + i * stride, plain.data() + 36 * i, std::min<size_t>(36, stride));
    return out;
}

KV3DWriterMesh AnimationOnlyFile() {
    KV3DWriterMesh mesh;
    mesh.hasAnimation = true;
    mesh.animation.rate = 10;
    mesh.animation.frames = 20;
    mesh.animation.entries = {kvtest::TranslationChannel(2, "s0", {0, 10}, {0, 1})};
    mesh.animation.firstCount = 1;
    return mesh;
}

// A counted object standing in for a texture.
class CountedTexture : public KVRefCounted<IKVUnknownRef> {
public:
    CountedTexture() { ++live; }
    int32_t Count() {
        Retain();
        return Release();
    }
    static inline int live = 0;

private:
    ~CountedTexture() override { --live; }
};

} // namespace

TEST(KV3DMeshTest, TheFirstFileWithGeometryIsCurrentAndEveryFileWithChannelsAnimates) {
    KV3DMeshHarness h;
    h.PutFile("walk.kv3d", AnimationOnlyFile());
    KV3DWriterMesh body = kvtest::PlainMeshFile({3, 3});
    body.hasAnimation = true;
    body.animation = AnimationOnlyFile().animation;
    body.animation.frames = 40;
    h.PutFile("body.kv3d", body);
    KV3DMesh* mesh = h.Create({"walk.kv3d", "missing.kv3d", "body.kv3d"});
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(mesh->GetCurrentData()->GetPath(), "body.kv3d");
    ASSERT_EQ(mesh->GetAnimationCount(), 2);
    KV3DAnimationInfo info;
    ASSERT_EQ(mesh->GetAnimationInfo(0, &info), KV_OK);
    EXPECT_EQ(info.path, "walk.kv3d");
    EXPECT_EQ(info.name, "walk");
    EXPECT_FLOAT_EQ(info.length, 2.0f);
    ASSERT_EQ(mesh->GetAnimationInfo(1, &info), KV_OK);
    EXPECT_EQ(info.name, "body");
    EXPECT_FLOAT_EQ(info.length, 4.0f);
    EXPECT_EQ(info.index, 1);
    EXPECT_EQ(mesh->GetAnimationInfo(2, &info), KV_FAILED);
    EXPECT_TRUE(mesh->IsAnimatable());
    EXPECT_TRUE(mesh->HasSubmeshAnimation());
    // A fresh instance: its parts draw with their own materials.
    EXPECT_EQ(mesh->GetMaterial().overrideFlags, 0u);
    EXPECT_FLOAT_EQ(mesh->GetCustomValue(), 1.0f);
}

TEST(KV3DMeshTest, NoFileWithGeometryFailsAndKeepsNothing) {
    KV3DMeshHarness h;
    h.PutFile("walk.kv3d", AnimationOnlyFile());
    for (const std::vector<std::string>& paths :
         {std::vector<std::string>{}, {"missing.kv3d"}, {"walk.kv3d"}, {"walk.kv3d", "missing.kv3d"}}) {
        IKVMesh* out = reinterpret_cast<IKVMesh*>(&h);
        EXPECT_EQ(h.Factory()->CreateMesh(paths, &out, 0), KV_FAILED);
        EXPECT_EQ(out, nullptr);
    }
    // The animation file's data went with the failed instance.
    EXPECT_EQ(h.resources.FindLoaded("walk.kv3d"), nullptr);
}

TEST(KV3DMeshTest, ChannelsThatNameNothingAreReported) {
    KV3DMeshHarness h;
    KV3DWriterMesh file = kvtest::PlainMeshFile({3});
    file.hasAnimation = true;
    file.animation.frames = 10;
    file.animation.entries = {kvtest::TranslationChannel(0, "hip", {0}, {1}),
                              kvtest::TranslationChannel(2, "lid", {0}, {1})};
    file.animation.firstCount = 2;
    h.PutFile("a.kv3d", file);
    ASSERT_NE(h.Create({"a.kv3d"}), nullptr);
    EXPECT_TRUE(h.log.Contains("Animation joint hip not found in mesh a.kv3d", KVLOG_WARNING));
    EXPECT_TRUE(h.log.Contains("Submesh lid not found in mesh a.kv3d", KVLOG_WARNING));
}

TEST(KV3DMeshTest, MaterialAndTransparency) {
    KV3DMeshHarness h;
    KV3DWriterMesh file = kvtest::PlainMeshFile({3});
    file.materials[0].alphaBlend = 1;
    file.submeshes[0].parts[0].transparent = 1;
    h.PutFile("a.kv3d", file);
    KV3DMesh* mesh = h.Create({"a.kv3d"});
    ASSERT_NE(mesh, nullptr);
    EXPECT_TRUE(mesh->IsTransparent());

    KV3DMaterial shader;
    shader.alphaBlend = 0;
    shader.diffuse[0] = 0.5f;
    shader.overrideFlags = KV_MATERIAL_ALPHA_BLEND | KV_MATERIAL_DIFFUSE;
    mesh->SetMaterial(&shader);
    EXPECT_FALSE(mesh->IsTransparent());
    // Null lets the part materials win again; the values stay.
    mesh->SetMaterial(nullptr);
    EXPECT_EQ(mesh->GetMaterial().overrideFlags, 0u);
    EXPECT_FLOAT_EQ(mesh->GetMaterial().diffuse[0], 0.5f);
    EXPECT_TRUE(mesh->IsTransparent());
}

TEST(KV3DMeshTest, TextureOverridesHoldTheirOwnReference) {
    KV3DMeshHarness h;
    h.PutFile("a.kv3d", kvtest::PlainMeshFile({3}));
    KV3DMesh* mesh = h.Create({"a.kv3d"});
    ASSERT_NE(mesh, nullptr);
    auto* a = new CountedTexture();
    auto* b = new CountedTexture();
    EXPECT_EQ(mesh->SetTextureOverride(1, 2, a), KV_OK);
    EXPECT_EQ(a->Count(), 2);
    mesh->SetTextureOverride(1, 2, a);  // the same texture again, as a unit does every frame
    EXPECT_EQ(a->Count(), 2);
    EXPECT_EQ(mesh->GetTextureOverride(1, 2), a);
    EXPECT_EQ(mesh->GetTextureOverride(1, 1), nullptr);
    EXPECT_EQ(mesh->GetTextureOverride(0, 0), nullptr);
    EXPECT_EQ(mesh->GetTextureOverride(2, 0), nullptr);
    EXPECT_EQ(mesh->GetTextureOverride(-1, 0), nullptr);
    EXPECT_EQ(mesh->SetTextureOverride(-1, 0, a), KV_INVALID);
    mesh->SetTextureOverride(1, 2, b);
    EXPECT_EQ(a->Count(), 1);
    EXPECT_EQ(b->Count(), 2);

    // An instance that goes lets go of what it holds, and only that.
    IKVMesh* other = nullptr;
    ASSERT_EQ(h.Factory()->CreateMesh({"a.kv3d"}, &other, 0), KV_OK);
    other->SetTextureOverride(0, 0, a);
    other->SetTextureOverride(0, 1, b);
    EXPECT_EQ(a->Count(), 2);
    other->Release();
    EXPECT_EQ(a->Count(), 1);
    EXPECT_EQ(b->Count(), 2);
    a->Release();
    b->Release();
    EXPECT_EQ(CountedTexture::live, 1);  // b, in the first mesh's table
}

TEST(KV3DMeshTest, BoundingSphereFollowsEveryChangeOfTransform) {
    KV3DMeshHarness h;
    KV3DData* data = h.AddFile("a.kv3d", kvtest::PlainMeshFile({3}));
    const float sphere[4] = {1.0f, 0.0f, 0.0f, 2.0f};
    std::memcpy(data->sphere, sphere, sizeof sphere);
    KV3DMesh* mesh = h.Create({"a.kv3d"});
    ASSERT_NE(mesh, nullptr);
    const float* s = mesh->GetBoundingSphere();
    EXPECT_FLOAT_EQ(s[0], 1.0f);
    EXPECT_FLOAT_EQ(s[3], 2.0f * std::sqrt(3.0f));

    const float position[3] = {0.0f, 5.0f, 0.0f};
    mesh->SetPosition(position);
    EXPECT_FLOAT_EQ(s[0], 1.0f);
    EXPECT_FLOAT_EQ(s[1], 5.0f);
    const float scale[3] = {2.0f, 3.0f, 6.0f};
    mesh->SetScale(scale);
    // r · sqrt(a² + b² + c²) with the column lengths 2, 3 and 6.
    EXPECT_FLOAT_EQ(s[3], 2.0f * 7.0f);
    EXPECT_FLOAT_EQ(s[0], 2.0f);
    const float turn[3] = {0.0f, 0.0f, KV3DMath::kHalfPi};
    mesh->SetRotation(turn);
    EXPECT_NEAR(s[0], 0.0f, 1e-5f);
    EXPECT_NEAR(s[1], 7.0f, 1e-5f);

    float matrix[16];
    KV3DMath::Identity(matrix);
    matrix[0] = 4.0f;
    matrix[12] = 1.0f;
    mesh->SetMatrix(matrix);
    EXPECT_FLOAT_EQ(s[0], 5.0f);
    EXPECT_FLOAT_EQ(s[3], 2.0f * std::sqrt(18.0f));
}

TEST(KV3DMeshTest, BoundingBoxHoldsEveryCornerOfATurnedBox) {
    KV3DMeshHarness h;
    KV3DWriterMesh file = kvtest::PlainMeshFile({3});
    const float lo[3] = {-1.0f, -2.0f, -3.0f}, hi[3] = {1.0f, 2.0f, 3.0f};
    std::copy(lo, lo + 3, file.boxMin);
    std::copy(hi, hi + 3, file.boxMax);
    h.PutFile("a.kv3d", file);
    KV3DMesh* mesh = h.Create({"a.kv3d"});
    ASSERT_NE(mesh, nullptr);
    const float position[3] = {10.0f, 0.0f, 0.0f};
    const float turn[3] = {0.0f, 0.0f, KV3DMath::kPi / 4.0f};
    mesh->SetPosition(position);
    mesh->SetRotation(turn);
    const float* box = mesh->GetBoundingBox();
    // Turned 45° about z, the corner (1, 2) reaches x = (1 + 2)/√2 from the
    // centre and (−1, 2) reaches y = (1 + 2)/√2.
    const float reach = 3.0f / std::sqrt(2.0f);
    EXPECT_NEAR(box[0], 10.0f - reach, 1e-5f);
    EXPECT_NEAR(box[3], 10.0f + reach, 1e-5f);
    EXPECT_NEAR(box[1], -reach, 1e-5f);
    EXPECT_NEAR(box[4], reach, 1e-5f);
    EXPECT_NEAR(box[2], -3.0f, 1e-6f);
    EXPECT_NEAR(box[5], 3.0f, 1e-6f);
}

TEST(KV3DMeshTest, BoundingBoxOfJointsOnlyWhereThereAreJoints) {
    KV3DMeshHarness h;
    KV3DWriterMesh file = kvtest::PlainMeshFile({3});
    file.hasAnimation = true;
    file.animation.frames = 10;
    file.animation.entries = {kvtest::TranslationChannel(2, "s0", {0}, {1})};
    file.animation.firstCount = 1;
    h.PutFile("rigid.kv3d", file);
    KV3DData* jointed = h.AddFile("joints.kv3d", file);
    KV3DMeshHarness::AddNode(jointed, "a", -1, KV3DVector{4, 0, 0});
    KV3DMeshHarness::AddNode(jointed, "b", 0, KV3DVector{4, -2, 0});

    KV3DMesh* rigid = h.Create({"rigid.kv3d"});
    ASSERT_NE(rigid, nullptr);
    ASSERT_TRUE(rigid->IsAnimatable());
    const std::vector<float> unit = {-1, -1, -1, 1, 1, 1};
    EXPECT_EQ(std::vector<float>(rigid->GetBoundingBox(), rigid->GetBoundingBox() + 6), unit);

    KV3DMesh* mesh = h.Create({"joints.kv3d"});
    ASSERT_NE(mesh, nullptr);
    const std::vector<float> joints = {4, -2, 0, 8, 0, 0};
    EXPECT_EQ(std::vector<float>(mesh->GetBoundingBox(), mesh->GetBoundingBox() + 6), joints);
}

TEST(KV3DMeshTest, IndexListOffsetsByEarlierSubmeshes) {
    KV3DMeshHarness h;
    KV3DWriterMesh file = kvtest::PlainMeshFile({3, 4, 3});
    file.submeshes[1].parts[0].indices = {0, 1, 2, 2, 1, 3};
    kvtest::KV3DWriterPart second = file.submeshes[1].parts[0];
    second.indices = {3, 0, 1};
    file.submeshes[1].parts.push_back(second);
    h.PutFile("a.kv3d", file);
    KV3DMesh* mesh = h.Create({"a.kv3d"});
    ASSERT_NE(mesh, nullptr);
    const std::vector<uint16_t> expected = {0, 1, 2, 3, 4, 5, 5, 4, 6, 6, 3, 4, 7, 8, 9};
    EXPECT_EQ(mesh->GetIndexList(), expected);
    EXPECT_EQ(&mesh->GetIndexList(), &mesh->GetIndexList());
}

TEST(KV3DMeshTest, IndicesPastSixteenBitsGiveNoList) {
    KV3DMeshHarness h;
    KV3DWriterMesh file = kvtest::PlainMeshFile({40000, 30000});
    file.submeshes[1].parts[0].indices = {0, 1, 29999};  // 69999 in the whole list
    h.PutFile("a.kv3d", file);
    KV3DMesh* mesh = h.Create({"a.kv3d"});
    ASSERT_NE(mesh, nullptr);
    EXPECT_TRUE(mesh->GetIndexList().empty());
    EXPECT_TRUE(mesh->GetTriangleNeighbours().empty());
    EXPECT_EQ(mesh->GetVertexList().size(), 70000u);
}

TEST(KV3DMeshTest, VertexListIsInWorldSpaceAtEveryStride) {
    for (uint32_t stride : {28u, 36u, 52u}) {
        KV3DMeshHarness h;
        KV3DWriterMesh file = kvtest::PlainMeshFile({2, 3});
        for (auto& s : file.submeshes) {
            s.stride = stride;
            s.texCoordSets = stride >= 36 ? 1 : 0;
            s.vertices = WithStride(KV3DWriter::PlainVertices(s.vertexCount), stride);
        }
        KV3DData* data = h.AddFile("a.kv3d", file);
        ASSERT_NE(data, nullptr) << stride;
        data->submeshes[1].matrix[12] = 100.0f;  // the submesh's own matrix
        KV3DMesh* mesh = h.Create({"a.kv3d"});
        ASSERT_NE(mesh, nullptr);
        const float scale[3] = {2.0f, 2.0f, 2.0f};
        mesh->SetScale(scale);
        const std::vector<KV3DVertex>& list = mesh->GetVertexList();
        ASSERT_EQ(list.size(), 5u) << stride;
        // Vertex i of a submesh sits at (i, 2i, 3i) in its own space.
        const float xs[5] = {0, 2, 200, 202, 204};
        for (size_t i = 0; i < 5; ++i) EXPECT_FLOAT_EQ(list[i].x, xs[i]) << stride << " " << i;
        EXPECT_FLOAT_EQ(list[4].y, 8.0f);
        EXPECT_FLOAT_EQ(list[4].z, 12.0f);
        EXPECT_FLOAT_EQ(list[4].nz, 1.0f);
        EXPECT_EQ(list[4].color, 0xFF000002u);
        EXPECT_FLOAT_EQ(list[4].u, stride >= 36 ? 1.0f : 0.0f);

        // Moved, the list follows.
        const float position[3] = {0.0f, 0.0f, 1.0f};
        mesh->SetPosition(position);
        EXPECT_FLOAT_EQ(mesh->GetVertexList()[4].z, 13.0f);
    }
}

TEST(KV3DMeshTest, ClosedCubeHasThreeNeighboursPerTriangle) {
    KV3DMeshHarness h;
    KV3DWriterMesh file;
    file.hasGeometry = true;
    file.materials.resize(1);
    kvtest::KV3DWriterSubmesh cube;
    cube.name = "cube";
    std::vector<std::array<float, 3>> corners;
    for (int i = 0; i < 8; ++i) corners.push_back({float(i & 1), float((i >> 1) & 1), float((i >> 2) & 1)});
    // Two copies of the corners: faces use either, so edges match by position.
    std::vector<std::array<float, 3>> positions = corners;
    positions.insert(positions.end(), corners.begin(), corners.end());
    cube.vertexCount = 16;
    cube.vertices = VerticesAt(positions);
    const uint16_t faces[6][4] = {{0, 1, 3, 2}, {4, 6, 7, 5}, {0, 4, 5, 1}, {2, 3, 7, 6}, {0, 2, 6, 4}, {1, 5, 7, 3}};
    kvtest::KV3DWriterPart part;
    for (int f = 0; f < 6; ++f) {
        const uint16_t o = f % 2 ? 8 : 0;
        const uint16_t* q = faces[f];
        part.indices.insert(part.indices.end(), {uint16_t(q[0] + o), uint16_t(q[1] + o), uint16_t(q[2] + o),
                                                 uint16_t(q[0] + o), uint16_t(q[2] + o), uint16_t(q[3] + o)});
    }
    cube.parts.push_back(part);
    file.submeshes.push_back(cube);
    h.PutFile("cube.kv3d", file);
    KV3DMesh* mesh = h.Create({"cube.kv3d"});
    ASSERT_NE(mesh, nullptr);
    // Asked first, before the vertex list.
    const std::vector<uint16_t> closed = mesh->GetTriangleNeighbours();
    ASSERT_EQ(closed.size(), 36u);
    for (size_t t = 0; t < 12; ++t) {
        for (int e = 0; e < 3; ++e) {
            const uint16_t n = closed[3 * t + size_t(e)];
            EXPECT_LT(n, 12) << t;
            EXPECT_NE(n, t);
        }
    }
    // The two triangles of the first face share their diagonal (edge 2-0 of
    // the first is edge 0-1 of the second).
    EXPECT_EQ(closed[2], 1);
    EXPECT_EQ(closed[3], 0);

    // Without the last face, the edges around the hole have no neighbour.
    file.submeshes[0].parts[0].indices.resize(30);
    h.PutFile("open.kv3d", file);
    KV3DMesh* open = h.Create({"open.kv3d"});
    ASSERT_NE(open, nullptr);
    const std::vector<uint16_t>& holes = open->GetTriangleNeighbours();
    ASSERT_EQ(holes.size(), 30u);
    EXPECT_EQ(std::count(holes.begin(), holes.end(), uint16_t(0xFFFF)), 4);
}

TEST(KV3DMeshTest, NodesAndNamedTransforms) {
    KV3DMeshHarness h;
    KV3DWriterMesh file = kvtest::PlainMeshFile({3});
    file.attachments.resize(1);
    file.attachments[0].name = "hand";
    file.attachments[0].matrix[12] = 1.0f;
    file.cameras.resize(1);
    file.cameras[0].name = "hand";  // an attachment of the same name comes first
    file.cameras.emplace_back();
    file.cameras[1].name = "eye";
    file.cameras[1].position[1] = 2.0f;
    KV3DData* data = h.AddFile("a.kv3d", file);
    for (const auto& [name, parent] : {std::pair<const char*, int32_t>{"bone", -1}, {"eye", 0}, {"bone", 1}})
        KV3DMeshHarness::AddNode(data, name, parent, KV3DVector{0, 0, 3});
    data->submeshes[0].matrix[0] = 2.0f;
    KV3DMesh* mesh = h.Create({"a.kv3d"});
    ASSERT_NE(mesh, nullptr);

    EXPECT_EQ(mesh->FindNode("bone"), 2);
    EXPECT_EQ(mesh->FindNode("eye"), 1);
    EXPECT_EQ(mesh->FindNode("Bone"), -1);
    EXPECT_FLOAT_EQ(mesh->GetNodeBindTransform(2).translation.z, 9.0f);
    EXPECT_FLOAT_EQ(mesh->GetNodeTransform(1).translation.z, 6.0f);
    EXPECT_FLOAT_EQ(mesh->GetNodeTransform(7).scale.x, 1.0f);  // outside: the identity

    struct Case {
        const char* name;
        int32_t status;
        float x, y, z, sx;
    };
    const Case cases[] = {{"hand", 0, 1, 0, 0, 1}, {"eye", 0, 0, 2, 0, 1}, {"bone", 0, 0, 0, 3, 1},
                          {"s0", 0, 0, 0, 0, 2},   {"none", 4, 0, 0, 0, 1}};
    for (const Case& c : cases) {
        NodeTransform t;
        EXPECT_EQ(mesh->GetNamedTransform(c.name, &t), c.status) << c.name;
        EXPECT_FLOAT_EQ(t.translation.x, c.x) << c.name;
        EXPECT_FLOAT_EQ(t.translation.y, c.y) << c.name;
        EXPECT_FLOAT_EQ(t.translation.z, c.z) << c.name;
        EXPECT_FLOAT_EQ(t.scale.x, c.sx) << c.name;
    }
    EXPECT_EQ(mesh->GetCameraCount(), 2);
    EXPECT_EQ(mesh->GetCamera(1)->name, "eye");
    EXPECT_EQ(mesh->GetCamera(2), nullptr);
    EXPECT_EQ(mesh->GetCurve(0), nullptr);
    EXPECT_EQ(mesh->GetLight(-1), nullptr);
}

TEST(KV3DMeshTest, GeometryThatWasLetGoIsReadAgainForTheLists) {
    KV3DMeshHarness h;
    h.device.caps3D = KVDEVICE_CAPS3D_VERTEX_BUFFERS;
    h.device.makeBuffers = true;
    KV3DData* data = h.AddFile("a.kv3d", kvtest::PlainMeshFile({3, 3}));
    ASSERT_NE(data, nullptr);
    ASSERT_EQ(data->resident, 0);
    ASSERT_EQ(data->submeshes[0].vertexData, nullptr);
    KV3DMesh* mesh = h.Create({"a.kv3d"});
    ASSERT_NE(mesh, nullptr);
    const std::vector<uint16_t> expected = {0, 1, 2, 3, 4, 5};
    EXPECT_EQ(mesh->GetIndexList(), expected);
    EXPECT_EQ(mesh->GetCurrentData(), data);
    EXPECT_EQ(data->resident, 1);
    EXPECT_TRUE(KV3DDataProducer::Instance()->GetKeepGeometry());
    ASSERT_EQ(mesh->GetVertexList().size(), 6u);
    EXPECT_FLOAT_EQ(mesh->GetVertexList()[5].z, 6.0f);
}

TEST(KV3DMeshTest, MeshDataMadeInMemoryIsHeldLikeLoadedData) {
    auto* data = new KV3DData("made.kv3d");
    data->submeshes.emplace_back();
    auto* mesh = new KV3DMesh();
    EXPECT_EQ(mesh->LoadData({}, 0), KV_FAILED);
    EXPECT_EQ(mesh->LoadData({nullptr, data}, 0), KV_OK);
    EXPECT_EQ(mesh->GetCurrentData(), data);
    EXPECT_EQ(data->GetRefCount(), 2);
    EXPECT_EQ(mesh->Release(), 0);
    EXPECT_EQ(data->GetRefCount(), 1);
    data->Release();
}
