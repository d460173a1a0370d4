// Decals of the 3D module cut out of mesh units: the rectangle on a flat
// grid, the turn, faces left out on a cube, alpha from the normals, the
// winding, sizes that are no sizes, and drawing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "kernel/KVProperties.h"
#include "support/KV3DUnitRig.h"
#include "graphics/KVResourceTexture.h"
#include "support/KVMeshUnitFiles.h"
#include "units/KVSceneManager.h"
#include "units3d/KV3D.h"
#include "units3d/KV3DDecal.h"
#include "units3d/KVUnitMesh.h"

using namespace kvl;
using namespace kvtest;

namespace {

struct Extent {
    float low[3] = {1e9f, 1e9f, 1e9f};
    float high[3] = {-1e9f, -1e9f, -1e9f};
    float uv[4] = {1e9f, -1e9f, 1e9f, -1e9f};  // u low, u high, v low, v high
};

Extent Measure(const KV3DDecal* decal) {
    Extent e;
    for (const KV3DVertex& v : decal->GetVertices()) {
        const float p[3] = {v.x, v.y, v.z};
        for (int i = 0; i < 3; ++i) {
            e.low[i] = std::min(e.low[i], p[i]);
            e.high[i] = std::max(e.high[i], p[i]);
        }
        e.uv[0] = std::min(e.uv[0], v.u);
        e.uv[1] = std::max(e.uv[1], v.u);
        e.uv[2] = std::min(e.uv[2], v.v);
        e.uv[3] = std::max(e.uv[3], v.v);
    }
    return e;
}

// The summed area of the decal's triangles, and the sign of their normals'
// y (all +1 or all -1, else 0).
float Area(const KV3DDecal* decal, int* ySign) {
    const auto& idx = decal->GetIndices();
    const auto& v = decal->GetVertices();
    float total = 0.0f;
    int sign = 2;
    for (size_t i = 0; i + 2 < idx.size(); i += 3) {
        const KV3DVertex &a = v[idx[i]], &b = v[idx[i + 1]], &c = v[idx[i + 2]];
        const float ux = b.x - a.x, uy = b.y - a.y, uz = b.z - a.z;
        const float wx = c.x - a.x, wy = c.y - a.y, wz = c.z - a.z;
        const float nx = uy * wz - uz * wy, ny = uz * wx - ux * wz, nz = ux * wy - uy * wx;
        total += 0.5f * std::sqrt(nx * nx + ny * ny + nz * nz);
        const int s = ny > 0 ? 1 : ny < 0 ? -1 : 0;
        sign = sign == 2 ? s : (sign == s ? sign : 0);
    }
    if (ySign) *ySign = sign;
    return total;
}

class KV3DDecalTest : public ::testing::Test {
protected:
    KVUnitMesh* Mesh(const KV3DWriterMesh& file) {
        WriteMeshFile(rig.Host().Root(), "surface.kv3d", file);
        auto* mesh = rig.Make<KVUnitMesh>("Mesh", "M");
        rig.Run("M.Mesh = 'surface.kv3d'");
        return mesh;
    }
    KV3DDecal* NewDecal() {
        IKVDecal* decal = nullptr;
        EXPECT_EQ(KV3D::Instance()->CreateDecal(&decal), KV_OK);
        made.push_back(decal);
        return static_cast<KV3DDecal*>(decal);
    }
    void TearDown() override {
        for (IKVDecal* d : made) d->Release();
    }
    int32_t Build(KV3DDecal* decal, IKVUnitMesh* mesh, KV3DVector start, KV3DVector end, float w, float h,
                  float angle = 0.0f, KV3DVector up = {0, 0, 1}) {
        const KV3DVector ray[2] = {start, end};
        const float size[2] = {w, h};
        return decal->Build(mesh, ray, &up, size, 0.01f, angle);
    }

