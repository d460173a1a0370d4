// Meshes and mirrors as a game stores and plays them: units of a scene
// file, scripts as a game writes them, whole frames of the program through
// the game rig, one full-screen camera. A mesh and a mirror are filed in
// the draw lists like the decals, the particle emitter and the 2D shape
// around them, sorted by depth, listed by "UnitsAt" and numbered for input;
// the mesh's own draw runs in the engine's frame with its shader's
// material (seen on a recording 3D face beside the platform's device). A
// frozen animation is silent; a centred crosshair picks a centred square.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "support/KVGameRig.h"
#include "support/KVMeshUnitFiles.h"
#include "support/KVRecording3DDevice.h"
#include "support/KVSceneUnitsWriter.h"
#include "units/KVAttributeDesc.h"
#include "units/KVUnit.h"
#include "units/KVUnit2D.h"
#include "units/KVUnit3D.h"
#include "units/KVUnitDisplay3D.h"
#include "units2d/KVUnitShape.h"
#include "units3d/KVUnit3DMirror.h"
#include "units3d/KVUnitCamera.h"
#include "units3d/KVUnitDecal.h"
#include "units3d/KVUnitMesh.h"
#include "units3d/KVUnitParticleEmitter.h"
#include "units3d/KVUnitShader.h"

using namespace kvl;
using namespace kvtest;

