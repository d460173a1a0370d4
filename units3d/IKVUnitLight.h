#pragma once
// The face of a light unit: that of every 3D unit (it adds no operation and
// no id of its own).
#include "../units/IKVUnit3D.h"

namespace kvl {

class IKVUnitLight : public virtual IKVUnit3D {
protected:
    ~IKVUnitLight() override = default;
};

} // namespace kvl
