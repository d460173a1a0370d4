// The follow step of an attached 3D unit: each frame its 3D object is
// placed on the mesh node, in world space, from the node's transforms and
// the mesh's world matrix.
#include <algorithm>

#include "IKVMeshNodes.h"
#include "KV3DMath.h"
#include "KVUnit3D.h"
#include "KVUnitFactory.h"

namespace kvl {

void KVUnit3D::ComposeNodeTransform(NodeTransform* out, const NodeTransform& a, const NodeTransform& b) {
    if (!out) return;
    *out = NodeTransform();
    float matrix[16], inverse[16];
    KV3DMath::TransformToMatrix(b, matrix);
    // A singular matrix leaves its own translation in the copy.
    KV3DMath::Invert(matrix, inverse);
    out->translation = {a.translation.x + inverse[12], a.translation.y + inverse[13], a.translation.z + inverse[14]};
    const KV3DQuaternion conjugate = {-b.rotation.x, -b.rotation.y, -b.rotation.z, b.rotation.w};
    // conjugate(b) ⊗ a in Hamilton's order (QuatMultiply takes them reversed).
    out->rotation = KV3DMath::QuatNormalize(KV3DMath::QuatMultiply(a.rotation, conjugate));
    // A zero scale in b has nothing to divide by: a's value stays.
    const float* as = &a.scale.x;
    const float* bs = &b.scale.x;
    float* os = &out->scale.x;
    for (int i = 0; i < 3; ++i) os[i] = bs[i] != 0.0f ? as[i] / bs[i] : as[i];
}

void KVUnit3D::FollowMeshNode() {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    if (m_attachedMesh < 0 || m_meshNode < 0 || !m_object || !factory || !factory->IsValidUnit(m_attachedMesh))
        return;
    IKVMeshNodes* mesh = GetAttachedMesh();
    if (!mesh) return;

    const NodeTransform node = mesh->GetNodeTransform(m_meshNode);
    float m[16];
    const float* matrix = mesh->GetMatrix();
    if (!matrix) return;
    std::copy(matrix, matrix + 16, m);
    // The mesh's world scale and rotation from the matrix's columns.
    const NodeTransform world = KV3DMath::DecomposeMatrix(m);

    NodeTransform placed;
    placed.rotation = KV3DMath::QuatNormalize(KV3DMath::QuatMultiply(world.rotation, node.rotation));
    placed.translation = KV3DMath::TransformPoint(m, node.translation);
    placed.scale = {world.scale.x * node.scale.x, world.scale.y * node.scale.y, world.scale.z * node.scale.z};

    m_applyIdle = false;
    m_object->SetPosition(&placed.translation.x);
    m_applyIdle = true;

    NodeTransform composed;
    ComposeNodeTransform(&composed, placed, mesh->GetNodeBindTransform(m_meshNode));
    float angles[3];
    KV3DMath::QuatToEuler(composed.rotation, angles);
    m_applyIdle = false;
    m_object->SetRotation(angles);
    m_applyIdle = true;
}

} // namespace kvl
