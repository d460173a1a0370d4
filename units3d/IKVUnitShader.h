#pragma once
// The face of a shader unit (class "Shader"): the material it holds, which
// the 3D display units that name it take for their drawing.
#include "../kernel/IKVUnknown.h"
#include "KV3DMaterial.h"

namespace kvl {

constexpr KVInterfaceId IID_IKVUnitShader = MakeId(0x00023C69, 0xADB8BE04);

class IKVUnitShader : public virtual IKVUnknown {
public:
    // The unit's material record, valid while the unit lives.
    virtual const KV3DMaterial* GetMaterial() = 0;

protected:
    virtual ~IKVUnitShader() = default;
};

} // namespace kvl
