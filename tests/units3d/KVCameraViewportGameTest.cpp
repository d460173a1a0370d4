// 3D games whose cameras do not cover the screen, as a game stores and
// plays them: a letterboxed camera, a split screen and a full-screen
// camera looking down at meshes and decals from scene files. Clicks are
// SDL's mouse events in device pixels; scripts ask KVScene and the units at
// game points. Whatever the layout, a click inside a camera's viewport
// reaches what that camera shows there, and game points are seen through
// the scene's camera; the bars around a viewport pick nothing.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "support/KVGameRig.h"
#include "support/KVMeshUnitFiles.h"
#include "support/KVSceneUnitsWriter.h"
#include "units/KVAttributeDesc.h"
#include "units/KVSceneManager.h"
#include "units/KVUnit3D.h"
#include "units3d/KVUnitCamera.h"
#include "units3d/KVUnitDecal.h"
#include "units3d/KVUnitMesh.h"

using namespace kvl;
using namespace kvtest;

namespace {

constexpr float kFov = 0.7853982f;

struct Viewport {
    int32_t left, top, right, bottom;
};

KVStoredValue Vector(uint64_t id, float x, float y, float z) {
    return {{id, KVATTR_F32, 3}, KVStored::F32s({x, y, z})};
}

// A camera 10 above the point (x, 0, 0), looking down at it with -z up on
// the screen (so +x is to the right), in that viewport (empty: the screen).
void AddCamera(KVSceneUnitsWriter* units, const std::string& name, uint64_t uid, float x, const Viewport& v,
               bool enabled = true, float aspect = 0.0f) {
    units->AddClassUnit(KVUnitCamera::kClassId, "Camera", name, uid,
                        {Vector(KVUnit3D::kPositionId, x, 10.0f, 0.0f), Vector(KVUnitCamera::kTargetId, x, 0.0f, 0.0f),
                         Vector(KVUnitCamera::kUpId, 0.0f, 0.0f, -1.0f),
                         {{KVUnitCamera::kViewportId, KVATTR_S32, 4}, KVStored::I32s({v.left, v.top, v.right, v.bottom})},
                         {{KVUnitCamera::kAspectRatioId, KVATTR_F32, 1}, KVStored::F32(aspect)},
                         {{KVUnitCamera::kActiveId, KVATTR_BOOLEAN, 1}, KVStored::Bool(true)}},
                        enabled);
}

// A flat grid mesh of 16 by 16 in the plane y = 0, its centre at (x, 0, z).
void AddMesh(KVSceneUnitsWriter* units, const std::string& name, uint64_t uid, float x, float z) {
    units->AddClassUnit(KVUnitMesh::kClassId, "Mesh", name, uid,
                        {{{KVUnitMesh::kMeshId, KVATTR_PATHS, 1}, KVStored::String("grid.kv3d", true)},
                         Vector(KVUnit3D::kPositionId, x, 0.0f, z)});
}

// Each unit named records the clicks it gets (its table is the script's
// until the scene makes the unit).
std::string ClickScript(const std::vector<std::string>& names) {
    std::string script;
    for (const std::string& n : names)
        script += n + " = {}\n" + "function " + n + ".OnCreate() KVInput.RegisterListener(" + n + ", 'mouse_ldown') end\n" +
                  "function " + n + ".OnMouseLDown(x, y) TestRecorder.Record('" + n + " ' .. x .. ' ' .. y) end\n";
    return script;
}

// A game on a screen of that size: the meshes' grid file, the scene and
// the click script.
struct Game {
    Game(int32_t width, int32_t height, const KVSceneUnitsWriter& units, const std::vector<std::string>& clicked)
        : rig(Options(width, height)) {
        WriteMeshFile(rig.Root(), "grid.kv3d", GridMeshFile(4, 4.0f));
        rig.AddScene("scenes/main.kvl", units.Scene(0x20004, KVGameRig::kProjectId));
        rig.WriteScript("clicks.lua", ClickScript(clicked));
    }
    static KVGameRig::Options Options(int32_t width, int32_t height) {
        KVGameRig::Options options;
        options.width = width;
        options.height = height;
        return options;
    }
    // The units that recorded a click at that device pixel.
    std::string Click(int32_t x, int32_t y) {
        rig.Records().clear();
        rig.Click(x, y);
        std::string who;
        for (const std::string& r : rig.Records()) who += (who.empty() ? "" : ", ") + r.substr(0, r.find(' '));
        return who;
    }
    KVGameRig rig;
};

std::string At(int32_t x, int32_t y) { return std::to_string(x) + ", " + std::to_string(y); }

} // namespace

