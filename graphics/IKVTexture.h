#pragma once
// Device textures: the GL side of an image, filled through Lock and Unlock,
// or from planar YUV 4:2:0 pictures through CopyPixels. The format codes are
// shared with the texture resource and the image readers.
#include <cstdint>
#include "../kernel/IKVUnknown.h"
#include "IKVGraphicDevice.h"

namespace kvl {

enum KVTextureFormat : uint32_t {
    KVTEXFMT_PALETTE16 = 256,  // 4 bits per pixel with a 16-entry palette (not on this device)
    KVTEXFMT_BGRA = 259,       // 32-bit, bytes B, G, R, A
    KVTEXFMT_RAW32 = 260,      // 32-bit, uploaded unchanged
    KVTEXFMT_RGB565 = 2048,    // 16-bit
    KVTEXFMT_PVRTC_RGB4 = 4096,
    KVTEXFMT_PVRTC_RGBA4 = 4097,
    KVTEXFMT_PVRTC_RGB2 = 4098,
    KVTEXFMT_PVRTC_RGBA2 = 4099,
};

// Marks a compressed (PVRTC) format code.
constexpr uint32_t KVTEXFMT_COMPRESSED_BIT = 0x1000;

// Given to CreateTexture; the texture resource keeps one per texture.
struct KVTextureDesc {
    uint32_t format = KVTEXFMT_BGRA;
    uint32_t width = 0;
    uint32_t height = 0;
    uint8_t flag0 = 0;
    uint8_t flag1 = 0;
    uint8_t flag2 = 0;
    uint8_t flag3 = 0;  // 1 for the only or the first device texture of a resource
    const void* source = nullptr;
};

class IKVTexture : public IKVUnknownRef {
public:
    // Converts (YUV 4:2:0 into 16-bit textures) or copies the first plane
    // into the rectangle; strides are in bytes, the first being the first
    // plane's. 0 on success.
    virtual int32_t CopyPixels(const KVDeviceRect* rect, const uint8_t* const* planes, const int32_t* strides) = 0;
    // A staging buffer for the rectangle (null: the whole texture), with its
    // pitch in bytes; the flag is set to 1. 0 on success.
    virtual int32_t Lock(const KVDeviceRect* rect, void** data, int32_t* pitch, uint32_t* flag) = 0;
    // Uploads the staging buffer and frees it.
    virtual int32_t Unlock() = 0;
    // Width and height.
    virtual const KVDeviceSize* GetSize() = 0;
    // Width x height x 4 whatever the format.
    virtual uint32_t GetByteSize() = 0;
    virtual int32_t SetPalette(const uint32_t* colors, int32_t count) = 0;
    // Two queries whose meaning is left open.
    virtual int32_t PaletteQueryA() = 0;
    virtual int32_t PaletteQueryB() = 0;
    virtual int32_t GetBitsPerPixel() = 0;
};

} // namespace kvl
