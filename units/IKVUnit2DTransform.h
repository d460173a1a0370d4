#pragma once
// The transform update of a 2D unit: local, world and inverse transforms
// computed again, then the same for its 2D children. The graphic module runs
// it on every enabled 2D unit when the 2D offset changes. 2D units answer
// this id from their QueryInterface; the id is this engine's own.
#include "../kernel/IKVUnknown.h"

namespace kvl {

constexpr KVInterfaceId IID_IKVUnit2DTransform = MakeId(0x0041BA24, 0x6E1F0C57);

class IKVUnit2DTransform : public virtual IKVUnknown {
public:
    // The argument is not used by the 2D base.
    virtual void UpdateTransform(int32_t value) = 0;

protected:
    virtual ~IKVUnit2DTransform() = default;
};

} // namespace kvl
