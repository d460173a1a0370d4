#pragma once
// The image-writer service a sprite's "Save" hands its pixels to. No module
// of the engine offers it: the sprite asks the core and goes without.
#include <cstdint>

#include "../kernel/IKVUnknown.h"
#include "../units/KV2DTempl.h"

namespace kvl {

constexpr KVInterfaceId IID_IKVImageWriter = MakeId(0x0000A99E, 0x765E75B3);

class IKVImageWriter : public virtual IKVUnknown {
public:
    // Writes size.x x size.y pixels (0xAARRGGBB, rows packed, top row first)
    // to the file.
    virtual int32_t WriteImage(const char* path, const KV2DTempl<int32_t>* size, const uint32_t* pixels) = 0;

protected:
    ~IKVImageWriter() override = default;
};

} // namespace kvl
