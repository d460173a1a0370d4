#include "KV3DDecal.h"

#include <cmath>

#include "../graphics/IKVGraphicDevice3D.h"
#include "../graphics/IKVResourceTexture.h"
#include "../graphics/KVGraphic.h"
#include "../units/IKVMeshNodes.h"
#include "../units/IKVUnitMesh.h"
#include "IKVMesh.h"
#include "KV3D.h"
#include "KV3DInterface.h"
#include "KV3DMaterial.h"

namespace kvl {

namespace {

constexpr uint16_t kNoNeighbour = 0xFFFF;
// Faces turned further than this cosine from the decal's direction are
// left out; the alpha fades from it to 1.
constexpr float kFacing = 0.25f;
constexpr float kAlphaScale = 1.3333334f;

KV3DVector Sub(const KV3DVector& a, const KV3DVector& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
KV3DVector Cross(const KV3DVector& a, const KV3DVector& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
float Dot(const KV3DVector& a, const KV3DVector& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
float Length(const KV3DVector& a) { return std::sqrt(Dot(a, a)); }
KV3DVector Scaled(const KV3DVector& a, float k) { return {a.x * k, a.y * k, a.z * k}; }
KV3DVector Position(const KV3DVertex& v) { return {v.x, v.y, v.z}; }

float Distance(const KV3DPlane& plane, const KV3DVertex& v) {
    return plane.d + plane.nx * v.x + plane.ny * v.y + plane.nz * v.z;
}

// a·t + b·(1 − t) for position and normal; colour and texture coordinates 0.
KV3DVertex Crossing(const KV3DVertex& a, const KV3DVertex& b, float t) {
    KV3DVertex q;
    const float s = 1.0f - t;
    q.x = t * a.x + s * b.x;
    q.y = t * a.y + s * b.y;
    q.z = t * a.z + s * b.z;
    q.nx = t * a.nx + s * b.nx;
    q.ny = t * a.ny + s * b.ny;
    q.nz = t * a.nz + s * b.nz;
    return q;
}

bool Usable(float size) { return std::isfinite(size) && size > 0.0f; }

} // namespace

KV3DDecal::KV3DDecal() = default;

KV3DDecal::~KV3DDecal() {
    SetTexture(nullptr);
    m_indices.clear();
    m_vertices.clear();
    if (KV3D* module = KV3D::Instance()) module->RemoveDecal(m_listIndex);
}

int32_t KV3DDecal::Release() {
    const int32_t left = --m_refCount;
    if (left == 0) delete this;
    return left;
}

int32_t KV3DDecal::SetTexture(IKVResourceTexture* texture) {
    if (m_texture) m_texture->Release();
    m_texture = texture;
    if (m_texture) m_texture->Retain();
    return KV_OK;
}

void KV3DDecal::Clip(const Polygon& in, const KV3DPlane& plane, Polygon* out) const {
    out->count = 0;
    float distance[9];
    bool anyInside = false;
    for (int32_t k = 0; k < in.count; ++k) {
        distance[k] = Distance(plane, in.v[k]);
        // NaN counts as inside, as "< 0" says it is not outside.
        if (!(distance[k] < 0.0f)) anyInside = true;
    }
    if (!anyInside) return;
    for (int32_t k = 0; k < in.count && out->count < 9; ++k) {
        const int32_t j = k == 0 ? in.count - 1 : k - 1;
        const bool kInside = !(distance[k] < 0.0f);
        const bool jInside = !(distance[j] < 0.0f);
        if (kInside && !jInside) {
            const float t = distance[k] / (distance[k] - distance[j]);
            out->v[out->count++] = Crossing(in.v[j], in.v[k], t);
        }
        if (kInside && out->count < 9) {
            out->v[out->count++] = in.v[k];
        } else if (!kInside && jInside) {
            const float t = distance[j] / (distance[j] - distance[k]);
            out->v[out->count++] = Crossing(in.v[k], in.v[j], t);
        }
    }
}

void KV3DDecal::AddPolygon(const Polygon& polygon, bool rightHanded) {
    const int32_t c = polygon.count;
    if (c < 3 || m_vertices.size() + size_t(c) > kMaxVertices) return;
    const uint16_t n = uint16_t(m_vertices.size());
    for (int32_t i = 2; i < c; ++i) {
        m_indices.push_back(n);
        m_indices.push_back(uint16_t(n + (rightHanded ? i : i - 1)));
        m_indices.push_back(uint16_t(n + (rightHanded ? i - 1 : i)));
    }
    for (int32_t i = 0; i < c; ++i) {
        KV3DVertex v = polygon.v[i];
        const KV3DVector normal{v.nx, v.ny, v.nz};
        const float length = Length(normal);
        // A vertex without a normal faces nowhere: transparent.
        const float f = length > 0.0f ? (Dot(normal, m_direction) / length - kFacing) * kAlphaScale : 0.0f;
        const uint32_t a = f > 0.0f ? uint32_t(int32_t(std::fmin(f, 1.01f) * 255.0f)) & 0xFFu : 0u;
        v.color = (a << 24) | 0x00FFFFFFu;
        v.x -= m_origin.x;
        v.y -= m_origin.y;
        v.z -= m_origin.z;
        m_vertices.push_back(v);
    }
}

int32_t KV3DDecal::Build(IKVUnitMesh* unit, const KV3DVector* ray, const KV3DVector* up, const float* size,
                         float offset, float angle) {
    SetTexture(nullptr);
    m_offset = offset;
    m_angle = angle;
    m_indices.clear();
    m_vertices.clear();
    if (!unit || !ray || !up || !size) return KV_INVALID;

    const KV3DVector start = ray[0], end = ray[1];
    const KV3DVector along = Sub(end, start);
    KV3DVector hit;
    int32_t triangle = -1;
    if (unit->IntersectRay(&start, &along, &hit, &triangle, false) != KV_OK) return KV_NOT_FOUND;
    m_origin = hit;
    m_direction = Scaled(Sub(start, end), 1.0f / Length(Sub(start, end)));

    KV3DVector right = Cross(m_direction, *up);
    if (!(Length(right) > 0.0f)) {
        // An up along the ray gives no side: any axis across the ray will do.
        right = Cross(m_direction, std::fabs(m_direction.x) < 0.9f ? KV3DVector{1, 0, 0} : KV3DVector{0, 1, 0});
    }
    right = Scaled(right, 1.0f / Length(right));
    // Turned by the angle about the direction (right-hand rule); right is
    // across the direction, so the turn needs no third term.
    const KV3DVector across = Cross(m_direction, right);
    const float c = std::cos(angle), s = std::sin(angle);
    const KV3DVector T{right.x * c + across.x * s, right.y * c + across.y * s, right.z * c + across.z * s};
    const KV3DVector S = Cross(m_direction, T);

    const float w = size[0], h = size[1];
    const float to = Dot(T, m_origin), so = Dot(S, m_origin);
    const KV3DPlane planes[4] = {{w / 2 - to, T.x, T.y, T.z},
                                 {w / 2 + to, -T.x, -T.y, -T.z},
                                 {h / 2 + so, -S.x, -S.y, -S.z},
                                 {h / 2 - so, S.x, S.y, S.z}};

    void* face = nullptr;
    if (unit->QueryInterface(IID_IKVMesh, &face) != KV_OK || !face) return KV_FAILED;
    IKVMesh* mesh = static_cast<IKVMesh*>(static_cast<IKVMeshNodes*>(face));
    // A size that is no length cuts nothing.
    if (!Usable(w) || !Usable(h)) return KV_OK;

    const std::vector<uint16_t>& indices = mesh->GetIndexList();
    const std::vector<KV3DVertex>& vertices = mesh->GetVertexList();
    const std::vector<uint16_t>& neighbours = mesh->GetTriangleNeighbours();
    const size_t triangles = indices.size() / 3;
    if (triangle < 0 || size_t(triangle) >= triangles) return KV_OK;
    const bool rightHanded = KV3DInterface::IsRightHanded();

    std::vector<uint8_t> visited((triangles + 7) / 8, 0);
    std::vector<size_t> stack{size_t(triangle)};
    while (!stack.empty()) {
        const size_t t = stack.back();
        stack.pop_back();
        if (visited[t / 8] & (1u << (t % 8))) continue;
        visited[t / 8] = uint8_t(visited[t / 8] | (1u << (t % 8)));
        const uint16_t* corner = &indices[3 * t];
        if (corner[0] >= vertices.size() || corner[1] >= vertices.size() || corner[2] >= vertices.size()) continue;

        const KV3DVector a = Position(vertices[corner[0]]);
        const KV3DVector b = Position(vertices[corner[1]]);
        const KV3DVector cc = Position(vertices[corner[2]]);
        const KV3DVector N = Cross(Sub(b, a), Sub(cc, a));
        if (!(Dot(N, m_direction) > kFacing * Length(N))) continue;

        Polygon polygon, clipped;
        polygon.count = 3;
        for (int32_t k = 0; k < 3; ++k) {
            const KV3DVertex& from = vertices[corner[k]];
            KV3DVertex& v = polygon.v[k];
            v.x = from.x;
            v.y = from.y;
            v.z = from.z;
            v.nx = from.nx;
            v.ny = from.ny;
            v.nz = from.nz;
        }
        bool kept = true;
        for (int plane : {0, 1, 3, 2}) {
            Clip(polygon, planes[plane], &clipped);
            polygon = clipped;
            if (polygon.count == 0) {
                kept = false;
                break;
            }
        }
        if (!kept) continue;
        AddPolygon(polygon, rightHanded);

        // Pushed first, second, third: the third is taken next.
        for (int32_t k = 0; k < 3 && 3 * t + size_t(k) < neighbours.size(); ++k) {
            const uint16_t next = neighbours[3 * t + size_t(k)];
            if (next != kNoNeighbour && next < triangles) stack.push_back(next);
        }
    }

    for (KV3DVertex& v : m_vertices) {
        const KV3DVector p{v.x, v.y, v.z};
        v.u = 0.5f + Dot(T, p) / w;
        v.v = 0.5f + Dot(S, p) / h;
    }
    return KV_OK;
}

int32_t KV3DDecal::Draw() {
    if (!m_texture) return KV_OK;
    IKVGraphicDevice3D* device = KV3DInterface::Device();
    if (!device) return KV_OK;
    float world[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    world[12] = m_origin.x + m_offset * m_direction.x;
    world[13] = m_origin.y + m_offset * m_direction.y;
    world[14] = m_origin.z + m_offset * m_direction.z;
    device->SetTransform(1, world);

    KV3DMaterial material;
    const uint8_t alpha = m_texture->HasAlpha() != 0 ? 1 : 0;
    material.alphaTest = alpha;
    material.alphaBlend = alpha;
    material.alphaReference = 0;
    material.extraSwitch1 = 0;
    material.debugDraw = 0;
    material.lighting = 0;
    material.trilinear = 0;
    material.textureCount = 1;
    material.type = 0;
    material.backfaceCulling = 1;
    material.extraSwitch2 = 0;
    material.antialiasing = 1;
    material.overrideFlags = KV_MATERIAL_ALL_FLAGS;
    device->SetMaterial(&material, 0);

    if (KVGraphic* graphic = KV3DInterface::Graphic()) graphic->SetTextureStage(0, m_texture);
    if (m_vertices.empty()) return KV_OK;
    device->SetVertexData(m_vertices.data(), uint32_t(m_vertices.size()), KV3D_VERTEX_STRIDE, 0);
    device->DrawIndexed(m_indices.data(), uint32_t(m_indices.size()));
    return KV_OK;
}

} // namespace kvl
