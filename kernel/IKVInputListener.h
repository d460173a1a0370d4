#pragma once
// A native party that receives input events from the input module's
// priority lists (GUI buttons, the cursor unit, the mouse-hover module).
#include <cstdint>
#include "IKVUnknown.h"

namespace kvl {

class IKVInputListener : public virtual IKVUnknown {
public:
    // Index of the listener's unit in the unit factory, -1 when it is no unit.
    virtual int32_t GetUnitIndex() = 0;
    // Non-zero when events are still wanted while the unit is not visible.
    virtual int32_t WantsHiddenInput() = 0;
    // The bits meant for the listener; clearing one consumes that event.
    // a and b: the pointer or touch position, or the first two event values.
    virtual int32_t OnInput(uint32_t* mask, int32_t a, int32_t b) = 0;

protected:
    virtual ~IKVInputListener() = default;
};

} // namespace kvl
