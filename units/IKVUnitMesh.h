#pragma once
// What the collision manager and the 3D unit sorter ask of a mesh unit: the
// ray test and the material of the unit's shader. The mesh unit answers this
// interface from its QueryInterface and adds its other operations when it is
// built.
#include <cstdint>
#include "../kernel/IKVUnknown.h"
#include "KV3DTypes.h"

namespace kvl {

struct KV3DMaterial;

constexpr KVInterfaceId IID_IKVUnitMesh = MakeId(0x0035E1E5, 0xBA898A3A);

class IKVUnitMesh : public virtual IKVUnknown {
public:
    // The line through origin along direction against the mesh's triangles:
    // 0 and the hit point (with the triangle number when asked), 4 no hit,
    // 1 no mesh. With nearest set, the hit nearest to the origin.
    virtual int32_t IntersectRay(const KV3DVector* origin, const KV3DVector* direction, KV3DVector* hit,
                                 int32_t* triangle, bool nearest) = 0;
    // The material of the unit's "Shader" unit while that unit exists and
    // is enabled, else null.
    virtual const KV3DMaterial* GetShaderMaterial() = 0;

protected:
    virtual ~IKVUnitMesh() = default;
};

} // namespace kvl
