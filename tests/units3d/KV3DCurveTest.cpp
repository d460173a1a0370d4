#include <gtest/gtest.h>

#include <vector>

#include "support/KV3DModuleHarness.h"
#include "units3d/KV3DCurve.h"

using namespace kvl;
using kvtest::KV3DModuleHarness;

// n points draw n - 1 green lines between neighbours, untextured, with the
// curve's matrix as the world transform.
TEST(KV3DCurveTest, NPointsDrawNMinusOneLines) {
    KV3DModuleHarness h;
    h.Start();
    const std::vector<KV3DCurvePoint> all = {{0, 0, 0, 0}, {1, 2, 3, 0.5f}, {4, 5, 6, 0.75f}, {7, 8, 9, 1}};
    for (size_t n = 0; n <= all.size(); ++n) {
        IKVCurve* curve = nullptr;
        ASSERT_EQ(KV3D::Instance()->CreateCurve(&curve), KV_OK);
        const float position[3] = {10, 20, 30};
        curve->SetPosition(position);
        curve->SetPoints(std::vector<KV3DCurvePoint>(all.begin(), all.begin() + std::ptrdiff_t(n)));
        h.device.ClearCalls();
        h.graphic.journal.clear();
        EXPECT_EQ(curve->Draw(), KV_OK);

        ASSERT_EQ(h.graphic.journal.size(), 1u);
        EXPECT_EQ(h.graphic.journal[0].name, "ResetTextureStages");
        const std::vector<kvtest::KVDeviceCall> transforms = h.device.CallsOf("SetTransform");
        ASSERT_EQ(transforms.size(), 1u);
        EXPECT_EQ(transforms[0].ints, (std::vector<int64_t>{1}));
        EXPECT_EQ(transforms[0].floats, std::vector<float>(curve->GetMatrix(), curve->GetMatrix() + 16));
        const std::vector<kvtest::KVDeviceCall> lines = h.device.CallsOf("DrawLine3D");
        ASSERT_EQ(lines.size(), n < 2 ? 0 : n - 1) << n;
        for (size_t i = 0; i < lines.size(); ++i) {
            const KV3DCurvePoint& a = all[i];
            const KV3DCurvePoint& b = all[i + 1];
            EXPECT_EQ(lines[i].floats, (std::vector<float>{a.x, a.y, a.z, b.x, b.y, b.z}));
            EXPECT_EQ(lines[i].ints, (std::vector<int64_t>{0xFF00FF00, 1}));
        }
        curve->Release();
    }
}
