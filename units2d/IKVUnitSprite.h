#pragma once
// What other code asks of a sprite: its frames, its scale, and the texture
// of its own that video players, render targets and snapshots fill. Units
// of class "Sprite" and its derived classes answer this id. The current
// texture is the own texture when there is one, else the frame at Frame.
#include <cstdint>
#include <string>

#include "../graphics/IKVResourceTexture.h"
#include "../units/IKVUnit2D.h"
#include "../units/KV2DTempl.h"

namespace kvl {

constexpr KVInterfaceId IID_IKVUnitSprite = MakeId(0x0039DA3F, 0x283D2F50);

// One draw pass: the options of the draw state it fills.
struct KVDrawPass {
    uint32_t wordOption = 0;
    uint8_t optionA = 0;
    uint8_t optionB = 0;
    uint32_t threshold = 0;
};

class IKVUnitSprite : public virtual IKVUnit2D {
public:
    virtual uint32_t GetFrame() = 0;
    // Stores the index unchecked, then sizes the unit to that frame.
    virtual int32_t SetFrame(uint32_t index) = 0;
    // Frames loaded by the last load.
    virtual uint32_t GetFrameCount() = 0;
    virtual const std::string* GetImage() = 0;
    // Stores the "|"-separated paths and loads them.
    virtual int32_t SetImage(const std::string& image) = 0;
    virtual KV2DTempl<float>* GetScale() = 0;
    virtual int32_t SetScale(const KV2DTempl<float>* scale) = 0;
    virtual bool HasFrames() = 0;
    // The current texture's CopyPixels; 1 without a current texture.
    virtual int32_t CopyPixels(const KVDeviceRect* rect, const uint8_t* const* planes, int32_t pitch) = 0;
    // The current texture's whole picture; 1 without a current texture.
    virtual int32_t Lock(uint32_t unused, void** data, int32_t* pitch) = 0;
    virtual int32_t Unlock() = 0;
    // Drawn without blending whatever the texture and colour say.
    virtual int32_t SetOpaque(bool opaque) = 0;
    // Writes the value into every pixel of the own texture that lies within
    // the Dimension; 1 without an own texture, else the lock's error or the
    // unlock's answer.
    virtual int32_t FillOwnTexture(uint32_t value) = 0;
    virtual int32_t SetDrawPasses(const KVDrawPass* passes, uint32_t count) = 0;
    // Makes the own texture of that size and pixel format (nothing when one
    // of exactly that size exists); with setDimension the unit takes the
    // size as its Dimension. The creation's status.
    virtual int32_t CreateOwnTexture(const KVDeviceSize* size, bool setDimension, uint32_t format) = 0;
    virtual int32_t ReleaseOwnTexture() = 0;
    // Whether the device lost the own texture's pixels since the last ask.
    virtual bool TakeOwnTextureLost() = 0;
    // The own texture, or null; not retained.
    virtual IKVResourceTexture* GetOwnTexture() = 0;
    // Device textures the current picture is split into; 0 without one.
    virtual uint32_t GetImageFrameCount() = 0;

protected:
    ~IKVUnitSprite() override = default;
};

} // namespace kvl
