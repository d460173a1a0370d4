#pragma once
// A textured patch cut out of a mesh's surface. The 3D module keeps every
// decal it made and releases them when it shuts down; the decal's own
// operations come with decals themselves.
#include <cstdint>

namespace kvl {

class IKVDecal {
public:
    virtual int32_t Retain() = 0;
    virtual int32_t Release() = 0;

protected:
    virtual ~IKVDecal() = default;
};

} // namespace kvl
