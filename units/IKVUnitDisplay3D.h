#pragma once
// What the scene manager's 3D pass asks of a displayed 3D unit: drawing into
// a mirror (units filed as reflected) and the preparation before the 3D
// units draw (units filed in the prepared list). The displayed 3D unit
// answers this interface and adds its own operations when it is built. The
// id is this engine's own.
#include <cstdint>
#include "../kernel/IKVUnknown.h"

namespace kvl {

constexpr KVInterfaceId IID_IKVUnitDisplay3D = MakeId(0x0071C0A3, 0x5E2D94B6);

class IKVUnitDisplay3D : public virtual IKVUnknown {
public:
    // Draws the unit mirrored in a plane {d, nx, ny, nz} for the mirror of
    // that number (its 1-based place in the scene's mirror list).
    virtual int32_t DrawMirrored(const float* plane, int32_t mirror) = 0;
    virtual int32_t PrepareDraw() = 0;

protected:
    virtual ~IKVUnitDisplay3D() = default;
};

} // namespace kvl
