// The collision manager: the pick ray of the scene's camera and the ray
// tests of mesh units; and the "KVScene" script functions built on it and
// on the scene manager.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "KVLua/KVLua.h"
#include "support/KVSceneRig.h"
#include "units/KVSceneCollisionManager.h"

using namespace kvl;
using kvtest::KVSceneRig;
using kvtest::KVTestCameraUnit;
using kvtest::KVTestMeshUnit;
using Texts = std::vector<std::string>;

namespace {

constexpr KVDeviceRect kScreen = {0, 0, 1024, 768};

class KVSceneCollisionManagerTest : public ::testing::Test {
protected:
    KVSceneCollisionManager& Collision() { return *rig.Scene().GetCollisionManager(); }
    KVTestMeshUnit* Mesh(const char* name, bool hits, KV3DVector point = {}) {
        auto* mesh = rig.Make<KVTestMeshUnit>("Mesh", name);
        mesh->hits = hits;
        mesh->hitPoint = point;
        return mesh;
    }
    Texts Run(const std::string& expression) {
        std::string error;
        Texts out = rig.Host().Evaluate(expression, &error);
        EXPECT_EQ(error, "") << expression;
        return out;
    }
    // Makes the unit's table, a global of its name.
    void Expose(KVUnit* unit) {
        rig.Host().Lua().PushUnit(unit->GetIndex());
        rig.Host().Lua().Pop(1);
    }
    // The first result, or "none".
    std::string First(const std::string& expression) {
        Texts out = Run(expression);
        return out.empty() ? "none" : out[0];
    }

