// The camera unit over a whole core with the recording 3D device (an
// 800 x 600 screen and game): its matrices, frustum, pick rays and
// projections against hand-worked values, what it sends to the device and
// when, its viewport and its place in the scene manager's camera list.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include "graphics/KVGraphic.h"
#include "kernel/KVProperties.h"
#include "support/KVRecording3DDevice.h"
#include "support/KVSceneRig.h"
#include "units3d/KVUnitCamera.h"

using namespace kvl;
using kvtest::KVRecording3DDevice;
using kvtest::KVSceneRig;

namespace {

using Names = std::vector<std::string>;

constexpr float kPi = 3.14159265f;
// The worked camera's far corners: 100 · tan(π/8) · (4/3, 1) at z = -90.
constexpr float kHalfWidth = 55.2285f;
constexpr float kHalfHeight = 41.4214f;
const std::set<std::string> kSent = {"SetTransform", "SetPerspective", "SetViewport"};

KVSceneRig::Options WithDevice(KVRecording3DDevice* device) {
    KVSceneRig::Options options;
    options.device = device;
    options.engineCameras = true;
    return options;
}

void ExpectVector(const KV3DVector& actual, float x, float y, float z, float tolerance = 1e-3f) {
    EXPECT_NEAR(actual.x, x, tolerance);
    EXPECT_NEAR(actual.y, y, tolerance);
    EXPECT_NEAR(actual.z, z, tolerance);
}

void ExpectPlane(const KV3DPlane& actual, float d, float nx, float ny, float nz) {
    EXPECT_NEAR(actual.d, d, 1e-3f);
    EXPECT_NEAR(actual.nx, nx, 1e-4f);
    EXPECT_NEAR(actual.ny, ny, 1e-4f);
    EXPECT_NEAR(actual.nz, nz, 1e-4f);
}

class KVUnitCameraTest : public ::testing::Test {
protected:
    KVUnitFactory& Factory() { return rig.Factory(); }

    // A camera unit at the position looking at the target, switched on or
    // not, with the device's log emptied.
    KVUnitCamera* Camera(const char* name, const KV3DVector& position, const KV3DVector& target, bool active = true) {
        auto* camera = rig.Make<KVUnitCamera>("Camera", name);
        if (!camera) return nullptr;
        camera->SetPosition(position);
        camera->SetTarget(target.x, target.y, target.z);
        if (active) Set(camera, "Active", 0, "true");
        device.ClearCalls();
        return camera;
    }

    // The worked camera: at (0, 0, 10) looking at the origin, FOV π/4,
    // near 1, far 100, the aspect from the 800 x 600 viewport.
    KVUnitCamera* Worked(const char* name = "Cam") {
        KVUnitCamera* camera = Camera(name, {0, 0, 10}, {0, 0, 0});
        Set(camera, "FarClip", 0, "100");
        device.ClearCalls();
        return camera;
    }

    // Writes an attribute element as a scene file or the editor does (by
    // the stored name: "Near clip" is "NearClip").
    void Set(KVUnit* unit, const char* attribute, int32_t element, const std::string& text) {
        const int32_t position = Factory().FindAttributeIndex(unit->GetClassIndex(), attribute);
        ASSERT_GE(position, 0) << attribute;
        Factory().SetAttributeText(unit->GetIndex(), position, element, text, false);
    }

