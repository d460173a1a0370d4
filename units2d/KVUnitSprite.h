#pragma once
// Class "Sprite": a 2D display unit that shows one image out of a list of
// frames, each a texture loaded from a file the Image attribute names
// ("|"-separated), or one texture of its own that other code fills (video,
// render targets, snapshots). The base of every image-showing 2D class.
//
// Split by responsibility:
//   KVUnitSprite.cpp       frames, the own texture, pixel access, lifecycle
//   KVUnitSpriteDraw.cpp   on-screen class, drawing, point test
//   KVUnitSpriteClass.cpp  registration and the script methods
//
// For classes built on it: LoadImages is the Image attribute's hook (a
// class whose frames come from elsewhere replaces it); OnResize and
// UpdateTransform mark the on-screen class stale, so overrides call them.
#include <cstdint>
#include <string>
#include <vector>

#include "../units/IKVUnitSpriteExternal.h"
#include "../units/KVUnitDisplay2D.h"
#include "IKVUnitSprite.h"

namespace kvl {

class KVUnitSprite : public KVUnitDisplay2D, public virtual IKVUnitSprite {
public:
    static constexpr uint64_t kClassId = 0x006B2C9FC97EF464ull;
    static constexpr uint64_t kAlphaTestThresholdId = 0x00393E4C13728E2Cull;
    static constexpr uint64_t kImageId = 0x0054C4A85C996A20ull;
    static constexpr uint64_t kScaleId = 0x0062857B957536B0ull;
    static constexpr uint64_t kColorId = 0x00636DD3A50763D4ull;
    static constexpr uint64_t kAlphaTestId = 0x0051A49A1CED9E50ull;
    static constexpr uint64_t kFrameId = 0x00140A258BF2B9A9ull;

    // Where the sprite lies against the game rectangle.
    enum OnScreen : uint8_t { kInside = 0, kOutside = 1, kPartly = 2 };

    static KVUnit* Create() { return new KVUnitSprite; }
    // Registers class "Sprite"; the class index, or -1.
    static int32_t RegisterClass();
    static int32_t GetSpriteClassIndex() { return s_classIndex; }
    // The sprite object of a unit, or null when the unit is none.
    static KVUnitSprite* FromUnit(IKVUnit* unit);

    // IKVUnknown
    int32_t QueryInterface(const KVInterfaceId& id, void** out) override;

    // KVUnit
    void Init() override;
    void Close() override;
    void ResetState() override;
    void AttachHandler() override;
    int32_t Load() override;
    void QueryVisible(bool* out, int32_t layerIndex) override;
    void Draw() override;
    bool IsPointInside(const KV2DTempl<int32_t>& point, float* depth, IKVUnit* camera) override;

    // KVUnit2D
    void OnResize() override;
    void UpdateTransform(int32_t value) override;

    // Operations the classes extend.
    // Drops the frames and, while the unit is enabled, loads the Image
    // paths: each failure raises "OnError", the Dimension ends as the size
    // of the last frame loaded.
    virtual void LoadImages();
    virtual void Reload() { LoadImages(); }
    // Sizes the enabled unit to the current file frame.
    virtual void SizeToFrame();

    // IKVUnitSprite
    uint32_t GetFrame() override { return m_frame; }
    int32_t SetFrame(uint32_t index) override;
    uint32_t GetFrameCount() override { return m_frameCount; }
    const std::string* GetImage() override { return &m_image; }
    int32_t SetImage(const std::string& image) override;
    using KVUnit2D::GetScale;
    KV2DTempl<float>* GetScale() override { return &m_scale; }
    int32_t SetScale(const KV2DTempl<float>* scale) override;
    bool HasFrames() override { return !m_frames.empty(); }
    int32_t CopyPixels(const KVDeviceRect* rect, const uint8_t* const* planes, int32_t pitch) override;
    int32_t Lock(uint32_t unused, void** data, int32_t* pitch) override;
    int32_t Unlock() override;
    int32_t SetOpaque(bool opaque) override {
        m_opaque = opaque;
        return 0;
    }
    int32_t FillOwnTexture(uint32_t value) override;
    int32_t SetDrawPasses(const KVDrawPass* passes, uint32_t count) override;
    int32_t CreateOwnTexture(const KVDeviceSize* size, bool setDimension, uint32_t format) override;
    int32_t ReleaseOwnTexture() override;
    bool TakeOwnTextureLost() override;
    IKVResourceTexture* GetOwnTexture() override { return m_ownTexture ? m_frames[0] : nullptr; }
    uint32_t GetImageFrameCount() override;

