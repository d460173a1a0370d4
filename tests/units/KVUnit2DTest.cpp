// The 2D unit base: local transforms about the pivot, anchors against the
// parent or the game area, world transforms down three levels, clip windows
// composed with the ancestors', half-open point tests with rounding half
// away from zero, flat units, anchors of old projects, the order of the
// cascades, the graphic module's offset, point collisions, and values that
// are no numbers.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "graphics/IKVGraphic.h"
#include "support/KVAttributeTableCheck.h"
#include "support/KVSceneRig.h"
#include "support/KVSceneUnitsWriter.h"
#include "support/KVTestSceneGame.h"
#include "support/KVTestUnits.h"
#include "units/IKVUnitRef.h"
#include "units/KVUnit2D.h"
#include "units/KVUnitFactory.h"

using namespace kvl;
using namespace kvtest;

namespace {

constexpr float kPi = 3.14159265358979f;

// A 2D unit that notes each transform update in a shared list.
std::vector<std::string>& Updates() {
    static std::vector<std::string> updates;
    return updates;
}

class Traced2D : public KVUnit2D {
public:
    static KVUnit* Create() { return new Traced2D; }
    void UpdateTransform(int32_t value) override {
        Updates().push_back(GetName());
        KVUnit2D::UpdateTransform(value);
    }
    void UpdateWindow() override {
        Updates().push_back("w:" + GetName());
        KVUnit2D::UpdateWindow();
    }
};

class KVUnit2DTest : public ::testing::Test {
protected:
    void SetUp() override { Updates().clear(); }

    KVUnit2D* Make(const char* name, KVUnit* parent = nullptr, const char* className = "Unit2D") {
        return rig.Make<KVUnit2D>(className, name, parent);
    }
    // A unit placed through its setters.
    KVUnit2D* Placed(const char* name, float x, float y, int32_t w, int32_t h, KVUnit* parent = nullptr) {
        KVUnit2D* unit = Make(name, parent);
        unit->SetDimension(w, h);
        unit->SetPosition(x, y);
        return unit;
    }
    // Writes one element of an attribute as text, as scripts and editors do.
    void Set(KVUnit2D* unit, uint64_t id, int32_t element, const std::string& text) {
        const int32_t position = rig.Factory().FindAttributePosition(unit->GetClassIndex(), id);
        ASSERT_GE(position, 0);
        rig.Factory().SetAttributeText(unit->GetIndex(), position, element, text, false);
    }
    int32_t RegisterTraced() {
        KVUnitClassDesc desc;
        desc.name = "Traced2D";
        desc.id = 0x7E572D02ull;
        desc.create = &Traced2D::Create;
        desc.baseClass = rig.Factory().FindClassByName("Unit2D");
        int32_t index = -1;
        rig.Factory().RegisterClass(desc, &index);
        return index;
    }
    static KV2DTempl<float> Map(KVUnit2D* unit, float u, float v) { return Apply2D(unit->GetWorldTransform(), u, v); }
    bool Inside(KVUnit2D* unit, int32_t x, int32_t y) { return unit->IsPointInside({x, y}, nullptr, nullptr); }
    static std::vector<int32_t> Box(const KVDeviceRect& r) { return {r.left, r.top, r.right, r.bottom}; }

    KVSceneRig rig;
};

// Scene files name the placement of every 2D unit by these ids; flag 3 is
// the enable pass's phase, flag 5 keeps the placement out of it.
TEST(KVUnit2DClassTest, AttributesOfClassUnit2DKeepTheirIdsTypesAndFlags) {
    KVTestUnits units;
    const KVUnitClass* record = units.Factory().GetClass(units.ClassIndex("Unit2D"));
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->id, 0x00379C696A716AA0ull);
    EXPECT_EQ(record->description, "Base class for 2D unit classes");
    EXPECT_EQ(record->baseClass, units.ClassIndex("Unit"));
    constexpr KVAttributeCallback NONE = KVAttributeCallback::NONE, CHANGED = KVAttributeCallback::CHANGED;
    ExpectAttributeTable(*record, 19, {
        {"Scale~X~Y", 1, 2, 0x003E41334C85C150ull, "111001000000", CHANGED, "", 0},
        {"Position~X~Y", 1, 2, 0x001299DD27CDA4E8ull, "111001000000", CHANGED, "", 0},
        {"Dimension~Width~Height", 2, 2, 0x006D5D2135285A40ull, "111001000000", CHANGED, "", 0},
        {"Outline", 12, 1, 0x004FA6980695016Cull, "011100000000", CHANGED, "", 0},
        {"Anchors~Right~Bottom", 7, 2, 0x0049F2DBC2523DBCull, "111001000000", CHANGED, "", 0},
        {"NoOffset", 7, 1, 0x003F8C095FF13F98ull, "111000000000", NONE, "", 0},
        {"Rotation", 14, 1, 0x000A4489162DAE5Dull, "111001000000", CHANGED, "", 0},
        {"Window~Left~Top~Right~Bottom", 2, 4, 0x000E399B22082AABull, "111001000000", CHANGED, "", 0},
        {"RotationAxis~X~Y", 2, 2, 0x000C34CD10D7AF53ull, "111000000000", NONE, "", 0},
        {"WindowRelative", 7, 1, 0x0055C18D9ABD2938ull, "111001000000", CHANGED, "", 0},
    });
}

