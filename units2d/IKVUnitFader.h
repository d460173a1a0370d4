#pragma once
// A fader (class "Fader"): a shape over the game area whose colour goes
// from Color to its end colour, or back, over a period.
#include <cstdint>

#include "IKVUnitRect.h"

namespace kvl {

constexpr KVInterfaceId IID_IKVUnitFader = MakeId(0x0049867B, 0xC3199018);

// Fader states.
enum KVFaderState : uint32_t {
    KVFADER_WAIT = 0,
    KVFADER_RUNNING = 1,
    KVFADER_PAUSED = 2,
    KVFADER_END_PENDING = 3,  // the end event follows at the next visible update
    KVFADER_ENDED = 4,
};

class IKVUnitFader : public virtual IKVUnitRect {
public:
    virtual bool GetFadeOut() = 0;
    // Stores the direction only: the fader is not reset.
    virtual int32_t SetFadeOut(bool fadeOut) = 0;
    virtual float GetPeriod() = 0;
    virtual int32_t SetPeriod(float seconds) = 0;
    virtual bool IsEnded() = 0;
    virtual uint32_t GetState() = 0;
    // Stores the state and the colour that goes with it.
    virtual int32_t SetState(uint32_t state) = 0;

protected:
    ~IKVUnitFader() override = default;
};

} // namespace kvl
