#pragma once
// A sprite whose own texture other units show (meshes, decals, text). A
// user calls AddUser when it starts showing the unit and RemoveUser when it
// lets go of it; while any unit shows the texture, the embeddable unit
// itself is not drawn. Each time it draws, a user shows whatever
// GetEmbeddedTexture answers (nothing while the unit has no own texture).
#include <cstdint>

#include "IKVUnitSprite.h"

namespace kvl {

constexpr KVInterfaceId IID_IKVUnitEmbeddable = MakeId(0x0022EC17, 0x0B0ACA30);

class IKVUnitEmbeddable : public virtual IKVUnitSprite {
public:
    virtual int32_t AddUser() = 0;
    // Never below zero.
    virtual int32_t RemoveUser() = 0;
    // The own texture, or null; not retained.
    virtual IKVResourceTexture* GetEmbeddedTexture() = 0;

protected:
    ~IKVUnitEmbeddable() override = default;
};

} // namespace kvl
