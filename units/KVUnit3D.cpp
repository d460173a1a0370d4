#include "KVUnit3D.h"

#include <algorithm>
#include <cstring>

#include "../graphics/IKVGraphicDevice.h"
#include "../kernel/KVCore.h"
#include "IKVMeshNodes.h"
#include "KV3DMath.h"
#include "KVSceneManager.h"
#include "KVUnitFactory.h"

namespace kvl {

namespace {

// Answered by 3D units with the unit object itself (a class registered on
// "Unit3D" may make units of another kind).
constexpr KVInterfaceId kUnit3DObjectId = MakeId(0x00183DF6, 0x0B1EC700);

// The 3D module's object factory, looked up by its id alone: its header
// reaches into the 3D module's concrete classes.
constexpr KVInterfaceId kIKV3DId = MakeId(0x00314547, 0xF5CC0A04);

void CopyVector(const float* from, KV3DVector* to) {
    if (from) *to = {from[0], from[1], from[2]};
}

} // namespace

IKV3D* KVUnit3D::s_3D = nullptr;
IKVGraphicDevice3D* KVUnit3D::s_device3D = nullptr;

KVUnit3D::~KVUnit3D() {
    // A unit deleted without closing still lets go of its object.
    ReleaseObject();
}

KVUnit3D* KVUnit3D::FromUnit(IKVUnknown* unit) {
    void* self = nullptr;
    if (!unit || unit->QueryInterface(kUnit3DObjectId, &self) != KV_OK) return nullptr;
    return static_cast<KVUnit3D*>(self);
}

int32_t KVUnit3D::QueryInterface(const KVInterfaceId& id, void** out) {
    if (id == kUnit3DObjectId) return AnswerInterface(this, out);
    if (id == IID_IKVUnit3D) return AnswerInterface(static_cast<IKVUnit3D*>(this), out);
    return KVUnit::QueryInterface(id, out);
}

void KVUnit3D::Init() {
    KVUnit::Init();
    m_autoClipped = true;
    m_position = KV3DVector();
    m_rotation = KV3DVector();
    m_scale = {1.0f, 1.0f, 1.0f};
    SetFlags(GetFlags() | KVUNIT_3D);
    m_attachedMesh = -1;
    m_applyIdle = true;
    m_pulling = false;
    ReleaseObject();
    SetNativeUpdate(true);
    s_device3D = QueryCoreInterface<IKVGraphicDevice3D>(IID_IKVGraphicDevice3D);
    s_3D = QueryCoreInterface<IKV3D>(kIKV3DId);
}

void KVUnit3D::ReleaseObject() {
    if (!m_object) return;
    IKVObject3D* object = m_object;
    m_object = nullptr;
    object->SetParent(nullptr);
    object->Release();
}

void KVUnit3D::Close() {
    ReleaseObject();
    KVUnit::Close();
}

void KVUnit3D::ResetState() {
    KVUnit::ResetState();
    m_attachedMesh = -1;
    m_applyIdle = true;
    m_pulling = false;
}

void KVUnit3D::SetObject3D(IKVObject3D* object) {
    if (object == m_object) return;
    ReleaseObject();
    m_object = object;
    if (m_object) m_object->SetParent(this);
}

void KVUnit3D::ApplyPosition() {
    if (m_pulling || !m_object) return;
    m_applyIdle = false;
    m_object->SetPosition(&m_position.x);
    m_applyIdle = true;
}

void KVUnit3D::ApplyRotation() {
    if (m_pulling || !m_object) return;
    m_applyIdle = false;
    m_object->SetRotation(&m_rotation.x);
    m_applyIdle = true;
}

void KVUnit3D::ApplyScale() {
    if (m_pulling || !m_object) return;
    m_applyIdle = false;
    m_object->SetScale(&m_scale.x);
    m_applyIdle = true;
}

void KVUnit3D::SetPosition(const KV3DVector& position) {
    m_position = position;
    ApplyPosition();
}

void KVUnit3D::SetRotation(const KV3DVector& rotation) {
    m_rotation = rotation;
    ApplyRotation();
}

void KVUnit3D::SetScale(const KV3DVector& scale) {
    m_scale = scale;
    ApplyScale();
}

void KVUnit3D::GetWorldMatrix(float* out) {
    if (!out) return;
    if (m_object) {
        std::memcpy(out, m_object->GetMatrix(), 16 * sizeof(float));
        return;
    }
    KV3DMath::ComposeMatrix(&m_position.x, &m_rotation.x, &m_scale.x, out);
}

void KVUnit3D::CopyTransformFrom(IKVObject3D* other) {
    if (!m_object || !other) return;
    m_applyIdle = false;
    m_object->SetFromObject(other);
    m_applyIdle = true;
    CopyVector(m_object->GetPosition(), &m_position);
    CopyVector(m_object->GetRotation(), &m_rotation);
}

int32_t KVUnit3D::SyncFromObject3D() {
    if (!m_applyIdle || !m_object) return KV_OK;
    m_pulling = true;
    CopyVector(m_object->GetPosition(), &m_position);
    ApplyPosition();
    CopyVector(m_object->GetRotation(), &m_rotation);
    ApplyRotation();
    CopyVector(m_object->GetScale(), &m_scale);
    ApplyScale();
    m_pulling = false;
    return KV_OK;
}

int32_t KVUnit3D::AttachToMesh(IKVUnit* mesh, const std::string& node) {
    void* face = nullptr;
    if (!mesh || mesh->QueryInterface(IID_IKVMesh, &face) != KV_OK || !face) return KV_FAILED;
    const int32_t found = static_cast<IKVMeshNodes*>(face)->FindNode(node);
    // An unknown node leaves the attachment as it was.
    if (found < 0) return KV_NOT_FOUND;
    m_meshNode = found;
    m_attachedMesh = mesh->GetIndex();
    return KV_OK;
}

void KVUnit3D::DetachFromMesh() { m_attachedMesh = -1; }

IKVMeshNodes* KVUnit3D::GetAttachedMesh() {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    if (m_attachedMesh < 0 || !factory || !factory->IsValidUnit(m_attachedMesh)) return nullptr;
    IKVUnit* mesh = factory->GetUnit(m_attachedMesh);
    void* face = nullptr;
    if (!mesh || mesh->QueryInterface(IID_IKVMesh, &face) != KV_OK) return nullptr;
    return static_cast<IKVMeshNodes*>(face);
}

void KVUnit3D::QueryVisible(bool* out, int32_t layerIndex) {
    KVUnit::QueryVisible(out, layerIndex);
    if (!m_autoClipped || !IsVisible()) return;
    if (KVSceneManager* scene = KVSceneManager::Instance()) {
        KVDrawItem item;
        item.x = m_position.x;
        item.y = m_position.y;
        item.z = m_position.z;
        item.radius = 0.0f;
        scene->QueueDrawItem(item);
    }
}

void KVUnit3D::Update(float dt) {
    KVUnit::Update(dt);
    FollowMeshNode();
}

} // namespace kvl
