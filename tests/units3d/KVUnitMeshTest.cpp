// The "Mesh" unit in a whole core with the recording 3D device: loading and
// its generated children, the attribute hooks, the sprite's texture, the
// ray test, picking, visibility filing, the draws and their material,
// curves, animation names and the script methods' errors.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "support/KV3DUnitRig.h"
#include "support/KVMeshUnitFiles.h"
#include "support/KVTestCoreHost.h"
#include "units/IKVUnitRef.h"
#include "units/KVUnitFactory.h"
#include "units/KVSceneManager.h"
#include "units2d/KVUnitEmbeddable.h"
#include "units3d/KV3DCurve.h"
#include "units3d/KV3DMesh.h"
#include "units/IKVUnitCamera.h"
#include "units3d/KVUnitCurve.h"
#include "units3d/KVUnitLight.h"
#include "units3d/KVUnitMesh.h"
#include "units3d/KVUnitShader.h"

using namespace kvl;
using namespace kvtest;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

class KVUnitMeshTest : public ::testing::Test {
protected:
    // With a screen, embeddable units can make their textures.
    explicit KVUnitMeshTest(bool screen = false) : rig(false, screen) {}
    KVUnitMesh* Mesh(const std::string& text, const std::string& name = "M") {
        auto* mesh = rig.Make<KVUnitMesh>("Mesh", name, {"OnError", "OnEndAnimation"});
        if (mesh && !text.empty()) rig.Run(name + ".Mesh = '" + text + "'");
        return mesh;
    }
    std::string Root() { return rig.Host().Root(); }
    std::vector<KVUnit*> Children(KVUnit* unit) {
        std::vector<KVUnit*> out;
        KVUnitRefArray* children = unit->GetChildren();
        for (size_t i = 0; i < children->Size(); ++i)
            if (IKVUnit* child = rig.Factory().GetUnit(children->At(i)->GetIndex())) out.push_back(child->GetUnit());
        return out;
    }
    static KV3DWriterMesh Extras() {
        KV3DWriterMesh extras;
        KV3DWriterCurve curve;
        curve.name = "Path";
        curve.points = {0, 0, 0, 0, 10, 0, 0, 0.5f, 10, 10, 0, 1};
        extras.curves = {curve};
        KV3DWriterCamera camera;
        camera.name = "Eye";
        camera.position[0] = 1;
        camera.target[1] = 5;
        camera.fov = 0.5f;
        extras.cameras = {camera};
        KV3DWriterLight light;
        light.name = "Lamp";
        light.position[2] = 3;
        light.color = 0xFF112233u;
        light.range = 7.0f;
        light.linear = 0.5f;
        extras.lights = {light};
        return extras;
    }

    static KV3DMesh* Object(KVUnitMesh* mesh) { return dynamic_cast<KV3DMesh*>(mesh->GetMesh()); }
    // One triangle whose part is blended: the mesh answers transparent.
    void WriteBlended(const std::string& name) {
        KV3DWriterMesh file = SurfaceMeshFile({{0, 0, 0, 0, 1, 0}, {0, 0, 1, 0, 1, 0}, {1, 0, 0, 0, 1, 0}}, {0, 1, 2});
        file.materials[0].alphaBlend = 1;
        file.submeshes[0].parts[0].transparent = 1;
        WriteMeshFile(Root(), name, file);
    }

    KV3DUnitRig rig;
};

class KVUnitMeshSpriteTest : public KVUnitMeshTest {
protected:
    KVUnitMeshSpriteTest() : KVUnitMeshTest(true) {}
    KVUnitEmbeddable* Sprite(const std::string& name) {
        auto* sprite = rig.Make<KVUnitEmbeddable>("Embeddable", name);
        const KVDeviceSize size{4, 4};
        EXPECT_EQ(sprite->CreateOwnTexture(&size, true, 259), KV_OK);
        EXPECT_NE(sprite->GetEmbeddedTexture(), nullptr);
        return sprite;
    }
    // The references the texture has beside the caller's.
    static int32_t Holders(IKVResourceTexture* texture) {
        const int32_t count = texture->Retain();
        texture->Release();
        return count - 1;
    }
};

