// The "Fog" unit in a whole core: what reaches the device's fog operation
// as attributes are written, enabled and disabled.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/KV3DUnitRig.h"
#include "units3d/IKVUnit3DFog.h"
#include "units3d/KVUnit3DFog.h"

using namespace kvl;
using namespace kvtest;

namespace {

struct Fog {
    int64_t color;
    float start, end;
    bool operator==(const Fog& o) const { return color == o.color && start == o.start && end == o.end; }
};

std::ostream& operator<<(std::ostream& out, const Fog& f) {
    return out << "(" << f.color << ", " << f.start << ", " << f.end << ")";
}

std::vector<Fog> Fogs(KVRecording3DDevice& device) {
    std::vector<Fog> fogs;
    for (const KVDeviceCall& c : device.CallsOf("SetFog")) fogs.push_back({c.ints[0], c.floats[0], c.floats[1]});
    device.ClearCalls();
    return fogs;
}

TEST(KVUnit3DFogTest, WritesApplyTheFogAndADisabledUnitSendsNoRange) {
    KV3DUnitRig rig;
    auto* fog = rig.Make<KVUnit3DFog>("Fog", "F");
    void* face = nullptr;
    EXPECT_EQ(fog->QueryInterface(IID_IKVUnit3DFog, &face), KV_OK);
    EXPECT_EQ(face, static_cast<IKVUnit3DFog*>(fog));
    // Made enabled: the defaults once.
    EXPECT_EQ(Fogs(rig.Device()), (std::vector<Fog>{{0xFFFFFFFF, 20.0f, 100.0f}}));

    rig.Run("F.FogStart = 5");
    EXPECT_EQ(Fogs(rig.Device()), (std::vector<Fog>{{0xFFFFFFFF, 5.0f, 100.0f}}));
    rig.Run("F.FogColor = 0x40112233\nF.FogEnd = 50");
    EXPECT_EQ(Fogs(rig.Device()), (std::vector<Fog>{{0x40112233, 5.0f, 100.0f}, {0x40112233, 5.0f, 50.0f}}));

    // Disabling leaves the fog; a value written then sends no range.
    fog->SetEnabled(false);
    EXPECT_EQ(Fogs(rig.Device()), std::vector<Fog>{});
    rig.Run("F.FogStart = 7");
    EXPECT_EQ(Fogs(rig.Device()), (std::vector<Fog>{{0x40112233, 0.0f, 0.0f}}));
    // Enabled again, the unit's values apply.
    fog->SetEnabled(true);
    EXPECT_EQ(Fogs(rig.Device()), (std::vector<Fog>{{0x40112233, 7.0f, 50.0f}}));
}

} // namespace
