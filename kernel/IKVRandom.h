#pragma once
#include "IKVUnknown.h"

namespace kvl {

constexpr KVInterfaceId IID_IKVRandom = MakeId(0x00423DDE, 0xF236AE48);

class IKVRandom : public virtual IKVUnknown {
public:
    // An integer in [0, n); 0 for n = 0.
    virtual uint32_t RandomInt(uint32_t n) = 0;
    virtual uint32_t RandomByte() = 0;
    // A float in [0, 1]; the largest draws round to exactly 1.
    virtual float RandomFloat() = 0;
};

} // namespace kvl