// (px, py) + S·c + R(a)·S·(p − c), written out for the test.
KV2DTempl<float> ByHand(float px, float py, float sx, float sy, float a, float cx, float cy, float u, float v) {
    const float du = sx * (u - cx), dv = sy * (v - cy);
    return {px + sx * cx + std::cos(a) * du - std::sin(a) * dv, py + sy * cy + std::sin(a) * du + std::cos(a) * dv};
}

TEST(KV2DTransformTest, QuarterTurnSendsTheCentreOfA100By50UnitAt10And20To60And45) {
    KV2DTransform t;
    TransformPoint2D({10.0f, 20.0f}, {1.0f, 1.0f}, kPi / 2, {50, 25}, &t);
    const KV2DTempl<float> centre = Apply2D(t, 50.0f, 25.0f);
    EXPECT_NEAR(centre.x, 60.0f, 1e-4f);
    EXPECT_NEAR(centre.y, 45.0f, 1e-4f);
    // The local origin turns about the centre.
    const KV2DTempl<float> origin = Apply2D(t, 0.0f, 0.0f);
    EXPECT_NEAR(origin.x, 85.0f, 1e-4f);
    EXPECT_NEAR(origin.y, -5.0f, 1e-4f);
}

TEST(KV2DTransformTest, ThePivotLandsAtPositionPlusScaledPivotForEveryAngle) {
    struct Case {
        float px, py, sx, sy;
        int32_t cx, cy;
    };
    const Case cases[] = {
        {10, 20, 1, 1, 50, 25}, {-7.5f, 3, 2, 0.5f, 13, -4}, {0, 0, -1, 3, 0, 9}, {100, 50, 1.5f, 1.5f, -20, 7}};
    for (const Case& c : cases) {
        for (float angle : {0.0f, 0.3f, kPi / 2, kPi, -2.5f, 7.0f}) {
            KV2DTransform t;
            TransformPoint2D({c.px, c.py}, {c.sx, c.sy}, angle, {c.cx, c.cy}, &t);
            const KV2DTempl<float> pivot = Apply2D(t, float(c.cx), float(c.cy));
            EXPECT_NEAR(pivot.x, c.px + c.sx * float(c.cx), 1e-3f) << angle;
            EXPECT_NEAR(pivot.y, c.py + c.sy * float(c.cy), 1e-3f) << angle;
            // Any other point: scaled about the origin, turned about the pivot.
            const KV2DTempl<float> p = Apply2D(t, 3.0f, -11.0f);
            const KV2DTempl<float> q = ByHand(c.px, c.py, c.sx, c.sy, angle, float(c.cx), float(c.cy), 3.0f, -11.0f);
            EXPECT_NEAR(p.x, q.x, 1e-3f);
            EXPECT_NEAR(p.y, q.y, 1e-3f);
        }
    }
    KV2DTransform a, b;
    TransformPoint2DInt({4, -9}, {2, 3}, 0.7f, {5, 6}, &a);
    TransformPoint2D({4.0f, -9.0f}, {2, 3}, 0.7f, {5, 6}, &b);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(a.m[i], b.m[i]);
}

