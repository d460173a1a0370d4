#pragma once
// Unit classes for scene tests, standing in for the display, camera, mesh
// and mirror units: each answers what the scene and collision managers ask
// and writes what it is asked into the scene journal (KVSceneJournal.h).
// Layers are the engine's own.
//   "TestQuad"   a drawable 2D unit: a rectangle in one colour, drawn as a
//                quad through the device's 2D interface; its point test is
//                the rectangle (and writes a depth when told to)
//   "Camera"     a camera with a settable viewport, flags, pick ray,
//                projection, position and frustum, entering and leaving the
//                scene's camera list; also a 3D unit with a position
//   "Mesh"       a ray test that hits or misses as told
//   "Mirror"     a 3D unit filed as a mirror
//   "Reflected"  a 3D unit filed as reflected and prepared, with a sphere
#include <cstdint>
#include <vector>

#include "graphics/IKVGraphicDevice.h"
#include "units/IKVUnit3D.h"
#include "units/IKVUnit3DMirror.h"
#include "units/IKVUnitCamera.h"
#include "units/IKVUnitDisplay3D.h"
#include "units/IKVUnitMesh.h"
#include "units/KVSceneManager.h"
#include "units/KVUnit.h"

namespace kvtest {

// Gives the engine's classes "Camera" (unless the engine's own cameras are
// kept), "Mesh" and "Mirror" these units and registers "TestQuad" and
// "Reflected".
void RegisterSceneTestClasses(bool engineCameras = false);

class KVTestQuadUnit : public kvl::KVUnit {
public:
    static kvl::KVUnit* Create() { return new KVTestQuadUnit; }
    void Init() override;
    void Draw() override;
    bool IsPointInside(const kvl::KVScreenPoint& point, float* depth, kvl::IKVUnit* camera) override;

    kvl::KVDeviceRect rect = {0, 0, 0, 0};
    uint32_t color = 0xFFFFFFFFu;
    // Written as the depth of a hit when set.
    bool writesDepth = false;
    float depth = 0.0f;
    // Point tests asked, with the point and camera they got.
    std::vector<kvl::KVScreenPoint> tested;
    kvl::IKVUnit* lastCamera = nullptr;
};

class KVTestCameraUnit : public kvl::KVUnit, public kvl::IKVUnitCamera, public kvl::IKVUnit3D {
public:
    static kvl::KVUnit* Create() { return new KVTestCameraUnit; }
    int32_t QueryInterface(const kvl::KVInterfaceId& id, void** out) override;
    void Close() override;

    const kvl::KV3DVector* GetTarget() override { return &target; }
    void SetTarget(float x, float y, float z) override { target = {x, y, z}; }
    float GetFOV() override { return fov; }
    void SetFOV(float value) override { fov = value; }
    float GetNearClip() override { return nearClip; }
    void SetNearClip(float value) override { nearClip = value; }
    float GetFarClip() override { return farClip; }
    void SetFarClip(float value) override { farClip = value; }
    bool GetOrthogonal() override { return orthogonal; }
    void SetOrthogonal(bool value) override { orthogonal = value; }
    float GetOrthoScale() override { return orthoScale; }
    void SetOrthoScale(float value) override { orthoScale = value; }
    const float* GetViewMatrix() override { return view; }
    const float* GetProjectionMatrix() override { return projection; }
    int32_t GetPickRay(int32_t x, int32_t y, kvl::KVPickRay* out) override;
    const kvl::KVDeviceRect* GetViewport() override { return &viewport; }
    // A rectangle becomes the viewport and the camera's own; null leaves it.
    void SetViewport(const kvl::KVDeviceRect* rect) override;
    bool GetAutoDeactivate() override { return autoDeactivate; }
    void SetAutoDeactivate(bool value) override { autoDeactivate = value; }
    int32_t Project(const kvl::KV3DVector* point, kvl::KVProjectedPoint* out) override;
    const kvl::KV3DFrustum* GetFrustum() override { return &frustum; }
    kvl::KV3DVector* GetPosition() override { return &position; }
    // The rest of the 3D unit face: values kept, no 3D object, no mesh.
    void SetPosition(const kvl::KV3DVector& p) override { position = p; }
    kvl::KV3DVector* GetRotation() override { return &rotation; }
    void SetRotation(const kvl::KV3DVector& r) override { rotation = r; }
    kvl::KV3DVector* GetScale() override { return &scale; }
    void SetScale(const kvl::KV3DVector& s) override { scale = s; }
    void GetWorldMatrix(float* out) override;
    void CopyTransformFrom(kvl::IKVObject3D*) override {}
    int32_t AttachToMesh(kvl::IKVUnit*, const std::string&) override { return 1; }
    void DetachFromMesh() override {}
    kvl::IKVMeshNodes* GetAttachedMesh() override { return nullptr; }
    int32_t SyncFromObject3D() override { return 0; }
    bool IsActive() override { return active; }
    void SetActive(bool on) override;
    void InvalidateAll() override;
    void MarkViewportChanged() override;
    void SetClipRange(float nearValue, float farValue) override;
    void InvalidateScreen() override;
    void UpdateMatrices() override;
    bool HasOwnViewport() override { return ownViewport; }
    bool IsExclusive() override { return exclusive; }
    bool HasAutoClip() override { return autoClip; }

