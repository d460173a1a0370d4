// A letterboxed 3D scene as a game stores and plays it: a camera whose
// viewport leaves bars above and below, looking at a mesh from a file that
// has no materials. The mesh loads and is picked at every game point (the
// viewport shows the whole game area), never off it, in the bars; a script
// may move the viewport anywhere in the 32-bit range.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "support/KVGameRig.h"
#include "support/KVMeshUnitFiles.h"
#include "support/KVSceneUnitsWriter.h"
#include "units/KVAttributeDesc.h"
#include "units/KVUnit3D.h"
#include "units3d/KVUnitCamera.h"
#include "units3d/KVUnitMesh.h"

using namespace kvl;
using namespace kvtest;

namespace {

// The game's screen is 64 x 48; the viewport leaves 8 rows above and below.
std::vector<uint8_t> LetterboxScene() {
    KVSceneUnitsWriter units;
    units.AddClassUnit(KVUnitCamera::kClassId, "Camera", "C", 1,
                       {{{KVUnit3D::kPositionId, KVATTR_F32, 3}, KVStored::F32s({0.0f, 10.0f, 5.0f})},
                        {{KVUnitCamera::kTargetId, KVATTR_F32, 3}, KVStored::F32s({0.0f, 0.0f, 0.0f})},
                        {{KVUnitCamera::kViewportId, KVATTR_S32, 4}, KVStored::I32s({0, 8, 64, 40})},
                        {{KVUnitCamera::kActiveId, KVATTR_BOOLEAN, 1}, KVStored::Bool(true)}});
    units.AddClassUnit(KVUnitMesh::kClassId, "Mesh", "M", 2,
                       {{{KVUnitMesh::kMeshId, KVATTR_PATHS, 1}, KVStored::String("grid.kv3d", true)}});
    return units.Scene(0x20004, KVGameRig::kProjectId);
}

} // namespace

TEST(KVMeshPickGameTest, AMeshWithoutMaterialsIsPickedInsideTheViewportOnly) {
    KVGameRig game;
    // A wide floor, so that every pick ray of the camera would reach it.
    KV3DWriterMesh floor = GridMeshFile(20, 2.0f);
    floor.materials.clear();
    WriteMeshFile(game.Root(), "grid.kv3d", floor);
    game.AddScene("scenes/main.kvl", LetterboxScene());
    ASSERT_TRUE(game.Start());
    game.Step(3);
    EXPECT_EQ(game.CountLog("Invalid geometry block"), 0u);
    auto* mesh = dynamic_cast<KVUnitMesh*>(game.Find("M"));
    ASSERT_NE(mesh, nullptr);
    EXPECT_NE(mesh->GetMesh(), nullptr);

    // The game's own camera and scene manager, at game points: in the game
    // area the mesh is hit and a script finds the floor under the point;
    // off it (in the bars) nothing is hit, though the camera's ray there
    // would reach the floor too.
    const struct {
        int32_t x, y;
        bool inside;
    } picks[] = {
        {30, 24, true}, {5, 0, true}, {60, 47, true}, {30, 2, true},  // in the game area
        {30, -3, false}, {5, -1, false}, {60, 48, false}, {64, 20, false},  // in the bars
    };
    for (const auto& p : picks) {
        const std::string at = std::to_string(p.x) + ", " + std::to_string(p.y);
        EXPECT_EQ(mesh->IsPointInside({p.x, p.y}, nullptr, nullptr), p.inside) << at;
        auto* camera = dynamic_cast<KVUnitCamera*>(game.Find("C"));
        ASSERT_NE(camera, nullptr);
        EXPECT_TRUE(mesh->IsPointInside({p.x, p.y}, nullptr, camera)) << at;
        if (p.inside) {
            EXPECT_EQ(game.Eval("KVScene.Convert2DTo3D(" + at + ") ~= false"), "true") << at;
        }
    }

    // Viewports at the ends of the integer range, from a script, drawn and
    // kept as they were given.
    const int64_t viewports[][4] = {{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX},
                                    {INT32_MAX - 47, INT32_MAX - 47, INT32_MAX, INT32_MAX},
                                    {INT32_MIN, 0, INT32_MIN + 48, 48}};
    for (const auto& v : viewports) {
        const std::string text = std::to_string(v[0]) + ", " + std::to_string(v[1]) + ", " + std::to_string(v[2]) +
                                 ", " + std::to_string(v[3]);
        SCOPED_TRACE(text);
        game.Run("C.Viewport_Left, C.Viewport_Top, C.Viewport_Right, C.Viewport_Bottom = " + text);
        game.Step(2);
        EXPECT_EQ(game.Eval("C.Viewport_Left .. ', ' .. C.Viewport_Top .. ', ' .. C.Viewport_Right .. ', ' .. "
                            "C.Viewport_Bottom"),
                  text);
    }
    EXPECT_TRUE(game.ScriptErrors().empty());
}