TEST(KV2DTransformTest, CoordinatesRoundHalfAwayFromZeroAndSaturate) {
    struct Case {
        float v;
        int32_t away, up, toward;
    };
    const Case cases[] = {{2.5f, 3, 3, 2},
                          {-2.5f, -3, -2, -2},
                          {-0.4f, 0, 0, 0},
                          {1.49f, 1, 1, 1},
                          {std::numeric_limits<float>::quiet_NaN(), 0, 0, 0},
                          {std::numeric_limits<float>::infinity(), INT32_MAX, INT32_MAX, INT32_MAX},
                          {-1e30f, INT32_MIN, INT32_MIN, INT32_MIN}};
    for (const Case& c : cases) {
        EXPECT_EQ(RoundCoordinate(c.v), c.away) << c.v;
        EXPECT_EQ(RoundHalfUp(c.v), c.up) << c.v;
        EXPECT_EQ(TruncateCoordinate(c.v), c.toward) << c.v;
    }
    EXPECT_EQ(SaturatingAdd(INT32_MAX, 1), INT32_MAX);
    EXPECT_EQ(SaturatingAdd(INT32_MIN, -5), INT32_MIN);
}

TEST_F(KVUnit2DTest, RotatedUnitTurnsAboutItsCentreAndItsAxis) {
    KVUnit2D* unit = Placed("A", 10, 20, 100, 50);
    unit->SetRotation(kPi / 2);
    EXPECT_NEAR(Map(unit, 50, 25).x, 60.0f, 1e-4f);
    EXPECT_NEAR(Map(unit, 50, 25).y, 45.0f, 1e-4f);
    // RotationAxis moves the pivot off the centre; it lands where it stood.
    Set(unit, KVUnit2D::kRotationAxisId, 0, "-50");
    Set(unit, KVUnit2D::kRotationAxisId, 1, "-25");
    unit->RefreshTransform();
    EXPECT_NEAR(Map(unit, 0, 0).x, 10.0f, 1e-4f);
    EXPECT_NEAR(Map(unit, 0, 0).y, 20.0f, 1e-4f);
    EXPECT_NEAR(Map(unit, 100, 0).x, 10.0f, 1e-4f);
    EXPECT_NEAR(Map(unit, 100, 0).y, 120.0f, 1e-4f);
}

TEST_F(KVUnit2DTest, AnchorsPlaceAgainstTheParentOrTheGameArea) {
    KVUnit2D* parent = Placed("P", 0, 0, 200, 100);
    KVUnit2D* child = Placed("C", 10, 5, 30, 20, parent);
    Set(child, KVUnit2D::kAnchorsId, 0, "true");
    EXPECT_FLOAT_EQ(child->GetWorldTransform().m[4], 160.0f);
    EXPECT_FLOAT_EQ(child->GetWorldTransform().m[5], 5.0f);
    Set(child, KVUnit2D::kAnchorsId, 1, "true");
    EXPECT_FLOAT_EQ(child->GetWorldTransform().m[5], 75.0f);
    // Without a 2D parent: the game area the graphic module keeps.
    const int32_t* area = GetGraphicModule()->GetGameArea();
    KVUnit2D* root = Placed("R", 10, 5, 30, 20);
    Set(root, KVUnit2D::kAnchorsId, 0, "true");
    Set(root, KVUnit2D::kAnchorsId, 1, "true");
    EXPECT_FLOAT_EQ(root->GetWorldTransform().m[4], float(area[0] - 40));
    EXPECT_FLOAT_EQ(root->GetWorldTransform().m[5], float(area[1] - 25));
    // A parent that is no 2D unit counts as none.
    KVUnit* plain = rig.Make<KVUnit>("Unit", "Plain");
    KVUnit2D* orphan = Placed("O", 10, 5, 30, 20, plain);
    Set(orphan, KVUnit2D::kAnchorsId, 0, "true");
    EXPECT_EQ(orphan->Get2DParent(), nullptr);
    EXPECT_FLOAT_EQ(orphan->GetWorldTransform().m[4], float(area[0] - 40));
}

