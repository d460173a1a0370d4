// The "Curve" unit in a whole core: its curve object drawn only while
// editor units show, and let go when the unit closes.
#include <gtest/gtest.h>

#include "support/KV3DUnitRig.h"
#include "units/KVSceneManager.h"
#include "units3d/KV3D.h"
#include "units3d/KVUnitCurve.h"

using namespace kvl;
using namespace kvtest;

namespace {

IKVCurve* NewCurve() {
    IKVCurve* curve = nullptr;
    EXPECT_EQ(KV3D::Instance()->CreateCurve(&curve), KV_OK);
    if (curve) curve->SetPoints({{0, 0, 0, 0}, {1, 0, 0, 0.5f}, {1, 1, 0, 1}});
    return curve;
}

TEST(KVUnitCurveTest, TheCurveIsDrawnWhileEditorUnitsShow) {
    KV3DUnitRig rig;
    auto* unit = rig.Make<KVUnitCurve>("Curve", "C");
    EXPECT_TRUE(unit->IsDrawable());
    EXPECT_EQ(unit->GetCurve(), nullptr);
    KVSceneManager::Instance()->SetEditorUnitsRequested(true);
    rig.Device().ClearCalls();
    unit->Draw();
    EXPECT_EQ(rig.Device().Count("DrawLine3D"), 0u);  // no curve yet

    IKVCurve* curve = NewCurve();
    curve->Retain();
    unit->SetCurve(curve);
    unit->Draw();
    EXPECT_EQ(rig.Device().Count("DrawLine3D"), 2u);
    KVSceneManager::Instance()->SetEditorUnitsRequested(false);
    rig.Device().ClearCalls();
    unit->Draw();
    EXPECT_EQ(rig.Device().Count("DrawLine3D"), 0u);

    unit->Release();
    EXPECT_EQ(curve->Release(), 0);
}

TEST(KVUnitCurveTest, InEditorModeTheCurveShows) {
    KV3DUnitRig rig(true);
    auto* unit = rig.Make<KVUnitCurve>("Curve", "C");
    unit->SetCurve(NewCurve());
    rig.Device().ClearCalls();
    unit->Draw();
    EXPECT_EQ(rig.Device().Count("DrawLine3D"), 2u);
}

} // namespace