TEST_F(KVUnitMeshTest, LoadingMakesNamedChildrenFromTheFileWithTheirRecords) {
    KVUnitMesh* mesh = Mesh(WriteAnimatedBody(Root(), Extras()));
    ASSERT_NE(mesh->GetMesh(), nullptr);
    const std::vector<KVUnit*> children = Children(mesh);
    ASSERT_EQ(children.size(), 3u);
    for (KVUnit* child : children) EXPECT_TRUE(child->GetFlags() & KVUnitMesh::kGeneratedChild) << child->GetName();

    auto* curve = dynamic_cast<KVUnitCurve*>(children[0]);
    ASSERT_NE(curve, nullptr);
    EXPECT_EQ(curve->GetName(), "Path");
    auto* object = dynamic_cast<KV3DCurve*>(curve->GetCurve());
    ASSERT_NE(object, nullptr);
    ASSERT_EQ(object->GetPoints().size(), 3u);
    EXPECT_EQ(object->GetPoints()[1].x, 10.0f);

    // The camera class of this core may be a stand-in: its faces are asked.
    auto* camera = QueryInterfaceOf<IKVUnitCamera>(children[1], IID_IKVUnitCamera);
    auto* placed = QueryInterfaceOf<IKVUnit3D>(children[1], IID_IKVUnit3D);
    ASSERT_NE(camera, nullptr);
    ASSERT_NE(placed, nullptr);
    EXPECT_EQ(children[1]->GetName(), "Eye");
    EXPECT_EQ(placed->GetPosition()->x, 1.0f);
    EXPECT_EQ(camera->GetTarget()->y, 5.0f);
    EXPECT_FLOAT_EQ(camera->GetFOV(), 0.5f);

    auto* light = dynamic_cast<KVUnitLight*>(children[2]);
    ASSERT_NE(light, nullptr);
    EXPECT_EQ(light->GetName(), "Lamp");
    EXPECT_EQ(light->GetPosition()->z, 3.0f);
    EXPECT_EQ(light->GetRecord().color, 0xFF112233u);
    EXPECT_EQ(light->GetRecord().range, 7.0f);
    EXPECT_EQ(light->GetRecord().linearAttenuation, 0.5f);

    // The animations are known at once, each with a factor of 1.
    EXPECT_EQ(mesh->GetAnimationInfos().size(), 2u);
    EXPECT_EQ(mesh->GetSpeedFactors(), (std::vector<float>{1.0f, 1.0f}));
}

TEST_F(KVUnitMeshTest, AReloadDropsOnlyTheGeneratedChildren) {
    KVUnitMesh* mesh = Mesh(WriteAnimatedBody(Root(), Extras()));
    KVUnit* own = rig.Make<KVUnit>("Node3D", "Own");
    own->SetParent(mesh->GetIndex());
    ASSERT_EQ(Children(mesh).size(), 4u);
    rig.Run("M.Mesh = 'body.kv3d'");
    std::vector<std::string> names;
    for (KVUnit* child : Children(mesh)) names.push_back(child->GetName());
    EXPECT_THAT(names, ElementsAre("Own", "Path", "Eye", "Lamp"));

    // Two characters or fewer load nothing and only drop the generated ones.
    rig.Run("M.Mesh = 'ab'");
    EXPECT_EQ(mesh->GetMesh(), nullptr);
    ASSERT_EQ(Children(mesh).size(), 1u);
    EXPECT_EQ(Children(mesh)[0], own);
    EXPECT_TRUE(rig.Take().empty());
}

TEST_F(KVUnitMeshTest, UnderADisabledParentNothingLoads) {
    WriteAnimatedBody(Root(), Extras());
    KVUnit* parent = rig.Make<KVUnit>("Node3D", "P");
    KVUnitMesh* mesh = Mesh("");
    mesh->SetParent(parent->GetIndex());
    parent->SetEnabled(false);
    ASSERT_FALSE(mesh->GetParentEnabled());
    rig.Run("M.Mesh = 'body.kv3d'");
    EXPECT_EQ(mesh->GetMesh(), nullptr);
    EXPECT_TRUE(Children(mesh).empty());
    // Enabled again, the unit loads what it names.
    parent->SetEnabled(true);
    EXPECT_NE(mesh->GetMesh(), nullptr);
    EXPECT_EQ(Children(mesh).size(), 3u);
}

TEST_F(KVUnitMeshTest, AMissingFileRaisesOnErrorAndLeavesNoMesh) {
    KVUnitMesh* mesh = Mesh("missing.kv3d");
    EXPECT_EQ(mesh->GetMesh(), nullptr);
    EXPECT_THAT(rig.Take(), ElementsAre("M:OnError 0"));
    EXPECT_EQ(mesh->GetMeshText(), "missing.kv3d");
    void* face = nullptr;
    EXPECT_NE(mesh->QueryInterface(IID_IKVMesh, &face), KV_OK);
}

// Each hook hands its value to the mesh when written, and a loaded mesh gets
// the values written before it came.
TEST_F(KVUnitMeshTest, IlluminationFrozenAndDebugFlagsReachTheMesh) {
    KVUnitMesh* mesh = Mesh("");
    rig.Run("M.Illumination = 0.25 M.Frozen = true M.DebugFlags_Wireframe = true M.DebugFlags_ShowNormals = true");
    rig.Run("M.Mesh = '" + WriteAnimatedBody(Root()) + "'");
    KV3DMesh* object = Object(mesh);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->GetCustomValue(), 0.25f);
    EXPECT_TRUE(object->IsPaused());
    EXPECT_EQ(object->GetDebugFlags(), 0x5u);

    rig.Run("M.Illumination = 3 M.Frozen = false M.DebugFlags_Wireframe = false M.DebugFlags_ShowEdges = true");
    EXPECT_EQ(object->GetCustomValue(), 3.0f);
    EXPECT_FALSE(object->IsPaused());
    EXPECT_EQ(object->GetDebugFlags(), 0x9u);
    mesh->SetIllumination(-1.5f);
    EXPECT_EQ(object->GetCustomValue(), -1.5f);
    EXPECT_EQ(mesh->GetIllumination(), -1.5f);
}

