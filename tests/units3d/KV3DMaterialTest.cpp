#include <gtest/gtest.h>
#include <cstddef>
#include <cstring>
#include <vector>
#include "units3d/KV3DMaterial.h"
#include "units/KV3DTypes.h"

using namespace kvl;

namespace {

// The field each override bit stands for, as bytes of the record.
struct FieldSpan {
    uint32_t bit;
    size_t offset;
    size_t size;
};

#define KV_FIELD(bit, member) FieldSpan{bit, offsetof(KV3DMaterial, member), sizeof(KV3DMaterial::member)}
const std::vector<FieldSpan> kFields = {
    KV_FIELD(0x1, diffuse),           KV_FIELD(0x2, ambient),          KV_FIELD(0x4, emissive),
    KV_FIELD(0x8, specular),          KV_FIELD(0x10, shininess),       KV_FIELD(0x20, colorWrite),
    KV_FIELD(0x40, zBuffer),          KV_FIELD(0x80, zBufferWrite),    KV_FIELD(0x100, fog),
    KV_FIELD(0x200, alphaTest),       KV_FIELD(0x400, alphaReference), KV_FIELD(0x800, alphaBlend),
    KV_FIELD(0x1000, debugDraw),      KV_FIELD(0x2000, lighting),      KV_FIELD(0x4000, backfaceCulling),
    KV_FIELD(0x8000, trilinear),      KV_FIELD(0x10000, textureCount), KV_FIELD(0x20000, extraWord2),
    KV_FIELD(0x40000, extraWord3),    KV_FIELD(0x80000, pixelShader),  KV_FIELD(0x100000, vertexShader),
    KV_FIELD(0x200000, extraSwitch2), KV_FIELD(0x400000, type),        KV_FIELD(0x800000, extraFloat),
    KV_FIELD(0x1000000, extraWord1),  KV_FIELD(0x2000000, extraSwitch1), KV_FIELD(0x4000000, antialiasing),
};
#undef KV_FIELD

bool SameField(const KV3DMaterial& a, const KV3DMaterial& b, const FieldSpan& f) {
    return std::memcmp(reinterpret_cast<const char*>(&a) + f.offset, reinterpret_cast<const char*>(&b) + f.offset,
                       f.size) == 0;
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