// A 1024 x 768 screen with one camera over its middle 576 rows. A mesh
// fills the right half of the camera's view: a click anywhere in the
// viewport reaches it when it is right of the centre, never left of it,
// and never in the bars; the click's game point is the viewport's.
TEST(KVCameraViewportGameTest, ALetterboxedCameraTakesClicksAllOverItsViewport) {
    KVSceneUnitsWriter units;
    AddCamera(&units, "Eye", 1, 0.0f, {0, 96, 1024, 672});
    AddMesh(&units, "Half", 2, 8.0f, 0.0f);
    Game game(1024, 768, units, {"Half"});
    ASSERT_TRUE(game.rig.Start());
    game.rig.Step(2);

    const struct {
        int32_t x, y;
        const char* who;
    } clicks[] = {
        {600, 100, "Half"}, {700, 110, "Half"}, {900, 130, "Half"}, {520, 600, "Half"}, {1000, 660, "Half"},
        {1023, 671, "Half"}, {700, 96, "Half"},                      // the viewport's edges
        {500, 100, ""},     {10, 400, ""},      {300, 660, ""},      // the left half
        {700, 50, ""},      {700, 94, ""},      {700, 672, ""},      {700, 760, ""},  // the bars
    };
    for (const auto& c : clicks) EXPECT_EQ(game.Click(c.x, c.y), c.who) << At(c.x, c.y);
    // The handler gets the point in game coordinates: the viewport spans
    // the whole game area.
    game.rig.Records().clear();
    game.rig.Click(768, 384);
    EXPECT_EQ(game.rig.Records(), (std::vector<std::string>{"Half 768 384"}));

    // What a script asks at game points: rows 5 and 760 are inside the
    // viewport (device rows 100 and 666), the centre column splits the
    // mesh.
    for (int32_t y : {5, 95, 380, 700, 760}) {
        EXPECT_EQ(game.rig.Eval("Half:IsPointInside(768, " + std::to_string(y) + ")"), "true") << y;
        EXPECT_EQ(game.rig.Eval("Half:IsPointInside(200, " + std::to_string(y) + ")"), "false") << y;
        EXPECT_EQ(game.rig.Eval("(KVScene.Convert2DTo3D(768, " + std::to_string(y) + "))"), "true") << y;
    }
    // Off the game area (in the bars) nothing is inside.
    EXPECT_EQ(game.rig.Eval("Half:IsPointInside(768, -10)"), "false");
    EXPECT_EQ(game.rig.Eval("Half:IsPointInside(768, 768)"), "false");
    // The point Convert2DTo3D finds is the one shown there: three quarters
    // across a view whose width is the viewport's, 16:9.
    const double halfWidth = 10.0 * std::tan(kFov / 2.0) * (1024.0 / 576.0);
    EXPECT_NEAR(std::stod(game.rig.Eval("select(2, KVScene.Convert2DTo3D(768, 380)).x")), halfWidth / 2.0, 1e-3);
    EXPECT_TRUE(game.rig.ScriptErrors().empty());
}

