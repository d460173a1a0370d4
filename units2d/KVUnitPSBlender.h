#pragma once
// Class "PSBlender": draws the current pictures of a list of sprites in one
// quad, each on a texture stage of its own, for a pixel shader to combine.
// A listed unit carries unit flag 0x400000 (drawn by another unit, so not
// by itself) exactly while at least one enabled blender that is not closing
// lists it: blenders that share a unit leave it marked until the last of
// them lets it go, and a disabled blender, which draws nothing, hides
// nothing.
#include <cstdint>
#include <vector>

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
    // The display-2D close; the listed units keep the mark only while
    // another blender hides them.
    void Close() override;
    // KVUnit2D: enabling and disabling show or hide the listed units.
    void Refresh() override;

    // The BlendedUnits setter: the list becomes a copy of the given one;
    // the marks of the units it held and holds are brought up to date.
    virtual void SetBlendedUnits(KVUnitRefArray* units);

    const KVUnitRefArray& GetBlendedUnits() const { return m_blended; }

protected:
    ~KVUnitPSBlender() override = default;

private:
    // Indices of the listed units that exist.
    std::vector<int32_t> ListedUnits();
    // Enabled and not closing: its listed units are drawn by it.
    bool HidesListedUnits() { return IsEnabled() && !IsClosing(); }
    // Gives each of the units the mark exactly when some blender hides it.
    static void UpdateMarks(const std::vector<int32_t>& units);

    KVUnitRefArray m_blended;
    bool m_alpha = true;
};

} // namespace kvl
