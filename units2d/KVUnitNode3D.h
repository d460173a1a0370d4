#pragma once
// Class "Node3D": a bare 3D placement unit (a pivot to hang other units
// on). In the editor it can be picked as a cube of edge Size around its
// Position, and it draws its three rotated axes as editor markers.
#include <cstdint>

#include "../units/KV3DTypes.h"
#include "../units/KVUnit3D.h"

namespace kvl {

class KVUnitNode3D : public KVUnit3D {
public:
    static constexpr uint64_t kClassId = 0x0012F0A7FBA0B654ull;
    static constexpr uint64_t kSizeId = 0x0040E49618FDFCE8ull;
    // The core activity state in which the axes are not drawn.
    static constexpr int32_t kHiddenActivityState = 2;

    static KVUnit* Create() { return new KVUnitNode3D; }
    // Registers class "Node3D" and its attribute; the class index, or -1.
    static int32_t RegisterClass();

    // Whether the segment meets the axis-aligned cube of that edge around
    // the centre: no separating axis among the three box axes and the
    // three cross axes, boundaries included. A segment of no length has no
    // direction and meets nothing.
    static bool SegmentHitsCube(const KV3DVector& start, const KV3DVector& end, const KV3DVector& centre, float edge);

    // KVUnit
    void Init() override;
    // The axes, when the scene shows editor units.
    void Draw() override;
    // Editor picking only (editor mode, core not running): the camera (the
    // scene's when none is given) turns the point into a segment; on a hit
    // the distance is from the segment start to Position.
    bool IsPointInside(const KV2DTempl<int32_t>& point, float* distance, IKVUnit* camera) override;

    float GetSize() const { return m_size; }

protected:
    ~KVUnitNode3D() override = default;

private:
    float m_size = 2.0f;
};

// RegisterClass for the unit factory's table of built-in classes.
int32_t RegisterNode3DClass();

} // namespace kvl
