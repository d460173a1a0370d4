#pragma once
// Class "Area": a polygonal region of a 2D scene, given by the unit's
// Outline. It answers hit tests with the polygon itself, draws it as filled
// triangles (by default in editor mode only) and gives scripts its centre.
// The triangles come from the triangulation module, asked for once when the
// class is registered; without one the area draws nothing.
#include <cstdint>

#include "../units/KVUnit2D.h"
#include "IKVUnitArea.h"

namespace kvl {

class IKVTriangulation;

class KVUnitArea : public KVUnit2D, public virtual IKVUnitArea {
public:
    static constexpr uint64_t kClassId = 0x006A1B16A3272144ull;
    static constexpr uint64_t kColorId = 0x000D1D925C6855DDull;
    static constexpr uint64_t kOnlyEditorId = 0x0029605EABDEC020ull;

    static KVUnit* Create() { return new KVUnitArea; }
    // Registers class "Area", its attributes and "GetCenter", and looks up
    // the triangulation module; the class index, or -1.
    static int32_t RegisterClass();
    static KVUnitArea* FromUnit(IKVUnit* unit);
    // The triangulation the class uses (null: none was offered).
    static IKVTriangulation* GetTriangulation() { return s_triangulation; }

    // IKVUnknown
    int32_t QueryInterface(const KVInterfaceId& id, void** out) override;

    // KVUnit
    // Drawable and enabled; Visible is not consulted.
    bool IsDrawn() override { return IsDrawable() && IsEnabled(); }
    void Draw() override;
    bool IsPointInside(const KV2DTempl<int32_t>& point, float* depth, IKVUnit* camera) override;
    void Init() override;

    // KVUnit2D
    void OnOutlineChanged() override;

    // Run when Color changes; the next draw takes the new colour.
    virtual void OnColorChanged() {}

    // Whether the point, in the unit's own coordinates, lies inside the
    // outline (by its winding number).
    bool OutlineContains(int32_t u, int32_t v) const;
    // The mean of the outline points; (0, 0) without points.
    KV2DTempl<float> GetCenter() const;

    uint32_t GetColor() const { return m_color; }
    bool GetOnlyEditor() const { return m_onlyEditor; }
    const KVPositionList& GetTriangles() const { return m_triangles; }

protected:
    ~KVUnitArea() override = default;

private:
    static IKVTriangulation* s_triangulation;

    void Retriangulate();

    uint32_t m_color = 0;
    bool m_onlyEditor = false;
    // Three points per triangle, in the unit's own coordinates.
    KVPositionList m_triangles;
};

} // namespace kvl
