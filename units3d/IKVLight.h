#pragma once
// A light placed in the scene: its transform comes from the 3D object base,
// its colours, range and attenuation from a parameter record.
#include "../units/KV3DTypes.h"
#include "IKVObject3D.h"

namespace kvl {

class IKVLight : public virtual IKVObject3D {
public:
    // The light's own record; callers read it.
    virtual const KV3DLightParams* GetParams() = 0;
    // Copies Color through the shadow-caster byte (the spare bytes are
    // never read) and marks the light changed; 0.
    virtual int32_t SetParams(const KV3DLightParams* params) = 0;
};

} // namespace kvl
