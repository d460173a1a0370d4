#pragma once
// What 3D display units ask of a "Shader" unit: its material record.
#include "../kernel/IKVUnknown.h"
#include "KV3DMaterial.h"

namespace kvl {

constexpr KVInterfaceId IID_IKVUnitShader = MakeId(0x00023C69, 0xADB8BE04);

class IKVUnitShader {
public:
    // The unit's own record, valid while the unit lives.
    virtual const KV3DMaterial* GetMaterial() = 0;

protected:
    virtual ~IKVUnitShader() = default;
};

} // namespace kvl
