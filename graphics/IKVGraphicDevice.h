#pragma once
// The drawing device interfaces: IKVGraphicDevice (screen, frame, viewport,
// orientation) and IKVGraphicDevice2D (textures and the 2D batch), with the
// records they take. The 3D face is in IKVGraphicDevice3D.h. One device
// object answers every interface id; the interfaces are virtual bases.
#include <cstdint>
#include <string>
#include <vector>
#include "../kernel/IKVUnknown.h"

namespace kvl {

constexpr KVInterfaceId IID_IKVGraphicDevice = MakeId(0x00107351, 0x3EE65C4D);
constexpr KVInterfaceId IID_IKVGraphicDevice2D = MakeId(0x001CC354, 0x94804324);
constexpr KVInterfaceId IID_IKVGraphicDevice3D = MakeId(0x005CCA08, 0x41EA41A8);

// Capability bits of GetCaps.
constexpr uint32_t KVDEVICE_CAP_POW2_TEXTURES = 0x08;   // textures must be powers of two
constexpr uint32_t KVDEVICE_CAP_THREADED_LOAD = 0x10;   // a project may load on a worker thread

class IKVTexture;
struct KVTextureDesc;

// Rectangle in logical pixels, origin top-left, y down.
struct KVDeviceRect {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

// A side of a rectangle (right - left, bottom - top) worked out in 64 bits
// and kept to the 32-bit range: a rectangle from a file or a script may lie
// anywhere in it.
inline int32_t RectExtent(int32_t from, int32_t to) {
    const int64_t extent = int64_t(to) - from;
    return extent > INT32_MAX ? INT32_MAX : extent < INT32_MIN ? INT32_MIN : int32_t(extent);
}

struct KVDeviceSize {
    int32_t width;
    int32_t height;
};

// A display mode: the device owns the current one (GetScreenSize) and
// SetDisplayMode takes a requested one. Width and height are the logical
// size after rotation.
struct KVDisplayMode {
    int32_t width = 0;
    int32_t height = 0;
    int32_t drawingWidth = 0;
    int32_t drawingHeight = 0;
    int32_t antialiasing = 0;
    uint8_t fullscreen = 0;
    uint8_t vsync = 0;
};

// Filled by GetVideoCardInfo; callers start from an empty name and zeros.
struct KVVideoCardInfo {
    std::string name;
    int32_t dedicatedVideoMemory = 0;
    int32_t dedicatedSystemMemory = 0;
    int32_t sharedSystemMemory = 0;
};

// 2D draw state handed to SetBlendState.
struct KVDrawState {
    uint8_t blend = 0;           // non-zero: alpha blending on
    uint8_t optionA = 0;
    uint8_t optionB = 0;
    uint32_t wordOption = 0;
    uint32_t alphaThreshold = 0;
    void* pixelShader = nullptr;  // not owned
    uint32_t textureFlag = 0;    // low byte non-zero: textured drawing
};

// One vertex of a 2D polygon: x, y through the current transform, z carried,
// colour 0xAARRGGBB, texture coordinates u, v.
struct KV2DVertex {
    float x;
    float y;
    float z;
    uint32_t color;
    float u;
    float v;
};

class IKVGraphicDevice : public virtual IKVUnknown {
public:
    virtual uint32_t GetCaps() = 0;
    // Enters the device's frame section and clears colour and depth; 0 means
    // drawing may go on. The flag is not used.
    virtual int32_t BeginFrame(int32_t flag) = 0;
    // Leaves the frame section.
    virtual int32_t EndFrame() = 0;
    virtual int32_t Clear() = 0;
    virtual int32_t Present() = 0;
    virtual const KVDeviceRect* GetViewport() = 0;
    virtual int32_t SetViewport(const KVDeviceRect* rect) = 0;
    // Buffer of screen width x height 32-bit pixels; 0 when it was filled.
    virtual int32_t ReadScreenPixels(uint32_t* buffer, int32_t flag) = 0;
    virtual int32_t GetVideoCardInfo(KVVideoCardInfo* info) = 0;
    // 0 when the mode was taken.
    virtual int32_t SetDisplayMode(const KVDisplayMode* mode) = 0;
    virtual const KVDisplayMode* GetScreenSize() = 0;
    virtual const std::vector<KVDeviceSize>* GetDisplayModes() = 0;
    // Colour 0xAARRGGBB.
    virtual int32_t SetClearColor(uint32_t color) = 0;
    // 0 to 3: 0 landscape as the screen stands, 1 to 3 rotated.
    virtual int32_t GetOrientation() = 0;
    virtual int32_t SetOrientation(int32_t orientation) = 0;
    virtual int32_t SetGamma(float gamma) = 0;
};

class IKVGraphicDevice2D : public virtual IKVGraphicDevice {
public:
    // 0 and a texture with one reference for the caller, or 1. A width or
    // height of 0, or one above GetMaxTextureSize, is refused (1).
    virtual int32_t CreateTexture(const KVTextureDesc* desc, IKVTexture** out) = 0;
    // Binds a texture to a stage. A device may bind every stage to one
    // texture unit: a stage still holding its texture is bound again when a
    // bind to another stage has taken its place.
    virtual int32_t SetTexture(int32_t stage, IKVTexture* texture) = 0;
    virtual int32_t SetBlendState(const KVDrawState* state, int32_t batchFlag) = 0;
    // Appends one convex polygon of count vertices to the batch.
    virtual int32_t DrawPolygon(const KV2DVertex* vertices, int32_t count) = 0;
    virtual int32_t Flush() = 0;
    virtual int32_t DrawLine2D(int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t color) = 0;
    // A query without arguments; its meaning is left open.
    virtual int32_t Query2D() = 0;
    virtual int32_t IsFormatSupported(uint32_t format) = 0;
    virtual int32_t GetMaxTextureSize(KVDeviceSize* out) = 0;
    // Null turns scissoring off.
    virtual int32_t SetScissor(const KVDeviceRect* rect) = 0;
    // Matrix 0 enters only 3D drawing, 1 is the view, 2 the projection;
    // 16 floats, column-major.
    virtual int32_t SetTransform(int32_t index, const float* matrix) = 0;
    // Deferred flushing, a change of this interface's contract that only a
    // caller who turns it on sees (the scene manager does, for the length of
    // its draw of the units):
    // - Flush keeps the batch instead of drawing it;
    // - a change of the view (transform 1) does not flush: each vertex keeps
    //   the view it was batched under. The OpenGL ES device places the
    //   vertices of a batch that spans views itself, x and y only, in double
    //   precision rounded to float, and draws it with the projection alone
    //   as "global_transform". A view that moves vertices out of their plane
    //   (z or w), a change of another transform, or any change in 3D mode
    //   still draws what was batched before it;
    // - a change of texture, blend state, scissor or a texture's pixels still
    //   draws what was batched before it, so the picture is the one that
    //   flushing at once would give;
    // - SetFlushDeferred(false) draws what is held.
    // Outside it Flush draws at once and every transform change flushes.
    // Devices without a batch ignore this.
    virtual void SetFlushDeferred(bool) {}
};

} // namespace kvl
