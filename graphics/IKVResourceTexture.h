#pragma once
// Texture resources: a picture the engine draws, kept by the resource
// manager under its file name (or unnamed, for textures made in memory),
// covered by one or more device textures (frames).
#include <cstdint>
#include "../kernel/IKVResource.h"
#include "IKVTexture.h"

namespace kvl {

constexpr KVInterfaceId IID_IKVResourceTexture = MakeId(0x0046464B, 0x9BFC2AD0);

// One device texture of a texture resource and the part of the image it
// covers; frames run row by row, left to right.
struct KVTextureFrame {
    int32_t x = 0;
    int32_t y = 0;
    IKVTexture* texture = nullptr;  // one reference held
    int32_t width = 0;
    int32_t height = 0;
};

class IKVResourceTexture : public IKVResource {
public:
    // Lets the resource manager load the texture first, then frame 0's
    // device texture (null without frames).
    virtual IKVTexture* GetDeviceTexture() = 0;
    virtual int32_t GetFrameCount() = 0;
    virtual IKVTexture* GetDeviceTextureAt(int32_t index) = 0;
    // Frame 0's device texture without loading anything.
    virtual IKVTexture* PeekDeviceTexture() = 0;
    // Frame record, or null outside the frame list.
    virtual const KVTextureFrame* GetFrame(int32_t index) = 0;
    virtual int32_t HasAlpha() = 0;
    // The 1-bit alpha mask (bit x % 8 of byte y * pitch + x / 8), its pitch
    // and the image size; 4 when the texture has no mask, else 0.
    virtual int32_t GetAlphaMask(const uint8_t** data, int32_t* pitch, const int32_t** size) = 0;
    // Width and height in game units.
    virtual const int32_t* GetImageSize() = 0;
    virtual int32_t ClearPixels() = 0;
    // Rectangle inside a texture-pak page, or null.
    virtual const KVDeviceRect* GetRegion() = 0;
    // YUV 4:2:0 planes (luma, two chroma); pitch is the luma row length.
    virtual int32_t CopyPixels(const KVDeviceRect* rect, const uint8_t* const* planes, int32_t pitch) = 0;
    virtual int32_t Lock(const KVDeviceRect* rect, void** data, int32_t* pitch, uint32_t* flag) = 0;
    virtual int32_t Unlock() = 0;
    // Added to the drawing position (trimmed pak images).
    virtual const int32_t* GetDrawOffset() = 0;
};

} // namespace kvl
