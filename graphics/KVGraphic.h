#pragma once
// The graphic module: stands between the units and the graphic device. It
// creates textures (from files, texture paks and in memory), binds them to
// texture stages, turns picture records and flat shapes into vertex fans
// for the device's 2D batch, and keeps the 2D transform that maps game
// coordinates to device pixels (2D scale, screen rectangle, view matrix).
// It also keeps the display mode and default viewport that scripts change
// through the "KVGraphic" library, the "Viewport" properties, and the
// resource-resolution table. Split by responsibility:
//   KVGraphic.cpp             phases, properties, textures, viewport
//   KVGraphicDraw.cpp         stages, draw state, pictures, glyphs, shapes
//   KVGraphicTransform.cpp    2D transform, scissor, points, offset, target
//   KVGraphicResolutions.cpp  resource resolutions
//   KVGraphicLib.cpp          the "KVGraphic" script functions
#include <cstdint>
#include <string>
#include <vector>
#include "../kernel/IKVModule.h"
#include "../kernel/IKVProperties.h"
#include "../kernel/KVLuaLibrary.h"
#include "../kernel/Singleton.h"
#include "IKVGraphic.h"
#include "IKVGraphicDevice.h"
#include "IKVGraphicDevice3D.h"
#include "IKVGraphicViewport.h"

