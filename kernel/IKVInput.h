#pragma once
// The input module as native parties see it: listener registration and the
// pointer position in game coordinates.
#include <cstdint>
#include "IKVUnknown.h"

namespace kvl {

class IKVInputListener;

constexpr KVInterfaceId IID_IKVInput = MakeId(0x0024904E, 0xF642BD10);

struct InputState {
    int32_t x = 0;
    int32_t y = 0;
};

class IKVInput : public virtual IKVUnknown {
public:
    // Adds the mask to the listener's entry, or appends an entry to the
    // normal list. 0.
    virtual int32_t AddListener(uint32_t mask, IKVInputListener* listener) = 0;
    // 0, or 4 when the listener has no entry.
    virtual int32_t RemoveListener(IKVInputListener* listener) = 0;
    virtual InputState* GetInputState() = 0;

protected:
    virtual ~IKVInput() = default;
};

} // namespace kvl
