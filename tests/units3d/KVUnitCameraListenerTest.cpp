// The camera unit as the listener of 3D sound units: the pan comes from the
// side of the camera's own frustum.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "support/KVOggWriter.h"
#include "support/KVSoundUnitRig.h"
#include "units3d/KVUnitCamera.h"

using namespace kvl;

namespace {

kvtest::KVSceneRig::Options EngineCameras() {
    kvtest::KVSceneRig::Options options;
    options.engineCameras = true;
    return options;
}

std::string Number(float value) { return std::to_string(value); }

TEST(KVUnitCameraListenerTest, ThePanOfA3DSoundFollowsTheCamerasRight) {
    kvtest::KVSoundUnitRig rig(EngineCameras());
    rig.WriteFile("beep.ogg", kvtest::WriteOggSeconds(0.1));
    const KV3DVector eye = {5, -2, 7};
    for (const kvtest::KVPanCase& c : kvtest::KVPanCases()) {
        auto* camera = static_cast<KVUnitCamera*>(rig.Unit("Camera", "Eye"));
        ASSERT_NE(KVUnitCamera::FromUnit(camera), nullptr);
        camera->SetPosition(eye);
        camera->SetTarget(eye.x + c.forward.x, eye.y + c.forward.y, eye.z + c.forward.z);
        camera->SetActive(true);
        rig.Scene().Scene().Draw();
        ASSERT_EQ(rig.Scene().Scene().GetCurrentCamera(), static_cast<IKVUnit*>(camera));

        KVUnitSound* unit = rig.Sound("S");
        rig.Run("S.PanFactor = " + Number(c.panFactor) + "\nS.Sound = 'beep.ogg'");
        rig.Run("S.Position_X = " + Number(eye.x + c.offset.x) + "\nS.Position_Y = " + Number(eye.y + c.offset.y) +
                "\nS.Position_Z = " + Number(eye.z + c.offset.z) + "\nS.Sound3D = true");
        const float pan = rig.VoiceOf(unit)->Pan();
        EXPECT_NEAR(pan, c.pan, 1e-6f) << c.forward.x << " / " << c.offset.x << " " << c.offset.y << " "
                                       << c.offset.z;
        unit->Release();
        camera->Release();
    }
}

} // namespace