namespace {

constexpr float kQuarterTurn = 1.5707964f;

// The camera at (0, 0, 10) looking down -z over the whole 64 x 48 screen.
void AddCamera(KVSceneUnitsWriter& units, uint64_t uid) {
    units.AddClassUnit(KVUnitCamera::kClassId, "Camera", "Eye", uid,
                       {{{KVUnit3D::kPositionId, KVATTR_F32, 3}, KVStored::F32s({0.0f, 0.0f, 10.0f})},
                        {{KVUnitCamera::kTargetId, KVATTR_F32, 3}, KVStored::F32s({0.0f, 0.0f, 0.0f})},
                        {{KVUnitCamera::kViewportId, KVATTR_S32, 4}, KVStored::I32s({0, 0, 64, 48})},
                        {{KVUnitCamera::kActiveId, KVATTR_BOOLEAN, 1}, KVStored::Bool(true)}});
}

// Where a 3D unit stands; turned a quarter about x, the units' own y = 0
// planes (decals, mirrors, the grid) face the camera.
std::vector<KVStoredValue> Placed(float z, bool turned = true) {
    std::vector<KVStoredValue> values = {
        {{KVUnit3D::kPositionId, KVATTR_F32, 3}, KVStored::F32s({0.0f, 0.0f, z})}};
    if (turned)
        values.push_back({{KVUnit3D::kRotationId, KVATTR_F32_ROTATION, 3}, KVStored::F32s({kQuarterTurn, 0.0f, 0.0f})});
    return values;
}

std::vector<KVStoredValue> With(std::vector<KVStoredValue> values, const std::vector<KVStoredValue>& more) {
    values.insert(values.end(), more.begin(), more.end());
    return values;
}

// The units a point hits, topmost first, as a script lists them.
const char* kUnitsAtCentre =
    "(function() local n = {} for i, u in ipairs(KVScene.UnitsAt(32, 24)) do n[i] = u.Name end "
    "return table.concat(n, ', ') end)()";

TEST(KVMeshSceneGameTest, MeshesAndMirrorsAreListedSortedNumberedAndDrawnAmongDecalsAndShapes) {
    KVGameRig game;
    game.AddModule(&KVRecording3DDevice::CreateFace3D);
    WriteMeshFile(game.Root(), "grid.kv3d", GridMeshFile(2, 1.0f));

    // Filed in an order of their own; the sorter puts the 3D units far to
    // near and the shape after them, the mesh whose shader writes no colour
    // before everything.
    const uint64_t kTint = 20, kBlind = 21;
    KVSceneUnitsWriter units;
    AddCamera(units, 1);
    units.AddClassUnit(KVUnitShader::kClassId, "Shader", "Tint", kTint,
                       {{{KVUnitShader::kEmissiveId, KVATTR_COLOR, 1}, KVStored::U32(0xFF00FF00u)}});
    units.AddClassUnit(KVUnitShader::kClassId, "Shader", "Blind", kBlind,
                       {{{KVUnitShader::kColorEnabledId, KVATTR_BOOLEAN, 1}, KVStored::Bool(false)}});
    const KVStoredValue grid{{KVUnitMesh::kMeshId, KVATTR_PATHS, 1}, KVStored::String("grid.kv3d", true)};
    const KVSceneAttributeSpec shader{KVUnitDisplay3D::kShaderId, KVATTR_UNIT, 1};
    units.AddClassUnit(KVUnitDecal::kClassId, "Decal", "Midl", 2, Placed(0.0f));
    units.AddClassUnit(KVUnitMesh::kClassId, "Mesh", "Body", 3,
                       With(Placed(2.0f), {grid, {shader, KVStored::Link(kTint)}}));
    units.AddClassUnit(KVUnitShape::kClassId, "Shape", "Boxy", 4,
                       {{{KVUnit2D::kPositionId, KVATTR_F32, 2}, KVStored::F32s({0.0f, 0.0f})},
                        {{KVUnit2D::kDimensionId, KVATTR_S32, 2}, KVStored::I32s({64, 48})}});
    units.AddClassUnit(KVUnitDecal::kClassId, "Decal", "Near", 5, Placed(5.0f));
    units.AddClassUnit(KVUnit3DMirror::kClassId, "Mirror", "Glass", 6,
                       With(Placed(1.0f), {{{KVUnit3DMirror::kSizeId, KVATTR_F32, 2}, KVStored::F32s({2.0f, 2.0f})}}));
    units.AddClassUnit(KVUnitMesh::kClassId, "Mesh", "Ghost", 7,
                       With(Placed(3.0f), {grid, {shader, KVStored::Link(kBlind)}}));
    units.AddClassUnit(KVUnitDecal::kClassId, "Decal", "Farr", 8, Placed(-5.0f));
    // Drawn among them, but never picked: a mesh unit whose file is not
    // there, and an emitter outside the editor.
    units.AddClassUnit(KVUnitMesh::kClassId, "Mesh", "Void", 10,
                       With(Placed(4.0f), {{grid.record, KVStored::String("none.kv3d", true)}}));
    units.AddClassUnit(KVUnitParticleEmitter::kClassId, "ParticleEmitter", "Sparks", 9, Placed(-2.0f, false));
    game.AddScene("scenes/main.kvl", units.Scene(0x20004, KVGameRig::kProjectId));
    ASSERT_TRUE(game.Start());
    KVRecording3DDevice* device = KVRecording3DDevice::instance;
    ASSERT_NE(device, nullptr);
    game.Step(2);
    auto* body = dynamic_cast<KVUnitMesh*>(game.Find("Body"));
    auto* ghost = dynamic_cast<KVUnitMesh*>(game.Find("Ghost"));
    ASSERT_TRUE(body && body->GetMesh() && ghost && ghost->GetMesh());

    EXPECT_EQ(game.Eval(kUnitsAtCentre), "Boxy, Near, Body, Glass, Midl, Farr, Ghost");
    // Input takes the same order: the draw numbers of the last frame.
    const char* drawn[] = {"Ghost", "Farr", "Sparks", "Midl", "Glass", "Body", "Void", "Near", "Boxy"};
    for (int32_t i = 0; i < 9; ++i) {
        KVUnit* unit = game.Find(drawn[i]);
        ASSERT_NE(unit, nullptr) << drawn[i];
        EXPECT_EQ(unit->GetDrawNumber(), i) << drawn[i];
    }
    // Beside the point, only the shape.
    EXPECT_EQ(game.Eval("#KVScene.UnitsAt(1, 1) .. KVScene.UnitsAt(1, 1)[1].Name"), "1Boxy");

    // One frame as the engine draws it: each mesh chooses its lights and
    // draws its one part in the opaque pass with its shader's material, the
    // colourless one first.
    device->ClearCalls();
    game.Step(1);
    EXPECT_EQ(device->Count("GetMaxLights"), 2u);
    const std::vector<KVDeviceCall> parts = device->CallsOf("DrawPart");
    ASSERT_EQ(parts.size(), 2u);
    std::vector<KV3DMaterial> materials;
    for (const KVDeviceCall& call : device->Calls()) {
        if (call.name == "SetMaterial") materials.push_back(call.material);
        if (call.name == "DrawPart") break;
    }
    ASSERT_FALSE(materials.empty());
    EXPECT_TRUE(materials.back().overrideFlags & KV_MATERIAL_COLOR_WRITE);
    EXPECT_EQ(materials.back().colorWrite, 0u);
    bool tinted = false;
    for (const KVDeviceCall& call : device->CallsOf("SetMaterial"))
        tinted = tinted || ((call.material.overrideFlags & KV_MATERIAL_EMISSIVE) && call.material.emissive[0] == 0.0f &&
                            call.material.emissive[1] == 1.0f && call.material.emissive[2] == 0.0f);
    EXPECT_TRUE(tinted);

    // Hidden, a mesh is neither drawn nor listed; shown again, both.
    game.Run("Body.Visible = false");
    device->ClearCalls();
    game.Step(1);
    EXPECT_EQ(device->Count("DrawPart"), 1u);
    EXPECT_EQ(game.Eval(kUnitsAtCentre), "Boxy, Near, Glass, Midl, Farr, Ghost");
    game.Run("Body.Visible = true Glass.Visible = false");
    game.Step(1);
    EXPECT_EQ(game.Eval(kUnitsAtCentre), "Boxy, Near, Body, Midl, Farr, Ghost");
    EXPECT_TRUE(game.ScriptErrors().empty()) << game.ScriptErrors().front();
}


size_t CountOf(const std::vector<std::string>& records, const std::string& text) {
    size_t n = 0;
    for (const std::string& r : records) n += r == text;
    return n;
}

TEST(KVMeshSceneGameTest, AMeshFrozenFromItsOwnEventIsSilentAndGoesOnWhereItStopped) {
    // Walk lasts 1 s and plays three times; its event lies in the middle of
    // a pass, or at its very end, where the pass is also finished. The mesh
    // freezes itself at the first event, or is stored frozen.
    const struct {
        const char* time;
        bool stored;
        // Events heard before the freeze; frames at least from the thaw to
        // the end of the third pass.
        size_t before;
        int32_t after;
    } rows[] = {{"0.5", false, 1, 120}, {"1.0", false, 1, 95}, {"0.5", true, 0, 145}};
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string("event at ") + row.time + (row.stored ? ", stored frozen" : ""));
        KVGameRig game;
        const std::string meshText = WriteAnimatedBody(game.Root());
        KVSceneUnitsWriter units;
        units.AddClassUnit(KVUnitMesh::kClassId, "Mesh", "M", 1,
                           {{{KVUnitMesh::kMeshId, KVATTR_PATHS, 1}, KVStored::String(meshText, true)},
                            {{KVUnitMesh::kAnimationLoopId, KVATTR_U32, 1}, KVStored::U32(3)},
                            {{KVUnitMesh::kFrozenId, KVATTR_BOOLEAN, 1}, KVStored::Bool(row.stored)}});
        game.AddScene("scenes/main.kvl", units.Scene(0x20004, KVGameRig::kProjectId));
        game.WriteScript("m.lua", std::string("M = {}\nlocal frozen = ") + (row.stored ? "true" : "false") +
                                      "\nfunction M.OnEnable() M:AddAnimationEvent('walk', 'step', " + row.time +
                                      ") end\n"
                                      "function M.OnAnimationEvent(animation, event, unit)\n"
                                      "  TestRecorder.Record(animation .. ' ' .. event)\n"
                                      "  if not frozen then frozen = true M.Frozen = true end\n"
                                      "end\n"
                                      "function M.OnEndAnimation(animation, reason)\n"
                                      "  TestRecorder.Record('end ' .. animation .. ' ' .. reason)\n"
                                      "end\n");
        ASSERT_TRUE(game.Start());
        auto* mesh = dynamic_cast<KVUnitMesh*>(game.Find("M"));
        ASSERT_NE(mesh, nullptr);
        game.StepUntil([&] { return game.Records().size() == row.before; }, 100);
        // The automatic animation has started by then, frozen or not.
        game.Step(2);
        ASSERT_EQ(game.Records().size(), row.before);
        float stopped = -1.0f;
        EXPECT_EQ(mesh->GetLayerTime(0, &stopped), KV_OK);

