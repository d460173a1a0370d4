#pragma once
// Image readers: resource readers that deliver a file's pixels as 32-bit
// B, G, R, A for the texture producer. Read (the pixels) and GetExtensions
// (the further extensions) are the resource reader's own operations.
#include <cstdint>
#include "../kernel/IKVResource.h"
#include "IKVTexture.h"

namespace kvl {

constexpr KVInterfaceId IID_IKVImageReader = MakeId(0x003C6760, 0x40295766);

struct KVImageInfo {
    uint32_t format;     // texture format code of the delivered pixels (KVTextureFormat)
    uint32_t width;
    uint32_t height;
    uint32_t byteSize;   // bytes of pixel data
    uint8_t hasAlpha;    // some pixel may be less than opaque
    uint8_t tiledOnly;   // may only be made as several device textures
    uint8_t readerMask;  // a 1-bit alpha mask follows the pixels
    uint8_t spare;
    uint32_t frameData;  // size word of a tiled image's per-frame byte counts
};

class IKVImageReader : public IKVResourceReader {
public:
    // Fills the record for an open handle. 0.
    virtual int32_t GetInfo(void* handle, KVImageInfo* info) = 0;
};

} // namespace kvl
