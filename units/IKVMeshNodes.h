#pragma once
// What the 3D unit base asks of a mesh unit to attach a unit to one of its
// nodes: the mesh unit answers IID_IKVMesh, while it has a mesh loaded, with
// its mesh instance, which is also the mesh unit's 3D object. The instance
// finds a node by name and gives two transforms of it (the follow step of
// the 3D unit base combines them with the instance's world matrix).
//
// The mesh instance interface of the 3D module (IKVMesh) extends this one;
// a caller that holds the answer to IID_IKVMesh and needs the whole
// instance casts it down to IKVMesh.
#include <cstdint>
#include <string>

#include "../units3d/IKVObject3D.h"
#include "KV3DTypes.h"

namespace kvl {

constexpr KVInterfaceId IID_IKVMesh = MakeId(0x004798C0, 0xFA4AD274);

class IKVMeshNodes : public virtual IKVObject3D {
public:
    // Object space: the node's current transform.
    virtual NodeTransform GetNodeTransform(int32_t node) = 0;
    // The node's bind transform.
    virtual NodeTransform GetNodeBindTransform(int32_t node) = 0;
    // The last node of that exact name, or -1.
    virtual int32_t FindNode(const std::string& name) = 0;
};

} // namespace kvl