    KV3DUnitRig rig;
    std::vector<IKVDecal*> made;
};

TEST_F(KV3DDecalTest, AStraightRayOnAGridCutsTheRectangleAroundTheHit) {
    KVUnitMesh* mesh = Mesh(GridMeshFile(4, 1.0f));
    ASSERT_NE(mesh->GetMesh(), nullptr);
    KV3DDecal* decal = NewDecal();
    ASSERT_EQ(Build(decal, mesh, {0.3f, 10, 0.2f}, {0.3f, -10, 0.2f}, 1.0f, 0.5f), KV_OK);
    EXPECT_FLOAT_EQ(decal->GetOrigin().x, 0.3f);
    EXPECT_FLOAT_EQ(decal->GetOrigin().z, 0.2f);
    EXPECT_FLOAT_EQ(decal->GetDirection().y, 1.0f);
    const Extent e = Measure(decal);
    EXPECT_NEAR(e.low[0], -0.5f, 1e-5f);
    EXPECT_NEAR(e.high[0], 0.5f, 1e-5f);
    EXPECT_NEAR(e.low[2], -0.25f, 1e-5f);
    EXPECT_NEAR(e.high[2], 0.25f, 1e-5f);
    EXPECT_NEAR(e.uv[0], 0.0f, 1e-5f);
    EXPECT_NEAR(e.uv[1], 1.0f, 1e-5f);
    EXPECT_NEAR(e.uv[2], 0.0f, 1e-5f);
    EXPECT_NEAR(e.uv[3], 1.0f, 1e-5f);
    EXPECT_NEAR(Area(decal, nullptr), 0.5f, 1e-4f);
    // u and v grow along the tangents: 0.5 at the hit.
    for (const KV3DVertex& v : decal->GetVertices()) {
        EXPECT_NEAR(v.u, 0.5f + v.x / 1.0f, 1e-5f);
        EXPECT_NEAR(v.v, 0.5f - v.z / 0.5f, 1e-5f);
        EXPECT_EQ(v.color, 0xFFFFFFFFu);
    }
}

TEST_F(KV3DDecalTest, AQuarterTurnSwapsWidthAndHeight) {
    KVUnitMesh* mesh = Mesh(GridMeshFile(4, 1.0f));
    KV3DDecal* decal = NewDecal();
    ASSERT_EQ(Build(decal, mesh, {0.3f, 10, 0.2f}, {0.3f, -10, 0.2f}, 1.0f, 0.5f, 1.5707964f), KV_OK);
    const Extent e = Measure(decal);
    EXPECT_NEAR(e.high[0] - e.low[0], 0.5f, 1e-5f);
    EXPECT_NEAR(e.high[2] - e.low[2], 1.0f, 1e-5f);
}

TEST_F(KV3DDecalTest, OnACubeFacesTurnedAwayAreLeftOut) {
    KVUnitMesh* mesh = Mesh(CubeMeshFile());
    ASSERT_NE(mesh->GetMesh(), nullptr);
    KV3DDecal* decal = NewDecal();
    // Straight down on the top (off its diagonal, which no triangle holds
    // inside): the sides are at a cosine of 0.
    ASSERT_EQ(Build(decal, mesh, {0.5f, 5, 0.3f}, {0.5f, -5, 0.3f}, 8.0f, 8.0f), KV_OK);
    const Extent top = Measure(decal);
    EXPECT_EQ(top.low[1], 0.0f);
    EXPECT_EQ(top.high[1], 0.0f);
    EXPECT_NEAR(Area(decal, nullptr), 4.0f, 1e-4f);
    for (const KV3DVertex& v : decal->GetVertices()) EXPECT_EQ(v.color >> 24, 255u);

    // Tilted towards +x: at a cosine of 0.3 the side is kept, at 0.2 it is not.
    for (const auto& [tilt, kept] : {std::pair<float, bool>{0.3f, true}, {0.2f, false}}) {
        const float lift = std::sqrt(1.0f - tilt * tilt);
        const KV3DVector hit{0.5f, 1.0f, 0.3f};
        const KV3DVector start{hit.x + 4 * tilt, hit.y + 4 * lift, hit.z};
        ASSERT_EQ(Build(decal, mesh, start, {hit.x - 4 * tilt, hit.y - 4 * lift, hit.z}, 8.0f, 8.0f), KV_OK);
        EXPECT_EQ(Measure(decal).low[1] < -0.5f, kept) << tilt;
    }
}

TEST_F(KV3DDecalTest, AlphaFollowsTheVertexNormals) {
    // One upward triangle whose corners carry other normals.
    KVUnitMesh* mesh = Mesh(SurfaceMeshFile(
        {{0, 0, 0, 0, 1, 0}, {0, 0, 1, 1, 0, 0}, {1, 0, 0, 0, 3, 0}, {1, 0, 1, 0, 0, 0}}, {0, 1, 2, 2, 1, 3}));
    KV3DDecal* decal = NewDecal();
    ASSERT_EQ(Build(decal, mesh, {0.2f, 5, 0.2f}, {0.2f, -5, 0.2f}, 10.0f, 10.0f), KV_OK);
    ASSERT_EQ(decal->GetVertices().size(), 6u);
    std::vector<uint32_t> alphas;
    for (const KV3DVertex& v : decal->GetVertices()) alphas.push_back(v.color >> 24);
    // Up (255), across (0), up unnormalised (255); across, across, no normal (0).
    EXPECT_EQ(alphas, (std::vector<uint32_t>{255, 0, 255, 255, 0, 0}));
}

TEST_F(KV3DDecalTest, RightHandedScenesReverseTheWinding) {
    KVUnitMesh* mesh = Mesh(GridMeshFile(2, 1.0f));
    KV3DDecal* decal = NewDecal();
    ASSERT_TRUE(KVSceneManager::Instance()->IsRightHanded());
    ASSERT_EQ(Build(decal, mesh, {0.2f, 5, 0.2f}, {0.2f, -5, 0.2f}, 0.5f, 0.5f), KV_OK);
    int right = 0;
    Area(decal, &right);
    ASSERT_EQ(KVProperties::Instance()->SetBooleanById(KVSceneManager::kRightHandedId, false), KV_OK);
    ASSERT_FALSE(KVSceneManager::Instance()->IsRightHanded());
    ASSERT_EQ(Build(decal, mesh, {0.2f, 5, 0.2f}, {0.2f, -5, 0.2f}, 0.5f, 0.5f), KV_OK);
    int left = 0;
    Area(decal, &left);
    EXPECT_EQ(left, 1);
    EXPECT_EQ(right, -1);
}

TEST_F(KV3DDecalTest, MissesAndSizesThatAreNoSizesCutNothing) {
    KVUnitMesh* mesh = Mesh(GridMeshFile(2, 1.0f));
    KV3DDecal* decal = NewDecal();
    EXPECT_EQ(Build(decal, mesh, {5, 5, 5}, {5, -5, 5}, 1, 1), KV_NOT_FOUND);
    EXPECT_EQ(Build(decal, mesh, {0, 5, 0}, {0, 5, 0}, 1, 1), KV_NOT_FOUND);
    for (float bad : {0.0f, -1.0f, NAN, INFINITY}) {
        EXPECT_EQ(Build(decal, mesh, {0.2f, 5, 0.2f}, {0.2f, -5, 0.2f}, bad, 1), KV_OK) << bad;
        EXPECT_TRUE(decal->GetVertices().empty()) << bad;
        EXPECT_TRUE(decal->GetIndices().empty()) << bad;
    }
    // A huge one takes the whole grid; an up along the ray still cuts.
    EXPECT_EQ(Build(decal, mesh, {0.2f, 5, 0.2f}, {0.2f, -5, 0.2f}, 1e30f, 1e30f), KV_OK);
    EXPECT_NEAR(Area(decal, nullptr), 4.0f, 1e-4f);
    EXPECT_EQ(Build(decal, mesh, {0.2f, 5, 0.2f}, {0.2f, -5, 0.2f}, 1, 1, 0, {0, 1, 0}), KV_OK);
    EXPECT_NEAR(Area(decal, nullptr), 1.0f, 1e-4f);
    // Without a mesh: 4.
    rig.Run("M.Mesh = ''");
    EXPECT_EQ(Build(decal, mesh, {0.2f, 5, 0.2f}, {0.2f, -5, 0.2f}, 1, 1), KV_NOT_FOUND);
}

TEST_F(KV3DDecalTest, OnlyATexturedDecalDrawsAndEachBuildDropsTheTexture) {
    KVUnitMesh* mesh = Mesh(GridMeshFile(2, 1.0f));
    KV3DDecal* decal = NewDecal();
    ASSERT_EQ(Build(decal, mesh, {0.2f, 5, 0.2f}, {0.2f, -5, 0.2f}, 1, 1), KV_OK);
    auto* texture = new KVResourceTexture("stain.png");
    const uint8_t alpha = texture->HasAlpha() != 0 ? 1 : 0;
    EXPECT_EQ(decal->SetTexture(texture), KV_OK);
    rig.Device().ClearCalls();
    EXPECT_EQ(decal->Draw(), KV_OK);
    const std::vector<KVDeviceCall> materials = rig.Device().CallsOf("SetMaterial");
    ASSERT_EQ(materials.size(), 1u);
    EXPECT_EQ(materials[0].material.alphaBlend, alpha);
    EXPECT_EQ(materials[0].material.alphaTest, alpha);
    EXPECT_EQ(materials[0].material.lighting, 0u);
    EXPECT_EQ(materials[0].material.overrideFlags, KV_MATERIAL_ALL_FLAGS);
    const std::vector<KVDeviceCall> worlds = rig.Device().CallsOf("SetTransform");
    ASSERT_EQ(worlds.size(), 1u);
    EXPECT_FLOAT_EQ(worlds[0].floats[13], 0.01f);
    EXPECT_EQ(rig.Device().CallsOf("DrawIndexed").size(), 1u);

    ASSERT_EQ(Build(decal, mesh, {0.2f, 5, 0.2f}, {0.2f, -5, 0.2f}, 1, 1), KV_OK);
    EXPECT_EQ(decal->GetTexture(), nullptr);
    rig.Device().ClearCalls();
    decal->Draw();
    EXPECT_TRUE(rig.Device().Calls().empty());
    texture->Release();
}

} // namespace
