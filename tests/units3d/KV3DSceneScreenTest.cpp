// A whole 3D scene on the engine's OpenGL ES device, headless: an animated
// mesh with the light, camera and curve of its file as children, a decal
// with its own texture and a projected decal, a shader, fog, a mirror and a
// particle emitter run 100 frames. The device's 3D face draws nothing, so
// every frame shows the pixels of the same scene without them.
#include <gtest/gtest.h>

#include <vector>

#include "kernel/KVModules.h"
#include "support/KVMeshUnitFiles.h"
#include "support/KVPngWriter.h"
#include "support/KVSceneRig.h"
#include "units/IKVUnitRef.h"
#include "units/KVSerialize.h"
#include "units3d/KV3D.h"
#include "units3d/KV3DDecal.h"
#include "units3d/KV3DInterface.h"
#include "units3d/KVUnit3DMirror.h"
#include "units3d/KVUnitDecal.h"
#include "units3d/KVUnitMesh.h"

using namespace kvl;
using namespace kvtest;

namespace {

constexpr int32_t kWidth = 64;
constexpr int32_t kHeight = 48;

std::vector<uint32_t> Frame(KVSceneRig& rig) {
    rig.Factory().Update(1.0f / 30.0f);
    EXPECT_EQ(rig.Scene().Draw(), KV_OK);
    return rig.ScreenPixels();
}

TEST(KV3DSceneScreenTest, AnAnimatedSceneLeavesThePixelsAsTheyAre) {
    KVSceneRig::Options options;
    options.screen = true;
    options.engineCameras = true;
    options.width = kWidth;
    options.height = kHeight;
    // The 3D module as start-up makes it; the screen's device answers the
    // 3D face.
    options.beforePhase1 = [] { KVModules::Instance()->RegisterModule(&Create3DInterface); };
    KVSceneRig rig(options);
    ASSERT_TRUE(rig.Ready());
    // The engine's own classes, not the scene rig's stand-ins.
    rig.Factory().GetClass(rig.Factory().FindClassByName("Mesh"))->create = &KVUnitMesh::Create;
    rig.Factory().GetClass(rig.Factory().FindClassByName("Mirror"))->create = &KVUnit3DMirror::Create;
    KVSerialize::Instance()->LoadProject(rig.Host().Root() + "none.kvp");

    rig.Quad("Red", {8, 8, 24, 24}, nullptr, 0xFFFF0000u);
    rig.Quad("Green", {16, 16, 40, 40}, nullptr, 0xFF00FF00u)->SetSceneList(1);
    const std::vector<uint32_t> without = Frame(rig);
    ASSERT_EQ(rig.PixelAt(10, 10), 0xFFFF0000u);

    KV3DWriterMesh extras;
    KV3DWriterCurve curve;
    curve.name = "Path";
    curve.points = {0, 0, 0, 0, 1, 0, 0, 1};
    extras.curves = {curve};
    KV3DWriterCamera camera;
    camera.name = "Eye";
    camera.position[2] = 10;
    extras.cameras = {camera};
    KV3DWriterLight light;
    light.name = "Lamp";
    extras.lights = {light};
    const std::string mesh = WriteAnimatedBody(rig.Host().Root(), extras);
    WriteMeshFile(rig.Host().Root(), "grid.kv3d", GridMeshFile(4, 1.0f));
    rig.Host().Dir().WriteFile("assets/stain.png", WritePngArgb(2, 2, {0xFFFFFFFF, 0, 0, 0xFFFFFFFF}));

    auto* body = static_cast<KVUnitMesh*>(rig.Host().NamedUnit("Mesh", "Body", {}));
    ASSERT_TRUE(rig.Host().Run("function Body.OnEndAnimation(a, r) Body:SetAnimation((a + 1) % 2, {loop = 1}) end"));
    auto* shader = rig.Make<KVUnit>("Shader", "Sh");
    rig.Make<KVUnit>("Fog", "Mist");
    rig.Make<KVUnit>("Mirror", "Glass");
    rig.Make<KVUnit>("ParticleEmitter", "Sparks");
    auto* decal = rig.Make<KVUnitDecal>("Decal", "Stain");
    auto* grid = rig.Make<KVUnitMesh>("Mesh", "Floor");
    std::string error;
    ASSERT_TRUE(rig.Host().Run("Body.Mesh = '" + mesh +
                                   "' Body.MirrorReflectable = true Body.AnimationLoop = 1"
                                   " Floor.Mesh = 'grid.kv3d' Stain.Textures = 'stain.png' Sparks:SetEmit(true)",
                               &error))
        << error;
    ASSERT_NE(body->GetMesh(), nullptr);
    ASSERT_NE(grid->GetMesh(), nullptr);
    EXPECT_EQ(body->GetChildren()->Size(), 3u);
    body->GetShaderRef()->SetIndex(shader->GetIndex());
    decal->GetDecalShaderRef()->SetIndex(shader->GetIndex());

    IKVDecal* projected = nullptr;
    ASSERT_EQ(KV3D::Instance()->CreateDecal(&projected), KV_OK);
    const KV3DVector ray[2] = {{0.3f, 5, 0.2f}, {0.3f, -5, 0.2f}};
    const KV3DVector up{0, 0, 1};
    const float size[2] = {1, 1};
    EXPECT_EQ(projected->Build(grid, ray, &up, size, 0.01f, 0.5f), KV_OK);
    EXPECT_EQ(projected->SetTexture(decal->GetTextures().empty() ? nullptr : decal->GetTextures()[0]), KV_OK);

    for (int frame = 0; frame < 100; ++frame) {
        ASSERT_EQ(Frame(rig), without) << "frame " << frame;
        projected->Draw();
    }
    EXPECT_EQ(body->GetLayerAnimation(0) >= 0, true);
    projected->Release();
}

} // namespace