    KVSceneRig rig;
};

TEST_F(KVSceneCollisionManagerTest, WithoutCameraThereIsNoRay) {
    KVPickRay ray;
    EXPECT_EQ(Collision().GetPickRay({1, 2}, &ray), KV_FAILED);
    KVTestMeshUnit* mesh = Mesh("M", true);
    KV3DVector hit;
    EXPECT_EQ(Collision().Pick({1, 2}, &hit, nullptr), KV_FAILED);
    EXPECT_EQ(mesh->tests, 0);
    EXPECT_EQ(First("KVScene.Convert2DTo3D(1, 2)"), "false");
}

// The ray is the scene's camera's (FindCamera()) for every game point, in
// the game area or not: a split screen picks with the first listed camera,
// as neither has the screen's size.
TEST_F(KVSceneCollisionManagerTest, TheRayComesFromTheScenesCamera) {
    KVTestCameraUnit* left = rig.Camera("Left", {0, 0, 512, 768});
    KVTestCameraUnit* right = rig.Camera("Right", {512, 0, 1024, 768});
    left->ray = {{1, 2, 3}, {4, 5, 6}};
    right->ray = {{1, 2, 3}, {4, 5, 9}};
    KVPickRay ray;
    for (const KVScreenPoint& p : {KVScreenPoint{700, 8}, KVScreenPoint{511, 767}, KVScreenPoint{1030, 8}}) {
        EXPECT_EQ(Collision().GetPickRay(p, &ray), KV_OK);
        EXPECT_EQ(left->lastPickPoint, p);
        EXPECT_FLOAT_EQ(ray.far.z, 6.0f);
    }
    EXPECT_EQ(right->lastPickPoint, (KVScreenPoint{-1, -1}));
}

TEST_F(KVSceneCollisionManagerTest, TheFirstEnabledMeshInFactoryOrderThatIsHitWins) {
    KVTestCameraUnit* camera = rig.Camera("Cam", kScreen);
    camera->ray = {{0, 0, 10}, {0, 0, 7}};
    KV3DVector hit{9, 9, 9};
    EXPECT_EQ(Collision().Pick({0, 0}, &hit, nullptr), KV_NOT_FOUND);

    KVTestMeshUnit* off = Mesh("Off", true, {1, 1, 1});
    off->SetEnabled(false);
    KVTestMeshUnit* miss = Mesh("Miss", false);
    KVTestMeshUnit* far = Mesh("Far", true, {0, 0, -100});
    KVTestMeshUnit* near = Mesh("Near", true, {0, 0, 5});
    EXPECT_EQ(Collision().Pick({0, 0}, &hit, nullptr), KV_OK);
    EXPECT_FLOAT_EQ(hit.z, -100.0f);
    EXPECT_EQ(off->tests, 0);
    EXPECT_EQ(near->tests, 0);
    EXPECT_EQ(miss->tests, 1);
    // The ray test gets the origin, the unit direction and asks for the
    // nearest hit, without a triangle number.
    EXPECT_FLOAT_EQ(far->lastOrigin.z, 10.0f);
    EXPECT_FLOAT_EQ(far->lastDirection.z, -1.0f);
    EXPECT_TRUE(far->lastNearest);
    EXPECT_FALSE(far->lastAskedTriangle);

    // A given mesh is the only one tested; a unit that is no mesh hits
    // nothing.
    EXPECT_EQ(Collision().Pick({0, 0}, &hit, near), KV_OK);
    EXPECT_FLOAT_EQ(hit.z, 5.0f);
    EXPECT_EQ(Collision().Pick({0, 0}, &hit, miss), KV_NOT_FOUND);
    EXPECT_EQ(Collision().Pick({0, 0}, &hit, camera), KV_NOT_FOUND);
}

TEST_F(KVSceneCollisionManagerTest, ARayWithoutLengthIsNoRay) {
    KVTestCameraUnit* camera = rig.Camera("Cam", kScreen);
    KVTestMeshUnit* mesh = Mesh("M", true);
    for (const KVPickRay& ray : {KVPickRay{{2, 2, 2}, {2, 2, 2}},
                                 KVPickRay{{0, 0, 0}, {0, 0, 1.0e-30f}},
                                 KVPickRay{{0, 0, 0}, {3.0e38f, 3.0e38f, 0}}}) {
        camera->ray = ray;
        KV3DVector hit;
        EXPECT_EQ(Collision().Pick({0, 0}, &hit, nullptr), KV_FAILED);
        EXPECT_EQ(Collision().Pick({0, 0}, &hit, mesh), KV_FAILED);
    }
    EXPECT_EQ(mesh->tests, 0);
    EXPECT_EQ(First("KVScene.Convert2DTo3D(0, 0)"), "false");
}

TEST_F(KVSceneCollisionManagerTest, ScriptsConvertBetweenTheScreenAndThreeD) {
    EXPECT_EQ(Run("KVScene.Convert3DTo2D(1, 2, 3).x"), Texts{"-10000"});
    KVTestCameraUnit* camera = rig.Camera("Cam", kScreen);
    camera->projectOffset = {100, 10};
    camera->ray = {{0, 0, 10}, {0, 0, 0}};
    EXPECT_EQ(Run("KVScene.Convert3DTo2D(1.5, 2, 3).x, KVScene.Convert3DTo2D(1.5, 2, 3).y"), (Texts{"101", "12"}));

    Expose(Mesh("Floor", true, {4, 5, 6}));
    ASSERT_TRUE(rig.Host().Run("hit, point = KVScene.Convert2DTo3D(3, 4)"));
    EXPECT_EQ(Run("hit, type(point)"), (Texts{"true", "table"}));
    EXPECT_EQ(Run("point.x, point.y, point.z"), (Texts{"4", "5", "6"}));
    EXPECT_EQ(camera->lastPickPoint, (KVScreenPoint{3, 4}));
    Expose(Mesh("Wall", false));
    EXPECT_EQ(First("KVScene.Convert2DTo3D(3, 4, Wall)"), "false");
    EXPECT_EQ(First("KVScene.Convert2DTo3D(3, 4, Floor)"), "true");
    EXPECT_EQ(First("KVScene.Convert2DTo3D(3, 4, nil)"), "true");

    Expose(camera);
    kvtest::KVTestCoreHost::Errors().clear();
    EXPECT_TRUE(Run("KVScene.Convert2DTo3D(3, 4, Cam)").empty());
    ASSERT_EQ(kvtest::KVTestCoreHost::Errors().size(), 1u);
    EXPECT_NE(kvtest::KVTestCoreHost::Errors()[0].find("Third argument is not a mesh unit"), std::string::npos);
}

TEST_F(KVSceneCollisionManagerTest, ScriptsListTheUnitsAtAPointTopmostFirst) {
    rig.Quad("Under", {0, 0, 50, 50});
    rig.Quad("Over", {25, 25, 75, 75});
    rig.Camera("Cam", kScreen);
    rig.Scene().Draw();
    EXPECT_EQ(Run("#KVScene.UnitsAt(30, 30)"), Texts{"2"});
    EXPECT_EQ(Run("KVScene.UnitsAt(30, 30)[1] == Over, KVScene.UnitsAt(30, 30)[2] == Under"),
              (Texts{"true", "true"}));
    EXPECT_EQ(Run("#KVScene.UnitsAt(90, 90)"), Texts{"0"});

    EXPECT_FALSE(rig.Scene().ShowsEditorUnits(nullptr));
    EXPECT_TRUE(rig.Host().Run("KVScene.ShowEditorUnits(true)"));
    EXPECT_TRUE(rig.Scene().ShowsEditorUnits(nullptr));
    EXPECT_TRUE(rig.Host().Run("KVScene.ShowEditorUnits(false)"));
    EXPECT_FALSE(rig.Scene().ShowsEditorUnits(nullptr));
}

TEST_F(KVSceneCollisionManagerTest, ScriptArgumentsAreChecked) {
    rig.Camera("Cam", kScreen);
    for (const char* call : {"KVScene.Convert3DTo2D(1, 2)", "KVScene.Convert3DTo2D(1, 'a', 3)",
                             "KVScene.Convert2DTo3D(1)", "KVScene.UnitsAt(1, 2, 3)", "KVScene.UnitsAt('x', 2)"}) {
        kvtest::KVTestCoreHost::Errors().clear();
        EXPECT_TRUE(Run(call).empty()) << call;
        EXPECT_EQ(kvtest::KVTestCoreHost::Errors().size(), 1u) << call;
    }
}

} // namespace