    KVRecording3DDevice device;
    KVSceneRig rig{WithDevice(&device)};
};

TEST_F(KVUnitCameraTest, TheWorkedCameraGivesItsPlanesBoxRaysAndProjection) {
    KVUnitCamera* camera = Worked();
    ASSERT_NE(camera, nullptr);
    const KV3DFrustum* frustum = camera->GetFrustum();
    ExpectVector(frustum->eye, 0, 0, 10);
    ExpectPlane(frustum->planes[KVFRUSTUM_FAR], -90, 0, 0, -1);
    ExpectPlane(frustum->planes[KVFRUSTUM_NEAR], -9, 0, 0, 1);
    ExpectVector(frustum->boxMin, -kHalfWidth, -kHalfHeight, -90);
    ExpectVector(frustum->boxMax, kHalfWidth, kHalfHeight, 10);
    // Normals point out: the origin is inside every plane, a point past
    // the far plane is not.
    for (const KV3DPlane& p : frustum->planes) EXPECT_LE(p.d, 0.0f);
    const KV3DPlane& far = frustum->planes[KVFRUSTUM_FAR];
    EXPECT_GT(far.nz * -95.0f + far.d, 0.0f);

    KVPickRay ray;
    EXPECT_EQ(camera->GetPickRay(0, 0, &ray), KV_OK);
    ExpectVector(ray.origin, 0, 0, 10);
    ExpectVector(ray.far, -kHalfWidth, kHalfHeight, -90);
    EXPECT_EQ(camera->GetPickRay(400, 300, &ray), KV_OK);
    ExpectVector(ray.far, 0, 0, -90);
    EXPECT_EQ(camera->GetPickRay(800, 600, &ray), KV_OK);
    ExpectVector(ray.far, kHalfWidth, -kHalfHeight, -90);

    KVProjectedPoint point;
    const KV3DVector origin;
    EXPECT_EQ(camera->Project(&origin, &point), KV_OK);
    EXPECT_EQ(point.x, 400);
    EXPECT_EQ(point.y, 300);
    EXPECT_NEAR(point.depth, 0.90909f, 1e-5f);
    // A far corner lands on the screen's corner.
    const KV3DVector corner = {-kHalfWidth, kHalfHeight, -90};
    camera->Project(&corner, &point);
    EXPECT_EQ(point.x, 0);
    EXPECT_EQ(point.y, 0);
    EXPECT_NEAR(point.depth, 1.0f, 1e-5f);
}

TEST_F(KVUnitCameraTest, TheLeftHandedTwinSeesTheWorldMirrored) {
    ASSERT_EQ(KVProperties::Instance()->SetBooleanById(KVSceneManager::kRightHandedId, false), KV_OK);
    KVUnitCamera* camera = Worked();
    const float* p = camera->GetProjectionMatrix();
    EXPECT_NEAR(p[10], 100.0f / 99.0f, 1e-5f);
    EXPECT_EQ(p[11], 1.0f);
    EXPECT_NEAR(p[14], -100.0f / 99.0f, 1e-5f);
    const KV3DFrustum* frustum = camera->GetFrustum();
    ExpectPlane(frustum->planes[KVFRUSTUM_FAR], -90, 0, 0, -1);
    ExpectPlane(frustum->planes[KVFRUSTUM_NEAR], -9, 0, 0, 1);
    ExpectVector(frustum->boxMin, -kHalfWidth, -kHalfHeight, -90);
    ExpectVector(frustum->boxMax, kHalfWidth, kHalfHeight, 10);
    // The screen's left is the world's +x.
    KVPickRay ray;
    camera->GetPickRay(0, 0, &ray);
    ExpectVector(ray.far, kHalfWidth, kHalfHeight, -90);
    KVProjectedPoint point;
    const KV3DVector origin;
    camera->Project(&origin, &point);
    EXPECT_EQ(point.x, 400);
    EXPECT_EQ(point.y, 300);
    EXPECT_NEAR(point.depth, 0.90909f, 1e-5f);
}

TEST_F(KVUnitCameraTest, ThePerspectiveTakesItsAspectFromItsViewportUnlessGiven) {
    KVUnitCamera* camera = Worked();
    const float y = 1.0f / std::tan(kPi / 8.0f);
    const struct {
        KVDeviceRect viewport;
        const char* aspect;
        float x;
    } cases[] = {
        {{0, 0, 800, 600}, "0", y * 0.75f},
        {{100, 50, 500, 450}, "0", y},
        {{0, 0, 800, 600}, "2", y / 2.0f},
        // An empty viewport has no shape: square, never a division by 0.
        {{0, 0, 400, 0}, "0", y},
        {{0, 0, 0, 0}, "0", y},
        {{0, 300, 800, 300}, "0", y},
    };
    // The device's viewport when the projection is made is another one
    // (the whole screen a frame is cleared with): the camera's own counts.
    device.viewport = {0, 0, 1000, 100};
    for (const auto& c : cases) {
        camera->SetViewport(&c.viewport);
        Set(camera, "AspectRatio", 0, c.aspect);
        const float* p = camera->GetProjectionMatrix();
        EXPECT_NEAR(p[0], c.x, 1e-5f) << c.aspect << " " << c.viewport.right << "x" << c.viewport.bottom;
        EXPECT_NEAR(p[5], y, 1e-5f);
    }
}

// A camera that follows the graphic module's viewport takes a new shape of
// it in the next update, and sends the projection made of it.
TEST_F(KVUnitCameraTest, AFollowedViewportThatChangesShapeRemakesTheProjection) {
    KVUnitCamera* camera = Worked();
    const float y = 1.0f / std::tan(kPi / 8.0f);
    camera->UpdateMatrices();
    EXPECT_NEAR(camera->GetProjectionMatrix()[0], y * 0.75f, 1e-5f);
    KVGraphic* graphic = KVGraphic::Instance();
    ASSERT_NE(graphic, nullptr);
    graphic->SetDefaultViewport(0, 0, 600, 600);
    device.ClearCalls();
    camera->UpdateMatrices();
    EXPECT_EQ(camera->GetViewport()->right, 600);
    EXPECT_NEAR(camera->GetProjectionMatrix()[0], y, 1e-5f);
    EXPECT_EQ(device.CallsOf("SetPerspective").size(), 1u);
}

TEST_F(KVUnitCameraTest, EachChangeIsSentOnceInTheNextUpdate) {
    KVUnitCamera* camera = Worked();
    camera->InvalidateAll();
    camera->UpdateMatrices();
    EXPECT_EQ(device.Names(kSent), (Names{"SetPerspective", "SetTransform", "SetViewport"}));
    const auto perspective = device.CallsOf("SetPerspective");
    ASSERT_EQ(perspective.size(), 1u);
    EXPECT_EQ(perspective[0].floats, (std::vector<float>{0.7853982f, 1.0f, 100.0f}));
    const auto view = device.CallsOf("SetTransform");
    ASSERT_EQ(view.size(), 1u);
    EXPECT_EQ(view[0].ints[0], 0);
    EXPECT_EQ(device.transforms[0][14], -10.0f);
    EXPECT_EQ(device.CallsOf("SetViewport")[0].ints, (std::vector<int64_t>{0, 0, 800, 600}));

    device.ClearCalls();
    camera->UpdateMatrices();
    EXPECT_TRUE(device.Names(kSent).empty());

    const struct {
        const char* attribute;
        int32_t element;
        const char* value;
        Names sent;
    } cases[] = {
        {"Target", 1, "1", {"SetTransform"}},
        {"Up", 0, "0.5", {"SetTransform"}},
        {"FOV", 0, "1", {"SetPerspective"}},
        {"NearClip", 0, "2", {"SetPerspective"}},
        {"FarClip", 0, "50", {"SetPerspective"}},
        {"AspectRatio", 0, "1.5", {"SetPerspective"}},
        // Still empty: the graphic module's viewport, sent all the same.
        {"Viewport", 2, "100", {"SetViewport"}},
        {"Viewport", 3, "100", {"SetViewport"}},
        {"Orthogonal", 0, "true", {"SetTransform"}},
        {"ViewportExclusive", 0, "true", {}},
    };
    for (const auto& c : cases) {
        Set(camera, c.attribute, c.element, c.value);
        // Asking for the matrices recomputes them but sends nothing.
        camera->GetFrustum();
        EXPECT_TRUE(device.Names(kSent).empty()) << c.attribute;
        camera->UpdateMatrices();
        EXPECT_EQ(device.Names(kSent), c.sent) << c.attribute;
        device.ClearCalls();
        camera->UpdateMatrices();
        EXPECT_TRUE(device.Names(kSent).empty()) << c.attribute;
    }
    // The orthographic projection goes as a matrix.
    Set(camera, "NearClip", 0, "1");
    camera->UpdateMatrices();
    const auto projection = device.CallsOf("SetTransform");
    ASSERT_EQ(projection.size(), 1u);
    EXPECT_EQ(projection[0].ints[0], 2);
    EXPECT_NEAR(device.transforms[2][0], 2.0f / 800.0f, 1e-7f);
    EXPECT_EQ(device.transforms[2][15], 1.0f);

    // Moving the eye sends the view again.
    device.ClearCalls();
    const float before = device.transforms[0][14];
    camera->SetPosition({0, 0, 20});
    camera->UpdateMatrices();
    EXPECT_EQ(device.Names(kSent), Names{"SetTransform"});
    EXPECT_NE(device.transforms[0][14], before);
    EXPECT_EQ(device.transforms[0][14], camera->GetViewMatrix()[14]);
}

TEST_F(KVUnitCameraTest, AnEmptyViewportAttributeMeansTheGraphicModulesViewport) {
    KVUnitCamera* camera = Worked();
    EXPECT_FALSE(camera->HasOwnViewport());
    EXPECT_TRUE(camera->IsFullScreen());
    const struct {
        KVDeviceRect rect;
        bool own;
    } cases[] = {
        {{10, 20, 110, 220}, true}, {{10, 20, 10, 220}, false}, {{10, 20, 5, 220}, false},
        {{10, 20, 110, 20}, false}, {{0, 0, 800, 600}, true},  {{10, 220, 110, 20}, false},
    };
    for (const auto& c : cases) {
        const int32_t values[4] = {c.rect.left, c.rect.top, c.rect.right, c.rect.bottom};
        for (int32_t e = 0; e < 4; ++e) Set(camera, "Viewport", e, std::to_string(values[e]));
        EXPECT_EQ(camera->HasOwnViewport(), c.own) << c.rect.left << "," << c.rect.top << "," << c.rect.right;
        const KVDeviceRect expected = c.own ? c.rect : KVDeviceRect{0, 0, 800, 600};
        const KVDeviceRect* actual = camera->GetViewport();
        EXPECT_EQ(actual->left, expected.left);
        EXPECT_EQ(actual->top, expected.top);
        EXPECT_EQ(actual->right, expected.right);
        EXPECT_EQ(actual->bottom, expected.bottom);
        EXPECT_EQ(camera->IsFullScreen(), !c.own || c.rect.right == 800);
    }
    camera->SetViewport(nullptr);
    EXPECT_FALSE(camera->HasOwnViewport());
}

TEST_F(KVUnitCameraTest, FullScreenCamerasFollowTheScreenAndOthersKeepTheirRectangle) {
    KVUnitCamera* whole = Worked("Whole");
    KVUnitCamera* corner = Worked("Corner");
    const KVDeviceRect rect = {10, 20, 110, 220};
    corner->SetViewport(&rect);
    // The graphic module's viewport becomes a part of the screen: the
    // camera without one of its own takes it at its next update.
    KVGraphic* graphic = KVGraphic::Instance();
    ASSERT_NE(graphic, nullptr);
    graphic->SetDefaultViewport(0, 0, 400, 300);
    device.ClearCalls();
    whole->UpdateMatrices();
    corner->UpdateMatrices();
    const auto sent = device.CallsOf("SetViewport");
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].ints, (std::vector<int64_t>{0, 0, 400, 300}));
    EXPECT_EQ(sent[1].ints, (std::vector<int64_t>{10, 20, 110, 220}));
    EXPECT_FALSE(whole->IsFullScreen());
    // A new screen: the full-screen camera takes the module's viewport
    // again, the other keeps its own.
    device.screen = {1024, 768, 1024, 768, 0, 1, 1};
    graphic->SetDefaultViewport(0, 0, 1024, 768);
    whole->SetViewport(nullptr);
    EXPECT_TRUE(whole->IsFullScreen());
    whole->InvalidateScreen();
    corner->InvalidateScreen();
    EXPECT_EQ(whole->GetViewport()->right, 1024);
    EXPECT_TRUE(whole->IsFullScreen());
    EXPECT_FALSE(whole->HasOwnViewport());
    EXPECT_EQ(corner->GetViewport()->right, 110);
    EXPECT_TRUE(corner->HasOwnViewport());
}

