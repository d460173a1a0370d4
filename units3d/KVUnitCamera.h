#pragma once
// The camera unit (class "Camera"): the scene's eye. It keeps a viewport
// rectangle, a view matrix from its position, target and up vector, a
// perspective or orthographic projection (right- or left-handed after the
// scene), and a view frustum for picking and for whoever asks. Matrices
// are recomputed lazily; what changed is handed to the 3D device once, in
// the next UpdateMatrices, which the scene manager calls before the camera
// draws.
//
// Split: KVUnitCamera.cpp (state, matrices, frustum, screen conversions),
// KVUnitCameraClass.cpp (class registration and the attribute hooks).
#include <cstdint>

#include "../units/IKVUnitCamera.h"
#include "../units/KVUnit3D.h"

namespace kvl {

class KVUnitCamera : public KVUnit3D, public IKVUnitCamera {
public:
    static constexpr uint64_t kClassId = 0x00316AFAD437A05Cull;
    static constexpr uint64_t kActiveId = 0x003E899A5587FA00ull;
    static constexpr uint64_t kTargetId = 0x0062B7618B0F87A4ull;
    static constexpr uint64_t kFOVId = 0x00001FF904922A98ull;
    static constexpr uint64_t kNearClipId = 0x00673241A2409224ull;
    static constexpr uint64_t kFarClipId = 0x00316CF8DF42B1B4ull;
    static constexpr uint64_t kOrthogonalId = 0x001F34DA3073418Bull;
    static constexpr uint64_t kViewportId = 0x000540698533131Bull;
    static constexpr uint64_t kViewportExclusiveId = 0x00551A4F5F5C2AE4ull;
    static constexpr uint64_t kAutoClipId = 0x006510497F2BF158ull;
    static constexpr uint64_t kUpId = 0x00077482C3ECCD19ull;
    static constexpr uint64_t kAspectRatioId = 0x00160028DD825C71ull;

    static KVUnit* Create() { return new KVUnitCamera; }
    // Registers class "Camera" and its attributes; the class index, or -1.
    static int32_t RegisterClass();
    // The unit object when it is a camera unit, else null (a class may
    // make units of another kind under the name "Camera").
    static KVUnitCamera* FromUnit(IKVUnknown* unit);

    KVUnitCamera();

    // IKVUnknown
    int32_t QueryInterface(const KVInterfaceId& id, void** out) override;

    // KVUnit
    void Init() override;
    void Close() override;

    // KVUnit3D: the eye moved.
    void ApplyPosition() override;
    void ApplyRotation() override;

    // The attributes' change hooks.
    virtual void OnTargetChanged();
    virtual void OnFOVChanged();
    virtual void OnNearClipChanged();
    virtual void OnFarClipChanged();
    virtual void InvalidateProjection();
    virtual void InvalidateView();
    virtual void InvalidateFrustum();
    // Enters the camera into the scene manager's list, or takes it out.
    // A camera is listed (drawn, projecting, picking) only while it is both
    // Active and enabled: disabling it takes it out and leaves Active as it
    // is; enabling an Active camera enters it as activating does, switching
    // off (Active cleared) the other listed auto-deactivating full-screen
    // cameras. So a game switches cameras back and forth by disabling the
    // one and enabling the other; enabling first switches the other off for
    // good, as setting Active would. The enable and disable passes run this
    // hook through the "Active" attribute.
    virtual void NotifyActive();
    virtual void OnOrthogonalChanged();
    virtual void OnOrthoScaleChanged();
    // The "Viewport" attribute when it is a non-empty rectangle, else the
    // graphic module's viewport.
    virtual void ApplyViewportAttribute();
    virtual void OnAutoClipChanged();

