// The scene manager on the recording device: filing and draw order, layers,
// sorters, cameras and their filters, the frame per camera, mirrors, clip
// ranges, picking and the input transform.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "kernel/KVCore.h"
#include "kernel/KVProperties.h"
#include "support/KVSceneRig.h"
#include "units/KVSceneCollisionManager.h"
#include "units/KVSceneManager.h"

using namespace kvl;
using kvtest::KVSceneRig;
using kvtest::KVTestCameraUnit;
using kvtest::KVTestQuadUnit;
using kvtest::SceneJournal;
using Names = std::vector<std::string>;

namespace {

constexpr KVDeviceRect kScreen = {0, 0, 1024, 768};

// Reverses list 2 (marks included), as a sorter may reorder anything.
class ReversingSorter : public IKVUnitSystemizer {
public:
    int32_t Sort(std::vector<int32_t>* lists) override {
        ++calls;
        std::reverse(lists[2].begin(), lists[2].end());
        return KV_OK;
    }
    int calls = 0;
};

class NamedCallback : public IKVDrawCallback {
public:
    explicit NamedCallback(std::string name) : m_name(std::move(name)) {}
    int32_t OnDraw() override {
        kvtest::Note(m_name);
        return KV_OK;
    }

private:
    std::string m_name;
};

class RecordingRenderer : public IKVSceneRenderer {
public:
    int32_t DrawUnit(IKVUnit* unit, int32_t overlay) override {
        kvtest::Note("render " + unit->GetName() + " " + std::to_string(overlay));
        return KV_OK;
    }
};

// Lets units go while it draws another: the given units when it meets the
// named one.
class ReleasingRenderer : public IKVSceneRenderer {
public:
    int32_t DrawUnit(IKVUnit* unit, int32_t overlay) override {
        kvtest::Note("render " + unit->GetName() + " " + std::to_string(overlay));
        if (unit->GetName() == trigger) {
            for (KVUnit* gone : released) gone->DropFactoryReference();
            released.clear();
            // The unit drawn stays whole until its draw is over.
            kvtest::Note("still " + unit->GetName());
        }
        return KV_OK;
    }
    std::string trigger;
    std::vector<KVUnit*> released;
};

// The units each camera drew, in camera order, from the journal.
std::vector<Names> DrawnPerFrame() {
    std::vector<Names> frames;
    for (const std::string& entry : SceneJournal()) {
        if (entry == "begin") frames.emplace_back();
        if (entry.compare(0, 5, "draw ") == 0 && !frames.empty()) frames.back().push_back(entry.substr(5));
    }
    return frames;
}

class KVSceneManagerTest : public ::testing::Test {
protected:
    KVSceneManager& Scene() { return rig.Scene(); }
    void Frame() {
        SceneJournal().clear();
        Scene().Draw();
    }
    IKVUnit* At(int32_t x, int32_t y) {
        IKVUnit* unit = nullptr;
        Scene().UnitAt({x, y}, &unit, nullptr);
        return unit;
    }