TEST(KVUnitCameraWithoutDeviceTest, ACameraWithoutA3DDeviceAnswersAndSendsNothing) {
    KVSceneRig::Options options;
    options.with3D = false;
    options.engineCameras = true;
    KVSceneRig rig(options);
    auto* camera = rig.Make<KVUnitCamera>("Camera", "Cam");
    ASSERT_NE(KVUnitCamera::FromUnit(camera), nullptr);
    camera->SetPosition({0, 0, 10});
    camera->InvalidateAll();
    camera->UpdateMatrices();
    KVPickRay ray;
    EXPECT_EQ(camera->GetPickRay(1, 1, &ray), KV_OK);
    KVProjectedPoint point;
    const KV3DVector origin;
    EXPECT_EQ(camera->Project(&origin, &point), KV_OK);
    EXPECT_NE(camera->GetFrustum(), nullptr);
    // Only the constant part of the journal: no viewport went out.
    for (const std::string& line : kvtest::SceneJournal()) EXPECT_NE(line.rfind("viewport", 0), 0u) << line;
}

TEST_F(KVUnitCameraTest, AutoClipUsesTheSceneRangeUntilTheNearClipChanges) {
    KVUnitCamera* camera = Worked();
    Set(camera, "AutoClip", 0, "true");
    camera->SetClipRange(5.0f, 50.0f);
    const float* p = camera->GetProjectionMatrix();
    EXPECT_NEAR(p[10], 50.0f / (5.0f - 50.0f), 1e-5f);
    EXPECT_NEAR(p[14], 250.0f / (5.0f - 50.0f), 1e-4f);
    EXPECT_NEAR(camera->GetFrustum()->planes[KVFRUSTUM_NEAR].d, -5.0f, 1e-3f);
    // The device's perspective still gets the attributes.
    camera->InvalidateAll();
    camera->UpdateMatrices();
    EXPECT_EQ(device.CallsOf("SetPerspective").back().floats, (std::vector<float>{0.7853982f, 1.0f, 100.0f}));
    Set(camera, "NearClip", 0, "2");
    EXPECT_EQ(camera->GetEffectiveNear(), 2.0f);
    EXPECT_EQ(camera->GetNearClip(), 2.0f);
    p = camera->GetProjectionMatrix();
    EXPECT_NEAR(p[14], 100.0f / (2.0f - 50.0f), 1e-4f);
    camera->SetClipRange(3.0f, 30.0f);
    EXPECT_NEAR(camera->GetFrustum()->planes[KVFRUSTUM_FAR].d, -20.0f, 1e-3f);
    // Without AutoClip the attributes hold again.
    Set(camera, "AutoClip", 0, "false");
    Set(camera, "FOV", 0, "0.7853982");
    EXPECT_NEAR(camera->GetFrustum()->planes[KVFRUSTUM_FAR].d, -90.0f, 1e-3f);
}