// Every update hands the linked sprite's current texture to the mesh's
// first slot; a unit that is not embeddable hands nothing.
TEST_F(KVUnitMeshSpriteTest, EachUpdateHandsTheSpritesCurrentTexture) {
    WriteMeshFile(Root(), "grid.kv3d", GridMeshFile(2, 1.0f));
    KVUnitMesh* mesh = Mesh("grid.kv3d");
    KVUnitEmbeddable* sprite = Sprite("E");
    rig.Make<KVUnit>("Node3D", "N");
    rig.Run("M.TextureSprite = N");
    mesh->Update(0.1f);
    EXPECT_EQ(Object(mesh)->GetTextureOverride(0, 0), nullptr);

    rig.Run("M.TextureSprite = E");
    mesh->Update(0.1f);
    EXPECT_EQ(Object(mesh)->GetTextureOverride(0, 0), sprite->GetEmbeddedTexture());
    // A new texture of the sprite's is the one handed next.
    const KVDeviceSize larger{8, 8};
    ASSERT_EQ(sprite->CreateOwnTexture(&larger, true, 259), KV_OK);
    mesh->Update(0.1f);
    EXPECT_EQ(Object(mesh)->GetTextureOverride(0, 0), sprite->GetEmbeddedTexture());
}

// The mesh holds the sprite's texture only while the link stands.
TEST_F(KVUnitMeshSpriteTest, UnlinkingTheSpriteDropsItsTexture) {
    WriteMeshFile(Root(), "grid.kv3d", GridMeshFile(2, 1.0f));
    KVUnitMesh* mesh = Mesh("grid.kv3d");
    KVUnitEmbeddable* sprite = Sprite("E");
    IKVResourceTexture* texture = sprite->GetEmbeddedTexture();
    const int32_t alone = Holders(texture);
    rig.Run("M.TextureSprite = E");
    mesh->Update(0.1f);
    ASSERT_EQ(Object(mesh)->GetTextureOverride(0, 0), texture);
    EXPECT_EQ(Holders(texture), alone + 1);

    rig.Run("M.TextureSprite = nil");
    EXPECT_EQ(Object(mesh)->GetTextureOverride(0, 0), nullptr);
    EXPECT_EQ(Holders(texture), alone);
    mesh->Update(0.1f);
    EXPECT_EQ(Object(mesh)->GetTextureOverride(0, 0), nullptr);

    // Linked to another sprite, the first one's texture goes at once.
    KVUnitEmbeddable* other = Sprite("F");
    rig.Run("M.TextureSprite = E");
    mesh->Update(0.1f);
    rig.Run("M.TextureSprite = F");
    EXPECT_EQ(Holders(texture), alone);
    mesh->Update(0.1f);
    EXPECT_EQ(Object(mesh)->GetTextureOverride(0, 0), other->GetEmbeddedTexture());
}

TEST_F(KVUnitMeshSpriteTest, ASpriteThatGoesAwayTakesItsTextureFromTheMesh) {
    WriteMeshFile(Root(), "grid.kv3d", GridMeshFile(2, 1.0f));
    KVUnitMesh* mesh = Mesh("grid.kv3d");
    KVUnitEmbeddable* sprite = Sprite("E");
    rig.Run("M.TextureSprite = E");
    mesh->Update(0.1f);
    ASSERT_NE(Object(mesh)->GetTextureOverride(0, 0), nullptr);
    sprite->Release();
    EXPECT_EQ(mesh->GetTextureSpriteRef()->GetIndex(), -1);
    EXPECT_EQ(Object(mesh)->GetTextureOverride(0, 0), nullptr);
    mesh->Update(0.1f);
    EXPECT_EQ(Object(mesh)->GetTextureOverride(0, 0), nullptr);
}

TEST_F(KVUnitMeshTest, TheRayTestTakesTheFirstOrTheNearestTriangleBehindTheOriginToo) {
    // Two parallel triangles at y = 0 (first) and y = 5.
    WriteMeshFile(Root(), "two.kv3d",
                  SurfaceMeshFile({{0, 0, 0, 0, 1, 0},
                                   {0, 0, 1, 0, 1, 0},
                                   {1, 0, 0, 0, 1, 0},
                                   {0, 5, 0, 0, 1, 0},
                                   {0, 5, 1, 0, 1, 0},
                                   {1, 5, 0, 0, 1, 0}},
                                  {0, 1, 2, 3, 4, 5}));
    KVUnitMesh* mesh = Mesh("two.kv3d");
    ASSERT_NE(mesh->GetMesh(), nullptr);
    const KV3DVector origin{0.25f, 4.0f, 0.25f}, down{0, -1, 0};
    KV3DVector hit;
    int32_t triangle = -1;
    EXPECT_EQ(mesh->IntersectRay(&origin, &down, &hit, &triangle, false), KV_OK);
    EXPECT_EQ(triangle, 0);
    EXPECT_EQ(hit.y, 0.0f);
    // Nearest: the triangle above the origin (behind the ray) is 1 away.
    EXPECT_EQ(mesh->IntersectRay(&origin, &down, &hit, &triangle, true), KV_OK);
    EXPECT_EQ(triangle, 1);
    EXPECT_EQ(hit.y, 5.0f);
    const KV3DVector outside{5, 4, 5};
    EXPECT_EQ(mesh->IntersectRay(&outside, &down, &hit, &triangle, true), KV_NOT_FOUND);
    const KV3DVector along{1, 0, 0};
    EXPECT_EQ(mesh->IntersectRay(&origin, &along, &hit, &triangle, false), KV_NOT_FOUND);

    // No triangles: 4; no mesh: 1.
    WriteMeshFile(Root(), "empty.kv3d", SurfaceMeshFile({{0, 0, 0, 0, 1, 0}}, {}));
    rig.Run("M.Mesh = 'empty.kv3d'");
    if (mesh->GetMesh()) {
        EXPECT_EQ(mesh->IntersectRay(&origin, &down, &hit, &triangle, false), KV_NOT_FOUND);
    }
    rig.Run("M.Mesh = ''");
    EXPECT_EQ(mesh->IntersectRay(&origin, &down, &hit, &triangle, false), KV_FAILED);
}

