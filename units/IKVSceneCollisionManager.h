#pragma once
// Finds the 3D point under a screen point: the camera's pick ray against
// mesh units.
#include <cstdint>
#include "../kernel/IKVUnknown.h"
#include "IKVSceneManager.h"
#include "IKVUnitCamera.h"

namespace kvl {

constexpr KVInterfaceId IID_IKVSceneCollisionManager = MakeId(0x006C48EA, 0x751B07C0);

class IKVSceneCollisionManager : public virtual IKVUnknown {
public:
    // 0 and the ray through the game point of the scene's camera
    // (FindCamera()), wherever the point lies; 1 without a camera.
    virtual int32_t GetPickRay(const KVScreenPoint& point, KVPickRay* out) = 0;
    // 0 and the hit point when the ray hits the mesh unit (or, without one,
    // the first enabled "Mesh" unit that it hits); 4 no hit; 1 no ray.
    virtual int32_t Pick(const KVScreenPoint& point, KV3DVector* hit, IKVUnit* mesh) = 0;

protected:
    virtual ~IKVSceneCollisionManager() = default;
};

} // namespace kvl