TEST_F(KVUnitCameraTest, APointBehindTheCameraProjectsOnTheSameSide) {
    KVUnitCamera* camera = Worked();
    KVProjectedPoint front, behind;
    const KV3DVector a = {1, 1, 0}, b = {1, 1, 20};
    camera->Project(&a, &front);
    camera->Project(&b, &behind);
    EXPECT_EQ(front.x, 472);
    EXPECT_EQ(behind.x, front.x);
    EXPECT_EQ(behind.y, front.y);
    EXPECT_LT(front.y, 300);
    EXPECT_NEAR(behind.depth, -11.1111f / 10.0f, 1e-4f);
    // w = 0 (the eye's plane) divides by nothing.
    const KV3DVector side = {1, 0, 10};
    camera->Project(&side, &front);
    EXPECT_TRUE(std::isfinite(front.depth));
}

TEST_F(KVUnitCameraTest, AnOrthographicCameraKeepsItsVolumeInsideOut) {
    KVUnitCamera* camera = Worked();
    camera->SetOrthogonal(true);
    const float* p = camera->GetProjectionMatrix();
    EXPECT_NEAR(p[0], 2.0f / 800.0f, 1e-7f);
    EXPECT_NEAR(p[5], 2.0f / 600.0f, 1e-7f);
    EXPECT_NEAR(p[10], -1.0f / 99.0f, 1e-7f);
    EXPECT_NEAR(p[14], -1.0f / 99.0f, 1e-7f);
    EXPECT_EQ(p[15], 1.0f);
    const KV3DFrustum* frustum = camera->GetFrustum();
    ExpectPlane(frustum->planes[KVFRUSTUM_FAR], -90, 0, 0, -1);
    ExpectPlane(frustum->planes[KVFRUSTUM_NEAR], -9, 0, 0, 1);
    ExpectPlane(frustum->planes[KVFRUSTUM_LEFT], -400, -1, 0, 0);
    ExpectPlane(frustum->planes[KVFRUSTUM_TOP], -300, 0, 1, 0);
    // Rays run parallel to the view, from the near side.
    KVPickRay ray;
    camera->GetPickRay(0, 0, &ray);
    ExpectVector(ray.origin, -400, 300, 10);
    ExpectVector(ray.far, -400, 300, -90);
    camera->GetPickRay(600, 150, &ray);
    ExpectVector(ray.origin, 200, 150, 10);
    ExpectVector(ray.far, 200, 150, -90);
    // The orthographic scale widens the volume.
    camera->SetOrthoScale(2.0f);
    ExpectPlane(camera->GetFrustum()->planes[KVFRUSTUM_LEFT], -800, -1, 0, 0);
    // Left-handed: the same volume.
    ASSERT_EQ(KVProperties::Instance()->SetBooleanById(KVSceneManager::kRightHandedId, false), KV_OK);
    camera->InvalidateScreen();
    ExpectPlane(camera->GetFrustum()->planes[KVFRUSTUM_FAR], -90, 0, 0, -1);
    ExpectPlane(camera->GetFrustum()->planes[KVFRUSTUM_NEAR], -9, 0, 0, 1);
}