TEST_F(KVUnit2DTest, ThreeLevelsComposeAndAMovedParentMovesItsSubtree) {
    KVUnit2D* a = Placed("A", 30, 40, 80, 60);
    KVUnit2D* b = Placed("B", -5, 12, 20, 10, a);
    KVUnit2D* c = Placed("C", 7, 3, 6, 4, b);
    a->SetRotation(0.4f);
    b->SetRotation(-1.1f);
    c->SetRotation(2.0f);
    Set(a, KVUnit2D::kScaleId, 0, "1.5");
    Set(b, KVUnit2D::kScaleId, 1, "0.5");
    // A point of C through C's, B's and A's local placements in turn.
    KV2DTempl<float> p = ByHand(7, 3, 1, 1, 2.0f, 3, 2, 1, 2);
    p = ByHand(-5, 12, 1, 0.5f, -1.1f, 10, 5, p.x, p.y);
    p = ByHand(30, 40, 1.5f, 1, 0.4f, 40, 30, p.x, p.y);
    EXPECT_NEAR(Map(c, 1, 2).x, p.x, 1e-3f);
    EXPECT_NEAR(Map(c, 1, 2).y, p.y, 1e-3f);
    // The inverse brings it back.
    const KV2DTempl<float> back = Apply2D(c->GetInverseTransform(), p.x, p.y);
    EXPECT_NEAR(back.x, 1.0f, 1e-3f);
    EXPECT_NEAR(back.y, 2.0f, 1e-3f);
    // Moving A re-places B and C.
    a->SetPosition(130, 40);
    EXPECT_NEAR(Map(c, 1, 2).x, p.x + 100.0f, 1e-3f);
    EXPECT_NEAR(c->GetAbsoluteRotation(), 0.4f - 1.1f + 2.0f, 1e-6f);
    // A parent that changes re-places the unit.
    c->SetParent(a->GetIndex());
    p = ByHand(7, 3, 1, 1, 2.0f, 3, 2, 1, 2);
    p = ByHand(130, 40, 1.5f, 1, 0.4f, 40, 30, p.x, p.y);
    EXPECT_NEAR(Map(c, 1, 2).x, p.x, 1e-3f);
    EXPECT_NEAR(Map(c, 1, 2).y, p.y, 1e-3f);
}

TEST_F(KVUnit2DTest, WindowsComposeWithTheNearestAncestorWindow) {
    struct Case {
        const char* what;
        KVDeviceRect parentWindow;
        float parentX, parentY;
        KVDeviceRect childWindow;
        bool relative;
        float childX, childY;
        KVDeviceRect expected;
    };
    const Case cases[] = {
        {"cut at the parent's right and bottom", {100, 100, 300, 300}, 0, 0, {10, 10, 500, 500}, false, 0, 0,
         {110, 110, 300, 300}},
        {"inside the parent's", {100, 100, 300, 300}, 0, 0, {10, 20, 50, 60}, false, 0, 0, {110, 120, 150, 160}},
        {"no own window: the parent's", {100, 100, 300, 300}, 0, 0, {0, 0, 0, 0}, false, 0, 0, {100, 100, 300, 300}},
        {"windowless parent: moved by its truncated translation", {0, 0, 0, 0}, 12.7f, 30.2f, {5, 5, 50, 50}, false,
         0, 0, {17, 35, 62, 80}},
        {"windowless parent, no window", {0, 0, 0, 0}, 12.7f, 30.2f, {0, 0, 0, 0}, false, 0, 0, {0, 0, 0, 0}},
        {"relative: moved by the own position", {0, 0, 0, 0}, 0, 0, {0, 0, 50, 50}, true, 20.5f, -10.5f,
         {21, -10, 71, 40}},
        {"relative but empty: stays empty", {0, 0, 0, 0}, 0, 0, {0, 0, 0, 50}, true, 20, 10, {0, 0, 0, 50}},
    };
    for (const Case& c : cases) {
        KVUnit2D* parent = Placed("P", c.parentX, c.parentY, 400, 400);
        KVUnit2D* child = Placed("C", c.childX, c.childY, 10, 10, parent);
        parent->SetWindow(c.parentWindow);
        if (c.relative) Set(child, KVUnit2D::kWindowRelativeId, 0, "true");
        child->SetWindow(c.childWindow);
        EXPECT_EQ(Box(child->GetEffectiveWindow()), Box(c.expected)) << c.what;
        parent->Release();
    }
    // Without a 2D parent the window is the unit's own.
    KVUnit2D* root = Placed("R", 0, 0, 10, 10);
    root->SetWindow({3, 4, 5, 6});
    EXPECT_EQ(Box(root->GetEffectiveWindow()), (std::vector<int32_t>{3, 4, 5, 6}));
}

TEST_F(KVUnit2DTest, AParentWindowReachesTheWholeSubtree) {
    KVUnit2D* a = Placed("A", 0, 0, 400, 400);
    KVUnit2D* b = Placed("B", 0, 0, 400, 400, a);
    KVUnit2D* c = Placed("C", 0, 0, 400, 400, b);
    c->SetWindow({1, 2, 30, 40});
    a->SetWindow({100, 100, 120, 300});
    EXPECT_EQ(Box(b->GetEffectiveWindow()), (std::vector<int32_t>{100, 100, 120, 300}));
    EXPECT_EQ(Box(c->GetEffectiveWindow()), (std::vector<int32_t>{101, 102, 120, 140}));
}

