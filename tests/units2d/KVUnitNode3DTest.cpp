// The 3D node: the segment-against-cube test with its six separating axes,
// editor picking through the test camera's pick ray, and the three axes on
// the recording device.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "kernel/KVCore.h"
#include "support/KVSceneRig.h"
#include "units/KV3DMath.h"
#include "units2d/KVUnitNode3D.h"

using namespace kvl;
using kvtest::JournalStartingWith;
using kvtest::KVSceneRig;
using kvtest::KVTestCameraUnit;
using Lines = std::vector<std::string>;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

TEST(KVUnitNode3DSegmentTest, ASegmentMeetsTheCubeWhenNoAxisSeparatesThem) {
    const KV3DVector centre = {1.0f, 2.0f, 3.0f};
    struct Case {
        const char* name;
        KV3DVector start, end;
        float edge;
        bool hit;
    } cases[] = {
        {"through the centre", {1, 2, -10}, {1, 2, 10}, 2.0f, true},
        {"beside", {4, 2, -10}, {4, 2, 10}, 2.0f, false},
        {"along an edge", {2, 3, -10}, {2, 3, 10}, 2.0f, true},
        {"just beside an edge", {2.01f, 3, -10}, {2.01f, 3, 10}, 2.0f, false},
        // Only a cross axis separates this one.
        {"past a corner", {3.1f, 2, 3}, {1, 4.1f, 3}, 2.0f, false},
        {"short of the cube", {1, 2, -10}, {1, 2, 1.5f}, 2.0f, false},
        {"inside", {1, 2, 3}, {1.5f, 2, 3}, 2.0f, true},
        {"no length", {1, 2, 3}, {1, 2, 3}, 2.0f, false},
        {"start not a number", {kNaN, 2, 3}, {1, 2, 10}, 2.0f, false},
        {"edge 0 through the centre", {1, 2, -10}, {1, 2, 10}, 0.0f, true},
        {"edge 0 beside the centre", {1.5f, 2, -10}, {1.5f, 2, 10}, 0.0f, false},
        {"edge not a number", {1, 2, -10}, {1, 2, 10}, kNaN, false},
        {"negative edge", {1, 2, -10}, {1, 2, 10}, -2.0f, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(KVUnitNode3D::SegmentHitsCube(c.start, c.end, centre, c.edge), c.hit);
    }
}

class KVUnitNode3DTest : public ::testing::Test {
protected:
    explicit KVUnitNode3DTest(bool editorMode = true) : rig(Options(editorMode)) {}
    static KVSceneRig::Options Options(bool editorMode) {
        KVSceneRig::Options options;
        options.editorMode = editorMode;
        return options;
    }
    KVUnitNode3D* Node(const KV3DVector& position) {
        auto* node = rig.Make<KVUnitNode3D>("Node3D", "N");
        if (node) node->SetPosition(position);
        return node;
    }
    Lines Frame() {
        kvtest::SceneJournal().clear();
        rig.Scene().Draw();
        return JournalStartingWith("line");
    }

    KVSceneRig rig;
};

// Without a camera given, a game point of a split screen is seen through
// the scene's camera (the first listed, as neither has the screen's size),
// whichever half shows it; off the game area through none.
TEST_F(KVUnitNode3DTest, ASplitScreenPicksGamePointsWithTheScenesCamera) {
    KVUnitNode3D* node = Node({0.0f, 0.0f, -5.0f});
    ASSERT_NE(node, nullptr);
    KVTestCameraUnit* left = rig.Camera("Left", {0, 0, 512, 768});
    KVTestCameraUnit* right = rig.Camera("Right", {512, 0, 1024, 768});
    left->ray = {{0, 0, 0}, {0, 0, -100}};
    right->ray = {{50, 0, 0}, {50, 0, -100}};
    EXPECT_TRUE(node->IsPointInside({100, 20}, nullptr, nullptr));
    EXPECT_TRUE(node->IsPointInside({600, 20}, nullptr, nullptr));
    EXPECT_EQ(left->lastPickPoint, (KVScreenPoint{600, 20}));
    EXPECT_EQ(right->lastPickPoint, (KVScreenPoint{-1, -1}));
    EXPECT_FALSE(node->IsPointInside({600, 20}, nullptr, right));
    std::swap(left->ray, right->ray);
    EXPECT_FALSE(node->IsPointInside({100, 20}, nullptr, nullptr));
    EXPECT_FALSE(node->IsPointInside({600, 20}, nullptr, nullptr));
    // Off the game area no camera gives a ray, whatever it would show.
    left->ray = right->ray;
    EXPECT_FALSE(node->IsPointInside({1030, 20}, nullptr, nullptr));
    EXPECT_FALSE(node->IsPointInside({-1, 20}, nullptr, nullptr));
}

TEST_F(KVUnitNode3DTest, ThePickRayOfTheSceneCameraOrTheGivenOneFindsTheNode) {
    KVUnitNode3D* node = Node({0.0f, 0.0f, -5.0f});
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->GetSize(), 2.0f);
    // No camera, no pick.
    EXPECT_FALSE(node->IsPointInside({10, 20}, nullptr, nullptr));

    KVTestCameraUnit* camera = rig.Camera("Cam", {0, 0, 1024, 768});
    ASSERT_NE(camera, nullptr);
    camera->ray = {{0, 0, 0}, {0, 0, -100}};
    float distance = 0.0f;
    EXPECT_TRUE(node->IsPointInside({10, 20}, &distance, nullptr));
    EXPECT_EQ(distance, 5.0f);
    EXPECT_EQ(camera->lastPickPoint, (KVScreenPoint{10, 20}));
    // Through the scene manager's hit test, as the hover module asks.
    EXPECT_TRUE(rig.Scene().IsPointInside(node, {3, 4}, true, nullptr, nullptr));

    // A camera given is asked instead.
    auto* other = rig.Make<KVTestCameraUnit>("Camera", "Other");
    ASSERT_NE(other, nullptr);
    other->ray = {{5, 5, 0}, {5, 5, -100}};
    distance = 0.0f;
    EXPECT_FALSE(node->IsPointInside({7, 8}, &distance, other));
    EXPECT_EQ(distance, 0.0f);
    EXPECT_EQ(other->lastPickPoint, (KVScreenPoint{7, 8}));
    EXPECT_EQ(camera->lastPickPoint, (KVScreenPoint{3, 4}));

    // A ray without length picks nothing, even from inside.
    camera->ray = {{0, 0, -5}, {0, 0, -5}};
    EXPECT_FALSE(node->IsPointInside({1, 1}, nullptr, nullptr));

    // Not while the core runs.
    camera->ray = {{0, 0, 0}, {0, 0, -100}};
    KVCore::Instance()->SetActive(1);
    EXPECT_FALSE(node->IsPointInside({1, 1}, nullptr, nullptr));
}

