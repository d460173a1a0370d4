// The index, vertex and neighbour lists that picking and decals read.
#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "../units/KV3DMath.h"
#include "KV3DData.h"
#include "KV3DDataProducer.h"
#include "KV3DMesh.h"
#include "KV3DMeshShared.h"

namespace kvl {

namespace {

constexpr uint16_t kNoNeighbour = 0xFFFF;

// An edge by the positions of its ends, the same whichever way it runs.
// Positions compare as floats do: -0 and 0 are one value, and an edge with
// a NaN coordinate equals no edge.
struct EdgeKey {
    uint32_t bits[6];
    bool operator==(const EdgeKey& o) const { return std::memcmp(bits, o.bits, sizeof bits) == 0; }
};

struct EdgeHash {
    size_t operator()(const EdgeKey& k) const {
        uint64_t h = 1469598103934665603ull;
        for (uint32_t b : k.bits) h = (h ^ b) * 1099511628211ull;
        return size_t(h);
    }
};

bool PositionBits(const KV3DVertex& v, uint32_t out[3]) {
    const float p[3] = {v.x, v.y, v.z};
    for (int i = 0; i < 3; ++i) {
        if (p[i] != p[i]) return false;
        const float f = p[i] == 0.0f ? 0.0f : p[i];
        std::memcpy(&out[i], &f, 4);
    }
    return true;
}

bool MakeEdge(const std::vector<KV3DVertex>& vertices, uint16_t a, uint16_t b, EdgeKey* key) {
    uint32_t pa[3], pb[3];
    if (a >= vertices.size() || b >= vertices.size()) return false;
    if (!PositionBits(vertices[a], pa) || !PositionBits(vertices[b], pb)) return false;
    const bool swap = std::lexicographical_compare(pb, pb + 3, pa, pa + 3);
    std::copy(swap ? pb : pa, (swap ? pb : pa) + 3, key->bits);
    std::copy(swap ? pa : pb, (swap ? pa : pb) + 3, key->bits + 3);
    return true;
}

} // namespace

void KV3DMesh::MakeResident(KV3DData* data) {
    if (!data || data->resident) return;
    KV3DDataProducer* producer = KV3DDataProducer::Instance();
    IKVResourceManager* resources = KV3DMeshResources();
    if (!producer || !resources) return;
    // The switch stays on: from now on geometry is kept in memory.
    producer->SetKeepGeometry(true);
    IKVResource* again = nullptr;
    if (resources->Load(data->GetPath().c_str(), producer, nullptr, &again, 0) == KV_OK && again) again->Release();
}

const std::vector<uint16_t>& KV3DMesh::GetIndexList() {
    if (!m_indexList.empty() || m_listsRefused) return m_indexList;
    KV3DData* data = TouchCurrent();
    if (!data) return m_indexList;
    MakeResident(data);
    uint64_t base = 0;
    for (const KV3DSubmesh& s : data->submeshes) {
        for (const KV3DPart& part : s.parts) {
            if (!part.indexData) continue;
            for (uint32_t k = 0; k < part.indexCount; ++k) {
                const uint64_t index = KV3DReadU16(part.indexData, k) + base;
                // Past 16-bit numbers the indices would name other vertices:
                // such a mesh gives no list rather than wrong triangles.
                if (index > 0xFFFF) {
                    m_indexList.clear();
                    m_listsRefused = 1;
                    return m_indexList;
                }
                m_indexList.push_back(uint16_t(index));
            }
        }
        base += s.vertexCount;
    }
    return m_indexList;
}

const std::vector<KV3DVertex>& KV3DMesh::GetVertexList() {
    if (!GetCurrentData()) return m_vertexList;
    // Built in world space: a move since the last build builds it again.
    if (!m_vertexList.empty() && std::memcmp(m_vertexListMatrix, GetMatrix(), sizeof m_vertexListMatrix) == 0)
        return m_vertexList;
    KV3DData* data = TouchCurrent();
    MakeResident(data);
    BuildVertexList(data);
    return m_vertexList;
}

void KV3DMesh::BuildVertexList(KV3DData* data) {
    m_vertexList.clear();
    std::memcpy(m_vertexListMatrix, GetMatrix(), sizeof m_vertexListMatrix);
    for (const KV3DSubmesh& s : data->submeshes) {
        float m[16];
        KV3DMath::Multiply(GetMatrix(), s.matrix, m);
        // Each vertex is read at its stride; of its fields the list keeps
        // the position, normal, colour and first texture coordinates.
        const size_t keep = std::min<size_t>(s.stride, sizeof(KV3DVertex));
        const size_t first = m_vertexList.size();
        m_vertexList.resize(first + s.vertexCount);
        for (uint32_t v = 0; v < s.vertexCount; ++v) {
            KV3DVertex& out = m_vertexList[first + v];
            if (s.vertexData) std::memcpy(&out, s.vertexData + size_t(v) * s.stride, keep);
            const KV3DVector p = KV3DMath::TransformPoint(m, KV3DVector{out.x, out.y, out.z});
            out.x = p.x;
            out.y = p.y;
            out.z = p.z;
        }
    }
}

const std::vector<uint16_t>& KV3DMesh::GetTriangleNeighbours() {
    if (!m_neighbours.empty() || !GetCurrentData()) return m_neighbours;
    const std::vector<uint16_t>& indices = GetIndexList();
    // The positions come from the vertex list, built here when nobody asked
    // for it before.
    const std::vector<KV3DVertex>& vertices = GetVertexList();
    const size_t triangles = indices.size() / 3;
    // Triangle numbers are 16-bit, with 0xFFFF meaning none.
    if (triangles == 0 || triangles >= kNoNeighbour) return m_neighbours;

    // Every triangle that has an edge, in triangle order.
    std::unordered_map<EdgeKey, std::vector<uint16_t>, EdgeHash> owners;
    owners.reserve(triangles * 3);
    for (size_t t = 0; t < triangles; ++t) {
        for (int e = 0; e < 3; ++e) {
            EdgeKey key;
            if (!MakeEdge(vertices, indices[3 * t + size_t(e)], indices[3 * t + size_t((e + 1) % 3)], &key)) continue;
            std::vector<uint16_t>& list = owners[key];
            if (list.empty() || list.back() != t) list.push_back(uint16_t(t));
        }
    }
    m_neighbours.assign(triangles * 3, kNoNeighbour);
    for (size_t t = 0; t < triangles; ++t) {
        for (int e = 0; e < 3; ++e) {
            EdgeKey key;
            if (!MakeEdge(vertices, indices[3 * t + size_t(e)], indices[3 * t + size_t((e + 1) % 3)], &key)) continue;
            const std::vector<uint16_t>& list = owners[key];
            // The first other triangle with the same edge.
            for (uint16_t other : list) {
                if (other == t) continue;
                m_neighbours[3 * t + size_t(e)] = other;
                break;
            }
        }
    }
    return m_neighbours;
}

} // namespace kvl