// Two cameras side by side, each over a mesh of its own far from the
// other's: a click in either half reaches the mesh that half shows.
TEST(KVCameraViewportGameTest, ASplitScreenTakesEachClickThroughItsHalf) {
    KVSceneUnitsWriter units;
    AddCamera(&units, "Left", 1, -100.0f, {0, 0, 512, 768});
    AddCamera(&units, "Rght", 2, 100.0f, {512, 0, 1024, 768});
    AddMesh(&units, "MeshL", 3, -100.0f, 0.0f);
    AddMesh(&units, "MeshR", 4, 100.0f, 0.0f);
    Game game(1024, 768, units, {"MeshL", "MeshR"});
    ASSERT_TRUE(game.rig.Start());
    game.rig.Step(2);
    ASSERT_EQ(KVSceneManager::Instance()->GetCameraCount(), 2u);

    const struct {
        int32_t x, y;
        const char* who;
    } clicks[] = {
        {300, 300, "MeshL"}, {0, 0, "MeshL"},   {511, 767, "MeshL"}, {100, 700, "MeshL"},
        {600, 300, "MeshR"}, {700, 300, "MeshR"}, {512, 0, "MeshR"}, {1023, 767, "MeshR"},
    };
    for (const auto& c : clicks) EXPECT_EQ(game.Click(c.x, c.y), c.who) << At(c.x, c.y);
    // The left button is the first touch too: its press and release reach
    // the mesh of the half they are in.
    game.rig.Run("for _, n in ipairs({'MeshL', 'MeshR'}) do\n"
                 "  local u = _G[n]\n"
                 "  u.OnMouseLDown = nil\n"
                 "  function u.OnTouchDown(k, x, y) TestRecorder.Record(n .. ' down') end\n"
                 "  function u.OnTouchUp(k, x, y) TestRecorder.Record(n .. ' up') end\n"
                 "  KVInput.RegisterListener(u, {'touch_down', 'touch_up'})\n"
                 "end");
    for (const auto& c : clicks) {
        game.rig.Records().clear();
        game.rig.Click(c.x, c.y);
        EXPECT_EQ(game.rig.Records(), (std::vector<std::string>{std::string(c.who) + " down", std::string(c.who) + " up"}))
            << At(c.x, c.y);
    }
    game.rig.Run("function MeshL.OnMouseLDown(x, y) TestRecorder.Record('MeshL ' .. x .. ' ' .. y) end\n"
                 "function MeshR.OnMouseLDown(x, y) TestRecorder.Record('MeshR ' .. x .. ' ' .. y) end\n"
                 "MeshL.OnTouchDown, MeshR.OnTouchDown, MeshL.OnTouchUp, MeshR.OnTouchUp = nil, nil, nil, nil");
    // Both halves give the same game point for the same place in them.
    game.rig.Records().clear();
    game.rig.Click(128, 384);
    game.rig.Click(640, 384);
    EXPECT_EQ(game.rig.Records(), (std::vector<std::string>{"MeshL 256 384", "MeshR 256 384"}));

    // A game point alone is seen through the scene's camera (the first
    // listed, as neither has the screen's size).
    const bool leftFirst = KVSceneManager::Instance()->FindCamera() == game.rig.Find("Left");
    EXPECT_EQ(game.rig.Eval("MeshL:IsPointInside(256, 384)"), leftFirst ? "true" : "false");
    EXPECT_EQ(game.rig.Eval("MeshR:IsPointInside(256, 384)"), leftFirst ? "false" : "true");
    EXPECT_TRUE(game.rig.ScriptErrors().empty());
}

// One camera over the whole screen: every row and column takes clicks, on
// screens of other sizes too.
TEST(KVCameraViewportGameTest, AFullScreenCameraTakesClicksEverywhere) {
    const struct {
        int32_t width, height;
    } screens[] = {{1024, 768}, {800, 480}};
    for (const auto& s : screens) {
        SCOPED_TRACE(At(s.width, s.height));
        KVSceneUnitsWriter units;
        AddCamera(&units, "Eye", 1, 0.0f, {0, 0, 0, 0});
        AddMesh(&units, "Half", 2, 8.0f, 0.0f);
        Game game(s.width, s.height, units, {"Half"});
        ASSERT_TRUE(game.rig.Start());
        game.rig.Step(2);
        const int32_t w = s.width, h = s.height;
        EXPECT_EQ(game.Click(w / 2 + 4, 0), "Half");
        EXPECT_EQ(game.Click(w - 1, h - 1), "Half");
        EXPECT_EQ(game.Click(w * 3 / 4, h / 2), "Half");
        EXPECT_EQ(game.Click(w / 2 - 4, h / 2), "");
        EXPECT_EQ(game.Click(0, 0), "");
        EXPECT_EQ(game.rig.Eval("Half:IsPointInside(" + At(w - 1, 0) + ")"), "true");
        EXPECT_EQ(game.rig.Eval("Half:IsPointInside(" + At(w / 2 + 4, h - 1) + ")"), "true");
        EXPECT_EQ(game.rig.Eval("Half:IsPointInside(" + At(0, h - 1) + ")"), "false");
        EXPECT_EQ(game.rig.Eval("Half:IsPointInside(" + At(w, 0) + ")"), "false");
    }
}

