#pragma once
// The graphic module's current viewport as the scene manager reads it: the
// default viewport of the module while no camera is active. The graphic
// module answers this id; without it the scene manager takes the whole
// screen. The id is this engine's own.
#include "../kernel/IKVUnknown.h"
#include "IKVGraphicDevice.h"

namespace kvl {

constexpr KVInterfaceId IID_IKVGraphicViewport = MakeId(0x0039DE0A, 0x7C41E2D3);

class IKVGraphicViewport : public virtual IKVUnknown {
public:
    // {left, top, right, bottom} in screen pixels.
    virtual const KVDeviceRect* GetCurrentViewport() = 0;

protected:
    virtual ~IKVGraphicViewport() = default;
};

} // namespace kvl
