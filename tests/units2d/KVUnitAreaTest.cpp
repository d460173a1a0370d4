// Areas: their defaults, the winding hit test (corners, a notch, both
// directions, turned and moved areas), the centre that scripts read, and
// the triangles they draw with and without a triangulation module.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kernel/KVModules.h"
#include "support/KVSceneRig.h"
#include "support/KVSpriteRig.h"
#include "units2d/KVTriangulationInterface.h"
#include "units2d/KVUnitArea.h"

using namespace kvl;
using namespace kvtest;
using Records = std::vector<std::string>;

namespace {

// Writes the Outline as scripts and scene files do, so that its hook runs.
void SetOutlineOf(KVUnitFactory& factory, KVUnitArea* area, const KVPositionList& points) {
    const int32_t position = factory.FindAttributePosition(area->GetClassIndex(), KVUnit2D::kOutlineId);
    ASSERT_EQ(factory.SetAttributeElement(area->GetIndex(), position, 0, &points), 0);
    ASSERT_EQ(area->GetOutline(), points);
}

const KVPositionList kL = {{0, 0}, {40, 0}, {40, 20}, {20, 20}, {20, 40}, {0, 40}};

KVPositionList Reversed(KVPositionList points) { return KVPositionList(points.rbegin(), points.rend()); }

class KVUnitAreaTest : public ::testing::Test {
protected:
    KVUnitArea* Area(const char* name) { return rig.Make<KVUnitArea>("Area", name); }
    static bool Inside(KVUnitArea* area, int32_t x, int32_t y) { return area->IsPointInside({x, y}, nullptr, nullptr); }
    void SetOutline(KVUnitArea* area, const KVPositionList& points) { SetOutlineOf(rig.Factory(), area, points); }

    KVSpriteRig rig;
};

} // namespace

TEST_F(KVUnitAreaTest, ANewAreaIsAnEditorOnlyRectangleWithoutTriangles) {
    KVUnitArea* area = Area("A");
    EXPECT_EQ(area->GetOutline(), (KVPositionList{{0, 0}, {80, 0}, {80, 60}, {0, 60}}));
    EXPECT_EQ(area->GetColor(), 0x80000080u);
    EXPECT_TRUE(area->GetOnlyEditor());
    EXPECT_TRUE(area->IsDrawn());
    // No module offers triangles at start-up: nothing to draw.
    EXPECT_EQ(KVUnitArea::GetTriangulation(), nullptr);
    EXPECT_TRUE(area->GetTriangles().empty());
    rig.SetText(area, KVUnitArea::kOnlyEditorId, 0, "false");
    rig.Device().ClearRecords();
    area->Draw();
    EXPECT_TRUE(rig.Device().drawn.empty());
    void* out = nullptr;
    EXPECT_EQ(area->QueryInterface(IID_IKVUnitArea, &out), 0);
    EXPECT_EQ(out, static_cast<IKVUnitArea*>(area));
    // The Visible flag does not hide an area from drawing.
    area->SetFlags(area->GetFlags() & ~2u);
    EXPECT_TRUE(area->IsDrawn());
    area->SetEnabled(false);
    EXPECT_FALSE(area->IsDrawn());
}

TEST_F(KVUnitAreaTest, TheDefaultOutlineHoldsItsInnerPointsAndItsFarCorner) {
    KVUnitArea* area = Area("A");
    const struct {
        int32_t x, y;
        bool inside;
    } cases[] = {{1, 1, true},   {79, 59, true}, {80, 60, true}, {40, 30, true},  {0, 0, false},
                 {81, 61, false}, {-1, 30, false}, {40, -1, false}, {90, 30, false}};
    for (const auto& c : cases) {
        float depth = 5.0f;
        EXPECT_EQ(area->IsPointInside({c.x, c.y}, &depth, nullptr), c.inside) << c.x << "," << c.y;
        EXPECT_EQ(depth, c.inside ? -1.0f : 5.0f);
    }
    // Moved and turned, the point is taken into the area's own coordinates.
    area->SetPosition(100, 100);
    EXPECT_TRUE(Inside(area, 110, 110));
    EXPECT_FALSE(Inside(area, 10, 10));
}