TEST_F(KVUnit2DTest, PointTestsAreHalfOpenAfterRoundingHalfAwayFromZero) {
    KVUnit2D* unit = Placed("A", 10.5f, 20, 10, 5);
    struct Case {
        int32_t x, y;
        bool inside;
    };
    // x = 10 is -0.5 local (rounded to -1), 11 is 0.5 (1), 20 is 9.5 (10,
    // the right edge), 19 is 8.5 (9).
    const Case cases[] = {{10, 20, false}, {11, 20, true}, {19, 24, true}, {20, 22, false},
                          {15, 19, false}, {15, 25, false}, {15, 20, true}};
    for (const Case& c : cases) EXPECT_EQ(Inside(unit, c.x, c.y), c.inside) << c.x << "," << c.y;
    float depth = 5.0f;
    EXPECT_TRUE(unit->IsPointInside({15, 21}, &depth, nullptr));
    EXPECT_EQ(depth, -1.0f);
    // HitTest gives the local point back.
    KV2DTempl<int32_t> point = {15, 22};
    EXPECT_TRUE(unit->HitTest(&point, nullptr));
    EXPECT_EQ(point.x, 5);
    EXPECT_EQ(point.y, 2);
    // A window cuts the unit; a point outside it keeps its coordinates.
    unit->SetWindow({0, 0, 15, 100});
    EXPECT_TRUE(Inside(unit, 14, 21));
    EXPECT_FALSE(Inside(unit, 15, 21));
    point = {16, 22};
    EXPECT_FALSE(unit->HitTest(&point, nullptr));
    EXPECT_EQ(point.x, 16);
    // The scene manager's hit test reaches the same answer.
    EXPECT_TRUE(rig.Scene().IsPointInside(unit, {14, 21}, true, nullptr, nullptr));
}

TEST_F(KVUnit2DTest, AFlatUnitKeepsItsInverseButAnswersNoPointTest) {
    KVUnit2D* unit = Placed("A", 10, 10, 20, 20);
    EXPECT_TRUE(Inside(unit, 15, 15));
    const KV2DTransform before = unit->GetInverseTransform();
    Set(unit, KVUnit2D::kScaleId, 0, "0");
    EXPECT_TRUE(unit->IsSingular());
    for (int i = 0; i < 6; ++i) EXPECT_EQ(unit->GetInverseTransform().m[i], before.m[i]);
    EXPECT_FALSE(Inside(unit, 15, 15));
    KVUnit2D* other = Placed("B", 12, 12, 2, 2);
    EXPECT_FALSE(unit->CollidesWith(other, false, 1));
    Set(unit, KVUnit2D::kScaleId, 0, "1");
    EXPECT_FALSE(unit->IsSingular());
    EXPECT_TRUE(Inside(unit, 15, 15));
    EXPECT_TRUE(unit->CollidesWith(other, false, 1));
}

TEST_F(KVUnit2DTest, PointCollisionsTestTheOtherUnitsCentre) {
    KVUnit2D* area = Placed("Area", 40, 40, 30, 30);
    KVUnit2D* inside = Placed("In", 50, 50, 20, 10);   // centre (60, 55)
    KVUnit2D* outside = Placed("Out", 65, 50, 20, 10);  // centre (75, 55)
    EXPECT_EQ(area->LocalCenterOf(inside).x, 20);
    EXPECT_EQ(area->LocalCenterOf(inside).y, 15);
    EXPECT_TRUE(area->CollidesWith(inside, false, 1));
    EXPECT_FALSE(area->CollidesWith(outside, false, 1));
    EXPECT_FALSE(area->CollidesWith(inside, false, 0));
    EXPECT_TRUE(area->CollidesWith(outside, true, 0));
    EXPECT_FALSE(area->CollidesWith(rig.Make<KVUnit>("Unit", "Plain"), false, 1));
    // Turned a quarter, the area holds the centre at another place.
    area->SetRotation(kPi / 2);
    // (60, 55) is (5, 0) from the pivot's place (55, 55): (0, -5) turned back.
    const KV2DTempl<int32_t> local = area->LocalCenterOf(inside);
    EXPECT_EQ(local.x, 15);
    EXPECT_EQ(local.y, 10);
}

