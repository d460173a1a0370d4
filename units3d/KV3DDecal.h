#pragma once
// A decal: the rectangle of a ray's hit on a mesh unit, cut out of the
// mesh's triangles that face the ray (flood fill from the hit triangle,
// clipped by four planes), textured around the hit and drawn a little off
// the surface. The 3D module makes it and keeps it in its list; the decal
// leaves the list when its last reference goes.
#include <cstdint>
#include <vector>

#include "../units/KV3DTypes.h"
#include "IKVDecal.h"

namespace kvl {

class KV3DDecal : public IKVDecal {
public:
    KV3DDecal();

    int32_t Retain() override { return ++m_refCount; }
    int32_t Release() override;
    int32_t SetTexture(IKVResourceTexture* texture) override;
    int32_t Build(IKVUnitMesh* mesh, const KV3DVector* ray, const KV3DVector* up, const float* size, float offset,
                  float angle) override;
    int32_t Draw() override;

    // The decal's entry in the 3D module's list, kept by the module.
    void SetListIndex(int32_t index) { m_listIndex = index; }
    const std::vector<uint16_t>& GetIndices() const { return m_indices; }
    const std::vector<KV3DVertex>& GetVertices() const { return m_vertices; }
    const KV3DVector& GetOrigin() const { return m_origin; }
    const KV3DVector& GetDirection() const { return m_direction; }
    IKVResourceTexture* GetTexture() const { return m_texture; }

    // The list indices stay 16-bit: no decal holds more vertices.
    static constexpr size_t kMaxVertices = 65535;

private:
    ~KV3DDecal() override;

    struct Polygon {
        KV3DVertex v[9];
        int32_t count = 0;
    };

    void Clip(const Polygon& in, const KV3DPlane& plane, Polygon* out) const;
    void AddPolygon(const Polygon& polygon, bool rightHanded);

    int32_t m_refCount = 1;
    KV3DVector m_direction;
    std::vector<uint16_t> m_indices;
    std::vector<KV3DVertex> m_vertices;
    IKVResourceTexture* m_texture = nullptr;
    float m_offset = 0.01f;
    float m_angle = 0.0f;
    KV3DVector m_origin;
    int32_t m_listIndex = -1;
};

} // namespace kvl
