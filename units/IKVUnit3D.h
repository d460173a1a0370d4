#pragma once
// What other units and modules ask of a 3D unit: its placement, its world
// matrix and its attachment to a mesh node. Every unit of class "Unit3D" or
// a derived class answers this id from its QueryInterface.
//
// The unit pushes Position, Rotation and Scale into its 3D object (the
// scene object of the 3D module that a class built on the base makes) and,
// as the object's owner, pulls them back when the object was moved from the
// 3D side (SyncFromObject3D), without bouncing between the two.
#include <string>

#include "../units3d/IKVObject3DOwner.h"
#include "IKVUnit.h"
#include "KV3DTypes.h"

namespace kvl {

class IKVObject3D;
class IKVMeshNodes;

constexpr KVInterfaceId IID_IKVUnit3D = MakeId(0x00183DF6, 0x2DCE5FAC);

class IKVUnit3D : public virtual IKVUnit, public IKVObject3DOwner {
public:
    // The "Position" attribute's three floats, local to the parent.
    virtual KV3DVector* GetPosition() = 0;
    // Each setter stores the three floats and pushes them into the 3D object.
    virtual void SetPosition(const KV3DVector& position) = 0;
    // Euler angles in radians, applied X, then Y, then Z.
    virtual KV3DVector* GetRotation() = 0;
    virtual void SetRotation(const KV3DVector& rotation) = 0;
    virtual KV3DVector* GetScale() = 0;
    virtual void SetScale(const KV3DVector& scale) = 0;
    // 16 floats, column-major, translation in 12-14: the 3D object's matrix,
    // or T · Rz · Ry · Rx · S of the attributes without one.
    virtual void GetWorldMatrix(float* out) = 0;
    // The unit's 3D object takes the other object's transform; Position and
    // Rotation follow it.
    virtual void CopyTransformFrom(IKVObject3D* other) = 0;
    // Attaches the unit to the named node of a mesh unit: 0; 1 when the
    // unit has no mesh loaded (or is no mesh); 4 when the node is not found.
    virtual int32_t AttachToMesh(IKVUnit* mesh, const std::string& node) = 0;
    virtual void DetachFromMesh() = 0;
    // The attached mesh unit's mesh, or null.
    virtual IKVMeshNodes* GetAttachedMesh() = 0;

protected:
    ~IKVUnit3D() override = default;
};

} // namespace kvl
