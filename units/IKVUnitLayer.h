#pragma once
// A layer unit: collects the units that name it while the scene is walked
// and files them with the scene manager when it is asked itself.
#include "../kernel/IKVUnknown.h"

namespace kvl {

class IKVUnit;

constexpr KVInterfaceId IID_IKVUnitLayer = MakeId(0x0049E597, 0xEF8EB8C0);

class IKVUnitLayer : public virtual IKVUnknown {
public:
    virtual int32_t AddUnit(IKVUnit* unit) = 0;

protected:
    virtual ~IKVUnitLayer() = default;
};

} // namespace kvl
