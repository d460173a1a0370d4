#pragma once
// What a 3D object tells the unit that owns it. The 3D unit base implements
// it (its interface derives from this one): after every change of the
// object's transform the object calls SyncFromObject3D, and the unit pulls
// position, rotation and scale back into its attributes. The unit suppresses
// the echo of its own pushes; the object keeps no bookkeeping for that.
#include <cstdint>

namespace kvl {

class IKVObject3DOwner {
public:
    virtual int32_t SyncFromObject3D() = 0;

protected:
    ~IKVObject3DOwner() = default;
};

} // namespace kvl
