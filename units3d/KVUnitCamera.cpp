#include "KVUnitCamera.h"

#include <cmath>
#include <cstdint>

#include "../graphics/IKVGraphic.h"
#include "../graphics/IKVGraphicDevice3D.h"
#include "../graphics/IKVGraphicViewport.h"
#include "../kernel/KVCore.h"
#include "../units/KV3DMath.h"
#include "../units/KVSceneManager.h"

namespace kvl {

namespace {

// Answered with the camera object itself; this engine's own id.
constexpr KVInterfaceId kCameraObjectId = MakeId(0x00316AFA, 0x5C0B7E01);

KV3DVector Sub(const KV3DVector& a, const KV3DVector& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
KV3DVector Add(const KV3DVector& a, const KV3DVector& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
KV3DVector Scale(const KV3DVector& a, float k) { return {a.x * k, a.y * k, a.z * k}; }
float Dot(const KV3DVector& a, const KV3DVector& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
KV3DVector Cross(const KV3DVector& a, const KV3DVector& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
KV3DVector Normalise(const KV3DVector& a) { return Scale(a, 1.0f / std::sqrt(Dot(a, a))); }
KV3DVector NormalOf(const KV3DPlane& p) { return {p.nx, p.ny, p.nz}; }

// Toward zero, held to the integer range; not a number gives 0.
inline int32_t Truncate(float v) {
    if (v > -2147483648.0f && v < 2147483648.0f) return int32_t(v);
    return v >= 2147483648.0f ? INT32_MAX : v <= -2147483648.0f ? INT32_MIN : 0;
}

bool SameRect(const KVDeviceRect& a, const KVDeviceRect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// (x, y, z, w) × m, row vectors, m stored row by row.
void RowTimes(const float in[4], const float m[16], float out[4]) {
    for (int c = 0; c < 4; ++c) out[c] = in[0] * m[c] + in[1] * m[4 + c] + in[2] * m[8 + c] + in[3] * m[12 + c];
}

// The plane of a 4-vector (e, f, g, h): {h, e, f, g} over |(e, f, g)|.
KV3DPlane PlaneOf(float e, float f, float g, float h) {
    const float length = std::sqrt(e * e + f * f + g * g);
    return {h / length, e / length, f / length, g / length};
}

// The point on three planes: the line where the first two meet, cut by the
// third. Parallel planes (or values that are not numbers) give the origin.
KV3DVector Corner(const KV3DPlane& pa, const KV3DPlane& pb, const KV3DPlane& pc) {
    const KV3DVector a = NormalOf(pa), b = NormalOf(pb), c = NormalOf(pc);
    const float ab = Dot(a, b), aa = Dot(a, a), bb = Dot(b, b);
    const float k = aa * bb - ab * ab;
    if (!(std::fabs(k) >= 1e-8f)) return {};
    const float ka = (ab * pb.d - bb * pa.d) / k;
    const float kb = (ab * pa.d - aa * pb.d) / k;
    const KV3DVector line = Add(Scale(a, ka), Scale(b, kb));
    const KV3DVector u = Cross(a, b);
    const float cu = Dot(c, u);
    if (!(cu != 0.0f)) return {};
    const float t = -(Dot(c, line) + pc.d) / cu;
    return Add(line, Scale(u, t));
}

} // namespace

KVUnitCamera::KVUnitCamera() {
    KV3DMath::Identity(m_projection);
    KV3DMath::Identity(m_view);
    KV3DMath::Identity(m_viewProjection);
    for (KV3DPlane& plane : m_frustum.planes) plane = {-0.0f, 0.0f, 1.0f, 0.0f};
    m_frustum.boxMin = {-1.0f, -1.0f, -1.0f};
    m_frustum.boxMax = {1.0f, 1.0f, 1.0f};
}

KVUnitCamera::~KVUnitCamera() = default;

KVUnitCamera* KVUnitCamera::FromUnit(IKVUnknown* unit) {
    void* self = nullptr;
    if (!unit || unit->QueryInterface(kCameraObjectId, &self) != KV_OK) return nullptr;
    return static_cast<KVUnitCamera*>(self);
}

int32_t KVUnitCamera::QueryInterface(const KVInterfaceId& id, void** out) {
    if (id == kCameraObjectId) return AnswerInterface(this, out);
    if (id == IID_IKVUnitCamera) return AnswerInterface(static_cast<IKVUnitCamera*>(this), out);
    return KVUnit3D::QueryInterface(id, out);
}

void KVUnitCamera::Init() {
    KVUnit3D::Init();
    IKVGraphic* graphic = GetGraphicModule();
    m_gameArea = graphic ? graphic->GetGameArea() : nullptr;
    m_device = GetDevice3D();
    if (!m_device) return;
    m_active = false;
    m_target = KV3DVector();
    m_fov = 0.7853982f;
    m_nearClip = 1.0f;
    m_farClip = 1000.0f;
    m_orthogonal = false;
    m_viewportAttribute = {0, 0, 0, 0};
    m_exclusive = false;
    m_autoClip = false;
    m_up = {0.0f, 1.0f, 0.0f};
    m_aspectRatio = 0.0f;
    m_effectiveNear = 1.0f;
    m_effectiveFar = 1000.0f;
    m_orthoScale = 1.0f;
    m_autoDeactivate = true;
    m_customViewport = false;
    m_projectionChanged = m_viewChanged = m_viewportChanged = false;
    m_viewStale = m_projectionStale = m_frustumStale = false;
    m_viewport = GraphicViewport();
    ComputeFullScreen();
}

void KVUnitCamera::Close() {
    if (KVSceneManager* scene = KVSceneManager::Instance()) scene->RemoveCamera(this);
    KVUnit3D::Close();
}

void KVUnitCamera::ApplyPosition() {
    KVUnit3D::ApplyPosition();
    m_viewStale = m_frustumStale = true;
}

void KVUnitCamera::ApplyRotation() {
    KVUnit3D::ApplyRotation();
    m_viewStale = m_frustumStale = true;
}

// Change hooks.

void KVUnitCamera::OnTargetChanged() { m_viewStale = m_frustumStale = true; }

void KVUnitCamera::OnFOVChanged() { m_projectionStale = m_frustumStale = true; }

void KVUnitCamera::OnNearClipChanged() {
    m_effectiveNear = m_nearClip;
    m_projectionStale = m_frustumStale = true;
}

void KVUnitCamera::OnFarClipChanged() {
    m_effectiveFar = m_farClip;
    m_projectionStale = m_frustumStale = true;
}

void KVUnitCamera::InvalidateProjection() { m_projectionStale = m_frustumStale = true; }

void KVUnitCamera::InvalidateView() { m_viewStale = true; }

void KVUnitCamera::InvalidateFrustum() { m_frustumStale = true; }

void KVUnitCamera::NotifyActive() {
    KVSceneManager* scene = KVSceneManager::Instance();
    if (!scene) return;
    if (m_active && IsEnabled())
        scene->OnCameraActivated(this);
    else
        scene->RemoveCamera(this);
}

void KVUnitCamera::OnOrthogonalChanged() { m_projectionStale = m_frustumStale = true; }

void KVUnitCamera::OnOrthoScaleChanged() { m_projectionStale = m_frustumStale = true; }

void KVUnitCamera::ApplyViewportAttribute() {
    const KVDeviceRect& r = m_viewportAttribute;
    SetViewport(r.left < r.right && r.top < r.bottom ? &r : nullptr);
}

void KVUnitCamera::OnAutoClipChanged() {
    if (m_autoClip) m_projectionStale = true;
}

// IKVUnitCamera.

void KVUnitCamera::SetTarget(float x, float y, float z) {
    m_target = {x, y, z};
    OnTargetChanged();
}

void KVUnitCamera::SetFOV(float fov) {
    m_fov = fov;
    OnFOVChanged();
}

void KVUnitCamera::SetNearClip(float nearClip) {
    m_nearClip = nearClip;
    OnNearClipChanged();
}

void KVUnitCamera::SetFarClip(float farClip) {
    m_farClip = farClip;
    OnFarClipChanged();
}

void KVUnitCamera::SetOrthogonal(bool orthogonal) {
    m_orthogonal = orthogonal;
    OnOrthogonalChanged();
}

void KVUnitCamera::SetOrthoScale(float scale) {
    m_orthoScale = scale;
    OnOrthoScaleChanged();
}

const KV3DFrustum* KVUnitCamera::GetFrustum() {
    UpdateFrustum();
    return &m_frustum;
}

const float* KVUnitCamera::GetViewMatrix() {
    UpdateView();
    return m_view;
}

const float* KVUnitCamera::GetProjectionMatrix() {
    UpdateProjection();
    return m_projection;
}

void KVUnitCamera::SetViewport(const KVDeviceRect* rect) {
    m_viewportChanged = true;
    const KVDeviceRect before = m_viewport;
    if (rect) {
        m_viewport = *rect;
        m_customViewport = true;
    } else {
        m_customViewport = false;
        m_viewport = GraphicViewport();
    }
    ComputeFullScreen();
    OnViewportMoved(before);
}

void KVUnitCamera::SetActive(bool active) {
    if (active == m_active) return;
    m_active = active;
    NotifyActive();
}

void KVUnitCamera::InvalidateAll() { m_projectionChanged = m_viewChanged = m_viewportChanged = true; }

void KVUnitCamera::SetClipRange(float nearClip, float farClip) {
    m_effectiveNear = nearClip;
    m_effectiveFar = farClip;
    m_projectionStale = m_frustumStale = true;
}

void KVUnitCamera::InvalidateScreen() {
    if (m_fullScreen) {
        m_viewport = GraphicViewport();
        m_customViewport = false;
        ComputeFullScreen();
    }
    m_viewStale = m_projectionStale = m_frustumStale = true;
}

void KVUnitCamera::UpdateMatrices() {
    UpdateView();
    UpdateProjection();
    if (!m_customViewport) {
        const KVDeviceRect graphic = GraphicViewport();
        if (!SameRect(graphic, m_viewport)) {
            const KVDeviceRect before = m_viewport;
            m_viewport = graphic;
            ComputeFullScreen();
            m_viewportChanged = true;
            OnViewportMoved(before);
            UpdateProjection();
        }
    }
    if (m_device) {
        if (m_projectionChanged) {
            if (m_orthogonal)
                m_device->SetTransform(2, m_projection);
            else
                m_device->SetPerspective(m_fov, m_nearClip, m_farClip);
        }
        if (m_viewChanged) m_device->SetTransform(0, m_view);
        if (m_viewportChanged) m_device->SetViewport(&m_viewport);
    }
    m_projectionChanged = m_viewChanged = m_viewportChanged = false;
}

// Matrices and frustum.

void KVUnitCamera::UpdateView() {
    if (!m_viewStale) return;
    const KV3DVector& eye = m_position;
    bool rightHanded = true;
    if (KVSceneManager* scene = KVSceneManager::Instance()) rightHanded = scene->IsRightHanded();
    const KV3DVector z = Normalise(rightHanded ? Sub(eye, m_target) : Sub(m_target, eye));
    const KV3DVector x = Normalise(Cross(m_up, z));
    const KV3DVector y = Cross(z, x);
    const float view[16] = {x.x,          y.x,          z.x,          0.0f, x.y, y.y, z.y, 0.0f,
                            x.z,          y.z,          z.z,          0.0f,
                            -Dot(x, eye), -Dot(y, eye), -Dot(z, eye), 1.0f};
    for (int i = 0; i < 16; ++i) m_view[i] = view[i];
    m_viewStale = false;
    m_viewChanged = true;
    // The frustum and the combined matrix are made of the view.
    m_frustumStale = m_combinedStale = true;
}

void KVUnitCamera::UpdateProjection() {
    if (!m_projectionStale) return;
    const float n = m_autoClip ? m_effectiveNear : m_nearClip;
    const float f = m_autoClip ? m_effectiveFar : m_farClip;
    bool rightHanded = true;
    if (KVSceneManager* scene = KVSceneManager::Instance()) rightHanded = scene->IsRightHanded();
    float* m = m_projection;
    for (int i = 0; i < 16; ++i) m[i] = 0.0f;
    if (m_orthogonal) {
        const KVDisplayMode* screen = m_device ? m_device->GetScreenSize() : nullptr;
        const float w = (screen ? float(uint32_t(screen->drawingWidth)) : 0.0f) * m_orthoScale;
        const float h = (screen ? float(uint32_t(screen->drawingHeight)) : 0.0f) * m_orthoScale;
        m[0] = 2.0f / w;
        m[5] = 2.0f / h;
        m[10] = rightHanded ? 1.0f / (n - f) : 1.0f / (f - n);
        m[14] = n / (n - f);
        // 1 for either hand: -1 would put every point at w = -1 and turn
        // the frustum planes and pick rays inside out.
        m[15] = 1.0f;
    } else {
        // The camera's own viewport, the one the device takes when the
        // camera draws: when the projection is made the device may still
        // hold another (the whole screen the frame was cleared with).
        float aspect = m_aspectRatio;
        if (aspect == 0.0f) {
            const KVDeviceRect& v = m_viewport;
            aspect = float(int64_t(v.right) - v.left) / float(int64_t(v.bottom) - v.top);
        }
        // An empty viewport has no shape: square.
        if (!std::isfinite(aspect) || aspect == 0.0f) aspect = 1.0f;
        const float y = float(1.0 / std::tan(double(m_fov) / 2.0));
        m[0] = y / aspect;
        m[5] = y;
        if (rightHanded) {
            m[10] = f / (n - f);
            m[11] = -1.0f;
            m[14] = n * f / (n - f);
        } else {
            m[10] = f / (f - n);
            m[11] = 1.0f;
            m[14] = -n * f / (f - n);
        }
    }
    m_projectionStale = false;
    m_projectionChanged = true;
    // The frustum and the combined matrix are made of the projection.
    m_frustumStale = m_combinedStale = true;
}

void KVUnitCamera::UpdateCombined() {
    // View × Projection with row vectors is Projection × View in column terms.
    KV3DMath::Multiply(m_projection, m_view, m_viewProjection);
    m_combinedStale = false;
}

void KVUnitCamera::UpdateFrustum() {
    UpdateView();
    UpdateProjection();
    if (!m_frustumStale) return;
    if (m_combinedStale) UpdateCombined();
    const float* m = m_viewProjection;
    // Column j of m as a 4-vector over its rows.
    auto col = [m](int j, int r) { return m[4 * r + j]; };
    auto plane = [&](float s, int a, float t, int b) {
        return PlaneOf(s * col(a, 0) + t * col(b, 0), s * col(a, 1) + t * col(b, 1), s * col(a, 2) + t * col(b, 2),
                       s * col(a, 3) + t * col(b, 3));
    };
    KV3DPlane* p = m_frustum.planes;
    p[KVFRUSTUM_FAR] = plane(1.0f, 2, -1.0f, 3);
    p[KVFRUSTUM_NEAR] = plane(-1.0f, 2, 0.0f, 3);
    p[KVFRUSTUM_LEFT] = plane(-1.0f, 0, -1.0f, 3);
    p[KVFRUSTUM_RIGHT] = plane(1.0f, 0, -1.0f, 3);
    p[KVFRUSTUM_BOTTOM] = plane(-1.0f, 1, -1.0f, 3);
    p[KVFRUSTUM_TOP] = plane(1.0f, 1, -1.0f, 3);
    m_frustum.eye = m_position;
    const KV3DVector corners[4] = {
        Corner(p[KVFRUSTUM_FAR], p[KVFRUSTUM_TOP], p[KVFRUSTUM_LEFT]),
        Corner(p[KVFRUSTUM_FAR], p[KVFRUSTUM_TOP], p[KVFRUSTUM_RIGHT]),
        Corner(p[KVFRUSTUM_FAR], p[KVFRUSTUM_BOTTOM], p[KVFRUSTUM_LEFT]),
        Corner(p[KVFRUSTUM_FAR], p[KVFRUSTUM_BOTTOM], p[KVFRUSTUM_RIGHT]),
    };
    KV3DVector low = m_frustum.eye, high = m_frustum.eye;
    for (const KV3DVector& c : corners) {
        low = {std::fmin(low.x, c.x), std::fmin(low.y, c.y), std::fmin(low.z, c.z)};
        high = {std::fmax(high.x, c.x), std::fmax(high.y, c.y), std::fmax(high.z, c.z)};
    }
    m_frustum.boxMin = low;
    m_frustum.boxMax = high;
    m_frustumStale = false;
}

// Screen conversions.

int32_t KVUnitCamera::Project(const KV3DVector* point, KVProjectedPoint* out) {
    if (m_viewStale) UpdateView();
    if (m_projectionStale) UpdateProjection();
    if (!point || !out) return KV_OK;
    if (m_combinedStale) UpdateCombined();
    const float p[4] = {point->x, point->y, point->z, 1.0f};
    float q[4];
    RowTimes(p, m_viewProjection, q);
    const float s = q[3] == 0.0f ? 1.0f : std::fabs(1.0f / q[3]);
    float width = 0.0f, height = 0.0f;
    GameSize(&width, &height);
    out->x = Truncate(width * (1.0f + s * q[0]) / 2.0f + 0.5f);
    out->y = Truncate(height * (1.0f - s * q[1]) / 2.0f + 0.5f);
    out->depth = s * q[2];
    return KV_OK;
}

int32_t KVUnitCamera::GetPickRay(int32_t x, int32_t y, KVPickRay* out) {
    UpdateFrustum();
    if (!out) return KV_OK;
    float width = 0.0f, height = 0.0f;
    GameSize(&width, &height);
    const float u = float(x) / width, v = float(y) / height;
    const KV3DPlane* p = m_frustum.planes;
    const KV3DVector a = Corner(p[KVFRUSTUM_FAR], p[KVFRUSTUM_TOP], p[KVFRUSTUM_LEFT]);
    const KV3DVector b = Corner(p[KVFRUSTUM_FAR], p[KVFRUSTUM_TOP], p[KVFRUSTUM_RIGHT]);
    const KV3DVector d = Corner(p[KVFRUSTUM_FAR], p[KVFRUSTUM_BOTTOM], p[KVFRUSTUM_LEFT]);
    const KV3DVector across = Sub(b, a), down = Sub(d, a);
    out->far = Add(a, Add(Scale(across, u), Scale(down, v)));
    out->origin = m_frustum.eye;
    if (m_orthogonal)
        out->origin = Add(out->origin, Add(Scale(across, u - 0.5f), Scale(down, v - 0.5f)));
    return KV_OK;
}

// Viewport.

KVDeviceRect KVUnitCamera::GraphicViewport() {
    IKVGraphicViewport* graphic = QueryCoreInterface<IKVGraphicViewport>(IID_IKVGraphicViewport);
    const KVDeviceRect* viewport = graphic ? graphic->GetCurrentViewport() : nullptr;
    if (viewport) return *viewport;
    const KVDisplayMode* screen = m_device ? m_device->GetScreenSize() : nullptr;
    return screen ? KVDeviceRect{0, 0, screen->width, screen->height} : KVDeviceRect{0, 0, 0, 0};
}

void KVUnitCamera::OnViewportMoved(const KVDeviceRect& before) {
    if (m_aspectRatio == 0.0f && !m_orthogonal && !SameRect(before, m_viewport))
        m_projectionStale = m_frustumStale = true;
}

void KVUnitCamera::ComputeFullScreen() {
    const KVDisplayMode* screen = m_device ? m_device->GetScreenSize() : nullptr;
    m_fullScreen = screen && m_viewport.left == 0 && m_viewport.top == 0 && m_viewport.right == screen->width &&
                   m_viewport.bottom == screen->height;
}

void KVUnitCamera::GameSize(float* width, float* height) {
    *width = m_gameArea ? float(m_gameArea[0]) : 0.0f;
    *height = m_gameArea ? float(m_gameArea[1]) : 0.0f;
}

} // namespace kvl