TEST_F(KVUnitCameraTest, TheFrustumFollowsEveryChangeOfViewOrProjection) {
    KVUnitCamera* camera = Worked();
    // The top plane holds the eye (0, 0, 10).
    ExpectPlane(camera->GetFrustum()->planes[KVFRUSTUM_TOP], -3.8268f, 0, 0.9239f, 0.3827f);
    // Rolled a quarter turn: the top of the view is +x.
    Set(camera, "Up", 0, "1");
    Set(camera, "Up", 1, "0");
    ExpectPlane(camera->GetFrustum()->planes[KVFRUSTUM_TOP], -3.8268f, 0.9239f, 0, 0.3827f);
    // AutoClip switched on takes the scene's range.
    camera->SetClipRange(2.0f, 20.0f);
    ExpectPlane(camera->GetFrustum()->planes[KVFRUSTUM_NEAR], -9, 0, 0, 1);
    Set(camera, "AutoClip", 0, "true");
    ExpectPlane(camera->GetFrustum()->planes[KVFRUSTUM_NEAR], -8, 0, 0, 1);
    // The eye moves the box.
    camera->SetPosition({0, 0, 30});
    EXPECT_NEAR(camera->GetFrustum()->boxMax.z, 30.0f, 1e-4f);
    ExpectVector(camera->GetFrustum()->eye, 0, 0, 30);
}

