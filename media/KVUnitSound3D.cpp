// The sound unit in 3D: the listener is the scene's current camera (its
// position and its frustum); the source is the "Locator" 3D unit or the
// unit's own "Position".
#include <cmath>

#include "../kernel/KVCore.h"
#include "../units/IKVSceneManager.h"
#include "../units/IKVUnit3D.h"
#include "../units/IKVUnitCamera.h"
#include "../units/IKVUnitRef.h"
#include "../units/KVUnitFactory.h"
#include "KVUnitSound.h"

namespace kvl {

namespace {

// The speed of sound in scene units per second, before "DopplerFactor".
constexpr float kSoundSpeed = 300.0f;

KV3DVector Sub(const KV3DVector& a, const KV3DVector& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
float Dot(const KV3DVector& a, const KV3DVector& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
KV3DVector Cross(const KV3DVector& a, const KV3DVector& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
KV3DVector Normal(const KV3DPlane& p) { return {p.nx, p.ny, p.nz}; }

// The point on three planes (n·x + d = 0); the origin when they are
// parallel within 1e-8 on the determinant.
KV3DVector Meet(const KV3DPlane& a, const KV3DPlane& b, const KV3DPlane& c) {
    const KV3DVector na = Normal(a), nb = Normal(b), nc = Normal(c);
    const KV3DVector bc = Cross(nb, nc), ca = Cross(nc, na), ab = Cross(na, nb);
    const float det = Dot(na, bc);
    if (!(std::fabs(det) >= 1e-8f)) return {};
    return {-(a.d * bc.x + b.d * ca.x + c.d * ab.x) / det, -(a.d * bc.y + b.d * ca.y + c.d * ab.y) / det,
            -(a.d * bc.z + b.d * ca.z + c.d * ab.z) / det};
}

} // namespace

KV3DVector KVUnitSound::ListenerAxis(const KV3DFrustum& frustum) {
    const KV3DPlane& nearPlane = frustum.planes[KVFRUSTUM_NEAR];
    const KV3DPlane& top = frustum.planes[KVFRUSTUM_TOP];
    const KV3DVector left = Meet(nearPlane, top, frustum.planes[KVFRUSTUM_LEFT]);
    const KV3DVector right = Meet(nearPlane, top, frustum.planes[KVFRUSTUM_RIGHT]);
    const KV3DVector axis = Sub(right, left);
    const float length = std::sqrt(Dot(axis, axis));
    // Both points at the origin (degenerate planes): no side to pan toward.
    if (!(length > 0.0f) || !std::isfinite(length)) return {};
    return {axis.x / length, axis.y / length, axis.z / length};
}

KV3DVector KVUnitSound::SourcePosition() {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    const int32_t index = m_locator ? m_locator->GetIndex() : -1;
    IKVUnit* locator = factory && index != -1 ? factory->GetUnit(index) : nullptr;
    if (locator && factory->IsUnitOfClass(locator, factory->FindClassByName("Unit3D"))) {
        void* face = nullptr;
        if (locator->QueryInterface(IID_IKVUnit3D, &face) == KV_OK && face)
            if (const KV3DVector* position = static_cast<IKVUnit3D*>(face)->GetPosition()) return *position;
    }
    return m_position;
}

void KVUnitSound::Update3D(float dt) {
    IKVSceneManager* scene = QueryCoreInterface<IKVSceneManager>(IID_IKVSceneManager);
    IKVUnit* cameraUnit = scene ? scene->GetCurrentCamera() : nullptr;
    void* cameraFace = nullptr;
    void* placeFace = nullptr;
    if (!IsEnabled() || !m_sound3D || !(m_radius > 0.0f) || !m_sound || !cameraUnit ||
        cameraUnit->QueryInterface(IID_IKVUnitCamera, &cameraFace) != KV_OK || !cameraFace ||
        cameraUnit->QueryInterface(IID_IKVUnit3D, &placeFace) != KV_OK || !placeFace) {
        m_previousValid = 0;
        return;
    }
    const KV3DVector* listenerPosition = static_cast<IKVUnit3D*>(placeFace)->GetPosition();
    const KV3DFrustum* frustum = static_cast<IKVUnitCamera*>(cameraFace)->GetFrustum();
    const KV3DVector listener = listenerPosition ? *listenerPosition : KV3DVector();
    const KV3DVector toSource = Sub(SourcePosition(), listener);
    const float d = std::sqrt(Dot(toSource, toSource));

    const float gain = d <= m_radius ? 1.0f : std::pow(d / m_radius, -0.4f);
    m_sound->SetVolume(gain * m_volume);

    // A source at the listener has no side: centred, not 0 / 0.
    const KV3DVector axis = frustum ? ListenerAxis(*frustum) : KV3DVector();
    float p = d > 0.0f ? Dot(axis, toSource) / d * m_panFactor : 0.0f;
    if (std::isnan(p)) p = 0.0f;
    m_sound->SetPan(p < -1.0f ? -0.01f : p > 1.0f ? 0.01f : p / 100.0f);

    if (dt > 0.0f && m_previousValid) {
        const float speed = kSoundSpeed * m_dopplerFactor;
        const float divisor = speed + (d - m_previousDistance) / dt;
        // Closing at the speed of sound divides by 0: the pitch is left.
        const float pitch = speed / divisor;
        if (divisor != 0.0f && std::isfinite(pitch)) m_sound->SetPitch(pitch);
    }
    m_previousDistance = d;
    m_previousValid = 1;
}

} // namespace kvl