        // Frozen: no event again, no end, no loop spent, no time passing.
        game.Step(80);
        EXPECT_EQ(game.Records().size(), row.before);
        float now = -2.0f;
        EXPECT_EQ(mesh->GetLayerTime(0, &now), KV_OK);
        EXPECT_EQ(now, stopped);

        // Going on from there: each pass left raises the event once, then
        // the end comes after the third pass.
        game.Run("M.Frozen = false");
        const int32_t unfrozen = game.Frames();
        ASSERT_TRUE(game.StepUntil([&] { return CountOf(game.Records(), "end 0 0") != 0; }, 250));
        EXPECT_EQ(CountOf(game.Records(), "walk step"), 3u);
        EXPECT_EQ(CountOf(game.Records(), "end 0 0"), 1u);
        EXPECT_GE(game.Frames() - unfrozen, row.after);
        EXPECT_TRUE(game.ScriptErrors().empty()) << game.ScriptErrors().front();
    }
}

// A square of two triangles whose diagonal runs through its centre.
KV3DWriterMesh Square(bool otherDiagonal) {
    const std::vector<KVSurfaceVertex> corners = {
        {-1, -1, 0, 0, 0, 1}, {1, -1, 0, 0, 0, 1}, {1, 1, 0, 0, 0, 1}, {-1, 1, 0, 0, 0, 1}};
    return SurfaceMeshFile(corners, otherDiagonal ? std::vector<uint16_t>{0, 1, 3, 1, 2, 3}
                                                  : std::vector<uint16_t>{0, 1, 2, 0, 2, 3});
}

