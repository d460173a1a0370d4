#pragma once
// What other folders ask of a 3D unit: its position. The 3D unit base
// answers this interface from its QueryInterface and adds its further
// operations (rotation, scale, world matrix, mesh attachment) when it is
// built.
#include "IKVUnit.h"
#include "KV3DTypes.h"

namespace kvl {

constexpr KVInterfaceId IID_IKVUnit3D = MakeId(0x00183DF6, 0x2DCE5FAC);

class IKVUnit3D : public virtual IKVUnit {
public:
    // The "Position" attribute's three floats, local to the parent.
    virtual KV3DVector* GetPosition() = 0;

protected:
    ~IKVUnit3D() override = default;
};

} // namespace kvl