    // The draw state of a pass as the drawing fills it; a later pass leaves
    // blending, shader and texture flag as the caller set them.
    void GetDrawState(uint32_t pass, KVDrawState* state);
    // The own texture, else the frame at Frame, else null.
    IKVResourceTexture* GetCurrentTexture() {
        if (m_ownTexture) return m_frames[0];
        return m_frame < m_frames.size() ? m_frames[m_frame] : nullptr;
    }
    // The own texture at the Dimension, 32-bit, the Dimension unchanged.
    int32_t CreateOwnTextureOfDimension();
    bool OwnTextureDiffers(const KV2DTempl<int32_t>& size);
    // Clears the own texture's pixels; 1 without one.
    int32_t ClearOwnTexture();

    // The script method "TakeSnapshot": the screen rectangle, optionally
    // scaled, becomes the own texture (nothing changes when the device
    // cannot read its screen or the rectangle is empty).
    void TakeSnapshot(int32_t argumentCount, const int32_t* bounds, const float* scale);
    // The script method "Save": the current picture through the image
    // writer; false (logged) when it cannot be written.
    bool Save(const char* path);

    uint32_t GetColor() const { return m_color; }
    void SetColor(uint32_t color) { m_color = color; }
    bool IsOwnTexture() const { return m_ownTexture; }
    bool IsSnapshot() const { return m_snapshot; }
    void SetSnapshot(bool snapshot) { m_snapshot = snapshot; }
    bool IsOpaque() const { return m_opaque; }
    void SetRenderTextureKind(bool on) { m_renderTexture = on; }
    bool GetAlphaTest() const { return m_alphaTest; }
    void SetAlphaTest(bool on) { m_alphaTest = on; }
    uint8_t GetOnScreenClass();
    IKVUnitSpriteExternal* GetSpriteSource() const { return m_spriteSource; }
    size_t GetFrameListSize() const { return m_frames.size(); }
    // A frame texture of the frame list, or null outside it.
    IKVResourceTexture* GetFrameTexture(size_t index) const {
        return index < m_frames.size() ? m_frames[index] : nullptr;
    }

protected:
    ~KVUnitSprite() override;

    // Releases every frame; the own texture goes with them.
    void ReleaseFrames();
    // The rectangle the unit's picture covers in its own pixels, before the
    // world transform; the on-screen class is worked out from it. The
    // sprite's is its Dimension from its origin (a trimmed pak image lies
    // inside it). A class that draws its picture elsewhere answers its own.
    virtual KVDeviceRect GetDrawnArea();
    // The drawn area changed without a move or a resize.
    void MarkOnScreenStale() { m_onScreenStale = true; }

    bool m_opaque = false;

private:
    static int32_t s_classIndex;
    static void RegisterScriptMethods(int32_t classIndex);

    void ComputeOnScreenClass();
    // The part of the picture inside the game rectangle: the record's source
    // and the transform to draw it with; false when nothing is to be drawn.
    bool ClipToScreen(IKVResourceTexture* texture, ImageDrawRecord* record, KV2DTransform* transform);

    std::string m_image;
    std::vector<IKVResourceTexture*> m_frames;
    uint32_t m_frame = 0;
    uint32_t m_frameCount = 0;
    uint32_t m_color = 0xFFFFFFFFu;
    bool m_alphaTest = false;
    uint32_t m_alphaTestThreshold = 0;
    bool m_renderTexture = false;
    std::vector<KVDrawPass> m_passes;
    IKVUnitSpriteExternal* m_spriteSource = nullptr;
    bool m_snapshot = false;
    bool m_ownTexture = false;
    bool m_onScreenStale = true;
    uint8_t m_onScreen = kInside;
    // Counts loads, so that a load started from an error event ends the
    // one that raised it.
    uint32_t m_loads = 0;
};

} // namespace kvl