// KVScene.UnitsAt over a decal that fills a letterboxed view: every game
// point of the game area lists it, and a particle emitter or a second
// decal in the same lists does not change that.
TEST(KVCameraViewportGameTest, UnitsAtListsWhatTheCameraShowsAtGamePoints) {
    for (const Viewport& v : {Viewport{0, 96, 1024, 672}, Viewport{0, 0, 0, 0}}) {
        SCOPED_TRACE(v.top);
        KVSceneUnitsWriter units;
        AddCamera(&units, "Eye", 1, 0.0f, v);
        units.AddClassUnit(KVUnitDecal::kClassId, "Decal", "Floor", 2,
                           {Vector(KVUnit3D::kScaleId, 20.0f, 1.0f, 20.0f)});
        // A small one, on the left only.
        units.AddClassUnit(KVUnitDecal::kClassId, "Decal", "Spot", 3,
                           {Vector(KVUnit3D::kPositionId, -3.0f, 1.0f, 0.0f)});
        Game game(1024, 768, units, {});
        ASSERT_TRUE(game.rig.Start());
        game.rig.Step(2);
        game.rig.Run("function names(x, y)\n"
                     "  local out = {}\n"
                     "  for _, u in ipairs(KVScene.UnitsAt(x, y)) do out[#out + 1] = u.Name end\n"
                     "  return table.concat(out, ' ')\n"
                     "end");
        for (int32_t y : {5, 50, 95, 384, 700, 760}) {
            const std::string list = game.rig.Eval("names(900, " + std::to_string(y) + ")");
            EXPECT_EQ(list, "Floor") << y;
        }
        EXPECT_NE(game.rig.Eval("names(256, 384)").find("Spot"), std::string::npos);
        EXPECT_EQ(game.rig.Eval("names(900, -5)"), "");
        EXPECT_TRUE(game.rig.ScriptErrors().empty());
    }
}

// A camera without an AspectRatio of its own projects with its viewport's
// shape from the first frame on, and again when the viewport changes; one
// with an AspectRatio keeps it. The point (1, 0, 0), 10 below the camera,
// lands at W (1 + cot(FOV / 2) / aspect / 10) / 2 on a game W wide.
TEST(KVCameraViewportGameTest, TheProjectionTakesTheViewportsShapeFromTheStart) {
    const struct {
        Viewport viewport;
        float aspectRatio;
        double aspect;
    } cases[] = {
        {{0, 96, 1024, 672}, 0.0f, 1024.0 / 576.0},  // letterboxed
        {{0, 96, 1024, 672}, 1.0f, 1.0},             // its own aspect
        {{0, 0, 0, 0}, 0.0f, 1024.0 / 768.0},         // the whole screen
        {{0, 0, 512, 768}, 0.0f, 512.0 / 768.0},      // half a split screen
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.viewport.top) + " " + std::to_string(c.viewport.right) + " " +
                     std::to_string(c.aspectRatio));
        KVSceneUnitsWriter units;
        AddCamera(&units, "Eye", 1, 0.0f, c.viewport, true, c.aspectRatio);
        Game game(1024, 768, units, {});
        ASSERT_TRUE(game.rig.Start());
        const double cot = 1.0 / std::tan(double(kFov) / 2.0);
        const std::string expected = std::to_string(int(1024.0 * (1.0 + cot / c.aspect / 10.0) / 2.0 + 0.5));
        const std::string x = "KVScene.Convert3DTo2D(1, 0, 0).x";
        game.rig.Step(1);
        EXPECT_EQ(game.rig.Eval(x), expected);
        game.rig.Step(3);
        EXPECT_EQ(game.rig.Eval(x), expected);
        game.rig.Run("Eye.FOV = Eye.FOV + 0");
        game.rig.Step(1);
        EXPECT_EQ(game.rig.Eval(x), expected);
    }

    // A script that moves the viewport changes the shape.
    KVSceneUnitsWriter units;
    AddCamera(&units, "Eye", 1, 0.0f, {0, 96, 1024, 672});
    Game game(1024, 768, units, {});
    ASSERT_TRUE(game.rig.Start());
    game.rig.Step(1);
    game.rig.Run("Eye.Viewport_Left, Eye.Viewport_Top, Eye.Viewport_Right, Eye.Viewport_Bottom = 0, 0, 384, 768");
    game.rig.Step(1);
    const double cot = 1.0 / std::tan(double(kFov) / 2.0);
    EXPECT_EQ(game.rig.Eval("KVScene.Convert3DTo2D(1, 0, 0).x"),
              std::to_string(int(1024.0 * (1.0 + cot / 0.5 / 10.0) / 2.0 + 0.5)));
    EXPECT_TRUE(game.rig.ScriptErrors().empty());
}