TEST_F(KVUnitMeshTest, ARayThroughAnEdgeTwoTrianglesShareHitsTheSurface) {
    // The square from (0, 0, 0) to (2, 0, 2) in the plane y = 0, split
    // along either diagonal, its triangles in either order and winding.
    const std::vector<KVSurfaceVertex> corners = {
        {0, 0, 0, 0, 1, 0}, {2, 0, 0, 0, 1, 0}, {2, 0, 2, 0, 1, 0}, {0, 0, 2, 0, 1, 0}};
    const std::vector<std::vector<uint16_t>> layouts = {
        {0, 1, 2, 0, 2, 3}, {0, 2, 3, 0, 1, 2}, {2, 1, 0, 3, 2, 0}, {0, 1, 3, 1, 2, 3}, {3, 1, 0, 3, 2, 1}};
    const struct {
        float x, z;
        bool hits;
    } rays[] = {
        {1, 1, true},        {0.5f, 0.5f, true}, {1.5f, 1.5f, true}, {0.5f, 1.5f, true},  // diagonals, centre
        {1.5f, 0.5f, true},  {0.25f, 1, true},   {1, 0, true},       {2, 1, true},        // inside, outer edges
        {2, 2, true},        {0, 0, true},                                                // corners
        {2.001f, 1, false},  {1, -0.001f, false}, {-0.001f, -0.001f, false}, {3, 3, false},  // just outside
    };
    for (size_t l = 0; l < layouts.size(); ++l) {
        const std::string name = "square" + std::to_string(l) + ".kv3d";
        WriteMeshFile(Root(), name, SurfaceMeshFile(corners, layouts[l]));
        KVUnitMesh* mesh = Mesh(name, "S" + std::to_string(l));
        ASSERT_NE(mesh->GetMesh(), nullptr);
        for (const auto& ray : rays) {
            for (bool nearest : {false, true}) {
                SCOPED_TRACE("layout " + std::to_string(l) + " at " + std::to_string(ray.x) + ", " +
                             std::to_string(ray.z) + (nearest ? ", nearest" : ", first"));
                const KV3DVector origin{ray.x, 3.0f, ray.z}, down{0, -1, 0};
                KV3DVector hit{9, 9, 9};
                int32_t triangle = -1;
                const int32_t result = mesh->IntersectRay(&origin, &down, &hit, &triangle, nearest);
                EXPECT_EQ(result, ray.hits ? KV_OK : KV_NOT_FOUND);
                if (!ray.hits) continue;
                EXPECT_EQ(hit.x, ray.x);
                EXPECT_EQ(hit.y, 0.0f);
                EXPECT_EQ(hit.z, ray.z);
                EXPECT_TRUE(triangle == 0 || triangle == 1);
            }
        }
    }
}

TEST_F(KVUnitMeshTest, PickingNeedsACameraAndHitsTheBox) {
    WriteMeshFile(Root(), "grid.kv3d", GridMeshFile(2, 1.0f));
    KVUnitMesh* mesh = Mesh("grid.kv3d");
    ASSERT_NE(mesh->GetMesh(), nullptr);
    float depth = -1.0f;
    EXPECT_FALSE(mesh->IsPointInside({10, 10}, &depth, nullptr));
    rig.Camera({0.5f, 10, 0.5f}, {0.5f, -10, 0.5f}, {0.5f, 10, 0.5f});
    EXPECT_TRUE(mesh->IsPointInside({10, 10}, &depth, nullptr));
    EXPECT_FLOAT_EQ(depth, std::sqrt(0.25f + 100.0f + 0.25f));
    EXPECT_TRUE(mesh->IsPointInside({10, 10}, nullptr, nullptr));
    rig.Camera({5, 10, 5}, {5, -10, 5});
    EXPECT_FALSE(mesh->IsPointInside({10, 10}, &depth, nullptr));
}

// Without a camera given, a game point is seen through the scene's camera
// (FindCamera(), whichever half it shows); a caller that knows the camera
// names it.
TEST_F(KVUnitMeshTest, PickingWithoutACameraTakesTheScenesCamera) {
    WriteMeshFile(Root(), "grid.kv3d", GridMeshFile(2, 1.0f));
    KVUnitMesh* mesh = Mesh("grid.kv3d");
    ASSERT_NE(mesh->GetMesh(), nullptr);
    KVTestCameraUnit* over = rig.Camera({0.5f, 10, 0.5f}, {0.5f, -10, 0.5f});
    over->viewport = {0, 0, 512, 768};
    KVTestCameraUnit* beside = rig.Camera({5, 10, 5}, {5, -10, 5});
    beside->viewport = {512, 0, 1024, 768};
    ASSERT_TRUE(over->active);
    EXPECT_TRUE(mesh->IsPointInside({10, 10}, nullptr, over));
    EXPECT_FALSE(mesh->IsPointInside({10, 10}, nullptr, beside));
    IKVUnit* scenes = rig.Scene().Scene().FindCamera();
    ASSERT_TRUE(scenes == over || scenes == beside);
    for (const KVScreenPoint& p : {KVScreenPoint{10, 10}, KVScreenPoint{600, 10}, KVScreenPoint{512, 700}}) {
        const bool through = mesh->IsPointInside(p, nullptr, scenes);
        EXPECT_EQ(mesh->IsPointInside(p, nullptr, nullptr), through) << p.x << "," << p.y;
        EXPECT_EQ(rig.Scene().Scene().IsPointInside(mesh, p, true, nullptr, nullptr), through) << p.x;
    }
}

