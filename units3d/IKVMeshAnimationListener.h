#pragma once
// What the external implementation of a mesh unit may offer to hear of its
// animations: each start and each end with its reason (0 ended by itself,
// 1 replaced, 2 stopped).
#include <cstdint>

#include "../units/IKVUnitExternal.h"

namespace kvl {

constexpr KVInterfaceId IID_IKVMeshAnimationListener = MakeId(0x002C84A6, 0x83E03010);

class IKVMeshAnimationListener : public virtual IKVUnitExternal {
public:
    virtual int32_t OnAnimationStarted(int32_t layer, int32_t animation) = 0;
    virtual int32_t OnAnimationEnded(int32_t layer, int32_t animation, int32_t reason) = 0;
};

} // namespace kvl