// Two full-screen cameras stored Active, the second disabled: the game
// switches between them by disabling one and enabling the other, and sees
// through the enabled one; with both disabled there is no camera.
TEST(KVCameraViewportGameTest, AGameSwitchesCamerasByEnablingThem) {
    KVSceneUnitsWriter units;
    AddCamera(&units, "Eye1", 1, 0.0f, {0, 0, 0, 0});
    AddCamera(&units, "Eye2", 2, 5.0f, {0, 0, 0, 0}, false);
    Game game(1024, 768, units, {});
    ASSERT_TRUE(game.rig.Start());
    game.rig.Step(1);
    KVSceneManager* scene = KVSceneManager::Instance();
    const std::string x = "KVScene.Convert3DTo2D(0, 0, 0).x";
    // Eye2 sees the origin 5 to its left.
    const double cot = 1.0 / std::tan(double(kFov) / 2.0);
    const std::string throughEye2 = std::to_string(int(1024.0 * (1.0 - 5.0 * cot / (4.0 / 3.0) / 10.0) / 2.0 + 0.5));
    auto seen = [&] {
        game.rig.Step(1);
        const std::string at = game.rig.Eval(x);
        return at == "512" ? "Eye1" : at == throughEye2 ? "Eye2" : at == "-10000" ? "none" : at;
    };
    EXPECT_EQ(seen(), "Eye1");
    EXPECT_EQ(scene->GetCameraCount(), 1u);

    game.rig.Run("Eye1.Enabled = false Eye2.Enabled = true");
    EXPECT_EQ(seen(), "Eye2");
    EXPECT_EQ(scene->GetCameraCount(), 1u);
    // Disabling left Active as it was.
    EXPECT_EQ(game.rig.Eval("Eye1.Active"), "true");
    game.rig.Run("Eye2.Enabled = false Eye1.Enabled = true");
    EXPECT_EQ(seen(), "Eye1");
    game.rig.Run("Eye1.Enabled = false");
    EXPECT_EQ(seen(), "none");
    EXPECT_EQ(scene->GetCameraCount(), 0u);
    game.rig.Run("Eye1.Enabled = true");
    EXPECT_EQ(seen(), "Eye1");

    // Enabling Eye2 while Eye1 is on switches Eye1 off, as activating does.
    game.rig.Run("Eye2.Enabled = true");
    EXPECT_EQ(seen(), "Eye2");
    EXPECT_EQ(game.rig.Eval("Eye1.Active"), "false");
    // A camera that is enabled but not Active stays out.
    game.rig.Run("Eye2.Enabled = false");
    EXPECT_EQ(seen(), "none");
    game.rig.Run("Eye1.Active = true");
    EXPECT_EQ(seen(), "Eye1");
    EXPECT_TRUE(game.rig.ScriptErrors().empty());
}
