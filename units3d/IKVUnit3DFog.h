#pragma once
// The face a fog unit answers under its class id; it adds no operation to
// that of every unit.
#include "../units/IKVUnit.h"

namespace kvl {

constexpr KVInterfaceId IID_IKVUnit3DFog = MakeId(0x0026DF79, 0xA357CBA2);

class IKVUnit3DFog : public virtual IKVUnit {
protected:
    ~IKVUnit3DFog() override = default;
};

} // namespace kvl