    kvl::KVDeviceRect viewport = {0, 0, 1024, 768};
    bool active = false;
    bool ownViewport = false;
    bool exclusive = false;
    bool autoClip = false;
    bool autoDeactivate = true;
    bool orthogonal = false;
    float orthoScale = 1.0f;
    float fov = 0.7853982f;
    kvl::KV3DVector target;
    float nearClip = 1.0f;
    float farClip = 1000.0f;
    float view[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    float projection[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    kvl::KV3DVector position;
    kvl::KV3DVector rotation;
    kvl::KV3DVector scale{1.0f, 1.0f, 1.0f};
    // What GetFrustum answers, as the test sets it.
    kvl::KV3DFrustum frustum;
    // What GetPickRay answers (origin, far point), whatever the point.
    kvl::KVPickRay ray = {{0, 0, 0}, {0, 0, -1}};
    // Project answers the point's x and y plus this offset.
    kvl::KVScreenPoint projectOffset = {0, 0};
    kvl::KVScreenPoint lastPickPoint = {-1, -1};
    float clipNear = 0.0f;
    float clipFar = 0.0f;
};

class KVTestMeshUnit : public kvl::KVUnit, public kvl::IKVUnitMesh {
public:
    static kvl::KVUnit* Create() { return new KVTestMeshUnit; }
    int32_t QueryInterface(const kvl::KVInterfaceId& id, void** out) override;
    int32_t IntersectRay(const kvl::KV3DVector* origin, const kvl::KV3DVector* direction, kvl::KV3DVector* hit,
                         int32_t* triangle, bool nearest) override;
    const kvl::KV3DMaterial* GetShaderMaterial() override { return nullptr; }

    bool hits = false;
    kvl::KV3DVector hitPoint;
    int32_t tests = 0;
    kvl::KV3DVector lastOrigin;
    kvl::KV3DVector lastDirection;
    bool lastNearest = false;
    bool lastAskedTriangle = true;
};

class KVTestMirrorUnit : public kvl::KVUnit, public kvl::IKVUnit3DMirror {
public:
    static kvl::KVUnit* Create() { return new KVTestMirrorUnit; }
    int32_t QueryInterface(const kvl::KVInterfaceId& id, void** out) override;
    void Init() override;
    void QueryVisible(bool* out, int32_t layerIndex) override;
    int32_t ApplyUnitShader(int32_t pass) override;
    const float* GetPlane() override { return plane; }

    float plane[4] = {0, 0, 1, 0};
    int32_t number = 0;
};

class KVTestReflectedUnit : public kvl::KVUnit, public kvl::IKVUnitDisplay3D {
public:
    static kvl::KVUnit* Create() { return new KVTestReflectedUnit; }
    int32_t QueryInterface(const kvl::KVInterfaceId& id, void** out) override;
    void Init() override;
    void QueryVisible(bool* out, int32_t layerIndex) override;
    void Draw() override;
    int32_t DrawMirrored(const float* plane, int32_t mirror) override;
    int32_t PrepareDraw() override;
    kvl::IKVUnitRef* GetShaderRef() override { return nullptr; }

    kvl::KVDrawItem sphere;
};

} // namespace kvtest