// A letterboxed camera: a game point off the game area lies in the bars
// and picks no mesh, though the camera's ray there would reach it.
TEST_F(KVUnitMeshTest, APointOffTheGameAreaPicksNoMesh) {
    WriteMeshFile(Root(), "grid.kv3d", GridMeshFile(2, 1.0f));
    KVUnitMesh* mesh = Mesh("grid.kv3d");
    ASSERT_NE(mesh->GetMesh(), nullptr);
    KVTestCameraUnit* over = rig.Camera({0.5f, 10, 0.5f}, {0.5f, -10, 0.5f});
    over->viewport = {0, 20, 512, 748};
    ASSERT_TRUE(over->active);
    EXPECT_TRUE(mesh->IsPointInside({10, -1}, nullptr, over));
    EXPECT_TRUE(mesh->IsPointInside({10, 10}, nullptr, nullptr));
    EXPECT_TRUE(mesh->IsPointInside({10, 767}, nullptr, nullptr));
    for (const KVScreenPoint& bar : {KVScreenPoint{10, -1}, KVScreenPoint{10, 768}, KVScreenPoint{1024, 30}}) {
        EXPECT_FALSE(mesh->IsPointInside(bar, nullptr, nullptr)) << bar.x << "," << bar.y;
        EXPECT_FALSE(rig.Scene().Scene().IsPointInside(mesh, bar, true, nullptr, nullptr)) << bar.x << "," << bar.y;
    }
}

TEST_F(KVUnitMeshTest, TheMirroredDrawLendsTheReflectedMatrixThenGivesItBack) {
    WriteMeshFile(Root(), "grid.kv3d", GridMeshFile(2, 1.0f));
    KVUnitMesh* mesh = Mesh("grid.kv3d");
    ASSERT_NE(mesh->GetMesh(), nullptr);
    mesh->SetPosition({2, 0, 0});
    float kept[16];
    std::memcpy(kept, mesh->GetMesh()->GetMatrix(), sizeof kept);
    ASSERT_EQ(kept[12], 2.0f);
    rig.Device().ClearCalls();
    // The plane x = 1: {d = -1, n = (1, 0, 0)}.
    const float plane[4] = {-1, 1, 0, 0};
    mesh->DrawMirrored(plane, 3);
    const std::vector<KVDeviceCall> worlds = rig.Device().CallsOf("SetTransform");
    ASSERT_FALSE(worlds.empty());
    EXPECT_EQ(worlds[0].ints[0], 1);
    EXPECT_FLOAT_EQ(worlds[0].floats[12], 0.0f);  // 2 reflected in x = 1
    EXPECT_FLOAT_EQ(worlds[0].floats[0], -1.0f);
    const std::vector<KVDeviceCall> materials = rig.Device().CallsOf("SetMaterial");
    ASSERT_FALSE(materials.empty());
    EXPECT_EQ(materials[0].material.backfaceCulling, 2u);
    EXPECT_EQ(materials[0].material.extraWord2, 2u);
    EXPECT_EQ(materials[0].material.extraWord3, 3u);
    EXPECT_EQ(std::memcmp(mesh->GetMesh()->GetMatrix(), kept, sizeof kept), 0);
    EXPECT_EQ(mesh->GetPosition()->x, 2.0f);
}

// The object keeps its own scale and angles through a mirrored draw, so a
// scale written again each frame leaves the matrix as it was.
TEST_F(KVUnitMeshTest, TheMirroredDrawKeepsTheObjectsScaleAndRotation) {
    WriteMeshFile(Root(), "grid.kv3d", GridMeshFile(2, 1.0f));
    KVUnitMesh* mesh = Mesh("grid.kv3d");
    ASSERT_NE(mesh->GetMesh(), nullptr);
    rig.Run("M.Position_X = 2 M.Rotation_Y = 0.5 M.Scale_X = 2 M.Scale_Y = 3 M.Scale_Z = 0.5");
    IKVObject3D* object = mesh->GetMesh();
    float kept[16];
    std::memcpy(kept, object->GetMatrix(), sizeof kept);
    const float plane[4] = {-1, 1, 0, 0};
    for (int frame = 0; frame < 3; ++frame) {
        mesh->DrawMirrored(plane, 1);
        EXPECT_THAT(std::vector<float>(object->GetScale(), object->GetScale() + 3), ElementsAre(2.0f, 3.0f, 0.5f));
        EXPECT_FLOAT_EQ(object->GetRotation()[1], 0.5f);
        rig.Run("M.Scale_X = 2 M.Rotation_Y = 0.5");
        for (int i = 0; i < 16; ++i) EXPECT_NEAR(object->GetMatrix()[i], kept[i], 1e-5f) << "frame " << frame << " " << i;
    }
    EXPECT_FLOAT_EQ(mesh->GetScale()->x, 2.0f);
}

