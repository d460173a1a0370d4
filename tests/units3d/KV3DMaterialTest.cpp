#include <gtest/gtest.h>
#include <cstddef>
#include <cstring>
#include <vector>
#include "support/KV3DMaterialFields.h"
#include "units3d/KV3DMaterial.h"
#include "units/KV3DTypes.h"

using namespace kvl;

namespace {

using FieldSpan = kvtest::KV3DMaterialField;
const std::vector<FieldSpan>& kFields = kvtest::MaterialFields();

bool SameField(const KV3DMaterial& a, const KV3DMaterial& b, const FieldSpan& f) {
    return kvtest::SameMaterialField(a, b, f);
}

// Every byte of every field different from the defaults.
KV3DMaterial Distinct() {
    KV3DMaterial m;
    for (const FieldSpan& f : kFields) {
        std::memset(reinterpret_cast<char*>(&m) + f.offset, 0x5A, f.size);
    }
    return m;
}

} // namespace

TEST(KV3DMaterial, DefaultsAndEveryFieldBit) {
    KV3DMaterial m;
    EXPECT_EQ(m.overrideFlags, 0xFFFFFFFFu);
    EXPECT_EQ(m.specular[3], 1.0f);
    EXPECT_EQ(m.emissive[0], 0.0f);
    EXPECT_EQ(m.textureCount, 1u);
    EXPECT_EQ(m.backfaceCulling, 1u);
    EXPECT_EQ(m.lighting, 1);
    EXPECT_EQ(m.antialiasing, 1);
    EXPECT_EQ(m.pixelShader, nullptr);
    // The record grows with the pointer width: two shader pointers and the
    // flags word end it, whatever the host.
    EXPECT_EQ(offsetof(KV3DMaterial, vertexShader), offsetof(KV3DMaterial, pixelShader) + sizeof(void*));
    EXPECT_GT(sizeof(KV3DMaterial), offsetof(KV3DMaterial, overrideFlags));
    uint32_t all = 0;
    for (const FieldSpan& f : kFields) all |= f.bit;
    EXPECT_EQ(all, KV_MATERIAL_FIELD_BITS);
}

// One bit at a time: the merge moves exactly that field and that bit.
TEST(KV3DMaterial, MergeTakesEachImposedFieldAlone) {
    const KV3DMaterial source = Distinct();
    for (const FieldSpan& f : kFields) {
        KV3DMaterial from = source;
        from.overrideFlags = f.bit;
        KV3DMaterial into;
        into.overrideFlags = 0;
        KV3DMergeMaterial(into, from);
        EXPECT_EQ(into.overrideFlags, f.bit) << std::hex << f.bit;
        for (const FieldSpan& g : kFields) {
            const KV3DMaterial& expected = (g.bit == f.bit) ? from : KV3DMaterial();
            EXPECT_TRUE(SameField(into, expected, g)) << std::hex << "merging 0x" << f.bit << ", field 0x" << g.bit;
        }
    }
}

TEST(KV3DMaterial, MergeKeepsWhatTheHolderImposes) {
    KV3DMaterial from = Distinct();
    from.overrideFlags = KV_MATERIAL_ALL_FLAGS;
    KV3DMaterial into;
    into.overrideFlags = KV_MATERIAL_DIFFUSE | KV_MATERIAL_ALPHA_BLEND;
    into.alphaBlend = 1;
    KV3DMergeMaterial(into, from);
    EXPECT_EQ(into.diffuse[0], 1.0f);
    EXPECT_EQ(into.alphaBlend, 1);
    EXPECT_EQ(into.overrideFlags, KV_MATERIAL_FIELD_BITS);
    for (const FieldSpan& g : kFields) {
        if (g.bit == KV_MATERIAL_DIFFUSE || g.bit == KV_MATERIAL_ALPHA_BLEND) continue;
        EXPECT_TRUE(SameField(into, from, g)) << std::hex << g.bit;
    }
}

TEST(KV3DMaterial, MergeWithNothingImposedChangesNothing) {
    KV3DMaterial from = Distinct();
    from.overrideFlags = 0;
    KV3DMaterial into;
    into.overrideFlags = 0;
    KV3DMergeMaterial(into, from);
    EXPECT_EQ(into.overrideFlags, 0u);
    for (const FieldSpan& g : kFields) EXPECT_TRUE(SameField(into, KV3DMaterial(), g)) << std::hex << g.bit;
}

TEST(KV3DRecords, SharedRecordsHaveTheirStoredLayout) {
    EXPECT_EQ(offsetof(NodeTransform, translation), 16u);
    EXPECT_EQ(offsetof(NodeTransform, scale), 28u);
    EXPECT_EQ(offsetof(KV3DVertex, color), 24u);
    EXPECT_EQ(offsetof(KV3DVertex, u), 28u);
    EXPECT_EQ(offsetof(KV3DLightParams, range), 12u);
    EXPECT_EQ(offsetof(KV3DLightParams, normalMapCaster), 28u);
    KV3DLightParams light;
    EXPECT_EQ(light.color, 0xFFFFFFFFu);
    EXPECT_EQ(light.range, 100.0f);
    EXPECT_FLOAT_EQ(light.constantAttenuation, 0.1f);
    EXPECT_FLOAT_EQ(light.linearAttenuation, 0.02f);
    NodeTransform identity;
    EXPECT_EQ(identity.rotation.w, 1.0f);
    EXPECT_EQ(identity.scale.y, 1.0f);
}
