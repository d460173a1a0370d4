// CPU skinning and blend shapes of a mesh instance: the CPU copies of
// skinned or morphed submeshes follow the pose and the blend shape weights.
#include <algorithm>
#include <cmath>

#include "../units/KV3DMath.h"
#include "KV3DData.h"
#include "KV3DMesh.h"
#include "KV3DMeshShared.h"

namespace kvl {

namespace {

// Floats of a vertex: position 0-2, normal 3-5, first texture coordinates 7-8.
constexpr size_t kNormal = 3;
constexpr size_t kU = 7;
constexpr size_t kV = 8;
// At most this many weights are stored; the joint after them gets the rest.
constexpr uint32_t kStoredWeights = 3;
// More shapes than this active at once are trimmed back to it.
constexpr int32_t kMaxActiveShapes = 4;

void Transform3(const float b[16], const uint8_t* src, uint8_t* dst, bool translate) {
    const float x = KV3DReadFloat(src, 0), y = KV3DReadFloat(src, 1), z = KV3DReadFloat(src, 2);
    const float w = translate ? 1.0f : 0.0f;
    KV3DWriteFloat(dst, 0, b[0] * x + b[4] * y + b[8] * z + b[12] * w);
    KV3DWriteFloat(dst, 1, b[1] * x + b[5] * y + b[9] * z + b[13] * w);
    KV3DWriteFloat(dst, 2, b[2] * x + b[6] * y + b[10] * z + b[14] * w);
}

} // namespace

bool KV3DMesh::CpuCopyFits(const KV3DData& data, size_t index) const {
    if (index >= m_cpuVertices.size()) return false;
    const KV3DSubmesh& s = data.submeshes[index];
    const size_t bytes = size_t(s.vertexCount) * s.stride;
    return bytes > 0 && m_cpuVertices[index].size() == bytes;
}

void KV3DMesh::ApplySkin() {
    KV3DData* data = GetCurrentData();
    if (!data) return;
    const bool animatable = IsAnimatable();
    // Blend shapes apply without animation too: a mesh that only morphs has
    // nothing else that would bring its weights to the vertices.
    if (!animatable && m_activeBlendShapes == 0) return;
    data = TouchCurrent();
    const size_t submeshes = SubmeshCount(*data);
    for (size_t i = 0; i < submeshes; ++i) {
        const KV3DSubmesh& s = data->submeshes[i];
        const bool morph = s.cpuMorphed && m_activeBlendShapes != 0;
        if (!s.cpuSkinned && !morph) continue;
        if (!s.vertexData || !CpuCopyFits(*data, i)) continue;
        bool skinned = false;
        if (s.cpuSkinned && animatable && data->CanSkin(s) && s.bones.size() <= m_paletteSize) {
            SkinSubmesh(*data, i);
            skinned = true;
        }
        if (!morph) continue;
        uint8_t* copy = m_cpuVertices[i].data();
        // The shapes add to the unmorphed vertex: positions and normals come
        // from the skin or from the file, texture coordinates from the file.
        for (uint32_t v = 0; v < s.vertexCount; ++v) {
            const uint8_t* src = s.vertexData + size_t(v) * s.stride;
            uint8_t* dst = copy + size_t(v) * s.stride;
            if (!skinned) std::memcpy(dst, src, 24);
            if (s.texCoordSets > 0) std::memcpy(dst + 4 * kU, src + 4 * kU, 8);
        }
        MorphSubmesh(*data, i);
    }
}

void KV3DMesh::SkinSubmesh(const KV3DData& data, size_t index) {
    const KV3DSubmesh& s = data.submeshes[index];
    const size_t nodes = NodeCount(data);
    for (size_t b = 0; b < s.bones.size(); ++b) {
        if (s.bones[b].node >= nodes) return;
        KV3DMath::Multiply(&m_nodeMatrices[16 * size_t(s.bones[b].node)], s.bones[b].inverseBind, m_palette + 16 * b);
    }
    const size_t weightsAt = 28 + 8 * size_t(s.texCoordSets);
    const size_t jointsAt = weightsAt + 4 * size_t(s.weightsPerVertex);
    const size_t tangentAt = s.hasJoints ? jointsAt + 4 : jointsAt;
    const uint32_t stored = std::min(s.weightsPerVertex, kStoredWeights);
    uint8_t* copy = m_cpuVertices[index].data();
    for (uint32_t v = 0; v < s.vertexCount; ++v) {
        const uint8_t* src = s.vertexData + size_t(v) * s.stride;
        uint8_t* dst = copy + size_t(v) * s.stride;
        // The stored weights, and the rest of 1 for the joint after them.
        float w[4];
        float rest = 1.0f;
        for (uint32_t k = 0; k < stored; ++k) {
            w[k] = KV3DReadFloat(src + weightsAt, k);
            rest -= w[k];
        }
        w[stored] = rest;
        float b[16];
        const float* first = m_palette + 16 * size_t(src[jointsAt]);
        for (int e = 0; e < 16; ++e) b[e] = w[0] * first[e];
        for (uint32_t k = 1; k <= stored; ++k) {
            const float* m = m_palette + 16 * size_t(src[jointsAt + k]);
            for (int e = 0; e < 16; ++e) b[e] += w[k] * m[e];
        }
        Transform3(b, src, dst, true);
        Transform3(b, src + 4 * kNormal, dst + 4 * kNormal, false);
        if (s.hasTangents) Transform3(b, src + tangentAt, dst + tangentAt, false);
    }
}

void KV3DMesh::MorphSubmesh(const KV3DData& data, size_t index) {
    const KV3DSubmesh& s = data.submeshes[index];
    uint8_t* copy = m_cpuVertices[index].data();
    for (const KV3DBlendShape& shape : s.blendShapes) {
        if (shape.nameIndex >= m_blendWeights.size() || !shape.offsets) continue;
        const float w = m_blendWeights[shape.nameIndex];
        if (w == 0.0f) continue;
        for (uint32_t v = 0; v < s.vertexCount; ++v) {
            const uint8_t* o = shape.offsets + 32 * size_t(v);
            uint8_t* dst = copy + size_t(v) * s.stride;
            for (size_t k = 0; k < 3; ++k) {
                KV3DWriteFloat(dst, k, KV3DReadFloat(dst, k) + w * KV3DReadFloat(o, k));
                KV3DWriteFloat(dst, kNormal + k, KV3DReadFloat(dst, kNormal + k) + w * KV3DReadFloat(o, 4 + k));
            }
            // Only a vertex with texture coordinates has room for them.
            if (s.texCoordSets > 0) {
                KV3DWriteFloat(dst, kU, KV3DReadFloat(dst, kU) + w * KV3DReadFloat(o, 3));
                KV3DWriteFloat(dst, kV, KV3DReadFloat(dst, kV) + w * KV3DReadFloat(o, 7));
            }
        }
    }
    for (uint32_t v = 0; v < s.vertexCount; ++v) {
        uint8_t* n = copy + size_t(v) * s.stride + 4 * kNormal;
        const float x = KV3DReadFloat(n, 0), y = KV3DReadFloat(n, 1), z = KV3DReadFloat(n, 2);
        const float length = std::sqrt(x * x + y * y + z * z);
        if (length == 0.0f) continue;
        KV3DWriteFloat(n, 0, x / length);
        KV3DWriteFloat(n, 1, y / length);
        KV3DWriteFloat(n, 2, z / length);
    }
}

int32_t KV3DMesh::SetBlendShapeWeight(const std::string& name, float weight) {
    KV3DData* data = TouchCurrent();
    if (!data || data->blendShapeNames.empty()) return KV_FAILED;
    const auto found = std::find(data->blendShapeNames.begin(), data->blendShapeNames.end(), name);
    const size_t index = size_t(found - data->blendShapeNames.begin());
    if (found == data->blendShapeNames.end() || index >= m_blendWeights.size()) return KV_FAILED;
    m_blendWeights[index] = weight;
    TrimBlendShapes();
    return KV_OK;
}

void KV3DMesh::TrimBlendShapes() {
    // The count is the number of weights above 0, whatever they were before,
    // so it never drifts from the weights it stands for.
    int32_t active = int32_t(std::count_if(m_blendWeights.begin(), m_blendWeights.end(), [](float w) { return w > 0.0f; }));
    while (active > kMaxActiveShapes) {
        size_t smallest = m_blendWeights.size();
        for (size_t i = 0; i < m_blendWeights.size(); ++i) {
            const float w = m_blendWeights[i];
            if (w > 0.0f && (smallest == m_blendWeights.size() || w < m_blendWeights[smallest])) smallest = i;
        }
        m_blendWeights[smallest] = 0.0f;
        --active;
    }
    m_activeBlendShapes = active;
}

} // namespace kvl