// Each list asks the unit's visibility afresh: the bounding sphere goes to
// the draw queue with AutoClipped, the unit to the reflectable list with
// MirrorReflectable and to the blended list when its mesh is transparent.
TEST_F(KVUnitMeshTest, QueryVisibleFilesTheSphereAndTheReflectableAndBlendedLists) {
    WriteBlended("blend.kv3d");
    WriteMeshFile(Root(), "grid.kv3d", GridMeshFile(2, 1.0f));
    KVUnitMesh* mesh = Mesh("grid.kv3d");
    ASSERT_NE(mesh->GetMesh(), nullptr);
    KVSceneManager& scene = rig.Scene().Scene();
    auto filed = [&](int32_t list) {
        const std::vector<int32_t>& units = scene.GetList(list);
        return std::count(units.begin(), units.end(), mesh->GetIndex());
    };
    struct Case {
        const char* code;
        size_t items;  // draw items queued by one query
        long reflected, blended;
    };
    const Case cases[] = {
        {"M.AutoClipped = false M.MirrorReflectable = false", 0, 0, 0},
        // The 3D base queues its position first, the mesh its sphere.
        {"M.AutoClipped = true", 2, 0, 0},
        {"M.AutoClipped = false M.MirrorReflectable = true", 0, 1, 0},
        {"M.MirrorReflectable = false M.Mesh = 'blend.kv3d'", 0, 0, 1},
        {"M.AutoClipped = true M.MirrorReflectable = true M.Visible = false", 0, 0, 0},
        {"M.Visible = true M.Mesh = ''", 1, 1, 0},
    };
    for (const Case& c : cases) {
        rig.Run(c.code);
        const size_t queued = scene.GetDrawQueue().size();
        const long reflected = filed(KVSCENE_LIST_REFLECTED), blended = filed(KVSCENE_LIST_PREPARED);
        bool visible = false;
        mesh->QueryVisible(&visible, 0);
        EXPECT_EQ(scene.GetDrawQueue().size() - queued, c.items) << c.code;
        EXPECT_EQ(filed(KVSCENE_LIST_REFLECTED) - reflected, c.reflected) << c.code;
        EXPECT_EQ(filed(KVSCENE_LIST_PREPARED) - blended, c.blended) << c.code;
    }

    // The sphere follows the unit's transform.
    rig.Run("M.Mesh = 'grid.kv3d' M.AutoClipped = true M.Position_X = 3");
    bool visible = false;
    mesh->QueryVisible(&visible, 0);
    const float* sphere = mesh->GetMesh()->GetBoundingSphere();
    const KVDrawItem item = scene.GetDrawQueue().back();
    EXPECT_EQ(item.x, sphere[0]);
    EXPECT_EQ(item.y, sphere[1]);
    EXPECT_EQ(item.z, sphere[2]);
    EXPECT_EQ(item.radius, sphere[3]);
    EXPECT_FLOAT_EQ(item.x, 3.0f);
}

// The blended pass draws the transparent parts only, and only for a mesh
// that has some.
TEST_F(KVUnitMeshTest, PrepareDrawRunsTheBlendedPassOfATransparentMesh) {
    WriteBlended("blend.kv3d");
    WriteMeshFile(Root(), "grid.kv3d", GridMeshFile(2, 1.0f));
    KVUnitMesh* mesh = Mesh("grid.kv3d");
    rig.Device().ClearCalls();
    EXPECT_EQ(mesh->PrepareDraw(), KV_OK);
    EXPECT_EQ(rig.Device().Count("DrawPart"), 0u);
    mesh->Draw();
    EXPECT_EQ(rig.Device().Count("DrawPart"), 1u);

    rig.Run("M.Mesh = 'blend.kv3d'");
    ASSERT_TRUE(mesh->GetMesh()->IsTransparent());
    rig.Device().ClearCalls();
    EXPECT_EQ(mesh->PrepareDraw(), KV_OK);
    EXPECT_EQ(rig.Device().Count("DrawPart"), 1u);
    // The plain draw is the opaque pass: nothing of this mesh.
    rig.Device().ClearCalls();
    mesh->Draw();
    EXPECT_EQ(rig.Device().Count("DrawPart"), 0u);

    rig.Run("M.Mesh = ''");
    EXPECT_EQ(mesh->PrepareDraw(), KV_OK);
}

