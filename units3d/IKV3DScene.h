#pragma once
// What the 3D objects ask of the scene: the handedness of the geometry they
// generate and the view of the camera being drawn. The scene manager
// answers it through the 3D module (KV3DInterface::SetScene); while none is
// set the module answers right-handed, with no camera.
#include <cstdint>

namespace kvl {

class IKV3DScene {
public:
    // The scene property "RightHanded".
    virtual bool IsRightHanded() = 0;
    // The current camera's view matrix (16 floats, row vectors: p × View),
    // or null when there is no camera.
    virtual const float* GetCurrentViewMatrix() = 0;

protected:
    virtual ~IKV3DScene() = default;
};

} // namespace kvl
