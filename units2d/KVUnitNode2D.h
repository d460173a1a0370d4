#pragma once
// Class "Node2D": a bare 2D placement unit (a pivot to hang other units
// on). Its point test is a square of half-size Size around its local
// origin; it draws only as an editor marker, a cross in its Color.
#include <cstdint>

#include "../units/KVUnit2D.h"

namespace kvl {

class KVUnitNode2D : public KVUnit2D {
public:
    static constexpr uint64_t kClassId = 0x003704345E5F6300ull;
    static constexpr uint64_t kSizeId = 0x002BD09E82EE07DCull;
    static constexpr uint64_t kColorId = 0x0027ECFB59338BA6ull;

    static KVUnit* Create() { return new KVUnitNode2D; }
    // Registers class "Node2D" and its attributes; the class index, or -1.
    static int32_t RegisterClass();

    // KVUnit
    void Init() override;
    // The editor cross, when the scene shows editor units.
    void Draw() override;
    // The point in local coordinates within Size of the origin on both
    // axes, edges included; a point outside a non-empty effective window
    // is not inside. A hit writes the depth -1.
    bool IsPointInside(const KV2DTempl<int32_t>& point, float* depth, IKVUnit* camera) override;

    uint32_t GetSize() const { return m_size; }
    uint32_t GetColor() const { return m_color; }

protected:
    ~KVUnitNode2D() override = default;

private:
    uint32_t m_size = 8;
    uint32_t m_color = 0xFFFF0000u;
};

// RegisterClass for the unit factory's table of built-in classes.
int32_t RegisterNode2DClass();

} // namespace kvl