// The draw hands the mesh the Shader unit's fields that it overrides; the
// mirrored draw's own fields come first and win.
TEST_F(KVUnitMeshTest, TheDrawMergesTheShaderUnitsMaterial) {
    WriteMeshFile(Root(), "grid.kv3d", GridMeshFile(2, 1.0f));
    KVUnitMesh* mesh = Mesh("grid.kv3d");
    KV3DMesh* object = Object(mesh);
    ASSERT_NE(object, nullptr);
    auto* shader = rig.Make<KVUnitShader>("Shader", "Sh");
    rig.Run("Sh.Shininess = 7 Sh.AlphaRef = 9 Sh.BackfaceCulling = false Sh.Fog = true");
    // Fog (sub-flag 8) is not imposed.
    const int32_t active = rig.Factory().FindAttributeIndex(shader->GetClassIndex(), "Active");
    ASSERT_GE(active, 0);
    rig.Factory().SetAttributeText(shader->GetIndex(), active, 8, "false", false);
    const uint32_t imposed = shader->GetMaterial()->overrideFlags;
    ASSERT_EQ(imposed & (KV_MATERIAL_SHININESS | KV_MATERIAL_ALPHA_REFERENCE | KV_MATERIAL_BACKFACE_CULLING |
                         KV_MATERIAL_FOG),
              uint32_t(KV_MATERIAL_SHININESS | KV_MATERIAL_ALPHA_REFERENCE | KV_MATERIAL_BACKFACE_CULLING));
    mesh->Draw();
    EXPECT_EQ(object->GetMaterial().overrideFlags, 0u);

    rig.Run("M.Shader = Sh");
    mesh->Draw();
    const KV3DMaterial& merged = object->GetMaterial();
    EXPECT_EQ(merged.overrideFlags, imposed);
    EXPECT_EQ(merged.shininess, 7.0f);
    EXPECT_EQ(merged.alphaReference, 9u);
    EXPECT_EQ(merged.backfaceCulling, 0u);
    EXPECT_EQ(merged.fog, KV3DMaterial().fog);
    const std::vector<KVDeviceCall> materials = rig.Device().CallsOf("SetMaterial");
    ASSERT_FALSE(materials.empty());
    EXPECT_EQ(materials.back().material.shininess, 7.0f);

    const float plane[4] = {0, 0, 1, 0};
    mesh->DrawMirrored(plane, 4);
    EXPECT_EQ(object->GetMaterial().backfaceCulling, 2u);
    EXPECT_EQ(object->GetMaterial().extraWord2, 2u);
    EXPECT_EQ(object->GetMaterial().extraWord3, 4u);
    EXPECT_EQ(object->GetMaterial().shininess, 7.0f);
    EXPECT_EQ(object->GetMaterial().overrideFlags,
              imposed | KV_MATERIAL_BACKFACE_CULLING | KV_MATERIAL_EXTRA_WORD2 | KV_MATERIAL_EXTRA_WORD3);

    // Unlinked, the mesh's material is cleared again.
    rig.Run("M.Shader = nil");
    mesh->Draw();
    EXPECT_EQ(object->GetMaterial().overrideFlags, 0u);
}

TEST_F(KVUnitMeshTest, TheShaderMaterialCountsWhileItsUnitIsEnabled) {
    KVUnitMesh* mesh = Mesh(WriteAnimatedBody(Root()));
    auto* shader = rig.Make<KVUnitShader>("Shader", "Sh");
    EXPECT_EQ(mesh->GetShaderMaterial(), nullptr);
    mesh->GetShaderRef()->SetIndex(shader->GetIndex());
    EXPECT_EQ(mesh->GetShaderMaterial(), shader->GetMaterial());
    KVUnit* parent = rig.Make<KVUnit>("Node3D", "P");
    shader->SetParent(parent->GetIndex());
    parent->SetEnabled(false);
    EXPECT_EQ(mesh->GetShaderMaterial(), nullptr);
}

TEST_F(KVUnitMeshTest, CurvePositionsClampTAndSearchFromTheStartSegment) {
    KVUnitMesh* mesh = Mesh(WriteAnimatedBody(Root(), Extras()));
    struct Case {
        float t;
        int32_t start;
        KV3DVector point;
        int32_t segment;
    };
    const Case cases[] = {
        {-1.0f, 0, {0, 0, 0}, 0},    {2.0f, 0, {10, 10, 0}, 1},  {0.25f, 0, {5, 0, 0}, 0},
        {0.75f, 0, {10, 5, 0}, 1},   {0.25f, 9, {5, 0, 0}, 0},   {0.75f, -4, {10, 5, 0}, 1},
        {0.5f, 1, {10, 0, 0}, 1},    {0.5f, 0, {10, 0, 0}, 0},
    };
    for (const Case& c : cases) {
        KV3DVector point;
        EXPECT_EQ(mesh->GetCurvePosition("Path", c.t, c.start, &point), c.segment) << c.t << " from " << c.start;
        EXPECT_FLOAT_EQ(point.x, c.point.x) << c.t;
        EXPECT_FLOAT_EQ(point.y, c.point.y) << c.t;
    }
    rig.Run("p, s = M:GetCurvePosition('Path', 0.25) R = p.x .. ',' .. s");
    EXPECT_EQ(rig.Host().Evaluate("R")[0], "5,0");
    EXPECT_THAT(rig.Reports("M:GetCurvePosition('Nope', 0.5)"), ElementsAre(HasSubstr("Unknown curve name")));
    rig.Run("M.Mesh = ''");
    EXPECT_THAT(rig.Reports("M:GetCurvePosition('Path', 0.5)"), ElementsAre(HasSubstr("Mesh not loaded")));
}

TEST_F(KVUnitMeshTest, EqualKeyTimesAreSkippedNotDividedBy) {
    KV3DWriterMesh extras;
    KV3DWriterCurve curve;
    curve.name = "Flat";
    curve.points = {0, 0, 0, 0.5f, 4, 0, 0, 0.5f, 8, 0, 0, 1};
    extras.curves = {curve};
    KVUnitMesh* mesh = Mesh(WriteAnimatedBody(Root(), extras));
    KV3DVector point;
    EXPECT_EQ(mesh->GetCurvePosition("Flat", 0.5f, 0, &point), 1);
    EXPECT_EQ(point.x, 4.0f);
    EXPECT_EQ(mesh->GetCurvePosition("Flat", 0.25f, 0, &point), 0);
    EXPECT_EQ(point.x, 0.0f);
}

