#include "KVSceneTestUnits.h"

#include <string>

#include "KVSceneJournal.h"
#include "kernel/KVCore.h"
#include "units/KV3DMath.h"
#include "units/KVUnitFactory.h"

namespace kvtest {

using namespace kvl;

namespace {

// The engine's own class of that name makes the test's units (its real
// units are not built here); a class the engine lacks is registered.
void Register(KVUnitFactory* factory, const char* name, uint64_t id, KVUnitCreateFunction create) {
    if (KVUnitClass* record = factory->GetClass(factory->FindClassByName(name))) {
        record->create = create;
        return;
    }
    KVUnitClassDesc desc;
    desc.name = name;
    desc.id = id;
    desc.create = create;
    desc.baseClass = KVUnit::GetUnitClassIndex();
    int32_t index = -1;
    factory->RegisterClass(desc, &index);
}

// Answers the id with the face when it matches, else as the unit does.
template <class Face>
int32_t Answer(KVUnit* unit, Face* face, const KVInterfaceId& wanted, const KVInterfaceId& id, void** out) {
    if (id == wanted) return AnswerInterface(face, out);
    return unit->KVUnit::QueryInterface(id, out);
}

std::string Number(float value) {
    std::string text = std::to_string(value);
    while (text.size() > 1 && text.back() == '0') text.pop_back();
    if (!text.empty() && text.back() == '.') text.pop_back();
    return text;
}

} // namespace

void RegisterSceneTestClasses(bool engineCameras) {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    if (!factory) return;
    Register(factory, "TestQuad", 0x7E570001ull, &KVTestQuadUnit::Create);
    if (!engineCameras) Register(factory, "Camera", 0x7E570003ull, &KVTestCameraUnit::Create);
    Register(factory, "Mesh", 0x7E570004ull, &KVTestMeshUnit::Create);
    Register(factory, "Mirror", 0x7E570005ull, &KVTestMirrorUnit::Create);
    Register(factory, "Reflected", 0x7E570006ull, &KVTestReflectedUnit::Create);
}

// TestQuad

void KVTestQuadUnit::Init() {
    KVUnit::Init();
    SetDrawable(true);
}

void KVTestQuadUnit::Draw() {
    KVUnit::Draw();
    Note("draw " + GetName());
    IKVGraphicDevice2D* device = QueryCoreInterface<IKVGraphicDevice2D>(IID_IKVGraphicDevice2D);
    if (!device) return;
    KVDrawState state;
    device->SetBlendState(&state, 0);
    const float l = float(rect.left), t = float(rect.top), r = float(rect.right), b = float(rect.bottom);
    const KV2DVertex quad[4] = {{l, t, 0.0f, color, 0.0f, 0.0f},
                                {r, t, 0.0f, color, 1.0f, 0.0f},
                                {r, b, 0.0f, color, 1.0f, 1.0f},
                                {l, b, 0.0f, color, 0.0f, 1.0f}};
    device->DrawPolygon(quad, 4);
    device->Flush();
}

bool KVTestQuadUnit::IsPointInside(const KVScreenPoint& point, float* out, IKVUnit* camera) {
    tested.push_back(point);
    lastCamera = camera;
    const bool inside = point.x >= rect.left && point.x < rect.right && point.y >= rect.top && point.y < rect.bottom;
    if (inside && writesDepth && out) *out = depth;
    return inside;
}

// Camera

int32_t KVTestCameraUnit::QueryInterface(const KVInterfaceId& id, void** out) {
    if (id == IID_IKVUnit3D) return AnswerInterface(static_cast<IKVUnit3D*>(this), out);
    return Answer<IKVUnitCamera>(this, this, IID_IKVUnitCamera, id, out);
}

void KVTestCameraUnit::Close() {
    if (KVSceneManager* scene = KVSceneManager::Instance()) scene->RemoveCamera(this);
    KVUnit::Close();
}

int32_t KVTestCameraUnit::GetPickRay(int32_t x, int32_t y, KVPickRay* out) {
    lastPickPoint = {x, y};
    if (out) *out = ray;
    return KV_OK;
}

int32_t KVTestCameraUnit::Project(const KV3DVector* point, KVProjectedPoint* out) {
    if (out) {
        out->x = int32_t(point->x) + projectOffset.x;
        out->y = int32_t(point->y) + projectOffset.y;
        out->depth = point->z;
    }
    return KV_OK;
}

void KVTestCameraUnit::GetWorldMatrix(float* out) {
    if (out) KV3DMath::ComposeMatrix(&position.x, &rotation.x, &scale.x, out);
}

void KVTestCameraUnit::SetActive(bool on) {
    if (on == active) return;
    active = on;
    Note(GetName() + (on ? " on" : " off"));
    KVSceneManager* scene = KVSceneManager::Instance();
    if (!scene) return;
    if (on)
        scene->OnCameraActivated(this);
    else
        scene->RemoveCamera(this);
}

void KVTestCameraUnit::SetViewport(const KVDeviceRect* rect) {
    if (!rect) return;
    viewport = *rect;
    ownViewport = true;
}

void KVTestCameraUnit::InvalidateAll() { Note(GetName() + " invalidate"); }

void KVTestCameraUnit::MarkViewportChanged() { Note(GetName() + " viewport"); }

void KVTestCameraUnit::SetClipRange(float nearValue, float farValue) {
    clipNear = nearValue;
    clipFar = farValue;
    Note(GetName() + " clip " + Number(nearValue) + " " + Number(farValue));
}

void KVTestCameraUnit::InvalidateScreen() { Note(GetName() + " screen"); }

void KVTestCameraUnit::UpdateMatrices() { Note(GetName() + " update"); }

// Mesh

int32_t KVTestMeshUnit::QueryInterface(const KVInterfaceId& id, void** out) {
    return Answer<IKVUnitMesh>(this, this, IID_IKVUnitMesh, id, out);
}

int32_t KVTestMeshUnit::IntersectRay(const KV3DVector* origin, const KV3DVector* direction, KV3DVector* hit,
                                     int32_t* triangle, bool nearest) {
    ++tests;
    lastOrigin = *origin;
    lastDirection = *direction;
    lastNearest = nearest;
    lastAskedTriangle = triangle != nullptr;
    Note("ray " + GetName());
    if (!hits) return KV_NOT_FOUND;
    if (hit) *hit = hitPoint;
    return KV_OK;
}

// Mirror

int32_t KVTestMirrorUnit::QueryInterface(const KVInterfaceId& id, void** out) {
    return Answer<IKVUnit3DMirror>(this, this, IID_IKVUnit3DMirror, id, out);
}

void KVTestMirrorUnit::Init() {
    KVUnit::Init();
    SetFlags(GetFlags() | KVUNIT_3D);
}

void KVTestMirrorUnit::QueryVisible(bool* out, int32_t layerIndex) {
    KVUnit::QueryVisible(out, layerIndex);
    if (IsVisible())
        if (KVSceneManager* scene = KVSceneManager::Instance()) number = scene->AddMirrorUnit(this);
}

int32_t KVTestMirrorUnit::ApplyUnitShader(int32_t pass) {
    Note(GetName() + " shader " + std::to_string(pass));
    return KV_OK;
}

// Reflected

int32_t KVTestReflectedUnit::QueryInterface(const KVInterfaceId& id, void** out) {
    return Answer<IKVUnitDisplay3D>(this, this, IID_IKVUnitDisplay3D, id, out);
}

void KVTestReflectedUnit::Init() {
    KVUnit::Init();
    SetFlags(GetFlags() | KVUNIT_3D);
    SetDrawable(true);
}

void KVTestReflectedUnit::QueryVisible(bool* out, int32_t layerIndex) {
    KVUnit::QueryVisible(out, layerIndex);
    KVSceneManager* scene = KVSceneManager::Instance();
    if (!IsVisible() || !scene) return;
    scene->AddReflectedUnit(this);
    scene->AddUnitToList7(this);
    scene->QueueDrawItem(sphere);
}

void KVTestReflectedUnit::Draw() {
    KVUnit::Draw();
    Note("draw " + GetName());
}

int32_t KVTestReflectedUnit::DrawMirrored(const float* plane, int32_t mirror) {
    Note(GetName() + " mirrored " + std::to_string(mirror) + " d=" + Number(plane[0]));
    return KV_OK;
}

int32_t KVTestReflectedUnit::PrepareDraw() {
    Note(GetName() + " prepare");
    return KV_OK;
}

} // namespace kvtest
