#pragma once
// Class "Shape" (also named "Rect"): flat colour over the unit's Dimension,
// a rectangle (plain or with a two-colour gradient) or an ellipse. Shapes
// are often editor aids: by default one is drawn only in editor mode. It
// draws into whatever target is current (it selects none of its own).
#include <cstdint>

#include "../units/KVUnitDisplay2D.h"
#include "IKVUnitRect.h"

namespace kvl {

class KVUnitShape : public KVUnitDisplay2D, public virtual IKVUnitRect {
public:
    static constexpr uint64_t kClassId = 0x005284A190C37378ull;
    static constexpr uint64_t kColorId = 0x002FC8DDEBCFF5B4ull;
    static constexpr uint64_t kColorEndId = 0x00282E39C8889C60ull;
    static constexpr uint64_t kGradientId = 0x0023BEE7326D753Eull;
    static constexpr uint64_t kGradientDirectionId = 0x0048B287122FFBECull;
    static constexpr uint64_t kOnlyEditorId = 0x006EDE788BDE8730ull;
    static constexpr uint64_t kTypeId = 0x000FDCA76A8B917Full;

    enum Type : uint32_t { kRect = 0, kRound = 1 };
    enum GradientDirection : uint32_t { kRight = 0, kBottom = 1, kDiagonal = 2 };
    // Triangles of a Round shape's rim.
    static constexpr int32_t kRoundSegments = 32;

    static KVUnit* Create() { return new KVUnitShape; }
    // Registers class "Shape"; the class index, or -1.
    static int32_t RegisterClass();
    // The shape object of a unit, or null.
    static KVUnitShape* FromUnit(IKVUnit* unit);

    // IKVUnknown
    int32_t QueryInterface(const KVInterfaceId& id, void** out) override;

    // KVUnit
    void Init() override;
    void Draw() override;
    // A Round shape holds the points of its ellipse only.
    bool IsPointInside(const KV2DTempl<int32_t>& point, float* depth, IKVUnit* camera) override;
    bool CollidesWith(IKVUnit* other, bool asTarget, int32_t type) override;

    // The colour drawn becomes Color.
    virtual void ApplyColor() { m_drawColor = m_color; }

    // IKVUnitRect
    int32_t SetColor(uint32_t color) override;

    uint32_t GetColor() const { return m_color; }
    uint32_t GetShapeColorEnd() const { return m_colorEnd; }
    uint32_t GetDrawColor() const { return m_drawColor; }
    uint32_t GetType() const { return m_type; }

protected:
    ~KVUnitShape() override = default;

    // Whether the local point lies in the ellipse inscribed in the Dimension.
    bool InEllipse(const KV2DTempl<int32_t>& local) const;

    uint32_t m_color = 0;
    uint32_t m_colorEnd = 0;
    uint32_t m_drawColor = 0;
    uint32_t m_gradientDirection = kRight;
    uint32_t m_type = kRect;
    bool m_gradient = false;
    bool m_onlyEditor = false;
};

} // namespace kvl