TEST_F(KVUnitMeshTest, AnimationNamesFoldAsciiLettersOnly) {
    WriteAnimatedBody(Root());
    WriteMeshFile(Root(), "\xC3\xA9t\xC3\xA9.kv3d", SubmeshAnimationFile("s0", 5));
    KVUnitMesh* mesh = Mesh("body.kv3d|walk.kv3d|run.kv3d|\xC3\xA9t\xC3\xA9.kv3d");
    ASSERT_EQ(mesh->GetAnimationInfos().size(), 3u);
    const std::pair<const char*, int32_t> cases[] = {
        {"Walk", 0}, {"WALK", 0}, {"walk", 0}, {"RUN", 1}, {"Wal", -1}, {"Walks", -1}, {"W@lk", -1},
        {"\xC3\xA9t\xC3\xA9", 2}, {"\xC3\x89T\xC3\x89", -1}, {"", -1},
    };
    for (const auto& [name, index] : cases) EXPECT_EQ(mesh->FindAnimation(name), index) << name;
    EXPECT_EQ(mesh->GetAnimationName(1), "run");
    EXPECT_EQ(mesh->GetAnimationName(3), "");
    EXPECT_EQ(mesh->GetAnimationName(-1), "");
    rig.Run("M.Mesh = ''");
    EXPECT_EQ(mesh->FindAnimation("Walk"), -1);
}

TEST_F(KVUnitMeshTest, ScriptMethodsReportBadArgumentsAndMissingMeshes) {
    KVUnitMesh* mesh = Mesh("");
    struct Case {
        const char* code;
        const char* report;
    };
    const Case withoutMesh[] = {
        {"M:GetMeshNodePosition('hand')", "GetMeshNodePosition : mesh hand not loaded"},
        {"M:GetMeshNodeRotation('hand')", "GetMeshNodeRotation : mesh hand not loaded"},
        {"M:GetMeshNodePosition(3)", "Bad or missing argument (Arg #1)"},
        {"M:SetAnimation()", "Invalid number of arguments"},
        {"M:SetAnimation(0)", "animation index out of range"},
        {"M:SetAnimation('Walk')", "Unknown animation name: Walk"},
        {"M:AddAnimationEvent(0, 'e', 1)", "mesh not loaded"},
        {"M:RemoveAnimationEvent(0, 'e')", "mesh not loaded"},
        {"M:RemoveAllAnimationEvents(0)", "mesh not loaded"},
        {"M:AddAnimationEvent(0, 'e')", "Invalid number of arguments"},
        {"M:ReplaceTexture('a')", "Invalid number of arguments"},
        {"M:SetBlendshapeWeight('a', 1, 2)", "Invalid number of arguments"},
        {"M:GetAnimationInfos()", "Invalid number of arguments"},
        {"M:GetCurvePosition('c')", "Invalid number of arguments"},
    };
    for (const Case& c : withoutMesh) EXPECT_THAT(rig.Reports(c.code), ElementsAre(HasSubstr(c.report))) << c.code;
    EXPECT_TRUE(rig.Reports("M:SetAnimation('')").empty());
    EXPECT_EQ(rig.Host().Evaluate("M:GetAnimation()")[0], "-1");
    EXPECT_EQ(rig.Host().Evaluate("M:GetAnimationName()")[0], "");
    EXPECT_EQ(rig.Host().Evaluate("M:GetNbAnimation()")[0], "0");

    rig.Run("M.Mesh = '" + WriteAnimatedBody(Root()) + "'");
    ASSERT_NE(mesh->GetMesh(), nullptr);
    const Case withMesh[] = {
        {"M:SetAnimation(2)", "animation index out of range"},
        {"M:GetAnimationInfos(-1)", "animation index out of range"},
        {"M:GetAnimationInfos(true)", "Bad or missing argument (Arg #1)"},
        {"M:AddAnimationEvent('Jump', 'e', 1)", "Unknown animation name: Jump"},
    };
    for (const Case& c : withMesh) EXPECT_THAT(rig.Reports(c.code), ElementsAre(HasSubstr(c.report))) << c.code;
    rig.Run("p, found = M:GetMeshNodePosition('s0') F = tostring(found) .. p.x");
    EXPECT_EQ(rig.Host().Evaluate("F")[0], "true0");
    rig.Run("p, found = M:GetMeshNodePosition('nothing') F = tostring(found) .. p.x");
    EXPECT_EQ(rig.Host().Evaluate("F")[0], "false0");
    rig.Run("i = M:GetAnimationInfos('run') F = i.name .. i.index .. ' ' .. i.duration");
    EXPECT_EQ(rig.Host().Evaluate("F")[0], "run1 2");
    EXPECT_EQ(rig.Host().Evaluate("M:GetNbAnimation()")[0], "2");
    EXPECT_TRUE(rig.Reports("M:ReplaceTexture('a', '') M:SetBlendshapeWeight('none', 1)").empty());
}

} // namespace
