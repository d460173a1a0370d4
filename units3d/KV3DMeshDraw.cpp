// Drawing a mesh instance through the graphic device's 3D face, and the
// skeleton lines of its debug drawing.
#include <algorithm>
#include <vector>

#include "../units/KV3DMath.h"
#include "KV3D.h"
#include "KV3DData.h"
#include "KV3DInterface.h"
#include "KV3DMesh.h"

namespace kvl {

namespace {

constexpr int32_t kWorldTransform = 1;
constexpr uint32_t kSkeletonColor = 0xFF0000FFu;
constexpr float kJointHalfSize = 0.1f;

KV3DMaterial OverlayMaterial() {
    KV3DMaterial m;
    const float zero[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    const float emissive[4] = {0.2509804f, 1.0f, 0.2509804f, 1.0f};
    const float specular[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    std::copy(zero, zero + 4, m.diffuse);
    std::copy(zero, zero + 4, m.ambient);
    std::copy(emissive, emissive + 4, m.emissive);
    std::copy(specular, specular + 4, m.specular);
    m.shininess = 1.0f;
    m.colorWrite = m.zBuffer = m.zBufferWrite = 1;
    m.extraFloat = -0.0005f;
    m.extraWord1 = 0;
    m.fog = 1;
    m.alphaTest = 0;
    m.alphaReference = 0;
    m.alphaBlend = 0;
    m.extraSwitch1 = 0;
    m.debugDraw = 1;
    m.lighting = 1;
    m.trilinear = 0;
    m.textureCount = 0;
    m.type = 0;
    m.backfaceCulling = 1;
    m.extraSwitch2 = 1;
    m.antialiasing = 1;
    m.extraWord2 = m.extraWord3 = 0;
    m.pixelShader = m.vertexShader = nullptr;
    m.overrideFlags = KV_MATERIAL_ALL_FLAGS;
    return m;
}

} // namespace

int32_t KV3DMesh::Draw(int32_t pass) {
    if (!GetCurrentData()) return KV_OK;
    if (m_paramsChanged) {
        m_paramsChanged = 0;
        ComputePose();
    }
    KV3DData* data = TouchCurrent();
    if (KV3D* factory = KV3D::Instance()) factory->SelectLights(m_sphere);
    const size_t submeshes = SubmeshCount(*data);
    for (size_t i = 0; i < submeshes; ++i) DrawSubmesh(*data, i, pass);
    if (pass == 0 && (m_debugFlags & KVMESH_DEBUG_SKELETON)) DrawSkeleton();
    if (m_debugFlags & KVMESH_DEBUG_OVERLAY) {
        const KV3DMaterial saved = m_material;
        for (size_t i = 0; i < submeshes; ++i) {
            m_material = OverlayMaterial();
            DrawSubmesh(*data, i, pass);
            m_material = saved;
        }
    }
    return KV_OK;
}

void KV3DMesh::DrawSubmesh(const KV3DData& data, size_t index, int32_t pass) {
    IKVGraphicDevice3D* device = KV3DInterface::Device();
    const KV3DSubmesh& s = data.submeshes[index];
    if (!device || !(pass == 0 ? s.drawnInPass0 : s.drawnInPass1)) return;

    const size_t nodes = NodeCount(data);
    float matrix[16];
    std::copy(GetMatrix(), GetMatrix() + 16, matrix);
    if (s.parentNode >= 0 && size_t(s.parentNode) < nodes)
        KV3DMath::Multiply(matrix, &m_nodeMatrices[16 * size_t(s.parentNode)], matrix);
    if (m_submeshSet[index]) KV3DMath::Multiply(matrix, &m_submeshMatrices[16 * index], matrix);

    if ((s.cpuSkinned || (s.cpuMorphed && m_activeBlendShapes != 0)) && CpuCopyFits(data, index)) {
        device->SetTransform(kWorldTransform, matrix);
        device->SetVertexData(m_cpuVertices[index].data(), s.vertexCount, s.stride, 0);
    } else {
        if (s.weightsPerVertex != 0) {
            std::vector<float> bones(16 * s.bones.size());
            for (size_t b = 0; b < s.bones.size(); ++b) {
                float* out = &bones[16 * b];
                // A bone whose node is not there stays at its bind pose.
                if (s.bones[b].node < nodes)
                    KV3DMath::Multiply(matrix, &m_nodeMatrices[16 * size_t(s.bones[b].node)], out);
                else
                    std::copy(matrix, matrix + 16, out);
                KV3DMath::Multiply(out, s.bones[b].inverseBind, out);
            }
            device->SetBoneMatrices(bones.data(), uint32_t(s.bones.size()));
        } else {
            device->SetTransform(kWorldTransform, matrix);
        }
        if (!s.cpuMorphed && m_activeBlendShapes != 0) {
            for (const KV3DBlendShape& shape : s.blendShapes) {
                if (shape.nameIndex < m_blendWeights.size() && m_blendWeights[shape.nameIndex] > 0.0f)
                    device->SetBlendWeight(m_blendWeights[shape.nameIndex], shape.buffer);
            }
        }
        if (s.vertexBuffer)
            device->SetVertexBuffer(s.vertexBuffer, 0);
        else
            device->SetVertexData(s.vertexData, s.vertexCount, s.stride, 0);
    }

    const std::vector<IKVUnknownRef*>* overrides =
        index < m_textureOverrides.size() ? &m_textureOverrides[index] : nullptr;
    for (size_t p = 0; p < s.parts.size(); ++p) {
        const KV3DPart& part = s.parts[p];
        // A part whose index names no material of the file is drawn with
        // the mesh's record alone, and no textures.
        const KV3DPartMaterial* own = data.GetPartMaterial(part);
        if (int32_t(IsBlendedPart(part, own)) != pass) continue;
        for (size_t t = 0; own && t < own->textures.size(); ++t) {
            IKVUnknownRef* texture = overrides && t < overrides->size() ? (*overrides)[t] : nullptr;
            // A file names its textures; the part holds no texture object of
            // its own, so without an override the slot is emptied.
            device->SetTextureSlot(int32_t(t), texture);
        }
        device->EndTextures();
        KV3DMaterial merged = m_material;
        if (own) KV3DMergeMaterial(merged, own->material);
        if (m_debugFlags & KVMESH_DEBUG_DRAW_SWITCH) merged.debugDraw = 1;
        if (!part.transparent) {
            merged.alphaTest = 0;
            merged.alphaBlend = 0;
        } else if (merged.alphaBlend) {
            merged.zBufferWrite = 0;
        }
        device->SetMaterial(&merged, 0);
        device->DrawPart(&part, uint32_t(p));
    }
    device->EndSubmesh();
}

void KV3DMesh::DrawSkeleton() {
    IKVGraphicDevice3D* device = KV3DInterface::Device();
    if (!device) return;
    device->SetTransform(kWorldTransform, GetMatrix());
    const std::vector<KV3DVector>& lines = GetSkeletonLines();
    for (size_t i = 0; i + 1 < lines.size(); i += 2) {
        const float line[6] = {lines[i].x, lines[i].y, lines[i].z, lines[i + 1].x, lines[i + 1].y, lines[i + 1].z};
        device->DrawLine3D(line, kSkeletonColor, 0);
    }
}

const std::vector<KV3DVector>& KV3DMesh::GetSkeletonLines() {
    m_skeletonLines.clear();
    if (!IsAnimatable()) return m_skeletonLines;
    const KV3DData& data = *GetCurrentData();
    const size_t nodes = NodeCount(data);
    const float h = kJointHalfSize;
    // Corners of a square in x, y: (-,-), (+,-), (+,+), (-,+).
    const float cx[4] = {-h, h, h, -h};
    const float cy[4] = {-h, -h, h, h};
    for (size_t n = 0; n < nodes; ++n) {
        const float* t = &m_nodeMatrices[16 * n + 12];
        const KV3DVector p{t[0], t[1], t[2]};
        auto corner = [&](int c, float dz) { return KV3DVector{p.x + cx[c], p.y + cy[c], p.z + dz}; };
        for (int c = 0; c < 4; ++c) {
            m_skeletonLines.push_back(corner(c, -h));
            m_skeletonLines.push_back(corner((c + 1) % 4, -h));
        }
        for (int c = 0; c < 4; ++c) {
            m_skeletonLines.push_back(corner(c, -h));
            m_skeletonLines.push_back(corner(c, h));
        }
        for (int c = 0; c < 4; ++c) {
            m_skeletonLines.push_back(corner(c, h));
            m_skeletonLines.push_back(corner((c + 1) % 4, h));
        }
        const int32_t parent = data.nodes[n].parent;
        if (parent >= 0 && size_t(parent) < nodes) {
            const float* q = &m_nodeMatrices[16 * size_t(parent) + 12];
            m_skeletonLines.push_back(KV3DVector{q[0], q[1], q[2]});
            m_skeletonLines.push_back(p);
        }
    }
    return m_skeletonLines;
}

} // namespace kvl
