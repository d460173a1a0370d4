#pragma once
// A textured patch cut out of a mesh unit's surface around the point a ray
// hits, drawn slightly off the surface. The 3D module keeps every decal it
// made and releases them when it shuts down.
#include <cstdint>

#include "../units/KV3DTypes.h"

namespace kvl {

class IKVResourceTexture;
class IKVUnitMesh;

class IKVDecal {
public:
    virtual int32_t Retain() = 0;
    virtual int32_t Release() = 0;
    // Holds one reference on the texture (null allowed); 0.
    virtual int32_t SetTexture(IKVResourceTexture* texture) = 0;
    // ray: start and end points; size: width and height. 0 when built, 4
    // when the ray misses (or the unit has no mesh), 1 when the unit gives
    // no mesh instance. Drops the texture.
    virtual int32_t Build(IKVUnitMesh* mesh, const KV3DVector* ray, const KV3DVector* up, const float* size,
                          float offset, float angle) = 0;
    // Draws while a texture is set; 0.
    virtual int32_t Draw() = 0;

protected:
    virtual ~IKVDecal() = default;
};

} // namespace kvl
