#pragma once
// The OpenGL ES device proper: screen orientation with its 2D projection,
// viewport, scissor, frame, capabilities, texture formats, transforms and the
// 2D batch in client memory. KVGLRender2 adds the shader programs and the
// draw call, KVGLwebOSRender the screen set-up and buffer swap.
#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>
#include "../kernel/IKVCriticalSection.h"
#include "IKVGraphicDevice3D.h"
#include "IKVTexture.h"

namespace kvl {

class KVGLTexture;

class KVGLRender : public IKVGraphicDevice3D {
public:
    // The device critical section is the module's; it may be null.
    explicit KVGLRender(IKVCriticalSection* section);
    ~KVGLRender() override;

    // Writes "KVGL error: " + text to the log at the information level.
    static void LogError(const std::string& text);

    // IKVGraphicDevice
    uint32_t GetCaps() override;
    int32_t BeginFrame(int32_t flag) override;
    int32_t EndFrame() override;
    int32_t Clear() override;
    int32_t Present() override;
    const KVDeviceRect* GetViewport() override { return &m_viewport; }
    int32_t SetViewport(const KVDeviceRect* rect) override;
    int32_t ReadScreenPixels(uint32_t* buffer, int32_t flag) override;
    int32_t GetVideoCardInfo(KVVideoCardInfo* info) override;
    int32_t SetDisplayMode(const KVDisplayMode* mode) override;
    const KVDisplayMode* GetScreenSize() override { return &m_displayMode; }
    const std::vector<KVDeviceSize>* GetDisplayModes() override { return &m_displayModes; }
    int32_t SetClearColor(uint32_t color) override;
    int32_t GetOrientation() override { return m_orientation; }
    int32_t SetOrientation(int32_t orientation) override;
    int32_t SetGamma(float gamma) override;

    // IKVGraphicDevice2D
    int32_t CreateTexture(const KVTextureDesc* desc, IKVTexture** out) override;
    int32_t SetTexture(int32_t stage, IKVTexture* texture) override;
    int32_t SetBlendState(const KVDrawState* state, int32_t batchFlag) override;
    int32_t DrawPolygon(const KV2DVertex* vertices, int32_t count) override;
    int32_t Flush() override;
    int32_t DrawLine2D(int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t color) override;
    int32_t Query2D() override { return 1; }
    int32_t IsFormatSupported(uint32_t format) override;
    int32_t GetMaxTextureSize(KVDeviceSize* out) override;
    int32_t SetScissor(const KVDeviceRect* rect) override;
    int32_t SetTransform(int32_t index, const float* matrix) override;
    void SetFlushDeferred(bool deferred) override;

    // IKVGraphicDevice3D: constants, no effect; the shader loads answer 1.
    int32_t SetRenderTarget(IKVTexture*) override { return 0; }
    uint32_t GetCaps3D() override { return 0; }
    int32_t DrawLine3D(const float*, uint32_t, int32_t) override { return 0; }
    int32_t CreateVertexFormat(const KVVertexFormatDesc*, uint32_t*, const void*, uint32_t) override { return 0; }
    uint32_t GetFeatures3D() override { return 0; }
    int32_t CreateVertexBuffer(const char*, const KVVertexBufferDesc*, uint32_t, IKVDeviceBuffer**) override {
        return 0;
    }
    int32_t CreateIndexBuffer(const char*, uint32_t, uint32_t, uint32_t, KV3DPart*) override { return 0; }
    int32_t GetMaxLights() override { return 0; }
    int32_t SetLight(int32_t, IKVLight*) override { return 0; }
    int32_t CreateMirrorTarget(void** out) override;
    int32_t SelectMirrorTarget(void*) override { return 0; }
    int32_t ClearMirrorTarget(void*) override { return 0; }
    int32_t SetMaterial(const KV3DMaterial*, int32_t) override { return 0; }
    int32_t SetVertexData(const void*, uint32_t, uint32_t, uint32_t) override { return 0; }
    int32_t LoadPixelShader(const char*, IKVUnknownRef**) override { return 1; }
    int32_t LoadVertexShader(const char*, IKVUnknownRef**) override { return 1; }
    int32_t DrawIndexed(const uint16_t*, uint32_t) override { return 0; }
    int32_t SetFog(uint32_t, float, float) override { return 0; }
    int32_t SetBoneMatrices(const float*, uint32_t) override { return 0; }
    int32_t SetVertexBuffer(IKVDeviceBuffer*, uint32_t) override { return 0; }
    int32_t SetBlendWeight(float, IKVDeviceBuffer*) override { return 0; }
    int32_t SetTextureSlot(int32_t, IKVUnknown*) override { return 0; }
    int32_t EndTextures() override { return 0; }
    int32_t DrawPart(const KV3DPart*, uint32_t) override { return 0; }
    int32_t EndSubmesh() override { return 0; }
    int32_t SetPerspective(float, float, float) override { return 0; }

