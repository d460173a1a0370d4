#include "KVUnit3DMirror.h"

#include <cmath>

#include "../graphics/IKVGraphic.h"
#include "../graphics/KVResourceTexture.h"
#include "../kernel/KVCore.h"
#include "../units/IKVSerialize.h"
#include "../units/IKVUnitRef.h"
#include "../units/KV3DMath.h"
#include "../units/KVAttributeRows.h"
#include "../units/KVSceneManager.h"
#include "../units/KVUnitFactory.h"
#include "IKV3D.h"
#include "IKVUnitShader.h"
#include "KV3DUnitMarker.h"

namespace kvl {

namespace {

// A class derived from "Mirror" may make units of another kind.
KVUnit3DMirror* MirrorOf(void* target) { return dynamic_cast<KVUnit3DMirror*>(static_cast<KVUnit*>(target)); }

void SizeChanged(void* target) {
    if (KVUnit3DMirror* mirror = MirrorOf(target)) mirror->ApplySize();
}

void MaskChanged(void* target) {
    if (KVUnit3DMirror* mirror = MirrorOf(target)) mirror->LoadMask();
}

void TransparentChanged(void* target) {
    if (KVUnit3DMirror* mirror = MirrorOf(target)) mirror->ApplyTransparent();
}

} // namespace

KVUnit3DMirror::~KVUnit3DMirror() { ReleaseAll(); }

int32_t KVUnit3DMirror::QueryInterface(const KVInterfaceId& id, void** out) {
    if (id == IID_IKVUnit3DMirror) return AnswerInterface(static_cast<IKVUnit3DMirror*>(this), out);
    return KVUnitDisplay3D::QueryInterface(id, out);
}

void KVUnit3DMirror::Init() {
    KVUnitDisplay3D::Init();
    m_number = 0;
    m_maskPath.clear();
    ReleaseMask();
    m_size[0] = 1.0f;
    m_size[1] = 1.0f;
    m_transparent = true;
    KVUnitFactory* factory = KVUnitFactory::Instance();
    if (factory && !m_mirrorShader) m_mirrorShader = factory->MakeUnitRef(GetIndex(), &kShaderId);
    SetDrawable(true);
    IKV3D* module = Get3DModule();
    IKVMirror* mirror = nullptr;
    if (!module || module->CreateMirror(&mirror) != KV_OK || !mirror) return;
    m_mirror = mirror;
    SetObject3D(mirror);
    ApplySize();
}

void KVUnit3DMirror::ReleaseMask() {
    if (!m_mask) return;
    IKVResourceTexture* mask = m_mask;
    m_mask = nullptr;
    mask->Release();
}

void KVUnit3DMirror::ReleaseAll() {
    if (m_mirror) {
        m_mirror = nullptr;
        SetObject3D(nullptr);
    }
    if (m_mirrorShader) {
        m_mirrorShader->Release();
        m_mirrorShader = nullptr;
    }
    ReleaseMask();
}

void KVUnit3DMirror::Close() {
    ReleaseAll();
    KVUnitDisplay3D::Close();
}

void KVUnit3DMirror::ApplySize() {
    if (m_mirror) m_mirror->SetSize(m_size);
}

void KVUnit3DMirror::ApplyTransparent() {
    if (m_mirror) m_mirror->SetTransparent(m_transparent ? 1u : 0u);
}

int32_t KVUnit3DMirror::LoadMask() {
    ReleaseMask();
    if (m_mirror) m_mirror->SetTexture(nullptr);
    if (!IsEnabled() || m_maskPath.size() <= 2) return KV_OK;
    std::string path = m_maskPath;
    if (IKVSerialize* serialize = QueryCoreInterface<IKVSerialize>(IID_IKVSerialize))
        serialize->MakeAbsolutePath(m_maskPath, &path);
    IKVGraphic* graphic = QueryCoreInterface<IKVGraphic>(IID_IKVGraphic);
    IKVResourceTexture* texture = nullptr;
    if (!graphic || graphic->CreateTextureFromFile(path.c_str(), nullptr, &texture, 0) != KV_OK || !texture)
        return KV_FAILED;
    m_mask = texture;
    if (m_mirror) m_mirror->SetTexture(dynamic_cast<KVResourceTexture*>(texture));
    return KV_OK;
}

void KVUnit3DMirror::ApplyPosition() {
    KVUnitDisplay3D::ApplyPosition();
    UpdatePlane();
}

void KVUnit3DMirror::ApplyRotation() {
    KVUnitDisplay3D::ApplyRotation();
    UpdatePlane();
}

void KVUnit3DMirror::UpdatePlane() {
    if (!m_mirror) return;
    const float* m = m_mirror->GetMatrix();
    const float length = std::sqrt(m[4] * m[4] + m[5] * m[5] + m[6] * m[6]);
    // A flattened mirror has no normal: the plane stays as it was.
    if (!(length > 0.0f) || !std::isfinite(length)) return;
    const float n[3] = {m[4] / length, m[5] / length, m[6] / length};
    m_plane[0] = -(n[0] * m_position.x + n[1] * m_position.y + n[2] * m_position.z);
    m_plane[1] = n[0];
    m_plane[2] = n[1];
    m_plane[3] = n[2];
}

void KVUnit3DMirror::QueryVisible(bool* out, int32_t layerIndex) {
    KVUnit::QueryVisible(out, layerIndex);
    if (!IsVisible()) return;
    KVSceneManager* scene = KVSceneManager::Instance();
    if (!scene) return;
    if (GetAutoClipped()) {
        KVDrawItem item;
        item.x = m_position.x;
        item.y = m_position.y;
        item.z = m_position.z;
        item.radius = std::sqrt(m_size[0] * m_size[0] + m_size[1] * m_size[1]);
        scene->QueueDrawItem(item);
    }
    m_number = scene->AddMirrorUnit(this);
}

int32_t KVUnit3DMirror::ApplyUnitShader(int32_t pass) {
    if (!m_mirror) return KV_OK;
    if (pass != 0) {
        const KV3DMaterial* material = nullptr;
        KVUnitFactory* factory = KVUnitFactory::Instance();
        IKVUnit* shader = factory && m_mirrorShader ? factory->GetUnit(m_mirrorShader->GetIndex()) : nullptr;
        void* face = nullptr;
        if (shader && shader->QueryInterface(IID_IKVUnitShader, &face) == KV_OK && face)
            material = static_cast<IKVUnitShader*>(face)->GetMaterial();
        const KV3DMaterial defaults;
        m_mirror->SetMaterial(material ? material : &defaults);
    }
    return m_mirror->Draw(uint32_t(m_number), pass);
}

bool KVUnit3DMirror::IsPointInside(const KVScreenPoint& point, float* depth, IKVUnit* camera) {
    (void)depth;
    if (!m_mirror) return false;
    KVPickRay ray;
    if (!KV3DUnitMarker::RayAt(point, camera, &ray)) return false;
    const float* n = &m_plane[1];
    const float d = m_plane[0];
    const KV3DVector dir = {ray.far.x - ray.origin.x, ray.far.y - ray.origin.y, ray.far.z - ray.origin.z};
    const float across = n[0] * dir.x + n[1] * dir.y + n[2] * dir.z;
    if (!(across != 0.0f)) return false;
    const float t = -(n[0] * ray.origin.x + n[1] * ray.origin.y + n[2] * ray.origin.z + d) / across;
    const KV3DVector hit = {ray.origin.x + t * dir.x, ray.origin.y + t * dir.y, ray.origin.z + t * dir.z};
    float inverse[16];
    if (!KV3DMath::Invert(m_mirror->GetMatrix(), inverse)) return false;
    const KV3DVector local = KV3DMath::TransformPoint(inverse, hit);
    // The rectangle as it is drawn: half the size on each side of the centre.
    const float halfWidth = m_size[0] * 0.5f;
    const float halfHeight = m_size[1] * 0.5f;
    return -halfWidth <= local.x && local.x <= halfWidth && -halfHeight <= local.z && local.z <= halfHeight;
}

int32_t KVUnit3DMirror::RegisterClass() {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    const int32_t classIndex =
        RegisterClassOn(factory, "Mirror", &KVUnit3DMirror::Create, "Display3D", kClassId,
                        "Class to create a planar 3D mirror that reflects the scene");
    if (classIndex < 0) return -1;

    KVUnit3DMirror probe;
    const uint16_t kStored = AttributeFlags(KVAF_LISTED, KVAF_SCRIPT, KVAF_PERSISTENT);
    const KVAttributeRow rows[] = {
        {"Size~X~Y", KVATTR_F32, &probe.m_size, 2, kSizeId, kStored, 0, nullptr, SizeChanged, nullptr, "", 0},
        {"Mask@Image file|*.TGA;*.BMP;*.JPG;*.JPEG", KVATTR_PATHS, &probe.m_maskPath, 1, kMaskId, kStored, 0, nullptr,
         MaskChanged, nullptr, "", 0},
        {"Transparent", KVATTR_BOOLEAN, &probe.m_transparent, 1, kTransparentId, kStored, 0, nullptr,
         TransparentChanged, nullptr, "", 0},
        {"Shader", KVATTR_UNIT, &probe.m_mirrorShader, 1, kShaderId, kStored, 0, nullptr, nullptr, nullptr, "Shader",
         0},
    };
    AddAttributeRows(factory, classIndex, &probe, rows, sizeof rows / sizeof rows[0]);
    return classIndex;
}

// The unit factory's built-in table registers the class through this.
int32_t RegisterMirrorClass() { return KVUnit3DMirror::RegisterClass(); }

} // namespace kvl