TEST_F(KVUnitCameraTest, BadGeometryNeitherTrapsNorTurnsNaNIntoIntegers) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const struct {
        KV3DVector position;
        KV3DVector target;
        const char* fov;
        const char* nearClip;
        const char* farClip;
        bool orthogonal;
    } cases[] = {
        {{nan, 0, 10}, {0, 0, 0}, "0.785", "1", "100", false},
        {{1e30f, -1e30f, 1e30f}, {0, 0, 0}, "0.785", "1", "100", false},
        {{inf, 0, 10}, {0, 0, 0}, "0.785", "1", "100", true},
        {{0, 0, 10}, {0, 0, 10}, "0.785", "1", "100", false},  // eye on the target
        {{0, 0, 10}, {0, 0, 0}, "0", "1", "100", false},
        {{0, 0, 10}, {0, 0, 0}, "3.14159265", "1", "100", false},
        {{0, 0, 10}, {0, 0, 0}, "0.785", "5", "5", false},
        {{0, 0, 10}, {0, 0, 0}, "0.785", "5", "5", true},
        {{0, 0, 10}, {0, 0, 0}, "0.785", "0", "100", false},
        {{0, 0, 10}, {0, 0, 0}, "0.785", "-1", "100", false},
        {{0, 10, 0}, {0, 0, 0}, "0.785", "1", "100", false},  // looking along up
    };
    int n = 0;
    for (const auto& c : cases) {
        const std::string name = "Bad" + std::to_string(n++);
        KVUnitCamera* camera = Camera(name.c_str(), c.position, c.target, false);
        Set(camera, "FOV", 0, c.fov);
        Set(camera, "NearClip", 0, c.nearClip);
        Set(camera, "FarClip", 0, c.farClip);
        camera->SetOrthogonal(c.orthogonal);
        camera->InvalidateAll();
        camera->UpdateMatrices();
        const KV3DFrustum* frustum = camera->GetFrustum();
        ASSERT_NE(frustum, nullptr);
        KVPickRay ray;
        EXPECT_EQ(camera->GetPickRay(400, 300, &ray), KV_OK);
        const KV3DVector points[] = {{0, 0, 0}, {nan, nan, nan}, {1e38f, -1e38f, 1e38f}, {inf, 0, 0}};
        for (const KV3DVector& point : points) {
            KVProjectedPoint projected;
            EXPECT_EQ(camera->Project(&point, &projected), KV_OK);
        }
    }
}

