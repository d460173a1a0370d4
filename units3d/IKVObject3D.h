#pragma once
// A reference-counted scene object of the 3D module (mesh instance, light,
// mirror, curve) that keeps its transform both as position, rotation and
// scale vectors and as one 4x4 matrix (see KV3DMath.h for the conventions).
// Every interface of a concrete 3D object derives from this one as a
// virtual base, so an object has exactly one IKVObject3D part.
#include "../kernel/IKVUnknown.h"
#include "IKVObject3DOwner.h"

namespace kvl {

class IKVObject3D : public virtual IKVUnknownRef {
public:
    // Three floats; the matrix follows. All return 0.
    virtual int32_t SetPosition(const float* position) = 0;
    virtual int32_t SetRotation(const float* angles) = 0;
    virtual int32_t SetScale(const float* scale) = 0;
    // Sixteen floats; the vectors are derived from them.
    virtual int32_t SetMatrix(const float* matrix) = 0;
    // The object's own storage; callers copy from it.
    virtual const float* GetPosition() = 0;
    virtual const float* GetRotation() = 0;
    virtual const float* GetScale() = 0;
    virtual const float* GetMatrix() = 0;
    // The owner told after every change (null: nobody); not retained.
    virtual int32_t SetParent(IKVObject3DOwner* parent) = 0;
    // Takes over another object's transform (what the 3D unit base uses to
    // copy one unit's placement onto another).
    virtual int32_t SetFromObject(IKVObject3D* other) = 0;
};

} // namespace kvl