TEST_F(KVUnitAreaTest, AnLHoldsItsArmsButNotItsNotchInEitherDirection) {
    KVUnitArea* area = Area("A");
    for (const KVPositionList& outline : {kL, Reversed(kL)}) {
        SetOutline(area, outline);
        EXPECT_TRUE(Inside(area, 10, 10));
        EXPECT_TRUE(Inside(area, 30, 10));
        EXPECT_TRUE(Inside(area, 10, 30));
        EXPECT_FALSE(Inside(area, 30, 30));
        EXPECT_FALSE(Inside(area, 50, 10));
    }
    // Two points enclose nothing.
    SetOutline(area, {{0, 0}, {80, 60}});
    for (int32_t t = -2; t <= 82; t += 4) EXPECT_FALSE(Inside(area, t, t * 3 / 4));
}

TEST_F(KVUnitAreaTest, HugeCoordinatesDoNotOverflowTheWindingTest) {
    KVUnitArea* area = Area("A");
    const int32_t big = 2000000000;
    SetOutline(area, {{-big, -big}, {big, -big}, {big, big}, {-big, big}});
    EXPECT_TRUE(Inside(area, 0, 0));
    EXPECT_TRUE(Inside(area, 1000, -1000));
    SetOutline(area, {{-big, -big}, {big, big}, {-big, big}});
    EXPECT_TRUE(Inside(area, -1000, 1000));
    EXPECT_FALSE(Inside(area, 1000, -1000));
}

TEST_F(KVUnitAreaTest, ScriptsReadTheMeanOfTheOutlineWhereverTheAreaStands) {
    KVUnitArea* area = Area("A");
    rig.Host().DefineUnitNamespace("A", {});
    for (float x : {0.0f, 35.0f, -200.0f}) {
        area->SetPosition(x, x / 2);
        EXPECT_EQ(rig.Host().Evaluate("A:GetCenter().x, A:GetCenter().y"), (Records{"40", "30"})) << x;
    }
    SetOutline(area, kL);
    EXPECT_EQ(rig.Host().Evaluate("A:GetCenter().x, A:GetCenter().y"), (Records{"20", "20"}));
    SetOutline(area, {});
    EXPECT_EQ(rig.Host().Evaluate("A:GetCenter().x, A:GetCenter().y"), (Records{"0", "0"}));
}

namespace {

void RegisterTriangulation() { KVModules::Instance()->RegisterModule(&CreateTriangulationInterface); }

// The triangles' summed area, twice.
int64_t DoubleArea(const KVPositionList& t) {
    int64_t sum = 0;
    for (size_t i = 0; i + 2 < t.size(); i += 3) {
        const int64_t a = int64_t(t[i + 1].x - t[i].x) * (t[i + 2].y - t[i].y) -
                          int64_t(t[i + 2].x - t[i].x) * (t[i + 1].y - t[i].y);
        sum += a < 0 ? -a : a;
    }
    return sum;
}

} // namespace

TEST(KVUnitAreaTriangles, AModuleRegisteredAtStartUpGivesEveryAreaItsTriangles) {
    KVSceneRig::Options options;
    options.with3D = false;
    options.beforePhase1 = &RegisterTriangulation;
    KVSceneRig rig(options);
    ASSERT_NE(KVUnitArea::GetTriangulation(), nullptr);
    auto* area = rig.Make<KVUnitArea>("Area", "A");
    EXPECT_EQ(area->GetTriangles().size(), 6u);
    EXPECT_EQ(DoubleArea(area->GetTriangles()), 2 * 80 * 60);
    SetOutlineOf(rig.Factory(), area, kL);
    EXPECT_EQ(area->GetTriangles().size(), 12u);
    EXPECT_EQ(DoubleArea(area->GetTriangles()), 2 * (40 * 20 + 20 * 20));
    // An outline the triangulator rejects leaves no triangles.
    SetOutlineOf(rig.Factory(), area, {{0, 0}, {0, 60}, {80, 60}, {80, 0}});
    EXPECT_TRUE(area->GetTriangles().empty());
    EXPECT_TRUE(area->IsPointInside({10, 10}, nullptr, nullptr));
}