    // Own operations.
    // State bytes: texture flag, blending, option A, option B.
    virtual void ApplyState2D(const uint8_t state[4]);
    // Draws (in KVGLRender2) and empties the batch.
    virtual void FlushBatch();
    // Draws a batch held back by a deferred flush before GL state or a
    // texture it was made with changes.
    void FlushDeferred() {
        if (m_flushDeferred) FlushBatch();
    }
    bool IsFlushDeferred() const { return m_flushDeferred; }
    virtual int32_t InitDevice();
    virtual void ShutdownDevice();
    virtual int32_t PlatformQuery() = 0;

    // What device textures use.
    IKVCriticalSection* GetCriticalSection() const { return m_section; }
    bool HasBGRA8888() const { return m_hasBGRA8888; }
    bool HasPVRTC() const { return m_hasPVRTC; }
    // Binds the texture last bound through SetTexture again (after a
    // texture's own work changed the binding).
    void RebindLastTexture();
    void AddTexture(KVGLTexture* texture) { m_textures.insert(texture); }
    // A texture going away: no stage keeps it, and it is no longer the last bound.
    void ForgetTexture(KVGLTexture* texture);

    // State read by tests and by the shader path.
    const float* GetProjection() const { return m_projection; }
    const float* GetTransform(int32_t index) const { return m_transforms[index]; }
    int32_t GetMode2D() const { return m_mode2D; }
    uint8_t GetTextureFlag() const { return m_textureFlag; }
    uint32_t GetLastBoundName() const { return m_lastBound; }
    const IKVTexture* GetStage(int32_t stage) const {
        return stage >= 0 && stage < kStageCount ? m_stages[stage] : nullptr;
    }
    size_t GetBatchVertexCount() const { return m_positions.size() / 2; }
    const std::vector<float>& GetBatchPositions() const { return m_positions; }
    const std::vector<uint8_t>& GetBatchColors() const { return m_colors; }
    const std::vector<float>& GetBatchUVs() const { return m_uvs; }
    const std::vector<uint16_t>& GetBatchIndices() const { return m_indices; }

    static constexpr int32_t kStageCount = 4;
    // 16-bit indices reach this many vertices.
    static constexpr size_t kMaxBatchVertices = 65536;

protected:
    // glGetString, replaced by tests that play another GL.
    virtual const char* GetGLString(uint32_t name);
    // The box of a logical rectangle in GL window coordinates (origin
    // bottom-left) for the current orientation, in 64 bits.
    struct WindowBox {
        int64_t x, y, width, height;
    };
    WindowBox ToWindowBox(const KVDeviceRect& rect) const;
    // Whether rect (null: off) is the scissor last set.
    bool SameScissor(const KVDeviceRect* rect) const;

    IKVCriticalSection* m_section;
    int32_t m_physicalWidth = 0;
    int32_t m_physicalHeight = 0;
    KVDeviceRect m_viewport = {0, 0, 0, 0};
    KVDisplayMode m_displayMode;
    int32_t m_mode2D = 0;
    std::vector<KVDeviceSize> m_displayModes;
    float m_projection[16];
    int32_t m_orientation = 0;
    IKVTexture* m_stages[kStageCount] = {nullptr, nullptr, nullptr, nullptr};
    std::vector<float> m_positions;
    std::vector<uint8_t> m_colors;
    std::vector<float> m_uvs;
    std::vector<uint16_t> m_indices;
    bool m_hasBGRA8888 = false;
    bool m_hasPVRTC = false;
    uint32_t m_lastBound = 0;
    uint8_t m_textureFlag = 0;
    uint8_t m_blending = 0;
    // GL's blend switch as last set by ApplyState2D; -1 when unknown (a new
    // frame or context, or another mode in between).
    int8_t m_glBlend = -1;
    bool m_flushDeferred = false;
    bool m_scissorOn = false;
    // GL's scissor test is known to be off (set so by SetScissor this frame).
    bool m_glScissorOff = false;
    KVDeviceRect m_scissor = {0, 0, 0, 0};
    float m_transforms[3][16];
    std::unordered_set<KVGLTexture*> m_textures;
};

} // namespace kvl