    KVSceneRig rig;
};

TEST_F(KVSceneManagerTest, UnitsAreFiledByTheirListAndDrawnListByListInTreeOrder) {
    KVTestQuadUnit* a = rig.Quad("A", kScreen);
    rig.Quad("A1", kScreen, a)->SetSceneList(0);
    rig.Quad("A2", kScreen, a);
    rig.Quad("B", kScreen)->SetSceneList(4);
    KVTestQuadUnit* c = rig.Quad("C", kScreen);
    c->SetSceneList(1);
    rig.Quad("C1", kScreen, c)->SetSceneList(1);
    rig.Camera("Cam", kScreen);
    Frame();
    EXPECT_EQ(rig.ListNames(0), Names{"A1"});
    EXPECT_EQ(rig.ListNames(1), (Names{"C", "C1"}));
    // The two marks close list 2: preparation first, then the mirror pass.
    EXPECT_EQ(rig.ListNames(2), (Names{"A", "A2", "prepare", "mirrors"}));
    EXPECT_EQ(rig.ListNames(4), Names{"B"});
    EXPECT_EQ(KVSceneRig::Drawn(), (Names{"A1", "C", "C1", "A", "A2", "B"}));
    // Picking follows the same order: list 8 and the draw numbers.
    EXPECT_EQ(rig.ListNames(KVSCENE_LIST_DRAWN), (Names{"A1", "C", "C1", "A", "A2", "B"}));
    EXPECT_EQ(a->GetDrawNumber(), 3);
    EXPECT_TRUE(a->WasDrawn());
}

TEST_F(KVSceneManagerTest, InvisibleOrUndrawableUnitsAndTheirChildrenAreNotFiled) {
    KVTestQuadUnit* hidden = rig.Quad("Hidden", kScreen);
    rig.Quad("Below", kScreen, hidden);
    hidden->SetFlags(hidden->GetFlags() & ~uint32_t(KVUNIT_VISIBLE));
    hidden->UpdateVisibility();
    KVTestQuadUnit* plain = rig.Quad("Plain", kScreen);
    plain->SetDrawable(false);
    rig.Quad("Child", kScreen, plain);
    rig.Camera("Cam", kScreen);
    Frame();
    EXPECT_EQ(KVSceneRig::Drawn(), Names{"Child"});
}

TEST_F(KVSceneManagerTest, LayersFileTheirUnitsAfterTheWalk) {
    KVUnit* layer = rig.Make<KVUnit>("Layer", "L");
    rig.Quad("Inside", kScreen, layer);
    KVTestQuadUnit* named = rig.Quad("Named", kScreen);
    rig.SetLayer(named, layer);
    // A child takes its parent's layer.
    rig.Quad("NamedChild", kScreen, named);
    rig.Quad("After", kScreen);
    rig.Camera("Cam", kScreen);
    Frame();
    EXPECT_EQ(rig.ListNames(KVSCENE_LIST_LAYERS), Names{"L"});
    // The layer's own children are not walked; the layer (drawable) and
    // then the units naming it come after every unit filed by the walk.
    EXPECT_EQ(rig.ListNames(2), (Names{"After", "L", "Named", "NamedChild", "prepare", "mirrors"}));
    EXPECT_EQ(KVSceneRig::Drawn(), (Names{"After", "Named", "NamedChild"}));
}

TEST_F(KVSceneManagerTest, SortersReorderTheListsUnlessNoUnitSorterIsSet) {
    ReversingSorter sorter;
    EXPECT_EQ(Scene().AddObject(&sorter), KV_OK);
    EXPECT_EQ(Scene().AddObject(&sorter), KV_FAILED);
    rig.Quad("A", kScreen);
    rig.Quad("B", kScreen);
    rig.Camera("Cam", kScreen);
    Frame();
    EXPECT_EQ(sorter.calls, 1);
    EXPECT_EQ(KVSceneRig::Drawn(), (Names{"B", "A"}));

    ASSERT_EQ(KVProperties::Instance()->SetBooleanById(KVSceneManager::kNoUnitSorterId, true), KV_OK);
    Frame();
    EXPECT_EQ(sorter.calls, 1);
    EXPECT_EQ(rig.ListNames(2), (Names{"A", "B", "prepare", "mirrors"}));
    EXPECT_EQ(KVSceneRig::Drawn(), (Names{"A", "B"}));

    EXPECT_EQ(Scene().RemoveObject(&sorter), KV_OK);
    EXPECT_EQ(Scene().RemoveObject(&sorter), KV_FAILED);
}

TEST_F(KVSceneManagerTest, ASceneListOutsideTheDrawnListsFilesNothing) {
    // Lists 5 to 9 hold mirrors, picking and layers; others do not exist.
    for (int32_t list : {-1, 5, 7, 8, 9, 10, 1000}) {
        KVTestQuadUnit* unit = rig.Quad("Odd", kScreen);
        unit->SetSceneList(list);
        EXPECT_EQ(Scene().AddUnit(unit), KV_INVALID) << list;
        unit->Release();
    }
    KVTestQuadUnit* odd = rig.Quad("Odd", kScreen);
    odd->SetSceneList(9);
    rig.Quad("Plain", kScreen);
    rig.Camera("Cam", kScreen);
    Frame();
    EXPECT_EQ(KVSceneRig::Drawn(), Names{"Plain"});
    EXPECT_TRUE(rig.ListNames(KVSCENE_LIST_LAYERS).empty());
    EXPECT_EQ(At(1, 1)->GetName(), "Plain");
}

TEST_F(KVSceneManagerTest, EachCameraDrawsTheUnitsItsFilterLetsThrough) {
    // A full-screen camera switched on first would go off again.
    KVTestCameraUnit* part = rig.Camera("Part", {0, 0, 100, 100});
    KVTestCameraUnit* full = rig.Camera("Full", kScreen);
    rig.Quad("Everyone", kScreen);
    rig.SetCameras(rig.Quad("OnlyFull", kScreen), {full});
    rig.SetCameras(rig.Quad("OnlyPart", kScreen), {part});
    rig.SetCameras(rig.Quad("Both", kScreen), {part, full});
    Frame();
    EXPECT_EQ(DrawnPerFrame(), (std::vector<Names>{{"Everyone", "OnlyFull", "Both"},
                                                   {"Everyone", "OnlyPart", "Both"}}));
    // An exclusive camera draws only the units that name it.
    part->exclusive = true;
    Frame();
    EXPECT_EQ(DrawnPerFrame(), (std::vector<Names>{{"Everyone", "OnlyFull", "Both"}, {"OnlyPart", "Both"}}));
}

TEST_F(KVSceneManagerTest, WithoutCameraOnlyUnitsWithoutCamerasDrawAndTheAbsenceIsLoggedOnce) {
    KVTestQuadUnit* free = rig.Quad("Free", kScreen);
    KVTestQuadUnit* bound = rig.Quad("Bound", kScreen);
    KVTestCameraUnit* camera = rig.Make<KVTestCameraUnit>("Camera", "Cam");
    rig.SetCameras(bound, {camera});
    Frame();
    Frame();
    EXPECT_EQ(KVSceneRig::Drawn(), Names{"Free"});
    EXPECT_EQ(KVSceneRig::LogErrors(), Names{"No active camera"});
    // A camera that comes and goes makes the next absence worth a line.
    camera->SetActive(true);
    Frame();
    EXPECT_EQ(KVSceneRig::Drawn(), (Names{"Free", "Bound"}));
    camera->SetActive(false);
    Frame();
    Frame();
    EXPECT_EQ(KVSceneRig::LogErrors(), (Names{"No active camera", "No active camera"}));
    (void)free;
}

TEST_F(KVSceneManagerTest, ThreeDUnitsAreNotAskedWithoutCamera) {
    KVUnit* reflected = rig.Make<KVUnit>("Reflected", "R");
    rig.Quad("Child", kScreen, reflected);
    Frame();
    // Not asked, so not filed; its children are still walked.
    EXPECT_EQ(KVSceneRig::Drawn(), Names{"Child"});
    EXPECT_TRUE(Scene().GetDrawQueue().empty());
    rig.Camera("Cam", kScreen);
    Frame();
    EXPECT_EQ(KVSceneRig::Drawn(), (Names{"R", "Child"}));
}

TEST_F(KVSceneManagerTest, TheFrameRunsCameraByCamera) {
    KVTestCameraUnit* first = rig.Camera("First", {0, 0, 500, 500});
    rig.Quad("A", kScreen);
    NamedCallback pre("pre"), post("post");
    Scene().AddDrawCallback(&pre, 0);
    Scene().AddDrawCallback(&post, 1);
    Scene().AddDrawCallback(nullptr, 0);
    Frame();
    // The first frame presents nothing; a camera without a viewport of its
    // own gets the whole screen, cleared.
    EXPECT_EQ(SceneJournal(), (Names{"viewport 0,0,1024,768", "clear", "First viewport", "First invalidate",
                                     "First update", "begin", "pre", "draw A", "post", "end"}));
    EXPECT_EQ(Scene().GetCurrentCamera(), static_cast<IKVUnit*>(first));

    first->ownViewport = true;
    Frame();
    EXPECT_EQ(SceneJournal(), (Names{"present", "First update", "begin", "pre", "draw A", "post", "end"}));

    // With a second camera the first one's screen is reset again, and each
    // camera that becomes current is sent everything.
    rig.Camera("Second", {0, 0, 10, 10});
    Frame();
    EXPECT_EQ(SceneJournal(),
              (Names{"present", "viewport 0,0,1024,768", "clear", "First viewport", "First update", "begin", "pre",
                     "draw A", "post", "end", "Second invalidate", "Second update", "begin", "pre", "draw A",
                     "post", "end"}));
    EXPECT_EQ(Scene().GetCurrentCamera()->GetName(), "Second");
}

TEST_F(KVSceneManagerTest, ACameraWhoseFrameCannotBeginIsSkipped) {
    rig.Camera("Cam", kScreen);
    rig.Quad("A", kScreen);
    rig.Recorder().beginResult = 1;
    Frame();
    EXPECT_TRUE(KVSceneRig::Drawn().empty());
    EXPECT_EQ(std::count(SceneJournal().begin(), SceneJournal().end(), "end"), 0);
    EXPECT_FALSE(Scene().IsDrawing());
}

TEST_F(KVSceneManagerTest, WithoutCameraTheGraphicViewportIsApplied) {
    rig.Quad("A", kScreen);
    Frame();
    EXPECT_EQ(SceneJournal(), (Names{"viewport 0,0,1024,768", "begin", "draw A", "end"}));
}

TEST_F(KVSceneManagerTest, ActivatingACameraSwitchesOffTheOtherFullScreenCameras) {
    KVTestCameraUnit* a = rig.Camera("A", kScreen);
    KVTestCameraUnit* part = rig.Camera("Part", {10, 10, 100, 100});
    // The top edge is not compared: this one covers the screen too.
    KVTestCameraUnit* b = rig.Camera("B", {0, 20, 1024, 788});
    // Switching on Part switched A off; B went in front of Part.
    EXPECT_FALSE(a->active);
    EXPECT_TRUE(part->active);
    EXPECT_TRUE(b->active);
    ASSERT_EQ(Scene().GetCameraCount(), 2u);
    EXPECT_EQ(Scene().GetCamera(0), static_cast<IKVUnit*>(b));
    EXPECT_EQ(Scene().GetCamera(1), static_cast<IKVUnit*>(part));
    // A partial camera goes to the end; it too switches B off.
    KVTestCameraUnit* other = rig.Camera("Other", {0, 0, 10, 10});
    EXPECT_FALSE(b->active);
    ASSERT_EQ(Scene().GetCameraCount(), 2u);
    EXPECT_EQ(Scene().GetCamera(0), static_cast<IKVUnit*>(part));
    EXPECT_EQ(Scene().GetCamera(1), static_cast<IKVUnit*>(other));
    EXPECT_EQ(Scene().FindCamera(), static_cast<IKVUnit*>(part));
    // Switching on a listed camera again changes nothing.
    EXPECT_EQ(Scene().OnCameraActivated(other), KV_OK);
    EXPECT_EQ(Scene().GetCameraCount(), 2u);
}

TEST_F(KVSceneManagerTest, FindCameraPrefersTheScreenSizedViewport) {
    EXPECT_EQ(Scene().FindCamera(), nullptr);
    KVTestCameraUnit* small = rig.Camera("Small", {0, 0, 10, 10});
    EXPECT_EQ(Scene().FindCamera(), static_cast<IKVUnit*>(small));
    KVTestCameraUnit* offset = rig.Camera("Offset", {5, 5, 10, 10});
    offset->viewport = {100, 0, 1124, 768};
    EXPECT_EQ(Scene().FindCamera(), static_cast<IKVUnit*>(offset));
    EXPECT_EQ(Scene().GetMainViewport()->right, 10);
}

// A point in device pixels belongs to the first listed camera whose
// viewport holds it, and to none when no viewport does (a letterbox, a
// border, off the screen). A game point is seen through the scene's camera
// wherever it lies in the game area, and through none outside it.
TEST_F(KVSceneManagerTest, CamerasOfDevicePixelsAndOfGamePoints) {
    EXPECT_EQ(Scene().CameraAt(5, 5), nullptr);
    EXPECT_EQ(Scene().FindCamera(KVScreenPoint{5, 5}), nullptr);
    KVTestCameraUnit* top = rig.Camera("Top", {0, 0, 1024, 384});
    KVTestCameraUnit* bottom = rig.Camera("Bottom", {0, 384, 1024, 768});
    KVTestCameraUnit* inset = rig.Camera("Inset", {900, 700, 1000, 760});
    ASSERT_EQ(Scene().GetCamera(0), static_cast<IKVUnit*>(top));
    struct Case {
        KVScreenPoint point;
        IKVUnit* camera;
    };
    const Case pixels[] = {
        {{0, 0}, top},          {{1023, 383}, top},     {{0, 384}, bottom},   {{500, 767}, bottom},
        // Held by two: the first listed.
        {{950, 750}, bottom},   {{1024, 10}, nullptr},  {{-1, 500}, nullptr}, {{10, 768}, nullptr},
        {{INT32_MIN, INT32_MAX}, nullptr},
    };
    for (const Case& c : pixels)
        EXPECT_EQ(Scene().CameraAt(c.point.x, c.point.y), c.camera) << c.point.x << "," << c.point.y;
    (void)inset;
    // Every game point of the area, whichever viewport shows it, goes
    // through FindCamera()'s camera.
    const Case game[] = {
        {{0, 0}, top},        {{20, 500}, top},      {{1023, 767}, top},  {{950, 750}, top},
        {{1024, 10}, nullptr}, {{-1, 500}, nullptr}, {{10, 768}, nullptr}, {{INT32_MIN, INT32_MAX}, nullptr},
    };
    for (const Case& c : game)
        EXPECT_EQ(Scene().FindCamera(c.point), c.camera) << c.point.x << "," << c.point.y;

    // Picking without a camera takes the point's.
    KVTestQuadUnit* quad = rig.Quad("Q", kScreen);
    EXPECT_TRUE(Scene().IsPointInside(quad, {20, 500}, true, nullptr, nullptr));
    EXPECT_EQ(quad->lastCamera, static_cast<IKVUnit*>(top));
    EXPECT_TRUE(Scene().IsPointInside(quad, {20, 500}, true, nullptr, bottom));
    EXPECT_EQ(quad->lastCamera, static_cast<IKVUnit*>(bottom));
    // The point as given decides, not the point the input transform makes.
    const float shift[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 400, 0, 1};
    Scene().SetInputTransform(shift);
    EXPECT_TRUE(Scene().IsPointInside(quad, {20, 100}, false, nullptr, nullptr));
    EXPECT_EQ(quad->lastCamera, static_cast<IKVUnit*>(top));
    const float outward[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, -200, 0, 1};
    Scene().SetInputTransform(outward);
    Scene().IsPointInside(quad, {20, 100}, false, nullptr, nullptr);
    EXPECT_EQ(quad->lastCamera, static_cast<IKVUnit*>(top));
    Scene().ClearInputTransform();
    // Outside the game area the unit's test runs without a camera.
    quad->lastCamera = top;
    Scene().IsPointInside(quad, {1030, 100}, true, nullptr, nullptr);
    EXPECT_EQ(quad->lastCamera, nullptr);
}

TEST_F(KVSceneManagerTest, TheUnitDrawnLastIsPickedFirst) {
    KVTestQuadUnit* under = rig.Quad("Under", {0, 0, 50, 50});
    KVTestQuadUnit* over = rig.Quad("Over", {25, 25, 75, 75});
    rig.Camera("Cam", kScreen);
    Frame();
    EXPECT_EQ(At(30, 30), static_cast<IKVUnit*>(over));
    EXPECT_EQ(At(10, 10), static_cast<IKVUnit*>(under));
    IKVUnit* out = over;
    EXPECT_EQ(Scene().UnitAt({200, 200}, &out, nullptr), KV_NOT_FOUND);
    EXPECT_EQ(out, nullptr);
    // The camera the test gets is FindCamera's.
    EXPECT_EQ(over->lastCamera, Scene().FindCamera());

    std::vector<int32_t> all;
    Scene().UnitsAt({30, 30}, &all);
    EXPECT_EQ(all, (std::vector<int32_t>{over->GetIndex(), under->GetIndex()}));

    // Never hit, invisible or disabled units are passed over.
    over->SetFlags(over->GetFlags() | KVUNIT_NOT_HITTABLE);
    EXPECT_EQ(At(30, 30), static_cast<IKVUnit*>(under));
    over->SetFlags(over->GetFlags() & ~uint32_t(KVUNIT_NOT_HITTABLE));
    over->SetFlags(over->GetFlags() & ~uint32_t(KVUNIT_VISIBLE));
    over->UpdateVisibility();
    EXPECT_EQ(At(30, 30), static_cast<IKVUnit*>(under));
    over->SetFlags(over->GetFlags() | KVUNIT_VISIBLE);
    over->UpdateVisibility();
    over->SetEnabled(false);
    EXPECT_EQ(At(30, 30), static_cast<IKVUnit*>(under));
    // A unit gone since the frame is passed over too.
    over->SetEnabled(true);
    under->Release();
    EXPECT_EQ(At(10, 10), nullptr);
}

TEST_F(KVSceneManagerTest, AHitCountsUnlessItsDepthReachesTheBound) {
    // A 2D unit writes no depth and is still a hit; a unit that reports the
    // bound itself (or more) is not.
    KVTestQuadUnit* flat = rig.Quad("Flat", kScreen);
    KVTestQuadUnit* deep = rig.Quad("Deep", kScreen);
    deep->writesDepth = true;
    deep->depth = KVSceneManager::kFarthestDepth;
    rig.Camera("Cam", kScreen);
    Frame();
    EXPECT_EQ(At(5, 5), static_cast<IKVUnit*>(flat));
    deep->depth = 12.0f;
    EXPECT_EQ(At(5, 5), static_cast<IKVUnit*>(deep));
    std::vector<int32_t> all;
    Scene().UnitsAt({5, 5}, &all);
    EXPECT_EQ(all.size(), 2u);
}

TEST_F(KVSceneManagerTest, OnlyTheUnitsOfTheLastCameraArePickable) {
    KVTestCameraUnit* second = rig.Camera("Second", {0, 0, 100, 100});
    KVTestCameraUnit* first = rig.Camera("First", kScreen);
    KVTestQuadUnit* mine = rig.Quad("FirstOnly", {0, 0, 10, 10});
    KVTestQuadUnit* theirs = rig.Quad("SecondOnly", {20, 0, 30, 10});
    rig.SetCameras(mine, {first});
    rig.SetCameras(theirs, {second});
    Frame();
    EXPECT_EQ(At(5, 5), nullptr);
    EXPECT_EQ(At(25, 5), static_cast<IKVUnit*>(theirs));
    EXPECT_EQ(rig.ListNames(KVSCENE_LIST_DRAWN), Names{"SecondOnly"});
}

TEST_F(KVSceneManagerTest, TheInputTransformRoundsToTheNearestPoint) {
    KVScreenPoint p{7, -3};
    Scene().TransformPoint(&p);
    EXPECT_EQ(p, (KVScreenPoint{7, -3}));
    struct Case {
        float scale;
        float dx, dy;
        KVScreenPoint in, out;
    };
    const Case cases[] = {
        {1.0f, 10.0f, -4.0f, {7, -3}, {17, -7}},
        {0.5f, 0.0f, 0.0f, {3, 5}, {2, 3}},        // 1.5 and 2.5 round up
        {0.5f, 0.0f, 0.0f, {-3, -5}, {-1, -2}},    // -1.5 and -2.5 round up too
        {0.3f, 0.0f, 0.0f, {-4, -6}, {-1, -2}},    // -1.2 and -1.8 to the nearest
        {1.0f, -0.7f, 0.4f, {0, 0}, {-1, 0}},
        {1.0f, 3.0e9f, -3.0e9f, {0, 0}, {2147483647, -2147483647 - 1}},  // saturating
    };
    for (const Case& c : cases) {
        float m[16] = {c.scale, 0, 0, 0, 0, c.scale, 0, 0, 0, 0, 1, 0, c.dx, c.dy, 0, 1};
        Scene().SetInputTransform(m);
        KVScreenPoint q = c.in;
        Scene().TransformPoint(&q);
        EXPECT_EQ(q, c.out) << c.scale << " " << c.in.x << "," << c.in.y;
    }
    Scene().ClearInputTransform();
    p = {7, -3};
    Scene().TransformPoint(&p);
    EXPECT_EQ(p, (KVScreenPoint{7, -3}));
}

TEST_F(KVSceneManagerTest, PointTestsTakeTheInputTransformUnlessRaw) {
    KVTestQuadUnit* unit = rig.Quad("A", {100, 100, 110, 110});
    const float shift[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 100, 100, 0, 1};
    Scene().SetInputTransform(shift);
    EXPECT_TRUE(Scene().IsPointInside(unit, {5, 5}, false, nullptr, nullptr));
    EXPECT_FALSE(Scene().IsPointInside(unit, {5, 5}, true, nullptr, nullptr));
    EXPECT_EQ(unit->tested.back(), (KVScreenPoint{5, 5}));
    KVTestCameraUnit* camera = rig.Camera("Cam", kScreen);
    Scene().IsPointInside(unit, {5, 5}, true, nullptr, nullptr);
    EXPECT_EQ(unit->lastCamera, static_cast<IKVUnit*>(camera));
    KVTestCameraUnit* given = rig.Camera("Given", {0, 0, 5, 5});
    Scene().IsPointInside(unit, {5, 5}, true, nullptr, given);
    EXPECT_EQ(unit->lastCamera, static_cast<IKVUnit*>(given));
}

TEST_F(KVSceneManagerTest, ProjectionGoesThroughTheCamera) {
    const KV3DVector point{12.0f, 34.0f, 5.0f};
    KVScreenPoint out{1, 1};
    EXPECT_EQ(Scene().ProjectToScreen(&point, &out), KV_FAILED);
    EXPECT_EQ(out, (KVScreenPoint{-10000, -10000}));
    KVTestCameraUnit* camera = rig.Camera("Cam", kScreen);
    camera->projectOffset = {100, 200};
    EXPECT_EQ(Scene().ProjectToScreen(&point, &out), KV_OK);
    EXPECT_EQ(out, (KVScreenPoint{112, 234}));
}

TEST_F(KVSceneManagerTest, AutomaticClipRangeFollowsTheQueuedSpheres) {
    KVTestCameraUnit* camera = rig.Camera("Cam", kScreen);
    camera->autoClip = true;
    camera->ownViewport = true;
    Frame();
    // Nothing queued: the camera's own limits.
    EXPECT_EQ(kvtest::JournalStartingWith("Cam clip"), Names{"Cam clip 1 1000"});

    // Right-handed: the view looks down -z, so a sphere at z = -10 lies at
    // depths 9 to 11 along the view.
    auto* near = rig.Make<kvtest::KVTestReflectedUnit>("Reflected", "Near");
    near->sphere = {0.0f, 0.0f, -10.0f, 1.0f};
    auto* far = rig.Make<kvtest::KVTestReflectedUnit>("Reflected", "Far");
    far->sphere = {3.0f, 0.0f, -50.0f, 5.0f};
    Frame();
    EXPECT_NEAR(camera->clipNear, 9.0f / 1.1f, 1e-4f);
    EXPECT_NEAR(camera->clipFar, 55.0f * 1.1f, 1e-3f);
    ASSERT_EQ(Scene().GetDrawQueue().size(), 2u);

    // The camera's own limits bound the range.
    camera->nearClip = 9.5f;
    camera->farClip = 20.0f;
    Frame();
    EXPECT_FLOAT_EQ(camera->clipNear, 9.5f);
    EXPECT_FLOAT_EQ(camera->clipFar, 20.0f);

    // Left-handed, the view looks down +z.
    ASSERT_EQ(KVProperties::Instance()->SetBooleanById(KVSceneManager::kRightHandedId, false), KV_OK);
    EXPECT_FALSE(Scene().IsRightHanded());
    near->sphere = {0.0f, 0.0f, 10.0f, 1.0f};
    far->sphere = {0.0f, 0.0f, 15.0f, 1.0f};
    camera->farClip = 1000.0f;
    camera->nearClip = 1.0f;
    Frame();
    EXPECT_NEAR(camera->clipNear, 9.0f / 1.1f, 1e-4f);
    EXPECT_NEAR(camera->clipFar, 16.0f * 1.1f, 1e-4f);
}

TEST_F(KVSceneManagerTest, TheMirrorPassDrawsEveryReflectedUnitIntoEveryMirror) {
    rig.Camera("Cam", kScreen)->ownViewport = true;
    auto* m1 = rig.Make<kvtest::KVTestMirrorUnit>("Mirror", "M1");
    m1->plane[0] = 1.0f;
    auto* m2 = rig.Make<kvtest::KVTestMirrorUnit>("Mirror", "M2");
    m2->plane[0] = 2.0f;
    rig.Make<kvtest::KVTestReflectedUnit>("Reflected", "R");
    rig.Quad("Last", kScreen)->SetSceneList(3);
    // Without the device's mirror support only the preparation runs.
    Frame();
    EXPECT_EQ(SceneJournal(),
              (Names{"Cam invalidate", "Cam update", "begin", "draw R", "R prepare", "draw Last", "end"}));
    EXPECT_EQ(m1->number, 1);
    EXPECT_EQ(m2->number, 2);

    rig.Recorder().features = KVDEVICE_FEATURE_MIRROR;
    Frame();
    EXPECT_EQ(SceneJournal(),
              (Names{"present", "Cam update", "begin", "draw R", "R prepare", "target mirror", "clear mirror",
                     "M1 shader 0", "M2 shader 0", "R mirrored 1 d=1", "R mirrored 2 d=2", "target screen",
                     "M1 shader 1", "M2 shader 1", "draw Last", "end"}));
}

TEST_F(KVSceneManagerTest, ARendererDrawsInPlaceOfTheUnitsAndTheOverlayFollowsListTwo) {
    RecordingRenderer renderer;
    Scene().SetRenderer(&renderer);
    rig.Camera("Cam", kScreen)->ownViewport = true;
    rig.Quad("A", kScreen);
    rig.Quad("B", kScreen)->SetSceneList(3);
    KVTestQuadUnit* overlay = rig.Quad("Overlay", kScreen);
    overlay->SetSceneList(5);
    rig.Factory().SetOverlayUnit(overlay->GetIndex());
    // The overlay is drawn only in editor mode while the game is stopped.
    Frame();
    EXPECT_EQ(kvtest::JournalStartingWith("render"), (Names{"render A 0", "render B 0"}));
    EXPECT_EQ(rig.ListNames(KVSCENE_LIST_DRAWN), (Names{"A", "B"}));
}

// A unit let go by the drawing of another is drawn no more: not later in
// the same list, nor in a later list, nor in the next frame; the unit that
// lets itself go is drawn to the end, and the units after it still draw.
// Through a camera, and in a frame without 3D (no camera at all).
TEST(KVSceneManagerLetGoTest, UnitsLetGoWhileTheListsDrawAreNotDrawnAgain) {
    for (const bool with3D : {true, false}) {
        SCOPED_TRACE(with3D ? "camera" : "2D");
        KVSceneRig::Options options;
        options.with3D = with3D;
        KVSceneRig rig(options);
        ReleasingRenderer renderer;
        rig.Scene().SetRenderer(&renderer);
        if (with3D) rig.Camera("Cam", kScreen)->ownViewport = true;
        KVTestQuadUnit* a = rig.Quad("A", kScreen);
        rig.Quad("A1", kScreen, a);
        KVTestQuadUnit* b = rig.Quad("B", kScreen);
        KVTestQuadUnit* c = rig.Quad("C", kScreen);
        KVTestQuadUnit* d = rig.Quad("D", kScreen);
        d->SetSceneList(3);
        rig.Quad("E", kScreen);
        const auto frame = [&rig] {
            SceneJournal().clear();
            rig.Scene().Draw();
        };
        renderer.trigger = "A1";
        renderer.released = {a, c, d};
        frame();
        EXPECT_EQ(kvtest::JournalStartingWith("render"),
                  (Names{"render A 0", "render A1 0", "render B 0", "render E 0"}));
        EXPECT_EQ(kvtest::JournalStartingWith("still"), Names{"still A1"});
        frame();
        EXPECT_EQ(kvtest::JournalStartingWith("render"), (Names{"render B 0", "render E 0"}));
        EXPECT_EQ(rig.ListNames(KVSCENE_LIST_DRAWN), (Names{"B", "E"}));
        // The unit drawing lets itself go.
        renderer.trigger = "B";
        renderer.released = {b};
        frame();
        EXPECT_EQ(kvtest::JournalStartingWith("render"), (Names{"render B 0", "render E 0"}));
        EXPECT_EQ(kvtest::JournalStartingWith("still"), Names{"still B"});
        frame();
        EXPECT_EQ(kvtest::JournalStartingWith("render"), Names{"render E 0"});
        EXPECT_EQ(rig.ListNames(KVSCENE_LIST_DRAWN), Names{"E"});
        rig.Scene().SetRenderer(nullptr);
    }
}

TEST(KVSceneManagerEditorTest, TheEditorOverlayIsDrawnAfterListTwo) {
    KVSceneRig::Options options;
    options.editorMode = true;
    KVSceneRig rig(options);
    RecordingRenderer renderer;
    KVTestCameraUnit* camera = rig.Camera("Cam", kScreen);
    camera->ownViewport = true;
    rig.Quad("A", kScreen);
    rig.Quad("B", kScreen)->SetSceneList(3);
    KVTestQuadUnit* overlay = rig.Quad("Overlay", kScreen);
    overlay->SetSceneList(5);
    rig.Factory().SetOverlayUnit(overlay->GetIndex());
    rig.Scene().Draw();
    EXPECT_EQ(KVSceneRig::Drawn(), (Names{"A", "B"}));
    rig.Scene().SetRenderer(&renderer);
    SceneJournal().clear();
    rig.Scene().Draw();
    EXPECT_EQ(kvtest::JournalStartingWith("render"), (Names{"render A 0", "render Overlay 1", "render B 0"}));
    // The overlay is not a drawn unit: it cannot be picked.
    EXPECT_EQ(rig.ListNames(KVSCENE_LIST_DRAWN), (Names{"A", "B"}));
    // It passes the camera filter like any unit: switching on Other
    // switches Cam off.
    rig.SetCameras(overlay, {camera});
    rig.Camera("Other", {0, 0, 5, 5});
    SceneJournal().clear();
    rig.Scene().Draw();
    EXPECT_EQ(kvtest::JournalStartingWith("render"), (Names{"render A 0", "render B 0"}));
}

TEST_F(KVSceneManagerTest, TheCurrentCameraIsForgottenWhenItGoes) {
    KVTestCameraUnit* camera = rig.Camera("Cam", kScreen);
    Frame();
    ASSERT_EQ(Scene().GetCurrentCamera(), static_cast<IKVUnit*>(camera));
    camera->Release();
    EXPECT_EQ(Scene().GetCurrentCamera(), nullptr);
    EXPECT_EQ(Scene().GetCameraCount(), 0u);
    Frame();
    EXPECT_EQ(KVSceneRig::LogErrors(), Names{"No active camera"});
}

TEST_F(KVSceneManagerTest, ScreenChangesReachEveryEnabledCamera) {
    KVTestCameraUnit* current = rig.Camera("Current", kScreen);
    KVTestCameraUnit* idle = rig.Make<KVTestCameraUnit>("Camera", "Idle");
    KVTestCameraUnit* off = rig.Make<KVTestCameraUnit>("Camera", "Off");
    off->SetEnabled(false);
    Frame();
    SceneJournal().clear();
    Scene().OnScreenChanged();
    EXPECT_EQ(SceneJournal(), (Names{"Current screen", "Idle screen", "Current update"}));
    (void)idle;
    (void)current;
}

TEST_F(KVSceneManagerTest, EditorColourAndEditorUnits) {
    EXPECT_EQ(Scene().GetEditorColour(), 0x80FF00FFu);
    rig.Factory().SetColourSwitch(true);
    EXPECT_EQ(Scene().GetEditorColour(), 0xFFFF0000u);
    EXPECT_FALSE(Scene().ShowsEditorUnits(nullptr));
    Scene().SetEditorUnitsRequested(true);
    EXPECT_TRUE(Scene().ShowsEditorUnits(nullptr));
}

TEST_F(KVSceneManagerTest, TheMainViewportIsTheFirstCamerasOrTheGraphicModules) {
    const KVDeviceRect* viewport = Scene().GetMainViewport();
    EXPECT_EQ(viewport->right, 1024);
    EXPECT_EQ(viewport->bottom, 768);
    rig.Camera("Part", {1, 2, 30, 40});
    viewport = Scene().GetMainViewport();
    EXPECT_EQ(viewport->left, 1);
    EXPECT_EQ(viewport->bottom, 40);
}

TEST_F(KVSceneManagerTest, ReleasingTheSceneLetsGoOfCamerasTargetAndCallbacks) {
    EXPECT_EQ(rig.Recorder().liveTargets, 1);
    NamedCallback before("before");
    Scene().AddDrawCallback(&before, 0);
    rig.Camera("Cam", kScreen);
    Frame();
    Scene().Release(2);
    EXPECT_EQ(rig.Recorder().liveTargets, 0);
    EXPECT_EQ(Scene().GetCameraCount(), 0u);
    EXPECT_EQ(Scene().GetCurrentCamera(), nullptr);
    Frame();
    EXPECT_TRUE(kvtest::JournalStartingWith("before").empty());
    // A new project makes a new target.
    Scene().Init(3);
    EXPECT_EQ(rig.Recorder().liveTargets, 1);
}

TEST_F(KVSceneManagerTest, TheCoreRendersThroughTheScene) {
    rig.Quad("A", kScreen);
    SceneJournal().clear();
    rig.Host().Core().Render();
    EXPECT_EQ(KVSceneRig::Drawn(), Names{"A"});
}

TEST(KVSceneManager2DTest, WithoutThreeDTheListsAreDrawnOnceAndPresentedAtOnce) {
    KVSceneRig::Options options;
    options.with3D = false;
    KVSceneRig rig(options);
    KVTestQuadUnit* free = rig.Quad("Free", kScreen);
    rig.SetCameras(rig.Quad("Bound", kScreen), {rig.Camera("Cam", kScreen)});
    rig.Make<KVUnit>("Reflected", "R");
    rig.Quad("Later", kScreen)->SetSceneList(0);
    SceneJournal().clear();
    rig.Scene().Draw();
    EXPECT_EQ(SceneJournal(), (Names{"viewport 0,0,1024,768", "begin", "draw Later", "draw Free", "end", "present"}));
    EXPECT_TRUE(KVSceneRig::LogErrors().empty());
    IKVUnit* hit = nullptr;
    EXPECT_EQ(rig.Scene().UnitAt({1, 1}, &hit, nullptr), KV_OK);
    EXPECT_EQ(hit, static_cast<IKVUnit*>(free));
}

TEST(KVSceneManagerAloneTest, WithoutDeviceNothingIsDrawn) {
    KVSceneManager scene;
    scene.Init(0);
    EXPECT_EQ(scene.Draw(), KV_FAILED);
    IKVUnit* out = nullptr;
    EXPECT_EQ(scene.UnitAt({0, 0}, &out, nullptr), KV_NOT_FOUND);
    void* face = nullptr;
    EXPECT_EQ(scene.QueryInterface(IID_IKVSceneCollisionManager, &face), KV_OK);
    EXPECT_EQ(face, static_cast<IKVSceneCollisionManager*>(scene.GetCollisionManager()));
    EXPECT_EQ(scene.QueryInterface(IID_IKVUnit, &face), KV_NOT_SUPPORTED);
    EXPECT_EQ(face, nullptr);
    scene.Release(4);
    EXPECT_EQ(scene.GetCollisionManager(), nullptr);
}

} // namespace
