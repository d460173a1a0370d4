#pragma once
// The graphic module's interface: texture creation (from image files and
// texture paks, or empty in memory).
#include <cstdint>
#include "../kernel/IKVResource.h"
#include "IKVGraphicDevice.h"
#include "IKVResourceTexture.h"

namespace kvl {

constexpr KVInterfaceId IID_IKVGraphic = MakeId(0x0039DE0A, 0x2D3875B8);

// Flag bits of CreateTextureFromFile and CreateTexture.
constexpr uint32_t KVTEXTURE_CLEAR_FLAG2 = 0x01;  // set: descriptor flag 2 stays clear
constexpr uint32_t KVTEXTURE_FLAG0 = 0x02;        // CreateTexture: descriptor flag 0
constexpr uint32_t KVTEXTURE_FLAG1 = 0x04;        // CreateTexture: descriptor flag 1
constexpr uint32_t KVTEXTURE_ALPHA_MASK = 0x08;   // CreateTextureFromFile: build the alpha mask
constexpr uint32_t KVTEXTURE_NO_VARIANTS = 0x10;  // CreateTextureFromFile: the name as given only

class IKVGraphic : public virtual IKVUnknown {
public:
    // An empty texture of that size and pixel format, kept by the resource
    // manager without a name. 0 and the texture (one reference for the
    // caller), or the error with null.
    virtual int32_t CreateTexture(const KVDeviceSize& size, uint32_t format, IKVResourceTexture** out,
                                  uint32_t flags) = 0;
    // The texture of an image file (full path) or texture-pak picture,
    // loaded through the resource manager with `context`, from the best
    // resource resolution that has it. 0 and the texture (one reference for
    // the caller), or the resource manager's error with null.
    virtual int32_t CreateTextureFromFile(const char* name, IKVResourceLoadContext* context,
                                          IKVResourceTexture** out, uint32_t flags) = 0;
};

} // namespace kvl
