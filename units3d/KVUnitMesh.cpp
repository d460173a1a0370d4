#include "KVUnitMesh.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "../kernel/KVCore.h"
#include "../kernel/KVResources.h"
#include "../units/IKVSerialize.h"
#include "../units/IKVUnit3D.h"
#include "../units/IKVUnitCamera.h"
#include "../units/IKVUnitRef.h"
#include "../units/KV3DMath.h"
#include "../units/KVSceneManager.h"
#include "../units/KVUnitFactory.h"
#include "IKV3D.h"
#include "IKVMeshAnimationListener.h"
#include "IKVUnitShader.h"
#include "KV3DUnitMarker.h"
#include "KVUnitCurve.h"
#include "KVUnitLight.h"

namespace kvl {

namespace {

// The ray test works in double: its edge products come out near zero on
// an edge, where float rounding would give them either sign.
struct Wide {
    double x, y, z;
};
Wide WideOf(float x, float y, float z) { return {double(x), double(y), double(z)}; }
Wide Sub(const Wide& a, const Wide& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Wide Cross(const Wide& a, const Wide& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double Dot(const Wide& a, const Wide& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// How far outside an edge a crossing may lie and still count, as a share
// of the triangle's size: a point on the edge two triangles share belongs
// to both, whichever way rounding moved it.
constexpr double kEdgeSlack = 1e-9;

KVUnit* LiveUnit(int32_t index) {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    IKVUnit* unit = factory && index >= 0 ? factory->GetUnit(index) : nullptr;
    return unit ? unit->GetUnit() : nullptr;
}

} // namespace

KVUnitMesh* KVUnitMesh::FromUnit(IKVUnknown* unit) { return dynamic_cast<KVUnitMesh*>(unit); }

KVUnitMesh::~KVUnitMesh() {
    m_mesh = nullptr;
    if (m_textureSprite) m_textureSprite->Release();
    m_textureSprite = nullptr;
}

int32_t KVUnitMesh::QueryInterface(const KVInterfaceId& id, void** out) {
    if (id == IID_IKVUnitMesh) return AnswerInterface(static_cast<IKVUnitMesh*>(this), out);
    if (id == IID_IKVMesh) {
        if (m_mesh) return AnswerInterface(static_cast<IKVMeshNodes*>(m_mesh), out);
        if (out) *out = nullptr;
        return KV_NOT_SUPPORTED;
    }
    return KVUnitDisplay3D::QueryInterface(id, out);
}

void KVUnitMesh::Init() {
    KVUnitDisplay3D::Init();
    m_transitionDelay = 0.2f;
    m_autoAnimation = true;
    m_boundsDirty = 1;
    m_mesh = nullptr;
    m_animationSpeed = 1.0f;
    m_mirrorReflectable = false;
    m_animationLoop = 0;
    m_illumination = 1.0f;
    m_animatedInvisible = false;
    m_frozen = false;
    m_debugFlags = 0;
    m_applyingRootMotion = 0;
    KVUnitFactory* factory = KVUnitFactory::Instance();
    if (factory && !m_textureSprite) m_textureSprite = factory->MakeUnitRef(GetIndex(), &kTextureSpriteId);
    m_listener = nullptr;
    m_animatedPosition = m_position;
    m_animatedRotation = m_rotation;
    m_animatedScale = m_scale;
    m_animatedOrientation = KV3DMath::EulerToQuat(&m_rotation.x);
    m_orientationValid = false;
    m_positionCopy = m_position;
    m_scaleCopy = m_scale;
    SetDrawable(true);
}

void KVUnitMesh::Close() {
    // The embeddable unit is no longer shown here: it draws on screen again.
    m_spriteUser.Follow(-1);
    if (m_textureSprite) {
        m_textureSprite->Release();
        m_textureSprite = nullptr;
    }
    m_mesh = nullptr;
    KVUnitDisplay3D::Close();
}

void KVUnitMesh::AttachHandler() {
    KVUnitDisplay3D::AttachHandler();
    m_listener = nullptr;
    if (IKVUnitExternal* external = GetExternalImplementation()) {
        void* face = nullptr;
        if (external->QueryInterface(IID_IKVMeshAnimationListener, &face) == KV_OK && face)
            m_listener = static_cast<IKVMeshAnimationListener*>(face);
    }
}

void KVUnitMesh::ReleaseGenerated() {
    std::vector<int32_t> generated;
    KVUnitRefArray* children = GetChildren();
    for (size_t i = 0; i < children->Size(); ++i) {
        IKVUnitRef* ref = children->At(i);
        KVUnit* child = ref ? LiveUnit(ref->GetIndex()) : nullptr;
        if (child && (child->GetFlags() & kGeneratedChild) && child->GetParentIndex() == GetIndex())
            generated.push_back(child->GetIndex());
    }
    for (int32_t index : generated)
        if (KVUnit* child = LiveUnit(index)) child->DropFactoryReference();
}

int32_t KVUnitMesh::LoadMesh() {
    IKV3D* module = Get3DModule();
    if (!module) return KV_NOT_SUPPORTED;
    m_infos.clear();
    m_blendshapeNames.clear();
    m_blendshapeText.clear();
    m_speedFactors.clear();
    // The old instance goes last, so that data shared with the new one is
    // not unloaded in between.
    IKVObject3D* previous = m_object;
    if (previous) previous->Retain();
    SetObject3D(nullptr);
    m_mesh = nullptr;
    ClearAnimationState();

    KVUnitWatch watch(this);
    ReleaseGenerated();
    if (watch.Alive() && GetParentEnabled() && m_meshText.size() > 2) {
        KVResources* resources = KVResources::Instance();
        if (resources) resources->SetCurrentUnit(GetIndex());
        std::vector<std::string> parts;
        IKVSerialize* serialize = QueryCoreInterface<IKVSerialize>(IID_IKVSerialize);
        if (serialize)
            serialize->SplitList(m_meshText, &parts);
        else
            parts.push_back(m_meshText);
        std::vector<std::string> paths;
        for (const std::string& part : parts) {
            std::string path = part;
            if (serialize) serialize->MakeAbsolutePath(part, &path);
            paths.push_back(path);
        }
        KVCore* core = KVCore::Instance();
        IKVMesh* mesh = nullptr;
        if (module->CreateMesh(paths, &mesh, core && core->IsEditorMode() ? 1u : 0u) != KV_OK || !mesh) {
            if (resources) resources->SetCurrentUnit(-1);
            RaiseError(0);
        } else {
            m_mesh = mesh;
            SetObject3D(mesh);
            MakeChildren();
            if (watch.Alive()) {
                ApplyPosition();
                ApplyRotation();
                ApplyScale();
                ApplyIllumination();
                ApplyFrozen();
                ApplyDebugFlags();
                if (m_mesh) m_mesh->GetBlendShapeNames(&m_blendshapeNames);
                m_blendshapeText.clear();
                for (const std::string& name : m_blendshapeNames)
                    m_blendshapeText += (m_blendshapeText.empty() ? "" : "|") + name;
                // The animation list and one speed factor per animation are
                // filled here: nothing else would, and requests read both.
                RefreshAnimationList();
            }
            if (resources) resources->SetCurrentUnit(-1);
        }
    }
    if (previous) previous->Release();
    return KV_OK;
}

KVUnit* KVUnitMesh::MakeChild(const char* className, const std::string& name) {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    if (!factory) return nullptr;
    KVUnit* child = nullptr;
    if (factory->CreateUnit(factory->FindClassByName(className), &child, 0, GetKvlIndex(), 0) != KV_OK || !child)
        return nullptr;
    child->SetParent(GetIndex());
    child->SetNameQuiet(name);
    child->SetEditorFolder(GetEditorFolder());
    child->SetFlags(child->GetFlags() | kGeneratedChild);
    return child;
}

void KVUnitMesh::MakeChildren() {
    KVUnitWatch watch(this);
    IKV3D* module = Get3DModule();
    // The mesh may go while children are made (their scripts run): each
    // record is read afresh.
    for (int32_t i = 0; watch.Alive() && m_mesh && i < m_mesh->GetCurveCount(); ++i) {
        const KV3DCurveRecord* record = m_mesh->GetCurve(i);
        if (!record) continue;
        const std::vector<KV3DCurvePoint> points = record->points;
        auto* curve = dynamic_cast<KVUnitCurve*>(MakeChild("Curve", record->name));
        IKVCurve* object = nullptr;
        if (curve && module && module->CreateCurve(&object) == KV_OK && object) {
            object->SetPoints(points);
            curve->SetCurve(object);
        }
    }
    for (int32_t i = 0; watch.Alive() && m_mesh && i < m_mesh->GetCameraCount(); ++i) {
        const KV3DCamera* record = m_mesh->GetCamera(i);
        if (!record) continue;
        const KV3DCamera copy = *record;
        KVUnit* unit = MakeChild("Camera", copy.name);
        IKVUnit3D* placed = unit ? QueryInterfaceOf<IKVUnit3D>(unit, IID_IKVUnit3D) : nullptr;
        IKVUnitCamera* camera = unit ? QueryInterfaceOf<IKVUnitCamera>(unit, IID_IKVUnitCamera) : nullptr;
        if (placed) placed->SetPosition(copy.position);
        if (!camera) continue;
        camera->SetFOV(copy.fov);
        camera->SetTarget(copy.target.x, copy.target.y, copy.target.z);
    }
    for (int32_t i = 0; watch.Alive() && m_mesh && i < m_mesh->GetLightCount(); ++i) {
        const KV3DLightRecord* record = m_mesh->GetLight(i);
        if (!record) continue;
        const KV3DLightRecord copy = *record;
        auto* light = dynamic_cast<KVUnitLight*>(MakeChild("Light", copy.name));
        if (!light) continue;
        light->SetPosition(copy.position);
        light->SetLightRecord(copy.params);
    }
}

int32_t KVUnitMesh::RefreshAnimationList() {
    if (!m_mesh) return KV_OK;
    const int32_t count = std::max(m_mesh->GetAnimationCount(), 0);
    m_infos.resize(size_t(count));
    for (int32_t i = 0; i < count; ++i) m_mesh->GetAnimationInfo(i, &m_infos[size_t(i)]);
    m_speedFactors.assign(size_t(count), 1.0f);
    return KV_OK;
}

int32_t KVUnitMesh::ApplyDebugFlags() {
    if (m_mesh) m_mesh->SetDebugFlags(m_debugFlags);
    return KV_OK;
}

int32_t KVUnitMesh::ApplyIllumination() {
    if (m_mesh) m_mesh->SetCustomValue(m_illumination);
    return KV_OK;
}

int32_t KVUnitMesh::ApplyFrozen() {
    if (m_mesh) m_mesh->SetPaused(m_frozen);
    return KV_OK;
}

int32_t KVUnitMesh::SetTextureSprite() {
    const int32_t before = m_spriteUser.GetUsed();
    m_spriteUser.Follow(m_textureSprite ? m_textureSprite->GetIndex() : -1);
    if (m_spriteUser.GetUsed() != before) DropSpriteTexture();
    return KV_OK;
}

void KVUnitMesh::DropSpriteTexture() {
    // The texture came from the sprite no longer linked: the mesh lets it go
    // with the link; a newly linked sprite hands its own on the next update.
    if (m_mesh) m_mesh->SetTextureOverride(0, 0, nullptr);
}

void KVUnitMesh::OnReferenceDropped(IKVUnitRef* ref) {
    KVUnitDisplay3D::OnReferenceDropped(ref);
    if (ref && ref == m_textureSprite) {
        m_spriteUser.Follow(-1);
        DropSpriteTexture();
    }
}

int32_t KVUnitMesh::ReplaceTexture(const std::string& name, const std::string& file) {
    (void)name;
    (void)file;
    return KV_FAILED;
}

void KVUnitMesh::SetIllumination(float value) {
    m_illumination = value;
    ApplyIllumination();
}

void KVUnitMesh::ApplyPosition() {
    KVUnitDisplay3D::ApplyPosition();
    UpdateAnimatedTransform();
    m_boundsDirty = 1;
}

void KVUnitMesh::ApplyRotation() {
    KVUnitDisplay3D::ApplyRotation();
    UpdateAnimatedTransform();
    m_boundsDirty = 1;
}

void KVUnitMesh::ApplyScale() {
    KVUnitDisplay3D::ApplyScale();
    UpdateAnimatedTransform();
    m_boundsDirty = 1;
}

const KV3DMaterial* KVUnitMesh::GetShaderMaterial() {
    IKVUnitRef* ref = GetShaderRef();
    KVUnit* shader = ref ? LiveUnit(ref->GetIndex()) : nullptr;
    if (!shader || !shader->GetParentEnabled()) return nullptr;
    void* face = nullptr;
    if (shader->QueryInterface(IID_IKVUnitShader, &face) != KV_OK || !face) return nullptr;
    return static_cast<IKVUnitShader*>(face)->GetMaterial();
}

void KVUnitMesh::DrawWith(const KV3DMaterial* caller) {
    if (!m_mesh) return;
    const KV3DMaterial* shader = GetShaderMaterial();
    if (!caller && !shader) {
        m_mesh->SetMaterial(nullptr);
    } else {
        KV3DMaterial block;
        block.overrideFlags = 0;
        if (caller) KV3DMergeMaterial(block, *caller);
        if (shader) KV3DMergeMaterial(block, *shader);
        m_mesh->SetMaterial(&block);
    }
    m_mesh->Draw(0);
}

void KVUnitMesh::Draw() {
    KVUnitDisplay3D::Draw();
    DrawWith(nullptr);
}

int32_t KVUnitMesh::PrepareDraw() {
    if (m_mesh && m_mesh->IsTransparent()) m_mesh->Draw(1);
    return KV_OK;
}

int32_t KVUnitMesh::DrawMirrored(const float* plane, int32_t mirror) {
    if (!m_mesh || !plane) return KV_OK;
    const float d = plane[0], nx = plane[1], ny = plane[2], nz = plane[3];
    // Rows of the reflection in the row-vector reading, which is the same
    // storage as the columns of the column-vector one.
    const float reflection[16] = {1 - 2 * nx * nx, -2 * nx * ny,     -2 * nx * nz,     0,
                                  -2 * ny * nx,    1 - 2 * ny * ny,  -2 * ny * nz,     0,
                                  -2 * nz * nx,    -2 * nz * ny,     1 - 2 * nz * nz,  0,
                                  -2 * d * nx,     -2 * d * ny,      -2 * d * nz,      1};
    float kept[16], keptRotation[3], keptScale[3];
    std::memcpy(kept, m_mesh->GetMatrix(), sizeof kept);
    std::memcpy(keptRotation, m_mesh->GetRotation(), sizeof keptRotation);
    std::memcpy(keptScale, m_mesh->GetScale(), sizeof keptScale);
    // M applied first: with column vectors, reflection × M.
    float mirrored[16];
    KV3DMath::Multiply(reflection, kept, mirrored);
    KV3DMaterial caller;
    caller.overrideFlags = KV_MATERIAL_BACKFACE_CULLING | KV_MATERIAL_EXTRA_WORD2 | KV_MATERIAL_EXTRA_WORD3;
    caller.backfaceCulling = 2;
    caller.extraWord2 = 2;
    caller.extraWord3 = uint32_t(mirror);
    // The unit's own attributes stay: the object's matrix is only lent.
    m_applyIdle = false;
    m_mesh->SetMatrix(mirrored);
    m_applyIdle = true;
    DrawWith(&caller);
    if (!m_mesh) return KV_OK;
    // A matrix alone leaves the object at scale 1 with angles read back from
    // it, and later scale and rotation changes would start from there: give
    // back the object's own angles and scale, then its exact matrix.
    m_applyIdle = false;
    m_mesh->SetMatrix(kept);
    m_mesh->SetRotation(keptRotation);
    m_mesh->SetScale(keptScale);
    m_applyIdle = true;
    return KV_OK;
}

void KVUnitMesh::QueryVisible(bool* out, int32_t layerIndex) {
    KVUnitDisplay3D::QueryVisible(out, layerIndex);
    KVSceneManager* scene = KVSceneManager::Instance();
    if (!scene) return;
    if (IsVisible() && m_mesh && GetAutoClipped()) {
        const float* sphere = m_mesh->GetBoundingSphere();
        KVDrawItem item;
        item.x = sphere[0];
        item.y = sphere[1];
        item.z = sphere[2];
        item.radius = sphere[3];
        scene->QueueDrawItem(item);
    }
    if (IsVisible() && m_mirrorReflectable) scene->AddReflectedUnit(this);
    if (IsVisible() && m_mesh && m_mesh->IsTransparent()) scene->AddUnitToList7(this);
}

int32_t KVUnitMesh::IntersectRay(const KV3DVector* origin, const KV3DVector* direction, KV3DVector* hit,
                                 int32_t* triangle, bool nearest) {
    if (!m_mesh) return KV_FAILED;
    if (!origin || !direction) return KV_NOT_FOUND;
    const std::vector<uint16_t>& indices = m_mesh->GetIndexList();
    const std::vector<KV3DVertex>& vertices = m_mesh->GetVertexList();
    if (indices.empty() || vertices.empty()) return KV_NOT_FOUND;
    const Wide O = WideOf(origin->x, origin->y, origin->z), D = WideOf(direction->x, direction->y, direction->z);
    const bool findNearest = nearest && hit;
    double best = 1e300;
    bool found = false;
    for (size_t i = 0; i + 2 < indices.size(); i += 3) {
        // An index past the vertex list names no triangle.
        if (indices[i] >= vertices.size() || indices[i + 1] >= vertices.size() || indices[i + 2] >= vertices.size())
            continue;
        const KV3DVertex& a = vertices[indices[i]];
        const KV3DVertex& b = vertices[indices[i + 1]];
        const KV3DVertex& c = vertices[indices[i + 2]];
        const Wide v0 = WideOf(a.x, a.y, a.z), v1 = WideOf(b.x, b.y, b.z), v2 = WideOf(c.x, c.y, c.z);
        const Wide N = Cross(Sub(v1, v0), Sub(v2, v0));
        const double across = Dot(N, D);
        if (!(across != 0.0)) continue;
        const double s = -(Dot(N, O) - Dot(N, v0)) / across;
        const Wide P{O.x + s * D.x, O.y + s * D.y, O.z + s * D.z};
        // Each product over N·N is the crossing's share of the triangle on
        // the inner side of that edge.
        const double bound = -kEdgeSlack * Dot(N, N);
        if (!(Dot(Cross(Sub(v2, v1), Sub(P, v1)), N) >= bound)) continue;
        if (!(Dot(Cross(Sub(v0, v2), Sub(P, v2)), N) >= bound)) continue;
        if (!(Dot(Cross(Sub(v1, v0), Sub(P, v0)), N) >= bound)) continue;
        const int32_t number = int32_t(i / 3);
        const KV3DVector at{float(P.x), float(P.y), float(P.z)};
        if (!findNearest) {
            if (hit) *hit = at;
            if (triangle) *triangle = number;
            return KV_OK;
        }
        const Wide away = Sub(P, O);
        const double squared = Dot(away, away);
        if (squared < best) {
            best = squared;
            found = true;
            *hit = at;
            if (triangle) *triangle = number;
        }
    }
    return found ? KV_OK : KV_NOT_FOUND;
}

const float* KVUnitMesh::GetBoundingBox() {
    if (m_mesh) {
        std::memcpy(m_box, m_mesh->GetBoundingBox(), sizeof m_box);
    } else {
        std::fill(m_box, m_box + 6, 0.0f);
    }
    return m_box;
}

bool KVUnitMesh::IsPointInside(const KVScreenPoint& point, float* depth, IKVUnit* camera) {
    // Without a mesh the box is all zeros: nothing is shown there to pick.
    if (!m_mesh) return false;
    const float* box = GetBoundingBox();
    KVPickRay ray;
    if (!KV3DUnitMarker::RayAt(point, camera, &ray)) return false;
    const double p0[3] = {ray.origin.x, ray.origin.y, ray.origin.z};
    const double p1[3] = {ray.far.x, ray.far.y, ray.far.z};
    double h[3], w[3], u[3];
    double span[3];
    for (int i = 0; i < 3; ++i) span[i] = p1[i] - p0[i];
    const double length = std::sqrt(span[0] * span[0] + span[1] * span[1] + span[2] * span[2]);
    const double L = length * 0.5;
    for (int i = 0; i < 3; ++i) {
        h[i] = (double(box[3 + i]) - double(box[i])) * 0.5;
        w[i] = (double(box[i]) + double(box[3 + i])) * 0.5 - (p0[i] + p1[i]) * 0.5;
        u[i] = span[i] / length;
    }
    // Written as "stays within", so that a zero-length segment or NaN misses.
    for (int i = 0; i < 3; ++i)
        if (!(std::fabs(w[i]) <= h[i] + L * std::fabs(u[i]))) return false;
    if (!(std::fabs(w[1] * u[2] - w[2] * u[1]) <= h[1] * std::fabs(u[2]) + h[2] * std::fabs(u[1]))) return false;
    if (!(std::fabs(w[2] * u[0] - w[0] * u[2]) <= h[2] * std::fabs(u[0]) + h[0] * std::fabs(u[2]))) return false;
    if (!(std::fabs(w[0] * u[1] - w[1] * u[0]) <= h[0] * std::fabs(u[1]) + h[1] * std::fabs(u[0]))) return false;
    if (depth) {
        // The distance from the ray's origin to the box's centre, so that
        // callers ordering hits by it put the nearer box first.
        const double cx = (double(box[0]) + box[3]) * 0.5 - p0[0];
        const double cy = (double(box[1]) + box[4]) * 0.5 - p0[1];
        const double cz = (double(box[2]) + box[5]) * 0.5 - p0[2];
        *depth = float(std::sqrt(cx * cx + cy * cy + cz * cz));
    }
    return true;
}

int32_t KVUnitMesh::FindAnimation(const std::string& name) {
    if (!m_mesh) return -1;
    const size_t count = std::min(m_infos.size(), size_t(std::max(m_mesh->GetAnimationCount(), 0)));
    auto fold = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : char(c); };
    for (size_t i = 0; i < count; ++i) {
        const std::string& candidate = m_infos[i].name;
        if (candidate.size() != name.size()) continue;
        bool same = true;
        for (size_t k = 0; same && k < name.size(); ++k)
            same = fold(static_cast<unsigned char>(candidate[k])) == fold(static_cast<unsigned char>(name[k]));
        if (same) return int32_t(i);
    }
    return -1;
}

std::string KVUnitMesh::GetAnimationName(int32_t index) {
    if (!m_mesh || index < 0 || size_t(index) >= m_infos.size()) return "";
    return m_infos[size_t(index)].name;
}

int32_t KVUnitMesh::SetBlendshapeWeight(const std::string& name, float weight) {
    if (!m_mesh) return KV_FAILED;
    return m_mesh->SetBlendShapeWeight(name, weight);
}

int32_t KVUnitMesh::GetAnimationLength(int32_t animation, float* seconds) {
    if (!m_mesh) return KV_FAILED;
    return m_mesh->GetAnimationLength(animation, seconds);
}

int32_t KVUnitMesh::GetCurvePosition(const std::string& name, float t, int32_t start, KV3DVector* out) {
    *out = KV3DVector();
    const KV3DCurveRecord* curve = nullptr;
    for (int32_t i = 0; m_mesh && i < m_mesh->GetCurveCount() && !curve; ++i) {
        const KV3DCurveRecord* record = m_mesh->GetCurve(i);
        if (record && record->name == name) curve = record;
    }
    if (!curve) return -1;
    // NaN counts as the start of the curve.
    t = t > 0.0f ? std::min(t, 1.0f) : 0.0f;
    const std::vector<KV3DCurvePoint>& keys = curve->points;
    if (keys.size() < 2) return 0;
    const int32_t last = int32_t(keys.size()) - 2;
    // A start outside the segments is searched from the nearest one.
    start = std::max(0, std::min(start, last + 1));
    auto matches = [&](int32_t i) {
        if (i < 0 || i > last) return false;
        const KV3DCurvePoint& k0 = keys[size_t(i)];
        const KV3DCurvePoint& k1 = keys[size_t(i) + 1];
        // A segment of no length gives no point: it is passed over.
        return k0.t <= t && t <= k1.t && k1.t - k0.t > 0.0f;
    };
    for (int32_t step = 0; step <= last + 1; ++step) {
        for (int32_t i : {start + step, start - step - 1}) {
            if (!matches(i)) continue;
            const KV3DCurvePoint& k0 = keys[size_t(i)];
            const KV3DCurvePoint& k1 = keys[size_t(i) + 1];
            const float span = k1.t - k0.t;
            *out = {((t - k0.t) * k1.x + (k1.t - t) * k0.x) / span, ((t - k0.t) * k1.y + (k1.t - t) * k0.y) / span,
                    ((t - k0.t) * k1.z + (k1.t - t) * k0.z) / span};
            return i;
        }
    }
    return 0;
}

} // namespace kvl
