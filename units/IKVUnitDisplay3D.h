#pragma once
// What the scene manager's 3D pass and the 3D module's shader handling ask
// of a displayed 3D unit: drawing into a mirror (units filed as reflected),
// the preparation before the 3D units draw (units filed in the prepared
// list), and the unit named by its "Shader" attribute. Units of class
// "Display3D" and its derived classes answer this id.
#include <cstdint>
#include "../kernel/IKVUnknown.h"

namespace kvl {

class IKVUnitRef;

constexpr KVInterfaceId IID_IKVUnitDisplay3D = MakeId(0x00574784, 0xECDD7338);

class IKVUnitDisplay3D : public virtual IKVUnknown {
public:
    // Draws the unit mirrored in a plane {d, nx, ny, nz} for the mirror of
    // that number (its 1-based place in the scene's mirror list).
    virtual int32_t DrawMirrored(const float* plane, int32_t mirror) = 0;
    virtual int32_t PrepareDraw() = 0;
    // The "Shader" reference (its index is -1 while it names no unit).
    virtual IKVUnitRef* GetShaderRef() = 0;

protected:
    virtual ~IKVUnitDisplay3D() = default;
};

} // namespace kvl
