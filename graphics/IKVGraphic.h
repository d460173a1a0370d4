#pragma once
// The graphic module's interface: texture creation, texture stages, the 2D
// drawing operations (pictures, glyphs, filled shapes) and the 2D transform
// that maps game coordinates to device pixels. Earlier folders (the kernel,
// the units) reach the module only through this header.
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

// Bit 0 of SetDrawState's flags: the caller batches its own vertices, and
// view transforms reach the device unscaled.
constexpr uint32_t KVDRAW_BATCH = 0x01;

constexpr int32_t KVGRAPHIC_STAGE_COUNT = 8;

// A picture to draw with the texture of stage 0. A source left >= source
// right draws the whole image (or pak region).
struct ImageDrawRecord {
    float x = 0.0f;  // left edge, game units
    float y = 0.0f;  // top edge
    float sourceLeft = 0.0f;  // game units of the texture's image
    float sourceTop = 0.0f;
    float sourceRight = 0.0f;
    float sourceBottom = 0.0f;
    uint32_t color = 0;  // 0xAARRGGBB, multiplied into every vertex; alpha 0 draws nothing
};

struct KVIntPoint {
    int32_t x;
    int32_t y;
};

struct KVFloatPoint {
    float x;
    float y;
};

struct KVFloatRect {
    float left;
    float top;
    float right;
    float bottom;
};

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

    // Stage 0-7; the texture is remembered, not retained. 1 without a device.
    virtual int32_t SetTextureStage(int32_t stage, IKVResourceTexture* texture) = 0;
    // Unbinds the stages nobody set since the last reset.
    virtual int32_t ResetTextureStages() = 0;
    // Scale pair, then with auto-fit the screen rectangle's or the game
    // resolution's fit to the screen. 1 (nothing changes) for a scale that
    // is not positive.
    virtual int32_t Set2DTransform(const float* scale, bool autoFit) = 0;
    virtual int32_t* GetOffset2DRef() = 0;
    // Stores (x, y) and places the enabled 2D units again.
    virtual int32_t SetOffset2D(const int32_t* pair) = 0;
    // A render-target texture, or null for the screen.
    virtual int32_t SetRenderTarget(IKVResourceTexture* target) = 0;
    virtual int32_t ResetViewportFromDevice() = 0;
    virtual int32_t DrawLine2D(const KVIntPoint& start, const KVIntPoint& end, uint32_t color) = 0;
    // colors[0] everywhere when mode is 1, else top-left, top-right,
    // bottom-left, bottom-right.
    virtual int32_t FillRect(const KVDeviceRect* rect, const uint32_t* colors, int32_t mode) = 0;
    virtual int32_t FillTriangle(const KVFloatPoint* corners, uint32_t color) = 0;
    // A game point (x, y) goes to (m0 x + m2 y + m4, m1 x + m3 y + m5).
    virtual int32_t SetViewTransform(const float* matrix) = 0;

    // The drawing operations units call between SetDrawState and EndDraw.
    virtual int32_t SetDrawState(const KVDrawState* state, uint32_t flags) = 0;
    virtual int32_t EndDraw() = 0;
    virtual int32_t DrawImage(const ImageDrawRecord* record) = 0;
    // Sub-image `index` of the texture-pak sheet on stage 0.
    virtual int32_t DrawGlyph(const ImageDrawRecord* record, int32_t index) = 0;
    // One textured quad; source in texture pixels, texture size in pixels.
    virtual int32_t EmitQuad(const ImageDrawRecord* record, const KVFloatPoint& position,
                             const KVFloatRect& source, const KVDeviceSize& textureSize) = 0;
    // A rectangle in game units, or null to switch scissoring off.
    virtual int32_t SetScissor(const KVDeviceRect* rect) = 0;
    // A device pixel position in game coordinates.
    virtual int32_t PointToGame(KVIntPoint* out, int32_t x, int32_t y) = 0;
    // Forgets every remembered stage texture without device calls.
    virtual void ForgetTextureStages() = 0;
    // A texture going away: no stage remembers it any more.
    virtual void DetachTexture(IKVResourceTexture* texture) = 0;

    // Device pixels per game unit.
    virtual const float* GetEffectiveScale() = 0;
    // The 2D screen in game units: width and height.
    virtual const int32_t* GetGameArea() = 0;
    // The screen rectangle when one is set, else (0, 0, game area).
    virtual const KVDeviceRect* GetGameRect() = 0;
    // Null until the module found its device.
    virtual IKVGraphicDevice2D* GetDevice2D() = 0;

protected:
    virtual ~IKVGraphic() = default;
};

namespace graphicdetail {
// Set by the graphic module as it is made, cleared as it goes (read by
// every draw, so not behind a call).
inline IKVGraphic* s_module = nullptr;
} // namespace graphicdetail

// The graphic module, or null while it does not exist.
inline IKVGraphic* GetGraphicModule() { return graphicdetail::s_module; }

} // namespace kvl