namespace kvl {

class KVResourceTexture;

// A set of pictures for another screen size, in a folder mirroring the data
// tree.
struct KVResourceResolution {
    uint32_t width = 0;
    uint32_t height = 0;
    std::string folder;  // ends with "/"
    float scaleX = 1.0f;  // texture pixels per game unit
    float scaleY = 1.0f;
};

class KVGraphic : public Singleton<KVGraphic>,
                  public IKVModule,
                  public KVLuaLibrary,
                  public IKVGraphic,
                  public IKVPropertyUpdater,
                  public IKVGraphicViewport {
public:
    static constexpr int32_t kStageCount = KVGRAPHIC_STAGE_COUNT;
    // Property ids of the "Viewport" group.
    static constexpr uint64_t kScale2DXId = 0x004514315AA8F674ull;
    static constexpr uint64_t kScale2DYId = 0x00171EDE5D5BBE61ull;
    static constexpr uint64_t kForcePow2Id = 0x0014F45FA2963349ull;
    static constexpr uint64_t kGameWidthId = 0x002B40BDA0CB6DF8ull;
    static constexpr uint64_t kGameHeightId = 0x0015F4CDC8C04968ull;

    // The newest module is the one GetGraphicModule answers, as with
    // Instance.
    KVGraphic();
    ~KVGraphic() override;

    // Answers IKVGraphic (and the viewport the scene manager reads).
    int32_t QueryInterface(const KVInterfaceId& id, void** out) override;
    // 0: texture producer and paks; 1: the script library; 2: the device,
    // the properties, the transform, the initial mode and the paks.
    int32_t Init(int32_t phase) override;
    // 1: the initial display mode comes back; 4: paks and producer end, and
    // the device (which goes next) is forgotten.
    int32_t Release(int32_t phase) override;
    int32_t GetLuaFunctions(const KVLuaFunctionEntry** out) override;

    // IKVGraphic
    int32_t CreateTexture(const KVDeviceSize& size, uint32_t format, IKVResourceTexture** out,
                          uint32_t flags) override;
    int32_t CreateTextureFromFile(const char* name, IKVResourceLoadContext* context, IKVResourceTexture** out,
                                  uint32_t flags) override;
    int32_t SetTextureStage(int32_t stage, IKVResourceTexture* texture) override;
    int32_t ResetTextureStages() override;
    int32_t Set2DTransform(const float* scale, bool autoFit) override;
    int32_t* GetOffset2DRef() override { return m_offset2D; }
    int32_t SetOffset2D(const int32_t* pair) override;
    int32_t SetRenderTarget(IKVResourceTexture* target) override;
    int32_t ResetViewportFromDevice() override;
    int32_t DrawLine2D(const KVIntPoint& start, const KVIntPoint& end, uint32_t color) override;
    int32_t FillRect(const KVDeviceRect* rect, const uint32_t* colors, int32_t mode) override;
    int32_t FillTriangle(const KVFloatPoint* corners, uint32_t color) override;
    int32_t SetViewTransform(const float* matrix) override;
    int32_t SetDrawState(const KVDrawState* state, uint32_t flags) override;
    int32_t EndDraw() override;
    int32_t DrawImage(const ImageDrawRecord* record) override;
    int32_t DrawGlyph(const ImageDrawRecord* record, int32_t index) override;
    int32_t EmitQuad(const ImageDrawRecord* record, const KVFloatPoint& position, const KVFloatRect& source,
                     const KVDeviceSize& textureSize) override;
    int32_t SetScissor(const KVDeviceRect* rect) override;
    int32_t PointToGame(KVIntPoint* out, int32_t x, int32_t y) override;
    void ForgetTextureStages() override;
    void DetachTexture(IKVResourceTexture* texture) override;
    const float* GetEffectiveScale() override { return m_effectiveScale; }
    const int32_t* GetGameArea() override { return m_gameArea; }
    const KVDeviceRect* GetGameRect() override { return &m_gameRect; }
    IKVGraphicDevice2D* GetDevice2D() override { return m_device; }

    // IKVPropertyUpdater: a "Viewport" property changed.
    void OnPropertyChanged(PropertyRecord* record) override;
    // Set2DTransform with the Scale2D properties and auto-fit.
    void Reapply2DTransform();

    // IKVGraphicViewport: the default viewport as a rectangle.
    const KVDeviceRect* GetCurrentViewport() override { return &m_viewportRect; }

    // Resource resolutions. 1 (nothing registered) while the game
    // resolution is not defined.
    int32_t RegisterResourceResolution(uint32_t width, uint32_t height, const std::string& folder);
    const std::vector<KVResourceResolution>& GetResolutions() const { return m_resolutions; }
    // Table indices tried in order, nearest to the screen first.
    const std::vector<int32_t>& GetCandidates() const { return m_candidates; }
    // Texture pixels per game unit of a table entry; (1, 1) for -1.
    void GetPixelScale(int32_t index, float scale[2]) const;
    // The pixel scale of the texture's resolution; (1, 1) without one.
    void GetResolutionScale(IKVResourceTexture* texture, float scale[2]) const;
    // The name with the folder of candidate k inserted after the data root;
    // false when the name does not lie under the data root.
    bool MakeVariant(const std::string& name, size_t k, std::string* out) const;

    // The core's resource manager, or the one that lives without a core.
    static IKVResourceManager* ResourceManager();

    // The device (and its 3D face when it has one), and whether texture
    // sizes must be powers of two (the device needs them or ForcePow2 is on).
    void SetDevice(IKVGraphicDevice2D* device);
    IKVGraphicDevice3D* GetDevice3D() const { return m_device3D; }
    bool UsesPowerOfTwoRule() const { return m_devicePow2 || m_forcePow2; }
    void SetForcePow2(bool on) { m_forcePow2 = on; }
    // GameWidth and GameHeight: the game's design resolution (0: none).
    void SetGameResolution(int32_t width, int32_t height) {
        m_gameWidth = width;
        m_gameHeight = height;
    }
    int32_t GetGameWidth() const { return m_gameWidth; }
    int32_t GetGameHeight() const { return m_gameHeight; }
    // The screen size used while there is no device.
    void SetScreenSize(int32_t width, int32_t height);

    // Screen rectangle in game units; it counts as set when it is not empty.
    void SetScreenRect(float left, float top, float right, float bottom);
    const float* GetScreenRect() const { return m_screenRect; }
    bool HasScreenRect() const { return m_screenRect[0] < m_screenRect[2] && m_screenRect[1] < m_screenRect[3]; }
    bool IsScalingOn() const { return m_scalingOn; }
    bool IsBatching() const { return m_batch; }
    const float* GetScale2DProperty() const { return m_scale2D; }
    // The last view matrix, as scaled for the device.
    const float* GetViewMatrix() const { return m_viewMatrix; }
    const float* GetResolutionScaleOfStages() const { return m_resolutionScale; }
    IKVResourceTexture* GetRenderTarget() const { return m_renderTarget; }

    // Default viewport {x, y, width, height}; whether it follows the screen.
    const int32_t* GetDefaultViewport() const { return m_defaultViewport; }
    void SetDefaultViewport(int32_t x, int32_t y, int32_t width, int32_t height);
    // The whole screen, following it again.
    void ResetViewport();
    bool ViewportFollowsScreen() const { return m_viewportFollows; }
    const KVDisplayMode& GetInitialMode() const { return m_initialMode; }
    // SetScreenMode of the script library: 0 when the device took the mode.
    int32_t ApplyDisplayMode(const KVDisplayMode& mode);
    // The device's current display mode (the no-device screen without one).
    const KVDisplayMode* GetScreenMode();

    // The texture remembered for a stage (textures are not retained).
    IKVResourceTexture* GetStageTexture(int32_t stage) const {
        return stage >= 0 && stage < kStageCount ? m_stages[stage] : nullptr;
    }
    bool IsStageTouched(int32_t stage) const {
        return stage >= 0 && stage < kStageCount && (m_touchedStages >> stage) & 1u;
    }
    IKVResourceTexture* GetGlyphPage() const { return m_glyphPage; }
    int32_t GetForgetTextureStagesCalls() const { return m_forgetTextureStagesCalls; }

private:
    void RebuildCandidates();
    // One load through the resource manager; the texture or null.
    int32_t LoadAttempt(const std::string& name, IKVResourceLoadContext* context, IKVResourceTexture** out);
    void EndTextureModules();
    void DeclareProperties();
    // Game area and game rectangle from the screen and the effective scale.
    void UpdateGameArea();
    // SetTextureStage when the stage's texture changes or lost the unit;
    // kept apart so that the common call (nothing to do) stays short.
    [[gnu::noinline]] void BindStage(int32_t stage, IKVResourceTexture* texture);
    // SetScissor of a rectangle while scaling is on, apart so that the
    // scissor switched off sprite after sprite stays a short call.
    [[gnu::noinline]] int32_t SetScaledScissor(const KVDeviceRect& rect);
    // ResetTextureStages' unbinding of the stages of a bit set, in order.
    [[gnu::noinline]] void UnbindStages(uint32_t stages);
    // EmitQuad once the device and the record are known to be there.
    int32_t PushQuad(uint32_t color, const KVFloatPoint& position, const KVFloatRect& source,
                     const KVDeviceSize& textureSize);
    // The multi-frame part of DrawImage.
    void DrawFrames(const ImageDrawRecord* record, KVResourceTexture* texture, const KVFloatPoint& position,
                    const int64_t rect[4], const float pixelScale[2], bool hasResolution);
    // The viewport whose camera holds the device point, or the fallback.
    KVDeviceRect ViewportAt(int32_t x, int32_t y);

    IKVGraphicDevice2D* m_device = nullptr;
    IKVGraphicDevice3D* m_device3D = nullptr;
    bool m_devicePow2 = false;
    bool m_forcePow2 = false;
    int32_t m_gameWidth = 0;
    int32_t m_gameHeight = 0;
    KVDisplayMode m_noDeviceMode;
    std::vector<KVResourceResolution> m_resolutions;
    std::vector<int32_t> m_candidates;
    bool m_ownsTextureModules = false;
    int32_t m_forgetTextureStagesCalls = 0;

    // Drawing state.
    IKVResourceTexture* m_stages[kStageCount] = {};
    KVResourceTexture* m_stageResources[kStageCount] = {};
    // Bit per stage: set since the last reset; holding a texture. A draw
    // sets stage 0 only, so the reset looks at no stage one by one.
    uint32_t m_touchedStages = 0;
    uint32_t m_heldStages = 0;
    // The stage whose texture the device bound last (-1: none). The device
    // may bind every stage to one texture unit, so a stage's remembered
    // texture is on screen only while its stage is this one.
    int32_t m_boundStage = -1;
    float m_resolutionScale[2] = {1.0f, 1.0f};
    IKVResourceTexture* m_glyphPage = nullptr;
    bool m_batch = false;
    IKVResourceTexture* m_renderTarget = nullptr;
    float m_viewMatrix[6] = {1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f};
    // The view matrix as the device takes it (16 floats, column-major).
    float m_deviceView[16] = {1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f,
                              0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f};
    float m_scale2D[2] = {1.0f, 1.0f};
    float m_effectiveScale[2] = {1.0f, 1.0f};
    bool m_scalingOn = false;
    float m_screenRect[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    int32_t m_gameArea[2] = {0, 0};
    KVDeviceRect m_gameRect = {0, 0, 0, 0};
    int32_t m_offset2D[2] = {0, 0};

    // Set-up and viewport.
    int32_t m_defaultViewport[4] = {0, 0, 0, 0};
    KVDeviceRect m_viewportRect = {0, 0, 0, 0};
    bool m_viewportFollows = true;
    KVDisplayMode m_initialMode;
    bool m_propertiesDeclared = false;
};

} // namespace kvl