    // IKVUnitCamera
    const KV3DVector* GetTarget() override { return &m_target; }
    void SetTarget(float x, float y, float z) override;
    float GetFOV() override { return m_fov; }
    void SetFOV(float fov) override;
    float GetNearClip() override { return m_nearClip; }
    void SetNearClip(float nearClip) override;
    float GetFarClip() override { return m_farClip; }
    void SetFarClip(float farClip) override;
    bool GetOrthogonal() override { return m_orthogonal; }
    void SetOrthogonal(bool orthogonal) override;
    float GetOrthoScale() override { return m_orthoScale; }
    void SetOrthoScale(float scale) override;
    const KV3DFrustum* GetFrustum() override;
    const float* GetViewMatrix() override;
    const float* GetProjectionMatrix() override;
    int32_t GetPickRay(int32_t x, int32_t y, KVPickRay* out) override;
    const KVDeviceRect* GetViewport() override { return &m_viewport; }
    void SetViewport(const KVDeviceRect* rect) override;
    bool GetAutoDeactivate() override { return m_autoDeactivate; }
    void SetAutoDeactivate(bool autoDeactivate) override { m_autoDeactivate = autoDeactivate; }
    int32_t Project(const KV3DVector* point, KVProjectedPoint* out) override;
    bool IsActive() override { return m_active; }
    void SetActive(bool active) override;
    void InvalidateAll() override;
    void MarkViewportChanged() override { m_viewportChanged = true; }
    void SetClipRange(float nearClip, float farClip) override;
    void InvalidateScreen() override;
    void UpdateMatrices() override;
    bool HasOwnViewport() override { return m_customViewport; }
    bool IsExclusive() override { return m_exclusive; }
    bool HasAutoClip() override { return m_autoClip; }

    // The clip distances in use while "AutoClip" is set.
    float GetEffectiveNear() const { return m_effectiveNear; }
    float GetEffectiveFar() const { return m_effectiveFar; }
    bool IsFullScreen() const { return m_fullScreen; }

protected:
    ~KVUnitCamera() override;

private:
    void UpdateView();
    void UpdateProjection();
    void UpdateFrustum();
    // View × Projection, for projecting and for the frustum.
    void UpdateCombined();
    // The graphic module's viewport (the whole screen without one).
    KVDeviceRect GraphicViewport();
    void ComputeFullScreen();
    // The rectangle in effect moved from `before`: a projection whose
    // aspect comes from it is stale.
    void OnViewportMoved(const KVDeviceRect& before);
    // The game area of the graphic module: width, height.
    void GameSize(float* width, float* height);

    // Attributes.
    bool m_active = false;
    KV3DVector m_target;
    float m_fov = 0.7853982f;
    float m_nearClip = 1.0f;
    float m_farClip = 1000.0f;
    bool m_orthogonal = false;
    KVDeviceRect m_viewportAttribute = {0, 0, 0, 0};
    bool m_exclusive = false;
    bool m_autoClip = false;
    KV3DVector m_up{0.0f, 1.0f, 0.0f};
    // 0: the perspective takes the shape of the camera's own viewport (the
    // rectangle in effect), not of whatever the device holds when the
    // projection is made; a change of that shape remakes it.
    float m_aspectRatio = 0.0f;

    float m_effectiveNear = 1.0f;
    float m_effectiveFar = 1000.0f;
    float m_projection[16];
    float m_view[16];
    float m_viewProjection[16];
    bool m_combinedStale = false;
    KV3DFrustum m_frustum;
    float m_orthoScale = 1.0f;
    KVDeviceRect m_viewport = {0, 0, 0, 0};
    bool m_autoDeactivate = true;
    bool m_fullScreen = false;
    bool m_customViewport = false;
    // What must go to the device.
    bool m_projectionChanged = false;
    bool m_viewChanged = false;
    bool m_viewportChanged = false;
    // What must be recomputed.
    bool m_viewStale = false;
    bool m_projectionStale = false;
    bool m_frustumStale = false;
    IKVGraphicDevice3D* m_device = nullptr;
    // The graphic module's game width and height (kept up to date by the
    // module), looked up at each Init.
    const int32_t* m_gameArea = nullptr;
};

} // namespace kvl
