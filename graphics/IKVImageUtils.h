#pragma once
// Image operations offered by the image utilities module.
#include <cstdint>
#include "../kernel/IKVUnknown.h"

namespace kvl {

constexpr KVInterfaceId IID_IKVImageUtils = MakeId(0x00581A4C, 0x55BFE32C);

// A 32-bit image: rows of `pitch` pixels, of which the first `width` count.
struct KVImage {
    uint32_t* pixels;
    uint32_t width;
    uint32_t height;
    uint32_t pitch;
};

class IKVImageUtils : public virtual IKVUnknown {
public:
    // Shrinks (box average per byte) or enlarges (nearest pixel) the source
    // into the destination's width x height pixels. 0.
    virtual int32_t Downscale(const KVImage& source, const KVImage& destination) = 0;
};

} // namespace kvl
