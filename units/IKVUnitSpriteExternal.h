#pragma once
// What a sprite asks of the external object that fills its own texture:
// the colour of one pixel of the current picture, for its point tests.
#include <cstdint>
#include "../kernel/IKVUnknown.h"

namespace kvl {

constexpr KVInterfaceId IID_IKVUnitSpriteExternal = MakeId(0x003AFEEB, 0xEE564E80);

class IKVUnitSpriteExternal : public virtual IKVUnknownRef {
public:
    // 0xAARRGGBB at the point (sprite pixels); 0 without a picture.
    virtual uint32_t GetPixelColor(int32_t x, int32_t y) = 0;

protected:
    ~IKVUnitSpriteExternal() override = default;
};

} // namespace kvl