TEST_F(KVUnit2DTest, CascadesRunInChildrenOrderDepthFirst) {
    RegisterTraced();
    KVUnit2D* root = Make("Root", nullptr, "Traced2D");
    KVUnit2D* b = Make("B", root, "Traced2D");
    Make("A", root, "Traced2D");
    Make("B1", b, "Traced2D");
    // Children that are no 2D units are passed by.
    rig.Make<KVUnit>("Unit", "Plain", root);
    Updates().clear();
    root->SetPosition(1, 2);
    EXPECT_EQ(Updates(), (std::vector<std::string>{"Root", "B", "B1", "A"}));
    Updates().clear();
    root->SetWindow({0, 0, 10, 10});
    EXPECT_EQ(Updates(), (std::vector<std::string>{"w:Root", "w:B", "w:B1", "w:A"}));
    // A Position write runs the transform, then the window.
    Updates().clear();
    Set(b, KVUnit2D::kPositionId, 0, "4");
    EXPECT_EQ(Updates(), (std::vector<std::string>{"B", "B1", "w:B", "w:B1"}));
}

TEST_F(KVUnit2DTest, EnablingComputesWindowBoundsAndTransformOnly) {
    RegisterTraced();
    KVUnit2D* unit = Make("T", nullptr, "Traced2D");
    unit->SetEnabled(false);
    // Dimension alone resets the bounds; the pivot waits for the transform.
    unit->SetDimension(40, 20);
    EXPECT_EQ(Box(unit->GetBounds()), (std::vector<int32_t>{0, 0, 40, 20}));
    Updates().clear();
    unit->SetEnabled(true);
    // Refresh: the unit's own window (no cascade), then its transform.
    EXPECT_EQ(Updates(), (std::vector<std::string>{"T"}));
}

TEST_F(KVUnit2DTest, TheGraphicModulesOffsetPlacesEnabledUnitsAgainstTheNewArea) {
    KVUnit2D* on = Placed("On", 10, 0, 30, 20);
    KVUnit2D* off = Placed("Off", 10, 0, 30, 20);
    Set(on, KVUnit2D::kAnchorsId, 0, "true");
    Set(off, KVUnit2D::kAnchorsId, 0, "true");
    off->SetEnabled(false);
    IKVGraphic* graphic = GetGraphicModule();
    const float before = off->GetWorldTransform().m[4];
    const float scale[2] = {2.0f, 2.0f};
    ASSERT_EQ(graphic->Set2DTransform(scale, false), KV_OK);
    const int32_t offset[2] = {0, 0};
    graphic->SetOffset2D(offset);
    EXPECT_FLOAT_EQ(on->GetWorldTransform().m[4], float(graphic->GetGameArea()[0] - 40));
    EXPECT_FLOAT_EQ(off->GetWorldTransform().m[4], before);
}