TEST(KVMeshSceneGameTest, ACentredCrosshairPicksACentredSquare) {
    for (bool otherDiagonal : {false, true}) {
        SCOPED_TRACE(otherDiagonal ? "split from (1, -1) to (-1, 1)" : "split from (-1, -1) to (1, 1)");
        KVGameRig game;
        WriteMeshFile(game.Root(), "square.kv3d", Square(otherDiagonal));
        KVSceneUnitsWriter units;
        AddCamera(units, 1);
        units.AddClassUnit(KVUnitMesh::kClassId, "Mesh", "Q", 2,
                           {{{KVUnitMesh::kMeshId, KVATTR_PATHS, 1}, KVStored::String("square.kv3d", true)}});
        game.AddScene("scenes/main.kvl", units.Scene(0x20004, KVGameRig::kProjectId));
        ASSERT_TRUE(game.Start());
        game.Step(2);
        const std::string pick = "(function(x, y, mesh) local hit, p = KVScene.Convert2DTo3D(x, y, mesh) "
                                 "return tostring(hit) .. ' ' .. "
                                 "tostring(math.abs(p.x) + math.abs(p.y) + math.abs(p.z) < 1e-4) end)";
        // The centre of the screen looks through the centre of the square,
        // on the edge its two triangles share; asked of the square or of the
        // whole scene.
        EXPECT_EQ(game.Eval(pick + "(32, 24, Q)"), "true true");
        EXPECT_EQ(game.Eval(pick + "(32, 24)"), "true true");

        // The square's right edge on the screen: a point inside it hits,
        // one just outside still misses.
        const int32_t edge = std::stoi(game.Eval("KVScene.Convert3DTo2D(1, 0, 0).x"));
        ASSERT_GT(edge, 33);
        ASSERT_LT(edge, 62);
        EXPECT_EQ(game.Eval("KVScene.Convert2DTo3D(" + std::to_string(edge - 1) + ", 24, Q)"), "true");
        EXPECT_EQ(game.Eval("KVScene.Convert2DTo3D(" + std::to_string(edge + 1) + ", 24, Q)"), "false");
        EXPECT_TRUE(game.ScriptErrors().empty()) << game.ScriptErrors().front();
    }
}

}  // namespace
