#pragma once
// Flat-colour 2D units: shapes (class "Shape", also named "Rect") and the
// faders built on them.
#include <cstdint>

#include "../kernel/IKVUnknown.h"

namespace kvl {

constexpr KVInterfaceId IID_IKVUnitRect = MakeId(0x00581FB7, 0xA4820DC0);

class IKVUnitRect : public virtual IKVUnknown {
public:
    // Color (0xAARRGGBB), which also becomes the colour drawn.
    virtual int32_t SetColor(uint32_t color) = 0;

protected:
    ~IKVUnitRect() override = default;
};

} // namespace kvl
