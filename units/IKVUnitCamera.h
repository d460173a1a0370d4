#pragma once
// The face of a camera unit: its target, field of view, clip distances and
// projection, its matrices, frustum and viewport, the conversions between
// the screen and 3D, and what the scene manager asks of it. The camera unit
// (class "Camera") answers this interface from its QueryInterface.
#include <cstdint>
#include "../graphics/IKVGraphicDevice.h"
#include "../kernel/IKVUnknown.h"
#include "KV3DTypes.h"

namespace kvl {

constexpr KVInterfaceId IID_IKVUnitCamera = MakeId(0x0012F65D, 0x84BA9C88);

// A ray through a screen point: the near point (origin) and a far point.
struct KVPickRay {
    KV3DVector origin;
    KV3DVector far;
};

// The view frustum: the eye, six planes (far, near, left, right, bottom,
// top; normals point out of the volume) and the bounding box.
struct KV3DFrustum {
    KV3DVector eye;
    KV3DPlane planes[6];
    KV3DVector boxMin;
    KV3DVector boxMax;
};
static_assert(sizeof(KV3DFrustum) == 33 * sizeof(float), "the frustum record is 33 floats");

enum KVFrustumPlane : int32_t {
    KVFRUSTUM_FAR = 0,
    KVFRUSTUM_NEAR = 1,
    KVFRUSTUM_LEFT = 2,
    KVFRUSTUM_RIGHT = 3,
    KVFRUSTUM_BOTTOM = 4,
    KVFRUSTUM_TOP = 5,
};

// A 3D point on the screen: game coordinates and depth.
struct KVProjectedPoint {
    int32_t x = 0;
    int32_t y = 0;
    float depth = 0.0f;
};

class IKVUnitCamera : public virtual IKVUnknown {
public:
    // The three Target floats.
    virtual const KV3DVector* GetTarget() = 0;
    virtual void SetTarget(float x, float y, float z) = 0;
    // The full vertical field of view, radians.
    virtual float GetFOV() = 0;
    virtual void SetFOV(float fov) = 0;
    // The "Near clip" and "Far clip" values (not the automatic ones).
    virtual float GetNearClip() = 0;
    virtual void SetNearClip(float nearClip) = 0;
    virtual float GetFarClip() = 0;
    virtual void SetFarClip(float farClip) = 0;
    virtual bool GetOrthogonal() = 0;
    virtual void SetOrthogonal(bool orthogonal) = 0;
    // Scales the render size that an orthographic projection spans.
    virtual float GetOrthoScale() = 0;
    virtual void SetOrthoScale(float scale) = 0;
    // The frustum record, brought up to date first.
    virtual const KV3DFrustum* GetFrustum() = 0;
    // 16 floats, row by row; a point p is seen as p x View (x Projection).
    virtual const float* GetViewMatrix() = 0;
    virtual const float* GetProjectionMatrix() = 0;
    // The ray through a point in game coordinates; 0.
    virtual int32_t GetPickRay(int32_t x, int32_t y, KVPickRay* out) = 0;
    // The viewport in effect, in screen pixels.
    virtual const KVDeviceRect* GetViewport() = 0;
    // A rectangle of the camera's own, or null for the graphic module's.
    virtual void SetViewport(const KVDeviceRect* rect) = 0;
    // Whether another full-screen camera switched on switches this one off.
    virtual bool GetAutoDeactivate() = 0;
    virtual void SetAutoDeactivate(bool autoDeactivate) = 0;
    // The screen position and depth of a world point; 0.
    virtual int32_t Project(const KV3DVector* point, KVProjectedPoint* out) = 0;

    // Operations for the scene manager.
    virtual bool IsActive() = 0;
    // Stores the flag; a change tells the scene manager (OnCameraActivated
    // or RemoveCamera).
    virtual void SetActive(bool active) = 0;
    // Everything is sent to the device again at the next UpdateMatrices.
    virtual void InvalidateAll() = 0;
    virtual void MarkViewportChanged() = 0;
    // The automatic near and far distances.
    virtual void SetClipRange(float nearClip, float farClip) = 0;
    // The screen size changed.
    virtual void InvalidateScreen() = 0;
    // The update before the camera draws.
    virtual void UpdateMatrices() = 0;
    // The viewport came from the camera itself, not from the graphic module.
    virtual bool HasOwnViewport() = 0;
    // Draws only the units that list it in their Cameras.
    virtual bool IsExclusive() = 0;
    virtual bool HasAutoClip() = 0;

protected:
    virtual ~IKVUnitCamera() = default;
};

} // namespace kvl
