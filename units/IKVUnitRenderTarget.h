#pragma once
// What a displayed unit asks of the unit its "RenderTarget" attribute names,
// at the start of its drawing: to become the graphic module's drawing
// target (its texture, when the target is active and ready; the screen
// otherwise). The render-target unit answers this id; a unit that does not
// leaves the drawing on the screen.
#include <cstdint>

#include "../kernel/IKVUnknown.h"

namespace kvl {

constexpr KVInterfaceId IID_IKVUnitRenderTarget = MakeId(0x00216D29, 0x22563B08);

class IKVUnitRenderTarget : public virtual IKVUnknown {
public:
    virtual int32_t SelectAsTarget() = 0;

protected:
    ~IKVUnitRenderTarget() override = default;
};

} // namespace kvl
