#pragma once
// Marks a unit as a polygonal area; it adds nothing to the 2D unit's face.
#include "../units/IKVUnit2D.h"

namespace kvl {

constexpr KVInterfaceId IID_IKVUnitArea = MakeId(0x00659ED1, 0xCBD12238);

class IKVUnitArea : public virtual IKVUnit2D {};

} // namespace kvl