class KVUnitNode3DGameTest : public KVUnitNode3DTest {
protected:
    KVUnitNode3DGameTest() : KVUnitNode3DTest(false) {}
};

TEST_F(KVUnitNode3DGameTest, AGameOutsideTheEditorPicksNoNode) {
    KVUnitNode3D* node = Node({0.0f, 0.0f, -5.0f});
    ASSERT_NE(node, nullptr);
    rig.Camera("Cam", {0, 0, 1024, 768})->ray = {{0, 0, 0}, {0, 0, -100}};
    EXPECT_FALSE(node->IsPointInside({1, 1}, nullptr, nullptr));
}

TEST_F(KVUnitNode3DTest, TheAxesAreDrawnAlongTheRotatedColumns) {
    KVUnitNode3D* node = Node({1.0f, 2.0f, 3.0f});
    ASSERT_NE(node, nullptr);
    node->SetRotation({0.0f, 0.0f, KV3DMath::kHalfPi});
    rig.Camera("Cam", {0, 0, 1024, 768});
    rig.Scene().SetEditorUnitsRequested(false);
    ASSERT_TRUE(rig.Scene().ShowsEditorUnits(nullptr));  // editor mode
    const Lines axes = {"line3d 1,2,3 1,4,3 FFFF0000 0", "line3d 1,2,3 -1,2,3 FF00FF00 0",
                        "line3d 1,2,3 1,2,5 FF0000FF 0"};
    EXPECT_EQ(Frame(), axes);
    EXPECT_TRUE(node->WasDrawn());
    const float* view = rig.Recorder().GetTransform(1);
    float identity[16];
    KV3DMath::Identity(identity);
    EXPECT_EQ(std::vector<float>(view, view + 16), std::vector<float>(identity, identity + 16));

    // Not while the core's activity state is 2.
    KVCore::Instance()->SetActive(2);
    EXPECT_EQ(Frame(), Lines{});
    KVCore::Instance()->SetActive(0);
    EXPECT_EQ(Frame(), axes);
}

TEST_F(KVUnitNode3DGameTest, AGameDrawsNoAxesUnlessEditorUnitsAreAskedFor) {
    KVUnitNode3D* node = Node({0.0f, 0.0f, 0.0f});
    ASSERT_NE(node, nullptr);
    rig.Camera("Cam", {0, 0, 1024, 768});
    EXPECT_EQ(Frame(), Lines{});
    EXPECT_TRUE(node->WasDrawn());
    rig.Scene().SetEditorUnitsRequested(true);
    EXPECT_EQ(Frame().size(), 3u);
}

} // namespace
