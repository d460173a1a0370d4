#pragma once
// Class "PSBlender": draws the current pictures of a list of sprites in one
// quad, each on a texture stage of its own, for a pixel shader to combine.
// The sprites it lists carry unit flag 0x400000 (drawn by another unit)
// while they are listed and the blender lives: taking them off the list or
// closing the blender clears it.
#include <cstdint>

#include "../units/KVUnitDisplay2D.h"
#include "../units/KVUnitRefArray.h"

namespace kvl {

class KVUnitPSBlender : public KVUnitDisplay2D {
public:
    static constexpr uint64_t kClassId = 0x004BDF2AACCCBDE8ull;
    static constexpr uint64_t kBlendedUnitsId = 0x0011A52EB4428AADull;
    static constexpr uint64_t kScaleId = 0x00575B0DC08A536Cull;
    static constexpr uint64_t kAlphaId = 0x0040F3495D5D03ECull;

    static KVUnit* Create() { return new KVUnitPSBlender; }
    // Registers class "PSBlender"; the class index, or -1.
    static int32_t RegisterClass();

    // KVUnit
    void Init() override;
    void Draw() override;
    // The listed units lose the blended mark, then the display-2D close.
    void Close() override;

    // The BlendedUnits setter: the listed units lose the blended mark, the
    // list becomes a copy of the given one, and its units get the mark.
    virtual void SetBlendedUnits(KVUnitRefArray* units);

    const KVUnitRefArray& GetBlendedUnits() const { return m_blended; }

protected:
    ~KVUnitPSBlender() override = default;

private:
    // Sets or clears the mark on every listed unit.
    void MarkBlended(bool on);

    KVUnitRefArray m_blended;
    bool m_alpha = true;
};

} // namespace kvl