TEST_F(KVUnit2DTest, NumbersThatAreNoNumbersAnswerNoAndNeverCrash) {
    KVUnit2D* parent = Placed("P", 0, 0, 100, 100);
    KVUnit2D* unit = Placed("A", 10, 10, 20, 20, parent);
    Set(unit, KVUnit2D::kWindowRelativeId, 0, "true");
    struct Case {
        uint64_t id;
        int32_t element;
        const char* text;
    };
    const Case cases[] = {{KVUnit2D::kPositionId, 0, "nan"},     {KVUnit2D::kPositionId, 1, "inf"},
                          {KVUnit2D::kPositionId, 0, "-1e38"},   {KVUnit2D::kScaleId, 0, "nan"},
                          {KVUnit2D::kScaleId, 1, "1e38"},       {KVUnit2D::kScaleId, 0, "-inf"},
                          {KVUnit2D::kRotationId, 0, "nan"},     {KVUnit2D::kRotationId, 0, "1e30"},
                          {KVUnit2D::kDimensionId, 0, "2147483647"}, {KVUnit2D::kRotationAxisId, 0, "2147483647"}};
    for (const Case& c : cases) {
        KVUnit2D* probe = Placed("Probe", 10, 10, 20, 20, parent);
        probe->SetWindow({0, 0, 50, 50});
        Set(probe, KVUnit2D::kWindowRelativeId, 0, "true");
        Set(probe, c.id, c.element, c.text);
        probe->Refresh();
        for (int32_t x : {INT32_MIN, -1, 0, 15, 25, 2147483647}) {
            const bool inside = Inside(probe, x, 15);
            const KV2DTempl<float> mapped = Apply2D(probe->GetInverseTransform(), float(x), 15.0f);
            // A yes only for a point that maps onto the unit.
            if (inside) {
                EXPECT_TRUE(std::isfinite(mapped.x) && std::isfinite(mapped.y)) << c.text;
            }
        }
        const bool collides = unit->CollidesWith(probe, false, 1);
        if (!std::isfinite(probe->GetWorldTransform().m[4])) {
            EXPECT_FALSE(collides) << c.text;
        }
        probe->CollidesWith(unit, false, 1);
        probe->Release();
    }
    // Windows at the integer limits saturate: the own window moved by
    // (INT32_MAX, INT32_MIN) is (-1, MIN, MAX, -1), then added to the
    // parent's corner and cut at its edges.
    unit->SetPosition(1e30f, -1e30f);
    unit->SetWindow({INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX});
    parent->SetWindow({-10, -10, INT32_MAX, INT32_MAX});
    EXPECT_EQ(Box(unit->GetEffectiveWindow()), (std::vector<int32_t>{-11, INT32_MIN, INT32_MAX - 10, -11}));
    EXPECT_FALSE(Inside(unit, 15, 15));
    // A unit whose world is infinite covers no point.
    Set(unit, KVUnit2D::kPositionId, 0, "inf");
    parent->SetWindow({0, 0, 0, 0});
    unit->SetWindow({0, 0, 0, 0});
    for (int32_t x : {INT32_MIN, 0, 15, INT32_MAX}) EXPECT_FALSE(Inside(unit, x, 15));
}

// Scenes: the anchors of projects up to version 0x10005 were stored
// inverted.
class KVUnit2DSceneTest : public ::testing::TestWithParam<uint32_t> {};

TEST_P(KVUnit2DSceneTest, AnchorsOfOldProjectsAreInvertedOnLoad) {
    const uint32_t projectVersion = GetParam();
    KVSceneUnitsWriter units;
    const int32_t unitEntry = units.AddClass(KVSceneUnitsWriter::UnitClass());
    KVSceneClassSpec recipe;
    recipe.classId = KVUnit2D::kClassId;
    recipe.name = "Unit2D";
    recipe.baseEntry = unitEntry;
    recipe.attributes = {{KVUnit2D::kAnchorsId, 7, 2}, {KVUnit2D::kPositionId, 1, 2}, {KVUnit2D::kDimensionId, 2, 2}};
    const int32_t entry = units.AddClass(recipe);
    std::vector<Bytes> values = KVSceneUnitsWriter::UnitValues("Anchored", 0x101);
    values.push_back(Bytes{1, 0});
    values.push_back(KVStored::Concat({KVStored::F32(10), KVStored::F32(5)}));
    values.push_back(KVStored::Concat({KVStored::I32(30), KVStored::I32(20)}));
    units.AddUnit(entry, values);
    KVTestSceneGame game(projectVersion);
    game.AddScene("scenes/anchors.kvl", units.Scene(0x20004, KVTestSceneGame::kProjectId));
    ASSERT_EQ(game.Load(), 0);
    auto* unit = static_cast<KVUnit2D*>(game.Find("Anchored"));
    ASSERT_NE(unit, nullptr);
    const bool inverted = projectVersion <= 0x10005;
    EXPECT_EQ(unit->GetAnchorRight(), !inverted);
    EXPECT_EQ(unit->GetAnchorBottom(), inverted);
    // Enabled by the load, the unit was placed by its anchors.
    const int32_t* area = GetGraphicModule()->GetGameArea();
    EXPECT_FLOAT_EQ(unit->GetWorldTransform().m[4], inverted ? 10.0f : float(area[0] - 40));
    EXPECT_FLOAT_EQ(unit->GetWorldTransform().m[5], inverted ? float(area[1] - 25) : 5.0f);
    const KVDeviceRect& bounds = unit->GetBounds();
    EXPECT_EQ((std::vector<int32_t>{bounds.left, bounds.top, bounds.right, bounds.bottom}),
              (std::vector<int32_t>{0, 0, 30, 20}));
}

INSTANTIATE_TEST_SUITE_P(ProjectVersions, KVUnit2DSceneTest, ::testing::Values(0x10005u, 0x10006u));

} // namespace