TEST_F(KVUnitCameraTest, ActiveCamerasEnterTheSceneListAndFullScreenOnesTakeTurns) {
    KVSceneManager& scene = rig.Scene();
    KVUnitCamera* a = Camera("A", {0, 0, 10}, {0, 0, 0});
    EXPECT_TRUE(a->IsActive());
    ASSERT_EQ(scene.GetCameraCount(), 1u);
    // A camera with a part of the screen goes after the others; switching
    // it on switches the full-screen A off.
    KVUnitCamera* part = Camera("Part", {0, 0, 10}, {0, 0, 0}, false);
    const KVDeviceRect corner = {10, 10, 100, 100};
    part->SetViewport(&corner);
    part->SetActive(true);
    EXPECT_FALSE(a->IsActive());
    ASSERT_EQ(scene.GetCameraCount(), 1u);
    EXPECT_EQ(scene.GetCamera(0), static_cast<IKVUnit*>(part));
    // A full-screen camera goes first; one that does not deactivate by
    // itself stays when the next full-screen camera comes.
    KVUnitCamera* b = Camera("B", {0, 0, 10}, {0, 0, 0});
    b->SetAutoDeactivate(false);
    EXPECT_FALSE(b->GetAutoDeactivate());
    KVUnitCamera* c = Camera("C", {0, 0, 10}, {0, 0, 0});
    EXPECT_TRUE(b->IsActive());
    EXPECT_TRUE(part->IsActive());
    ASSERT_EQ(scene.GetCameraCount(), 3u);
    EXPECT_EQ(scene.GetCamera(0), static_cast<IKVUnit*>(c));
    EXPECT_EQ(scene.GetCamera(1), static_cast<IKVUnit*>(b));
    EXPECT_EQ(scene.GetCamera(2), static_cast<IKVUnit*>(part));
    // Switched off from its attribute it leaves; closed it leaves too.
    Set(c, "Active", 0, "false");
    EXPECT_FALSE(c->IsActive());
    ASSERT_EQ(scene.GetCameraCount(), 2u);
    b->Release();
    ASSERT_EQ(scene.GetCameraCount(), 1u);
    EXPECT_EQ(scene.GetCamera(0), static_cast<IKVUnit*>(part));
}

TEST_F(KVUnitCameraTest, TheSceneDrawsThroughTheCameraAndKeepsItCurrent) {
    KVUnitCamera* camera = Worked();
    ASSERT_EQ(rig.Scene().Draw(), KV_OK);
    EXPECT_EQ(rig.Scene().GetCurrentCamera(), static_cast<IKVUnit*>(camera));
    // Made current, the camera sends everything once.
    EXPECT_EQ(device.Count("SetPerspective"), 1u);
    EXPECT_EQ(device.CallsOf("SetTransform").size(), 1u);
    device.ClearCalls();
    ASSERT_EQ(rig.Scene().Draw(), KV_OK);
    EXPECT_EQ(device.Count("SetPerspective"), 0u);
    EXPECT_EQ(device.Count("SetTransform"), 0u);
    // The scene projects through it.
    KVScreenPoint point;
    const KV3DVector origin;
    EXPECT_EQ(rig.Scene().ProjectToScreen(&origin, &point), KV_OK);
    EXPECT_EQ(point.x, 400);
    EXPECT_EQ(point.y, 300);
}

} // namespace
